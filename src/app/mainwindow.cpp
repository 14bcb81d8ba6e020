#include "app/mainwindow.h"

#include "app/appicon.h"
#include "app/appkeys.h"
#include "app/dialogs.h"
#include "app/maindesign.h"
#include "app/memorytrim.h"
#include "app/program.h"
#include "app/selectall.h"
#include "app/updateprompt.h"
#include "app/windowgeometry.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "text/regexpfunctions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <stdexcept>

namespace zandorel::app {

namespace {

// The most rows Command1 creates at once.
constexpr int maxTestRows = 100000;

pugi::xml_node settings() {
    return SettingsStore::Instance().Root();
}

} // namespace

MainWindow::MainWindow(Program& program, int slot) : QWidget(nullptr), program_(program), slot_(slot) {
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("Zandorel")); // the design caption; the opening gives the numbered one
    setWindowIcon(ProgramIcon());
    createControls();
    links_ = std::make_unique<LinkListView>(
        *this, program_,
        LinkListView::Controls{ctl<"Picture_LinkList_Out">(), ctl<"Picture_LinkList_In">(),
                               ctl<"VScroll_LinkList">(), ctl<"Label_Link">(), ctl<"Label_LinkWarn">(),
                               ctl<"Text_Link">(), ctl<"Command_Link_AllValue">(), ctl<"Text_AllLinkCode">(),
                               ctl<"Text_CodeFormat">()},
        frameClient_, paneWidget_);
    retrieval_ = std::make_unique<RetrievalController>(
        *this, program_, *links_,
        RetrievalController::Controls{ctl<"Text_URL">(), ctl<"Check_SubFolders">(),
                                      ctl<"Check_PublicLinks">(), ctl<"Label_LinkList">()});
    templates_ = std::make_unique<TemplatePanel>(
        *this, program_, *retrieval_,
        TemplatePanel::Controls{ctl<"List_CodeList">(), ctl<"Text_CodeFormat">()});
    connectCommands();
    setTabOrder();
    // Below this the address and format boxes, the buttons beside them and
    // the combined block would be too small to use or would overlap.
    setMinimumSize(600, 280);
    resize(842, 425);
}

