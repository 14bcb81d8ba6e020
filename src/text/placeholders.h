#pragma once
// Placeholders filled at the moment a text is used:
//   %NAME%     path variables (program facts, environment), for picture paths
//   %t(NAME)   a property of one file of a share page
//   %s(NAME)   program facts and environment variables
// Names in markers are matched without regard to case; property titles are
// looked up exactly.

#include <QString>

namespace zandorel {

class SDPage;

// No expansion makes a text longer than this many characters.
constexpr qsizetype MaxExpandedLength = 4 * 1024 * 1024;

// Expanded, absolute, normalised path. Every path variable ends with a
// separator; a relative result is taken from the program's folder.
QString ExpandPath(const QString& path);

// Fills %t(...) from file `position` (1-based) of the page; %t(fileIndex) is
// the position itself. Raises std::out_of_range for a position the page does
// not have, unless the template holds no placeholder.
QString ExpandFileTags(const QString& tmpl, const SDPage& page, int position);

// Fills %s(...): AppTitle, AppPath, AppEXEName, AppMajor, AppMinor,
// AppRevision, AppBeta, ResourceDir, else the environment variable of that
// name, else the name itself.
QString ExpandAppTags(const QString& text);

// ExpandFileTags, then ExpandAppTags on the result.
QString ExpandTemplate(const QString& tmpl, const SDPage& page, int position);

} // namespace zandorel
