#include "settings/templatelist.h"

#include "settings/editxml.h"
#include "settings/keys.h"

namespace zandorel {
namespace {

const QString templateName = QStringLiteral("Template");
const QString nameAttribute = QStringLiteral("name");

} // namespace

void TemplateList::Load(pugi::xml_node settings) {
    items_.clear();
    const int count = CountNodes(settings, keys::Template);
    items_.reserve(count);
    for (int k = 0; k < count; ++k) {
        items_.append({ReadAttribute(settings, keys::Template, nameAttribute, QString(), k),
                       ReadNodeText(settings, keys::Template, QString(), k)});
    }
}

void TemplateList::Save(pugi::xml_node settings) {
    const int count = CountNodes(settings, keys::Template);
    for (int k = 0; k < count; ++k) {
        RemoveElement(settings, keys::TemplateList, templateName, 0);
    }
    const QList<TemplateItem> table = items_;
    for (int k = 0; k < table.size(); ++k) {
        AppendElement(settings, keys::TemplateList, templateName, table[k].Format);
        AddAttribute(settings, keys::Template, nameAttribute, table[k].Name, k);
    }
    Load(settings);
}

std::optional<QString> TemplateList::Format(int index) const {
    if (index < 0 || index >= Count()) {
        return std::nullopt;
    }
    return items_[index].Format;
}

bool TemplateList::Add(pugi::xml_node settings, const QString& name, const QString& format) {
    if (name.trimmed().isEmpty()) { // a name of blanks would show as an empty entry
        return false;
    }
    if (AppendElement(settings, keys::TemplateList, templateName, format)) {
        AddAttribute(settings, keys::Template, nameAttribute, name, CountNodes(settings, keys::Template) - 1);
    }
    Load(settings);
    return true;
}

bool TemplateList::Delete(pugi::xml_node settings, int index) {
    const bool removed = index >= 0 && RemoveElement(settings, keys::TemplateList, templateName, index);
    Load(settings);
    return removed;
}

int TemplateList::MoveUp(pugi::xml_node settings, int selected) {
    Load(settings);
    const int count = Count();
    if (count < 1 || selected < 1 || selected >= count) {
        return selected >= 0 && selected < count ? selected : -1;
    }
    items_.swapItemsAt(selected - 1, selected);
    Save(settings);
    return selected - 1;
}

int TemplateList::MoveDown(pugi::xml_node settings, int selected) {
    Load(settings);
    const int count = Count();
    if (selected >= 0 && selected < count - 1) {
        items_.swapItemsAt(selected, selected + 1);
        Save(settings);
        return selected + 1;
    }
    return selected >= 0 && selected < count ? selected : -1;
}

QString TemplateList::DefaultFormat(pugi::xml_node settings) {
    TemplateList list;
    list.Load(settings);
    return list.Count() > 0 ? list.items_.first().Format : keys::DefaultCodeFormat;
}

} // namespace zandorel
