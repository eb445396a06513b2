// The pointer tools on the widget-free picture model with a recording fake of
// the window: measuring, the coordinate boxes, typed positions, the info
// label, and the conversion of pointer positions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "mapview/map_view.h"
#include "pointer/pointer_tools.h"

namespace tessaro::pointer {
namespace {

using Kind = overlays::DrawOp::Kind;

struct FakeWindow : PointerWindow {
    NavState& state;
    explicit FakeWindow(NavState& s) : state(s) {}
    std::string measure;
    std::string boxE, boxN;
    DmsTexts lat, lon;
    bool buttons = false;
    bool measuringPointer = false;
    int redraws = 0, recordRedraws = 0;
    std::vector<std::pair<double, double>> centredOn;
    std::vector<std::string> messages;
    // Called from RedrawAll, as the window's full redraw does.
    PointerTools* tools = nullptr;

    void SetMeasureText(const std::string& t) override { measure = t; }
    void SetCoordinateBoxes(const std::string& e, const std::string& n) override
    {
        boxE = e;
        boxN = n;
    }
    void SetDegreeBoxes(const DmsTexts& a, const DmsTexts& b) override
    {
        lat = a;
        lon = b;
    }
    void SetPositionButtonsEnabled(bool on) override { buttons = on; }
    void UseMeasuringPointer(bool on) override { measuringPointer = on; }
    void RedrawAll() override
    {
        ++redraws;
        if (tools) tools->PlaceMarkers();
    }
    void RedrawRecordOverlays() override { ++recordRedraws; }
    void CentreViewOn(double e, double n) override
    {
        centredOn.emplace_back(e, n);
        state.ViewCentreEasting = e;
        state.ViewCentreNorthing = static_cast<float>(n);
        RedrawAll();
    }
    void Message(const std::string& t) override { messages.push_back(t); }
};

struct Tools : ::testing::Test {
    NavState s;
    overlays::PictureArea pic;
    FakeWindow win{s};
    PointerTools tools{s, pic, win};

