// The settings document: loading, reads and their defaults, edits, the save.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/templatelist.h"
#include "share/address.h"
#include "testsupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

class SettingsTest : public test::FolderTest {
protected:
    // A store loaded from a settings file holding <Soft>inner</Soft>.
    void load(SettingsStore& store, const std::string& inner) {
        ASSERT_TRUE(store.LoadSettings(write(("<Soft>" + inner + "</Soft>").c_str())));
    }
};

// "name=format" of every template, in order.
QString templateNames(const pugi::xml_node doc) {
    QStringList list;
    for (int k = 0; k < CountNodes(doc, keys::Template); ++k) {
        list << ReadAttribute(doc, keys::Template, q("name"), QString(), k) + q("=") +
                    ReadNodeText(doc, keys::Template, QString(), k);
    }
    return list.join(q(" "));
}

} // namespace

TEST_F(SettingsTest, LoadRejectsMissingAndMalformedFiles) {
    SettingsStore store;
    EXPECT_FALSE(store.LoadSettings(dir.filePath(q("missing.xml"))));
    for (const char* text : {"<Soft><Config></Soft>", "", "just text"}) {
        EXPECT_FALSE(store.LoadSettings(write(text))) << text;
    }
    // Only an ordinary file: a pipe used to block the program before any window.
    const QString fifo = dir.filePath(q("fifo.xml"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(store.LoadSettings(fifo));
    EXPECT_FALSE(store.LoadSettings(dir.path()));
    // A file as large as the limit loads; one byte more does not.
    for (const long long size : {MaxXmlFileSize, MaxXmlFileSize + 1}) {
        SCOPED_TRACE(size);
        QByteArray text("<Soft><Config ListDistance=\"3\"/></Soft>");
        text.append(QByteArray(size - text.size(), ' '));
        EXPECT_EQ(store.LoadSettings(write(text.constData())), size == MaxXmlFileSize);
        EXPECT_EQ(store.ListDistance(), size == MaxXmlFileSize ? 3 : 10);
    }
    const QString message =
        LoadErrorMessage(q("ZandorelConfig.xml"), QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
    EXPECT_TRUE(message.startsWith(q("加载XML设置文件失败，请检查 ZandorelConfig.xml 是否配置正确\r\n"
                                     "Load XML config error,please check ZandorelConfig.xml\r\n")));
}

// Two programs on one file: the last to save keeps the other's saves, its own edits on top.
TEST_F(SettingsTest, SaveMergesWhatAnotherProgramSavedMeanwhile) {
    const QString path =
        write("<Soft><Window><Form_Main Width=\"842\" Height=\"425\"/></Window><TemplateList>"
              "<Template name=\"a\">fa</Template><Template name=\"b\">fb</Template>"
              "<Template name=\"c\">fc</Template></TemplateList></Soft>");
    SettingsStore first, second, disc;
    ASSERT_TRUE(first.LoadSettings(path));
    ASSERT_TRUE(second.LoadSettings(path));
    auto width = [&] { return ReadAttribute(disc.Root(), keys::FormMain, q("Width"), QString()); };

    // The first adds "x", deletes "b" and saves: nothing to merge.
    TemplateList list;
    list.Load(first.Root());
    ASSERT_TRUE(list.Add(first.Root(), q("x"), q("fx")));
    ASSERT_TRUE(list.Delete(first.Root(), 1));
    ASSERT_TRUE(first.Save());
    EXPECT_FALSE(first.LastSaveMerged());

    // The second adds "y", moves "c" up, sets its window width and saves.
    list.Load(second.Root());
    ASSERT_TRUE(list.Add(second.Root(), q("y"), q("fy")));
    ASSERT_EQ(list.MoveUp(second.Root(), 2), 1);
    ASSERT_TRUE(WriteAttribute(second.Root(), keys::FormMain, q("Width"), q("900")));
    ASSERT_TRUE(second.Save());
    EXPECT_TRUE(second.LastSaveMerged());
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(templateNames(disc.Root()), q("a=fa c=fc x=fx y=fy"));
    EXPECT_EQ(width(), q("900"));
    EXPECT_EQ(ReadAttribute(disc.Root(), keys::FormMain, q("Height"), QString()), q("425"));
    // What the second saved is now its base: a later save merges nothing.
    EXPECT_EQ(templateNames(second.Root()), templateNames(disc.Root()));
    ASSERT_TRUE(second.Save());
    EXPECT_FALSE(second.LastSaveMerged());

    // The first, saving again, keeps the second's entries and its own delete.
    list.Load(first.Root());
    ASSERT_TRUE(list.Delete(first.Root(), 0));
    ASSERT_TRUE(first.Save());
    EXPECT_TRUE(first.LastSaveMerged());
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(templateNames(disc.Root()), q("c=fc x=fx y=fy"));
    EXPECT_EQ(width(), q("900"));

    // Alone on the file, a moved entry keeps its new place.
    list.Load(first.Root());
    ASSERT_EQ(list.MoveDown(first.Root(), 0), 1);
    ASSERT_TRUE(first.Save());
    EXPECT_FALSE(first.LastSaveMerged());
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(templateNames(disc.Root()), q("x=fx c=fc y=fy"));
}

TEST_F(SettingsTest, NumericReads) {
    // "value read": with the ends of the 32-bit range, and one past each; 10 is the default.
    for (const char* row : {"25px 25", " 10", "-3 -3", "1.5 15", "1-2 10", "--5 10", "2147483647 2147483647",
                            "2147483648 10", "-2147483648 -2147483648", "-2147483649 10"}) {
        const QString value = q(row).section(u' ', 0, 0);
        SettingsStore store;
        load(store, "<Config ListDistance=\"" + value.toStdString() + "\"/>");
        EXPECT_EQ(QString::number(store.ListDistance()), q(row).section(u' ', 1)) << row;
    }
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, q("<Soft><W Style=\"9\" Below=\"3\" At=\"4\" Above=\"5\" Minus=\"-5\" "
                                   "Empty=\"\"/></Soft>")));
    // Numbers above the maximum give the maximum; the maximum and below stay.
    for (const auto& [attribute, expected] :
         {std::pair{"Style", "4"}, {"Below", "3"}, {"At", "4"}, {"Above", "4"}, {"Minus", "-5"}}) {
        EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q(attribute), q("0"), 0, 4), q(expected)) << attribute;
    }
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Empty"), q("default")), QString());
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("style"), q("exact names")), q("exact names"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Style"), q("d"), 1), q("d"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W["), q("Style"), q("bad path")), q("bad path"));
}

