// The template list: choosing, the four buttons, the settings file, several windows.

#include "app_support.h"

#include <QLineEdit>
#include <QListWidget>

using namespace apptest;

namespace {

class TemplateListTest : public AppTest {
protected:
    // Restarts on a settings file holding `templates` (name, format, ...).
    void Saved(const QStringList& templates) {
        QString xml = u"<Soft><TemplateList>"_s;
        for (qsizetype i = 0; i + 1 < templates.size(); i += 2) {
            xml += u"<Template name=\"%1\">%2</Template>"_s.arg(templates[i], templates[i + 1]);
        }
        ASSERT_TRUE(RestartWith(xml + u"</TemplateList></Soft>"_s));
    }
    QListWidget* List(int slot = 0) const {
        return qobject_cast<QListWidget*>(Ctl(u"List_CodeList"_s, slot).Widget());
    }
    QString Format(int slot = 0) const { return Ctl(u"Text_CodeFormat"_s, slot).Text(); }
    void ClickEntry(int row, int slot = 0) const {
        ASSERT_NE(List(slot)->item(row), nullptr);
        QTest::mouseClick(List(slot)->viewport(), Qt::LeftButton, {},
                          List(slot)->visualItemRect(List(slot)->item(row)).center());
    }
    // The entries, separated by blanks.
    QString Entries(int slot = 0) const {
        QStringList names;
        for (int i = 0; i < List(slot)->count(); ++i) {
            names.append(List(slot)->item(i)->text());
        }
        return names.join(u' ');
    }
    void Add(const QString& format, const QString& name) {
        TypeInto(u"Text_CodeFormat"_s, format);
        dialogs.answerInput(name);
        Press(u"Command_AddToList"_s);
    }
    // Presses -, up and down; with no entry chosen they change nothing.
    void PressDelUpDown() {
        for (const QString& button : {u"Command_DelToList"_s, u"Command_ListUp"_s, u"Command_ListDown"_s}) {
            Press(button);
        }
    }
};

TEST_F(TemplateListTest, CommandsAreSavedAcrossARestart) {
    Saved({u"one"_s, u"1:%t(name)"_s, u"two"_s, u"2:%t(name)"_s, u"three"_s, u"3:%t(name)"_s});
    // Added under the name asked for; a cancelled name, or one of blanks only, adds nothing.
    const QString markup = u"<a href=\"%t(urls.download)\" title='x & y'>%t(name)</a>"_s;
    Add(markup, u"mine"_s);
    Press(u"Command_AddToList"_s);
    Add(markup, u"\t \u3000"_s);
    EXPECT_EQ(Entries(), u"one two three mine"_s);
    EXPECT_EQ(Format(), markup);
    // A moved entry stays chosen; up on the first moves nothing but chooses it again.
    ClickEntry(1);
    Press(u"Command_ListDown"_s);
    EXPECT_EQ(Entries(), u"one three two mine"_s);
    EXPECT_EQ(List()->currentRow(), 2);
    Press(u"Command_ListUp"_s);
    Press(u"Command_ListUp"_s);
    TypeInto(u"Text_CodeFormat"_s, u"edited"_s);
    Press(u"Command_ListUp"_s);
    EXPECT_EQ(Entries(), u"two one three mine"_s);
    EXPECT_EQ(Format(), u"2:%t(name)"_s);
    ClickEntry(2);
    Press(u"Command_DelToList"_s);
    PressDelUpDown();
    EXPECT_EQ(Entries(), u"two one mine"_s);
    Window().close();
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Entries(), u"two one mine"_s);
    ClickEntry(2);
    EXPECT_EQ(Format(), markup);
}

// Regression: tabbing into the list chose its first entry, which "-" then deleted.
TEST_F(TemplateListTest, FocusAloneChoosesNothing) {
    Saved({u"one"_s, u"f1"_s, u"two"_s, u"f2"_s, u"three"_s, u"f3"_s});
    Activate(Window());
    QListWidget* list = List();
    Add(u"f4"_s, u"four"_s);
    Ctl(u"Text_CodeFormat"_s).Widget()->setFocus(Qt::MouseFocusReason);
    TypeInto(u"Text_CodeFormat"_s, u"typed by hand"_s);
    for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != list; ++tabs) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), list);
    PressDelUpDown();
    EXPECT_EQ(Entries(), u"one two three four"_s);
    EXPECT_EQ(Format(), u"typed by hand"_s);
    // A key that moves the selection chooses an entry, and "-" then deletes it.
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(Format(), u"f4"_s);
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(Format(), u"f2"_s);
    Press(u"Command_DelToList"_s);
    Window().close();
    EXPECT_TRUE(SavedSettings().contains(u"<Template name=\"four\">f4</Template>"_s));
    EXPECT_FALSE(SavedSettings().contains(u"name=\"two\""_s));
}

TEST_F(TemplateListTest, WindowsSeeAnAddedEntryAtLoadOrAtTheirOwnCommand) {
    Saved({u"first"_s, u"f1"_s});
    Press(u"Command_NewWindow"_s); // opened before the adds
    // The same name twice is kept twice, in the order added.
    Add(u"fx"_s, u"same"_s);
    Add(u"fy"_s, u"same"_s);
    EXPECT_EQ(Entries(0), u"first same same"_s);
    ClickEntry(1, 0);
    EXPECT_EQ(Format(0), u"fx"_s);
    Press(u"Command_NewWindow"_s);
    EXPECT_EQ(Entries(2), u"first same same"_s);
    EXPECT_EQ(Entries(1), u"first"_s);
    // Up on its first entry moves nothing, but the command reloads the list.
    Press(u"Command_ListUp"_s, 1);
    EXPECT_EQ(Entries(1), u"first same same"_s);
    ClickEntry(2, 1);
    EXPECT_EQ(Format(1), u"fy"_s);
}

// Without templates the format box is as skinned; deleting the only entry leaves it.
TEST_F(TemplateListTest, NoSavedTemplatesLeaveTheFormatBoxAsSkinned) {
    ASSERT_TRUE(RestartWith(u"<Soft><TemplateList/><Window><Form_Main><Text_CodeFormat Text=\"%s(AppTitle): "
                            u"%t(name)\"/></Form_Main></Window></Soft>"_s));
    EXPECT_EQ(List()->count(), 0);
    EXPECT_EQ(Format(), u"Zandorel: %t(name)"_s);
    Add(u"%t(name)"_s, u"only"_s);
    ClickEntry(0);
    Press(u"Command_DelToList"_s);
    EXPECT_EQ(List()->count(), 0);
    EXPECT_EQ(Format(), u"%t(name)"_s);
    Add(u"f"_s, u"new"_s);
    EXPECT_EQ(Entries(), u"new"_s);
}

} // namespace
