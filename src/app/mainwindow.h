#pragma once
// Form_Main, the main window: the folder address, the retrieval commands,
// the format template and its list of frequently used templates, the
// scrolled list of link rows and the combined block of all links.
//
// The window is made from its design table: one row per control, with its
// kind, place, design figures, tab order and the command it runs. From that
// table come the controls, the lookup by name and the wiring of every
// command. The window holds three parts and wires them: the link list view,
// the template panel and the retrieval controller, under whose guard every
// command runs. Controls are placed absolutely, in pixels, and moved by the
// window's own layout whenever its size changes.

#include "app/control.h"
#include "app/skin.h"

#include <QWidget>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zandorel::app {

class LinkListView;
class Program;
class RetrievalController;
class TemplatePanel;

// The name of a control of the design table, as a template argument.
template <std::size_t N> struct DesignName {
    char text[N];
    consteval DesignName(const char (&name)[N]) { std::copy_n(name, N, text); }
};

class MainWindow : public QWidget, public SkinnedWindow {
    Q_OBJECT

public:
    MainWindow(Program& program, int slot);
    ~MainWindow() override;

    int Slot() const { return slot_; }
    // The load steps, run once before the window is first shown.
    void Load();
    // True once the window has run its unload steps.
    bool Unloaded() const;

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

    // The window's parts.
    LinkListView& LinkList() const { return *links_; }
    TemplatePanel& Templates() const { return *templates_; }
    RetrievalController& Retrieval() const { return *retrieval_; }

    // The window's own commands, as the buttons and the timer run them; the
    // others belong to the parts.
    void Command1_Click();
    void Command2_Click();
    void Command_NewWindow_Click();
    void Command_Updata_Click();
    void Timer_Update_Timer();

    // Places the controls for the window's size.
    void LayoutMainWindow();

    // The controls Tab stops at, in the order it visits them: where they
    // stand, top to bottom and left to right; Text_Link0 stands for the
    // link rows.
    QList<const Control*> TabStops() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The control of the design table named `Name`; a name not in the table
    // does not compile.
    template <DesignName Name> Control& ctl() const;
    int32_t layoutRightColumn(double w, double h);
    void layoutAddressAndFormat();
    void createControls();
    QObject* newWidget(ControlKind kind, const QString& name, QWidget* parent);
    void connectCommands();
    void setTabOrder();
    void unload();
    void checkForUpdate();

    Program& program_;
    int slot_;
    bool shown_ = false;
    bool checkingForUpdate_ = false;

    std::vector<std::unique_ptr<Control>> controls_; // design order

    QWidget* frameClient_ = nullptr; // the inner area of Picture_LinkList_Out
    QWidget* paneWidget_ = nullptr;  // the visible part of Picture_LinkList_In

    std::unique_ptr<LinkListView> links_;
    std::unique_ptr<RetrievalController> retrieval_;
    std::unique_ptr<TemplatePanel> templates_;
};

} // namespace zandorel::app
