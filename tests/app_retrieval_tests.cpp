// The retrieval commands: which address is fetched, what the user is told,
// what happens while a fetch waits (the window keeps serving events
// meanwhile), the busy pointer, Esc that stops a wait, and Enter in the
// two text boxes.

#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class RetrievalTest : public AppTest {};

TEST_F(RetrievalTest, AddressCheckDecidesWhatIsFetched) {
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
    EXPECT_EQ(Window().LinkList().LinkRowCount(), 3);
}

TEST_F(RetrievalTest, EmptyListingsAreToldAndTheTestBuildNamesTheFailedStep) {
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
            ASSERT_EQ(Window().LinkList().LinkRowCount(), 3);
            dialogs.clear();
            LoadSavedPage(QString::fromLatin1(c.page));
            const auto messages = Messages();
            ASSERT_EQ(messages.size(), testBuild ? 2 : 1);
            if (testBuild) {
                EXPECT_EQ(messages[0].title, u"Step %1 Error"_s.arg(c.step));
                EXPECT_EQ(messages[0].text, c.text);
            }
            // The message names the file the page was dumped to.
            EXPECT_EQ(messages.last().text,
                      u"获取源代码失败\r\n获取的网页代码已保存到："_s +
                          QDir::toNativeSeparators(folder.filePath(u"Zandorel_error.html"_s)));
            EXPECT_EQ(ReadFile(folder.filePath(u"Zandorel_error.html"_s)), c.dump);
            EXPECT_EQ(Window().LinkList().LinkRowCount(), 0);
            EXPECT_EQ(Block(), QString());
        }
    }
    // The settings' own wording; without %1 the path follows it.
    ASSERT_TRUE(Restart());
    for (const QString& wording : {u"Dump: %1."_s, u"Dump at "_s}) {
        pugi::xml_node node = SettingsStore::Instance().Root().child("Soft").child("Config");
        node.remove_child("GetSourceCode_Dump");
        node.append_child("GetSourceCode_Dump").text().set(wording.toStdString().c_str());
        dialogs.clear();
        LoadSavedPage(u"app_nodata.html"_s);
        ASSERT_EQ(Messages().size(), 1);
        const QString path = QDir::toNativeSeparators(folder.filePath(u"Zandorel_error.html"_s));
        EXPECT_EQ(Messages()[0].text,
                  u"获取源代码失败\r\n"_s +
                      (wording.contains(u"%1") ? u"Dump: "_s + path + u'.' : u"Dump at "_s + path));
    }
}

TEST_F(RetrievalTest, FetchOrReadErrorsAreToldLikeAnEmptyListing) {
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(Window().LinkList().LinkRowCount(), 3);
    // An address the request cannot take, and a file that cannot be read:
    // the empty-listing message, and the list stays as it was.
    dialogs.clear();
    dialogs.answerInput(u"no-scheme/?cid=1"_s);
    Press(u"Command_GetFromURL"_s);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text, u"获取源代码失败"_s);
    EXPECT_EQ(Window().LinkList().LinkRowCount(), 3);

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

// Regression: closing the last window ends the program while the fetch
// still waits; the fetch then returns without a page, and its command must
// neither fill a window that is gone nor save a second time.
TEST_F(RetrievalTest, ClosingTheLastWindowWhileItsFetchWaits) {
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

TEST_F(RetrievalTest, ClosingOneWindowWhileItsFetchWaits) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    Press(u"Command_NewWindow"_s);
    const QPointer<MainWindow> window(&Window());
    const QString before = SavedSettings();
    const qsizetype open = program->OpenWindows().size();
    // A click that reaches the closed window meanwhile runs nothing.
    OnRequest([&] {
        window->close();
        qobject_cast<QPushButton*>(window->Ctl(u"Command_NewWindow"_s).Widget())->click();
        server.Release();
    });
    StartGet(*window);
    EXPECT_EQ(program->OpenWindows().size(), open - 1);
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Window(1).LinkList().LinkRowCount(), 0);
}

