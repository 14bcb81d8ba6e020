#pragma once
// Every message box, input box, open dialog and web-address opening of the
// program goes through one Dialogs object, so that tests can answer them
// without a person. Texts are always shown as plain text.

#include <QString>

class QLocale;
class QTranslator;
class QWidget;

namespace zandorel::app {

class Dialogs {
public:
    enum class Icon { None, Information, Exclamation, Critical };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    // A modal message box. An empty title shows the program's title.
    virtual Answer message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                           Buttons buttons) = 0;
    // A modal input box; empty text when cancelled. An empty title shows the
    // program's title.
    virtual QString input(QWidget* owner, const QString& prompt, const QString& title,
                          const QString& defaultText) = 0;
    // The open dialog for one existing file; its single filter shows every
    // file under `filterName`. The full path, or empty text when cancelled.
    virtual QString openFile(QWidget* owner, const QString& title, const QString& filterName) = 0;
    // Asks the desktop to open a web address; the outcome is not reported.
    virtual void openUrl(const QString& address) = 0;
};

// The dialogs of a person at the screen: Qt's message box, a small input
// box, Qt's file dialog and the desktop's web browser.
class QtDialogs : public Dialogs {
public:
    Answer message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override;
    QString input(QWidget* owner, const QString& prompt, const QString& title,
                  const QString& defaultText) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filterName) override;
    void openUrl(const QString& address) override;
};

// The title shown where a dialog has none of its own.
QString ProgramTitle();

// Qt's own texts (the buttons of message and input boxes, the file dialog)
// in the language of `locale`: installs Qt's translations for it and
// returns the translator, owned by the application, or null when Qt has no
// translation for that language.
QTranslator* InstallQtTranslations(const QLocale& locale);

} // namespace zandorel::app
