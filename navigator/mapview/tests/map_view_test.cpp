#include "mapview/map_view.h"

#include <gtest/gtest.h>

#include "testsupport/scratch_dir.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "mapview/fixed2.h"
#include "mapview/map_loader.h"
#include "state/nav_state.h"
#include "shell/values.h"

namespace tessaro::mapview {
namespace {

namespace fs = std::filesystem;

// A photograph given by its centre in zone 9 [m] and its ground size [m].
struct Photo {
    std::string name;
    double easting;
    double northing;
    double width;
    double height;
};

std::string Dms(double degrees)
{
    const int d = static_cast<int>(std::floor(degrees));
    const double minutes = (degrees - d) * 60.0;
    const int m = static_cast<int>(std::floor(minutes));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d-%02d-%09.6f", d, m, (minutes - m) * 60.0);
    return buf;
}

// Index file content for the photographs: latitude and longitude from the
// centre (so the loader recomputes the same centre), X and Y as given.
std::string IndexText(const std::vector<Photo>& photos)
{
    geodesy::InitEllipsoid();
    const auto& zone = geodesy::ZoneTable()[8];
    std::string text;
    int seq = 1;
    for (const auto& p : photos) {
        // (The inverse hands back its inputs on an axis, so stay a micrometre off it.)
        const double e = p.easting == 0.0 ? 1e-6 : p.easting;
        const double n = p.northing == 0.0 ? 1e-6 : p.northing;
        const auto ll = geodesy::PlaneToLatLon(e, n, zone.originLat(), zone.originLon());
        text += std::to_string(seq++) + "," + p.name + "," + Dms(ll.lat) + "," + Dms(ll.lon) + ",1000," +
                FormatFixed(p.width, 0) + "," + FormatFixed(p.height, 0) + ",9," + FormatFixed(p.easting, 2) +
                "," + FormatFixed(p.northing, 2) + "\r\n";
    }
    return text;
}

class RecordingSlots : public PictureSlots {
public:
    bool LoadPicture(int slot, const std::string& path) override
    {
        loads.push_back(std::to_string(slot) + ":" + fs::path(path).filename().string());
        return path.find("missing") == std::string::npos;
    }
    void SendToBack(int slot) override { toBack.push_back(slot); }
    void BringToFront(int) override {}
    void SetPlacement(int, double, double, double, double) override {}
    void SetVisible(int, bool) override {}

    std::vector<std::string> loads;
    std::vector<int> toBack;
};

class MapViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state_.MapPicFolder = dir_.string();
    }
    void LoadLibrary(const std::vector<Photo>& photos)
    {
        std::ofstream(JoinPath(dir_.string(), kMapIndexFileName), std::ios::binary) << IndexText(photos);
        const auto& zone = geodesy::ZoneTable()[8];
        state_.Zone = {9, zone.originLat(), zone.originLon()};
        state_.Maps = MapIndex{};
        LoadMapDataToGrid(state_);
        ASSERT_EQ(state_.Maps.MapCount, static_cast<int>(photos.size()));
        ASSERT_EQ(state_.Zone.ZoneNo, 9);
    }
    void SetLevel(int level)
    {
        state_.ScaleLevel = level;
        ApplyScaleLevel(state_);
    }
    void SetView(double easting, double northing)
    {
        state_.ViewCentreEasting = easting;
        state_.ViewCentreNorthing = static_cast<float>(northing);
    }
    // File names of the shown photographs, slot order.
    std::vector<std::string> Shown() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < state_.ShownMapCount; ++i)
            names.push_back(state_.Maps.fileName(state_.Maps.MapIndexGrid[static_cast<std::size_t>(i)].photo));
        return names;
    }

    testsupport::ScratchDir scratch_{"mapview"};
    const fs::path dir_ = scratch_.path();
    NavState state_;
};

