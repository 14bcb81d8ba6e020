#include "text/textcodec.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace zandorel {
namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) {
            iconv_close(handle_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    // iconv_open tells a failure by the handle value -1.
    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); } // NOLINT(performance-no-int-to-ptr)

    // Converts all of `input`; a byte sequence that cannot be converted is
    // replaced by `replacement` (in the target encoding) and skipped.
    QByteArray convert(const char* input, size_t length, const QByteArray& replacement, size_t skip) {
        QByteArray out;
        out.resize(static_cast<qsizetype>(length) * 2 + 16);
        char* in = const_cast<char*>(input);
        size_t inLeft = length;
        char* dst = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        while (inLeft > 0) {
            const size_t rc = iconv(handle_, &in, &inLeft, &dst, &outLeft);
            if (rc != static_cast<size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                outLeft = static_cast<size_t>(out.size() - used);
                continue;
            }
            // EILSEQ or EINVAL: drop the offending unit and mark it.
            const size_t drop = std::min(skip, inLeft);
            in += drop;
            inLeft -= drop;
            if (outLeft < static_cast<size_t>(replacement.size())) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2 + replacement.size());
                dst = out.data() + used;
                outLeft = static_cast<size_t>(out.size() - used);
            }
            memcpy(dst, replacement.constData(), static_cast<size_t>(replacement.size()));
            dst += replacement.size();
            outLeft -= static_cast<size_t>(replacement.size());
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        size_t flushLeft = outLeft;
        iconv(handle_, nullptr, nullptr, &dst, &flushLeft);
        out.resize(dst - out.data());
        return out;
    }

private:
    iconv_t handle_;
};

QString fromUtf16Bytes(const QByteArray& bytes) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

} // namespace

bool IsValidUtf8(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

QString DecodeLegacy(const QByteArray& bytes) {
    return DecodeCharset(bytes, QStringLiteral("GB18030"));
}

QByteArray EncodeLegacy(const QString& text) {
    Iconv cd("GB18030", "UTF-16LE");
    if (!cd.ok()) {
        return text.toUtf8();
    }
    const auto* data = reinterpret_cast<const char*>(text.utf16());
    // A lone surrogate cannot be encoded; it becomes "?".
    return cd.convert(data, static_cast<size_t>(text.size()) * 2, QByteArrayLiteral("?"), 2);
}

QString DecodeCharset(const QByteArray& bytes, const QString& charset) {
    const QString name = charset.trimmed().toLower();
    if (name.isEmpty() || name == u"utf-8" || name == u"utf8") {
        return QString::fromUtf8(bytes);
    }
    const QByteArray iconvName = name.toLatin1();
    Iconv cd("UTF-16LE", iconvName.constData());
    if (!cd.ok()) {
        return QString::fromUtf8(bytes);
    }
    static const QByteArray replacement("\xFD\xFF", 2); // U+FFFD, little-endian
    return fromUtf16Bytes(cd.convert(bytes.constData(), static_cast<size_t>(bytes.size()), replacement, 1));
}

} // namespace zandorel
