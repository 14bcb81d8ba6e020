#pragma once
// What the link list shows for a listing: per file a numbered caption, a
// warning when the file is not public and the link text from the format
// template; and the combined block of all links through the join format.
// FillLinks is the one loop that makes them, for the window and for
// zandorel-cli alike; each decides only what it keeps and how it tells the
// user of a text that is too long.

#include "share/filetags.h"

#include <QList>
#include <QString>
#include <pugixml.hpp>
#include <stdexcept>

namespace zandorel {

class SDPage;

struct LinkTemplates {
    QString codeFormat;      // the format template of the link texts
    QString captionTemplate; // after "N. " in each row's caption
    QString warnTemplate;    // shown for files that are not public
    QString joinFormat;      // turns each link into its piece of the block
    AppInfo app;             // the program facts %s(...) gives

    // Caption, warning and join format from the settings, with their defaults.
    static LinkTemplates FromSettings(pugi::xml_node settings, const QString& codeFormat, const AppInfo& app);
};

// The most characters one fill gives the window: every row's caption,
// warning and link together with the combined block. A template that would
// make more is refused before the text is made.
constexpr qsizetype MaxWindowText = qsizetype{128} * 1024 * 1024;

// Raised when a fill would pass its output limit.
class OutputTooLong : public std::length_error {
public:
    OutputTooLong() : std::length_error("the link texts together are longer than the limit") {}
};

struct LinkRow {
    QString caption;
    bool notPublic = false;
    QString warning; // empty unless notPublic
    QString link;
};

struct LinkList {
    QList<LinkRow> rows;
    QString block;
    // Files (1-based) whose link, caption or warning would pass
    // MaxExpandedLength: those texts are left empty.
    QList<int> tooLong;
};

// The templates of one fill, read once; then one file at a time, each read
// in one scan of its record.
class LinkBuilder {
public:
    // Joined: the file's piece of the combined block, made from its link.
    enum Part { Link = 1, Caption = 2, Warning = 4, Joined = 8 };
    LinkBuilder(const LinkTemplates& templates, int parts);

    // Reads file `position` (1-based) of the files.
    void Read(const Files& files, int position);
    // The digits of the file's sharingLevelValue, read as a number, are above 0; a value
    // without digits counts as public.
    bool NotPublic() const;
    // Each appends one text of the file read last; ExpansionTooLong when it
    // would pass MaxExpandedLength.
    void AppendLink(QString& out) const;
    void AppendCaption(QString& out) const; // "N. " and the caption
    void AppendWarning(QString& out) const;
    void AppendJoined(QString& out, QStringView link) const { join_.Append(out, link); }
    // What AppendJoined adds for that link.
    qsizetype JoinedSize(QStringView link) const { return join_.Size(link.size()); }

private:
    TitleSlots slots_;
    int level_;
    FileTemplate link_;
    FileTemplate caption_;
    FileTemplate warning_;
    JoinFormat join_;
    bool readsRecord_ = false;
    int position_ = 0;
};

// The texts of one file as a fill makes them; the fill reuses them from
// file to file.
struct LinkTexts {
    int position = 0; // 1-based
    QString caption;  // "N. " and the caption
    bool notPublic = false;
    QString warning; // empty unless notPublic
    QString link;
    bool tooLong = false; // a text that would pass MaxExpandedLength is left empty
};

// Where the texts of a fill go, file after file. The sink counts its own
// output, in its own units; the fill holds that count to the limit.
class LinkSink {
public:
    virtual ~LinkSink() = default;
    // The output kept so far.
    virtual qsizetype Used() const = 0;
    // A text of file `position` would pass MaxExpandedLength and is left
    // empty. Returns whether the fill goes on.
    virtual bool TooLong(int position) = 0;
    // What keeping `texts` adds to the output, the file's piece of the block
    // aside. Every character counts at least 1.
    virtual qsizetype Size(const LinkTexts& texts) const = 0;
    // The same for a piece of the block.
    virtual qsizetype Size(QStringView piece) const = 0;
    // Where the pieces of the combined block are appended (parts with Joined).
    virtual QString& Block() = 0;
    // Keeps the file's texts; `piece`, its piece of the block, is the end of
    // Block() (empty without Joined); `size` is what the Size calls gave for
    // them together.
    virtual void Keep(const LinkTexts& texts, QStringView piece, qsizetype size) = 0;
};

// The link loop: makes `parts` (LinkBuilder::Part) of every file of the page
// in order and hands them to `sink`. A text that would pass
// MaxExpandedLength is left empty, and the sink is told. The output is held
// to `maxOutput` as the sink counts it: the file whose texts would pass it
// raises OutputTooLong before the sink keeps any of them, and before its
// piece of the block is made when the piece's length alone would pass it.
// Returns false when the sink stopped the fill.
bool FillLinks(const SDPage& page, const LinkTemplates& templates, int parts, qsizetype maxOutput,
               LinkSink& sink);

// The window's fill: every part of every row and the block, counted in
// characters. Raises OutputTooLong, before making it, when the texts of all
// rows and the block would pass `maxText` characters together.
LinkList BuildLinkList(const SDPage& page, const LinkTemplates& templates, qsizetype maxText = MaxWindowText);

// Every property of one file: "fileIndex", five blanks and the position,
// then one "Title     Value" line per property; every line ends in CR LF.
QString PropertyViewerText(const SDPage& page, int position);

} // namespace zandorel
