// HTTP text retrieval against a local server.

#include "net/http.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(Http, BodiesCharsetsFailuresAndCancels) {
    test::qtApp();
    test::LocalServer local;
    std::string seenHeader;
    std::atomic<bool> release{false};
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
    s.Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 300 && !release; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        res.set_content("late", "text/plain");
    });
    s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(200000, 'x'), "text/plain");
    });
    std::atomic<int> arrived{0}, answered{0};
    s.Get("/held", [&](const httplib::Request&, httplib::Response& res) {
        ++arrived;
        for (int i = 0; i < 500 && !release; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        res.set_content("late", "text/plain");
        ++answered;
    });
    // Promises 1000 bytes, sends 10 and hangs up.
    s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
            return offset == 0 && sink.write("0123456789", 10);
        });
    });
    const std::string base = local.start();
    auto get = [&](const char* path, const HttpOptions& options = HttpOptions()) {
        return GetTextFromURL(q(base + path), options);
    };

    EXPECT_EQ(get("/page"), q("<p>中文</p>"));
    EXPECT_EQ(seenHeader, "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(get("/missing"), q("not here"));
    EXPECT_EQ(get("/gbk"), q("中文"));
    EXPECT_EQ(get("/meta"), q("<meta charset=\"gbk\"><b>中</b>"));
    EXPECT_EQ(get("/empty"), QString());
    EXPECT_EQ(get("/moved"), q("<p>中文</p>"));
    for (const char* bad : {"127.0.0.1/page", "ftp://127.0.0.1/x", "", "file:///etc/passwd", "http://"}) {
        EXPECT_THROW(GetTextFromURL(q(bad)), std::invalid_argument) << bad;
    }
    // A retrieval started while another waits: each gets its own body.
    QString inner;
    QTimer::singleShot(20, [&] { inner = get("/gbk"); });
    QTimer::singleShot(200, [&] { release = true; });
    EXPECT_EQ(get("/slow"), q("late"));
    EXPECT_EQ(inner, q("中文"));
    release = false;

    HttpOptions quick;
    quick.timeout = std::chrono::milliseconds(300);
    EXPECT_EQ(get("/slow", quick), QString());
    release = true;
    const QString cut = get("/cut", quick);
    EXPECT_TRUE(cut.isEmpty() || cut == q("0123456789"));
    // A body exactly as large as allowed arrives; one byte less allowed and it does not.
    HttpOptions small;
    EXPECT_EQ(get("/big").size(), 200000);
    for (const qint64 allowed : {1000, 200000, 199999}) {
        SCOPED_TRACE(allowed);
        small.maxBodyBytes = allowed;
        EXPECT_EQ(get("/big", small).size(), allowed == 200000 ? 200000 : 0);
    }

    // Cancelled while it waits, with a fetch of another token inside the wait.
    release = false;
    HttpOptions held, other, both;
    held.cancel = std::make_shared<CancelToken>();
    other.cancel = std::make_shared<CancelToken>();
    both.cancel = std::make_shared<CancelToken>();
    QString quickInner;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (arrived > 0) {
            poll.stop();
            quickInner = get("/gbk", other);
            held.cancel->Cancel();
        }
    });
    poll.start(5);
    EXPECT_THROW(get("/held", held), FetchCancelled);
    EXPECT_EQ(answered, 0); // the server was still holding its answer
    EXPECT_EQ(quickInner, q("中文"));
    EXPECT_FALSE(other.cancel->Cancelled());
    // Nested fetches of one token both end; a used token stops later fetches before they are sent.
    bool innerCancelled = false;
    QTimer::singleShot(20, [&] {
        QTimer::singleShot(20, [&] { both.cancel->Cancel(); });
        try {
            get("/held", both);
        } catch (const FetchCancelled&) {
            innerCancelled = true;
        }
    });
    EXPECT_THROW(get("/held", both), FetchCancelled);
    EXPECT_TRUE(innerCancelled);
    const int requests = arrived;
    EXPECT_THROW(get("/gbk", both), FetchCancelled);
    EXPECT_EQ(arrived, requests);
    release = true;

    const int closedPort = local.port();
    local.stop();
    EXPECT_EQ(GetTextFromURL(q("http://127.0.0.1:%1/page").arg(closedPort)), QString());
}

// A header block that never ends used to restart the time limit at each header line.
TEST(Http, TheTimeLimitHoldsHoweverTheHeadersTrickle) {
    test::qtApp();
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> clients;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        clients << server.nextPendingConnection();
        clients.back()->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n");
    });
    long sent = 0;
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        for (QTcpSocket* client : clients) {
            for (int i = 0; i < 64; ++i, ++sent) {
                client->write("X-Trickle-" + QByteArray::number(sent) + ": " + QByteArray(200, 'h') + "\r\n");
            }
        }
    });
    trickle.start(1);
    HttpOptions quick;
    quick.timeout = std::chrono::milliseconds(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetTextFromURL(q("http://127.0.0.1:%1/").arg(server.serverPort()), quick), QString());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(sent, 10);
    EXPECT_LT(seconds, 3.0) << seconds;
}
