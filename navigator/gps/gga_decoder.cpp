#include "gps/gga_decoder.h"

#include <cmath>

#include "geodesy/plane_coords.h"
#include "mapview/map_view.h"
#include "shell/guarded_step.h"
#include "shell/values.h"

namespace tessaro::gps {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of character `index` (0-based) of UTF-8 text, or text.size()
// when the text has fewer characters. A character is one byte and the
// continuation bytes after it, so malformed text never leads outside the
// string.
std::size_t CharOffset(std::string_view text, std::size_t index)
{
    std::size_t pos = 0;
    for (std::size_t n = 0; n < index && pos < text.size(); ++n) {
        ++pos;
        while (pos < text.size() && IsContinuationByte(text[pos])) ++pos;
    }
    return pos;
}

// Characters `first` (1-based) onwards, at most `count` of them.
std::string_view Mid(std::string_view text, std::size_t first, std::size_t count = std::string_view::npos)
{
    const std::size_t begin = CharOffset(text, first - 1);
    if (count == std::string_view::npos) return text.substr(begin);
    const std::size_t end = begin + CharOffset(text.substr(begin), count);
    return text.substr(begin, end - begin);
}

std::size_t CharCount(std::string_view text)
{
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size(); ++n) {
        ++pos;
        while (pos < text.size() && IsContinuationByte(text[pos])) ++pos;
    }
    return n;
}

