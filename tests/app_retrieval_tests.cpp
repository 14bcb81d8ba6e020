// The retrieval commands: what is fetched and told, and what happens while a fetch waits.

#include "app_support.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using namespace apptest;

namespace {

using RetrievalTest = AppTest;

TEST_F(RetrievalTest, AddressCheckDecidesWhatIsFetched) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    const QString host = server.Base().mid(7);
    const struct {
        QString address;
        const char* request; // null: refused by the check
    } cases[] = {
        {u"http://"_s + host + u"/?cid=abc&id=abc%21def"_s, "GET /?cid=abc&id=abc%21def"},
        {u"HTTP://"_s + host + u"/?CID=AbC&ID=xY#top"_s, "GET /?cid=AbC&id=xY"},
        {u"http://other.host/?cid=abc&id=1"_s, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        dialogs.clear();
        TypeInto(u"Text_URL"_s, c.address);
        const int requests = server.RequestCount();
        Press(u"Command_Get"_s);
        EXPECT_EQ(server.RequestCount(), requests + (c.request ? 1 : 0));
        if (c.request) {
            EXPECT_EQ(server.requestLines.last(), QByteArray(c.request) + " HTTP/1.1");
        }
        EXPECT_EQ(Told(), c.request ? QString() : u"无效地址 | 您输入的SkyDrive网址有误，请重新输入"_s);
        EXPECT_EQ(Messages().value(0).icon, c.request ? Dialogs::Icon::None : Dialogs::Icon::Exclamation);
    }
    // A refused address leaves the list of the last fetch as it was.
    EXPECT_EQ(Rows().LinkRowCount(), 3);
}

TEST_F(RetrievalTest, EmptyListingsAreToldAndTheTestBuildNamesTheFailedStep) {
    const QString dump = folder.filePath(u"Zandorel_error.html"_s);
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
            ASSERT_EQ(Rows().LinkRowCount(), 3);
            dialogs.clear();
            LoadSavedPage(QString::fromLatin1(c.page));
            // The message names the file the page was dumped to.
            const QString empty =
                u" | 获取源代码失败\r\n获取的网页代码已保存到："_s + QDir::toNativeSeparators(dump);
            EXPECT_EQ(Told(), testBuild ? u"Step %1 Error | "_s.arg(c.step) + c.text + u'\n' + empty : empty);
            EXPECT_EQ(ReadFile(dump), c.dump);
            EXPECT_EQ(Rows().LinkRowCount(), 0);
            EXPECT_EQ(Block(), QString());
        }
    }
    // The settings' own wording, the path at %1.
    ASSERT_TRUE(Restart());
    pugi::xml_node config = SettingsStore::Instance().Root().child("Soft").child("Config");
    config.remove_child("GetSourceCode_Dump");
    config.append_child("GetSourceCode_Dump").text().set("Dump: %1.");
    dialogs.clear();
    LoadSavedPage(u"app_nodata.html"_s);
    EXPECT_EQ(Told(), u" | 获取源代码失败\r\nDump: "_s + QDir::toNativeSeparators(dump) + u'.');
    // An address the request cannot take: the empty-listing message, the list kept.
    LoadSavedPage(u"app_folder.html"_s);
    dialogs.clear();
    dialogs.answerInput(u"no-scheme/?cid=1"_s);
    Press(u"Command_GetFromURL"_s);
    EXPECT_EQ(Told(), u" | 获取源代码失败"_s);
    EXPECT_EQ(Rows().LinkRowCount(), 3);
}

