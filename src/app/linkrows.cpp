// The link rows of the main window: filling them from a listing, creating
// and clearing them, and lending widgets to the rows in sight.

#include "app/captionlabel.h"
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/memorytrim.h"
#include "app/program.h"
#include "app/selectall.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/linklist.h"
#include "share/sdpage.h"
#include "text/placeholders.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>

namespace zandorel::app {
namespace {

// The most rows that hold widgets at once, should rows ever stack up in one
// place (a row pitch of 0 or less).
constexpr int maxLentRows = 256;

int clampedRow(double row) {
    if (!std::isfinite(row)) {
        return row > 0 ? 2147483647 : -2147483647;
    }
    return static_cast<int>(std::clamp(row, -2147483647.0, 2147483647.0));
}

} // namespace

void MainWindow::FillLinkList(const std::shared_ptr<SDPage>& page) {
    // Every text is worked out before a row changes, so a template that
    // cannot be expanded leaves the list as it was.
    const LinkTemplates templates = LinkTemplates::FromSettings(SettingsStore::Instance().Root(),
                                                                Text_CodeFormat_->Text(), AppInfo::current());
    LinkList list;
    try {
        list = BuildLinkList(*page, templates);
    } catch (const OutputTooLong&) {
        const pugi::xml_node settings = SettingsStore::Instance().Root();
        program_.dialogs().message(
            this,
            ExpandAppTags(ReadNodeText(settings, keys::OutputTooLongError, keys::OutputTooLongErrorDefault)),
            ExpandAppTags(ReadAttribute(settings, keys::OutputTooLongError, keys::Title,
                                        keys::OutputTooLongErrorTitleDefault)),
            Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
        return;
    }

    ClearLinkRows();
    const int count = static_cast<int>(list.rows.size());
    CreateLinkRows(count);
    for (int i = 1; i <= count; ++i) {
        RowControls& row = rows_[static_cast<size_t>(i - 1)];
        const zandorel::LinkRow& texts = list.rows[i - 1];
        row.label.SetCaption(texts.caption);
        if (texts.notPublic) {
            row.warn.SetCaption(texts.warning);
            row.warn.SetVisible(true);
        }
        row.text.SetText(texts.link);
        row.label.SetVisible(true);
        row.text.SetVisible(true);
        row.button.SetVisible(true);
    }
    // The pieces stand in file order with the caret after the last one.
    Text_AllLinkCode_->SetText(list.block);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(Text_AllLinkCode_->Widget())) {
        edit->moveCursor(QTextCursor::End);
    }
    // A copy shares the listing's file records, which a later retrieval on
    // the page object replaces rather than changes.
    shownPage_ = std::make_shared<SDPage>(*page);
    TrimWorkingSet();
    if (!list.tooLong.isEmpty()) {
        // Those rows' texts were left empty rather than half done; one message says which.
        QStringList numbers;
        for (int i = 0; i < list.tooLong.size() && i < 20; ++i) {
            numbers << QString::number(list.tooLong[i]);
        }
        if (list.tooLong.size() > 20) {
            numbers << QStringLiteral("…");
        }
        const pugi::xml_node settings = SettingsStore::Instance().Root();
        QString text =
            ExpandAppTags(ReadNodeText(settings, keys::LinkTooLongError, keys::LinkTooLongErrorDefault));
        text.replace(QStringLiteral("%1"), numbers.join(QStringLiteral(", ")));
        program_.dialogs().message(this, text,
                                   ExpandAppTags(ReadAttribute(settings, keys::LinkTooLongError, keys::Title,
                                                               keys::LinkTooLongErrorTitleDefault)),
                                   Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
    }
}

void MainWindow::CreateLinkRows(int count) {
    Picture_LinkList_In_->SetVisible(true);
    for (int index = LinkRowCount() + 1; index <= count; ++index) {
        rows_.emplace_back(*this, index);
    }
    LayoutLinkRows();
}

void MainWindow::ClearLinkRows() {
    Picture_LinkList_In_->SetVisible(false);
    for (RowControls& row : rows_) {
        if (row.widgets) {
            returnRowWidgets(row.widgets);
        }
    }
    rows_.clear();
    LayoutLinkRows();
}

QList<int> MainWindow::RowsWithWidgets() const {
    QList<int> rows;
    for (const auto& widgets : pool_) {
        if (widgets->row > 0) {
            rows.append(widgets->row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QWidget* MainWindow::RowWidget(const QString& group, int index) const {
    const Control* control = FindControl(group, index);
    return control ? control->Widget() : nullptr;
}

bool MainWindow::holdsFocus(const RowWidgets* widgets) const {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == widgets->text || focus == widgets->button);
}

MainWindow::RowWidgets* MainWindow::takeRowWidgets() {
    if (!idle_.empty()) {
        RowWidgets* widgets = idle_.back();
        idle_.pop_back();
        return widgets;
    }
    auto widgets = std::make_unique<RowWidgets>();
    // Colours and fonts come with the row's controls when they are bound.
    auto label = [this] {
        auto* label = new CaptionLabel(paneWidget_);
        label->hide();
        return label;
    };
    widgets->label = label();
    widgets->warn = label();
    widgets->text = new QLineEdit(paneWidget_);
    widgets->text->setReadOnly(true);
    widgets->text->hide();
    InstallSelectAll(widgets->text, true);
    widgets->text->installEventFilter(this); // focus coming in shows the row
    widgets->button = new QPushButton(paneWidget_);
    widgets->button->setAutoDefault(false);
    widgets->button->hide();
    widgets->button->installEventFilter(this);
    widgets->label->SetBoundary(widgets->button); // the caption stops before the "?" column
    RowWidgets* lent = widgets.get();
    connect(widgets->button, &QPushButton::clicked, this, [this, lent] {
        if (lent->row > 0) {
            Command_Link_AllValue_Click(lent->row);
        }
    });
    pool_.push_back(std::move(widgets));
    return lent;
}

void MainWindow::lendRowWidgets(int row, RowWidgets* widgets, QPoint origin) {
    RowControls& controls = rows_[static_cast<size_t>(row - 1)];
    widgets->row = row;
    controls.widgets = widgets;
    const QString suffix = u'_' + QString::number(row);
    widgets->label->setObjectName(QStringLiteral("Label_Link") + suffix);
    widgets->warn->setObjectName(QStringLiteral("Label_LinkWarn") + suffix);
    widgets->text->setObjectName(QStringLiteral("Text_Link") + suffix);
    widgets->button->setObjectName(QStringLiteral("Command_Link_AllValue") + suffix);
    controls.label.Bind(widgets->label, origin);
    controls.warn.Bind(widgets->warn, origin);
    controls.text.Bind(widgets->text, origin);
    controls.button.Bind(widgets->button, origin);
}

void MainWindow::returnRowWidgets(RowWidgets* widgets) {
    RowControls& controls = rows_[static_cast<size_t>(widgets->row - 1)];
    controls.label.Unbind();
    controls.warn.Unbind();
    controls.text.Unbind();
    controls.button.Unbind();
    controls.widgets = nullptr;
    widgets->label->hide();
    widgets->warn->hide();
    widgets->text->hide();
    widgets->button->hide();
    widgets->row = 0;
    idle_.push_back(widgets);
}

void MainWindow::syncLinkPane() {
    const Control& frame = *Picture_LinkList_Out_;
    const Control& pane = *Picture_LinkList_In_;
    frameClient_->setGeometry(frame.BorderWidth(), frame.BorderWidth(), ToPixel(frame.ScaleWidth()),
                              ToPixel(frame.ScaleHeight()));

    // The pane widget covers only the part of the pane inside the frame;
    // `origin` is where the pane's own (0, 0) lies in that widget.
    const QRect logical(ToPixel(pane.Left()), ToPixel(pane.Top()), std::max(0, ToPixel(pane.Width())),
                        std::max(0, ToPixel(pane.Height())));
    const QRect view(0, 0, ToPixel(frame.ScaleWidth()), ToPixel(frame.ScaleHeight()));
    const QRect shown = logical.intersected(view);
    paneWidget_->setGeometry(shown.isEmpty() ? QRect(logical.topLeft(), QSize(0, 0)) : shown);
    paneWidget_->setVisible(pane.Visible());
    const QPoint origin = logical.topLeft() - paneWidget_->pos();
    for (Control* model : {Label_Link0_, Label_LinkWarn0_, Text_Link0_, Command_Link_AllValue0_}) {
        model->SetOrigin(origin);
    }

    // The rows in sight, from the pane's visible band.
    int first = 1;
    int last = 0;
    const int count = LinkRowCount();
    if (pane.Visible() && !shown.isEmpty() && count > 0) {
        const double bandTop = shown.top() - logical.top();
        const double bandBottom = bandTop + shown.height();
        const RowControls& one = rows_.front();
        double top = one.label.Top();
        double bottom = one.label.Top() + one.label.Height();
        for (const Control* control : {&one.warn, &one.text, &one.button}) {
            top = std::min(top, control->Top());
            bottom = std::max(bottom, control->Top() + control->Height());
        }
        if (rowPitch_ > 0) {
            // Row i spans [top, bottom) moved down (i - 1) pitches; one row
            // of margin on either side.
            first = std::max(1, clampedRow(std::floor((bandTop - bottom) / rowPitch_)) + 1);
            last = std::min(count, clampedRow(std::ceil((bandBottom - top) / rowPitch_)) + 1);
        } else {
            // Rows stand in one place or climb upwards: the later ones lie on top.
            for (int i = count; i >= 1; --i) {
                const double shift = static_cast<double>(i - 1) * rowPitch_;
                if (top + shift < bandBottom && bottom + shift > bandTop) {
                    last = std::max(last, i);
                    first = i;
                }
                if (last > 0 && last - i + 1 >= maxLentRows) {
                    break;
                }
            }
        }
        first = std::max(first, last - maxLentRows + 1);
    }

    for (const auto& widgets : pool_) {
        if (widgets->row > 0 && (widgets->row < first || widgets->row > last) && !holdsFocus(widgets.get())) {
            returnRowWidgets(widgets.get());
        }
    }
    bool lent = false;
    for (int row = first; row <= last; ++row) {
        if (!rows_[static_cast<size_t>(row - 1)].widgets) {
            lendRowWidgets(row, takeRowWidgets(), origin);
            lent = true;
        }
    }
    for (int row : RowsWithWidgets()) {
        RowControls& controls = rows_[static_cast<size_t>(row - 1)];
        for (Control* control : {&controls.label, &controls.warn, &controls.text, &controls.button}) {
            control->SetOrigin(origin);
        }
        if (lent) {
            // Later rows lie above earlier ones, as if loaded in order.
            controls.widgets->label->raise();
            controls.widgets->warn->raise();
            controls.widgets->text->raise();
            controls.widgets->button->raise();
        }
    }
}

// ---- Scrolling and focus in the link list ----

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && watched == Picture_LinkList_Out_->Widget()) {
        // The wheel over the rows, their captions or the empty part of the
        // pane reaches the frame; it scrolls as it does over the bar.
        auto* bar = qobject_cast<QScrollBar*>(VScroll_LinkList_->Widget());
        if (!bar || !bar->isEnabled()) {
            return false;
        }
        const std::unique_ptr<QEvent> copy(event->clone());
        QCoreApplication::sendEvent(bar, copy.get());
        event->setAccepted(copy->isAccepted());
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        if (const RowWidgets* widgets = rowWidgetsOf(watched)) {
            const RowControls& row = rows_[static_cast<size_t>(widgets->row - 1)];
            showRow(widgets->row, watched == widgets->text ? &row.text : &row.button);
        }
    }
    return QWidget::eventFilter(watched, event);
}

MainWindow::RowWidgets* MainWindow::rowWidgetsOf(const QObject* widget) const {
    for (const auto& widgets : pool_) {
        if (widgets->row > 0 && (widget == widgets->text || widget == widgets->button)) {
            return widgets.get();
        }
    }
    return nullptr;
}

void MainWindow::showRow(int row, const Control* control) {
    const Control& frame = *Picture_LinkList_Out_;
    const Control& pane = *Picture_LinkList_In_;
    auto* bar = qobject_cast<QScrollBar*>(VScroll_LinkList_->Widget());
    const double view = frame.ScaleHeight();
    const double hidden = std::max(0.0, Whole(pane.Height() - view));
    if (row < 1 || row > LinkRowCount() || hidden <= 0 || !bar || bar->maximum() <= 0) {
        return;
    }
    const RowControls& controls = rows_[static_cast<size_t>(row - 1)];
    double top = controls.label.Top();
    double bottom = controls.label.Top() + controls.label.Height();
    for (const Control* part : {&controls.warn, &controls.text, &controls.button}) {
        top = std::min(top, part->Top());
        bottom = std::max(bottom, part->Top() + part->Height());
    }
    if (bottom - top > view && control) {
        // A row taller than the frame: at least the control with the focus.
        top = control->Top();
        bottom = control->Top() + control->Height();
    }
    const double shownTop = -pane.Top();
    const double max = bar->maximum();
    // The bar moves the pane in steps of hidden / max pixels; the rounding
    // goes the way that keeps the row inside the frame.
    if (top < shownTop) {
        bar->setValue(static_cast<int>(std::floor(std::max(0.0, top) / hidden * max)));
    } else if (bottom > shownTop + view) {
        bar->setValue(static_cast<int>(std::ceil(std::min(hidden, bottom - view) / hidden * max)));
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
    const bool rowsShown = Picture_LinkList_Out_->Visible() && Picture_LinkList_In_->Visible();
    for (const auto& owned : controls_) {
        const Control* control = owned.get();
        if (control == Text_Link0_) {
            if (rowsShown) {
                const QWidget* frame = Picture_LinkList_Out_->Widget();
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

bool MainWindow::focusNextPrevChild(bool next) {
    struct Stop {
        QWidget* widget; // null: the block of link rows
    };
    QList<Stop> stops;
    for (const Control* control : TabStops()) {
        stops.append({control == Text_Link0_ ? nullptr : control->Widget()});
    }
    const qsizetype count = stops.size();
    if (count == 0) {
        return QWidget::focusNextPrevChild(next);
    }

    QWidget* focus = QApplication::focusWidget();
    qsizetype at = -1;
    if (const RowWidgets* widgets = rowWidgetsOf(focus)) {
        int row = widgets->row;
        int part = focus == widgets->text ? 0 : 1;
        if (nextRowStop(row, part, next)) {
            return focusRowStop(row, part, next);
        }
        // Past the last row (or before the first): on from the block.
        for (qsizetype i = 0; i < count; ++i) {
            if (!stops[i].widget) {
                at = i;
            }
        }
    } else {
        for (qsizetype i = 0; i < count; ++i) {
            if (stops[i].widget && stops[i].widget == focus) {
                at = i;
            }
        }
    }
    if (at < 0) {
        return QWidget::focusNextPrevChild(next);
    }
    for (qsizetype step = 1; step <= count; ++step) {
        const Stop& stop = stops[((at + (next ? step : -step)) % count + count) % count];
        if (stop.widget) {
            stop.widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
        int row = next ? 0 : LinkRowCount() + 1;
        int part = next ? 1 : 0;
        if (nextRowStop(row, part, next)) {
            return focusRowStop(row, part, next);
        }
    }
    return true;
}

// Moves (row, part) to the next row stop that can take the focus; false
// when there is none in that direction.
bool MainWindow::nextRowStop(int& row, int& part, bool next) const {
    while (true) {
        if (next && part == 0) {
            part = 1;
        } else if (next) {
            part = 0;
            ++row;
        } else if (part == 1) {
            part = 0;
        } else {
            part = 1;
            --row;
        }
        if (row < 1 || row > LinkRowCount()) {
            return false;
        }
        const RowControls& controls = rows_[static_cast<size_t>(row - 1)];
        const Control& control = part == 0 ? controls.text : controls.button;
        if (control.Visible() && control.Enabled()) {
            return true;
        }
    }
}

bool MainWindow::focusRowStop(int row, int part, bool next) {
    RowControls& controls = rows_[static_cast<size_t>(row - 1)];
    showRow(row, part == 0 ? &controls.text : &controls.button);
    if (!controls.widgets) {
        // A frame too small to show the row: the row gets widgets anyway.
        lendRowWidgets(row, takeRowWidgets(), Label_Link0_->Origin());
    }
    QWidget* widget = part == 0 ? static_cast<QWidget*>(controls.widgets->text) : controls.widgets->button;
    widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

} // namespace zandorel::app
