// The headless listing tool as other programs use it: arguments in, text and exit status out.

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using zandorel::test::q;

namespace {

const char* const page = "<html><script>var primedResponse={\"id\":\"root\",\"children\":["
                         "{\"name\":\"report\",\"extension\":\".pdf\",\"sharingLevelValue\":0,\"urls\":{"
                         "\"download\":\"http://d/1\"}},"
                         "{\"name\":\"会议纪要\",\"extension\":\".txt\",\"sharingLevelValue\":2,\"urls\":{"
                         "\"download\":\"http://d/2\"}}"
                         "]};</script></html>";

struct CliRun {
    int status = -1;
    QByteArray out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        zandorel::test::qtApp();
        ASSERT_TRUE(dir.isValid());
        // A copy of the tool of its own, so that its settings and dump file
        // are this test's.
        cli = dir.filePath(q("zandorel-cli"));
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(ZANDOREL_CLI), cli));
        pagePath = write(q("page.html"), page);
    }
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    CliRun run(const QStringList& args, const QString& program = QString()) {
        QProcess p;
        // A configuration folder of this test's own, never the user's.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(q("XDG_CONFIG_HOME"), dir.filePath(q("xdg")));
        for (const auto& [name, value] : extraEnv) {
            env.insert(name, value);
        }
        p.setProcessEnvironment(env);
        p.start(program.isEmpty() ? cli : program, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        CliRun r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QTemporaryDir dir;
    QString cli;
    QString pagePath;
    std::map<QString, QString> extraEnv;
};

} // namespace

TEST_F(CliTest, SettingsShapeTheOutput) {
    const QString config =
        write(q("custom.xml"), "<Soft><Config AllLinkFormat=\"$1;\">"
                               "<GetSourceCode_Error>no data in %s(AppEXEName)</GetSourceCode_Error>"
                               "</Config><Window><Form_Main><Label_Link Caption=\"[%t(name)]\"/>"
                               "</Form_Main></Window><TemplateList>"
                               "<Template name=\"t\">%t(fileIndex)=%t(name)</Template>"
                               "</TemplateList></Soft>");
    CliRun r = run({q("--page"), pagePath, q("--config"), config});
    EXPECT_EQ(r.out, QByteArray("1=report;2=会议纪要;"));
    r = run({q("--page"), pagePath, q("--config"), config, q("--captions")});
    EXPECT_TRUE(r.out.startsWith("1. [report]\n"));
    r = run({q("--page"), write(q("empty.html"), "<html></html>"), q("--config"), config});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, q("no data in zandorel-cli\n"));
    // The message ends in one line feed, whatever line end the settings text brings.
    const QString lines =
        write(q("lines.xml"), "<Soft><Config><GetSourceCode_Error>two&#13;&#10;lines&#13;&#10;"
                              "</GetSourceCode_Error></Config></Soft>");
    EXPECT_EQ(run({q("--page"), dir.filePath(q("empty.html")), q("--config"), lines}).err,
              q("two\r\nlines\n"));
    EXPECT_EQ(run({q("--page"), dir.filePath(q("empty.html"))}).err, q("获取源代码失败\n"));

    r = run({q("--page"), pagePath, q("--config"), write(q("broken.xml"), "<Soft>")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(q("Load XML config error,please check broken.xml")));
}

TEST_F(CliTest, FailuresAndUsage) {
    CliRun r = run({q("--page"), write(q("nodata.html"), "<html>no script</html>")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.isEmpty());
    QFile dump(dir.filePath(q("zandorel-cli_error.html")));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_EQ(dump.readAll(), QByteArray("<html>no script</html>"));

    EXPECT_EQ(run({q("--page"), dir.filePath(q("missing.html"))}).status, 2);
    EXPECT_EQ(run({q("--page"), dir.path()}).status, 2);
    EXPECT_EQ(run({q("--url"), q("not-an-address")}).status, 2);
    EXPECT_EQ(run({q("--page"), pagePath, q("--props"), q("x")}).status, 4);

    for (const QStringList& args :
         {QStringList{}, QStringList{q("--page")},
          QStringList{q("--address"), q("http://a/?cid=1"), q("--service"), q("ftp://host:21")},
          QStringList{q("--page"), pagePath, q("--bogus")},
          QStringList{q("--page"), pagePath, q("--captions"), q("--props"), q("1")},
          QStringList{q("--page"), pagePath, q("--links")},
          QStringList{q("--remote"), q("t:"), q("--expire"), q("1h")}, QStringList{q("--remote"), q("")},
          QStringList{q("--remote"), q("t:"), q("--links=1")},
          QStringList{q("--page"), pagePath, q("--recursive")}}) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        r = run(args);
        EXPECT_EQ(r.status, 64);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(q("usage: zandorel-cli")));
    }
}

