// zandorel-share over HTTP: refused heads, pipelining, methods, slow clients, connection limits.

#include "sharehead.h"
#include "standin_support.h"

#include <chrono>
#include <map>
#include <set>

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;
using namespace std::string_literals;
using Verdict = RequestCheck::Verdict;

class StandinHttp : public SharedFolderSuite {
protected:
    static std::string host() { return "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n"; }
};

std::string request(std::string_view target, std::string_view fields = {}) {
    return "GET " + std::string(target) + " HTTP/1.1\r\nHost: h\r\n" + std::string(fields) + "\r\n";
}

// Heads checked whole and byte by byte; a refused one gets one answer and the connection closes.
TEST_F(StandinHttp, RequestHeadsAreCheckedBeforeTheLibraryReadsThem) {
    const std::string length = "Content-Length: " + std::to_string(request("/b").size()) + "\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        Verdict verdict;
        std::size_t sound; // requests counted sound
    };
    const std::vector<Case> cases = {
        {"plain", request("/a"), Verdict::Ready, 1},
        {"incomplete", "GET /a HTTP/1.1\r\nHost: h\r\n", Verdict::Incomplete, 0},
        {"empty line before", "\r\n" + request("/a"), Verdict::Ready, 1},
        {"pipelined after a body", request("/a", "Content-Length: 5\r\n") + "12345" + request("/b"),
         Verdict::Ready, 2},
        {"body not yet whole", request("/a", "Content-Length: 5\r\n") + "123", Verdict::Ready, 1},
        {"equal lengths", request("/a", "Content-Length: 3\r\nContent-Length: 003\r\n") + "xyz",
         Verdict::Ready, 1},
        {"smuggled by two lengths", request("/a", "Content-Length: 0\r\n" + length) + request("/b"),
         Verdict::Malformed, 0},
        {"smuggled by the second length first",
         request("/a", length + "Content-Length: 0\r\n") + request("/b"), Verdict::Malformed, 0},
        {"signed length", request("/a", "Content-Length: +1\r\n") + "x", Verdict::Malformed, 0},
        {"empty length", request("/a", "Content-Length: \r\n"), Verdict::Malformed, 0},
        {"length and chunks", request("/a", "Content-Length: 0\r\nTransfer-Encoding: chunked\r\n"),
         Verdict::Malformed, 0},
        {"length beyond 64 bits", request("/a", "Content-Length: 18446744073709551617\r\n"),
         Verdict::BodyRefused, 0},
        {"large body", request("/a", "Content-Length: 65537\r\n"), Verdict::BodyRefused, 0},
        {"chunked body", request("/a", "Transfer-Encoding: chunked\r\n"), Verdict::BodyRefused, 0},
        {"NUL in the target", request("/fo\0o"s), Verdict::Malformed, 0},
        {"NUL in a value", request("/a", "X-A: a\0b\r\n"s), Verdict::Malformed, 0},
        {"NUL at the end of a value", request("/a", "X-A: ab\0\r\n"s), Verdict::Malformed, 0},
        {"CR in a value", request("/a", "X-A: a\rb\r\n"), Verdict::Malformed, 0},
        {"LF in a value", request("/a", "X-A: a\nX-B: b\r\n"), Verdict::Malformed, 0},
        {"LF ends a line", "GET /a HTTP/1.1\nHost: h\r\n\r\n", Verdict::Malformed, 0},
        {"tab in the target", request("/a\tb"), Verdict::Malformed, 0},
        {"folded field", request("/a", "X-A: a\r\n b\r\n"), Verdict::Malformed, 0},
        {"space before the colon", request("/a", "Content-Length : 5\r\n"), Verdict::Malformed, 0},
        {"no version", "GET /a\r\n\r\n", Verdict::Malformed, 0},
        {"sound first, malformed second",
         request("/a") + request("/b", "Content-Length: 1\r\nContent-Length: 2\r\n"), Verdict::Malformed, 1},
        {"second too large is left unchecked", request("/a") + request("/b", "Content-Length: 70000\r\n"),
         Verdict::Ready, 1},
        {"head too large", "GET /" + std::string(70000, 'a'), Verdict::HeadTooLarge, 0},
    };
    const std::map<Verdict, int> refused{
        {Verdict::Malformed, 400}, {Verdict::BodyRefused, 413}, {Verdict::HeadTooLarge, 431}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RequestCheck whole(65536, 65536);
        whole.add(c.bytes);
        RequestCheck bytewise(65536, 65536);
        for (const char byte : c.bytes) {
            bytewise.add(std::string_view(&byte, 1));
        }
        for (const RequestCheck* check : {&whole, &bytewise}) {
            EXPECT_EQ(check->verdict(), c.verdict);
            EXPECT_EQ(check->soundRequests(), c.sound);
        }
        if (c.sound == 0 && refused.contains(c.verdict)) {
            const int fd = connectTo(port());
            sendAll(fd, c.bytes + "GET /icons/file.svg HTTP/1.1\r\n" + host() + "\r\n");
            const std::vector<Reply> got = splitReplies(readAll(fd));
            EXPECT_TRUE(closedWithin(fd, 0));
            ::close(fd);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].status, refused.at(c.verdict));
            EXPECT_EQ(got[0].header("connection"), "close");
        }
    }
}

