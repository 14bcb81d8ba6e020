// The main window's layout: the right-hand column and the bottom buttons
// follow the right and bottom edges, the text boxes and the link-list frame
// take the room that is left; and the order Tab visits the controls in.

#include "app/layoutfigures.h"
#include "app/maindesign.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QResizeEvent>
#include <algorithm>

namespace zandorel::app {

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutMainWindow();
}

void MainWindow::LayoutMainWindow() {
    const double h = Whole(height());
    const int32_t band = layoutRightColumn(Whole(width()), h);
    layoutAddressAndFormat();

    Control& frame = ctl<"Picture_LinkList_Out">();
    Control& bar = ctl<"VScroll_LinkList">();
    const Control& allLinks = ctl<"Text_AllLinkCode">();
    if (allLinks.Left() - 8 > ctl<"Command_Updata">().Left()) {
        // The bottom buttons reach into the left column: the frame ends above them.
        frame.SetHeight(NonNegative(h - frame.Top() - band - 16));
    } else {
        frame.SetHeight(NonNegative(h - frame.Top() - 8));
    }
    frame.SetWidth(NonNegative(allLinks.Left() - frame.Left() - 8));
    ctl<"Label_LinkList">().SetWidth(frame.Width());
    bar.SetLeft(frame.ScaleWidth() - bar.Width());
    bar.SetHeight(frame.ScaleHeight() - bar.Top());
    links_->LayoutLinkRows();
}

// The template list with its buttons, the combined block and the bottom
// buttons, along the right and bottom edges of a `w` by `h` window. The
// height of the strip the bottom buttons stand in.
int32_t MainWindow::layoutRightColumn(double w, double h) {
    Control& listUp = ctl<"Command_ListUp">();
    Control& list = ctl<"List_CodeList">();
    Control& allLinks = ctl<"Text_AllLinkCode">();
    Control& exit = ctl<"Command_Exit">();
    Control& newWindow = ctl<"Command_NewWindow">();
    Control& update = ctl<"Command_Updata">();

    listUp.SetLeft(w - listUp.Width() - 8);
    ctl<"Command_ListDown">().SetLeft(listUp.Left());
    list.SetLeft(listUp.Left() - list.Width()); // the list touches the arrow buttons
    ctl<"Label_CodeList">().SetLeft(list.Left());
    ctl<"Label_CodeList">().SetWidth(list.Width());
    allLinks.SetLeft(w - allLinks.Width() - 8);
    ctl<"Label_AllLinkCode">().SetLeft(allLinks.Left());
    ctl<"Label_AllLinkCode">().SetWidth(allLinks.Width());
    exit.SetLeft(w - exit.Width() - 8);
    newWindow.SetLeft(exit.Left() - newWindow.Width() - 16);
    update.SetLeft(newWindow.Left() - update.Width() - 16);

    // The bottom buttons stand centred in a strip as high as the tallest of
    // them, 8 above the bottom edge.
    int32_t band = WholeLong(exit.Height());
    if (WholeLong(newWindow.Height()) > band) {
        band = WholeLong(newWindow.Height());
    }
    if (WholeLong(update.Height()) > band) {
        band = WholeLong(update.Height());
    }
    for (Control* bottom : {&exit, &newWindow, &update}) {
        bottom->SetTop((h - band) - (bottom->Height() - band) / 2 - 8);
    }
    allLinks.SetHeight(NonNegative(h - allLinks.Top() - band - 16));
    return band;
}

// The retrieval buttons left of the template list, and the address and
// format boxes with their labels up to them.
void MainWindow::layoutAddressAndFormat() {
    const double list = ctl<"List_CodeList">().Left();
    Control& get = ctl<"Command_Get">();
    Control& fromFile = ctl<"Command_GetFromFile">();
    Control& fromURL = ctl<"Command_GetFromURL">();
    Control& add = ctl<"Command_AddToList">();
    Control& create = ctl<"Command_CreatLinkList">();
    Control& address = ctl<"Text_URL">();
    Control& format = ctl<"Text_CodeFormat">();
    Control& formatLabel = ctl<"Label_CodeFormat">();

    get.SetLeft(list - get.Width() - 8);
    fromFile.SetLeft(list - fromFile.Width() - 8);
    fromURL.SetLeft(fromFile.Left() - fromURL.Width() - 8);
    add.SetLeft(list);
    ctl<"Command_DelToList">().SetLeft(add.Left() + add.Width() + 8);
    create.SetLeft(list - create.Width() - 8);
    address.SetWidth(NonNegative(get.Left() - address.Left() - 8));
    ctl<"Label_URL">().SetWidth(address.Width());
    format.SetWidth(NonNegative(create.Left() - format.Left() - 8));
    formatLabel.SetWidth(format.Width());
    // The listing options stand under the address box, right-aligned with
    // "提取源代码"; the format box's label ends before them where they share a line.
    Control& links = ctl<"Check_PublicLinks">();
    Control& subFolders = ctl<"Check_SubFolders">();
    links.SetLeft(get.Left() + get.Width() - links.Width());
    subFolders.SetLeft(links.Left() - subFolders.Width() - 8);
    for (const Control* option : {&subFolders, &links}) {
        if (option->Visible() && option->Top() < formatLabel.Top() + formatLabel.Height() &&
            formatLabel.Top() < option->Top() + option->Height()) {
            formatLabel.SetWidth(
                std::min(formatLabel.Width(), NonNegative(option->Left() - formatLabel.Left() - 8)));
        }
    }
}

