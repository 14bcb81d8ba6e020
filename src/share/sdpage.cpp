#include "share/sdpage.h"

namespace zandorel {

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

} // namespace zandorel
