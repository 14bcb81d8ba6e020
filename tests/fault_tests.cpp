// Settings files broken under the program, saves cut short, huge pages.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

using Faults = test::FolderTest;

TEST_F(Faults, SettingsFileChangedOrBrokenUnderTheProgram) {
    const QString path =
        write("<Soft><TemplateList><Template name=\"a\">%t(name)</Template></TemplateList></Soft>");
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));
    AppendElement(store.Root(), keys::TemplateList, q("Template"), q("new"));
    // Garbage written over the file meanwhile: the templates in memory are saved over it.
    QFile garbage(path);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write(QByteArray("\x00\xff garbage <<<", 14));
    garbage.close();
    ASSERT_TRUE(store.Save());
    SettingsStore again;
    ASSERT_TRUE(again.LoadSettings(path));
    EXPECT_EQ(CountNodes(again.Root(), keys::Template), 2);
}

TEST_F(Faults, SaveKilledMidwayLeavesAWholeFile) {
    test::qtApp();
    const QString path = write("<Soft><TemplateList/></Soft>");
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        QProcess saver;
        saver.start(QString::fromUtf8(ZANDOREL_SETTINGS_SAVER), {path});
        ASSERT_TRUE(saver.waitForReadyRead(10000));
        QThread::msleep(QRandomGenerator::global()->bounded(5, 60));
        saver.kill();
        saver.waitForFinished();
        SettingsStore store;
        EXPECT_TRUE(store.LoadSettings(path)) << "the file was left broken";
    }
}

TEST_F(Faults, FullDiskKeepsTheOldFile) {
    test::qtApp();
    const QByteArray original(
        "<Soft><TemplateList><Template name=\"a\">%t(name)</Template></TemplateList></Soft>");
    const QString path = write(original.constData());
    QProcess saver;
    saver.start(QString::fromUtf8(ZANDOREL_SETTINGS_SAVER), {path, q("--full-disk")});
    ASSERT_TRUE(saver.waitForFinished(10000));
    EXPECT_EQ(saver.exitCode(), 0) << "the save on a full disk reported success";
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "a temporary file was left behind";
}

TEST_F(Faults, PagesFarBeyondTheUsual) {
    // A page nested a million levels deep.
    SDPage page;
    test::listText(page, q("var primedResponse={\"children\":[{") + q("\"a\":{").repeated(1000000) +
                             QString(1000000, u'}') + q("}]};"));
    ASSERT_EQ(page.Files().Count(), 1);
    EXPECT_EQ(page.Files().Item(1).Values().Count(), 2);

    // A 50 MB page of ordinary entries.
    const QString entry = q("{\"name\":\"file\",\"extension\":\".txt\",\"size\":1234,\"urls\":{\"download\":"
                            "\"http://127.0.0.1:8765/download?cid=c&id=c!1\"},\"pad\":\"") +
                          QString(300, u'p') + q("\"}");
    const int count = 50 * 1024 * 1024 / 2 / static_cast<int>(entry.size() + 1);
    test::listText(page,
                   q("var primedResponse={\"children\":[") + QStringList(count, entry).join(u',') + q("]};"));
    EXPECT_EQ(page.Files().Count(), count);
    EXPECT_EQ(page.Files().Item(count).Values().GetValue(q("urls.download")),
              q("http://127.0.0.1:8765/download?cid=c&id=c!1"));
}
