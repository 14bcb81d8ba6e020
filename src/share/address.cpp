#include "share/address.h"

#include "text/regexpfunctions.h"

#include <QUrl>

namespace zandorel {
namespace {

QString hostPattern(const QString& host) {
    QString escaped = RegEscape(host);
    escaped.replace(QStringLiteral("\\."), QStringLiteral("."));
    return escaped;
}

QString firstRewrite(const QString& text, const QString& pattern) {
    QList<MatchRecord> records;
    if (RegMatches(text, pattern, records, QStringLiteral("$1")) > 0) {
        return records[0].Rewrites.value(0);
    }
    return QString();
}

} // namespace

QString ShareHost(const QString& base) {
    const QUrl url(base);
    if (url.host().isEmpty()) {
        return QString();
    }
    QString host = url.host();
    if (host.contains(u':')) {
        host = u'[' + host + u']';
    }
    return url.port() >= 0 ? host + u':' + QString::number(url.port()) : host;
}

FolderAddress ParseFolderAddress(const QString& address, const QString& host) {
    FolderAddress result;
    const QString h = hostPattern(host);
    if (host.isEmpty() ||
        !RegTest(address, QStringLiteral("(?:https?://)?") + h + QStringLiteral("/\\?.*cid="))) {
        return result;
    }
    result.valid = true;
    result.id = firstRewrite(address, h + QStringLiteral("/(?:\\?.*[^\\w]|\\?)id=([^&#\\r\\n]+).*"));
    result.cid = firstRewrite(address, h + QStringLiteral("/(?:\\?.*[^\\w]|\\?)cid=([^&#\\r\\n]+).*"));
    return result;
}

QString FolderURL(const QString& base, const QString& cid, const QString& id) {
    return base + QStringLiteral("/?cid=") + cid + QStringLiteral("&id=") + id;
}

} // namespace zandorel
