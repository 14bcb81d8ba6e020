#include "app/selectall.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

namespace zandorel::app {
namespace {

class SelectAllFilter : public QObject {
public:
    SelectAllFilter(QWidget* box, bool onFocus) : QObject(box), box_(box), onFocus_(onFocus) {
        // A text area gets its mouse events through its viewport.
        if (auto* area = qobject_cast<QAbstractScrollArea*>(box)) {
            viewport_ = area->viewport();
            viewport_->installEventFilter(this);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == viewport_) {
            return viewportEvent(event);
        }
        if (watched != box_) {
            return false;
        }
        if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            SelectAllOnCtrlA(box_, key->key(), key->modifiers());
        } else if (event->type() == QEvent::FocusIn && onFocus_) {
            SelectAllText(box_);
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                focusClick_ = FocusClick::Expected;
                // The press that gave the focus places the caret after this
                // handler; select again once it has.
                QTimer::singleShot(0, box_, [this, guard = QPointer<QWidget>(box_)] {
                    if (guard && guard->hasFocus()) {
                        SelectAllText(guard);
                    }
                    if (focusClick_ == FocusClick::Expected) {
                        focusClick_ = FocusClick::None; // the focus came without a press here
                    }
                });
            }
        } else if (event->type() == QEvent::FocusOut) {
            focusClick_ = FocusClick::None;
        }
        return false;
    }

private:
    // The click that gives a text area the focus selects its whole text: the
    // area never sees that press and release, which would place the caret,
    // or take the press inside the selection for the start of a drag and
    // clear the selection on the release.
    bool viewportEvent(QEvent* event) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress && focusClick_ == FocusClick::Expected &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            focusClick_ = FocusClick::Pressed;
            SelectAllText(box_);
            return true;
        }
        if (focusClick_ == FocusClick::Pressed) {
            if (type == QEvent::MouseMove) {
                return true;
            }
            if (type == QEvent::MouseButtonRelease) {
                focusClick_ = FocusClick::None;
                SelectAllText(box_);
                return true;
            }
        }
        return false;
    }

    enum class FocusClick { None, Expected, Pressed };

    QWidget* box_;
    QWidget* viewport_ = nullptr;
    bool onFocus_;
    FocusClick focusClick_ = FocusClick::None;
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
