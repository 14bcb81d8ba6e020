// The retrieval commands and the link list they fill, and what happens while a
// fetch waits (the window keeps serving events meanwhile).

#include "app/codelistbox.h"
#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

QString link(int n, const QString& name) {
    return u"<a href=\"http://127.0.0.1:8765/download?id=A1B2!20%1\">%2</a>"_s.arg(n).arg(name);
}

class LinkListTest : public AppTest {
protected:
    void LoadSavedPage(const QString& file) {
        dialogs.answerOpenFile(DataPath(file));
        Press(u"Command_GetFromFile"_s);
    }
    QString Block() const { return Ctl(u"Text_AllLinkCode"_s).Text(); }
    void Serve(const QByteArray& page, bool hold) {
        server.body = page;
        server.hold = hold;
        SetSetting(keys::Config, keys::ShareService, server.Base());
    }
    void StartGet(MainWindow& window) {
        window.Ctl(u"Text_URL"_s).SetText(server.Base() + u"/?cid=abc&id=abc!1"_s);
        Click(window.Ctl(u"Command_Get"_s));
    }
};

TEST_F(LinkListTest, SavedPageFillsNumberedRowsWithCaptionsWarningsAndLinks) {
    MainWindow& window = Window();
    // The first saved template was chosen at load.
    ASSERT_EQ(Ctl(u"Text_CodeFormat"_s).Text(), u"<a href=\"%t(urls.download)\">%t(name)%t(extension)</a>"_s);
    LoadSavedPage(u"app_folder.html"_s);
    EXPECT_TRUE(Messages().isEmpty());
    const QString captions[] = {u"1. a.txt"_s, u"2. b.jpg"_s, u"3. c <b>&amp;</b>.zip"_s};
    const QString links[] = {link(1, u"a.txt"_s), link(2, u"b.jpg"_s), link(3, u"c <b>&amp;</b>.zip"_s)};
    ASSERT_EQ(window.LinkRowCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        // The caption is shown as plain text, never as markup.
        auto* label = qobject_cast<QLabel*>(window.RowWidget(u"Label_Link"_s, i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), captions[i - 1]);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(window.RowWidget(u"Label_LinkWarn"_s, i)->isVisible(), i > 1);
        EXPECT_EQ(qobject_cast<QLineEdit*>(window.RowWidget(u"Text_Link"_s, i))->text(), links[i - 1]);
    }
    // The warning takes the look of the template row, which the settings skinned.
    auto* warn = qobject_cast<QLabel*>(window.RowWidget(u"Label_LinkWarn"_s, 2));
    EXPECT_EQ(warn->text(), u"警告：文件不是公共"_s);
    EXPECT_EQ(warn->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(Block(), links[0] + u"\r\n"_s + links[1] + u"\r\n"_s + links[2] + u"\r\n"_s);
}

TEST_F(LinkListTest, AddressCheckDecidesWhatIsFetched) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    const QString host = server.Base().mid(7);
    const struct {
        QString address;
        const char* request; // null: refused by the check
    } cases[] = {
        {u"http://"_s + host + u"/?cid=abc&id=abc%21def"_s, "GET /?cid=abc&id=abc%21def"},
        {host + u"/?id=X&cid=Y"_s, "GET /?cid=Y&id=X"},
        {u"HTTP://"_s + host + u"/?CID=AbC&ID=xY#top"_s, "GET /?cid=AbC&id=xY"},
        {u"http://"_s + host + u"/folder/?cid=abc&id=1"_s, nullptr},
        {u"http://other.host/?cid=abc&id=1"_s, nullptr},
    };
    auto* box = qobject_cast<QLineEdit*>(Ctl(u"Text_URL"_s).Widget());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        dialogs.clear();
        box->clear();
        QTest::keyClicks(box, c.address);
        const int requests = server.RequestCount();
        Press(u"Command_Get"_s);
        EXPECT_EQ(server.RequestCount(), requests + (c.request ? 1 : 0));
        if (c.request) {
            EXPECT_EQ(server.requestLines.last(), QByteArray(c.request) + " HTTP/1.1");
            EXPECT_TRUE(Messages().isEmpty());
            continue;
        }
        ASSERT_EQ(Messages().size(), 1);
        EXPECT_EQ(Messages()[0].text, u"您输入的SkyDrive网址有误，请重新输入"_s);
        EXPECT_EQ(Messages()[0].title, u"无效地址"_s);
        EXPECT_EQ(Messages()[0].icon, Dialogs::Icon::Exclamation);
    }
    // A refused address leaves the list of the last fetch as it was.
    EXPECT_EQ(Window().LinkRowCount(), 3);
}

