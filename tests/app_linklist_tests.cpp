// The retrieval commands and the link list: the address check, a saved page
// filling the numbered rows, the combined block, rebuilding without a fetch,
// the property viewer, the rows' widgets and the speed of a large fill.

#include "app/codelistbox.h"
#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdio>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

const QString htmlLink1 = QStringLiteral("<a href=\"http://127.0.0.1:8765/download?id=A1B2!201\">a.txt</a>");
const QString htmlLink2 = QStringLiteral("<a href=\"http://127.0.0.1:8765/download?id=A1B2!202\">b.jpg</a>");
const QString htmlLink3 =
    QStringLiteral("<a href=\"http://127.0.0.1:8765/download?id=A1B2!203\">c <b>&amp;</b>.zip</a>");

class LinkListTest : public AppTest {
protected:
    void LoadSavedPage(MainWindow& window, const QString& file) {
        dialogs.answerOpenFile(DataPath(file));
        Click(window.Ctl(QStringLiteral("Command_GetFromFile")));
    }
    static QString Block(const MainWindow& window) {
        return window.Ctl(QStringLiteral("Text_AllLinkCode")).Text();
    }
};

TEST_F(LinkListTest, SavedPageFillsNumberedRowsWithCaptionsWarningsAndLinks) {
    MainWindow& window = Window(0);
    // The first saved template was chosen at load.
    ASSERT_EQ(window.Ctl(QStringLiteral("Text_CodeFormat")).Text(),
              QStringLiteral("<a href=\"%t(urls.download)\">%t(name)%t(extension)</a>"));
    LoadSavedPage(window, QStringLiteral("app_folder.html"));

    const auto opened = dialogs.calls(ScriptedDialogs::Kind::OpenFile);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].title, QString::fromUtf16(u"选择网页代码文件"));
    EXPECT_EQ(opened[0].text, QString::fromUtf16(u"SkyDrive网页代码文件"));
    EXPECT_TRUE(Messages().isEmpty());

    ASSERT_EQ(window.LinkRowCount(), 3);
    const struct {
        QString caption;
        bool warned;
        QString link;
    } rows[] = {
        {QStringLiteral("1. a.txt"), false, htmlLink1},
        {QStringLiteral("2. b.jpg"), true, htmlLink2},
        {QStringLiteral("3. c <b>&amp;</b>.zip"), true, htmlLink3},
    };
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        const auto& row = rows[i - 1];
        EXPECT_EQ(window.Label_Link(i).Caption(), row.caption);
        EXPECT_EQ(window.Label_LinkWarn(i).Visible(), row.warned);
        // Unwarned rows keep the template row's caption, which the settings skinned.
        EXPECT_EQ(window.Label_LinkWarn(i).Caption(), QString::fromUtf16(u"警告：文件不是公共"));
        EXPECT_EQ(window.Text_Link(i).Text(), row.link);
        EXPECT_TRUE(window.Label_Link(i).Visible());
        EXPECT_TRUE(window.Text_Link(i).Visible());
        EXPECT_TRUE(window.Command_Link_AllValue(i).Visible());
        // What the widgets show: the caption as plain text, never as markup.
        auto* label = qobject_cast<QLabel*>(window.RowWidget(QStringLiteral("Label_Link"), i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), row.caption);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(window.RowWidget(QStringLiteral("Label_LinkWarn"), i)->isVisible(), row.warned);
        EXPECT_EQ(qobject_cast<QLineEdit*>(window.RowWidget(QStringLiteral("Text_Link"), i))->text(),
                  row.link);
    }
    EXPECT_FALSE(window.Label_Link(0).Visible());
    EXPECT_EQ(Block(window), htmlLink1 + QStringLiteral("\r\n") + htmlLink2 + QStringLiteral("\r\n") +
                                 htmlLink3 + QStringLiteral("\r\n"));
    EXPECT_EQ(
        qobject_cast<QPlainTextEdit*>(window.Ctl(QStringLiteral("Text_AllLinkCode")).Widget())->toPlainText(),
        htmlLink1 + u'\n' + htmlLink2 + u'\n' + htmlLink3 + u'\n');
}

