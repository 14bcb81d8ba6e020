#include "share/remote.h"

#include <QJsonObject>
#include <array>
#include <optional>

namespace zandorel {
namespace {

constexpr QStringView PageStart = u"var primedResponse={\"children\":[";
constexpr QStringView PageEnd = u"]};\n";

void appendEscape(QString& out, char16_t unit) {
    static constexpr char hex[] = "0123456789abcdef";
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += QLatin1Char(hex[(unit >> shift) & 0xf]);
    }
}

// Appends `text` as the inside of a JSON string the page's reader cuts
// without understanding escapes: no quote, backslash, brace or bracket
// appears raw (they would end the value, the object or the list), no
// control character, line separator or half of a surrogate pair (they end
// the statement). A link keeps every other character as the cloud gave it;
// other texts also escape what the share service's own pages escape
// (`;`, `<`, `>`, `&`), so `%t` reads them the same for every source.
void appendText(QString& out, QStringView text, bool link) {
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        bool escape = c < 0x20 || c == u'"' || c == u'\\' || c == u'{' || c == u'}' || c == u'[' ||
                      c == u']' || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029;
        if (!link && (c == u';' || c == u'<' || c == u'>' || c == u'&')) {
            escape = true;
        }
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
                out += QChar(c);
                out += QChar(s[++i]);
            } else {
                appendEscape(out, 0xfffd);
            }
            continue;
        }
        if (QChar::isLowSurrogate(c)) {
            appendEscape(out, 0xfffd);
            continue;
        }
        if (escape) {
            appendEscape(out, c);
        } else {
            out += QChar(c);
        }
    }
}

void appendString(QString& out, QStringView key, QStringView value, bool link = false) {
    out += u",\"";
    out += key;
    out += u"\":\"";
    appendText(out, value, link);
    out += u'"';
}

// The file name without its last extension, and that extension with its
// dot: none for a name without a dot, one that ends in its dot, or one whose
// only dots start it (".bashrc").
std::pair<QStringView, QStringView> splitName(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    qsizetype firstOther = 0;
    while (firstOther < name.size() && name[firstOther] == u'.') {
        ++firstOther;
    }
    if (dot < 0 || dot + 1 == name.size() || firstOther >= dot) {
        return {name, QStringView()};
    }
    return {name.left(dot), name.mid(dot)};
}

QString textOf(const QJsonValue& value) {
    if (value.isString()) {
        return value.toString();
    }
    if (value.isDouble()) {
        return QString::number(value.toInteger(static_cast<qint64>(value.toDouble())));
    }
    if (value.isBool()) {
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    }
    return QString();
}

// rclone's error text, without the remote's connection-string options
// should rclone quote the remote back.
QString scrubbed(QString error, const QString& remote, const QString& shown) {
    if (!remote.isEmpty() && remote != shown) {
        error.replace(remote, shown);
    }
    return error;
}

[[noreturn]] void throwFor(const RcloneError& e, const QString& remote, const QString& shown) {
    const QString detail = scrubbed(QString::fromUtf8(e.what()), remote, shown);
    switch (e.kind()) {
    case RcloneError::Kind::UnknownRemote:
        throw RcloneError(e.kind(), QStringLiteral("unknown remote %1 (rclone: %2)").arg(shown, detail));
    case RcloneError::Kind::NotFound:
        throw RcloneError(e.kind(), QStringLiteral("no such folder %1 (rclone: %2)").arg(shown, detail));
    case RcloneError::Kind::TimedOut:
        throw RcloneError(e.kind(), QStringLiteral("could not reach %1 (%2)").arg(shown, detail));
    case RcloneError::Kind::CallFailed:
    case RcloneError::Kind::Unreachable:
        throw RcloneError(RcloneError::Kind::Unreachable,
                          QStringLiteral("could not reach or read %1 (rclone: %2)").arg(shown, detail));
    case RcloneError::Kind::Exited:
        throw RcloneError(e.kind(), QStringLiteral("%1 while listing %2").arg(detail, shown));
    case RcloneError::Kind::Missing:
    case RcloneError::Kind::StartFailed:
        break;
    }
    throw RcloneError(e.kind(), detail);
}

} // namespace

