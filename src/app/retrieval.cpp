#include "app/retrieval.h"

#include "app/appkeys.h"
#include "app/codelistbox.h"
#include "app/control.h"
#include "app/dialogs.h"
#include "app/linklistview.h"
#include "app/program.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/diagnostics.h"
#include "share/sdpage.h"
#include "text/appinfo.h"
#include "text/placeholders.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace zandorel::app {

namespace {

QString settingText(const QString& path, const QString& defaultText) {
    return ExpandAppTags(ReadNodeText(SettingsStore::Instance().Root(), path, defaultText));
}

QString settingAttribute(const QString& path, const QString& attribute, const QString& defaultText) {
    return ExpandAppTags(ReadAttribute(SettingsStore::Instance().Root(), path, attribute, defaultText));
}

// The windows whose busy pointer shows now. Text boxes set a pointer of
// their own, which the window's cannot cover; the application's override
// pointer does, and it is set while the mouse is over a window that waits,
// and only then, so the program's other windows keep their pointers.
int& busyPointers() {
    static int count = 0;
    return count;
}

} // namespace

// While a command of the window runs, the window is not deleted: a command
// that waits (for the network, for a dialog) always comes back to a live
// window, and finds it closed if it was closed meanwhile.
class RetrievalController::Busy {
public:
    explicit Busy(RetrievalController& controller) : controller_(controller) { ++controller_.busy_; }
    ~Busy() {
        if (--controller_.busy_ == 0 && controller_.closed_) {
            controller_.window_.deleteLater();
        }
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    RetrievalController& controller_;
};

// While any retrieval of the window waits, the pointer over the window shows
// that work is going on, over every control of it, text boxes included;
// every control stays usable meanwhile.
class RetrievalController::WaitCursor {
public:
    explicit WaitCursor(RetrievalController& controller) : controller_(controller) {
        QWidget& window = controller_.window_;
        if (controller_.waits_++ == 0) {
            hadCursor_ = window.testAttribute(Qt::WA_SetCursor);
            before_ = window.cursor();
            window.setCursor(Qt::BusyCursor);
            controller_.updateBusyPointer();
        }
    }
    ~WaitCursor() {
        if (--controller_.waits_ == 0) {
            if (hadCursor_) {
                controller_.window_.setCursor(before_);
            } else {
                controller_.window_.unsetCursor();
            }
            controller_.updateBusyPointer();
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    RetrievalController& controller_;
    bool hadCursor_ = false;
    QCursor before_;
};

RetrievalController::RetrievalController(QWidget& window, Program& program, LinkListView& links,
                                         const Controls& controls)
    : window_(window), program_(program), links_(links), controls_(controls),
      fetchCancel_(std::make_shared<CancelToken>()) {
    window_.installEventFilter(this);
}

RetrievalController::~RetrievalController() {
    waits_ = 0;
    updateBusyPointer();
}

// ---- The guard ----

bool RetrievalController::gone() const {
    return closed_ || program_.Ended();
}

void RetrievalController::Run(const std::function<void()>& command) {
    const Busy busy(*this);
    if (!gone()) {
        command();
    }
}

void RetrievalController::Close(const std::function<void()>& unload) {
    if (gone()) {
        return; // once the program ends, windows are discarded without unload steps
    }
    closed_ = true;
    updateBusyPointer();
    unload();
    if (busy_ == 0) {
        window_.deleteLater();
    }
}

// ---- The busy pointer and Esc ----

void RetrievalController::updateBusyPointer() {
    const bool wanted = waits_ > 0 && !closed_ && window_.isVisible() && window_.underMouse();
    if (wanted == busyPointer_) {
        return;
    }
    busyPointer_ = wanted;
    if (wanted) {
        if (busyPointers()++ == 0) {
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        }
    } else if (--busyPointers() == 0) {
        QGuiApplication::restoreOverrideCursor();
    }
}

bool RetrievalController::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::Hide:
        updateBusyPointer();
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && Retrieving()) {
            StopRetrievals();
            event->accept();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void RetrievalController::StopRetrievals() {
    if (waits_ == 0) {
        return;
    }
    // Retrievals started after this one take a token of their own.
    const std::shared_ptr<CancelToken> stopping =
        std::exchange(fetchCancel_, std::make_shared<CancelToken>());
    stopping->Cancel();
}

void RetrievalController::Forget() {
    StopRetrievals();
    page_.reset();
    links_.ForgetShownPage();
}

// ---- Retrieval ----

std::shared_ptr<SDPage> RetrievalController::pageForRetrieval() {
    // A page object that is still waiting for its own retrieval is left to
    // it: a second retrieval on the same object would mix two listings.
    if (!page_ || retrieving_.count(page_.get()) > 0) {
        page_ = std::make_shared<SDPage>();
    }
    return page_;
}

// Lists the source into the page through the pipeline, with this window's
// fetch options, and tells what a failed extraction step leaves.
RetrievalController::Retrieval RetrievalController::retrieve(const std::shared_ptr<SDPage>& page,
                                                             const ListingSource& source, QString& dumpPath) {
    // A new retrieval supersedes any that still waits: those end quietly, as
    // at Esc, and the pointer tells only of this one.
    StopRetrievals();
    const auto mark = retrieving_.insert(page.get());
    ListingOptions options;
    options.shareService = SettingsStore::Instance().ShareService();
    options.http.cancel = fetchCancel_;
    // The check boxes beside the address: sub-folders wherever a folder is
    // listed, links where a remote is.
    const bool folder = source.kind != ListingSource::Kind::File && source.kind != ListingSource::Kind::Text;
    options.recursive = folder && controls_.subFolders.Value() != 0;
    options.links = source.kind == ListingSource::Kind::Remote && controls_.publicLinks.Value() != 0;
    // Meanwhile the label above the list tells how far the listing is.
    if (waits_ == 0) {
        listCaption_ = controls_.listLabel.Caption();
    }
    const QPointer<RetrievalController> self(this);
    options.progress = [self](const RemoteProgress& progress) {
        if (self && !self->gone()) {
            self->showProgress(progress);
        }
    };
    Listing listing;
    {
        const WaitCursor waiting(*this);
        listing = ListFolder(*page, source, options);
    }
    if (waits_ == 0) {
        controls_.listLabel.SetCaption(listCaption_);
    }
    retrieving_.erase(mark);
    dumpPath = reportFailedStep(listing);
    if (source.kind == ListingSource::Kind::Remote && listing.status == Listing::Status::SourceFailed &&
        !gone()) {
        reportRemoteProblem(listing);
        return Retrieval::Told;
    }
    noteLinks(listing);
    switch (listing.status) {
    case Listing::Status::Cancelled:
        return Retrieval::Cancelled;
    case Listing::Status::SourceFailed:
        return Retrieval::Failed; // a rejected address, an unreadable file
    default:
        return Retrieval::Done;
    }
}

// What the listing has to tell of its links, told once the rows are filled.
void RetrievalController::noteLinks(const Listing& listing) {
    linkNote_.clear();
    if (!listing.noLinks.isEmpty()) {
        linkNote_ = settingText(keys::RemoteNoLinks, keys::RemoteNoLinksDefault)
                        .replace(QStringLiteral("%1"), listing.noLinks);
        linkNoteTitle_ = settingAttribute(keys::RemoteNoLinks, keys::Title, keys::RemoteErrorTitleDefault);
    } else if (listing.linksFailed > 0) {
        linkNote_ = settingText(keys::RemoteLinksFailed, keys::RemoteLinksFailedDefault)
                        .replace(QStringLiteral("%1"), QString::number(listing.linksFailed))
                        .replace(QStringLiteral("%2"), listing.linkFailure);
        linkNoteTitle_ =
            settingAttribute(keys::RemoteLinksFailed, keys::Title, keys::RemoteErrorTitleDefault);
    }
}

// The one place a failed extraction is told: its dump is written, and the
// test build names the step that failed. The dump's path, if one was written.
QString RetrievalController::reportFailedStep(const Listing& listing) {
    const int step = listing.failedStep();
    if (step == 0) {
        return QString();
    }
    QString dumpPath = WriteExtractionDump(
        listing, ExtractionDumpPlace(AppInfo::current(), SettingsStore::Instance().ConfigPath()));
    if (program_.ShowsStepMessages() && !gone()) {
        program_.dialogs().message(&window_, StepErrorText(SettingsStore::Instance().Root(), step),
                                   StepErrorTitle(step), Dialogs::Icon::None, Dialogs::Buttons::Ok);
    }
    return dumpPath;
}

// A remote that could not be listed: rclone missing names the package to
// install; anything else names the remote and what went wrong.
void RetrievalController::reportRemoteProblem(const Listing& listing) {
    bool missing = false;
    const QString problem = listing.problem();
    try {
        std::rethrow_exception(listing.error);
    } catch (const RcloneError& e) {
        missing = e.kind() == RcloneError::Kind::Missing;
    } catch (...) {
    }
    if (missing) {
        program_.dialogs().message(
            &window_, settingText(keys::RcloneMissingError, keys::RcloneMissingErrorDefault),
            settingAttribute(keys::RcloneMissingError, keys::Title, keys::RcloneMissingErrorTitleDefault),
            Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
        return;
    }
    program_.dialogs().message(
        &window_,
        settingText(keys::RemoteError, keys::RemoteErrorDefault).replace(QStringLiteral("%1"), problem),
        settingAttribute(keys::RemoteError, keys::Title, keys::RemoteErrorTitleDefault),
        Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
}

// The message of an empty listing; where a dump of the page was written, a
// second line names its file.
void RetrievalController::showEmptyListing(const QString& dumpPath) {
    QString text = settingText(keys::GetSourceCodeError, keys::GetSourceCodeErrorDefault);
    if (!dumpPath.isEmpty()) {
        QString saved = settingText(keys::ExtractionDumpSaved, keys::ExtractionDumpSavedDefault);
        saved = saved.contains(u"%1") ? saved.arg(QDir::toNativeSeparators(dumpPath))
                                      : saved + QDir::toNativeSeparators(dumpPath);
        text += QStringLiteral("\r\n") + saved;
    }
    program_.dialogs().message(&window_, text, QString(), Dialogs::Icon::None, Dialogs::Buttons::Ok);
}

void RetrievalController::createLinkListSteps(const QString& dumpPath) {
    if (!page_) {
        page_ = std::make_shared<SDPage>();
    }
    const std::shared_ptr<SDPage> page = page_;
    if (page->Code().isEmpty() && !AfterWait([&] {
            showEmptyListing(dumpPath);
            return true;
        })) {
        return;
    }
    fillLinkListReporting(page_ ? page_ : page);
}

void RetrievalController::fillLinkListReporting(const std::shared_ptr<SDPage>& page) {
    try {
        links_.FillLinkList(page);
    } catch (const std::exception&) {
        showEmptyListing();
    }
}

// Runs a retrieval on the page, then `finish`, by default the steps of
// Command_CreatLinkList. An error the retrieval raises is told like an empty
// listing; a retrieval stopped with Esc, or a window closed while the page
// was on its way, does nothing more. False when the retrieval was stopped.
bool RetrievalController::retrieveAndFill(const std::shared_ptr<SDPage>& page, const ListingSource& source,
                                          const std::function<void()>& finish) {
    QString dumpPath;
    const Retrieval result = retrieve(page, source, dumpPath);
    // Taken at once: a retrieval started from a message below has its own.
    const QString note = std::exchange(linkNote_, QString());
    const QString noteTitle = linkNoteTitle_;
    if (result == Retrieval::Cancelled) {
        return false;
    }
    if (result == Retrieval::Told || gone()) {
        return true;
    }
    if (result == Retrieval::Failed) {
        showEmptyListing();
        return true;
    }
    if (finish) {
        finish();
    } else {
        createLinkListSteps(dumpPath);
    }
    // Links that could not be made are told once, under the filled rows.
    if (!note.isEmpty() && !gone()) {
        program_.dialogs().message(&window_, note, noteTitle, Dialogs::Icon::Exclamation,
                                   Dialogs::Buttons::Ok);
    }
    return true;
}

// Files listed so far, then links made of how many, in the label above the list.
void RetrievalController::showProgress(const RemoteProgress& progress) {
    QString text;
    if (progress.linksWanted > 0) {
        text = settingText(keys::LinkProgress, keys::LinkProgressDefault)
                   .replace(QStringLiteral("%1"), QString::number(progress.linksMade + progress.linksFailed))
                   .replace(QStringLiteral("%2"), QString::number(progress.linksWanted));
    } else {
        text = settingText(keys::ListingProgress, keys::ListingProgressDefault)
                   .replace(QStringLiteral("%1"), QString::number(progress.listed));
    }
    controls_.listLabel.SetCaption(text);
}

// ---- The commands ----

void RetrievalController::Command_Get_Click() {
    const QString typed = controls_.address.Text();
    const FolderAddress address = CheckFolderAddress(typed, SettingsStore::Instance().ShareService());
    // Not an address of the share service ("host:port/?cid=..." without its
    // scheme is one): a folder of an rclone remote ("NAME:PATH") is listed
    // through rclone.
    if (!address.valid && IsRemoteText(typed)) {
        retrieveAndFill(pageForRetrieval(), ListingSource::remote(typed.trimmed()));
        return;
    }
    if (!address.valid) {
        program_.dialogs().message(
            &window_, settingText(keys::SkyDriveURLError, keys::SkyDriveURLErrorDefault),
            settingAttribute(keys::SkyDriveURLError, keys::Title, keys::SkyDriveURLErrorTitleDefault),
            Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
        return;
    }
    const std::shared_ptr<SDPage> before = page_;
    const auto page = std::make_shared<SDPage>();
    page_ = page;
    const bool stopped = !retrieveAndFill(page, ListingSource::folder(address.cid, address.id));
    // A stopped fetch leaves the window as it was, its page object included.
    if (stopped && page_ == page) {
        page_ = before;
    }
}

void RetrievalController::Command_GetFromURL_Click() {
    const std::optional<QString> address = AfterWait([this] {
        return program_.dialogs().input(
            &window_, settingText(keys::InputCustomURL, keys::InputCustomURLDefault),
            settingAttribute(keys::InputCustomURL, keys::Title, keys::InputCustomURLTitleDefault), QString());
    });
    if (!address || address->isEmpty()) {
        return;
    }
    // The page object changes only once the page has arrived.
    retrieveAndFill(pageForRetrieval(), ListingSource::url(*address));
}

void RetrievalController::Command_GetFromFile_Click() {
    const std::optional<QString> path = AfterWait([this] {
        return program_.dialogs().openFile(
            &window_,
            settingAttribute(keys::OpenSourceCodeFile, keys::Title, keys::OpenSourceCodeFileTitleDefault),
            settingAttribute(keys::OpenSourceCodeFile, keys::Filter, keys::OpenSourceCodeFileFilterDefault));
    });
    if (!path || path->isEmpty()) {
        return;
    }
    retrieveAndFill(pageForRetrieval(), ListingSource::file(*path));
}

void RetrievalController::Command_CreatLinkList_Click() {
    createLinkListSteps();
}

void RetrievalController::Command3_Click() {
    const QString path = AppInfo::current().besideProgram(appkeys::TestPageFile);
    retrieveAndFill(pageForRetrieval(), ListingSource::file(path), [this] { fillLinkListReporting(page_); });
}

void RetrievalController::Command_Link_AllValue_Click(int index) {
    if (!page_) {
        page_ = std::make_shared<SDPage>();
    }
    // The rows show the listing of their fill; a retrieval that has begun
    // since has not changed them.
    const std::shared_ptr<SDPage> shown = links_.ShownPage();
    const std::shared_ptr<SDPage> page = shown ? shown : page_;
    if (index < 1 || index > page->Files().Count()) {
        return;
    }
    ShowPropertyViewer(&window_, *page, index);
}

} // namespace zandorel::app
