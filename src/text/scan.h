#pragma once
// Fast forward scans over UTF-16 text, eight code units at a time where the
// processor allows. The listing of a large folder is tens of millions of
// characters, of which only a few in a hundred are delimiters.

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zandorel {

// FindAnyOf from the fifth unit on.
qsizetype FindAnyOfFar(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]);

// Index of the first unit in [from, to) that equals one of `set` (up to four
// units; unused entries repeat the first), or `to` when there is none. In
// compact listings the next delimiter is most often a few units away, so
// those are looked at one by one before the wide scan.
inline qsizetype FindAnyOf(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]) {
    const qsizetype near = to - from < 4 ? to : from + 4;
    for (; from < near; ++from) {
        const char16_t u = text[from];
        if (u == set[0] || u == set[1] || u == set[2] || u == set[3]) {
            return from;
        }
    }
    return from < to ? FindAnyOfFar(text, from, to, set) : to;
}

// Calls at(i) for each i in [from, to) whose unit is `a` or `b`, in order,
// until at returns false. Returns the i it stopped at, or `to`. Dense hits
// cost one test each, not one search each.
template <typename At>
qsizetype ForEachOfTwo(const char16_t* text, qsizetype from, qsizetype to, char16_t a, char16_t b, At&& at) {
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i wideA = _mm_set1_epi16(static_cast<short>(a));
    const __m128i wideB = _mm_set1_epi16(static_cast<short>(b));
    for (; i + 8 <= to; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, wideA), _mm_cmpeq_epi16(v, wideB));
        // One bit per unit.
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(hit, _mm_setzero_si128())));
        while (mask != 0) {
            const qsizetype found = i + __builtin_ctz(mask);
            if (!at(found)) {
                return found;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; i < to; ++i) {
        if ((text[i] == a || text[i] == b) && !at(i)) {
            return i;
        }
    }
    return to;
}

// Index of the first line feed, `};`, or surrogate that is not half of a
// pair in [from, n), or n: where a one-line statement ends or breaks off.
qsizetype FindStatementEnd(const char16_t* text, qsizetype from, qsizetype n);

} // namespace zandorel
