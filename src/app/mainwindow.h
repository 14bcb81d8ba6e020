#pragma once
// Form_Main, the main window: the folder address, the retrieval commands,
// the format template and its list of frequently used templates, the
// scrolled list of link rows and the combined block of all links.
//
// Controls are placed absolutely, in pixels, and moved by the window's own
// layout whenever its size changes. The link rows are four control groups
// whose element 0 is the hidden template row; rows 1 to n are plain controls
// that borrow widgets from a small pool only while they can be seen, so a
// listing of ten thousand files costs ten thousand rows of figures and texts
// but only a screenful of widgets.

#include "app/control.h"
#include "app/skin.h"
#include "net/http.h"
#include "share/pipeline.h"

#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace zandorel {
class SDPage;
}

namespace zandorel::app {

class CaptionLabel;
class Program;

class MainWindow : public QWidget, public SkinnedWindow {
    Q_OBJECT

public:
    MainWindow(Program& program, int slot);
    ~MainWindow() override;

    int Slot() const { return slot_; }
    Program& program() const { return program_; }
    // The load steps, run once before the window is first shown.
    void Load();
    // True once the window has run its unload steps.
    bool Unloaded() const { return unloaded_; }

    // SkinnedWindow
    QString WindowName() const override { return QStringLiteral("Form_Main"); }
    QWidget* WindowWidget() override { return this; }
    QList<Control*> Controls() const override;
    bool IsControlArray(const QString& name) const override;

    // A control by name; for a control group, its element `index`. Null when
    // there is none.
    Control* FindControl(const QString& name, int index = -1) const;
    // The same for a control that must exist; raises std::out_of_range otherwise.
    Control& Ctl(const QString& name, int index = -1) const;

    // The link rows, 1 to LinkRowCount(); element 0 is the template row.
    int LinkRowCount() const { return static_cast<int>(rows_.size()); }
    Control& Label_Link(int index) const;
    Control& Label_LinkWarn(int index) const;
    Control& Text_Link(int index) const;
    Control& Command_Link_AllValue(int index) const;
    int RowPitch() const { return rowPitch_; }

    // The window's share page object; null until a command needs one.
    std::shared_ptr<SDPage> Page() const { return page_; }

    // Commands, as the buttons, the list and the timer run them.
    void Command_Get_Click();
    void Command_GetFromURL_Click();
    void Command_GetFromFile_Click();
    void Command_CreatLinkList_Click();
    void Command_AddToList_Click();
    void Command_DelToList_Click();
    void Command_ListUp_Click();
    void Command_ListDown_Click();
    void List_CodeList_Click();
    void Command_Link_AllValue_Click(int index);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command_Exit_Click();
    void Command_NewWindow_Click();
    void Command_Updata_Click();
    void Timer_Update_Timer();

    // The link list.
    void FillLinkList(const std::shared_ptr<SDPage>& page);
    void CreateLinkRows(int count);
    void ClearLinkRows();

    // The template list.
    void LoadTemplateList();
    void SaveTemplateList();

    // The layout.
    void LayoutMainWindow();
    void LayoutLinkRows();
    void ScrollLinkList();

    // Rows that have widgets at the moment, in increasing order.
    QList<int> RowsWithWidgets() const;
    // The widget now showing element `index` of a link-row group, or null.
    QWidget* RowWidget(const QString& group, int index) const;

    // The controls Tab stops at, in the order it visits them: where they
    // stand, top to bottom and left to right; Text_Link0 stands for the
    // link rows.
    QList<const Control*> TabStops() const;

    // True while a retrieval of this window waits.
    bool Retrieving() const { return waits_ > 0; }
    // Stops every retrieval of this window that waits; each ends quietly.
    void StopRetrievals();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    class Busy;
    class WaitCursor;
    // Told: the failure was told to the user already.
    enum class Retrieval { Done, Failed, Cancelled, Told };

    // The widgets lent to one visible link row.
    struct RowWidgets {
        CaptionLabel* label = nullptr;
        CaptionLabel* warn = nullptr;
        QLineEdit* text = nullptr;
        QPushButton* button = nullptr;
        int row = 0; // 0 while idle
    };

    // Link row i: element i of the four control groups, loaded from element 0.
    struct RowControls {
        RowControls(const MainWindow& window, int index);
        Control label;  // Label_Link(i)
        Control warn;   // Label_LinkWarn(i)
        Control text;   // Text_Link(i)
        Control button; // Command_Link_AllValue(i)
        RowWidgets* widgets = nullptr;
    };

    // Shows the busy pointer over the whole window while a retrieval waits
    // and the mouse is over the window; takes it away otherwise.
    void updateBusyPointer();
    void createControls();
    QObject* newWidget(ControlKind kind, const QString& name, QWidget* parent);
    void setTabOrder();
    void unload();
    bool gone() const;

