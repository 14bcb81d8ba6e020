#include "app/mainwindow.h"

#include "app/appicon.h"
#include "app/appkeys.h"
#include "app/codelistbox.h"
#include "app/dialogs.h"
#include "app/memorytrim.h"
#include "app/program.h"
#include "app/selectall.h"
#include "app/surface.h"
#include "app/updateprompt.h"
#include "app/windowgeometry.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/diagnostics.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "text/appinfo.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <stdexcept>

namespace zandorel::app {

// While a command of the window runs, the window is not deleted: a command
// that waits (for the network, for a dialog) always comes back to a live
// window, and finds it unloaded if it was closed meanwhile.
class MainWindow::Busy {
public:
    explicit Busy(MainWindow& window) : window_(window) { ++window_.busy_; }
    ~Busy() {
        if (--window_.busy_ == 0 && window_.unloaded_) {
            window_.deleteLater();
        }
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    MainWindow& window_;
};

namespace {

// The most rows Command1 creates at once.
constexpr int maxTestRows = 100000;

QLabel* newLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* newButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* newLineEdit(QWidget* parent, bool readOnly) {
    auto* line = new QLineEdit(parent);
    line->setReadOnly(readOnly);
    return line;
}

QPushButton* button(const Control* control) {
    return qobject_cast<QPushButton*>(control->Widget());
}

pugi::xml_node settings() {
    return SettingsStore::Instance().Root();
}

QString settingText(const QString& path, const QString& defaultText) {
    return ExpandAppTags(ReadNodeText(settings(), path, defaultText));
}

QString settingAttribute(const QString& path, const QString& attribute, const QString& defaultText) {
    return ExpandAppTags(ReadAttribute(settings(), path, attribute, defaultText));
}

} // namespace

MainWindow::RowControls::RowControls(const MainWindow& window, int index)
    : label(*window.Label_Link0_, index), warn(*window.Label_LinkWarn0_, index),
      text(*window.Text_Link0_, index), button(*window.Command_Link_AllValue0_, index) {}

MainWindow::MainWindow(Program& program, int slot)
    : QWidget(nullptr), program_(program), slot_(slot), fetchCancel_(std::make_shared<CancelToken>()) {
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("Zandorel")); // the design caption; the opening gives the numbered one
    setWindowIcon(ProgramIcon());
    createControls();
    setTabOrder();
    // Below this the address and format boxes, the buttons beside them and
    // the combined block would be too small to use or would overlap.
    setMinimumSize(600, 280);
    resize(842, 425);
}

MainWindow::~MainWindow() {
    waits_ = 0;
    updateBusyPointer();
    for (RowControls& row : rows_) {
        row.label.Unbind();
        row.warn.Unbind();
        row.text.Unbind();
        row.button.Unbind();
    }
    for (const auto& control : controls_) {
        control->Unbind();
    }
    // The widgets go while the window they report to is still whole.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

namespace {

enum class Place { Window, Frame, Pane };

// One line of the window's design: name, index in its control group (-1
// for none), kind, the container it is placed in, design caption or text,
// Left, Top, Width, Height in pixels, tab order, and whether it is hidden.
struct Design {
    const char* name;
    int index;
    ControlKind kind;
    Place place;
    const char16_t* text;
    double left, top, width, height;
    int tab;
    bool hidden;
};

using K = ControlKind;
using P = Place;
constexpr Design designs[] = {
    {"Label_URL", -1, K::Label, P::Window, u"SkyDrive文件夹网址", 8, 16, 217, 17, 0, false},
    {"Text_URL", -1, K::TextBox, P::Window, u"", 8, 32, 225, 25, 1, false},
    {"Command_Get", -1, K::Button, P::Window, u"提取源代码", 240, 32, 81, 25, 2, false},
    {"Command_Exit", -1, K::Button, P::Window, u"关闭窗口", 512, 312, 73, 25, 3, false},
    {"Command_Updata", -1, K::Button, P::Window, u"检查更新", 312, 312, 73, 25, 4, false},
    {"Label_CodeFormat", -1, K::Label, P::Window, u"生成代码格式", 8, 64, 209, 17, 5, false},
    {"Text_CodeFormat", -1, K::TextBox, P::Window, u"", 8, 80, 225, 25, 6, false},
    {"Picture_LinkList_Out", -1, K::PictureBox, P::Window, u"", 8, 128, 233, 185, 7, false},
    {"Command_NewWindow", -1, K::Button, P::Window, u"新建提取窗口", 408, 312, 89, 25, 8, false},
    {"List_CodeList", -1, K::ListBox, P::Window, u"", 360, 24, 233, 76, 9, false},
    {"Label_CodeList", -1, K::Label, P::Window, u"常用代码", 352, 8, 233, 17, 10, false},
    {"Text_AllLinkCode", -1, K::TextBox, P::Window, u"", 312, 136, 273, 161, 11, false},
    {"Label_AllLinkCode", -1, K::Label, P::Window, u"全部外链地址集合", 312, 120, 233, 17, 12, false},
    {"VScroll_LinkList", -1, K::VScrollBar, P::Frame, u"", 168, 0, 17, 185, 13, false},
    {"Label_LinkList", -1, K::Label, P::Window, u"外链地址列表", 8, 112, 233, 17, 14, false},
    {"Command1", -1, K::Button, P::Window, u"添加测试(临时)", 88, 104, 81, 33, 15, true},
    {"Command2", -1, K::Button, P::Window, u"删除测试(临时)", 168, 104, 81, 33, 16, true},
    {"Picture_LinkList_In", -1, K::PictureBox, P::Frame, u"", 0, 0, 169, 113, 17, false},
    {"Text_Link", 0, K::TextBox, P::Pane, u"外链地址", 0, 24, 97, 25, 18, true},
    {"Label_LinkWarn", 0, K::Label, P::Pane, u"警告", 8, 52, 209, 17, 19, true},
    {"Label_Link", 0, K::Label, P::Pane, u"文件名", 8, 8, 209, 17, 20, true},
    {"Command3", -1, K::Button, P::Window, u"从文件读取(测试)", 248, 104, 65, 33, 21, true},
    {"Command_AddToList", -1, K::Button, P::Window, u"+", 360, 100, 20, 20, 22, false},
    {"Command_DelToList", -1, K::Button, P::Window, u"-", 384, 100, 20, 20, 23, false},
    {"Command_ListUp", -1, K::Button, P::Window, u"↑", 592, 32, 20, 20, 24, false},
    {"Command_ListDown", -1, K::Button, P::Window, u"↓", 592, 56, 20, 20, 25, false},
    {"Command_Link_AllValue", 0, K::Button, P::Pane, u"?", 104, 24, 25, 25, 26, true},
    {"Command_GetFromURL", -1, K::Button, P::Window, u"自定义URL", 136, 4, 89, 25, 27, false},
    {"Command_GetFromFile", -1, K::Button, P::Window, u"来自文件", 232, 4, 81, 25, 28, false},
    {"Command_CreatLinkList", -1, K::Button, P::Window, u"生成代码", 240, 80, 81, 25, 29, false},
    {"Timer_Update", -1, K::Timer, P::Window, u"", 0, 0, 0, 0, -1, false},
    {"Check_SubFolders", -1, K::CheckBox, P::Window, u"包含子文件夹", 32, 59, 101, 19, 30, false},
    {"Check_PublicLinks", -1, K::CheckBox, P::Window, u"生成公开链接", 140, 59, 101, 19, 31, false},
};

} // namespace

QObject* MainWindow::newWidget(ControlKind kind, const QString& name, QWidget* parent) {
    switch (kind) {
    case ControlKind::Label:
        return newLabel(parent);
    case ControlKind::TextBox:
        if (name == u"Text_AllLinkCode") {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly(true);
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            return edit;
        }
        return newLineEdit(parent, parent == paneWidget_); // the link texts are read-only
    case ControlKind::Button:
        return newButton(parent);
    case ControlKind::ListBox:
        return new QListWidget(parent);
    case ControlKind::PictureBox:
        if (name == u"Picture_LinkList_Out") {
            auto* frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
            frame->setLineWidth(1);
            frameClient_ = new QWidget(frame);
            paneWidget_ = new QWidget(frameClient_);
            paneWidget_->setObjectName(QStringLiteral("Picture_LinkList_In"));
            return frame;
        }
        // The inner pane has no widget of its own size: the pane widget
        // shows only the part of it that lies inside the frame.
        return nullptr;
    case ControlKind::VScrollBar:
        return new QScrollBar(Qt::Vertical, parent);
    case ControlKind::Timer:
        return new QTimer(this);
    case ControlKind::CheckBox:
        return new QCheckBox(parent);
    }
    return nullptr;
}

void MainWindow::createControls() {
    for (const Design& design : designs) {
        const QString name = QString::fromLatin1(design.name);
        Control* container =
            design.place == Place::Frame  ? FindControl(QStringLiteral("Picture_LinkList_Out"))
            : design.place == Place::Pane ? FindControl(QStringLiteral("Picture_LinkList_In"))
                                          : nullptr;
        QWidget* parent = design.place == Place::Frame  ? frameClient_
                          : design.place == Place::Pane ? paneWidget_
                                                        : static_cast<QWidget*>(this);
        auto control = std::make_unique<Control>(design.kind, name, design.index);
        control->SetContainer(container);
        control->SetTabIndex(design.tab);
        control->SetGeometry(design.left, design.top, design.width, design.height);
        control->SetText(QString::fromUtf16(design.text));
        control->SetVisible(!design.hidden);
        if (QObject* object = newWidget(design.kind, name, parent)) {
            object->setObjectName(design.index >= 0 ? name + u'_' + QString::number(design.index) : name);
            control->Bind(object);
        }
        controls_.push_back(std::move(control));
    }
    auto find = [this](const char* name, int index = -1) {
        return FindControl(QString::fromLatin1(name), index);
    };
    Label_URL_ = find("Label_URL");
    Text_URL_ = find("Text_URL");
    Command_Get_ = find("Command_Get");
    Command_Exit_ = find("Command_Exit");
    Command_Updata_ = find("Command_Updata");
    Label_CodeFormat_ = find("Label_CodeFormat");
    Text_CodeFormat_ = find("Text_CodeFormat");
    Picture_LinkList_Out_ = find("Picture_LinkList_Out");
    Command_NewWindow_ = find("Command_NewWindow");
    List_CodeList_ = find("List_CodeList");
    Label_CodeList_ = find("Label_CodeList");
    Text_AllLinkCode_ = find("Text_AllLinkCode");
    Label_AllLinkCode_ = find("Label_AllLinkCode");
    VScroll_LinkList_ = find("VScroll_LinkList");
    Label_LinkList_ = find("Label_LinkList");
    Command1_ = find("Command1");
    Command2_ = find("Command2");
    Picture_LinkList_In_ = find("Picture_LinkList_In");
    Text_Link0_ = find("Text_Link", 0);
    Label_LinkWarn0_ = find("Label_LinkWarn", 0);
    Label_Link0_ = find("Label_Link", 0);
    Command3_ = find("Command3");
    Command_AddToList_ = find("Command_AddToList");
    Command_DelToList_ = find("Command_DelToList");
    Command_ListUp_ = find("Command_ListUp");
    Command_ListDown_ = find("Command_ListDown");
    Command_Link_AllValue0_ = find("Command_Link_AllValue", 0);
    Command_GetFromURL_ = find("Command_GetFromURL");
    Command_GetFromFile_ = find("Command_GetFromFile");
    Command_CreatLinkList_ = find("Command_CreatLinkList");
    Timer_Update_ = find("Timer_Update");
    Check_SubFolders_ = find("Check_SubFolders");
    Check_PublicLinks_ = find("Check_PublicLinks");

    Picture_LinkList_Out_->SetBorderWidth(1);
    // The two picture boxes show their pictures and drawings under the rows:
    // the frame inside its border, the pane from its own top left, which
    // lies wherever the pane has been scrolled to.
    new SurfacePainter(frameClient_, [this](QPainter& painter) {
        const Control& frame = *Picture_LinkList_Out_;
        PaintPictures(painter, QPoint(0, 0), frame.Picture(), frame.SurfaceImage(),
                      QPointF(frame.ScaleLeft(), frame.ScaleTop()));
    });
    new SurfacePainter(paneWidget_, [this](QPainter& painter) {
        const Control& pane = *Picture_LinkList_In_;
        if (pane.BackColor()) {
            painter.fillRect(paneWidget_->rect(), *pane.BackColor());
        }
        PaintPictures(painter, Label_Link0_->Origin(), pane.Picture(), pane.SurfaceImage(),
                      QPointF(pane.ScaleLeft(), pane.ScaleTop()));
    });
    Picture_LinkList_Out_->SetPictureChanged([this] { frameClient_->update(); });
    Picture_LinkList_In_->SetPictureChanged([this] { paneWidget_->update(); });
    // A fixed maximum that keeps the pixel steps of the bar for lists of any length.
    VScroll_LinkList_->SetRange(0, 32767);
    Label_LinkWarn0_->SetForeColor(*ColorFromNumber(0x0000FF)); // red
    Timer_Update_->SetEnabled(false);
    Timer_Update_->SetInterval(1000);

    InstallSelectAll(Text_URL_->Widget(), false);
    InstallSelectAll(Text_CodeFormat_->Widget(), false);
    InstallSelectAll(Text_AllLinkCode_->Widget(), true);
    InstallSelectAll(Text_Link0_->Widget(), true);
    // Enter in the address box fetches; in the format box it rebuilds the links.
    connect(qobject_cast<QLineEdit*>(Text_URL_->Widget()), &QLineEdit::returnPressed, this,
            [this] { Command_Get_Click(); });
    connect(qobject_cast<QLineEdit*>(Text_CodeFormat_->Widget()), &QLineEdit::returnPressed, this,
            [this] { Command_CreatLinkList_Click(); });
    // The wheel anywhere over the link list scrolls it.
    Picture_LinkList_Out_->Widget()->installEventFilter(this);

    const std::pair<Control*, void (MainWindow::*)()> commands[] = {
        {Command_Get_, &MainWindow::Command_Get_Click},
        {Command_GetFromURL_, &MainWindow::Command_GetFromURL_Click},
        {Command_GetFromFile_, &MainWindow::Command_GetFromFile_Click},
        {Command_CreatLinkList_, &MainWindow::Command_CreatLinkList_Click},
        {Command_AddToList_, &MainWindow::Command_AddToList_Click},
        {Command_DelToList_, &MainWindow::Command_DelToList_Click},
        {Command_ListUp_, &MainWindow::Command_ListUp_Click},
        {Command_ListDown_, &MainWindow::Command_ListDown_Click},
        {Command1_, &MainWindow::Command1_Click},
        {Command2_, &MainWindow::Command2_Click},
        {Command3_, &MainWindow::Command3_Click},
        {Command_Exit_, &MainWindow::Command_Exit_Click},
        {Command_NewWindow_, &MainWindow::Command_NewWindow_Click},
        {Command_Updata_, &MainWindow::Command_Updata_Click},
    };
    for (const auto& [control, handler] : commands) {
        connect(button(control), &QPushButton::clicked, this,
                [this, handler = handler] { (this->*handler)(); });
    }
    auto* list = qobject_cast<QListWidget*>(List_CodeList_->Widget());
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { List_CodeList_Click(); });
    connect(list, &QListWidget::itemClicked, this, [this] { List_CodeList_Click(); });
    auto* bar = qobject_cast<QScrollBar*>(VScroll_LinkList_->Widget());
    connect(bar, &QScrollBar::valueChanged, this, [this](int value) {
        VScroll_LinkList_->SetValue(value);
        ScrollLinkList();
    });
    connect(qobject_cast<QTimer*>(Timer_Update_->Object()), &QTimer::timeout, this,
            [this] { Timer_Update_Timer(); });
}

// Qt's own focus chain follows the order Tab takes (focusNextPrevChild).
void MainWindow::setTabOrder() {
    QWidget* previous = nullptr;
    for (const Control* control : TabStops()) {
        QWidget* widget = control == Text_Link0_ ? nullptr : control->Widget();
        if (widget && previous) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget ? widget : previous;
    }
}

QList<Control*> MainWindow::Controls() const {
    QList<Control*> list;
    list.reserve(static_cast<qsizetype>(controls_.size()));
    for (const auto& control : controls_) {
        list.append(control.get());
    }
    return list;
}

bool MainWindow::IsControlArray(const QString& name) const {
    for (const char* group : {"Label_Link", "Label_LinkWarn", "Text_Link", "Command_Link_AllValue"}) {
        if (name.compare(QLatin1StringView(group), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

Control* MainWindow::FindControl(const QString& name, int index) const {
    if (IsControlArray(name) && index >= 1) {
        if (index > LinkRowCount()) {
            return nullptr;
        }
        const RowControls& row = rows_[static_cast<size_t>(index - 1)];
        const Control* members[] = {&row.label, &row.warn, &row.text, &row.button};
        for (const Control* member : members) {
            if (member->Name().compare(name, Qt::CaseInsensitive) == 0) {
                return const_cast<Control*>(member);
            }
        }
        return nullptr;
    }
    for (const auto& control : controls_) {
        if (control->Index() == index && control->Name().compare(name, Qt::CaseInsensitive) == 0) {
            return control.get();
        }
    }
    return nullptr;
}

Control& MainWindow::Ctl(const QString& name, int index) const {
    if (Control* control = FindControl(name, index)) {
        return *control;
    }
    throw std::out_of_range("no such control");
}

Control& MainWindow::Label_Link(int index) const {
    return index == 0 ? *Label_Link0_ : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).label);
}

Control& MainWindow::Label_LinkWarn(int index) const {
    return index == 0 ? *Label_LinkWarn0_
                      : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).warn);
}

Control& MainWindow::Text_Link(int index) const {
    return index == 0 ? *Text_Link0_ : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).text);
}

