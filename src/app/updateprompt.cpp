#include "app/updateprompt.h"

#include "app/dialogs.h"
#include "app/retrieval.h"
#include "net/updatecheck.h"

namespace zandorel::app {

void CheckForUpdate(const QString& address, bool silent, QWidget& window, Dialogs& dialogs,
                    RetrievalController& guard) {
    const std::optional<UpdateOutcome> fetched = guard.AfterWait([&] { return FetchUpdate(address); });
    if (!fetched) {
        return;
    }
    const UpdateOutcome& outcome = *fetched;
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