    void SetUp() override
    {
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, s.Zone);
        UseLevel(21);
        win.tools = &tools;
    }
    void UseLevel(int level)
    {
        s.ScaleLevel = level;
        mapview::ApplyScaleLevel(s);
    }
    std::size_t Count(Kind kind) const
    {
        std::size_t n = 0;
        for (const auto& op : pic.Ops()) n += op.kind == kind;
        return n;
    }
    PicturePoint MarkerCentre() const { return {pic.PointImg.left + 10, pic.PointImg.top - 10}; }
};

TEST(PointerPosition, PhotoOffsetsInTwipsBecomeWholeUnitsHalvesToEven)
{
    struct Case {
        double left, top, offX, offY;
        double x, y;
    };
    const Case cases[] = {
        {-200, 100, 1507, 0, -100, 100},  // 100.47 units
        {0, 0, 22.5, 22.5, 2, -2},        // 1.5 -> 2
        {0, 0, 37.5, 37.5, 2, -2},        // 2.5 -> 2
        {10, -5, 7.4, 52.5, 10, -9},      // 0.49 -> 0, 3.5 -> 4
    };
    for (const Case& c : cases) {
        const PicturePoint p = PhotoOffsetToPicture(c.left, c.top, c.offX, c.offY);
        EXPECT_DOUBLE_EQ(p.x, c.x) << c.offX;
        EXPECT_DOUBLE_EQ(p.y, c.y) << c.offY;
    }
}

TEST(PointerPosition, PhotographAndBarePictureGiveTheSamePosition)
{
    // Unit positions as a scaled widget's mapping gives them (fractions of a
    // unit), over photographs whose corners lie off the whole units, as the
    // view places them.
    overlays::PictureItem photos[2];
    photos[0].left = -250.0;
    photos[0].top = 213.0;
    photos[1].left = -250.37;
    photos[1].top = 212.5;
    struct Case {
        double x, y, wantX, wantY;
    };
    const Case cases[] = {
        {-100.0, -40.0, -100, -40}, {-99.5, -39.5, -100, -40}, {-98.5, 0.5, -98, 0},
        {0.25, 33.49, 0, 33},       {17.7, 100.51, 18, 101},   {120.5, -0.5, 120, 0},
    };
    for (const Case& c : cases)
        for (const overlays::PictureItem* over : {&photos[0], &photos[1], static_cast<overlays::PictureItem*>(nullptr)}) {
            const PicturePoint p = PointerPosition(c.x, c.y, over);
            EXPECT_DOUBLE_EQ(p.x, c.wantX) << c.x;
            EXPECT_DOUBLE_EQ(p.y, c.wantY) << c.y;
        }
}

TEST_F(Tools, MeasuringSumsThePolylineAtLevel21)
{
    ASSERT_FLOAT_EQ(s.ViewScale, 0.4f);
    tools.MeasuringPressed(true);
    EXPECT_TRUE(win.measuringPointer);
    EXPECT_EQ(s.PointerMode, 2);

    tools.LeftPressed({0, 0});
    // The first point is only a dot.
    EXPECT_EQ(Count(Kind::Circle), 1u);
    EXPECT_EQ(Count(Kind::Line), 0u);
    EXPECT_EQ(win.measure, "");
    tools.LeftPressed({30, 40});
    EXPECT_EQ(win.measure, "125.0");
    tools.LeftPressed({30, 0});
    EXPECT_EQ(win.measure, "225.0");
    EXPECT_EQ(Count(Kind::Line), 2u);
    EXPECT_EQ(s.MeasureCount, 3);
    // The points are kept on the ground: 30 units right of the centre at
    // 0.4 units a metre is 75 m east.
    EXPECT_FLOAT_EQ(s.MeasureEasting[2], static_cast<float>(s.ViewCentreEasting + 75.0));
    EXPECT_FLOAT_EQ(s.MeasureNorthing[1], s.ViewCentreNorthing + 100.0f);

    tools.MeasuringPressed(false);
    EXPECT_EQ(win.measure, "0");
    EXPECT_EQ(s.MeasureCount, 0);
    EXPECT_EQ(s.PointerMode, -1);
    EXPECT_FALSE(win.measuringPointer);
    EXPECT_EQ(win.redraws, 1);
}

TEST_F(Tools, MeasuringStopsAtTheLastPointAndSaysSo)
{
    tools.MeasuringPressed(true);
    for (int i = 0; i < NavState::kMeasureCapacity; ++i) tools.LeftPressed({static_cast<double>(i % 2), 0});
    ASSERT_EQ(s.MeasureCount, NavState::kMeasureCapacity);
    EXPECT_EQ(win.measure, "1250.0");  // 500 segments of 2.5 m
    const std::size_t ops = pic.Ops().size();

    tools.LeftPressed({100, 100});
    EXPECT_EQ(s.MeasureCount, NavState::kMeasureCapacity);
    EXPECT_EQ(win.measure, "1250.0");
    EXPECT_EQ(pic.Ops().size(), ops);
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0], kMeasureFullMessage);
}

TEST_F(Tools, AScaleOfZeroLeavesBothToolsIdle)
{
    UseLevel(47);  // in the table, with a scale of 0
    ASSERT_EQ(s.ViewScale, 0.0f);
    tools.MeasuringPressed(true);
    tools.LeftPressed({0, 0});
    tools.LeftPressed({30, 40});
    EXPECT_EQ(s.MeasureCount, 0);
    EXPECT_EQ(win.measure, "");
    EXPECT_TRUE(pic.Ops().empty());

    tools.CoordDisplayPressed(true);
    tools.Moved({10, 10});
    tools.ShowTypedCoordinates("100", "100");
    EXPECT_EQ(win.boxE, "");
    EXPECT_FALSE(pic.PointImg.visible);
}

TEST_F(Tools, CoordinateBoxesUnderThePointerAgreeWithTheGeodesyCore)
{
    // A known ground point 120 units right of and 80 below the view centre.
    const double lat = 35.0 + 42.0 / 60 + 7.4 / 3600;
    const double lon = 139.0 + 45.0 / 60 + 40.73 / 3600;
    const geodesy::PlanePoint p = geodesy::LatLonToPlane(lat, lon, 36.0, 139.0 + 50.0 / 60);
    s.ViewCentreEasting = p.easting - 120 / 0.4;
    s.ViewCentreNorthing = static_cast<float>(p.northing + 80 / 0.4);
    const double e = s.ViewCentreEasting + 120 / static_cast<double>(s.ViewScale);
    const double n = static_cast<double>(s.ViewCentreNorthing) - 80 / static_cast<double>(s.ViewScale);

    tools.Moved({120, -80});
    EXPECT_EQ(win.boxE, "");  // only while the coordinate display is on
    tools.CoordDisplayPressed(true);
    EXPECT_TRUE(win.buttons);
    tools.Moved({120, -80});
    EXPECT_EQ(win.boxE, FormatFixed(e, 1));
    EXPECT_EQ(win.boxN, FormatFixed(n, 1));
    EXPECT_NEAR(NumericValue(win.boxE), p.easting, 0.06);
    EXPECT_NEAR(NumericValue(win.boxN), p.northing, 0.06);
    EXPECT_EQ(win.lat, (DmsTexts{"35", "42", "7.40"}));
    EXPECT_EQ(win.lon, (DmsTexts{"139", "45", "40.73"}));
}

