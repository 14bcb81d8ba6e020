// Folder pages of zandorel-share: the data, hostile names, a large folder, shared unread copies.

#include "standin_support.h"

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinPage : public SharedFolderSuite {};

TEST_F(StandinPage, RootPageHoldsOneStatementWithOneObjectPerEntry) {
    const Reply& reply = root().reply;
    const std::string& data = root().data;
    EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8");
    // A line of its own, before the title, and the first match though a file
    // name imitates it.
    const std::size_t at = reply.body.find("\nvar primedResponse={");
    ASSERT_NE(at, npos);
    EXPECT_EQ(reply.body.substr(at + 1, reply.body.find('\n', at + 1) - at - 1),
              "var primedResponse={" + data + "};");
    EXPECT_LT(at, reply.body.find("<title>"));
    EXPECT_EQ(reply.body.find("[d];<"), npos) << "a name shown as markup";
    expectKeys(data, {"id", "name", "cid", "itemType", "children", "totalCount", "parentId"});
    EXPECT_TRUE(data.starts_with("\"id\":\"" + cid() + "!root\",\"name\":\"share\","));
    EXPECT_TRUE(data.ends_with(",\"parentId\":\"\"")) << data.substr(data.size() - 40);
    EXPECT_EQ(field(data, "totalCount"), std::to_string(root().entries.size()));
    expectSafeStrings(data);
    // Chinese names as raw UTF-8, not escaped, so that the reader sees them as they are.
    EXPECT_NE(data.find("\"name\":\"会议纪要\",\"extension\":\".txt\""), npos);
    EXPECT_NE(data.find("\"download\":\"http://127.0.0.1:" + std::to_string(port()) + "/download?id="), npos);

    struct Row {
        std::string fullName, name, extension, sharing;
    };
    // Folders first, then files, each in byte order; links leading outside
    // left out.
    const std::vector<Row> table{
        {"inside-dir-link", "inside-dir-link", "", "0"},
        {"private-dir", "private-dir", "", "2"},
        {"图片", "图片", "", "0"},
        {kDangerous, "a\"b{c}[d];<e>", ".txt", "0"},
        {"bad\xff.txt", "bad\xef\xbf\xbd", ".txt", "0"},
        {"big.bin", "big", ".bin", "0"},
        {"inside-link.txt", "inside-link", ".txt", "0"},
        {kBreaks, "line\nbreak\xe2\x80\xa8sep\xc2\x85", ".txt", "0"},
        {"noext", "noext", "", "0"},
        {"private-notes.txt", "private-notes", ".txt", "2"},
        {"readme.txt", "readme", ".txt", "0"},
        {kImitation, "var primedResponse={\"children\":[{}]};", ".txt", "0"},
        {"会议纪要.txt", "会议纪要", ".txt", "0"},
    };
    ASSERT_EQ(root().entries.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Row& row = table[i];
        const std::string& e = root().entries[i];
        SCOPED_TRACE(row.fullName);
        expectKeys(e, {"name", "extension", "id", "itemType", "size", "displaySize", "dateModified",
                       "mimeType", "sharingLevel", "sharingLevelValue", "urls", "thumbnails", "parentId"});
        EXPECT_TRUE(e.ends_with(",\"parentId\":\"" + cid() + "!root\"}")); // a string last
        EXPECT_EQ(unescape(field(e, "name")), row.name);
        EXPECT_EQ(unescape(field(e, "extension")), row.extension);
        EXPECT_EQ(field(e, "itemType"), i < 3 ? "folder" : "file");
        EXPECT_EQ(field(e, "id"), idOf(row.fullName));
        EXPECT_EQ(field(e, "sharingLevelValue"), row.sharing);
        EXPECT_EQ(cutEntries("\"children\":" + e.substr(e.find("\"thumbnails\":[") + 13)).size(), 2u);
        // Every published address answers; a private item's only by refusing.
        const Reply download = get(port(), targetOf(field(e, "download")), "HEAD");
        EXPECT_EQ(download.status, row.sharing == "2" ? 403 : i < 3 ? 302 : 200);
    }
    EXPECT_EQ(field(root().entries[5], "size"), std::to_string(bigFile().size())); // big.bin
    EXPECT_EQ(field(root().entries[2], "size"), "2"); // 图片: photo.png, 说明.txt; not the link "up"
}

