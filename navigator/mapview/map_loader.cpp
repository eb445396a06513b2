#include "mapview/map_loader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>

#include "state/nav_state.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::mapview {

namespace {

bool FitsFloat(double v)
{
    return std::isfinite(v) && std::fabs(v) <= std::numeric_limits<float>::max();
}

// "d-m-s" to degrees: part 0 + part 1 / 60 + part 2 / 3600, missing parts 0.
// nullopt when the text has more parts than the splitter holds.
std::optional<double> AngleFromText(const std::string& text)
{
    ItemDataArray parts;
    try {
        SplitItems(text, "-", parts);
    } catch (const SplitOverflow&) {
        return std::nullopt;
    }
    return NumericValue(parts[0]) + NumericValue(parts[1]) / 60.0 + NumericValue(parts[2]) / 3600.0;
}

// Nothing but spaces, tabs, stray carriage returns or the old end-of-file
// mark Ctrl-Z, as editors leave them at the end of a file.
bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t\r\x1a") == std::string::npos;
}

void EnsureHeaderRow(MapIndex& index)
{
    MapFileRow headers;
    for (int c = 0; c < kMapFileColumns; ++c) headers[static_cast<std::size_t>(c)] = kMapFileHeaders[static_cast<std::size_t>(c)];
    if (index.MapFileGrid.empty()) {
        index.MapFileGrid.push_back(std::move(headers));
    } else {
        index.MapFileGrid.front() = std::move(headers);
    }
}

// Rebuilds IndexGrid and trims the tables to MapCount photographs.
void FinishTables(MapIndex& index)
{
    const auto n = static_cast<std::size_t>(index.MapCount);
    index.MapFileGrid.resize(n + 1);
    index.MapIndexGrid.resize(n);
    index.IndexGrid.clear();
    index.IndexGrid.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        IndexGridRow row;
        row.Index = std::to_string(i);
        row.Easting = FormatFixed(index.MapCentreEasting[i], 1);
        row.Northing = FormatFixed(index.MapCentreNorthing[i], 1);
        row.easting = NumericValue(row.Easting);
        row.northing = NumericValue(row.Northing);
        index.IndexGrid.push_back(std::move(row));
    }
}

void ClearPhotographs(MapIndex& index)
{
    index.MapCount = 0;
    index.MapFileGrid.resize(1);
    index.MapIndexGrid.clear();
    index.IndexGrid.clear();
    index.MapCentreEasting.clear();
    index.MapCentreNorthing.clear();
    index.MapWest.clear();
    index.MapEast.clear();
    index.MapNorth.clear();
    index.MapSouth.clear();
}

}  // namespace

