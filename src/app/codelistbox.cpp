#include "app/codelistbox.h"

#include "app/appicon.h"
#include "app/selectall.h"
#include "app/windowgeometry.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/linklist.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>

namespace zandorel::app {

CodeListBox::CodeListBox(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("CodeListBox"));
    setWindowTitle(QString::fromUtf16(u" 代码列表"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* code = new QPlainTextEdit(this);
    code->setObjectName(QStringLiteral("Text_Code"));
    code->setReadOnly(true);
    code->setLineWrapMode(QPlainTextEdit::NoWrap);
    code->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    code->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    InstallSelectAll(code, false);
    auto* ok = new QPushButton(this);
    ok->setObjectName(QStringLiteral("Command_Ok"));
    ok->setDefault(true); // Enter presses it; Esc closes the dialog like it
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    controls_.push_back(std::make_unique<Control>(ControlKind::TextBox, QStringLiteral("Text_Code")));
    Text_Code_ = controls_.back().get();
    Text_Code_->SetTabIndex(0);
    Text_Code_->SetGeometry(0, 0, 313, 177);
    Text_Code_->Bind(code);
    controls_.push_back(std::make_unique<Control>(ControlKind::Button, QStringLiteral("Command_Ok")));
    Command_Ok_ = controls_.back().get();
    Command_Ok_->SetTabIndex(1);
    Command_Ok_->SetGeometry(112, 176, 73, 25);
    Command_Ok_->SetCaption(QString::fromUtf16(u" 关闭"));
    Command_Ok_->Bind(ok);
    QWidget::setTabOrder(code, ok);
    // Room for the close button and a few lines of the text.
    setMinimumSize(160, 120);
    resize(312, 206);

    // Load steps.
    SkinWindow(*this);
    setWindowIcon(ProgramIcon());
}

CodeListBox::~CodeListBox() = default;

QList<Control*> CodeListBox::Controls() const {
    return {Text_Code_, Command_Ok_};
}

void CodeListBox::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutViewer();
}

void CodeListBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitOnScreen(*this);
}

void CodeListBox::LayoutViewer() {
    const double w = width();
    const double h = height();
    Text_Code_->SetWidth(w);
    Command_Ok_->SetTop(h - Command_Ok_->Height());
    Text_Code_->SetHeight(Command_Ok_->Top() - Text_Code_->Top());
    Command_Ok_->SetLeft((w - Command_Ok_->Width()) / 2);
}

void CodeListBox::done(int result) {
    if (!unloaded_) {
        unloaded_ = true;
        // The size reaches the disc with the settings, when the last main window closes.
        const QSize outer = SizeToSave(*this);
        const pugi::xml_node settings = SettingsStore::Instance().Root();
        WriteAttribute(settings, keys::CodeListBox, QStringLiteral("Width"), QString::number(outer.width()));
        WriteAttribute(settings, keys::CodeListBox, QStringLiteral("Height"),
                       QString::number(outer.height()));
    }
    QDialog::done(result);
}

void ShowPropertyViewer(QWidget* owner, const SDPage& page, int position) {
    const QString text = PropertyViewerText(page, position);
    QPointer<CodeListBox> viewer = new CodeListBox(owner);
    viewer->Text_Code().SetText(text);
    viewer->exec();
    delete viewer.data();
}

} // namespace zandorel::app