TEST_F(LinkListTest, CombinedBlockFollowsTheJoinFormat) {
    MainWindow& window = Window(0);
    window.Ctl(QStringLiteral("Text_CodeFormat")).SetText(QStringLiteral("%t(name)"));
    LoadSavedPage(window, QStringLiteral("app_folder.html"));
    const struct {
        const char* format;
        QString block;
    } cases[] = {
        {"$1\\r\\n", QStringLiteral("a\r\nb\r\nc <b>&amp;</b>\r\n")},
        {"$1", QStringLiteral("abc <b>&amp;</b>")},
        {"[$1]\\n", QStringLiteral("[a]\n[b]\n[c <b>&amp;</b>]\n")},
        {"$1$1, ", QStringLiteral("aa, bb, c <b>&amp;</b>c <b>&amp;</b>, ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        SetSetting(keys::Config, keys::AllLinkFormat, QString::fromLatin1(c.format));
        Click(window.Ctl(QStringLiteral("Command_CreatLinkList")));
        EXPECT_EQ(Block(window), c.block);
    }
    // An empty format leaves only the joining text of each file.
    SetSetting(keys::Config, keys::AllLinkFormat, QStringLiteral("$1\\r\\n"));
    window.Ctl(QStringLiteral("Text_CodeFormat")).SetText(QString());
    Click(window.Ctl(QStringLiteral("Command_CreatLinkList")));
    EXPECT_EQ(Block(window), QStringLiteral("\r\n\r\n\r\n"));
    EXPECT_EQ(window.Text_Link(2).Text(), QString());
}

TEST_F(LinkListTest, AddressCheckDecidesWhatIsFetched) {
    LocalHttpServer server;
    server.SetBody(ReadFile(DataPath(QStringLiteral("app_folder.html"))).toUtf8());
    SetSetting(keys::Config, keys::ShareService, server.Base());
    const QString h = server.Host();
    const struct {
        QString address;
        const char* request; // null: refused by the check
    } cases[] = {
        {QStringLiteral("http://") + h + QStringLiteral("/?cid=abc&id=abc%21def"),
         "GET /?cid=abc&id=abc%21def"},
        {h + QStringLiteral("/?id=X&cid=Y"), "GET /?cid=Y&id=X"},
        {QStringLiteral("HTTP://") + h + QStringLiteral("/?CID=AbC&ID=xY#top"), "GET /?cid=AbC&id=xY"},
        {QStringLiteral("https://") + h + QStringLiteral("/?cid=abc"), "GET /?cid=abc&id="},
        {QStringLiteral("http://") + h + QStringLiteral("/folder/?cid=abc&id=1"), nullptr},
        {QStringLiteral("http://other.host/?cid=abc&id=1"), nullptr},
        {QString(), nullptr},
    };
    MainWindow& window = Window(0);
    auto* box = qobject_cast<QLineEdit*>(window.Ctl(QStringLiteral("Text_URL")).Widget());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        dialogs.clear();
        box->clear();
        QTest::keyClicks(box, c.address);
        const int requests = server.RequestCount();
        Click(window.Ctl(QStringLiteral("Command_Get")));
        if (!c.request) {
            EXPECT_EQ(server.RequestCount(), requests);
            const auto messages = Messages();
            ASSERT_EQ(messages.size(), 1);
            EXPECT_EQ(messages[0].text, QString::fromUtf16(u"您输入的SkyDrive网址有误，请重新输入"));
            EXPECT_EQ(messages[0].title, QString::fromUtf16(u"无效地址"));
            EXPECT_EQ(messages[0].icon, Dialogs::Icon::Exclamation);
            continue;
        }
        ASSERT_EQ(server.RequestCount(), requests + 1);
        EXPECT_TRUE(server.RequestLines().last().startsWith(QByteArray(c.request) + " HTTP/1.1"))
            << server.RequestLines().last().toStdString();
        EXPECT_TRUE(Messages().isEmpty());
        EXPECT_EQ(window.LinkRowCount(), 3);
    }
    // A refused address leaves the list of the last fetch as it was.
    EXPECT_EQ(window.LinkRowCount(), 3);
}

TEST_F(LinkListTest, NewFormatRebuildsTheListWithoutFetching) {
    LocalHttpServer server;
    server.SetBody(ReadFile(DataPath(QStringLiteral("app_folder.html"))).toUtf8());
    SetSetting(keys::Config, keys::ShareService, server.Base());
    MainWindow& window = Window(0);
    window.Ctl(QStringLiteral("Text_URL")).SetText(server.Base() + QStringLiteral("/?cid=abc&id=abc!101"));
    Click(window.Ctl(QStringLiteral("Command_Get")));
    ASSERT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(window.Text_Link(1).Text(), htmlLink1);

    auto* format = qobject_cast<QLineEdit*>(window.Ctl(QStringLiteral("Text_CodeFormat")).Widget());
    format->selectAll();
    QTest::keyClicks(format, QStringLiteral("[url=%t(urls.view)]%t(fileIndex) %t(displaySize)[/url]"));
    Click(window.Ctl(QStringLiteral("Command_CreatLinkList")));
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(window.Text_Link(3).Text(),
              QStringLiteral("[url=http://127.0.0.1:8765/view?id=A1B2!203]3 3 KB[/url]"));
    EXPECT_TRUE(Block(window).startsWith(
        QStringLiteral("[url=http://127.0.0.1:8765/view?id=A1B2!201]1 1 KB[/url]\r\n")));
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(LinkListTest, AnEmptyListingIsToldAndEmptiesTheList) {
    MainWindow& window = Window(0);
    // Before any retrieval.
    Click(window.Ctl(QStringLiteral("Command_CreatLinkList")));
    auto messages = Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QString::fromUtf16(u"获取源代码失败"));
    EXPECT_EQ(messages[0].title, QString());
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(window.LinkRowCount(), 0);
    EXPECT_TRUE(window.Ctl(QStringLiteral("Picture_LinkList_In")).Visible());

    // A page without data after a filled list: the message, then an empty list.
    LoadSavedPage(window, QStringLiteral("app_folder.html"));
    ASSERT_EQ(window.LinkRowCount(), 3);
    dialogs.clear();
    LoadSavedPage(window, QStringLiteral("app_nodata.html"));
    EXPECT_EQ(Messages().size(), 1);
    EXPECT_EQ(window.LinkRowCount(), 0);
    EXPECT_EQ(Block(window), QString());
    EXPECT_TRUE(window.RowsWithWidgets().isEmpty());
    // The page searched is left beside the program for inspection.
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("Zandorel_error.html"))),
              ReadFile(DataPath(QStringLiteral("app_nodata.html"))));
}