TEST_F(StandinHttp, AHeadThatNeverEndsIsCutOff) {
    // The server closes long before 16 MiB of a head are through, and goes on serving.
    const int fd = connectTo(port());
    const std::string chunk = "GET /" + std::string(65536, 'a');
    std::size_t sent = 0;
    for (ssize_t n;
         sent < 16 * 1024 * 1024 && (n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL)) > 0;) {
        sent += static_cast<std::size_t>(n);
    }
    EXPECT_LT(sent, 16u * 1024 * 1024);
    ::close(fd);
    EXPECT_EQ(get(port(), server_->rootTarget()).status, 200);
}

TEST_F(StandinHttp, PipelinedRequestsAreAnsweredInOrder) {
    // Five requests in one write: five replies in order, HEAD's bodiless, the last closing.
    const auto ask = [](const std::string& line, const std::string& fields = {}) {
        return line + " HTTP/1.1\r\n" + host() + fields + "\r\n";
    };
    const std::string requests =
        ask("GET " + server_->rootTarget()) + ask("HEAD /download?id=" + idOf("readme.txt")) +
        ask("GET /download?id=" + idOf("big.bin"), "Range: bytes=65530-131080\r\n") +
        ask("GET /nothing", "Content-Length: 3\r\n") + "abc" + ask("GET /icons/file.svg");
    const int fd = connectTo(port());
    sendAll(fd, requests);
    const std::vector<Reply> replies = splitReplies(readAll(fd), {false, true, false, false, false});
    ::close(fd);
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[0].body, root().reply.body);
    EXPECT_EQ(replies[1].header("content-length"), "27");
    EXPECT_EQ(replies[2].status, 206);
    EXPECT_TRUE(replies[2].body == bigFile().substr(65530, 65551));
    EXPECT_EQ(replies[3].status, 404);
    EXPECT_TRUE(replies[4].body.starts_with("<svg"));
    for (std::size_t i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(replies[i].header("connection") == "close", i == 4) << "only the last closes: " << i;
    }
}

TEST_F(StandinHttp, HeadAnswersAsGetAndOtherMethodsGet405) {
    for (const std::string& target : {server_->rootTarget(), "/view?id=" + idOf("会议纪要.txt"),
                                      "/download?id=" + idOf("private-notes.txt")}) {
        SCOPED_TRACE(target);
        const Reply full = get(port(), target);
        const Reply head = get(port(), target, "HEAD");
        EXPECT_EQ(head.status, full.status);
        EXPECT_EQ(head.header("content-length"), std::to_string(full.body.size()));
        EXPECT_EQ(head.header("content-type"), full.header("content-type"));
        EXPECT_EQ(head.header("content-disposition"), full.header("content-disposition"));
    }
    for (const char* method : {"POST", "PUT", "BREW"}) {
        const Reply reply = get(port(), server_->rootTarget(), method, "Content-Length: 0\r\n");
        EXPECT_EQ(reply.status, 405) << method;
        EXPECT_EQ(reply.header("allow"), "GET, HEAD") << method;
    }
}

