// End to end: the stand-in share service serves a folder, the listing tool lists it by its
// address, and the links it prints really download.

#include "net/http.h"
#include "standin.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <thread>

using namespace zandorel;
using zandorel::test::q;

namespace {

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        ASSERT_TRUE(dir.isValid());
        share = dir.filePath(q("shared"));
        ASSERT_TRUE(QDir().mkpath(share + q("/子目录")));
        put(q("report.pdf"), QByteArray("%PDF-1.4 \x00\x01\x02 binary", 20));
        put(q("会议纪要.txt"), q("会议内容").toUtf8());
        put(q("secret.txt"), "keep out");
        put(q("子目录/inner.txt"), "inside");
        QFile::setPermissions(share + q("/secret.txt"), QFile::ReadOwner | QFile::WriteOwner);

        standin::ServerOptions options;
        options.port = 0;
        options.folder = share.toStdString();
        server = std::make_unique<standin::ShareServer>(options);
        ASSERT_TRUE(server->bind());
        thread = std::thread([this] { server->run(); });

        // The tool gets its own copy and settings pointing at this server.
        cli = dir.filePath(q("zandorel-cli"));
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(ZANDOREL_CLI), cli));
        QFile config(dir.filePath(q("ZandorelConfig.xml")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(("<Soft><Config ShareService=\"" + server->baseAddress() + "\"/></Soft>").c_str());
    }
    void TearDown() override {
        server->stop();
        thread.join();
    }
    void put(const QString& name, const QByteArray& bytes) {
        QFile f(share + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    struct Out {
        int status;
        QString text;
    };
    Out list(const QStringList& args) {
        QProcess p;
        p.start(cli, args);
        EXPECT_TRUE(p.waitForFinished(100000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
    }
    QByteArray download(const QString& url, int* status = nullptr) {
        const QUrl u(url);
        httplib::Client client(u.host().toStdString(), u.port());
        const auto res = client.Get((u.path() + u'?' + u.query(QUrl::FullyEncoded)).toStdString());
        if (status) {
            *status = res ? res->status : -1;
        }
        return res ? QByteArray::fromStdString(res->body) : QByteArray();
    }

    QTemporaryDir dir;
    QString share;
    QString cli;
    std::unique_ptr<standin::ShareServer> server;
    std::thread thread;
};

} // namespace

TEST_F(EndToEnd, ListedLinksDownloadTheFiles) {
    // A deeper level and a private folder, whose files stay out.
    ASSERT_TRUE(QDir().mkpath(share + q("/子目录/deeper")));
    put(q("子目录/deeper/d e.txt"), "deep");
    ASSERT_TRUE(QDir().mkpath(share + q("/private")));
    put(q("private/hidden.txt"), "hidden");
    QFile::setPermissions(share + q("/private"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList format{q("--format"), q("%v(path)|%t(urls.download)|%t(itemType)=%t(id)"), q("--join"),
                             q("$1\\n")};
    QString folderId;
    for (const QString& source : {q("--address"), q("--url")}) {
        SCOPED_TRACE(source.toStdString());
        const Out out = list(QStringList{source, q(server->rootAddress()), q("--recursive")} + format);
        ASSERT_EQ(out.status, 0);
        QMap<QString, QStringList> rows;
        for (const QString& line : out.text.split(u'\n', Qt::SkipEmptyParts)) {
            rows.insert(line.section(u'|', 0, 0), line.split(u'|').mid(1));
        }
        EXPECT_EQ(rows.keys(),
                  (QStringList{q("private"), q("report.pdf"), q("secret.txt"), q("会议纪要.txt"), q("子目录"),
                               q("子目录/deeper"), q("子目录/deeper/d e.txt"), q("子目录/inner.txt")}));
        EXPECT_EQ(download(rows[q("report.pdf")].value(0)), QByteArray("%PDF-1.4 \x00\x01\x02 binary", 20));
        EXPECT_EQ(download(rows[q("会议纪要.txt")].value(0)), q("会议内容").toUtf8());
        EXPECT_EQ(download(rows[q("子目录/deeper/d e.txt")].value(0)), QByteArray("deep"));
        // The private file is refused.
        int status = 0;
        EXPECT_NE(download(rows[q("secret.txt")].value(0), &status), QByteArray("keep out"));
        EXPECT_EQ(status, 403);
        folderId = rows[q("子目录")].value(1).section(u'=', 1);
    }

    // The private file is warned about.
    Out out = list({q("--address"), q(server->rootAddress()), q("--captions")});
    EXPECT_TRUE(out.text.contains(q(". secret.txt\t警告：文件不是公共\n")));
    EXPECT_FALSE(out.text.contains(q("report.pdf\t")));

    // A sub-folder's own page, and an unknown folder, which has no listing.
    ASSERT_FALSE(folderId.isEmpty());
    const QString cid = q(server->folder().cid());
    out = list({q("--address"), q(server->baseAddress()) + q("/?cid=") + cid + q("&id=") + folderId});
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.text, q("deeper\r\ninner.txt\r\n"));
    out = list(
        {q("--address"), q(server->baseAddress()) + q("/?cid=") + cid + q("&id=") + cid + q("!2e2e2f2e2e")});
    EXPECT_EQ(out.status, 2);
}

TEST_F(EndToEnd, AFolderOfAHundredThousandFiles) {
    const int count = 100000;
    for (int i = 0; i < count; ++i) {
        QFile f(share + q("/f%1.txt").arg(i, 6, 10, QChar(u'0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const Out out =
        list({q("--url"), q(server->rootAddress()), q("--format"), q("%t(name)"), q("--join"), q("$1\\n")});
    ASSERT_EQ(out.status, 0);
    const QStringList lines = out.text.split(u'\n');
    EXPECT_EQ(lines.size(), count + 4 + 1); // the four files of the fixture; the last line ends too
    EXPECT_EQ(lines.indexOf(q("f099999")) - lines.indexOf(q("f000000")), count - 1); // in order
}
