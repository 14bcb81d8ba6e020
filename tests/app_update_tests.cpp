// The window side of the update check (timer, silent flag, button, the
// messages, opening the website) and the test build's step messages.

#include "app_support.h"
#include "settings/keys.h"

#include <QTest>
#include <QTimer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

QByteArray versionDocument(const char* version, const char* website) {
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><versioninfo><soft name=\"Zandorel\" "
                      "shortname=\"zd\" version=\"") +
           version + "\" beta=\"\" time=\"2024-05-01\" website=\"" + website +
           "\"/><log>&lt;ul&gt;&lt;li&gt;Fix A&lt;/li&gt;&lt;/ul&gt;Done&lt;br/&gt;</log></versioninfo>";
}

class UpdateTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        program->SetUpdateCheckAddress(
            server.Base() + QStringLiteral("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo"));
    }
    LocalHttpServer server;
};

TEST_F(UpdateTest, OutcomeIsToldAsTheCheckIsSilentOrNot) {
    using Answer = Dialogs::Answer;
    using Icon = Dialogs::Icon;
    const struct {
        const char* name;
        QByteArray body;
        bool silent;
        Answer answer;
        int messages;
        Icon icon;
        QString title;
        QString opened;
    } cases[] = {
        {"newer, yes", versionDocument("1.0.10", "http://127.0.0.1/zandorel/"), true, Answer::Yes, 1,
         Icon::Information, QString::fromUtf16(u"Zandorel发现新版本"),
         QStringLiteral("http://127.0.0.1/zandorel/")},
        {"newer, no", versionDocument("2.0.0", "http://127.0.0.1/zandorel/"), true, Answer::No, 1,
         Icon::Information, QString::fromUtf16(u"Zandorel发现新版本"), QString()},
        {"newer, website not a web address", versionDocument("1.1.0", "javascript:alert(1)"), false,
         Answer::Yes, 1, Icon::Information, QString::fromUtf16(u"Zandorel发现新版本"), QString()},
        {"same version, silent", versionDocument("1.0.3", "http://127.0.0.1/"), true, Answer::Yes, 0,
         Icon::None, QString(), QString()},
        {"older version, asked", versionDocument("0.9.99", "https://127.0.0.1/z"), false, Answer::Yes, 1,
         Icon::None, QString::fromUtf16(u"Zandorel未发现新版本"), QStringLiteral("https://127.0.0.1/z")},
        {"server error, silent", QByteArray("Error: unknown soft"), true, Answer::Yes, 0, Icon::None,
         QString(), QString()},
        {"server error, asked", QByteArray("Error: unknown soft"), false, Answer::Yes, 1, Icon::Critical,
         QString::fromUtf16(u"连接失败"), QString()},
        {"not XML, asked", QByteArray("<html>"), false, Answer::Yes, 1, Icon::Critical,
         QString::fromUtf16(u"连接失败"), QString()},
    };
    MainWindow& window = Window(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        dialogs.answerMessage(c.answer);
        server.SetBody(c.body, "text/xml; charset=utf-8");
        program->SetSilentUpdateCheck(c.silent);
        window.Ctl(QStringLiteral("Timer_Update")).SetEnabled(true);
        window.Timer_Update_Timer();
        const auto messages = Messages();
        ASSERT_EQ(messages.size(), c.messages);
        if (c.messages > 0) {
            EXPECT_EQ(messages[0].icon, c.icon);
            EXPECT_EQ(messages[0].title, c.title);
            EXPECT_EQ(messages[0].buttons,
                      c.icon == Icon::Critical ? Dialogs::Buttons::Ok : Dialogs::Buttons::YesNo);
        }
        const auto opened = dialogs.calls(ScriptedDialogs::Kind::OpenUrl);
        EXPECT_EQ(opened.isEmpty() ? QString() : opened[0].text, c.opened);
        // Every check clears the flag and stops the timer.
        EXPECT_FALSE(program->SilentUpdateCheck());
        EXPECT_FALSE(window.Ctl(QStringLiteral("Timer_Update")).Enabled());
    }
    // The newer-version text carries both versions and the formatted log.
    dialogs.clear();
    server.SetBody(versionDocument("1.0.10", "http://127.0.0.1/"), "text/xml");
    window.Timer_Update_Timer();
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].text.contains(
        QString::fromUtf16(u"您的当前版本：1.0.3 Linux\r\n最新版本：    1.0.10\r\n"
                           u"更新日志：\r\n1、Fix A\r\nDone\r\n")))
        << Messages()[0].text.toStdString();
}

