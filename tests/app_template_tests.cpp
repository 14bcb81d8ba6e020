// The list of frequently used format templates: adding, deleting, moving,
// choosing, sharing between windows, and surviving a restart.

#include "app_support.h"

#include <QListWidget>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class TemplateTest : public AppTest {
protected:
    static QStringList Names(const MainWindow& window) {
        auto* list = qobject_cast<QListWidget*>(window.Ctl(QStringLiteral("List_CodeList")).Widget());
        QStringList names;
        for (int i = 0; i < list->count(); ++i) {
            names.append(list->item(i)->text());
        }
        return names;
    }
    static int Selected(const MainWindow& window) {
        return qobject_cast<QListWidget*>(window.Ctl(QStringLiteral("List_CodeList")).Widget())->currentRow();
    }
    static void Choose(const MainWindow& window, int index) {
        auto* list = qobject_cast<QListWidget*>(window.Ctl(QStringLiteral("List_CodeList")).Widget());
        list->setCurrentRow(index);
    }
    static QString Format(const MainWindow& window) {
        return window.Ctl(QStringLiteral("Text_CodeFormat")).Text();
    }
    void Press(const MainWindow& window, const char* button) {
        Click(window.Ctl(QString::fromLatin1(button)));
    }

    void UseTemplates(const QString& templates) {
        WriteSettings(QStringLiteral("<Soft><TemplateList>") + templates +
                      QStringLiteral("</TemplateList></Soft>"));
        ASSERT_TRUE(Restart());
    }
};

const QString threeTemplates = QStringLiteral("<Template name=\"one\">1:%t(name)</Template>"
                                              "<Template name=\"two\">2:%t(name)</Template>"
                                              "<Template name=\"three\">3:%t(name)</Template>");

TEST_F(TemplateTest, AddedTemplateSurvivesARestart) {
    MainWindow& window = Window(0);
    const QString markup = QStringLiteral("<a href=\"%t(urls.download)\" title='x & y'>%t(name)</a>");
    window.Ctl(QStringLiteral("Text_CodeFormat")).SetText(markup);
    dialogs.answerInput(QStringLiteral("Mine"));
    Press(window, "Command_AddToList");
    const auto inputs = dialogs.calls(ScriptedDialogs::Kind::Input);
    ASSERT_EQ(inputs.size(), 1);
    EXPECT_EQ(inputs[0].text, QString::fromUtf16(u"将当前代码格式添加到常用代码，请输入代码名称"));
    EXPECT_EQ(inputs[0].title, QString::fromUtf16(u"输入名称"));
    EXPECT_EQ(Names(window).size(), 6);
    EXPECT_EQ(Names(window).last(), QStringLiteral("Mine"));
    EXPECT_EQ(Selected(window), -1);
    EXPECT_EQ(Format(window), markup);

    // A cancelled name adds nothing; a repeated name is kept.
    Press(window, "Command_AddToList");
    dialogs.answerInput(QStringLiteral("Mine"));
    Press(window, "Command_AddToList");
    EXPECT_EQ(Names(window).size(), 7);

    window.close();
    ASSERT_TRUE(Restart());
    MainWindow& again = Window(0);
    EXPECT_EQ(Names(again).mid(5), (QStringList{QStringLiteral("Mine"), QStringLiteral("Mine")}));
    Choose(again, 5);
    EXPECT_EQ(Format(again), markup);
    EXPECT_EQ(Selected(again), 5);
}

TEST_F(TemplateTest, MovingUpAndDownKeepsTheMovedEntryChosen) {
    UseTemplates(threeTemplates);
    MainWindow& window = Window(0);
    EXPECT_EQ(Selected(window), 0);
    EXPECT_EQ(Format(window), QStringLiteral("1:%t(name)"));

    Choose(window, 1);
    Press(window, "Command_ListDown");
    EXPECT_EQ(Names(window),
              (QStringList{QStringLiteral("one"), QStringLiteral("three"), QStringLiteral("two")}));
    EXPECT_EQ(Selected(window), 2);
    EXPECT_EQ(Format(window), QStringLiteral("2:%t(name)"));

    // Down on the last entry moves nothing, but chooses it again.
    window.Ctl(QStringLiteral("Text_CodeFormat")).SetText(QStringLiteral("edited"));
    Press(window, "Command_ListDown");
    EXPECT_EQ(Selected(window), 2);
    EXPECT_EQ(Format(window), QStringLiteral("2:%t(name)"));

    Press(window, "Command_ListUp");
    Press(window, "Command_ListUp");
    EXPECT_EQ(Names(window),
              (QStringList{QStringLiteral("two"), QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(Selected(window), 0);
    // Up on the first entry: nothing moves, the entry's format replaces the edit.
    window.Ctl(QStringLiteral("Text_CodeFormat")).SetText(QStringLiteral("edited"));
    Press(window, "Command_ListUp");
    EXPECT_EQ(Names(window).first(), QStringLiteral("two"));
    EXPECT_EQ(Format(window), QStringLiteral("2:%t(name)"));

    window.close();
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Names(Window(0)),
              (QStringList{QStringLiteral("two"), QStringLiteral("one"), QStringLiteral("three")}));
}

TEST_F(TemplateTest, DeletingAndCommandsWithoutAChoice) {
    UseTemplates(QStringLiteral("<Template name=\"only\">%t(name)!</Template>"));
    MainWindow& window = Window(0);
    Press(window, "Command_DelToList");
    EXPECT_TRUE(Names(window).isEmpty());
    EXPECT_EQ(Format(window), QStringLiteral("%t(name)!"));
    // Nothing chosen: delete and the moves change nothing.
    for (const char* button : {"Command_DelToList", "Command_ListUp", "Command_ListDown"}) {
        Press(window, button);
    }
    EXPECT_TRUE(Names(window).isEmpty());
    EXPECT_EQ(Selected(window), -1);
}

TEST_F(TemplateTest, WindowsShareTheTableButRefreshTheirListsThemselves) {
    WriteSettings(QStringLiteral("<Soft><Config/></Soft>")); // no TemplateList at all
    ASSERT_TRUE(Restart());
    MainWindow& older = Window(0);
    EXPECT_TRUE(Names(older).isEmpty());
    EXPECT_EQ(Format(older), QString());
    Click(older.Ctl(QStringLiteral("Command_NewWindow")));
    MainWindow& other = Window(1);

    other.Ctl(QStringLiteral("Text_CodeFormat")).SetText(QStringLiteral("[%t(name)]"));
    dialogs.answerInput(QStringLiteral("brackets"));
    Press(other, "Command_AddToList");
    EXPECT_EQ(Names(other), QStringList{QStringLiteral("brackets")});
    EXPECT_TRUE(Names(older).isEmpty());

    Click(other.Ctl(QStringLiteral("Command_NewWindow")));
    EXPECT_EQ(Names(Window(2)), QStringList{QStringLiteral("brackets")});
    EXPECT_EQ(Format(Window(2)), QStringLiteral("[%t(name)]"));
    Press(older, "Command_ListUp");
    EXPECT_EQ(Names(older), QStringList{QStringLiteral("brackets")});
}

} // namespace