// A command that asks first does nothing with the answer when its window
// was closed while the question was up: nothing is fetched, read or added,
// and the window goes once the command has returned.
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
        dialogs.whileShown = [&](const ScriptedDialogs::Call&) { window->close(); };
        Click(window->Ctl(QString::fromLatin1(c.button)));
        dialogs.whileShown = nullptr;
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

// A second fetch inside the first: the inner one returns first. (A saved
// page read meanwhile is BusyPointerOverTheWholeWaitingWindowOnly's.)
TEST_F(RetrievalTest, ASecondFetchDuringAFetch) {
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    MainWindow& window = Window();
    OnRequest([&] { server.RequestCount() == 1 ? StartGet(window) : server.Release(); });
    StartGet(window);
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_EQ(window.LinkList().Label_Link(2).Caption(), u"2. file2.txt"_s);
    EXPECT_TRUE(Messages().isEmpty());
}

// Regression: a retrieval clears the page object's files at once, so "?" on
// a row of the last fill, pressed while the page is being fetched again,
// asked for a file the object no longer had.
TEST_F(RetrievalTest, ViewingARowWhileItsPageIsFetchedAgain) {
    Serve(GeneratedFolderPage(2).toUtf8(), false);
    MainWindow& window = Window();
    StartGet(window);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 2);
    server.hold = true;
    QString shown;
    OnRequest([&] {
        shown = ViewRow(window, 2);
        server.Release();
    });
    dialogs.answerInput(server.Base() + u"/?cid=abc&id=again"_s);
    Press(u"Command_GetFromURL"_s);
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     F.2\r\n"_s));
    EXPECT_EQ(window.LinkList().LinkRowCount(), 2);
}

TEST_F(RetrievalTest, AWaitingFetchShowsABusyPointerAndEscStopsItQuietly) {
    MainWindow& window = Window();
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    Press(u"Command_NewWindow"_s);
    MainWindow& other = Window(1);
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    // Esc reaches the window from whichever control has the focus.
    const struct {
        const char* name;
        std::function<void()> start;
        QString escFrom;
    } commands[] = {
        {"提取源代码", [&] { StartGet(window); }, u"Text_URL"_s},
        {"自定义URL",
         [&] {
             dialogs.answerInput(server.Base() + u"/?cid=abc&id=custom"_s);
             Press(u"Command_GetFromURL"_s);
         },
         u"Text_AllLinkCode"_s},
        {"自定义URL, from the list",
         [&] {
             dialogs.answerInput(server.Base() + u"/?cid=abc&id=custom"_s);
             Press(u"Command_GetFromURL"_s);
         },
         u"List_CodeList"_s},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command.name);
        const int requests = server.RequestCount();
        Qt::CursorShape waiting = Qt::ArrowCursor;
        Qt::CursorShape otherWaiting = Qt::BusyCursor;
        OnRequest([&] {
            waiting = window.cursor().shape();
            otherWaiting = other.cursor().shape();
            QTest::keyClick(Ctl(command.escFrom).Widget(), Qt::Key_Escape);
        });
        command.start();
        // The command came back at Esc, with the server still holding its answer.
        EXPECT_EQ(server.RequestCount(), requests + 1);
        EXPECT_EQ(waiting, Qt::BusyCursor);
        EXPECT_EQ(otherWaiting, Qt::ArrowCursor);
        EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
        EXPECT_FALSE(window.Retrieval().Retrieving());
        EXPECT_TRUE(Messages().isEmpty());
        ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
        EXPECT_EQ(window.LinkList().Label_Link(3).Caption(), u"3. c <b>&amp;</b>.zip"_s);
    }
    // 生成代码 still has the listing the rows show.
    Press(u"Command_CreatLinkList"_s);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(window.LinkList().LinkRowCount(), 3);

    // A fetch that ends by itself restores the pointer as well, and Esc with
    // nothing waiting does nothing.
    server.hold = false;
    server.onRequest = {};
    StartGet(window);
    EXPECT_EQ(window.LinkList().LinkRowCount(), 2);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    QTest::keyClick(Ctl(u"Text_URL"_s).Widget(), Qt::Key_Escape);
    EXPECT_EQ(window.LinkList().LinkRowCount(), 2);
    EXPECT_TRUE(Messages().isEmpty());
}

