// HTTP text retrieval against a local server.

#include "net/http.h"
#include "testsupport.h"

#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zandorel;
using zandorel::test::q;

TEST(Http, BodiesHeadersAndCharsets) {
    test::qtApp();
    test::LocalServer local;
    std::string seenHeader;
    auto& s = local.server();
    s.Get("/page", [&](const httplib::Request& req, httplib::Response& res) {
        seenHeader = req.get_header_value("If-Modified-Since");
        res.set_content("<p>中文</p>", "text/html; charset=utf-8");
    });
    s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/plain");
    });
    s.Get("/gbk", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("\xD6\xD0\xCE\xC4", "text/plain; charset=GBK");
    });
    s.Get("/meta", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<meta charset=\"gbk\"><b>\xD6\xD0</b>", "text/html");
    });
    s.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    s.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
    const std::string base = local.start();

    EXPECT_EQ(GetTextFromURL(q(base + "/page")), QString::fromUtf8("<p>中文</p>"));
    EXPECT_EQ(seenHeader, "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(GetTextFromURL(q(base + "/missing")), QStringLiteral("not here"));
    EXPECT_EQ(GetTextFromURL(q(base + "/gbk")), QString::fromUtf8("中文"));
    EXPECT_EQ(GetTextFromURL(q(base + "/meta")), QString::fromUtf8("<meta charset=\"gbk\"><b>中</b>"));
    EXPECT_EQ(GetTextFromURL(q(base + "/empty")), QString());
    EXPECT_EQ(GetTextFromURL(q(base + "/moved")), QString::fromUtf8("<p>中文</p>"));
    for (const char* bad : {"127.0.0.1/page", "ftp://127.0.0.1/x", "", "file:///etc/passwd", "http://"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(GetTextFromURL(QString::fromUtf8(bad)), std::invalid_argument);
    }
}

TEST(Http, FailuresGiveEmptyText) {
    test::qtApp();
    test::LocalServer local;
    std::atomic<bool> release{false};
    local.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 300 && !release; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        res.set_content("late", "text/plain");
    });
    local.server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(200000, 'x'), "text/plain");
    });
    const std::string base = local.start();

    HttpOptions quick;
    quick.timeout = std::chrono::milliseconds(300);
    EXPECT_EQ(GetTextFromURL(q(base + "/slow"), quick), QString());
    release = true;

    HttpOptions small;
    small.maxBodyBytes = 1000;
    EXPECT_EQ(GetTextFromURL(q(base + "/big"), small), QString());
    EXPECT_EQ(GetTextFromURL(q(base + "/big")).size(), 200000);
    // A body exactly as large as allowed arrives; one byte less allowed and it does not.
    for (const qint64 allowed : {200000, 199999}) {
        SCOPED_TRACE(allowed);
        small.maxBodyBytes = allowed;
        EXPECT_EQ(GetTextFromURL(q(base + "/big"), small).size(), allowed == 200000 ? 200000 : 0);
    }

    const int closedPort = local.port();
    local.stop();
    EXPECT_EQ(GetTextFromURL(q("http://127.0.0.1:" + std::to_string(closedPort) + "/page")), QString());
}

TEST(Http, NestedRetrievalsEachGetTheirOwnBody) {
    test::qtApp();
    test::LocalServer local;
    local.server().Get("/outer", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        res.set_content("outer", "text/plain");
    });
    local.server().Get("/inner", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("inner", "text/plain");
    });
    const std::string base = local.start();
    QString inner;
    QTimer::singleShot(20, [&] { inner = GetTextFromURL(q(base + "/inner")); });
    EXPECT_EQ(GetTextFromURL(q(base + "/outer")), QStringLiteral("outer"));
    EXPECT_EQ(inner, QStringLiteral("inner"));
}

TEST(Http, ACancelledFetchEndsAtOnceAndSaysSo) {
    test::qtApp();
    test::LocalServer local;
    std::atomic<bool> release{false};
    std::atomic<int> arrived{0};
    std::atomic<int> answered{0};
    local.server().Get("/held", [&](const httplib::Request&, httplib::Response& res) {
        ++arrived;
        for (int i = 0; i < 500 && !release; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        res.set_content("late", "text/plain");
        ++answered;
    });
    local.server().Get("/quick", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("quick", "text/plain");
    });
    const std::string base = local.start();

    // Cancelled while it waits, with a fetch of another token inside the wait.
    HttpOptions held;
    held.cancel = std::make_shared<CancelToken>();
    HttpOptions other;
    other.cancel = std::make_shared<CancelToken>();
    QString inner;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (arrived > 0) {
            poll.stop();
            inner = GetTextFromURL(q(base + "/quick"), other);
            held.cancel->Cancel();
        }
    });
    poll.start(5);
    EXPECT_THROW(GetTextFromURL(q(base + "/held"), held), FetchCancelled);
    EXPECT_EQ(answered, 0); // the server was still holding its answer
    EXPECT_EQ(inner, QStringLiteral("quick"));
    EXPECT_FALSE(other.cancel->Cancelled());

    // Nested fetches of one token both end; a used token stops later fetches before they are sent.
    HttpOptions both;
    both.cancel = std::make_shared<CancelToken>();
    bool innerCancelled = false;
    QTimer::singleShot(20, [&] {
        QTimer::singleShot(20, [&] { both.cancel->Cancel(); });
        try {
            GetTextFromURL(q(base + "/held"), both);
        } catch (const FetchCancelled&) {
            innerCancelled = true;
        }
    });
    EXPECT_THROW(GetTextFromURL(q(base + "/held"), both), FetchCancelled);
    EXPECT_TRUE(innerCancelled);
    const int requests = arrived;
    EXPECT_THROW(GetTextFromURL(q(base + "/quick"), both), FetchCancelled);
    EXPECT_EQ(arrived, requests);
    release = true;
}

namespace {

// A server on a raw loopback socket that answers every connection with a
// status line and then one more header line every few milliseconds, never
// ending the header block, until it is stopped.
class TricklingServer {
public:
    TricklingServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(listener_, 8), 0);
        socklen_t size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TricklingServer() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    int port() const { return port_; }
    // Header lines sent so far, over every connection.
    long sent() const { return sent_; }

private:
    void serve() {
        while (!stop_) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            const std::string status = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
            bool open = send(client, status.data(), status.size(), MSG_NOSIGNAL) > 0;
            for (long i = 0; open && !stop_; ++i) {
                const std::string line =
                    "X-Trickle-" + std::to_string(i) + ": " + std::string(200, 'h') + "\r\n";
                open = send(client, line.data(), line.size(), MSG_NOSIGNAL) > 0;
                ++sent_;
                if (i % 64 == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            close(client);
        }
    }
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<long> sent_{0};
    std::thread thread_;
};

} // namespace

TEST(Http, TheTimeLimitHoldsHoweverTheHeadersTrickle) {
    // An answer whose header block never ends used to hold a fetch past its
    // limit: the limit was the time between two reads, which every new
    // header line started again.
    test::qtApp();
    TricklingServer server;
    HttpOptions quick;
    quick.timeout = std::chrono::milliseconds(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetTextFromURL(q("http://127.0.0.1:" + std::to_string(server.port()) + "/"), quick), QString());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(server.sent(), 10);
    // The whole fetch ends near its limit; it used to take five seconds
    // more, waiting for the connection thread still reading the stream.
    EXPECT_LT(seconds, 3.0) << seconds;
}
