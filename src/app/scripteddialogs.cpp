#include "app/scripteddialogs.h"

#include <utility>

namespace zandorel::app {

QList<ScriptedDialogs::Call> ScriptedDialogs::calls(Kind kind) const {
    QList<Call> found;
    for (const Call& call : calls_) {
        if (call.kind == kind) {
            found.append(call);
        }
    }
    return found;
}

void ScriptedDialogs::clear() {
    calls_.clear();
    messageAnswers_.clear();
    inputAnswers_.clear();
    fileAnswers_.clear();
}

void ScriptedDialogs::record(const Call& call) {
    calls_.append(call);
    if (whileShown) {
        // A copy: the hook may replace itself.
        const auto hook = whileShown;
        hook(call);
    }
}

Dialogs::Answer ScriptedDialogs::message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                                         Buttons buttons) {
    record({Kind::Message, text, title, icon, buttons, QString(), owner});
    Answer answer = buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    if (!messageAnswers_.empty()) {
        answer = messageAnswers_.front();
        messageAnswers_.pop_front();
    }
    // A box with only OK cannot answer anything else.
    return buttons == Buttons::Ok ? Answer::Ok : answer;
}

QString ScriptedDialogs::input(QWidget* owner, const QString& prompt, const QString& title,
                               const QString& defaultText) {
    record({Kind::Input, prompt, title, Icon::None, Buttons::Ok, defaultText, owner});
    if (inputAnswers_.empty()) {
        return QString();
    }
    QString answer = std::move(inputAnswers_.front());
    inputAnswers_.pop_front();
    return answer;
}

QString ScriptedDialogs::openFile(QWidget* owner, const QString& title, const QString& filterName) {
    record({Kind::OpenFile, filterName, title, Icon::None, Buttons::Ok, QString(), owner});
    if (fileAnswers_.empty()) {
        return QString();
    }
    QString answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    return answer;
}

void ScriptedDialogs::openUrl(const QString& address) {
    record({Kind::OpenUrl, address, QString(), Icon::None, Buttons::Ok, QString(), nullptr});
}

} // namespace zandorel::app
