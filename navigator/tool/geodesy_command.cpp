// tessaro-tool latlon2plane | plane2latlon | zone: batch conversions with the
// navigator's own geodesy, one comma-separated line in, one line out.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "geodesy/plane_coords.h"

namespace tessaro::tool {
namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Parses exactly `count` comma-separated finite numbers; on failure `why`
// says what is wrong.
bool ParseNumbers(std::string_view line, std::size_t count, std::vector<double>& values, std::string& why)
{
    values.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        const std::string_view field =
            Trim(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        double v = 0.0;
        const char* first = field.data();
        const char* last = field.data() + field.size();
        if (!field.empty() && *first == '+') ++first;
        const auto [ptr, ec] = std::from_chars(first, last, v);
        if (field.empty() || ec != std::errc() || ptr != last || !std::isfinite(v)) {
            why = "field " + std::to_string(values.size() + 1) + " is not a number";
            return false;
        }
        values.push_back(v);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (values.size() != count) {
        why = "expected " + std::to_string(count) + " numbers, found " + std::to_string(values.size());
        return false;
    }
    return true;
}

std::string G17(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// Runs `convert` on every line with `count` numbers; blank lines are skipped.
// Returns 0, or 1 when any line was refused.
template <typename Convert>
int ForEachLine(const char* command, std::size_t count, const char* form, std::istream& in, std::ostream& out,
                std::ostream& err, Convert convert)
{
    geodesy::InitEllipsoid();
    std::string line;
    std::vector<double> values;
    std::string why;
    long lineNo = 0;
    int status = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string_view text = Trim(line);
        if (text.empty()) continue;
        if (!ParseNumbers(text, count, values, why)) {
            err << "tessaro-tool " << command << ": line " << lineNo << ": " << why << " (expected " << form
                << ")\n";
            status = 1;
            continue;
        }
        out << convert(values) << '\n';
    }
    return status;
}

int LatLonToPlaneCommand(const Args& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (!args.empty()) {
        err << "usage: tessaro-tool latlon2plane < lines lat,lon,originLat,originLon\n";
        return 2;
    }
    return ForEachLine("latlon2plane", 4, "lat,lon,originLat,originLon", in, out, err,
                       [](const std::vector<double>& v) {
                           const geodesy::PlanePoint p = geodesy::LatLonToPlane(v[0], v[1], v[2], v[3]);
                           return G17(p.northing) + "," + G17(p.easting);
                       });
}

int PlaneToLatLonCommand(const Args& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (!args.empty()) {
        err << "usage: tessaro-tool plane2latlon < lines easting,northing,originLat,originLon\n";
        return 2;
    }
    return ForEachLine("plane2latlon", 4, "easting,northing,originLat,originLon", in, out, err,
                       [](const std::vector<double>& v) {
                           const geodesy::LatLon g = geodesy::PlaneToLatLon(v[0], v[1], v[2], v[3]);
                           return G17(g.lat) + "," + G17(g.lon);
                       });
}

int ZoneCommand(const Args& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    if (!args.empty()) {
        err << "usage: tessaro-tool zone < lines lat,lon\n";
        return 2;
    }
    return ForEachLine("zone", 2, "lat,lon", in, out, err, [](const std::vector<double>& v) {
        geodesy::CurrentZone byLatLon;
        geodesy::CurrentZone nearest;
        geodesy::FindZoneByLatLon(v[0], v[1], byLatLon);
        geodesy::FindNearestZone(v[0], v[1], nearest);
        return std::to_string(byLatLon.ZoneNo) + "," + std::to_string(nearest.ZoneNo);
    });
}

}  // namespace

TESSARO_TOOL_COMMAND("latlon2plane",
                     "< lat,lon,originLat,originLon lines [deg]: prints northing,easting [m]",
                     LatLonToPlaneCommand);
TESSARO_TOOL_COMMAND("plane2latlon",
                     "< easting,northing,originLat,originLon lines [m, deg]: prints lat,lon [deg]",
                     PlaneToLatLonCommand);
TESSARO_TOOL_COMMAND("zone", "< lat,lon lines [deg]: prints the zone found by latitude group, then the nearest",
                     ZoneCommand);

}  // namespace tessaro::tool
