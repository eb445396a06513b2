// GPX 1.1 tracks out and in.
//
// Out: a record file or a GGA log becomes one track of WGS 84 latitudes and
// longitudes. A record file's plane positions go back to latitude and
// longitude in the zone its second header line names; its local times
// (UTC + 9 h) become UTC with the date of its first header line. A GGA
// log's positions are the decoded degrees (the navigator's reading: north
// and east), its UTC times take the date of the file's name when the name
// starts with yyyymmdd, its altitude field becomes the elevation; a mark
// line ("A,n") becomes a waypoint at the last position. Times run on past
// midnight: a time earlier than the one before starts the next day.
//
// In: the points of every track segment and every route, in file order; a
// segment or a route is one piece of the way, its first point is where the
// log list puts a mark.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro::gps {

struct GpxPoint {
    double lat = 0.0;  // [deg] WGS 84
    double lon = 0.0;  // [deg]
    std::optional<double> ele;  // [m]
    std::string time;  // xsd:dateTime in UTC ("2010-05-08T01:00:00Z"), empty when unknown
    std::string name;  // waypoints only
};

struct GpxTrack {
    std::string name;
    std::vector<std::vector<GpxPoint>> segments;
    std::vector<GpxPoint> waypoints;
};

// What reading a source for export found.
struct GpxSource {
    bool readable = false;
    GpxTrack track;
    int skippedLines = 0;     // data lines that carry no usable position
    int checksumDropped = 0;  // GGA lines whose checksum does not match
    std::string error;        // why nothing could be read (English, for the tool)
};

// A record file (recognised by its "日本測地系: 第n系" header line).
GpxSource ReadRecordFileForGpx(const std::string& path);
// A GGA log; with `verifyChecksum` lines whose "*hh" does not match are
// dropped. GGA sentences without a fix (quality 0 or empty position) are
// skipped.
GpxSource ReadGgaLogForGpx(const std::string& path, bool verifyChecksum = true);
// Either, by content: a file whose second line names a zone is a record file.
GpxSource ReadForGpx(const std::string& path, bool verifyChecksum = true);

// The date yyyy-mm-dd that a file name starting with yyyymmdd gives (a real
// date), else empty.
std::string DateFromFileName(std::string_view fileName);

// Writes a GPX 1.1 document with the tracks (9 decimals of a degree: far
// below the 0.1 m of a record file).
void WriteGpx(std::ostream& out, const std::vector<GpxTrack>& tracks);

// The export buttons of the review and log windows: the sources as one GPX
// document at `target`, written through a temporary file that replaces it
// only when complete. The messages tell the user (Japanese) what was
// written and what could not be read.
struct GpxExport {
    bool written = false;
    int points = 0;
    std::vector<std::string> messages;
};
GpxExport ExportGpxFile(const std::vector<std::string>& sources, const std::string& target, bool verifyChecksum);

// One piece of the way read from a GPX file: the points of a track segment
// or a route.
struct GpxPiece {
    std::vector<GpxPoint> points;
};

struct GpxRead {
    bool readable = false;      // the file opened and is a GPX document
    std::vector<GpxPiece> pieces;
    int badPoints = 0;          // points without a valid lat and lon
    std::string error;          // why not (English; the caller says it in Japanese)
};

// Reads the track segments and routes of a GPX 1.0 or 1.1 file (waypoints
// are not part of a way and are not read). Files larger than kMaxGpxBytes
// are refused.
GpxRead ReadGpx(const std::string& path);
GpxRead ParseGpx(std::string_view bytes);
inline constexpr std::size_t kMaxGpxBytes = std::size_t{256} << 20;

// The GGA-style UTC time text (hhmmss, with the fraction of a second when
// the GPX time has one) of an xsd:dateTime; empty when it has no time.
std::string GgaTimeOfGpxTime(std::string_view dateTime);

}  // namespace tessaro::gps