Control& MainWindow::Command_Link_AllValue(int index) const {
    return index == 0 ? *Command_Link_AllValue0_
                      : const_cast<Control&>(rows_.at(static_cast<size_t>(index - 1)).button);
}

void MainWindow::Load() {
    if (program_.ShowsTestCommands()) {
        Command1_->SetVisible(true);
        Command2_->SetVisible(true);
        Command3_->SetVisible(true);
    }
    program_.SetSilentUpdateCheck(true);
    Timer_Update_->SetInterval(1000);
    Timer_Update_->SetEnabled(true);
    SkinWindow(*this);
    // The row pitch, from the template row as skinned.
    const Control* row[] = {Label_Link0_, Label_LinkWarn0_, Text_Link0_};
    double top = row[0]->Top();
    double bottom = row[0]->Top() + row[0]->Height();
    for (const Control* control : row) {
        top = std::min(top, control->Top());
        bottom = std::max(bottom, control->Top() + control->Height());
    }
    const double pitch = static_cast<double>(SettingsStore::Instance().ListDistance()) + bottom - top;
    rowPitch_ = static_cast<int>(std::clamp(Whole(pitch), -2147483648.0, 2147483647.0));
    LoadTemplateList();
    if (templateList()->count() >= 1) {
        selectTemplate(0);
    }
    setTabOrder(); // the controls stand where the skin put them
    // The window opens ready for a folder address.
    Text_URL_->Widget()->setFocus(Qt::OtherFocusReason);
    TrimWorkingSet();
}