TEST_F(MapViewTest, SelectNearestMap)
{
    LoadLibrary({{"a", 0, 0, 1000, 1000},
                 {"b", 5000, 0, 1000, 1000},
                 {"c", 5000, 0, 1000, 1000}});  // same centre as b
    struct Step {
        double e, n;
        int result;
        int current;
    };
    const Step steps[] = {
        {100, 0, 1, 0},      // nearest is a
        {200, 50, 0, 0},     // still a: no change
        {4000, 0, 1, 1},     // b and c tie: the lower index wins
        {15000, 0, 1, -1},   // 10000 m from b: farther than 9999 m is never current
        {14990, 0, 1, 1},    // 9990 m from b
        {-9999.5, 0, 1, -1}, // 9999.5 m from a
    };
    state_.CurrentMapIndex = -1;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.e);
        SetView(s.e, s.n);
        EXPECT_EQ(SelectNearestMap(state_), s.result);
        EXPECT_EQ(state_.CurrentMapIndex, s.current);
    }
}

TEST_F(MapViewTest, CheckMapQuadrantFollowsTheFixAcrossTheReferenceLines)
{
    LoadLibrary({{"a", 1000.04, 2000.04, 1000, 1000}});
    ASSERT_EQ(state_.Maps.IndexGrid[0].Easting, "1000.0");
    ASSERT_EQ(state_.Maps.IndexGrid[0].Northing, "2000.0");
    struct Step {
        int current;
        double e, n;
        int result;
        int ew, ns;
    };
    const Step steps[] = {
        {0, 1000.02, 2000.02, 1, 1, 1},  // first test; the reference is the centre to 0.1 m
        {0, 1000.0, 2000.0, 0, 1, 1},    // a difference of 0 counts +1
        {0, 999.9, 2000.5, 1, -1, 1},    // crossed westwards
        {0, 999.9, 1999.0, 1, -1, -1},   // crossed southwards
        {-1, 999.9, 1999.0, 0, -1, -1},  // no current photograph: previous reference
        {-1, 1001.0, 1999.0, 1, 1, -1},
        {7, 999.0, 1999.0, 1, -1, -1},   // no such photograph: previous reference
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.e);
        state_.CurrentMapIndex = s.current;
        state_.PosEasting = s.e;
        state_.PosNorthing = static_cast<float>(s.n);
        EXPECT_EQ(CheckMapQuadrant(state_), s.result);
        EXPECT_EQ(state_.QuadrantEW, s.ew);
        EXPECT_EQ(state_.QuadrantNS, s.ns);
    }
}

// The size test on the formatted on-screen width, with two photographs (one
// too small to ever qualify) so that the test applies.
TEST_F(MapViewTest, SizeTest)
{
    struct Case {
        int level;
        double width;  // [m]
        const char* screenWidth;
        bool shown;
    };
    const Case cases[] = {
        {16, 2000, "3.40", true},   {16, 400, "0.68", false},  {0, 10000, "1.00", false},
        {0, 10040, "1.00", false},  {0, 10100, "1.01", true},  {26, 4999, "49.99", true},
        {26, 5000, "50.00", false}, {60, 5000, "", false},  // level outside the table: ViewScale 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.level) + " " + std::to_string(c.width));
        LoadLibrary({{"tiny", 0, 0, 1, 1}, {"p", 0, 0, c.width, c.width}});
        state_.ViewScale = 0.0f;
        SetLevel(c.level);
        LoadMapImages(state_, nullptr);
        EXPECT_EQ(state_.ShownMapCount, c.shown ? 1 : 0);
        for (const auto& row : state_.Maps.MapIndexGrid) {
            if (row.photo == 1 && *c.screenWidth != '\0') {
                EXPECT_EQ(row.ScreenWidth, c.screenWidth);
            }
        }
    }
}

