#include "mapview/map_index_report.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>

#include "mapview/map_loader.h"
#include "mapview/map_view.h"
#include "state/nav_state.h"

namespace tessaro::mapview {

namespace {

std::optional<double> ParseNumber(std::string_view text)
{
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> ParseInt(std::string_view text)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

bool ParsePair(std::string_view text, double& first, double& second)
{
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    const auto a = ParseNumber(text.substr(0, comma));
    const auto b = ParseNumber(text.substr(comma + 1));
    if (!a || !b) return false;
    first = *a;
    second = *b;
    return true;
}

std::string Num(double value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

int Usage(std::ostream& err, const std::string& problem)
{
    err << "mapindex: " << problem << "\nusage: tessaro-tool mapindex " << kMapIndexUsage << "\n";
    return 2;
}

}  // namespace

int RunMapIndexCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string folder;
    std::optional<int> zone;
    std::optional<int> level;
    bool haveView = false;
    bool havePos = false;
    double viewE = 0.0, viewN = 0.0, posE = 0.0, posN = 0.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--zone" || a == "--level" || a == "--view" || a == "--pos") {
            if (!hasValue) return Usage(err, a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--zone") {
                zone = ParseInt(v);
                if (!zone || *zone < 1 || *zone > geodesy::kZoneCount) return Usage(err, "zone must be 1..19");
            } else if (a == "--level") {
                level = ParseInt(v);
                if (!level) return Usage(err, "level must be an integer");
            } else if (a == "--view") {
                if (!ParsePair(v, viewE, viewN)) return Usage(err, "--view needs E,N in metres");
                haveView = true;
            } else {
                if (!ParsePair(v, posE, posN)) return Usage(err, "--pos needs E,N in metres");
                havePos = true;
            }
        } else if (folder.empty() && !a.empty() && a.rfind("--", 0) != 0) {
            folder = a;
        } else {
            return Usage(err, "unexpected argument '" + a + "'");
        }
    }
    if (folder.empty()) return Usage(err, "no library folder given");
    if (!zone || !level || !haveView) return Usage(err, "--zone, --level and --view are required");
    if (!havePos) {
        posE = viewE;
        posN = viewN;
    }

    NavState state;
    state.MapPicFolder = folder;
    const auto& entry = geodesy::ZoneTable()[static_cast<std::size_t>(*zone - 1)];
    state.Zone = {static_cast<std::int16_t>(*zone), entry.originLat(), entry.originLon()};
    state.ScaleLevel = *level;
    ApplyScaleLevel(state);
    state.ViewCentreEasting = viewE;
    state.ViewCentreNorthing = static_cast<float>(viewN);
    state.PosEasting = posE;
    state.PosNorthing = static_cast<float>(posN);

    const LoadReport report = LoadMapDataToGrid(state);
    if (!report.opened) err << "mapindex: cannot open " << JoinPath(folder, kMapIndexFileName) << "\n";
    for (const auto& note : report.notes) err << "mapindex: line " << note.line << ": " << note.reason << "\n";

    const MapIndex& maps = state.Maps;
    out << "zone," << state.Zone.ZoneNo << "\n";
    out << "MapCount," << maps.MapCount << "\n";
    out << "MapAspect," << Num(maps.MapAspect) << "\n";
    for (int i = 0; i < maps.MapCount; ++i) {
        Footprint f;
        maps.footprint(i, f);
        const auto k = static_cast<std::size_t>(i);
        out << "photo," << i << "," << maps.fileName(i) << "," << Num(maps.MapCentreEasting[k]) << ","
            << Num(maps.MapCentreNorthing[k]) << "," << Num(f.west) << "," << Num(f.east) << "," << Num(f.north)
            << "," << Num(f.south) << "\n";
    }

    const int quadrant = FirstActivation(state, nullptr);
    out << "CurrentMapIndex," << state.CurrentMapIndex << "\n";
    out << "CheckMapQuadrant," << quadrant << "," << state.QuadrantEW << "," << state.QuadrantNS << "\n";
    for (int s = 0; s < state.ShownMapCount; ++s) {
        const int k = maps.MapIndexGrid[static_cast<std::size_t>(s)].photo;
        out << "slot," << s << "," << k << "," << maps.fileName(k) << "\n";
    }
    out << "ShownMapCount," << state.ShownMapCount << "\n";
    out.flush();
    return report.opened ? 0 : 1;
}

}  // namespace tessaro::mapview
