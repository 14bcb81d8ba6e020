#pragma once
// Text helpers of the stand-in share service: ids, escaping for the page's
// script data and HTML, header values, sizes, dates and media types.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zandorel::standin {

// 16 lower-case hex digits of the 64-bit FNV-1a hash of `bytes`.
// ASCII letters compared without regard to case, as HTTP compares its names.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

std::string fnv1aHex(std::string_view bytes);

// Lower-case hex, two digits a byte.
std::string hexEncode(std::string_view bytes);
void appendHex(std::string& out, std::string_view bytes);
// Accepts only what hexEncode writes: a non-empty, even number of lower-case
// hex digits.
std::optional<std::string> hexDecode(std::string_view hex);

bool isValidUtf8(std::string_view text);
// `text` with every byte that does not start a valid UTF-8 sequence replaced
// by U+FFFD.
std::string validUtf8(std::string_view text);

// Appends `text` as a quoted JSON string that the page's reader can cut
// without understanding escapes: no quote, backslash, brace, bracket,
// semicolon, angle bracket, ampersand, control character or line separator
// appears raw; each is written as \uXXXX. Bytes that are not valid UTF-8 are
// written as \ufffd, so the result is always valid UTF-8.
void appendJsonString(std::string& out, std::string_view text);
// The same without the quotes.
void appendJsonText(std::string& out, std::string_view text);

// Appends `text` escaped for HTML text and attribute values.
void appendHtml(std::string& out, std::string_view text);

// Percent-encodes every byte except ALPHA, DIGIT and "-._~".
std::string percentEncode(std::string_view bytes);

// A Content-Disposition value: `disposition; filename="<ascii>";
// filename*=UTF-8''<encoded>`, the encoded name being valid UTF-8 (U+FFFD in
// place of bytes that are not).
std::string contentDisposition(std::string_view disposition, std::string_view fileName);

// "532 bytes", "1 byte", "1.2 KB", "3.0 MB", ...
std::string displaySize(std::uintmax_t bytes);

// "2026-12-06T10:00:00Z"
std::string isoUtc(std::time_t time);
void appendIsoUtc(std::string& out, std::time_t time);
// An HTTP date: "Sun, 06 Dec 2026 10:00:00 GMT".
std::string httpDate(std::time_t time);

void appendNumber(std::string& out, std::uintmax_t value);

// The stem and extension shown for a file name. The extension keeps its dot;
// a name without one, or one whose only dot starts it (".bashrc"), has an
// empty extension.
struct NameParts {
    std::string_view stem;
    std::string_view extension;
};
NameParts splitExtension(std::string_view fileName);

// Media type by extension (with its dot, any letter case);
// application/octet-stream when unknown.
std::string_view mimeTypeFor(std::string_view extension);

} // namespace zandorel::standin
