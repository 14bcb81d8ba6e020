// The link list of a main window: filling the rows from a listing,
// creating and clearing them, placing them in the pane, scrolling, lending
// widgets to the rows in sight, and Tab through the rows.

#include "app/linklistview.h"

#include "app/captionlabel.h"
#include "app/dialogs.h"
#include "app/layoutfigures.h"
#include "app/memorytrim.h"
#include "app/program.h"
#include "app/selectall.h"
#include "app/surface.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/linklist.h"
#include "share/sdpage.h"
#include "text/appinfo.h"
#include "text/placeholders.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <utility>

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

// The top and bottom edges of a row's controls.
std::pair<double, double> spanOf(std::initializer_list<const Control*> controls) {
    double top = (*controls.begin())->Top();
    double bottom = top + (*controls.begin())->Height();
    for (const Control* control : controls) {
        top = std::min(top, control->Top());
        bottom = std::max(bottom, control->Top() + control->Height());
    }
    return {top, bottom};
}

// Scroll steps are 16-bit figures of at least 1.
int step(double value) {
    return static_cast<int>(std::clamp(Whole(value), 1.0, 32767.0));
}

} // namespace

LinkListView::RowControls::RowControls(const Controls& model, int index)
    : label(model.label, index), warn(model.warn, index), text(model.text, index),
      button(model.button, index) {}

LinkListView::LinkListView(QWidget& window, Program& program, const Controls& controls, QWidget* frameClient,
                           QWidget* paneWidget)
    : window_(window), program_(program), c_(controls), frameClient_(frameClient), paneWidget_(paneWidget) {
    c_.frame.SetBorderWidth(1);
    // The two picture boxes show their pictures and drawings under the rows:
    // the frame inside its border, the pane from its own top left, which
    // lies wherever the pane has been scrolled to.
    new SurfacePainter(frameClient_, [this](QPainter& painter) {
        const Control& frame = c_.frame;
        PaintPictures(painter, QPoint(0, 0), frame.Picture(), frame.SurfaceImage(),
                      QPointF(frame.ScaleLeft(), frame.ScaleTop()));
    });
    new SurfacePainter(paneWidget_, [this](QPainter& painter) {
        const Control& pane = c_.pane;
        if (pane.BackColor()) {
            painter.fillRect(paneWidget_->rect(), *pane.BackColor());
        }
        PaintPictures(painter, c_.label.Origin(), pane.Picture(), pane.SurfaceImage(),
                      QPointF(pane.ScaleLeft(), pane.ScaleTop()));
    });
    c_.frame.SetPictureChanged([this] { frameClient_->update(); });
    c_.pane.SetPictureChanged([this] { paneWidget_->update(); });
    // A fixed maximum that keeps the pixel steps of the bar for lists of any length.
    c_.bar.SetRange(0, 32767);
    c_.warn.SetForeColor(*ColorFromNumber(0x0000FF)); // red
    InstallSelectAll(c_.text.Widget(), true);
    // The wheel anywhere over the link list scrolls it.
    c_.frame.Widget()->installEventFilter(this);
    auto* bar = qobject_cast<QScrollBar*>(c_.bar.Widget());
    connect(bar, &QScrollBar::valueChanged, this, [this](int value) {
        c_.bar.SetValue(value);
        ScrollLinkList();
    });
}

LinkListView::~LinkListView() = default;

void LinkListView::UnbindRows() {
    for (RowControls& controls : rows_) {
        controls.label.Unbind();
        controls.warn.Unbind();
        controls.text.Unbind();
        controls.button.Unbind();
    }
}

LinkListView::RowControls& LinkListView::rowAt(int index) const {
    return const_cast<RowControls&>(rows_[static_cast<size_t>(index - 1)]);
}

Control& LinkListView::Label_Link(int index) const {
    return index == 0 ? c_.label : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).label);
}

Control& LinkListView::Label_LinkWarn(int index) const {
    return index == 0 ? c_.warn : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).warn);
}

