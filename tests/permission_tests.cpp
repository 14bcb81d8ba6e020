// Where file permissions stop the program. As root this runs a copy of itself as nobody.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/openunicode.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

constexpr char ChildMark[] = "ZANDOREL_UNPRIVILEGED_RUN";

class PermissionTest : public test::FolderTest {
protected:
    void SetUp() override {
        test::qtApp();
        FolderTest::SetUp();
        // Every check here depends on the permissions being obeyed.
        ASSERT_NE(geteuid(), 0u) << "these checks must run unprivileged";
    }
};

} // namespace

TEST_F(PermissionTest, SettingsThatCannotBeWrittenStayAsTheyAre) {
    const QByteArray original = "<Soft><Config ListDistance=\"7\"/></Soft>";
    const QString path = write(original.constData());
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));
    AppendElement(store.Root(), keys::TemplateList, q("Template"), q("new"));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left
    // A folder that cannot be written: nothing is made.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    QFile::remove(path);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(store.Save());
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(PermissionTest, PageThatCannotBeRead) {
    const QString page = write("var primedResponse={\"children\":[{\"name\":\"a\"}]};", "locked.html");
    ASSERT_TRUE(QFile::setPermissions(page, QFileDevice::Permissions()));
    EXPECT_THROW(ReadTextFile(page), FileError);
    SDPage listed;
    const Listing listing = ListFolder(listed, ListingSource::file(page));
    EXPECT_EQ(listing.status, Listing::Status::SourceFailed);
    EXPECT_TRUE(listing.problem().contains(q("locked.html")));

    // The listing tool reports it as a page without data; an unreadable settings file fails.
    const QString cli = qEnvironmentVariable("ZANDOREL_CLI_COPY", q(ZANDOREL_CLI));
    QProcess run;
    run.start(cli, {q("--page"), page});
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(run.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(run.readAllStandardError()).trimmed(), q("获取源代码失败"));

    const QString config = write("<Soft/>", "unreadable.xml");
    ASSERT_TRUE(QFile::setPermissions(config, QFileDevice::Permissions()));
    run.start(cli, {q("--page"), write("x", "ok.html"), q("--config"), config});
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(run.exitCode(), 1);
}

namespace {

// As root: run a copy of this program and the listing tool as nobody; its exit status.
int runAsNobody(int argc, char** argv) {
    QTemporaryDir place(QDir::tempPath() + q("/zandorel-permissions-XXXXXX"));
    if (!place.isValid()) {
        return 2;
    }
    const QString self = place.filePath(q("permission_tests"));
    const QString cli = place.filePath(q("zandorel-cli"));
    if (!QFile::copy(QFileInfo(q("/proc/self/exe")).canonicalFilePath(), self) ||
        !QFile::copy(q(ZANDOREL_CLI), cli)) {
        return 2;
    }
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(place.path(), open);
    QFile::setPermissions(self, open);
    QFile::setPermissions(cli, open);
    QStringList args{q("--reuid=nobody"), q("--regid=nogroup"), q("--clear-groups"), q("--"), self};
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(q(ChildMark), q("1"));
    env.insert(q("ZANDOREL_CLI_COPY"), cli);
    env.insert(q("HOME"), place.path());
    env.insert(q("TMPDIR"), QDir::tempPath());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(q("setpriv"), args);
    if (!child.waitForStarted() || !child.waitForFinished(300000)) {
        fprintf(stderr, "permission_tests: could not run as nobody with setpriv\n");
        return 2;
    }
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty(ChildMark)) {
        test::qtApp();
        return runAsNobody(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