// Tab visits the controls in the window's tab order, where the link rows
// stand as one block at the place of their template row: the text box and
// the "?" of row 1, then of row 2, and so on, whatever rows have widgets.
// The controls that Tab stops at, in reading order of where they stand now:
// lines from top to bottom, each from left to right. A line is every
// control that begins above the middle of the line's first control, so a
// tall control (the template list) shares its line with the boxes beside
// it. The link rows stand where their frame stands, as Text_Link0; the
// controls of a group stay out.
QList<const Control*> MainWindow::TabStops() const {
    struct Stop {
        const Control* control;
        QRect rect;
    };
    QList<Stop> stops;
    const bool rowsShown = ctl<"Picture_LinkList_Out">().Visible() && ctl<"Picture_LinkList_In">().Visible();
    for (const auto& owned : controls_) {
        const Control* control = owned.get();
        if (control == &ctl<"Text_Link">()) {
            if (rowsShown) {
                const QWidget* frame = ctl<"Picture_LinkList_Out">().Widget();
                stops.append({control, QRect(frame->mapTo(this, QPoint(0, 0)), frame->size())});
            }
            continue;
        }
        QWidget* widget = control->Widget();
        if (control->InGroup() || !widget || !(widget->focusPolicy() & Qt::TabFocus) ||
            !widget->isEnabled() || !widget->isVisibleTo(this)) {
            continue;
        }
        stops.append({control, QRect(widget->mapTo(this, QPoint(0, 0)), widget->size())});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        return a.rect.top() != b.rect.top() ? a.rect.top() < b.rect.top() : a.rect.left() < b.rect.left();
    });
    QList<const Control*> order;
    for (qsizetype first = 0; first < stops.size();) {
        const int middle = stops[first].rect.top() + stops[first].rect.height() / 2;
        qsizetype end = first + 1;
        while (end < stops.size() && stops[end].rect.top() < middle) {
            ++end;
        }
        std::stable_sort(stops.begin() + first, stops.begin() + end,
                         [](const Stop& a, const Stop& b) { return a.rect.left() < b.rect.left(); });
        for (qsizetype i = first; i < end; ++i) {
            order.append(stops[i].control);
        }
        first = end;
    }
    return order;
}

// Tab through the link rows is the link list's; the window hands the focus
// to it at the rows' place and takes it back past their ends.
bool MainWindow::focusNextPrevChild(bool next) {
    QList<QWidget*> stops; // null: the block of link rows
    for (const Control* control : TabStops()) {
        stops.append(control == &ctl<"Text_Link">() ? nullptr : control->Widget());
    }
    const qsizetype count = stops.size();
    if (count == 0) {
        return QWidget::focusNextPrevChild(next);
    }

    QWidget* focus = QApplication::focusWidget();
    qsizetype at = -1;
    if (links_->InRows(focus)) {
        if (links_->FocusNextRowStop(focus, next)) {
            return true;
        }
        // Past the last row (or before the first): on from the block.
        at = stops.lastIndexOf(nullptr);
    } else if (focus) {
        at = stops.lastIndexOf(focus);
    }
    if (at < 0) {
        return QWidget::focusNextPrevChild(next);
    }
    for (qsizetype step = 1; step <= count; ++step) {
        QWidget* stop = stops[((at + (next ? step : -step)) % count + count) % count];
        if (stop) {
            stop->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
        if (links_->FocusFirstRowStop(next)) {
            return true;
        }
    }
    return true;
}

} // namespace zandorel::app
