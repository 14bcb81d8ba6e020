#include "text/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>

namespace zandorel {
namespace {

std::optional<AppInfo>& overridden() {
    static std::optional<AppInfo> info;
    return info;
}

QString executablePath() {
    if (QCoreApplication::instance()) {
        return QCoreApplication::applicationFilePath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

} // namespace

AppInfo AppInfo::current() {
    if (overridden()) {
        return *overridden();
    }
    static const AppInfo own = [] {
        AppInfo info;
        info.title = QStringLiteral("Zandorel");
        const QFileInfo exe(executablePath());
        info.folder = QDir::cleanPath(exe.absolutePath());
        info.exeName = exe.completeBaseName();
        info.major = ZANDOREL_VERSION_MAJOR;
        info.minor = ZANDOREL_VERSION_MINOR;
        info.revision = ZANDOREL_VERSION_PATCH;
        info.edition = QStringLiteral(ZANDOREL_EDITION);
        return info;
    }();
    return own;
}

void AppInfo::override(const AppInfo& info) {
    overridden() = info;
}

void AppInfo::reset() {
    overridden().reset();
}

QString AppInfo::versionText() const {
    QString text = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
    if (!edition.isEmpty()) {
        text += u' ' + edition;
    }
    return text;
}

QString AppInfo::besideProgram(const QString& name) const {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace zandorel
