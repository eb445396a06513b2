#include "mapview/map_loader.h"

#include <gtest/gtest.h>

#include "testsupport/scratch_dir.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "state/nav_state.h"
#include "shell/textfile.h"

namespace tessaro::mapview {
namespace {

namespace fs = std::filesystem;
using Kind = LoadNote::Kind;

geodesy::CurrentZone Zone(int number)
{
    const auto& z = geodesy::ZoneTable()[static_cast<std::size_t>(number - 1)];
    return {static_cast<std::int16_t>(number), z.originLat(), z.originLon()};
}

class MapLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state_.MapPicFolder = dir_.string();
    }
    void PutIndex(const std::string& bytes)
    {
        std::ofstream(JoinPath(dir_.string(), kMapIndexFileName), std::ios::binary) << bytes;
    }
    // Loads `bytes` as the index with the given zone current.
    LoadReport Load(const std::string& bytes, int zone)
    {
        PutIndex(bytes);
        state_.Zone = Zone(zone);
        return LoadMapDataToGrid(state_);
    }
    static std::vector<Kind> Kinds(const LoadReport& r)
    {
        std::vector<Kind> kinds;
        for (const auto& n : r.notes) kinds.push_back(n.kind);
        return kinds;
    }
    // Every table holds exactly MapCount photographs.
    void ExpectConsistent() const
    {
        const MapIndex& m = state_.Maps;
        const auto n = static_cast<std::size_t>(m.MapCount);
        EXPECT_EQ(m.MapFileGrid.size(), n + 1);
        EXPECT_EQ(m.MapIndexGrid.size(), n);
        EXPECT_EQ(m.IndexGrid.size(), n);
        EXPECT_EQ(m.MapCentreEasting.size(), n);
        EXPECT_EQ(m.MapCentreNorthing.size(), n);
        EXPECT_EQ(m.MapWest.size(), n);
        EXPECT_EQ(m.MapSouth.size(), n);
        ASSERT_FALSE(m.MapFileGrid.empty());
        EXPECT_EQ(m.MapFileGrid[0][1], "画像ﾌｧｲﾙ名");
    }

    testsupport::ScratchDir scratch_{"maploader"};
    const fs::path dir_ = scratch_.path();
    NavState state_;
};

// One line of a library in zone 6: the index's own X/Y (fields 8, 9) agree
// with the centre recomputed from its latitude and longitude.
TEST_F(MapLoaderTest, LoadsOneLineIntoEveryTable)
{
    const auto report = Load("1,a.jpg,35-00-00,135-30-00,1500,2000,1500,6,-45639.72,-110824.45\r\n", 6);
    ASSERT_TRUE(report.opened);
    EXPECT_TRUE(report.notes.empty());
    const MapIndex& m = state_.Maps;
    ASSERT_EQ(m.MapCount, 1);
    ExpectConsistent();
    EXPECT_EQ(state_.Zone.ZoneNo, 6);

    EXPECT_NEAR(m.MapCentreEasting[0], -45639.72, 0.01);
    EXPECT_NEAR(m.MapCentreNorthing[0], -110824.45, 0.01);
    EXPECT_NEAR(m.MapWest[0], -46639.72, 0.01);
    EXPECT_NEAR(m.MapEast[0], -44639.72, 0.01);
    EXPECT_NEAR(m.MapNorth[0], -110074.45, 0.01);
    EXPECT_NEAR(m.MapSouth[0], -111574.45, 0.01);
    EXPECT_FLOAT_EQ(m.MapAspect, 0.75f);

    const MapFileRow expectedFields = {"1", "a.jpg", "35-00-00", "135-30-00", "1500",
                                       "2000", "1500", "6", "-45639.72", "-110824.45"};
    EXPECT_EQ(m.MapFileGrid[1], expectedFields);
    EXPECT_EQ(m.fileName(0), "a.jpg");
    const MapIndexRow& row = m.MapIndexGrid[0];
    EXPECT_EQ(row.Index, "0");
    EXPECT_EQ(row.CentreX, "-45639.72");
    EXPECT_EQ(row.CentreY, "-110824.45");
    EXPECT_EQ(row.Width, "2000");
    EXPECT_DOUBLE_EQ(row.centreX, -45639.72);
    EXPECT_EQ(m.IndexGrid[0].Index, "0");
    EXPECT_EQ(m.IndexGrid[0].Easting, "-45639.7");
    EXPECT_EQ(m.IndexGrid[0].Northing, "-110824.5");  // the northing is held as a 32-bit float
    EXPECT_DOUBLE_EQ(m.IndexGrid[0].northing, -110824.5);
}

