#pragma once
// The window side of the update check: the outcome of the version request
// told to the user, and the download page opened on Yes.

#include <QString>

namespace zandorel::app {

class MainWindow;

// Fetches the version document at `address` (the window keeps serving
// events meanwhile). A failure or "no newer version" is told only when not
// `silent`; a newer version always. On Yes the document's website is opened
// when it is an http or https address. Nothing is shown when the window was
// closed while the request waited.
void CheckForUpdate(const QString& address, bool silent, MainWindow& window);

} // namespace zandorel::app
