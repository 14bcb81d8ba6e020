// Window instances and the one save at the end, the template list, select-all,
// the layout with the scrolled link list, and the window side of the update check.

#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

using WindowTest = AppTest;

QString savedAttribute(const QString& document, const QString& path, const QString& attribute) {
    pugi::xml_document doc;
    return LoadXmlText(doc, document) ? ReadAttribute(doc, path, attribute, u"(missing)"_s) : u"(not XML)"_s;
}

TEST_F(WindowTest, WindowsKeepTheirSlotNumbersAndTheLastCloseSavesOnce) {
    EXPECT_EQ(Window(0).windowTitle(), u"Zandorel V1.0.3 窗口0"_s);
    const QString before = SavedSettings();
    Press(u"Command_NewWindow"_s, 0);
    Press(u"Command_NewWindow"_s, 1);
    Window(1).close();
    Press(u"Command_NewWindow"_s, 2);
    EXPECT_EQ(program->Window(1), nullptr);
    for (int slot : {0, 2, 3}) {
        EXPECT_TRUE(Window(slot).windowTitle().endsWith(u"窗口"_s + QString::number(slot)));
    }
    FlushDeletes();

    // Closing in any order: only the last close saves and ends.
    Press(u"Command_Exit"_s, 3);
    Window(0).close();
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    Window(2).resize(900, 500);
    const QSize outer = Window(2).frameGeometry().size();
    Window(2).close();
    EXPECT_TRUE(program->Ended());
    const QString saved = SavedSettings();
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, u"Width"_s), QString::number(outer.width()));
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, u"Height"_s), QString::number(outer.height()));
    EXPECT_TRUE(Messages().isEmpty());
    // The sizes saved are applied at the next start.
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Window(0).frameGeometry().size(), outer);
}

TEST_F(WindowTest, ASaveThatFailsIsToldToTheUser) {
    const QString sub = folder.filePath(u"gone"_s);
    ASSERT_TRUE(QDir().mkpath(sub));
    configPath = sub + u"/ZandorelConfig.xml"_s;
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath));
    ASSERT_TRUE(Restart());
    SetSetting(keys::SaveConfigError, u"Title"_s, u"%s(AppTitle): not saved"_s);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    Window(0).close();
    EXPECT_TRUE(program->Ended());
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text,
              u"保存设置文件失败，常用代码和窗口大小的修改没有保存到 ZandorelConfig.xml"_s);
    EXPECT_EQ(Messages()[0].title, u"Zandorel: not saved"_s);
    EXPECT_EQ(Messages()[0].icon, Dialogs::Icon::Critical);
}

TEST_F(WindowTest, TemplateListCommandsAreSavedAcrossARestart) {
    WriteSettings(
        u"<Soft><TemplateList><Template name=\"one\">1:%t(name)</Template>"
        u"<Template name=\"two\">2:%t(name)</Template><Template name=\"three\">3:%t(name)</Template>"
        u"</TemplateList></Soft>"_s);
    ASSERT_TRUE(Restart());
    auto* list = qobject_cast<QListWidget*>(Ctl(u"List_CodeList"_s).Widget());
    auto names = [&list] {
        QStringList names;
        for (int i = 0; i < list->count(); ++i) {
            names.append(list->item(i)->text());
        }
        return names.join(u' ');
    };
    Control& format = Ctl(u"Text_CodeFormat"_s);

    // Added under the name asked for; a cancelled name adds nothing.
    const QString markup = u"<a href=\"%t(urls.download)\" title='x & y'>%t(name)</a>"_s;
    format.SetText(markup);
    dialogs.answerInput(u"mine"_s);
    Press(u"Command_AddToList"_s);
    Press(u"Command_AddToList"_s);
    EXPECT_EQ(names(), u"one two three mine"_s);

    // A moved entry stays chosen; up on the first moves nothing but chooses it again.
    list->setCurrentRow(1);
    Press(u"Command_ListDown"_s);
    EXPECT_EQ(names(), u"one three two mine"_s);
    EXPECT_EQ(list->currentRow(), 2);
    Press(u"Command_ListUp"_s);
    Press(u"Command_ListUp"_s);
    format.SetText(u"edited"_s);
    Press(u"Command_ListUp"_s);
    EXPECT_EQ(names(), u"two one three mine"_s);
    EXPECT_EQ(format.Text(), u"2:%t(name)"_s);

    list->setCurrentRow(2);
    Press(u"Command_DelToList"_s);
    // Nothing chosen now: delete and the moves change nothing.
    for (const QString& button : {u"Command_DelToList"_s, u"Command_ListUp"_s, u"Command_ListDown"_s}) {
        Press(button);
    }
    EXPECT_EQ(names(), u"two one mine"_s);

    Window().close();
    ASSERT_TRUE(Restart());
    list = qobject_cast<QListWidget*>(Ctl(u"List_CodeList"_s).Widget());
    EXPECT_EQ(names(), u"two one mine"_s);
    list->setCurrentRow(2);
    EXPECT_EQ(Ctl(u"Text_CodeFormat"_s).Text(), markup);
}

