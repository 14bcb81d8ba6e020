#pragma once
// The retrieval controller of a main window: the commands that bring a
// listing into the window (提取源代码, 自定义URL, 来自文件, 生成代码, the
// test page, "?" of a row), the page object the window keeps, the busy
// pointer and Esc while a fetch waits, and the guard every command of the
// window runs under.
//
// A fetch waits in a nested event loop, so the window's other commands, its
// timers and its closing all run while it waits. The guard keeps the window
// alive until every running command has returned, and a command for a
// window that has closed meanwhile, or for a program that has ended, does
// nothing more: Run before it starts, AfterWait after each wait.

#include "share/pipeline.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_set>

class QWidget;

namespace zandorel {
class CancelToken;
class SDPage;
} // namespace zandorel

namespace zandorel::app {

class Control;
class LinkListView;
class Program;

class RetrievalController : public QObject {
    Q_OBJECT

public:
    // The controls the commands read and the label they tell the progress in.
    struct Controls {
        Control& address;     // Text_URL
        Control& subFolders;  // Check_SubFolders
        Control& publicLinks; // Check_PublicLinks
        Control& listLabel;   // Label_LinkList
    };

    RetrievalController(QWidget& window, Program& program, LinkListView& links, const Controls& controls);
    ~RetrievalController() override;

    // ---- The guard ----

    // Runs a command of the window, unless the window has closed or the
    // program has ended. The window is not deleted before the command returns.
    void Run(const std::function<void()>& command);
    // Runs something that waits (a dialog, a fetch) for a command and gives
    // its result; none when the window closed or the program ended meanwhile.
    template <typename Wait> std::optional<std::invoke_result_t<Wait>> AfterWait(Wait&& wait) {
        auto result = wait();
        if (gone()) {
            return std::nullopt;
        }
        return result;
    }
    // Closes the window once: marks it closed, runs `unload`, and deletes the
    // window as soon as no command of it runs. Nothing runs when it was
    // closed already or the program has ended.
    void Close(const std::function<void()>& unload);
    // True once the window has closed.
    bool Closed() const { return closed_; }

    // ---- The retrieval commands ----

    void Command_Get_Click();
    void Command_GetFromURL_Click();
    void Command_GetFromFile_Click();
    void Command_CreatLinkList_Click();
    // The development run's 从文件读取(测试): the test page beside the program.
    void Command3_Click();
    // "?" of link row `index`: the property viewer of its file.
    void Command_Link_AllValue_Click(int index);

    // True while a retrieval of this window waits.
    bool Retrieving() const { return waits_ > 0; }
    // Stops every retrieval of this window that waits; each ends quietly.
    void StopRetrievals();
    // Stops the retrievals and lets go of the page object and the listing
    // the rows show: nothing waits for a page that no window will show.
    void Forget();

protected:
    // Enter, leave and hide of the window move the busy pointer; Esc stops
    // the retrievals that wait.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Busy;
    class WaitCursor;
    // Told: the failure was told to the user already.
    enum class Retrieval { Done, Failed, Cancelled, Told };

    bool gone() const;
    // Shows the busy pointer over the whole window while a retrieval waits
    // and the mouse is over the window; takes it away otherwise.
    void updateBusyPointer();
    std::shared_ptr<SDPage> pageForRetrieval();
    // `dumpPath` gets the path of the extraction dump written, if any.
    Retrieval retrieve(const std::shared_ptr<SDPage>& page, const ListingSource& source, QString& dumpPath);
    QString reportFailedStep(const Listing& listing);
    void noteLinks(const Listing& listing);
    bool retrieveAndFill(const std::shared_ptr<SDPage>& page, const ListingSource& source,
                         const std::function<void()>& finish = {});
    void createLinkListSteps(const QString& dumpPath = QString());
    void fillLinkListReporting(const std::shared_ptr<SDPage>& page);
    void showEmptyListing(const QString& dumpPath = QString());
    void reportRemoteProblem(const Listing& listing);
    void showProgress(const RemoteProgress& progress);

    QWidget& window_;
    Program& program_;
    LinkListView& links_;
    Controls controls_;

    bool closed_ = false;
    int busy_ = 0;  // commands of the window running now
    int waits_ = 0; // retrievals of the window waiting now
    bool busyPointer_ = false;
    std::shared_ptr<CancelToken> fetchCancel_;

    QString listCaption_; // the label above the list, while it tells the progress
    QString linkNote_;    // what the last retrieval has to tell of its links
    QString linkNoteTitle_;
    std::shared_ptr<SDPage> page_;
    std::unordered_multiset<const SDPage*> retrieving_;
};

} // namespace zandorel::app
