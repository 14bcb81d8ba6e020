#include "app/dialogs.h"

#include "text/appinfo.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

namespace zandorel::app {
namespace {

QString titleOrProgram(const QString& title) {
    return title.isEmpty() ? ProgramTitle() : title;
}

QMessageBox::Icon boxIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString ProgramTitle() {
    return AppInfo::current().title;
}

Dialogs::Answer QtDialogs::message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                                   Buttons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(titleOrProgram(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(boxIcon(icon));
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

QString QtDialogs::input(QWidget* owner, const QString& prompt, const QString& title,
                         const QString& defaultText) {
    // QInputDialog would take a prompt that looks like markup for rich text.
    QDialog dialog(owner);
    dialog.setWindowTitle(titleOrProgram(title));
    auto* label = new QLabel(&dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(prompt);
    auto* edit = new QLineEdit(defaultText, &dialog);
    edit->selectAll();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(label);
    column->addWidget(edit);
    column->addWidget(buttons);
    dialog.setMinimumWidth(360);
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return edit->text();
}

QString QtDialogs::openFile(QWidget* owner, const QString& title, const QString& filterName) {
    // The name stands before one pattern that shows every file; Qt reads the
    // last parenthesised group as the patterns, so brackets in the name stay.
    const QString filter = filterName + QStringLiteral(" (*)");
    return QFileDialog::getOpenFileName(owner, titleOrProgram(title), QString(), filter);
}

void QtDialogs::openUrl(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

QTranslator* InstallQtTranslations(const QLocale& locale) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator)) {
        return translator;
    }
    delete translator;
    return nullptr;
}

} // namespace zandorel::app
