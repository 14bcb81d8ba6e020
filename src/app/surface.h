#pragma once
// What windows and picture boxes draw under their controls: a picture at
// the top left (the Picture property) and a surface that keeps drawings
// until Cls. Both are painted again on every repaint.

#include <QImage>
#include <QObject>
#include <QPoint>
#include <functional>

class QPainter;
class QWidget;

namespace zandorel::app {

// Paints under a widget's own painting, on every paint event.
class SurfacePainter : public QObject {
public:
    // `paint` draws in the widget's coordinates.
    SurfacePainter(QWidget* widget, std::function<void(QPainter&)> paint);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget_;
    std::function<void(QPainter&)> paint_;
};

// Draws `picture` with its top left at `origin`, then `surface` moved left
// and up by the drawing coordinates' own origin (ScaleLeft, ScaleTop).
void PaintPictures(QPainter& painter, QPoint origin, const QImage& picture, const QImage& surface,
                   QPointF scaleOrigin);

// The picture and drawing surface of a top-level window.
class WindowSurface : public QObject {
public:
    // The window's surface, made on first use.
    static WindowSurface& Of(QWidget& window);

    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);
    // Sized to the window's client area when first drawn on after Cls.
    QImage& Surface();
    void Cls();
    QPointF ScaleOrigin() const { return scaleOrigin_; }
    void SetScaleLeft(double left);
    void SetScaleTop(double top);

private:
    explicit WindowSurface(QWidget& window);
    QWidget& window_;
    QImage picture_;
    QImage surface_;
    QPointF scaleOrigin_;
};

} // namespace zandorel::app
