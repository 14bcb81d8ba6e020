#pragma once
// The program's icon: the installed hicolor images (data/icons), built into
// the program in 16, 24, 32, 48 and 256 pixels.

#include <QIcon>

namespace zandorel::app {

QIcon ProgramIcon();

} // namespace zandorel::app
