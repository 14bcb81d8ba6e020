#pragma once
// What the link list shows for a listing: per file a numbered caption, a
// warning when the file is not public and the link text from the format
// template; and the combined block of all links through the join format.

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

    // Caption, warning and join format from the settings, with their defaults.
    static LinkTemplates FromSettings(pugi::xml_node settings, const QString& codeFormat);
};

// The most characters one fill gives the window: every row's caption,
// warning and link together with the combined block. A template that would
// make more is refused before the text is made.
constexpr qsizetype MaxWindowText = qsizetype{128} * 1024 * 1024;

// Raised when a fill would pass its total limit.
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
    enum Part { Link = 1, Caption = 2, Warning = 4 };
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

// Raises OutputTooLong, before making it, when the texts of all rows and
// the block would pass `maxText` characters together.
LinkList BuildLinkList(const SDPage& page, const LinkTemplates& templates, qsizetype maxText = MaxWindowText);

// Every property of one file: "fileIndex", five blanks and the position,
// then one "Title     Value" line per property; every line ends in CR LF.
QString PropertyViewerText(const SDPage& page, int position);

} // namespace zandorel
