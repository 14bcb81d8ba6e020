// Select-all in the text boxes: on focus, on Ctrl+A, never on Ctrl+Shift+A.

#include "app_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocumentFragment>

using namespace apptest;

namespace {

using SelectAllTest = AppTest;

QString selected(QWidget* box) {
    auto* line = qobject_cast<QLineEdit*>(box);
    return line ? line->selectedText() : qobject_cast<QPlainTextEdit*>(box)->textCursor().selectedText();
}

QString text(QWidget* box) {
    auto* line = qobject_cast<QLineEdit*>(box);
    return line ? line->text() : qobject_cast<QPlainTextEdit*>(box)->toPlainText();
}

void noSelection(QWidget* box) {
    if (auto* line = qobject_cast<QLineEdit*>(box)) {
        line->setCursorPosition(2);
    } else {
        qobject_cast<QPlainTextEdit*>(box)->moveCursor(QTextCursor::Start);
    }
}

// Focus selects link texts and the block (over 65,535 characters too) whole, as does a click.
TEST_F(SelectAllTest, FocusClickAndCtrlASelectAllButCtrlShiftADoesNot) {
    MainWindow& window = Window();
    Activate(window);
    LoadSavedPage(u"app_folder.html"_s);
    Ctl(u"Text_AllLinkCode"_s).SetText(u"http://127.0.0.1:8765/download?id=A1B2\r\n"_s.repeated(1800));
    Ctl(u"Text_URL"_s).SetText(u"http://127.0.0.1/?cid=1"_s);
    for (QWidget* box : {Ctl(u"Text_URL"_s).Widget(), Ctl(u"Text_CodeFormat"_s).Widget(),
                         Ctl(u"Text_AllLinkCode"_s).Widget(), Rows().RowWidget(u"Text_Link"_s, 2)}) {
        SCOPED_TRACE(box->objectName().toStdString());
        box->setFocus(Qt::MouseFocusReason);
        const bool onFocus = box->objectName() == u"Text_AllLinkCode" || box->objectName() == u"Text_Link_2";
        EXPECT_EQ(selected(box).size(), onFocus ? text(box).size() : 0);
        noSelection(box);
        const QString before = text(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(selected(box), QString());
        EXPECT_EQ(text(box), before);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(selected(box).size(), before.size());
    }
    // A hand's click into the block or a link text selects it whole; Ctrl+C copies it.
    auto* block = qobject_cast<QPlainTextEdit*>(Ctl(u"Text_AllLinkCode"_s).Widget());
    QWidget* link = Rows().RowWidget(u"Text_Link"_s, 2);
    QWidget* address = Ctl(u"Text_URL"_s).Widget();
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const int held : {0, 200}) {
        for (QWidget* target : {block->viewport(), link}) {
            SCOPED_TRACE(target->objectName().toStdString() + ' ' + std::to_string(held));
            // The focus starts elsewhere; the clipboard holds something older.
            QTest::mouseClick(address, Qt::LeftButton);
            ASSERT_TRUE(address->hasFocus());
            clipboard->setText(u"stale"_s);
            // Through the window, as the window system delivers a click.
            const QPoint at = target->mapTo(&window, QPoint(target->width() / 3, target->height() / 4));
            QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, at, held);
            QTest::qWait(30); // a hand moves to the keys
            QWidget* box = target == link ? link : block;
            ASSERT_TRUE(box->hasFocus());
            const QString whole = text(box);
            EXPECT_EQ(target == link ? selected(box) : block->textCursor().selection().toPlainText(), whole);
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

} // namespace
