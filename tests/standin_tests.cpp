// zandorel-share: pages, files, ranges and refusals, checked over real HTTP
// against servers started in-process on free loopback ports, plus the
// program's own command line. Pages are read the way Zandorel's reader reads
// them: plain cutting by position and nesting, without understanding escapes.

#include "sharetext.h"
#include "standin.h"
#include "standin_support.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace zandorel::standin;

namespace {

constexpr std::size_t npos = std::string::npos;

using zandorel::standin::test::TempDir;

// Modes are set explicitly: whatever the umask, "others may read" decides
// what is shared.
void writeFile(const fs::path& path, std::string_view bytes, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

void makeDir(const fs::path& path, mode_t mode = 0755) {
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

// HTTP, written and read byte for byte; every request asks the server to close.

struct Reply {
    int status = 0;
    std::string head;
    std::string body;

    std::string header(std::string_view name) const {
        const std::string key = "\r\n" + lower(name) + ":";
        const std::size_t at = lower(head).find(key);
        if (at == npos) {
            return {};
        }
        const std::size_t from = head.find_first_not_of(' ', at + key.size());
        return head.substr(from, head.find("\r\n", from) - from);
    }
};

// A connection to the server on 127.0.0.1, made from `source` (any address
// of 127.0.0.0/8 stands for another client).
int connectTo(int port, const char* source = "127.0.0.1") {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in from{AF_INET, 0, {}, {}};
    ::inet_pton(AF_INET, source, &from.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
    const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

std::string readAll(int fd) {
    std::string raw;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    return raw;
}

// The replies in `raw`, one a request; a reply to HEAD has no body.
std::vector<Reply> splitReplies(std::string_view raw, const std::vector<bool>& toHead) {
    std::vector<Reply> replies;
    for (const bool head : toHead) {
        const std::size_t end = raw.find("\r\n\r\n");
        if (raw.size() < 12 || end == npos) {
            ADD_FAILURE() << "reply " << replies.size() + 1 << " missing";
            break;
        }
        Reply reply{std::atoi(std::string(raw.substr(9, 3)).c_str()), std::string(raw.substr(0, end)), {}};
        const std::size_t length = head ? 0 : std::stoul("0" + reply.header("content-length"));
        reply.body = raw.substr(end + 4, length);
        raw.remove_prefix(std::min(raw.size(), end + 4 + length));
        replies.push_back(std::move(reply));
    }
    EXPECT_TRUE(raw.empty()) << "more than was asked: " << raw.substr(0, 100);
    return replies;
}

Reply roundTrip(int port, std::string_view request) {
    const int fd = connectTo(port);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const std::string raw = readAll(fd);
    ::close(fd);
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.size() < 12 || end == npos) {
        ADD_FAILURE() << "no complete response to: " << request.substr(0, 200);
        return {};
    }
    return {std::atoi(raw.c_str() + 9), raw.substr(0, end), raw.substr(end + 4)};
}

Reply get(int port, const std::string& target, const std::string& method = "GET",
          const std::string& extraHeaders = {}) {
    return roundTrip(port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                               "\r\nConnection: close\r\n" + extraHeaders + "\r\n");
}

// True when the server closes `fd` within `ms` milliseconds: it becomes
// readable and reads as ended or reset.
bool closedWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) {
        return false;
    }
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// The path and query of an absolute address published by the server.
std::string targetOf(const std::string& address) {
    return address.substr(address.find('/', address.find("//") + 2));
}

// The page as Zandorel's reader cuts it.

// First match of `var primedResponse={(.*?)};`, letter case ignored, '.' not
// crossing a line feed.
std::optional<std::string> primedData(std::string_view page) {
    const std::string folded = lower(page);
    constexpr std::string_view lead = "var primedresponse={";
    for (std::size_t at = folded.find(lead); at != npos; at = folded.find(lead, at + 1)) {
        const std::size_t start = at + lead.size();
        const std::size_t end = page.find("};", start);
        if (end != npos && end < page.find('\n', start)) {
            return std::string(page.substr(start, end - start));
        }
    }
    return std::nullopt;
}

// The text from `at`, which holds `open`, to its matching `close`, nesting
// counted without regard to quotes.
std::optional<std::string_view> balanced(std::string_view text, std::size_t at, char open, char close) {
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == open) {
            ++depth;
        } else if (text[i] == close && --depth == 0) {
            return text.substr(at, i - at + 1);
        }
    }
    return std::nullopt;
}

// The objects of the first "children" list.
std::vector<std::string> cutEntries(std::string_view data) {
    std::vector<std::string> entries;
    const std::size_t children = data.find("\"children\":[");
    const auto list = children == npos ? std::nullopt : balanced(data, children + 11, '[', ']');
    if (!list) {
        ADD_FAILURE() << "no closed children list";
        return entries;
    }
    for (std::size_t open = list->find('{'); open != npos; open = list->find('{', open)) {
        const auto object = balanced(*list, open, '{', '}');
        if (!object) {
            break;
        }
        entries.emplace_back(*object);
        open += object->size();
    }
    return entries;
}

// The first value of `"key":` as the reader takes it: a string up to the next
// quote, without its quotes and with its escapes kept; anything else up to the
// next comma or brace.
std::string field(std::string_view object, std::string_view key) {
    const std::string lead = "\"" + std::string(key) + "\":";
    const std::size_t at = object.find(lead);
    if (at == npos) {
        return "<no " + std::string(key) + ">";
    }
    const std::size_t v = at + lead.size();
    if (object[v] == '"') {
        return std::string(object.substr(v + 1, object.find('"', v + 1) - v - 1));
    }
    return std::string(object.substr(v, object.find_first_of(",}", v) - v));
}

// The keys appear in this order.
void expectKeys(std::string_view object, const std::vector<std::string>& keys) {
    std::size_t at = 0;
    for (const std::string& key : keys) {
        at = object.find("\"" + key + "\":", at);
        ASSERT_NE(at, npos) << key << " missing or out of order in " << object.substr(0, 200);
    }
}

// A cut string with its \uXXXX escapes (the only ones written) decoded.
std::string unescape(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out += raw[i];
            continue;
        }
        const auto c = static_cast<unsigned>(std::stoul(std::string(raw.substr(i + 2, 4)), nullptr, 16));
        i += 5;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xc0 | c >> 6), static_cast<char>(0x80 | (c & 0x3f))};
        } else {
            out += {static_cast<char>(0xe0 | c >> 12), static_cast<char>(0x80 | ((c >> 6) & 0x3f)),
                    static_cast<char>(0x80 | (c & 0x3f))};
        }
    }
    return out;
}

