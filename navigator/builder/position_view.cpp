#include "builder/position_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "builder/full_read.h"
#include "shell/values.h"

namespace tessaro::builder {

mapview::MapFileRow ViewerRow(const mapview::MapFileRow& indexRow)
{
    mapview::MapFileRow row = indexRow;
    row[mapview::kFieldLatitude] = FormatFixed(DegreesOfText(indexRow[mapview::kFieldLatitude]), 7);
    row[mapview::kFieldLongitude] = FormatFixed(DegreesOfText(indexRow[mapview::kFieldLongitude]), 7);
    return row;
}

ViewerLayout LayoutOf(const std::vector<mapview::MapFileRow>& rows)
{
    ViewerLayout l;
    double westmost = 9999999, eastmost = -9999999, southmost = 9999999, northmost = -9999999;
    for (const auto& r : rows) {
        const double lat = NumericValue(r[mapview::kFieldLatitude]), lon = NumericValue(r[mapview::kFieldLongitude]);
        const double e = NumericValue(r[mapview::kFieldCentreX]), n = NumericValue(r[mapview::kFieldCentreY]);
        const double hw = NumericValue(r[mapview::kFieldWidth]) / 2, hh = NumericValue(r[mapview::kFieldHeight]) / 2;
        l.minLat = std::min(l.minLat, lat);
        l.maxLat = std::max(l.maxLat, lat);
        l.minLon = std::min(l.minLon, lon);
        l.maxLon = std::max(l.maxLon, lon);
        l.minE = std::min(l.minE, e);
        l.maxE = std::max(l.maxE, e);
        l.minN = std::min(l.minN, n);
        l.maxN = std::max(l.maxN, n);
        westmost = std::min(westmost, e - hw);
        eastmost = std::max(eastmost, e + hw);
        southmost = std::min(southmost, n - hh);
        northmost = std::max(northmost, n + hh);
    }
    if (rows.empty()) return l;
    l.centreE = (l.minE + l.maxE) / 2;
    l.centreN = (l.minN + l.maxN) / 2;
    // A direction without a range of centres takes the footprints' extent.
    const double spanE = l.maxE > l.minE ? l.maxE - l.minE : eastmost - westmost;
    const double spanN = l.maxN > l.minN ? l.maxN - l.minN : northmost - southmost;
    double scale = HUGE_VAL;
    if (spanE > 0) scale = std::min(scale, 250 / spanE);
    if (spanN > 0) scale = std::min(scale, 200 / spanN);
    l.scale = std::isfinite(scale) ? scale : 1.0;
    return l;
}

std::string PositionLabel(double v)
{
    // Whole hundredths of a second, so 59.995 seconds carry into the minutes.
    const long long h = std::llround(v * 360000.0);
    auto floorDiv = [](long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
    const long long d = floorDiv(h, 360000);
    const long long rest = h - d * 360000;
    const long long m = rest / 6000;
    const long long s = rest % 6000;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld-%lld-%02lld.%02lld", d, m, s / 100, s % 100);
    return buf;
}

ViewerFrame FrameOf(const ViewerLayout& l)
{
    ViewerFrame f;
    const double xL = std::round(-(l.maxE - l.minE) / 2 * l.scale), xR = std::round((l.maxE - l.minE) / 2 * l.scale);
    const double yB = std::round(-(l.maxN - l.minN) / 2 * l.scale), yT = std::round((l.maxN - l.minN) / 2 * l.scale);
    for (double x : {0.0, xL, xR}) f.lines.push_back({x, -200, x, 200});
    for (double y : {0.0, yB, yT}) f.lines.push_back({-250, y, 250, y});
    const std::string midLat = PositionLabel((l.minLat + l.maxLat) / 2), minLat = PositionLabel(l.minLat),
                      maxLat = PositionLabel(l.maxLat);
    for (double x : {xL - 130, xR + 100}) {
        f.labels.push_back({x, 7, midLat});
        f.labels.push_back({x, yB - 7, minLat});
        f.labels.push_back({x, yT + 7, maxLat});
    }
    const std::string midLon = PositionLabel((l.minLon + l.maxLon) / 2), minLon = PositionLabel(l.minLon),
                      maxLon = PositionLabel(l.maxLon);
    for (double y : {yT + 100, yB - 100}) {
        f.labels.push_back({-15, y, midLon});
        f.labels.push_back({xL - 20, y, minLon});
        f.labels.push_back({xR - 10, y, maxLon});
    }
    return f;
}

ViewerBox BoxOf(const mapview::MapFileRow& r, const ViewerLayout& l)
{
    const double e = NumericValue(r[mapview::kFieldCentreX]), n = NumericValue(r[mapview::kFieldCentreY]);
    const double w = NumericValue(r[mapview::kFieldWidth]), h = NumericValue(r[mapview::kFieldHeight]);
    ViewerBox b;
    b.left = (e - w / 2 - l.centreE) * l.scale;
    b.right = (e + w / 2 - l.centreE) * l.scale;
    b.bottom = (n - h / 2 - l.centreN) * l.scale;
    b.top = (n + h / 2 - l.centreN) * l.scale;
    b.name = {(b.left + b.right) / 2 - 15, (b.bottom + b.top) / 2 + 10, r[mapview::kFieldFileName]};
    return b;
}

}  // namespace tessaro::builder
