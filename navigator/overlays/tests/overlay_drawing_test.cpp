// The drawers on the widget-free picture model: exact figures, range tests and
// the ring search of the trail dot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "overlay_fixture.h"

namespace tessaro::overlays {
namespace {

using testing::FakeFootprints;
using testing::UseLevel;
using Kind = DrawOp::Kind;

struct Drawing : ::testing::Test {
    NavState s;
    PictureArea pic;
    FakeFootprints maps;
    int waits = 0;
    OverlayContext ctx{s, pic, &maps, [this](double) { ++waits; }};

    std::vector<DrawOp> OpsOf(Kind kind) const
    {
        std::vector<DrawOp> out;
        for (const auto& op : pic.Ops())
            if (op.kind == kind) out.push_back(op);
        return out;
    }
};

TEST_F(Drawing, ScaleBarAtLevel21)
{
    s.ScaleLevel = 21;
    ShowAllData(ctx);
    EXPECT_FLOAT_EQ(s.ViewScale, 0.4f);
    const auto& ops = pic.Ops();
    ASSERT_GE(ops.size(), 9u);
    // Box, bar, six ticks, label: the first figures after the clear.
    EXPECT_EQ(ops[0].kind, Kind::FilledBox);
    EXPECT_DOUBLE_EQ(ops[0].x1, -384);
    EXPECT_DOUBLE_EQ(ops[0].y1, -297);
    EXPECT_NEAR(ops[0].x2, -164, 1e-4);
    EXPECT_DOUBLE_EQ(ops[0].y2, -329);
    EXPECT_EQ(ops[0].colour, (Rgb{96, 96, 96}));
    EXPECT_EQ(ops[1].kind, Kind::Line);
    EXPECT_DOUBLE_EQ(ops[1].x1, -374);
    EXPECT_DOUBLE_EQ(ops[1].y1, -319);
    EXPECT_NEAR(ops[1].x2, -174, 1e-4);
    EXPECT_EQ(ops[1].colour, (Rgb{224, 255, 0}));
    for (int k = 0; k <= 5; ++k) {
        const DrawOp& tick = ops[static_cast<std::size_t>(2 + k)];
        EXPECT_NEAR(tick.x1, -374 + 40 * k, 1e-4);
        EXPECT_DOUBLE_EQ(tick.y1, -319);
        EXPECT_DOUBLE_EQ(tick.y2, -312);
    }
    const DrawOp& label = ops[8];
    EXPECT_EQ(label.kind, Kind::Text);
    EXPECT_EQ(label.text, "500m");
    EXPECT_DOUBLE_EQ(label.x1, -314);
    EXPECT_DOUBLE_EQ(label.y1, -299);
    EXPECT_EQ(label.fontSize, 12);
    EXPECT_TRUE(label.bold);
    // The compass letters keep the bar's font size.
    const auto texts = OpsOf(Kind::Text);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].text, "N");
    EXPECT_EQ(texts[1].fontSize, 12);
    EXPECT_EQ(texts[2].text, "E");
    EXPECT_DOUBLE_EQ(texts[2].x1, -370);
    EXPECT_DOUBLE_EQ(texts[2].y1, 245);
}

TEST_F(Drawing, EmptyRunDrawsOnlyBarCompassAndPausesOnce)
{
    ShowAllData(ctx);
    EXPECT_EQ(waits, 1);
    // An empty ring has no dot, not even at the zone origin.
    EXPECT_TRUE(OpsOf(Kind::Circle).empty());
    EXPECT_EQ(OpsOf(Kind::FilledBox).size(), 2u);
    EXPECT_EQ(OpsOf(Kind::Line).size(), 7u + 6u);  // bar + ticks, compass
    for (const auto& p : pic.PhotoImg) EXPECT_FALSE(p.visible);
}

TEST_F(Drawing, ScaleLevelBeyondTableKeepsViewScaleAndStillDraws)
{
    s.ScaleLevel = 77;
    s.ViewScale = 0.25f;
    ShowAllData(ctx);
    EXPECT_FLOAT_EQ(s.ViewScale, 0.25f);
    const auto texts = OpsOf(Kind::Text);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0].text, "");  // no label for a level outside the table
}

