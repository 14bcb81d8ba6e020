#pragma once
// Fast forward scans over UTF-16 text, eight code units at a time where the
// processor allows. The listing of a large folder is tens of millions of
// characters, of which only a few in a hundred are delimiters.

#include <QtGlobal>

namespace zandorel {

// Index of the first unit in [from, to) that equals one of `set` (up to four
// units; unused entries repeat the first), or `to` when there is none.
qsizetype FindAnyOf(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]);

// Index of the first `first` in [from, to) that is followed by `second`
// (which may lie at or past `to`, before `limit`), or `to`.
qsizetype FindPair(const char16_t* text, qsizetype from, qsizetype to, qsizetype limit, char16_t first,
                   char16_t second);

// Index of the first surrogate that is not part of a well-formed pair in
// [from, to), or `to`. A pair split by `to` counts as well formed when the
// unit after `to` exists in `limit`.
qsizetype FindLoneSurrogate(const char16_t* text, qsizetype from, qsizetype to, qsizetype limit);

} // namespace zandorel
