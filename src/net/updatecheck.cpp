#include "net/updatecheck.h"

#include "net/http.h"
#include "settings/editxml.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <QUrl>

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

QString FormatUpdateLog(const QString& log) {
    QList<MatchRecord> blocks;
    const int count =
        RegMatches(log, QStringLiteral("<ul[^>]*>([\\d\\D]*?)<\\/ul[^>]*>"), blocks, QStringLiteral("$1"));
    QString text = log;
    for (int b = 0; b < count; ++b) {
        const QString inner = blocks[b].Rewrites.value(0);
        QList<MatchRecord> items;
        const int n = RegMatches(inner, QStringLiteral("<li[^>]*>([^<]*)"), items, QStringLiteral("$1"));
        QString replacement;
        for (int i = 0; i < n; ++i) {
            replacement += QString::number(i + 1) + QStringLiteral("、") + items[i].Rewrites.value(0) + crlf;
        }
        text.replace(blocks[b].Value, replacement, Qt::CaseSensitive);
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

UpdateOutcome FetchUpdate(const QString& url) {
    QString text;
    try {
        text = GetTextFromURL(url);
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
