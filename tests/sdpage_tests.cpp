// The share page as the pipeline fills it: extraction from page text, saved
// pages, the dump file and the step a failed extraction reports.

#include "share/openunicode.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "testsupport.h"
#include "text/textcodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        place = DumpPlace{q("Zandorel_error.html"), {dir.path()}};
    }
    // A retrieval as the programs run it: the pipeline, then the dump of a failed extraction.
    Listing list(SDPage& page, const ListingSource& source) {
        const Listing listing = ListFolder(page, source);
        if (listing.failedStep() != 0) {
            WriteExtractionDump(listing, place);
            steps.append(listing.failedStep());
        }
        return listing;
    }
    Listing list(SDPage& page, const QString& text) { return list(page, ListingSource::text(text)); }
    QString dumpPath() const { return dir.filePath(q("Zandorel_error.html")); }
    QString dumped() const { return QFile::exists(dumpPath()) ? ReadTextFile(dumpPath()) : QString(); }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    DumpPlace place;
    QList<int> steps;
};

QString names(const SDPage& page) {
    QStringList out;
    for (const auto& f : page.Files()) {
        out << f->Values().GetValue(q("name"));
    }
    return out.join(u',');
}

} // namespace

TEST_F(PageTest, Extraction) {
    struct Row {
        const char* name;
        const char* page;
        const char* code;
        const char* files;
        int step; // 0: no dump
        const char* dump;
    };
    const Row rows[] = {
        {"ordinary page",
         "<script>var "
         "primedResponse={\"id\":\"r\",\"children\":[{\"name\":\"a\"},{\"name\":\"b\"}],\"n\":2};</script>",
         "{\"name\":\"a\"},{\"name\":\"b\"}", "a,b", 0, ""},
        {"statement in any letter case", "VAR PRIMEDRESPONSE={\"children\":[{\"name\":\"a\"}]};",
         "{\"name\":\"a\"}", "a", 0, ""},
        {"empty list: no files, no dump", "var primedResponse={\"children\":[]};", "", "", 0, ""},
        {"no statement dumps the page", "<html>nothing</html>", "", "", 1, "<html>nothing</html>"},
        {"empty response", "", "", "", 1, ""},
        {"statement across lines is not found", "var primedResponse={\"children\":[\n{\"name\":\"a\"}]};", "",
         "", 1, "var primedResponse={\"children\":[\n{\"name\":\"a\"}]};"},
        {"no children list dumps the data", "var primedResponse={\"id\":\"r\",\"items\":[]};", "", "", 2,
         "\"id\":\"r\",\"items\":[]"},
        {"first children list only",
         "var primedResponse={\"children\":[{\"name\":\"a\"}],\"x\":{\"children\":[{\"name\":\"b\"}]}};",
         "{\"name\":\"a\"}", "a", 0, ""},
        {"empty object ends the listing", "var primedResponse={\"children\":[{\"a\":1},{},{\"b\":2}]};",
         "{\"a\":1},{},{\"b\":2}", "", 0, ""},
        {"unclosed list: empty, no dump", "var primedResponse={\"children\":[{\"name\":\"a\"};", "", "", 0,
         ""},
        {"statement ends at the first };", "var primedResponse={\"children\":[{\"name\":\"x};y\"}]};", "", "",
         0, ""},
        {"statement on a later line", "x\nvar primedResponse={\"children\":[{\"name\":\"a\"}]};\n",
         "{\"name\":\"a\"}", "a", 0, ""},
        {"second statement after a broken one",
         "var primedResponse={\"children\":[\nvar primedResponse={\"children\":[{\"name\":\"b\"}]};",
         "{\"name\":\"b\"}", "b", 0, ""},
        {"object that does not close in the list", "var primedResponse={\"children\":[{\"a\":{1]};",
         "{\"a\":{1", "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(dumpPath());
        steps.clear();
        SDPage page;
        list(page, q(row.page));
        EXPECT_EQ(page.Code(), q(row.code));
        EXPECT_EQ(names(page), q(row.files));
        EXPECT_EQ(std::vector<int>(steps.begin(), steps.end()),
                  row.step ? std::vector<int>{row.step} : std::vector<int>{});
        EXPECT_EQ(QFile::exists(dumpPath()), row.step != 0);
        if (row.step) {
            EXPECT_EQ(dumped(), row.dump[0] ? q(row.dump) : QString(1, QChar(u'\0')));
        }
    }
}

TEST_F(PageTest, RetrievalReplacesEverything) {
    SDPage page;
    list(page, q("var primedResponse={\"children\":[{\"name\":\"a\"},{\"name\":\"b\"}]};"));
    ASSERT_EQ(page.Files().Count(), 2);
    list(page, q("var primedResponse={\"children\":[{\"name\":\"c\"}]};"));
    EXPECT_EQ(names(page), q("c"));
    list(page, q("first page, much longer than the second one"));
    EXPECT_EQ(page.Files().Count(), 0);
    EXPECT_TRUE(page.Code().isEmpty());
    // The dump is replaced, every character kept.
    list(page, q("第二 😀"));
    EXPECT_EQ(dumped(), q("第二 😀"));
    // A bad address fails the source step and leaves nothing of the earlier listing.
    list(page, q("var primedResponse={\"children\":[{\"name\":\"c\"}]};"));
    const Listing bad = list(page, ListingSource::url(q("not an address")));
    EXPECT_EQ(bad.status, Listing::Status::SourceFailed);
    EXPECT_THROW(std::rethrow_exception(bad.error), std::invalid_argument);
    EXPECT_EQ(page.Files().Count(), 0);
    EXPECT_TRUE(page.Code().isEmpty());
}

TEST_F(PageTest, SavedPagesInEitherEncoding) {
    const QString page = q("<html><meta charset=gbk><script>var primedResponse={\"children\":["
                           "{\"name\":\"会议纪要\",\"extension\":\".txt\"},{\"name\":\"ü€\"}]};</script>");
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "UTF-8" : "GB18030");
        const QString path = writeFile(q("saved.html"), utf8 ? page.toUtf8() : EncodeLegacy(page));
        SDPage listing;
        list(listing, ListingSource::file(path));
        EXPECT_EQ(names(listing), q("会议纪要,ü€"));
    }
    // A byte-order mark is read as UTF-8 and dropped.
    SDPage bom;
    list(bom, ListingSource::file(writeFile(q("bom.html"), QByteArray("\xEF\xBB\xBF") + page.toUtf8())));
    EXPECT_EQ(bom.Files().Count(), 2);
}
