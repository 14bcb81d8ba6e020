#include "app/captionlabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

namespace zandorel::app {

QString VisibleControlCharacters(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20) {
            c = QChar(static_cast<char16_t>(0x2400 + u));
        } else if (u == 0x7F) {
            c = QChar(u'\u2421');
        } else if (u == 0x85 || u == 0x2028 || u == 0x2029) {
            c = QChar(u'\u2424');
        }
    }
    return shown;
}

CaptionLabel::CaptionLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

int CaptionLabel::room() const {
    int right = contentsRect().right();
    if (boundary_ && boundary_->isVisible() && boundary_->parentWidget() == parentWidget()) {
        right = std::min(right, boundary_->x() - x() - 1);
    }
    return std::max(0, right - contentsRect().left() + 1);
}

QString CaptionLabel::ShownText() const {
    return fontMetrics().elidedText(VisibleControlCharacters(text()), Qt::ElideRight, room());
}

void CaptionLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area = contentsRect();
    area.setWidth(room());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), ShownText(), foregroundRole());
}

bool CaptionLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && Elided()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), VisibleControlCharacters(text()),
                           this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace zandorel::app