Control& LinkListView::Text_Link(int index) const {
    return index == 0 ? c_.text : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).text);
}

Control& LinkListView::Command_Link_AllValue(int index) const {
    return index == 0 ? c_.button : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).button);
}

Control* LinkListView::RowControl(const QString& name, int index) const {
    if (index < 0 || index > LinkRowCount()) {
        return nullptr;
    }
    RowControls* controls = index == 0 ? nullptr : &rowAt(index);
    Control* const members[] = {controls ? &controls->label : &c_.label,
                                controls ? &controls->warn : &c_.warn, controls ? &controls->text : &c_.text,
                                controls ? &controls->button : &c_.button};
    for (Control* member : members) {
        if (member->Name().compare(name, Qt::CaseInsensitive) == 0) {
            return member;
        }
    }
    return nullptr;
}

void LinkListView::MeasureRowPitch(int listDistance) {
    const auto [top, bottom] = spanOf({&c_.label, &c_.warn, &c_.text});
    const double pitch = static_cast<double>(listDistance) + bottom - top;
    rowPitch_ = static_cast<int>(std::clamp(Whole(pitch), -2147483648.0, 2147483647.0));
}

void LinkListView::FillLinkList(const std::shared_ptr<SDPage>& page) {
    // Every text is worked out before a row changes, so a template that
    // cannot be expanded leaves the list as it was.
    const LinkTemplates templates =
        LinkTemplates::FromSettings(SettingsStore::Instance().Root(), c_.format.Text(), AppInfo::current());
    LinkList list;
    try {
        list = BuildLinkList(*page, templates);
    } catch (const OutputTooLong&) {
        const pugi::xml_node settings = SettingsStore::Instance().Root();
        program_.dialogs().message(
            &window_,
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
        RowControls& row = rowAt(i);
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
    c_.block.SetText(list.block);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(c_.block.Widget())) {
        edit->moveCursor(QTextCursor::End);
    }
    // A copy shares the listing's file records, which a later retrieval on
    // the page object replaces rather than changes.
    shownPage_ = std::make_shared<SDPage>(*page);
    TrimWorkingSet();
    if (!list.tooLong.isEmpty()) {
        tellTooLong(list.tooLong);
    }
}

// Rows whose texts would pass the length limit were left empty rather than
// half done; one message says which.
void LinkListView::tellTooLong(const QList<int>& rows) {
    QStringList numbers;
    for (int i = 0; i < rows.size() && i < 20; ++i) {
        numbers << QString::number(rows[i]);
    }
    if (rows.size() > 20) {
        numbers << QStringLiteral("…");
    }
    const pugi::xml_node settings = SettingsStore::Instance().Root();
    QString text =
        ExpandAppTags(ReadNodeText(settings, keys::LinkTooLongError, keys::LinkTooLongErrorDefault));
    text.replace(QStringLiteral("%1"), numbers.join(QStringLiteral(", ")));
    program_.dialogs().message(&window_, text,
                               ExpandAppTags(ReadAttribute(settings, keys::LinkTooLongError, keys::Title,
                                                           keys::LinkTooLongErrorTitleDefault)),
                               Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
}

void LinkListView::CreateLinkRows(int count) {
    c_.pane.SetVisible(true);
    for (int index = LinkRowCount() + 1; index <= count; ++index) {
        rows_.emplace_back(c_, index);
    }
    LayoutLinkRows();
}

void LinkListView::ClearLinkRows() {
    c_.pane.SetVisible(false);
    for (RowControls& row : rows_) {
        if (row.widgets) {
            returnRowWidgets(row.widgets);
        }
    }
    rows_.clear();
    LayoutLinkRows();
}

QList<int> LinkListView::RowsWithWidgets() const {
    QList<int> rows;
    for (const auto& widgets : pool_) {
        if (widgets->row > 0) {
            rows.append(widgets->row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QWidget* LinkListView::RowWidget(const QString& group, int index) const {
    const Control* control = RowControl(group, index);
    return control ? control->Widget() : nullptr;
}

bool LinkListView::holdsFocus(const RowWidgets* widgets) const {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == widgets->text || focus == widgets->button);
}

LinkListView::RowWidgets* LinkListView::takeRowWidgets() {
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
            if (rowCommand_) {
                rowCommand_(lent->row);
            }
        }
    });
    pool_.push_back(std::move(widgets));
    return lent;
}

void LinkListView::lendRowWidgets(int row, RowWidgets* widgets, QPoint origin) {
    RowControls& controls = rowAt(row);
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

void LinkListView::returnRowWidgets(RowWidgets* widgets) {
    RowControls& controls = rowAt(widgets->row);
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

// The first and last row with a part inside the band of the pane from
// `bandTop` to `bandBottom`, one row of margin on either side; none (first
// above last) when no row is.
std::pair<int, int> LinkListView::rowsInBand(double bandTop, double bandBottom) const {
    int first = 1;
    int last = 0;
    const int count = LinkRowCount();
    const RowControls& one = rows_.front();
    const auto [top, bottom] = spanOf({&one.label, &one.warn, &one.text, &one.button});
    if (rowPitch_ > 0) {
        // Row i spans [top, bottom) moved down (i - 1) pitches.
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
    return {std::max(first, last - maxLentRows + 1), last};
}

void LinkListView::syncLinkPane() {
    const Control& frame = c_.frame;
    const Control& pane = c_.pane;
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
    for (Control* model : {&c_.label, &c_.warn, &c_.text, &c_.button}) {
        model->SetOrigin(origin);
    }

    // The rows in sight, from the pane's visible band.
    int first = 1;
    int last = 0;
    if (pane.Visible() && !shown.isEmpty() && LinkRowCount() > 0) {
        const double bandTop = shown.top() - logical.top();
        std::tie(first, last) = rowsInBand(bandTop, bandTop + shown.height());
    }

    for (const auto& widgets : pool_) {
        if (widgets->row > 0 && (widgets->row < first || widgets->row > last) && !holdsFocus(widgets.get())) {
            returnRowWidgets(widgets.get());
        }
    }
    bool lent = false;
    for (int row = first; row <= last; ++row) {
        if (!rowAt(row).widgets) {
            lendRowWidgets(row, takeRowWidgets(), origin);
            lent = true;
        }
    }
    for (int row : RowsWithWidgets()) {
        RowControls& controls = rowAt(row);
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

bool LinkListView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && watched == c_.frame.Widget()) {
        // The wheel over the rows, their captions or the empty part of the
        // pane reaches the frame; it scrolls as it does over the bar.
        auto* bar = qobject_cast<QScrollBar*>(c_.bar.Widget());
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
            const RowControls& controls = rowAt(widgets->row);
            showRow(widgets->row, watched == widgets->text ? &controls.text : &controls.button);
        }
    }
    return QObject::eventFilter(watched, event);
}

LinkListView::RowWidgets* LinkListView::rowWidgetsOf(const QObject* widget) const {
    for (const auto& widgets : pool_) {
        if (widgets->row > 0 && (widget == widgets->text || widget == widgets->button)) {
            return widgets.get();
        }
    }
    return nullptr;
}

void LinkListView::showRow(int row, const Control* control) {
    const Control& frame = c_.frame;
    const Control& pane = c_.pane;
    auto* bar = qobject_cast<QScrollBar*>(c_.bar.Widget());
    const double view = frame.ScaleHeight();
    const double hidden = std::max(0.0, Whole(pane.Height() - view));
    if (row < 1 || row > LinkRowCount() || hidden <= 0 || !bar || bar->maximum() <= 0) {
        return;
    }
    const RowControls& controls = rowAt(row);
    auto [top, bottom] = spanOf({&controls.label, &controls.warn, &controls.text, &controls.button});
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

// Moves (row, part) to the next row stop that can take the focus; false
// when there is none in that direction.
bool LinkListView::nextRowStop(int& row, int& part, bool next) const {
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
        const RowControls& controls = rowAt(row);
        const Control& control = part == 0 ? controls.text : controls.button;
        if (control.Visible() && control.Enabled()) {
            return true;
        }
    }
}

bool LinkListView::InRows(const QWidget* focus) const {
    return rowWidgetsOf(focus) != nullptr;
}

bool LinkListView::FocusNextRowStop(const QWidget* focus, bool next) {
    const RowWidgets* widgets = rowWidgetsOf(focus);
    if (!widgets) {
        return false;
    }
    int row = widgets->row;
    int part = focus == widgets->text ? 0 : 1;
    return nextRowStop(row, part, next) && focusRowStop(row, part, next);
}

bool LinkListView::FocusFirstRowStop(bool next) {
    int row = next ? 0 : LinkRowCount() + 1;
    int part = next ? 1 : 0;
    return nextRowStop(row, part, next) && focusRowStop(row, part, next);
}

bool LinkListView::focusRowStop(int row, int part, bool next) {
    RowControls& controls = rowAt(row);
    showRow(row, part == 0 ? &controls.text : &controls.button);
    if (!controls.widgets) {
        // A frame too small to show the row: the row gets widgets anyway.
        lendRowWidgets(row, takeRowWidgets(), c_.label.Origin());
    }
    QWidget* widget = part == 0 ? static_cast<QWidget*>(controls.widgets->text) : controls.widgets->button;
    widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void LinkListView::LayoutLinkRows() {
    const Control& frame = c_.frame;
    Control& pane = c_.pane;
    Control& bar = c_.bar;
    pane.SetWidth(NonNegative(frame.ScaleWidth() - bar.Width() - pane.Left()));
    const double inner = Whole(pane.ScaleWidth());
    const double pitch = rowPitch_;
    for (int i = 1; i <= LinkRowCount(); ++i) {
        RowControls& row = rowAt(i);
        row.button.SetLeft(inner - row.button.Width()); // at the pane's right edge
        row.label.SetWidth(NonNegative(inner - row.label.Left()));
        row.warn.SetWidth(NonNegative(inner - row.warn.Left()));
        row.text.SetWidth(NonNegative(row.button.Left() - row.text.Left())); // up to the button, no gap
        const double shift = (i - 1) * pitch;
        row.label.SetTop(c_.label.Top() + shift);
        row.warn.SetTop(c_.warn.Top() + shift);
        row.text.SetTop(c_.text.Top() + shift);
        row.button.SetTop(row.text.Top());
    }
    pane.SetHeight(c_.label.Top() + pitch * LinkRowCount());
    if (pane.Height() <= frame.ScaleHeight()) {
        // The rows fit: the pane fills the frame and nothing scrolls.
        pane.SetHeight(frame.ScaleHeight());
        bar.SetEnabled(false);
    } else {
        bar.SetEnabled(true);
        const double hidden = NonNegative(pane.Height() - frame.ScaleHeight());
        bar.SetLargeChange(step(bar.Max() / (hidden / 1000 + 1)));
        bar.SetSmallChange(step(bar.Max() / (hidden / 100 + 10)));
    }
    ScrollLinkList();
}

void LinkListView::ScrollLinkList() {
    const Control& frame = c_.frame;
    Control& pane = c_.pane;
    const Control& bar = c_.bar;
    const double hidden = NonNegative(pane.Height() - frame.ScaleHeight());
    // Value 0 shows the top of the pane, Max aligns its bottom with the frame's.
    const double share = bar.Max() > 0 ? static_cast<double>(bar.Value()) / bar.Max() : 0.0;
    pane.SetTop(hidden > 0 ? -(share * hidden) : 0.0);
    syncLinkPane();
}

} // namespace zandorel::app
