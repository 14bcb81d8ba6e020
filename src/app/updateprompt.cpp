#include "app/updateprompt.h"

#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/program.h"
#include "net/updatecheck.h"

namespace zandorel::app {

void CheckForUpdate(const QString& address, bool silent, MainWindow& window) {
    const UpdateOutcome outcome = FetchUpdate(address);
    Program& program = window.program();
    if (window.Unloaded() || program.Ended()) {
        return;
    }
    Dialogs& dialogs = program.dialogs();
    auto offerWebsite = [&](Dialogs::Icon icon) {
        if (dialogs.message(&window, outcome.text, outcome.title, icon, Dialogs::Buttons::YesNo) ==
                Dialogs::Answer::Yes &&
            IsOpenableWebsite(outcome.info.website)) {
            dialogs.openUrl(outcome.info.website.trimmed());
        }
    };
    switch (outcome.kind) {
    case UpdateOutcome::Failed:
        if (!silent) {
            dialogs.message(&window, outcome.text, outcome.title, Dialogs::Icon::Critical,
                            Dialogs::Buttons::Ok);
        }
        break;
    case UpdateOutcome::Newer:
        offerWebsite(Dialogs::Icon::Information);
        break;
    case UpdateOutcome::NotNewer:
        if (!silent) {
            offerWebsite(Dialogs::Icon::None);
        }
        break;
    }
}

} // namespace zandorel::app
