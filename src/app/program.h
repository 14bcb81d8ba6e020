#pragma once
// The running program: the settings document loaded at start, the main
// windows in their numbered slots, the template table and update-check flag
// they share, and the end, when the last main window closes, with the one
// save of the settings document.

#include "settings/templatelist.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

namespace zandorel::app {

class Dialogs;
class MainWindow;
class SingleInstance;

// Whether this build is a development run, which shows the test commands.
bool DevelopmentRun();

class Program {
public:
    explicit Program(Dialogs& dialogs);
    // Windows still open are discarded without their unload steps.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The program made last and not yet destroyed, or null.
    static Program* Current();

    // The start procedure: loads the settings document (from `configPath`,
    // else beside the program, else from the configuration folder, made
    // from the installed default on first start) and opens the first main
    // window. Without a usable document it shows the two-language error and
    // returns false; no window opens then. When a program already runs on
    // that settings file, it is asked to open the window instead: Start
    // returns false with Forwarded() true, and this program has nothing to do.
    bool Start(const QString& configPath = QString());
    bool Forwarded() const { return forwarded_; }

    // Opens one more main window in the next slot. Null once the program has ended.
    MainWindow* OpenMainWindow();

    Dialogs& dialogs() const { return dialogs_; }

    // The test build: each failed extraction step is reported in a message box.
    void EnableStepMessages();
    bool ShowsStepMessages() const { return stepMessages_; }

    bool ShowsTestCommands() const { return showsTestCommands_; }
    void SetShowsTestCommands(bool shows) { showsTestCommands_ = shows; }

    int OpenWindowCount() const { return openWindows_; }
    // Slots of the window list, the empty one waiting for the next window included.
    int SlotCount() const { return static_cast<int>(windows_.size()) + 1; }
    // The window in a slot, or null when it has been closed (or the slot is empty).
    MainWindow* Window(int slot) const;
    QList<MainWindow*> OpenWindows() const;

    // The process-wide template table, in settings-document order.
    TemplateList& Templates() { return templates_; }

    bool SilentUpdateCheck() const { return silentUpdateCheck_; }
    void SetSilentUpdateCheck(bool silent) { silentUpdateCheck_ = silent; }
    // The version document's address: the settings' one unless replaced.
    QString UpdateCheckAddress() const;
    void SetUpdateCheckAddress(const QString& address) { updateCheckAddress_ = address; }

    // Unload bookkeeping of a main window; at the last one the settings are
    // saved and the program ends.
    void MainWindowUnloaded();
    // Saves the settings document once, tells the user when that failed,
    // and ends the event loop; later calls do nothing.
    void SaveSettingsAndEnd();
    bool Ended() const { return ended_; }

private:
    Dialogs& dialogs_;
    std::vector<QPointer<MainWindow>> windows_;
    int openWindows_ = 0;
    TemplateList templates_;
    bool silentUpdateCheck_ = true;
    QString updateCheckAddress_;
    bool showsTestCommands_ = DevelopmentRun();
    bool stepMessages_ = false;
    bool ended_ = false;
    bool forwarded_ = false;
    std::unique_ptr<SingleInstance> instance_;
};

} // namespace zandorel::app
