#pragma once
// The test build tells the tester which extraction step failed. The core
// only calls the reporter; the program that wants the messages installs one.

#include <QString>
#include <functional>
#include <pugixml.hpp>

namespace zandorel {

// step 1: the page holds no script data; step 2: the script data holds no
// folder list. Called after the dump has been written.
using StepReporter = std::function<void(int step)>;

void SetStepReporter(StepReporter reporter);
void ReportExtractionStep(int step);

// The message text for a failed step, read from the settings and expanded.
QString StepErrorText(pugi::xml_node settings, int step);
// The message box title for a failed step: "Step 1 Error" or "Step 2 Error".
QString StepErrorTitle(int step);

} // namespace zandorel