// Regression: the last window closed while its fetch waits; nothing is filled or saved twice.
TEST_F(RetrievalTest, ClosingTheLastWindowWhileItsFetchWaits) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    const QPointer<MainWindow> window(&Window());
    const int width = window->frameGeometry().width();
    QString savedAtClose;
    OnRequest([&] {
        window->close();
        savedAtClose = SavedSettings();
        WriteFile(configPath, u"changed after the save"_s);
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

// An answer to a window closed while it asked does nothing; the window goes afterwards.
TEST_F(RetrievalTest, AnAnswerToAWindowClosedMeanwhileDoesNothing) {
    Serve(GeneratedFolderPage(2).toUtf8(), false);
    const struct {
        const char* button;
        std::function<void()> answer;
    } cases[] = {
        {"Command_GetFromURL", [&] { dialogs.answerInput(server.Base() + u"/?cid=1&id=2"_s); }},
        {"Command_GetFromFile", [&] { dialogs.answerOpenFile(DataPath(u"app_folder.html"_s)); }},
        {"Command_AddToList", [&] { dialogs.answerInput(u"closed meanwhile"_s); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        Press(u"Command_NewWindow"_s);
        const QPointer<MainWindow> window(program->OpenWindows().last());
        const qsizetype templates = program->Templates().Items().size();
        c.answer();
        // A click that reaches the closed window meanwhile runs nothing.
        dialogs.whileShown = [&](const ScriptedDialogs::Call&) {
            window->close();
            qobject_cast<QPushButton*>(window->Ctl(u"Command_NewWindow"_s).Widget())->click();
        };
        const qsizetype open = program->OpenWindows().size();
        Click(window->Ctl(QString::fromLatin1(c.button)));
        dialogs.whileShown = nullptr;
        EXPECT_EQ(program->OpenWindows().size(), open - 1);
        EXPECT_EQ(server.RequestCount(), 0);
        EXPECT_EQ(program->Templates().Items().size(), templates);
        ASSERT_FALSE(window.isNull());
        EXPECT_TRUE(window->Unloaded());
        EXPECT_EQ(window->LinkList().LinkRowCount(), 0);
        EXPECT_TRUE(Messages().isEmpty());
        FlushDeletes();
        EXPECT_TRUE(window.isNull());
    }
    EXPECT_FALSE(program->Ended());
}

// Regression: "?" while the page was fetched again asked for a file already cleared.
TEST_F(RetrievalTest, ViewingARowWhileItsPageIsFetchedAgain) {
    Serve(GeneratedFolderPage(2).toUtf8(), false);
    StartGet(Window());
    ASSERT_EQ(Rows().LinkRowCount(), 2);
    server.hold = true;
    QString shown;
    OnRequest([&] {
        shown = ViewRow(Window(), 2);
        server.Release();
    });
    dialogs.answerInput(server.Base() + u"/?cid=abc&id=again"_s);
    Press(u"Command_GetFromURL"_s);
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     F.2\r\n"_s));
    EXPECT_EQ(Rows().LinkRowCount(), 2);
}

// Busy over the waiting window only; Esc or a newer fetch stops a wait quietly.
TEST_F(RetrievalTest, AWaitingFetchShowsABusyPointerAndEscStopsItQuietly) {
    MainWindow& window = Window();
    Activate(window);
    LoadSavedPage(u"app_folder.html"_s);
    Press(u"Command_NewWindow"_s);
    MainWindow& other = Window(1);
    other.move(window.frameGeometry().right() + 20, window.y());
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    QWidget* address = Ctl(u"Text_URL"_s).Widget();
    // The pointer a person sees over a widget: the application's override, else the widget's own.
    QStringList seen;
    auto look = [&](QWidget* widget) {
        QTest::mouseMove(widget, widget->rect().center());
        QCoreApplication::processEvents();
        const QCursor* over = QGuiApplication::overrideCursor();
        seen << widget->objectName() + u'=' +
                    QString::number(over ? over->shape() : widget->cursor().shape());
    };
    Qt::CursorShape waiting = Qt::ArrowCursor;
    OnRequest([&] {
        for (QWidget* part :
             {Rows().RowWidget(u"Text_Link"_s, 1), address, Ctl(u"Text_CodeFormat"_s).Widget(),
              qobject_cast<QPlainTextEdit*>(Ctl(u"Text_AllLinkCode"_s).Widget())->viewport(),
              Ctl(u"Command_Get"_s).Widget(), static_cast<QWidget*>(&window),
              other.Ctl(u"Text_URL"_s).Widget(), address}) {
            look(part);
        }
        waiting = window.cursor().shape();
        QTest::keyClick(Ctl(u"Text_AllLinkCode"_s).Widget(), Qt::Key_Escape);
    });
    StartGet(window);
    EXPECT_EQ(seen.join(u' '), u"Text_Link_1=%1 Text_URL=%1 Text_CodeFormat=%1 qt_scrollarea_viewport=%1 "
                               u"Command_Get=%1 Form_Main=%1 Text_URL=%2 Text_URL=%1"_s.arg(
                                   QString::number(Qt::BusyCursor), QString::number(Qt::IBeamCursor)));
    EXPECT_EQ(waiting, Qt::BusyCursor);
    EXPECT_EQ(other.cursor().shape(), Qt::ArrowCursor);
    // The command came back at Esc, with the server still holding its answer.
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Rows().Label_Link(3).Caption(), u"3. c <b>&amp;</b>.zip"_s);
    // Esc from the template list stops 自定义URL; 生成代码 still has the listing the rows show.
    OnRequest([&] { QTest::keyClick(Ctl(u"List_CodeList"_s).Widget(), Qt::Key_Escape); });
    dialogs.answerInput(server.Base() + u"/?cid=abc&id=custom"_s);
    Press(u"Command_GetFromURL"_s);
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_FALSE(window.Retrieval().Retrieving());
    Press(u"Command_CreatLinkList"_s);
    EXPECT_EQ(Rows().LinkRowCount(), 3);
    // A second retrieval stops the waiting first; once it is done the pointer is back.
    seen.clear();
    bool released = false;
    QTimer safety; // in case the first is not stopped
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [&] {
        released = true;
        server.Release();
    });
    OnRequest([&] {
        safety.start(5000);
        LoadSavedPage(u"app_folder.html"_s);
    });
    StartGet(window);
    EXPECT_FALSE(released);
    EXPECT_FALSE(window.Retrieval().Retrieving());
    look(address);
    EXPECT_EQ(seen.join(u' '), u"Text_URL=%1"_s.arg(QString::number(Qt::IBeamCursor)));
    EXPECT_EQ(Rows().Label_Link(1).Caption(), u"1. a.txt"_s);
    safety.stop();
    // A fetch that ends by itself restores the pointer; Esc with nothing waiting does nothing.
    server.hold = false;
    server.onRequest = {};
    StartGet(window);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    QTest::keyClick(address, Qt::Key_Escape);
    EXPECT_EQ(Rows().LinkRowCount(), 2);
    EXPECT_TRUE(Messages().isEmpty());
}

} // namespace
