// Review of recorded files (widget-free): the list of the record files below
// ProgramFolder/data2/, one record file read into the recorded-track list of
// the run state, and the rows of the mark-point list.
#pragma once

#include <string>
#include <vector>

#include "overlays/overlay_lists.h"
#include "state/nav_state.h"

namespace tessaro::recording {

inline constexpr const char* kRecordPointLimitMessage = "最大データ数10000に達しました。";

// One row of the record file list: the date shows in the row of the first
// file of its day only. `dayFolder` is the folder the file lies in.
struct RecordFileRow {
    std::string dateText;  // "2010/06/22" or empty
    std::string fileName;  // "20100622_0.dat"
    std::string dayFolder;  // "20100622"
};

// The day folders of `root` by name and, in each, the files whose names end
// in "dat" or "DAT" (no other mix of capitals), by name. Every file there is
// listed. A day folder of another length still shows a date made the same
// way: characters 1-4, "/", 5-6, "/", the last two.
std::vector<RecordFileRow> ListRecordFiles(const std::string& root);

// What loading a record file found.
struct RecordLoad {
    bool readable = false;
    int points = 0;
    int skippedLines = 0;  // data lines without a time and two numbers
    int fileZone = 0;      // from the second header line; 0 when not given
    std::vector<std::string> messages;  // for the user, in Japanese
};

// Reads a record file (four header lines, then "time,easting,northing,..."
// per point) into RecordPointInfo/Easting/Northing, replacing the list, at
// most 10001 points (the message speaks of 10000). A line without a time
// and two numbers (the cut last line a crash leaves) is skipped. When the
// file's zone differs from `currentZone` (0: not compared), or nothing could
// be loaded, the messages say so.
RecordLoad LoadRecordFile(const std::string& path, overlays::OverlayLists& lists, int currentZone);

// One row of the mark-point list.
struct MarkRow {
    std::string number;    // 1, 2, 3 ...
    std::string time;      // local time hh:mm:ss of the mark's UTC hhmmss
    std::string distance;  // from the mark before, "0.0" form; "0" first; empty without a place
    std::string total;     // running total, the same form
};

// The rows of the marks loaded with a GGA log. Distances are plane
// distances between consecutive marks that have a place; a mark read before
// any position of its file has none and shows empty distances.
std::vector<MarkRow> MarkListRows(const overlays::OverlayLists& lists);

// UTC "hhmmss[.ss]" as local time (UTC + 9 h) "hh:mm:ss".
std::string LocalMarkTime(const std::string& utc);


// What the window "記録データファイルリスト" decides: the rows of the record
// files, the file a click selects, and the load on "表示(&D)".
class RecordReviewSession {
public:
    // `root`: ProgramFolder/data2.
    explicit RecordReviewSession(std::string root);

    const std::vector<RecordFileRow>& Rows() const { return rows_; }
    // A click on a cell: only column 1 of a file row selects (day folder
    // and file name); other cells change nothing.
    void Click(int row, int column);
    // The selection as the window shows it ("20100622/20100622_1.dat"),
    // empty when none.
    const std::string& Selected() const { return selected_; }
    const std::string& SelectedFileName() const { return fileName_; }

    // "表示(&D)": loads the selected file into the recorded-track list and
    // switches its display on when it gave points; the display stays off
    // when nothing is selected or nothing could be loaded.
    RecordLoad Show(NavState& state) const;

private:
    std::string root_;
    std::vector<RecordFileRow> rows_;
    std::string selected_;
    std::string fileName_;
};

}  // namespace tessaro::recording
