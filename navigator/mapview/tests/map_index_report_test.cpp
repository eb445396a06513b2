#include "mapview/map_index_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace tessaro::mapview {
namespace {

std::string Fixture(const char* name)
{
    const char* root = std::getenv("TESSARO_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/navigator/mapview/tests/data/" + name;
}

std::vector<std::vector<std::string>> Records(const std::string& text)
{
    std::vector<std::vector<std::string>> records;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream l(line);
        std::string f;
        while (std::getline(l, f, ',')) fields.push_back(f);
        records.push_back(fields);
    }
    return records;
}

struct Run {
    int status;
    std::string out;
    std::string err;
};

Run RunCommand(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = RunMapIndexCommand(args, out, err);
    return {status, out.str(), err.str()};
}

// The first activation over a twelve-photograph library: the nearest
// photograph, the quadrant of the fix and the nine nearest qualifying
// photographs, easting differences weighted with MapAspect 0.75.
TEST(MapIndexCommandTest, FirstActivationOverALibrary)
{
    const auto run = RunCommand({Fixture("tokyo12"), "--zone", "9", "--level", "16", "--view", "-6500,-36500"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "mapindex: line 13: blank line skipped\n");
    const auto r = Records(run.out);
    ASSERT_EQ(r.size(), 3u + 12u + 2u + 9u + 1u);
    EXPECT_EQ(r[0], (std::vector<std::string>{"zone", "9"}));
    EXPECT_EQ(r[1], (std::vector<std::string>{"MapCount", "12"}));
    EXPECT_EQ(r[2], (std::vector<std::string>{"MapAspect", "0.75"}));

    const auto& photo5 = r[3 + 5];
    ASSERT_EQ(photo5.size(), 9u);
    EXPECT_EQ(photo5[0], "photo");
    EXPECT_EQ(photo5[1], "5");
    EXPECT_EQ(photo5[2], "東京駅.jpg");
    const double e = std::stod(photo5[3]);
    const double n = std::stod(photo5[4]);
    EXPECT_NEAR(e, -7500, 0.5);
    EXPECT_NEAR(n, -36000, 0.5);
    EXPECT_DOUBLE_EQ(std::stod(photo5[5]), e - 1000);
    EXPECT_DOUBLE_EQ(std::stod(photo5[6]), e + 1000);
    EXPECT_NEAR(std::stod(photo5[7]), n + 750, 0.01);
    EXPECT_NEAR(std::stod(photo5[8]), n - 750, 0.01);

    EXPECT_EQ(r[15], (std::vector<std::string>{"CurrentMapIndex", "6"}));
    EXPECT_EQ(r[16], (std::vector<std::string>{"CheckMapQuadrant", "1", "-1", "-1"}));
    const int expectedSlots[] = {6, 5, 2, 1, 7, 3, 4, 10, 0};
    for (int s = 0; s < 9; ++s) {
        const auto& slot = r[17 + static_cast<std::size_t>(s)];
        ASSERT_EQ(slot.size(), 4u);
        EXPECT_EQ(slot[0], "slot");
        EXPECT_EQ(slot[1], std::to_string(s));
        EXPECT_EQ(slot[2], std::to_string(expectedSlots[s]));
    }
    EXPECT_EQ(r[17][3], "tokyo_07.jpg");
    EXPECT_EQ(r[18][3], "東京駅.jpg");
    EXPECT_EQ(r.back(), (std::vector<std::string>{"ShownMapCount", "9"}));
}

TEST(MapIndexCommandTest, MissingLibraryPrintsAnEmptyLibrary)
{
    const auto run =
        RunCommand({Fixture("no-such-library"), "--zone", "9", "--level", "16", "--view", "100,200", "--pos", "150,150"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open"), std::string::npos);
    EXPECT_EQ(run.out,
              "zone,9\nMapCount,0\nMapAspect,1\nCurrentMapIndex,-1\nCheckMapQuadrant,1,1,1\nShownMapCount,0\n");
}

TEST(MapIndexCommandTest, BadArguments)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"lib"},
        {"lib", "--zone", "20", "--level", "16", "--view", "0,0"},
        {"lib", "--zone", "9", "--level", "x", "--view", "0,0"},
        {"lib", "--zone", "9", "--level", "16", "--view", "0"},
        {"lib", "--zone", "9", "--level", "16", "--view", "0,0", "--pos"},
        {"lib", "extra", "--zone", "9", "--level", "16", "--view", "0,0"},
    };
    for (const auto& args : cases) {
        const auto run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

}  // namespace
}  // namespace tessaro::mapview
