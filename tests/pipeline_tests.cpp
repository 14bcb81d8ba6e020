// The listing pipeline: the page cut, the chunked reading of saved pages and
// the outcomes ListFolder reports. The fast paths are checked against the
// plain ways of doing the same (the pattern helpers, a whole-file decode).

#include "referencecut.h"
#include "settings/editxml.h"
#include "share/filetags.h"
#include "share/openunicode.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "testsupport.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"
#include "text/stringfunctions.h"
#include "text/textcodec.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::Cut;
using zandorel::test::fastCut;
using zandorel::test::q;
using zandorel::test::referenceCut;

namespace {

QString printable(const QString& text) {
    QString out;
    for (QChar c : text) {
        out += (c.unicode() < 32 || c.unicode() > 126) ? QStringLiteral("<%1>").arg(c.unicode(), 0, 16)
                                                       : QString(c);
    }
    return out;
}

} // namespace

TEST(CutPage, AgreesWithThePatternHelpers) {
    // Pieces that matter to the cut, beyond ASCII included: the long s and the
    // Kelvin sign (which Unicode folds to s and k), line feeds and surrogates
    // that are not half of a pair, which no statement crosses.
    const QStringList pieces{q("var primedResponse={"),
                             q("VAR PRIMEDRESPONSE={"),
                             q("var primedReſponſe={"),
                             q("var primedresponse="),
                             q("var primedRes\u212Aponse={"),
                             q("\"children\":["),
                             q("\"children\":"),
                             q("\"Children\":["),
                             q("["),
                             q("]"),
                             q("{"),
                             q("}"),
                             q("};"),
                             q("}"),
                             q(";"),
                             q("\n"),
                             q("\""),
                             q(","),
                             q(":"),
                             q("a"),
                             q("中"),
                             q("😀"),
                             QString(QChar(0xD800)),
                             QString(QChar(0xDC00)),
                             q("ſ"),
                             q("{\"name\":\"x\"}"),
                             q("{}"),
                             q("xxxxxxxxxxxxxxxxxxxxxxx"),
                             q("yyyyyyy")};
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
        const Cut want = referenceCut(page);
        const Cut got = fastCut(page);
        if (!(want == got)) {
            ADD_FAILURE() << "page: " << printable(page).toStdString() << "\nwant code "
                          << printable(want.code).toStdString() << " step " << want.failedStep
                          << "\ngot code  " << printable(got.code).toStdString() << " step "
                          << got.failedStep;
            return;
        }
    }
}

