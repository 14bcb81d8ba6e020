#include "app/appicon.h"

namespace zandorel::app {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/zandorel.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace zandorel::app
