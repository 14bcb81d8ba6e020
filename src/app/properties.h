#pragma once
// The properties of controls and windows by the names the settings use, in
// one table (properties.cpp): a row per property names it, says which
// control kinds and whether the window have it, reads its value from text,
// sets it on a control and on the window, and reads it back from a control
// as text.
// Control::SetProperty and Control::Property, and the skinning of controls
// and windows, all go through the rows; adding a property is adding a row.
// Names are compared with letter case ignored. A name that a holder does not
// have, or a value that does not convert, changes nothing.

#include "app/control.h"

#include <QString>
#include <optional>

class QWidget;

namespace zandorel::app {

bool SetControlProperty(Control& control, const QString& name, const QString& value);
std::optional<QString> ControlProperty(const Control& control, const QString& name);
// Positions and sizes of the window are pixels, its outer size frame included.
bool SetWindowProperty(QWidget& window, const QString& name, const QString& value);

} // namespace zandorel::app
