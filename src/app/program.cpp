#include "app/program.h"

#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/location.h"
#include "share/diagnostics.h"
#include "text/placeholders.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>

namespace zandorel::app {
namespace {

Program*& current() {
    static Program* program = nullptr;
    return program;
}

} // namespace

bool DevelopmentRun() {
#ifdef ZANDOREL_DEVELOPMENT_RUN
    return true;
#else
    return false;
#endif
}

Program::Program(Dialogs& dialogs) : dialogs_(dialogs) {
    current() = this;
}

Program::~Program() {
    instance_.reset();
    for (const QPointer<MainWindow>& window : windows_) {
        delete window.data();
    }
    if (current() == this) {
        current() = nullptr;
    }
}

Program* Program::Current() {
    return current();
}

bool Program::Start(const QString& configPath) {
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        gui->setQuitOnLastWindowClosed(false); // the last unload ends the program
    }
    SettingsStore& settings = SettingsStore::Instance();
    QString path = configPath;
    if (path.isEmpty()) {
        const SettingsFileChoice choice = prepareSettingsFile();
        if (!choice.problem.isEmpty()) {
            qWarning().noquote() << "Zandorel:" << choice.problem;
        }
        path = choice.path;
    }
    // One program per settings file: a later start opens its window in the
    // program that owns the file.
    instance_ = std::make_unique<SingleInstance>(path, [this] {
        MainWindow* window = OpenMainWindow();
        if (!window) {
            return -1;
        }
        window->raise();
        window->activateWindow();
        return window->Slot();
    });
    if (instance_->Claim() == SingleInstance::Role::Forwarded) {
        forwarded_ = true;
        return false;
    }
    if (!settings.LoadSettings(path)) {
        const QString fileName = QFileInfo(settings.ConfigPath()).fileName();
        dialogs_.message(nullptr, LoadErrorMessage(fileName, QDateTime::currentDateTime()),
                         QStringLiteral("Zandorel"), Dialogs::Icon::Critical, Dialogs::Buttons::Ok);
        return false;
    }
    OpenMainWindow();
    return true;
}

MainWindow* Program::OpenMainWindow() {
    if (ended_) {
        return nullptr;
    }
    const int slot = static_cast<int>(windows_.size());
    auto* window = new MainWindow(*this, slot);
    window->Load();
    window->show();
    windows_.emplace_back(window);
    ++openWindows_;
    const QString caption = ReadAttribute(SettingsStore::Instance().Root(), keys::FormMain, keys::Caption,
                                          keys::FormMainCaptionDefault);
    window->setWindowTitle(ExpandAppTags(caption) + QString::number(slot));
    return window;
}

void Program::EnableStepMessages() {
    stepMessages_ = true;
}

MainWindow* Program::Window(int slot) const {
    if (slot < 0 || slot >= static_cast<int>(windows_.size())) {
        return nullptr;
    }
    MainWindow* window = windows_[static_cast<size_t>(slot)].data();
    return window && !window->Unloaded() ? window : nullptr;
}

QList<MainWindow*> Program::OpenWindows() const {
    QList<MainWindow*> open;
    for (int slot = 0; slot < static_cast<int>(windows_.size()); ++slot) {
        if (MainWindow* window = Window(slot)) {
            open.append(window);
        }
    }
    return open;
}

QString Program::UpdateCheckAddress() const {
    return updateCheckAddress_.isEmpty() ? SettingsStore::Instance().UpdateCheckURL() : updateCheckAddress_;
}

void Program::MainWindowUnloaded() {
    if (openWindows_ > 0) {
        --openWindows_;
    }
}

void Program::SaveSettingsAndEnd() {
    if (ended_) {
        return;
    }
    ended_ = true;
    SettingsStore& store = SettingsStore::Instance();
    const bool saved = store.Save();
    // A start from now on finds no owner and reads the file as saved here.
    if (instance_) {
        instance_->Close();
    }
    const pugi::xml_node settings = store.Root();
    if (!saved) {
        const QString text = ReadNodeText(settings, keys::SaveConfigError, keys::SaveConfigErrorDefault);
        const QString title =
            ReadAttribute(settings, keys::SaveConfigError, keys::Title, keys::SaveConfigErrorTitleDefault);
        dialogs_.message(nullptr, ExpandAppTags(text), ExpandAppTags(title), Dialogs::Icon::Critical,
                         Dialogs::Buttons::Ok);
    } else if (store.LastSaveMerged()) {
        const QString text = ReadNodeText(settings, keys::SaveConfigMerged, keys::SaveConfigMergedDefault);
        const QString title =
            ReadAttribute(settings, keys::SaveConfigMerged, keys::Title, keys::SaveConfigMergedTitleDefault);
        dialogs_.message(nullptr, ExpandAppTags(text), ExpandAppTags(title), Dialogs::Icon::Information,
                         Dialogs::Buttons::Ok);
    }
    // Every event loop returns, the waits of running fetches included.
    QCoreApplication::exit(0);
}

} // namespace zandorel::app