TEST_F(WindowTest, LinkTextsSelectAllOnFocusAndOnCtrlA) {
    MainWindow& window = Window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // A block longer than 65,535 characters is still selected whole.
    Ctl(u"Text_AllLinkCode"_s).SetText(u"http://127.0.0.1:8765/download?id=A1B2\r\n"_s.repeated(1800));
    auto* edit = qobject_cast<QPlainTextEdit*>(Ctl(u"Text_AllLinkCode"_s).Widget());
    auto selected = [edit] { return edit->textCursor().selectedText().size(); };
    const qsizetype whole = edit->document()->characterCount() - 1;
    edit->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(selected(), whole);
    edit->moveCursor(QTextCursor::Start);
    EXPECT_EQ(selected(), 0);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), whole);
    // The address box selects nothing on focus, all on Ctrl+A.
    auto* address = qobject_cast<QLineEdit*>(Ctl(u"Text_URL"_s).Widget());
    QTest::keyClicks(address, u"http://x/?cid=1"_s);
    address->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(address->hasSelectedText());
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(address->selectedText(), u"http://x/?cid=1"_s);
}

class LayoutTest : public AppTest {
protected:
    // Resizes the window and waits until the window has the size.
    static void Resize(MainWindow& window, int width, int height) {
        window.resize(width, height);
        QTRY_COMPARE(window.size(), QSize(width, height));
    }
    // Checks figures written as "Control.Property value, ...".
    static void ExpectFigures(const MainWindow& window, const QString& figures) {
        for (const QString& figure : figures.split(u',', Qt::SkipEmptyParts)) {
            const QStringList parts = figure.simplified().split(u' ');
            const QStringList target = parts.value(0).split(u'.');
            EXPECT_EQ(window.Ctl(target.value(0)).Property(target.value(1)), parts.value(1))
                << figure.toStdString();
        }
    }
};

TEST_F(LayoutTest, DesignClientAreaGivesTheWorkedFigures) {
    MainWindow& window = Window();
    Resize(window, 842, 425);
    ExpectFigures(
        window,
        u"Command_ListUp.Left 814, Command_ListDown.Left 814, List_CodeList.Left 581,"
        u"Label_CodeList.Left 581, Label_CodeList.Width 233, Command_AddToList.Left 581,"
        u"Command_DelToList.Left 609, Text_AllLinkCode.Left 561, Label_AllLinkCode.Left 561,"
        u"Text_AllLinkCode.Height 248, Command_Exit.Left 761, Command_NewWindow.Left 656,"
        u"Command_Updata.Left 567, Command_Exit.Top 392, Command_NewWindow.Top 392,"
        u"Command_Updata.Top 392, Command_Get.Left 492, Command_GetFromFile.Left 492,"
        u"Command_GetFromURL.Left 395, Command_CreatLinkList.Left 492, Text_URL.Width 476,"
        u"Label_URL.Width 476, Text_CodeFormat.Width 476, Label_CodeFormat.Width 476,"
        u"Picture_LinkList_Out.Width 545, Label_LinkList.Width 545, Picture_LinkList_Out.Height 289,"
        u"Picture_LinkList_Out.ScaleHeight 287, VScroll_LinkList.Left 526, VScroll_LinkList.Height 287,"
        u"Picture_LinkList_In.Width 526, Picture_LinkList_In.Height 287, Picture_LinkList_In.Top 0,"
        u"VScroll_LinkList.Enabled False"_s);
    // The widgets show the figures.
    EXPECT_EQ(window.Ctl(u"Command_Exit"_s).Widget()->geometry(), QRect(761, 392, 73, 25));
    EXPECT_EQ(window.Ctl(u"Picture_LinkList_Out"_s).Widget()->geometry(), QRect(8, 128, 545, 289));
    EXPECT_EQ(window.Ctl(u"VScroll_LinkList"_s).Widget()->geometry(), QRect(526, 0, 17, 287));
}