bool MainWindow::gone() const {
    return unloaded_ || program_.Ended();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (unloaded_ || program_.Ended()) {
        return; // once the program ends, windows are discarded without unload steps
    }
    unloaded_ = true;
    updateBusyPointer();
    unload();
    if (busy_ == 0) {
        deleteLater();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FitOnScreen(*this);
    }
}

void MainWindow::unload() {
    Timer_Update_->SetEnabled(false);
    // Nothing waits for a page that no window will show.
    StopRetrievals();
    page_.reset();
    shownPage_.reset();
    program_.MainWindowUnloaded();
    const QSize outer = SizeToSave(*this);
    WriteAttribute(settings(), keys::FormMain, QStringLiteral("Width"), QString::number(outer.width()));
    WriteAttribute(settings(), keys::FormMain, QStringLiteral("Height"), QString::number(outer.height()));
    // The listing options open as they were left.
    for (const Control* option : {Check_SubFolders_, Check_PublicLinks_}) {
        WriteAttribute(settings(), keys::FormMain + u'/' + option->Name(), QStringLiteral("Value"),
                       QString::number(option->Value()));
    }
    if (program_.OpenWindowCount() == 0) {
        program_.SaveSettingsAndEnd();
    }
}

// ---- Retrieval commands ----

// While any retrieval of the window waits, the pointer over the window shows
// that work is going on, over every control of it, text boxes included;
// every control stays usable meanwhile.
class MainWindow::WaitCursor {
public:
    explicit WaitCursor(MainWindow& window) : window_(window) {
        if (window_.waits_++ == 0) {
            hadCursor_ = window_.testAttribute(Qt::WA_SetCursor);
            before_ = window_.cursor();
            window_.setCursor(Qt::BusyCursor);
            window_.updateBusyPointer();
        }
    }
    ~WaitCursor() {
        if (--window_.waits_ == 0) {
            if (hadCursor_) {
                window_.setCursor(before_);
            } else {
                window_.unsetCursor();
            }
            window_.updateBusyPointer();
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    MainWindow& window_;
    bool hadCursor_ = false;
    QCursor before_;
};

namespace {

// The windows whose busy pointer shows now. Text boxes set a pointer of
// their own, which the window's cannot cover; the application's override
// pointer does, and it is set while the mouse is over a window that waits,
// and only then, so the program's other windows keep their pointers.
int& busyPointers() {
    static int count = 0;
    return count;
}

} // namespace

void MainWindow::updateBusyPointer() {
    const bool wanted = waits_ > 0 && !unloaded_ && isVisible() && underMouse();
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

void MainWindow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    updateBusyPointer();
}

void MainWindow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    updateBusyPointer();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateBusyPointer();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && Retrieving()) {
        StopRetrievals();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::StopRetrievals() {
    if (waits_ == 0) {
        return;
    }
    // Retrievals started after this one take a token of their own.
    const std::shared_ptr<CancelToken> stopping =
        std::exchange(fetchCancel_, std::make_shared<CancelToken>());
    stopping->Cancel();
}

HttpOptions MainWindow::fetchOptions() const {
    HttpOptions options;
    options.cancel = fetchCancel_;
    return options;
}

std::shared_ptr<SDPage> MainWindow::pageForRetrieval() {
    // A page object that is still waiting for its own retrieval is left to
    // it: a second retrieval on the same object would mix two listings.
    if (!page_ || retrieving_.count(page_.get()) > 0) {
        page_ = std::make_shared<SDPage>();
    }
    return page_;
}

// Lists the source into the page through the pipeline, with this window's
// fetch options, and tells what a failed extraction step leaves.
MainWindow::Retrieval MainWindow::retrieve(const std::shared_ptr<SDPage>& page, const ListingSource& source,
                                           QString& dumpPath) {
    // A new retrieval supersedes any that still waits: those end quietly, as
    // at Esc, and the pointer tells only of this one.
    StopRetrievals();
    const auto mark = retrieving_.insert(page.get());
    ListingOptions options;
    options.shareService = SettingsStore::Instance().ShareService();
    options.http = fetchOptions();
    // The check boxes beside the address: sub-folders wherever a folder is
    // listed, links where a remote is.
    const bool folder = source.kind != ListingSource::Kind::File && source.kind != ListingSource::Kind::Text;
    options.recursive = folder && Check_SubFolders_->Value() != 0;
    options.links = source.kind == ListingSource::Kind::Remote && Check_PublicLinks_->Value() != 0;
    // Meanwhile the label above the list tells how far the listing is.
    if (waits_ == 0) {
        listCaption_ = Label_LinkList_->Caption();
    }
    const QPointer<MainWindow> self(this);
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
        Label_LinkList_->SetCaption(listCaption_);
    }
    retrieving_.erase(mark);
    dumpPath = reportFailedStep(listing);
    if (source.kind == ListingSource::Kind::Remote && listing.status == Listing::Status::SourceFailed &&
        !gone()) {
        reportRemoteProblem(listing);
        return Retrieval::Told;
    }
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
    switch (listing.status) {
    case Listing::Status::Cancelled:
        return Retrieval::Cancelled;
    case Listing::Status::SourceFailed:
        return Retrieval::Failed; // a rejected address, an unreadable file
    default:
        return Retrieval::Done;
    }
}

// The one place a failed extraction is told: its dump is written, and the
// test build names the step that failed. The dump's path, if one was written.
QString MainWindow::reportFailedStep(const Listing& listing) {
    const int step = listing.failedStep();
    if (step == 0) {
        return QString();
    }
    QString dumpPath = WriteExtractionDump(
        listing, ExtractionDumpPlace(AppInfo::current(), SettingsStore::Instance().ConfigPath()));
    if (program_.ShowsStepMessages() && !gone()) {
        program_.dialogs().message(this, StepErrorText(SettingsStore::Instance().Root(), step),
                                   StepErrorTitle(step), Dialogs::Icon::None, Dialogs::Buttons::Ok);
    }
    return dumpPath;
}

// A remote that could not be listed: rclone missing names the package to
// install; anything else names the remote and what went wrong.
void MainWindow::reportRemoteProblem(const Listing& listing) {
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
            this, settingText(keys::RcloneMissingError, keys::RcloneMissingErrorDefault),
            settingAttribute(keys::RcloneMissingError, keys::Title, keys::RcloneMissingErrorTitleDefault),
            Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
        return;
    }
    program_.dialogs().message(
        this, settingText(keys::RemoteError, keys::RemoteErrorDefault).replace(QStringLiteral("%1"), problem),
        settingAttribute(keys::RemoteError, keys::Title, keys::RemoteErrorTitleDefault),
        Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
}

// The message of an empty listing; where a dump of the page was written, a
// second line names its file.
void MainWindow::showEmptyListing(const QString& dumpPath) {
    QString text = settingText(keys::GetSourceCodeError, keys::GetSourceCodeErrorDefault);
    if (!dumpPath.isEmpty()) {
        QString saved = settingText(keys::ExtractionDumpSaved, keys::ExtractionDumpSavedDefault);
        saved = saved.contains(u"%1") ? saved.arg(QDir::toNativeSeparators(dumpPath))
                                      : saved + QDir::toNativeSeparators(dumpPath);
        text += QStringLiteral("\r\n") + saved;
    }
    program_.dialogs().message(this, text, QString(), Dialogs::Icon::None, Dialogs::Buttons::Ok);
}

void MainWindow::createLinkListSteps(const QString& dumpPath) {
    if (!page_) {
        page_ = std::make_shared<SDPage>();
    }
    const std::shared_ptr<SDPage> page = page_;
    if (page->Code().isEmpty()) {
        showEmptyListing(dumpPath);
        if (gone()) {
            return;
        }
    }
    fillLinkListReporting(page_ ? page_ : page);
}

void MainWindow::fillLinkListReporting(const std::shared_ptr<SDPage>& page) {
    try {
        FillLinkList(page);
    } catch (const std::exception&) {
        showEmptyListing();
    }
}

void MainWindow::Command_Get_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const FolderAddress address =
        CheckFolderAddress(Text_URL_->Text(), SettingsStore::Instance().ShareService());
    // Not an address of the share service ("host:port/?cid=..." without its
    // scheme is one): a folder of an rclone remote ("NAME:PATH") is listed
    // through rclone.
    if (!address.valid && IsRemoteText(Text_URL_->Text())) {
        retrieveAndFill(pageForRetrieval(), ListingSource::remote(Text_URL_->Text().trimmed()));
        return;
    }
    if (!address.valid) {
        program_.dialogs().message(
            this, settingText(keys::SkyDriveURLError, keys::SkyDriveURLErrorDefault),
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

void MainWindow::Command_GetFromURL_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const QString address = program_.dialogs().input(
        this, settingText(keys::InputCustomURL, keys::InputCustomURLDefault),
        settingAttribute(keys::InputCustomURL, keys::Title, keys::InputCustomURLTitleDefault), QString());
    if (gone() || address.isEmpty()) {
        return;
    }
    // The page object changes only once the page has arrived.
    retrieveAndFill(pageForRetrieval(), ListingSource::url(address));
}

void MainWindow::Command_GetFromFile_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const QString path = program_.dialogs().openFile(
        this, settingAttribute(keys::OpenSourceCodeFile, keys::Title, keys::OpenSourceCodeFileTitleDefault),
        settingAttribute(keys::OpenSourceCodeFile, keys::Filter, keys::OpenSourceCodeFileFilterDefault));
    if (gone() || path.isEmpty()) {
        return;
    }
    retrieveAndFill(pageForRetrieval(), ListingSource::file(path));
}

// Runs a retrieval on the page, then `finish`, by default the steps of
// Command_CreatLinkList. An error the retrieval raises is told like an empty
// listing; a retrieval stopped with Esc, or a window closed while the page
// was on its way, does nothing more. False when the retrieval was stopped.
bool MainWindow::retrieveAndFill(const std::shared_ptr<SDPage>& page, const ListingSource& source,
                                 const std::function<void()>& finish) {
    QString dumpPath;
    const Retrieval result = retrieve(page, source, dumpPath);
    // Taken at once: a retrieval started from a message below has its own.
    const QString note = std::exchange(linkNote_, QString());
    const QString noteTitle = linkNoteTitle_;
    if (result == Retrieval::Cancelled) {
        return false;
    }
    if (result == Retrieval::Told) {
        return true;
    }
    if (gone()) {
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
        program_.dialogs().message(this, note, noteTitle, Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok);
    }
    return true;
}

// Files listed so far, then links made of how many, in the label above the list.
void MainWindow::showProgress(const RemoteProgress& progress) {
    QString text;
    if (progress.linksWanted > 0) {
        text = settingText(keys::LinkProgress, keys::LinkProgressDefault)
                   .replace(QStringLiteral("%1"), QString::number(progress.linksMade + progress.linksFailed))
                   .replace(QStringLiteral("%2"), QString::number(progress.linksWanted));
    } else {
        text = settingText(keys::ListingProgress, keys::ListingProgressDefault)
                   .replace(QStringLiteral("%1"), QString::number(progress.listed));
    }
    Label_LinkList_->SetCaption(text);
}

void MainWindow::Command_CreatLinkList_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    createLinkListSteps();
}

