#include "net/updatecheck.h"

#include "net/http.h"
#include "settings/editxml.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <vector>

namespace zandorel {
namespace {

const QString crlf = QStringLiteral("\r\n");

QString soft(pugi::xml_node doc, const char* attribute, const QString& def) {
    return ReadAttribute(doc, QStringLiteral("/versioninfo/soft"), QString::fromLatin1(attribute), def);
}

} // namespace

QString VersionInfo::versionText() const {
    QString text = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
    if (!beta.isEmpty()) {
        text += u' ' + beta;
    }
    return text;
}

VersionInfo ReadVersionInfo(pugi::xml_node doc) {
    VersionInfo info;
    info.name = soft(doc, "name", QString());
    info.shortname = soft(doc, "shortname", QString());
    const QStringList parts = soft(doc, "version", QStringLiteral("0.0.0")).split(u'.');
    info.beta = soft(doc, "beta", QString());
    info.time = soft(doc, "time", QStringLiteral("0000-00-00"));
    info.website = soft(doc, "website", QString());
    info.log = ReadNodeText(doc, QStringLiteral("/versioninfo/log"), QString());
    bool ok[3] = {false, false, false};
    if (parts.size() >= 3) {
        info.major = parts[0].trimmed().toInt(&ok[0]);
        info.minor = parts[1].trimmed().toInt(&ok[1]);
        info.revision = parts[2].trimmed().toInt(&ok[2]);
    }
    info.valid = ok[0] && ok[1] && ok[2];
    return info;
}

namespace {

// A list block of the log: the whole text [start, end) and its inner text.
struct ListBlock {
    qsizetype start;
    qsizetype end;
    qsizetype innerStart;
    qsizetype innerEnd;
};

// The list blocks "<ul...>...</ul...>" (letter case ignored) in text order,
// found as the pattern search finds them, with plain searches: an opening
// ends at its first ">", the block at the first "</ul" that a ">" follows.
std::vector<ListBlock> listBlocks(QStringView log) {
    std::vector<ListBlock> blocks;
    const qsizetype lastClose = log.lastIndexOf(u'>');
    qsizetype from = 0;
    while (true) {
        const qsizetype start = log.indexOf(u"<ul", from, Qt::CaseInsensitive);
        const qsizetype opened = start < 0 ? -1 : log.indexOf(u'>', start + 3);
        const qsizetype closing = opened < 0 ? -1 : log.indexOf(u"</ul", opened + 1, Qt::CaseInsensitive);
        if (closing < 0 || closing + 4 > lastClose) {
            return blocks; // no later opening can end either
        }
        const qsizetype end = log.indexOf(u'>', closing + 4) + 1;
        blocks.push_back(ListBlock{start, end, opened + 1, closing});
        from = end;
    }
}

// The numbered lines that stand for one list block: per "<li...>" the text
// after it up to the next "<".
QString listLines(QStringView inner) {
    QString lines;
    int number = 0;
    qsizetype from = 0;
    while (true) {
        const qsizetype start = inner.indexOf(u"<li", from, Qt::CaseInsensitive);
        const qsizetype opened = start < 0 ? -1 : inner.indexOf(u'>', start + 3);
        if (opened < 0) {
            return lines;
        }
        const qsizetype next = inner.indexOf(u'<', opened + 1);
        const qsizetype end = next < 0 ? inner.size() : next;
        lines += QString::number(++number) + QStringLiteral("、");
        lines += inner.mid(opened + 1, end - opened - 1);
        lines += crlf;
        from = end;
    }
}

// The pattern search does not step over a unit that is not half of a
// surrogate pair; the plain searches would.
bool hasLoneSurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return true;
        }
    }
    return false;
}

// How many characters the literal replacements may search in all (about
// 20 ms of work); past it the blocks are replaced in their places.
constexpr qint64 LiteralLogWork = 20'000'000;

qsizetype listOpenings(QStringView text) {
    qsizetype count = 0;
    for (qsizetype at = text.indexOf(u"<ul", 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(u"<ul", at + 1, Qt::CaseInsensitive)) {
        ++count;
    }
    return count;
}

} // namespace

