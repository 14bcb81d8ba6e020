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

qsizetype FindAnyOf(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]) {
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

qsizetype FindPair(const char16_t* text, qsizetype from, qsizetype to, qsizetype limit, char16_t first,
                   char16_t second) {
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi16(static_cast<short>(first));
    const __m128i b = _mm_set1_epi16(static_cast<short>(second));
    for (; i + 9 <= to && i + 9 <= limit; i += 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 1));
        const int mask = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(here, a), _mm_cmpeq_epi16(next, b)));
        if (mask != 0) {
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
        }
    }
#endif
    for (; i < to; ++i) {
        if (text[i] == first && i + 1 < limit && text[i + 1] == second) {
            return i;
        }
    }
    return to;
}

qsizetype FindLoneSurrogate(const char16_t* text, qsizetype from, qsizetype to, qsizetype limit) {
    qsizetype i = from;
    while (i < to) {
#if defined(__SSE2__)
        const __m128i mask = _mm_set1_epi16(static_cast<short>(0xF800));
        const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
        while (i + 8 <= to) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, mask), surrogate));
            if (hits != 0) {
                i += __builtin_ctz(static_cast<unsigned>(hits)) / 2;
                break;
            }
            i += 8;
        }
#endif
        while (i < to && !isSurrogate(text[i])) {
            ++i;
        }
        if (i >= to) {
            return to;
        }
        // A high surrogate followed by a low one is a character; anything
        // else is a unit on its own.
        if (isHigh(text[i]) && i + 1 < limit && isLow(text[i + 1])) {
            i += 2;
            continue;
        }
        return i;
    }
    return to;
}

} // namespace zandorel
