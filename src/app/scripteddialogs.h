#pragma once
// Dialogs that answer from a script instead of a person: every call is
// recorded, and the answers are taken in order from per-kind queues. With
// nothing queued a message box answers OK (No for Yes/No), an input box and
// the open dialog answer as if cancelled.

#include "app/dialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>

namespace zandorel::app {

class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Message, Input, OpenFile, OpenUrl };
    struct Call {
        Kind kind = Kind::Message;
        QString text; // message text, input prompt, open-dialog filter name or address
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QString defaultText;
        QWidget* owner = nullptr;
    };

    void answerMessage(Answer answer) { messageAnswers_.push_back(answer); }
    void answerInput(const QString& text) { inputAnswers_.push_back(text); }
    void answerOpenFile(const QString& path) { fileAnswers_.push_back(path); }

    // Runs while a dialog is "up", before it answers, as a person could act
    // on other windows while a modal box waits.
    std::function<void(const Call&)> whileShown;

    const QList<Call>& calls() const { return calls_; }
    QList<Call> calls(Kind kind) const;
    void clear();

    Answer message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override;
    QString input(QWidget* owner, const QString& prompt, const QString& title,
                  const QString& defaultText) override;
    QString openFile(QWidget* owner, const QString& title, const QString& filterName) override;
    void openUrl(const QString& address) override;

private:
    void record(const Call& call);

    QList<Call> calls_;
    std::deque<Answer> messageAnswers_;
    std::deque<QString> inputAnswers_;
    std::deque<QString> fileAnswers_;
};

} // namespace zandorel::app
