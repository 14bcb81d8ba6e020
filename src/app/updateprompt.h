#pragma once
// The window side of the update check: the version request, the outcome
// told to the user, and the download page opened on Yes.

#include <QString>

class QWidget;

namespace zandorel::app {

class Dialogs;
class RetrievalController;

// Fetches the version document at `address` under the window's guard (the
// window keeps serving events meanwhile). A failure or "no newer version" is
// told only when not `silent`; a newer version always. On Yes the
// document's website is opened when it is an http or https address.
// Nothing is shown when the window was closed while the request waited.
void CheckForUpdate(const QString& address, bool silent, QWidget& window, Dialogs& dialogs,
                    RetrievalController& guard);

} // namespace zandorel::app
