#pragma once
// What the test build tells the tester when an extraction step fails
// (Listing::failedStep in share/pipeline.h): step 1, the page holds no
// script data; step 2, the script data holds no folder list.

#include <QString>
#include <pugixml.hpp>

namespace zandorel {

// The message text for a failed step, read from the settings and expanded.
QString StepErrorText(pugi::xml_node settings, int step);
// The message box title for a failed step: "Step 1 Error" or "Step 2 Error".
QString StepErrorTitle(int step);

} // namespace zandorel
