#pragma once
// One control of a window: its name (and index within a control group), its
// kind, and its properties as the program reads and writes them. Geometry is
// kept in pixels as the layout computes it, halves included; a bound widget
// shows the rounded figures. A control need not have a widget: the link
// rows of the main window are controls whose widgets are lent to them only
// while they can be seen.

#include <QColor>
#include <QImage>
#include <QMetaObject>
#include <QPoint>
#include <QString>
#include <cmath>
#include <functional>
#include <optional>

class QObject;
class QWidget;

namespace zandorel::app {

enum class ControlKind { Label, TextBox, Button, ListBox, PictureBox, VScrollBar, Timer, CheckBox };

// Rounds to the nearest whole number, halves to the even neighbour.
inline double Whole(double value) {
    return std::nearbyint(value);
}

// "True"/"False" in any case, or a number (non-zero is true); none otherwise.
std::optional<bool> BoolFromText(const QString& text);

// A whole pixel figure for a widget, held inside what a widget can take.
int ToPixel(double value);

// A platform colour number (red in the low byte) and back; numbers outside
// 0 to FFFFFF (such as system colours) give none.
std::optional<QColor> ColorFromNumber(qint64 number);
qint64 NumberFromColor(const QColor& color);

class Control {
public:
    Control(ControlKind kind, const QString& name, int index = -1);
    // A new member of the model's control group: the model's properties,
    // `index` as its own, no widget.
    Control(const Control& model, int index);
    ~Control();

    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return kind_; }
    const QString& Name() const { return name_; }
    // Index within a control group; -1 for a control that is not in one.
    int Index() const { return index_; }
    bool InGroup() const { return index_ >= 0; }

    // The picture box that holds this control; null for the window.
    Control* Container() const { return container_; }
    void SetContainer(Control* container) { container_ = container; }
    int TabIndex() const { return tabIndex_; }
    void SetTabIndex(int tabIndex) { tabIndex_ = tabIndex; }

    // Position and size in the container's inner coordinates.
    double Left() const { return left_; }
    double Top() const { return top_; }
    double Width() const { return width_; }
    double Height() const { return height_; }
    void SetLeft(double value);
    void SetTop(double value);
    void SetWidth(double value);
    void SetHeight(double value);
    void SetGeometry(double left, double top, double width, double height);

    // Inner size: a picture box draws its border inside its outer size.
    int BorderWidth() const { return border_; }
    void SetBorderWidth(int border);
    double ScaleWidth() const;
    double ScaleHeight() const;

    // Labels, buttons and check boxes have a Caption, text boxes a Text;
    // both are kept in one place.
    QString Caption() const { return text_; }
    QString Text() const { return text_; }
    void SetCaption(const QString& caption) { setTextValue(caption); }
    void SetText(const QString& text) { setTextValue(text); }
    bool HasCaption() const {
        return kind_ == ControlKind::Label || kind_ == ControlKind::Button || kind_ == ControlKind::CheckBox;
    }
    bool HasText() const { return kind_ == ControlKind::TextBox; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Colours as the platform numbers them: red in the low byte, then green
    // and blue. Unset colours leave the widget's own.
    std::optional<QColor> ForeColor() const { return foreColor_; }
    std::optional<QColor> BackColor() const { return backColor_; }
    void SetForeColor(const QColor& color);
    void SetBackColor(const QColor& color);

    // Font settings; unset ones leave the widget's own.
    struct FontSettings {
        std::optional<QString> name;
        std::optional<double> size; // points
        std::optional<bool> bold;
        std::optional<bool> italic;
        std::optional<bool> underline;
        std::optional<bool> strikeOut;
    };
    const FontSettings& Font() const { return font_; }
    FontSettings& EditFont() { return font_; }
    void ApplyFont();

    // Scroll bars; a check box's Value is 1 when it is ticked, else 0.
    int Value() const { return value_; }
    void SetValue(int value);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    int LargeChange() const { return largeChange_; }
    int SmallChange() const { return smallChange_; }
    void SetLargeChange(int value);
    void SetSmallChange(int value);

    // Timers.
    int Interval() const { return interval_; }
    void SetInterval(int interval);

    // Picture boxes show a picture at their top left (Picture) and keep what
    // was drawn on their surface until Cls clears it; both survive repaints.
    bool HasSurface() const { return kind_ == ControlKind::PictureBox; }
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);
    // The drawing surface, sized to the outer size when it is first drawn on.
    QImage& Surface();
    const QImage& SurfaceImage() const { return surface_; }
    void Cls();
    // Where the inner area's top left lies in the drawing coordinates.
    double ScaleLeft() const { return scaleLeft_; }
    double ScaleTop() const { return scaleTop_; }
    void SetScaleLeft(double left);
    void SetScaleTop(double top);
    // Called whenever the picture or the surface changes, so that whatever
    // shows them repaints.
    void SetPictureChanged(std::function<void()> changed) { pictureChanged_ = std::move(changed); }

    QString ToolTipText() const { return toolTip_; }
    void SetToolTipText(const QString& text);
    // 0: no border, 1: a single line.
    int BorderStyle() const { return borderStyle_; }
    bool SetBorderStyle(int style);

    // The widget or timer that shows this control, or null.
    QObject* Object() const { return object_; }
    QWidget* Widget() const;
    // Shows the control through `object` from now on and gives it every
    // property. `origin` is where the container's inner origin lies in the
    // widget's parent.
    void Bind(QObject* object, QPoint origin = {});
    void Unbind();
    QPoint Origin() const { return origin_; }
    void SetOrigin(QPoint origin);
    // Gives the bound widget the current figures again.
    void ApplyGeometry();

    // Properties by the names the settings use, letter case ignored (the
    // rows of app/properties.h). Setting returns false, changing nothing, for
    // a name the control does not have or a value that does not convert.
    bool SetProperty(const QString& name, const QString& value);
    std::optional<QString> Property(const QString& name) const;

private:
    void setTextValue(const QString& text);
    void pushText();
    void pushColors();
    void pushScroll();
    void pushCheck();
    void pushTimer();
    void pushBorder();
    void picturesChanged();

    ControlKind kind_;
    QString name_;
    int index_ = -1;
    Control* container_ = nullptr;
    int tabIndex_ = -1;
    double left_ = 0;
    double top_ = 0;
    double width_ = 0;
    double height_ = 0;
    int border_ = 0;
    QString text_;
    bool visible_ = true;
    bool enabled_ = true;
    int value_ = 0;
    int min_ = 0;
    int max_ = 32767;
    int largeChange_ = 1;
    int smallChange_ = 1;
    int interval_ = 0;
    std::optional<QColor> foreColor_;
    std::optional<QColor> backColor_;
    FontSettings font_;
    QImage picture_;
    QImage surface_;
    double scaleLeft_ = 0;
    double scaleTop_ = 0;
    std::function<void()> pictureChanged_;
    QString toolTip_;
    int borderStyle_ = 1;
    QObject* object_ = nullptr;
    QPoint origin_;
    QMetaObject::Connection edits_;
};

} // namespace zandorel::app
