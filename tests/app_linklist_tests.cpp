// The link list that a listing fills: numbered captions, warnings, link
// texts and the combined block, rebuilt by 生成代码 from the format box, and
// widgets lent only to the rows in sight.

#include "app/captionlabel.h"
#include "app/codelistbox.h"
#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/pipeline.h"
#include "share/sdpage.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

QString link(int n, const QString& name) {
    return u"<a href=\"http://127.0.0.1:8765/download?id=A1B2!20%1\">%2</a>"_s.arg(n).arg(name);
}

class LinkListTest : public AppTest {};

TEST_F(LinkListTest, SavedPageFillsNumberedRowsWithCaptionsWarningsAndLinks) {
    // The captions and warnings of the built-in defaults.
    WriteSettings(u"<Soft><TemplateList><Template name=\"link\">&lt;a href=\"%t(urls.download)\"&gt;"
                  u"%t(name)%t(extension)&lt;/a&gt;</Template></TemplateList></Soft>"_s);
    ASSERT_TRUE(Restart());
    MainWindow& window = Window();
    // The first saved template was chosen at load.
    ASSERT_EQ(Ctl(u"Text_CodeFormat"_s).Text(), u"<a href=\"%t(urls.download)\">%t(name)%t(extension)</a>"_s);
    LoadSavedPage(u"app_folder.html"_s);
    EXPECT_TRUE(Messages().isEmpty());
    const QString captions[] = {u"1. a.txt"_s, u"2. b.jpg"_s, u"3. c <b>&amp;</b>.zip"_s};
    const QString links[] = {link(1, u"a.txt"_s), link(2, u"b.jpg"_s), link(3, u"c <b>&amp;</b>.zip"_s)};
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        // The caption is shown as plain text, never as markup.
        auto* label = qobject_cast<QLabel*>(window.LinkList().RowWidget(u"Label_Link"_s, i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), captions[i - 1]);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(window.LinkList().RowWidget(u"Label_LinkWarn"_s, i)->isVisible(), i > 1);
        EXPECT_EQ(qobject_cast<QLineEdit*>(window.LinkList().RowWidget(u"Text_Link"_s, i))->text(),
                  links[i - 1]);
    }
    // The warning takes the look of the template row.
    auto* warn = qobject_cast<QLabel*>(window.LinkList().RowWidget(u"Label_LinkWarn"_s, 2));
    EXPECT_EQ(warn->text(), u"警告：文件不是公共"_s);
    EXPECT_EQ(warn->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(Block(), links[0] + u"\r\n"_s + links[1] + u"\r\n"_s + links[2] + u"\r\n"_s);
}

