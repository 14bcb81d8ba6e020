#pragma once
// Small conversions shared by the skinning, the layout and the listing:
// colour texts, clamping, and the balanced cut the listing is built on.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <stdexcept>

namespace zandorel {

class OverflowError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Hexadecimal colour text (plain, or with x, 0x, # or &H in front) to a 32-bit
// number; any other text gives 0. Eight digits from 80000000 up are negative.
// Raises OverflowError for more than eight significant digits.
int32_t HexToLong(const QString& text);

// Upper-case hexadecimal of the value, zero-padded to `width`.
QString HexPad(int32_t value, uint8_t width);

// Decimal colour number with its red and blue bytes exchanged. Raises
// std::invalid_argument when the text is not a decimal 32-bit number.
QString SwapRedBlue(const QString& decimal);

inline int32_t MaxLong(int32_t a, int32_t b) {
    return a < b ? b : a;
}

// The characters strictly between the first `open` at or after `start`
// (1-based) and its matching `close`, nesting counted for that one pair and
// quotes not looked at. With open == close the text runs to the next one.
// `openingPosition` (1-based) is set when an opening delimiter is found;
// empty text when there is none or it never closes. One forward scan.
QString BalancedExtract(const QString& text, QChar open, QChar close, qsizetype& openingPosition,
                        qsizetype start);

// The same cut as a view into `text`; `found` tells an empty pair "{}" from
// no pair at all.
QStringView BalancedView(QStringView text, QChar open, QChar close, qsizetype& openingPosition,
                         qsizetype start, bool* found = nullptr);

} // namespace zandorel
