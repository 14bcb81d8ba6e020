// Remotes through a real rclone (an alias remote over a temporary tree): the records it
// gives, its remote control's credentials, and rclone ending or a call cancelled.

#include "net/rclone.h"
#include "share/linklist.h"
#include "share/pipeline.h"
#include "share/remote.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

// The hostile names of the tree, and what a person reads of each.
struct TreeFile {
    const char* path;
    const char* name;
    const char* extension;
    const char* content;
};
const TreeFile treeFiles[] = {
    {"a b.txt", "a b", ".txt", "plain"},
    {"中文 名.pdf", "中文 名", ".pdf", "%PDF-1.4"},
    {"<b>&amp;\".html", "<b>&amp;\"", ".html", "<b>bold</b>"},
    {"%s(HOME) 100% sure;};.dat", "%s(HOME) 100% sure;};", ".dat", "sure"},
    {"noext", "noext", "", "no extension"},
    {"archive.tar.gz", "archive.tar", ".gz", "tarball"},
    {".bashrc", ".bashrc", "", "export A=1"},
    {"empty.txt", "empty", ".txt", ""},
    {"sub/inner.txt", "inner", ".txt", "inner"},
    {"sub/deeper/deep {file}.txt", "deep {file}", ".txt", "deepest"},
};
constexpr int topLevelFiles = 8;

// Each file's link text by the template, one a line.
QStringList linkTexts(const SDPage& page, const QString& format) {
    LinkTemplates t;
    t.codeFormat = format;
    t.captionTemplate = q("%v(name)%v(extension)");
    t.warnTemplate = q("!");
    t.joinFormat = q("$1");
    QStringList out;
    for (const LinkRow& row : BuildLinkList(page, t).rows) {
        out << row.link;
    }
    return out;
}

class RcloneTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        ASSERT_TRUE(dir.isValid());
        const QString root = dir.filePath(q("tree"));
        for (const TreeFile& f : treeFiles) {
            const QString path = root + u'/' + q(f.path);
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(f.content);
        }
        ASSERT_TRUE(QDir().mkpath(root + q("/empty folder")));
        // The test program's own rclone configuration, set again by every test.
        QFile config(dir.filePath(q("rclone.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[t]\ntype = alias\nremote = " + root.toUtf8() + "\n");
        qputenv("RCLONE_CONFIG", config.fileName().toLocal8Bit());
    }

    QTemporaryDir dir;
};

// Whether the process runs (a zombie waiting for its parent does not).
bool processAlive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.size() > close + 2 && text[close + 2] != 'Z';
}

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(q(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// The HTTP status of an rc/noop call with the given Authorization header
// (none if empty), made past the daemon's own client.
int noopStatus(const RcloneDaemon& daemon, const QByteArray& authorization) {
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(daemon.Address() + q("rc/noop")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!authorization.isEmpty()) {
        request.setRawHeader("Authorization", authorization);
    }
    std::unique_ptr<QNetworkReply> reply(manager.post(request, QByteArrayLiteral("{}")));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// Waits, serving events, until `done` holds or a generous limit passes.
bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) {
            return true;
        }
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return done();
}

} // namespace