TEST(CutPage, Cases) {
    struct Row {
        const char* name;
        const char* page;
        int failedStep;
        const char* code;
        int files;
    };
    const Row rows[] = {
        {"ordinary", "<script>var primedResponse={\"children\":[{\"a\":1},{\"b\":2}],\"n\":2};</script>", 0,
         "{\"a\":1},{\"b\":2}", 2},
        {"statement on a later line", "x\nvar primedResponse={\"children\":[{\"a\":1}]};\n", 0, "{\"a\":1}",
         1},
        {"a line feed breaks the statement", "var primedResponse={\"children\":[{\"a\":1}]\n};", 1, "", 0},
        {"second statement after a broken one",
         "var primedResponse={\"children\":[\nvar primedResponse={\"children\":[{\"b\":1}]};", 0, "{\"b\":1}",
         1},
        {"empty list", "var primedResponse={\"children\":[]};", 0, "", 0},
        {"list never closes", "var primedResponse={\"children\":[{\"a\":1};", 0, "", 0},
        {"empty object ends the files", "var primedResponse={\"children\":[{\"a\":1},{},{\"b\":2}]};", 0,
         "{\"a\":1},{},{\"b\":2}", 1},
        {"object that does not close in the list", "var primedResponse={\"children\":[{\"a\":{1]};", 0,
         "{\"a\":{1", 0},
        {"no children", "var primedResponse={\"items\":[]};", 2, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString page = q(row.page);
        const Cut got = fastCut(page);
        EXPECT_EQ(got, referenceCut(page));
        EXPECT_EQ(got.failedStep, row.failedStep);
        EXPECT_EQ(got.code, q(row.code));
        EXPECT_EQ(got.objects.size(), row.files);
    }
}

// ---- Saved pages, read a chunk at a time ----

namespace {

QString referenceRead(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return QString(1, QChar(u'\0'));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    }
    return IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : DecodeLegacy(bytes);
}

class ReadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void check(const std::string& name, const QByteArray& bytes) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(q("page.html"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        const QString got = ReadTextFile(path);
        const QString want = referenceRead(bytes);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
    QTemporaryDir dir;
};

constexpr qsizetype Chunk = 1 << 20;

} // namespace

TEST_F(ReadTest, SequencesAcrossChunkBoundaries) {
    const std::pair<const char*, QByteArray> sequences[] = {
        {"two bytes", "\xC3\xA9"},
        {"three bytes", "\xE4\xB8\xAD"},
        {"four bytes", "\xF0\x9F\x98\x80"},
        {"byte-order mark inside", "\xEF\xBB\xBF"},
        {"cut short, then ASCII", "\xE4\xB8x"},
        {"stray continuation", "\x80"},
        {"overlong", "\xC0\x80"},
        {"encoded surrogate", "\xED\xA0\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
    };
    for (const auto& [name, sequence] : sequences) {
        for (qsizetype back = 0; back <= 5; ++back) {
            for (const bool bom : {false, true}) {
                QByteArray bytes = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
                bytes += QByteArray(Chunk - back - bytes.size(), 'a');
                bytes += sequence;
                bytes += QByteArray("var primedResponse={\"children\":[{\"name\":\"中\"}]};");
                check(std::string(name) + " at -" + std::to_string(back) + (bom ? " after a BOM" : ""),
                      bytes);
            }
        }
    }
    // A file that ends in the middle of a sequence, and files of exactly one chunk.
    check("ends cut short", QByteArray(Chunk, 'a') + "\xF0\x9F\x98");
    check("exactly one chunk", QByteArray(Chunk, 'b'));
    check("one chunk and a byte", QByteArray(Chunk, 'b') + "c");
    check("empty", QByteArray());
    check("two marks", QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx"));
    check("a mark alone", QByteArray("\xEF\xBB\xBF"));
    // Legacy pages of several chunks, the bad byte early or late.
    const QByteArray gbk = EncodeLegacy(q("var primedResponse={\"children\":[{\"name\":\"会议纪要\"}]};"));
    check("GB18030, short", gbk);
    check("GB18030 after a chunk of ASCII", QByteArray(Chunk + 17, ' ') + gbk);
    check("GB18030 then ASCII", gbk + QByteArray(3 * Chunk, ' '));
}

TEST_F(ReadTest, RandomBytesAgreeWithTheWholeFileReading) {
    QRandomGenerator random(7);
    const QByteArray pieces[] = {"a",    "\xC3\xA9",     "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
                                 "\x80", "\xC0",         "\xE4\xB8",     "\xEF\xBB\xBF",
                                 "\xFF", "\xED\xA0\x80", "\xEF\xBF\xBE", "\x00"};
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes;
        const int count = static_cast<int>(random.bounded(24));
        for (int i = 0; i < count; ++i) {
            bytes += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
        }
        check("round " + std::to_string(round), bytes);
    }
}

TEST_F(ReadTest, OnlyRegularFilesAreRead) {
    EXPECT_TRUE(ReadTextFile(dir.path()).isEmpty());
    EXPECT_TRUE(ReadTextFile(dir.filePath(q("missing.html"))).isEmpty());
    EXPECT_TRUE(ReadTextFile(QString()).isEmpty());
}

// ---- ListFolder ----

class ListFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        zandorel::test::qtApp();
        ASSERT_TRUE(dir.isValid());
        AppInfo info = AppInfo::current();
        info.folder = dir.path();
        info.exeName = q("Zandorel");
        AppInfo::override(info);
    }
    void TearDown() override { AppInfo::reset(); }
    QTemporaryDir dir;
};

