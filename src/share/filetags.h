#pragma once
// Templates filled from a file's properties:
//   %t(Title)  the property as the page writes it, escapes and all
//   %v(Title)  the same with the page's string escapes decoded: what a person reads
//   %h(Title)  the %v text escaped for HTML text and quoted attributes
//   %u(Title)  the %v text percent-encoded as UTF-8, for one URL segment or value
//   %s(NAME)   program facts and environment variables (text/placeholders.h)
// fileIndex, in any letter case, is the file's number in every family. A
// template is read once, in one pass, into literal pieces and slots: what a
// placeholder inserts is never read again, so text from a page cannot reach
// the environment through %s(...) or another file placeholder.

#include "share/records.h"
#include "text/placeholders.h"

#include <QString>
#include <stdexcept>
#include <vector>

namespace zandorel {

// Raised when an expansion would pass MaxExpandedLength.
class ExpansionTooLong : public std::length_error {
public:
    ExpansionTooLong() : std::length_error("the expanded text is longer than the limit") {}
};

// The properties that the templates of one fill read, found for one record
// at a time in one scan of its object text.
class TitleSlots {
public:
    // The slot of a title (exact, letter case included), added when new.
    int Add(QStringView title);
    int Count() const { return static_cast<int>(slots_.size()); }
    // Reads every slot's value from the record's object text; a title the
    // record does not have reads as empty text.
    void Read(QStringView code);
    QStringView Value(int slot) const { return values_[static_cast<size_t>(slot)]; }

private:
    struct Slot {
        QString title;
        uint32_t hash;
    };
    std::vector<Slot> slots_;
    std::vector<QStringView> values_;
    std::vector<char> found_;
    uint64_t hashBits_ = 0; // one bit per slot hash, to pass most properties at once
    TitleIndex index_;      // slots by the hash of their folded title
    RecordScanner scanner_;
};

class FileTemplate {
public:
    FileTemplate() = default;
    // Reads the template; its property titles join `titles`. %s(...) values
    // are taken now, once, from `app` and the environment.
    FileTemplate(QStringView text, TitleSlots& titles, const AppInfo& app);

    // Whether the expansion reads any property of the file.
    bool ReadsRecord() const { return readsRecord_; }
    // Appends the expansion for the file numbered `position`, whose values
    // `titles` has read. Raises ExpansionTooLong.
    void Append(QString& out, int position, const TitleSlots& titles) const;

private:
    enum class Kind : uint8_t { Literal, Property, FileIndex };
    struct Piece {
        Kind kind;
        char16_t family; // t, v, h or u
        int slot;
        qsizetype start; // literal text in literals_
        qsizetype length;
    };
    QString literals_;
    std::vector<Piece> pieces_;
    bool readsRecord_ = false;
    bool plain_ = true; // only literals, %t(...) and fileIndex: the size is known before copying
};

// The join format of the combined block: "\r" and "\n" (typed as backslash
// sequences, either case) become CR and LF, "$1" the link text, inserted as
// it stands. Read once, used per file.
class JoinFormat {
public:
    explicit JoinFormat(QStringView format = u"$1\\r\\n");
    void Append(QString& out, QStringView link) const;
    // The length Append adds for a link of `linkSize` characters, worked out
    // before anything is copied (saturating, so it never wraps).
    qsizetype Size(qsizetype linkSize) const;

private:
    QString literals_;
    std::vector<std::pair<qsizetype, qsizetype>> pieces_; // literal spans; length -1 for the link
};

} // namespace zandorel
