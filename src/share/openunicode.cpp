#include "share/openunicode.h"

#include "text/textcodec.h"

#include <QFile>
#include <QFileInfo>

namespace zandorel {

QString ReadTextFile(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return QString();
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        throw FileError(QStringLiteral("cannot open %1: %2").arg(path, in.errorString()).toStdString());
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        throw FileError(QStringLiteral("cannot read %1: %2").arg(path, in.errorString()).toStdString());
    }
    if (bytes.isEmpty()) {
        return QString(1, QChar(u'\0'));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    }
    if (IsValidUtf8(bytes)) {
        return QString::fromUtf8(bytes);
    }
    return DecodeLegacy(bytes);
}

void WriteTextFile(const QString& path, const QString& text) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw FileError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    }
    const QByteArray bytes = EncodeLegacy(text);
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        throw FileError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    }
}

} // namespace zandorel
