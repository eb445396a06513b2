// Replays every GGA log under tests/data through the decoder and compares
// the result with its .expected file (the same lines `tessaro-tool gga`
// prints). Each log names its starting zone in a "# start zone: N" line.
// Set TESSARO_REBUILD_EXPECTED=1 to rewrite the .expected files for review.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "gps/gga_replay.h"

namespace tessaro::gps {
namespace {

namespace fs = std::filesystem;

fs::path DataFolder()
{
    const char* root = std::getenv("TESSARO_SOURCE_DIR");
    return fs::path(root ? root : ".") / "navigator" / "gps" / "tests" / "data";
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(GgaLogs, ReplayMatchesExpected)
{
    const bool rebuild = std::getenv("TESSARO_REBUILD_EXPECTED") != nullptr;
    int logs = 0;
    for (const auto& entry : fs::directory_iterator(DataFolder())) {
        if (entry.path().extension() != ".nmea") continue;
        ++logs;
        const std::string log = ReadAll(entry.path());
        const std::size_t tag = log.find("# start zone: ");
        ASSERT_NE(tag, std::string::npos) << entry.path();
        const int zone = std::atoi(log.c_str() + tag + 14);

        std::istringstream in(log);
        std::ostringstream out;
        ReplayGgaLog(in, out, zone);
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".expected");
        if (rebuild) {
            std::ofstream(expectedPath, std::ios::binary) << out.str();
            continue;
        }
        ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath;
        EXPECT_EQ(out.str(), ReadAll(expectedPath)) << entry.path();
    }
    EXPECT_GE(logs, 2);
}

}  // namespace
}  // namespace tessaro::gps