// A long file name's caption is cut short before the "?" column, the whole
// caption in its tooltip; control characters in a name show as symbols in
// the caption, while the link text and the block keep what the template made.
TEST_F(LinkListTest, LongAndControlCharacterNamesShowReadably) {
    const QString longName = QString(250, u'n');
    const QString page = u"<html><body><script>var primedResponse={\"items\":[{\"id\":\"F\",\"children\":["
                         u"{\"id\":\"F.1\",\"name\":\"%1\",\"extension\":\".txt\",\"sharingLevelValue\":0},"
                         u"{\"id\":\"F.2\",\"name\":\"two\\nlines\\tand\\u0007bell\",\"extension\":\".txt\","
                         u"\"sharingLevelValue\":0},"
                         u"{\"id\":\"F.3\",\"name\":\"short\",\"extension\":\".txt\",\"sharingLevelValue\":0}"
                         u"]}]};</script></body></html>"_s.arg(longName);
    WriteFile(folder.filePath(u"names.html"_s), page);
    MainWindow& window = Window();
    window.show();
    Ctl(u"Text_CodeFormat"_s).SetText(u"%v(name)%v(extension)"_s);
    dialogs.answerOpenFile(folder.filePath(u"names.html"_s));
    Press(u"Command_GetFromFile"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    QCoreApplication::processEvents();

    auto caption = [&](int row) {
        return dynamic_cast<CaptionLabel*>(window.LinkList().RowWidget(u"Label_Link"_s, row));
    };
    CaptionLabel* label = caption(1);
    ASSERT_NE(label, nullptr);
    const QWidget* button = window.LinkList().RowWidget(u"Command_Link_AllValue"_s, 1);
    EXPECT_EQ(label->text(), u"1. "_s + longName + u".txt"_s);
    EXPECT_TRUE(label->Elided());
    EXPECT_TRUE(label->ShownText().endsWith(u'…'));
    EXPECT_LT(label->x() + label->fontMetrics().horizontalAdvance(label->ShownText()), button->x());
    // Pointing at it shows the whole caption.
    QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
    QCoreApplication::sendEvent(label, &help);
    EXPECT_EQ(QToolTip::text(), label->text());
    QToolTip::hideText();

    // Control characters: one line, each shown as its symbol.
    EXPECT_EQ(caption(2)->text(), u"2. two\nlines\tand\u0007bell.txt"_s);
    EXPECT_EQ(caption(2)->ShownText(), u"2. two\u240Alines\u2409and\u2407bell.txt"_s);
    EXPECT_FALSE(caption(2)->Elided());
    EXPECT_EQ(window.LinkList().Text_Link(2).Text(), u"two\nlines\tand\u0007bell.txt"_s);
    EXPECT_TRUE(Block().contains(u"two\nlines"_s));
    // A short caption is shown as it is, with the label's own tooltip.
    EXPECT_EQ(caption(3)->ShownText(), u"3. short.txt"_s);
    EXPECT_FALSE(caption(3)->Elided());
}

TEST_F(LinkListTest, NewFormatsRebuildTheListWithoutFetching) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    MainWindow& window = Window();
    StartGet(window);
    ASSERT_EQ(window.LinkList().Text_Link(1).Text(), link(1, u"a.txt"_s));
    TypeInto(u"Text_CodeFormat"_s, u"[url=%t(urls.view)]%t(fileIndex) %t(displaySize)[/url]"_s);
    Press(u"Command_CreatLinkList"_s);
    EXPECT_EQ(window.LinkList().Text_Link(3).Text(),
              u"[url=http://127.0.0.1:8765/view?id=A1B2!203]3 3 KB[/url]"_s);

    // The combined block joins the links by the join format of the settings.
    Ctl(u"Text_CodeFormat"_s).SetText(u"%t(name)"_s);
    for (const auto& [join, block] :
         {std::pair{"$1\\r\\n", u"a\r\nb\r\nc <b>&amp;</b>\r\n"_s},
          std::pair{"[$1]\\n", u"[a]\n[b]\n[c <b>&amp;</b>]\n"_s}, std::pair{"$1", u"abc <b>&amp;</b>"_s},
          std::pair{"$1$1, ", u"aa, bb, c <b>&amp;</b>c <b>&amp;</b>, "_s}}) {
        SCOPED_TRACE(join);
        SetSetting(keys::Config, keys::AllLinkFormat, QString::fromLatin1(join));
        Press(u"Command_CreatLinkList"_s);
        EXPECT_EQ(Block(), block);
    }

    // A format without placeholders gives every file the same text; an empty
    // one gives empty texts and only the joining text per file.
    SetSetting(keys::Config, keys::AllLinkFormat, u"$1\\r\\n"_s);
    auto* format = qobject_cast<QLineEdit*>(Ctl(u"Text_CodeFormat"_s).Widget());
    for (const QString& fixed : {u"[b]see below[/b]"_s, QString()}) {
        format->selectAll();
        format->del();
        QTest::keyClicks(format, fixed);
        Press(u"Command_CreatLinkList"_s);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(window.LinkList().Text_Link(i).Text(), fixed);
        }
        EXPECT_EQ(Block(), (fixed + u"\r\n"_s).repeated(3));
    }
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

