#include "sharetext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <iterator>

namespace zandorel::standin {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Length of the valid UTF-8 sequence starting at `at`, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) {
            low = 0xa0;
        } else if (lead == 0xed) {
            high = 0x9f;
        }
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) {
            low = 0x90;
        } else if (lead == 0xf4) {
            high = 0x8f;
        }
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

void appendUnicodeEscape(std::string& out, unsigned value) {
    out += "\\u";
    out += kHexDigits[(value >> 12) & 0xf];
    out += kHexDigits[(value >> 8) & 0xf];
    out += kHexDigits[(value >> 4) & 0xf];
    out += kHexDigits[value & 0xf];
}

bool unsafeInScriptData(unsigned char c) {
    switch (c) {
    case '"':
    case '\\':
    case '{':
    case '}':
    case '[':
    case ']':
    case ';':
    case '<':
    case '>':
    case '&':
        return true;
    default:
        return c < 0x20 || c == 0x7f;
    }
}

bool plainInHtml(unsigned char c) {
    return c >= 0x20 && c < 0x7f && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'' && c != '{' &&
           c != '}';
}

struct MimeEntry {
    std::string_view extension; // lower case, with the dot
    std::string_view type;
};

// Sorted by extension.
constexpr std::array kMimeTypes{
    MimeEntry{".7z", "application/x-7z-compressed"},
    MimeEntry{".aac", "audio/aac"},
    MimeEntry{".apk", "application/vnd.android.package-archive"},
    MimeEntry{".avi", "video/x-msvideo"},
    MimeEntry{".bmp", "image/bmp"},
    MimeEntry{".bz2", "application/x-bzip2"},
    MimeEntry{".css", "text/css"},
    MimeEntry{".csv", "text/csv"},
    MimeEntry{".doc", "application/msword"},
    MimeEntry{".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    MimeEntry{".epub", "application/epub+zip"},
    MimeEntry{".exe", "application/vnd.microsoft.portable-executable"},
    MimeEntry{".flac", "audio/flac"},
    MimeEntry{".gif", "image/gif"},
    MimeEntry{".gz", "application/gzip"},
    MimeEntry{".htm", "text/html"},
    MimeEntry{".html", "text/html"},
    MimeEntry{".ico", "image/vnd.microsoft.icon"},
    MimeEntry{".iso", "application/x-iso9660-image"},
    MimeEntry{".jpeg", "image/jpeg"},
    MimeEntry{".jpg", "image/jpeg"},
    MimeEntry{".js", "text/javascript"},
    MimeEntry{".json", "application/json"},
    MimeEntry{".m4a", "audio/mp4"},
    MimeEntry{".md", "text/markdown"},
    MimeEntry{".mkv", "video/x-matroska"},
    MimeEntry{".mov", "video/quicktime"},
    MimeEntry{".mp3", "audio/mpeg"},
    MimeEntry{".mp4", "video/mp4"},
    MimeEntry{".odp", "application/vnd.oasis.opendocument.presentation"},
    MimeEntry{".ods", "application/vnd.oasis.opendocument.spreadsheet"},
    MimeEntry{".odt", "application/vnd.oasis.opendocument.text"},
    MimeEntry{".ogg", "audio/ogg"},
    MimeEntry{".pdf", "application/pdf"},
    MimeEntry{".png", "image/png"},
    MimeEntry{".ppt", "application/vnd.ms-powerpoint"},
    MimeEntry{".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    MimeEntry{".rar", "application/vnd.rar"},
    MimeEntry{".rtf", "application/rtf"},
    MimeEntry{".svg", "image/svg+xml"},
    MimeEntry{".tar", "application/x-tar"},
    MimeEntry{".tif", "image/tiff"},
    MimeEntry{".tiff", "image/tiff"},
    MimeEntry{".txt", "text/plain"},
    MimeEntry{".wav", "audio/wav"},
    MimeEntry{".webm", "video/webm"},
    MimeEntry{".webp", "image/webp"},
    MimeEntry{".xls", "application/vnd.ms-excel"},
    MimeEntry{".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    MimeEntry{".xml", "application/xml"},
    MimeEntry{".xz", "application/x-xz"},
    MimeEntry{".zip", "application/zip"},
};

// Appends the UTF-8 sequence at `at`, or U+FFFD for a byte that starts none;
// returns the bytes used.
std::size_t appendSequence(std::string& out, std::string_view text, std::size_t at) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
        out += "\xef\xbf\xbd";
        return 1;
    }
    out.append(text.substr(at, length));
    return length;
}

} // namespace

std::string fnv1aHex(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kHexDigits[hash & 0xf];
        hash >>= 4;
    }
    return out;
}

void appendHex(std::string& out, std::string_view bytes) {
    const std::size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    char* p = out.data() + at;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *p++ = kHexDigits[b >> 4];
        *p++ = kHexDigits[b & 0xf];
    }
}

std::string hexEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    appendHex(out, bytes);
    return out;
}

std::optional<std::string> hexDecode(std::string_view hex) {
    if (hex.empty() || hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        i += appendSequence(out, text, i);
    }
    return out;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    appendJsonText(out, text);
    out += '"';
}

