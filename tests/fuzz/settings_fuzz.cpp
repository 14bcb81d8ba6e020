// A settings document loaded, read, edited and saved re-indented; the saved
// file must load again with the same templates.

#include "settings/editxml.h"
#include "settings/keys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zandorel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QDir::temp().filePath(
        QStringLiteral("zandorel-settings-fuzz-%1.xml").arg(QCoreApplication::applicationPid()));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    SettingsStore store;
    if (!store.LoadSettings(path)) {
        return 0;
    }
    pugi::xml_node doc = store.Root();
    (void)store.ShareService();
    (void)ReadAttribute(doc, keys::Config, keys::AllLinkFormat, keys::AllLinkFormatDefault);
    const int n = CountNodes(doc, keys::Template);
    for (int i = 0; i < n && i < 16; ++i) {
        (void)ReadNodeText(doc, keys::Template, QString(), i);
        (void)ReadAttribute(doc, keys::Template, QStringLiteral("name"), QString(), i, 99);
    }
    AppendElement(doc, keys::TemplateList, QStringLiteral("Template"),
                  QStringLiteral("<b>%t(name)</b> & \"x\""));
    AddAttribute(doc, keys::Template, QStringLiteral("name"), QStringLiteral("名称"),
                 CountNodes(doc, keys::Template) - 1);
    WriteAttribute(doc, keys::FormMain, QStringLiteral("Width"), QStringLiteral("800"));
    if (n > 0) {
        RemoveElement(doc, keys::TemplateList, QStringLiteral("Template"), 0);
    }
    const int templates = CountNodes(doc, keys::Template);
    if (!store.Save()) {
        return 0;
    }
    SettingsStore again;
    if (!again.LoadSettings(path)) {
        abort(); // a saved settings file must always load again
    }
    if (CountNodes(again.Root(), keys::Template) != templates) {
        abort();
    }
    return 0;
}