// True when the first `count` bytes of the text are ASCII digits.
bool LeadingDigits(std::string_view text, std::size_t count)
{
    if (text.size() < count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// Appends seconds of arc with at least two integer digits and two decimals
// (07.40).
void AppendSeconds(std::string& out, double seconds)
{
    const std::size_t start = out.size();
    AppendFixed(out, seconds, 2);
    const std::size_t sign = (out.size() > start && out[start] == '-') ? 1 : 0;
    const std::size_t point = out.find('.', start);
    const std::size_t intDigits = point - start - sign;
    if (point != std::string::npos && intDigits < 2) out.insert(start + sign, 2 - intDigits, '0');
}

// One coordinate field: `degreeChars` degree digits, two minute digits, the
// decimal point, then the fraction of a minute.
struct Coordinate {
    double degrees = 0.0;  // [deg]
    std::string text;      // dd-mm-ss.ss
};

Coordinate DecodeCoordinate(std::string_view field, std::size_t degreeChars)
{
    const std::string_view degreeDigits = Mid(field, 1, degreeChars);
    const std::string_view minuteDigits = Mid(field, degreeChars + 1, 2);
    const std::string_view fraction = Mid(field, degreeChars + 4);
    std::string secondsText = "0.";
    secondsText.append(fraction);
    const double seconds = NumericValue(secondsText) * 60.0;
    Coordinate c;
    c.degrees = NumericValue(degreeDigits) + NumericValue(minuteDigits) / 60.0 + seconds / 3600.0;
    c.text.reserve(16);
    c.text.append(degreeDigits).append("-").append(minuteDigits).append("-");
    AppendSeconds(c.text, seconds);
    return c;
}

// Local time hh:mm:ss from the UTC field hhmmss(.ss).
std::string LocalTimeText(std::string_view utc)
{
    // The hour is rounded to a whole number before taking it modulo 24.
    double hour = RoundHalfEven(NumericValue(Mid(utc, 1, 2)) + 9.0);
    hour = std::fmod(hour, 24.0);
    if (hour < 0) hour += 24.0;
    const int h = static_cast<int>(hour);  // 0..23
    std::string text;
    text.reserve(16);
    text.push_back(static_cast<char>('0' + h / 10));
    text.push_back(static_cast<char>('0' + h % 10));
    text.append(":").append(Mid(utc, 3, 2)).append(":").append(Mid(utc, 5, 2));
    return text;
}

std::string StatusText(std::string_view quality)
{
    const double q = NumericValue(quality);
    if (q == 1.0) return "Navi";
    if (q == 2.0) return "DGPS";
    if (q == 3.0) return "rtk";
    return {};
}

}  // namespace

int SplitAtCommas(std::string_view text, FieldDataArray& out)
{
    out.clear(0, 20);
    std::size_t n = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
        const std::string_view field = TrimSpaces(text.substr(start, end - start));
        out.store(n, std::string(field));
        ++n;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return static_cast<int>(n) - 1;
}

bool IsGgaTalker(std::string_view talker)
{
    static constexpr std::string_view kTalkers[] = {"GP", "GN", "GL", "GA", "GB", "BD", "GQ", "GI"};
    for (std::string_view t : kTalkers)
        if (talker == t) return true;
    return false;
}

bool IsGgaSentence(std::string_view line)
{
    if (line.size() < 6) return false;
    if (line[0] == '$') return IsGgaTalker(line.substr(1, 2)) && line.substr(3, 3) == "GGA";
    return IsGgaTalker(line.substr(0, 2)) && line.substr(2, 4) == "GGA,";
}

bool IsGgaSentenceName(std::string_view item)
{
    return item.size() == 6 && item[0] == '$' && IsGgaTalker(item.substr(1, 2)) && item.substr(3) == "GGA";
}

std::string FormatRecordLine(const std::string& timeText, double easting, float northing,
                             const std::string& satellitesText, const std::string& statusText)
{
    std::string line;
    line.reserve(64);
    line.append(timeText).append(",");
    AppendFixed(line, easting, 1);
    line.append(",");
    AppendFixed(line, northing, 1);
    line.append(",");
    line.append(satellitesText).append(",");
    line.append(statusText).append(",");
    return line;  // the sixth field (a pending mark text) is always empty
}

GgaDecoder::GgaDecoder(NavState& state, GpsWindow& window, MapSelection& maps,
                       OverlayDrawing& drawing, RecordLineSink& record)
    : state_(state), window_(window), maps_(maps), drawing_(drawing), record_(record)
{
}

bool GgaDecoder::Feed(std::string_view line, PositionFix* fix)
{
    if (!IsGgaSentence(line)) return false;
    PositionFix f = DecodeGPGGAData(line);
    if (fix) *fix = std::move(f);
    return true;
}

PositionFix GgaDecoder::DecodeGPGGAData(std::string_view line)
{
    NavState& st = state_;
    geodesy::CurrentZone& zone = st.Zone;
    PositionFix fix;

    // 1. fields; a sentence with more than 31 fields keeps the first 31
    GuardedStep([&] { SplitAtCommas(line, fields_); });
    const std::string& utcField = fields_[1];
    const std::string& latField = fields_[2];
    const std::string& lonField = fields_[4];

    // Without a position in the sentence the receiver has no fix: nothing
    // below may treat the empty fields as 0 deg N 0 deg E. Degree and minute
    // characters that are not digits (line noise on the serial line) would
    // read as 0 in the same way and throw the zone far off, so such a
    // sentence counts as one without a fix too.
    fix.hasPosition = CharCount(latField) >= 4 && CharCount(lonField) >= 5 &&
                      LeadingDigits(latField, 4) && LeadingDigits(lonField, 5);

    if (fix.hasPosition) {
        // 2., 3. latitude ddmm.mmmm and longitude dddmm.mmmm
        GuardedStep([&] {
            Coordinate c = DecodeCoordinate(latField, 2);
            fix.lat = c.degrees;
            fix.latText = std::move(c.text);
        });
        GuardedStep([&] {
            Coordinate c = DecodeCoordinate(lonField, 3);
            fix.lon = c.degrees;
            fix.lonText = std::move(c.text);
        });

        // 4. zone test: too far from the origin of the current zone
        if (std::fabs(fix.lat - zone.ZoneOriginLat) > 2.0 ||
            std::fabs(fix.lon - zone.ZoneOriginLon) > 1.2) {
            fix.zoneChanged = true;
            GuardedStep([&] { window_.ClosePort(); });
            GuardedStep([&] { window_.ShowZoneChangeMessage(kZoneChangeMessage); });
            GuardedStep([&] { geodesy::FindZoneByLatLon(fix.lat, fix.lon, zone); });
            GuardedStep([&] { window_.OpenPort(); });
        }
    }

    // 5.-7. time, satellites, status
    GuardedStep([&] {
        fix.timeText = LocalTimeText(utcField);
        st.GPSTimeText = fix.timeText;
    });
    GuardedStep([&] { fix.satellitesText = fields_[7]; });
    GuardedStep([&] { fix.statusText = StatusText(fields_[6]); });

    // 8. labels, in this order; the coordinates keep the last fix when the
    // sentence has none
    GuardedStep([&] { window_.SetLabel(FixLabel::GPSTimeLbl, fix.timeText); });
    GuardedStep([&] { window_.SetLabel(FixLabel::GPSSaetNumLbl, fix.satellitesText); });
    if (fix.hasPosition) {
        GuardedStep([&] { window_.SetLabel(FixLabel::DispPublicXlbl, fix.latText); });
        GuardedStep([&] { window_.SetLabel(FixLabel::DispPublicYlbl, fix.lonText); });
    }
    GuardedStep([&] { window_.SetLabel(FixLabel::GPSStatusLbl, fix.statusText); });

    // 9. range test against the (possibly new) origin, both limits 2 deg
    if (!fix.hasPosition) return fix;
    if (!(std::fabs(fix.lat - zone.ZoneOriginLat) < 2.0 && std::fabs(fix.lon - zone.ZoneOriginLon) < 2.0))
        return fix;
    fix.stored = true;

    // 10. plane coordinates
    GuardedStep([&] {
        const geodesy::PlanePoint p =
            geodesy::LatLonToPlane(fix.lat, fix.lon, zone.ZoneOriginLat, zone.ZoneOriginLon);
        st.PosEasting = p.easting;
        st.PosNorthing = static_cast<float>(p.northing);
    });
    fix.easting = st.PosEasting;
    fix.northing = st.PosNorthing;

    // 11. track ring: the newest 601 fixes, the count stops at 600
    TrackRing& ring = st.Track;
    if (ring.TrackIndex >= 0 && ring.TrackIndex < TrackRing::kSlots) {
        ring.TrackEasting[static_cast<std::size_t>(ring.TrackIndex)] = static_cast<float>(st.PosEasting);
        ring.TrackNorthing[static_cast<std::size_t>(ring.TrackIndex)] = st.PosNorthing;
    }
    ring.TrackCount = static_cast<std::int16_t>(ring.TrackCount < TrackRing::kMaxCount ? ring.TrackCount + 1
                                                                                       : TrackRing::kMaxCount);
    ring.TrackIndex = static_cast<std::int16_t>(ring.TrackIndex + 1 > TrackRing::kSlots - 1 ? 0 : ring.TrackIndex + 1);

    // 12. recording: a line on every RecordInterval-th fix, the indicator
    // blinks on every fix
    if (st.RecordingOn && st.pRecordSTS != 0) {
        if (st.pRecordCount < INT16_MAX) ++st.pRecordCount;
        if (st.pRecordCount == st.RecordInterval) {
            GuardedStep([&] {
                record_.WriteRecordLine(FormatRecordLine(fix.timeText, st.PosEasting, st.PosNorthing,
                                                         fix.satellitesText, fix.statusText));
                fix.recorded = true;
            });
            st.pRecordCount = 0;
        }
        if (st.RecordBlink == 0) {
            GuardedStep([&] { window_.SetRecordIndicatorVisible(true); });
            st.RecordBlink = 1;
        } else if (st.RecordBlink == 1) {
            GuardedStep([&] { window_.SetRecordIndicatorVisible(false); });
            st.RecordBlink = 0;
        }
    }

    // 13. picture position of the fix [picture units]
    mapview::PicturePoint p = mapview::PlaneToPicture(st, st.PosEasting, st.PosNorthing);

    // 14. follow rule: re-centre when the fix leaves the follow box
    if (p.x < st.ViewBoundLeft || p.x > st.ViewBoundRight || p.y < st.ViewBoundBottom || p.y > st.ViewBoundTop) {
        st.ViewCentreEasting = st.PosEasting;
        st.ViewCentreNorthing = st.PosNorthing;
        fix.recentred = true;
    }

    // 15. photographs around the position
    GuardedStep([&] { maps_.SelectNearestMap(); });
    int quadrantChanged = 0;
    GuardedStep([&] { quadrantChanged = maps_.CheckMapQuadrant(); });

    // 16. redraw everything, or move the mark and draw one trail dot
    if (fix.recentred || quadrantChanged == 1) {
        GuardedStep([&] { window_.HidePositionMark(); });
        GuardedStep([&] { maps_.LoadMapImages(); });
        GuardedStep([&] { drawing_.ShowAllData(); });
        p = mapview::PlaneToPicture(st, st.PosEasting, st.PosNorthing);
        GuardedStep([&] { window_.PlacePositionMark(p.x - 8.0, p.y + 8.0); });
        GuardedStep([&] { drawing_.DrawTrailPoint(p.x, p.y); });
        GuardedStep([&] { window_.BringPositionMarkToFront(); });
        GuardedStep([&] { window_.ShowPositionMark(); });
    } else {
        GuardedStep([&] { window_.PlacePositionMark(p.x - 8.0, p.y + 8.0); });
        GuardedStep([&] { window_.BringPositionMarkToFront(); });
        GuardedStep([&] { drawing_.DrawTrailPoint(p.x, p.y); });
    }
    return fix;
}

}  // namespace tessaro::gps
