// What happens while a fetch waits: the window keeps serving events, so it
// can be closed, or start another retrieval, before the page arrives.

#include "app/codelistbox.h"
#include "app_support.h"
#include "settings/keys.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class FetchTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        server.SetBody(GeneratedFolderPage(2).toUtf8());
        server.SetHold(true);
        SetSetting(keys::Config, keys::ShareService, server.Base());
    }
    void StartGet(MainWindow& window) {
        window.Ctl(QStringLiteral("Text_URL")).SetText(server.Base() + QStringLiteral("/?cid=abc&id=abc!1"));
        Click(window.Ctl(QStringLiteral("Command_Get")));
    }
    LocalHttpServer server;
};

// Regression: closing the last window ends the program while the fetch
// still waits; the fetch then returns without a page, and its command must
// neither fill a window that is gone nor save a second time.
TEST_F(FetchTest, ClosingTheLastWindowWhileItsFetchWaits) {
    const QPointer<MainWindow> window(&Window(0));
    QString savedAtClose;
    const int width = window->frameGeometry().width();
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            window->close();
            savedAtClose = SavedSettings();
            WriteFile(configPath, QStringLiteral("changed after the save"));
        });
    };
    RunInMainLoop([&] { StartGet(*window); });
    EXPECT_TRUE(program->Ended());
    EXPECT_TRUE(savedAtClose.contains(QStringLiteral("Width=\"%1\"").arg(width)))
        << savedAtClose.toStdString();
    EXPECT_EQ(SavedSettings(), QStringLiteral("changed after the save"));
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(FetchTest, ClosingOneWindowWhileItsFetchWaits) {
    Click(Window(0).Ctl(QStringLiteral("Command_NewWindow")));
    const QPointer<MainWindow> window(&Window(0));
    const QString before = SavedSettings();
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            window->close();
            server.Release();
        });
    };
    StartGet(*window);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(program->OpenWindowCount(), 1);
    EXPECT_EQ(Window(1).LinkRowCount(), 0);
}

TEST_F(FetchTest, ASecondRetrievalDuringAFetch) {
    MainWindow& window = Window(0);
    // A saved page read while the fetch waits: the fetch then fills from the
    // window's newer page object.
    int rowsWhileWaiting = -1;
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            dialogs.answerOpenFile(DataPath(QStringLiteral("app_folder.html")));
            Click(window.Ctl(QStringLiteral("Command_GetFromFile")));
            rowsWhileWaiting = window.LinkRowCount();
            server.Release();
        });
    };
    StartGet(window);
    EXPECT_EQ(rowsWhileWaiting, 3);
    EXPECT_EQ(window.LinkRowCount(), 3);
    EXPECT_EQ(window.Label_Link(1).Caption(), QStringLiteral("1. a.txt"));

    // A second fetch inside the first: the inner one returns first.
    server.onRequest = [&] {
        if (server.RequestCount() == 2) {
            QTimer::singleShot(0, [&] { StartGet(window); });
        } else {
            QTimer::singleShot(0, [&] { server.Release(); });
        }
    };
    StartGet(window);
    EXPECT_EQ(server.RequestCount(), 3);
    EXPECT_EQ(window.LinkRowCount(), 2);
    EXPECT_EQ(window.Label_Link(2).Caption(), QStringLiteral("2. file2.txt"));
    EXPECT_TRUE(Messages().isEmpty());
}

// Regression: a retrieval clears the page object's files at once, so "?" on
// a row of the last fill, pressed while the page is being fetched again,
// asked for a file the object no longer had.
TEST_F(FetchTest, ViewingARowWhileItsPageIsFetchedAgain) {
    MainWindow& window = Window(0);
    server.SetHold(false);
    StartGet(window);
    ASSERT_EQ(window.LinkRowCount(), 2);
    server.SetHold(true);
    QString shown;
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                auto* viewer = qobject_cast<CodeListBox*>(QApplication::activeModalWidget());
                ASSERT_NE(viewer, nullptr);
                shown = viewer->Text_Code().Text();
                viewer->close();
            });
            Click(window.Command_Link_AllValue(2));
            server.Release();
        });
    };
    dialogs.answerInput(server.Base() + QStringLiteral("/?cid=abc&id=again"));
    Click(window.Ctl(QStringLiteral("Command_GetFromURL")));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("fileIndex     2\r\nid     F.2\r\n")));
    EXPECT_EQ(window.LinkRowCount(), 2);
}

} // namespace
