#include "text/scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zandorel {
namespace {

inline bool isSurrogate(char16_t c) {
    return (c & 0xF800) == 0xD800;
}

inline bool isHigh(char16_t c) {
    return (c & 0xFC00) == 0xD800;
}

inline bool isLow(char16_t c) {
    return (c & 0xFC00) == 0xDC00;
}

} // namespace

qsizetype FindAnyOfFar(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]) {
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi16(static_cast<short>(set[0]));
    const __m128i b = _mm_set1_epi16(static_cast<short>(set[1]));
    const __m128i c = _mm_set1_epi16(static_cast<short>(set[2]));
    const __m128i d = _mm_set1_epi16(static_cast<short>(set[3]));
    for (; i + 8 <= to; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, a), _mm_cmpeq_epi16(v, b)),
                                         _mm_or_si128(_mm_cmpeq_epi16(v, c), _mm_cmpeq_epi16(v, d)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) {
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
        }
    }
#endif
    for (; i < to; ++i) {
        const char16_t u = text[i];
        if (u == set[0] || u == set[1] || u == set[2] || u == set[3]) {
            return i;
        }
    }
    return to;
}

qsizetype FindStatementEnd(const char16_t* text, qsizetype from, qsizetype n) {
    qsizetype i = from;
    while (i < n) {
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi16(u'\n');
        const __m128i brace = _mm_set1_epi16(u'}');
        const __m128i semicolon = _mm_set1_epi16(u';');
        const __m128i mask = _mm_set1_epi16(static_cast<short>(0xF800));
        const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
        while (i + 9 <= n) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 1));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(here, lf),
                                          _mm_cmpeq_epi16(_mm_and_si128(here, mask), surrogate)),
                             _mm_and_si128(_mm_cmpeq_epi16(here, brace), _mm_cmpeq_epi16(next, semicolon)));
            const int bits = _mm_movemask_epi8(hit);
            if (bits != 0) {
                i += __builtin_ctz(static_cast<unsigned>(bits)) / 2;
                break;
            }
            i += 8;
        }
#endif
        while (i < n) {
            const char16_t c = text[i];
            if (c == u'\n' || isSurrogate(c) || (c == u'}' && i + 1 < n && text[i + 1] == u';')) {
                break;
            }
            ++i;
        }
        if (i >= n) {
            return n;
        }
        if (isHigh(text[i]) && i + 1 < n && isLow(text[i + 1])) {
            i += 2; // a character of two units
            continue;
        }
        return i;
    }
    return n;
}

} // namespace zandorel
