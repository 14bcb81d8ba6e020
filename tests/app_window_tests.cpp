// Start, numbered window instances, the end of the program with its one
// save, the test commands, the tab order and the select-all behaviour.

#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

using WindowTest = AppTest;
using Kind = ScriptedDialogs::Kind;

QString savedAttribute(const QString& document, const QString& path, const QString& attribute) {
    pugi::xml_document doc;
    if (!LoadXmlText(doc, document)) {
        return QStringLiteral("(not XML)");
    }
    return ReadAttribute(doc, path, attribute, QStringLiteral("(missing)"));
}

TEST_F(WindowTest, StartOpensWindowZeroWithTheExpandedCaption) {
    ASSERT_EQ(program->OpenWindowCount(), 1);
    const MainWindow& window = Window(0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QString::fromUtf16(u"Zandorel V1.0.3 窗口0"));
    EXPECT_EQ(window.size(), QSize(842, 425));
    EXPECT_TRUE(dialogs.calls().isEmpty());

    // The caption template comes from the settings, its default when the attribute is missing.
    WriteSettings(QStringLiteral("<Soft><Window><Form_Main Caption=\"[%s(AppTitle)] #\"/></Window></Soft>"));
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Window(0).windowTitle(), QStringLiteral("[Zandorel] #0"));
    WriteSettings(QStringLiteral("<Soft/>"));
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Window(0).windowTitle(), QString::fromUtf16(u"Zandorel V1.0.3 窗口0"));
}

TEST_F(WindowTest, UnusableSettingsEndTheStartWithTheTwoLanguageMessage) {
    struct Case {
        const char* name;
        const char* content; // null: no file at all
    };
    const Case cases[] = {
        {"missing file", nullptr},
        {"not well-formed", "<Soft><Config></Soft>"},
        {"no document element", "<?xml version=\"1.0\"?><!-- nothing -->"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(configPath);
        if (c.content) {
            WriteSettings(QString::fromUtf8(c.content));
        }
        EXPECT_FALSE(Restart());
        EXPECT_EQ(program->OpenWindowCount(), 0);
        EXPECT_TRUE(program->OpenWindows().isEmpty());
        const auto messages = Messages();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].title, QStringLiteral("Zandorel"));
        EXPECT_EQ(messages[0].icon, Dialogs::Icon::Critical);
        EXPECT_TRUE(messages[0].text.startsWith(
            QString::fromUtf16(u"加载XML设置文件失败，请检查 ZandorelConfig.xml 是否配置正确\r\n"
                               u"Load XML config error,please check ZandorelConfig.xml\r\n")))
            << messages[0].text.toStdString();
        // Nothing was written: the broken file is left for the user to mend.
        EXPECT_EQ(QFile::exists(configPath), c.content != nullptr);
        if (c.content) {
            EXPECT_EQ(SavedSettings(), QString::fromUtf8(c.content));
        }
    }
}

TEST_F(WindowTest, WindowsKeepTheirSlotNumbersAndTheLastCloseSavesOnce) {
    const QString before = SavedSettings();
    Click(Window(0).Ctl(QStringLiteral("Command_NewWindow")));
    Click(Window(1).Ctl(QStringLiteral("Command_NewWindow")));
    ASSERT_EQ(program->OpenWindowCount(), 3);
    Window(1).close();
    Click(Window(2).Ctl(QStringLiteral("Command_NewWindow")));
    EXPECT_EQ(program->SlotCount(), 5);
    EXPECT_EQ(program->Window(1), nullptr);
    for (int slot : {0, 2, 3}) {
        EXPECT_TRUE(Window(slot).windowTitle().endsWith(QString::fromUtf16(u"窗口") + QString::number(slot)));
    }
    FlushDeletes();

    // Closing in any order: only the last close saves and ends.
    Click(Window(3).Ctl(QStringLiteral("Command_Exit")));
    Window(0).close();
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    MainWindow& last = Window(2);
    last.resize(900, 500);
    const QSize outer = last.frameGeometry().size();
    last.close();
    EXPECT_TRUE(program->Ended());
    EXPECT_EQ(program->OpenWindowCount(), 0);
    const QString saved = SavedSettings();
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, QStringLiteral("Width")), QString::number(outer.width()));
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, QStringLiteral("Height")),
              QString::number(outer.height()));
    // The templates and comments of the shipped file survive the save.
    EXPECT_TRUE(saved.contains(QStringLiteral("<!--")));
    EXPECT_EQ(savedAttribute(saved, keys::Template, QStringLiteral("name")),
              QString::fromUtf16(u"HTML 链接"));
    EXPECT_TRUE(Messages().isEmpty());
    FlushDeletes();
    EXPECT_TRUE(program->OpenWindows().isEmpty());

    // Sizes written on unload are applied at the next start.
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Window(0).frameGeometry().size(), outer);
}

