// LatLonToPlane against an exact transverse Mercator (GeographicLib's
// TransverseMercatorExact, same ellipsoid and scale factor) over the whole
// 2 deg box around every zone origin. The allowed difference at each point is
// the truncation error of the series there: the leading terms it omits,
// evaluated at that point, plus 1 micrometre for the terms beyond them and
// rounding.
#include <GeographicLib/TransverseMercatorExact.hpp>
#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/plane_coords.h"

namespace tessaro::geodesy {
namespace {

constexpr double kA = 6378137.0;
constexpr double kInvF = 298.257222101;
constexpr double kScale = 0.9999;

// The leading terms the series omits [m]: the eta^2 parts of the sixth-order
// northing and fifth-order easting terms and the eighth- and seventh-order
// terms.
struct Truncation {
    double northing, easting;
};

Truncation OmittedTerms(double lat, double dLon)
{
    const double e2 = (2 * kInvF - 1) / (kInvF * kInvF);
    const double ep2 = (2 * kInvF - 1) / ((kInvF - 1) * (kInvF - 1));
    const double phi = lat * M_PI / 180.0;
    const double l = dLon * M_PI / 180.0;
    const double s = std::sin(phi), c = std::cos(phi), t2 = std::tan(phi) * std::tan(phi);
    const double n = kA / std::sqrt(1 - e2 * s * s);
    const double eta2 = ep2 * c * c;
    Truncation tr;
    tr.northing = kScale * (n * s * std::pow(c, 5) * std::pow(l, 6) / 720 * (270 * eta2 - 330 * t2 * eta2) +
                            n * s * std::pow(c, 7) * std::pow(l, 8) / 40320 *
                                (1385 - 3111 * t2 + 543 * t2 * t2 - t2 * t2 * t2));
    tr.easting = kScale * (n * std::pow(c, 5) * std::pow(l, 5) / 120 * (14 * eta2 - 58 * t2 * eta2) +
                           n * std::pow(c, 7) * std::pow(l, 7) / 5040 * (61 - 479 * t2 + 179 * t2 * t2 - t2 * t2 * t2));
    return tr;
}

TEST(ExactTransverseMercator, AllZonesWithinTheSeriesTruncation)
{
    InitEllipsoid();
    const GeographicLib::TransverseMercatorExact exact(kA, 1 / kInvF, kScale);
    constexpr double kSlack = 1e-6;  // [m]
    double worst = 0.0;
    for (const ZoneEntry& z : ZoneTable()) {
        const double lat0 = z.originLat();
        const double lon0 = z.originLon();
        double x0 = 0, y0 = 0;
        exact.Forward(lon0, lat0, lon0, x0, y0);
        for (double dLat = -1.95; dLat <= 1.96; dLat += 0.15) {
            for (double dLon = -1.95; dLon <= 1.96; dLon += 0.15) {
                const double lat = lat0 + dLat;
                const double lon = lon0 + dLon;
                double x = 0, y = 0;
                exact.Forward(lon0, lat, lon, x, y);
                const PlanePoint p = LatLonToPlane(lat, lon, lat0, lon0);
                const Truncation tr = OmittedTerms(lat, dLon);
                EXPECT_NEAR(p.northing, y - y0, std::fabs(tr.northing) * 1.1 + kSlack)
                    << "zone " << z.number << " at " << lat << "," << lon;
                EXPECT_NEAR(p.easting, x, std::fabs(tr.easting) * 1.1 + kSlack)
                    << "zone " << z.number << " at " << lat << "," << lon;
                worst = std::max(worst, std::hypot(p.northing - (y - y0), p.easting - x));
            }
        }
    }
    // the figure the module documents: about 0.1 mm at the edge of the box
    EXPECT_LT(worst, 0.00011);
}

}  // namespace
}  // namespace tessaro::geodesy
