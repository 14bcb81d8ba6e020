#include "app/control.h"

#include "app/properties.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

namespace zandorel::app {

std::optional<bool> BoolFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(u"true", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(u"false", Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const double number = t.toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return number != 0;
}

int ToPixel(double value) {
    constexpr double limit = 16777215.0; // the largest size a widget takes
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int>(Whole(std::clamp(value, -limit, limit)));
}

std::optional<QColor> ColorFromNumber(qint64 number) {
    if (number < 0 || number > 0xFFFFFF) {
        return std::nullopt;
    }
    return QColor(static_cast<int>(number & 0xFF), static_cast<int>((number >> 8) & 0xFF),
                  static_cast<int>((number >> 16) & 0xFF));
}

qint64 NumberFromColor(const QColor& color) {
    return color.red() | (static_cast<qint64>(color.green()) << 8) |
           (static_cast<qint64>(color.blue()) << 16);
}

Control::Control(ControlKind kind, const QString& name, int index)
    : kind_(kind), name_(name), index_(index), borderStyle_(kind == ControlKind::Label ? 0 : 1) {}

Control::Control(const Control& model, int index)
    : kind_(model.kind_), name_(model.name_), index_(index), container_(model.container_),
      tabIndex_(model.tabIndex_), left_(model.left_), top_(model.top_), width_(model.width_),
      height_(model.height_), border_(model.border_), text_(model.text_), visible_(model.visible_),
      enabled_(model.enabled_), value_(model.value_), min_(model.min_), max_(model.max_),
      largeChange_(model.largeChange_), smallChange_(model.smallChange_), interval_(model.interval_),
      foreColor_(model.foreColor_), backColor_(model.backColor_), font_(model.font_),
      picture_(model.picture_), toolTip_(model.toolTip_), borderStyle_(model.borderStyle_) {}

Control::~Control() {
    QObject::disconnect(edits_);
}

QWidget* Control::Widget() const {
    return qobject_cast<QWidget*>(object_);
}

void Control::SetLeft(double value) {
    left_ = value;
    ApplyGeometry();
}

void Control::SetTop(double value) {
    top_ = value;
    ApplyGeometry();
}

void Control::SetWidth(double value) {
    width_ = value;
    ApplyGeometry();
}

void Control::SetHeight(double value) {
    height_ = value;
    ApplyGeometry();
}

void Control::SetGeometry(double left, double top, double width, double height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    ApplyGeometry();
}

double Control::ScaleWidth() const {
    return std::max(0.0, width_ - 2.0 * border_);
}

double Control::ScaleHeight() const {
    return std::max(0.0, height_ - 2.0 * border_);
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    if (QWidget* widget = Widget()) {
        widget->setVisible(visible);
    }
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (QWidget* widget = Widget()) {
        widget->setEnabled(enabled);
    }
    pushTimer();
}

void Control::SetValue(int value) {
    if (kind_ == ControlKind::CheckBox) {
        value_ = value != 0 ? 1 : 0;
        pushCheck();
        return;
    }
    value_ = std::clamp(value, min_, std::max(min_, max_));
    pushScroll();
}

void Control::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    value_ = std::clamp(value_, min_, std::max(min_, max_));
    pushScroll();
}

void Control::SetLargeChange(int value) {
    largeChange_ = value;
    pushScroll();
}

void Control::SetSmallChange(int value) {
    smallChange_ = value;
    pushScroll();
}

void Control::SetForeColor(const QColor& color) {
    foreColor_ = color;
    pushColors();
}

void Control::SetBackColor(const QColor& color) {
    backColor_ = color;
    pushColors();
}

void Control::pushColors() {
    QWidget* widget = Widget();
    if (!widget || (!foreColor_ && !backColor_)) {
        return;
    }
    QPalette palette = widget->palette();
    if (foreColor_) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            palette.setColor(role, *foreColor_);
        }
    }
    if (backColor_) {
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
            palette.setColor(role, *backColor_);
        }
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

void Control::ApplyFont() {
    QWidget* widget = Widget();
    if (!widget) {
        return;
    }
    QFont font = widget->font();
    if (font_.name) {
        font.setFamily(*font_.name);
    }
    if (font_.size && *font_.size > 0) {
        font.setPointSizeF(*font_.size);
    }
    if (font_.bold) {
        font.setBold(*font_.bold);
    }
    if (font_.italic) {
        font.setItalic(*font_.italic);
    }
    if (font_.underline) {
        font.setUnderline(*font_.underline);
    }
    if (font_.strikeOut) {
        font.setStrikeOut(*font_.strikeOut);
    }
    if (font != widget->font()) {
        widget->setFont(font);
    }
}

void Control::SetInterval(int interval) {
    interval_ = std::max(0, interval);
    pushTimer();
}

void Control::setTextValue(const QString& text) {
    text_ = text;
    pushText();
}

