#include "settings/location.h"

#include "settings/editxml.h"
#include "settings/keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace zandorel {
namespace {

// The folder's name below $XDG_CONFIG_HOME. Every program of Zandorel uses
// it, whatever its own application name.
const QString configFolderName = QStringLiteral("zandorel");

// Copies the installed default into place in one step, so a copy cut short
// never leaves a half-written settings file behind. The copy belongs to the
// user, who must be able to save into it, whatever the mode of the default.
QString copyDefault(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        return QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
    }
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) {
        return QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
    }
    const QString folder = QFileInfo(to).absolutePath();
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("cannot create the folder %1").arg(folder);
    }
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        return QStringLiteral("cannot create %1: %2").arg(to, target.errorString());
    }
    if (target.write(bytes) != bytes.size() || !target.commit()) {
        const QString reason = target.errorString();
        target.cancelWriting();
        return QStringLiteral("cannot write %1: %2").arg(to, reason);
    }
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return QString();
}

} // namespace

QString settingsBesideProgram(const AppInfo& app) {
    return app.besideProgram(keys::ConfigFileName);
}

QString userConfigFolder() {
    // The location an application named "zandorel" gets as its
    // AppConfigLocation; taken from the generic folder so that Zandorel,
    // Zandorel_Test and zandorel-cli share it.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return QDir::cleanPath(base + u'/' + configFolderName);
}

QString userSettingsFile() {
    return userConfigFolder() + u'/' + keys::ConfigFileName;
}

QString installedDefaultSettings(const AppInfo& app) {
    return QDir::cleanPath(app.folder + QStringLiteral("/../share/zandorel/") + keys::ConfigFileName);
}

QString findSettingsFile(const AppInfo& app) {
    for (const QString& path : {settingsBesideProgram(app), userSettingsFile()}) {
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return QString();
}

SettingsFileChoice prepareSettingsFile(const AppInfo& app) {
    const QString beside = settingsBesideProgram(app);
    if (QFileInfo::exists(beside)) {
        return {beside, QString()};
    }
    const QString user = userSettingsFile();
    if (QFileInfo::exists(user)) {
        return {user, QString()};
    }
    const QString installed = installedDefaultSettings(app);
    if (!QFileInfo(installed).isFile()) {
        return {beside, QString()};
    }
    // When the copy cannot be made the window reports the missing file
    // rather than running on the installed default, whose saves would be
    // lost or, in a folder the user may write, land in the installation.
    return {user, copyDefault(installed, user)};
}

QString settingsFolderInUse(const SettingsStore& store) {
    if (store.ConfigPath().isEmpty()) {
        return userConfigFolder();
    }
    return QFileInfo(store.ConfigPath()).absolutePath();
}

} // namespace zandorel