TEST_F(StandinPage, SubFolderPages) {
    for (const std::string relative : {"图片", "inside-dir-link"}) {
        SCOPED_TRACE(relative);
        const std::string id = idOf(relative);
        const Page page = fetchPage(port(), "/?cid=" + cid() + "&id=" + id);
        EXPECT_TRUE(page.data.starts_with("\"id\":\"" + id + "\",\"name\":\"" + relative + "\","));
        EXPECT_TRUE(page.data.ends_with(",\"parentId\":\"" + cid() + "!root\""));
        ASSERT_EQ(page.entries.size(), 2u); // not "up", which leads outside
        EXPECT_EQ(field(page.entries[1], "name"), "说明");
        EXPECT_EQ(field(page.entries[1], "parentId"), id);
        // An image's thumbnail is the image itself.
        EXPECT_EQ(get(port(), targetOf(field(page.entries[0], "url"))).body,
                  "\x89PNG\r\n\x1a\nnot a real image");
    }
    EXPECT_EQ(get(port(), "/").header("location"), server_->rootTarget());
}

TEST_F(StandinPage, ListedEscapedAndDownloadedByteForByte) {
    const std::string bad = "\xef\xbf\xbd"; // U+FFFD
    struct Row {
        std::string file;  // bytes on disk
        std::string shown; // the name as the page shows it, escapes decoded
    };
    // Byte order, as listed.
    const std::vector<Row> table{
        {"%s(HOME).txt", "%s(HOME)"},
        {"<b>&amp;<i>.txt", "<b>&amp;<i>"},
        {"back\\slash.txt", "back\\slash"},
        {"bad\xff\xfe.txt", "bad" + bad + bad},
        {"end};.txt", "end};"},
        {"half\xe4\xb8.txt", "half" + bad + bad},
        {"it's \"quoted\".txt", "it's \"quoted\""},
        // The ends of each UTF-8 length stay; the sequences just past them do not.
        {"utf1\xc2\x80.txt", "utf1\xc2\x80"},
        {"utf2\xdf\xbf.txt", "utf2\xdf\xbf"},
        {"utf3\xe0\xa0\x80.txt", "utf3\xe0\xa0\x80"},
        {"utf4\xed\x9f\xbf.txt", "utf4\xed\x9f\xbf"},
        {"utf5\xf0\x90\x80\x80.txt", "utf5\xf0\x90\x80\x80"},
        {"utf6\xf4\x8f\xbf\xbf.txt", "utf6\xf4\x8f\xbf\xbf"},
        {"utf7\xc1\xbf.txt", "utf7" + bad + bad},                     // overlong
        {"utf8\xe0\x9f\xbf.txt", "utf8" + bad + bad + bad},           // overlong
        {"utf9\xed\xa0\x80.txt", "utf9" + bad + bad + bad},           // a pair half
        {"utfA\xf0\x8f\xbf\xbf.txt", "utfA" + bad + bad + bad + bad}, // overlong
        {"utfB\xf4\x90\x80\x80.txt", "utfB" + bad + bad + bad + bad}, // past U+10FFFF
        {"utfC\xf5\x80\x80\x80.txt", "utfC" + bad + bad + bad + bad}, // past U+10FFFF
        {"utfD\xc2\x7f.txt", "utfD" + bad + "\x7f"},                  // a continuation too low
        {"utfE\xc2\xc0.txt", "utfE" + bad + bad},                     // a continuation too high
        {"{braces}[brackets].txt", "{braces}[brackets]"},
        {"中文文件名.txt", "中文文件名"},
    };
    TempDir dir;
    for (std::size_t i = 0; i < table.size(); ++i) {
        writeFile(dir.path / table[i].file,
                  "contents of " + table[i].file + std::string(1, '\0') + std::to_string(i));
    }
    const Running server(serving(dir.path));
    const Page page = fetchPage(server.port(), server.rootTarget());
    expectSafeStrings(page.data);
    EXPECT_EQ(page.reply.body.find("<b>&amp;"), npos) << "a name shown as markup";
    EXPECT_NE(page.reply.body.find("&lt;b&gt;&amp;amp;&lt;i&gt;.txt"), npos);
    ASSERT_EQ(page.entries.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Row& row = table[i];
        SCOPED_TRACE(row.shown);
        EXPECT_EQ(unescape(field(page.entries[i], "name")), row.shown);
        EXPECT_EQ(field(page.entries[i], "id"), server.idOf(row.file));
        const Reply download = get(server.port(), targetOf(field(page.entries[i], "download")));
        EXPECT_TRUE(download.body == "contents of " + row.file + std::string(1, '\0') + std::to_string(i));
        const std::string disposition = download.header("content-disposition");
        EXPECT_TRUE(std::all_of(disposition.begin(), disposition.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        })) << disposition;
    }
}

