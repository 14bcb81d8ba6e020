#pragma once
// Text made safe for where it goes: the string escapes of script data read
// back into the text a person reads, and that text escaped for HTML or
// encoded for a URL.

#include <QString>
#include <QStringView>

namespace zandorel {

// Appends `text` with its string escapes decoded: \" \\ \/ \b \f \n \r \t
// and \uXXXX (a surrogate pair written as two escapes gives one character).
// A malformed escape, or an escaped surrogate that is not half of a pair,
// stays as written.
void AppendUnescaped(QString& out, QStringView text);

// Appends `text` with & < > " ' written as &amp; &lt; &gt; &quot; &#39;.
void AppendHtmlEscaped(QString& out, QStringView text);

// Appends the UTF-8 bytes of `text` with every byte but A-Z a-z 0-9 - . _ ~
// written as %XX (upper-case hexadecimal). A surrogate that is not half of a
// pair is encoded as U+FFFD.
void AppendPercentEncoded(QString& out, QStringView text);

} // namespace zandorel
