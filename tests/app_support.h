#pragma once
// Shared pieces of the window tests: a program started on a private copy of
// the settings file with scripted dialogs, and a loopback HTTP server that
// can hold its answers back.

#include "app/control.h"
#include "app/mainwindow.h"
#include "app/program.h"
#include "app/scripteddialogs.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace apptest {

QString DataPath(const QString& name);
QString ReadFile(const QString& path);
void WriteFile(const QString& path, const QString& text);

// A page of the share service's form listing the given entry objects
// (each the inner text of one object).
QString FolderPage(const QStringList& entries);
// `count` entries named file1.txt, file2.txt, ...
QString GeneratedFolderPage(int count);

// Answers every GET with one body. Requests can be held back and answered
// later, to keep a fetch waiting.
class LocalHttpServer : public QObject {
public:
    LocalHttpServer();
    ~LocalHttpServer() override;

    QString Base() const; // "http://127.0.0.1:PORT"
    QString Host() const; // "127.0.0.1:PORT"
    void SetBody(const QByteArray& body, const QByteArray& contentType = "text/html; charset=utf-8");
    void SetHold(bool hold) { hold_ = hold; }
    // Answers every request held so far.
    void Release();
    int RequestCount() const { return static_cast<int>(requestLines_.size()); }
    int WaitingCount() const { return static_cast<int>(waiting_.size()); }
    const QList<QByteArray>& RequestLines() const { return requestLines_; }
    // Runs when a request has arrived, before it is answered or held.
    std::function<void()> onRequest;

private:
    void answer(class QTcpSocket* socket);

    QTcpServer server_;
    QByteArray body_;
    QByteArray contentType_;
    bool hold_ = false;
    QList<QByteArray> requestLines_;
    QList<class QTcpSocket*> waiting_;
};

// Runs `body` inside the program's main event loop, as a command runs in
// the real program, and returns when that loop has ended.
void RunInMainLoop(const std::function<void()>& body);

// A running program on a private settings file beside a private "program
// folder"; the dialogs answer from the script.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program again on the settings file as it is on disc.
    bool Restart();
    // The settings document as it is on disc.
    QString SavedSettings() const;
    // Replaces the settings file before Restart().
    void WriteSettings(const QString& text);
    // Sets an attribute of the in-memory settings document.
    void SetSetting(const QString& path, const QString& attribute, const QString& value);

    zandorel::app::MainWindow& Window(int slot = 0) const;
    // Clicks a control's widget with the mouse.
    static void Click(const zandorel::app::Control& control);
    // Deletes the windows whose deletion is pending.
    static void FlushDeletes();

    QList<zandorel::app::ScriptedDialogs::Call> Messages() const {
        return dialogs.calls(zandorel::app::ScriptedDialogs::Kind::Message);
    }

    QTemporaryDir folder;
    QString configPath;
    zandorel::app::ScriptedDialogs dialogs;
    std::unique_ptr<zandorel::app::Program> program;
};

} // namespace apptest
