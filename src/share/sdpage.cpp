#include "share/sdpage.h"

#include "net/http.h"
#include "settings/editxml.h"
#include "share/address.h"
#include "share/diagnostics.h"
#include "share/openunicode.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"
#include "text/stringfunctions.h"

namespace zandorel {
namespace {

// The dump is for inspection only: a program folder that cannot be written
// must not turn a failed extraction into a different failure.
void dump(const QString& text) {
    try {
        WriteTextFile(SDPage::DumpPath(), text);
    } catch (const FileError&) {
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

void SDPage::begin() {
    files_.reset();
    page_.clear();
    codeStart_ = codeLength_ = 0;
}

void SDPage::list(const QString& page) {
    qsizetype start = 0;
    qsizetype length = 0;
    if (ExtractListSpan(page, start, length)) {
        page_ = page;
        codeStart_ = start;
        codeLength_ = length;
    }
    AddFilesFromList();
}

void SDPage::SetCode(const QString& code) {
    page_ = code;
    codeStart_ = 0;
    codeLength_ = code.size();
}

void SDPage::GetListFromURL(const QString& URL) {
    begin();
    list(GetTextFromURL(URL));
}

void SDPage::GetListFromCode(const QString& Code) {
    begin();
    list(Code);
}

void SDPage::GetListFromID(const QString& cidValue, const QString& idValue) {
    GetListFromID(SettingsStore::Instance().ShareService(), cidValue, idValue);
}

void SDPage::GetListFromID(const QString& base, const QString& cidValue, const QString& idValue) {
    begin();
    list(GetTextFromURL(FolderURL(base, cidValue, idValue)));
}

QString SDPage::DumpPath() {
    const AppInfo app = AppInfo::current();
    return app.besideProgram(app.exeName + QStringLiteral("_error.html"));
}

QString SDPage::ExtractListCode(const QString& page) {
    qsizetype start = 0;
    qsizetype length = 0;
    return ExtractListSpan(page, start, length) ? page.mid(start, length) : QString();
}

bool SDPage::ExtractListSpan(const QString& page, qsizetype& start, qsizetype& length) {
    qsizetype dataStart = 0;
    qsizetype dataLength = 0;
    if (!RegFirstGroup(page, QStringLiteral("var primedResponse={(.*?)};"), 1, dataStart, dataLength)) {
        dump(page);
        ReportExtractionStep(1);
        return false;
    }
    const QStringView data = QStringView(page).mid(dataStart, dataLength);
    const qsizetype children = data.indexOf(u"\"children\":[", 0, Qt::CaseSensitive);
    if (children < 0) {
        dump(data.toString());
        ReportExtractionStep(2);
        return false;
    }
    qsizetype open = 0;
    const QStringView list = BalancedView(data, u'[', u']', open, children + 1);
    start = list.data() ? list.data() - page.constData() : 0;
    length = list.size();
    return !list.isEmpty();
}

// Every record keeps a span of the page text; none copies it.
void SDPage::AddFilesFromList() {
    const QStringView listing = CodeView();
    qsizetype start = 1;
    while (true) {
        qsizetype open = 0;
        const QStringView object = BalancedView(listing, u'{', u'}', open, start);
        if (object.isEmpty()) {
            break;
        }
        Files().Add(page_, codeStart_ + open, object.size());
        start = open + object.size() + 1;
    }
}

} // namespace zandorel
