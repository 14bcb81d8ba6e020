// What the link list shows: captions, warnings, link texts, the combined
// block and the property viewer's text.

#include "share/linklist.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(LinkList, RowsWarningsAndBlock) {
    SDPage page;
    page.GetListFromCode(q("var primedResponse={\"children\":["
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
    page.GetListFromCode(q("var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\"b\"}]};"));
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
}