// The text of the first <tag> element, read as a browser reads it: markup
// inside dropped, character references decoded.
std::string elementText(std::string_view page, std::string_view tag) {
    const std::string open = "<" + std::string(tag) + ">";
    const std::size_t from = page.find(open);
    const std::size_t to = page.find("</" + std::string(tag) + ">", from);
    if (from == npos || to == npos) {
        return "<no " + std::string(tag) + ">";
    }
    const std::string_view html = page.substr(from + open.size(), to - from - open.size());
    std::string out;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {
            i = std::min(html.find('>', i), html.size());
        } else if (html[i] != '&') {
            out += html[i];
        } else {
            const std::size_t end = html.find(';', i);
            const std::string_view ref = html.substr(i + 1, end - i - 1);
            static const std::vector<std::pair<std::string_view, char>> named{
                {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
            const auto it =
                std::find_if(named.begin(), named.end(), [&](const auto& n) { return n.first == ref; });
            if (it != named.end()) {
                out += it->second;
            } else if (ref.starts_with('#')) {
                out += static_cast<char>(std::stoul(std::string(ref.substr(1)))); // ASCII only here
            } else {
                out += "<bad reference>";
            }
            i = end;
        }
    }
    return out;
}

// The data is compact, and its strings hold nothing that would derail the
// cutting or end the script: the only backslashes start \uXXXX escapes.
void expectSafeStrings(std::string_view data) {
    EXPECT_EQ(data.find("\xe2\x80\xa8"), npos) << "raw line separator";
    bool inString = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == '"') {
            inString = !inString;
        } else if (!inString) {
            ASSERT_EQ(std::string_view(" \t\r\n").find(static_cast<char>(c)), npos) << "space at " << i;
        } else {
            ASSERT_EQ(std::string_view("{}[];<>&").find(static_cast<char>(c)), npos)
                << "raw '" << c << "' in a string: " << data.substr(i - 20, 40);
            ASSERT_GE(c, 0x20) << "control character in a string at " << i;
            if (c == '\\') {
                ASSERT_EQ(data.substr(i + 1, 1), "u") << data.substr(i, 8);
                ASSERT_EQ(data.substr(i + 2, 4).find_first_not_of("0123456789abcdef"), npos);
            }
        }
    }
    ASSERT_FALSE(inString);
}

struct Page {
    Reply reply;
    std::string data; // the statement's text between its braces
    std::vector<std::string> entries;
};

Page fetchPage(int port, const std::string& target) {
    Page page{get(port, target), {}, {}};
    EXPECT_EQ(page.reply.status, 200) << target;
    page.data = primedData(page.reply.body).value_or("");
    page.entries = cutEntries(page.data);
    return page;
}

struct Running {
    // On any free port of 127.0.0.1.
    explicit Running(ServerOptions options) : server((options.port = 0, options)) {
        EXPECT_TRUE(server.bind());
        thread = std::thread([this] { server.run(); });
    }
    ~Running() {
        server.stop();
        thread.join();
    }
    int port() const { return server.port(); }
    std::string rootTarget() const { return targetOf(server.rootAddress()); }
    ShareServer server;
    std::thread thread;
};

constexpr std::string_view kSecret = "TOP SECRET outside the share\n";
const std::string kDangerous = "a\"b{c}[d];<e>.txt";
const std::string kImitation = "var primedResponse={\"children\":[{}]};.txt";
const std::string kBreaks = "line\nbreak\xe2\x80\xa8sep\xc2\x85.txt";

// Varied bytes over several of the server's 64 KiB reads, in a pattern that
// does not repeat at their bounds.
std::string bigFile() {
    std::string bytes(3 * 65536 + 123, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7919 % 251);
    }
    return bytes;
}

// One served folder for the suite: share/ is served, outside/ lies next to it.
class StandinServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        const fs::path share = dir_->path / "share";
        const fs::path outside = dir_->path / "outside";
        makeDir(share);
        makeDir(outside);
        writeFile(outside / "secret.txt", kSecret);
        fs::create_symlink("../share/readme.txt", outside / "back-in.txt");

        writeFile(share / "readme.txt", "A shared folder for tests.\n");
        writeFile(share / "会议纪要.txt", "会议纪要：下周一上午十点开会。\n");
        writeFile(share / kDangerous, "dangerous name\n");
        writeFile(share / kImitation, "imitation\n");
        writeFile(share / kBreaks, "breaks\n");
        writeFile(share / "noext", "");
        writeFile(share / "big.bin", bigFile());
        writeFile(share / "private-notes.txt", "private\n", 0640);
        writeFile(share / "bad\xff.txt", "not UTF-8\n");
        makeDir(share / "图片");
        writeFile(share / "图片" / "photo.png", "\x89PNG\r\n\x1a\nnot a real image");
        writeFile(share / "图片" / "说明.txt", "图片说明\n");
        fs::create_symlink("../../outside", share / "图片" / "up");
        makeDir(share / "private-dir", 0750);
        writeFile(share / "private-dir" / "inner.txt", "inside a private folder\n");
        fs::create_symlink("readme.txt", share / "inside-link.txt");
        fs::create_symlink("图片", share / "inside-dir-link");
        fs::create_symlink("../outside/secret.txt", share / "outside-file-link.txt");
        fs::create_symlink(outside, share / "outside-dir-link");

        ServerOptions options;
        options.folder = share;
        server_ = std::make_unique<Running>(options);
        root_ = std::make_unique<Page>(fetchPage(port(), server_->rootTarget()));
    }
    static void TearDownTestSuite() {
        root_.reset();
        server_.reset();
        dir_.reset();
    }

    static int port() { return server_->port(); }
    static const std::string& cid() { return server_->server.folder().cid(); }
    static std::string idOf(std::string_view relative) { return cid() + "!" + hexEncode(relative); }
    static const Page& root() { return *root_; }

    // A refusal: the status, an HTML page, and none of the data.
    static void expectRefused(const std::string& target, int status = 404) {
        const Reply reply = get(port(), target);
        EXPECT_EQ(reply.status, status) << target;
        EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8") << target;
        EXPECT_EQ(lower(reply.body).find("primedresponse"), npos) << target;
        EXPECT_EQ(reply.body.find(kSecret), npos) << target;
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<Running> server_;
    static inline std::unique_ptr<Page> root_;
};