void appendJsonText(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Copy the run of plain ASCII at once.
        std::size_t plain = i;
        while (plain < text.size()) {
            const auto c = static_cast<unsigned char>(text[plain]);
            if (c >= 0x80 || unsafeInScriptData(c)) {
                break;
            }
            ++plain;
        }
        out.append(text.data() + i, plain - i);
        i = plain;
        if (i == text.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            appendUnicodeEscape(out, c);
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            appendUnicodeEscape(out, 0xfffd);
            ++i;
            continue;
        }
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if (c == 0xc2 && next < 0xa0) {
            // C1 control characters, U+0085 among them, can count as line ends.
            appendUnicodeEscape(out, next);
        } else if (c == 0xe2 && next == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xa8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xa9)) {
            // U+2028 and U+2029 end lines for some readers and older scripts.
            appendUnicodeEscape(out, 0x2000 + (static_cast<unsigned char>(text[i + 2]) & 0x3f));
        } else {
            out.append(text.data() + i, length);
        }
        i += length;
    }
}

void appendHtml(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t plain = i;
        while (plain < text.size() && plainInHtml(static_cast<unsigned char>(text[plain]))) {
            ++plain;
        }
        out.append(text.data() + i, plain - i);
        i = plain;
        if (i == text.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            i += appendSequence(out, text, i);
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        // Braces never appear raw, so no page text can imitate the data statement.
        case '{':
            out += "&#123;";
            break;
        case '}':
            out += "&#125;";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\xef\xbf\xbd";
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
}

std::string percentEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            constexpr char upper[] = "0123456789ABCDEF";
            out += '%';
            out += upper[c >> 4];
            out += upper[c & 0xf];
        }
    }
    return out;
}

std::string contentDisposition(std::string_view disposition, std::string_view fileName) {
    std::string fallback;
    fallback.reserve(fileName.size());
    for (std::size_t i = 0; i < fileName.size();) {
        const auto c = static_cast<unsigned char>(fileName[i]);
        if (c >= 0x80) {
            // One stand-in character for each non-ASCII character.
            const std::size_t length = utf8SequenceLength(fileName, i);
            fallback += '_';
            i += length == 0 ? 1 : length;
            continue;
        }
        fallback += (c < 0x20 || c == 0x7f || c == '"' || c == '\\' || c == '%') ? '_' : static_cast<char>(c);
        ++i;
    }
    if (fallback.empty()) {
        fallback = "download";
    }
    std::string out(disposition);
    out += "; filename=\"";
    out += fallback;
    out += "\"; filename*=UTF-8''";
    out += percentEncode(validUtf8(fileName));
    return out;
}

std::string displaySize(std::uintmax_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    // Tenths of the unit, rounded; moves up a unit where rounding reaches 1024.
    long double value = static_cast<long double>(bytes) / 1024.0L;
    std::size_t unit = 0;
    while (unit + 1 < units.size() && value * 10.0L + 0.5L >= 10240.0L) {
        value /= 1024.0L;
        ++unit;
    }
    const auto tenths = static_cast<std::uintmax_t>(value * 10.0L + 0.5L);
    return std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10) + ' ' + units[unit];
}

void appendIsoUtc(std::string& out, std::time_t time) {
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr || parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 9999) {
        out += "1970-01-01T00:00:00Z";
        return;
    }
    char text[] = "0000-00-00T00:00:00Z";
    const auto put = [&](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            text[at + i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, parts.tm_year + 1900, 4);
    put(5, parts.tm_mon + 1, 2);
    put(8, parts.tm_mday, 2);
    put(11, parts.tm_hour, 2);
    put(14, parts.tm_min, 2);
    put(17, parts.tm_sec, 2);
    out.append(text, sizeof text - 1);
}

std::string httpDate(std::time_t time) {
    static constexpr std::array<const char*, 7> days{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr || parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 9999) {
        time = 0;
        gmtime_r(&time, &parts);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  days[static_cast<std::size_t>(parts.tm_wday)], parts.tm_mday,
                  months[static_cast<std::size_t>(parts.tm_mon)], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
    return text;
}

std::string isoUtc(std::time_t time) {
    std::string out;
    appendIsoUtc(out, time);
    return out;
}

void appendNumber(std::string& out, std::uintmax_t value) {
    char text[24];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    out.append(text, static_cast<std::size_t>(result.ptr - text));
}

NameParts splitExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == fileName.size() ||
        fileName.find_first_not_of('.') >= dot) {
        return {fileName, {}};
    }
    return {fileName.substr(0, dot), fileName.substr(dot)};
}

std::string_view mimeTypeFor(std::string_view extension) {
    constexpr std::string_view unknown = "application/octet-stream";
    if (extension.size() < 2 || extension.size() > 8) {
        return unknown;
    }
    std::string lower(extension);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    const auto found =
        std::lower_bound(kMimeTypes.begin(), kMimeTypes.end(), lower,
                         [](const MimeEntry& e, const std::string& key) { return e.extension < key; });
    if (found != kMimeTypes.end() && found->extension == lower) {
        return found->type;
    }
    return unknown;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace zandorel::standin
