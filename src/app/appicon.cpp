#include "app/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zandorel::app {
namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A blue cloud-coloured tile with a white chain link: a folder turned into links.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1e, 0x6f, 0xc8));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    QPen link(Qt::white, std::max(1.5, s * 0.11), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(link);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(s * 0.16, s * 0.36, s * 0.42, s * 0.28), s * 0.14, s * 0.14);
    painter.drawRoundedRect(QRectF(s * 0.42, s * 0.36, s * 0.42, s * 0.28), s * 0.14, s * 0.14);
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {48, 32, 24, 16}) {
        icon.addPixmap(drawIcon(size));
    }
    return icon;
}

} // namespace zandorel::app
