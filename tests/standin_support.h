#pragma once
// Stand-in test helpers: temp folders, raw HTTP on loopback, servers, pages cut as the reader cuts them.

#include "sharetext.h"
#include "standin.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zandorel::standin::test {

namespace fs = std::filesystem;
inline constexpr std::size_t npos = std::string::npos;

// A folder of its own under the temporary folder, removed with everything in it.
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

// Modes set explicitly: whatever the umask, "others may read" decides what is shared.
inline void writeFile(const fs::path& path, std::string_view bytes, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

inline void makeDir(const fs::path& path, mode_t mode = 0755) {
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

inline std::string lower(std::string_view view) {
    std::string text(view);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

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

// A connection to 127.0.0.1 from `source` (another 127.0.0.0/8 address stands for another client).
inline int connectTo(int port, const char* source = "127.0.0.1", int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in from{AF_INET, 0, {}, {}};
    ::inet_pton(AF_INET, source, &from.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
    const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

inline void sendAll(int fd, std::string_view bytes) {
    EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Everything until the server closes, or until nothing came for 5 s.
inline std::string readAll(int fd) {
    std::string raw;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    return raw;
}

// True when the server closes `fd` within `ms` milliseconds.
inline bool closedWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    char byte;
    return ::poll(&p, 1, ms) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// The replies in `raw` (those to HEAD by `toHead`, bodiless); one without a whole Content-Length body fails.
inline std::vector<Reply> splitReplies(std::string_view raw, const std::vector<bool>& toHead = {}) {
    std::vector<Reply> replies;
    while (!raw.empty()) {
        const std::size_t end = raw.find("\r\n\r\n");
        if (!raw.starts_with("HTTP/1.1 ") || end == npos) {
            ADD_FAILURE() << "not a reply: " << raw.substr(0, 120);
            break;
        }
        Reply reply{std::atoi(std::string(raw.substr(9, 3)).c_str()), std::string(raw.substr(0, end)), {}};
        const std::string length = reply.header("content-length");
        if (length.empty() || length.find_first_not_of("0123456789") != npos) {
            ADD_FAILURE() << "no Content-Length: " << reply.head;
            break;
        }
        const bool head = replies.size() < toHead.size() && toHead[replies.size()];
        const std::size_t size = head ? 0 : std::stoul(length);
        if (raw.size() < end + 4 + size) {
            ADD_FAILURE() << "body shorter than its Content-Length: " << reply.head;
            break;
        }
        reply.body = raw.substr(end + 4, size);
        raw.remove_prefix(end + 4 + size);
        replies.push_back(std::move(reply));
    }
    return replies;
}

// `request` on a connection of its own, answered by exactly one reply.
inline Reply oneReply(int port, std::string_view request, bool toHead = false) {
    const int fd = connectTo(port);
    sendAll(fd, request);
    const std::vector<Reply> replies = splitReplies(readAll(fd), {toHead});
    ::close(fd);
    if (replies.size() != 1) {
        ADD_FAILURE() << "not one reply to: " << request.substr(0, 200);
        return {};
    }
    return replies[0];
}

inline Reply get(int port, const std::string& target, const std::string& method = "GET",
                 const std::string& extraHeaders = {}) {
    return oneReply(port,
                    method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nConnection: close\r\n" + extraHeaders + "\r\n",
                    method == "HEAD");
}

// The path and query of an absolute address published by the server.
inline std::string targetOf(const std::string& address) {
    return address.substr(address.find('/', address.find("//") + 2));
}

// First match of `var primedResponse={(.*?)};`, case ignored, not crossing a line feed.
inline std::optional<std::string> primedData(std::string_view page) {
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

// From `at`, which holds `open`, to its matching `close`; quotes not regarded.
inline std::optional<std::string_view> balanced(std::string_view text, std::size_t at, char open,
                                                char close) {
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
inline std::vector<std::string> cutEntries(std::string_view data) {
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

// The first value of `"key":`: a string to the next quote (escapes kept), else to a comma or brace.
inline std::string field(std::string_view object, std::string_view key) {
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
inline void expectKeys(std::string_view object, const std::vector<std::string>& keys) {
    std::size_t at = 0;
    for (const std::string& key : keys) {
        at = object.find("\"" + key + "\":", at);
        ASSERT_NE(at, npos) << key << " missing or out of order in " << object.substr(0, 200);
    }
}

// A cut string with its \uXXXX escapes (the only ones written) decoded.
inline std::string unescape(std::string_view raw) {
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

// Compact data whose strings hold nothing that derails the cutting or ends the script; only \uXXXX escapes.
inline void expectSafeStrings(std::string_view data) {
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

inline Page fetchPage(int port, const std::string& target) {
    Page page{get(port, target), {}, {}};
    EXPECT_EQ(page.reply.status, 200) << target;
    page.data = primedData(page.reply.body).value_or("");
    page.entries = cutEntries(page.data);
    return page;
}

// A server in this process, on a free port of 127.0.0.1.
struct Running {
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
    std::string idOf(std::string_view relative) const {
        return server.folder().cid() + "!" + hexEncode(relative);
    }
    ShareServer server;
    std::thread thread;
};

inline ServerOptions serving(const fs::path& folder) {
    ServerOptions options;
    options.folder = folder;
    return options;
}

// zandorel-share serving until the end of the scope; its first line is read. Without ASan's
// quarantine and fake stacks, resident memory means what it does in an ordinary build.
struct Program {
    explicit Program(const std::string& args) {
        // The shell writes its process id, which the program then takes over.
        out = ::popen(("echo $$; ASAN_OPTIONS=\"$ASAN_OPTIONS:quarantine_size_mb=0:thread_local_quarantine_"
                       "size_kb=0:detect_stack_use_after_return=0\" exec " ZANDOREL_SHARE " " +
                       args + " 2>/dev/null")
                          .c_str(),
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
        ::kill(pid, SIGTERM);
        const int status = ::pclose(std::exchange(out, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Program() { stop(); }
    FILE* out = nullptr;
    int pid = 0;
    std::string address;
    int port = 0;
};

inline constexpr std::string_view kSecret = "TOP SECRET outside the share\n";
inline const std::string kDangerous = "a\"b{c}[d];<e>.txt";
inline const std::string kImitation = "var primedResponse={\"children\":[{}]};.txt";
inline const std::string kBreaks = "line\nbreak\xe2\x80\xa8sep\xc2\x85.txt";

// Bytes over several of the server's 64 KiB reads, not repeating at their bounds.
inline std::string bigFile() {
    std::string bytes(3 * 65536 + 123, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7919 % 251);
    }
    return bytes;
}

// One served folder for a suite of tests: share/ is served, outside/ lies next to it.
class SharedFolderSuite : public ::testing::Test {
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

        server_ = std::make_unique<Running>(serving(share));
        root_ = std::make_unique<Page>(fetchPage(port(), server_->rootTarget()));
    }
    static void TearDownTestSuite() {
        root_.reset();
        server_.reset();
        dir_.reset();
    }

    static int port() { return server_->port(); }
    static const std::string& cid() { return server_->server.folder().cid(); }
    static std::string idOf(std::string_view relative) { return server_->idOf(relative); }
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

} // namespace zandorel::standin::test
