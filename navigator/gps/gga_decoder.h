// Decoding of NMEA GGA sentences into the navigator's current position.
//
// One accepted sentence updates the fix texts and labels, converts the
// position to plane coordinates in the current zone (changing the zone when
// the fix lies too far from its origin), stores it in the track ring, counts
// it for a running recording, and decides whether the view must follow.
//
// Example sentence and the fields the decoder reads (field 0 is the name):
//
//   $GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*47
//          1 time    2 lat       4 lon          6 7
//   1 UTC hhmmss(.ss)   2 ddmm.mmmm   4 dddmm.mmmm   6 fix quality
//   7 satellites in use. Any talker of IsGgaTalker may stand for "GP".
//   Hemisphere letters, altitude, HDOP and the checksum
//   are not read (the navigator is for Japan: north and east).
//
// The decoder works on the shared run state and talks to the rest of the
// program only through the four narrow interfaces below, so that it runs
// without a window (tests, tessaro-tool) and the main window supplies the
// real implementations. Every default implementation does nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "state/nav_state.h"
#include "shell/values.h"

namespace tessaro::gps {

// The message shown before the decoder switches to another zone.
inline constexpr const char* kZoneChangeMessage = "測地系設定を変更します。";

// The five status labels of the main window, in the order the decoder writes
// them.
enum class FixLabel {
    GPSTimeLbl,      // local time hh:mm:ss
    GPSSaetNumLbl,   // satellites in use, as received
    DispPublicXlbl,  // latitude dd-mm-ss.ss
    DispPublicYlbl,  // longitude ddd-mm-ss.ss
    GPSStatusLbl,    // "Navi", "DGPS", "rtk" or empty
};

// The main window and its receiver port.
class GpsWindow {
public:
    virtual ~GpsWindow() = default;
    // Zone change: the port is closed, the message is shown (modal, OK only,
    // no icon) and, after the zone search, the port is opened again.
    virtual void ClosePort() {}
    virtual void ShowZoneChangeMessage(const std::string& /*text*/) {}
    virtual void OpenPort() {}
    virtual void SetLabel(FixLabel /*label*/, const std::string& /*text*/) {}
    // The recording indicator RecordSTSHdLbl blinks on every recorded fix.
    virtual void SetRecordIndicatorVisible(bool /*visible*/) {}
    // The position mark GPSPointImg (16 x 16 picture units); left and top in
    // picture units (origin at the picture centre, y up).
    virtual void HidePositionMark() {}
    virtual void PlacePositionMark(double /*left*/, double /*top*/) {}
    virtual void BringPositionMarkToFront() {}
    virtual void ShowPositionMark() {}
};

// Choice of the photographs around the position (photo-map view).
class MapSelection {
public:
    virtual ~MapSelection() = default;
    // 1 when the photograph nearest to the view centre changed, else 0.
    virtual int SelectNearestMap() { return 0; }
    // 1 when the photographs shown must change, else 0.
    virtual int CheckMapQuadrant() { return 0; }
    // Chooses and loads the photographs for the current view.
    virtual void LoadMapImages() {}
};

// Drawing of the picture area.
class OverlayDrawing {
public:
    virtual ~OverlayDrawing() = default;
    // Full redraw: photographs, scale bar, compass, tracks and marks.
    virtual void ShowAllData() {}
    // One dot of the live trail at picture position (px, py).
    virtual void DrawTrailPoint(double /*px*/, double /*py*/) {}
};

// Receives the record lines of a running recording, one line of text without
// its line end (the record file adds CR LF).
class RecordLineSink {
public:
    virtual ~RecordLineSink() = default;
    virtual void WriteRecordLine(const std::string& /*line*/) {}
};

// The values one decoded sentence yields.
struct PositionFix {
    std::string timeText;       // local time hh:mm:ss (UTC + 9 h)
    bool hasPosition = false;   // latitude and longitude fields were present
    double lat = 0.0;           // [deg]
    double lon = 0.0;           // [deg]
    std::string latText;        // dd-mm-ss.ss, e.g. 35-42-07.40
    std::string lonText;        // ddd-mm-ss.ss, e.g. 139-45-40.73
    std::string satellitesText; // field 7 as received
    std::string statusText;     // "Navi", "DGPS", "rtk" or empty
    bool zoneChanged = false;   // the zone test fired (message shown)
    bool stored = false;        // passed the range test: converted and stored
    float northing = 0.0f;      // [m] PosNorthing, when stored
    double easting = 0.0;       // [m] PosEasting, when stored
    bool recorded = false;      // a record line was written
    bool recentred = false;     // the view was re-centred on the fix
};

// SplitFields(text, ",", out) without its per-character work: the same
// fields, the same result and the same SplitOverflow on a 32nd field.
int SplitAtCommas(std::string_view text, FieldDataArray& out);

// The talkers whose GGA sentence is taken: GPS alone ("GP") and the
// multi-constellation and other-system receivers ("GN" combined, "GL"
// GLONASS, "GA" Galileo, "GB"/"BD" BeiDou, "GQ" QZSS, "GI" NavIC). Every one
// is decoded exactly as "$GPGGA".
bool IsGgaTalker(std::string_view talker);

// True for a line the receiver handler hands to the decoder: its first six
// characters are "$" + talker + "GGA" or talker + "GGA," (a line whose "$"
// was lost), for a talker of IsGgaTalker.
bool IsGgaSentence(std::string_view line);

// True for the first item of a GGA position line in a log: "$" + talker +
// "GGA", nothing more.
bool IsGgaSentenceName(std::string_view item);

// The record line of a fix: time, easting and northing with one decimal,
// satellites, status and an empty sixth field, e.g.
// 14:30:12,-12345.7,-35000.2,08,Navi,
std::string FormatRecordLine(const std::string& timeText, double easting, float northing,
                             const std::string& satellitesText, const std::string& statusText);

class GgaDecoder {
public:
    // The interfaces must outlive the decoder; any of them may be a default
    // (do-nothing) object.
    GgaDecoder(NavState& state, GpsWindow& window, MapSelection& maps, OverlayDrawing& drawing,
               RecordLineSink& record);

    // Decodes one accepted line (see IsGgaSentence) and performs every update
    // that follows from it. A step that fails is skipped and the next runs;
    // nothing is reported. A sentence without a position (latitude field
    // shorter than 4 characters or longitude field shorter than 5) updates
    // only the time, satellites and status.
    PositionFix DecodeGPGGAData(std::string_view line);

    // The receiver handler's filter and the decoder in one call: returns false
    // (and does nothing) for a line that is not a GGA sentence.
    bool Feed(std::string_view line, PositionFix* fix = nullptr);

private:
    NavState& state_;
    GpsWindow& window_;
    MapSelection& maps_;
    OverlayDrawing& drawing_;
    RecordLineSink& record_;
    FieldDataArray fields_;
};

}  // namespace tessaro::gps