TEST_F(CliTest, SpecialFilesAndTooLongTexts) {
    // A pipe named as the settings or as the page is never opened.
    const QString fifo = dir.filePath(q("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(run({q("--page"), pagePath, q("--config"), fifo}).status, 1);
    EXPECT_EQ(run({q("--page"), fifo}).status, 2);

    // A text past the length limit is told with the file's number; nothing printed.
    const QByteArray name(3 * 1024 * 1024, 'n');
    const QString page = write(
        q("long.html"), "var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\"" + name + "\"}]};");
    CliRun r = run({q("--page"), page, q("--format"), q("%t(name)%v(name)")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(q("file 2 "))) << r.err.toStdString();
    EXPECT_EQ(run({q("--page"), page, q("--format"), q("%t(name)")}).status, 0);
}

TEST_F(CliTest, OutputPastTheTotalLimitIsAnErrorOfItsOwn) {
    // 70 files whose links are 4 M characters each: 280 MB, past the 256 MiB
    // limit: nothing is printed, status 7.
    const QByteArray name(1024 * 1024, 'n');
    QByteArray list;
    for (int i = 0; i < 70; ++i) {
        list += (i ? ",{\"name\":\"" : "{\"name\":\"") + name + "\"}";
    }
    const QString many = write(q("many.html"), "var primedResponse={\"children\":[" + list + "]};");
    const QString format = q("%t(name)").repeated(4);
    CliRun r = run({q("--page"), many, q("--format"), format, q("--join"), q("$1")});
    EXPECT_EQ(r.status, 7);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(q("longer than 268435456 bytes"))) << r.err.toStdString();
    EXPECT_EQ(run({q("--page"), many, q("--captions")}).status, 0); // captions stay small
    const QString one =
        write(q("one.html"), "var primedResponse={\"children\":[{\"name\":\"" + name + "\"}]};");
    // One file's link repeated 70 times by the join format is refused; 30 times is printed.
    r = run({q("--page"), one, q("--format"), format, q("--join"), q("$1").repeated(70)});
    EXPECT_EQ(r.status, 7);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(run({q("--page"), one, q("--format"), format, q("--join"), q("$1").repeated(30)}).out.size(),
              30 * 4 * 1024 * 1024);
}

TEST_F(CliTest, FetchesFromTheShareService) {
    zandorel::test::LocalServer local;
    std::string seenQuery;
    local.server().Get("/", [&](const httplib::Request& req, httplib::Response& res) {
        seenQuery = req.get_param_value("cid") + "|" + req.get_param_value("id");
        res.set_content(page, "text/html; charset=utf-8");
    });
    const std::string base = local.start();
    const QString config =
        write(q("service.xml"), QByteArray("<Soft><Config ShareService=\"") + base.c_str() + "/\"/></Soft>");
    const QString address = QString::fromStdString(base) + q("/?cid=C1&id=C1!7");
    CliRun r = run({q("--address"), address, q("--config"), config});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(seenQuery, "C1|C1!7");
    EXPECT_EQ(r.out, QByteArray("report.pdf\r\n会议纪要.txt\r\n"));

    // The settings name another service: --service wins for this run only.
    const QString other = write(
        q("other.xml"), "<Soft><Config AllLinkFormat=\"$1;\" ShareService=\"http://10.0.0.5:9000\"/></Soft>");
    EXPECT_EQ(run({q("--address"), address, q("--config"), other}).status, 3);
    r = run({q("--address"), address, q("--config"), other, q("--service"), QString::fromStdString(base)});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray("report.pdf;会议纪要.txt;"));
}

TEST_F(CliTest, RefusedAddressesAreExplained) {
    // Each refusal names the service, where it came from and the two ways to name another.
    const QString elsewhere = q("http://elsewhere.example/?cid=a&id=b");
    const QString custom =
        write(q("custom.xml"), "<Soft><Config ShareService=\"http://10.0.0.5:9000/\"/></Soft>");
    const QString unusable = write(q("unusable.xml"), "<Soft><Config ShareService=\"ftp://x\"/></Soft>");
    const QString unset = write(q("unset.xml"), "<Soft/>");
    const QString builtIn = q("http://127.0.0.1:8765");
    const struct {
        QStringList args;
        QString service, origin;
    } cases[] = {
        {{}, builtIn, q("(ShareService of the built-in settings).")},
        {{q("--config"), custom},
         q("http://10.0.0.5:9000"),
         q("(ShareService of ") + QFileInfo(custom).absoluteFilePath() + q(").")},
        {{q("--config"), unusable},
         builtIn,
         q("whose \"ftp://x\" is no http or https address, so the default).")},
        {{q("--config"), unset}, builtIn, q("which names none, so the default).")},
        {{q("--config"), custom, q("--service"), q("http://[::1]:7000/")},
         q("http://[::1]:7000"),
         q("(given by --service).")},
    };
    for (const auto& c : cases) {
        const CliRun r = run(QStringList{q("--address"), elsewhere} + c.args);
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(r.status, 3);
        const QStringList lines = r.err.split(u'\n');
        ASSERT_EQ(lines.size(), 4); // three lines, each ending in one line feed
        EXPECT_TRUE(
            lines[0].startsWith(q("zandorel-cli: %1 is not a folder address of the share service %2 (")
                                    .arg(elsewhere, c.service)));
        EXPECT_TRUE(lines[0].endsWith(c.origin));
        EXPECT_TRUE(lines[1].contains(c.service + q("/?cid=")));
        EXPECT_TRUE(lines[2].contains(q("--service URL (as in --service http://elsewhere.example)")) &&
                    lines[2].contains(q("--config FILE")));
    }
}

TEST_F(CliTest, VersionAndWhereTheSettingsComeFrom) {
    CliRun r = run({q("--version")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("zandorel-cli %1.%2.%3\n")
                         .arg(ZANDOREL_VERSION_MAJOR)
                         .arg(ZANDOREL_VERSION_MINOR)
                         .arg(ZANDOREL_VERSION_PATCH)
                         .toUtf8());
    const CliRun help = run({q("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--remote REMOTE:PATH") && help.out.contains("6 rclone is not installed"));

    // No file anywhere: the built-in settings, the same as the shipped file; none is created.
    const QString shipped = QString::fromUtf8(ZANDOREL_DEFAULT_CONFIG);
    const std::pair<QStringList, QByteArray> forms[] = {
        {{}, "<a href=\"http://d/1\">report.pdf</a>\r\n<a href=\"http://d/2\">会议纪要.txt</a>\r\n"},
        {{q("--captions")}, "1. report.pdf\n2. 会议纪要.txt\t警告：文件不是公共\n"}};
    for (const auto& [form, want] : forms) {
        EXPECT_EQ(run(QStringList{q("--page"), pagePath} + form).out, want);
        EXPECT_EQ(run(QStringList{q("--page"), pagePath, q("--config"), shipped} + form).out, want);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(q("xdg"))));

    // The configuration folder's file, until one lies beside the program.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(q("xdg/zandorel"))));
    write(q("xdg/zandorel/ZandorelConfig.xml"), "<Soft><Config AllLinkFormat=\"user:$1;\"/></Soft>");
    EXPECT_EQ(run({q("--page"), pagePath}).out, QByteArray("user:report.pdf;user:会议纪要.txt;"));
    write(q("ZandorelConfig.xml"), "<Soft><Config AllLinkFormat=\"beside:$1;\"/></Soft>");
    EXPECT_EQ(run({q("--page"), pagePath}).out, QByteArray("beside:report.pdf;beside:会议纪要.txt;"));
    const QString other = write(q("other.xml"), "<Soft><Config AllLinkFormat=\"other:$1;\"/></Soft>");
    EXPECT_EQ(run({q("--page"), pagePath, q("--config"), other}).out,
              QByteArray("other:report.pdf;other:会议纪要.txt;"));
}

namespace {

// A folder of an alias remote in an rclone configuration of the test's own.
class RemoteCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const QString root = dir.filePath(q("tree"));
        for (const char* name : {"a b.txt", "中文 名.pdf", "noext", "sub/inner.txt", "sub/deeper/d.txt"}) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(root + u'/' + q(name)).absolutePath()));
            write(q("tree/") + q(name), QByteArray("12345"));
        }
        ASSERT_TRUE(QDir().mkpath(dir.filePath(q("emptyfolder"))));
        extraEnv[q("RCLONE_CONFIG")] =
            write(q("rclone.conf"),
                  "[t]\ntype = alias\nremote = " + root.toUtf8() +
                      "\n[e]\ntype = alias\nremote = " + dir.filePath(q("emptyfolder")).toUtf8() + "\n");
    }
    bool dumpWritten() const { return QFile::exists(dir.filePath(q("zandorel-cli_error.html"))); }
};

} // namespace

