// Pattern helpers, string and number helpers, placeholders and code pages.

#include "share/sdpage.h"
#include "text/appinfo.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"
#include "text/stringfunctions.h"
#include "text/textcodec.h"

#include <gtest/gtest.h>

using namespace zandorel;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct AppFacts {
    AppFacts() {
        AppInfo info;
        info.title = q("Zandorel");
        info.folder = q("/opt/tools");
        info.exeName = q("Zandorel");
        info.major = 1;
        info.minor = 0;
        info.revision = 3;
        info.edition = q("beta");
        AppInfo::override(info);
    }
    ~AppFacts() { AppInfo::reset(); }
};

} // namespace

TEST(RegExpFunctions, ReplaceTestExtract) {
    struct Row {
        const char* name;
        const char* source;
        const char* pattern;
        const char* replacement;
        const char* expected;
    };
    const Row rows[] = {
        {"backslash in a template is literal", "a/b//c", "/", "\\", "a\\b\\\\c"},
        {"group then backslash", "ab", "(a)b", "$1\\", "a\\"},
        {"unknown group stays literal", "ab", "(a)b", "$2$", "$2$"},
        {"two-digit reference falls back to one digit", "ab", "(a)(b)", "$10", "a0"},
        {"dollar dollar", "x", "x", "$$", "$"},
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

TEST(StringFunctions, HexAndColours) {
    for (const char* text :
         {"FF8000", "#ff8000", "0xFF8000", "xFF8000", "&HFF8000", "0XFF8000", "&hff8000"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HexToLong(q(text)), 16744448);
    }
    for (const char* text : {"", "red", "12 34", "#", "0x"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HexToLong(q(text)), 0);
    }
    EXPECT_EQ(HexToLong(q("FFFFFFFF")), -1);
    EXPECT_EQ(HexToLong(q("00000000FF")), 255);
    EXPECT_THROW(HexToLong(q("123456789")), OverflowError);
    EXPECT_EQ(HexPad(255, 6), q("0000FF"));
    EXPECT_EQ(HexPad(-1, 2), q("FFFFFFFF"));
    EXPECT_EQ(SwapRedBlue(q("16744448")), q("33023"));
    EXPECT_EQ(SwapRedBlue(q("0")), q("0"));
    EXPECT_THROW(SwapRedBlue(q("abc")), std::invalid_argument);
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
    };
    const Row rows[] = {
        {"a{b{c}d}e", u'{', u'}', 1, "b{c}d", 2},
        {"a{b{c}d", u'{', u'}', 1, "", 2},
        {"xy", u'{', u'}', 1, "", -1},
        {"\"abc\"", u'"', u'"', 1, "abc", 1},
        {"{a}{b}", u'{', u'}', 3, "b", 4},
        {"{a}{b}", u'{', u'}', 5, "", -1},
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

TEST(Placeholders, AppTags) {
    AppFacts facts;
    qputenv("ZANDOREL_TEST_VAR", "value");
    qunsetenv("NO_SUCH_VAR_FOR_ZANDOREL");
    EXPECT_EQ(ExpandAppTags(q("%s(AppTitle) V%s(AppMajor).%s(AppMinor).%s(AppRevision)")),
              q("Zandorel V1.0.3"));
    EXPECT_EQ(ExpandAppTags(q("%s(appexename)|%s(APPPATH)|%s(AppBeta)")), q("Zandorel|/opt/tools|beta"));
    EXPECT_EQ(ExpandAppTags(q("%s(NO_SUCH_VAR_FOR_ZANDOREL)")), q("NO_SUCH_VAR_FOR_ZANDOREL"));
    EXPECT_EQ(ExpandAppTags(q("[%s(ZANDOREL_TEST_VAR)]")), q("[value]"));
    // %t(...) is left for the file expansion.
    EXPECT_EQ(ExpandAppTags(q("%t(name)")), q("%t(name)"));
}

TEST(Placeholders, PathVariables) {
    AppFacts facts;
    qunsetenv("UNSET_VAR_FOR_ZANDOREL");
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"%AppPath%\\Pictures/a.png", "/opt/tools/Pictures/a.png"},
        {"pic.png", "/opt/tools/pic.png"},
        {"", ""},
        {"%AppEXEName%.png", "/opt/tools/Zandorel/.png"},
        {"/srv/skin//x.png", "/srv/skin/x.png"},
        {"\\\\\\\\server\\share\\x.png", "//server/share/x.png"},
        {"%apppath%sub\\\\b.png", "/opt/tools/sub/b.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.in);
        EXPECT_EQ(ExpandPath(q(row.in)), q(row.out));
    }
}

TEST(Placeholders, FileTagsAndTemplates) {
    AppFacts facts;
    SDPage page;
    page.GetListFromCode(q("var primedResponse={\"children\":["
                           "{\"name\":\"report\",\"extension\":\".pdf\",\"a.b\":\"dot\"},"
                           "{\"name\":\"x\",\"extension\":\"%t(name)\"},"
                           "{\"name\":\"%s(AppTitle)\"}]};"));
    ASSERT_EQ(page.Files().Count(), 3);
    EXPECT_EQ(ExpandTemplate(q("%t(name)%t(extension)"), page, 1), q("report.pdf"));
    EXPECT_EQ(ExpandTemplate(q("%t(Name)|%t(a.b)|%T(fileindex)"), page, 1), q("|dot|1"));
    EXPECT_EQ(ExpandTemplate(q("%t(fileIndex)"), page, 3), q("3"));
    // Repeats are all replaced at the first match.
    EXPECT_EQ(ExpandFileTags(q("%t(name)-%t(name)"), page, 1), q("report-report"));
    // What a placeholder inserts is never read again: a value holding a
    // placeholder of any family stays as it stands.
    EXPECT_EQ(ExpandFileTags(q("%t(extension)%t(name)"), page, 2), q("%t(name)x"));
    EXPECT_EQ(ExpandTemplate(q("%t(name)"), page, 3), q("%s(AppTitle)"));
    EXPECT_EQ(ExpandFileTags(q("plain"), page, 99), q("plain"));
    EXPECT_THROW(ExpandFileTags(q("%t(name)"), page, 4), std::out_of_range);
}

TEST(Placeholders, ValuesHoldingPlaceholdersDoNotExplode) {
    // A name holding its own placeholder used to be expanded again at every
    // repeat of that placeholder in the template, doubling the text each
    // time: a listing could hang the program with one crafted file name.
    SDPage page;
    page.GetListFromCode(
        q("var primedResponse={\"children\":[{\"name\":\"%t(name)%t(name)\",\"a\":\"%t(b)%t(b)\","
          "\"b\":\"%t(c)%t(c)%t(c)%t(c)\",\"c\":\"0123456789\"}]};"));
    QString repeated;
    for (int i = 0; i < 64; ++i) {
        repeated += q("%t(name)");
    }
    EXPECT_EQ(ExpandFileTags(repeated, page, 1).size(), 64 * 16);
    EXPECT_EQ(ExpandFileTags(q("%t(a)%t(b)%t(c)"), page, 1), q("%t(b)%t(b)%t(c)%t(c)%t(c)%t(c)0123456789"));

    // Chains of different placeholders, each doubling the text, stop
    // growing at the length limit.
    QString entries;
    QString chain;
    for (int i = 1; i <= 24; ++i) {
        entries += QStringLiteral("\"k%1\":\"%t(k%2)%t(k%2)\",").arg(i).arg(i + 1);
        chain += QStringLiteral("%t(k%1)").arg(i);
    }
    entries += q("\"k25\":\"0123456789\"");
    SDPage chained;
    chained.GetListFromCode(q("var primedResponse={\"children\":[{") + entries + q("}]};"));
    EXPECT_LE(ExpandFileTags(chain, chained, 1).size(), MaxExpandedLength);
}

TEST(TextCodec, LegacyAndUtf8) {
    const QString text = q("会议纪要 €𝄞 ok");
    const QByteArray legacy = EncodeLegacy(text);
    EXPECT_EQ(DecodeLegacy(legacy), text);
    // GB18030 agrees with GBK for characters GBK has.
    EXPECT_EQ(EncodeLegacy(q("中")), QByteArray("\xD6\xD0"));
    EXPECT_TRUE(IsValidUtf8(text.toUtf8()));
    EXPECT_FALSE(IsValidUtf8(legacy));
    EXPECT_FALSE(IsValidUtf8(QByteArray("\xED\xA0\x80"))); // an encoded surrogate
    EXPECT_FALSE(IsValidUtf8(QByteArray("\xE4\xB8")));     // cut short
    EXPECT_EQ(DecodeCharset(QByteArray("\xD6\xD0"), q("GBK")), q("中"));
    EXPECT_EQ(DecodeCharset(QByteArray("caf\xE9"), q("ISO-8859-1")), q("café"));
    EXPECT_EQ(DecodeCharset(QByteArray("abc"), q("no-such-charset")), q("abc"));
    // Broken bytes never stop the decoding.
    EXPECT_EQ(DecodeLegacy(QByteArray("a\xFF"
                                      "b"))
                  .size(),
              3);
}
