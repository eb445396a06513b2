// The builder's full read, its checks and the corrections, on folders of
// screenshots drawn with the status-line font.
#include "builder/full_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "builder/map_data_setting.h"
#include "builder/status_font.h"
#include "status_photos.h"
#include "geodesy/plane_coords.h"
#include "shell/values.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::builder {
namespace {

namespace fs = std::filesystem;

using testing::Photo;
using testing::PhotoName;
using testing::WritePhoto;

// A folder of screenshots p01.jpg, p02.jpg, ... and a builder on it in zone 9.
struct Folder {
    testsupport::ScratchDir dir{"fullread"};
    NavState state;
    MapDataSetting setting{state};

    explicit Folder(const std::vector<Photo>& photos)
    {
        geodesy::InitEllipsoid();
        geodesy::SetZoneTable();
        geodesy::SetCurrentZone(9, state.Zone);
        for (std::size_t i = 0; i < photos.size(); ++i) {
            WritePhoto(dir.path() / PhotoName(i), photos[i]);
        }
        setting.Units = ParseUnitGlyphs(UnitGlyphFileLines());
        setting.ChangeFolder(dir.path().string());
        setting.SelectSearchType(2);
    }
    const mapview::MapFileRow& Row(int r) const { return setting.Rows()[static_cast<std::size_t>(r - 1)]; }
};

struct RecordingView : FullReadView {
    std::vector<std::string> messages;
    int pauses = 0, stopAfter = -1;
    void Message(const std::string& t) override { messages.push_back(t); }
    bool Pause() override { return ++pauses != stopAfter; }
};

constexpr Photo kTokyo{"35-42-19.45", "139-45-00.18", 870};
constexpr Photo kTokyo2{"35-42-09.72", "139-45-16.10", 870};
constexpr Photo kSapporo{"43-03-40.00", "141-21-10.00", 870};

TEST(FullReadTest, RestartsEndAndKeepTheRowAsRead)
{
    struct Case {
        const char* what;
        std::vector<Photo> photos;
        std::vector<std::string> messages;
        int passes;
        int option;  // SearchTypeOpt index after the read
        int zone;
        std::vector<int> latSuspects, lonSuspects;
    };
    const std::string alt = kAltitudeMessage, zone = kZoneMessage;
    const Case cases[] = {
        {"plain", {kTokyo, kTokyo2}, {}, 1, 2, 9, {}, {}},
        {"all read 150 m: one switch down, one more pass, then kept",
         {{"35-42-19.45", "139-45-00.18", 150}, {"35-42-09.72", "139-45-16.10", 150}}, {alt}, 2, 1, 9, {}, {}},
        {"6 km: one switch up", {kTokyo, {"35-42-09.72", "139-45-16.10", 6000}}, {alt}, 2, 3, 9, {}, {}},
        {"low and high: each direction once", {{"35-42-19.45", "139-45-00.18", 150}, {"35-42-09.72", "139-45-16.10", 6000}},
         {alt, alt}, 3, 3, 9, {}, {}},
        {"far outside the zone: one zone change", {kSapporo, {"43-03-50.00", "141-21-20.00", 870}}, {zone}, 2, 2, 12, {}, {}},
        {"Ishigaki at 24 degrees: the zone changes, the check still marks 24", {{"24-20-24.00", "124-09-36.00", 870}},
         {zone}, 2, 2, 16, {1}, {}},
        {"two zones in one folder: each zone once", {kTokyo, kSapporo}, {zone}, 2, 2, 12, {2}, {2}},
        {"misread position far from every zone: no switch", {kTokyo, {"45-00-00.00", "125-00-00.00", 870}}, {}, 1, 2, 9,
         {2}, {2}},
        {"an unreadable file changes neither threshold nor zone", {kTokyo, {"", "", -1}}, {}, 1, 2, 9, {2}, {2}},
        {"degrees outside Japan with 150 m: no switch", {kTokyo, {"35-42-09.72", "150-45-16.10", 150}}, {}, 1, 2, 9, {}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f(c.photos);
        RecordingView view;
        const FullReadResult r = f.setting.SetLonLatAndHeightCmd(&view);
        EXPECT_TRUE(r.completed);
        EXPECT_EQ(view.messages, c.messages);
        EXPECT_EQ(r.messages, c.messages);
        EXPECT_EQ(r.passes, c.passes);
        EXPECT_EQ(f.setting.SearchTypeOpt, c.option);
        EXPECT_EQ(f.setting.PixelTxt, ThresholdOfOption(c.option));
        EXPECT_EQ(f.state.Zone.ZoneNo, c.zone);
        ASSERT_EQ(f.setting.MapRowCount, static_cast<int>(c.photos.size()));
        EXPECT_EQ(f.setting.Suspect.latRows, c.latSuspects);
        EXPECT_EQ(f.setting.Suspect.lonRows, c.lonSuspects);
        EXPECT_EQ(f.setting.MissDataLbl, !c.latSuspects.empty() || !c.lonSuspects.empty());
        for (int row = 1; row <= f.setting.MapRowCount; ++row) {
            const auto& got = f.Row(row);
            const Photo& p = c.photos[static_cast<std::size_t>(row - 1)];
            EXPECT_EQ(got[0], std::to_string(row));
            EXPECT_EQ(got[7], std::to_string(c.zone));
            if (p.altitude < 0) {
                EXPECT_EQ(got[2] + got[3] + got[4] + got[5], "0");
                continue;
            }
            EXPECT_EQ(got[2], p.lat);
            EXPECT_EQ(got[4], std::to_string(p.altitude));
            // Footprint and centre of the zone the read ended in.
            EXPECT_EQ(got[5], FormatFixed(p.altitude * 1.15, 0));
            EXPECT_EQ(got[6], FormatFixed(p.altitude * 1.15 * 0.75, 0));
            const auto plane = geodesy::LatLonToPlane(DegreesOfText(p.lat), DegreesOfText(p.lon), f.state.Zone.ZoneOriginLat,
                                                      f.state.Zone.ZoneOriginLon);
            EXPECT_EQ(got[8], FormatFixed(plane.easting, 2));
            EXPECT_EQ(got[9], FormatFixed(plane.northing, 2));
        }
    }
}

TEST(FullReadTest, ProgressAspectEmptyFolderAndStop)
{
    Folder three({kTokyo, kTokyo2, {"35-41-34.04", "139-45-36.02", 391}});
    const FullReadResult r = three.setting.InitializeCmd();
    EXPECT_EQ(r.progress, (std::vector<int>{0, 33, 66, 99}));
    EXPECT_FALSE(three.setting.MissDataLbl);  // the initialise button does not check
    EXPECT_EQ(three.Row(3)[5], "450");
    EXPECT_EQ(three.Row(3)[6], "337");

    // An empty folder: headers only, no division by zero.
    Folder none({});
    const FullReadResult e = none.setting.SetLonLatAndHeightCmd();
    EXPECT_TRUE(e.completed);
    EXPECT_EQ(e.passes, 0);
    EXPECT_TRUE(e.progress.empty());
    EXPECT_EQ(none.setting.MapRowCount, 0);
    EXPECT_EQ(none.setting.GridRows(), 1);

    // The view stops the read in its pause after the second photograph.
    Folder stopped({kTokyo, kTokyo2, kTokyo});
    RecordingView view;
    view.stopAfter = 2;
    const FullReadResult s = stopped.setting.SetLonLatAndHeightCmd(&view);
    EXPECT_FALSE(s.completed);
    EXPECT_EQ(stopped.setting.MapRowCount, 2);
    EXPECT_FALSE(stopped.setting.MissDataLbl);
}

mapview::MapFileRow RowOf(const std::string& lat, const std::string& lon)
{
    mapview::MapFileRow r;
    r[2] = lat;
    r[3] = lon;
    return r;
}

TEST(CheckTest, SuspectCells)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> rows;
        std::vector<int> lat, lon;
    };
    const Case cases[] = {
        {"35 and 36 degrees: the second row", {{"35-00-00.00", "139-00-00.00"}, {"36-00-00.00", "139-00-00.00"}}, {2}, {}},
        {"150 degrees east", {{"35-00-00.00", "139-00-00.00"}, {"35-00-00.00", "150-00-00.00"}}, {}, {2}},
        {"short or garbled texts", {{"35-00-00.00", "139-00-00.00"}, {"35-00-0.00", "139-0000.00"}, {"", ""}}, {2, 3}, {2, 3}},
        {"a bad first row makes every later cell suspect",
         {{"20-00-00.00", "139-00-00.00"}, {"35-00-00.00", "139-00-00.00"}}, {1, 2}, {}},
        {"bounds are exclusive", {{"24-00-00.00", "122-00-00.00"}, {"46-00-00.00", "146-00-00.00"}}, {1, 2}, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<mapview::MapFileRow> rows;
        for (const auto& [lat, lon] : c.rows) rows.push_back(RowOf(lat, lon));
        const Suspects s = CheckRows(rows);
        EXPECT_EQ(s.latRows, c.lat);
        EXPECT_EQ(s.lonRows, c.lon);
        for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
            EXPECT_EQ(s.latSuspect(r), std::find(c.lat.begin(), c.lat.end(), r) != c.lat.end());
            EXPECT_EQ(s.lonSuspect(r), std::find(c.lon.begin(), c.lon.end(), r) != c.lon.end());
        }
    }
    // 60 suspect rows: the list holds 51, every cell is flagged.
    std::vector<mapview::MapFileRow> many(61, RowOf("35-00-00.00", "139-00-00.00"));
    for (std::size_t i = 1; i < many.size(); ++i) many[i][2] = "37-00-00.00";
    const Suspects s = CheckRows(many);
    EXPECT_EQ(s.latRows.size(), 51u);
    EXPECT_EQ(s.latRows.back(), 52);
    EXPECT_TRUE(s.latSuspect(61));
}

