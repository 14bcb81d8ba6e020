// Share service addresses: the folder address check, its cid and id, the page address.

#include "share/address.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

TEST(Address, CheckAndParameters) {
    const QString host = q("127.0.0.1:8765");
    const struct Row {
        const char* name;
        const char* address;
        bool valid;
        const char* cid;
        const char* id;
    } rows[] = {
        {"scheme and both values", "http://127.0.0.1:8765/?cid=abc&id=abc%21def", true, "abc", "abc%21def"},
        {"no scheme, other order", "127.0.0.1:8765/?id=X&cid=Y", true, "Y", "X"},
        {"capitals", "HTTP://127.0.0.1:8765/?CID=AbC&ID=Q", true, "AbC", "Q"},
        {"path before the query fails", "http://127.0.0.1:8765/folder/?cid=a&id=b", false, "", ""},
        {"no cid fails", "http://127.0.0.1:8765/?id=b", false, "", ""},
        {"trailing blanks stay", "http://127.0.0.1:8765/?cid=a&id=b  ", true, "a", "b  "},
        {"no id", "http://127.0.0.1:8765/?cid=a", true, "a", ""},
        {"value ends at #", "http://127.0.0.1:8765/?cid=a#frag&id=z", true, "a", "z"},
        {"last parameter wins", "http://127.0.0.1:8765/?cid=a&x=1&cid=b&id=1", true, "b", "1"},
        {"dots in the host match any character", "http://127x0x0x1:8765/?cid=a&id=b", true, "a", "b"},
        // A parameter name follows "?" or a character other than a letter, digit or underscore.
        {"underscore before id", "http://127.0.0.1:8765/?cid=a&_id=b", true, "a", ""},
        {"digit before id", "http://127.0.0.1:8765/?cid=a&9id=b", true, "a", ""},
        {"dash before id", "http://127.0.0.1:8765/?cid=a&x-id=b", true, "a", "b"},
        {"value ends at a carriage return", "http://127.0.0.1:8765/?cid=a\rb&id=c", true, "a", "c"},
        {"a line feed ends the address", "http://127.0.0.1:8765/?cid=a\n&id=c", true, "a", ""},
        {"other host", "http://example.org/?cid=a&id=b", false, "", ""},
        {"empty", "", false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const FolderAddress a = ParseFolderAddress(q(row.address), host);
        EXPECT_EQ(a.valid, row.valid);
        EXPECT_EQ(a.cid, q(row.cid));
        EXPECT_EQ(a.id, q(row.id));
    }
    // A host with pattern characters is taken literally, apart from its dots.
    EXPECT_TRUE(ParseFolderAddress(q("http://[::1]:80/?cid=a&id=b"), q("[::1]:80")).valid);
    EXPECT_EQ(ShareHost(q("http://127.0.0.1:8765")), host);
    EXPECT_EQ(ShareHost(q("https://share.example")), q("share.example"));
    EXPECT_EQ(FolderURL(q("http://h:1"), q("c"), q("i")), q("http://h:1/?cid=c&id=i"));
}