TEST_F(RemoteCliTest, ListsAFolderOfARemote) {
    CliRun r = run({q("--remote"), q("t:"), q("--format"), q("%v(path)|%v(name)|%v(extension)|%t(size)")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QStringList lines = QString::fromUtf8(r.out).split(q("\r\n"), Qt::SkipEmptyParts);
    lines.sort();
    EXPECT_EQ(lines,
              (QStringList{q("a b.txt|a b|.txt|5"), q("noext|noext||5"), q("中文 名.pdf|中文 名|.pdf|5")}));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString(); // no progress in a pipe
    r = run({q("--remote"), q("t:sub"), q("--props"), q("1")});
    EXPECT_TRUE(r.out.contains("path     inner.txt\r\n")) << r.out.toStdString();

    // A remote without links says so once; every file stays, with the warning.
    r = run({q("--remote"), q("t:"), q("--links"), q("--expire"), q("1h"), q("--captions")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out).count(q("\t警告：文件不是公共\n")), 3);
    EXPECT_EQ(r.err, q("zandorel-cli: t: makes no public links\n"));
    r = run({q("--remote"), q("t:"), q("--links"), q("--props"), q("2")});
    EXPECT_TRUE(r.out.contains("linkError     this remote makes no public links\r\n"));

    // The count of files listed shows on a terminal (script's pseudo-terminal).
    r = run({q("-qec"), q("'%1' --remote t: --recursive --format x").arg(cli), q("/dev/null")}, q("script"));
    EXPECT_TRUE(r.out.contains("\r5 files listed"));
}

TEST_F(RemoteCliTest, FailuresGiveOneLineAndTheirOwnStatus) {
    struct Case {
        QStringList args;
        int status;
        const char* err;
    };
    const std::vector<Case> cases{
        {{q("--remote"), q("nosuch:dir")}, 5, "zandorel-cli: unknown remote nosuch:dir (rclone: "},
        {{q("--remote"), q(":nobackend,key=SECRET42:dir")},
         5,
         "zandorel-cli: unknown remote :nobackend:dir (rclone: "},
        {{q("--remote"), q("t:not there")}, 5, "zandorel-cli: no such folder t:not there (rclone: "},
        {{q("--remote"), q("e:")}, 2, "zandorel-cli: no files to list in e:"},
        {{q("--remote"), q(":sftp,host=127.0.0.1,port=1,user=x:dir")},
         5,
         "zandorel-cli: could not reach or read :sftp:dir (rclone: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.startsWith(q(c.err))) << r.err.toStdString();
        EXPECT_EQ(r.err.count(u'\n'), 1);
        EXPECT_FALSE(r.err.contains(q("SECRET42")));
        EXPECT_FALSE(dumpWritten());
    }

    // No rclone on the PATH: the package to install is named.
    extraEnv[q("PATH")] = dir.filePath(q("emptyfolder"));
    const CliRun r = run({q("--remote"), q("t:")});
    EXPECT_EQ(r.status, 6);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(
        r.err,
        q("zandorel-cli: rclone is not installed (no rclone on the PATH): install the package rclone\n"));
    EXPECT_FALSE(dumpWritten());
}
