#include "app/properties.h"

#include "app/surface.h"
#include "app/windowgeometry.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <variant>

namespace zandorel::app {
namespace {

// Who holds a property: one bit per control kind, one for the window.
using Holders = unsigned;
constexpr Holders HolderOf(ControlKind kind) {
    return 1u << static_cast<unsigned>(kind);
}
constexpr Holders kWindow = 1u << 8;

// A value read from its text: a number, a whole number, a flag, a text or a colour.
using PropertyValue = std::variant<double, int, bool, QString, QColor>;

struct PropertyRow {
    const char* name;
    Holders holders;
    // None when the text does not convert; null for a property that is only read.
    std::optional<PropertyValue> (*parse)(const QString& text);
    // False when the holder refuses the value; null where no such holder.
    bool (*setControl)(Control& control, const PropertyValue& value);
    bool (*setWindow)(QWidget& window, const PropertyValue& value);
    // Null for a property that is only set.
    std::optional<QString> (*get)(const Control& control);
};

constexpr Holders kLabel = HolderOf(ControlKind::Label);
constexpr Holders kTextBox = HolderOf(ControlKind::TextBox);
constexpr Holders kButton = HolderOf(ControlKind::Button);
constexpr Holders kPictureBox = HolderOf(ControlKind::PictureBox);
constexpr Holders kScrollBar = HolderOf(ControlKind::VScrollBar);
constexpr Holders kTimer = HolderOf(ControlKind::Timer);
constexpr Holders kCheckBox = HolderOf(ControlKind::CheckBox);
// Every control that is shown as a widget, and with the timer every control.
constexpr Holders kWidgets =
    kLabel | kTextBox | kButton | HolderOf(ControlKind::ListBox) | kPictureBox | kScrollBar | kCheckBox;
constexpr Holders kControls = kWidgets | kTimer;

// Reading values from text.

std::optional<double> toNumber(const QString& text) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<PropertyValue> number(const QString& text) {
    return toNumber(text);
}

std::optional<PropertyValue> whole(const QString& text) {
    const std::optional<double> value = toNumber(text);
    if (!value || *value < -2147483648.0 || *value > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<int>(Whole(*value));
}

std::optional<PropertyValue> flag(const QString& text) {
    return BoolFromText(text);
}

std::optional<PropertyValue> text(const QString& text) {
    return text;
}

// A platform colour number, red in the low byte.
std::optional<PropertyValue> colour(const QString& text) {
    bool ok = false;
    const std::optional<QColor> color = ColorFromNumber(text.trimmed().toLongLong(&ok));
    if (!ok || !color) {
        return std::nullopt;
    }
    return *color;
}

std::optional<PropertyValue> pointSize(const QString& text) {
    const std::optional<double> size = toNumber(text);
    if (!size || *size <= 0) {
        return std::nullopt;
    }
    return size;
}

double asNumber(const PropertyValue& value) {
    return std::get<double>(value);
}
int asWhole(const PropertyValue& value) {
    return std::get<int>(value);
}
bool asFlag(const PropertyValue& value) {
    return std::get<bool>(value);
}
const QString& asText(const PropertyValue& value) {
    return std::get<QString>(value);
}
const QColor& asColour(const PropertyValue& value) {
    return std::get<QColor>(value);
}

// Reading values back as text.

QString numberText(double value) {
    return QString::number(value, 'g', 15);
}

QString flagText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The colour set on the control, else the one its widget shows.
std::optional<QString> colourText(const Control& control, bool fore) {
    std::optional<QColor> color = fore ? control.ForeColor() : control.BackColor();
    if (!color && control.Widget()) {
        color = control.Widget()->palette().color(fore ? QPalette::WindowText : QPalette::Window);
    }
    if (!color) {
        return std::nullopt;
    }
    return QString::number(NumberFromColor(*color));
}

// Setting on a control.

bool setFont(Control& control, std::optional<bool> Control::FontSettings::*setting, bool value) {
    control.EditFont().*setting = value;
    control.ApplyFont();
    return true;
}

// Setting on the window.

// A window position or size in whole pixels; none for figures no screen has.
std::optional<int> windowPixels(const PropertyValue& value) {
    const double figure = asNumber(value);
    if (std::abs(figure) > 1e7) {
        return std::nullopt;
    }
    return static_cast<int>(Whole(figure));
}

template <class Apply> bool onWindowPixels(const PropertyValue& value, Apply apply) {
    const std::optional<int> pixels = windowPixels(value);
    if (pixels) {
        apply(*pixels);
    }
    return pixels.has_value();
}

bool setWindowColour(QWidget& window, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = window.palette();
    palette.setColor(role, color);
    if (role == QPalette::Window) {
        window.setAutoFillBackground(true);
    }
    window.setPalette(palette);
    return true;
}

template <class Change> bool changeWindowFont(QWidget& window, Change change) {
    QFont font = window.font();
    change(font);
    window.setFont(font);
    return true;
}

// clang-format off
const PropertyRow kRows[] = {
    {"Name", kControls, nullptr, nullptr, nullptr,
     [](const Control& c) -> std::optional<QString> { return c.Name(); }},
    {"Index", kControls, nullptr, nullptr, nullptr,
     [](const Control& c) -> std::optional<QString> {
         return c.InGroup() ? std::optional<QString>(QString::number(c.Index())) : std::nullopt; }},
    {"TabIndex", kWidgets, nullptr, nullptr, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.TabIndex()); }},

