#pragma once
// The format template panel of a main window: the list of frequently used
// templates (List_CodeList) and its four buttons, + and - to add the
// template in Text_CodeFormat under a name and to delete the chosen entry,
// and ↑ ↓ to move the chosen entry.
//
// The table and its rules live in the program's TemplateList; the panel
// shows the names and knows which entry the user has chosen. An entry is
// chosen by being selected (a click, a key that moves the selection, or the
// selection set in code); the focus outline that a list gets when it is
// tabbed into chooses nothing. Choosing an entry puts its format into
// Text_CodeFormat.

#include <QObject>

class QListWidget;
class QWidget;

namespace zandorel::app {

class Control;
class Program;
class RetrievalController;

class TemplatePanel : public QObject {
    Q_OBJECT

public:
    struct Controls {
        Control& list;   // List_CodeList
        Control& format; // Text_CodeFormat
    };

    // The window's commands run under `guard`.
    TemplatePanel(QWidget& window, Program& program, RetrievalController& guard, const Controls& controls);

    // Rebuilds the program's template table from the settings and shows its names.
    void LoadTemplateList();
    // The load step: the templates shown and the first, if any, chosen.
    void Load();

    void Command_AddToList_Click();
    void Command_DelToList_Click();
    void Command_ListUp_Click();
    void Command_ListDown_Click();
    void List_CodeList_Click();

private:
    QListWidget* templateList() const;
    int selectedTemplate() const; // -1 when none is selected
    void showTemplateNames();
    void selectTemplate(int index);

    QWidget& window_;
    Program& program_;
    RetrievalController& guard_;
    Controls c_;
};

} // namespace zandorel::app