TEST_F(StandinServer, RootPageHoldsOneCompactStatementOnItsOwnLine) {
    const Reply& reply = root().reply;
    EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8");
    // A line of its own, and the first match though a file name imitates it.
    const std::size_t at = reply.body.find("\nvar primedResponse={");
    ASSERT_NE(at, npos);
    EXPECT_EQ(reply.body.substr(at + 1, reply.body.find('\n', at + 1) - at - 1),
              "var primedResponse={" + root().data + "};");
    EXPECT_LT(at, reply.body.find("<title>"));
    EXPECT_EQ(reply.body.find("[d];<"), npos) << "a name shown as markup";

    const std::string& data = root().data;
    expectKeys(data, {"id", "name", "cid", "itemType", "children", "totalCount", "parentId"});
    EXPECT_TRUE(data.starts_with("\"id\":\"" + cid() + "!root\",\"name\":\"share\","));
    EXPECT_TRUE(data.ends_with(",\"parentId\":\"\"")) << data.substr(data.size() - 40);
    EXPECT_EQ(field(data, "totalCount"), std::to_string(root().entries.size()));
    // The first "children":[ is the folder's own list.
    EXPECT_LT(data.find("\"children\":["), data.find("{"));
    expectSafeStrings(data);

    EXPECT_NE(data.find("\"download\":\"http://127.0.0.1:" + std::to_string(port()) + "/download?id="), npos);
}