TEST_F(ListFolderTest, OutcomesOfEverySource) {
    SDPage page;
    page.GetListFromCode(q("var primedResponse={\"children\":[{\"name\":\"old\"}]};"));
    ASSERT_EQ(page.Files().Count(), 1);

    Listing listing = ListFolder(page, ListingSource::text(q("<html>no data</html>")));
    EXPECT_EQ(listing.failedStep(), 1);
    EXPECT_EQ(listing.dumpText, q("<html>no data</html>"));
    EXPECT_EQ(page.Files().Count(), 0); // every retrieval starts empty

    listing = ListFolder(page, ListingSource::text(q("var primedResponse={\"id\":\"r\"};")));
    EXPECT_EQ(listing.failedStep(), 2);
    EXPECT_EQ(listing.dumpText, q("\"id\":\"r\""));

    listing = ListFolder(page, ListingSource::file(dir.filePath(q("missing.html"))));
    EXPECT_EQ(listing.failedStep(), 1); // a missing file reads as empty text
    EXPECT_TRUE(listing.dumpText.isEmpty());

    listing = ListFolder(page, ListingSource::url(q("ftp://example/x")));
    EXPECT_EQ(listing.status, Listing::Status::SourceFailed);
    EXPECT_FALSE(listing.problem().isEmpty());
    EXPECT_EQ(listing.failedStep(), 0);

    zandorel::test::LocalServer server;
    server.server().Get("/", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content("var primedResponse={\"children\":[{\"name\":\"" +
                                 request.get_param_value("cid") + "\"},{\"name\":\"" +
                                 request.get_param_value("id") + "\"}]};",
                             "text/html");
    });
    ListingOptions options;
    options.shareService = QString::fromStdString(server.start());
    listing = ListFolder(page, ListingSource::folder(q("c1"), q("c1!root")), options);
    EXPECT_EQ(listing.status, Listing::Status::Listed);
    ASSERT_EQ(page.Files().Count(), 2);
    EXPECT_EQ(page.Files().Item(2).GetByTitle(q("name")), q("c1!root"));
    EXPECT_EQ(CheckFolderAddress(options.shareService + q("/?cid=c1&id=c1!root"), options.shareService).id,
              q("c1!root"));
}

TEST_F(ListFolderTest, DumpGoesToTheSettingsFolderWhenTheProgramFolderCannotBeWritten) {
    Listing listing;
    listing.status = Listing::Status::NoScriptData;
    listing.dumpText = q("the page 中");
    EXPECT_EQ(WriteExtractionDump(listing), dir.filePath(q("Zandorel_error.html")));
    EXPECT_EQ(ReadTextFile(dir.filePath(q("Zandorel_error.html"))), q("the page 中"));

    // A program folder that is not there cannot be written, even by root.
    AppInfo info = AppInfo::current();
    info.folder = dir.filePath(q("no/such/folder"));
    AppInfo::override(info);
    const QString settings = dir.filePath(q("settings"));
    ASSERT_TRUE(QDir().mkpath(settings));
    QFile config(settings + q("/ZandorelConfig.xml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("<Soft/>");
    config.close();
    ASSERT_TRUE(SettingsStore::Instance().LoadSettings(config.fileName()));
    EXPECT_EQ(WriteExtractionDump(listing), settings + q("/Zandorel_error.html"));
    SettingsStore::Instance().LoadDefaults();
    EXPECT_TRUE(WriteExtractionDump(listing).isEmpty()); // nowhere to write: no failure either

    listing.status = Listing::Status::Listed;
    EXPECT_TRUE(WriteExtractionDump(listing).isEmpty());
}

// The join format read once gives what the three replacements give.
TEST(JoinFormat, AgreesWithTheReplacements) {
    const QStringList pieces{q("\\r"), q("\\R"), q("\\n"), q("\\N"), q("$1"), q("$"),
                             q("1"),   q("\\"),  q("$$1"), q("x"),   q("中"), q("\\\\r")};
    const QStringList links{q("L"), q("$1"), q("a\\rb"), QString()};
    QRandomGenerator random(11);
    for (int round = 0; round < 5000; ++round) {
        QString format;
        for (int i = static_cast<int>(random.bounded(8)); i > 0; --i) {
            format += pieces[random.bounded(pieces.size())];
        }
        const QString& link = links[random.bounded(links.size())];
        QString got;
        JoinFormat(format).Append(got, link);
        ASSERT_EQ(got, ExpandJoinFormat(link, format)) << printable(format).toStdString();
    }
}
