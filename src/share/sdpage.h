#pragma once
// One shared-folder page. Its listing is the first "children" list inside the
// page's one-line `var primedResponse={...};` statement; every object of that
// list becomes a file record.

#include "share/records.h"

#include <QString>
#include <memory>

namespace zandorel {

// Copies of a page share its file records; a retrieval replaces the records
// of the page it runs on and never changes records another copy holds.
class SDPage {
public:
    // The records of the last retrieval; an empty collection before any.
    const zandorel::Files& Files() const;
    zandorel::Files& Files();
    void SetFiles(std::shared_ptr<zandorel::Files> files) { files_ = std::move(files); }

    // Fetches the page at the address and lists it. Raises
    // std::invalid_argument for an address that is not http or https.
    void GetListFromURL(const QString& URL);
    // Lists a page given as text; no network.
    void GetListFromCode(const QString& Code);
    // Lists the folder page of the configured share service.
    void GetListFromID(const QString& cid, const QString& id);
    // The same for an explicit service base address ("http://host:port").
    void GetListFromID(const QString& base, const QString& cid, const QString& id);

    QString cid;
    QString id;
    // The listing text of the last retrieval; empty when nothing could be
    // extracted and when the folder's list is empty. CodeView() is the same
    // text without a copy.
    QString Code() const { return CodeView().toString(); }
    QStringView CodeView() const { return QStringView(page_).mid(codeStart_, codeLength_); }
    void SetCode(const QString& code);

    // Listing text of a page, or empty text. On failure the searched text is
    // written to the dump file beside the program and the step reported.
    static QString ExtractListCode(const QString& page);
    // The same as a span of the page: false when nothing could be extracted.
    static bool ExtractListSpan(const QString& page, qsizetype& start, qsizetype& length);
    // Where failed extractions are dumped.
    static QString DumpPath();

private:
    void begin();
    void list(const QString& page);
    void AddFilesFromList();

    std::shared_ptr<zandorel::Files> files_;
    QString page_; // the page of the last retrieval; the listing and every record are spans of it
    qsizetype codeStart_ = 0;
    qsizetype codeLength_ = 0;
};

} // namespace zandorel
