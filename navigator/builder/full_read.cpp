#include "builder/full_read.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "builder/map_data_setting.h"
#include "shell/folder_browser.h"
#include "shell/values.h"

namespace tessaro::builder {

double DegreesOfText(const std::string& text)
{
    FieldDataArray f;
    try {
        SplitFields(text, "-", f);
    } catch (const SplitOverflow&) {
    }
    return NumericValue(f[0]) + NumericValue(f[1]) / 60.0 + NumericValue(f[2]) / 3600.0;
}

double WholeDegreesOf(const std::string& text)
{
    ItemDataArray items;
    try {
        SplitItems(text, "-", items);
    } catch (const SplitOverflow&) {
    }
    return NumericValue(items[0]);
}

bool LatDegreesAccepted(double d) { return d > 24 && d < 46; }
bool LonDegreesAccepted(double d) { return d > 122 && d < 146; }
bool InJapanDegrees(double lat, double lon) { return lat >= 24 && lat <= 46 && lon >= 122 && lon <= 146; }

namespace {

// One column of the check; `cells` receives every suspect flag, `list` the
// first kSuspectListSize suspect rows.
void CheckColumn(const std::vector<mapview::MapFileRow>& rows, int column, std::size_t length,
                 bool (*accepted)(double), std::vector<int>& list, std::vector<bool>& cells)
{
    cells.assign(rows.size(), false);
    double reference = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& text = rows[i][static_cast<std::size_t>(column)];
        const double degrees = WholeDegreesOf(text);
        const bool shaped = text.size() == length && accepted(degrees);
        if (i == 0 && shaped) reference = degrees;
        const bool good = shaped && (i == 0 || std::fabs(degrees - reference) < 0.4);
        if (good) continue;
        cells[i] = true;
        if (static_cast<int>(list.size()) < kSuspectListSize) list.push_back(static_cast<int>(i) + 1);
    }
}

}  // namespace

Suspects CheckRows(const std::vector<mapview::MapFileRow>& rows)
{
    Suspects s;
    CheckColumn(rows, mapview::kFieldLatitude, 11, LatDegreesAccepted, s.latRows, s.latCell);
    CheckColumn(rows, mapview::kFieldLongitude, 12, LonDegreesAccepted, s.lonRows, s.lonCell);
    return s;
}

void SetRowCentre(mapview::MapFileRow& row, const geodesy::CurrentZone& zone)
{
    geodesy::InitEllipsoid();
    const auto p = geodesy::LatLonToPlane(DegreesOfText(row[mapview::kFieldLatitude]),
                                          DegreesOfText(row[mapview::kFieldLongitude]), zone.ZoneOriginLat,
                                          zone.ZoneOriginLon);
    row[mapview::kFieldCentreX] = FormatFixed(p.easting, 2);
    row[mapview::kFieldCentreY] = FormatFixed(p.northing, 2);
}

void SetFootprint(mapview::MapFileRow& row, double altitude, double widthPerMetre, float aspect)
{
    const double width = altitude * widthPerMetre;
    row[mapview::kFieldWidth] = FormatFixed(width, 0);
    row[mapview::kFieldHeight] = FormatFixed(width * aspect, 0);
}

namespace {

RgbPicture CutRgb(const RgbPicture& photo, int x0, int x1, int y0, int y1)
{
    RgbPicture out;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, photo.width - 1);
    y1 = std::min(y1, photo.height - 1);
    if (x1 < x0 || y1 < y0) return out;
    out.width = x1 - x0 + 1;
    out.height = y1 - y0 + 1;
    out.rgb.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 3);
    for (int y = y0; y <= y1; ++y) {
        const auto* row = photo.rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(photo.width) +
                                              static_cast<std::size_t>(x0)) * 3;
        out.rgb.insert(out.rgb.end(), row, row + static_cast<std::size_t>(out.width) * 3);
    }
    return out;
}

}  // namespace

