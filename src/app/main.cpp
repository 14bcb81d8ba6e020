// Zandorel and Zandorel_Test: the same start, the test build also reporting
// which extraction step failed.

#include "app/dialogs.h"
#include "app/program.h"
#include "text/appinfo.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

const char* const usageText =
    "usage: Zandorel [--config FILE]\n"
    "\n"
    "Turns a shared folder into ready-made link code.\n"
    "\n"
    "options:\n"
    "  --config FILE    settings document to load, and to save when the last window closes\n"
    "                   (default: ZandorelConfig.xml beside the program, else\n"
    "                   ~/.config/zandorel/ZandorelConfig.xml, made from the installed default)\n"
    "  --probe-display  check that a window can open here: print the window system and exit 0,\n"
    "                   or print why not and exit 1\n"
    "  --version        print the version and exit\n"
    "  -h, --help       print this help and exit\n"
    "Qt's own options, such as -platform NAME or -display DISPLAY, are accepted too.\n";

struct Options {
    QCommandLineOption config{QStringLiteral("config"), QString(), QStringLiteral("FILE")};
    QCommandLineOption probe{QStringLiteral("probe-display")};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};

    void addTo(QCommandLineParser& parser) const { parser.addOptions({config, probe, version, help}); }
};

// Help and version are answered before any window system is touched.
bool answeredWithoutDisplay(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    if (!parser.parse(args)) {
        return false; // Qt's own options are known only to QApplication; it is asked later
    }
    if (parser.isSet(options.help)) {
        std::fputs(usageText, stdout);
        return true;
    }
    if (parser.isSet(options.version)) {
        const zandorel::AppInfo info = zandorel::AppInfo::current();
        std::printf("Zandorel %d.%d.%d\n", info.major, info.minor, info.revision);
        return true;
    }
    return false;
}

// While the window system starts, Qt's messages are held back. When
// no platform can start, Qt would abort ("Reinstalling the application may
// fix this problem"); the program ends instead with one line that tells why.
// When the start succeeds, the held messages are passed on.
struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};
QtMessageHandler previousHandler = nullptr;
bool startingUp = true;
QList<HeldMessage> heldBack;

void startupHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (startingUp && type == QtFatalMsg) {
        QString reason = QStringLiteral("no Qt platform plugin could start");
        for (const HeldMessage& held : heldBack) {
            if (held.type != QtDebugMsg && held.type != QtInfoMsg) {
                reason = held.text.simplified();
                break;
            }
        }
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
        const QByteArray display =
            qgetenv("QT_QPA_PLATFORM").startsWith("wayland") || qEnvironmentVariableIsEmpty("DISPLAY")
                ? (wayland.isEmpty() ? QByteArray("wayland-0") : wayland)
                : qgetenv("DISPLAY");
        std::fprintf(stderr, "Zandorel: cannot open a window on display %s (%s)\n", display.constData(),
                     qPrintable(reason));
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (startingUp) {
        heldBack.append({type, context.file, context.function, context.category, context.line, message});
        return;
    }
    previousHandler(type, context, message);
}

void startedUp() {
    startingUp = false;
    for (const HeldMessage& held : std::exchange(heldBack, {})) {
        const QMessageLogContext context(held.file.constData(), held.line, held.function.constData(),
                                         held.category.constData());
        previousHandler(held.type, context, held.text);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutDisplay(argc, argv)) {
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Zandorel: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset); "
                   "start it on a desktop, under Xvfb, or with QT_QPA_PLATFORM=offscreen\n",
                   stderr);
        return 1;
    }
    // A Wayland session without X: Qt would try X first and fail.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "wayland");
    }
    previousHandler = qInstallMessageHandler(startupHandler);
    QApplication application(argc, argv);
    startedUp();
    QApplication::setApplicationName(QStringLiteral("Zandorel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zandorel"));
    // Qt's own buttons and dialogs speak the desktop's language.
    zandorel::app::InstallQtTranslations(QLocale::system());

    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "Zandorel: %s\n%s", qPrintable(parser.errorText()), usageText);
        return 64;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Zandorel: unknown argument %s\n%s",
                     qPrintable(parser.positionalArguments().first()), usageText);
        return 64;
    }
    if (parser.isSet(options.probe)) {
        std::printf("%s\n", qPrintable(QGuiApplication::platformName()));
        return 0;
    }
    zandorel::app::QtDialogs dialogs;
    zandorel::app::Program program(dialogs);
#ifdef ZANDOREL_TEST_BUILD
    program.EnableStepMessages();
#endif
    if (!program.Start(parser.value(options.config))) {
        return program.Forwarded() ? 0 : 1; // forwarded: the window opened in the running program
    }
    return QApplication::exec();
}