TEST_F(Drawing, RecordedTrackIsBrokenAtTheWindow)
{
    UseLevel(s, 26);
    s.ShowRecordPoints = true;
    // 600 units apart along x, then back inside.
    const double east[] = {-450, 150, 750, 150};
    const float north[] = {0, 0, 0, -200};
    for (int i = 0; i < 4; ++i) {
        s.RecordPointEasting[static_cast<std::size_t>(i)] = east[i];
        s.RecordPointNorthing[static_cast<std::size_t>(i)] = north[i];
    }
    s.RecordPointCount = 4;
    pic.ClearDrawing();
    DrawRecordedTrack(ctx);
    const auto circles = OpsOf(Kind::Circle);
    const auto lines = OpsOf(Kind::Line);
    ASSERT_EQ(circles.size(), 3u);
    EXPECT_DOUBLE_EQ(circles[2].x1, 150);
    EXPECT_DOUBLE_EQ(circles[2].y1, -200);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lines[0].x1, -450);
    EXPECT_DOUBLE_EQ(lines[0].x2, 150);
    EXPECT_EQ(lines[0].colour, (Rgb{0, 208, 255}));

    // The overlay flags decide what the full redraw adds; the logged track
    // uses the same window rule.
    s.ShowRecordPoints = false;
    s.GGALogShown = true;
    s.GGAPointEasting[0] = 10;
    s.GGAPointEasting[1] = 20;
    s.GGAPointEasting[2] = -501;
    s.GGAPointCount = 3;
    ShowAllData(ctx);
    EXPECT_EQ(OpsOf(Kind::Circle).size(), 2u);  // two log dots; the empty ring has none
}

TEST_F(Drawing, PlacePhotosPlacesSkipsAndPutsTheSmallestInFront)
{
    UseLevel(s, 26);
    maps.maps[0] = {-300, 200, 300, -200};     // 400 high
    maps.maps[1] = {-100, 50, 100, -50};       // 100 high
    maps.maps[2] = {-100, 50, 100, -50};       // same height as 1, later row
    maps.maps[3] = {3900, 100, 4100, -100};    // east edge beyond 4000
    maps.shown = {"0", "2", "1", "3", "250", "-1", "abc"};
    s.ShownMapCount = 7;
    pic.PhotoImg[4].left = 77;  // an unplaced row keeps its geometry
    PlacePhotos(ctx);

    EXPECT_DOUBLE_EQ(pic.PhotoImg[0].left, -300);
    EXPECT_DOUBLE_EQ(pic.PhotoImg[0].top, 200);
    EXPECT_DOUBLE_EQ(pic.PhotoImg[0].width, 600);
    EXPECT_DOUBLE_EQ(pic.PhotoImg[0].height, 400);
    EXPECT_DOUBLE_EQ(pic.PhotoImg[4].left, 77);
    EXPECT_DOUBLE_EQ(pic.PhotoImg[3].width, 0);  // beyond 4000: not placed
    // Row 1 (map 2) and row 2 (map 1) tie at 100 high: the first row wins.
    for (int i = 0; i < 9; ++i) {
        if (i == 1) continue;
        EXPECT_GT(pic.PhotoImg[1].z, pic.PhotoImg[static_cast<std::size_t>(i)].z) << i;
    }
    for (int i = 0; i < 9; ++i) EXPECT_EQ(pic.PhotoImg[static_cast<std::size_t>(i)].visible, i < 7) << i;

    // More rows than slots are cut at the nine slots.
    s.ShownMapCount = 12;
    maps.shown.assign(12, "0");
    PlacePhotos(ctx);
    for (const auto& p : pic.PhotoImg) EXPECT_TRUE(p.visible);
}

TEST_F(Drawing, MarksBeyondSixtyFourGetANumberButNoIcon)
{
    UseLevel(s, 26);
    s.GGALogShown = true;
    s.MKPointCount = 70;
    for (int i = 0; i < 70; ++i) {
        s.MKPointNo[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i + 1);
        s.MKPointEasting[static_cast<std::size_t>(i)] = static_cast<float>(i * 5);
        s.MKPointNorthing[static_cast<std::size_t>(i)] = -20.0f;
    }
    pic.ClearDrawing();
    DrawMarks(ctx);
    const auto texts = OpsOf(Kind::Text);
    ASSERT_EQ(texts.size(), 70u);
    EXPECT_EQ(texts[69].text, " 70 ");
    EXPECT_DOUBLE_EQ(texts[69].x1, 69 * 5 + 13);
    EXPECT_DOUBLE_EQ(texts[69].y1, -28);
    EXPECT_EQ(texts[69].colour, (Rgb{255, 128, 255}));
    EXPECT_EQ(texts[69].fontSize, 14);
    EXPECT_TRUE(pic.MarkPointImg[63].visible);
    EXPECT_DOUBLE_EQ(pic.MarkPointImg[63].left, 63 * 5 - 8);
    EXPECT_DOUBLE_EQ(pic.MarkPointImg[63].top, -12);

    // A mark without a place (read before any position of its log) is not
    // drawn at the zone origin.
    s.MKPointPlaced[2] = 0;
    for (auto& icon : pic.MarkPointImg) icon.visible = false;
    pic.ClearDrawing();
    DrawMarks(ctx);
    EXPECT_EQ(OpsOf(Kind::Text).size(), 69u);
    EXPECT_FALSE(pic.MarkPointImg[2].visible);
    EXPECT_TRUE(pic.MarkPointImg[3].visible);
}

