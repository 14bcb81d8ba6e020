// The share page as the pipeline fills it: extraction, the dump, the failed step.

#include "share/openunicode.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <vector>

using namespace zandorel;
using zandorel::test::q;

namespace {

class PageTest : public test::FolderTest {
protected:
    // A retrieval as the programs run it: the pipeline, then the dump of a failed extraction.
    Listing list(SDPage& page, const ListingSource& source) {
        const Listing listing = ListFolder(page, source);
        if (listing.failedStep() != 0) {
            WriteExtractionDump(listing, DumpPlace{q("Zandorel_error.html"), {dir.path()}});
            steps.append(listing.failedStep());
        }
        return listing;
    }
    Listing list(SDPage& page, const QString& text) { return list(page, ListingSource::text(text)); }
    QString dumpPath() const { return dir.filePath(q("Zandorel_error.html")); }
    QString dumped() const { return QFile::exists(dumpPath()) ? ReadTextFile(dumpPath()) : QString(); }
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
        {"no statement dumps the page", "<html>nothing</html>", "", "", 1, "<html>nothing</html>"},
        {"no children list dumps the data", "var primedResponse={\"id\":\"r\",\"items\":[]};", "", "", 2,
         "\"id\":\"r\",\"items\":[]"},
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
        // As vectors: two empty QLists compare through memcmp with a null pointer.
        EXPECT_EQ(std::vector<int>(steps.begin(), steps.end()),
                  row.step ? std::vector<int>{row.step} : std::vector<int>());
        EXPECT_EQ(QFile::exists(dumpPath()), row.step != 0);
        EXPECT_EQ(dumped(), q(row.dump));
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
