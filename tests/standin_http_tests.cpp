// zandorel-share over HTTP: bounded requests, pipelining, HEAD and other
// methods, slow and idle clients, connection limits, the version document.

#include "standin_support.h"

#include <atomic>
#include <chrono>

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinHttp : public SharedFolderSuite {};

TEST_F(StandinHttp, RequestsAreBounded) {
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

TEST_F(StandinHttp, PipelinedRequestsAreAnsweredInOrder) {
    // Five requests in one write, one with a body, the last closing: five replies, in order,
    // the one to HEAD without a body.
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n";
    const std::string big = bigFile();
    const std::string requests = "GET " + server_->rootTarget() + " HTTP/1.1\r\n" + host + "\r\n" +
                                 "HEAD /download?id=" + idOf("readme.txt") + " HTTP/1.1\r\n" + host + "\r\n" +
                                 "GET /download?id=" + idOf("big.bin") + " HTTP/1.1\r\n" + host +
                                 "Range: bytes=65530-131080\r\n\r\n" + "GET /nothing HTTP/1.1\r\n" + host +
                                 "Content-Length: 3\r\n\r\nabc" + "GET /icons/file.svg HTTP/1.1\r\n" + host +
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
    // Only the last answer closes.
    for (std::size_t i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(replies[i].header("connection") == "close", i == 4) << i;
    }
}

TEST_F(StandinHttp, HeadAnswersAsGetAndOtherMethodsGet405) {
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

// Many slow clients hold connections but no thread: a plain request is
// answered while they trickle, and the server closes them when their
// request heads are overdue.
TEST_F(StandinHttp, PlainRequestsPassWhileSlowAndIdleClientsWait) {
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

TEST_F(StandinHttp, ConnectionsAreLimitedInAllAndPerAddress) {
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

TEST_F(StandinHttp, ServedFreshWhenConfigured) {
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

} // namespace
