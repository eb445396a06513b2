#include "gps/gpx.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"
#include "gps/nmea_checksum.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::gps {

namespace {

namespace fs = std::filesystem;

constexpr long kDay = 86400;
constexpr long kJapanOffset = 9 * 3600;  // local time of the record files [s]

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

bool ValidDate(int y, int m, int d)
{
    if (y < 1900 || y > 2999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    int yy = 0, mm = 0, dd = 0;
    CivilFromDays(DaysFromCivil(y, m, d), yy, mm, dd);
    return yy == y && mm == m && dd == d;
}

bool AllDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int Int(std::string_view s) { return static_cast<int>(NumericValue(s)); }

// "2010-05-08T01:00:00Z" (with ".ss" when the time had a fraction).
std::string DateTimeText(long seconds, std::string_view fraction)
{
    long days = seconds / kDay;
    long rest = seconds % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    const int h = static_cast<int>(rest / 3600), mi = static_cast<int>(rest / 60 % 60), s = static_cast<int>(rest % 60);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, m, d, h, mi, s);
    std::string text = buf;
    if (!fraction.empty()) text.append(".").append(fraction);
    text.append("Z");
    return text;
}

// Seconds of the day of "hh:mm:ss" or "hhmmss[.ss]"; false when malformed.
bool ClockSeconds(std::string_view text, bool colons, long& seconds, std::string& fraction)
{
    const std::size_t need = colons ? 8 : 6;
    if (text.size() < need) return false;
    std::string_view h = text.substr(0, 2), mi = text.substr(colons ? 3 : 2, 2), s = text.substr(colons ? 6 : 4, 2);
    if (!AllDigits(h) || !AllDigits(mi) || !AllDigits(s)) return false;
    if (colons && (text[2] != ':' || text[5] != ':')) return false;
    const int hh = Int(h), mm = Int(mi), ss = Int(s);
    if (hh > 23 || mm > 59 || ss > 60) return false;
    seconds = hh * 3600L + mm * 60L + ss;
    fraction.clear();
    std::string_view rest = text.substr(need);
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        std::size_t n = 0;
        while (n < rest.size() && n < 9 && rest[n] >= '0' && rest[n] <= '9') ++n;
        fraction = std::string(rest.substr(0, n));
    }
    return true;
}

// A clock that runs on past midnight: each time earlier than the one before
// starts the next day.
class RunningDay {
public:
    RunningDay(long startDay, long startSeconds) : day_(startDay), last_(startSeconds) {}
    long At(long secondsOfDay)
    {
        if (secondsOfDay < last_) ++day_;
        last_ = secondsOfDay;
        return day_ * kDay + secondsOfDay;
    }

private:
    long day_;
    long last_;
};

// ddmm.mmmm or dddmm.mmmm read as the decoder reads it; false when the
// degree and minute characters are not digits.
bool Degrees(std::string_view field, std::size_t degreeDigits, double& degrees)
{
    if (field.size() < degreeDigits + 2 || !AllDigits(field.substr(0, degreeDigits + 2))) return false;
    std::string fraction = "0";
    if (field.size() > degreeDigits + 2) {
        if (field[degreeDigits + 2] != '.') return false;
        fraction = "0." + std::string(field.substr(degreeDigits + 3));
    }
    degrees = NumericValue(field.substr(0, degreeDigits)) + NumericValue(field.substr(degreeDigits, 2)) / 60.0 +
              NumericValue(fraction) / 60.0;
    return true;
}

bool ParseNumber(std::string_view text, double& value)
{
    const std::string s(TrimSpaces(text));
    if (s.empty()) return false;
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(value);
}

std::string XmlEscaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string Fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void WritePoint(std::ostream& out, const char* tag, const GpxPoint& p, const char* indent)
{
    out << indent << '<' << tag << " lat=\"" << Fixed(p.lat, 9) << "\" lon=\"" << Fixed(p.lon, 9) << "\">";
    if (p.ele) out << "<ele>" << Fixed(*p.ele, 3) << "</ele>";
    if (!p.time.empty()) out << "<time>" << p.time << "</time>";
    if (!p.name.empty()) out << "<name>" << XmlEscaped(p.name) << "</name>";
    out << "</" << tag << ">\n";
}

