// The page cut against the plain reference, and what ListFolder reports per source.

#include "referencecut.h"
#include "share/linklist.h"
#include "share/openunicode.h"
#include "share/sdpage.h"
#include "testsupport.h"
#include "text/appinfo.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <span>

using namespace zandorel;
using zandorel::test::q;

TEST(CutPage, AgreesWithThePatternHelpers) {
    // Pieces that matter to the cut: long s and Kelvin sign (fold to s, k), line feeds, lone halves.
    QStringList pieces{QString(QChar(0xD800)), QString(QChar(0xDC00))};
    const char* const statements[] = {
        "var primedResponse={",       "VAR PRIMEDRESPONSE={", "var primedReſponſe={", "var primedresponse=",
        "var primedRes\u212Aponse={", "\"children\":[",       "\"children\":",        "\"Children\":["};
    const char* const marks[] = {"[",  "]", "{", "}", "};", "}", ";", "\n",
                                 "\"", ",", ":", "a", "中", "😀", "ſ"};
    const char* const rest[] = {"{\"name\":\"x\"}", "{}", "xxxxxxxxxxxxxxxxxxxxxxx", "yyyyyyy"};
    for (const auto& list : {std::span<const char* const>(statements), std::span<const char* const>(marks),
                             std::span<const char* const>(rest)}) {
        for (const char* text : list) {
            pieces << q(text);
        }
    }
    QRandomGenerator random(20261207);
    for (int round = 0; round < 30000; ++round) {
        QString page;
        const int count = static_cast<int>(random.bounded(40));
        for (int i = 0; i < count; ++i) {
            page += pieces[random.bounded(pieces.size())];
        }
        if (round % 3 == 0) {
            page.prepend(q("var primedResponse={\"children\":["));
        }
        const test::Cut want = test::referenceCut(page);
        const test::Cut got = test::fastCut(page);
        ASSERT_TRUE(want == got) << "page: " << test::printable(page) << "\nwant step " << want.failedStep
                                 << " " << test::printable(want.code) << "\ngot step  " << got.failedStep
                                 << " " << test::printable(got.code);
    }
}

class ListFolderTest : public test::FolderTest {
protected:
    void SetUp() override {
        test::qtApp();
        FolderTest::SetUp();
        app.folder = dir.path();
        app.exeName = q("Zandorel");
    }
    AppInfo app;
};

// Sources that fail, and where the dump of a failed extraction goes.
TEST_F(ListFolderTest, FailedSourcesAndTheDumpPlace) {
    SDPage page;
    Listing listing = ListFolder(page, ListingSource::file(dir.filePath(q("missing.html"))));
    EXPECT_EQ(listing.failedStep(), 1); // a missing file reads as empty text
    EXPECT_TRUE(listing.dumpText.isEmpty());
    listing = ListFolder(page, ListingSource::url(q("ftp://example/x")));
    EXPECT_EQ(listing.status, Listing::Status::SourceFailed);
    EXPECT_FALSE(listing.problem().isEmpty());
    EXPECT_EQ(listing.failedStep(), 0);

    listing.status = Listing::Status::NoScriptData;
    listing.dumpText = q("the page 中");
    EXPECT_EQ(WriteExtractionDump(listing, ExtractionDumpPlace(app, QString())),
              dir.filePath(q("Zandorel_error.html")));
    EXPECT_EQ(ReadTextFile(dir.filePath(q("Zandorel_error.html"))), q("the page 中"));
    // A missing program folder cannot be written, even by root: the dump goes to the settings folder.
    app.folder = dir.filePath(q("no/such/folder"));
    const QString settings = dir.filePath(q("settings"));
    ASSERT_TRUE(QDir().mkpath(settings));
    const QString config = settings + q("/ZandorelConfig.xml");
    EXPECT_EQ(WriteExtractionDump(listing, ExtractionDumpPlace(app, config)),
              settings + q("/Zandorel_error.html"));
    // Nowhere to write: no failure either.
    EXPECT_TRUE(WriteExtractionDump(listing, ExtractionDumpPlace(app, QString())).isEmpty());
    listing.status = Listing::Status::Listed;
    EXPECT_TRUE(WriteExtractionDump(listing, ExtractionDumpPlace(app, config)).isEmpty());
}