TEST(DmsTexts, WholeDegreesMinutesAndSecondsToTheHundredth)
{
    struct Case {
        double degrees;
        DmsTexts texts;
    };
    const Case cases[] = {
        {35.0 + 42.0 / 60 + 7.404 / 3600, {"35", "42", "7.40"}},
        {139.5, {"139", "30", "0.00"}},
        {36.0 + 59.0 / 60 + 59.996 / 3600, {"37", "0", "0.00"}},  // carries, never 60.00
        {36.0 + 12.0 / 60 + 59.999 / 3600, {"36", "13", "0.00"}},
    };
    for (const Case& c : cases) EXPECT_EQ(ToDmsTexts(c.degrees), c.texts) << c.degrees;
    EXPECT_NEAR(FromDmsTexts({"35", "42", "7.4"}), 35.70205556, 1e-8);
    EXPECT_DOUBLE_EQ(FromDmsTexts({"35", "", "x"}), 35.0);
}

TEST_F(Tools, TypedLatLonWithinTheZoneLimitsPlacesTheMarker)
{
    const DmsTexts lat{"35", "42", "7.4"};
    const DmsTexts near{"139", "45", "40.73"};
    const double latDeg = FromDmsTexts(lat);
    const geodesy::PlanePoint p = geodesy::LatLonToPlane(latDeg, FromDmsTexts(near), 36.0, 139.0 + 50.0 / 60);
    s.ViewCentreEasting = p.easting - 200 / 0.4;  // the point 200 units right, 100 up
    s.ViewCentreNorthing = static_cast<float>(p.northing - 100 / 0.4);

    tools.ShowTypedLatLon(lat, near);
    EXPECT_FALSE(pic.PointImg.visible);  // the coordinate display is off

    tools.CoordDisplayPressed(true);
    tools.ShowTypedLatLon(lat, near);
    ASSERT_TRUE(pic.PointImg.visible);
    EXPECT_NEAR(MarkerCentre().x, 200, 1e-3);
    EXPECT_NEAR(MarkerCentre().y, 100, 1e-3);
    EXPECT_TRUE(win.centredOn.empty());

    struct Refused {
        const char* why;
        DmsTexts lat, lon;
    };
    const Refused refused[] = {
        {"longitude 1.3 deg from the origin", lat, {"141", "8", "0"}},
        {"longitude 1.2 deg from the origin", lat, {"138", "38", "0"}},
        {"latitude 2 deg from the origin", {"34", "0", "0"}, near},
    };
    for (const Refused& r : refused) {
        pic.PointImg.visible = false;
        tools.ShowTypedLatLon(r.lat, r.lon);
        EXPECT_FALSE(pic.PointImg.visible) << r.why;
    }
    EXPECT_TRUE(win.centredOn.empty());
}

TEST_F(Tools, APositionOutOfSightRecentresTheViewOnIt)
{
    tools.CoordDisplayPressed(true);
    struct Case {
        double px, py;  // picture position before
        bool recentres;
    };
    const Case cases[] = {
        {499, 0, true},     // inside the window the buttons test, off the picture
        {-600, 20, true},   // outside that window
        {393, -338, false},
    };
    for (const Case& c : cases) {
        win.centredOn.clear();
        const double e = s.ViewCentreEasting + c.px / 0.4;
        const double n = static_cast<double>(s.ViewCentreNorthing) + c.py / 0.4;
        tools.ShowTypedCoordinates(FormatFixed(e, 1), FormatFixed(n, 1));
        ASSERT_TRUE(pic.PointImg.visible);
        const PicturePoint at = mapview::PlaneToPicture(s, NumericValue(FormatFixed(e, 1)),
                                                        NumericValue(FormatFixed(n, 1)));
        EXPECT_NEAR(MarkerCentre().x, at.x, 1e-6);
        EXPECT_NEAR(MarkerCentre().y, at.y, 1e-6);
        EXPECT_EQ(win.centredOn.size(), c.recentres ? 1u : 0u) << c.px;
        if (c.recentres) {
            EXPECT_NEAR(at.x, 0, 0.1);
            EXPECT_NEAR(at.y, 0, 0.1);
        }
    }
}

