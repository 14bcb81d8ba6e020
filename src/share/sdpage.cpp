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

}  // namespace

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
    code_.clear();
}

void SDPage::list(const QString& page) {
    code_ = ExtractListCode(page);
    AddFilesFromList(code_);
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
    qsizetype dataStart = 0;
    qsizetype dataLength = 0;
    if (!RegFirstGroup(page, QStringLiteral("var primedResponse={(.*?)};"), 1, dataStart, dataLength)) {
        dump(page);
        ReportExtractionStep(1);
        return QString();
    }
    const QStringView data = QStringView(page).mid(dataStart, dataLength);
    const qsizetype children = data.indexOf(u"\"children\":[", 0, Qt::CaseSensitive);
    if (children < 0) {
        dump(data.toString());
        ReportExtractionStep(2);
        return QString();
    }
    qsizetype open = 0;
    return BalancedView(data, u'[', u']', open, children + 1).toString();
}

void SDPage::AddFilesFromList(QStringView listing) {
    qsizetype start = 1;
    while (true) {
        qsizetype open = 0;
        const QStringView object = BalancedView(listing, u'{', u'}', open, start);
        if (object.isEmpty()) {
            break;
        }
        Files().Add(object.toString());
        start = open + object.size() + 1;
    }
}

}  // namespace zandorel