TEST(CorrectionTest, PositionAltitudeFillDownAndDelete)
{
    Folder f({kTokyo, {"36-42-09.72", "139-45-16.10", 870}, kTokyo2, kTokyo, kTokyo2, kTokyo,
              {"35-42-09.72", "139-45-16.10", 870, 800, 400}});
    f.setting.SetLonLatAndHeightCmd();
    ASSERT_EQ(f.setting.MapRowCount, 7);
    EXPECT_EQ(f.setting.Suspect.latRows, std::vector<int>{2});
    EXPECT_EQ(f.Row(7)[6], "500");  // the photograph's own aspect: 1000.5 x 0.5

    // Checking again starts from empty lists.
    f.setting.CheckMissData();
    EXPECT_EQ(f.setting.Suspect.latRows, std::vector<int>{2});

    EXPECT_FALSE(f.setting.CorrectPosition(2, 2, "35", "39", "29,45"));
    EXPECT_EQ(f.Row(2)[2], "36-42-09.72");
    ASSERT_TRUE(f.setting.CorrectPosition(2, 2, "35", "39", "29.45"));
    EXPECT_EQ(f.Row(2)[2], "35-39-29.45");
    const auto plane = geodesy::LatLonToPlane(35 + 39 / 60.0 + 29.45 / 3600, DegreesOfText("139-45-16.10"), 36.0, 139 + 50 / 60.0);
    EXPECT_EQ(f.Row(2)[8], FormatFixed(plane.easting, 2));
    EXPECT_EQ(f.Row(2)[9], FormatFixed(plane.northing, 2));
    EXPECT_TRUE(f.setting.Suspect.latRows.empty());
    EXPECT_FALSE(f.setting.MissDataLbl);
    EXPECT_FALSE(f.setting.CorrectPosition(2, 4, "1", "2", "3"));

    // A corrected altitude: 1.165 m per metre and the photograph's aspect.
    EXPECT_FALSE(f.setting.CorrectAltitude(7, "1,500"));
    ASSERT_TRUE(f.setting.CorrectAltitude(7, "1000"));
    EXPECT_EQ(f.Row(7)[4], "1000");
    EXPECT_EQ(f.Row(7)[5], "1165");
    EXPECT_EQ(f.Row(7)[6], "583");  // 1165 x 0.5

    // Fill-down from row 3 to row 6.
    ASSERT_TRUE(f.setting.CorrectAltitude(3, "500"));
    f.setting.FillDownAltitude(3, 6);
    for (int r = 4; r <= 6; ++r) {
        EXPECT_EQ(f.Row(r)[4], "500");
        EXPECT_EQ(f.Row(r)[5], "583");  // 582.5
        EXPECT_EQ(f.Row(r)[6], "437");  // 436.875
    }
    EXPECT_EQ(f.Row(7)[4], "1000");

    // Deleting a row renumbers the rest; the check follows.
    f.setting.CorrectPosition(5, 3, "150", "00", "00.00");
    EXPECT_EQ(f.setting.Suspect.lonRows, std::vector<int>{5});
    ASSERT_TRUE(f.setting.DeleteRow(2));
    ASSERT_EQ(f.setting.MapRowCount, 6);
    for (int r = 1; r <= 6; ++r) EXPECT_EQ(f.Row(r)[0], std::to_string(r));
    EXPECT_EQ(f.Row(2)[1], "p03.jpg");
    EXPECT_EQ(f.setting.Suspect.lonRows, std::vector<int>{4});
    EXPECT_FALSE(f.setting.DeleteRow(7));
    EXPECT_FALSE(f.setting.DeleteRow(0));
}

