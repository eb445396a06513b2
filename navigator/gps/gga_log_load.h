// Loading GGA logs for display: files of GGA sentences, possibly with mark
// lines ("A,<number>"), read into the point list and the mark list of the run
// state in plane coordinates of the current zone. The log never changes the
// zone.
//
// Per line (cut by the text-file layer, split with SplitItems at ","):
//   - a position line: item 0 is a GGA sentence name of any talker
//     ("$GPGGA", "$GNGGA", ...: IsGgaSentenceName) and there are at least
//     12 items;
//     items 1 (time), 2 (ddmm.mmmm) and 4 (dddmm.mmmm) are used;
//   - a mark line: item 0 is "A"; item 1 is the mark's number, and it takes
//     the time and position of the last position line of its file;
//   - any other line is ignored, and so is a line of more than 51 items.
//
// Limits: 15001 points (the message speaks of 15000) and 101 marks; what
// does not fit is not stored, and the user is told once per load. A position
// more than 2 degrees from the zone's origin (a receiver's 0000.0000 before
// its first fix, a log of another region) is skipped and counted; the rest
// of the file still loads. A GGA line whose checksum does not match is
// dropped, counted and reported (SetChecksumTest). A mark read before any position line of its file
// is kept without a place (MKPointPlaced 0).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "geodesy/plane_coords.h"
#include "overlays/overlay_lists.h"

namespace tessaro::gps {

inline constexpr const char* kGgaPointLimitMessage = "最大データ数15000に達しました。";

class GgaLogLoad {
public:
    // Starts a load: both lists are emptied.
    GgaLogLoad(overlays::OverlayLists& lists, const geodesy::CurrentZone& zone);

    // A GGA line whose "*hh" does not match is dropped and counted (on by
    // default, as for the live receiver).
    void SetChecksumTest(bool verify) { verifyChecksum_ = verify; }

    // Reads one log file, continuing the lists; false when it cannot be read.
    // A file whose name ends in ".gpx" is read as GPX: the points of its
    // track segments and routes go into the point list as GGA positions do,
    // and each segment's first point into the mark list.
    bool AddFile(const std::string& path);
    // The same for lines already read (tests, tools).
    void AddLines(const std::vector<std::string>& lines);

    // Ends the load: sets GGALogLoaded (at least one point) and gives the
    // messages for the user, in Japanese, each at most once, in the order
    // their cause was met.
    std::vector<std::string> Finish();

    int SkippedOutsideZone() const { return outsideZone_; }
    int MarksNotLoaded() const { return marksDropped_; }
    int ChecksumDropped() const { return checksumDropped_; }

private:
    void BeginFile();
    // False when the rest of the file is not to be read.
    bool AddLine(std::string_view line);
    bool AddGpx(const std::string& path);
    // Stores one position; false when the rest of the file is not to be read.
    bool AddPosition(double lat, double lon, const std::string& time, bool* stored = nullptr);

    overlays::OverlayLists& lists_;
    geodesy::CurrentZone zone_;
    // Of the file being read: the last position line's time and place.
    bool havePosition_ = false;
    std::string lastTime_;
    double lastEasting_ = 0.0;
    double lastNorthing_ = 0.0;
    int outsideZone_ = 0;
    int marksDropped_ = 0;
    bool verifyChecksum_ = true;
    int checksumDropped_ = 0;
    bool pointLimit_ = false;
    std::vector<std::string> unreadable_;
};

}  // namespace tessaro::gps
