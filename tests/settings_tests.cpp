// The settings document: reads with defaults, edits, the formatted save.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/location.h"
#include "text/appinfo.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace zandorel;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString write(const char* text, const char* name = "ZandorelConfig.xml") {
        const QString path = dir.filePath(q(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return path;
    }
    QByteArray read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QTemporaryDir dir;
};

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
    EXPECT_TRUE(store.LoadSettings(write("<Soft/>")));
    // An empty Soft element gives every default.
    EXPECT_EQ(store.ListDistance(), 10);
    EXPECT_EQ(ReadAttribute(store.Root(), keys::Config, keys::AllLinkFormat, keys::AllLinkFormatDefault),
              q("$1\\r\\n"));
    EXPECT_EQ(ReadNodeText(store.Root(), keys::GetSourceCodeError, keys::GetSourceCodeErrorDefault),
              q("获取源代码失败"));
    EXPECT_EQ(store.ShareService(), q("http://127.0.0.1:8765"));
    EXPECT_TRUE(store.UpdateCheckURL().endsWith(
        q("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest")));

    const QString message =
        LoadErrorMessage(q("ZandorelConfig.xml"), QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
    EXPECT_TRUE(message.startsWith(q("加载XML设置文件失败，请检查 ZandorelConfig.xml 是否配置正确\r\n"
                                     "Load XML config error,please check ZandorelConfig.xml\r\n")));
}

TEST_F(SettingsTest, NumericReads) {
    struct Row {
        const char* value;
        const char* expected;
    };
    const Row rows[] = {
        {"25px", "25"}, {"abc", "10"}, {"", "10"},    {"-3", "-3"},          {"3000000000", "10"},
        {"1.5", "15"},  {"1-2", "10"}, {"--5", "10"}, {"99999999999", "10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        SettingsStore store;
        const std::string text = std::string("<Soft><Config ListDistance=\"") + row.value + "\"/></Soft>";
        ASSERT_TRUE(store.LoadSettings(write(text.c_str())));
        EXPECT_EQ(QString::number(store.ListDistance()), q(row.expected));
    }
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, q("<Soft><W Style=\"9\" Low=\"2\" Empty=\"\"/></Soft>")));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Style"), q("0"), 0, 4), q("4"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Low"), q("0"), 0, 4), q("2"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Empty"), q("default")), QString());
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("style"), q("exact names")), q("exact names"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W"), q("Style"), q("d"), 1), q("d"));
    EXPECT_EQ(ReadAttribute(doc, q("/Soft/W["), q("Style"), q("bad path")), q("bad path"));
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

namespace {

// An installed layout in a temporary folder: <prefix>/bin holds the program,
// <prefix>/share/zandorel the default settings; XDG_CONFIG_HOME points at a
// folder of its own.
class SettingsLocationTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(dir.filePath(q("prefix/bin"))));
        AppInfo app = AppInfo::current();
        app.folder = dir.filePath(q("prefix/bin"));
        AppInfo::override(app);
        savedXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(q("xdg"))));
        userFile = dir.filePath(q("xdg/zandorel/ZandorelConfig.xml"));
    }
    void TearDown() override {
        AppInfo::reset();
        qputenv("XDG_CONFIG_HOME", savedXdg);
    }
    QString installDefault(const char* text) {
        EXPECT_TRUE(QDir().mkpath(dir.filePath(q("prefix/share/zandorel"))));
        return write(text, "prefix/share/zandorel/ZandorelConfig.xml");
    }
    // Every file below the prefix with its content.
    QStringList prefixContents() {
        QStringList files;
        QDirIterator it(dir.filePath(q("prefix")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files.append(path + u'=' + QString::fromUtf8(read(path)));
        }
        files.sort();
        return files;
    }
    QByteArray savedXdg;
    QString userFile;
};

} // namespace

TEST_F(SettingsLocationTest, InstalledProgramCopiesTheDefaultOnceAndSavesToTheCopy) {
    const QString installed = installDefault("<Soft><Config ListDistance=\"12\"/></Soft>");
    QFile::setPermissions(installed, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QStringList before = prefixContents();
    EXPECT_EQ(installedDefaultSettings(), QFileInfo(installed).absoluteFilePath());
    EXPECT_EQ(findSettingsFile(), QString()); // the tool never copies: built-in defaults

    const SettingsFileChoice first = prepareSettingsFile();
    EXPECT_EQ(first.path, userFile);
    EXPECT_EQ(first.problem, QString());
    EXPECT_EQ(read(userFile), read(installed));
    EXPECT_EQ(findSettingsFile(), userFile);

    // The copy is the user's to save into, although the default is read-only.
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(first.path));
    EXPECT_EQ(store.ListDistance(), 12);
    EXPECT_EQ(settingsFolderInUse(store), dir.filePath(q("xdg/zandorel")));
    ASSERT_TRUE(WriteAttribute(store.Root(), keys::FormMain, q("Width"), q("900")));
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(prefixContents(), before);

    // A later start keeps the user's file, even one that no longer loads.
    write("<Soft><broken", "xdg/zandorel/ZandorelConfig.xml");
    EXPECT_EQ(prepareSettingsFile().path, userFile);
    EXPECT_EQ(read(userFile), QByteArray("<Soft><broken"));
    EXPECT_FALSE(store.LoadSettings(userFile));
}

TEST_F(SettingsLocationTest, TheFileBesideTheProgramWins) {
    installDefault("<Soft/>");
    const QString beside = write("<Soft/>", "prefix/bin/ZandorelConfig.xml");
    for (int withUserFile : {0, 1}) {
        SCOPED_TRACE(withUserFile);
        if (withUserFile) {
            ASSERT_TRUE(QDir().mkpath(dir.filePath(q("xdg/zandorel"))));
            write("<Soft/>", "xdg/zandorel/ZandorelConfig.xml");
        }
        EXPECT_EQ(prepareSettingsFile().path, beside);
        EXPECT_EQ(findSettingsFile(), beside);
    }
    QFile::remove(beside);
    EXPECT_EQ(prepareSettingsFile().path, userFile);
    EXPECT_EQ(findSettingsFile(), userFile);
}

TEST_F(SettingsLocationTest, NoFileAndNoDefault) {
    // The window then fails to load the file beside it, as a portable copy
    // without its settings always has; nothing is created anywhere.
    const SettingsFileChoice choice = prepareSettingsFile();
    EXPECT_EQ(choice.path, dir.filePath(q("prefix/bin/ZandorelConfig.xml")));
    EXPECT_EQ(choice.problem, QString());
    SettingsStore store;
    EXPECT_FALSE(store.LoadSettings(choice.path));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(q("xdg"))));
    EXPECT_EQ(findSettingsFile(), QString());
    store.LoadDefaults();
    EXPECT_EQ(store.ConfigPath(), QString());
    EXPECT_EQ(settingsFolderInUse(store), dir.filePath(q("xdg/zandorel")));

    // A configuration folder that cannot be made: the reason is given and
    // the missing copy is what fails to load, never the installed default.
    installDefault("<Soft/>");
    write("not a folder", "xdg");
    const SettingsFileChoice blocked = prepareSettingsFile();
    EXPECT_EQ(blocked.path, userFile);
    EXPECT_NE(blocked.problem, QString());
    EXPECT_FALSE(store.LoadSettings(blocked.path));
}
