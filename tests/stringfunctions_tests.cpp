// Hexadecimal colours, clamping and the balanced cut.

#include "testsupport.h"
#include "text/stringfunctions.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(StringFunctions, HexAndColours) {
    for (const char* text :
         {"FF8000", "#ff8000", "0xFF8000", "xFF8000", "&HFF8000", "0XFF8000", "&hff8000"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HexToLong(q(text)), 16744448);
    }
    // The characters next to the hexadecimal digits are not digits.
    for (const char* text :
         {"", "red", "12 34", "#", "0x", "1g", "1G", "1@", "1`", "1/", "1:", "#1g", "0x1:"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HexToLong(q(text)), 0);
    }
    // "text value"; the last two have nine digits, none or eight of them significant.
    for (const char* row :
         {"0 0", "9 9", "a 10", "A 10", "f 15", "F 15", "7FFFFFFF 2147483647", "80000000 -2147483648",
          "FFFFFFFF -1", "00000000FF 255", "000000000 0", "0FFFFFFFF -1"}) {
        EXPECT_EQ(QString::number(HexToLong(q(row).section(u' ', 0, 0))), q(row).section(u' ', 1)) << row;
    }
    EXPECT_THROW(HexToLong(q("123456789")), OverflowError);
    EXPECT_THROW(HexToLong(q("100000000")), OverflowError);
    EXPECT_EQ(HexPad(255, 6), q("0000FF"));
    EXPECT_EQ(HexPad(-1, 2), q("FFFFFFFF"));
    EXPECT_EQ(SwapRedBlue(q("16744448")), q("33023"));
    EXPECT_EQ(SwapRedBlue(q("0")), q("0"));
    EXPECT_THROW(SwapRedBlue(q("abc")), std::invalid_argument);
    // 32-bit numbers only, both ends included.
    EXPECT_EQ(SwapRedBlue(q("2147483647")), q("16777087")); // 7FFFFFFF: FFFFFF swapped is FFFF7F
    EXPECT_EQ(SwapRedBlue(q("-2147483648")), q("128"));     // 80000000: 800000 swapped is 000080
    EXPECT_THROW(SwapRedBlue(q("2147483648")), std::invalid_argument);
    EXPECT_THROW(SwapRedBlue(q("-2147483649")), std::invalid_argument);
    // Past FFFFFF only the first six hexadecimal digits are kept, swapped.
    EXPECT_EQ(SwapRedBlue(q("16777216")), q("16"));       // 1000000: 100000 swapped is 000010
    EXPECT_EQ(SwapRedBlue(q("305419896")), q("5649426")); // 12345678: 123456 swapped is 563412
    EXPECT_EQ(SwapRedBlue(q("-1")), q("16777215"));       // FFFFFFFF: FFFFFF
    EXPECT_EQ(MaxLong(-5, 0), 0);
    EXPECT_EQ(MaxLong(7, 0), 7);
}

TEST(StringFunctions, BalancedCut) {
    struct Row {
        const char* text;
        char16_t open, close;
        qsizetype start;
        const char* expected;
        qsizetype opening; // -1: left as it was
    } const rows[] = {
        {"a{b{c}d}e", u'{', u'}', 1, "b{c}d", 2},
        {"a{b{c}d", u'{', u'}', 1, "", 2},
        {"xy", u'{', u'}', 1, "", -1},
        {"\"abc\"", u'"', u'"', 1, "abc", 1},
        {"{a}{b}", u'{', u'}', 3, "b", 4},
        {"{a}{b}", u'{', u'}', 4, "b", 4},       // starting on the brace itself
        {"{a}", u'{', u'}', 3, "", -1},          // on the last character
        {"{a}", u'{', u'}', 0, "a", 1},          // before the first
        {"[\"]\",[x]]", u'[', u']', 1, "\"", 1}, // quotes are not looked at
        {"{}", u'{', u'}', 1, "", 1},
        {"{a}", u'{', u'}', 99, "", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        qsizetype opening = -1;
        EXPECT_EQ(BalancedExtract(q(row.text), QChar(row.open), QChar(row.close), opening, row.start),
                  q(row.expected));
        EXPECT_EQ(opening, row.opening);
    }
}
