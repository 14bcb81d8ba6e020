// The template list's rules on a settings document, without a window.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/templatelist.h"

#include <gtest/gtest.h>

using namespace zandorel;
using namespace Qt::StringLiterals;

namespace {

// A template list of entries named by the letters of `names`, formats "f" + letter.
struct Templates {
    explicit Templates(const QString& names) {
        QString xml = u"<Soft><TemplateList>"_s;
        for (QChar name : names) {
            xml += u"<Template name=\"%1\">f%1</Template>"_s.arg(name);
        }
        EXPECT_TRUE(LoadXmlText(doc, xml + u"</TemplateList></Soft>"_s));
        list.Load(doc);
    }
    // The names in the table, checking that the document agrees with it.
    QString Names() const {
        QString names;
        for (const TemplateItem& item : list.Items()) {
            names += item.Name;
            EXPECT_EQ(item.Format, u"f"_s + item.Name);
        }
        TemplateList fresh;
        fresh.Load(doc);
        EXPECT_EQ(fresh.Count(), list.Count());
        return names;
    }
    pugi::xml_document doc;
    TemplateList list;
};

TEST(TemplateList, LoadAndAddKeepEveryEntryInDocumentOrder) {
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(
        doc, u"<Soft><TemplateList><Template name=\"a\">&lt;a href=\"%t(urls.download)\"&gt;</Template>"
             u"<Template><![CDATA[<b>&</b>]]></Template><Template name=\"c\"/>"
             u"</TemplateList></Soft>"_s));
    TemplateList list;
    list.Load(doc);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items()[0].Name, u"a"_s);
    EXPECT_EQ(list.Items()[0].Format, u"<a href=\"%t(urls.download)\">"_s);
    EXPECT_EQ(list.Items()[1].Name, QString()); // no name attribute
    EXPECT_EQ(list.Items()[1].Format, u"<b>&</b>"_s);
    EXPECT_EQ(list.Format(2), QString());
    EXPECT_EQ(list.Format(3), std::nullopt);
    EXPECT_EQ(list.Format(-1), std::nullopt);
    // Loading a document without a list empties the table; the first add makes one.
    ASSERT_TRUE(LoadXmlText(doc, u"<Soft><Config/></Soft>"_s));
    list.Load(doc);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Add(doc, QString(), u"cancelled"_s));
    EXPECT_EQ(CountNodes(doc, keys::Template), 0);
    EXPECT_TRUE(list.Add(doc, u"same"_s, u"one"_s));
    EXPECT_TRUE(list.Add(doc, u"same"_s, QString()));
    list.Load(doc);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items()[1].Name, u"same"_s);
    EXPECT_EQ(list.Items()[1].Format, QString());
}

// Delete, move up and move down: what each leaves and what it selects.
TEST(TemplateList, EditsChangeOnlyAnEntryTheDocumentHas) {
    enum Op { Delete, Up, Down };
    const struct {
        const char* name;
        QString names;
        Op op;
        int selected;
        int result; // delete: 1 when removed; moves: the row to select
        QString after;
    } cases[] = {
        {"delete a middle entry", u"abc"_s, Delete, 1, 1, u"ac"_s},
        {"delete none selected", u"abc"_s, Delete, -1, 0, u"abc"_s},
        {"delete out of date", u"abc"_s, Delete, 3, 0, u"abc"_s},
        {"second of three up", u"abc"_s, Up, 1, 0, u"bac"_s},
        {"first up stays", u"abc"_s, Up, 0, 0, u"abc"_s},
        {"none selected up", u"abc"_s, Up, -1, -1, u"abc"_s},
        {"beyond the list up", u"abc"_s, Up, 3, -1, u"abc"_s},
        {"beyond the list down", u"abc"_s, Down, 5, -1, u"abc"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Templates t(c.names);
        const int result = c.op == Delete ? int(t.list.Delete(t.doc, c.selected))
                           : c.op == Up   ? t.list.MoveUp(t.doc, c.selected)
                                          : t.list.MoveDown(t.doc, c.selected);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(t.Names(), c.after);
    }
    // Moves work on the document, not on a table another window made out of date.
    Templates t(u"ab"_s);
    TemplateList other;
    other.Load(t.doc);
    ASSERT_TRUE(other.Add(t.doc, u"c"_s, u"fc"_s));
    EXPECT_EQ(t.list.MoveDown(t.doc, 1), 2);
    EXPECT_EQ(t.Names(), u"acb"_s);
}

TEST(TemplateList, DefaultFormatIsTheFirstTemplatesElseTheBuiltInOne) {
    const std::pair<QString, QString> cases[] = {
        {u"<TemplateList><Template name=\"a\">%t(name)!</Template><Template>x</Template></TemplateList>"_s,
         u"%t(name)!"_s},
        {u"<TemplateList><Template name=\"empty\"/></TemplateList>"_s, QString()},
        {u"<TemplateList/>"_s, u"%v(name)%v(extension)"_s},
        {QString(), u"%v(name)%v(extension)"_s},
    };
    for (const auto& [xml, format] : cases) {
        SCOPED_TRACE(xml.toStdString());
        pugi::xml_document doc;
        ASSERT_TRUE(LoadXmlText(doc, u"<Soft>"_s + xml + u"</Soft>"_s));
        EXPECT_EQ(TemplateList::DefaultFormat(doc), format);
    }
}

} // namespace
