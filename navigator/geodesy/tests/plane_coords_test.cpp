#include "geodesy/plane_coords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tessaro::geodesy {
namespace {

constexpr double kZone9Lat = 36.0;
const double kZone9Lon = 139.0 + 50.0 / 60.0;

class PlaneCoords : public ::testing::Test {
protected:
    void SetUp() override { InitEllipsoid(); }
};

// Reference values of the navigator for zone 9 (to the millimetre).
TEST_F(PlaneCoords, ForwardMatchesReferencePointsInZone9)
{
    struct Case {
        double lat, lon, northing, easting;
    };
    // the first point is 35d42.1234' 139d45.6789' as the GGA decoder reads it
    const Case cases[] = {
        {35.0 + 42.0 / 60.0 + 7.404 / 3600.0, 139.761315, -33052.977, -6517.124},
        {37.0, 140.5, 111164.960, 59335.553},
        {35.0, 139.0, -110621.373, -76066.793},
    };
    for (const Case& c : cases) {
        const PlanePoint p = LatLonToPlane(c.lat, c.lon, kZone9Lat, kZone9Lon);
        EXPECT_NEAR(p.northing, c.northing, 0.0005) << c.lat << "," << c.lon;
        EXPECT_NEAR(p.easting, c.easting, 0.0005) << c.lat << "," << c.lon;
    }
}

TEST_F(PlaneCoords, EveryOriginConvertsToExactlyZero)
{
    for (const ZoneEntry& z : ZoneTable()) {
        const PlanePoint p = LatLonToPlane(z.originLat(), z.originLon(), z.originLat(), z.originLon());
        EXPECT_EQ(p.northing, 0.0) << "zone " << z.number;
        EXPECT_EQ(p.easting, 0.0) << "zone " << z.number;
    }
}

// The origin's meridian arc is remembered between calls; switching origins
// back and forth must give bit-identical results to a first call.
TEST_F(PlaneCoords, ResultsDoNotDependOnThePreviousOrigin)
{
    const PlanePoint first = LatLonToPlane(37.0, 140.5, kZone9Lat, kZone9Lon);
    LatLonToPlane(43.0, 141.3, 44.0, 142.25);
    const PlanePoint again = LatLonToPlane(37.0, 140.5, kZone9Lat, kZone9Lon);
    EXPECT_EQ(first.northing, again.northing);
    EXPECT_EQ(first.easting, again.easting);
}

TEST_F(PlaneCoords, InverseReturnsTheForwardInput)
{
    // near the origin, a few tens of km away, and 1 deg away, in several zones
    struct Case {
        int zone;
        double dLat, dLon;
        double toleranceArcSec;
    };
    const Case cases[] = {
        {9, -0.29794333, -0.072018333, 0.0001}, {9, 0.001, 0.002, 0.00001},
        {9, 1.0, 0.6666667, 0.0001},            {1, -0.5, 0.5, 0.0001},
        {11, 0.7, -0.9, 0.0001},                {18, -1.0, 1.0, 0.0001},
        {16, 1.2, -1.1, 0.0001},
    };
    for (const Case& c : cases) {
        const ZoneEntry& z = ZoneTable()[static_cast<std::size_t>(c.zone - 1)];
        const double lat = z.originLat() + c.dLat;
        const double lon = z.originLon() + c.dLon;
        const PlanePoint p = LatLonToPlane(lat, lon, z.originLat(), z.originLon());
        const LatLon back = PlaneToLatLon(p.easting, p.northing, z.originLat(), z.originLon());
        EXPECT_NEAR(back.lat, lat, c.toleranceArcSec / 3600.0) << "zone " << c.zone;
        EXPECT_NEAR(back.lon, lon, c.toleranceArcSec / 3600.0) << "zone " << c.zone;
    }
    // the reference point, from its rounded plane coordinates
    const LatLon ref = PlaneToLatLon(-6517.124, -33052.977, kZone9Lat, kZone9Lon);
    EXPECT_NEAR(ref.lat, 35.7020567, 0.0001 / 3600.0 + 0.00000005);
    EXPECT_NEAR(ref.lon, 139.761315, 0.0001 / 3600.0);
}

TEST_F(PlaneCoords, InverseHandsBackZeroCoordinatesUnchanged)
{
    const LatLon a = PlaneToLatLon(0.0, -33052.977, kZone9Lat, kZone9Lon);
    EXPECT_EQ(a.lat, 0.0);
    EXPECT_EQ(a.lon, -33052.977);
    const LatLon b = PlaneToLatLon(1234.5, 0.0, kZone9Lat, kZone9Lon);
    EXPECT_EQ(b.lat, 1234.5);
    EXPECT_EQ(b.lon, 0.0);
}

TEST(ZoneTableTest, HoldsTheOriginsAndTextsOfAllZones)
{
    SetZoneTable();
    const ZoneTableArray& t = ZoneTable();
    for (int i = 0; i < kZoneCount; ++i) EXPECT_EQ(t[static_cast<std::size_t>(i)].number, i + 1);
    EXPECT_EQ(std::string(t[0].prefecture), "長崎 ");  // with its trailing space
    EXPECT_EQ(std::string(t[17].prefecture), "東京都－III");  // full-width hyphen
    EXPECT_EQ(std::string(t[13].prefecture), "東京都ーII");
    EXPECT_EQ(std::string(t[8].prefecture), "東京:福島:栃木:茨城:埼玉:千葉:群馬:神奈川");
    EXPECT_DOUBLE_EQ(t[8].originLon(), 139.0 + 50.0 / 60.0);
    EXPECT_DOUBLE_EQ(t[2].originLon(), 132.0 + 10.0 / 60.0);
    EXPECT_EQ(t[18].originLat(), 26.0);  // zone 19 is on 26 deg, only zone 18 on 20
    EXPECT_EQ(t[17].originLat(), 20.0);
    EXPECT_EQ(t[10].originLon(), 140.25);
}

TEST(ZoneSearch, ByLatitudeGroupThenLongitude)
{
    struct Case {
        double lat, lon;
        int byLatLon;
        int nearest;
    };
    const Case cases[] = {
        {38.5, 140.0, 10, 10},
        {35.7, 139.7, 9, 9},
        {35.9, 131.1, 3, 3},    // only the 36 deg zones are candidates for the first search
        {43.0, 141.3, 12, 12},  // 142d15' is 0.95 deg away, 140d15' 1.05 deg
        {34.7, 135.5, 6, 6},
        {24.3, 124.1, 16, 16},
        {0.0, 0.0, 18, 16},
        {37.9, 140.8, 9, 10},   // the 36 deg group is nearer, zone 10's origin is nearer
        {34.5, 132.3, 3, 3},    // exactly between the 33 and 36 deg groups: both are candidates
        {34.5, 133.5, 4, 4},
        {26.0, 125.75, 15, 15}, // exactly halfway between zones 15 and 16: lower number
    };
    for (const Case& c : cases) {
        CurrentZone z;
        FindZoneByLatLon(c.lat, c.lon, z);
        EXPECT_EQ(z.ZoneNo, c.byLatLon) << c.lat << "," << c.lon;
        const ZoneEntry& e = ZoneTable()[static_cast<std::size_t>(z.ZoneNo - 1)];
        EXPECT_EQ(z.ZoneOriginLat, e.originLat());
        EXPECT_EQ(z.ZoneOriginLon, e.originLon());
        FindNearestZone(c.lat, c.lon, z);
        EXPECT_EQ(z.ZoneNo, c.nearest) << c.lat << "," << c.lon;
    }
}

TEST(ZoneSearch, SetCurrentZoneRejectsNumbersOutsideTheTable)
{
    CurrentZone z;
    ASSERT_TRUE(SetCurrentZone(9, z));
    EXPECT_FALSE(SetCurrentZone(0, z));
    EXPECT_FALSE(SetCurrentZone(20, z));
    EXPECT_EQ(z.ZoneNo, 9);
    EXPECT_EQ(z.ZoneOriginLat, 36.0);
}

}  // namespace
}  // namespace tessaro::geodesy
