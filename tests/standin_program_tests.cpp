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

TEST_F(StandinProgram, PrintsTheRootAddressFirstAndStopsCleanly) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    Program serving("--port 0 " + dir.path.string());
    EXPECT_TRUE(serving.address.starts_with("http://127.0.0.1:")) << serving.address;
    EXPECT_TRUE(targetOf(serving.address).starts_with("/?cid=")) << serving.address;
    EXPECT_EQ(fetchPage(serving.port, targetOf(serving.address)).entries.size(), 1u);
    EXPECT_EQ(serving.stop(), 0);

    // A public URL with port 0 carries the port taken, in the first line and
    // in every page.
    Program named("--port 0 --public-url http://share.example:0/files/ " + dir.path.string());
    const std::string base = "http://share.example:" + std::to_string(named.port) + "/files/";
    EXPECT_TRUE(named.address.starts_with(base + "?cid=")) << named.address;
    const Page page = fetchPage(named.port, targetOf(named.address).substr(6));
    ASSERT_EQ(page.entries.size(), 1u);
    EXPECT_TRUE(field(page.entries[0], "download").starts_with(base + "download?id="));

    // A folder whose name is not UTF-8 is served under its own bytes.
    const fs::path odd = dir.path / "odd\xff";
    makeDir(odd);
    writeFile(odd / "inner.txt", "inner\n");
    Program oddServing("--port=0 -- '" + odd.string() + "'");
    EXPECT_NE(oddServing.address.find("cid=" + fnv1aHex("odd\xff")), npos) << oddServing.address;
    EXPECT_EQ(fetchPage(oddServing.port, targetOf(oddServing.address)).entries.size(), 1u);
}

TEST_F(StandinProgram, OptionsHelpVersionAndBadUsage) {
    TempDir dir;
    writeFile(dir.path / "readme.txt", "hello\n");
    for (const char* args : {"--help", "-h", "--help --port 1"}) {
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 0) << args;
        EXPECT_TRUE(
            run.out.starts_with("usage: zandorel-share [--bind ADDRESS] [--port N] [--public-url URL]"));
        EXPECT_NE(run.out.find("--versioninfo FILE"), npos);
        EXPECT_EQ(run.err, "");
    }
    const ProgramRun version = runProgram("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zandorel-share " ZANDOREL_VERSION "\n");

    const std::string file = (dir.path / "readme.txt").string();
    const std::vector<std::pair<std::string, std::string>> usage{
        {"", "no FOLDER given"},
        {"--", "no FOLDER given"},
        {"--port 65536 .", "--port needs a number from 0 to 65535"},
        {"--port=-1 .", "--port needs a number from 0 to 65535"},
        {"--port=80x .", "--port needs a number from 0 to 65535"},
        {"--port", "--port needs a value"},
        {". --bind", "--bind needs a value"},
        {"--frobnicate .", "unknown option --frobnicate"},
        {"-x .", "unknown option -x"},
        {"--version=2", "unknown option --version"},
        {". .", "only one FOLDER can be served"},
        {"--bind= .", "--bind needs an address"},
        {"--versioninfo= .", "--versioninfo needs a file"},
        {"--public-url ftp://share.example/ .", "--public-url needs an address"},
        {"--public-url 'http://share.example/?a=1' .", "--public-url needs an address"},
    };
    for (const auto& [args, message] : usage) {
        SCOPED_TRACE(args);
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("zandorel-share: " + message)) << run.err;
        EXPECT_NE(run.err.find("\n\nusage: zandorel-share "), npos);
    }
    EXPECT_EQ(runProgram((dir.path / "missing").string()).status, 66);
    EXPECT_EQ(runProgram(file).status, 66);
    EXPECT_EQ(runProgram("-- --help").status, 66); // a folder named --help
}

} // namespace
