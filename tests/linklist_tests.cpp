// The link list: captions, warnings, link texts and the block, within the limits.

#include "settings/editxml.h"
#include "share/linklist.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::listing;
using zandorel::test::q;

namespace {

LinkTemplates templates(const char* code, const char* join, const char* caption = "%t(name)") {
    LinkTemplates t;
    t.codeFormat = q(code);
    t.captionTemplate = q(caption);
    t.warnTemplate = q("!");
    t.joinFormat = q(join);
    return t;
}

} // namespace

TEST(LinkList, RowsWarningsAndBlock) {
    const SDPage page = listing(q("{\"name\":\"a\",\"extension\":\".txt\",\"sharingLevelValue\":0},"
                                  "{\"name\":\"b\",\"extension\":\".jpg\",\"sharingLevelValue\":2},"
                                  "{\"name\":\"c\",\"extension\":\".zip\",\"sharingLevelValue\":-1},"
                                  "{\"name\":\"d\",\"sharingLevelValue\":\"none\"},"
                                  "{\"name\":\"e\",\"sharingLevelValue\":99999999999999}"));
    LinkTemplates t = templates("<%t(name)>", "$1\\r\\n", "%t(name)%t(extension)");
    t.warnTemplate = q("! %t(name)");
    const LinkList list = BuildLinkList(page, t);
    ASSERT_EQ(list.rows.size(), 5);
    EXPECT_EQ(list.rows[0].caption, q("1. a.txt"));
    EXPECT_EQ(list.rows[2].caption, q("3. c.zip"));
    const bool warned[] = {false, true, true, false, true};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list.rows[i].notPublic, warned[i]) << i;
        EXPECT_EQ(list.rows[i].warning, warned[i] ? q("! ") + QChar(u'a' + i) : QString()) << i;
    }
    EXPECT_EQ(list.block, q("<a>\r\n<b>\r\n<c>\r\n<d>\r\n<e>\r\n"));
    // %s(...) gives the program facts the fill was given, not the process's.
    t.app.title = q("Named");
    t.codeFormat = q("%s(AppTitle)|%S(apptitle)");
    EXPECT_EQ(BuildLinkList(page, t).rows[1].link, q("Named|Named"));
}

TEST(LinkList, TotalLimitIsCheckedBeforeTheTextIsMade) {
    SDPage page = listing(q("{\"name\":\"abcd\"},{\"name\":\"efgh\"}"));
    LinkTemplates t = templates("%t(name)", "$1\\n");
    // Per row "N. abcd", "abcd" and "abcd\n": 32 in all.
    EXPECT_EQ(BuildLinkList(page, t, 32).block, q("abcd\nefgh\n"));
    for (const qsizetype limit : {31, 16, 11, 0}) {
        EXPECT_THROW(BuildLinkList(page, t, limit), OutputTooLong) << limit;
    }
    // A 4 MB link joined 40 times (160 M characters) is refused before any of it is made.
    page = listing(q("{\"name\":\"") + QString(1024 * 1024, u'n') + q("\"}"));
    t.codeFormat = q("%t(name)").repeated(4);
    t.joinFormat = q("$1").repeated(40);
    EXPECT_THROW(BuildLinkList(page, t), OutputTooLong);
    t.joinFormat = q("$1").repeated(3);
    EXPECT_EQ(BuildLinkList(page, t).block.size(), 12 * 1024 * 1024);
}

// The loop as zandorel-cli uses it: a sink counting 3 per character, keeping only the block.
TEST(LinkList, TheLoopHoldsTheSinksOwnCountToTheLimit) {
    class Tripled : public LinkSink {
    public:
        qsizetype Used() const override { return used; }
        bool TooLong(int position) override {
            tooLong.append(position);
            return goOn;
        }
        qsizetype Size(const LinkTexts& t) const override {
            return 3 * (t.caption.size() + t.warning.size());
        }
        qsizetype Size(QStringView piece) const override { return 3 * piece.size(); }
        QString& Block() override { return block; }
        void Keep(const LinkTexts& t, QStringView piece, qsizetype size) override {
            kept.append(t.position);
            EXPECT_EQ(piece, QStringView(block).right(piece.size()));
            used += size;
        }
        bool goOn = true;
        qsizetype used = 0;
        QString block;
        QList<int> kept, tooLong;
    };
    const SDPage page = listing(q("{\"name\":\"中文\"},{\"name\":\"") + QString(MaxExpandedLength + 1, u'n') +
                                q("\"},{\"name\":\"三\"}"));
    LinkTemplates t = templates("%t(name)", "$1;", "");
    // The block "中文;" and "三;", the long name's link left empty: (3 + 1 + 2) * 3.
    Tripled sink;
    EXPECT_TRUE(FillLinks(page, t, LinkBuilder::Joined, 18, sink));
    EXPECT_EQ(sink.block, q("中文;;三;"));
    EXPECT_EQ(sink.kept, (QList<int>{1, 2, 3}));
    EXPECT_EQ(sink.tooLong, QList<int>{2});
    EXPECT_EQ(sink.used, 18);
    for (const qsizetype limit : {17, 8}) {
        Tripled small;
        EXPECT_THROW(FillLinks(page, t, LinkBuilder::Joined, limit, small), OutputTooLong) << limit;
    }
    // A sink that stops at the long text keeps nothing of it or after it.
    Tripled stopping;
    stopping.goOn = false;
    EXPECT_FALSE(FillLinks(page, t, LinkBuilder::Joined, 1000, stopping));
    EXPECT_EQ(stopping.kept, QList<int>{1});
    EXPECT_EQ(stopping.block, q("中文;"));
}

// An empty settings document joins links one per line; what a document sets it gets.
TEST(LinkList, TemplatesFromASettingsDocument) {
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, q("<Soft/>")));
    EXPECT_EQ(LinkTemplates::FromSettings(doc, QString(), AppInfo()).joinFormat, q("$1\\r\\n"));
    ASSERT_TRUE(LoadXmlText(doc, q("<Soft><Config AllLinkFormat=\"[$1]\"/><Window><Form_Main>"
                                   "<Label_Link Caption=\"%t(name)\"/></Form_Main></Window></Soft>")));
    const LinkTemplates set = LinkTemplates::FromSettings(doc, q("%t(size)"), AppInfo());
    EXPECT_EQ(set.joinFormat, q("[$1]"));
    EXPECT_EQ(set.captionTemplate, q("%t(name)"));
    EXPECT_EQ(set.codeFormat, q("%t(size)"));
}