StripPreview CutStrips(const RgbPicture& photo, const WorkTables& tables)
{
    StripPreview p;
    if (photo.width <= 0 || photo.height <= 0 ||
        photo.rgb.size() < static_cast<std::size_t>(photo.width) * static_cast<std::size_t>(photo.height) * 3)
        return p;
    const int top = photo.height - kStatusRows, bottom = photo.height - 1;
    p.latLon = CutRgb(photo, tables.textStart, tables.textStart + 250, top, bottom);
    p.altitude = CutRgb(photo, tables.altitudeStart, photo.width - 1, top, bottom);
    return p;
}

// --- MapDataSetting: the full read and the checks

FullReadResult MapDataSetting::ReadAllImageData(FullReadView* view)
{
    FullReadView quiet;
    FullReadView& v = view ? *view : quiet;
    FullReadResult result;
    const int n = static_cast<int>(MapFileLst.size());
    ClearGrid();
    if (n == 0) {
        // Nothing to read: the headers only (the progress step would divide
        // by zero).
        FormStarting = false;
        result.completed = true;
        return result;
    }
    const int step = 100 / n;
    auto progress = [&](int value) {
        result.progress.push_back(value);
        v.Progress(value);
    };
    auto message = [&](const char* text) {
        result.messages.emplace_back(text);
        v.Message(text);
    };
    progress(0);

    // Each switch is made once per read: the threshold once downwards and
    // once upwards, the zone once into each zone (the zone the read started
    // in counts as visited). A further pass would give the same result.
    bool loweredThreshold = false, raisedThreshold = false;
    std::set<int> zonesVisited{state.Zone.ZoneNo};
    geodesy::InitEllipsoid();

    for (;;) {
        ++result.passes;
        ClearGrid();
        int value = 0;
        bool restart = false;
        for (int i = 0; i < n && !restart; ++i) {
            const std::string& name = MapFileLst[static_cast<std::size_t>(i)];
            const PhotoReading photo = Reader(name, PixelTxt);
            if (photo.aspect) ImageAspect = *photo.aspect;
            const Reading& r = photo.texts;
            const double a = NumericValue(r.altitude);
            // A row whose degrees are not Japan's (an unreadable screenshot
            // reads as 0, 0) says nothing about the threshold or the zone: it
            // is kept as read and the check marks it.
            const bool placed = InJapanDegrees(WholeDegreesOf(r.latitude), WholeDegreesOf(r.longitude));
            if (placed && a < kLowestAltitude && !loweredThreshold && PixelTxt != ThresholdOfOption(1)) {
                loweredThreshold = true;
                message(kAltitudeMessage);
                SelectSearchType(1);
                restart = true;
                continue;
            }
            if (placed && a > kHighestAltitude && !raisedThreshold && PixelTxt != ThresholdOfOption(3)) {
                raisedThreshold = true;
                message(kAltitudeMessage);
                SelectSearchType(3);
                restart = true;
                continue;
            }
            mapview::MapFileRow row;
            ++MapRowCount;
            row[0] = std::to_string(MapRowCount);
            row[1] = name;
            row[2] = r.latitude;
            row[3] = r.longitude;
            row[4] = r.altitude;
            SetFootprint(row, a, kReadWidthPerMetre, ImageAspect);
            const double lat = DegreesOfText(r.latitude), lon = DegreesOfText(r.longitude);
            const auto far = [&](const geodesy::CurrentZone& z) {
                return std::fabs(lat - z.ZoneOriginLat) > kZoneLatReach || std::fabs(lon - z.ZoneOriginLon) > kZoneLonReach;
            };
            if (placed && far(state.Zone)) {
                geodesy::CurrentZone found = state.Zone;
                geodesy::FindZoneByLatLon(lat, lon, found);
                // A position that is far from the zone found as well is a
                // misread one; a zone already used in this read would start
                // the same passes again.
                if (!far(found) && zonesVisited.insert(found.ZoneNo).second) {
                    message(kZoneMessage);
                    state.Zone = found;
                    restart = true;
                    continue;
                }
            }
            row[7] = std::to_string(state.Zone.ZoneNo);
            builder::SetRowCentre(row, state.Zone);
            rows_.push_back(row);
            value += step;
            progress(value);
            if (!v.Pause()) return result;  // stopped: the caller discards the table
        }
        if (!restart) break;
    }
    FormStarting = false;
    result.completed = true;
    return result;
}

