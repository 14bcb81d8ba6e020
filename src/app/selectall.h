#pragma once
// Select-all for the text boxes: on getting the focus and on Ctrl+A
// released. The whole text is selected whatever its length.

#include <Qt>

class QWidget;

namespace zandorel::app {

// Selects the whole text of a QLineEdit or QPlainTextEdit.
void SelectAllText(QWidget* box);
// Selects all when `key` is A (65) or a (97) and Ctrl is the only modifier
// held; otherwise does nothing.
void SelectAllOnCtrlA(QWidget* box, int key, Qt::KeyboardModifiers modifiers);

// Connects a text box to the handlers: SelectAllOnCtrlA on every key
// release, and SelectAllText on getting the focus when `onFocus` is true.
void InstallSelectAll(QWidget* box, bool onFocus);

} // namespace zandorel::app
