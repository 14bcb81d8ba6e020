// Faults from outside: settings files that change or break under the
// program, saves cut short, pages far beyond the usual.

#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

// A settings file holding `text`, in a temporary folder of its own.
QString settingsFile(const QTemporaryDir& dir, const QByteArray& text) {
    const QString path = dir.filePath(q("ZandorelConfig.xml"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
}

} // namespace

TEST(Faults, SettingsFileChangedOrBrokenUnderTheProgram) {
    QTemporaryDir dir;
    const QString path = settingsFile(
        dir, "<Soft><TemplateList><Template name=\"a\">%t(name)</Template></TemplateList></Soft>");
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));
    AppendElement(store.Root(), keys::TemplateList, q("Template"), q("new"));
    // Garbage written over the file while the program runs: the templates in
    // memory are saved over it at the end.
    settingsFile(dir, QByteArray("\x00\xff garbage <<<", 14));
    ASSERT_TRUE(store.Save());
    SettingsStore again;
    ASSERT_TRUE(again.LoadSettings(path));
    EXPECT_EQ(CountNodes(again.Root(), keys::Template), 2);
}

TEST(Faults, SaveKilledMidwayLeavesAWholeFile) {
    test::qtApp();
    QTemporaryDir dir;
    const QString path = settingsFile(dir, "<Soft><TemplateList/></Soft>");
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

TEST(Faults, FullDiskKeepsTheOldFile) {
    test::qtApp();
    QTemporaryDir dir;
    const QByteArray original(
        "<Soft><TemplateList><Template name=\"a\">%t(name)</Template></TemplateList></Soft>");
    const QString path = settingsFile(dir, original);
    QProcess saver;
    saver.start(QString::fromUtf8(ZANDOREL_SETTINGS_SAVER), {path, q("--full-disk")});
    ASSERT_TRUE(saver.waitForFinished(10000));
    EXPECT_EQ(saver.exitCode(), 0) << "the save on a full disk reported success";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "a temporary file was left behind";
}

TEST(Faults, PagesFarBeyondTheUsual) {
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