// Lines the loader takes with a note, skips, or stops at. Every case starts
// in zone 9 with two good Tokyo lines around the line under test.
TEST_F(MapLoaderTest, BadLines)
{
    const std::string good1 = "1,t1.jpg,35-40-00,139-45-00,800,1200,900,9,-7548.42,-37034.04\r\n";
    const std::string good2 = "2,t2.jpg,35-41-00,139-46-00,800,1000,800,9,-6040.11,-35183.02\r\n";
    const std::string thirtyTwoFields = std::string(31, ',') + "\r\n";
    const std::string hugeWidth = "3,w.jpg,35-40-00,139-45-00,800,1" + std::string(400, '0') + ",900,9,0,0\r\n";
    const std::string longName = "3," + std::string(100000, 'n') + ".jpg,35-40-00,139-45-00,800,1200,900,9,0,0\r\n";
    struct Case {
        const char* name;
        std::string middle;
        int count;          // photographs loaded
        int zoneAfter;      // current zone after the load
        std::vector<Kind> kinds;
        float aspect;       // MapAspect after the load
    };
    const std::vector<Case> cases = {
        {"blank lines are skipped", "\r\n   \r\n\t \r\r\n\x1a\r\n", 2, 9,
         {Kind::SkippedBlank, Kind::SkippedBlank, Kind::SkippedBlank, Kind::SkippedBlank}, 0.8f},
        {"fewer than ten fields, no width", "3,s.jpg,35-40-00,139-45-00\r\n", 3, 9,
         {Kind::FieldCount, Kind::ZeroWidth}, 0.8f},
        {"more than ten fields", "3,m.jpg,35-40-00,139-45-00,800,1000,500,9,0,0,x,y\r\n", 3, 9,
         {Kind::FieldCount}, 0.8f},
        {"more fields than the splitter holds stops the load", thirtyTwoFields, 1, 9, {Kind::Stopped}, 0.75f},
        {"non-numeric angles read as 0N 0E and move the zone", "3,z.jpg,north,east,,w,h,,,\r\n", 3, 9,
         {Kind::ZoneChanged, Kind::ZeroWidth, Kind::ZoneChanged}, 0.8f},
        {"a width too large for a number stops the load", hugeWidth, 1, 9, {Kind::Stopped}, 0.75f},
        {"a line of 100000 characters loads", longName, 3, 9, {}, 0.8f},
        {"bytes that are not CP932 are replaced and the line loads",
         "3,\x80\xA0\xFD.jpg,35-40-00,139-45-00,800,1000,500,9,0,0\r\n", 3, 9, {Kind::ReplacedBytes}, 0.8f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state_.Maps = MapIndex{};
        const auto report = Load(good1 + c.middle + good2, 9);
        EXPECT_EQ(state_.Maps.MapCount, c.count);
        EXPECT_EQ(state_.Zone.ZoneNo, c.zoneAfter);
        EXPECT_EQ(Kinds(report), c.kinds);
        EXPECT_FLOAT_EQ(state_.Maps.MapAspect, c.aspect);
        ExpectConsistent();
    }
}

// A line with many "-" parts in its latitude: the angle splitter overflows.
TEST_F(MapLoaderTest, AngleWithTooManyPartsStops)
{
    std::string angle;
    for (int i = 0; i < 60; ++i) angle += "1-";
    const auto report = Load("1,a.jpg,35-40-00,139-45-00,800,1200,900,9,0,0\r\n2,b.jpg," + angle +
                                 ",139-45-00,800,1200,900,9,0,0\r\n",
                             9);
    EXPECT_EQ(state_.Maps.MapCount, 1);
    EXPECT_EQ(Kinds(report), std::vector<Kind>{Kind::Stopped});
    ExpectConsistent();
}

TEST_F(MapLoaderTest, LibraryFarFromTheZoneMovesItOnTheFirstLine)
{
    // A Fukuoka library (zone 2) while zone 9 (Tokyo) is current.
    const auto report = Load("1,f1.jpg,33-36-00,130-24-00,900,1500,1000,2,0,0\r\n"
                             "2,f2.jpg,33-37-00,130-25-00,900,1500,1000,2,0,0\r\n",
                             9);
    EXPECT_EQ(state_.Zone.ZoneNo, 2);
    EXPECT_EQ(Kinds(report), std::vector<Kind>{Kind::ZoneChanged});
    EXPECT_EQ(report.notes[0].line, 1u);
    // Centres are computed in zone 2 (origin 33N 131E): west and north of it.
    EXPECT_LT(state_.Maps.MapCentreEasting[0], 0.0);
    EXPECT_GT(state_.Maps.MapCentreNorthing[0], 0.0f);
    EXPECT_LT(std::abs(state_.Maps.MapCentreEasting[0]), 60000.0);
}

TEST_F(MapLoaderTest, EmptyAndMissingIndexes)
{
    // Empty file: no photographs, headers only.
    auto report = Load("", 9);
    EXPECT_TRUE(report.opened);
    EXPECT_EQ(state_.Maps.MapCount, 0);
    ExpectConsistent();

    // A missing index leaves what was loaded before.
    Load("1,a.jpg,35-40-00,139-45-00,800,1200,900,9,0,0\r\n", 9);
    ASSERT_EQ(state_.Maps.MapCount, 1);
    state_.MapPicFolder = (dir_ / "no-such-folder").string();
    report = LoadMapDataToGrid(state_);
    EXPECT_FALSE(report.opened);
    EXPECT_EQ(state_.Maps.MapCount, 1);
    EXPECT_EQ(state_.Maps.fileName(0), "a.jpg");

    // A reload replaces everything.
    state_.MapPicFolder = dir_.string();
    Load("1,b.jpg,35-41-00,139-46-00,800,1200,900,9,0,0\r\n2,c.jpg,35-41-00,139-46-00,800,1200,900,9,0,0\r\n", 9);
    EXPECT_EQ(state_.Maps.MapCount, 2);
    EXPECT_EQ(state_.Maps.fileName(0), "b.jpg");
    ExpectConsistent();
}

TEST_F(MapLoaderTest, IndexBeyondCapacityKeepsTheFirstEntries)
{
    std::string bytes;
    for (int i = 1; i <= 5000; ++i)
        bytes += std::to_string(i) + ",p" + std::to_string(i) + ".jpg,35-40-00,139-45-00,800,1200,900,9,0,0\r\n";
    const auto report = Load(bytes, 9);
    EXPECT_EQ(state_.Maps.MapCount, kMapCapacity);
    ExpectConsistent();
    ASSERT_EQ(Kinds(report), std::vector<Kind>{Kind::Stopped});
    EXPECT_EQ(report.notes[0].line, static_cast<std::size_t>(kMapCapacity) + 1);
    EXPECT_EQ(state_.Maps.fileName(kMapCapacity - 1), "p2000.jpg");
    EXPECT_EQ(state_.Maps.fileName(kMapCapacity), "");
}

TEST_F(MapLoaderTest, JapaneseFileNamesFromCp932)
{
    Load(Utf8ToCp932("1,京都駅.jpg,35-40-00,139-45-00,800,1200,900,9,0,0") + "\r\n", 9);
    ASSERT_EQ(state_.Maps.MapCount, 1);
    EXPECT_EQ(state_.Maps.fileName(0), "京都駅.jpg");
}

TEST(JoinPathTest, JoinsWithOneSlash)
{
    EXPECT_EQ(JoinPath("/maps", "a.jpg"), "/maps/a.jpg");
    EXPECT_EQ(JoinPath("/maps/", "a.jpg"), "/maps/a.jpg");
    EXPECT_EQ(JoinPath("", "MapFileData1.dat"), "/MapFileData1.dat");
}

}  // namespace
}  // namespace tessaro::mapview