bool IsRecordFile(const std::string& path)
{
    TextReader reader;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || !reader.open(path)) return false;
    std::string line;
    return reader.readLine(line) && reader.readLine(line) && line.rfind("日本測地系: 第", 0) == 0;
}

}  // namespace

std::string DateFromFileName(std::string_view fileName)
{
    if (fileName.size() < 8 || !AllDigits(fileName.substr(0, 8))) return {};
    if (fileName.size() > 8 && fileName[8] >= '0' && fileName[8] <= '9') return {};
    const int y = Int(fileName.substr(0, 4)), m = Int(fileName.substr(4, 2)), d = Int(fileName.substr(6, 2));
    if (!ValidDate(y, m, d)) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

GpxSource ReadRecordFileForGpx(const std::string& path)
{
    GpxSource src;
    TextReader reader;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || !reader.open(path)) {
        src.error = "cannot read " + path;
        return src;
    }
    src.readable = true;
    src.track.name = fs::path(path).filename().string();
    std::string header[4];
    for (auto& h : header)
        if (!reader.readLine(h)) break;

    // "記録日時:2010/06/23/13:34:55": the date and time the recording began.
    long day = 0, start = 0;
    bool dated = false;
    if (const auto colon = header[0].find(':'); colon != std::string::npos) {
        ItemDataArray items;
        try {
            SplitItems(std::string_view(header[0]).substr(colon + 1), "/", items);
        } catch (const SplitOverflow&) {
        }
        const int y = Int(items[0]), m = Int(items[1]), d = Int(items[2]);
        std::string fraction;
        if (AllDigits(items[0]) && AllDigits(items[1]) && AllDigits(items[2]) && ValidDate(y, m, d)) {
            dated = true;
            day = DaysFromCivil(y, m, d);
            if (!ClockSeconds(items[3], true, start, fraction)) start = 0;
        }
    }
    // "日本測地系: 第9系"
    geodesy::CurrentZone zone;
    if (const auto at = header[1].find("第"); at != std::string::npos)
        geodesy::SetCurrentZone(Int(std::string_view(header[1]).substr(at + 3)), zone);
    if (zone.ZoneNo == 0) {
        src.error = path + ": no zone in the second header line";
        src.readable = false;
        return src;
    }
    geodesy::InitEllipsoid();

    RunningDay clock(day, start);
    std::vector<GpxPoint> points;
    std::string line;
    while (reader.readLine(line)) {
        ItemDataArray items;
        try {
            SplitItems(line, ",", items);
        } catch (const SplitOverflow&) {
        }
        double e = 0, n = 0;
        long secs = 0;
        std::string fraction;
        if (!ParseNumber(items[1], e) || !ParseNumber(items[2], n) || !ClockSeconds(items[0], true, secs, fraction)) {
            ++src.skippedLines;
            continue;
        }
        const geodesy::LatLon ll = geodesy::PlaneToLatLon(e, n, zone.ZoneOriginLat, zone.ZoneOriginLon);
        GpxPoint p;
        p.lat = ll.lat;
        p.lon = ll.lon;
        if (dated) p.time = DateTimeText(clock.At(secs) - kJapanOffset, fraction);
        points.push_back(std::move(p));
    }
    if (!points.empty()) src.track.segments.push_back(std::move(points));
    return src;
}

