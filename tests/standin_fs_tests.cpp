// What zandorel-share refuses to reach: private items, bad ids, the outside, non-regular files.

#include "standin_support.h"

#include <fcntl.h>
#include <future>

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinFs : public SharedFolderSuite {};

TEST_F(StandinFs, PrivateUnknownAndMalformedItemsAreRefused) {
    for (const std::string& target : std::vector<std::string>{
             "/download?id=" + idOf("private-notes.txt"),
             "/view?id=" + idOf("private-notes.txt"),
             "/thumbnail/96?id=" + idOf("private-notes.txt"),
             // The file itself may be read by others; the folder around it may not.
             "/download?id=" + idOf("private-dir/inner.txt"),
             "/?cid=" + cid() + "&id=" + idOf("private-dir"),
         }) {
        expectRefused(target, 403);
    }
    const std::string c = cid();
    for (const std::string& target : std::vector<std::string>{
             "/?cid=" + c + "&id=" + idOf("no-such-file.txt"), "/?cid=0123456789abcdef&id=" + c + "!root",
             "/?cid=" + c + "&id=0123456789abcdef!root",
             "/?cid=" + c + "&id=" + c + "!root&id=" + idOf("图片"),
             "/download?id=" + idOf("readme.txt") + "&cid=0123456789abcdef",
             "/download?id=" + c + "!" + hexEncode("readme.txt").substr(1),
             "/download?id=" + c + "!726561646D652E747874", // readme.txt in upper-case hex
             // Read with one character past the hex digits, these would name
             // shared files: "6g" as 0x70 'p', "6`" as 0x69 'i'.
             "/download?id=" + c + "!" + hexEncode("图片/") + "6g" + hexEncode("hoto.png"),
             "/download?id=" + c + "!6`" + hexEncode("nside-link.txt"), "/view?id=", "/readme.txt",
             "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest", // not configured
         }) {
        expectRefused(target);
    }
}

TEST_F(StandinFs, NothingOutsideTheFolderIsReached) {
    const std::string c = cid();
    const std::string secret = (dir_->path / "outside" / "secret.txt").string();
    for (const std::string& id : std::vector<std::string>{
             // hex-decoded paths that try to leave
             idOf("../outside/secret.txt"),
             idOf("inside-dir-link/../../outside/secret.txt"),
             idOf(secret),
             idOf(".."),
             idOf(std::string("readme.txt\0.png", 15)),
             // links leading outside, and a way back in through one
             idOf("outside-file-link.txt"),
             idOf("outside-dir-link"),
             idOf("outside-dir-link/back-in.txt"),
             idOf("图片/up/secret.txt"),
             // paths in place of ids, plain and encoded
             c + "!../outside/secret.txt",
             c + "!%2e%2e%2f%2e%2e%2foutside%2fsecret.txt",
             c + "!" + hexEncode("readme.txt") + "%00",
             secret,
         }) {
        for (const char* route : {"/download?id=", "/view?id=", "/thumbnail/96?id="}) {
            expectRefused(route + id);
        }
        expectRefused("/?cid=" + c + "&id=" + id);
    }
    for (const char* target : {"/%2e%2e/outside/secret.txt", "/view%2f..%2f..%2foutside%2fsecret.txt"}) {
        expectRefused(target);
    }
    // The links that stay inside work.
    EXPECT_EQ(get(port(), "/download?id=" + idOf("inside-dir-link/说明.txt")).body, "图片说明\n");
}

// Pipes, links to pipes or devices, and a piped version document are missing at once (never a blocked
// open); the version document is read afresh at every request.
TEST_F(StandinFs, OnlyRegularFilesAndFoldersAreListedOrOpened) {
    TempDir dir;
    const fs::path share = dir.path / "share";
    makeDir(share);
    writeFile(share / "regular.txt", "regular\n");
    ASSERT_EQ(::mkfifo((share / "pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((share / "pipe.png").c_str(), 0644), 0);
    fs::create_symlink("pipe.txt", share / "link-to-pipe.txt");
    fs::create_symlink("/dev/zero", share / "link-to-device");
    const fs::path version = dir.path / "version.xml";
    writeFile(version, "<ver>1.0.3</ver>");
    ServerOptions options = serving(share);
    options.versionInfo = version;
    const Running server(options);

    const Page page = fetchPage(server.port(), server.rootTarget());
    ASSERT_EQ(page.entries.size(), 1u);
    EXPECT_EQ(field(page.entries[0], "name"), "regular");
    for (const char* name : {"pipe.txt", "pipe.png", "link-to-pipe.txt", "link-to-device"}) {
        for (const std::string route : {"/download?id=", "/view?id=", "/thumbnail/96?id="}) {
            EXPECT_EQ(get(server.port(), route + server.idOf(name)).status, 404) << route << name;
        }
        EXPECT_EQ(
            get(server.port(), "/?cid=" + server.server.folder().cid() + "&id=" + server.idOf(name)).status,
            404)
            << name;
    }

    const std::string checkver = "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest";
    const Reply reply = get(server.port(), checkver);
    EXPECT_EQ(reply.header("content-type"), "text/xml; charset=utf-8");
    EXPECT_EQ(reply.body, "<ver>1.0.3</ver>");
    writeFile(version, "<ver>2.0.0</ver>");
    EXPECT_EQ(get(server.port(), checkver).body, "<ver>2.0.0</ver>");
    fs::remove(version);
    EXPECT_EQ(get(server.port(), checkver).status, 404);
    ASSERT_EQ(::mkfifo(version.c_str(), 0644), 0);
    EXPECT_EQ(get(server.port(), checkver).status, 404);

    // A FIFO swapped in between resolving and opening is refused without
    // waiting for a writer.
    const std::optional<Node> node = server.server.folder().resolve(server.idOf("regular.txt"));
    ASSERT_TRUE(node);
    fs::remove(share / "regular.txt");
    ASSERT_EQ(::mkfifo((share / "regular.txt").c_str(), 0644), 0);
    auto opened = std::async(std::launch::async, [&] { return server.server.folder().openFile(*node); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO blocked";
        ::close(::open((share / "regular.txt").c_str(), O_WRONLY | O_NONBLOCK)); // release it
    }
    EXPECT_EQ(opened.get(), -1);
}

} // namespace
