#include "app/templatepanel.h"

#include "app/control.h"
#include "app/dialogs.h"
#include "app/program.h"
#include "app/retrieval.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "text/placeholders.h"

#include <QListWidget>
#include <QSignalBlocker>

namespace zandorel::app {

namespace {

pugi::xml_node settings() {
    return SettingsStore::Instance().Root();
}

} // namespace

TemplatePanel::TemplatePanel(QWidget& window, Program& program, RetrievalController& guard,
                             const Controls& controls)
    : window_(window), program_(program), guard_(guard), c_(controls) {
    templateList()->setSelectionMode(QAbstractItemView::SingleSelection);
}

QListWidget* TemplatePanel::templateList() const {
    return qobject_cast<QListWidget*>(c_.list.Widget());
}

int TemplatePanel::selectedTemplate() const {
    const QListWidget* list = templateList();
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void TemplatePanel::showTemplateNames() {
    QListWidget* list = templateList();
    const QSignalBlocker quiet(list);
    list->clear();
    for (const TemplateItem& item : program_.Templates().Items()) {
        list->addItem(item.Name);
    }
}

void TemplatePanel::LoadTemplateList() {
    program_.Templates().Load(settings());
    showTemplateNames();
}

void TemplatePanel::Load() {
    LoadTemplateList();
    if (templateList()->count() >= 1) {
        selectTemplate(0);
    }
}

void TemplatePanel::selectTemplate(int index) {
    QListWidget* list = templateList();
    {
        const QSignalBlocker quiet(list);
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    List_CodeList_Click();
}

void TemplatePanel::List_CodeList_Click() {
    if (const std::optional<QString> format = program_.Templates().Format(selectedTemplate())) {
        c_.format.SetText(*format);
    }
}

void TemplatePanel::Command_AddToList_Click() {
    const std::optional<QString> name = guard_.AfterWait([this] {
        const pugi::xml_node root = settings();
        return program_.dialogs().input(
            &window_,
            ExpandAppTags(ReadNodeText(root, keys::InputTemplateName, keys::InputTemplateNameDefault)),
            ExpandAppTags(ReadAttribute(root, keys::InputTemplateName, keys::Title,
                                        keys::InputTemplateNameTitleDefault)),
            QString());
    });
    if (name && program_.Templates().Add(settings(), *name, c_.format.Text())) {
        showTemplateNames();
    }
}

void TemplatePanel::Command_DelToList_Click() {
    program_.Templates().Delete(settings(), selectedTemplate());
    showTemplateNames();
}

void TemplatePanel::Command_ListUp_Click() {
    const int select = program_.Templates().MoveUp(settings(), selectedTemplate());
    showTemplateNames();
    if (select >= 0) {
        selectTemplate(select);
    }
}

void TemplatePanel::Command_ListDown_Click() {
    const int select = program_.Templates().MoveDown(settings(), selectedTemplate());
    showTemplateNames();
    if (select >= 0) {
        selectTemplate(select);
    }
}

} // namespace zandorel::app