TEST(CorrectionTest, StripsAreCutToThePicture)
{
    struct Case {
        int width, height, xs, xs2;
        int latWidth, latHeight, altWidth;
    };
    const Case cases[] = {
        {800, 600, 100, 600, 251, 16, 200},
        {800, 10, -10, 700, 241, 10, 100},  // no status line found: xs = -10
        {200, 600, 100, 300, 100, 16, 0},   // both strips run past the right edge
        {0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        RgbPicture photo{c.width, c.height, {}};
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                photo.rgb.insert(photo.rgb.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
        WorkTables tables;
        tables.textStart = c.xs;
        tables.altitudeStart = c.xs2;
        const StripPreview p = CutStrips(photo, tables);
        EXPECT_EQ(p.latLon.width, c.latWidth);
        EXPECT_EQ(p.altitude.width, c.altWidth);
        EXPECT_EQ(p.latLon.height, c.latHeight);
        EXPECT_EQ(p.latLon.rgb.size(), static_cast<std::size_t>(c.latWidth * c.latHeight * 3));
        if (c.latWidth > 0) {
            // The strip's first pixel is the picture's at (max(xs, 0), H - 16).
            EXPECT_EQ(p.latLon.rgb[0], static_cast<std::uint8_t>(std::max(c.xs, 0)));
            EXPECT_EQ(p.latLon.rgb[1], static_cast<std::uint8_t>(std::max(c.height - 16, 0)));
        }
    }
    Folder f({kTokyo});
    f.setting.SetLonLatAndHeightCmd();
    const StripPreview p = f.setting.PreviewStrips(1);
    EXPECT_EQ(p.latLon.width, 251);
    EXPECT_EQ(p.latLon.height, 16);
    EXPECT_GT(p.altitude.width, 0);
    EXPECT_EQ(f.setting.ImageWidthPx, 800.0f);
    EXPECT_EQ(f.setting.PreviewStrips(2).latLon.width, 0);
}

}  // namespace
}  // namespace tessaro::builder
