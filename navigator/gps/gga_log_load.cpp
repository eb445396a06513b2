#include "gps/gga_log_load.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "gps/gga_decoder.h"
#include "gps/gpx.h"
#include "gps/nmea_checksum.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::gps {

namespace {

constexpr double kZoneBoxDegrees = 2.0;

// ddmm.mmmm (two degree digits) or dddmm.mmmm (three) to degrees; the parts
// are read as leading numbers, so malformed text counts as 0.
double Degrees(std::string_view text, std::size_t degreeDigits)
{
    if (text.size() <= degreeDigits) return NumericValue(text.substr(0, degreeDigits));
    return NumericValue(text.substr(0, degreeDigits)) + NumericValue(text.substr(degreeDigits)) / 60.0;
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

GgaLogLoad::GgaLogLoad(overlays::OverlayLists& lists, const geodesy::CurrentZone& zone) : lists_(lists), zone_(zone)
{
    lists_.GGAPointCount = 0;
    lists_.MKPointCount = 0;
}

void GgaLogLoad::BeginFile()
{
    havePosition_ = false;
    lastTime_.clear();
    lastEasting_ = lastNorthing_ = 0.0;
}

bool GgaLogLoad::AddFile(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".gpx") return AddGpx(path);
    std::error_code ec;
    TextReader reader;
    // Only regular files: a FIFO or a device would block or never end.
    if (!std::filesystem::is_regular_file(path, ec) || !reader.open(path)) {
        unreadable_.push_back(FileName(path));
        return false;
    }
    BeginFile();
    std::string line;
    while (reader.readLine(line))
        if (!AddLine(line)) break;
    return true;
}

void GgaLogLoad::AddLines(const std::vector<std::string>& lines)
{
    BeginFile();
    for (const std::string& line : lines)
        if (!AddLine(line)) break;
}

bool GgaLogLoad::AddLine(std::string_view line)
{
    if (!line.empty() && line.front() == '\n') line.remove_prefix(1);
    ItemDataArray items;
    int last = -1;
    try {
        last = SplitItems(line, ",", items);
    } catch (const SplitOverflow&) {
        return true;  // more than 51 items: not a line of a log
    }
    if (last < 0) return true;

    if (items[0] == "A") {
        const int k = lists_.MKPointCount;
        if (k >= static_cast<int>(lists_.MKPointNo.size())) {
            ++marksDropped_;
            return true;
        }
        const auto u = static_cast<std::size_t>(k);
        lists_.MKPointNo[u] = RoundToInt16(NumericValue(last >= 1 ? items[1] : std::string()));
        lists_.MKPointTime[u] = lastTime_;
        lists_.MKPointEasting[u] = static_cast<float>(lastEasting_);
        lists_.MKPointNorthing[u] = static_cast<float>(lastNorthing_);
        lists_.MKPointPlaced[u] = havePosition_ ? 1 : 0;
        lists_.MKPointCount = k + 1;
        return true;
    }

    if (!IsGgaSentenceName(items[0]) || last <= 10) return true;
    if (!PassesChecksum(line, verifyChecksum_)) {
        ++checksumDropped_;
        return true;
    }
    const int n = lists_.GGAPointCount;
    const int capacity = static_cast<int>(lists_.GGAPointEasting.size());
    // A full load takes no more points: the files after it stop at once.
    if (n >= capacity) return false;
    return AddPosition(Degrees(items[2], 2), Degrees(items[4], 3), items[1]);
}

bool GgaLogLoad::AddPosition(double lat, double lon, const std::string& time, bool* stored)
{
    if (stored) *stored = false;
    const int n = lists_.GGAPointCount;
    const int capacity = static_cast<int>(lists_.GGAPointEasting.size());
    if (n >= capacity) return false;
    if (!(std::fabs(lat - zone_.ZoneOriginLat) < kZoneBoxDegrees &&
          std::fabs(lon - zone_.ZoneOriginLon) < kZoneBoxDegrees)) {
        ++outsideZone_;
        return true;
    }
    const geodesy::PlanePoint p = geodesy::LatLonToPlane(lat, lon, zone_.ZoneOriginLat, zone_.ZoneOriginLon);
    const auto u = static_cast<std::size_t>(n);
    lists_.GGAPointEasting[u] = p.easting;
    lists_.GGAPointNorthing[u] = static_cast<float>(p.northing);
    lists_.GGAPointTime[u] = time;
    lastTime_ = time;
    lastEasting_ = p.easting;
    lastNorthing_ = p.northing;
    havePosition_ = true;
    lists_.GGAPointCount = n + 1;
    if (stored) *stored = true;
    if (n + 1 >= capacity) {
        pointLimit_ = true;
        return false;
    }
    return true;
}

bool GgaLogLoad::AddGpx(const std::string& path)
{
    const GpxRead gpx = ReadGpx(path);
    if (!gpx.readable) {
        unreadable_.push_back(FileName(path));
        return false;
    }
    BeginFile();
    for (const GpxPiece& piece : gpx.pieces) {
        bool marked = false;
        for (const GpxPoint& point : piece.points) {
            bool stored = false;
            const bool more = AddPosition(point.lat, point.lon, GgaTimeOfGpxTime(point.time), &stored);
            // The piece's first point that is stored carries its mark.
            if (stored && !marked) {
                marked = true;
                const int k = lists_.MKPointCount;
                if (k >= static_cast<int>(lists_.MKPointNo.size())) {
                    ++marksDropped_;
                } else {
                    const auto u = static_cast<std::size_t>(k);
                    lists_.MKPointNo[u] = static_cast<std::int16_t>(std::min(k + 1, 32767));
                    lists_.MKPointTime[u] = lastTime_;
                    lists_.MKPointEasting[u] = static_cast<float>(lastEasting_);
                    lists_.MKPointNorthing[u] = static_cast<float>(lastNorthing_);
                    lists_.MKPointPlaced[u] = 1;
                    lists_.MKPointCount = k + 1;
                }
            }
            if (!more) return true;
        }
    }
    return true;
}

std::vector<std::string> GgaLogLoad::Finish()
{
    lists_.GGALogLoaded = lists_.GGAPointCount >= 1;
    std::vector<std::string> messages;
    for (const std::string& name : unreadable_) messages.push_back("ファイル「" + name + "」を読み込めませんでした。");
    if (pointLimit_) messages.push_back(kGgaPointLimitMessage);
    if (marksDropped_ > 0)
        messages.push_back("マークが最大数101に達したため、以降のマーク" + std::to_string(marksDropped_) +
                           "件は読み込んでいません。");
    if (checksumDropped_ > 0)
        messages.push_back("チェックサムが一致しない行" + std::to_string(checksumDropped_) + "件を読み飛ばしました。");
    if (outsideZone_ > 0)
        messages.push_back("現在の座標系（第" + std::to_string(zone_.ZoneNo) + "系）の範囲外の位置データ" +
                           std::to_string(outsideZone_) + "件を読み飛ばしました。");
    if (!lists_.GGALogLoaded) messages.push_back("表示できる位置データがありませんでした。");
    return messages;
}

}  // namespace tessaro::gps
