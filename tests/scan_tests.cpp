// The fast scans against plain loops at every offset (every lane and the tail).

#include "testsupport.h"
#include "text/scan.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace zandorel;

namespace {

qsizetype plainAnyOf(const char16_t* s, qsizetype from, qsizetype to, const char16_t (&set)[4]) {
    for (qsizetype i = from; i < to; ++i) {
        if (s[i] == set[0] || s[i] == set[1] || s[i] == set[2] || s[i] == set[3]) {
            return i;
        }
    }
    return to;
}

qsizetype plainStatementEnd(const char16_t* s, qsizetype from, qsizetype n) {
    for (qsizetype i = from; i < n; ++i) {
        const char16_t c = s[i];
        if (c == u'\n' || (c == u'}' && i + 1 < n && s[i + 1] == u';')) {
            return i;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return i;
        }
    }
    return n;
}

} // namespace

TEST(Scan, AgreesWithPlainLoops) {
    const char16_t units[] = {u'a',  u'[',   u']',   u'{',   u'}', u';',
                              u'\n', 0xD83D, 0xDE00, 0xDC00, u'"', 0x4E2D};
    const char16_t set[4] = {u'[', u']', u'{', u'}'};
    QRandomGenerator random(3);
    for (int round = 0; round < 20000; ++round) {
        const qsizetype n = random.bounded(40);
        std::u16string text;
        for (qsizetype i = 0; i < n; ++i) {
            // Mostly plain text, so that hits fall in every lane.
            text += random.bounded(4) == 0 ? units[random.bounded(static_cast<int>(std::size(units)))] : u'x';
        }
        const char16_t* s = text.data();
        for (qsizetype from = 0; from <= n; ++from) {
            ASSERT_EQ(FindAnyOf(s, from, n, set), plainAnyOf(s, from, n, set))
                << test::printable(QString::fromStdU16String(text)) << " from " << from;
            ASSERT_EQ(FindStatementEnd(s, from, n), plainStatementEnd(s, from, n))
                << test::printable(QString::fromStdU16String(text)) << " from " << from;
            // Every '[' or ']' in order, stopping at the third.
            std::vector<qsizetype> seen;
            const qsizetype stop = ForEachOfTwo(s, from, n, u'[', u']', [&](qsizetype i) {
                seen.push_back(i);
                return seen.size() < 3;
            });
            std::vector<qsizetype> expected;
            for (qsizetype i = from; i < n && expected.size() < 3; ++i) {
                if (s[i] == u'[' || s[i] == u']') {
                    expected.push_back(i);
                }
            }
            ASSERT_EQ(seen, expected) << test::printable(QString::fromStdU16String(text)) << " from " << from;
            ASSERT_EQ(stop, expected.size() == 3 ? expected.back() : n);
        }
    }
}
