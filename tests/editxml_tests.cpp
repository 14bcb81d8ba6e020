// The settings document: loading, reads with their defaults, edits, and the
// formatted save that never destroys the file.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/templatelist.h"
#include "share/address.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

class SettingsTest : public test::FolderTest {};

} // namespace

TEST_F(SettingsTest, LoadRejectsMissingAndMalformedFiles) {
    SettingsStore store;
    EXPECT_FALSE(store.LoadSettings(dir.filePath(q("missing.xml"))));
    EXPECT_FALSE(store.LoadSettings(write("<Soft><Config></Soft>")));
    EXPECT_FALSE(store.LoadSettings(write("")));
    EXPECT_FALSE(store.LoadSettings(write("just text")));
    // Only an ordinary file: a pipe or a folder named as the settings fails
    // at once (a pipe used to block the program before any window).
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
    // An empty Soft element gives every default (what the link list reads
    // of it: linklist_tests).
    EXPECT_TRUE(store.LoadSettings(write("<Soft/>")));
    EXPECT_EQ(store.ListDistance(), 10);
    EXPECT_EQ(store.ShareService(), q("http://127.0.0.1:8765"));
    EXPECT_TRUE(store.UpdateCheckURL().endsWith(
        q("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest")));

    const QString message =
        LoadErrorMessage(q("ZandorelConfig.xml"), QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
    EXPECT_TRUE(message.startsWith(q("加载XML设置文件失败，请检查 ZandorelConfig.xml 是否配置正确\r\n"
                                     "Load XML config error,please check ZandorelConfig.xml\r\n")));
}

// The update check asks the update server the settings name, else the share service.
TEST_F(SettingsTest, UpdateCheckAddressComesFromTheSettings) {
    struct Row {
        const char* config;
        const char* expected;
    };
    const Row rows[] = {
        {"<Config/>", "http://127.0.0.1:8765"},
        {"<Config ShareService=\"http://127.0.0.1:41234/\"/>", "http://127.0.0.1:41234"},
        {"<Config ShareService=\"http://127.0.0.1:41234\" UpdateService=\"https://updates.example:8443\"/>",
         "https://updates.example:8443"},
        {"<Config UpdateService=\" http://10.0.0.7:9000// \"/>", "http://10.0.0.7:9000"},
        // Not a service address: the share service's stands in.
        {"<Config ShareService=\"http://127.0.0.1:5000\" UpdateService=\"ftp://x\"/>",
         "http://127.0.0.1:5000"},
        {"<Config ShareService=\"http://127.0.0.1:5000\" UpdateService=\"http://x/path\"/>",
         "http://127.0.0.1:5000"},
        {"<Config UpdateService=\"\"/>", "http://127.0.0.1:8765"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.config);
        SettingsStore store;
        ASSERT_TRUE(store.LoadSettings(write((std::string("<Soft>") + row.config + "</Soft>").c_str())));
        EXPECT_EQ(store.UpdateService(), q(row.expected));
        EXPECT_EQ(store.UpdateCheckURL(),
                  q(row.expected) + q("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest"));
    }
}

// Two programs on one settings file: the one that saves last does not throw
// away what the other saved since it read the file. Its own template edits
// and window sizes go on top of the file as it is now.
TEST_F(SettingsTest, SaveMergesWhatAnotherProgramSavedMeanwhile) {
    const QString path =
        write("<Soft><Window><Form_Main Width=\"842\" Height=\"425\"/></Window><TemplateList>"
              "<Template name=\"a\">fa</Template><Template name=\"b\">fb</Template>"
              "<Template name=\"c\">fc</Template></TemplateList></Soft>");
    SettingsStore first;
    SettingsStore second;
    ASSERT_TRUE(first.LoadSettings(path));
    ASSERT_TRUE(second.LoadSettings(path));
    auto names = [](const pugi::xml_node doc) {
        QStringList list;
        for (int k = 0; k < CountNodes(doc, keys::Template); ++k) {
            list << ReadAttribute(doc, keys::Template, q("name"), QString(), k) + q("=") +
                        ReadNodeText(doc, keys::Template, QString(), k);
        }
        return list.join(q(" "));
    };

    // The first adds "x" and deletes "b", and saves: nothing else saved meanwhile.
    TemplateList list;
    list.Load(first.Root());
    ASSERT_TRUE(list.Add(first.Root(), q("x"), q("fx")));
    ASSERT_TRUE(list.Delete(first.Root(), 1));
    ASSERT_TRUE(first.Save());
    EXPECT_FALSE(first.LastSaveMerged());

    // The second adds "y", moves "c" up, sets its window size, and saves.
    list.Load(second.Root());
    ASSERT_TRUE(list.Add(second.Root(), q("y"), q("fy")));
    ASSERT_EQ(list.MoveUp(second.Root(), 2), 1);
    ASSERT_TRUE(WriteAttribute(second.Root(), keys::FormMain, q("Width"), q("900")));
    ASSERT_TRUE(second.Save());
    EXPECT_TRUE(second.LastSaveMerged());
    SettingsStore disc;
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(names(disc.Root()), q("a=fa c=fc x=fx y=fy"));
    EXPECT_EQ(ReadAttribute(disc.Root(), keys::FormMain, q("Width"), QString()), q("900"));
    EXPECT_EQ(ReadAttribute(disc.Root(), keys::FormMain, q("Height"), QString()), q("425"));
    // What the second saved is now its base: a later save merges nothing.
    EXPECT_EQ(names(second.Root()), names(disc.Root()));
    ASSERT_TRUE(second.Save());
    EXPECT_FALSE(second.LastSaveMerged());

    // The first, saving again after the second, keeps the second's entries
    // and removes the one it deletes now.
    list.Load(first.Root());
    ASSERT_TRUE(list.Delete(first.Root(), 0));
    ASSERT_TRUE(first.Save());
    EXPECT_TRUE(first.LastSaveMerged());
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(names(disc.Root()), q("c=fc x=fx y=fy"));
    EXPECT_EQ(ReadAttribute(disc.Root(), keys::FormMain, q("Width"), QString()), q("900"));

    // Alone on the file, a moved entry keeps its new place.
    list.Load(first.Root());
    ASSERT_EQ(list.MoveDown(first.Root(), 0), 1);
    ASSERT_TRUE(first.Save());
    EXPECT_FALSE(first.LastSaveMerged());
    ASSERT_TRUE(disc.LoadSettings(path));
    EXPECT_EQ(names(disc.Root()), q("x=fx c=fc y=fy"));
}

TEST_F(SettingsTest, NumericReads) {
    struct Row {
        const char* value;
        const char* expected;
    };
    // With the ends of the 32-bit range, and one past each.
    const Row rows[] = {
        {"25px", "25"},
        {"abc", "10"},
        {"", "10"},
        {"-3", "-3"},
        {"3000000000", "10"},
        {"1.5", "15"},
        {"1-2", "10"},
        {"--5", "10"},
        {"99999999999", "10"},
        {"2147483647", "2147483647"},
        {"2147483648", "10"},
        {"-2147483648", "-2147483648"},
        {"-2147483649", "10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        SettingsStore store;
        const std::string text = std::string("<Soft><Config ListDistance=\"") + row.value + "\"/></Soft>";
        ASSERT_TRUE(store.LoadSettings(write(text.c_str())));
        EXPECT_EQ(QString::number(store.ListDistance()), q(row.expected));
    }
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, q("<Soft><W Style=\"9\" Low=\"2\" Below=\"3\" At=\"4\" Above=\"5\" "
                                   "Minus=\"-5\" Empty=\"\"/></Soft>")));
    // Numbers above the maximum give the maximum; the maximum and below stay.
    for (const auto& [attribute, expected] : {std::pair{"Style", "4"},
                                              {"Low", "2"},
                                              {"Below", "3"},
                                              {"At", "4"},
                                              {"Above", "4"},
                                              {"Minus", "-5"}}) {
        SCOPED_TRACE(attribute);
        EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q(attribute), q("0"), 0, 4), q(expected));
    }
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Empty"), q("default")), QString());
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("style"), q("exact names")), q("exact names"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Style"), q("d"), 1), q("d"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W["), q("Style"), q("bad path")), q("bad path"));
}

