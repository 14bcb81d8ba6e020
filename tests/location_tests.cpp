// Where the settings live: beside the program, else a copy of the installed default.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "settings/location.h"
#include "testsupport.h"
#include "text/appinfo.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

// <prefix>/bin holds the program, <prefix>/share/zandorel the default, XDG_CONFIG_HOME its own.
class SettingsLocationTest : public test::FolderTest {
protected:
    void SetUp() override {
        FolderTest::SetUp();
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
        return write(text, "prefix/share/zandorel/ZandorelConfig.xml");
    }
    QByteArray savedXdg;
    QString userFile;
};

} // namespace

TEST_F(SettingsLocationTest, InstalledProgramCopiesTheDefaultOnceAndSavesToTheCopy) {
    const QString installed = installDefault("<Soft><Config ListDistance=\"12\"/></Soft>");
    QFile::setPermissions(installed, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
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
    EXPECT_EQ(read(installed), QByteArray("<Soft><Config ListDistance=\"12\"/></Soft>"));
    EXPECT_EQ(QDir(dir.filePath(q("prefix/bin"))).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A later start keeps the user's file, even one that no longer loads.
    write("<Soft><broken", "xdg/zandorel/ZandorelConfig.xml");
    EXPECT_EQ(prepareSettingsFile().path, userFile);
    EXPECT_EQ(read(userFile), QByteArray("<Soft><broken"));
    EXPECT_FALSE(store.LoadSettings(userFile));
}

TEST_F(SettingsLocationTest, TheFileBesideTheProgramWins) {
    installDefault("<Soft/>");
    const QString beside = write("<Soft/>", "prefix/bin/ZandorelConfig.xml");
    write("<Soft/>", "xdg/zandorel/ZandorelConfig.xml"); // even over a user file
    EXPECT_EQ(prepareSettingsFile().path, beside);
    EXPECT_EQ(findSettingsFile(), beside);
    QFile::remove(beside);
    EXPECT_EQ(prepareSettingsFile().path, userFile);
    EXPECT_EQ(findSettingsFile(), userFile);
}

TEST_F(SettingsLocationTest, NoFileAndNoDefault) {
    // The window fails to load the file beside it; nothing is created anywhere.
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

    // A config folder that cannot be made: a reason, and the missing copy fails to load.
    installDefault("<Soft/>");
    write("not a folder", "xdg");
    const SettingsFileChoice blocked = prepareSettingsFile();
    EXPECT_EQ(blocked.path, userFile);
    EXPECT_NE(blocked.problem, QString());
    EXPECT_FALSE(store.LoadSettings(blocked.path));
}