QString FormatUpdateLog(const QString& log) {
    QStringList values;
    QStringList lines;
    std::vector<ListBlock> places;
    if (hasLoneSurrogate(log)) {
        QList<MatchRecord> blocks;
        const int count = RegMatches(log, QStringLiteral("<ul[^>]*>([\\d\\D]*?)<\\/ul[^>]*>"), blocks,
                                     QStringLiteral("$1"));
        for (int b = 0; b < count; ++b) {
            QList<MatchRecord> items;
            const int n = RegMatches(blocks[b].Rewrites.value(0), QStringLiteral("<li[^>]*>([^<]*)"), items,
                                     QStringLiteral("$1"));
            QString replacement;
            for (int i = 0; i < n; ++i) {
                replacement +=
                    QString::number(i + 1) + QStringLiteral("、") + items[i].Rewrites.value(0) + crlf;
            }
            values.append(blocks[b].Value);
            lines.append(replacement);
        }
    } else {
        places = listBlocks(log);
        for (const ListBlock& block : places) {
            values.append(log.mid(block.start, block.end - block.start));
            lines.append(
                listLines(QStringView(log).mid(block.innerStart, block.innerEnd - block.innerStart)));
        }
    }
    // Each block's text is replaced wherever it occurs, one block after the
    // other. Text before a block holds no list opening (the search would
    // have found it), so when no block holds a second opening, the places of
    // a block's text are exactly the blocks of that text; and when taking
    // the blocks out joins no new opening, the replacements meet nothing
    // new. Then one pass that puts each block's lines in its place gives the
    // same text, in time in proportion to the log.
    QString text;
    bool inPlace = !places.empty();
    for (size_t b = 0; b < places.size() && inPlace; ++b) {
        inPlace = values[b].indexOf(u"<ul", 1, Qt::CaseInsensitive) < 0;
    }
    if (inPlace) {
        text.reserve(log.size());
        qsizetype from = 0;
        for (size_t b = 0; b < places.size(); ++b) {
            text.append(QStringView(log).mid(from, places[b].start - from));
            text.append(lines[b]);
            from = places[b].end;
        }
        const QStringView rest = QStringView(log).mid(from);
        text.append(rest);
        inPlace = listOpenings(text) == listOpenings(rest);
    }
    if (!inPlace && qint64(values.size()) * log.size() > LiteralLogWork) {
        // Thousands of nested or joined lists (a crafted log): the literal
        // replacements would search the whole log once per block and keep
        // the window waiting for seconds, so each block's lines go in its
        // place, as they do for a log of plain lists.
        if (places.empty()) {
            places = listBlocks(log);
            lines.clear();
            for (const ListBlock& block : places) {
                lines.append(
                    listLines(QStringView(log).mid(block.innerStart, block.innerEnd - block.innerStart)));
            }
        }
        text.clear();
        qsizetype from = 0;
        for (size_t b = 0; b < places.size(); ++b) {
            text.append(QStringView(log).mid(from, places[b].start - from));
            text.append(lines[qsizetype(b)]);
            from = places[b].end;
        }
        text.append(QStringView(log).mid(from));
        inPlace = true;
    }
    if (!inPlace) {
        // No block, nested openings or joined ones: the replacements, literally.
        text = log;
        for (qsizetype b = 0; b < values.size(); ++b) {
            text.replace(values[b], lines[b], Qt::CaseSensitive);
        }
    }
    return RegReplace(text, QStringLiteral("<[^br<>]*br[^br<>]*>"), crlf);
}

bool IsNewerVersion(const VersionInfo& server, int major, int minor, int revision) {
    if (server.major != major) {
        return server.major > major;
    }
    if (server.minor != minor) {
        return server.minor > minor;
    }
    return server.revision > revision;
}

UpdateOutcome EvaluateUpdate(const QString& responseText) {
    UpdateOutcome outcome;
    outcome.text = QStringLiteral("获取最新版本号失败，请检查是否连接上Internet，也有可能是服务器不正常。");
    outcome.title = QStringLiteral("连接失败");
    if (responseText.isEmpty() || responseText.startsWith(QStringLiteral("Error"))) {
        return outcome;
    }
    pugi::xml_document doc;
    if (!LoadXmlText(doc, responseText)) {
        return outcome;
    }
    outcome.info = ReadVersionInfo(doc);
    if (!outcome.info.valid) {
        return outcome;
    }
    const AppInfo app = AppInfo::current();
    const QString local = app.versionText();
    const QString server = outcome.info.versionText();
    if (IsNewerVersion(outcome.info, app.major, app.minor, app.revision)) {
        outcome.kind = UpdateOutcome::Newer;
        outcome.text = QStringLiteral(" 检测到有新的版本") + crlf + QStringLiteral("发布时间") +
                       outcome.info.time + crlf + crlf + QStringLiteral("您的当前版本：") + local + crlf +
                       QStringLiteral("最新版本：    ") + server + crlf + QStringLiteral("更新日志：") +
                       crlf + FormatUpdateLog(outcome.info.log) + crlf + crlf +
                       QStringLiteral("立即更新吗？");
        outcome.title = outcome.info.name + QStringLiteral("发现新版本");
    } else {
        outcome.kind = UpdateOutcome::NotNewer;
        outcome.text = QStringLiteral("未发现新版本") + crlf + crlf + QStringLiteral("您的当前版本：") +
                       local + crlf + QStringLiteral("最新版本：") + server + crlf + crlf +
                       QStringLiteral("是否访问网站查看？");
        outcome.title = outcome.info.name + QStringLiteral("未发现新版本");
    }
    return outcome;
}

UpdateOutcome FetchUpdate(const QString& url, HttpOptions options) {
    options.maxBodyBytes = std::min(options.maxBodyBytes, MaxVersionDocumentBytes);
    QString text;
    try {
        text = GetTextFromURL(url, options);
    } catch (const std::exception&) {
        text.clear();
    }
    return EvaluateUpdate(text);
}

bool IsOpenableWebsite(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

} // namespace zandorel
