// Byte ranges of downloads: clamped, refused or ignored, and parts across the server's reads.

#include "standin_support.h"

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinRange : public ::testing::Test {};

TEST_F(StandinRange, OneRangeClampedRefusedOrIgnored) {
    TempDir dir;
    writeFile(dir.path / "six.txt", "abcdef");
    writeFile(dir.path / "empty.txt", "");
    const std::string big = bigFile();
    writeFile(dir.path / "big.bin", big);
    const Running server(serving(dir.path));
    struct Row {
        std::string file, range;
        int status;
        std::string body, contentRange;
    };
    const std::vector<Row> table{
        {"six.txt", "bytes=0-1", 206, "ab", "bytes 0-1/6"},
        {"six.txt", "bytes=5-", 206, "f", "bytes 5-5/6"},       // the last byte on
        {"six.txt", "bytes=0-5", 206, "abcdef", "bytes 0-5/6"}, // to the last byte
        {"six.txt", "bytes=0-6", 206, "abcdef", "bytes 0-5/6"}, // one past it
        {"six.txt", "bytes=-1", 206, "f", "bytes 5-5/6"},
        {"six.txt", "bytes=-6", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=-7", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=3-99999999999999999999999", 206, "def", "bytes 3-5/6"},
        {"six.txt", "BYTES=1-1", 206, "b", "bytes 1-1/6"},
        {"six.txt", "bytes= 1-2 , ", 206, "bc", "bytes 1-2/6"}, // an empty list element
        {"six.txt", "bytes=6-", 416, "", "bytes */6"},
        {"six.txt", "bytes=-0", 416, "", "bytes */6"},
        {"six.txt", "bytes=18446744073709551615-", 416, "", "bytes */6"},
        {"six.txt", "bytes=99999999999999999999999-", 416, "", "bytes */6"},
        // Several ranges, nonsense and other units: the whole file.
        {"six.txt", "bytes=0-0,2-2", 200, "abcdef", ""},
        {"six.txt", "bytes=3-2", 200, "abcdef", ""},
        {"six.txt", "bytes=1-:", 200, "abcdef", ""}, // the characters next to the digits
        {"six.txt", "bytes=/-1", 200, "abcdef", ""},
        {"six.txt", "bytes=-:", 200, "abcdef", ""},
        {"six.txt", "bytes=99999999999999999999-99999999999999999998", 200, "abcdef", ""},
        {"six.txt", "bytes=1", 200, "abcdef", ""},
        {"six.txt", "items=0-1", 200, "abcdef", ""},
        {"six.txt", "bytes=", 200, "abcdef", ""},
        // An empty file has no part to send.
        {"empty.txt", "bytes=0-", 416, "", "bytes */0"},
        {"empty.txt", "bytes=-5", 200, "", ""},
        {"empty.txt", "bytes=-0", 416, "", "bytes */0"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.file + " " + row.range);
        const Reply reply = get(server.port(), "/download?id=" + server.idOf(row.file), "GET",
                                "Range: " + row.range + "\r\n");
        EXPECT_EQ(reply.status, row.status);
        EXPECT_EQ(reply.header("content-range"), row.contentRange);
        EXPECT_EQ(reply.header("accept-ranges"), "bytes");
        EXPECT_TRUE(row.status == 416 || reply.body == row.body) << reply.body;
    }

    // If-Range: the part only while the file is the one the client knows;
    // HEAD ignores ranges.
    const std::string target = "/download?id=" + server.idOf("six.txt");
    const Reply whole = get(server.port(), target);
    const std::string tag = whole.header("etag");
    ASSERT_FALSE(tag.empty());
    const auto ifRange = [&](const std::string& validator) {
        return get(server.port(), target, "GET", "Range: bytes=1-2\r\nIf-Range: " + validator + "\r\n").body;
    };
    EXPECT_EQ(ifRange(tag), "bc");
    EXPECT_EQ(ifRange(whole.header("last-modified")), "bc");
    EXPECT_EQ(ifRange("\"stale\""), "abcdef");
    const Reply head = get(server.port(), target, "HEAD", "Range: bytes=1-2\r\n");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("content-length"), "6");

    // Parts across the server's 64 KiB reads.
    for (const auto& [first, last] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, 65535}, {65535, 65536}, {100000, big.size() - 1}, {big.size() - 1, big.size() - 1}}) {
        const Reply reply =
            get(server.port(), "/download?id=" + server.idOf("big.bin"), "GET",
                "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n");
        EXPECT_TRUE(reply.body == big.substr(first, last - first + 1)) << first << "-" << last;
    }
}

} // namespace
