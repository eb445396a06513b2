#include "settings/settings.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "state/nav_state.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro {

namespace {

// The first item of a line read as a number: leading spaces skipped, the item
// ends at a space or a comma.
double FirstNumericItem(std::string_view line)
{
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) return 0.0;
    line.remove_prefix(start);
    const auto end = line.find_first_of(" ,");
    return NumericValue(line.substr(0, end));
}

// A number for a 16-bit integer variable, rounded halves to even; nullopt
// when it does not fit (the step that would store it fails).
std::optional<std::int16_t> ToInt16(double value)
{
    const double r = RoundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max()))
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

// A number for a 32-bit float variable; nullopt when it does not fit.
std::optional<float> ToFloat(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return std::nullopt;
    return static_cast<float>(value);
}

// "d-m-s" to degrees: item 0 + item 1 / 60 + item 2 / 3600; missing items
// count 0. nullopt when the text has more items than the splitter holds.
std::optional<double> DegreesFromText(std::string_view text)
{
    ItemDataArray items;
    try {
        SplitItems(text, "-", items);
    } catch (const SplitOverflow&) {
        return std::nullopt;
    }
    const double deg = NumericValue(items[0]) + NumericValue(items[1]) / 60.0 + NumericValue(items[2]) / 3600.0;
    if (!std::isfinite(deg)) return std::nullopt;
    return deg;
}

// "e,n" split at the comma: the numeric values of items 0 and 1.
bool PairFromText(std::string_view text, double& first, double& second)
{
    ItemDataArray items;
    try {
        SplitItems(text, ",", items);
    } catch (const SplitOverflow&) {
        return false;
    }
    first = NumericValue(items[0]);
    second = NumericValue(items[1]);
    return true;
}

std::string CoordinatePair(double easting, double northing)
{
    return FormatFixed(easting, 1) + "," + FormatFixed(northing, 1);
}

// Writes the lines atomically: CP932 when every line fits, else UTF-8 with a
// byte-order mark so that no character is lost.
bool WriteSettingLines(const std::string& path, const std::vector<std::string>& lines)
{
    std::size_t unmapped = 0;
    for (const auto& line : lines) Utf8ToCp932(line, &unmapped);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (unmapped == 0) return WriteTextLinesAtomic(path, lines);

    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes("\xEF\xBB\xBF");
    for (const auto& line : lines) {
        bytes.append(line.data(), static_cast<qsizetype>(line.size()));
        bytes.append("\r\n");
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace

std::string CurrentSettingPath(const std::string& programFolder)
{
    return programFolder + "/data0/CurrentSetting.dat";
}

std::string GPSSettingPath(const std::string& programFolder)
{
    return programFolder + "/data0/GPSSetting.dat";
}

void ReadCurrentSetting(NavState& state)
{
    TextReader reader;
    if (!reader.open(CurrentSettingPath(state.ProgramFolder))) return;
    std::string line;

    // Line 1: the map library folder, whole.
    if (!reader.readLine(line)) return;
    state.MapPicFolder = line;

    // Line 2: the scale level.
    if (!reader.readLine(line)) return;
    const auto level = ToInt16(FirstNumericItem(line));
    if (!level) return;
    state.ScaleLevel = *level;

    // Lines 3 and 4: easting,northing of the view centre, then of the position.
    double easting = 0.0;
    double northing = 0.0;
    if (!reader.readLine(line) || !PairFromText(line, easting, northing)) return;
    if (!std::isfinite(easting)) return;
    state.ViewCentreEasting = easting;
    const auto viewNorthing = ToFloat(northing);
    if (!viewNorthing) return;
    state.ViewCentreNorthing = *viewNorthing;

    if (!reader.readLine(line) || !PairFromText(line, easting, northing)) return;
    if (!std::isfinite(easting)) return;
    state.PosEasting = easting;
    const auto posNorthing = ToFloat(northing);
    if (!posNorthing) return;
    state.PosNorthing = *posNorthing;
}

std::vector<std::string> CurrentSettingLines(const NavState& state)
{
    if (const auto& stored = state.SampleStandsInFor)
        return {stored->MapPicFolder, PrintInteger(stored->ScaleLevel),
                CoordinatePair(stored->ViewCentreEasting, stored->ViewCentreNorthing),
                CoordinatePair(state.PosEasting, state.PosNorthing)};
    return {state.MapPicFolder, PrintInteger(state.ScaleLevel),
            CoordinatePair(state.ViewCentreEasting, state.ViewCentreNorthing),
            CoordinatePair(state.PosEasting, state.PosNorthing)};
}

bool WriteCurrentSetting(const NavState& state)
{
    return WriteSettingLines(CurrentSettingPath(state.ProgramFolder), CurrentSettingLines(state));
}

void ReadGPSSetting(NavState& state)
{
    TextReader reader;
    if (!reader.open(GPSSettingPath(state.ProgramFolder))) return;
    std::string line;

    // Each line is one step; a line that cannot be taken leaves its value.
    if (reader.readLine(line)) {
        if (const auto zone = ToInt16(FirstNumericItem(line))) state.Zone.ZoneNo = *zone;
    }
    if (reader.readLine(line)) {
        if (const auto lat = DegreesFromText(line)) state.Zone.ZoneOriginLat = *lat;
    }
    if (reader.readLine(line)) {
        if (const auto lon = DegreesFromText(line)) state.Zone.ZoneOriginLon = *lon;
    }
    if (reader.readLine(line)) {
        if (const auto port = ToInt16(FirstNumericItem(line))) state.GPSPortNo = *port;
    }
    if (reader.readLine(line)) {
        if (const auto speed = ToInt16(FirstNumericItem(line))) state.GPSSpeedIndex = *speed;
    }
    if (reader.readLine(line)) state.GPSPortSettings = line;
}

std::vector<std::string> GPSSettingLines(const NavState& state, std::string_view originLatText,
                                         std::string_view originLonText)
{
    return {PrintInteger(state.Zone.ZoneNo),
            std::string(TrimSpaces(originLatText)),
            std::string(TrimSpaces(originLonText)),
            PrintInteger(state.GPSPortNo),
            PrintInteger(state.GPSSpeedIndex),
            state.GPSPortSettings};
}

bool WriteGPSSetting(const NavState& state, std::string_view originLatText, std::string_view originLonText)
{
    return WriteSettingLines(GPSSettingPath(state.ProgramFolder),
                             GPSSettingLines(state, originLatText, originLonText));
}

}  // namespace tessaro
