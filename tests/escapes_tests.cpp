// String escapes decoded, HTML escaped, UTF-8 percent-encoded.

#include "testsupport.h"
#include "text/escapes.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

QString unescaped(const QString& text) {
    QString out = q("[");
    AppendUnescaped(out, text);
    return out.mid(1);
}

QString html(const QString& text) {
    QString out;
    AppendHtmlEscaped(out, text);
    return out;
}

QString percent(const QString& text) {
    QString out;
    AppendPercentEncoded(out, text);
    return out;
}

} // namespace

TEST(Escapes, StringEscapesDecoded) {
    // Escapes, broken pairs, hex digits at their ranges' ends, the ends of each pair half.
    const std::pair<const char*, QString> rows[] = {
        {"report.pdf 会议纪要", q("report.pdf 会议纪要")},
        {R"(\"\\\/\b\f\n\r\t)", q("\"\\/\b\f\n\r\t")},
        {R"(\u003cb\u003e \u0026amp\u003b)", q("<b> &amp;")},
        {R"(caf\u00e9 \ud83d\ude00)", q("café 😀")},
        {R"(\uD83D\uDE00!)", q("😀!")},
        {R"(\ud83dx)", q("\\ud83dx")},
        {R"(\ud83d\u0041)", q("\\ud83dA")},
        {R"(a\ude00)", q("a\\ude00")},
        {R"(\ud83d\ud83d\ude00)", q("\\ud83d😀")},
        {R"(\u12)", q("\\u12")},
        {R"(\u12G4)", q("\\u12G4")},
        {R"(\U0041)", q("\\U0041")},
        {R"(end\)", q("end\\")},
        {R"(\\u0041)", q("\\u0041")},
        {R"(a\u0000b)", QString(q("a")) + QChar(u'\0') + q("b")},
        {R"(\u09aF)", QString(QChar(0x09AF))},
        {R"(\u0Af0)", QString(QChar(0x0AF0))},
        {R"(\u00/0\u00:0\u00`0\u00g0\u00@0\u00G0)", q(R"(\u00/0\u00:0\u00`0\u00g0\u00@0\u00G0)")},
        {R"(\ud7ff)", QString(QChar(0xD7FF))},
        {R"(\ud800\udc00)", QString::fromUcs4(U"\U00010000")},
        {R"(\udbff\udfff)", QString::fromUcs4(U"\U0010FFFF")},
        {R"(\udbff\ud800x)", q(R"(\udbff\ud800x)")},
        {R"(\udbff\ue000)", q("\\udbff") + QChar(0xE000)},
        {R"(\udc00)", q(R"(\udc00)")},
        {R"(\udfff)", q(R"(\udfff)")},
        {R"(\ue000)", QString(QChar(0xE000))}};
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(unescaped(q(in)), out) << in;
    }
}

TEST(Escapes, HtmlAndUrl) {
    EXPECT_EQ(html(q(R"(<a href="x">Tom's & Jerry's</a>)")),
              q("&lt;a href=&quot;x&quot;&gt;Tom&#39;s &amp; Jerry&#39;s&lt;/a&gt;"));
    EXPECT_EQ(html(q("会议纪要 plain")), q("会议纪要 plain"));
    EXPECT_EQ(html(q("&amp;")), q("&amp;amp;"));

    EXPECT_EQ(percent(q("AZaz09-._~")), q("AZaz09-._~"));
    EXPECT_EQ(percent(q(" /?#[]@!$&'()*+,;=%\"<>\\")),
              q("%20%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%25%22%3C%3E%5C"));
    EXPECT_EQ(percent(q("中é😀")), q("%E4%B8%AD%C3%A9%F0%9F%98%80"));
    EXPECT_EQ(percent(QString(QChar(0xD800)) + q("x")), q("%EF%BF%BDx")); // half a pair
    EXPECT_EQ(percent(QString(QChar(u'\0'))), q("%00"));
    EXPECT_EQ(percent(QString(QChar(0x7F))), q("%7F"));
    // The characters next to the unreserved ones, and the ends of each UTF-8 length.
    EXPECT_EQ(percent(q("`{:^|}")), q("%60%7B%3A%5E%7C%7D"));
    const std::pair<char32_t, const char*> rows[] = {{0x80, "%C2%80"},          {0x7FF, "%DF%BF"},
                                                     {0x800, "%E0%A0%80"},      {0xFFFF, "%EF%BF%BF"},
                                                     {0x10000, "%F0%90%80%80"}, {0x10FFFF, "%F4%8F%BF%BF"}};
    for (const auto& [unit, encoded] : rows) {
        EXPECT_EQ(percent(QString::fromUcs4(&unit, 1)), q(encoded)) << encoded;
    }
}
