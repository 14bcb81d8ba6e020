#include "app/windowgeometry.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace zandorel::app {
namespace {

// How often a shown window is asked for its frame, and for how long.
constexpr int framePollMs = 20;
constexpr qint64 frameWaitMs = 5000;

QSize& lastFrame() {
    static QSize frame(0, 0);
    return frame;
}

// The window's own frame, once the window system has put it on.
std::optional<QSize> ownFrame(const QWidget& window) {
    if (!window.isWindow() || !window.isVisible()) {
        return std::nullopt;
    }
    const QSize frame = window.frameGeometry().size() - window.size();
    if (frame.width() <= 0 && frame.height() <= 0) {
        return std::nullopt;
    }
    lastFrame() = frame;
    return frame;
}

void fitNow(QWidget& window, QSize frame);

// Waits for a window's frame and then applies what could only be estimated
// without it: the wanted outer size, and the fit to the screen.
class FrameWatch : public QObject {
public:
    static FrameWatch* Find(QWidget& window) {
        for (QObject* child : window.children()) {
            if (auto* watch = dynamic_cast<FrameWatch*>(child)) {
                return watch;
            }
        }
        return nullptr;
    }
    static FrameWatch& Of(QWidget& window) {
        FrameWatch* watch = Find(window);
        return watch ? *watch : *new FrameWatch(window);
    }

    void want(std::optional<int> width, std::optional<int> height) {
        width_ = width ? width : width_;
        height_ = height ? height : height_;
        applied_ = window_.size();
    }
    void fitLater() {
        fit_ = true;
        applied_ = window_.size();
    }
    // The window was given this size on purpose; any other size it has later
    // was chosen by someone else, whose choice stands.
    void resized() { applied_ = window_.size(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == &window_ && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)) {
            check();
        }
        return false;
    }

private:
    explicit FrameWatch(QWidget& window) : QObject(&window), window_(window) {
        window_.installEventFilter(this);
        poll_.setInterval(framePollMs);
        connect(&poll_, &QTimer::timeout, this, [this] { check(); });
    }

    void check() {
        if (done_ || !window_.isVisible()) {
            return;
        }
        if (!shown_.isValid()) {
            shown_.start();
            poll_.start();
        }
        const std::optional<QSize> frame = ownFrame(window_);
        if (!frame) {
            if (shown_.elapsed() > frameWaitMs) {
                finish(); // no frame is coming
            }
            return;
        }
        finish();
        if ((width_ || height_) && window_.size() == applied_) {
            window_.resize(QSize(width_ ? *width_ - frame->width() : window_.width(),
                                 height_ ? *height_ - frame->height() : window_.height())
                               .expandedTo(QSize(1, 1)));
        }
        if (fit_) {
            fitNow(window_, *frame);
        }
    }

    void finish() {
        done_ = true;
        poll_.stop();
        window_.removeEventFilter(this);
        deleteLater();
    }

    QWidget& window_;
    std::optional<int> width_;
    std::optional<int> height_;
    bool fit_ = false;
    bool done_ = false;
    QSize applied_;
    QTimer poll_;
    QElapsedTimer shown_;
};

// A size the program gave a window to fit the screen is not its user's:
// the window remembers the outer size it had before, and the size it was
// given, until someone else resizes it.
const char* const fittedFrom = "zandorelFittedFrom";
const char* const fittedTo = "zandorelFittedTo";

bool hasFittedSize(const QWidget& window) {
    const QVariant to = window.property(fittedTo);
    return to.isValid() && to.toSize() == window.size();
}

void fitNow(QWidget& window, QSize frame) {
    const QScreen* screen = window.screen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize outer = window.size() + frame;
    const QSize fitted = outer.boundedTo(area.size());
    if (fitted != outer) {
        if (!hasFittedSize(window)) {
            window.setProperty(fittedFrom, outer);
        }
        window.resize((fitted - frame).expandedTo(QSize(1, 1)));
        window.setProperty(fittedTo, window.size());
        if (FrameWatch* watch = FrameWatch::Find(window)) {
            watch->resized();
        }
    }
    // A window the window system places itself is left to it.
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Moved)) {
        return;
    }
    const QPoint at = window.pos();
    const QPoint onScreen(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - fitted.width())),
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - fitted.height())));
    if (onScreen != at) {
        window.move(onScreen);
    }
}

} // namespace

QSize FrameExtra(const QWidget& window) {
    if (const std::optional<QSize> frame = ownFrame(window)) {
        return *frame;
    }
    return lastFrame();
}

QSize OuterSize(const QWidget& window) {
    return window.size() + FrameExtra(window);
}

QSize SizeToSave(const QWidget& window) {
    if (hasFittedSize(window)) {
        const QSize before = window.property(fittedFrom).toSize();
        if (before.isValid()) {
            return before;
        }
    }
    return OuterSize(window);
}

void SetOuterSize(QWidget& window, std::optional<int> width, std::optional<int> height) {
    const QSize frame = FrameExtra(window);
    window.resize(QSize(width ? *width - frame.width() : window.width(),
                        height ? *height - frame.height() : window.height())
                      .expandedTo(QSize(1, 1)));
    if (!ownFrame(window)) {
        FrameWatch::Of(window).want(width, height);
    } else if (FrameWatch* watch = FrameWatch::Find(window)) {
        watch->resized();
    }
}

void FitOnScreen(QWidget& window) {
    fitNow(window, FrameExtra(window));
    if (!ownFrame(window)) {
        FrameWatch::Of(window).fitLater();
    }
}

} // namespace zandorel::app
