// Latitude/longitude <-> Japanese plane rectangular coordinates.
//
// Method. Forward: the classic Gauss-Krueger series of the transverse
// Mercator projection in powers of the longitude difference dl from the
// central meridian, on the GRS80 ellipsoid (a = 6378137 m, 1/f =
// 298.257222101) with scale factor m0 = 0.9999:
//
//   northing = m0 (S(phi) - S(phi0) + N s c dl^2 / 2
//                  + N s c^3 dl^4 / 24 (5 - t^2 + 9 eta^2 + 4 eta^4)
//                  + N s c^5 dl^6 / 720 (61 - 58 t^2 + t^4))
//   easting  = m0 (N c dl + N c^3 dl^3 / 6 (1 - t^2 + eta^2)
//                  + N c^5 dl^5 / 120 (5 - 18 t^2 + t^4))
//
// with s, c, t = sin, cos, tan of the latitude, N the prime-vertical radius
// of curvature and eta^2 = e'^2 c^2. S is the meridian arc by its sine
// series to sin 10 phi with the fixed GRS80 coefficients below.
//
// Truncation. The series stops at dl^6 (northing) and dl^5 (easting) and
// drops the eta^2 parts of those last terms. The leading omitted terms are
//
//   d northing = m0 N s c^5 dl^6 / 720 (270 eta^2 - 330 t^2 eta^2)
//              + m0 N s c^7 dl^8 / 40320 (1385 - 3111 t^2 + 543 t^4 - t^6)
//   d easting  = m0 N c^5 dl^5 / 120 (14 eta^2 - 58 t^2 eta^2)
//              + m0 N c^7 dl^7 / 5040 (61 - 479 t^2 + 179 t^4 - t^6)
//
// so the error grows with the fifth to eighth power of the distance from the
// central meridian and hardly with the distance along it. Measured against an
// exact transverse Mercator (GeographicLib's TransverseMercatorExact) over the
// 2 deg box around all 19 origins (docs/geodesy.md): at most 0.004 um at
// 0.1 deg of longitude from the central meridian, 0.1 um at 0.5 deg, 3.3 um
// at 1 deg, 25 um at 1.5 deg and 0.105 mm at 2 deg, the edge of the box in
// which the navigator converts positions. The terms above account for the
// measured error to within 10 % plus 0.5 um. The meridian arc is good to
// well below 1 um.
//
// Inverse: numeric. Latitude is treated as a function of the northing alone
// and longitude as a function of the easting alone; one secant step with a
// 0.0001 deg offset, then three with 0.00001, 0.000001 and 0.000001 deg.
// Eight forward conversions. Measured round trip (forward, then inverse)
// over all zones: below 1e-9 arc seconds within 0.1 deg of the origin,
// 1e-6" at 0.5 deg, 3.5e-5" (about 1 mm) at 1 deg and 0.0013" (4 cm) at
// 2 deg; what is left is the coupling between latitude and easting that the
// secant steps ignore.
//
// Numerics. Every constant is used exactly as written here (including the
// degree-to-radian factor 3.14159265358979 / 180 and the rounded series
// fractions such as 0.0416666666666667 for 1/24), and every expression is
// evaluated in the order written above, left to right, powers by repeated
// multiplication, so that results match the navigator's stored coordinates
// to the last bit. Nothing that would change a result is precomputed; the
// meridian arc of the zone origin, which depends on the origin latitude
// only, is remembered per thread for the last origin used.
//
// Units: degrees (north and east positive) and metres.
#include "geodesy/plane_coords.h"

#include <cmath>

