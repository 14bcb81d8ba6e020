// The main window's layout: the right-hand column and the bottom buttons
// follow the right and bottom edges, the text boxes and the link-list frame
// take the room that is left, and the link rows are placed one row pitch
// apart in the pane that scrolls inside the frame.

#include "app/mainwindow.h"
#include "text/stringfunctions.h"

#include <QResizeEvent>
#include <algorithm>

namespace zandorel::app {
namespace {

// whole(v) as a 32-bit figure, held at the ends of the range.
int32_t wholeLong(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(Whole(value), -2147483648.0, 2147483647.0));
}

// A size that does not go below 0.
double nonNegative(double value) {
    return MaxLong(wholeLong(value), 0);
}

// Scroll steps are 16-bit figures of at least 1.
int step(double value) {
    return static_cast<int>(std::clamp(Whole(value), 1.0, 32767.0));
}

} // namespace

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutMainWindow();
}

void MainWindow::LayoutMainWindow() {
    const double w = Whole(width());
    const double h = Whole(height());
    Control& listUp = *Command_ListUp_;
    Control& list = *List_CodeList_;
    Control& allLinks = *Text_AllLinkCode_;
    Control& exit = *Command_Exit_;
    Control& newWindow = *Command_NewWindow_;
    Control& update = *Command_Updata_;
    Control& frame = *Picture_LinkList_Out_;
    Control& bar = *VScroll_LinkList_;

    listUp.SetLeft(w - listUp.Width() - 8);
    Command_ListDown_->SetLeft(listUp.Left());
    list.SetLeft(listUp.Left() - list.Width()); // the list touches the arrow buttons
    Label_CodeList_->SetLeft(list.Left());
    Label_CodeList_->SetWidth(list.Width());
    allLinks.SetLeft(w - allLinks.Width() - 8);
    Label_AllLinkCode_->SetLeft(allLinks.Left());
    Label_AllLinkCode_->SetWidth(allLinks.Width());
    exit.SetLeft(w - exit.Width() - 8);
    newWindow.SetLeft(exit.Left() - newWindow.Width() - 16);
    update.SetLeft(newWindow.Left() - update.Width() - 16);

    // The bottom buttons stand centred in a strip as high as the tallest of
    // them, 8 above the bottom edge.
    int32_t band = wholeLong(exit.Height());
    if (wholeLong(newWindow.Height()) > band) {
        band = wholeLong(newWindow.Height());
    }
    if (wholeLong(update.Height()) > band) {
        band = wholeLong(update.Height());
    }
    for (Control* bottom : {&exit, &newWindow, &update}) {
        bottom->SetTop((h - band) - (bottom->Height() - band) / 2 - 8);
    }
    allLinks.SetHeight(nonNegative(h - allLinks.Top() - band - 16));

    Command_Get_->SetLeft(list.Left() - Command_Get_->Width() - 8);
    Command_GetFromFile_->SetLeft(list.Left() - Command_GetFromFile_->Width() - 8);
    Command_GetFromURL_->SetLeft(Command_GetFromFile_->Left() - Command_GetFromURL_->Width() - 8);
    Command_AddToList_->SetLeft(list.Left());
    Command_DelToList_->SetLeft(Command_AddToList_->Left() + Command_AddToList_->Width() + 8);
    Command_CreatLinkList_->SetLeft(list.Left() - Command_CreatLinkList_->Width() - 8);
    Text_URL_->SetWidth(nonNegative(Command_Get_->Left() - Text_URL_->Left() - 8));
    Label_URL_->SetWidth(Text_URL_->Width());
    Text_CodeFormat_->SetWidth(nonNegative(Command_CreatLinkList_->Left() - Text_CodeFormat_->Left() - 8));
    Label_CodeFormat_->SetWidth(Text_CodeFormat_->Width());
    // The listing options stand under the address box, right-aligned with
    // "提取源代码"; the format box's label ends before them where they share a line.
    Control& links = *Check_PublicLinks_;
    Control& subFolders = *Check_SubFolders_;
    links.SetLeft(Command_Get_->Left() + Command_Get_->Width() - links.Width());
    subFolders.SetLeft(links.Left() - subFolders.Width() - 8);
    const Control& label = *Label_CodeFormat_;
    for (const Control* option : {&subFolders, &links}) {
        if (option->Visible() && option->Top() < label.Top() + label.Height() &&
            label.Top() < option->Top() + option->Height()) {
            Label_CodeFormat_->SetWidth(
                std::min(Label_CodeFormat_->Width(), nonNegative(option->Left() - label.Left() - 8)));
        }
    }

    if (allLinks.Left() - 8 > update.Left()) {
        // The bottom buttons reach into the left column: the frame ends above them.
        frame.SetHeight(nonNegative(h - frame.Top() - band - 16));
    } else {
        frame.SetHeight(nonNegative(h - frame.Top() - 8));
    }
    frame.SetWidth(nonNegative(allLinks.Left() - frame.Left() - 8));
    Label_LinkList_->SetWidth(frame.Width());
    bar.SetLeft(frame.ScaleWidth() - bar.Width());
    bar.SetHeight(frame.ScaleHeight() - bar.Top());
    LayoutLinkRows();
}

void MainWindow::LayoutLinkRows() {
    const Control& frame = *Picture_LinkList_Out_;
    Control& pane = *Picture_LinkList_In_;
    Control& bar = *VScroll_LinkList_;
    pane.SetWidth(nonNegative(frame.ScaleWidth() - bar.Width() - pane.Left()));
    const double inner = Whole(pane.ScaleWidth());
    const double pitch = rowPitch_;
    for (int i = 1; i <= LinkRowCount(); ++i) {
        RowControls& row = rows_[static_cast<size_t>(i - 1)];
        row.button.SetLeft(inner - row.button.Width()); // at the pane's right edge
        row.label.SetWidth(nonNegative(inner - row.label.Left()));
        row.warn.SetWidth(nonNegative(inner - row.warn.Left()));
        row.text.SetWidth(nonNegative(row.button.Left() - row.text.Left())); // up to the button, no gap
        const double shift = (i - 1) * pitch;
        row.label.SetTop(Label_Link0_->Top() + shift);
        row.warn.SetTop(Label_LinkWarn0_->Top() + shift);
        row.text.SetTop(Text_Link0_->Top() + shift);
        row.button.SetTop(row.text.Top());
    }
    pane.SetHeight(Label_Link0_->Top() + pitch * LinkRowCount());
    if (pane.Height() <= frame.ScaleHeight()) {
        // The rows fit: the pane fills the frame and nothing scrolls.
        pane.SetHeight(frame.ScaleHeight());
        bar.SetEnabled(false);
    } else {
        bar.SetEnabled(true);
        const double hidden = nonNegative(pane.Height() - frame.ScaleHeight());
        bar.SetLargeChange(step(bar.Max() / (hidden / 1000 + 1)));
        bar.SetSmallChange(step(bar.Max() / (hidden / 100 + 10)));
    }
    ScrollLinkList();
}

void MainWindow::ScrollLinkList() {
    const Control& frame = *Picture_LinkList_Out_;
    Control& pane = *Picture_LinkList_In_;
    const Control& bar = *VScroll_LinkList_;
    const double hidden = nonNegative(pane.Height() - frame.ScaleHeight());
    // Value 0 shows the top of the pane, Max aligns its bottom with the frame's.
    const double share = bar.Max() > 0 ? static_cast<double>(bar.Value()) / bar.Max() : 0.0;
    pane.SetTop(hidden > 0 ? -(share * hidden) : 0.0);
    syncLinkPane();
}

} // namespace zandorel::app
