#pragma once
// The one way through the program from a folder to its records:
//
//   source (a folder of the share service, an address, a saved page file,
//   page text or a folder of an rclone remote) -> page text -> script data -> listing -> file records
//
// The window and zandorel-cli both call ListFolder; it fills a page object
// and returns what happened. Telling the user, writing the dump of a failed
// extraction and reporting the failed step are the caller's. Nothing here
// reads the settings or other process-wide state: what a listing depends on
// comes in through its options, which the caller fills from its settings.

#include "net/http.h"
#include "share/address.h"
#include "share/remote.h"
#include "text/appinfo.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <vector>

namespace zandorel {

class SDPage;

struct ListingSource {
    enum class Kind { Folder, Url, File, Text, Remote };
    Kind kind = Kind::Text;
    QString value; // the address, the file path, the page text or the remote
    QString cid;   // Folder only
    QString id;

    static ListingSource folder(const QString& cid, const QString& id);
    static ListingSource url(const QString& address);
    static ListingSource file(const QString& path);
    static ListingSource text(const QString& page);
    static ListingSource remote(const QString& remote);
};

struct ListingOptions {
    QString shareService; // base address of the share service of a Folder source ("http://host:port")
    HttpOptions http;
    bool recursive = false; // every file below the folder, sub-folders included
    bool links = false;     // a remote's files get the cloud's public links
    QString expire;         // how long those links last; empty: the remote's default
    // Files listed so far (a remote's, or the entries of the share service's
    // sub-folder pages as they arrive), then links made.
    std::function<void(const RemoteProgress&)> progress;
    RcloneDaemon* rclone = nullptr; // the rclone to use; none: one for this listing
};

struct Listing {
    enum class Status {
        Listed,       // the listing was found; the page's Code may still be empty
        NoScriptData, // step 1: the page holds no `var primedResponse={...};` statement
        NoFolderList, // step 2: the script data holds no "children" list
        SourceFailed, // the page could not be had; `error` holds why
        Cancelled,    // the fetch was stopped through its cancel token; the page is as it was
    };
    Status status = Status::Listed;
    QString dumpText; // what a failed step leaves for inspection
    std::exception_ptr error;
    // A remote's listing: links that failed, and why the remote makes none
    // when links were asked for and it makes none at all.
    int linksFailed = 0;
    QString linkFailure; // the one reason all failed links gave, if they gave one
    QString noLinks;

    // 1 or 2 for a failed extraction step, else 0.
    int failedStep() const;
    // The source step's error as text.
    QString problem() const;
};

// Gets the page text from the source, then clears the page and lists the
// text into it. Never raises: the source step's errors come back as
// SourceFailed (the page cleared) or Cancelled (the page as it was).
Listing ListFolder(SDPage& page, const ListingSource& source, const ListingOptions& options = {});

// Where the script data, the listing and the file objects of a page are
// (0-based spans of the page text).
struct PageListing {
    Listing::Status status = Listing::Status::NoScriptData;
    qsizetype dataStart = 0;
    qsizetype dataLength = 0;
    qsizetype codeStart = 0; // the listing: empty when the list is empty or never closes
    qsizetype codeLength = 0;
    struct Span {
        qsizetype start;
        qsizetype length;
    };
    std::vector<Span> objects; // the inner text of each file object, in page order
};

// Cuts a page: the script data is the text between `var primedResponse={`
// (letter case ignored) and the first `};` after it on the same line; the
// listing is the inside of the first `"children":[` list in it, brackets
// counted; the file objects are its top-level `{...}` objects, braces
// counted, up to the first empty object or one that does not close. One
// forward pass; quotes are not looked at.
PageListing CutPage(QStringView page);

// The most characters of a page the extraction dump keeps: a larger text
// (a large file opened by mistake) is dumped only as far as this.
constexpr qsizetype MaxDumpChars = qsizetype{1} << 20;

// Where the text of a failed extraction goes: the file `name` in the first
// of `folders` that can be written.
struct DumpPlace {
    QString name;
    QStringList folders;
};

// The program's place for the dump: "<program>_error.html" beside the
// program, or, when the program's folder cannot be written, in the folder of
// the settings document in use (`configPath`; empty: none).
DumpPlace ExtractionDumpPlace(const AppInfo& app, const QString& configPath);

// Writes the text a failed extraction leaves to `place`. Returns the path
// written, or empty text (nothing to write, or nowhere it could be written).
// At most MaxDumpChars characters are written, and U+FFFD, which stands for
// bytes that could not be read as text, is written as "?", one byte, like
// the byte it replaced rather than as the four bytes the file's encoding
// takes for it.
QString WriteExtractionDump(const Listing& listing, const DumpPlace& place);

// Checks an address the user typed against the share service whose base
// address is `shareService` and takes the folder's cid and id out of it.
FolderAddress CheckFolderAddress(const QString& address, const QString& shareService);

} // namespace zandorel