TEST_F(RcloneTest, ListsTheTreeWithTheShareVocabulary) {
    SDPage page;
    const Listing listing = ListFolder(page, ListingSource::remote(q("t:")));
    ASSERT_EQ(listing.status, Listing::Status::Listed) << listing.problem().toStdString();
    QStringList want;
    for (const TreeFile& f : treeFiles) {
        if (!q(f.path).contains(u'/')) {
            const auto size = qstrlen(f.content);
            want << q("%1|%2|%3|%4|%4 byte%5|2")
                        .arg(q(f.path), q(f.name), q(f.extension))
                        .arg(size)
                        .arg(size == 1 ? QString() : q("s"));
        }
    }
    QStringList rows =
        linkTexts(page, q("%v(path)|%v(name)|%v(extension)|%t(size)|%v(displaySize)|%t(sharingLevelValue)"));
    rows.sort();
    want.sort();
    EXPECT_EQ(rows, want); // folders are not records; no placeholder of a name reaches the environment
    for (int i = 1; i <= page.Files().Count(); ++i) {
        const Values values = page.Files().Item(i).Values();
        EXPECT_FALSE(values.GetValue(q("mimeType")).isEmpty());
        EXPECT_TRUE(values.GetValue(q("modTime")).contains(u'T'));
        EXPECT_THROW(values.Item(q("linkError")), std::out_of_range); // no links were asked for
    }
    EXPECT_TRUE(listing.noLinks.isEmpty());

    // With sub-folders: paths below the listed folder, progress counted.
    ListingOptions options;
    options.recursive = true;
    int listed = 0;
    options.progress = [&](const RemoteProgress& p) { listed = p.listed; };
    ASSERT_EQ(ListFolder(page, ListingSource::remote(q("t:")), options).status, Listing::Status::Listed);
    EXPECT_EQ(linkTexts(page, q("%v(path)")).size(), static_cast<qsizetype>(std::size(treeFiles)));
    EXPECT_EQ(listed, static_cast<int>(std::size(treeFiles)));
    ASSERT_EQ(ListFolder(page, ListingSource::remote(q("t:sub")), options).status, Listing::Status::Listed);
    EXPECT_EQ(linkTexts(page, q("%v(path)|%v(name)")),
              (QStringList{q("inner.txt|inner"), q("deeper/deep {file}.txt|deep {file}")}));
    ASSERT_EQ(ListFolder(page, ListingSource::remote(q("t:sub"))).status, Listing::Status::Listed);
    EXPECT_EQ(linkTexts(page, q("%v(path)")), QStringList{q("inner.txt")});
}

TEST(RemotePage, EveryFieldReadsBackAsTheCloudGaveIt) {
    // A cloud remote's answer: ids, hashes, links with characters JSON writers escape.
    const QByteArray answer = R"([
        {"Path":"dir/x.jpg","Name":"x.jpg","Size":1300000,"MimeType":"image/jpeg","ModTime":"2026-01-02T03:04:05Z",
         "IsDir":false,"ID":"0B1x\"y","Hashes":{"md5":"9e107d9d372bb6826bd81d3542a419d6","sha1":"2fd4e1c6"}},
        {"Path":"dir","Name":"dir","Size":-1,"MimeType":"inode/directory","ModTime":"2026-01-02T03:04:05Z","IsDir":true},
        {"Path":"odd","Name":"odd","Size":-1,"MimeType":"application/vnd.google-apps.document","ModTime":"x","IsDir":false},
        {"Path":"z.txt","Name":"z.txt","Size":1,"MimeType":"text/plain","ModTime":"2026-01-02T03:04:05Z","IsDir":false}
    ])";
    const QJsonArray list = QJsonDocument::fromJson(answer).array();
    const QString link = q("https://s3.example/b/x.jpg?X-Amz-Algorithm=AWS4&X-Amz-Signature=a%2Fb;c=<d>");
    const QString braced = q("https://cloud.example/s/{id}[0]\"q\"\\");
    const QString page = RemotePageText(list, {link, QString(), QString(), braced},
                                        {QString(), QString(), q("forbidden: \"no\" {x}"), QString()});
    SDPage sd;
    zandorel::test::listText(sd, page);
    ASSERT_EQ(sd.Files().Count(), 3);

    // %t gives a link exactly as the cloud gave it.
    EXPECT_EQ(linkTexts(sd, q("%t(urls.download)"))[0], link);
    EXPECT_EQ(linkTexts(sd, q("%v(urls.download)"))[2], braced);
    const Values first = sd.Files().Item(1).Values();
    QStringList titles;
    for (const Value& v : first) {
        titles << v.Title;
    }
    EXPECT_EQ(titles, (QStringList{q("name"), q("extension"), q("path"), q("size"), q("displaySize"),
                                   q("mimeType"), q("modTime"), q("id"), q("hashes"), q("hashes.md5"),
                                   q("hashes.sha1"), q("sharingLevelValue"), q("urls"), q("urls.download")}));
    EXPECT_EQ(linkTexts(sd, q("%v(id)|%t(hashes.md5)|%t(size)|%v(displaySize)|%t(sharingLevelValue)"))[0],
              q("0B1x\"y|9e107d9d372bb6826bd81d3542a419d6|1300000|1.2 MB|0"));
    // Unknown size, no link, the reason kept.
    EXPECT_EQ(linkTexts(sd, q("%v(name)|%t(size)|%v(displaySize)|%t(sharingLevelValue)|%v(linkError)"))[1],
              q("odd|-1||2|forbidden: \"no\" {x}"));
    EXPECT_EQ(linkTexts(sd, q("%v(displaySize)"))[2], q("1 byte"));
    // The page is one statement on one line, whatever the names hold.
    EXPECT_EQ(page.count(u'\n'), 1);
}