TEST_F(LinkListTest, RetrievalErrorsAreToldAsAnEmptyListing) {
    MainWindow& window = Window(0);
    LoadSavedPage(window, QStringLiteral("app_folder.html"));
    dialogs.clear();
    // An address the request refuses: no scheme.
    dialogs.answerInput(QStringLiteral("127.0.0.1/?cid=1"));
    Click(window.Ctl(QStringLiteral("Command_GetFromURL")));
    const auto inputs = dialogs.calls(ScriptedDialogs::Kind::Input);
    ASSERT_EQ(inputs.size(), 1);
    EXPECT_EQ(inputs[0].text, QString::fromUtf16(u"请输入自定义网址(不会判断是否符合SkyDrive要求)"));
    EXPECT_EQ(inputs[0].title, QString::fromUtf16(u"输入网址"));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text, QString::fromUtf16(u"获取源代码失败"));
    // Cancelled: nothing happens.
    dialogs.clear();
    Click(window.Ctl(QStringLiteral("Command_GetFromURL")));
    Click(window.Ctl(QStringLiteral("Command_GetFromFile")));
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(window.LinkRowCount(), 3);
}

TEST_F(LinkListTest, RowsOfAnEarlierFillAreGoneAfterASmallerOne) {
    MainWindow& window = Window(0);
    window.resize(842, 900);
    const QString testPage = folder.filePath(QStringLiteral("测试代码.html"));
    WriteFile(testPage, GeneratedFolderPage(5));
    window.Command3_Click();
    ASSERT_EQ(window.LinkRowCount(), 5);
    EXPECT_EQ(window.RowsWithWidgets(), (QList<int>{1, 2, 3, 4, 5}));
    WriteFile(testPage, GeneratedFolderPage(2));
    window.Command3_Click();
    EXPECT_EQ(window.LinkRowCount(), 2);
    EXPECT_EQ(window.FindControl(QStringLiteral("Label_Link"), 3), nullptr);
    EXPECT_EQ(window.RowsWithWidgets(), (QList<int>{1, 2}));
    int shownLabels = 0;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        shownLabels += label->isVisibleTo(&window) && label->text().startsWith(QStringLiteral("3. ")) ? 1 : 0;
    }
    EXPECT_EQ(shownLabels, 0);
    // The development commands: rows without files, and none at all.
    dialogs.answerInput(QStringLiteral("about 7 rows"));
    window.Command1_Click();
    EXPECT_EQ(window.LinkRowCount(), 7);
    EXPECT_FALSE(window.Label_Link(7).Visible());
    window.Command2_Click();
    EXPECT_EQ(window.LinkRowCount(), 0);
    EXPECT_FALSE(window.Ctl(QStringLiteral("Picture_LinkList_In")).Visible());
}

