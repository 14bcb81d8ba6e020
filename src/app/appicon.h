#pragma once
// The program's icon, drawn at start in 48, 32, 24 and 16 pixels.

#include <QIcon>

namespace zandorel::app {

QIcon ProgramIcon();

} // namespace zandorel::app