void MainWindow::Command_Link_AllValue_Click(int index) {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    if (!page_) {
        page_ = std::make_shared<SDPage>();
    }
    // The rows show the listing of their fill; a retrieval that has begun
    // since has not changed them.
    const std::shared_ptr<SDPage> page = shownPage_ ? shownPage_ : page_;
    if (index < 1 || index > page->Files().Count()) {
        return;
    }
    ShowPropertyViewer(this, *page, index);
}

// ---- Development-run commands ----

void MainWindow::Command1_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const QString answer = program_.dialogs().input(this, appkeys::InputRowCount, QString(), QString());
    if (gone()) {
        return;
    }
    int count = 0;
    for (QChar digit : RegExtract(answer, QStringLiteral("\\d"), QString())) {
        count = std::min(maxTestRows, count * 10 + digit.digitValue());
    }
    CreateLinkRows(count);
}

void MainWindow::Command2_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    ClearLinkRows();
}

void MainWindow::Command3_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const QString path = AppInfo::current().besideProgram(appkeys::TestPageFile);
    retrieveAndFill(pageForRetrieval(), ListingSource::file(path), [this] { fillLinkListReporting(page_); });
}

// ---- Window commands ----

void MainWindow::Command_Exit_Click() {
    Busy busy(*this);
    close();
}

