#pragma once
// Fast forward scans over UTF-16 text, eight code units at a time where the
// processor allows. The listing of a large folder is tens of millions of
// characters, of which only a few in a hundred are delimiters.

#include <QtGlobal>

namespace zandorel {

// Index of the first unit in [from, to) that equals one of `set` (up to four
// units; unused entries repeat the first), or `to` when there is none.
qsizetype FindAnyOf(const char16_t* text, qsizetype from, qsizetype to, const char16_t (&set)[4]);

// Index of the first line feed, `};`, or surrogate that is not half of a
// pair in [from, n), or n: where a one-line statement ends or breaks off.
qsizetype FindStatementEnd(const char16_t* text, qsizetype from, qsizetype n);

} // namespace zandorel
