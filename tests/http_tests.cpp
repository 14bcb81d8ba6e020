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

// An answer whose header block never ends used to hold a fetch past its
// limit: every new header line started the limit again, and the fetch then
// waited for the connection thread still reading the stream.
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
