// The link rows a listing fills, rebuilt by 生成代码, and texts past the length limits.

#include "app/captionlabel.h"
#include "app_support.h"

#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolTip>

using namespace apptest;

namespace {

QString link(int n, const QString& name) {
    return u"<a href=\"http://127.0.0.1:8765/download?id=A1B2!20%1\">%2</a>"_s.arg(n).arg(name);
}

class LinkListTest : public AppTest {
protected:
    // Lists a page of the files named, as 来自文件 reads it.
    void ListNames(const QStringList& names) {
        QStringList files;
        for (const QString& name : names) {
            files << u"{\"name\":\"%1\",\"extension\":\".txt\"}"_s.arg(name);
        }
        const QString page = folder.filePath(u"names.html"_s);
        WriteFile(page, u"var primedResponse={\"children\":["_s + files.join(u',') + u"]};"_s);
        LoadSavedPage(page);
    }
};

TEST_F(LinkListTest, SavedPageFillsNumberedRowsWithCaptionsWarningsAndLinks) {
    // The first saved template is chosen at load; captions and warnings are the built-in defaults.
    ASSERT_TRUE(
        RestartWith(u"<Soft><TemplateList><Template name=\"link\">&lt;a href=\"%t(urls.download)\"&gt;"
                    u"%t(name)%t(extension)&lt;/a&gt;</Template></TemplateList></Soft>"_s));
    LoadSavedPage(u"app_folder.html"_s);
    EXPECT_TRUE(Messages().isEmpty());
    const QString captions[] = {u"1. a.txt"_s, u"2. b.jpg"_s, u"3. c <b>&amp;</b>.zip"_s};
    const QString links[] = {link(1, u"a.txt"_s), link(2, u"b.jpg"_s), link(3, u"c <b>&amp;</b>.zip"_s)};
    ASSERT_EQ(Rows().LinkRowCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        // The caption is shown as plain text, never as markup.
        auto* label = qobject_cast<QLabel*>(Rows().RowWidget(u"Label_Link"_s, i));
        EXPECT_EQ(label->text(), captions[i - 1]);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(Rows().RowWidget(u"Label_LinkWarn"_s, i)->isVisible(), i > 1);
        EXPECT_EQ(qobject_cast<QLineEdit*>(Rows().RowWidget(u"Text_Link"_s, i))->text(), links[i - 1]);
    }
    // The warning takes the look of the template row.
    auto* warn = qobject_cast<QLabel*>(Rows().RowWidget(u"Label_LinkWarn"_s, 2));
    EXPECT_EQ(warn->text(), u"警告：文件不是公共"_s);
    EXPECT_EQ(warn->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(Block(), links[0] + u"\r\n"_s + links[1] + u"\r\n"_s + links[2] + u"\r\n"_s);
}

// A long caption is cut short, whole in its tooltip; control characters show as symbols.
TEST_F(LinkListTest, LongAndControlCharacterNamesShowReadably) {
    const QString longName = QString(250, u'n');
    Window().show();
    Ctl(u"Text_CodeFormat"_s).SetText(u"%v(name)%v(extension)"_s);
    ListNames({longName, u"two\\nlines\\tand\\u0007bell"_s, u"short"_s});
    ASSERT_EQ(Rows().LinkRowCount(), 3);
    QCoreApplication::processEvents();
    auto caption = [&](int row) {
        return dynamic_cast<CaptionLabel*>(Rows().RowWidget(u"Label_Link"_s, row));
    };
    CaptionLabel* label = caption(1);
    EXPECT_EQ(label->text(), u"1. "_s + longName + u".txt"_s);
    EXPECT_TRUE(label->Elided());
    EXPECT_TRUE(label->ShownText().endsWith(u'…'));
    EXPECT_LT(label->x() + label->fontMetrics().horizontalAdvance(label->ShownText()),
              Rows().RowWidget(u"Command_Link_AllValue"_s, 1)->x());
    // Pointing at it shows the whole caption.
    QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
    QCoreApplication::sendEvent(label, &help);
    EXPECT_EQ(QToolTip::text(), label->text());
    QToolTip::hideText();
    // Control characters: one line, each shown as its symbol.
    EXPECT_EQ(caption(2)->text(), u"2. two\nlines\tand\u0007bell.txt"_s);
    EXPECT_EQ(caption(2)->ShownText(), u"2. two\u240Alines\u2409and\u2407bell.txt"_s);
    EXPECT_EQ(Rows().Text_Link(2).Text(), u"two\nlines\tand\u0007bell.txt"_s);
    EXPECT_TRUE(Block().contains(u"two\nlines"_s));
    EXPECT_EQ(caption(3)->ShownText(), u"3. short.txt"_s);
    EXPECT_FALSE(caption(3)->Elided());
}

TEST_F(LinkListTest, NewFormatsRebuildTheListWithoutFetching) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    StartGet(Window());
    ASSERT_EQ(Rows().Text_Link(1).Text(), link(1, u"a.txt"_s));
    // Enter in the format box rebuilds as 生成代码 does.
    TypeInto(u"Text_CodeFormat"_s, u"[url=%t(urls.view)]%t(fileIndex) %t(displaySize)[/url]"_s);
    QTest::keyClick(Ctl(u"Text_CodeFormat"_s).Widget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Rows().Text_Link(3).Text(), u"[url=http://127.0.0.1:8765/view?id=A1B2!203]3 3 KB[/url]"_s);
    // The block joins the links by the settings' join format; a fixed format gives every file its text.
    const struct {
        const char* join;
        QString format;
        QString block;
    } cases[] = {
        {"$1\\r\\n", u"%t(name)"_s, u"a\r\nb\r\nc <b>&amp;</b>\r\n"_s},
        {"[$1]\\n", u"%t(name)"_s, u"[a]\n[b]\n[c <b>&amp;</b>]\n"_s},
        {"$1\\r\\n", u"[b]see below[/b]"_s, u"[b]see below[/b]\r\n"_s.repeated(3)},
        {"$1\\r\\n", QString(), u"\r\n"_s.repeated(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.join);
        SetSetting(keys::Config, keys::AllLinkFormat, QString::fromLatin1(c.join));
        TypeInto(u"Text_CodeFormat"_s, c.format);
        Press(u"Command_CreatLinkList"_s);
        EXPECT_EQ(Block(), c.block);
    }
    EXPECT_EQ(Rows().Text_Link(3).Text(), QString());
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

// A link text past the length limit is left empty and named in one message; a block past it is refused.
TEST_F(LinkListTest, TextsPastTheLengthLimitAreLeftEmptyAndToldOnce) {
    TypeInto(u"Text_CodeFormat"_s, u"%t(name)%t(name)"_s);
    ListNames({u"a"_s, QString(3 * 1024 * 1024, u'n'), u"c"_s});
    ASSERT_EQ(Rows().LinkRowCount(), 3);
    EXPECT_EQ(Rows().Text_Link(2).Text(), QString());
    EXPECT_EQ(Block(), u"aa\r\n\r\ncc\r\n"_s);
    EXPECT_EQ(Told(),
              keys::LinkTooLongErrorTitleDefault +
                  u" | 有文件生成的代码超过长度上限（4194304 个字符），这些文件的外链地址已留空：2"_s);
    // A block past the window's limit leaves the list as it was, told in the settings' words.
    dialogs.clear();
    TypeInto(u"Text_CodeFormat"_s, u"%t(name)"_s);
    SetSetting(keys::Config, keys::AllLinkFormat, u"$1"_s.repeated(130));
    SetSetting(keys::OutputTooLongError, keys::Title, u"太长了"_s);
    ListNames({u"a"_s, QString(1024 * 1024, u'n')});
    EXPECT_EQ(Told(), u"太长了 | "_s + keys::OutputTooLongErrorDefault);
    EXPECT_EQ(Rows().LinkRowCount(), 3);
    EXPECT_EQ(Block(), u"aa\r\n\r\ncc\r\n"_s);
}

} // namespace
