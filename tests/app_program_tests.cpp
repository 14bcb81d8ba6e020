// One program per settings file, dialogs in the desktop's language, the update check.

#include "app/dialogs.h"
#include "app/singleinstance.h"
#include "app_support.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>
#include <csignal>

using namespace apptest;

namespace {

QString buttonText(QMessageBox::StandardButton which) {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(which)->text().remove(u'&');
}

// Qt's own button texts come from Qt's translations for the locale.
TEST(QtTranslations, AChineseDesktopGetsChineseButtons) {
    EXPECT_EQ(InstallQtTranslations(QLocale(QLocale::Zulu, QLocale::SouthAfrica)), nullptr);
    QTranslator* translator = InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China));
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(buttonText(QMessageBox::Ok), u"确定"_s);
    EXPECT_EQ(buttonText(QMessageBox::Cancel), u"取消"_s);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel); // the input box's
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(u'&'), u"取消"_s);
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(buttonText(QMessageBox::Ok), u"OK"_s);
}

// A second start on the same settings file opens its window in the running program and ends.
class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        configPath = folder.filePath(u"ZandorelConfig.xml"_s);
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath));
        QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // The session's runtime folder, which the programs started here inherit.
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }
    void TearDown() override {
        started.clear(); // kills the programs; their sockets go with the runtime folder
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }
    // Starts the built program on the settings file, headless as this one is.
    QProcess* Start(const QString& config) {
        started.push_back(std::make_unique<QProcess>());
        started.back()->start(QStringLiteral(ZANDOREL_PROGRAM), {u"--config"_s, config});
        EXPECT_TRUE(started.back()->waitForStarted(10000));
        return started.back().get();
    }
    // Asks the program that owns the settings file for a window, as a start does; its answer.
    QByteArray AskForWindow(const QString& config) {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::ServerName(config));
        EXPECT_TRUE(socket.waitForConnected(2000));
        socket.write("open\n");
        QByteArray reply;
        while (!reply.endsWith('\n') && socket.waitForReadyRead(5000)) {
            reply += socket.readAll();
        }
        return reply;
    }
    // Waits until a program owns the settings file; whether one does.
    bool Owned(const QString& config, int ms = 20000) {
        return QTest::qWaitFor(
            [&] {
                QLocalSocket socket;
                socket.connectToServer(SingleInstance::ServerName(config));
                return socket.waitForConnected(500);
            },
            ms);
    }
    QTemporaryDir folder;
    QTemporaryDir runtime;
    QByteArray savedRuntime;
    QString configPath;
    std::vector<std::unique_ptr<QProcess>> started;
};

TEST_F(InstanceTest, SecondStartOpensItsWindowInTheFirstAndEnds) {
    QProcess* first = Start(configPath);
    ASSERT_TRUE(Owned(configPath));
    // The socket and its lock are in the user's runtime folder, not in the world-writable temporary one.
    const QFileInfo socket(SingleInstance::ServerName(configPath));
    EXPECT_EQ(socket.absolutePath(), QFileInfo(runtime.path()).absoluteFilePath());
    EXPECT_TRUE(socket.exists());
    EXPECT_FALSE(QFileInfo::exists(QDir(QDir::tempPath()).filePath(socket.fileName())));
    // The same file under another name is the same file.
    for (const QString& config : {configPath, folder.path() + u"/./ZandorelConfig.xml"_s}) {
        QProcess* second = Start(config);
        ASSERT_TRUE(second->waitForFinished(20000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
    }
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(AskForWindow(configPath), "opened 3\n"); // the two later starts opened windows 1 and 2
    // Another settings file has a program of its own.
    const QString otherConfig = folder.filePath(u"other.xml"_s);
    ASSERT_TRUE(QFile::copy(configPath, otherConfig));
    Start(otherConfig);
    EXPECT_TRUE(Owned(otherConfig));
    EXPECT_EQ(AskForWindow(otherConfig), "opened 1\n");
    // A program that died leaves its socket behind; the next start removes it and owns the file.
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_FALSE(Owned(configPath, 0));
    QProcess* next = Start(configPath);
    EXPECT_TRUE(Owned(configPath));
    EXPECT_EQ(next->state(), QProcess::Running);
    EXPECT_EQ(AskForWindow(configPath), "opened 1\n");
}

QByteArray versionDocument(const char* version, const char* website = "http://127.0.0.1/") {
    return QByteArray("<?xml version=\"1.0\"?><versioninfo><soft name=\"Zandorel\" version=\"") + version +
           "\" website=\"" + website +
           "\"/><log>&lt;ul&gt;&lt;li&gt;Fix A&lt;/li&gt;&lt;/ul&gt;Done&lt;br/&gt;</log></versioninfo>";
}

// The update check from a window: silent first checks, the button, what is told.
class UpdateTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        program->SetUpdateCheckAddress(server.Base() +
                                       u"/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo"_s);
    }
    // Answers `version`, releasing the check only after `act`.
    void Hold(const char* version, const std::function<void()>& act) {
        server.body = versionDocument(version);
        server.hold = true;
        OnRequest([this, act] {
            act();
            server.Release();
        });
    }
};