TEST_F(StandinServer, CuttingGivesOneObjectPerEntryWithItsName) {
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

TEST_F(StandinServer, ChineseNamesAndSubFolderPages) {
    // Raw UTF-8 in the data, not escaped, so that the reader sees them as they are.
    EXPECT_NE(root().data.find("\"name\":\"会议纪要\",\"extension\":\".txt\""), npos);
    EXPECT_NE(root().data.find("\"name\":\"图片\",\"extension\":\"\""), npos);

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

TEST_F(StandinServer, DownloadsAnswerTheExactBytes) {
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

TEST_F(StandinServer, PrivateItemsAreRefused) {
    const std::vector<std::string> targets{
        "/download?id=" + idOf("private-notes.txt"),
        "/view?id=" + idOf("private-notes.txt"),
        "/thumbnail/96?id=" + idOf("private-notes.txt"),
        // The file itself may be read by others; the folder around it may not.
        "/download?id=" + idOf("private-dir/inner.txt"),
        "/?cid=" + cid() + "&id=" + idOf("private-dir"),
    };
    for (const std::string& target : targets) {
        expectRefused(target, 403);
    }
}

TEST_F(StandinServer, UnknownIdsAndCidsAnswer404WithoutData) {
    const std::string c = cid();
    const std::vector<std::string> targets{
        "/?cid=" + c + "&id=" + idOf("no-such-file.txt"), "/?cid=0123456789abcdef&id=" + c + "!root",
        "/?cid=" + c + "&id=0123456789abcdef!root", "/?cid=" + c + "&id=" + c + "!root&id=" + idOf("图片"),
        "/download?id=" + idOf("readme.txt") + "&cid=0123456789abcdef",
        "/download?id=" + c + "!" + hexEncode("readme.txt").substr(1),
        "/download?id=" + c + "!7G" + hexEncode("readme.txt").substr(2),
        "/download?id=" + c + "!726561646D652E747874", // readme.txt in upper-case hex
        // Read with one character past the hex digits, these would name
        // shared files: "6g" as 0x70 'p', "6`" as 0x69 'i'.
        "/download?id=" + c + "!" + hexEncode("图片/") + "6g" + hexEncode("hoto.png"),
        "/download?id=" + c + "!6`" + hexEncode("nside-link.txt"), "/view?id=", "/readme.txt",
        "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest", // not configured
    };
    for (const std::string& target : targets) {
        expectRefused(target);
    }
}

TEST_F(StandinServer, NothingOutsideTheFolderIsReached) {
    const std::string c = cid();
    const std::string secret = (dir_->path / "outside" / "secret.txt").string();
    const std::vector<std::string> ids{
        // hex-decoded paths that try to leave
        idOf("../outside/secret.txt"),
        idOf("inside-dir-link/../../outside/secret.txt"),
        idOf(secret),
        idOf(".."),
        idOf(std::string("readme.txt\0.png", 15)),
        // links leading outside, and a way back in through one
        idOf("outside-file-link.txt"),
        idOf("outside-dir-link"),
        idOf("outside-dir-link/back-in.txt"),
        idOf("图片/up/secret.txt"),
        // paths in place of ids, plain and encoded
        c + "!../outside/secret.txt",
        c + "!%2e%2e%2f%2e%2e%2foutside%2fsecret.txt",
        c + "!" + hexEncode("readme.txt") + "%00",
        secret,
        "%2fetc%2fpasswd",
    };
    for (const std::string& id : ids) {
        for (const char* route : {"/download?id=", "/view?id=", "/thumbnail/96?id="}) {
            expectRefused(route + id);
        }
        expectRefused("/?cid=" + c + "&id=" + id);
    }
    for (const char* target :
         {"/../outside/secret.txt", "/%2e%2e/outside/secret.txt", "/view%2f..%2f..%2foutside%2fsecret.txt"}) {
        expectRefused(target);
    }
    // The links that stay inside work.
    EXPECT_EQ(get(port(), "/download?id=" + idOf("inside-dir-link/说明.txt")).body, "图片说明\n");
}

TEST_F(StandinServer, RequestsAreBounded) {
    // A body over the limit is refused from its announced length alone.
    const std::string root = server_->rootTarget();
    const std::string tooLong = "Content-Length: " + std::to_string(kMaxRequestBody + 1) + "\r\n";
    EXPECT_EQ(get(port(), root, "GET", tooLong).status, 413);
    EXPECT_EQ(get(port(), root, "GET", "Transfer-Encoding: chunked\r\n").status, 413);
    EXPECT_EQ(get(port(), root, "POST", "Content-Length: 0\r\n").status, 405);

    // A head that never ends: the server stops reading and closes long
    // before the 16 MiB are through, and goes on serving.
    const int fd = connectTo(port());
    const std::string chunk = "GET /" + std::string(65536, 'a');
    std::size_t sent = 0;
    for (ssize_t n;
         sent < 16 * 1024 * 1024 && (n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL)) > 0;) {
        sent += static_cast<std::size_t>(n);
    }
    EXPECT_LT(sent, 16u * 1024 * 1024);
    ::close(fd);
    EXPECT_EQ(get(port(), root).status, 200);
}

TEST_F(StandinServer, PipelinedRequestsAreAnsweredInOrder) {
    // Five requests in one write, the last closing: five replies, in order,
    // the one to HEAD without a body.
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n";
    const std::string big = bigFile();
    const std::string requests = "GET " + server_->rootTarget() + " HTTP/1.1\r\n" + host + "\r\n" +
                                 "HEAD /download?id=" + idOf("readme.txt") + " HTTP/1.1\r\n" + host + "\r\n" +
                                 "GET /download?id=" + idOf("big.bin") + " HTTP/1.1\r\n" + host +
                                 "Range: bytes=65530-131080\r\n\r\n" + "GET /nothing HTTP/1.1\r\n" + host +
                                 "\r\n" + "GET /icons/file.svg HTTP/1.1\r\n" + host +
                                 "Connection: close\r\n\r\n";
    const int fd = connectTo(port());
    ASSERT_EQ(::send(fd, requests.data(), requests.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(requests.size()));
    const std::vector<Reply> replies = splitReplies(readAll(fd), {false, true, false, false, false});
    ::close(fd);
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[0].status, 200);
    EXPECT_EQ(replies[0].body, root().reply.body);
    EXPECT_EQ(replies[1].status, 200);
    EXPECT_EQ(replies[1].header("content-length"), "27");
    EXPECT_EQ(replies[2].status, 206);
    EXPECT_TRUE(replies[2].body == big.substr(65530, 65551));
    EXPECT_EQ(replies[3].status, 404);
    EXPECT_EQ(replies[4].status, 200);
    EXPECT_TRUE(replies[4].body.starts_with("<svg"));
}

TEST_F(StandinServer, HeadAnswersAsGetAndOtherMethodsGet405) {
    for (const std::string& target : std::vector<std::string>{
             server_->rootTarget(), "/download?id=" + idOf("big.bin"), "/view?id=" + idOf("会议纪要.txt"),
             "/download?id=" + idOf("private-notes.txt"), "/nothing"}) {
        SCOPED_TRACE(target);
        const Reply full = get(port(), target);
        const Reply head = get(port(), target, "HEAD");
        EXPECT_EQ(head.status, full.status);
        EXPECT_EQ(head.body, "");
        EXPECT_EQ(head.header("content-length"), std::to_string(full.body.size()));
        EXPECT_EQ(head.header("content-type"), full.header("content-type"));
        EXPECT_EQ(head.header("content-disposition"), full.header("content-disposition"));
    }
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH", "TRACE", "BREW"}) {
        const Reply reply = get(port(), server_->rootTarget(), method, "Content-Length: 0\r\n");
        EXPECT_EQ(reply.status, 405) << method;
        EXPECT_EQ(reply.header("allow"), "GET, HEAD") << method;
    }
}

TEST(StandinRanges, OneRangeClampedRefusedOrIgnored) {
    TempDir dir;
    writeFile(dir.path / "six.txt", "abcdef");
    writeFile(dir.path / "empty.txt", "");
    ServerOptions options;
    options.folder = dir.path;
    const Running server(options);
    const std::string cid = server.server.folder().cid();
    struct Row {
        std::string file, range;
        int status;
        std::string body, contentRange;
    };
    const std::vector<Row> table{
        {"six.txt", "bytes=0-1", 206, "ab", "bytes 0-1/6"},
        {"six.txt", "bytes=2-", 206, "cdef", "bytes 2-5/6"},
        {"six.txt", "bytes=5-5", 206, "f", "bytes 5-5/6"},
        {"six.txt", "bytes=5-", 206, "f", "bytes 5-5/6"},       // the last byte on
        {"six.txt", "bytes=0-5", 206, "abcdef", "bytes 0-5/6"}, // to the last byte
        {"six.txt", "bytes=0-6", 206, "abcdef", "bytes 0-5/6"}, // one past it
        {"six.txt", "bytes=2-2", 206, "c", "bytes 2-2/6"},
        {"six.txt", "bytes=0-9", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=-1", 206, "f", "bytes 5-5/6"},
        {"six.txt", "bytes=-5", 206, "bcdef", "bytes 1-5/6"},
        {"six.txt", "bytes=-6", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=-7", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=-2", 206, "ef", "bytes 4-5/6"},
        {"six.txt", "bytes=-10", 206, "abcdef", "bytes 0-5/6"},
        {"six.txt", "bytes=0-1000", 206, "abcdef", "bytes 0-5/6"}, // the end clamped
        {"six.txt", "bytes=3-99999999999999999999999", 206, "def", "bytes 3-5/6"},
        {"six.txt", "BYTES=1-1", 206, "b", "bytes 1-1/6"},
        {"six.txt", "bytes= 1-2 , ", 206, "bc", "bytes 1-2/6"}, // an empty list element
        {"six.txt", "bytes=100-200", 416, "", "bytes */6"},
        {"six.txt", "bytes=6-", 416, "", "bytes */6"},
        {"six.txt", "bytes=6-6", 416, "", "bytes */6"},
        {"six.txt", "bytes=9-", 416, "", "bytes */6"},
        {"six.txt", "bytes=-0", 416, "", "bytes */6"},
        {"six.txt", "bytes=18446744073709551615-", 416, "", "bytes */6"},
        {"six.txt", "bytes=99999999999999999999999-", 416, "", "bytes */6"},
        // Several ranges, nonsense and other units: the whole file.
        {"six.txt", "bytes=0-0,2-2", 200, "abcdef", ""},
        {"six.txt", "bytes=0-1,-1", 200, "abcdef", ""},
        {"six.txt", "bytes=3-1", 200, "abcdef", ""},
        {"six.txt", "bytes=3-2", 200, "abcdef", ""},
        {"six.txt", "bytes=1-:", 200, "abcdef", ""}, // the characters next to the digits
        {"six.txt", "bytes=/-1", 200, "abcdef", ""},
        {"six.txt", "bytes=-:", 200, "abcdef", ""},
        {"six.txt", "bytes=99999999999999999999-99999999999999999998", 200, "abcdef", ""},
        {"six.txt", "bytes=a-b", 200, "abcdef", ""},
        {"six.txt", "bytes=1", 200, "abcdef", ""},
        {"six.txt", "bytes=--1", 200, "abcdef", ""},
        {"six.txt", "items=0-1", 200, "abcdef", ""},
        {"six.txt", "bytes=", 200, "abcdef", ""},
        // An empty file has no part to send.
        {"empty.txt", "bytes=0-", 416, "", "bytes */0"},
        {"empty.txt", "bytes=0-0", 416, "", "bytes */0"},
        {"empty.txt", "bytes=-5", 200, "", ""},
        {"empty.txt", "bytes=-0", 416, "", "bytes */0"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.file + " " + row.range);
        const Reply reply = get(server.port(), "/download?id=" + cid + "!" + hexEncode(row.file), "GET",
                                "Range: " + row.range + "\r\n");
        EXPECT_EQ(reply.status, row.status);
        EXPECT_EQ(reply.header("content-range"), row.contentRange);
        EXPECT_EQ(reply.header("content-length"), std::to_string(reply.body.size()));
        if (row.status != 416) {
            EXPECT_EQ(reply.body, row.body);
            EXPECT_EQ(reply.header("accept-ranges"), "bytes");
        }
    }

    // If-Range: the part only while the file is the one the client knows;
    // HEAD ignores ranges.
    const std::string target = "/download?id=" + cid + "!" + hexEncode("six.txt");
    const Reply whole = get(server.port(), target);
    const std::string tag = whole.header("etag");
    ASSERT_FALSE(tag.empty());
    const std::string range = "Range: bytes=1-2\r\n";
    EXPECT_EQ(get(server.port(), target, "GET", range + "If-Range: " + tag + "\r\n").status, 206);
    EXPECT_EQ(get(server.port(), target, "GET", range + "If-Range: " + whole.header("last-modified") + "\r\n")
                  .status,
              206);
    EXPECT_EQ(get(server.port(), target, "GET", range + "If-Range: \"stale\"\r\n").body, "abcdef");
    const Reply head = get(server.port(), target, "HEAD", range);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("content-length"), "6");
}

TEST(StandinRanges, PartsOfALargeFileAreExact) {
    TempDir dir;
    const std::string big = bigFile();
    writeFile(dir.path / "big.bin", big);
    ServerOptions options;
    options.folder = dir.path;
    const Running server(options);
    const std::string target = "/download?id=" + server.server.folder().cid() + "!" + hexEncode("big.bin");
    for (const auto& [first, last] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, 65535}, {65535, 65536}, {100000, big.size() - 1}, {big.size() - 1, big.size() - 1}}) {
        const Reply reply =
            get(server.port(), target, "GET",
                "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n");
        EXPECT_EQ(reply.status, 206);
        EXPECT_TRUE(reply.body == big.substr(first, last - first + 1)) << first << "-" << last;
    }
}

