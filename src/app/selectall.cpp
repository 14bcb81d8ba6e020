#include "app/selectall.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

namespace zandorel::app {
namespace {

class SelectAllFilter : public QObject {
public:
    SelectAllFilter(QWidget* box, bool onFocus) : QObject(box), onFocus_(onFocus) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QWidget*>(watched);
        if (!box) {
            return false;
        }
        if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            SelectAllOnCtrlA(box, key->key(), key->modifiers());
        } else if (event->type() == QEvent::FocusIn && onFocus_) {
            SelectAllText(box);
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                // The press that gave the focus places the caret after this
                // handler; select again once it has.
                QTimer::singleShot(0, box, [guard = QPointer<QWidget>(box)] {
                    if (guard && guard->hasFocus()) {
                        SelectAllText(guard);
                    }
                });
            }
        }
        return false;
    }

private:
    bool onFocus_;
};

} // namespace

void SelectAllText(QWidget* box) {
    if (auto* line = qobject_cast<QLineEdit*>(box)) {
        line->selectAll();
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(box)) {
        edit->selectAll();
    }
}

void SelectAllOnCtrlA(QWidget* box, int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if ((key == 65 || key == 97) && held == Qt::ControlModifier) {
        SelectAllText(box);
    }
}

void InstallSelectAll(QWidget* box, bool onFocus) {
    box->installEventFilter(new SelectAllFilter(box, onFocus));
}

} // namespace zandorel::app
