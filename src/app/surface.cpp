#include "app/surface.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace zandorel::app {

SurfacePainter::SurfacePainter(QWidget* widget, std::function<void(QPainter&)> paint)
    : QObject(widget), widget_(widget), paint_(std::move(paint)) {
    widget_->installEventFilter(this);
}

bool SurfacePainter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && event->type() == QEvent::Paint) {
        QPainter painter(widget_);
        paint_(painter);
    }
    return false;
}

void PaintPictures(QPainter& painter, QPoint origin, const QImage& picture, const QImage& surface,
                   QPointF scaleOrigin) {
    if (!picture.isNull()) {
        painter.drawImage(origin, picture);
    }
    if (!surface.isNull()) {
        painter.drawImage(QPointF(origin) - scaleOrigin, surface);
    }
}

WindowSurface::WindowSurface(QWidget& window) : QObject(&window), window_(window) {
    setObjectName(QStringLiteral("WindowSurface"));
    new SurfacePainter(&window_, [this](QPainter& painter) {
        PaintPictures(painter, QPoint(0, 0), picture_, surface_, scaleOrigin_);
    });
}

WindowSurface& WindowSurface::Of(QWidget& window) {
    if (auto* existing =
            window.findChild<WindowSurface*>(QStringLiteral("WindowSurface"), Qt::FindDirectChildrenOnly)) {
        return *existing;
    }
    return *new WindowSurface(window);
}

void WindowSurface::SetPicture(const QImage& picture) {
    picture_ = picture;
    window_.update();
}

QImage& WindowSurface::Surface() {
    if (surface_.isNull()) {
        surface_ = QImage(window_.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        surface_.fill(Qt::transparent);
    }
    window_.update();
    return surface_;
}

void WindowSurface::Cls() {
    surface_ = QImage();
    window_.update();
}

void WindowSurface::SetScaleLeft(double left) {
    scaleOrigin_.setX(left);
    window_.update();
}

void WindowSurface::SetScaleTop(double top) {
    scaleOrigin_.setY(top);
    window_.update();
}

} // namespace zandorel::app