TEST_F(LinkListTest, PropertyViewerShowsOneFileAndRemembersItsSize) {
    MainWindow& window = Window(0);
    LoadSavedPage(window, QStringLiteral("app_folder.html"));
    QString shown;
    QSize closedAt;
    auto inspect = [&](const std::function<void(CodeListBox&)>& act) {
        QTimer::singleShot(0, [&shown, act] {
            auto* viewer = qobject_cast<CodeListBox*>(QApplication::activeModalWidget());
            ASSERT_NE(viewer, nullptr);
            shown = viewer->Text_Code().Text();
            act(*viewer);
        });
    };
    inspect([&](CodeListBox& viewer) {
        EXPECT_EQ(viewer.windowTitle(), QString::fromUtf16(u" 代码列表"));
        viewer.resize(400, 300);
        EXPECT_EQ(viewer.Text_Code().Width(), 400);
        EXPECT_EQ(viewer.Text_Code().Height(), 275);
        EXPECT_EQ(viewer.Command_Ok().Left(), 163.5);
        EXPECT_EQ(viewer.Command_Ok().Top(), 275);
        closedAt = viewer.frameGeometry().size();
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape);
    });
    Click(window.Command_Link_AllValue(2));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("fileIndex     2\r\nid     A1B2!202\r\nname     b\r\n"
                                                "extension     .jpg\r\nsharingLevelValue     1\r\n")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("urls.view     http://127.0.0.1:8765/view?id=A1B2!202\r\n")));
    const pugi::xml_node settings = SettingsStore::Instance().Root();
    EXPECT_EQ(ReadAttribute(settings, keys::CodeListBox, QStringLiteral("Width"), QString()),
              QString::number(closedAt.width()));

    // Opened again it has the size it was closed with, and the same text; Enter closes it.
    QString first = shown;
    QSize reopened;
    inspect([&](CodeListBox& viewer) {
        reopened = viewer.frameGeometry().size();
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Return);
    });
    Click(window.Command_Link_AllValue(2));
    EXPECT_EQ(reopened, closedAt);
    EXPECT_EQ(shown, first);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(LinkListTest, OnlyRowsInSightHaveWidgets) {
    MainWindow& window = Window(0);
    WriteFile(folder.filePath(QStringLiteral("测试代码.html")), GeneratedFolderPage(1000));
    window.Command3_Click();
    ASSERT_EQ(window.LinkRowCount(), 1000);
    // The frame's inner area is 287 high; rows are 71 apart.
    QList<int> lent = window.RowsWithWidgets();
    EXPECT_EQ(lent.first(), 1);
    EXPECT_LE(lent.size(), 8);
    auto* bar = qobject_cast<QScrollBar*>(window.Ctl(QStringLiteral("VScroll_LinkList")).Widget());
    ASSERT_TRUE(bar->isEnabled());
    bar->setValue(bar->maximum());
    lent = window.RowsWithWidgets();
    EXPECT_EQ(lent.last(), 1000);
    EXPECT_LE(lent.size(), 8);
    // The widget of a row stands where the row's figures put it in the frame.
    const Control& pane = window.Ctl(QStringLiteral("Picture_LinkList_In"));
    QWidget* frame = window.Ctl(QStringLiteral("Picture_LinkList_Out")).Widget();
    QWidget* text = window.RowWidget(QStringLiteral("Text_Link"), 1000);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->mapTo(frame, QPoint(0, 0)),
              QPoint(1 + ToPixel(pane.Left() + window.Text_Link(1000).Left()),
                     1 + ToPixel(pane.Top() + window.Text_Link(1000).Top())));
    EXPECT_EQ(text->width(), ToPixel(window.Text_Link(1000).Width()));
    EXPECT_EQ(qobject_cast<QLineEdit*>(text)->text(), window.Text_Link(1000).Text());
    EXPECT_EQ(window.Text_Link(1000).Text(),
              QStringLiteral("<a href=\"http://127.0.0.1:8765/download?id=F.1000\">"
                             "file1000.txt</a>"));
    // "?" of the last row views the last file.
    QString shown;
    QTimer::singleShot(0, [&shown] {
        auto* viewer = qobject_cast<CodeListBox*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr);
        shown = viewer->Text_Code().Text();
        viewer->close();
    });
    Click(window.Command_Link_AllValue(1000));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("fileIndex     1000\r\nid     F.1000\r\n")));
}

TEST_F(LinkListTest, FillingALargeListIsQuick) {
    MainWindow& window = Window(0);
    for (int count : {1000, 10000}) {
        SCOPED_TRACE(count);
        auto page = std::make_shared<SDPage>();
        page->GetListFromCode(GeneratedFolderPage(count));
        ASSERT_EQ(page->Files().Count(), count);
        QElapsedTimer clock;
        clock.start();
        window.FillLinkList(page);
        const qint64 elapsed = clock.elapsed();
        std::printf("[ figure   ] filling the link list for %d files: %lld ms\n", count,
                    static_cast<long long>(elapsed));
        EXPECT_EQ(window.LinkRowCount(), count);
        EXPECT_EQ(window.Label_Link(count).Caption(), QStringLiteral("%1. file%1.txt").arg(count));
        EXPECT_EQ(window.Label_LinkWarn(7).Visible(), true);
#ifndef __SANITIZE_ADDRESS__ // a sanitized build is several times slower
        if (count == 1000) {
            EXPECT_LT(elapsed, 500);
        }
#endif
    }
}

} // namespace
