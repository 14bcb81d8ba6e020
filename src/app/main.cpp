// Zandorel and Zandorel_Test: the same start, the test build also reporting
// which extraction step failed.

#include "app/dialogs.h"
#include "app/program.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Zandorel: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset); "
                   "start it on a desktop, under Xvfb, or with QT_QPA_PLATFORM=offscreen\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandorel"));
    zandorel::app::QtDialogs dialogs;
    zandorel::app::Program program(dialogs);
#ifdef ZANDOREL_TEST_BUILD
    program.EnableStepMessages();
#endif
    if (!program.Start()) {
        return 1;
    }
    return QApplication::exec();
}
