#pragma once
// The frequently used format templates ("常用代码"): the Template elements
// of "/Soft/TemplateList" in the settings document, each a name attribute
// and the format as element text, mirrored in one table in document order.
// Every edit is made in the document first and the table is then read back
// from it, so the table never holds what the document does not.

#include <QList>
#include <QString>
#include <optional>
#include <pugixml.hpp>

namespace zandorel {

struct TemplateItem {
    QString Name;
    QString Format;
};

class TemplateList {
public:
    // Rebuilds the table from the document; empty when it holds no Template.
    void Load(pugi::xml_node settings);
    // Rewrites every Template element from the table, then loads the table back.
    void Save(pugi::xml_node settings);

    const QList<TemplateItem>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }
    // The format of entry `index` (choosing it); none when there is no such entry.
    std::optional<QString> Format(int index) const;

    // Appends a template of that name and format and reloads. An empty name,
    // or one of blanks only, changes nothing and returns false; names are not
    // checked otherwise (a name is kept as typed, blanks included), so
    // repeated names and empty formats are kept.
    bool Add(pugi::xml_node settings, const QString& name, const QString& format);
    // Removes entry `index` of the document and reloads. Nothing is removed
    // for an index below 0 or one the document no longer has.
    bool Delete(pugi::xml_node settings, int index);
    // Reload, then move the entry at `selected` one place up (down) and save.
    // The result is the index to select afterwards: the moved entry; the same
    // entry when it cannot move (first up, last down); -1 when `selected` is
    // no entry.
    int MoveUp(pugi::xml_node settings, int selected);
    int MoveDown(pugi::xml_node settings, int selected);

    // The format the link texts take when none is given: the first saved
    // template's, else the built-in default.
    static QString DefaultFormat(pugi::xml_node settings);

private:
    QList<TemplateItem> items_;
};

} // namespace zandorel