// Slow clients hold no thread: others are answered meanwhile; overdue heads are closed.
TEST_F(StandinHttp, PlainRequestsPassWhileSlowClientsWait) {
    TempDir dir;
    ServerOptions options = serving(dir.path);
    options.limits.requestTime = std::chrono::milliseconds(1000);
    const Running server(options);
    const int port = server.port();
    const std::string head =
        "GET /icons/file.svg HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    std::vector<int> trickling;
    // Half trickle their head, half a body after a whole head.
    for (int i = 0; i < 12; ++i) {
        trickling.push_back(connectTo(port));
        sendAll(trickling.back(), head + (i % 2 == 1 ? "Content-Length: 1000\r\n\r\n" : "X-Slow: "));
    }
    // One byte each every 100 ms until the server closes them, 4 s at most;
    // meanwhile a head that arrives slowly, but in time, is served.
    const int slow = connectTo(port);
    const std::string request = head + "Connection: close\r\n\r\n";
    std::set<int> cutOff;
    for (std::size_t round = 0; round < 40 && cutOff.size() < trickling.size(); ++round) {
        for (const int fd : trickling) {
            if (!cutOff.contains(fd) && (::send(fd, "x", 1, MSG_NOSIGNAL) != 1 || closedWithin(fd, 0))) {
                cutOff.insert(fd);
            }
        }
        if (round * 20 < request.size()) {
            sendAll(slow, std::string_view(request).substr(round * 20, 20));
        }
        if (round == 1) {
            EXPECT_EQ(get(port, server.rootTarget()).status, 200) << "answered while they wait";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(readAll(slow).starts_with("HTTP/1.1 200"));
    ::close(slow);
    EXPECT_EQ(cutOff.size(), trickling.size()) << "trickling clients closed by the request clock";
    for (const int fd : trickling) {
        ::close(fd);
    }
    EXPECT_EQ(get(port, server.rootTarget()).status, 200) << "serves normally once they left";
}

// A fourth connection from one address is closed; when all are held, a newcomer is served
// in place of the oldest idle connection of the address holding the most.
TEST_F(StandinHttp, ConnectionsAreLimitedInAllAndPerAddress) {
    TempDir dir;
    writeFile(dir.path / "big.bin", "");
    fs::resize_file(dir.path / "big.bin", 64 * 1024 * 1024);
    ServerOptions options = serving(dir.path);
    options.limits.connections = 6;
    options.limits.perAddress = 3;
    options.limits.threads = 1;
    options.limits.requestTime = std::chrono::seconds(60);
    const Running server(options);
    const int port = server.port();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";

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
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectTo(port, "127.0.0.3", 4096));
        sendAll(held.back(), "GET /download?id=" + server.idOf("big.bin") + " HTTP/1.1\r\n" + host + "\r\n");
        pollfd p{held.back(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1) << "the download began";
    }
    for (const char* newcomer : {"127.0.0.4", "127.0.0.5"}) {
        SCOPED_TRACE(newcomer);
        const int fd = connectTo(port, newcomer);
        sendAll(fd, "GET /icons/file.svg HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
        EXPECT_TRUE(readAll(fd).starts_with("HTTP/1.1 200"));
        ::close(fd);
    }
    EXPECT_TRUE(closedWithin(held[0], 0)) << "the oldest idle connection of its address";
    int closed = 0;
    for (const int fd : held) {
        closed += closedWithin(fd, 0) ? 1 : 0;
        ::close(fd);
    }
    EXPECT_LE(closed, 2) << "only as many closed as newcomers came";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(get(port, server.rootTarget()).status, 200) << "serves normally once they left";
}

} // namespace
