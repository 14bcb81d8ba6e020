// Bytes and text: UTF-8, the legacy code page and declared charsets.

#include "testsupport.h"
#include "text/textcodec.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(TextCodec, LegacyAndUtf8) {
    const QString text = q("会议纪要 €𝄞 ok");
    const QByteArray legacy = EncodeLegacy(text);
    EXPECT_EQ(DecodeLegacy(legacy), text);
    // GB18030 agrees with GBK for characters GBK has.
    EXPECT_EQ(EncodeLegacy(q("中")), QByteArray("\xD6\xD0"));
    EXPECT_TRUE(IsValidUtf8(text.toUtf8()));
    EXPECT_FALSE(IsValidUtf8(legacy));
    EXPECT_FALSE(IsValidUtf8(QByteArray("\xED\xA0\x80"))); // an encoded surrogate
    EXPECT_FALSE(IsValidUtf8(QByteArray("\xE4\xB8")));     // cut short
    EXPECT_EQ(DecodeCharset(QByteArray("\xD6\xD0"), q("GBK")), q("中"));
    EXPECT_EQ(DecodeCharset(QByteArray("caf\xE9"), q("ISO-8859-1")), q("café"));
    EXPECT_EQ(DecodeCharset(QByteArray("abc"), q("no-such-charset")), q("abc"));
    // Broken bytes never stop the decoding.
    EXPECT_EQ(DecodeLegacy(QByteArray("a\xFF"
                                      "b"))
                  .size(),
              3);
}
