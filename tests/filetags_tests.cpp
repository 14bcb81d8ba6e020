// Templates filled from a file's properties, and the join format read once.

#include "share/filetags.h"
#include "share/linklist.h"
#include "share/sdpage.h"
#include "testsupport.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::listing;
using zandorel::test::q;

namespace {

// The link text of file `position`: the template read once, filled from the record.
QString link(const QString& tmpl, const SDPage& page, int position) {
    LinkTemplates t;
    t.codeFormat = tmpl;
    t.app = AppInfo::current();
    LinkBuilder builder(t, LinkBuilder::Link);
    builder.Read(page.Files(), position);
    QString out;
    builder.AppendLink(out);
    return out;
}

} // namespace

TEST(FileTags, Families) {
    const SDPage page =
        listing(q(R"({"name":"\u003cb\u003e Tom's \u0026 \"J\" caf\u00e9 \ud83d\ude00","extension":".txt",)"
                  R"("path":"a\/b c","zh":"会议纪要","lone":"x\ud83d","bad":"\q\u12","AZaz09_.":"ends"})"));
    const std::pair<const char*, QString> rows[] = {
        {"%t(name)", q(R"(\u003cb\u003e Tom's \u0026 \)")}, // the string ends at the escaped quote
        {"%t(path)", q(R"(a\/b c)")},
        {"%v(path)", q("a/b c")},
        {"%V(path)", q("a/b c")},
        {"%h(path)", q("a/b c")},
        {"%u(path)", q("a%2Fb%20c")},
        {"%U(zh)%H(zh)%v(zh)", q("%E4%BC%9A%E8%AE%AE%E7%BA%AA%E8%A6%81会议纪要会议纪要")},
        {"%v(lone)|%u(lone)", q("x\\ud83d|x%5Cud83d")},
        {"%v(bad)", q("\\q\\u12")},
        {"%v(Name)|%h(missing)|%u(nothing)", q("||")},
        {"%t(fileIndex)%v(FILEINDEX)%h(fileindex)%u(FileIndex)", q("1111")},
        {"%x(name)%t()%t(name%t(extension)", q("%x(name)%t()%t(name.txt")},
        // Names are letters, digits, '_' and '.'; the characters next to those ranges end one.
        {"%t(AZaz09_.)", q("ends")},
        {"%t(@)%t([)%t(`)%t({)%t(/)%t(:)%t(-)%t(^)", q("%t(@)%t([)%t(`)%t({)%t(/)%t(:)%t(-)%t(^)")},
    };
    for (const auto& [tmpl, out] : rows) {
        EXPECT_EQ(link(q(tmpl), page, 1), out) << tmpl;
    }
    const SDPage names = listing(q(R"({"name":"\u003cb\u003e Tom's \u0026 caf\u00e9 \ud83d\ude00"})"));
    EXPECT_EQ(link(q("%v(name)"), names, 1), q("<b> Tom's & café 😀"));
    EXPECT_EQ(link(q("%h(name)"), names, 1), q("&lt;b&gt; Tom&#39;s &amp; café 😀"));
    EXPECT_EQ(link(q("%u(name)"), names, 1), q("%3Cb%3E%20Tom%27s%20%26%20caf%C3%A9%20%F0%9F%98%80"));
}

TEST(FileTags, OnePass) {
    qputenv("ZANDOREL_TEST_SECRET", "secret-value");
    AppInfo info = AppInfo::current();
    info.title = q("Zandorel");
    AppInfo::override(info);
    const SDPage page = listing(q(R"j({"name":"%s(ZANDOREL_TEST_SECRET)","a":"%t(b)","b":"B",)j"
                                  R"j("self":"%t(self)%t(self)","v":"%v(b)%h(b)%u(b)%S(HOME)%ſ(HOME)"})j"));
    const std::pair<const char*, const char*> rows[] = {
        // Text from the page is never read again, whatever it holds.
        {"%t(name)", "%s(ZANDOREL_TEST_SECRET)"},
        {"%v(name)|%h(name)", "%s(ZANDOREL_TEST_SECRET)|%s(ZANDOREL_TEST_SECRET)"},
        {"%t(a)%t(b)", "%t(b)B"},
        {"%t(v)", "%v(b)%h(b)%u(b)%S(HOME)%ſ(HOME)"},
        {"%t(self)%t(self)", "%t(self)%t(self)%t(self)%t(self)"},
        // The template's own placeholders all work, repeated or not.
        {"%s(AppTitle) %S(ZANDOREL_TEST_SECRET) %ſ(ZANDOREL_TEST_SECRET)",
         "Zandorel secret-value secret-value"},
        {"%t(b)-%T(b)-%t(b)", "B-B-B"},
        {"%s(NO_SUCH_VARIABLE_HERE)", "NO_SUCH_VARIABLE_HERE"},
    };
    for (const auto& [tmpl, out] : rows) {
        EXPECT_EQ(link(q(tmpl), page, 1), q(out)) << tmpl;
    }
    AppInfo::reset();
    qunsetenv("ZANDOREL_TEST_SECRET");
    // A value holding its own placeholder is never expanded again; chains stop at the limit.
    EXPECT_EQ(link(q("%t(self)").repeated(64), page, 1).size(), 64 * 16);
    QString entries;
    QString chain;
    for (int i = 1; i <= 24; ++i) {
        entries += QStringLiteral("\"k%1\":\"%t(k%2)%t(k%2)\",").arg(i).arg(i + 1);
        chain += QStringLiteral("%t(k%1)").arg(i);
    }
    entries += q("\"k25\":\"0123456789\"");
    EXPECT_LE(link(chain, listing(q("{") + entries + q("}")), 1).size(), MaxExpandedLength);
}

TEST(FileTags, LengthLimit) {
    // A name of more than half the limit: twice is too long for the list.
    const QString name(static_cast<qsizetype>(MaxExpandedLength / 2 + 1), u'n');
    const SDPage page = listing(q("{\"name\":\"") + name + q("\",\"e\":\".x\"},{\"name\":\"short\"}"));
    LinkTemplates t;
    t.codeFormat = q("%t(name)%v(name)");
    t.captionTemplate = q("%t(name)");
    t.warnTemplate = q("!");
    t.joinFormat = q("$1\\n");
    const LinkList list = BuildLinkList(page, t);
    EXPECT_EQ(list.tooLong, QList<int>{1});
    EXPECT_TRUE(list.rows[0].link.isEmpty()); // left empty, never half done
    EXPECT_EQ(list.rows[0].caption.size(), name.size() + 3);
    EXPECT_EQ(list.rows[1].link, q("shortshort"));
    EXPECT_EQ(link(q("%t(fileIndex)"), page, 2), q("2"));
    EXPECT_EQ(list.block, q("\nshortshort\n"));

    // Exactly at the limit is fine, one past it is not, pieces copied or unescaped.
    const QString half(static_cast<qsizetype>(MaxExpandedLength / 2), u'h');
    const SDPage atLimit = listing(q("{\"name\":\"") + half + q("\"}"));
    for (const char* tmpl : {"%t(name)%t(name)", "%v(name)%v(name)"}) {
        SCOPED_TRACE(tmpl);
        EXPECT_EQ(link(q(tmpl), atLimit, 1).size(), MaxExpandedLength);
        EXPECT_THROW(link(q(tmpl) + u'x', atLimit, 1), ExpansionTooLong);
    }
}

// The join format read once gives what the three replacements give.
TEST(JoinFormat, AgreesWithTheReplacements) {
    const QStringList pieces{q("\\r"), q("\\R"), q("\\n"), q("\\N"), q("$1"), q("$"),
                             q("1"),   q("\\"),  q("$$1"), q("x"),   q("中"), q("\\\\r")};
    const QStringList links{q("L"), q("$1"), q("a\\rb"), QString()};
    QRandomGenerator random(11);
    for (int round = 0; round < 5000; ++round) {
        QString format;
        for (int i = static_cast<int>(random.bounded(8)); i > 0; --i) {
            format += pieces[random.bounded(pieces.size())];
        }
        const QString& link = links[random.bounded(links.size())];
        QString got;
        JoinFormat(format).Append(got, link);
        ASSERT_EQ(got, ExpandJoinFormat(link, format)) << test::printable(format);
    }
}
