// Loads a settings file, then saves it again and again, growing it each time,
// until it is killed. The fault tests kill it at random moments and check
// that the file on disk always loads.

#include "settings/editxml.h"
#include "settings/keys.h"

#include <QCoreApplication>
#include <cstdio>

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