// A binary's dump is no larger than the file, cut at the limit, and reads back as its start.
TEST_F(ListFolderTest, DumpOfABinaryFileIsNotLargerThanTheFile) {
    QRandomGenerator random(18);
    for (const qsizetype size : {qsizetype{200000}, qsizetype{5} << 20}) {
        SCOPED_TRACE(size);
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes) {
            byte = static_cast<char>(random.bounded(256));
        }
        const QString source = dir.filePath(q("binary.bin"));
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        SDPage page;
        const Listing listing = ListFolder(page, ListingSource::file(source));
        ASSERT_EQ(listing.failedStep(), 1);
        const QString dump = WriteExtractionDump(listing, ExtractionDumpPlace(app, QString()));
        ASSERT_FALSE(dump.isEmpty());
        const qint64 written = QFileInfo(dump).size();
        EXPECT_GT(written, 0);
        EXPECT_LE(written, std::min<qint64>(size, 4 * MaxDumpChars));
        const QString back = ReadTextFile(dump);
        EXPECT_EQ(back, listing.dumpText.left(back.size()).replace(QChar(QChar::ReplacementCharacter), u'?'));
    }
}

// Root: a file, a sub-folder and a loop back to the root; the sub-folder: a file, a gone folder.
TEST(SubFolders, EachSubFolderPageIsFetchedOnceAndItsEntriesFollowWithPaths) {
    test::qtApp();
    std::map<std::string, std::string> pages{
        {"c!root", "{\"name\":\"a\",\"extension\":\".txt\",\"itemType\":\"file\",\"id\":\"c!a\"},"
                   "{\"name\":\"sub \\u4e2d\",\"extension\":\"\",\"itemType\":\"folder\",\"id\":\"c!sub\"},"
                   "{\"name\":\"loop\",\"extension\":\"\",\"itemType\":\"folder\",\"id\":\"c!root\"}"},
        {"c!sub", "{\"name\":\"b\",\"extension\":\".md\",\"itemType\":\"file\",\"id\":\"c!b\",\"size\":3},"
                  "{\"name\":\"gone\",\"extension\":\"\",\"itemType\":\"folder\",\"id\":\"c!gone\"}"},
    };
    std::mutex lock;
    std::map<std::string, int> asked;
    std::atomic<bool> holdSub{false}, subArrived{false}, release{false};
    test::LocalServer server;
    server.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        const std::string id = request.get_param_value("id");
        {
            std::lock_guard<std::mutex> guard(lock);
            ++asked[id];
        }
        if (id == "c!sub" && holdSub) {
            subArrived = true;
            for (int i = 0; i < 1000 && !release; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        const auto page = request.get_param_value("cid") == "c" ? pages.find(id) : pages.end();
        if (page == pages.end()) {
            response.status = 404;
            return;
        }
        response.set_content("<script>var primedResponse={\"id\":\"" + id +
                                 "\",\"cid\":\"c\",\"children\":[" + page->second + "]};</script>",
                             "text/html");
    });
    ListingOptions options;
    options.shareService = QString::fromStdString(server.start());
    options.recursive = true;
    SDPage page;
    ASSERT_EQ(ListFolder(page, ListingSource::folder(q("c"), q("c!root")), options).status,
              Listing::Status::Listed);
    LinkTemplates t;
    t.codeFormat = q("%v(path)|%t(itemType)");
    t.joinFormat = q("$1\\n");
    EXPECT_EQ(BuildLinkList(page, t).block,
              q("a.txt|file\nsub 中|folder\nsub 中/b.md|file\nsub 中/gone|folder\nloop|folder\n"));
    EXPECT_EQ(page.Files().Item(3).GetByTitle(q("size")), q("3")); // the entry is kept whole
    EXPECT_EQ(asked, (std::map<std::string, int>{{"c!root", 1}, {"c!sub", 1}, {"c!gone", 1}}));

    // Without sub-folders, the folder's own entries only, without paths.
    options.recursive = false;
    ASSERT_EQ(ListFolder(page, ListingSource::folder(q("c"), q("c!root")), options).status,
              Listing::Status::Listed);
    EXPECT_EQ(BuildLinkList(page, t).block, q("|file\n|folder\n|folder\n"));

    // Esc while a sub-folder page is on its way: the list stays as it was.
    options.recursive = true;
    options.http.cancel = std::make_shared<CancelToken>();
    holdSub = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (subArrived) {
            options.http.cancel->Cancel();
        }
    });
    watch.start(1);
    EXPECT_EQ(ListFolder(page, ListingSource::folder(q("c"), q("c!root")), options).status,
              Listing::Status::Cancelled);
    release = true;
    EXPECT_EQ(page.Files().Count(), 3);
}
