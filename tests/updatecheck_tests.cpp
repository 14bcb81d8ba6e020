// The version document, the version comparison and the texts of each outcome.

#include "net/updatecheck.h"
#include "testsupport.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <gtest/gtest.h>
#include <random>

using namespace zandorel;

using zandorel::test::q;

namespace {

QString document(const char* soft, const char* log = "") {
    return q("<?xml version=\"1.0\"?><versioninfo><soft ") + q(soft) + q("/><log>") + q(log) +
           q("</log></versioninfo>");
}

} // namespace

// The program's version against the server's, part by part as integers.
TEST(UpdateCheck, VersionsCompareAsIntegers) {
    const struct Row {
        int major, minor, revision;
        const char* version;
        UpdateOutcome::Kind kind;
    } rows[] = {
        {1, 0, 3, "1.0.10", UpdateOutcome::Newer},    {1, 0, 3, "1.0.3", UpdateOutcome::NotNewer},
        {1, 0, 3, "0.9.99", UpdateOutcome::NotNewer}, {1, 0, 3, "2.0.0", UpdateOutcome::Newer},
        {1, 0, 3, "1.1.0", UpdateOutcome::Newer},     {1, 0, 3, "1.0.3.9", UpdateOutcome::NotNewer},
        {1, 0, 3, "1.0", UpdateOutcome::Failed},      {1, 0, 3, "a.b.c", UpdateOutcome::Failed},
        {1, 0, 3, "1..3", UpdateOutcome::Failed},     {1, 0, 3, "", UpdateOutcome::Failed},
        {1, 5, 7, "1.6.0", UpdateOutcome::Newer},     {1, 5, 7, "1.5.6", UpdateOutcome::NotNewer},
        {1, 5, 7, "1.4.99", UpdateOutcome::NotNewer}, {1, 5, 7, "0.99.99", UpdateOutcome::NotNewer},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        test::KnownAppFacts app(row.major, row.minor, row.revision, "Linux");
        const std::string soft = std::string("name=\"Zandorel\" version=\"") + row.version + "\"";
        const UpdateOutcome outcome = EvaluateUpdate(document(soft.c_str()));
        EXPECT_EQ(outcome.kind, row.kind);
        if (row.kind != UpdateOutcome::Failed) {
            EXPECT_TRUE(outcome.text.contains(
                QStringLiteral("%1.%2.%3 Linux").arg(row.major).arg(row.minor).arg(row.revision)));
        }
    }
    // No soft element reads as 0.0.0: never newer, and the title has no name.
    const UpdateOutcome bare = EvaluateUpdate(q("<versioninfo/>"));
    EXPECT_EQ(bare.kind, UpdateOutcome::NotNewer);
    EXPECT_EQ(bare.title, q("未发现新版本"));
    for (const char* body : {"", "Error: no such soft", "not xml <", "<a><b></a>"}) {
        SCOPED_TRACE(body);
        const UpdateOutcome failed = EvaluateUpdate(q(body));
        EXPECT_EQ(failed.kind, UpdateOutcome::Failed);
        EXPECT_EQ(failed.title, q("连接失败"));
        EXPECT_EQ(failed.text, q("获取最新版本号失败，请检查是否连接上Internet，也有可能是服务器不正常。"));
    }
}

// The texts of each outcome, as the window shows them.
TEST(UpdateCheck, MessageTexts) {
    test::KnownAppFacts app(1, 0, 3, "Linux");
    const UpdateOutcome same = EvaluateUpdate(document("name=\"Zandorel\" version=\"1.0.3\" beta=\"beta2\""));
    EXPECT_EQ(same.text, q("未发现新版本\r\n\r\n您的当前版本：1.0.3 Linux\r\n最新版本：1.0.3 "
                           "beta2\r\n\r\n是否访问网站查看？"));
    EXPECT_EQ(same.title, q("Zandorel未发现新版本"));
    const UpdateOutcome newer =
        EvaluateUpdate(document("name=\"Z\" version=\"1.0.10\" time=\"2026-12-01\" website=\"http://h/\"",
                                "<![CDATA[<ul><li>Fix A</li></ul>Done<br/>]]>"));
    EXPECT_EQ(newer.text,
              q(" 检测到有新的版本\r\n发布时间2026-12-01\r\n\r\n您的当前版本：1.0.3 Linux\r\n"
                "最新版本：    1.0.10\r\n更新日志：\r\n1、Fix A\r\nDone\r\n\r\n\r\n立即更新吗？"));
    EXPECT_EQ(newer.title, q("Z发现新版本"));
    EXPECT_EQ(newer.info.website, q("http://h/"));
    EXPECT_EQ(EvaluateUpdate(document("version=\"9.0.0\"")).info.time, q("0000-00-00"));
}