TEST_F(Drawing, MeasureLineDrawsAndMovesTheLastPoint)
{
    UseLevel(s, 21);  // 0.4 units per metre
    s.MeasureEasting[0] = 0;
    s.MeasureEasting[1] = 100;
    s.MeasureNorthing[1] = 50;
    s.MeasureCount = 1;
    pic.ClearDrawing();
    DrawMeasureLine(ctx);
    EXPECT_EQ(OpsOf(Kind::Circle).size(), 1u);
    EXPECT_TRUE(OpsOf(Kind::Line).empty());

    s.MeasureCount = 2;
    pic.ClearDrawing();
    DrawMeasureLine(ctx);
    EXPECT_EQ(OpsOf(Kind::Circle).size(), 2u);
    const auto lines = OpsOf(Kind::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].colour, (Rgb{255, 100, 100}));
    EXPECT_NEAR(s.MeasureLastX, 40, 1e-5);
    EXPECT_NEAR(s.MeasureLastY, 20, 1e-5);

    // A count beyond the list stops at its end.
    s.MeasureCount = 900;
    pic.ClearDrawing();
    DrawMeasureLine(ctx);
    EXPECT_EQ(OpsOf(Kind::Circle).size(), 501u);
}

struct TrackCase {
    const char* name;
    int count, index;
    std::vector<int> slots;  // the slots drawn, in drawing order
};

std::vector<int> Slots(int from, int downTo)
{
    std::vector<int> out;
    for (int i = from; i >= downTo; --i) out.push_back(i);
    return out;
}

// The recent track is the TrackCount newest fixes and nothing else: no dot
// for a slot that was never written (the zone origin) or that holds an
// earlier run's fix.
TEST_F(Drawing, TrackDrawsTheNewestFixesOfTheRingOnly)
{
    std::vector<int> wrapped = Slots(4, 0);
    for (int i : Slots(600, 6)) wrapped.push_back(i);
    const TrackCase cases[] = {
        {"first run, no fix", 0, 0, {}},
        {"two fixes", 2, 2, {1, 0}},
        {"one fix after clearing", 1, 3, {2}},
        {"stopped and started again", 0, 7, {}},
        {"600 fixes, slot 600 unwritten", 600, 600, Slots(599, 0)},
        {"wrapped ring", 600, 5, wrapped},
    };
    UseLevel(s, 26);
    // Slot i lies i + 1 metres east of the view centre.
    for (int i = 0; i < TrackRing::kSlots; ++i) s.Track.TrackEasting[static_cast<std::size_t>(i)] = float(i + 1);
    for (const TrackCase& c : cases) {
        SCOPED_TRACE(c.name);
        s.Track.TrackCount = static_cast<std::int16_t>(c.count);
        s.Track.TrackIndex = static_cast<std::int16_t>(c.index);
        pic.ClearDrawing();
        DrawTrack(ctx);
        std::vector<int> drawn;
        for (const DrawOp& op : OpsOf(Kind::Circle)) {
            EXPECT_EQ(op.colour, (Rgb{0, 200, 255}));
            drawn.push_back(static_cast<int>(std::lround(op.x1 / s.ViewScale)) - 1);
        }
        EXPECT_EQ(drawn, c.slots);
    }
}

struct TrailCase {
    const char* name;
    int count, index;
    float stillEast;  // where the last fixes stand
    int farSlot;      // the one distant fix
    float farEast;
    bool drawn;
    double x;
};

class TrailPoint : public Drawing, public ::testing::WithParamInterface<TrailCase> {};

TEST_P(TrailPoint, FindsTheNewestFixOutsideTheMarker)
{
    const TrailCase& c = GetParam();
    UseLevel(s, 26);
    s.Track.TrackCount = static_cast<std::int16_t>(c.count);
    s.Track.TrackIndex = static_cast<std::int16_t>(c.index);
    s.Track.TrackEasting.fill(c.stillEast);
    s.Track.TrackEasting[static_cast<std::size_t>(c.farSlot)] = c.farEast;
    DrawTrailPoint(ctx, c.stillEast, 0);
    const auto circles = OpsOf(Kind::Circle);
    ASSERT_EQ(circles.size(), c.drawn ? 1u : 0u);
    if (c.drawn) {
        EXPECT_DOUBLE_EQ(circles[0].x1, c.x);
        EXPECT_EQ(circles[0].colour, (Rgb{100, 200, 255}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ring, TrailPoint,
    ::testing::Values(
        TrailCase{"newest_distant_below_index", 40, 40, 0, 12, 50, true, 50},
        TrailCase{"within_ten_units_is_hidden", 40, 40, 0, 12, 9, false, 0},
        TrailCase{"wrapped_ring_searches_upper_slots", 600, 10, 0, 590, -60, true, -60},
        TrailCase{"unwrapped_ring_ignores_upper_slots", 599, 10, 0, 590, -60, false, 0},
        TrailCase{"found_but_outside_window", 40, 40, 0, 12, 600, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro::overlays
