// Faults from outside: servers that misbehave, settings files that change
// or break under the program, saves cut short, pages far beyond the usual.

#include "net/http.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"
#include "testsupport.h"
#include "text/appinfo.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

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

HttpOptions shortLimit() {
    HttpOptions o;
    o.timeout = std::chrono::milliseconds(800);
    return o;
}

} // namespace

TEST(Faults, ServersThatMisbehave) {
    test::qtApp();
    test::LocalServer local;
    auto& s = local.server();
    // Promises 1000 bytes, sends 10 and hangs up.
    s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset == 0) {
                sink.write("0123456789", 10);
                return true;
            }
            return false;
        });
    });
    // Trickles a byte every 100 ms, past the time limit.
    s.Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
            if (offset > 40) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sink.write("x", 1);
            return true;
        });
    });
    const std::string base = local.start();

    const QString cut = GetTextFromURL(q(base + "/cut"), shortLimit());
    EXPECT_TRUE(cut.isEmpty() || cut == q("0123456789"));
    EXPECT_EQ(GetTextFromURL(q(base + "/trickle"), shortLimit()), QString());

    // A server that takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    EXPECT_EQ(GetTextFromURL(q("http://127.0.0.1:%1/").arg(silent.serverPort()), shortLimit()), QString());
}

TEST(Faults, SettingsFileChangedOrBrokenUnderTheProgram) {
    QTemporaryDir dir;
    const QString path = settingsFile(
        dir, "<Soft><TemplateList><Template name=\"a\">%t(name)</Template></TemplateList></Soft>");
    QFile f(path);
    SettingsStore store;
    ASSERT_TRUE(store.LoadSettings(path));
    AppendElement(store.Root(), keys::TemplateList, q("Template"), q("new"));

    // Garbage written over the file while the program runs: the templates in
    // memory are saved over it at the end.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("\x00\xff garbage <<<", 14);
    f.close();
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
    QFile f(path);
    QProcess saver;
    saver.start(QString::fromUtf8(ZANDOREL_SETTINGS_SAVER), {path, q("--full-disk")});
    ASSERT_TRUE(saver.waitForFinished(10000));
    EXPECT_EQ(saver.exitCode(), 0) << "the save on a full disk reported success";
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "a temporary file was left behind";
}

TEST(Faults, PagesFarBeyondTheUsual) {
    AppInfo info = AppInfo::current();
    QTemporaryDir dir;
    info.folder = dir.path();
    AppInfo::override(info);

    // A page nested a million levels deep.
    QString deep = q("var primedResponse={\"children\":[{");
    for (int i = 0; i < 1000000; ++i) {
        deep += q("\"a\":{");
    }
    deep += QString(1000000, u'}') + q("}]};");
    SDPage page;
    zandorel::test::listText(page, deep);
    ASSERT_EQ(page.Files().Count(), 1);
    EXPECT_EQ(page.Files().Item(1).Values().Count(), 2);

    // A 50 MB page of ordinary entries.
    const QString entry = q("{\"name\":\"file\",\"extension\":\".txt\",\"size\":1234,\"urls\":{\"download\":"
                            "\"http://127.0.0.1:8765/download?cid=c&id=c!1\"},\"pad\":\"") +
                          QString(300, u'p') + q("\"}");
    const int count = 50 * 1024 * 1024 / 2 / static_cast<int>(entry.size() + 1);
    QString big = q("var primedResponse={\"children\":[");
    big.reserve(static_cast<qsizetype>(count) * (entry.size() + 1) + 64);
    for (int i = 0; i < count; ++i) {
        big += entry;
        big += u',';
    }
    big.chop(1);
    big += q("]};");
    zandorel::test::listText(page, big);
    EXPECT_EQ(page.Files().Count(), count);
    EXPECT_EQ(page.Files().Item(count).Values().GetValue(q("urls.download")),
              q("http://127.0.0.1:8765/download?cid=c&id=c!1"));
    AppInfo::reset();
}