namespace {

// The log formatted the literal way: each block's text replaced everywhere, block by block.
QString literalLog(const QString& log) {
    QList<MatchRecord> blocks;
    const int count = RegMatches(log, q("<ul[^>]*>([\\d\\D]*?)<\\/ul[^>]*>"), blocks, q("$1"));
    QString text = log;
    for (int b = 0; b < count; ++b) {
        QList<MatchRecord> items;
        const int n = RegMatches(blocks[b].Rewrites.value(0), q("<li[^>]*>([^<]*)"), items, q("$1"));
        QString replacement;
        for (int i = 0; i < n; ++i) {
            replacement += QString::number(i + 1) + q("、") + items[i].Rewrites.value(0) + q("\r\n");
        }
        text.replace(blocks[b].Value, replacement, Qt::CaseSensitive);
    }
    return RegReplace(text, q("<[^br<>]*br[^br<>]*>"), q("\r\n"));
}

} // namespace

TEST(UpdateCheck, LogFormattingIsTheLiteralReplacementOnAnyText) {
    // Nested openings, repeated blocks, unclosed tags, case, lone surrogates: as the literal way.
    QStringList pieces;
    for (const char* piece : {"<ul>", "</ul>", "<UL a>", "</Ul >", "<li>", "<LI b>", "</li>", "x", "y", "<",
                              ">", "<u", "l", "<br>", "<BR/>", "<ul></ul>", "<ul><li>x</li></ul>", "中"}) {
        pieces << q(piece);
    }
    pieces << QString(QChar(0xD800));
    std::mt19937 random(9);
    for (int round = 0; round < 20000; ++round) {
        QString log;
        const int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i) {
            log += pieces[random() % pieces.size()];
        }
        SCOPED_TRACE(zandorel::test::printable(log));
        ASSERT_EQ(FormatUpdateLog(log), literalLog(log));
    }
}

// Many short lists, plain or nested, used to take seconds near 1 MB (each block replaced all through).
TEST(UpdateCheck, LongLogsFormatInProportionToTheirLength) {
    auto log = [](const char* block, int blocks) {
        QString text;
        for (int i = 0; i < blocks; ++i) {
            text += q(block).arg(i);
        }
        return text;
    };
    auto seconds = [](const QString& text) {
        double best = 1e9;
        for (int run = 0; run < 5; ++run) {
            const double start = test::threadSeconds();
            EXPECT_FALSE(FormatUpdateLog(text).isEmpty());
            best = std::min(best, test::threadSeconds() - start);
        }
        return best;
    };
    const char* plain = "<ul><li>fix %1</li></ul>line<br/>";
    const char* nested = "<ul><ul><li>fix %1</li></ul>line<br/>";
    // Sizes well past the processor's caches, so the two are read alike.
    const double small = seconds(log(plain, 40000));
    const double large = seconds(log(plain, 160000));
    EXPECT_LT(large / std::max(small, 1e-4), 6.0) << small << " s, then " << large << " s";
    const double nestedLarge = seconds(log(nested, 160000));
    EXPECT_LT(nestedLarge / std::max(large, 1e-4), 4.0)
        << large << " s plain, " << nestedLarge << " s nested";
    // Past the literal replacements' budget the text is still theirs.
    EXPECT_EQ(FormatUpdateLog(log(nested, 1000)), literalLog(log(nested, 1000)));
}

TEST(UpdateCheck, ADocumentPastTheSizeLimitIsAFailedCheck) {
    test::qtApp();
    test::KnownAppFacts program(1, 0, 3, "Linux");
    // A version document of a long log, padded to the limit or one byte past it.
    auto document = [](qint64 size) {
        std::string head = "<?xml version=\"1.0\"?><versioninfo><soft name=\"Z\" version=\"9.0.0\"/><log>";
        const std::string tail = "</log></versioninfo>";
        std::string log;
        for (int i = 0; static_cast<qint64>(head.size() + log.size() + tail.size()) + 60 < size; ++i) {
            log += "&lt;ul&gt;&lt;li&gt;fix " + std::to_string(i) + "&lt;/li&gt;&lt;/ul&gt;";
        }
        log.resize(static_cast<size_t>(size) - head.size() - tail.size(), ' ');
        return head + log + tail;
    };
    test::LocalServer local;
    local.server().Get(R"(/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
        res.set_content(document(std::stoll(req.matches[1])), "application/octet-stream");
    });
    const std::string base = local.start() + "/";
    const UpdateOutcome fits = FetchUpdate(q(base + std::to_string(MaxVersionDocumentBytes)));
    EXPECT_EQ(fits.kind, UpdateOutcome::Newer);
    EXPECT_TRUE(fits.text.contains(q("1、fix 0\r\n1、fix 1\r\n")));
    const UpdateOutcome big = FetchUpdate(q(base + std::to_string(MaxVersionDocumentBytes + 1)));
    EXPECT_EQ(big.kind, UpdateOutcome::Failed);
    EXPECT_EQ(big.title, q("连接失败"));
}

TEST(UpdateCheck, OnlyWebAddressesOpen) {
    for (const char* yes : {"http://127.0.0.1/", "https://example.org/download?x=1", "HTTP://Example.org"}) {
        EXPECT_TRUE(IsOpenableWebsite(q(yes))) << yes;
    }
    for (const char* no :
         {"", "javascript:alert(1)", "file:///etc/passwd", "ftp://x/", "/bin/sh", "http://"}) {
        EXPECT_FALSE(IsOpenableWebsite(q(no))) << no;
    }
}