GpxSource ReadGgaLogForGpx(const std::string& path, bool verifyChecksum)
{
    GpxSource src;
    TextReader reader;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || !reader.open(path)) {
        src.error = "cannot read " + path;
        return src;
    }
    src.readable = true;
    src.track.name = fs::path(path).filename().string();
    const std::string date = DateFromFileName(src.track.name);
    long day = 0;
    if (!date.empty()) day = DaysFromCivil(Int(date.substr(0, 4)), Int(date.substr(5, 2)), Int(date.substr(8, 2)));
    RunningDay clock(day, 0);

    std::vector<GpxPoint> points;
    std::optional<GpxPoint> last;
    std::string line;
    FieldDataArray fields;
    while (reader.readLine(line)) {
        std::string_view l = line;
        if (!l.empty() && l.front() == '\n') l.remove_prefix(1);
        if (l.substr(0, 2) == "A,") {
            if (last) {
                GpxPoint w = *last;
                w.name = std::string(TrimSpaces(l.substr(2)));
                src.track.waypoints.push_back(std::move(w));
            }
            continue;
        }
        if (l.empty() || l.front() != '$' || !IsGgaSentence(l)) continue;
        if (!PassesChecksum(l, verifyChecksum)) {
            ++src.checksumDropped;
            continue;
        }
        try {
            SplitAtCommas(l, fields);
        } catch (const SplitOverflow&) {
        }
        GpxPoint p;
        if (NumericValue(fields[6]) == 0.0 || !Degrees(fields[2], 2, p.lat) || !Degrees(fields[4], 3, p.lon)) {
            ++src.skippedLines;
            continue;
        }
        double ele = 0;
        if (ParseNumber(fields[9], ele)) p.ele = ele;
        long secs = 0;
        std::string fraction;
        if (!date.empty() && ClockSeconds(fields[1], false, secs, fraction)) p.time = DateTimeText(clock.At(secs), fraction);
        last = p;
        points.push_back(std::move(p));
    }
    if (!points.empty()) src.track.segments.push_back(std::move(points));
    return src;
}

GpxSource ReadForGpx(const std::string& path, bool verifyChecksum)
{
    return IsRecordFile(path) ? ReadRecordFileForGpx(path) : ReadGgaLogForGpx(path, verifyChecksum);
}

void WriteGpx(std::ostream& out, const std::vector<GpxTrack>& tracks)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"Tessaro\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    // GPX 1.1 puts every waypoint before the tracks.
    for (const GpxTrack& t : tracks)
        for (const GpxPoint& w : t.waypoints) WritePoint(out, "wpt", w, "  ");
    for (const GpxTrack& t : tracks) {
        out << "  <trk>\n    <name>" << XmlEscaped(t.name) << "</name>\n";
        for (const auto& segment : t.segments) {
            out << "    <trkseg>\n";
            for (const GpxPoint& p : segment) WritePoint(out, "trkpt", p, "      ");
            out << "    </trkseg>\n";
        }
        out << "  </trk>\n";
    }
    out << "</gpx>\n";
}

GpxExport ExportGpxFile(const std::vector<std::string>& sources, const std::string& target, bool verifyChecksum)
{
    GpxExport result;
    std::vector<GpxTrack> tracks;
    for (const std::string& path : sources) {
        GpxSource src = ReadForGpx(path, verifyChecksum);
        const std::string name = fs::path(path).filename().string();
        if (!src.readable) {
            result.messages.push_back("ファイル「" + name + "」はGPXに書き出せませんでした。");
            continue;
        }
        if (src.checksumDropped > 0)
            result.messages.push_back("ファイル「" + name + "」のチェックサムが一致しない行" +
                                      std::to_string(src.checksumDropped) + "件は書き出していません。");
        for (const auto& segment : src.track.segments) result.points += static_cast<int>(segment.size());
        tracks.push_back(std::move(src.track));
    }
    if (tracks.empty()) {
        result.messages.push_back("GPXに書き出せるデータがありませんでした。");
        return result;
    }
    const std::string temp = target + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) WriteGpx(out, tracks);
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(temp, ec);
            result.messages.push_back("GPXファイル「" + target + "」を書き込めませんでした。");
            return result;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        result.messages.push_back("GPXファイル「" + target + "」を書き込めませんでした。");
        return result;
    }
    result.written = true;
    result.messages.push_back("GPXファイル「" + target + "」に" + std::to_string(result.points) + "点を書き出しました。");
    return result;
}

