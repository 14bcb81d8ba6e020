#include "share/sdpage.h"

#include "share/diagnostics.h"
#include "share/pipeline.h"

namespace zandorel {
namespace {

// A retrieval as the page object offers it: the pipeline, then the dump and
// the step report of a failed extraction, then the source step's error.
void retrieve(SDPage& page, const ListingSource& source, const ListingOptions& options = {}) {
    const Listing listing = ListFolder(page, source, options);
    if (listing.failedStep() != 0) {
        WriteExtractionDump(listing);
        ReportExtractionStep(listing.failedStep());
    }
    if (listing.error) {
        std::rethrow_exception(listing.error);
    }
}

} // namespace

const zandorel::Files& SDPage::Files() const {
    if (!files_) {
        const_cast<SDPage*>(this)->files_ = std::make_shared<zandorel::Files>();
    }
    return *files_;
}

zandorel::Files& SDPage::Files() {
    if (!files_) {
        files_ = std::make_shared<zandorel::Files>();
    }
    return *files_;
}

void SDPage::Clear() {
    files_.reset();
    page_.clear();
    codeStart_ = codeLength_ = 0;
}

void SDPage::SetListing(const QString& page, qsizetype codeStart, qsizetype codeLength,
                        std::shared_ptr<zandorel::Files> files) {
    page_ = page;
    codeStart_ = codeStart;
    codeLength_ = codeLength;
    files_ = std::move(files);
}

void SDPage::SetCode(const QString& code) {
    page_ = code;
    codeStart_ = 0;
    codeLength_ = code.size();
}

void SDPage::GetListFromURL(const QString& URL) {
    retrieve(*this, ListingSource::url(URL));
}

void SDPage::GetListFromCode(const QString& Code) {
    retrieve(*this, ListingSource::text(Code));
}

void SDPage::GetListFromID(const QString& cidValue, const QString& idValue) {
    retrieve(*this, ListingSource::folder(cidValue, idValue));
}

void SDPage::GetListFromID(const QString& base, const QString& cidValue, const QString& idValue) {
    ListingOptions options;
    options.shareService = base;
    retrieve(*this, ListingSource::folder(cidValue, idValue), options);
}

} // namespace zandorel
