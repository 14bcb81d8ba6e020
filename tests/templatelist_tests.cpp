// The template list's rules on a settings document, without a window.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/templatelist.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zandorel;
using namespace Qt::StringLiterals;

namespace {

// A document whose template list holds entries named by the letters of
// `names`, each with the format "f" + its letter.
class Templates {
public:
    explicit Templates(const QString& names) {
        QString xml = u"<Soft><TemplateList>"_s;
        for (QChar name : names) {
            xml += u"<Template name=\"%1\">f%1</Template>"_s.arg(name);
        }
        EXPECT_TRUE(LoadXmlText(doc, xml + u"</TemplateList></Soft>"_s));
        list.Load(doc);
    }
    // The names in the table, and the document agreeing with it.
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

TEST(TemplateList, LoadsNamesAndFormatsInDocumentOrder) {
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

    // Loading again replaces the table; a document without templates empties it.
    ASSERT_TRUE(LoadXmlText(doc, u"<Soft><Config/></Soft>"_s));
    list.Load(doc);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TemplateList, AddKeepsEveryNamedEntryInOrder) {
    // A document without a list gets one at the first add.
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, u"<Soft><Config/></Soft>"_s));
    TemplateList list;
    list.Load(doc);
    EXPECT_FALSE(list.Add(doc, QString(), u"cancelled"_s));
    EXPECT_EQ(CountNodes(doc, keys::Template), 0);
    EXPECT_TRUE(list.Add(doc, u"same"_s, u"one"_s));
    EXPECT_TRUE(list.Add(doc, u"same"_s, QString()));
    EXPECT_TRUE(list.Add(doc, u"third"_s, u"<a title='x & y'>\"q\"</a>"_s));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items()[0].Format, u"one"_s);
    EXPECT_EQ(list.Items()[1].Name, u"same"_s);
    EXPECT_EQ(list.Items()[1].Format, QString());

    // Saved to disc and read again, markup stays as it was typed.
    QTemporaryDir folder;
    const QString path = folder.filePath(u"ZandorelConfig.xml"_s);
    ASSERT_TRUE(formatDoc(doc, path));
    pugi::xml_document again;
    ASSERT_TRUE(LoadXmlFile(again, path));
    list.Load(again);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items()[2].Name, u"third"_s);
    EXPECT_EQ(list.Items()[2].Format, u"<a title='x & y'>\"q\"</a>"_s);
}

TEST(TemplateList, DeleteRemovesOnlyAnEntryTheDocumentHas) {
    const struct {
        const char* name;
        QString names;
        int index;
        bool removed;
        QString after;
    } cases[] = {
        {"the only entry", u"a"_s, 0, true, QString()},
        {"a middle entry", u"abc"_s, 1, true, u"ac"_s},
        {"none selected", u"abc"_s, -1, false, u"abc"_s},
        {"out of date", u"abc"_s, 3, false, u"abc"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Templates t(c.names);
        EXPECT_EQ(t.list.Delete(t.doc, c.index), c.removed);
        EXPECT_EQ(t.Names(), c.after);
    }
}

TEST(TemplateList, MovesSwapNeighboursAndTellWhatToSelect) {
    const struct {
        const char* name;
        bool up;
        int selected;
        QString after;
        int select;
    } cases[] = {
        {"second of three down", false, 1, u"acb"_s, 2}, {"second of three up", true, 1, u"bac"_s, 0},
        {"first up stays", true, 0, u"abc"_s, 0},        {"last down stays", false, 2, u"abc"_s, 2},
        {"none selected up", true, -1, u"abc"_s, -1},    {"none selected down", false, -1, u"abc"_s, -1},
        {"beyond the list up", true, 3, u"abc"_s, -1},   {"beyond the list down", false, 5, u"abc"_s, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Templates t(u"abc"_s);
        EXPECT_EQ(c.up ? t.list.MoveUp(t.doc, c.selected) : t.list.MoveDown(t.doc, c.selected), c.select);
        EXPECT_EQ(t.Names(), c.after);
    }
}

TEST(TemplateList, MovesWorkOnTheDocumentNotAnOutOfDateTable) {
    // Another window added an entry after this table was loaded.
    Templates t(u"ab"_s);
    TemplateList other;
    other.Load(t.doc);
    ASSERT_TRUE(other.Add(t.doc, u"c"_s, u"fc"_s));
    EXPECT_EQ(t.list.Count(), 2);
    EXPECT_EQ(t.list.MoveDown(t.doc, 1), 2);
    EXPECT_EQ(t.Names(), u"acb"_s);
    // Only this table was reloaded; the other one is out of date until its own command.
    EXPECT_EQ(other.Items()[2].Name, u"c"_s);
}

TEST(TemplateList, DefaultFormatIsTheFirstTemplatesElseTheBuiltInOne) {
    const struct {
        QString xml;
        QString format;
    } cases[] = {
        {u"<Soft><TemplateList><Template name=\"a\">%t(name)!</Template><Template>x</Template>"
         u"</TemplateList></Soft>"_s,
         u"%t(name)!"_s},
        {u"<Soft><TemplateList><Template name=\"empty\"/></TemplateList></Soft>"_s, QString()},
        {u"<Soft><TemplateList/></Soft>"_s, u"%v(name)%v(extension)"_s},
        {u"<Soft/>"_s, u"%v(name)%v(extension)"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml.toStdString());
        pugi::xml_document doc;
        ASSERT_TRUE(LoadXmlText(doc, c.xml));
        EXPECT_EQ(TemplateList::DefaultFormat(doc), c.format);
    }
}

} // namespace