bool LoadReport::stopped() const
{
    for (const auto& note : notes)
        if (note.kind == LoadNote::Kind::Stopped) return true;
    return false;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

LoadReport LoadMapIndexFile(const std::string& path, geodesy::CurrentZone& zone, MapIndex& index)
{
    LoadReport report;
    geodesy::InitEllipsoid();
    EnsureHeaderRow(index);

    TextReader reader;
    if (!reader.open(path)) return report;
    report.opened = true;
    ClearPhotographs(index);

    auto note = [&report](LoadNote::Kind kind, std::size_t line, std::string reason) {
        report.notes.push_back({kind, line, std::move(reason)});
    };

    std::string line;
    FieldDataArray fields;
    std::size_t replacedBefore = 0;
    while (reader.readLine(line)) {
        const std::size_t lineNo = reader.lineNumber();
        report.linesRead = lineNo;
        if (reader.replacedBytes() != replacedBefore) {
            note(LoadNote::Kind::ReplacedBytes, lineNo,
                 std::to_string(reader.replacedBytes() - replacedBefore) +
                     " byte(s) not valid in the file's encoding replaced; line loaded");
            replacedBefore = reader.replacedBytes();
        }

        // A blank line is no photograph (it would read as one at 0N 0E).
        if (IsBlank(line)) {
            note(LoadNote::Kind::SkippedBlank, lineNo, "blank line skipped");
            continue;
        }
        if (index.MapCount >= kMapCapacity) {
            note(LoadNote::Kind::Stopped, lineNo,
                 "library holds at most " + std::to_string(kMapCapacity) +
                     " photographs; this and later lines not loaded");
            break;
        }

        int last = -1;
        try {
            last = SplitFields(line, ",", fields);
        } catch (const SplitOverflow&) {
            note(LoadNote::Kind::Stopped, lineNo,
                 "more than " + std::to_string(FieldDataArray::kCapacity) +
                     " fields; load stopped, this and later lines not loaded");
            break;
        }
        if (last + 1 != kMapFileColumns) {
            note(LoadNote::Kind::FieldCount, lineNo,
                 std::to_string(last + 1) + " fields instead of 10; " +
                     (last + 1 < kMapFileColumns ? "missing fields read as empty" : "fields after the tenth ignored"));
        }

        const auto lat = AngleFromText(fields[kFieldLatitude]);
        const auto lon = AngleFromText(fields[kFieldLongitude]);
        if (!lat || !lon || !std::isfinite(*lat) || !std::isfinite(*lon)) {
            note(LoadNote::Kind::Stopped, lineNo,
                 "latitude or longitude is not a usable number; load stopped, this and later lines not loaded");
            break;
        }

        // Zone check and centre, on a copy of the zone: the line changes the
        // current zone only once everything about it has been computed.
        geodesy::CurrentZone lineZone = zone;
        const double dLat = *lat - lineZone.ZoneOriginLat;
        const double dLon = *lon - lineZone.ZoneOriginLon;
        if (std::sqrt(dLat * dLat + dLon * dLon) > 2.0) geodesy::FindNearestZone(*lat, *lon, lineZone);
        const geodesy::PlanePoint centre =
            geodesy::LatLonToPlane(*lat, *lon, lineZone.ZoneOriginLat, lineZone.ZoneOriginLon);

        const double width = NumericValue(fields[kFieldWidth]);
        const double height = NumericValue(fields[kFieldHeight]);
        const double west = centre.easting - 0.5 * width;
        const double east = centre.easting + 0.5 * width;
        const double north = centre.northing + 0.5 * height;
        const double south = centre.northing - 0.5 * height;
        if (!std::isfinite(west) || !std::isfinite(east) || !FitsFloat(centre.northing) || !FitsFloat(north) ||
            !FitsFloat(south)) {
            note(LoadNote::Kind::Stopped, lineNo,
                 "centre or size out of range; load stopped, this and later lines not loaded");
            break;
        }

        if (lineZone.ZoneNo != zone.ZoneNo) {
            note(LoadNote::Kind::ZoneChanged, lineNo,
                 "more than 2 degrees from the origin of zone " + std::to_string(zone.ZoneNo) +
                     "; current zone is now " + std::to_string(lineZone.ZoneNo));
        }
        zone = lineZone;

        // MapAspect: height / width; a width of 0 leaves it as it was.
        const double aspect = width != 0.0 ? height / width : 0.0;
        if (width == 0.0 || !FitsFloat(aspect)) {
            note(LoadNote::Kind::ZeroWidth, lineNo,
                 width == 0.0 ? "width 0; MapAspect kept its value" : "height / width out of range; MapAspect kept its value");
        } else {
            index.MapAspect = static_cast<float>(aspect);
        }

        const auto i = index.MapCount;
        MapFileRow fileRow;
        for (int c = 0; c < kMapFileColumns; ++c) fileRow[static_cast<std::size_t>(c)] = fields[static_cast<std::size_t>(c)];
        index.MapFileGrid.push_back(std::move(fileRow));

        MapIndexRow row;
        row.Index = std::to_string(i);
        row.CentreX = fields[kFieldCentreX];
        row.CentreY = fields[kFieldCentreY];
        row.Width = fields[kFieldWidth];
        row.photo = i;
        row.centreX = NumericValue(row.CentreX);
        row.centreY = NumericValue(row.CentreY);
        row.widthMetres = width;
        index.MapIndexGrid.push_back(std::move(row));

        index.MapCentreEasting.push_back(centre.easting);
        index.MapCentreNorthing.push_back(static_cast<float>(centre.northing));
        index.MapWest.push_back(west);
        index.MapEast.push_back(east);
        index.MapNorth.push_back(static_cast<float>(north));
        index.MapSouth.push_back(static_cast<float>(south));
        ++index.MapCount;
    }
    FinishTables(index);
    return report;
}

LoadReport LoadMapDataToGrid(NavState& state)
{
    return LoadMapIndexFile(JoinPath(state.MapPicFolder, kMapIndexFileName), state.Zone, state.Maps);
}

bool UseSampleLibraryIfNoneIsUsable(NavState& state)
{
    std::error_code ec;
    if (!state.MapPicFolder.empty() && std::filesystem::is_directory(state.MapPicFolder, ec)) return false;
    const std::string sample = JoinPath(state.ProgramFolder, kSampleLibraryFolder);
    if (!std::filesystem::is_regular_file(JoinPath(sample, kMapIndexFileName), ec)) return false;
    if (!state.MapPicFolder.empty())
        state.SampleStandsInFor = StoredLibrary{state.MapPicFolder, state.ScaleLevel, state.ViewCentreEasting,
                                                state.ViewCentreNorthing};
    state.MapPicFolder = sample;
    return true;
}

void CentreViewOnLibraryIfOutside(NavState& state)
{
    const MapIndex& maps = state.Maps;
    if (maps.MapCount <= 0) return;
    const double e = state.ViewCentreEasting;
    const double n = state.ViewCentreNorthing;
    double west = maps.MapWest[0], east = maps.MapEast[0];
    double south = maps.MapSouth[0], north = maps.MapNorth[0];
    for (int i = 0; i < maps.MapCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (e >= maps.MapWest[k] && e <= maps.MapEast[k] && n >= maps.MapSouth[k] && n <= maps.MapNorth[k]) return;
        west = std::min(west, maps.MapWest[k]);
        east = std::max(east, maps.MapEast[k]);
        south = std::min(south, static_cast<double>(maps.MapSouth[k]));
        north = std::max(north, static_cast<double>(maps.MapNorth[k]));
    }
    state.ViewCentreEasting = 0.5 * (west + east);
    state.ViewCentreNorthing = static_cast<float>(0.5 * (south + north));
}

}  // namespace tessaro::mapview
