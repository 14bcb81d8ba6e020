#pragma once
// Facts about the running program that texts and paths may name.

#include <QString>

namespace zandorel {

struct AppInfo {
    QString title;   // display title, "Zandorel"
    QString folder;  // folder of the program file, no trailing separator
    QString exeName; // program file name without extension
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString edition; // edition label shown after the version; may be empty

    // Facts of this process, read from its own executable path.
    static AppInfo current();
    // Replaces the facts for the rest of the process (tests and the CLI use it).
    static void override(const AppInfo& info);
    static void reset();

    // "1.0.3", followed by a blank and the edition label when there is one.
    QString versionText() const;
    // Beside the program: folder + "/" + name.
    QString besideProgram(const QString& name) const;
};

} // namespace zandorel