TEST_F(Tools, MarkerAndInfoLabelFollowTheirGroundThroughRedraws)
{
    tools.MarkPoint(-6517.124, -33052.977);
    EXPECT_EQ(win.boxE, "-6517.124");
    EXPECT_EQ(win.boxN, "-33052.977");
    s.ShowRecordPoints = true;
    s.RecordPointCount = 1;
    s.RecordPointEasting[0] = s.ViewCentreEasting + 50;
    s.RecordPointNorthing[0] = s.ViewCentreNorthing + 25;
    s.RecordPointInfo[0] = "13:34:55";
    tools.RightPressed({20, 10});
    ASSERT_TRUE(pic.TimeHdLbl.visible);

    // Zoom out one level and pan: both items stay on their ground.
    UseLevel(20);
    s.ViewCentreEasting += 40;
    win.RedrawAll();
    const PicturePoint m = mapview::PlaneToPicture(s, -6517.124, -33052.977);
    EXPECT_NEAR(MarkerCentre().x, m.x, 1e-6);
    EXPECT_NEAR(MarkerCentre().y, m.y, 1e-6);
    const PicturePoint q = mapview::PlaneToPicture(s, s.RecordPointEasting[0], s.RecordPointNorthing[0]);
    EXPECT_NEAR(pic.TimeHdLbl.left, q.x, 1e-6);
    EXPECT_NEAR(pic.TimeHdLbl.top, q.y, 1e-6);

    // A left click puts the label away; the zone change drops the marker.
    tools.LeftPressed({0, 0});
    EXPECT_FALSE(pic.TimeHdLbl.visible);
    tools.ForgetPlanePositions();
    EXPECT_FALSE(pic.PointImg.visible);
}

TEST_F(Tools, RightClickShowsTheFirstRecordPointCloserThanTenUnits)
{
    // A scale that is exact in binary, so that 10.0 units is exactly 10.0.
    s.ViewScale = 0.5f;
    s.RecordPointCount = 3;
    // Points 0 and 1 at picture (100, 0) and (103, 0); point 2 at (0, 50).
    s.RecordPointEasting[0] = 200;
    s.RecordPointEasting[1] = 206;
    s.RecordPointNorthing[2] = 100;
    for (int i = 0; i < 3; ++i) s.RecordPointInfo[static_cast<std::size_t>(i)] = "info " + std::to_string(i);

    struct Case {
        PicturePoint at;
        int hit;
    };
    const Case cases[] = {
        {{0, 59.9}, 2}, {{0, 60.0}, -1}, {{0, 40.1}, 2},
        {{104, 0}, 0},  // point 1 is nearer, point 0 comes first
        {{112.9, 0}, 1},
    };
    for (const Case& c : cases) {
        const auto hit = FindNearRecordPoint(s, c.at);
        EXPECT_EQ(hit ? hit->index : -1, c.hit) << c.at.x << "," << c.at.y;
    }

    tools.RightPressed({0, 59.9});
    EXPECT_FALSE(pic.TimeHdLbl.visible);  // no record file shown
    EXPECT_EQ(win.recordRedraws, 0);
    s.ShowRecordPoints = true;
    tools.RightPressed({0, 60.0});
    EXPECT_FALSE(pic.TimeHdLbl.visible);
    EXPECT_EQ(win.recordRedraws, 1);
    tools.RightPressed({0, 59.9});
    ASSERT_TRUE(pic.TimeHdLbl.visible);
    EXPECT_EQ(pic.TimeHdCaption, "info 2");
    EXPECT_NEAR(pic.TimeHdLbl.left, 0, 1e-3);
    EXPECT_NEAR(pic.TimeHdLbl.top, 50, 1e-3);
    EXPECT_EQ(win.recordRedraws, 2);
}

}  // namespace
}  // namespace tessaro::pointer
