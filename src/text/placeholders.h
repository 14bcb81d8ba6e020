#pragma once
// Placeholders filled at the moment a text is used:
//   %NAME%     path variables (program facts, environment), for picture paths
//   %s(NAME)   program facts and environment variables
// and the one-pass reading of templates that also name a file's properties
// (%t, %v, %h, %u; filled by share/filetags). Names in markers are matched
// without regard to case; property titles are looked up exactly.

#include "text/appinfo.h"

#include <QString>
#include <QStringView>
#include <vector>

namespace zandorel {

// No expansion makes a text longer than this many characters.
constexpr qsizetype MaxExpandedLength = qsizetype{4} * 1024 * 1024;

// Expanded, absolute, normalised path. Every path variable ends with a
// separator; a relative result is taken from the program's folder.
QString ExpandPath(const QString& path);

// Fills %s(...): AppTitle, AppPath, AppEXEName, AppMajor, AppMinor,
// AppRevision, AppBeta, ResourceDir, else the environment variable of that
// name, else the name itself. The program facts are this process's.
QString ExpandAppTags(const QString& text);

// The value %s(NAME) gives, with the program facts of `app`.
QString AppTagValue(const QString& name, const AppInfo& app);

// One placeholder of a template: %x(NAME), x a family letter in either case
// (and the long s, which Unicode folds to s), NAME one or more letters,
// digits, underscores and dots.
struct PlaceholderToken {
    qsizetype start = 0;  // of the %
    qsizetype length = 0; // up to and with the closing parenthesis
    char16_t family = 0;  // the family letter, lower case
    QStringView name;
};

// The placeholders of the given families (lower-case letters, such as
// u"tvhu") in `text`, left to right. One pass: placeholders never overlap.
std::vector<PlaceholderToken> FindPlaceholders(QStringView text, QStringView families);

} // namespace zandorel