    // Retrieval helpers.
    std::shared_ptr<SDPage> pageForRetrieval();
    HttpOptions fetchOptions() const;
    // `dumpPath` gets the path of the extraction dump written, if any.
    Retrieval retrieve(const std::shared_ptr<SDPage>& page, const ListingSource& source, QString& dumpPath);
    QString reportFailedStep(const Listing& listing);
    bool retrieveAndFill(const std::shared_ptr<SDPage>& page, const ListingSource& source,
                         const std::function<void()>& finish = {});
    void createLinkListSteps(const QString& dumpPath = QString());
    void fillLinkListReporting(const std::shared_ptr<SDPage>& page);
    void showEmptyListing(const QString& dumpPath = QString());
    void reportRemoteProblem(const Listing& listing);
    void showProgress(const RemoteProgress& progress);

    // The template list.
    QListWidget* templateList() const;
    int selectedTemplate() const; // -1 when none is selected
    void showTemplateNames();
    void selectTemplate(int index);

    // The link-row widgets.
    void syncLinkPane();
    RowWidgets* takeRowWidgets();
    void lendRowWidgets(int row, RowWidgets* widgets, QPoint origin);
    void returnRowWidgets(RowWidgets* widgets);
    bool holdsFocus(const RowWidgets* widgets) const;
    // Scrolls the link list so that the row, or at least `control` of it, is in sight.
    void showRow(int row, const Control* control = nullptr);
    // Tab and Backtab through the rows: the text box and "?" of each row,
    // top to bottom. `part` 0 is the text box, 1 the button.
    bool focusRowStop(int row, int part, bool next);
    bool nextRowStop(int& row, int& part, bool next) const;
    RowWidgets* rowWidgetsOf(const QObject* widget) const;

    Program& program_;
    int slot_;
    bool unloaded_ = false;
    int busy_ = 0;
    int waits_ = 0;
    bool busyPointer_ = false;
    bool shown_ = false;
    std::shared_ptr<CancelToken> fetchCancel_;
    bool checkingForUpdate_ = false;
    int rowPitch_ = 71;

    std::vector<std::unique_ptr<Control>> controls_; // design order
    Control* Label_URL_ = nullptr;
    Control* Text_URL_ = nullptr;
    Control* Command_Get_ = nullptr;
    Control* Command_Exit_ = nullptr;
    Control* Command_Updata_ = nullptr;
    Control* Label_CodeFormat_ = nullptr;
    Control* Text_CodeFormat_ = nullptr;
    Control* Picture_LinkList_Out_ = nullptr;
    Control* Command_NewWindow_ = nullptr;
    Control* List_CodeList_ = nullptr;
    Control* Label_CodeList_ = nullptr;
    Control* Text_AllLinkCode_ = nullptr;
    Control* Label_AllLinkCode_ = nullptr;
    Control* VScroll_LinkList_ = nullptr;
    Control* Label_LinkList_ = nullptr;
    Control* Command1_ = nullptr;
    Control* Command2_ = nullptr;
    Control* Picture_LinkList_In_ = nullptr;
    Control* Text_Link0_ = nullptr;
    Control* Label_LinkWarn0_ = nullptr;
    Control* Label_Link0_ = nullptr;
    Control* Command3_ = nullptr;
    Control* Command_AddToList_ = nullptr;
    Control* Command_DelToList_ = nullptr;
    Control* Command_ListUp_ = nullptr;
    Control* Command_ListDown_ = nullptr;
    Control* Command_Link_AllValue0_ = nullptr;
    Control* Command_GetFromURL_ = nullptr;
    Control* Command_GetFromFile_ = nullptr;
    Control* Command_CreatLinkList_ = nullptr;
    Control* Timer_Update_ = nullptr;
    Control* Check_SubFolders_ = nullptr;
    Control* Check_PublicLinks_ = nullptr;

    QWidget* frameClient_ = nullptr; // the inner area of Picture_LinkList_Out
    QWidget* paneWidget_ = nullptr;  // the visible part of Picture_LinkList_In

    std::deque<RowControls> rows_;
    std::vector<std::unique_ptr<RowWidgets>> pool_;
    std::vector<RowWidgets*> idle_;

    QString listCaption_; // the label above the list, while it tells the progress
    QString linkNote_;    // what the last retrieval has to tell of its links
    QString linkNoteTitle_;
    std::shared_ptr<SDPage> page_;
    std::shared_ptr<SDPage> shownPage_; // the listing the rows show
    std::unordered_multiset<const SDPage*> retrieving_;
};

} // namespace zandorel::app
