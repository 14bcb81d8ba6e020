#pragma once
// Helpers shared by the stand-in's tests, which run without Qt.

#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <system_error>

namespace zandorel::standin::test {

// A folder of its own under the temporary folder, removed with everything in it.
struct TempDir {
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zandorel-standin-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

} // namespace zandorel::standin::test