TEST(RemotePage, NamesThatBreakAReaderStayWhole) {
    // Control characters, separators and broken surrogate pairs in names.
    QString odd = q("a\nb\tc\u2028d};e");
    odd += QChar(0xD800);
    QJsonArray list;
    list.append(QJsonObject{{q("Path"), odd + q(".txt")}, {q("Name"), odd + q(".txt")}, {q("Size"), 3}});
    list.append(QJsonObject{{q("Path"), q("next")}, {q("Name"), q("next")}, {q("Size"), 4}});
    const QString page = RemotePageText(list);
    SDPage sd;
    zandorel::test::listText(sd, page);
    ASSERT_EQ(sd.Files().Count(), 2);
    QString want = q("a\nb\tc\u2028d};e\uFFFD");
    EXPECT_EQ(linkTexts(sd, q("%v(name)|%v(extension)")), (QStringList{want + q("|.txt"), q("next|")}));
}

TEST(RemoteText, NamesAndWebAddresses) {
    struct Case {
        const char* text;
        bool remote;
        const char* shown;
    };
    const Case cases[] = {
        {"t:", true, "t:"},
        {"my drive:Photos/2026", true, "my drive:Photos/2026"},
        {":s3,provider=Other,secret_access_key=XYZ:bucket/dir", true, ":s3:bucket/dir"},
        {"box,token='{\"a\":\"b:c\"}':dir", true, "box:dir"},
        {"box,token='it''s:x',user=a:dir", true, "box:dir"}, // a doubled quote stands for itself
        {":http,url=\"https://h.example/a\":", false, ":http:"},
        {"https://share.example/?cid=1", false, "https://share.example/?cid=1"},
        {"/home/me/folder", false, "/home/me/folder"},
        {"noremote", false, "noremote"},
        {":s3,secret=unterminated", false, ":s3:"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsRemoteText(q(c.text)), c.remote);
        EXPECT_EQ(RemoteDisplayName(q(c.text)), q(c.shown));
    }
}

TEST(RemoteText, DisplaySizes) {
    EXPECT_EQ(DisplaySize(0), q("0 bytes"));
    EXPECT_EQ(DisplaySize(1), q("1 byte"));
    EXPECT_EQ(DisplaySize(1023), q("1023 bytes"));
    EXPECT_EQ(DisplaySize(1024), q("1.0 KB"));
    EXPECT_EQ(DisplaySize(1048575), q("1.0 MB")); // rounding reaches 1024 KB
    EXPECT_EQ(DisplaySize(-1), QString());
}

