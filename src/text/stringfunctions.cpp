#include "text/stringfunctions.h"

#include "text/regexpfunctions.h"

namespace zandorel {

int32_t HexToLong(const QString& text) {
    QString digits;
    if (RegTest(text, QStringLiteral("^([a-fA-F\\d]+)$"))) {
        digits = text;
    } else if (RegTest(text, QStringLiteral("^(0?x|#|&H)([a-fA-F\\d]+)$"))) {
        digits = RegReplace(text, QStringLiteral("^(0?x|#|&H)([a-fA-F\\d]+)$"), QStringLiteral("$2"));
    } else {
        return 0;
    }
    qsizetype first = 0;
    while (first < digits.size() - 1 && digits.at(first) == u'0') {
        ++first;
    }
    if (digits.size() - first > 8) {
        throw OverflowError("hexadecimal value does not fit 32 bits");
    }
    uint32_t value = 0;
    for (qsizetype i = first; i < digits.size(); ++i) {
        value = value * 16 + static_cast<uint32_t>(QStringView(digits).mid(i, 1).toUInt(nullptr, 16));
    }
    return static_cast<int32_t>(value);
}

QString HexPad(int32_t value, uint8_t width) {
    QString hex = QString::number(static_cast<uint32_t>(value), 16).toUpper();
    if (hex.size() < width) {
        hex.prepend(QString(width - hex.size(), u'0'));
    }
    return hex;
}

QString SwapRedBlue(const QString& decimal) {
    bool ok = false;
    const int32_t value = decimal.trimmed().toInt(&ok);
    if (!ok) {
        throw std::invalid_argument("colour number is not a decimal number");
    }
    const QString h = HexPad(value, 6);
    const QString swapped = h.mid(4, 2) + h.mid(2, 2) + h.mid(0, 2);
    return QString::number(HexToLong(swapped));
}

QStringView BalancedView(QStringView text, QChar open, QChar close, qsizetype& openingPosition,
                         qsizetype start, bool* found) {
    if (found) {
        *found = false;
    }
    const qsizetype from = start < 1 ? 0 : start - 1;
    if (from >= text.size()) {
        return {};
    }
    const qsizetype b = text.indexOf(open, from);
    if (b < 0) {
        return {};
    }
    openingPosition = b + 1;
    if (open == close) {
        const qsizetype c = text.indexOf(close, b + 1);
        if (c < 0) {
            return {};
        }
        if (found) {
            *found = true;
        }
        return text.mid(b + 1, c - b - 1);
    }
    const char16_t o = open.unicode();
    const char16_t cl = close.unicode();
    const char16_t* data = text.utf16();
    qsizetype depth = 1;
    for (qsizetype i = b + 1, n = text.size(); i < n; ++i) {
        const char16_t c = data[i];
        if (c == o) {
            ++depth;
        } else if (c == cl && --depth == 0) {
            if (found) {
                *found = true;
            }
            return text.mid(b + 1, i - b - 1);
        }
    }
    return {};
}

QString BalancedExtract(const QString& text, QChar open, QChar close, qsizetype& openingPosition,
                        qsizetype start) {
    return BalancedView(text, open, close, openingPosition, start).toString();
}

} // namespace zandorel
