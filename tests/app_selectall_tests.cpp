// Select-all in the text boxes: on getting the focus (the link texts and the
// combined block) and on Ctrl+A (every text box), never on Ctrl+Shift+A.

#include "app/codelistbox.h"
#include "app_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocumentFragment>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

using SelectAllTest = AppTest;

TEST_F(SelectAllTest, LinkTextsSelectAllOnFocusAndOnCtrlA) {
    Activate(Window());
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
}

// A click into the combined block or a link text, the button held as long
// as a hand holds it, selects the whole text, and Ctrl+C then copies it.
TEST_F(SelectAllTest, HandClickSelectsAllAndCtrlCCopiesIt) {
    MainWindow& window = Window();
    Activate(window);
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    auto* block = qobject_cast<QPlainTextEdit*>(Ctl(u"Text_AllLinkCode"_s).Widget());
    ASSERT_NE(block, nullptr);
    ASSERT_FALSE(block->toPlainText().isEmpty());
    auto* link = qobject_cast<QLineEdit*>(window.LinkList().RowWidget(u"Text_Link"_s, 2));
    ASSERT_NE(link, nullptr);
    auto* address = Ctl(u"Text_URL"_s).Widget();
    QClipboard* clipboard = QGuiApplication::clipboard();

    for (const int held : {0, 20, 90, 200}) {
        SCOPED_TRACE(held);
        for (QWidget* target : {block->viewport(), static_cast<QWidget*>(link)}) {
            SCOPED_TRACE(target->objectName().toStdString());
            // The focus starts elsewhere; the clipboard holds something older.
            QTest::mouseClick(address, Qt::LeftButton);
            ASSERT_TRUE(address->hasFocus());
            clipboard->setText(u"stale"_s);
            // Through the window, as the window system delivers a click: to
            // whatever stands at that point.
            const QPoint at = target->mapTo(&window, QPoint(target->width() / 3, target->height() / 4));
            QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, at, held);
            QTest::qWait(30); // a hand moves to the keys
            QWidget* box = target == link ? target : static_cast<QWidget*>(block);
            ASSERT_TRUE(box->hasFocus());
            const QString whole = target == link ? link->text() : block->toPlainText();
            const QString selected =
                target == link ? link->selectedText() : block->textCursor().selection().toPlainText();
            EXPECT_EQ(selected, whole);
            QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
            EXPECT_EQ(clipboard->text(), whole);
        }
    }
    // Once in the block, a second click places the caret as usual.
    QTest::mouseClick(address, Qt::LeftButton);
    QTest::mouseClick(block->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(block->textCursor().selection().toPlainText(), block->toPlainText());
    QTest::mouseClick(block->viewport(), Qt::LeftButton, {}, QPoint(5, 5), 300);
    EXPECT_FALSE(block->textCursor().hasSelection());
    // Tabbing into the block selects it whole too.
    QTest::mouseClick(address, Qt::LeftButton);
    block->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(block->textCursor().selection().toPlainText(), block->toPlainText());
}

// Ctrl+Shift+A is not Ctrl+A: no text box selects anything on it.
TEST_F(SelectAllTest, CtrlShiftASelectsNothing) {
    MainWindow& window = Window();
    Activate(window);
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
    Ctl(u"Text_URL"_s).SetText(u"http://127.0.0.1/?cid=1"_s);

    auto noSelection = [](QWidget* box) {
        if (auto* line = qobject_cast<QLineEdit*>(box)) {
            line->setCursorPosition(2);
            return;
        }
        auto* edit = qobject_cast<QPlainTextEdit*>(box);
        ASSERT_NE(edit, nullptr);
        edit->moveCursor(QTextCursor::Start);
    };
    auto selected = [](QWidget* box) {
        if (auto* line = qobject_cast<QLineEdit*>(box)) {
            return line->selectedText();
        }
        return qobject_cast<QPlainTextEdit*>(box)->textCursor().selectedText();
    };
    auto text = [](QWidget* box) {
        if (auto* line = qobject_cast<QLineEdit*>(box)) {
            return line->text();
        }
        return qobject_cast<QPlainTextEdit*>(box)->toPlainText();
    };
    for (QWidget* box :
         {Ctl(u"Text_URL"_s).Widget(), Ctl(u"Text_CodeFormat"_s).Widget(),
          Ctl(u"Text_AllLinkCode"_s).Widget(), window.LinkList().RowWidget(u"Text_Link"_s, 2)}) {
        SCOPED_TRACE(box->objectName().toStdString());
        box->setFocus(Qt::MouseFocusReason);
        if (box == Ctl(u"Text_URL"_s).Widget()) {
            EXPECT_EQ(selected(box), QString()); // the address box selects nothing on focus
        }
        noSelection(box);
        const QString before = text(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(selected(box), QString());
        EXPECT_EQ(text(box), before);
        // Ctrl+A alone selects the whole text.
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(selected(box).size(), before.size());
    }
    // The property viewer's text too.
    ViewRow(window, 1, [&](CodeListBox& viewer) {
        QWidget* box = viewer.Text_Code().Widget();
        noSelection(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(selected(box), QString());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        EXPECT_FALSE(selected(box).isEmpty());
        viewer.close();
    });
}

} // namespace
