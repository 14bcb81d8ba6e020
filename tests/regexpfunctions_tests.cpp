// The pattern helpers: replace, test, extract, matches with rewrites, the join format.

#include "testsupport.h"
#include "text/regexpfunctions.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(RegExpFunctions, ReplaceTestExtract) {
    const struct Row {
        const char* name;
        const char* source;
        const char* pattern;
        const char* replacement;
        const char* expected;
    } rows[] = {
        {"backslash in a template is literal", "a/b//c", "/", "\\", "a\\b\\\\c"},
        {"group then backslash", "ab", "(a)b", "$1\\", "a\\"},
        {"unknown group stays literal", "ab", "(a)b", "$2$", "$2$"},
        // A two-digit reference is one group only when the pattern has that many.
        {"$10 with nine groups", "abcdefghi", "(a)(b)(c)(d)(e)(f)(g)(h)(i)", "$10", "a0"},
        {"$10 with ten groups", "abcdefghij", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "$10", "j"},
        {"$11 with ten groups", "abcdefghij", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "$11", "a1"},
        {"$9 with nine groups", "abcdefghi", "(a)(b)(c)(d)(e)(f)(g)(h)(i)", "$9", "i"},
        {"$9 with eight groups", "abcdefgh", "(a)(b)(c)(d)(e)(f)(g)(h)", "[$9]", "[$9]"},
        {"$01 is group 1", "ab", "(a)(b)", "$01", "a"},
        {"$00 stays literal", "ab", "(a)b", "$00", "$00"},
        {"$0 stays literal", "ab", "(a)b", "$0", "$0"},
        {"$1 with no group stays literal", "ab", "ab", "$1", "$1"},
        {"dollar at the end", "ab", "(a)b", "$1$", "a$"},
        {"dollar before a non-ASCII digit", "ab", "(a)b", "$\u0661", "$\u0661"},
        {"dollar dollar", "x", "x", "$$", "$"},
        {"dollar dollar before a digit", "ab", "(a)b", "$$1", "$1"},
        {"whole match", "abc", "b", "[$&]", "a[b]c"},
        {"empty matches advance", "abc", "x*", "-", "-a-b-c-"},
        {"case ignored", "HeLLo", "l+", "_", "He_o"},
        {"dot stops at line feed only", "a\rb\nc", "a.*", "X", "X\nc"},
        {"dollar only at the very end", "ab\n", "b$", "X", "ab\n"},
        {"non-ASCII letters", "长城长城", "城", "墙", "长墙长墙"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RegReplace(q(row.source), q(row.pattern), q(row.replacement)), q(row.expected));
    }
    EXPECT_TRUE(RegTest(q("HELLO"), q("^hello$")));
    EXPECT_FALSE(RegTest(QString(), q("a")));
    EXPECT_EQ(RegExtract(q("a-1b2"), q("[-\\d]"), QString()), q("-12"));
    EXPECT_EQ(RegExtract(q("abc"), q("\\d"), q("0")), q("0"));
    EXPECT_EQ(RegExtract(q("x1y22"), q("\\d"), q("0")), q("122"));
    EXPECT_THROW(RegTest(q("x"), q("(unclosed")), PatternError);
}

TEST(RegExpFunctions, MatchesWithRewrites) {
    QList<MatchRecord> records;
    EXPECT_EQ(RegMatches(q("x1y22"), q("(\\d+)"), records, q("$1")), 2);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].Value, q("1"));
    EXPECT_EQ(records[1].Rewrites, QStringList{q("22")});

    // Two templates joined by NUL give two rewrites per match.
    QList<MatchRecord> pairs;
    EXPECT_EQ(RegMatches(q("k=v;a=b"), q("(\\w)=(\\w)"), pairs, q("$1") + QChar(u'\0') + q("$2:$1")), 2);
    EXPECT_EQ(pairs[1].Rewrites, (QStringList{q("a"), q("b:a")}));

    // No match leaves what the caller passed.
    QList<MatchRecord> kept{MatchRecord{q("old"), {}}};
    EXPECT_EQ(RegMatches(q("abc"), q("\\d"), kept, q("$1")), 0);
    EXPECT_EQ(kept[0].Value, q("old"));
}

TEST(RegExpFunctions, JoinFormat) {
    EXPECT_EQ(ExpandJoinFormat(q("L"), q("$1\\r\\n")), q("L\r\n"));
    EXPECT_EQ(ExpandJoinFormat(q("L"), q("[$1]\\R")), q("[L]\r"));
    EXPECT_EQ(ExpandJoinFormat(q("L"), q("sep\\n")), q("sep\n"));
    // A dollar sign in a link is text, not a group reference.
    EXPECT_EQ(ExpandJoinFormat(q("a$$b$1"), q("$1|")), q("a$$b$1|"));
}
