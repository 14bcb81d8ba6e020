// zandorel-share: pages, files and refusals, checked over real HTTP against a
// server started in-process on a free port, plus the program's own command
// line. Pages are read the way Zandorel's reader reads them: plain cutting by
// position and nesting, without understanding escapes.

#include "sharetext.h"
#include "standin.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace zandorel::standin;

namespace {

constexpr std::size_t npos = std::string::npos;

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zandorel-standin-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

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

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

Reply roundTrip(int port, std::string_view request) {
    const int fd = connectTo(port);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string raw;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        raw.append(buffer, static_cast<std::size_t>(n));
    }
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
    // On any free port.
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

    // A Host that is no plain host name is not echoed into the addresses.
    const Reply odd =
        roundTrip(port(), "GET " + server_->rootTarget() +
                              " HTTP/1.1\r\nHost: x\"};alert(1);//\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(odd.body.find("alert"), npos);
    EXPECT_NE(odd.body.find("\"download\":\"http://127.0.0.1:" + std::to_string(port()) + "/download?id="),
              npos);
}

TEST_F(StandinServer, CuttingGivesOneObjectPerEntryWithItsName) {
    struct Row {
        std::string fullName, name, extension, sharing;
    };
    // Folders first, then files, each in byte order; links leading outside
    // and names that are not UTF-8 left out.
    const std::vector<Row> table{
        {"inside-dir-link", "inside-dir-link", "", "0"},
        {"private-dir", "private-dir", "", "2"},
        {"图片", "图片", "", "0"},
        {kDangerous, "a\"b{c}[d];<e>", ".txt", "0"},
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
    EXPECT_EQ(field(root().entries[4], "size"), std::to_string(bigFile().size())); // big.bin
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
        "/?cid=" + c + "&id=" + idOf("no-such-file.txt"),
        "/?cid=0123456789abcdef&id=" + c + "!root",
        "/?cid=" + c + "&id=0123456789abcdef!root",
        "/?cid=" + c + "&id=" + c + "!root&id=" + idOf("图片"),
        "/download?id=" + idOf("readme.txt") + "&cid=0123456789abcdef",
        "/download?id=" + c + "!" + hexEncode("readme.txt").substr(1),
        "/download?id=" + c + "!7G" + hexEncode("readme.txt").substr(2),
        "/download?id=" + c + "!726561646D652E747874", // readme.txt in upper-case hex
        "/view?id=",
        "/readme.txt",
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
    EXPECT_EQ(get(port(), "/download?id=" + idOf("big.bin"), "GET", "Range: bytes=0-0,2-2\r\n").status, 416);

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

// The program's exit status, run through the shell with its output dropped.
int exitOf(const std::string& args) {
    const int status = std::system((std::string(ZANDOREL_SHARE) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StandinProgram, PrintsTheRootAddressFirstAndRefusesBadUsage) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    // The shell writes its process id, which the program then takes over.
    FILE* out = ::popen(
        ("echo $$; exec " + std::string(ZANDOREL_SHARE) + " --port 0 " + dir.path.string() + " 2>/dev/null")
            .c_str(),
        "r");
    ASSERT_NE(out, nullptr);
    char pid[32] = {};
    char line[512] = {};
    ASSERT_TRUE(std::fgets(pid, sizeof pid, out) && std::fgets(line, sizeof line, out));
    const std::string address(line, std::strcspn(line, "\n"));
    EXPECT_TRUE(address.starts_with("http://127.0.0.1:")) << address;
    EXPECT_TRUE(targetOf(address).starts_with("/?cid=")) << address;
    const int port = std::atoi(address.c_str() + address.find(':', 7) + 1);
    EXPECT_EQ(fetchPage(port, targetOf(address)).entries.size(), 1u);
    ::kill(std::atoi(pid), SIGTERM);
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    for (const auto& [args, code] : std::vector<std::pair<std::string, int>>{
             {"", 64},
             {"--port 65536 .", 64},
             {"--frobnicate .", 64},
             {". .", 64},
             {(dir.path / "missing").string(), 66},
             {(dir.path / "readme.txt").string(), 66},
         }) {
        EXPECT_EQ(exitOf(args), code) << args;
    }
}

} // namespace