    {"Left", kWidgets | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetLeft(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int x) { w.move(x, w.y()); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.Left()); }},
    {"Top", kWidgets | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetTop(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int y) { w.move(w.x(), y); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.Top()); }},
    {"Width", kWidgets | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetWidth(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int width) { SetOuterSize(w, width, std::nullopt); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.Width()); }},
    {"Height", kWidgets | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetHeight(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int height) { SetOuterSize(w, std::nullopt, height); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.Height()); }},
    // The inner size, what a picture box and the window measure their contents in.
    {"ScaleWidth", kPictureBox | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetWidth(asNumber(v) + 2.0 * c.BorderWidth()); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int width) { w.resize(std::max(1, width), w.height()); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.ScaleWidth()); }},
    {"ScaleHeight", kPictureBox | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetHeight(asNumber(v) + 2.0 * c.BorderWidth()); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int height) { w.resize(w.width(), std::max(1, height)); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.ScaleHeight()); }},
    {"ScaleLeft", kPictureBox | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetScaleLeft(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int) { WindowSurface::Of(w).SetScaleLeft(asNumber(v)); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.ScaleLeft()); }},
    {"ScaleTop", kPictureBox | kWindow, number,
     [](Control& c, const PropertyValue& v) { c.SetScaleTop(asNumber(v)); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return onWindowPixels(v, [&](int) { WindowSurface::Of(w).SetScaleTop(asNumber(v)); }); },
     [](const Control& c) -> std::optional<QString> { return numberText(c.ScaleTop()); }},

    {"Caption", kLabel | kButton | kCheckBox | kWindow, text,
     [](Control& c, const PropertyValue& v) { c.SetCaption(asText(v)); return true; },
     [](QWidget& w, const PropertyValue& v) { w.setWindowTitle(asText(v)); return true; },
     [](const Control& c) -> std::optional<QString> { return c.Caption(); }},
    {"Text", kTextBox, text,
     [](Control& c, const PropertyValue& v) { c.SetText(asText(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return c.Text(); }},
    {"ToolTipText", kWidgets | kWindow, text,
     [](Control& c, const PropertyValue& v) { c.SetToolTipText(asText(v)); return true; },
     [](QWidget& w, const PropertyValue& v) { w.setToolTip(asText(v)); return true; },
     [](const Control& c) -> std::optional<QString> { return c.ToolTipText(); }},

    {"Visible", kWidgets, flag,
     [](Control& c, const PropertyValue& v) { c.SetVisible(asFlag(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return flagText(c.Visible()); }},
    {"Enabled", kControls | kWindow, flag,
     [](Control& c, const PropertyValue& v) { c.SetEnabled(asFlag(v)); return true; },
     [](QWidget& w, const PropertyValue& v) { w.setEnabled(asFlag(v)); return true; },
     [](const Control& c) -> std::optional<QString> { return flagText(c.Enabled()); }},
    // Single line (1) or none (0).
    {"BorderStyle", kLabel | kTextBox | kPictureBox, whole,
     [](Control& c, const PropertyValue& v) { return c.SetBorderStyle(asWhole(v)); }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.BorderStyle()); }},

    {"ForeColor", kWidgets | kWindow, colour,
     [](Control& c, const PropertyValue& v) { c.SetForeColor(asColour(v)); return true; },
     [](QWidget& w, const PropertyValue& v) { return setWindowColour(w, QPalette::WindowText, asColour(v)); },
     [](const Control& c) { return colourText(c, true); }},
    {"BackColor", kWidgets | kWindow, colour,
     [](Control& c, const PropertyValue& v) { c.SetBackColor(asColour(v)); return true; },
     [](QWidget& w, const PropertyValue& v) { return setWindowColour(w, QPalette::Window, asColour(v)); },
     [](const Control& c) { return colourText(c, false); }},

    {"FontName", kWidgets | kWindow, text,
     [](Control& c, const PropertyValue& v) { c.EditFont().name = asText(v); c.ApplyFont(); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return changeWindowFont(w, [&](QFont& f) { f.setFamily(asText(v)); }); },
     nullptr},
    // In points; a window takes no more than 1000.
    {"FontSize", kWidgets | kWindow, pointSize,
     [](Control& c, const PropertyValue& v) { c.EditFont().size = asNumber(v); c.ApplyFont(); return true; },
     [](QWidget& w, const PropertyValue& v) {
         return asNumber(v) <= 1000 && changeWindowFont(w, [&](QFont& f) { f.setPointSizeF(asNumber(v)); }); },
     nullptr},
    {"FontBold", kWidgets | kWindow, flag,
     [](Control& c, const PropertyValue& v) { return setFont(c, &Control::FontSettings::bold, asFlag(v)); },
     [](QWidget& w, const PropertyValue& v) {
         return changeWindowFont(w, [&](QFont& f) { f.setBold(asFlag(v)); }); },
     nullptr},
    {"FontItalic", kWidgets | kWindow, flag,
     [](Control& c, const PropertyValue& v) { return setFont(c, &Control::FontSettings::italic, asFlag(v)); },
     [](QWidget& w, const PropertyValue& v) {
         return changeWindowFont(w, [&](QFont& f) { f.setItalic(asFlag(v)); }); },
     nullptr},
    {"FontUnderline", kWidgets | kWindow, flag,
     [](Control& c, const PropertyValue& v) { return setFont(c, &Control::FontSettings::underline, asFlag(v)); },
     [](QWidget& w, const PropertyValue& v) {
         return changeWindowFont(w, [&](QFont& f) { f.setUnderline(asFlag(v)); }); },
     nullptr},
    {"FontStrikethru", kWidgets | kWindow, flag,
     [](Control& c, const PropertyValue& v) { return setFont(c, &Control::FontSettings::strikeOut, asFlag(v)); },
     [](QWidget& w, const PropertyValue& v) {
         return changeWindowFont(w, [&](QFont& f) { f.setStrikeOut(asFlag(v)); }); },
     nullptr},

    // Scroll bars, the value inside the range; check boxes, 1 ticked and 0 not.
    {"Value", kScrollBar | kCheckBox, whole,
     [](Control& c, const PropertyValue& v) {
         if (c.Kind() == ControlKind::CheckBox && asWhole(v) != 0 && asWhole(v) != 1) {
             return false;
         }
         c.SetValue(asWhole(v));
         return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.Value()); }},
    {"Min", kScrollBar, whole,
     [](Control& c, const PropertyValue& v) { c.SetRange(asWhole(v), c.Max()); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.Min()); }},
    {"Max", kScrollBar, whole,
     [](Control& c, const PropertyValue& v) { c.SetRange(c.Min(), asWhole(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.Max()); }},
    {"LargeChange", kScrollBar, whole,
     [](Control& c, const PropertyValue& v) { c.SetLargeChange(asWhole(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.LargeChange()); }},
    {"SmallChange", kScrollBar, whole,
     [](Control& c, const PropertyValue& v) { c.SetSmallChange(asWhole(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.SmallChange()); }},

    // Timers, in milliseconds; below 0 reads as 0.
    {"Interval", kTimer, whole,
     [](Control& c, const PropertyValue& v) { c.SetInterval(asWhole(v)); return true; }, nullptr,
     [](const Control& c) -> std::optional<QString> { return QString::number(c.Interval()); }},
};
// clang-format on

// The row of that name, letter case ignored; null when there is none.
const PropertyRow* FindProperty(const QString& name) {
    for (const PropertyRow& row : kRows) {
        if (name.compare(QLatin1StringView(row.name), Qt::CaseInsensitive) == 0) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

bool SetControlProperty(Control& control, const QString& name, const QString& value) {
    const PropertyRow* row = FindProperty(name);
    if (!row || !(row->holders & HolderOf(control.Kind())) || !row->parse || !row->setControl) {
        return false;
    }
    const std::optional<PropertyValue> parsed = row->parse(value);
    return parsed && row->setControl(control, *parsed);
}

std::optional<QString> ControlProperty(const Control& control, const QString& name) {
    const PropertyRow* row = FindProperty(name);
    if (!row || !(row->holders & HolderOf(control.Kind())) || !row->get) {
        return std::nullopt;
    }
    return row->get(control);
}

bool SetWindowProperty(QWidget& window, const QString& name, const QString& value) {
    const PropertyRow* row = FindProperty(name);
    if (!row || !(row->holders & kWindow) || !row->parse || !row->setWindow) {
        return false;
    }
    const std::optional<PropertyValue> parsed = row->parse(value);
    return parsed && row->setWindow(window, *parsed);
}

} // namespace zandorel::app