namespace tessaro::geodesy {

namespace {

// degrees -> radians, 3.14159265358979 / 180, used exactly so
constexpr double kDegToRad = 0.017453292519943278;

// Meridian-arc coefficients (GRS80) of A phi - B/2 sin 2phi + C/4 sin 4phi
// - D/6 sin 6phi + E/8 sin 8phi - F/10 sin 10phi.
constexpr double kArcA = 1.00505250181309;
constexpr double kArcB2 = 0.002531554311112;
constexpr double kArcC4 = 2.65689756575E-06;
constexpr double kArcD6 = 3.47006316666667E-09;
constexpr double kArcE8 = 4.9155E-12;
constexpr double kArcF10 = 7.1E-15;

// Series fractions as the conversion has always used them.
constexpr double kHalf = 0.5;
constexpr double k1_24 = 0.0416666666666667;
constexpr double k1_720 = 0.00138888888888889;
constexpr double k1_6 = 0.166666666666667;
constexpr double k1_120 = 0.00833333333333333;

struct Ellipsoid {
    double a;           // semi-major axis [m]
    double F;           // inverse flattening
    double f;           // flattening
    double sqrt2F1;     // sqrt(2F - 1)
    double scaleFactor; // m0 on the central meridian
};

Ellipsoid MakeEllipsoid()
{
    Ellipsoid e{};
    e.a = 6378137.0;
    e.F = 298.257222101;
    e.f = 1.0 / e.F;
    e.sqrt2F1 = std::sqrt(2.0 * e.F - 1.0);
    e.scaleFactor = 0.9999;
    return e;
}

// Filled at program start with the same values InitEllipsoid sets, so that a
// conversion that runs before the first call still gets the right answer.
Ellipsoid g_ellipsoid = MakeEllipsoid();

// Meridian arc length from the equator to latitude phi [rad] -> [m], with
// aE2 = a (1 - e^2).
double MeridianArc(double phi, double aE2)
{
    const double phi2 = phi + phi;
    const double phi4 = phi2 + phi2;
    const double phi6 = phi4 + phi2;
    const double phi8 = phi4 + phi4;
    const double phi10 = phi4 + phi6;
    return aE2 * (kArcA * phi - kArcB2 * std::sin(phi2) + kArcC4 * std::sin(phi4) -
                  kArcD6 * std::sin(phi6) + kArcE8 * std::sin(phi8) - kArcF10 * std::sin(phi10));
}

// The arc of the last origin latitude seen by this thread. Keyed on the exact
// bits of the inputs, so a hit returns exactly what a fresh computation would.
struct OriginArcCache {
    double phi0 = std::nan("");
    double aE2 = std::nan("");
    double arc = 0.0;
};
thread_local OriginArcCache t_originArc;

double OriginArc(double phi0, double aE2)
{
    OriginArcCache& c = t_originArc;
    if (!(c.phi0 == phi0 && c.aE2 == aE2)) {
        c.arc = MeridianArc(phi0, aE2);
        c.phi0 = phi0;
        c.aE2 = aE2;
    }
    return c.arc;
}

}  // namespace

void InitEllipsoid() { g_ellipsoid = MakeEllipsoid(); }

double ScaleFactor() { return g_ellipsoid.scaleFactor; }

PlanePoint LatLonToPlane(double lat, double lon, double originLat, double originLon)
{
    const Ellipsoid& el = g_ellipsoid;
    const double a = el.a;
    const double m0 = el.scaleFactor;
    // first and second eccentricity, recomputed from F and sqrt(2F - 1)
    const double e = el.sqrt2F1 / el.F;
    const double ep = el.sqrt2F1 / (el.F - 1.0);
    const double e2 = e * e;
    const double ep2 = ep * ep;

    const double phi = lat * kDegToRad;
    const double phi0 = originLat * kDegToRad;
    const double dl = (lon - originLon) * kDegToRad;

    const double s = std::sin(phi);
    const double c = std::cos(phi);
    const double t = std::tan(phi);
    const double W = std::sqrt(1.0 - e2 * (s * s));
    const double N = a / W;
    const double c2 = c * c;
    const double eta2 = ep2 * c2;

    const double aE2 = a * (1.0 - e2);
    const double dS = MeridianArc(phi, aE2) - OriginArc(phi0, aE2);

    const double c3 = c * c * c;
    const double c5 = c3 * c * c;
    const double t2 = t * t;
    const double t4 = t2 * t2;
    const double eta4 = eta2 * eta2;
    const double dl2 = dl * dl;
    const double dl3 = dl2 * dl;
    const double dl4 = dl2 * dl2;
    const double dl5 = dl4 * dl;
    const double dl6 = dl4 * dl2;

    PlanePoint p;
    p.northing = m0 * (dS + kHalf * N * s * c * dl2 +
                       k1_24 * N * s * c3 * (5.0 - t2 + 9.0 * eta2 + 4.0 * eta4) * dl4 +
                       k1_720 * N * s * c5 * (61.0 - 58.0 * t2 + t4) * dl6);
    p.easting = m0 * (N * c * dl + k1_6 * N * c3 * (1.0 - t2 + eta2) * dl3 +
                      k1_120 * N * c5 * (5.0 - 18.0 * t2 + t4) * dl5);
    return p;
}

LatLon PlaneToLatLon(double easting, double northing, double originLat, double originLon)
{
    // A zero coordinate hands the inputs back unchanged; callers rely on it.
    if (easting == 0.0 || northing == 0.0) return LatLon{easting, northing};

    const PlanePoint p0 = LatLonToPlane(originLat, originLon, originLat, originLon);
    double d = 0.0001;  // [deg]
    const PlanePoint p1 = LatLonToPlane(originLat + d, originLon + d, originLat, originLon);
    double lat = originLat + northing / (p1.northing - p0.northing) * d;
    double lon = originLon + easting / (p1.easting - p0.easting) * d;

    for (const double step : {0.00001, 0.000001, 0.000001}) {
        d = step;
        const PlanePoint q = LatLonToPlane(lat, lon, originLat, originLon);
        const PlanePoint q1 = LatLonToPlane(lat + d, lon + d, originLat, originLon);
        lat += (northing - q.northing) / (q1.northing - q.northing) * d;
        lon += (easting - q.easting) / (q1.easting - q.easting) * d;
    }
    return LatLon{lat, lon};
}

namespace {

ZoneTableArray BuildZoneTable()
{
    // number, prefecture text, origin latitude and longitude (degrees, minutes)
    return ZoneTableArray{{
        {1, "長崎 ", 33, 0, 129, 30},
        {2, "福岡:佐賀:熊本:大分:宮崎:鹿児島", 33, 0, 131, 0},
        {3, "山口:島根:広島", 36, 0, 132, 10},
        {4, "香川:愛媛:徳島:高知", 33, 0, 133, 30},
        {5, "兵庫:鳥取:岡山", 36, 0, 134, 20},
        {6, "京都:大阪:福井:滋賀:三重:奈良:和歌山", 36, 0, 136, 0},
        {7, "石川:富山:岐阜:愛知", 36, 0, 137, 10},
        {8, "新潟:長野:山梨:静岡", 36, 0, 138, 30},
        {9, "東京:福島:栃木:茨城:埼玉:千葉:群馬:神奈川", 36, 0, 139, 50},
        {10, "青森:秋田:山形:岩手:宮城", 40, 0, 140, 50},
        {11, "北海道西部", 44, 0, 140, 15},
        {12, "北海道中部", 44, 0, 142, 15},
        {13, "北海道東部", 44, 0, 144, 15},
        {14, "東京都ーII", 26, 0, 142, 0},
        {15, "沖縄ーI", 26, 0, 127, 30},
        {16, "沖縄ーII", 26, 0, 124, 0},
        {17, "沖縄ーIII", 26, 0, 131, 0},
        {18, "東京都－III", 20, 0, 136, 0},
        {19, "東京都ーIV", 26, 0, 154, 0},
    }};
}

ZoneTableArray g_zoneTable = BuildZoneTable();

}  // namespace

void SetZoneTable() { g_zoneTable = BuildZoneTable(); }

const ZoneTableArray& ZoneTable() { return g_zoneTable; }

bool SetCurrentZone(int zoneNo, CurrentZone& zone)
{
    if (zoneNo < 1 || zoneNo > kZoneCount) return false;
    const ZoneEntry& z = g_zoneTable[static_cast<std::size_t>(zoneNo - 1)];
    zone.ZoneNo = static_cast<std::int16_t>(z.number);
    zone.ZoneOriginLat = z.originLat();
    zone.ZoneOriginLon = z.originLon();
    return true;
}

void FindZoneByLatLon(double lat, double lon, CurrentZone& zone)
{
    // The nearest origin latitude first; every zone on that latitude is a
    // candidate.
    double bestLatDiff = HUGE_VAL;
    for (const ZoneEntry& z : g_zoneTable) {
        const double d = std::fabs(lat - z.originLat());
        if (d < bestLatDiff) bestLatDiff = d;
    }
    // Among the candidates the nearest origin longitude; the lower number
    // wins a tie. (A NaN input matches no candidate and keeps zone 1.)
    int best = 1;
    double bestLonDiff = HUGE_VAL;
    for (const ZoneEntry& z : g_zoneTable) {
        if (std::fabs(lat - z.originLat()) != bestLatDiff) continue;
        const double d = std::fabs(lon - z.originLon());
        if (d < bestLonDiff) {
            bestLonDiff = d;
            best = z.number;
        }
    }
    SetCurrentZone(best, zone);
}

void FindNearestZone(double lat, double lon, CurrentZone& zone)
{
    int best = 1;
    double bestDistance = HUGE_VAL;
    for (const ZoneEntry& z : g_zoneTable) {
        const double dLat = lat - z.originLat();
        const double dLon = lon - z.originLon();
        const double d = std::sqrt(dLat * dLat + dLon * dLon);
        // a later zone must be strictly nearer
        if (d < bestDistance) {
            bestDistance = d;
            best = z.number;
        }
    }
    SetCurrentZone(best, zone);
}

}  // namespace tessaro::geodesy
