#include "text/escapes.h"

namespace zandorel {
namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

// The unit of a \uXXXX escape at `at`, or -1.
int escapedUnit(QStringView text, qsizetype at) {
    if (at + 6 > text.size() || text[at] != u'\\' || text[at + 1] != u'u') {
        return -1;
    }
    int unit = 0;
    for (qsizetype k = at + 2; k < at + 6; ++k) {
        const int digit = hexValue(text[k]);
        if (digit < 0) {
            return -1;
        }
        unit = unit * 16 + digit;
    }
    return unit;
}

} // namespace

void AppendUnescaped(QString& out, QStringView text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype slash = text.indexOf(u'\\', i);
        if (slash < 0) {
            out.append(text.mid(i));
            return;
        }
        out.append(text.mid(i, slash - i));
        i = slash;
        if (i + 1 >= n) {
            out.append(u'\\');
            return;
        }
        char16_t plain = 0;
        switch (text[i + 1].unicode()) {
        case u'"':
            plain = u'"';
            break;
        case u'\\':
            plain = u'\\';
            break;
        case u'/':
            plain = u'/';
            break;
        case u'b':
            plain = 0x08;
            break;
        case u'f':
            plain = 0x0C;
            break;
        case u'n':
            plain = u'\n';
            break;
        case u'r':
            plain = u'\r';
            break;
        case u't':
            plain = u'\t';
            break;
        case u'u': {
            const int unit = escapedUnit(text, i);
            if (unit < 0) {
                break;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const int low = escapedUnit(text, i + 6);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    out.append(QChar(static_cast<char16_t>(unit)));
                    out.append(QChar(static_cast<char16_t>(low)));
                    i += 12;
                    continue;
                }
                out.append(text.mid(i, 6)); // half a pair stays as written
                i += 6;
                continue;
            }
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                out.append(text.mid(i, 6));
                i += 6;
                continue;
            }
            out.append(QChar(static_cast<char16_t>(unit)));
            i += 6;
            continue;
        }
        default:
            break;
        }
        if (plain != 0) {
            out.append(QChar(plain));
            i += 2;
        } else {
            out.append(u'\\'); // not an escape: the backslash stays, the rest follows as text
            i += 1;
        }
    }
}

void AppendHtmlEscaped(QString& out, QStringView text) {
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QLatin1StringView entity;
        switch (text[i].unicode()) {
        case u'&':
            entity = QLatin1StringView("&amp;");
            break;
        case u'<':
            entity = QLatin1StringView("&lt;");
            break;
        case u'>':
            entity = QLatin1StringView("&gt;");
            break;
        case u'"':
            entity = QLatin1StringView("&quot;");
            break;
        case u'\'':
            entity = QLatin1StringView("&#39;");
            break;
        default:
            continue;
        }
        out.append(text.mid(from, i - from));
        out.append(entity);
        from = i + 1;
    }
    out.append(text.mid(from));
}

void AppendPercentEncoded(QString& out, QStringView text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    auto byte = [&out](unsigned b) {
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                b == '-' || b == '.' || b == '_' || b == '~';
        if (unreserved) {
            out.append(QChar(static_cast<char16_t>(b)));
        } else {
            out.append(u'%');
            out.append(QChar(static_cast<char16_t>(hex[b >> 4])));
            out.append(QChar(static_cast<char16_t>(hex[b & 15])));
        }
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(cp)) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            byte(cp);
        } else if (cp < 0x800) {
            byte(0xC0 | (cp >> 6));
            byte(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            byte(0xE0 | (cp >> 12));
            byte(0x80 | ((cp >> 6) & 0x3F));
            byte(0x80 | (cp & 0x3F));
        } else {
            byte(0xF0 | (cp >> 18));
            byte(0x80 | ((cp >> 12) & 0x3F));
            byte(0x80 | ((cp >> 6) & 0x3F));
            byte(0x80 | (cp & 0x3F));
        }
    }
}

} // namespace zandorel
