#pragma once
// CodeListBox, the property viewer: every property of one file, one
// "Title     Value" line each, shown modal so the user can find the titles
// to write into a format template. It remembers its size in the settings.

#include "app/control.h"
#include "app/skin.h"

#include <QDialog>
#include <memory>
#include <vector>

namespace zandorel {
class SDPage;
}

namespace zandorel::app {

class CodeListBox : public QDialog, public SkinnedWindow {
    Q_OBJECT

public:
    // Creates the viewer and runs its load steps (skinning, the icon).
    explicit CodeListBox(QWidget* owner);
    ~CodeListBox() override;

    Control& Text_Code() const { return *Text_Code_; }
    Control& Command_Ok() const { return *Command_Ok_; }

    void LayoutViewer();

    // SkinnedWindow
    QString WindowName() const override { return QStringLiteral("CodeListBox"); }
    QWidget* WindowWidget() override { return this; }
    QList<Control*> Controls() const override;
    bool IsControlArray(const QString&) const override { return false; }

    // Closing, whichever way: the unload steps, then the dialog's own.
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::unique_ptr<Control>> controls_;
    Control* Text_Code_ = nullptr;
    Control* Command_Ok_ = nullptr;
    bool unloaded_ = false;
};

// Opens the viewer for file `position` of the page and returns when it has
// been closed.
void ShowPropertyViewer(QWidget* owner, const SDPage& page, int position);

} // namespace zandorel::app
