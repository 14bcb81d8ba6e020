// The public address of zandorel-share: what it accepts, how pages carry it, which hosts are answered.

#include "standin_support.h"

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinUrl : public ::testing::Test {};

TEST_F(StandinUrl, ParsesWhatAPageCanCarry) {
    struct Row {
        std::string given, text, base, prefix;
    };
    const std::vector<Row> valid{
        {"http://127.0.0.1:8765/", "http://127.0.0.1:8765/", "http://127.0.0.1:8765", ""},
        {"HTTP://Files.Example:80", "http://files.example:80/", "http://files.example:80", ""},
        {"https://files.example/share", "https://files.example/share/", "https://files.example/share",
         "/share"},
        {"http://[::1]:9000/a%20b/", "http://[::1]:9000/a%20b/", "http://[::1]:9000/a%20b", "/a%20b"},
        {"http://h.example:65535", "http://h.example:65535/", "http://h.example:65535",
         ""}, // the highest port
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

TEST_F(StandinUrl, PagesUseThePublicUrlAndOtherHostsAreRefused) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    makeDir(dir.path / "sub");
    ServerOptions options = serving(dir.path);
    options.publicUrl = "http://Files.Example:8000/share";
    const Running server(options);
    const int port = server.port();
    const std::string p = std::to_string(port);
    EXPECT_EQ(server.server.publicUrl(), "http://files.example:8000/share/");
    EXPECT_TRUE(server.server.rootAddress().starts_with("http://files.example:8000/share/?cid="));
    const std::string root = targetOf(server.server.rootAddress()).substr(6); // without "/share"
    const auto ask = [&](const std::string& head, const std::string& target) {
        return oneReply(port, "GET " + target + " " + head + "Connection: close\r\n\r\n");
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

TEST_F(StandinUrl, AWildcardBindNamesTheMachine) {
    TempDir dir;
    ServerOptions options = serving(dir.path);
    options.bindAddress = "0.0.0.0";
    options.port = 0;
    ShareServer server(options);
    ASSERT_TRUE(server.bind());
    char name[256] = {};
    ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
    EXPECT_EQ(server.publicUrl(), "http://" + lower(name) + ":" + std::to_string(server.port()) + "/");
}

} // namespace