// The pointer a person sees over a widget: the application's override, if
// one is set, else the widget's own.
Qt::CursorShape ShownPointer(QWidget* widget) {
    if (const QCursor* over = QGuiApplication::overrideCursor()) {
        return over->shape();
    }
    return widget->cursor().shape();
}

// Busy over the whole window, its text boxes included, while a fetch of the
// window waits, and only there and then; a fetch superseded by a newer one is
// stopped, so the pointer comes back when the newest ends.
TEST_F(RetrievalTest, BusyPointerOverTheWholeWaitingWindowOnly) {
    MainWindow& window = Window();
    Activate(window);
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    Press(u"Command_NewWindow"_s);
    MainWindow& other = Window(1);
    other.move(window.frameGeometry().right() + 20, window.y());
    Serve(GeneratedFolderPage(2).toUtf8(), true);
    const QList<QWidget*> parts = {
        window.LinkList().RowWidget(u"Text_Link"_s, 1),
        Ctl(u"Text_URL"_s).Widget(),
        Ctl(u"Text_CodeFormat"_s).Widget(),
        qobject_cast<QPlainTextEdit*>(Ctl(u"Text_AllLinkCode"_s).Widget())->viewport(),
        Ctl(u"Command_Get"_s).Widget(),
        &window};
    QStringList seen;
    auto look = [&](QWidget* widget) {
        QTest::mouseMove(widget, widget->rect().center());
        QCoreApplication::processEvents();
        seen << widget->objectName() + u'=' + QString::number(ShownPointer(widget));
    };
    const QString busy = QString::number(Qt::BusyCursor);
    const QString beam = QString::number(Qt::IBeamCursor);
    OnRequest([&] {
        for (QWidget* part : parts) {
            look(part);
        }
        look(other.Ctl(u"Text_URL"_s).Widget()); // the other window does not wait
        look(parts[1]);
        server.Release();
    });
    StartGet(window);
    EXPECT_EQ(seen.join(u' '), u"Text_Link_1=%1 Text_URL=%1 Text_CodeFormat=%1 qt_scrollarea_viewport=%1 "
                               u"Command_Get=%1 Form_Main=%1 Text_URL=%2 Text_URL=%1"_s.arg(busy, beam));
    ASSERT_EQ(window.LinkList().LinkRowCount(), 2);
    EXPECT_FALSE(window.Retrieval().Retrieving());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ShownPointer(parts[1]), Qt::IBeamCursor);

    // A second retrieval while the first waits: the first is stopped, and
    // once the second is done nothing waits and the pointer is back, though
    // the server still holds the first's answer.
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
    look(parts[1]);
    EXPECT_EQ(seen.join(u' '), u"Text_URL=%1"_s.arg(beam));
    EXPECT_EQ(window.LinkList().LinkRowCount(), 3);
    EXPECT_EQ(window.LinkList().Label_Link(1).Caption(), u"1. a.txt"_s);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Messages().isEmpty());
    safety.stop();
    server.Release();
}

TEST_F(RetrievalTest, EnterInTheAddressBoxFetchesAndInTheFormatBoxRebuilds) {
    Serve(ReadFile(DataPath(u"app_folder.html"_s)).toUtf8(), false);
    MainWindow& window = Window();
    auto* address = qobject_cast<QLineEdit*>(Ctl(u"Text_URL"_s).Widget());
    QTest::keyClicks(address, server.Base() + u"/?cid=abc&id=abc!1"_s);
    QTest::keyClick(address, Qt::Key_Return);
    EXPECT_EQ(server.RequestCount(), 1);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);

    TypeInto(u"Text_CodeFormat"_s, u"%t(fileIndex):%t(name)"_s);
    QTest::keyClick(Ctl(u"Text_CodeFormat"_s).Widget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(window.LinkList().Text_Link(2).Text(), u"2:b"_s);
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

} // namespace
