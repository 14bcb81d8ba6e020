#pragma once
// Conversions between bytes and text: UTF-8, the legacy Chinese code page
// (GB18030, which agrees with GBK on every character GBK has) and any
// charset a web server declares.

#include <QByteArray>
#include <QString>

namespace zandorel {

// True when the bytes are valid UTF-8 throughout.
bool IsValidUtf8(const QByteArray& bytes);

// GB18030 bytes to text; undecodable bytes become U+FFFD.
QString DecodeLegacy(const QByteArray& bytes);

// Text to GB18030 bytes; every character has a representation.
QByteArray EncodeLegacy(const QString& text);

// Bytes in the named charset (any name iconv knows, case-insensitive) to
// text. An empty or unknown name reads the bytes as UTF-8.
QString DecodeCharset(const QByteArray& bytes, const QString& charset);

} // namespace zandorel
