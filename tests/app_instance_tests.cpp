// One program per settings file: a second start of the built program on the
// same file opens its window in the program already running and ends, so no
// two programs save the file over each other.

#include "app/singleinstance.h"
#include "app_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <csignal>

using namespace zandorel::app;
using namespace apptest;

namespace {

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        configPath = folder.filePath(u"ZandorelConfig.xml"_s);
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath));
        QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // The session's runtime folder, which the programs started here inherit.
        ASSERT_TRUE(runtime.isValid());
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }
    void TearDown() override {
        for (QProcess* process : started) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
        // The killed programs leave their sockets behind.
        for (const QString& config : configs) {
            QLocalServer::removeServer(SingleInstance::ServerName(config));
        }
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }

    // Starts the built program on the settings file, headless.
    QProcess* Start(const QString& config) {
        auto* process = new QProcess;
        started.append(process);
        configs.append(config);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(ZANDOREL_PROGRAM), {u"--config"_s, config});
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }
    // Asks the program that owns the settings file for a window, as a start
    // does; its answer.
    QByteArray AskForWindow(const QString& config) {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::ServerName(config));
        if (!socket.waitForConnected(2000)) {
            return "no owner";
        }
        socket.write("open\n");
        QByteArray reply;
        while (!reply.endsWith('\n') && socket.waitForReadyRead(5000)) {
            reply += socket.readAll();
        }
        return reply;
    }
    // Waits until a program owns the settings file; whether one does.
    bool Owned(const QString& config) {
        static_cast<void>(QTest::qWaitFor([&] { return Listening(config); }, 20000));
        return Listening(config);
    }
    bool Listening(const QString& config) {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::ServerName(config));
        return socket.waitForConnected(500);
    }

    QTemporaryDir folder;
    QTemporaryDir runtime;
    QByteArray savedRuntime;
    QString configPath;
    QList<QProcess*> started;
    QStringList configs;
};

TEST_F(InstanceTest, SecondStartOpensItsWindowInTheFirstAndEnds) {
    QProcess* first = Start(configPath);
    ASSERT_TRUE(Owned(configPath));
    // The socket and its lock are in the user's runtime folder, not in the
    // temporary folder every user can write to.
    const QFileInfo socket(SingleInstance::ServerName(configPath));
    EXPECT_EQ(socket.absolutePath(), QFileInfo(runtime.path()).absoluteFilePath());
    EXPECT_TRUE(socket.exists());
    EXPECT_FALSE(QFileInfo::exists(QDir(QDir::tempPath()).filePath(socket.fileName())));

    // The same file under another name is the same file.
    const QString otherName = folder.path() + u"/./ZandorelConfig.xml"_s;
    for (const QString& config : {configPath, otherName}) {
        QProcess* second = Start(config);
        ASSERT_TRUE(second->waitForFinished(20000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
    }
    EXPECT_EQ(first->state(), QProcess::Running);
    // The two later starts opened windows 1 and 2 in the first program.
    EXPECT_EQ(AskForWindow(configPath), "opened 3\n");

    // Another settings file has a program of its own.
    const QString otherConfig = folder.filePath(u"other.xml"_s);
    ASSERT_TRUE(QFile::copy(configPath, otherConfig));
    QProcess* other = Start(otherConfig);
    EXPECT_TRUE(Owned(otherConfig));
    EXPECT_EQ(other->state(), QProcess::Running);
    EXPECT_EQ(AskForWindow(otherConfig), "opened 1\n");
}

// A program that died leaves its socket behind; the next start removes it and
// owns the file.
TEST_F(InstanceTest, StartAfterACrashOwnsTheFile) {
    QProcess* crashed = Start(configPath);
    ASSERT_TRUE(Owned(configPath));
    ::kill(static_cast<pid_t>(crashed->processId()), SIGKILL);
    ASSERT_TRUE(crashed->waitForFinished(5000));
    EXPECT_FALSE(Listening(configPath));

    QProcess* next = Start(configPath);
    EXPECT_TRUE(Owned(configPath));
    EXPECT_EQ(next->state(), QProcess::Running);
    EXPECT_EQ(AskForWindow(configPath), "opened 1\n");
}

} // namespace