TEST_F(LayoutTest, WideBottomButtonsATinyWindowAndTheRowDistance) {
    WriteSettings(u"<Soft><Config ListDistance=\"0\"/><Window><Form_Main><Command_NewWindow Width=\"110\" "
                  u"Height=\"30\"/></Form_Main></Window></Soft>"_s);
    ASSERT_TRUE(Restart());
    MainWindow& window = Window();
    Resize(window, 842, 425);
    // The taller button fills the strip, the others stand centred in it (halves kept).
    ExpectFigures(window,
                  u"Command_NewWindow.Left 635, Command_NewWindow.Top 387, Command_Exit.Top 389.5,"
                  u"Command_Updata.Left 546, Text_AllLinkCode.Height 243, Picture_LinkList_Out.Height 251"_s);
    EXPECT_EQ(window.Ctl(u"Command_Exit"_s).Widget()->y(), 390); // 389.5 to the even neighbour

    // A tiny window holds sizes at zero, and a listing in it still fills, its
    // rows 61 high and ListDistance apart.
    Resize(window, 120, 90);
    ExpectFigures(window,
                  u"Text_AllLinkCode.Height 0, Picture_LinkList_Out.Height 0, Picture_LinkList_Out.Width 0,"
                  u"Text_URL.Width 0, Command_ListUp.Left 92, List_CodeList.Left -141"_s);
    window.CreateLinkRows(3);
    EXPECT_EQ(window.RowPitch(), 61);
    EXPECT_EQ(window.Label_Link(3).Top(), 8 + 2 * 61);
    EXPECT_TRUE(window.RowsWithWidgets().isEmpty());
}

TEST_F(LayoutTest, ScrollingMovesThePaneByTheHiddenPart) {
    MainWindow& window = Window();
    Resize(window, 842, 338); // a frame with an inner height of 200
    ASSERT_EQ(window.Ctl(u"Picture_LinkList_Out"_s).ScaleHeight(), 200);
    window.CreateLinkRows(5);
    ExpectFigures(window,
                  u"Picture_LinkList_In.Height 363, VScroll_LinkList.Enabled True, VScroll_LinkList.Max 1000,"
                  u"VScroll_LinkList.LargeChange 860, VScroll_LinkList.SmallChange 86"_s);
    EXPECT_EQ(window.Label_Link(2).Top(), 79);
    EXPECT_EQ(window.Text_Link(2).Top(), 95);
    EXPECT_EQ(window.Label_LinkWarn(5).Top(), 52 + 4 * 71);
    EXPECT_EQ(window.Command_Link_AllValue(1).Left(), 526 - 25);
    EXPECT_EQ(window.Text_Link(1).Width(), 501);

    const Control& pane = window.Ctl(u"Picture_LinkList_In"_s);
    auto* bar = qobject_cast<QScrollBar*>(window.Ctl(u"VScroll_LinkList"_s).Widget());
    bar->setValue(500);
    EXPECT_EQ(pane.Top(), -81.5);
    bar->setValue(1000);
    EXPECT_EQ(pane.Top(), -163);
    EXPECT_EQ(window.RowsWithWidgets().last(), 5);

    // A re-layout keeps the scroll position; rows that fit give a pane as high as the frame.
    Resize(window, 900, 338);
    EXPECT_EQ(bar->value(), 1000);
    EXPECT_EQ(pane.Top(), -163);
    window.ClearLinkRows();
    window.CreateLinkRows(2);
    EXPECT_EQ(pane.Height(), 200);
    EXPECT_EQ(pane.Top(), 0);
    EXPECT_FALSE(bar->isEnabled());
}

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
    QTRY_COMPARE_WITH_TIMEOUT(server.RequestCount(), 1, 3000);
    QTRY_VERIFY(!timer.Enabled());
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