TEST_F(RcloneTest, TheDaemonKeepsToItsOwnFreshCredentials) {
    // Whatever the user's environment says about the remote control, it keeps
    // to 127.0.0.1 and credentials of its own, passed in its environment.
    const std::pair<const char*, const char*> settings[] = {
        {"RCLONE_RC_NO_AUTH", "true"}, {"RCLONE_RC_ADDR", "0.0.0.0:5572"}, {"RCLONE_RC_USER", "known"},
        {"RCLONE_LOG_LEVEL", "ERROR"}, {"RCLONE_LOG_FILE", "/dev/null"},   {"AWS_CA_BUNDLE", "/nonexistent"}};
    for (const auto& [name, value] : settings) {
        qputenv(name, value);
    }
    RcloneDaemon daemon;
    daemon.Start();
    for (const auto& setting : settings) {
        qunsetenv(setting.first);
    }
    ASSERT_TRUE(daemon.Running());
    EXPECT_TRUE(daemon.Address().startsWith(q("http://127.0.0.1:")));
    const qint64 pid = daemon.ProcessId();
    QList<QByteArray> args = procFile(pid, "cmdline").split('\0');
    ASSERT_FALSE(args.isEmpty());
    args.removeFirst(); // the program
    EXPECT_EQ(args, (QList<QByteArray>{"rcd", "--rc-addr", "127.0.0.1:0", ""}));
    QByteArray user;
    for (const QByteArray& v : procFile(pid, "environ").split('\0')) {
        if (v.startsWith("RCLONE_RC_USER=")) {
            user = v.mid(15);
        }
        EXPECT_FALSE(v.startsWith("AWS_CA_BUNDLE=")); // rclone's S3 client fails on one
    }
    EXPECT_EQ(user.size(), 32);

    // A call without them, or with the known user, is refused; its own pass.
    EXPECT_EQ(noopStatus(daemon, {}), 401);
    EXPECT_EQ(noopStatus(daemon, "Basic " + QByteArray("known:").toBase64()), 401);
    EXPECT_EQ(daemon.Call(q("rc/noop"), {{q("x"), 1}}).value(q("x")).toInt(), 1);

    // The next start makes new ones.
    daemon.Stop();
    EXPECT_FALSE(processAlive(pid));
    daemon.Start();
    EXPECT_FALSE(procFile(daemon.ProcessId(), "environ").contains("RCLONE_RC_USER=" + user));
}

TEST_F(RcloneTest, RcloneEndingDuringARunIsAnErrorOfItsOwn) {
    RcloneDaemon daemon;
    daemon.Start();
    const qint64 pid = daemon.ProcessId();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    // Found gone before a run (the program has heard of its end): a new one
    // is started.
    ASSERT_TRUE(eventually([&] { return !daemon.Running(); }));
    EXPECT_FALSE(processAlive(pid));
    EXPECT_EQ(daemon.Call(q("rc/noop"), {{q("x"), 2}}).value(q("x")).toInt(), 2);
    EXPECT_NE(daemon.ProcessId(), pid);

    // Killed while many calls wait: the answers that came are kept, the run
    // ends with an error of its own.
    const std::vector<QJsonObject> inputs(200, QJsonObject{{q("fs"), q("t:")}});
    size_t answered = 0;
    try {
        daemon.CallEach(q("operations/fsinfo"), inputs, 4, {}, [&](size_t, const RcloneDaemon::Answer& a) {
            EXPECT_TRUE(a.error.isEmpty());
            if (++answered == 1) {
                ::kill(static_cast<pid_t>(daemon.ProcessId()), SIGKILL);
            }
        });
        ADD_FAILURE() << "no error";
    } catch (const RcloneError& e) {
        EXPECT_EQ(e.kind(), RcloneError::Kind::Exited);
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(q("rclone ended during the run"))) << e.what();
    }
    EXPECT_LT(answered, inputs.size());

    ListingOptions options;
    options.rclone = &daemon;
    options.progress = [&](const RemoteProgress&) {
        ::kill(static_cast<pid_t>(daemon.ProcessId()), SIGKILL);
    };
    options.links = true;
    SDPage page;
    // Killed as the listing ends: the next listing finds rclone gone and starts a new one.
    EXPECT_EQ(ListFolder(page, ListingSource::remote(q("t:")), options).status, Listing::Status::Listed);
    options.progress = nullptr;
    const Listing listing = ListFolder(page, ListingSource::remote(q("t:")), options);
    EXPECT_EQ(listing.status, Listing::Status::Listed);
    // A local remote makes no links: said once, each row keeps the reason, no link counts as failed.
    EXPECT_EQ(listing.noLinks, q("t: makes no public links"));
    EXPECT_EQ(listing.linksFailed, 0);
    EXPECT_EQ(linkTexts(page, q("%t(sharingLevelValue)|%v(linkError)|%t(urls.download)")),
              QStringList(topLevelFiles, q("2|this remote makes no public links|")));
}