// What the share service setting gives, the host the address check uses, and
// whether a folder address built on it passes that check with its values.
TEST_F(SettingsTest, ShareServiceReads) {
    struct Row {
        const char* name;
        const char* attribute; // nullptr: no attribute
        const char* base;
        const char* host;
    };
    const char* const fallback = "http://127.0.0.1:8765";
    const char* const fallbackHost = "127.0.0.1:8765";
    const Row rows[] = {
        {"absent", nullptr, fallback, fallbackHost},
        {"empty", "", fallback, fallbackHost},
        {"blanks only", "  ", fallback, fallbackHost},
        {"plain", "http://h.example:81", "http://h.example:81", "h.example:81"},
        {"one trailing slash", "http://h.example:81/", "http://h.example:81", "h.example:81"},
        {"several trailing slashes", "http://h.example:81///", "http://h.example:81", "h.example:81"},
        {"blanks around", " http://h.example:81/ ", "http://h.example:81", "h.example:81"},
        {"https without a port", "https://share.example", "https://share.example", "share.example"},
        {"upper-case scheme and host", "HTTP://H.Example:81", "HTTP://H.Example:81", "h.example:81"},
        {"highest port", "http://h.example:65535", "http://h.example:65535", "h.example:65535"},
        {"port past the range", "http://h.example:65536", fallback, fallbackHost},
        {"port not a number", "http://h.example:8o", fallback, fallbackHost},
        {"IPv6 host", "http://[::1]:8765/", "http://[::1]:8765", "[::1]:8765"},
        {"a path", "http://h.example:81/share", fallback, fallbackHost},
        {"a path with a slash after it", "http://h.example:81/share/", fallback, fallbackHost},
        {"a query", "http://h.example:81/?cid=x", fallback, fallbackHost},
        {"a query without a slash", "http://h.example:81?x", fallback, fallbackHost},
        {"a fragment", "http://h.example:81#top", fallback, fallbackHost},
        {"other scheme", "ftp://h.example:81", fallback, fallbackHost},
        {"scheme almost http", "httpx://h.example:81", fallback, fallbackHost},
        {"no scheme", "h.example:81", fallback, fallbackHost},
        {"no host", "http://", fallback, fallbackHost},
        {"slashes only", "///", fallback, fallbackHost},
        {"blank inside", "http://h example:81", fallback, fallbackHost},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsStore store;
        const std::string text =
            row.attribute ? std::string("<Soft><Config ShareService=\"") + row.attribute + "\"/></Soft>"
                          : std::string("<Soft><Config/></Soft>");
        ASSERT_TRUE(store.LoadSettings(write(text.c_str())));
        const QString base = store.ShareService();
        EXPECT_EQ(base, q(row.base));
        const QString host = ShareHost(base);
        EXPECT_EQ(host, q(row.host));
        const FolderAddress address = ParseFolderAddress(FolderURL(base, q("c1"), q("i!2")), host);
        EXPECT_TRUE(address.valid);
        EXPECT_EQ(address.cid, q("c1"));
        EXPECT_EQ(address.id, q("i!2"));
    }
}