void MapDataSetting::CheckMissData()
{
    Suspect = CheckRows(rows_);
    MissDataLbl = Suspect.any();
    checked_ = true;
}

void MapDataSetting::SetRowCentre(int row)
{
    if (row < 1 || row > static_cast<int>(rows_.size())) return;
    builder::SetRowCentre(rows_[static_cast<std::size_t>(row - 1)], state.Zone);
}

// --- manual correction

bool MapDataSetting::CorrectPosition(int row, int column, const std::string& degrees, const std::string& minutes,
                                     const std::string& seconds)
{
    if (row < 1 || row > std::min(MapRowCount, static_cast<int>(rows_.size()))) return false;
    if (column != mapview::kFieldLatitude && column != mapview::kFieldLongitude) return false;
    for (const std::string* box : {&degrees, &minutes, &seconds})
        if (box->find(',') != std::string::npos) return false;
    rows_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column)] = degrees + "-" + minutes + "-" + seconds;
    CheckMissData();
    SetRowCentre(row);
    return true;
}

bool MapDataSetting::CorrectAltitude(int row, const std::string& altitude)
{
    if (row < 1 || row > std::min(MapRowCount, static_cast<int>(rows_.size()))) return false;
    if (altitude.find(',') != std::string::npos) return false;
    auto& r = rows_[static_cast<std::size_t>(row - 1)];
    r[mapview::kFieldAltitude] = altitude;
    if (const auto aspect = AspectOf(r[mapview::kFieldFileName])) ImageAspect = *aspect;
    SetFootprint(r, NumericValue(altitude), kCorrectedWidthPerMetre, ImageAspect);
    return true;
}

void MapDataSetting::FillDownAltitude(int r0, int r1)
{
    const int last = std::min({r1, MapRowCount, static_cast<int>(rows_.size())});
    if (r0 < 1 || r0 >= last) return;
    const std::string altitude = rows_[static_cast<std::size_t>(r0 - 1)][mapview::kFieldAltitude];
    for (int r = r0 + 1; r <= last; ++r) {
        auto& row = rows_[static_cast<std::size_t>(r - 1)];
        row[mapview::kFieldAltitude] = altitude;
        if (const auto aspect = AspectOf(row[mapview::kFieldFileName])) ImageAspect = *aspect;
        SetFootprint(row, NumericValue(altitude), kCorrectedWidthPerMetre, ImageAspect);
    }
}

StripPreview MapDataSetting::PreviewStrips(int row)
{
    if (row < 1 || row > static_cast<int>(rows_.size())) return {};
    const auto photo = DecodeJpegRgb(JoinPath(state.MapPicFolder, rows_[static_cast<std::size_t>(row - 1)][mapview::kFieldFileName]));
    if (!photo) return {};
    ImageWidthPx = static_cast<float>(photo->width);
    ImageHeightPx = static_cast<float>(photo->height);
    ReadStatusLine(GreyOf(*photo, kStatusRows), PixelTxt, Units, Tables);
    return CutStrips(*photo, Tables);
}

bool MapDataSetting::DeleteRow(int row)
{
    if (row < 1 || row > std::min(MapRowCount, static_cast<int>(rows_.size()))) return false;
    rows_.erase(rows_.begin() + (row - 1));
    --MapRowCount;
    for (int r = row; r <= static_cast<int>(rows_.size()); ++r) rows_[static_cast<std::size_t>(r - 1)][0] = std::to_string(r);
    if (checked_) CheckMissData();
    return true;
}

}  // namespace tessaro::builder
