#pragma once
// Pattern helpers. Every pattern in the program is matched with letter case
// ignored, `.` stopping only at a line feed and `$` matching only at the very
// end of the text. Replacement templates know `$1`..`$99`, `$&` and `$$`; any
// other character, a backslash included, is taken literally.

#include <QList>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace zandorel {

// Raised for a pattern the engine rejects, or a match that exceeds the
// engine's limits. Callers that show the user something catch it at the
// command that started the work.
class PatternError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MatchRecord {
    QString Value;        // the matched text
    QStringList Rewrites; // one entry per rewrite template
};

// Source with every match replaced by the template.
QString RegReplace(const QString& source, const QString& pattern, const QString& replacement);

// True when the pattern matches somewhere in the source.
bool RegTest(const QString& source, const QString& pattern);

// All matched texts joined in order, or the default when nothing matches.
QString RegExtract(const QString& source, const QString& pattern, const QString& defaultText);

// Fills one record per match, each with the match text rewritten by every
// template of `rewrites` (templates separated by NUL characters; the pattern
// is run again over the match text alone). Returns the number of matches;
// with no match the records are left as they were.
int RegMatches(const QString& source, const QString& pattern, QList<MatchRecord>& records,
               const QString& rewrites);

// Span (0-based start, length) of group `group` of the first match; false
// when the pattern does not match or the group took no part. Finds the same
// text as RegMatches with the rewrite "$1" for patterns whose group is fixed
// by the match, without copying the match.
bool RegFirstGroup(const QString& source, const QString& pattern, int group, qsizetype& start,
                   qsizetype& length);

// The text added to the combined link block for one link: "\r" and "\n"
// (typed as backslash sequences, any case) become CR and LF, then every "$1"
// becomes the link text, inserted literally.
QString ExpandJoinFormat(const QString& linkText, const QString& format);

// Pattern text that matches `text` literally.
QString RegEscape(const QString& text);

} // namespace zandorel