// The share and update service settings, and a folder address built on the share service.
TEST_F(SettingsTest, ServiceAddresses) {
    const char* const fallback = "http://127.0.0.1:8765";
    struct Row {
        const char* name;
        const char* attribute; // nullptr: no attribute
        const char* base;      // nullptr: the fallback
        const char* host;
    } const rows[] = {
        {"absent", nullptr, nullptr, nullptr},
        {"blanks only", "  ", nullptr, nullptr},
        {"several trailing slashes", "http://h.example:81///", "http://h.example:81", "h.example:81"},
        {"blanks around", " http://h.example:81/ ", "http://h.example:81", "h.example:81"},
        {"https without a port", "https://share.example", "https://share.example", "share.example"},
        {"upper-case scheme and host", "HTTP://H.Example:81", "HTTP://H.Example:81", "h.example:81"},
        {"highest port", "http://h.example:65535", "http://h.example:65535", "h.example:65535"},
        {"port past the range", "http://h.example:65536", nullptr, nullptr},
        {"IPv6 host", "http://[::1]:8765/", "http://[::1]:8765", "[::1]:8765"},
        {"a path", "http://h.example:81/share", nullptr, nullptr},
        {"a query", "http://h.example:81/?cid=x", nullptr, nullptr},
        {"a fragment", "http://h.example:81#top", nullptr, nullptr},
        {"other scheme", "ftp://h.example:81", nullptr, nullptr},
        {"scheme almost http", "httpx://h.example:81", nullptr, nullptr},
        {"no host", "http://", nullptr, nullptr},
        {"blank inside", "http://h example:81", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsStore store;
        load(store, row.attribute ? std::string("<Config ShareService=\"") + row.attribute + "\"/>" : "");
        const QString base = store.ShareService();
        EXPECT_EQ(base, q(row.base ? row.base : fallback));
        const QString host = ShareHost(base);
        EXPECT_EQ(host, q(row.host ? row.host : "127.0.0.1:8765"));
        const FolderAddress address = ParseFolderAddress(FolderURL(base, q("c1"), q("i!2")), host);
        EXPECT_TRUE(address.valid);
        EXPECT_EQ(address.cid, q("c1"));
        EXPECT_EQ(address.id, q("i!2"));
    }
    const std::pair<const char*, const char*> updates[] = {
        {"<Config/>", fallback},
        {"<Config ShareService=\"http://127.0.0.1:41234/\"/>", "http://127.0.0.1:41234"},
        {"<Config ShareService=\"http://127.0.0.1:41234\" UpdateService=\"https://updates.example:8443\"/>",
         "https://updates.example:8443"},
        {"<Config UpdateService=\" http://10.0.0.7:9000// \"/>", "http://10.0.0.7:9000"},
        {"<Config ShareService=\"http://127.0.0.1:5000\" UpdateService=\"http://x/path\"/>",
         "http://127.0.0.1:5000"},
    };
    for (const auto& [config, expected] : updates) {
        SCOPED_TRACE(config);
        SettingsStore store;
        load(store, config);
        EXPECT_EQ(store.UpdateCheckURL(),
                  q(expected) + q("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest"));
    }
}

TEST_F(SettingsTest, TemplateEditsSurviveRestart) {
    const QString path =
        write("<?xml version=\"1.0\"?>\n<!-- keep me -->\n<Soft><Config/>"
              "<TemplateList><Template name=\"one\">%t(name)</Template></TemplateList></Soft>");
    const QString markup = q("<a href=\"%t(urls.download)\">%t(name) & 'x'</a>\t]]>");
    {
        SettingsStore store;
        ASSERT_TRUE(store.LoadSettings(path));
        pugi::xml_node doc = store.Root();
        EXPECT_EQ(ReadNodeText(doc, keys::Template, q("none"), 1), q("none"));
        ASSERT_TRUE(AppendElement(doc, keys::TemplateList, q("Template"), markup));
        ASSERT_TRUE(AddAttribute(doc, keys::Template, q("name"), q("链接 \"HTML\""), 1));
        ASSERT_TRUE(AppendElement(doc, keys::TemplateList, q("Template"), q("dup")));
        ASSERT_TRUE(AddAttribute(doc, keys::Template, q("name"), q("one"), 2));
        // Writes create the elements they need.
        ASSERT_TRUE(WriteAttribute(doc, keys::FormMain, q("Width"), q("900")));
        ASSERT_TRUE(WriteAttribute(doc, keys::CodeListBox, q("Width"), q("320")));
        EXPECT_EQ(CountNodes(doc, q("/Soft/Window")), 1);
        ASSERT_TRUE(store.Save());
    }
    const QByteArray saved = read(path);
    EXPECT_TRUE(saved.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
    EXPECT_TRUE(saved.contains("<!-- keep me -->"));
    EXPECT_TRUE(saved.contains("\n\t<TemplateList>\n\t\t<Template name=\"one\">"));

    SettingsStore again;
    ASSERT_TRUE(again.LoadSettings(path));
    pugi::xml_node doc = again.Root();
    EXPECT_EQ(templateNames(doc), q("one=%t(name) 链接 \"HTML\"=") + markup + q(" one=dup"));
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain, q("Width"), QString()), q("900"));

    // A write never makes a second document element, which would not load.
    pugi::xml_document other;
    ASSERT_TRUE(LoadXmlText(other, q("<Other/>")));
    EXPECT_FALSE(WriteAttribute(other, keys::FormMain, q("Width"), q("1")));
    EXPECT_FALSE(AddAttribute(doc, keys::Template, q("name"), q("x"), 5));
    // Removing every template leaves the list element in place.
    for (int n = CountNodes(doc, keys::Template); n > 0; --n) {
        EXPECT_TRUE(RemoveElement(doc, keys::TemplateList, q("Template"), 0));
    }
    EXPECT_EQ(CountNodes(doc, keys::Template), 0);
    EXPECT_EQ(CountNodes(doc, keys::TemplateList), 1);
    EXPECT_FALSE(RemoveElement(doc, keys::TemplateList, q("Template"), 0));
}

TEST_F(SettingsTest, SaveNeverDestroysTheFile) {
    const QByteArray original = "<Soft><Config ListDistance=\"7\"/></Soft>";
    const QString path = write(original.constData());
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));
    // (A read-only file and an unwritable folder: permission_tests.)
    EXPECT_FALSE(formatDoc(store.Doc(), dir.filePath(q("no/such/dir/x.xml"))));
    // An empty document is never written over a settings file.
    pugi::xml_document empty;
    EXPECT_FALSE(formatDoc(empty, path));
    EXPECT_EQ(read(path), original);

    // Text that only a lenient writer would produce still reads back.
    ASSERT_TRUE(AppendElement(store.Root(), keys::TemplateList, q("Template"), q("ctl\x01 and \x7f chars")));
    EXPECT_TRUE(store.Save());
    SettingsStore again;
    ASSERT_TRUE(again.LoadSettings(path));
    EXPECT_EQ(again.ListDistance(), 7);
    EXPECT_EQ(CountNodes(again.Root(), keys::Template), 1);
    if (QFileInfo::exists(q("/dev/full")) && !QFileInfo(q("/dev/full")).isFile()) {
        EXPECT_FALSE(formatDoc(again.Doc(), q("/dev/full")));
    }
}