// The fill's speed is measured by the fill benchmark; here only its shape.
TEST_F(LinkListTest, LargeFillGivesWidgetsOnlyToRowsInSight) {
    MainWindow& window = Window();
    auto page = std::make_shared<SDPage>();
    ListFolder(*page, ListingSource::text(GeneratedFolderPage(1000)));
    window.LinkList().FillLinkList(page);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 1000);
    EXPECT_EQ(window.LinkList().Label_Link(1000).Caption(), u"1000. file1000.txt"_s);

    // The frame's inner area is 287 high and rows are 71 apart.
    EXPECT_EQ(window.LinkList().RowsWithWidgets().first(), 1);
    EXPECT_LE(window.LinkList().RowsWithWidgets().size(), 8);
    auto* bar = qobject_cast<QScrollBar*>(Ctl(u"VScroll_LinkList"_s).Widget());
    bar->setValue(bar->maximum());
    EXPECT_EQ(window.LinkList().RowsWithWidgets().last(), 1000);
    EXPECT_LE(window.LinkList().RowsWithWidgets().size(), 8);
    // The widget of a row stands where the row's figures put it in the frame.
    const Control& pane = Ctl(u"Picture_LinkList_In"_s);
    auto* text = qobject_cast<QLineEdit*>(window.LinkList().RowWidget(u"Text_Link"_s, 1000));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->mapTo(Ctl(u"Picture_LinkList_Out"_s).Widget(), QPoint(0, 0)),
              QPoint(1 + ToPixel(pane.Left() + window.LinkList().Text_Link(1000).Left()),
                     1 + ToPixel(pane.Top() + window.LinkList().Text_Link(1000).Top())));
    EXPECT_EQ(text->text(), u"<a href=\"http://127.0.0.1:8765/download?id=F.1000\">file1000.txt</a>"_s);
    EXPECT_TRUE(ViewRow(window, 1000).startsWith(u"fileIndex     1000\r\nid     F.1000\r\n"_s));

    // A smaller fill leaves no widget showing a row of the earlier one.
    page = std::make_shared<SDPage>();
    ListFolder(*page, ListingSource::text(GeneratedFolderPage(2)));
    window.LinkList().FillLinkList(page);
    EXPECT_EQ(window.LinkList().RowsWithWidgets(), (QList<int>{1, 2}));
    const auto labels = window.findChildren<QLabel*>();
    EXPECT_EQ(
        std::count_if(labels.begin(), labels.end(),
                      [&](QLabel* l) { return l->isVisibleTo(&window) && l->text().contains(u". file"_s); }),
        2);
}

} // namespace

// A file whose link text would pass the length limit gets an empty link text
// and one message naming it; the other rows are filled as usual. The text
// used to come out with the placeholder left in it.
TEST_F(LinkListTest, TextsPastTheLengthLimitAreLeftEmptyAndToldOnce) {
    const QString name(3 * 1024 * 1024, u'n');
    const QString page = folder.filePath(u"long.html"_s);
    WriteFile(page, u"var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\""_s + name +
                        u"\"},{\"name\":\"c\"}]};"_s);
    TypeInto(u"Text_CodeFormat"_s, u"%t(name)%t(name)"_s);
    dialogs.answerOpenFile(page);
    Press(u"Command_GetFromFile"_s);

    MainWindow& window = Window();
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    EXPECT_EQ(window.LinkList().Text_Link(1).Text(), u"aa"_s);
    EXPECT_EQ(window.LinkList().Text_Link(2).Text(), QString());
    EXPECT_EQ(window.LinkList().Text_Link(3).Text(), u"cc"_s);
    EXPECT_EQ(Block(), u"aa\r\n\r\ncc\r\n"_s);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].title, keys::LinkTooLongErrorTitleDefault);
    EXPECT_EQ(Messages()[0].text,
              u"有文件生成的代码超过长度上限（4194304 个字符），这些文件的外链地址已留空：2"_s);
}

// A join format that repeats a long link many times would make more text
// than the window takes: the list stays as it was and one message says why,
// in the settings' words.
TEST_F(LinkListTest, AllTextsPastTheWindowLimitLeaveTheListAsItWas) {
    const QString page = folder.filePath(u"many.html"_s);
    WriteFile(page, u"var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\""_s +
                        QString(1024 * 1024, u'n') + u"\"}]};"_s);
    dialogs.answerOpenFile(page);
    Press(u"Command_GetFromFile"_s);
    MainWindow& window = Window();
    ASSERT_EQ(window.LinkList().LinkRowCount(), 2);
    const QString before = Block();
    ASSERT_TRUE(Messages().isEmpty());

    SetSetting(keys::Config, keys::AllLinkFormat, u"$1"_s.repeated(130));
    SetSetting(keys::OutputTooLongError, keys::Title, u"太长了"_s);
    TypeInto(u"Text_CodeFormat"_s, u"%t(name)"_s);
    dialogs.answerOpenFile(page);
    Press(u"Command_GetFromFile"_s);

    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].title, u"太长了"_s);
    EXPECT_EQ(Messages()[0].text, keys::OutputTooLongErrorDefault);
    EXPECT_EQ(window.LinkList().LinkRowCount(), 2);
    EXPECT_EQ(Block(), before);
}