TEST_F(LinkListTest, NewFormatsRebuildTheListWithoutFetching) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    MainWindow& window = Window();
    StartGet(window);
    ASSERT_EQ(window.Text_Link(1).Text(), link(1, u"a.txt"_s));
    auto* format = qobject_cast<QLineEdit*>(Ctl(u"Text_CodeFormat"_s).Widget());
    format->selectAll();
    QTest::keyClicks(format, u"[url=%t(urls.view)]%t(fileIndex) %t(displaySize)[/url]"_s);
    Press(u"Command_CreatLinkList"_s);
    EXPECT_EQ(window.Text_Link(3).Text(), u"[url=http://127.0.0.1:8765/view?id=A1B2!203]3 3 KB[/url]"_s);

    // The combined block joins the links by the join format of the settings.
    Ctl(u"Text_CodeFormat"_s).SetText(u"%t(name)"_s);
    for (const auto& [join, block] : {std::pair{"$1\\r\\n", u"a\r\nb\r\nc <b>&amp;</b>\r\n"_s},
                                      std::pair{"[$1]\\n", u"[a]\n[b]\n[c <b>&amp;</b>]\n"_s},
                                      std::pair{"$1$1, ", u"aa, bb, c <b>&amp;</b>c <b>&amp;</b>, "_s}}) {
        SCOPED_TRACE(join);
        SetSetting(keys::Config, keys::AllLinkFormat, QString::fromLatin1(join));
        Press(u"Command_CreatLinkList"_s);
        EXPECT_EQ(Block(), block);
    }
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(LinkListTest, EmptyListingsAreToldAndTheTestBuildNamesTheFailedStep) {
    const struct {
        const char* page;
        int step;
        QString text;
        QString dump; // the page searched, left beside the program
    } cases[] = {
        {"app_nodata.html", 1, keys::Step1ErrorDefault, ReadFile(DataPath(u"app_nodata.html"_s))},
        {"app_nolist.html", 2, keys::Step2ErrorDefault,
         u"\"items\":[{\"id\":\"A1B2!101\",\"name\":\"Holiday\",\"folder\":{\"childCount\":0}}]"_s},
    };
    for (bool testBuild : {false, true}) {
        ASSERT_TRUE(Restart());
        if (testBuild) {
            program->EnableStepMessages();
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.page) + (testBuild ? " (test build)" : " (release)"));
            LoadSavedPage(u"app_folder.html"_s);
            ASSERT_EQ(Window().LinkRowCount(), 3);
            dialogs.clear();
            LoadSavedPage(QString::fromLatin1(c.page));
            const auto messages = Messages();
            ASSERT_EQ(messages.size(), testBuild ? 2 : 1);
            if (testBuild) {
                EXPECT_EQ(messages[0].title, u"Step %1 Error"_s.arg(c.step));
                EXPECT_EQ(messages[0].text, c.text);
            }
            EXPECT_EQ(messages.last().text, u"获取源代码失败"_s);
            EXPECT_EQ(ReadFile(folder.filePath(u"Zandorel_error.html"_s)), c.dump);
            EXPECT_EQ(Window().LinkRowCount(), 0);
            EXPECT_EQ(Block(), QString());
        }
    }
}