TEST_F(WindowTest, ASettingsFileWithoutAWindowSectionGetsOneAtTheEnd) {
    // Writes to elements the file lacks create them.
    WriteSettings(QStringLiteral("<Soft><Config ListDistance=\"10\"/></Soft>"));
    ASSERT_TRUE(Restart());
    const QSize outer = Window(0).frameGeometry().size();
    Window(0).close();
    const QString saved = SavedSettings();
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, QStringLiteral("Width")), QString::number(outer.width()));
    EXPECT_EQ(savedAttribute(saved, keys::FormMain, QStringLiteral("Height")),
              QString::number(outer.height()));
    EXPECT_EQ(savedAttribute(saved, keys::Config, QStringLiteral("ListDistance")), QStringLiteral("10"));
}

TEST_F(WindowTest, ASaveThatFailsIsToldToTheUser) {
    const QString sub = folder.filePath(QStringLiteral("gone"));
    ASSERT_TRUE(QDir().mkpath(sub));
    configPath = sub + QStringLiteral("/ZandorelConfig.xml");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath));
    ASSERT_TRUE(Restart());
    const pugi::xml_node settings = SettingsStore::Instance().Root();
    RemoveElement(settings, keys::Config, QStringLiteral("SaveConfig_Error"), 0);
    ASSERT_TRUE(AppendElement(settings, keys::Config, QStringLiteral("SaveConfig_Error"),
                              QStringLiteral("<b>%s(AppTitle)</b> could not write its settings")));
    SetSetting(keys::SaveConfigError, QStringLiteral("Title"), QStringLiteral("%s(AppTitle): not saved"));
    ASSERT_TRUE(QDir(sub).removeRecursively());

    Window(0).close();
    EXPECT_TRUE(program->Ended());
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("<b>Zandorel</b> could not write its settings"));
    EXPECT_EQ(messages[0].title, QStringLiteral("Zandorel: not saved"));
    EXPECT_EQ(messages[0].icon, Dialogs::Icon::Critical);
}

TEST_F(WindowTest, TestCommandsAreShownOnlyInADevelopmentRun) {
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Window(0).Ctl(QString::fromLatin1(name)).Visible(), DevelopmentRun());
        EXPECT_EQ(Window(0).Ctl(QString::fromLatin1(name)).Widget()->isVisible(), DevelopmentRun());
    }
    for (bool shown : {true, false}) {
        program->SetShowsTestCommands(shown);
        MainWindow* window = program->OpenMainWindow();
        EXPECT_EQ(window->Ctl(QStringLiteral("Command3")).Widget()->isVisible(), shown);
    }
}

TEST_F(WindowTest, TabVisitsTheControlsInDesignOrder) {
    program->SetShowsTestCommands(false);
    MainWindow& window = *program->OpenMainWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.Ctl(QStringLiteral("Text_URL")).Widget()->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < 16; ++i) {
        visited.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const QStringList expected = {
        QStringLiteral("Text_URL"),
        QStringLiteral("Command_Get"),
        QStringLiteral("Command_Exit"),
        QStringLiteral("Command_Updata"),
        QStringLiteral("Text_CodeFormat"),
        QStringLiteral("Command_NewWindow"),
        QStringLiteral("List_CodeList"),
        QStringLiteral("Text_AllLinkCode"),
        QStringLiteral("Command_AddToList"),
        QStringLiteral("Command_DelToList"),
        QStringLiteral("Command_ListUp"),
        QStringLiteral("Command_ListDown"),
        QStringLiteral("Command_GetFromURL"),
        QStringLiteral("Command_GetFromFile"),
        QStringLiteral("Command_CreatLinkList"),
        QStringLiteral("Text_URL"),
    };
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, LinkTextsSelectAllOnFocusAndOnCtrlA) {
    MainWindow& window = Window(0);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // A block longer than 65,535 characters is still selected whole.
    QString block;
    for (int i = 0; block.size() <= 70000; ++i) {
        block += QStringLiteral("http://127.0.0.1:8765/download?id=A1B2!%1\r\n").arg(i);
    }
    Control& all = window.Ctl(QStringLiteral("Text_AllLinkCode"));
    all.SetText(block);
    auto* edit = qobject_cast<QPlainTextEdit*>(all.Widget());
    auto selected = [edit] { return edit->textCursor().selectedText().size(); };
    const qsizetype whole = edit->document()->characterCount() - 1;

    edit->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(selected(), whole);
    edit->moveCursor(QTextCursor::Start);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(selected(), 0);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(selected(), 0);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), whole);

    // The address box selects nothing on focus, all on Ctrl+A.
    auto* address = qobject_cast<QLineEdit*>(window.Ctl(QStringLiteral("Text_URL")).Widget());
    QTest::keyClicks(address, QStringLiteral("http://x/?cid=1"));
    address->clearFocus();
    address->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(address->hasSelectedText());
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(address->selectedText(), QStringLiteral("http://x/?cid=1"));
}

} // namespace