TEST_F(StandinPage, FolderPagesGiveBackTheFolderName) {
    // The served folder's own name, and a folder inside it of the same name;
    // each name as the title and heading write it.
    for (const auto& [name, html] : std::vector<std::pair<std::string, std::string>>{
             {"<i>a&amp;b {x};", "&lt;i&gt;a&amp;amp;b &#123;x&#125;;"},
             {"文件 say \"hi\" & 'bye'", "文件 say &quot;hi&quot; &amp; &#39;bye&#39;"}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path root = dir.path / name;
        makeDir(root / name);
        writeFile(root / name / "inner.txt", "inner\n");
        const Running server(serving(root));
        const Page rootPage = fetchPage(server.port(), server.rootTarget());
        ASSERT_EQ(rootPage.entries.size(), 1u);
        EXPECT_EQ(unescape(field(rootPage.entries[0], "name")), name);
        const Page inner = fetchPage(server.port(), "/?cid=" + server.server.folder().cid() +
                                                        "&id=" + field(rootPage.entries[0], "id"));
        ASSERT_EQ(inner.entries.size(), 1u);
        for (const Page* page : {&rootPage, &inner}) {
            EXPECT_NE(page->reply.body.find("<title>" + html + " - shared folder</title>"), npos);
            EXPECT_NE(page->reply.body.find("<h1>" + html + "</h1>"), npos);
            EXPECT_EQ(unescape(field(page->data, "name")), name);
            expectSafeStrings(page->data);
            EXPECT_EQ(page->reply.body.find(name), npos) << "the name stands raw";
        }
    }
}

TEST_F(StandinPage, LargeFolderPageIsBuiltInOnePiece) {
    TempDir dir;
    const SharedFolder share(dir.path);
    const std::optional<Node> root = share.resolve(share.rootId());
    ASSERT_TRUE(root);
    constexpr std::size_t count = 100000;
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].name = "document-" + std::to_string(1000000 + i) + ".pdf";
        entries[i].size = i * 977;
    }
    const std::string page = folderPage(share, *root, entries, "http://127.0.0.1:8765");
    EXPECT_LT(page.capacity(), 2 * page.size()); // one reservation close to its size
    EXPECT_EQ(cutEntries(primedData(page).value_or("")).size(), count);
}

long residentKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Unread answers share one copy of a page; a change shows on the next request, old copies go on whole.
TEST_F(StandinPage, UnreadPagesShareOneCopyAndNewRequestsSeeChanges) {
    TempDir dir;
    // Few files with long names make a large page quickly.
    for (int i = 0; i < 1000; ++i) {
        writeFile(dir.path / (std::to_string(1000 + i) + std::string(200, 'n') + ".txt"), "");
    }
    writeFile(dir.path / "a.txt", "hello\n");
    const Program program("--port 0 " + dir.path.string());
    const std::string request = "GET " + targetOf(program.address) +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(program.port) +
                                "\r\nConnection: close\r\n\r\n";
    // One page read whole first: what the program holds anyway.
    const std::string first = oneReply(program.port, request).body;
    ASSERT_GT(first.size(), 2'000'000u);
    EXPECT_EQ(oneReply(program.port, request).body, first) << "the same listing, the same page";
    const long before = residentKiB(program.pid);

    // Each has begun to receive its page once its socket is readable.
    std::vector<int> unread;
    for (int i = 0; i < 16; ++i) {
        unread.push_back(connectTo(program.port, "127.0.0.1", 4096));
        sendAll(unread.back(), request);
        pollfd p{unread.back(), POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 30000), 1);
    }
    const long after = residentKiB(program.pid);
    EXPECT_LT(static_cast<double>(after - before) * 1024.0, 2.0 * static_cast<double>(first.size()))
        << "resident " << before << " KiB before, " << after << " KiB with 16 unread pages";

    writeFile(dir.path / "b.txt", "b");
    EXPECT_NE(oneReply(program.port, request).body.find("{\"name\":\"b\",\"extension\":\".txt\""), npos);
    writeFile(dir.path / "a.txt", "hello, grown\n");
    EXPECT_NE(oneReply(program.port, request).body.find("\"itemType\":\"file\",\"size\":13,"), npos);

    const std::vector<Reply> old = splitReplies(readAll(unread[0]));
    ASSERT_EQ(old.size(), 1u);
    EXPECT_TRUE(old[0].body == first) << "an unread page sent whole as it was";
    for (const int fd : unread) {
        ::close(fd);
    }
}

} // namespace
