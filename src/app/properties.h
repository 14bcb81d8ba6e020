#pragma once
// The properties of controls and windows by the names the settings use, in
// one table: a row per property names it, says which control kinds and
// whether the window have it, reads its value from text, sets it on a
// control and on the window, and reads it back from a control as text.
// Control::SetProperty and Control::Property, and the skinning of controls
// and windows, all go through the rows; adding a property is adding a row.
// Names are compared with letter case ignored. A name that a holder does not
// have, or a value that does not convert, changes nothing.

#include "app/control.h"

#include <QColor>
#include <QString>
#include <optional>
#include <span>
#include <variant>

class QWidget;

namespace zandorel::app {

// Who holds a property: one bit per control kind, one for the window.
using Holders = unsigned;
constexpr Holders HolderOf(ControlKind kind) {
    return 1u << static_cast<unsigned>(kind);
}
constexpr Holders kWindowHolder = 1u << 8;

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

std::span<const PropertyRow> PropertyTable();
// The row of that name, letter case ignored; null when there is none.
const PropertyRow* FindProperty(const QString& name);

bool SetControlProperty(Control& control, const QString& name, const QString& value);
std::optional<QString> ControlProperty(const Control& control, const QString& name);
// Positions and sizes of the window are pixels, its outer size frame included.
bool SetWindowProperty(QWidget& window, const QString& name, const QString& value);

} // namespace zandorel::app
