// zandorel-share against hostile clients: request heads the service refuses
// before the HTTP library reads them (checked byte by byte, and over raw
// sockets), the memory that unread page requests cost a running service, and
// room for a new client while other addresses hold every connection.
#include "sharehead.h"
#include "standin.h"
#include "standin_support.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace zandorel::standin;
using Verdict = RequestCheck::Verdict;

namespace {

using namespace zandorel::standin::test;

bool closedByServer(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// --- The check itself, fed at once and byte by byte. ---

struct HeadCase {
    const char* name;
    std::string bytes;
    Verdict verdict;
    std::size_t sound; // requests counted sound
};

std::string get(std::string_view target, std::string_view fields = {}) {
    return "GET " + std::string(target) + " HTTP/1.1\r\nHost: h\r\n" + std::string(fields) + "\r\n";
}

TEST(RequestCheck, VerdictsDoNotDependOnHowTheBytesArrive) {
    using namespace std::string_literals;
    const std::vector<HeadCase> cases = {
        {"plain", get("/a"), Verdict::Ready, 1},
        {"incomplete", "GET /a HTTP/1.1\r\nHost: h\r\n", Verdict::Incomplete, 0},
        {"empty line before", "\r\n" + get("/a"), Verdict::Ready, 1},
        {"pipelined", get("/a") + get("/b") + get("/c"), Verdict::Ready, 3},
        {"pipelined after a body", get("/a", "Content-Length: 5\r\n") + "12345" + get("/b"), Verdict::Ready,
         2},
        {"body not yet whole", get("/a", "Content-Length: 5\r\n") + "123", Verdict::Ready, 1},
        {"equal lengths", get("/a", "Content-Length: 3\r\nContent-Length: 003\r\n") + "xyz", Verdict::Ready,
         1},
        {"differing lengths", get("/a", "Content-Length: 0\r\nContent-Length: 30\r\n") + get("/b"),
         Verdict::Malformed, 0},
        {"negative length", get("/a", "Content-Length: -1\r\n"), Verdict::Malformed, 0},
        {"signed length", get("/a", "Content-Length: +1\r\n") + "x", Verdict::Malformed, 0},
        {"hex length", get("/a", "Content-Length: 0x10\r\n"), Verdict::Malformed, 0},
        {"listed length", get("/a", "Content-Length: 1, 1\r\n") + "x", Verdict::Malformed, 0},
        {"empty length", get("/a", "Content-Length: \r\n"), Verdict::Malformed, 0},
        {"length and chunks", get("/a", "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n"),
         Verdict::Malformed, 0},
        {"length beyond 64 bits", get("/a", "Content-Length: 99999999999999999999999\r\n"),
         Verdict::BodyRefused, 0},
        {"large body", get("/a", "Content-Length: 65537\r\n"), Verdict::BodyRefused, 0},
        {"chunked body", get("/a", "Transfer-Encoding: chunked\r\n"), Verdict::BodyRefused, 0},
        {"NUL in the target", get("/fo\0o"s), Verdict::Malformed, 0},
        {"NUL in a value", get("/a", "X-A: a\0b\r\n"s), Verdict::Malformed, 0},
        {"NUL at the end of a value", get("/a", "X-A: ab\0\r\n"s), Verdict::Malformed, 0},
        {"CR in the target", get("/fo\ro"), Verdict::Malformed, 0},
        {"CR in a value", get("/a", "X-A: a\rb\r\n"), Verdict::Malformed, 0},
        {"LF ends a line", "GET /a HTTP/1.1\nHost: h\r\n\r\n", Verdict::Malformed, 0},
        {"LF in a value", get("/a", "X-A: a\nX-B: b\r\n"), Verdict::Malformed, 0},
        {"tab in the target", get("/a\tb"), Verdict::Malformed, 0},
        {"folded field", get("/a", "X-A: a\r\n b\r\n"), Verdict::Malformed, 0},
        {"space before the colon", get("/a", "Content-Length : 5\r\n"), Verdict::Malformed, 0},
        {"no version", "GET /a\r\n\r\n", Verdict::Malformed, 0},
        {"two spaces", "GET  /a HTTP/1.1\r\nHost: h\r\n\r\n", Verdict::Malformed, 0},
        {"sound first, malformed second", get("/a") + get("/b", "Content-Length: 1\r\nContent-Length: 2\r\n"),
         Verdict::Malformed, 1},
        {"second too large is left unchecked", get("/a") + get("/b", "Content-Length: 70000\r\n"),
         Verdict::Ready, 1},
        {"head too large", "GET /" + std::string(70000, 'a'), Verdict::HeadTooLarge, 0},
    };
    for (const HeadCase& c : cases) {
        SCOPED_TRACE(c.name);
        RequestCheck whole(65536, 65536);
        whole.add(c.bytes);
        EXPECT_EQ(whole.verdict(), c.verdict);
        EXPECT_EQ(whole.soundRequests(), c.sound);
        RequestCheck bytewise(65536, 65536);
        for (const char byte : c.bytes) {
            bytewise.add(std::string_view(&byte, 1));
        }
        EXPECT_EQ(bytewise.verdict(), c.verdict);
        EXPECT_EQ(bytewise.soundRequests(), c.sound);
    }
}

// --- Over raw sockets. ---

class HostileRequests : public SharedFolderSuite {
protected:
    static std::string host() { return "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n"; }
};

TEST_F(HostileRequests, RefusedWithOneWellFormedAnswerAndNothingAfterIt) {
    using namespace std::string_literals;
    // Each is followed, in the same write, by a sound request that must not
    // be answered: the service answers once and closes.
    const std::string line = "GET /icons/folder.svg HTTP/1.1\r\n";
    const std::string next = "GET /icons/file.svg HTTP/1.1\r\n" + host() + "\r\n";
    struct Case {
        const char* name;
        std::string head;
        int status;
    };
    const std::vector<Case> cases = {
        {"smuggled by two lengths",
         line + host() + "Content-Length: 0\r\nContent-Length: " + std::to_string(next.size()) + "\r\n\r\n",
         400},
        {"smuggled by the second length first",
         line + host() + "Content-Length: " + std::to_string(next.size()) + "\r\nContent-Length: 0\r\n\r\n",
         400},
        {"length -1", line + host() + "Content-Length: -1\r\n\r\n", 400},
        {"length +0", line + host() + "Content-Length: +0\r\n\r\n", 400},
        {"length beyond 64 bits", line + host() + "Content-Length: 18446744073709551617\r\n\r\n", 413},
        {"length and chunks", line + host() + "Content-Length: 0\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
        {"NUL in the target", "GET /icons/fo\0lder.svg HTTP/1.1\r\n"s + host() + "\r\n", 400},
        {"NUL in the query", "GET /?cid=x\0&id=y HTTP/1.1\r\n"s + host() + "\r\n", 400},
        {"NUL in a value", line + host() + "X-A: a\0b\r\n\r\n"s, 400},
        {"CR in the target", "GET /icons/fo\rlder.svg HTTP/1.1\r\n" + host() + "\r\n", 400},
        {"CR in a value", line + host() + "X-A: a\rb\r\n\r\n", 400},
        {"LF in a value", line + host() + "X-A: a\nX-B: b\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = connectTo(port());
        sendAll(fd, c.head + next);
        const std::string raw = readAll(fd);
        EXPECT_TRUE(closedByServer(fd));
        ::close(fd);
        const std::vector<Reply> got = splitReplies(raw);
        ASSERT_EQ(got.size(), 1u) << raw;
        EXPECT_EQ(got[0].status, c.status);
        EXPECT_NE(got[0].head.find("\r\nConnection: close"), std::string::npos);
        EXPECT_EQ(got[0].body.find("<svg"), std::string::npos);
    }
}

// A shared page is never stale: a file added, grown or made private since
// shows on the next request, while an unread copy of the old page goes on
// being sent whole.
TEST(SharePages, SharedPageFollowsTheListing) {
    TempDir dir;
    std::ofstream(dir.path / "a.txt") << "hello\n";
    ServerOptions options;
    options.folder = dir.path;
    const Running server(options);
    const std::string request = "GET " + server.rootTarget() +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                                "\r\nConnection: close\r\n\r\n";
    const auto page = [&] {
        const int fd = connectTo(server.port());
        sendAll(fd, request);
        const std::vector<Reply> got = splitReplies(readAll(fd));
        ::close(fd);
        return got.size() == 1 ? got[0].body : std::string();
    };
    const int unread = connectTo(server.port(), "127.0.0.1", 4096);
    sendAll(unread, request);
    // Its answer has begun, so its page is the listing as it is now.
    char head = 0;
    ASSERT_EQ(::recv(unread, &head, 1, 0), 1);
    const std::string first = page();
    EXPECT_NE(first.find("{\"name\":\"a\",\"extension\":\".txt\""), std::string::npos);
    EXPECT_EQ(page(), first) << "the same listing, the same page";

    std::ofstream(dir.path / "b.txt") << "b";
    std::string next = page();
    EXPECT_NE(next.find("{\"name\":\"b\",\"extension\":\".txt\""), std::string::npos);
    std::ofstream(dir.path / "a.txt", std::ios::app) << "more\n";
    next = page();
    EXPECT_EQ(next.find("\"itemType\":\"file\",\"size\":6,"), std::string::npos) << "a.txt grew to 11 bytes";
    EXPECT_NE(next.find("\"itemType\":\"file\",\"size\":11,"), std::string::npos);

    const std::vector<Reply> old = splitReplies(std::string(1, head) + readAll(unread));
    ::close(unread);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].body, first);
}

// --- A running service. ---

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// The program on a free port, serving `folder`; its first line is read.
struct Program {
    explicit Program(const fs::path& folder) {
        // Under AddressSanitizer freed blocks wait in a quarantine and each
        // thread gets fake stacks: without them, resident memory means what
        // it means in an ordinary build. The environment is made before the
        // fork, so the child only execs.
        std::vector<std::string> environment;
        const char* asan = std::getenv("ASAN_OPTIONS");
        environment.push_back(
            std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
            ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0:detect_stack_use_after_return=0");
        for (char** entry = environ; *entry; ++entry) {
            if (std::string_view(*entry).substr(0, 13) != "ASAN_OPTIONS=") {
                environment.emplace_back(*entry);
            }
        }
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        const std::string where = folder.string();
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            char* const argv[] = {const_cast<char*>(ZANDOREL_SHARE), const_cast<char*>("--port"),
                                  const_cast<char*>("0"), const_cast<char*>(where.c_str()), nullptr};
            ::execve(ZANDOREL_SHARE, argv, envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        ::close(out[0]);
        const std::size_t colon = line.find(':', line.find("//"));
        port = std::atoi(line.c_str() + colon + 1);
        target = line.substr(line.find('/', colon));
    }
    ~Program() {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    pid_t pid = -1;
    int port = 0;
    std::string target;
};

TEST(ShareMemory, UnreadPageRequestsShareOnePage) {
    TempDir dir;
    // Few files with long names make a large page quickly.
    for (int i = 0; i < 1000; ++i) {
        std::ofstream(dir.path / (std::to_string(1000 + i) + std::string(200, 'n') + ".txt"));
    }
    const Program program(dir.path);
    ASSERT_GT(program.port, 0);
    const std::string request =
        "GET " + program.target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(program.port) + "\r\n\r\n";
    // One page read whole first: what the service holds anyway.
    const int first = connectTo(program.port);
    sendAll(first, request);
    const std::vector<Reply> page = splitReplies(readAll(first));
    ::close(first);
    ASSERT_EQ(page.size(), 1u);
    ASSERT_GT(page[0].body.size(), 2'000'000u);
    const long before = residentKiB(program.pid);

    // 16 clients ask for it and never read; each has begun to receive it
    // once its socket is readable.
    std::vector<int> unread;
    for (int i = 0; i < 16; ++i) {
        unread.push_back(connectTo(program.port, "127.0.0.1", 4096));
        sendAll(unread.back(), request);
    }
    for (const int fd : unread) {
        pollfd p{fd, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 30000), 1);
    }
    const long after = residentKiB(program.pid);
    for (const int fd : unread) {
        ::close(fd);
    }
    const double growth = static_cast<double>(after - before) * 1024.0;
    EXPECT_LT(growth, 2.0 * static_cast<double>(page[0].body.size()))
        << "resident " << before << " KiB before, " << after << " KiB with 16 unread pages of "
        << page[0].body.size() << " bytes";
}

// While other addresses hold every connection the service allows, idle or
// stalled in a download they never read, and no clock has closed any, a
// client holding none is served.
TEST(ShareFairness, AClientHoldingNoConnectionIsServedWhileOthersHoldThemAll) {
    TempDir dir;
    {
        std::ofstream big(dir.path / "big.bin", std::ios::binary);
        big.seekp(64 * 1024 * 1024 - 1);
        big.put('\0');
    }
    ServerOptions options;
    options.folder = dir.path;
    options.limits.connections = 12;
    options.limits.perAddress = 4;
    options.limits.requestTime = std::chrono::seconds(60);
    options.limits.idleSeconds = 60;
    const Running server(options);
    const int port = server.port();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string id = server.server.folder().cid() + "!" + "6269672e62696e"; // big.bin

    std::vector<int> held;
    for (const char* source : {"127.0.0.2", "127.0.0.3"}) {
        for (int i = 0; i < 4; ++i) {
            held.push_back(connectTo(port, source));
        }
    }
    for (int i = 0; i < 4; ++i) {
        held.push_back(connectTo(port, "127.0.0.4", 4096));
        sendAll(held.back(), "GET /download?id=" + id + " HTTP/1.1\r\n" + host + "\r\n");
    }
    for (std::size_t i = 8; i < held.size(); ++i) {
        pollfd p{held[i], POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1) << "the download began";
    }
    for (const char* newcomer : {"127.0.0.9", "127.0.0.10", "127.0.0.11"}) {
        SCOPED_TRACE(newcomer);
        const int fd = connectTo(port, newcomer);
        sendAll(fd, "GET " + server.rootTarget() + " HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1) << "no answer while others hold every connection";
        EXPECT_TRUE(readAll(fd).starts_with("HTTP/1.1 200"));
        ::close(fd);
    }
    int open = 0;
    for (const int fd : held) {
        open += closedByServer(fd) ? 0 : 1;
        ::close(fd);
    }
    EXPECT_GE(open, 9) << "only as many closed as newcomers came";
}

} // namespace
