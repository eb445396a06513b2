// Stored points without widgets: point files (one point a line: name, X
// northing, Y easting, split at commas), the test a chosen file must pass,
// and the remembered file data0/PointFileName.txt.
//
// The point window lists at most 999 points; a longer file is loaded up to
// there and the user is told that the rest was not.
#pragma once

#include <string>
#include <vector>

namespace tessaro::points {

inline constexpr int kMaxPoints = 999;

// The three cells of a grid row, as the file has them (trimmed).
struct PointRow {
    std::string name, x, y;
    friend bool operator==(const PointRow&, const PointRow&) = default;
};

struct PointList {
    std::vector<PointRow> rows;
    bool opened = false;     // the file could be read
    bool truncated = false;  // lines after the 999th were not loaded
};

// A stored point on the ground: easting from the column "Y(m)", northing
// from the column "X(m)" (survey convention); cells that are not numbers
// give 0.
struct StoredPoint {
    std::string name;
    double easting = 0.0, northing = 0.0;
};
StoredPoint PointOf(const PointRow& row);

// Whether `path` names a file the point window opens: a regular file whose
// name (not folder) has "csv" or "txt" between its first and second dot.
// Empty when it does, else the reason for the user (Japanese).
std::string PointFileRefusal(const std::string& path);

// Reads a point file. Anything but a regular file is not opened (a FIFO or a
// device would block or never end).
PointList LoadPointFile(const std::string& path);

// ProgramFolder + "/data0/PointFileName.txt".
std::string PointFileNamePath(const std::string& programFolder);

class SetPointSession {
public:
    explicit SetPointSession(std::string programFolder);

    // Opening the window: the points of the file remembered last (none
    // without one). Messages for the user go to *messages.
    PointList Open(std::vector<std::string>* messages);
    // A file chosen with "開く": refused with a message, or loaded and
    // remembered. `accepted` tells which.
    PointList Choose(const std::string& path, bool& accepted, std::vector<std::string>* messages);

    const std::string& FileName() const { return fileName_; }

private:
    PointList Load(const std::string& path, std::vector<std::string>* messages);

    std::string programFolder_;
    std::string fileName_;
};

}  // namespace tessaro::points