TEST_F(UpdateTest, OutcomeIsToldAsTheCheckIsSilentOrNot) {
    using Answer = Dialogs::Answer;
    using Icon = Dialogs::Icon;
    const struct {
        const char* name;
        QByteArray body;
        bool silent;
        Answer answer;
        QString title; // empty: nothing is told
        Icon icon;
        QString opened;
    } cases[] = {
        {"newer, yes", versionDocument("1.0.10", "http://127.0.0.1/z/"), true, Answer::Yes,
         u"Zandorel发现新版本"_s, Icon::Information, u"http://127.0.0.1/z/"_s},
        {"newer, no", versionDocument("2.0.0"), true, Answer::No, u"Zandorel发现新版本"_s, Icon::Information,
         QString()},
        {"newer, website not a web address", versionDocument("1.1.0", "javascript:alert(1)"), false,
         Answer::Yes, u"Zandorel发现新版本"_s, Icon::Information, QString()},
        {"same version, silent", versionDocument("1.0.3"), true, Answer::Yes, QString(), Icon::None,
         QString()},
        {"older version, asked", versionDocument("0.9.99", "https://127.0.0.1/z"), false, Answer::Yes,
         u"Zandorel未发现新版本"_s, Icon::None, u"https://127.0.0.1/z"_s},
        {"server error, silent", "Error: unknown soft", true, Answer::Yes, QString(), Icon::None, QString()},
        {"server error, asked", "Error: unknown soft", false, Answer::Yes, u"连接失败"_s, Icon::Critical,
         QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        dialogs.answerMessage(c.answer);
        server.body = c.body;
        program->SetSilentUpdateCheck(c.silent);
        Ctl(u"Timer_Update"_s).SetEnabled(true);
        Window().Timer_Update_Timer();
        ASSERT_EQ(Messages().size(), c.title.isEmpty() ? 0 : 1);
        EXPECT_EQ(Messages().value(0).title, c.title);
        EXPECT_EQ(Messages().value(0).icon, c.icon);
        EXPECT_EQ(dialogs.calls(ScriptedDialogs::Kind::OpenUrl).value(0).text, c.opened);
        // Every check clears the flag and stops the timer.
        EXPECT_FALSE(program->SilentUpdateCheck());
        EXPECT_FALSE(Ctl(u"Timer_Update"_s).Enabled());
    }
}

TEST_F(UpdateTest, FirstTickIsSilentAndTheButtonOnlyArmsTheTimer) {
    server.body = versionDocument("1.0.3");
    const Control& timer = Ctl(u"Timer_Update"_s);
    EXPECT_TRUE(program->SilentUpdateCheck());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() > 0 && !timer.Enabled(); }, 3000));
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
    Press(u"Command_Updata"_s);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(server.RequestCount(), 1);
    Window().Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_TRUE(Told().startsWith(u"Zandorel未发现新版本 | "_s));
    // Every window that opens makes the next check silent again.
    Press(u"Command_NewWindow"_s);
    EXPECT_TRUE(program->SilentUpdateCheck());
}

TEST_F(UpdateTest, WhileACheckWaitsTicksStartNoSecondCheckAndAClosedWindowShowsNothing) {
    Hold("9.0.0", [this] {
        Window().Timer_Update_Timer();
        Window().Timer_Update_Timer();
    });
    Window().Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(Messages().size(), 1);
    // A window closed while its check waits shows nothing.
    Press(u"Command_NewWindow"_s);
    const QPointer<MainWindow> window(&Window(1));
    Hold("9.0.0", [&window] { window->close(); });
    window->Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_EQ(Messages().size(), 1);
}

} // namespace