TEST(StandinPublicUrl, ParsesWhatAPageCanCarry) {
    struct Row {
        std::string given, text, base, prefix;
    };
    const std::vector<Row> valid{
        {"http://127.0.0.1:8765/", "http://127.0.0.1:8765/", "http://127.0.0.1:8765", ""},
        {"HTTP://Files.Example:80", "http://files.example:80/", "http://files.example:80", ""},
        {"https://files.example/share", "https://files.example/share/", "https://files.example/share",
         "/share"},
        {"http://[::1]:9000/a%20b/", "http://[::1]:9000/a%20b/", "http://[::1]:9000/a%20b", "/a%20b"},
    };
    for (const Row& row : valid) {
        const std::optional<PublicUrl> url = PublicUrl::parse(row.given);
        ASSERT_TRUE(url) << row.given;
        EXPECT_EQ(url->text(), row.text);
        EXPECT_EQ(url->base(), row.base);
        EXPECT_EQ(url->pathPrefix(), row.prefix);
    }
    for (const char* bad :
         {"", "files.example", "ftp://files.example/", "http://", "http://:80/", "http://user@files.example/",
          "http://files.example:99999/", "http://files.example:/", "http://files.example/?q=1",
          "http://files.example/#top", "http://files example/", "http://files.example/a\"b",
          "http://files.example/<x>", "http://[::1/", "http://files.example/%zz", "http://文件.example/"}) {
        EXPECT_FALSE(PublicUrl::parse(bad)) << bad;
    }
    PublicUrl any = *PublicUrl::parse("http://files.example:0/");
    any.resolvePort(41234);
    EXPECT_EQ(any.text(), "http://files.example:41234/");
}

TEST(StandinHosts, PagesUseThePublicUrlAndOtherHostsAreRefused) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    makeDir(dir.path / "sub");
    ServerOptions options;
    options.folder = dir.path;
    options.publicUrl = "http://Files.Example:8000/share";
    const Running server(options);
    const int port = server.port();
    const std::string p = std::to_string(port);
    EXPECT_EQ(server.server.publicUrl(), "http://files.example:8000/share/");
    EXPECT_TRUE(server.server.rootAddress().starts_with("http://files.example:8000/share/?cid="));
    const std::string root = targetOf(server.server.rootAddress()).substr(6); // without "/share"
    const auto ask = [&](const std::string& head, const std::string& target) {
        return roundTrip(port, "GET " + target + " " + head + "Connection: close\r\n\r\n");
    };

    // The public host, any letter case, and on a loopback bind the loopback
    // names with the real port; HTTP/1.0 may leave the Host out.
    for (const std::string& host : std::vector<std::string>{
             "files.example:8000", "FILES.example:8000", "127.0.0.1:" + p, "localhost:" + p, "[::1]:" + p}) {
        SCOPED_TRACE(host);
        const Reply reply = ask("HTTP/1.1\r\nHost: " + host + "\r\n", root);
        ASSERT_EQ(reply.status, 200);
        const std::vector<std::string> entries = cutEntries(primedData(reply.body).value_or(""));
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_TRUE(
            field(entries[1], "download").starts_with("http://files.example:8000/share/download?id="));
        EXPECT_TRUE(field(entries[1], "url").starts_with("http://files.example:8000/share/icons/file.svg"));
        EXPECT_NE(reply.body.find("<a href=\"/share/view?id="), npos);
        EXPECT_NE(reply.body.find("<a href=\"/share/?cid="), npos);
    }
    EXPECT_EQ(ask("HTTP/1.0\r\n", root).status, 200);
    EXPECT_EQ(ask("HTTP/1.1\r\nHost: 127.0.0.1:" + p + "\r\n", "/").header("location"),
              targetOf(server.server.rootAddress()));

    // Anything else: 421 without the name echoed, 400 without one Host.
    for (const std::string& host :
         std::vector<std::string>{"evil.example", "files.example", "files.example:8001", "127.0.0.1",
                                  "127.0.0.2:" + p, "localhost.evil.example:" + p, "x\"};alert(1);//", ""}) {
        SCOPED_TRACE(host);
        const Reply reply = ask("HTTP/1.1\r\nHost: " + host + "\r\n", root);
        EXPECT_EQ(reply.status, 421);
        EXPECT_EQ(lower(reply.body).find("primedresponse"), npos);
        EXPECT_EQ(reply.body.find("evil"), npos);
        EXPECT_EQ(reply.body.find("alert"), npos);
    }
    EXPECT_EQ(ask("HTTP/1.1\r\n", root).status, 400);
    EXPECT_EQ(ask("HTTP/1.1\r\nHost: files.example:8000\r\nHost: evil.example\r\n", root).status, 400);
    EXPECT_EQ(ask("HTTP/1.0\r\nHost: evil.example\r\n", root).status, 421);
}

