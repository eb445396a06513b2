// The builder's full read of a folder and its checks, without widgets: what
// MapDataSetting::ReadAllImageData needs besides the table, the suspect-cell
// check of the latitude and longitude columns, and the small conversions
// the table and the correction frames share.
//
// The full read reads every screenshot, derives the ground footprint (1.15 m
// of ground per metre of altitude, the photograph's own aspect) and the plane
// centre in the current zone, and starts over when an altitude is implausible
// (another brightness threshold) or a position lies outside the current zone
// (another zone). Each of those switches is made at most once per read and
// direction or zone, so a reading that no switch can mend ends the read with
// the row kept as read; the check then colours it for manual correction.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "builder/jpeg_picture.h"
#include "builder/recogniser.h"
#include "geodesy/plane_coords.h"
#include "mapview/map_index.h"

namespace tessaro::builder {

inline constexpr const char* kAltitudeMessage = "高度が異常です！,変換タイプを変えます。";
inline constexpr const char* kZoneMessage = "測地系設定を変更します。";
inline constexpr const char* kProgressMessage = "処理中ですお待ち下さい。";
inline constexpr const char* kMissDataMessage = "異状データあり";
// Shown in a correction frame when a box holds ",", which would add a field
// to the index line.
inline constexpr const char* kCommaRefusedMessage = "「,」は入力できません。";

// Ground width per metre of altitude: the full read, and a corrected or
// filled-down altitude.
constexpr double kReadWidthPerMetre = 1.15;
constexpr double kCorrectedWidthPerMetre = 1.165;
// Plausible altitudes [m].
constexpr double kLowestAltitude = 200.0;
constexpr double kHighestAltitude = 5000.0;
// Largest distance of a centre from the zone origin [deg].
constexpr double kZoneLatReach = 2.0;
constexpr double kZoneLonReach = 1.2;
// Entries of each suspect-row list.
constexpr int kSuspectListSize = 51;

// One screenshot as read: the three texts and, when the file decoded, its
// height / width.
struct PhotoReading {
    Reading texts;
    std::optional<float> aspect;
};
// Reads the screenshot `name` of the folder with brightness threshold
// `threshold`.
using PhotoReader = std::function<PhotoReading(const std::string& name, int threshold)>;
// Height / width of the screenshot `name`, nullopt when it does not decode.
using AspectReader = std::function<std::optional<float>(const std::string& name)>;

// What the window shows while a full read runs.
class FullReadView {
public:
    virtual ~FullReadView() = default;
    // A modal message (OK only).
    virtual void Message(const std::string& text) { (void)text; }
    // The progress bar's value, 0..100.
    virtual void Progress(int value) { (void)value; }
    // The pause after each photograph; false stops the read (the window is
    // closing).
    virtual bool Pause() { return true; }
};

struct FullReadResult {
    bool completed = false;  // false: stopped by the view, the table is partial
    int passes = 0;          // 0 when there was nothing to read
    std::vector<std::string> messages;
    std::vector<int> progress;  // every value given to the progress bar
};

// The suspect cells of the latitude (column 2) and longitude (column 3)
// columns. The lists hold the first 51 suspect rows of each column; the cell
// flags hold every one (row r of the grid is index r - 1).
struct Suspects {
    std::vector<int> latRows, lonRows;
    std::vector<bool> latCell, lonCell;
    bool any() const { return !latRows.empty() || !lonRows.empty(); }
    bool latSuspect(int row) const { return row >= 1 && row <= static_cast<int>(latCell.size()) && latCell[static_cast<std::size_t>(row - 1)]; }
    bool lonSuspect(int row) const { return row >= 1 && row <= static_cast<int>(lonCell.size()) && lonCell[static_cast<std::size_t>(row - 1)]; }
};

// Decimal degrees of a "dd-mm-ss.ss" text: field 0 + field 1 / 60 + field 2
// / 3600; missing fields count as 0.
double DegreesOfText(const std::string& text);
// The whole degrees of a cell: the numeric value of the text before the first
// "-".
double WholeDegreesOf(const std::string& text);
// The accepted whole degrees: 24 < latitude < 46, 122 < longitude < 146.
bool LatDegreesAccepted(double degrees);
bool LonDegreesAccepted(double degrees);
// Whether whole degrees lie in 24..46 / 122..146 (bounds included): a row
// outside switches neither the threshold nor the zone in the full read.
bool InJapanDegrees(double latDegrees, double lonDegrees);

// The check of the latitude and longitude columns, from empty lists: a cell is
// suspect unless it has the length of a full text (11 / 12 characters), its
// degrees are accepted and, after the first row, differ from the first row's
// by less than 0.4. The first row is the reference only when its own cell
// passed; otherwise the reference is 0 and every later cell is suspect.
Suspects CheckRows(const std::vector<mapview::MapFileRow>& rows);

// Columns 8 and 9 (easting, northing, "#######0.00") from columns 2 and 3 in
// the given zone.
void SetRowCentre(mapview::MapFileRow& row, const geodesy::CurrentZone& zone);

// Columns 5 and 6 from an altitude: width = altitude x widthPerMetre, height =
// width x aspect, both in whole metres.
void SetFootprint(mapview::MapFileRow& row, double altitude, double widthPerMetre, float aspect);

// The two text strips of a screenshot as the correction frames show them:
// the bottom 16 rows from x = xs to xs + 250 (latitude and longitude) and
// from x = xs2 to the right edge (altitude), where the recogniser found the
// texts (`tables` of a read of this photograph). Both are cut to the picture:
// a strip that starts left of the picture or runs past its edge is narrower,
// and one that lies wholly outside it is empty.
struct StripPreview {
    RgbPicture latLon, altitude;
};
StripPreview CutStrips(const RgbPicture& photo, const WorkTables& tables);

}  // namespace tessaro::builder
