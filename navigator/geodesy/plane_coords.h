// Japanese plane rectangular coordinates: 19 zones, each a transverse Mercator
// projection of the GRS80 ellipsoid about its own origin, scale factor 0.9999
// on the central meridian. Units: degrees for latitude and longitude (north
// and east positive), metres for plane positions.
//
// Accuracy (details and method in plane_coords.cpp and docs/geodesy.md): the
// forward series is a truncated transverse Mercator expansion; against an
// exact transverse Mercator it is within 3.3 um up to 1 deg of longitude from
// the central meridian, 25 um at 1.5 deg and 0.105 mm at 2 deg.
#pragma once

#include <array>
#include <cstdint>

namespace tessaro::geodesy {

// A plane position relative to a zone origin [m]. The conversions return the
// northing first.
struct PlanePoint {
    double northing = 0.0;
    double easting = 0.0;
};

struct LatLon {
    double lat = 0.0;  // [deg]
    double lon = 0.0;  // [deg]
};

// Sets the ellipsoid constants (a, F, f, sqrt(2F - 1)) and the scale factor.
// Conversions before the first call are not allowed; calling it again changes
// nothing.
void InitEllipsoid();

// The scale factor m0 on the central meridian (0.9999).
double ScaleFactor();

// Forward conversion by the classic series (see plane_coords.cpp).
PlanePoint LatLonToPlane(double lat, double lon, double originLat, double originLon);

// Numeric inverse of LatLonToPlane. Note the argument order: easting first.
// When the easting or the northing is exactly 0 the inputs come back
// unchanged (lat = easting, lon = northing).
LatLon PlaneToLatLon(double easting, double northing, double originLat, double originLon);

// One zone of the table.
struct ZoneEntry {
    int number = 0;               // 1..19
    const char* prefecture = "";  // the text the settings dialog shows
    int latDegrees = 0, latMinutes = 0;
    int lonDegrees = 0, lonMinutes = 0;
    double originLat() const { return latDegrees + latMinutes / 60.0; }
    double originLon() const { return lonDegrees + lonMinutes / 60.0; }
};

constexpr int kZoneCount = 19;
using ZoneTableArray = std::array<ZoneEntry, kZoneCount>;

// Fills the zone table (done once at start-up; the table is also filled when
// the program loads, so reading it earlier is safe).
void SetZoneTable();

// The 19 zones, index 0 = zone 1.
const ZoneTableArray& ZoneTable();

// The current zone, shared by every window.
struct CurrentZone {
    std::int16_t ZoneNo = 0;
    double ZoneOriginLat = 0.0;  // [deg]
    double ZoneOriginLon = 0.0;  // [deg]
};

// Makes zone zoneNo (1..19) current; false, and nothing changed, for any
// other number.
bool SetCurrentZone(int zoneNo, CurrentZone& zone);

// Picks the zone of the nearest origin latitude group, then the nearest origin
// longitude (lower number on ties), and makes it current.
void FindZoneByLatLon(double lat, double lon, CurrentZone& zone);

// Picks the zone whose origin is nearest in degree space (lower number on
// ties) and makes it current.
void FindNearestZone(double lat, double lon, CurrentZone& zone);

}  // namespace tessaro::geodesy
