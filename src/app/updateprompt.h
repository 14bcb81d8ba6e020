#pragma once
// The window side of the update check: the outcome of the version request
// told to the user, and the download page opened on Yes.

#include "net/updatecheck.h"

class QWidget;

namespace zandorel::app {

class Dialogs;

// Tells the outcome of a version request. A failure or "no newer version" is
// told only when not `silent`; a newer version always. On Yes the document's
// website is opened when it is an http or https address.
void TellUpdateOutcome(const UpdateOutcome& outcome, bool silent, QWidget& window, Dialogs& dialogs);

} // namespace zandorel::app