TEST_F(MapViewTest, OnePhotographIsShownAtEveryScale)
{
    LoadLibrary({{"only.jpg", 0, 0, 1, 1}});
    for (int level : {0, 16, 44}) {
        SetLevel(level);
        RecordingSlots slots;
        LoadMapImages(state_, &slots);
        EXPECT_EQ(state_.ShownMapCount, 1);
        EXPECT_EQ(slots.loads, std::vector<std::string>{"0:only.jpg"});
        EXPECT_EQ(slots.toBack, std::vector<int>{0});
    }
}

TEST_F(MapViewTest, UpToNinePhotographsSmallestOnScreenFirst)
{
    LoadLibrary({{"w3000.jpg", 0, 0, 3000, 2000},
                 {"w300.jpg", 100, 0, 300, 200},  // 0.51: too small at level 16
                 {"w1000.jpg", 200, 0, 1000, 800},
                 {"missing.jpg", 300, 0, 2000, 1000},
                 {"w1500.jpg", 400, 0, 1500, 1000}});
    SetLevel(16);
    SetView(0, 0);
    RecordingSlots slots;
    LoadMapImages(state_, &slots);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"w1000.jpg", "w1500.jpg", "missing.jpg", "w3000.jpg"}));
    // Every chosen row is processed, also the one whose picture failed.
    EXPECT_EQ(slots.loads,
              (std::vector<std::string>{"0:w1000.jpg", "1:w1500.jpg", "2:missing.jpg", "3:w3000.jpg"}));
    EXPECT_EQ(slots.toBack, std::vector<int>{0});
    const auto& grid = state_.Maps.MapIndexGrid;
    EXPECT_EQ(grid[0].Distance, "200.00");
    EXPECT_EQ(grid[4].Index, "1");
    EXPECT_EQ(grid[4].Distance, "9999999");
    EXPECT_EQ(grid[4].ScreenWidth, "0.51");
}

TEST_F(MapViewTest, EqualKeysKeepTheirRowOrder)
{
    LoadLibrary({{"a", 0, 0, 2000, 1500}, {"b", 500, 0, 2000, 1500}, {"small", 0, 0, 100, 75},
                 {"c", 900, 0, 2000, 1500}, {"d", 0, 0, 1000, 750}});
    SetLevel(16);
    LoadMapImages(state_, nullptr);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"d", "a", "b", "c"}));
    // Rows below the chosen ones keep their order too.
    EXPECT_EQ(state_.Maps.MapIndexGrid[4].Index, "2");
}

TEST_F(MapViewTest, TenOrMorePhotographsNineNearestWeightedByAspect)
{
    // Twelve photographs, height = width / 2, so MapAspect = 0.5: eleven in a
    // line north of the view centre, one 17 km east, which counts as 8.5 km.
    std::vector<Photo> photos;
    for (int k = 1; k <= 11; ++k) photos.push_back({"n" + std::to_string(k), 0, 1000.0 * k, 1000, 500});
    photos.push_back({"east", 17000, 0, 1000, 500});
    LoadLibrary(photos);
    EXPECT_FLOAT_EQ(state_.Maps.MapAspect, 0.5f);
    SetLevel(16);
    SetView(0, 0);
    LoadMapImages(state_, nullptr);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "east"}));
    EXPECT_EQ(state_.Maps.MapIndexGrid[8].Distance, "8500.00");

    // Zooming out until the photographs are too small shows none of them.
    for (int i = 0; i < 20; ++i) ZoomUpDownCmd(state_, 1, nullptr);
    EXPECT_EQ(state_.ScaleLevel, 0);
    EXPECT_EQ(state_.ShownMapCount, 0);
}

