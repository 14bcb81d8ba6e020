#pragma once
// The outer size of the program's top-level windows, frame included, as the
// settings keep it, and keeping windows on the screen.
//
// A window system frames a window some time after it is shown, and on X11
// often without telling the window. Until a window's own frame is known, the
// frame last measured on any window of the program stands in for it, and a
// wanted outer size (and the fit to the screen) is applied again once the
// window's own frame is known, unless the window was resized meanwhile.

#include <QSize>
#include <optional>

class QWidget;

namespace zandorel::app {

// The room the frame takes around the window: measured once the window is
// framed, else the last frame measured on a window of the program, else none.
QSize FrameExtra(const QWidget& window);

// The window's outer size: its size and its frame.
QSize OuterSize(const QWidget& window);

// The outer size to keep in the settings: the window's outer size, unless
// the window still has the size FitOnScreen gave it to fit a small or scaled
// screen; then the size it had before, which is its user's.
QSize SizeToSave(const QWidget& window);

// Gives a top-level window an outer width and/or height, and keeps them
// once the window system has put its frame on.
void SetOuterSize(QWidget& window, std::optional<int> width, std::optional<int> height);

// Reduces a window that is larger than the available area of its screen to
// fit it, and moves a window that reaches off that area fully onto it. A
// window that fits keeps its size exactly. Applied again when the frame
// becomes known.
void FitOnScreen(QWidget& window);

} // namespace zandorel::app
