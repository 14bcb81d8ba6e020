// Loads a settings file, then saves it again and again, growing it each time,
// until it is killed. The fault tests kill it at random moments and check
// that the file on disk always loads.
//
// With --full-disk it saves once with its file size limited to 4 KB, as on a
// disk that has filled up, and exits 0 when the save said it failed.

#include "settings/editxml.h"
#include "settings/keys.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

using namespace zandorel;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return 64;
    }
    SettingsStore store;
    if (!store.LoadSettings(QString::fromLocal8Bit(argv[1]))) {
        return 1;
    }
    const QString big(20000, u'x');
    if (argc > 2 && std::strcmp(argv[2], "--full-disk") == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        AppendElement(store.Root(), keys::TemplateList, QStringLiteral("Template"), big);
        return store.Save() ? 3 : 0;
    }
    for (int round = 0;; ++round) {
        AppendElement(store.Root(), keys::TemplateList, QStringLiteral("Template"),
                      big + QString::number(round));
        AddAttribute(store.Root(), keys::Template, QStringLiteral("name"), QString::number(round),
                     CountNodes(store.Root(), keys::Template) - 1);
        if (!store.Save()) {
            return 2;
        }
        if (round == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