TEST_F(RcloneTest, EachOfManyCallsHasItsOwnAnswerUntilCancelled) {
    RcloneDaemon daemon;
    std::vector<QJsonObject> inputs;
    for (int i = 0; i < 40; ++i) {
        // Every third call fails: a folder that is not there.
        inputs.push_back(
            {{q("fs"), q("t:")}, {q("remote"), i % 3 == 0 ? q("missing %1").arg(i) : QString()}});
    }
    std::vector<int> seen(inputs.size(), 0);
    daemon.CallEach(q("operations/list"), inputs, 16, {}, [&](size_t index, const RcloneDaemon::Answer& a) {
        ++seen[index];
        if (index % 3 == 0) {
            EXPECT_EQ(a.status, 404);
            EXPECT_TRUE(a.error.contains(q("directory not found"))) << a.error.toStdString();
        } else {
            EXPECT_TRUE(a.error.isEmpty());
            EXPECT_EQ(a.body.value(q("list")).toArray().size(), topLevelFiles + 2);
        }
    });
    EXPECT_EQ(seen, std::vector<int>(inputs.size(), 1));

    // The cancel token stops the calls at once; a cancelled listing keeps the page.
    ListingOptions listing;
    listing.http.cancel = std::make_shared<CancelToken>();
    listing.rclone = &daemon;
    size_t answered = 0;
    EXPECT_THROW(daemon.CallEach(q("operations/fsinfo"), inputs, 2, listing.http,
                                 [&](size_t, const RcloneDaemon::Answer&) {
                                     if (++answered == 3) {
                                         listing.http.cancel->Cancel();
                                     }
                                 }),
                 FetchCancelled);
    EXPECT_LT(answered, inputs.size());
    SDPage page;
    zandorel::test::listText(page, q("var primedResponse={\"children\":[{\"name\":\"kept\"}]};"));
    EXPECT_EQ(ListFolder(page, ListingSource::remote(q("t:")), listing).status, Listing::Status::Cancelled);
    EXPECT_EQ(linkTexts(page, q("%v(name)")), QStringList{q("kept")});
}

// With ZANDOREL_RCLONE_CHILD set, this program starts rclone before any test, tells its
// process id and waits to be killed (the last test).
class RcloneChild : public ::testing::Environment {
public:
    void SetUp() override {
        test::qtApp();
        static RcloneDaemon daemon;
        daemon.Start();
        printf("rclone %lld\n", static_cast<long long>(daemon.ProcessId()));
        fflush(stdout);
        QThread::sleep(60);
        _exit(0);
    }
};
[[maybe_unused]] const auto* const childEnvironment =
    qEnvironmentVariableIsEmpty("ZANDOREL_RCLONE_CHILD")
        ? nullptr
        : ::testing::AddGlobalTestEnvironment(new RcloneChild);

TEST_F(RcloneTest, RcloneEndsWithTheProgramHoweverItEnds) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(q("ZANDOREL_RCLONE_CHILD"), q("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {q("--gtest_filter=RemoteText.DisplaySizes")});
    qint64 pid = 0;
    ASSERT_TRUE(eventually([&] {
        child.waitForReadyRead(10);
        const QByteArray line = child.readLine();
        if (line.startsWith("rclone ")) {
            pid = line.mid(7).trimmed().toLongLong();
        }
        return pid > 0;
    }));
    ASSERT_TRUE(processAlive(pid));
    child.kill(); // SIGKILL: the program has no say in it
    child.waitForFinished();
    EXPECT_TRUE(eventually([&] { return !processAlive(pid); }));
}
