// The list of frequently used templates in the window: choosing an entry,
// the four buttons, what reaches the settings file, and what several
// windows see of one list.

#include "app_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

using namespace zandorel;
using namespace zandorel::app;
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
        WriteSettings(xml + u"</TemplateList></Soft>"_s);
        ASSERT_TRUE(Restart());
    }
    QListWidget* List(int slot = 0) const {
        return qobject_cast<QListWidget*>(Ctl(u"List_CodeList"_s, slot).Widget());
    }
    QString Format(int slot = 0) const { return Ctl(u"Text_CodeFormat"_s, slot).Text(); }
    void Type(const QString& text) { TypeInto(u"Text_CodeFormat"_s, text); }
};

TEST_F(TemplateListTest, CommandsAreSavedAcrossARestart) {
    Saved({u"one"_s, u"1:%t(name)"_s, u"two"_s, u"2:%t(name)"_s, u"three"_s, u"3:%t(name)"_s});
    QListWidget* list = List();

    // Added under the name asked for; a cancelled name adds nothing.
    const QString markup = u"<a href=\"%t(urls.download)\" title='x & y'>%t(name)</a>"_s;
    Type(markup);
    dialogs.answerInput(u"mine"_s);
    Press(u"Command_AddToList"_s);
    Press(u"Command_AddToList"_s);
    // A name of blanks only is refused like an empty one.
    for (const QString& blank : {u" "_s, u"   "_s, u"\t \u3000"_s}) {
        dialogs.answerInput(blank);
        Press(u"Command_AddToList"_s);
    }
    EXPECT_EQ(list->count(), 4);
    EXPECT_EQ(Entries(list), u"one two three mine"_s);
    EXPECT_EQ(Format(), markup);

    // A moved entry stays chosen; up on the first moves nothing but chooses it again.
    ClickEntry(list, 1);
    Press(u"Command_ListDown"_s);
    EXPECT_EQ(Entries(list), u"one three two mine"_s);
    EXPECT_EQ(list->currentRow(), 2);
    Press(u"Command_ListUp"_s);
    Press(u"Command_ListUp"_s);
    Type(u"edited"_s);
    Press(u"Command_ListUp"_s);
    EXPECT_EQ(Entries(list), u"two one three mine"_s);
    EXPECT_EQ(Format(), u"2:%t(name)"_s);

    ClickEntry(list, 2);
    Press(u"Command_DelToList"_s);
    // Nothing chosen now: delete and the moves change nothing.
    for (const QString& button : {u"Command_DelToList"_s, u"Command_ListUp"_s, u"Command_ListDown"_s}) {
        Press(button);
    }
    EXPECT_EQ(Entries(list), u"two one mine"_s);

    Window().close();
    ASSERT_TRUE(Restart());
    list = List();
    EXPECT_EQ(Entries(list), u"two one mine"_s);
    ClickEntry(list, 2);
    EXPECT_EQ(Format(), markup);
}

// Regression: the entry a command worked on was the list's current row, which
// the list sets to its first entry as soon as it is tabbed into. Tabbing in
// after "+" put the first format over the typed one, and "-" then deleted the
// first entry, unasked.
TEST_F(TemplateListTest, FocusAloneChoosesNothing) {
    Saved({u"one"_s, u"f1"_s, u"two"_s, u"f2"_s, u"three"_s, u"f3"_s});
    MainWindow& window = Window();
    Activate(window);
    QListWidget* list = List();
    Type(u"f4"_s);
    dialogs.answerInput(u"four"_s);
    Press(u"Command_AddToList"_s);
    ASSERT_EQ(Entries(list), u"one two three four"_s);

    auto* box = qobject_cast<QLineEdit*>(Ctl(u"Text_CodeFormat"_s).Widget());
    box->setFocus(Qt::MouseFocusReason);
    Type(u"typed by hand"_s);
    for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != list; ++tabs) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(Format(), u"typed by hand"_s);
    for (const QString& button : {u"Command_DelToList"_s, u"Command_ListUp"_s, u"Command_ListDown"_s}) {
        Press(button);
    }
    EXPECT_EQ(Entries(list), u"one two three four"_s);
    EXPECT_EQ(Format(), u"typed by hand"_s);

    // A key that moves the selection chooses an entry, and "-" then deletes it.
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(Format(), u"f4"_s);
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(Format(), u"f1"_s);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(Format(), u"f2"_s);
    Press(u"Command_DelToList"_s);
    EXPECT_EQ(Entries(list), u"one three four"_s);
    Window().close();
    EXPECT_TRUE(SavedSettings().contains(u"<Template name=\"four\">f4</Template>"_s));
    EXPECT_FALSE(SavedSettings().contains(u"name=\"two\""_s));
}

TEST_F(TemplateListTest, DeletingTheOnlyEntryAndMovingTheLastDown) {
    Saved({u"only"_s, u"%t(name)"_s});
    Press(u"Command_DelToList"_s); // the first entry is chosen at load
    EXPECT_EQ(List()->count(), 0);
    EXPECT_EQ(Format(), u"%t(name)"_s);

    Saved({u"a"_s, u"fa"_s, u"b"_s, u"fb"_s, u"c"_s, u"fc"_s});
    ClickEntry(List(), 2);
    Type(u"edited"_s);
    Press(u"Command_ListDown"_s);
    EXPECT_EQ(Entries(List()), u"a b c"_s);
    EXPECT_EQ(List()->selectedItems().value(0), List()->item(2));
    EXPECT_EQ(Format(), u"fc"_s); // chosen again, over the edit
}

TEST_F(TemplateListTest, WindowsSeeAnAddedEntryAtLoadOrAtTheirOwnCommand) {
    Saved({u"first"_s, u"f1"_s});
    Press(u"Command_NewWindow"_s); // opened before the adds
    // The same name twice is kept twice, in the order added.
    Type(u"fx"_s);
    dialogs.answerInput(u"same"_s);
    Press(u"Command_AddToList"_s);
    Type(u"fy"_s);
    dialogs.answerInput(u"same"_s);
    Press(u"Command_AddToList"_s);
    EXPECT_EQ(Entries(List(0)), u"first same same"_s);
    ClickEntry(List(0), 1);
    EXPECT_EQ(Format(0), u"fx"_s);

    Press(u"Command_NewWindow"_s);
    EXPECT_EQ(Entries(List(2)), u"first same same"_s);
    EXPECT_EQ(Entries(List(1)), u"first"_s);
    // Up on its first entry moves nothing, but the command reloads the list.
    Press(u"Command_ListUp"_s, 1);
    EXPECT_EQ(Entries(List(1)), u"first same same"_s);
    ClickEntry(List(1), 2);
    EXPECT_EQ(Format(1), u"fy"_s);
}

TEST_F(TemplateListTest, NoSavedTemplatesLeaveTheFormatBoxAsDesignedOrSkinned) {
    const struct {
        QString settings;
        QString format;
    } cases[] = {
        {u"<Soft><Window/></Soft>"_s, QString()},
        {u"<Soft><TemplateList/><Window><Form_Main><Text_CodeFormat Text=\"%s(AppTitle): %t(name)\"/>"
         u"</Form_Main></Window></Soft>"_s,
         u"Zandorel: %t(name)"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        WriteSettings(c.settings);
        ASSERT_TRUE(Restart());
        EXPECT_EQ(List()->count(), 0);
        EXPECT_EQ(Format(), c.format);
        // The first add makes the list.
        dialogs.answerInput(u"new"_s);
        Press(u"Command_AddToList"_s);
        EXPECT_EQ(Entries(List()), u"new"_s);
    }
}

} // namespace