TEST_F(LinkListTest, FetchOrReadErrorsAreToldLikeAnEmptyListing) {
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(Window().LinkRowCount(), 3);
    // An address the request cannot take, and a file that cannot be read:
    // the empty-listing message, and the list stays as it was.
    dialogs.clear();
    dialogs.answerInput(u"no-scheme/?cid=1"_s);
    Press(u"Command_GetFromURL"_s);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text, u"获取源代码失败"_s);
    EXPECT_EQ(Window().LinkRowCount(), 3);

    const QString locked = folder.filePath(u"locked.html"_s);
    WriteFile(locked, ReadFile(DataPath(u"app_folder.html"_s)));
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (!QFile(locked).open(QIODevice::ReadOnly)) { // root reads it anyway
        dialogs.clear();
        dialogs.answerOpenFile(locked);
        Press(u"Command_GetFromFile"_s);
        ASSERT_EQ(Messages().size(), 1);
        EXPECT_EQ(Messages()[0].text, u"获取源代码失败"_s);
    }
}

TEST_F(LinkListTest, PropertyViewerShowsOneFileAndRemembersItsSize) {
    MainWindow& window = Window();
    LoadSavedPage(u"app_folder.html"_s);
    QSize closedAt;
    const QString shown = ViewRow(window, 2, [&](CodeListBox& viewer) {
        EXPECT_EQ(viewer.windowTitle(), u" 代码列表"_s);
        viewer.resize(400, 300);
        EXPECT_EQ(viewer.Text_Code().Height(), 275);
        EXPECT_EQ(viewer.Command_Ok().Left(), 163.5);
        closedAt = viewer.frameGeometry().size();
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape);
    });
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     A1B2!202\r\nname     b\r\n"
                                 u"extension     .jpg\r\nsharingLevelValue     1\r\n"_s));
    EXPECT_TRUE(shown.endsWith(u"urls.view     http://127.0.0.1:8765/view?id=A1B2!202\r\n"_s));
    EXPECT_EQ(ReadAttribute(SettingsStore::Instance().Root(), keys::CodeListBox, u"Width"_s, QString()),
              QString::number(closedAt.width()));

    // Opened again it has the size it was closed with; Enter closes it.
    QSize reopened;
    ViewRow(window, 2, [&](CodeListBox& viewer) {
        reopened = viewer.frameGeometry().size();
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Return);
    });
    EXPECT_EQ(reopened, closedAt);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The fill's speed is measured by the fill benchmark; here only its shape.
TEST_F(LinkListTest, LargeFillGivesWidgetsOnlyToRowsInSight) {
    MainWindow& window = Window();
    auto page = std::make_shared<SDPage>();
    page->GetListFromCode(GeneratedFolderPage(1000));
    window.FillLinkList(page);
    ASSERT_EQ(window.LinkRowCount(), 1000);
    EXPECT_EQ(window.Label_Link(1000).Caption(), u"1000. file1000.txt"_s);

    // The frame's inner area is 287 high and rows are 71 apart.
    EXPECT_EQ(window.RowsWithWidgets().first(), 1);
    EXPECT_LE(window.RowsWithWidgets().size(), 8);
    auto* bar = qobject_cast<QScrollBar*>(Ctl(u"VScroll_LinkList"_s).Widget());
    bar->setValue(bar->maximum());
    EXPECT_EQ(window.RowsWithWidgets().last(), 1000);
    EXPECT_LE(window.RowsWithWidgets().size(), 8);
    // The widget of a row stands where the row's figures put it in the frame.
    const Control& pane = Ctl(u"Picture_LinkList_In"_s);
    auto* text = qobject_cast<QLineEdit*>(window.RowWidget(u"Text_Link"_s, 1000));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->mapTo(Ctl(u"Picture_LinkList_Out"_s).Widget(), QPoint(0, 0)),
              QPoint(1 + ToPixel(pane.Left() + window.Text_Link(1000).Left()),
                     1 + ToPixel(pane.Top() + window.Text_Link(1000).Top())));
    EXPECT_EQ(text->text(), u"<a href=\"http://127.0.0.1:8765/download?id=F.1000\">file1000.txt</a>"_s);
    EXPECT_TRUE(ViewRow(window, 1000).startsWith(u"fileIndex     1000\r\nid     F.1000\r\n"_s));

    // A smaller fill leaves no widget showing a row of the earlier one.
    page = std::make_shared<SDPage>();
    page->GetListFromCode(GeneratedFolderPage(2));
    window.FillLinkList(page);
    EXPECT_EQ(window.RowsWithWidgets(), (QList<int>{1, 2}));
    const auto labels = window.findChildren<QLabel*>();
    EXPECT_EQ(
        std::count_if(labels.begin(), labels.end(),
                      [&](QLabel* l) { return l->isVisibleTo(&window) && l->text().contains(u". file"_s); }),
        2);
}

