#pragma once
// Where the settings document lives. The file beside the program wins when
// it exists: the portable layout and the build tree. An installed program
// (programs in <prefix>/bin, the default settings in
// <prefix>/share/zandorel/ZandorelConfig.xml) keeps each user's settings in
// the configuration folder, $XDG_CONFIG_HOME/zandorel/, made from the
// installed default on the window's first start.

#include "text/appinfo.h"

#include <QString>

namespace zandorel {

class SettingsStore;

// ZandorelConfig.xml in the program's folder.
QString settingsBesideProgram(const AppInfo& app = AppInfo::current());
// The configuration folder shared by all of Zandorel's programs:
// $XDG_CONFIG_HOME/zandorel (~/.config/zandorel). It may not exist yet.
QString userConfigFolder();
// ZandorelConfig.xml in the configuration folder.
QString userSettingsFile();
// The default settings installed with the program, found relative to it:
// <program folder>/../share/zandorel/ZandorelConfig.xml.
QString installedDefaultSettings(const AppInfo& app = AppInfo::current());

// The file the headless tools read: the one beside the program, else the
// one in the configuration folder; empty when neither exists (the built-in
// defaults apply then). Never creates anything.
QString findSettingsFile(const AppInfo& app = AppInfo::current());

struct SettingsFileChoice {
    QString path;    // the file to load and to save back to
    QString problem; // why the installed default could not be copied; empty when nothing went wrong
};

// The file the window loads: beside the program when it exists, else the
// one in the configuration folder, which is created as a copy of the
// installed default when it is missing. Without either file and without an
// installed default, `path` names the missing file beside the program and
// the load fails as it always has. A settings file that exists is never
// replaced, whatever its content.
SettingsFileChoice prepareSettingsFile(const AppInfo& app = AppInfo::current());

// The folder of the settings document in use: that of the loaded file, or,
// when the store runs on its built-in defaults, the configuration folder
// (which may not exist yet).
QString settingsFolderInUse(const SettingsStore& store);

} // namespace zandorel
