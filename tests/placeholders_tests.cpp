// Application values and path variables in the texts of the settings.

#include "testsupport.h"
#include "text/placeholders.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(Placeholders, AppTags) {
    test::KnownAppFacts facts;
    qputenv("ZANDOREL_TEST_VAR", "value");
    qunsetenv("NO_SUCH_VAR_FOR_ZANDOREL");
    EXPECT_EQ(ExpandAppTags(q("%s(AppTitle) V%s(AppMajor).%s(AppMinor).%s(AppRevision)")),
              q("Zandorel V1.0.3"));
    EXPECT_EQ(ExpandAppTags(q("%s(appexename)|%s(APPPATH)|%s(AppBeta)")), q("Zandorel|/opt/tools|beta"));
    EXPECT_EQ(ExpandAppTags(q("%s(NO_SUCH_VAR_FOR_ZANDOREL)")), q("NO_SUCH_VAR_FOR_ZANDOREL"));
    EXPECT_EQ(ExpandAppTags(q("[%s(ZANDOREL_TEST_VAR)]")), q("[value]"));
    // %t(...) is left for the file expansion.
    EXPECT_EQ(ExpandAppTags(q("%t(name)")), q("%t(name)"));

    // A value making the text exactly the limit goes in; one character more and it stays.
    const QString tag = q("%s(ZANDOREL_TEST_LONG)");
    for (const qsizetype extra : {-1, 0, 1}) {
        SCOPED_TRACE(extra);
        const QByteArray value(MaxExpandedLength - 1 + extra, 'v');
        qputenv("ZANDOREL_TEST_LONG", value);
        const QString expanded = ExpandAppTags(tag + u'.');
        EXPECT_EQ(expanded, extra <= 0 ? QString::fromLatin1(value) + u'.' : tag + u'.');
    }
    qunsetenv("ZANDOREL_TEST_LONG");
}

TEST(Placeholders, PathVariables) {
    test::KnownAppFacts facts;
    qunsetenv("UNSET_VAR_FOR_ZANDOREL");
    const std::pair<const char*, const char*> rows[] = {
        {"%AppPath%\\Pictures/a.png", "/opt/tools/Pictures/a.png"},
        {"pic.png", "/opt/tools/pic.png"},
        {"", ""},
        {"%AppEXEName%.png", "/opt/tools/Zandorel/.png"},
        {"/srv/skin//x.png", "/srv/skin/x.png"},
        {"\\\\\\\\server\\share\\x.png", "//server/share/x.png"},
        {"%apppath%sub\\\\b.png", "/opt/tools/sub/b.png"},
    };
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(ExpandPath(q(in)), q(out)) << in;
    }
}