// The parts go after the widgets, so that whatever a widget's end sets off
// still finds them; the busy pointer goes with the retrieval controller.
MainWindow::~MainWindow() {
    links_->UnbindRows();
    for (const auto& control : controls_) {
        control->Unbind();
    }
    // The widgets go while the window they report to is still whole.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

QObject* MainWindow::newWidget(ControlKind kind, const QString& name, QWidget* parent) {
    switch (kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::TextBox: {
        if (name == u"Text_AllLinkCode") {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly(true);
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            return edit;
        }
        auto* line = new QLineEdit(parent);
        line->setReadOnly(parent == paneWidget_); // the link texts are read-only
        return line;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        return button;
    }
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
    for (const design::Row& row : design::rows) {
        const QString name = QString::fromLatin1(row.name);
        Control* container = row.place == design::Place::Frame  ? &ctl<"Picture_LinkList_Out">()
                             : row.place == design::Place::Pane ? &ctl<"Picture_LinkList_In">()
                                                                : nullptr;
        QWidget* parent = row.place == design::Place::Frame  ? frameClient_
                          : row.place == design::Place::Pane ? paneWidget_
                                                             : static_cast<QWidget*>(this);
        auto control = std::make_unique<Control>(row.kind, name, row.index);
        control->SetContainer(container);
        control->SetTabIndex(row.tab);
        control->SetGeometry(row.left, row.top, row.width, row.height);
        control->SetText(QString::fromUtf16(row.text));
        control->SetVisible(!row.hidden);
        if (QObject* object = newWidget(row.kind, name, parent)) {
            object->setObjectName(row.index >= 0 ? name + u'_' + QString::number(row.index) : name);
            control->Bind(object);
        }
        controls_.push_back(std::move(control));
    }
    ctl<"Timer_Update">().SetEnabled(false);
    ctl<"Timer_Update">().SetInterval(1000);
    InstallSelectAll(ctl<"Text_URL">().Widget(), false);
    InstallSelectAll(ctl<"Text_CodeFormat">().Widget(), false);
    InstallSelectAll(ctl<"Text_AllLinkCode">().Widget(), true);
}

// Every command of the design table runs under the retrieval controller's
// guard: a click, Enter in a text box (the address box fetches, the format
// box rebuilds the links), a choice in the template list, a tick.
void MainWindow::connectCommands() {
    for (std::size_t i = 0; i < std::size(design::rows); ++i) {
        const design::Command command = design::rows[i].command;
        QObject* object = controls_[i]->Object();
        if (!command || !object) {
            continue;
        }
        auto run = [this, command] { retrieval_->Run([this, command] { command(*this); }); };
        if (auto* button = qobject_cast<QPushButton*>(object)) {
            connect(button, &QPushButton::clicked, this, run);
        } else if (auto* line = qobject_cast<QLineEdit*>(object)) {
            connect(line, &QLineEdit::returnPressed, this, run);
        } else if (auto* list = qobject_cast<QListWidget*>(object)) {
            connect(list, &QListWidget::itemSelectionChanged, this, run);
            connect(list, &QListWidget::itemClicked, this, run);
        } else if (auto* timer = qobject_cast<QTimer*>(object)) {
            connect(timer, &QTimer::timeout, this, run);
        }
    }
    links_->SetRowCommand(
        [this](int row) { retrieval_->Run([this, row] { retrieval_->Command_Link_AllValue_Click(row); }); });
}

// Qt's own focus chain follows the order Tab takes (focusNextPrevChild).
void MainWindow::setTabOrder() {
    QWidget* previous = nullptr;
    const Control* rows = &ctl<"Text_Link">();
    for (const Control* control : TabStops()) {
        QWidget* widget = control == rows ? nullptr : control->Widget();
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
    for (const design::Row& row : design::rows) {
        if (row.index >= 0 && name.compare(QLatin1StringView(row.name), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

Control* MainWindow::FindControl(const QString& name, int index) const {
    if (IsControlArray(name) && index >= 1) {
        return links_->RowControl(name, index);
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

bool MainWindow::Unloaded() const {
    return retrieval_->Closed();
}

void MainWindow::Load() {
    if (program_.ShowsTestCommands()) {
        ctl<"Command1">().SetVisible(true);
        ctl<"Command2">().SetVisible(true);
        ctl<"Command3">().SetVisible(true);
    }
    program_.SetSilentUpdateCheck(true);
    ctl<"Timer_Update">().SetInterval(1000);
    ctl<"Timer_Update">().SetEnabled(true);
    SkinWindow(*this);
    // The row pitch, from the template row as skinned.
    links_->MeasureRowPitch(SettingsStore::Instance().ListDistance());
    templates_->Load();
    setTabOrder(); // the controls stand where the skin put them
    // The window opens ready for a folder address.
    ctl<"Text_URL">().Widget()->setFocus(Qt::OtherFocusReason);
    TrimWorkingSet();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    retrieval_->Close([this] { unload(); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FitOnScreen(*this);
    }
}

void MainWindow::unload() {
    ctl<"Timer_Update">().SetEnabled(false);
    retrieval_->Forget();
    program_.MainWindowUnloaded();
    const QSize outer = SizeToSave(*this);
    WriteAttribute(settings(), keys::FormMain, QStringLiteral("Width"), QString::number(outer.width()));
    WriteAttribute(settings(), keys::FormMain, QStringLiteral("Height"), QString::number(outer.height()));
    // The listing options open as they were left.
    for (const Control* option : {&ctl<"Check_SubFolders">(), &ctl<"Check_PublicLinks">()}) {
        WriteAttribute(settings(), keys::FormMain + u'/' + option->Name(), QStringLiteral("Value"),
                       QString::number(option->Value()));
    }
    if (program_.OpenWindowCount() == 0) {
        program_.SaveSettingsAndEnd();
    }
}

// ---- The window's own commands ----

// Development run: creates as many empty rows as the answer has digits say.
void MainWindow::Command1_Click() {
    const std::optional<QString> answer = retrieval_->AfterWait(
        [this] { return program_.dialogs().input(this, appkeys::InputRowCount, QString(), QString()); });
    if (!answer) {
        return;
    }
    int count = 0;
    for (QChar digit : RegExtract(*answer, QStringLiteral("\\d"), QString())) {
        count = std::min(maxTestRows, count * 10 + digit.digitValue());
    }
    links_->CreateLinkRows(count);
}

void MainWindow::Command2_Click() {
    links_->ClearLinkRows();
}

void MainWindow::Command_NewWindow_Click() {
    program_.OpenMainWindow();
}

void MainWindow::Command_Updata_Click() {
    ctl<"Timer_Update">().SetEnabled(true); // the check runs on the next tick
}

void MainWindow::Timer_Update_Timer() {
    retrieval_->Run([this] { checkForUpdate(); });
}

void MainWindow::checkForUpdate() {
    // A tick while this window's check still waits starts no second one.
    if (checkingForUpdate_) {
        return;
    }
    checkingForUpdate_ = true;
    CheckForUpdate(program_.UpdateCheckAddress(), program_.SilentUpdateCheck(), *this, program_.dialogs(),
                   *retrieval_);
    checkingForUpdate_ = false;
    program_.SetSilentUpdateCheck(false);
    ctl<"Timer_Update">().SetEnabled(false);
}

} // namespace zandorel::app
