// The zandorel-share program: its first line, its options and exit statuses.

#include "standin_support.h"

namespace {

using namespace zandorel::standin;
using namespace zandorel::standin::test;

class StandinProgram : public ::testing::Test {};

// The program run through the shell, its output kept.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun runProgram(const std::string& args) {
    TempDir dir;
    const std::string out = (dir.path / "out").string();
    const std::string err = (dir.path / "err").string();
    const int status =
        std::system((std::string(ZANDOREL_SHARE) + " " + args + " >" + out + " 2>" + err).c_str());
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(out), read(err)};
}

// The first line is the root address; a public URL's port 0 becomes the port taken, there and in
// pages. A folder whose name is not UTF-8 is served under its own bytes.
TEST_F(StandinProgram, PrintsTheRootAddressFirstAndStopsCleanly) {
    TempDir dir;
    const fs::path odd = dir.path / "odd\xff";
    writeFile(dir.path / "readme.txt", "hello\n");
    makeDir(odd);
    writeFile(odd / "inner.txt", "inner\n");
    Program named("--port 0 --public-url http://share.example:0/files/ " + dir.path.string());
    const std::string base = "http://share.example:" + std::to_string(named.port) + "/files/";
    EXPECT_TRUE(named.address.starts_with(base + "?cid=")) << named.address;
    const Page page = fetchPage(named.port, targetOf(named.address).substr(6));
    ASSERT_EQ(page.entries.size(), 2u);
    EXPECT_TRUE(field(page.entries[1], "download").starts_with(base + "download?id="));
    EXPECT_EQ(named.stop(), 0);

    Program oddServing("--port=0 -- '" + odd.string() + "'");
    EXPECT_TRUE(oddServing.address.starts_with("http://127.0.0.1:")) << oddServing.address;
    EXPECT_NE(oddServing.address.find("/?cid=" + fnv1aHex("odd\xff")), npos) << oddServing.address;
    EXPECT_EQ(fetchPage(oddServing.port, targetOf(oddServing.address)).entries.size(), 1u);
}

// Help and version on stdout, usage errors (64) and missing folders (66) on stderr.
TEST_F(StandinProgram, OptionsHelpVersionAndBadUsage) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    const std::string usage = "usage: zandorel-share [--bind ADDRESS] [--port N] [--public-url URL]";
    struct Row {
        std::string args;
        int status;
        std::string out, err; // how each begins; empty: nothing written
    };
    const std::vector<Row> table{
        {"--help", 0, usage, ""},
        {"-h", 0, usage, ""},
        {"--help --port 1", 0, usage, ""},
        {"--version", 0, "zandorel-share " ZANDOREL_VERSION "\n", ""},
        {"", 64, "", "no FOLDER given"},
        {"--", 64, "", "no FOLDER given"},
        {"--port 65536 .", 64, "", "--port needs a number from 0 to 65535"},
        {"--port=80x .", 64, "", "--port needs a number from 0 to 65535"},
        {"--port", 64, "", "--port needs a value"},
        {". --bind", 64, "", "--bind needs a value"},
        {"--frobnicate .", 64, "", "unknown option --frobnicate"},
        {"-x .", 64, "", "unknown option -x"},
        {"--version=2", 64, "", "unknown option --version"},
        {". .", 64, "", "only one FOLDER can be served"},
        {"--bind= .", 64, "", "--bind needs an address"},
        {"--versioninfo= .", 64, "", "--versioninfo needs a file"},
        {"--public-url ftp://share.example/ .", 64, "", "--public-url needs an address"},
        {"--public-url 'http://share.example/?a=1' .", 64, "", "--public-url needs an address"},
        {(dir.path / "missing").string(), 66, "", dir.path.string()},
        {(dir.path / "readme.txt").string(), 66, "", dir.path.string()},
        {"-- --help", 66, "", "--help"}, // a folder named --help
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.args);
        const ProgramRun run = runProgram(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_TRUE(run.out.starts_with(row.out) && run.out.empty() == row.out.empty()) << run.out;
        EXPECT_TRUE(run.err.starts_with(row.err.empty() ? "" : "zandorel-share: " + row.err) &&
                    run.err.empty() == row.err.empty())
            << run.err;
        EXPECT_EQ(run.err.find("\n\nusage: zandorel-share ") != npos, row.status == 64);
    }
}

} // namespace