TEST_F(SettingsTest, TemplateEditsSurviveRestart) {
    const QString path =
        write("<?xml version=\"1.0\"?>\n<!-- keep me -->\n<Soft><Config/>"
              "<TemplateList><Template name=\"one\">%t(name)</Template></TemplateList></Soft>");
    {
        SettingsStore store;
        ASSERT_TRUE(store.LoadSettings(path));
        pugi::xml_node doc = store.Root();
        EXPECT_EQ(ReadNodeText(doc, keys::Template, q("none"), 1), q("none"));
        const QString markup = q("<a href=\"%t(urls.download)\">%t(name) & 'x'</a>\t]]>");
        ASSERT_TRUE(AppendElement(doc, keys::TemplateList, q("Template"), markup));
        ASSERT_TRUE(AddAttribute(doc, keys::Template, q("name"), q("链接 \"HTML\""),
                                 CountNodes(doc, keys::Template) - 1));
        ASSERT_TRUE(AppendElement(doc, keys::TemplateList, q("Template"), q("dup")));
        ASSERT_TRUE(AddAttribute(doc, keys::Template, q("name"), q("one"), 2));
        EXPECT_EQ(CountNodes(doc, keys::Template), 3);
        ASSERT_TRUE(WriteAttribute(doc, keys::FormMain, q("Width"), q("900")));
        ASSERT_TRUE(store.Save());
    }
    const QByteArray saved = read(path);
    EXPECT_TRUE(saved.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
    EXPECT_TRUE(saved.contains("<!-- keep me -->"));
    EXPECT_TRUE(saved.contains("\n\t<TemplateList>\n\t\t<Template name=\"one\">"));

    SettingsStore again;
    ASSERT_TRUE(again.LoadSettings(path));
    pugi::xml_node doc = again.Root();
    ASSERT_EQ(CountNodes(doc, keys::Template), 3);
    EXPECT_EQ(ReadAttribute(doc, keys::Template, q("name"), QString(), 1), q("链接 \"HTML\""));
    EXPECT_EQ(ReadNodeText(doc, keys::Template, QString(), 1),
              q("<a href=\"%t(urls.download)\">%t(name) & 'x'</a>\t]]>"));
    EXPECT_EQ(ReadAttribute(doc, keys::Template, q("name"), QString(), 2), q("one"));
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain, q("Width"), QString()), q("900"));

    // Removing every template leaves the list element in place.
    for (int n = CountNodes(doc, keys::Template); n > 0; --n) {
        EXPECT_TRUE(RemoveElement(doc, keys::TemplateList, q("Template"), 0));
    }
    EXPECT_EQ(CountNodes(doc, keys::Template), 0);
    EXPECT_EQ(CountNodes(doc, keys::TemplateList), 1);
    EXPECT_FALSE(RemoveElement(doc, keys::TemplateList, q("Template"), 0));
}

