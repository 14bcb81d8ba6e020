#pragma once
// The window tests' shared pieces: a program with scripted dialogs, a loopback HTTP server.

#include "app/codelistbox.h"
#include "app/linklistview.h"
#include "app/mainwindow.h"
#include "app/program.h"
#include "app/retrieval.h"
#include "app/scripteddialogs.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// Failure messages show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace apptest {

// The tests use the program's names unqualified.
using namespace Qt::StringLiterals;
using namespace zandorel;
using namespace zandorel::app;

QString DataPath(const QString& name);
QString ReadFile(const QString& path);
void WriteFile(const QString& path, const QString& text);
// A share page listing file1.txt ... file<count>.txt; every seventh is not public.
QString GeneratedFolderPage(int count);

// Answers every GET with `body`; while `hold` is set, requests wait for Release().
class LocalHttpServer : public QObject {
public:
    LocalHttpServer();
    QString Base() const { return u"http://127.0.0.1:"_s + QString::number(server_.serverPort()); }
    void Release();
    int RequestCount() const { return static_cast<int>(requestLines.size()); }

    QByteArray body;
    bool hold = false;
    QList<QByteArray> requestLines;
    std::function<void()> onRequest; // runs before a request is answered or held

private:
    QTcpServer server_;
    QList<class QTcpSocket*> waiting_;
};

// A running program on a private settings file; the dialogs answer from the script.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program again on the settings file as it is on disc, or as `settings`.
    bool Restart();
    bool RestartWith(const QString& settings) {
        WriteFile(configPath, settings);
        return Restart();
    }
    QString SavedSettings() const { return ReadFile(configPath); }
    // Sets an attribute of the in-memory settings document.
    void SetSetting(const QString& path, const QString& attribute, const QString& value);

    zandorel::app::MainWindow& Window(int slot = 0) const;
    zandorel::app::Control& Ctl(const QString& name, int slot = 0) const { return Window(slot).Ctl(name); }
    zandorel::app::LinkListView& Rows(int slot = 0) const { return Window(slot).LinkList(); }
    static void Click(const zandorel::app::Control& control);
    void Press(const QString& name, int slot = 0) const { Click(Ctl(name, slot)); }
    // Makes the window the active one, so that the keyboard focus moves within it.
    static void Activate(QWidget& window) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Turns the wheel over the middle of `widget` (negative: down), as the window system does.
    static void Wheel(QWidget* widget, int notches);
    // Lets the event loop run until `condition` holds, at most `ms`.
    static void WaitUntil(const std::function<bool()>& condition, int ms = 2000) {
        static_cast<void>(QTest::qWaitFor(condition, ms));
    }
    // Resizes a window as its user does, and returns its outer size once framed.
    static QSize UserResize(QWidget& window, QSize inner) {
        window.resize(inner);
        WaitUntil([&] { return window.size() == inner; });
        WaitUntil([&] { return window.frameGeometry().size() != window.size(); });
        return window.frameGeometry().size();
    }
    // Clicks "?" of a row; the viewer's text. `act`, if given, runs on the open viewer and closes it.
    static QString ViewRow(const zandorel::app::MainWindow& window, int row,
                           const std::function<void(zandorel::app::CodeListBox&)>& act = {});
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // Runs `act` in the event loop once a request has reached the server.
    void OnRequest(const std::function<void()>& act) {
        server.onRequest = [act] { QTimer::singleShot(0, act); };
    }
    // Lists a saved page (of tests/data, or a path) through 来自文件.
    void LoadSavedPage(const QString& file) {
        dialogs.answerOpenFile(file.contains(u'/') ? file : DataPath(file));
        Press(u"Command_GetFromFile"_s);
    }
    // The combined link block of the first window.
    QString Block() const { return Ctl(u"Text_AllLinkCode"_s).Text(); }
    // The local server as the share service, answering `page` (held back while `hold`).
    void Serve(const QByteArray& page, bool hold);
    // Types into a text box of the window as a person does, replacing its text.
    void TypeInto(const QString& name, const QString& text, int slot = 0) const;
    // Types a folder address of the local server and presses 提取源代码.
    void StartGet(zandorel::app::MainWindow& window) {
        window.Ctl(u"Text_URL"_s).SetText(server.Base() + u"/?cid=abc&id=abc!1"_s);
        Click(window.Ctl(u"Command_Get"_s));
    }
    QList<zandorel::app::ScriptedDialogs::Call> Messages() const {
        return dialogs.calls(zandorel::app::ScriptedDialogs::Kind::Message);
    }
    // The messages told so far, one a line: "title | text".
    QString Told() const;

    QTemporaryDir folder;
    QString configPath;
    zandorel::app::ScriptedDialogs dialogs;
    std::unique_ptr<zandorel::app::Program> program;
    LocalHttpServer server;
};

} // namespace apptest
