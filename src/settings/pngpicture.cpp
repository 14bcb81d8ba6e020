#include "settings/pngpicture.h"

#include <QImageReader>
#include <QPainter>
#include <cmath>
#include <limits>

namespace zandorel {
namespace {

// 32-bit arithmetic that refuses to overflow.
int32_t checked(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
        throw PictureError("picture placement overflows 32 bits");
    }
    return static_cast<int32_t>(v);
}

QImage load(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull() || image.width() == 0 || image.height() == 0) {
        throw PictureError("not a readable picture: " + path.toStdString());
    }
    return image;
}

} // namespace

int32_t Whole(double v) {
    return checked(static_cast<int64_t>(std::nearbyint(v)));
}

DrawPlan PlanDrawing(const DrawParameters& p, int imgW, int imgH, int tW, int tH) {
    DrawPlan plan;
    switch (p.style) {
    case 0:
        plan.rect = QRect(p.x, p.y, p.width, p.height);
        break;
    case 1:
        plan.rect = QRect(checked(int64_t{p.left} + p.x), checked(int64_t{p.top} + p.y),
                          checked(int64_t{tW} - p.left - p.right + p.width),
                          checked(int64_t{tH} - p.top - p.bottom + p.height));
        break;
    case 2: {
        const int32_t availW = checked(int64_t{tW} - p.left - p.right);
        const int32_t availH = checked(int64_t{tH} - p.top - p.bottom);
        const float rW = static_cast<float>(availW) / static_cast<float>(imgW);
        const float rH = static_cast<float>(availH) / static_cast<float>(imgH);
        int32_t x = 0, y = 0, w = 0, h = 0;
        if (rW < rH) {
            w = availW;
            h = Whole(static_cast<double>(rW) * imgH);
            x = p.left;
            switch (p.yAlign) {
            case 0:
                y = Whole((static_cast<double>(availH) - h) / 2 + p.top);
                break;
            case 1:
                y = p.top;
                break;
            case 2:
                y = checked(int64_t{availH} - h + p.top);
                break;
            default:
                y = p.y;
                break;
            }
        } else {
            h = availH;
            w = Whole(static_cast<double>(rH) * imgW);
            y = p.top;
            switch (p.xAlign) {
            case 0:
                x = Whole((static_cast<double>(availW) - w) / 2 + p.left);
                break;
            case 1:
                x = p.left;
                break;
            case 2:
                x = checked(int64_t{availW} - w + p.left);
                break;
            default:
                x = p.x;
                break;
            }
        }
        plan.rect = QRect(x, y, w, h);
        break;
    }
    case 3:
        plan.resizeTarget =
            QSize(checked(int64_t{imgW} + p.left + p.right), checked(int64_t{imgH} + p.top + p.bottom));
        plan.rect = QRect(checked(int64_t{p.left} + p.x), checked(int64_t{p.top} + p.y), p.width, p.height);
        break;
    case 4: {
        if (p.width == 0 || p.height == 0) {
            throw PictureError("a zero region cannot be zoomed");
        }
        const float rW = static_cast<float>(tW) / static_cast<float>(p.width);
        const float rH = static_cast<float>(tH) / static_cast<float>(p.height);
        const double s = rW < rH ? rW : rH;
        plan.rect = QRect(Whole(-s * p.x), Whole(-s * p.y), Whole(s * imgW), Whole(s * imgH));
        break;
    }
    default:
        break;
    }
    return plan;
}

void DrawPngRect(const QString& path, QImage& surface, int x, int y, int w, int h) {
    const QImage image = load(path);
    if (w == 0) {
        w = image.width();
    }
    if (h == 0) {
        h = image.height();
    }
    if (surface.isNull()) {
        return;
    }
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(x, y, w, h), image);
}

void DrawPng(const QString& path, DrawTarget& target, const DrawParameters& p) {
    QSize size;
    {
        QImageReader reader(path);
        size = reader.size();
        if (!size.isValid() || size.isEmpty()) {
            // Some formats only know their size once read.
            size = load(path).size();
        }
    }
    const DrawPlan plan =
        PlanDrawing(p, size.width(), size.height(), target.outerWidth(), target.outerHeight());
    if (plan.resizeTarget) {
        target.setOuterSize(plan.resizeTarget->width(), plan.resizeTarget->height());
    }
    if (plan.rect) {
        DrawPngRect(path, target.surface(), plan.rect->x(), plan.rect->y(), plan.rect->width(),
                    plan.rect->height());
    }
}

} // namespace zandorel
