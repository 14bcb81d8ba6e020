// What the link list shows: captions, warnings, link texts, the combined
// block and the property viewer's text.

#include "settings/editxml.h"
#include "share/linklist.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(LinkList, RowsWarningsAndBlock) {
    SDPage page;
    zandorel::test::listText(page, q("var primedResponse={\"children\":["
                                     "{\"name\":\"a\",\"extension\":\".txt\",\"sharingLevelValue\":0},"
                                     "{\"name\":\"b\",\"extension\":\".jpg\",\"sharingLevelValue\":2},"
                                     "{\"name\":\"c\",\"extension\":\".zip\",\"sharingLevelValue\":-1},"
                                     "{\"name\":\"d\",\"sharingLevelValue\":\"none\"},"
                                     "{\"name\":\"e\",\"sharingLevelValue\":99999999999999}]};"));
    LinkTemplates t;
    t.codeFormat = q("<%t(name)>");
    t.captionTemplate = q("%t(name)%t(extension)");
    t.warnTemplate = q("! %t(name)");
    t.joinFormat = q("$1\\r\\n");
    const LinkList list = BuildLinkList(page, t);
    ASSERT_EQ(list.rows.size(), 5);
    EXPECT_EQ(list.rows[0].caption, q("1. a.txt"));
    EXPECT_EQ(list.rows[2].caption, q("3. c.zip"));
    const bool warned[] = {false, true, true, false, true};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.rows[i].notPublic, warned[i]);
        EXPECT_EQ(list.rows[i].warning.isEmpty(), !warned[i]);
    }
    EXPECT_EQ(list.block, q("<a>\r\n<b>\r\n<c>\r\n<d>\r\n<e>\r\n"));
    t.joinFormat = q("[$1]\\n");
    EXPECT_EQ(BuildLinkList(page, t).block, q("[<a>]\n[<b>]\n[<c>]\n[<d>]\n[<e>]\n"));
    t.codeFormat.clear();
    t.joinFormat = q("$1\\r\\n");
    EXPECT_EQ(BuildLinkList(page, t).block.size(), 10);

    EXPECT_EQ(PropertyViewerText(page, 2),
              q("fileIndex     2\r\nname     b\r\nextension     .jpg\r\nsharingLevelValue     2\r\n"));
    EXPECT_THROW(PropertyViewerText(page, 6), std::out_of_range);
}

// The join format "$1" alone runs the links together; a format without
// placeholders gives every file the same link.
TEST(LinkList, JoinAloneAndFixedFormats) {
    SDPage page;
    zandorel::test::listText(page,
                             q("var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\"b\"}]};"));
    LinkTemplates t;
    t.codeFormat = q("<%t(name)>");
    t.captionTemplate = q("%v(name)");
    t.joinFormat = q("$1");
    EXPECT_EQ(BuildLinkList(page, t).block, q("<a><b>"));
    t.codeFormat = q("same for all");
    const LinkList list = BuildLinkList(page, t);
    EXPECT_EQ(list.rows[0].link, q("same for all"));
    EXPECT_EQ(list.rows[1].link, q("same for all"));
    EXPECT_EQ(list.block, q("same for allsame for all"));
    // A join format without $1 drops the link texts.
    t.joinFormat = q("-\\r\\n");
    EXPECT_EQ(BuildLinkList(page, t).block, q("-\r\n-\r\n"));
    // %s(...) gives the program facts the fill was given, not the process's.
    t.app.title = q("Named");
    t.codeFormat = q("%s(AppTitle)|%S(apptitle)");
    EXPECT_EQ(BuildLinkList(page, t).rows[1].link, q("Named|Named"));
}

TEST(LinkList, TotalLimitIsCheckedBeforeTheTextIsMade) {
    SDPage page;
    zandorel::test::listText(
        page, q("var primedResponse={\"children\":[{\"name\":\"abcd\"},{\"name\":\"efgh\"}]};"));
    LinkTemplates t;
    t.codeFormat = q("%t(name)");
    t.captionTemplate = q("%t(name)");
    t.warnTemplate = q("!");
    t.joinFormat = q("$1\\n");
    // Per row the caption "N. abcd", the link "abcd" and its piece of the
    // block "abcd\n": 32 in all.
    struct Row {
        qsizetype limit;
        bool fits;
    } const rows[] = {{32, true}, {31, false}, {16, false}, {11, false}, {0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.limit);
        if (row.fits) {
            EXPECT_EQ(BuildLinkList(page, t, row.limit).block, q("abcd\nefgh\n"));
        } else {
            EXPECT_THROW(BuildLinkList(page, t, row.limit), OutputTooLong);
        }
    }
    // A join format that repeats a 4 MB link 40 times would be 160 M
    // characters: refused at once, before any of it is made.
    zandorel::test::listText(page, q("var primedResponse={\"children\":[{\"name\":\"") +
                                       QString(1024 * 1024, u'n') + q("\"}]};"));
    t.codeFormat = q("%t(name)").repeated(4);
    t.joinFormat = q("$1").repeated(40);
    EXPECT_THROW(BuildLinkList(page, t), OutputTooLong);
    t.joinFormat = q("$1").repeated(3);
    EXPECT_EQ(BuildLinkList(page, t).block.size(), 12 * 1024 * 1024);
}

// The loop as zandorel-cli uses it: a sink that counts its own output (here
// three per character, as UTF-8 counts CJK text), that keeps only the block,
// and that stops at the first text that is too long.
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
    SDPage page;
    zandorel::test::listText(page, q("var primedResponse={\"children\":[{\"name\":\"中文\"},{\"name\":\"") +
                                       QString(MaxExpandedLength + 1, u'n') + q("\"},{\"name\":\"三\"}]};"));
    LinkTemplates t;
    t.codeFormat = q("%t(name)");
    t.joinFormat = q("$1;");
    // The block "中文;" and "三;", the long name's link left empty: (3 + 1 + 2) * 3.
    struct Row {
        qsizetype limit;
        bool fits;
    } const rows[] = {{18, true}, {17, false}, {8, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.limit);
        Tripled sink;
        if (row.fits) {
            EXPECT_TRUE(FillLinks(page, t, LinkBuilder::Joined, row.limit, sink));
            EXPECT_EQ(sink.block, q("中文;;三;"));
            EXPECT_EQ(sink.kept, (QList<int>{1, 2, 3}));
            EXPECT_EQ(sink.tooLong, QList<int>{2});
            EXPECT_EQ(sink.used, 18);
        } else {
            EXPECT_THROW(FillLinks(page, t, LinkBuilder::Joined, row.limit, sink), OutputTooLong);
        }
    }
    // A sink that stops at the long text keeps nothing of it or after it.
    Tripled stopping;
    stopping.goOn = false;
    EXPECT_FALSE(FillLinks(page, t, LinkBuilder::Joined, 1000, stopping));
    EXPECT_EQ(stopping.kept, QList<int>{1});
    EXPECT_EQ(stopping.block, q("中文;"));
    // Captions only: the block is left alone.
    t.captionTemplate = q("%t(name)");
    Tripled captions;
    captions.goOn = false;
    EXPECT_FALSE(FillLinks(page, t, LinkBuilder::Caption, 1000, captions));
    EXPECT_TRUE(captions.block.isEmpty());
    EXPECT_EQ(captions.used, 3 * 5); // "1. 中文"
}

// What the link list reads of a settings document: an empty one joins each
// link on a line of its own; what a document sets is what it gets.
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