QString DisplaySize(qint64 bytes) {
    if (bytes < 0) {
        return QString();
    }
    if (bytes < 1024) {
        return QString::number(bytes) + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    // Tenths of the unit, rounded; moves up a unit where rounding reaches 1024.
    long double value = static_cast<long double>(bytes) / 1024.0L;
    size_t unit = 0;
    while (unit + 1 < units.size() && value * 10.0L + 0.5L >= 10240.0L) {
        value /= 1024.0L;
        ++unit;
    }
    const auto tenths = static_cast<quint64>(value * 10.0L + 0.5L);
    return QStringLiteral("%1.%2 %3").arg(tenths / 10).arg(tenths % 10).arg(QLatin1String(units[unit]));
}

QString RemotePageText(const QJsonArray& list, const QStringList& links, const QStringList& linkErrors) {
    QString out;
    out.reserve(PageStart.size() + list.size() * 400 + PageEnd.size());
    out += PageStart;
    bool first = true;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject item = list[i].toObject();
        if (item.value(QStringLiteral("IsDir")).toBool()) {
            continue; // folders are not records
        }
        const QString name = item.value(QStringLiteral("Name")).toString();
        const auto [stem, extension] = splitName(name);
        out += first ? u"{" : u",{";
        first = false;
        out += u"\"name\":\"";
        appendText(out, stem, false);
        out += u'"';
        appendString(out, u"extension", extension);
        appendString(out, u"path", item.value(QStringLiteral("Path")).toString());
        const qint64 size = item.value(QStringLiteral("Size")).toInteger(-1);
        out += u",\"size\":";
        out += QString::number(size);
        appendString(out, u"displaySize", DisplaySize(size));
        appendString(out, u"mimeType", item.value(QStringLiteral("MimeType")).toString());
        appendString(out, u"modTime", item.value(QStringLiteral("ModTime")).toString());
        const QString id = textOf(item.value(QStringLiteral("ID")));
        if (!id.isEmpty()) {
            appendString(out, u"id", id);
        }
        const QJsonObject hashes = item.value(QStringLiteral("Hashes")).toObject();
        if (!hashes.isEmpty()) {
            out += u",\"hashes\":{";
            bool firstHash = true;
            for (auto h = hashes.begin(); h != hashes.end(); ++h) {
                const QString value = textOf(h.value());
                if (value.isEmpty()) {
                    continue;
                }
                if (!firstHash) {
                    out += u',';
                }
                firstHash = false;
                out += u'"';
                appendText(out, h.key(), false);
                out += u"\":\"";
                appendText(out, value, false);
                out += u'"';
            }
            out += u'}';
        }
        const QString link = links.value(i);
        out += link.isEmpty() ? u",\"sharingLevelValue\":2" : u",\"sharingLevelValue\":0";
        if (!link.isEmpty()) {
            out += u",\"urls\":{\"download\":\"";
            appendText(out, link, true);
            out += u"\"}";
        }
        const QString error = linkErrors.value(i);
        if (!error.isEmpty()) {
            appendString(out, u"linkError", error);
        }
        out += u'}';
    }
    out += PageEnd;
    return out;
}

bool IsRemoteText(const QString& text) {
    const QString trimmed = text.trimmed();
    return !trimmed.contains(u"://") && RemoteNameEnd(trimmed) > 0;
}

