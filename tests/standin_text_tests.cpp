// Texts zandorel-share writes: display sizes and download names.

#include "standin_support.h"

#include <limits>

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinText : public SharedFolderSuite {};

TEST_F(StandinText, DownloadsAnswerTheExactBytes) {
    struct Case {
        std::string name, type, disposition;
    };
    const std::vector<Case> table{
        {"会议纪要.txt", "text/plain",
         "attachment; filename=\"____.txt\"; filename*=UTF-8''%E4%BC%9A%E8%AE%AE%E7%BA%AA%E8%A6%81.txt"},
        {kDangerous, "text/plain",
         "attachment; filename=\"a_b{c}[d];<e>.txt\"; filename*=UTF-8''a%22b%7Bc%7D%5Bd%5D%3B%3Ce%3E.txt"},
        {"big.bin", "application/octet-stream", "attachment; filename=\"big.bin\"; filename*=UTF-8''big.bin"},
        {"noext", "application/octet-stream", "attachment; filename=\"noext\"; filename*=UTF-8''noext"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        std::ifstream in(dir_->path / "share" / c.name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Reply download = get(port(), "/download?id=" + idOf(c.name));
        EXPECT_EQ(download.status, 200);
        EXPECT_TRUE(download.body == bytes) << "bytes differ; got " << download.body.size();
        EXPECT_EQ(download.header("content-type"), c.type);
        EXPECT_EQ(download.header("content-disposition"), c.disposition);
        EXPECT_TRUE(
            get(port(), "/view?id=" + idOf(c.name)).header("content-disposition").starts_with("inline;"));
    }
}

TEST_F(StandinText, DisplaySizesAroundEachStep) {
    struct Row {
        std::uintmax_t bytes;
        std::string shown;
    };
    // Each step with the figures either side (1075/1076 B: 1.0498/1.0508 KB; 1048524/5 B: 1023.9492/502 KB).
    const std::vector<Row> table{
        {0, "0 bytes"},         {1, "1 byte"},       {1023, "1023 bytes"},
        {1024, "1.0 KB"},       {1075, "1.0 KB"},    {1076, "1.1 KB"},
        {1048524, "1023.9 KB"}, {1048525, "1.0 MB"}, {std::numeric_limits<std::uintmax_t>::max(), "16.0 EB"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(displaySize(row.bytes), row.shown);
    }
}

} // namespace