TEST_F(SettingsTest, WritesCreateMissingElements) {
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(write("<Soft/>")));
    pugi::xml_node doc = store.Root();
    EXPECT_TRUE(WriteAttribute(doc, keys::FormMain, q("Height"), q("480")));
    EXPECT_TRUE(WriteAttribute(doc, keys::CodeListBox, q("Width"), q("320")));
    EXPECT_TRUE(AppendElement(doc, keys::TemplateList, q("Template"), q("%t(name)")));
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain, q("Height"), QString()), q("480"));
    EXPECT_EQ(CountNodes(doc, q("/Soft/Window")), 1);
    EXPECT_EQ(CountNodes(doc, keys::Template), 1);
    // A write never makes a second document element, which would leave a file
    // that no longer loads.
    pugi::xml_document other;
    ASSERT_TRUE(LoadXmlText(other, q("<Other/>")));
    EXPECT_FALSE(WriteAttribute(other, keys::FormMain, q("Width"), q("1")));
    EXPECT_FALSE(AddAttribute(doc, keys::Template, q("name"), q("x"), 5));
}

TEST_F(SettingsTest, SaveNeverDestroysTheFile) {
    const QString original = q("<Soft><Config ListDistance=\"7\"/></Soft>");
    const QString path = write(original.toUtf8().constData());
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));

    // (A read-only file and an unwritable folder: permission_tests.)
    // A folder that cannot take the temporary file fails cleanly.
    EXPECT_FALSE(formatDoc(store.Doc(), dir.filePath(q("no/such/dir/x.xml"))));
    // An empty document is never written over a settings file.
    pugi::xml_document empty;
    EXPECT_FALSE(formatDoc(empty, path));
    EXPECT_EQ(read(path), original.toUtf8());

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

TEST(BuiltInSettingsTest, AreTheShippedDefaultSettings) {
    // The built-in settings hold what the shipped settings file holds: its
    // templates, join format and texts, and no file to save to.
    SettingsStore store;
    store.LoadDefaults();
    EXPECT_TRUE(store.ConfigPath().isEmpty());
    pugi::xml_document shipped;
    ASSERT_TRUE(LoadXmlFile(shipped, QString::fromUtf8(ZANDOREL_DEFAULT_CONFIG)));
    std::ostringstream a, b;
    store.Doc().save(a);
    shipped.save(b);
    EXPECT_EQ(a.str(), b.str());
    EXPECT_EQ(CountNodes(store.Root(), keys::Template), CountNodes(shipped, keys::Template));
    EXPECT_GT(CountNodes(store.Root(), keys::Template), 0);
}