TEST(StandinHosts, AWildcardBindNamesTheMachine) {
    TempDir dir;
    ServerOptions options;
    options.folder = dir.path;
    options.bindAddress = "0.0.0.0";
    options.port = 0;
    ShareServer server(options);
    ASSERT_TRUE(server.bind());
    char name[256] = {};
    ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
    EXPECT_EQ(server.publicUrl(), "http://" + lower(name) + ":" + std::to_string(server.port()) + "/");
}

TEST(StandinSpecialFiles, OnlyRegularFilesAndFoldersAreListedOrOpened) {
    TempDir dir;
    const fs::path share = dir.path / "share";
    makeDir(share);
    writeFile(share / "regular.txt", "regular\n");
    ASSERT_EQ(::mkfifo((share / "pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((share / "pipe.png").c_str(), 0644), 0);
    fs::create_symlink("pipe.txt", share / "link-to-pipe.txt");
    fs::create_symlink("/dev/zero", share / "link-to-device");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = (share / "socket").string();
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // A device node of its own where the tests may make one (as root).
    ::mknod((share / "device").c_str(), S_IFCHR | 0644, makedev(1, 5));
    writeFile(dir.path / "version.xml", "<ver/>");
    ASSERT_EQ(::mkfifo((dir.path / "version-pipe").c_str(), 0644), 0);

    ServerOptions options;
    options.folder = share;
    options.versionInfo = dir.path / "version-pipe";
    const Running server(options);
    const std::string cid = server.server.folder().cid();
    // Answered at once (a blocked open would time the request out), and
    // nothing but the regular file listed.
    const Page page = fetchPage(server.port(), server.rootTarget());
    ASSERT_EQ(page.entries.size(), 1u);
    EXPECT_EQ(field(page.entries[0], "name"), "regular");
    for (const char* name :
         {"pipe.txt", "pipe.png", "link-to-pipe.txt", "link-to-device", "socket", "device"}) {
        SCOPED_TRACE(name);
        for (const std::string route : {"/download?id=", "/view?id=", "/thumbnail/96?id="}) {
            EXPECT_EQ(get(server.port(), route + cid + "!" + hexEncode(name)).status, 404) << route;
        }
        EXPECT_EQ(get(server.port(), "/?cid=" + cid + "&id=" + cid + "!" + hexEncode(name)).status, 404);
    }
    EXPECT_EQ(get(server.port(), "/tools/checkver/index.php").status, 404);
    EXPECT_EQ(get(server.port(), "/download?id=" + cid + "!" + hexEncode("regular.txt")).body, "regular\n");
    ::close(sock);

    // A FIFO swapped in between resolving and opening is refused without
    // waiting for a writer.
    const std::optional<Node> node = server.server.folder().resolve(cid + "!" + hexEncode("regular.txt"));
    ASSERT_TRUE(node);
    fs::remove(share / "regular.txt");
    ASSERT_EQ(::mkfifo((share / "regular.txt").c_str(), 0644), 0);
    auto opened = std::async(std::launch::async, [&] { return server.server.folder().openFile(*node); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO blocked";
        ::close(::open((share / "regular.txt").c_str(), O_WRONLY | O_NONBLOCK)); // release it
    }
    EXPECT_EQ(opened.get(), -1);
}

TEST(StandinHostileNames, ListedEscapedAndDownloadedByteForByte) {
    TempDir dir;
    struct Row {
        std::string file;  // bytes on disk
        std::string shown; // the name as the page shows it, escapes decoded
    };
    const auto fffd = [](int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            out += "\xef\xbf\xbd";
        }
        return out;
    };
    // Byte order, as listed.
    const std::vector<Row> table{
        {"%s(HOME).txt", "%s(HOME)"},
        {"<b>&amp;<i>.txt", "<b>&amp;<i>"},
        {"back\\slash.txt", "back\\slash"},
        {"bad\xff\xfe.txt", "bad\xef\xbf\xbd\xef\xbf\xbd"},
        {"end};.txt", "end};"},
        {"half\xe4\xb8.txt", "half\xef\xbf\xbd\xef\xbf\xbd"},
        {"it's \"quoted\".txt", "it's \"quoted\""},
        {"semi;colon.txt", "semi;colon"},
        // The ends of each UTF-8 length stay; the sequences just past them do not.
        {"utf1\xc2\x80.txt", "utf1\xc2\x80"},
        {"utf2\xdf\xbf.txt", "utf2\xdf\xbf"},
        {"utf3\xe0\xa0\x80.txt", "utf3\xe0\xa0\x80"},
        {"utf4\xed\x9f\xbf.txt", "utf4\xed\x9f\xbf"},
        {"utf5\xf0\x90\x80\x80.txt", "utf5\xf0\x90\x80\x80"},
        {"utf6\xf4\x8f\xbf\xbf.txt", "utf6\xf4\x8f\xbf\xbf"},
        {"utf7\xc1\xbf.txt", "utf7" + fffd(2)},          // overlong
        {"utf8\xe0\x9f\xbf.txt", "utf8" + fffd(3)},      // overlong
        {"utf9\xed\xa0\x80.txt", "utf9" + fffd(3)},      // a pair half
        {"utfA\xf0\x8f\xbf\xbf.txt", "utfA" + fffd(4)},  // overlong
        {"utfB\xf4\x90\x80\x80.txt", "utfB" + fffd(4)},  // past U+10FFFF
        {"utfC\xf5\x80\x80\x80.txt", "utfC" + fffd(4)},  // past U+10FFFF
        {"utfD\xc2\x7f.txt", "utfD" + fffd(1) + "\x7f"}, // a continuation too low
        {"utfE\xc2\xc0.txt", "utfE" + fffd(2)},          // a continuation too high
        {"{braces}[brackets].txt", "{braces}[brackets]"},
        {"中文文件名.txt", "中文文件名"},
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        writeFile(dir.path / table[i].file,
                  "contents of " + table[i].file + std::string(1, '\0') + std::to_string(i));
    }
    ServerOptions options;
    options.folder = dir.path;
    const Running server(options);
    const std::string cid = server.server.folder().cid();
    const Page page = fetchPage(server.port(), server.rootTarget());
    expectSafeStrings(page.data);
    EXPECT_EQ(page.reply.body.find("<b>&amp;"), npos) << "a name shown as markup";
    EXPECT_NE(page.reply.body.find("&lt;b&gt;&amp;amp;&lt;i&gt;.txt"), npos);
    ASSERT_EQ(page.entries.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Row& row = table[i];
        SCOPED_TRACE(row.shown);
        const std::string& entry = page.entries[i];
        EXPECT_EQ(unescape(field(entry, "name")), row.shown);
        EXPECT_EQ(field(entry, "id"), cid + "!" + hexEncode(row.file));
        const Reply download = get(server.port(), targetOf(field(entry, "download")));
        EXPECT_EQ(download.status, 200);
        EXPECT_TRUE(download.body == "contents of " + row.file + std::string(1, '\0') + std::to_string(i));
        const std::string disposition = download.header("content-disposition");
        EXPECT_TRUE(std::all_of(disposition.begin(), disposition.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        })) << disposition;
    }
}

TEST(StandinHostileNames, FolderPagesGiveBackTheFolderName) {
    // The served folder's own name, and a folder inside it of the same name.
    for (const std::string name :
         {"<i>x", "a&amp;b", "say \"hi\" & 'bye'", "<script>alert(1)<", "{x};<y>", "文件 <b>&"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path root = dir.path / name;
        makeDir(root);
        makeDir(root / name);
        writeFile(root / name / "inner.txt", "inner\n");
        ServerOptions options;
        options.folder = root;
        const Running server(options);
        const Page rootPage = fetchPage(server.port(), server.rootTarget());
        ASSERT_EQ(rootPage.entries.size(), 1u);
        const std::string& entry = rootPage.entries[0];
        EXPECT_EQ(unescape(field(entry, "name")), name);
        const Page inner =
            fetchPage(server.port(), "/?cid=" + server.server.folder().cid() + "&id=" + field(entry, "id"));
        ASSERT_EQ(inner.entries.size(), 1u);
        for (const Page* page : {&rootPage, &inner}) {
            const std::string& body = page->reply.body;
            EXPECT_EQ(elementText(body, "title"), name + " - shared folder");
            EXPECT_EQ(elementText(body, "h1"), name);
            EXPECT_EQ(unescape(field(page->data, "name")), name);
            expectSafeStrings(page->data);
            // Nowhere in the page does the name stand raw.
            EXPECT_EQ(body.find(name), npos);
        }
    }
}

TEST(StandinText, DisplaySizesAroundEachStep) {
    struct Row {
        std::uintmax_t bytes;
        std::string shown;
    };
    // Each step with the figures just below and above it: 1075 and 1076 bytes
    // are 1.0498 and 1.0508 KB, 1048524 and 1048525 bytes 1023.9492 and
    // 1023.9502 KB.
    const std::vector<Row> table{
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1075, "1.0 KB"},
        {1076, "1.1 KB"},
        {1048524, "1023.9 KB"},
        {1048525, "1.0 MB"},
        {1048576, "1.0 MB"},
        {std::numeric_limits<std::uintmax_t>::max(), "16.0 EB"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(displaySize(row.bytes), row.shown);
    }
}

// Many slow clients hold connections but no thread: a plain request is
// answered while they trickle, and the server closes them when their
// request heads are overdue.
TEST(StandinSlowClients, PlainRequestsPassWhileSlowAndIdleClientsWait) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    ServerOptions options;
    options.folder = dir.path;
    options.limits.requestTime = std::chrono::milliseconds(1000);
    const Running server(options);
    const int port = server.port();

    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(connectTo(port));
    }
    std::vector<std::thread> trickling;
    std::atomic<int> cutOff = 0;
    for (int i = 0; i < 12; ++i) {
        // Half trickle their head, half send a whole head and trickle the body.
        trickling.emplace_back([&, body = i % 2 == 1] {
            const int fd = connectTo(port);
            const std::string head = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                     (body ? "\r\nContent-Length: 1000\r\n\r\n" : "\r\nX-Slow: ");
            std::size_t at = 0;
            if (body) {
                at = head.size();
                ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
            }
            // One byte every 100 ms until the server closes, or 4 s at most.
            for (int sent = 0; sent < 40; ++sent, ++at) {
                const char byte = at < head.size() ? head[at] : 'x';
                if (::send(fd, &byte, 1, MSG_NOSIGNAL) != 1 || closedWithin(fd, 100)) {
                    ++cutOff;
                    break;
                }
            }
            ::close(fd);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(get(port, server.rootTarget()).status, 200) << "answered while they wait";
    // A head that arrives slowly but in time is served.
    const int slow = connectTo(port);
    const std::string request = "GET /icons/file.svg HTTP/1.1\r\nHost: localhost:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    for (std::size_t at = 0; at < request.size(); at += 20) {
        ::send(slow, request.data() + at, std::min<std::size_t>(20, request.size() - at), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(readAll(slow).starts_with("HTTP/1.1 200"));
    ::close(slow);

    for (std::thread& t : trickling) {
        t.join();
    }
    EXPECT_EQ(cutOff, 12) << "trickling clients closed by the request clock";
    int closed = 0;
    for (const int fd : idle) {
        closed += closedWithin(fd, 2000) ? 1 : 0;
        ::close(fd);
    }
    EXPECT_EQ(closed, 64) << "idle clients closed by the request clock";
    EXPECT_EQ(get(port, server.rootTarget()).status, 200) << "serves normally once they left";
}

TEST(StandinSlowClients, ConnectionsAreLimitedInAllAndPerAddress) {
    TempDir dir;
    ServerOptions options;
    options.folder = dir.path;
    options.limits.connections = 6;
    options.limits.perAddress = 3;
    options.limits.threads = 1;
    const Running server(options);
    const int port = server.port();

    // Three from one address are kept; a fourth from it is closed at once,
    // while another address is served.
    std::vector<int> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectTo(port, "127.0.0.2"));
    }
    const int fourth = connectTo(port, "127.0.0.2");
    EXPECT_TRUE(closedWithin(fourth, 2000));
    ::close(fourth);
    for (const int fd : held) {
        EXPECT_FALSE(closedWithin(fd, 0));
    }
    EXPECT_EQ(get(port, server.rootTarget()).status, 200);

    // Six in all: a seventh client, from an address holding none, is
    // served, and the oldest idle connection of an address holding the most
    // is closed to make room.
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectTo(port, "127.0.0.3"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int extra = connectTo(port, "127.0.0.4");
    const std::string request = "GET /icons/file.svg HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    ::send(extra, request.data(), request.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(readAll(extra).starts_with("HTTP/1.1 200"));
    ::close(extra);
    int closed = 0;
    for (const int fd : held) {
        closed += closedWithin(fd, 0) ? 1 : 0;
    }
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(closedWithin(held[0], 0) || closedWithin(held[3], 0)) << "the oldest of its address";
    for (const int fd : held) {
        ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(get(port, server.rootTarget()).status, 200);
}

TEST(StandinVersionInfo, ServedFreshWhenConfigured) {
    TempDir dir;
    const fs::path document = dir.path / "version.xml";
    writeFile(document, "<ver>1.0.3</ver>");
    ServerOptions options;
    options.folder = dir.path;
    options.versionInfo = document;
    const Running server(options);
    const std::string target = "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest";
    const Reply reply = get(server.port(), target);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("content-type"), "text/xml; charset=utf-8");
    EXPECT_EQ(reply.body, "<ver>1.0.3</ver>");
    writeFile(document, "<ver>2.0.0</ver>");
    EXPECT_EQ(get(server.port(), target).body, "<ver>2.0.0</ver>");
    fs::remove(document);
    EXPECT_EQ(get(server.port(), target).status, 404);
}

TEST(StandinScale, LargeFolderPageIsBuiltInOnePiece) {
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

// The program run through the shell, its output kept.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun runProgram(const std::string& args) {
    TempDir dir;
    const std::string out = (dir.path / "out").string();
    const std::string err = (dir.path / "err").string();
    const int status =
        std::system((std::string(ZANDOREL_SHARE) + " " + args + " >" + out + " 2>" + err).c_str());
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(out), read(err)};
}

// The program serving in the background until the end of the scope.
struct Serving {
    explicit Serving(const std::string& args) {
        // The shell writes its process id, which the program then takes over.
        out = ::popen(("echo $$; exec " + std::string(ZANDOREL_SHARE) + " " + args + " 2>/dev/null").c_str(),
                      "r");
        char pidLine[32] = {};
        char line[1024] = {};
        if (out == nullptr || !std::fgets(pidLine, sizeof pidLine, out) ||
            !std::fgets(line, sizeof line, out)) {
            ADD_FAILURE() << "did not start: " << args;
            return;
        }
        pid = std::atoi(pidLine);
        address.assign(line, std::strcspn(line, "\n"));
        port = std::atoi(address.c_str() + address.find(':', 7) + 1);
    }
    // The exit status after SIGTERM.
    int stop() {
        if (out == nullptr) {
            return -1;
        }
        if (pid > 0) {
            ::kill(pid, SIGTERM);
        }
        const int status = ::pclose(std::exchange(out, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Serving() { stop(); }
    FILE* out = nullptr;
    int pid = 0;
    std::string address;
    int port = 0;
};

TEST(StandinProgram, PrintsTheRootAddressFirstAndStopsCleanly) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    Serving serving("--port 0 " + dir.path.string());
    EXPECT_TRUE(serving.address.starts_with("http://127.0.0.1:")) << serving.address;
    EXPECT_TRUE(targetOf(serving.address).starts_with("/?cid=")) << serving.address;
    EXPECT_EQ(fetchPage(serving.port, targetOf(serving.address)).entries.size(), 1u);
    EXPECT_EQ(serving.stop(), 0);

    // A public URL with port 0 carries the port taken, in the first line and
    // in every page.
    Serving named("--port 0 --public-url http://share.example:0/files/ " + dir.path.string());
    const std::string base = "http://share.example:" + std::to_string(named.port) + "/files/";
    EXPECT_TRUE(named.address.starts_with(base + "?cid=")) << named.address;
    const Page page = fetchPage(named.port, targetOf(named.address).substr(6));
    ASSERT_EQ(page.entries.size(), 1u);
    EXPECT_TRUE(field(page.entries[0], "download").starts_with(base + "download?id="));

    // A folder whose name is not UTF-8 is served under its own bytes.
    const fs::path odd = dir.path / "odd\xff";
    makeDir(odd);
    writeFile(odd / "inner.txt", "inner\n");
    Serving oddServing("--port=0 -- '" + odd.string() + "'");
    EXPECT_NE(oddServing.address.find("cid=" + fnv1aHex("odd\xff")), npos) << oddServing.address;
    EXPECT_EQ(fetchPage(oddServing.port, targetOf(oddServing.address)).entries.size(), 1u);
}

TEST(StandinProgram, OptionsHelpVersionAndBadUsage) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    for (const char* args : {"--help", "-h", "--help --port 1"}) {
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 0) << args;
        EXPECT_TRUE(
            run.out.starts_with("usage: zandorel-share [--bind ADDRESS] [--port N] [--public-url URL]"));
        EXPECT_NE(run.out.find("--versioninfo FILE"), npos);
        EXPECT_EQ(run.err, "");
    }
    const ProgramRun version = runProgram("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zandorel-share " ZANDOREL_VERSION "\n");

    const std::string file = (dir.path / "readme.txt").string();
    const std::vector<std::pair<std::string, std::string>> usage{
        {"", "no FOLDER given"},
        {"--", "no FOLDER given"},
        {"--port 65536 .", "--port needs a number from 0 to 65535"},
        {"--port=-1 .", "--port needs a number from 0 to 65535"},
        {"--port=80x .", "--port needs a number from 0 to 65535"},
        {"--port", "--port needs a value"},
        {". --bind", "--bind needs a value"},
        {"--frobnicate .", "unknown option --frobnicate"},
        {"-x .", "unknown option -x"},
        {"--version=2", "unknown option --version"},
        {". .", "only one FOLDER can be served"},
        {"--bind= .", "--bind needs an address"},
        {"--versioninfo= .", "--versioninfo needs a file"},
        {"--public-url ftp://share.example/ .", "--public-url needs an address"},
        {"--public-url 'http://share.example/?a=1' .", "--public-url needs an address"},
    };
    for (const auto& [args, message] : usage) {
        SCOPED_TRACE(args);
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("zandorel-share: " + message)) << run.err;
        EXPECT_NE(run.err.find("\n\nusage: zandorel-share "), npos);
    }
    EXPECT_EQ(runProgram((dir.path / "missing").string()).status, 66);
    EXPECT_EQ(runProgram(file).status, 66);
    EXPECT_EQ(runProgram("-- --help").status, 66); // a folder named --help
}

} // namespace