TEST_F(MapViewTest, ZoomAndPan)
{
    struct Zoom {
        int from, index, to;
    };
    for (const auto& z : {Zoom{16, 0, 17}, Zoom{16, 1, 15}, Zoom{44, 0, 44}, Zoom{0, 1, 0}, Zoom{60, 0, 44},
                          Zoom{16, 5, 16}}) {
        SetLevel(z.from);
        ZoomUpDown(state_, z.index);
        EXPECT_EQ(state_.ScaleLevel, z.to);
        EXPECT_FLOAT_EQ(state_.ViewScale, state_.Scales[static_cast<std::size_t>(z.to)].unitsPerMetre);
    }

    struct Pan {
        int level, index;
        double de, dn;  // expected move [m]
    };
    const Pan pans[] = {
        {26, 0, -100, 0}, {26, 3, 100, 0}, {26, 1, 0, 100}, {26, 2, 0, -100}, {0, 3, 10000, 0},
    };
    for (const auto& p : pans) {
        SCOPED_TRACE(std::to_string(p.level) + "/" + std::to_string(p.index));
        SetLevel(p.level);
        SetView(1000, 2000);
        MoveView(state_, p.index);
        EXPECT_NEAR(state_.ViewCentreEasting, 1000 + p.de, 0.01);
        EXPECT_NEAR(state_.ViewCentreNorthing, 2000 + p.dn, 0.01);
    }
    // No scale: the view does not move.
    state_.ViewScale = 0.0f;
    SetView(1000, 2000);
    MoveView(state_, 0);
    EXPECT_EQ(state_.ViewCentreEasting, 1000);
}

TEST_F(MapViewTest, PanSelectsTheNextPhotograph)
{
    LoadLibrary({{"a", 0, 0, 1000, 1000}, {"b", 300, 0, 1000, 1000}});
    SetLevel(26);  // one pan step = 100 m
    SetView(0, 0);
    state_.PosEasting = 0;
    EXPECT_EQ(FirstActivation(state_, nullptr), 1);
    EXPECT_EQ(state_.CurrentMapIndex, 0);
    MoveImgCmd(state_, 3, nullptr);  // "左へシフト": easting +100
    EXPECT_EQ(state_.CurrentMapIndex, 0);
    MoveImgCmd(state_, 3, nullptr);  // 200 m: b is nearer
    EXPECT_EQ(state_.CurrentMapIndex, 1);
    EXPECT_EQ(state_.QuadrantEW, -1);  // the fix at 0 lies west of b
}

TEST(PictureCoordinatesTest, RoundTrip)
{
    NavState s;
    s.ViewScale = 0.17f;
    s.ViewCentreEasting = -12345.6;
    s.ViewCentreNorthing = -35000.2f;
    const auto p = PlaneToPicture(s, -12345.6 + 1000, -35000.2 - 500);
    EXPECT_NEAR(p.x, 170, 1e-3);
    EXPECT_NEAR(p.y, -85, 1e-2);
    double e = 0, n = 0;
    PictureToPlane(s, p.x, p.y, e, n);
    EXPECT_NEAR(e, -11345.6, 1e-6);
    EXPECT_NEAR(n, -35500.2, 1e-2);
}

// The quick rounding gives the same text and value as the file format.
TEST(RoundFixed2Test, AgreesWithTheFixedFormat)
{
    std::vector<double> values = {0,     0.005,  1.005, 2.675, 1.015, -1.005, 0.125, 49.995, 9999999.995,
                                  1e7,   1e7 + 0.005, 123456789.125, 1e300, -0.001, 3.4000000357627869};
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, unit(rng) * 9 - 2);
        values.push_back((unit(rng) - 0.3) * magnitude);
        values.push_back(std::floor(unit(rng) * 1e5) / 100.0 + 0.005);  // halves of a hundredth
    }
    for (double v : values) {
        std::string text;
        const double key = RoundFixed2(v, text);
        ASSERT_EQ(text, FormatFixed(v, 2)) << v;
        ASSERT_EQ(key, NumericValue(text)) << v;
    }
    std::string text;
    EXPECT_EQ(RoundFixed2(std::nan(""), text), HUGE_VAL);
}

}  // namespace
}  // namespace tessaro::mapview