// Regression: closing the last window ends the program while the fetch
// still waits; the fetch then returns without a page, and its command must
// neither fill a window that is gone nor save a second time.
TEST_F(LinkListTest, ClosingTheLastWindowWhileItsFetchWaits) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    const QPointer<MainWindow> window(&Window());
    const int width = window->frameGeometry().width();
    QString savedAtClose;
    OnRequest([&] {
        window->close();
        savedAtClose = SavedSettings();
        WriteSettings(u"changed after the save"_s);
    });
    // The command runs inside the main event loop, as in the real program.
    QTimer::singleShot(0, [&] {
        StartGet(*window);
        QCoreApplication::exit(0);
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(program->Ended());
    EXPECT_TRUE(savedAtClose.contains(u"Width=\"%1\""_s.arg(width)));
    EXPECT_EQ(SavedSettings(), u"changed after the save"_s);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(LinkListTest, ClosingOneWindowWhileItsFetchWaits) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    Press(u"Command_NewWindow"_s);
    const QPointer<MainWindow> window(&Window());
    const QString before = SavedSettings();
    OnRequest([&] {
        window->close();
        server.Release();
    });
    StartGet(*window);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Window(1).LinkRowCount(), 0);
}

TEST_F(LinkListTest, ASecondRetrievalDuringAFetch) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    MainWindow& window = Window();
    // A saved page read while the fetch waits: the fetch then fills from the newer page object.
    int rowsWhileWaiting = -1;
    OnRequest([&] {
        LoadSavedPage(u"app_folder.html"_s);
        rowsWhileWaiting = window.LinkRowCount();
        server.Release();
    });
    StartGet(window);
    EXPECT_EQ(rowsWhileWaiting, 3);
    EXPECT_EQ(window.Label_Link(1).Caption(), u"1. a.txt"_s);

    // A second fetch inside the first: the inner one returns first.
    OnRequest([&] { server.RequestCount() == 2 ? StartGet(window) : server.Release(); });
    StartGet(window);
    EXPECT_EQ(server.RequestCount(), 3);
    EXPECT_EQ(window.Label_Link(2).Caption(), u"2. file2.txt"_s);
    EXPECT_TRUE(Messages().isEmpty());
}

// Regression: a retrieval clears the page object's files at once, so "?" on
// a row of the last fill, pressed while the page is being fetched again,
// asked for a file the object no longer had.
TEST_F(LinkListTest, ViewingARowWhileItsPageIsFetchedAgain) {
    Serve(GeneratedFolderPage(2).toUtf8(), false);
    MainWindow& window = Window();
    StartGet(window);
    ASSERT_EQ(window.LinkRowCount(), 2);
    server.hold = true;
    QString shown;
    OnRequest([&] {
        shown = ViewRow(window, 2);
        server.Release();
    });
    dialogs.answerInput(server.Base() + u"/?cid=abc&id=again"_s);
    Press(u"Command_GetFromURL"_s);
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     F.2\r\n"_s));
    EXPECT_EQ(window.LinkRowCount(), 2);
}

} // namespace
