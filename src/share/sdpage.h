#pragma once
// One shared-folder page: its text, the listing cut out of it and the file
// records of that listing. The listing is the first "children" list inside
// the page's one-line `var primedResponse={...};` statement; every object of
// that list is a file record. A page is listed, from a folder of the share
// service, an address, a saved page or page text, by the pipeline
// (ListFolder in share/pipeline.h); the page object holds its result.

#include "share/filetags.h"
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

    QString cid;
    QString id;
    // The listing text of the last retrieval; empty when nothing could be
    // extracted and when the folder's list is empty. CodeView() is the same
    // text without a copy.
    QString Code() const { return CodeView().toString(); }
    QStringView CodeView() const { return QStringView(page_).mid(codeStart_, codeLength_); }

    // Forgets the listing and its records.
    void Clear();
    // Takes a listed page: its text, the span of the listing and the records.
    void SetListing(const QString& page, qsizetype codeStart, qsizetype codeLength,
                    std::shared_ptr<zandorel::Files> files);

private:
    std::shared_ptr<zandorel::Files> files_;
    QString page_;
    qsizetype codeStart_ = 0;
    qsizetype codeLength_ = 0;
};

} // namespace zandorel
