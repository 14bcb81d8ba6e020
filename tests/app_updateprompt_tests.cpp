// The window side of the update check: the silent first check of every
// window, the button that arms the timer, and what the user is told.

#include "app_support.h"

#include <QPointer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

QByteArray versionDocument(const char* version, const char* website = "http://127.0.0.1/") {
    return QByteArray("<?xml version=\"1.0\"?><versioninfo><soft name=\"Zandorel\" version=\"") + version +
           "\" website=\"" + website +
           "\"/><log>&lt;ul&gt;&lt;li&gt;Fix A&lt;/li&gt;&lt;/ul&gt;Done&lt;br/&gt;</log></versioninfo>";
}

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
    const QString newer = u"Zandorel发现新版本"_s;
    const struct {
        const char* name;
        QByteArray body;
        bool silent;
        Answer answer;
        QString title; // empty: nothing is told
        Icon icon;
        QString opened;
    } cases[] = {
        {"newer, yes", versionDocument("1.0.10", "http://127.0.0.1/z/"), true, Answer::Yes, newer,
         Icon::Information, u"http://127.0.0.1/z/"_s},
        {"newer, no", versionDocument("2.0.0"), true, Answer::No, newer, Icon::Information, QString()},
        {"newer, website not a web address", versionDocument("1.1.0", "javascript:alert(1)"), false,
         Answer::Yes, newer, Icon::Information, QString()},
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
        if (!c.title.isEmpty()) {
            EXPECT_EQ(Messages()[0].icon, c.icon);
            EXPECT_EQ(Messages()[0].title, c.title);
        }
        const auto opened = dialogs.calls(ScriptedDialogs::Kind::OpenUrl);
        EXPECT_EQ(opened.isEmpty() ? QString() : opened[0].text, c.opened);
        // Every check clears the flag and stops the timer.
        EXPECT_FALSE(program->SilentUpdateCheck());
        EXPECT_FALSE(Ctl(u"Timer_Update"_s).Enabled());
    }
    // The newer-version text carries both versions and the formatted log.
    dialogs.clear();
    server.body = versionDocument("1.0.10");
    Window().Timer_Update_Timer();
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].text.contains(
        u"您的当前版本：1.0.3 Linux\r\n最新版本：    1.0.10\r\n更新日志：\r\n1、Fix A\r\nDone\r\n"_s));
}

TEST_F(UpdateTest, FirstTickIsSilentAndTheButtonOnlyArmsTheTimer) {
    server.body = versionDocument("1.0.3");
    const Control& timer = Ctl(u"Timer_Update"_s);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_TRUE(program->SilentUpdateCheck());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() > 0; }, 3000));
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timer.Enabled(); }));
    EXPECT_TRUE(Messages().isEmpty());

    Press(u"Command_Updata"_s);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(server.RequestCount(), 1);
    Window().Timer_Update_Timer();
    EXPECT_EQ(server.RequestCount(), 2);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].title, u"Zandorel未发现新版本"_s);
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