void Control::Bind(QObject* object, QPoint origin) {
    Unbind();
    object_ = object;
    origin_ = origin;
    if (!object_) {
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(object_)) {
        // What the user types is the control's text.
        edits_ = QObject::connect(line, &QLineEdit::textEdited, line,
                                  [this](const QString& text) { text_ = text; });
    } else if (auto* check = qobject_cast<QCheckBox*>(object_)) {
        // A click ticks the control itself.
        edits_ = QObject::connect(check, &QCheckBox::toggled, check,
                                  [this](bool ticked) { value_ = ticked ? 1 : 0; });
    }
    pushText();
    pushScroll();
    pushCheck();
    pushTimer();
    if (QWidget* widget = Widget()) {
        widget->setEnabled(enabled_);
        widget->setToolTip(toolTip_);
        if (!picture_.isNull()) {
            SetPicture(picture_);
        }
        pushBorder();
        pushColors();
        ApplyFont();
        ApplyGeometry();
        widget->setVisible(visible_);
    }
}

void Control::Unbind() {
    QObject::disconnect(edits_);
    edits_ = {};
    object_ = nullptr;
}

void Control::SetOrigin(QPoint origin) {
    origin_ = origin;
    ApplyGeometry();
}

void Control::ApplyGeometry() {
    QWidget* widget = Widget();
    if (!widget) {
        return;
    }
    const QRect rect(origin_.x() + ToPixel(left_), origin_.y() + ToPixel(top_), std::max(0, ToPixel(width_)),
                     std::max(0, ToPixel(height_)));
    if (widget->geometry() != rect) {
        widget->setGeometry(rect);
    }
}

void Control::pushText() {
    if (!object_) {
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(object_)) {
        label->setText(text_);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object_)) {
        button->setText(text_);
    } else if (auto* line = qobject_cast<QLineEdit*>(object_)) {
        if (line->text() != text_) {
            line->setText(text_);
            line->setCursorPosition(0); // a long text shows its beginning
        }
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(object_)) {
        edit->setPlainText(text_);
    }
}

void Control::pushScroll() {
    auto* bar = qobject_cast<QScrollBar*>(object_);
    if (!bar) {
        return;
    }
    bar->setRange(min_, std::max(min_, max_));
    bar->setPageStep(largeChange_);
    bar->setSingleStep(smallChange_);
    bar->setValue(value_);
}

void Control::pushCheck() {
    if (auto* check = qobject_cast<QCheckBox*>(object_); check && check->isChecked() != (value_ != 0)) {
        check->setChecked(value_ != 0);
    }
}

void Control::SetPicture(const QImage& picture) {
    picture_ = picture;
    if (auto* button = qobject_cast<QPushButton*>(object_)) {
        button->setIcon(picture_.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture_)));
        button->setIconSize(picture_.size());
    }
    picturesChanged();
}

QImage& Control::Surface() {
    const QSize size(std::max(1, ToPixel(width_)), std::max(1, ToPixel(height_)));
    if (surface_.isNull()) {
        surface_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        surface_.fill(Qt::transparent);
    }
    picturesChanged();
    return surface_;
}

void Control::SetScaleLeft(double left) {
    scaleLeft_ = left;
    picturesChanged();
}

void Control::SetScaleTop(double top) {
    scaleTop_ = top;
    picturesChanged();
}

void Control::Cls() {
    surface_ = QImage();
    picturesChanged();
}

void Control::picturesChanged() {
    if (pictureChanged_) {
        pictureChanged_();
    } else if (QWidget* widget = Widget()) {
        widget->update();
    }
}

void Control::SetToolTipText(const QString& text) {
    toolTip_ = text;
    if (QWidget* widget = Widget()) {
        widget->setToolTip(toolTip_);
    }
}

void Control::SetBorderWidth(int border) {
    border_ = border;
    if (kind_ == ControlKind::PictureBox) {
        borderStyle_ = border > 0 ? 1 : 0;
    }
    pushBorder();
}

bool Control::SetBorderStyle(int style) {
    if ((style != 0 && style != 1) ||
        (kind_ != ControlKind::PictureBox && kind_ != ControlKind::TextBox && kind_ != ControlKind::Label)) {
        return false;
    }
    borderStyle_ = style;
    if (kind_ == ControlKind::PictureBox) {
        border_ = style;
    }
    pushBorder();
    return true;
}

void Control::pushBorder() {
    if (auto* line = qobject_cast<QLineEdit*>(object_)) {
        line->setFrame(borderStyle_ != 0);
    } else if (auto* frame = qobject_cast<QFrame*>(object_)) {
        if (kind_ == ControlKind::Label) {
            frame->setFrameStyle(borderStyle_ == 1 ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
        } else if (qobject_cast<QPlainTextEdit*>(object_)) {
            frame->setFrameStyle(borderStyle_ == 0 ? QFrame::NoFrame : QFrame::StyledPanel | QFrame::Sunken);
        } else {
            frame->setFrameStyle(border_ == 0 ? QFrame::NoFrame : QFrame::Box | QFrame::Plain);
            frame->setLineWidth(1);
        }
    }
    ApplyGeometry();
}

void Control::pushTimer() {
    auto* timer = qobject_cast<QTimer*>(object_);
    if (!timer) {
        return;
    }
    timer->setInterval(interval_);
    if (enabled_ && interval_ > 0) {
        if (!timer->isActive()) {
            timer->start();
        }
    } else {
        timer->stop();
    }
}

bool Control::SetProperty(const QString& name, const QString& value) {
    return SetControlProperty(*this, name, value);
}

std::optional<QString> Control::Property(const QString& name) const {
    return ControlProperty(*this, name);
}

} // namespace zandorel::app
