#pragma once
// The link list of a main window: the rows of links inside the frame
// Picture_LinkList_Out, the pane Picture_LinkList_In that scrolls inside it
// by VScroll_LinkList, and the combined block Text_AllLinkCode.
//
// The link rows are four control groups whose element 0 is the hidden
// template row; rows 1 to n are plain controls that borrow widgets from a
// small pool only while they can be seen, so a listing of ten thousand files
// costs ten thousand rows of figures and texts but only a screenful of
// widgets. The rows are placed one row pitch apart.

#include "app/control.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QLineEdit;
class QPushButton;
class QWidget;

namespace zandorel {
class SDPage;
}

namespace zandorel::app {

class CaptionLabel;
class Program;

class LinkListView : public QObject {
    Q_OBJECT

public:
    struct Controls {
        Control& frame;  // Picture_LinkList_Out
        Control& pane;   // Picture_LinkList_In
        Control& bar;    // VScroll_LinkList
        Control& label;  // Label_Link(0)
        Control& warn;   // Label_LinkWarn(0)
        Control& text;   // Text_Link(0)
        Control& button; // Command_Link_AllValue(0)
        Control& block;  // Text_AllLinkCode
        Control& format; // Text_CodeFormat, the template the links are made with
    };

    // `frameClient` is the inner area of the frame's widget, `paneWidget`
    // the widget that shows the visible part of the pane inside it.
    LinkListView(QWidget& window, Program& program, const Controls& controls, QWidget* frameClient,
                 QWidget* paneWidget);
    ~LinkListView() override;

    // Lets go of the widgets of the rows, before the widgets go.
    void UnbindRows();

    // Runs when "?" of a row is pressed, with the row.
    void SetRowCommand(std::function<void(int)> command) { rowCommand_ = std::move(command); }

    // Fills the rows and the block from the page's listing with the template
    // in Text_CodeFormat; a template that cannot be expanded leaves the list
    // as it was.
    void FillLinkList(const std::shared_ptr<SDPage>& page);
    // The listing the rows show; null before the first fill.
    std::shared_ptr<SDPage> ShownPage() const { return shownPage_; }
    void ForgetShownPage() { shownPage_.reset(); }

    void CreateLinkRows(int count);
    void ClearLinkRows();

    // The link rows, 1 to LinkRowCount(); element 0 is the template row.
    int LinkRowCount() const { return static_cast<int>(rows_.size()); }
    Control& Label_Link(int index) const;
    Control& Label_LinkWarn(int index) const;
    Control& Text_Link(int index) const;
    Control& Command_Link_AllValue(int index) const;
    // Element `index` (1 or more) of the group `name`, or null.
    Control* RowControl(const QString& name, int index) const;

    // The distance of the rows: the template row's height and `listDistance`.
    void MeasureRowPitch(int listDistance);
    int RowPitch() const { return rowPitch_; }

    // Places the rows in the pane as wide as the frame, sets the bar's steps
    // and scrolls the pane to the bar's value.
    void LayoutLinkRows();
    void ScrollLinkList();

    // Rows that have widgets at the moment, in increasing order.
    QList<int> RowsWithWidgets() const;
    // The widget now showing element `index` of a link-row group, or null.
    QWidget* RowWidget(const QString& group, int index) const;

    // Tab through the rows: the text box and "?" of each row, top to bottom.
    // True when `focus` is a widget of a row.
    bool InRows(const QWidget* focus) const;
    // From the row widget `focus` to the next row stop; false past the last
    // (or before the first) row, where nothing moves.
    bool FocusNextRowStop(const QWidget* focus, bool next);
    // Into the rows from outside: the first stop, or with `next` false the
    // last; false when no row can take the focus.
    bool FocusFirstRowStop(bool next);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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
        RowControls(const Controls& model, int index);
        Control label;  // Label_Link(i)
        Control warn;   // Label_LinkWarn(i)
        Control text;   // Text_Link(i)
        Control button; // Command_Link_AllValue(i)
        RowWidgets* widgets = nullptr;
    };

    void tellTooLong(const QList<int>& rows);
    void syncLinkPane();
    std::pair<int, int> rowsInBand(double bandTop, double bandBottom) const;
    RowWidgets* takeRowWidgets();
    void lendRowWidgets(int row, RowWidgets* widgets, QPoint origin);
    void returnRowWidgets(RowWidgets* widgets);
    bool holdsFocus(const RowWidgets* widgets) const;
    // Scrolls the link list so that the row, or at least `control` of it, is in sight.
    void showRow(int row, const Control* control = nullptr);
    bool focusRowStop(int row, int part, bool next);
    // Moves (row, part) to the next row stop that can take the focus; false
    // when there is none in that direction. `part` 0 is the text box, 1 the button.
    bool nextRowStop(int& row, int& part, bool next) const;
    RowWidgets* rowWidgetsOf(const QObject* widget) const;
    RowControls& rowAt(int index) const;

    QWidget& window_;
    Program& program_;
    Controls c_;
    QWidget* frameClient_;
    QWidget* paneWidget_;
    std::function<void(int)> rowCommand_;
    int rowPitch_ = 71;

    std::deque<RowControls> rows_;
    std::vector<std::unique_ptr<RowWidgets>> pool_;
    std::vector<RowWidgets*> idle_;
    std::shared_ptr<SDPage> shownPage_; // the listing the rows show
};

} // namespace zandorel::app