void MainWindow::Command_NewWindow_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    program_.OpenMainWindow();
}

void MainWindow::Command_Updata_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    Timer_Update_->SetEnabled(true); // the check runs on the next tick
}

void MainWindow::Timer_Update_Timer() {
    Busy busy(*this);
    // A tick while this window's check still waits starts no second one.
    if (gone() || checkingForUpdate_) {
        return;
    }
    checkingForUpdate_ = true;
    CheckForUpdate(program_.UpdateCheckAddress(), program_.SilentUpdateCheck(), *this);
    checkingForUpdate_ = false;
    program_.SetSilentUpdateCheck(false);
    Timer_Update_->SetEnabled(false);
}

// ---- Format template list ----
//
// The table and its rules live in the program's TemplateList; the window
// shows the names and knows which entry the user has chosen. An entry is
// chosen by being selected (a click, a key that moves the selection, or the
// selection set in code); the focus outline that a list gets when it is
// tabbed into chooses nothing.

QListWidget* MainWindow::templateList() const {
    return qobject_cast<QListWidget*>(List_CodeList_->Widget());
}

int MainWindow::selectedTemplate() const {
    const QListWidget* list = templateList();
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void MainWindow::showTemplateNames() {
    QListWidget* list = templateList();
    const QSignalBlocker quiet(list);
    list->clear();
    for (const TemplateItem& item : program_.Templates().Items()) {
        list->addItem(item.Name);
    }
}

void MainWindow::LoadTemplateList() {
    program_.Templates().Load(settings());
    showTemplateNames();
}

void MainWindow::SaveTemplateList() {
    program_.Templates().Save(settings());
    showTemplateNames();
}

void MainWindow::selectTemplate(int index) {
    QListWidget* list = templateList();
    {
        const QSignalBlocker quiet(list);
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    List_CodeList_Click();
}

void MainWindow::List_CodeList_Click() {
    if (gone()) {
        return;
    }
    if (const std::optional<QString> format = program_.Templates().Format(selectedTemplate())) {
        Text_CodeFormat_->SetText(*format);
    }
}

void MainWindow::Command_AddToList_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const QString name = program_.dialogs().input(
        this, settingText(keys::InputTemplateName, keys::InputTemplateNameDefault),
        settingAttribute(keys::InputTemplateName, keys::Title, keys::InputTemplateNameTitleDefault),
        QString());
    if (gone()) {
        return;
    }
    if (program_.Templates().Add(settings(), name, Text_CodeFormat_->Text())) {
        showTemplateNames();
    }
}

void MainWindow::Command_DelToList_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    program_.Templates().Delete(settings(), selectedTemplate());
    showTemplateNames();
}

void MainWindow::Command_ListUp_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const int select = program_.Templates().MoveUp(settings(), selectedTemplate());
    showTemplateNames();
    if (select >= 0) {
        selectTemplate(select);
    }
}

void MainWindow::Command_ListDown_Click() {
    Busy busy(*this);
    if (gone()) {
        return;
    }
    const int select = program_.Templates().MoveDown(settings(), selectedTemplate());
    showTemplateNames();
    if (select >= 0) {
        selectTemplate(select);
    }
}

} // namespace zandorel::app