TEST_F(UpdateTest, FirstTickIsSilentAndTheButtonOnlyArmsTheTimer) {
    server.SetBody(versionDocument("1.0.3", "http://127.0.0.1/"), "text/xml");
    MainWindow& window = Window(0);
    const Control& timer = window.Ctl(QStringLiteral("Timer_Update"));
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_TRUE(program->SilentUpdateCheck());
    QTRY_COMPARE_WITH_TIMEOUT(server.RequestCount(), 1, 3000);
    QTRY_VERIFY(!timer.Enabled());
    EXPECT_FALSE(program->SilentUpdateCheck());
    EXPECT_TRUE(Messages().isEmpty());

    Click(window.Ctl(QStringLiteral("Command_Updata")));
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(server.RequestCount(), 1);
    window.Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 2);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].title, QString::fromUtf16(u"Zandorel未发现新版本"));

    // Every window that opens makes the next check silent again.
    Click(window.Ctl(QStringLiteral("Command_NewWindow")));
    EXPECT_TRUE(program->SilentUpdateCheck());
}

TEST_F(UpdateTest, ATickWhileTheCheckWaitsStartsNoSecondCheck) {
    server.SetBody(versionDocument("9.0.0", "http://127.0.0.1/"), "text/xml");
    server.SetHold(true);
    MainWindow& window = Window(0);
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            window.Timer_Update_Timer();
            window.Timer_Update_Timer();
            server.Release();
        });
    };
    window.Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(Messages().size(), 1);
}

TEST_F(UpdateTest, AWindowClosedDuringItsCheckShowsNothing) {
    server.SetBody(versionDocument("9.0.0", "http://127.0.0.1/"), "text/xml");
    server.SetHold(true);
    Click(Window(0).Ctl(QStringLiteral("Command_NewWindow")));
    MainWindow& window = Window(1);
    const QPointer<MainWindow> guard(&window);
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            guard->close();
            server.Release();
        });
    };
    window.Timer_Update_Timer();
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_FALSE(guard.isNull()); // deleted only once its command has returned
    FlushDeletes();
    EXPECT_TRUE(guard.isNull());
}

using StepMessageTest = AppTest;

TEST_F(StepMessageTest, TestBuildNamesTheFailedStepBeforeTheEmptyListing) {
    const struct {
        const char* page;
        int step;
        QString text;
        QString dump;
    } cases[] = {
        {"app_nodata.html", 1, keys::Step1ErrorDefault,
         ReadFile(DataPath(QStringLiteral("app_nodata.html")))},
        {"app_nolist.html", 2, keys::Step2ErrorDefault,
         QStringLiteral(
             "\"items\":[{\"id\":\"A1B2!101\",\"name\":\"Holiday\",\"folder\":{\"childCount\":0}}]")},
    };
    for (bool testBuild : {true, false}) {
        ASSERT_TRUE(Restart());
        if (testBuild) {
            program->EnableStepMessages();
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.page) + (testBuild ? " (test build)" : " (release)"));
            dialogs.clear();
            dialogs.answerOpenFile(DataPath(QString::fromLatin1(c.page)));
            Click(Window(0).Ctl(QStringLiteral("Command_GetFromFile")));
            const auto messages = Messages();
            ASSERT_EQ(messages.size(), testBuild ? 2 : 1);
            if (testBuild) {
                EXPECT_EQ(messages[0].title, QStringLiteral("Step %1 Error").arg(c.step));
                EXPECT_EQ(messages[0].text, c.text);
                EXPECT_EQ(messages[0].icon, Dialogs::Icon::None);
                EXPECT_EQ(messages[0].buttons, Dialogs::Buttons::Ok);
            }
            EXPECT_EQ(messages.last().text, QString::fromUtf16(u"获取源代码失败"));
            EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("Zandorel_error.html"))), c.dump);
        }
    }
}

} // namespace