RemoteListing ListRemote(const QString& remote, const RemoteOptions& options) {
    const QString shown = RemoteDisplayName(remote);
    std::optional<RcloneDaemon> own;
    RcloneDaemon* daemon = options.daemon;
    if (!daemon) {
        own.emplace();
        daemon = &*own;
    }
    RemoteListing result;
    RemoteProgress progress;
    auto tell = [&] {
        if (options.progress) {
            options.progress(progress);
        }
    };

    QJsonArray list;
    bool makesLinks = false;
    try {
        // What the remote can do: whether it makes links, and whether its
        // hashes cost a read of every file (a local disk) or come with the
        // listing. An rclone that ended since the last listing is found gone
        // here and started again.
        const QJsonObject fs{{QStringLiteral("fs"), remote}};
        QJsonObject info;
        try {
            info = daemon->Call(QStringLiteral("operations/fsinfo"), fs, options.http);
        } catch (const RcloneError& e) {
            if (e.kind() != RcloneError::Kind::Exited) {
                throw;
            }
            info = daemon->Call(QStringLiteral("operations/fsinfo"), fs, options.http);
        }
        const QJsonObject features = info.value(QStringLiteral("Features")).toObject();
        makesLinks = features.value(QStringLiteral("PublicLink")).toBool();
        const bool cheapHashes = !features.value(QStringLiteral("SlowHash")).toBool(true) &&
                                 !info.value(QStringLiteral("Hashes")).toArray().isEmpty();
        HttpOptions listing = options.http;
        listing.timeout = std::max(options.http.timeout, options.listTimeout);
        const QJsonObject opt{{QStringLiteral("recurse"), options.recursive},
                              {QStringLiteral("filesOnly"), true},
                              {QStringLiteral("showHash"), cheapHashes}};
        const QJsonObject answer = daemon->Call(QStringLiteral("operations/list"),
                                                {{QStringLiteral("fs"), remote},
                                                 {QStringLiteral("remote"), QString()},
                                                 {QStringLiteral("opt"), opt}},
                                                listing);
        list = answer.value(QStringLiteral("list")).toArray();
    } catch (const RcloneError& e) {
        throwFor(e, remote, shown);
    }

    // Files only, whatever rclone sent.
    QJsonArray files;
    for (const auto& item : std::as_const(list)) {
        if (!item.toObject().value(QStringLiteral("IsDir")).toBool()) {
            files.append(item);
        }
    }
    result.files = static_cast<int>(files.size());
    progress.listed = result.files;
    tell();

    QStringList links;
    QStringList errors;
    if (options.links && !files.isEmpty()) {
        links.resize(files.size());
        errors.resize(files.size());
        if (!makesLinks) {
            result.noLinks = QStringLiteral("%1 makes no public links").arg(shown);
            errors.fill(QStringLiteral("this remote makes no public links"));
        } else {
            std::vector<QJsonObject> inputs;
            inputs.reserve(static_cast<size_t>(files.size()));
            for (const auto& item : std::as_const(files)) {
                QJsonObject input{{QStringLiteral("fs"), remote},
                                  {QStringLiteral("remote"), item.toObject().value(QStringLiteral("Path"))}};
                if (!options.expire.isEmpty()) {
                    input.insert(QStringLiteral("expire"), options.expire);
                }
                inputs.push_back(std::move(input));
            }
            progress.linksWanted = result.files;
            tell();
            try {
                daemon->CallEach(QStringLiteral("operations/publiclink"), inputs, options.linksInFlight,
                                 options.http, [&](size_t index, const RcloneDaemon::Answer& answer) {
                                     const QString url = answer.body.value(QStringLiteral("url")).toString();
                                     const auto at = static_cast<qsizetype>(index);
                                     if (answer.error.isEmpty() && !url.isEmpty()) {
                                         links[at] = url;
                                         ++progress.linksMade;
                                     } else {
                                         errors[at] = answer.error.isEmpty()
                                                          ? QStringLiteral("rclone gave no link")
                                                          : scrubbed(answer.error, remote, shown);
                                         ++progress.linksFailed;
                                     }
                                     tell();
                                 });
            } catch (const RcloneError& e) {
                throwFor(e, remote, shown);
            }
            result.linksMade = progress.linksMade;
            result.linksFailed = progress.linksFailed;
            // One reason for every failure (an expiry the cloud refuses, no
            // permission to share) is worth telling as it is.
            for (const QString& error : std::as_const(errors)) {
                if (error.isEmpty()) {
                    continue;
                }
                if (result.linkFailure.isEmpty()) {
                    result.linkFailure = error;
                } else if (result.linkFailure != error) {
                    result.linkFailure.clear();
                    break;
                }
            }
        }
    }
    result.page = RemotePageText(files, links, errors);
    return result;
}

} // namespace zandorel