std::string GgaTimeOfGpxTime(std::string_view dateTime)
{
    const std::size_t t = dateTime.find('T');
    if (t == std::string_view::npos) return {};
    std::string_view clock = dateTime.substr(t + 1);
    long secs = 0;
    std::string fraction;
    if (!ClockSeconds(clock, true, secs, fraction)) return {};
    // A zone offset after the seconds: the GGA time is UTC.
    std::size_t at = 8;
    if (!fraction.empty()) at += 1 + fraction.size();
    while (at < clock.size() && clock[at] >= '0' && clock[at] <= '9') ++at;  // fraction digits beyond 9
    const std::string_view zone = clock.substr(at);
    if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':' && AllDigits(zone.substr(1, 2)) &&
        AllDigits(zone.substr(4, 2))) {
        const long offset = Int(zone.substr(1, 2)) * 3600L + Int(zone.substr(4, 2)) * 60L;
        secs = ((secs - (zone[0] == '+' ? offset : -offset)) % kDay + kDay) % kDay;
    }
    const int h = static_cast<int>(secs / 3600 % 24), m = static_cast<int>(secs / 60 % 60), sec = static_cast<int>(secs % 60);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", h, m, sec);
    std::string text = buf;
    if (!fraction.empty()) text.append(".").append(fraction);
    return text;
}

GpxRead ParseGpx(std::string_view bytes)
{
    GpxRead r;
    QXmlStreamReader xml(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    bool root = false;
    GpxPiece* piece = nullptr;
    std::optional<GpxPoint> point;
    bool pointValid = false;
    QString child;  // the element of a point whose text is read
    QString text;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (!root) {
                if (name != u"gpx") {
                    r.error = "not a GPX document";
                    return r;
                }
                root = true;
                continue;
            }
            if (name == u"trkseg" || name == u"rte") {
                r.pieces.emplace_back();
                piece = &r.pieces.back();
            } else if ((name == u"trkpt" || name == u"rtept") && piece) {
                point.emplace();
                double lat = 0, lon = 0;
                const auto a = xml.attributes();
                pointValid = ParseNumber(a.value(QStringLiteral("lat")).toString().toStdString(), lat) &&
                             ParseNumber(a.value(QStringLiteral("lon")).toString().toStdString(), lon) && std::fabs(lat) <= 90.0 &&
                             std::fabs(lon) <= 180.0;
                point->lat = lat;
                point->lon = lon;
            } else if (point && (name == u"ele" || name == u"time")) {
                child = name.toString();
                text.clear();
            }
        } else if (token == QXmlStreamReader::Characters) {
            if (!child.isEmpty() && text.size() < 256) text += xml.text();
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView name = xml.name();
            if (point && !child.isEmpty() && name == child) {
                const std::string value = text.trimmed().toStdString();
                double ele = 0;
                if (child == u"ele" && ParseNumber(value, ele)) point->ele = ele;
                if (child == u"time") point->time = value;
                child.clear();
            } else if (name == u"trkpt" || name == u"rtept") {
                if (point && piece) {
                    if (pointValid)
                        piece->points.push_back(std::move(*point));
                    else
                        ++r.badPoints;
                }
                point.reset();
            } else if (name == u"trkseg" || name == u"rte") {
                piece = nullptr;
            }
        }
    }
    if (xml.hasError() && !root) {
        r.error = "not a GPX document: " + xml.errorString().toStdString();
        return r;
    }
    if (xml.hasError()) r.error = "XML error at line " + std::to_string(xml.lineNumber()) + ": " +
                                  xml.errorString().toStdString();
    r.readable = root;
    if (!root) r.error = "not a GPX document";
    return r;
}

GpxRead ReadGpx(const std::string& path)
{
    GpxRead r;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        r.error = "cannot read " + path;
        return r;
    }
    const auto size = fs::file_size(path, ec);
    if (ec || size > kMaxGpxBytes) {
        r.error = ec ? "cannot read " + path : path + " is too large";
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        r.error = "cannot read " + path;
        return r;
    }
    return ParseGpx(bytes);
}

}  // namespace tessaro::gps
