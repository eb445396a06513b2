// Record files of a tracking run and their numbering state (widget-free).
//
// A record file lives in ProgramFolder/data2/<yyyymmdd>/ and is named
// <yyyymmdd>_<n>.dat, n counting the recordings of that day. The running
// number is kept in ProgramFolder/data0/StoredSTS.dat (three lines: the day
// folder of the last stopped recording, the number to use next, the mark
// count). A record file starts with four header lines; the decoder then
// appends one line per recorded fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "shell/textfile.h"

namespace tessaro::recording {

// A local date and time, as the clock gave it.
struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// The numbering state of StoredSTS.dat.
struct StoredStatus {
    std::string folder;            // day folder of the last stopped recording (yyyymmdd)
    std::int16_t seq = 0;          // number of the next recording of that day
    std::int16_t markCount = 0;    // carried along; always written as 0 by this program
};

// Reads StoredSTS.dat: line 1 whole, then two numbers ignoring blanks and line
// ends. Values that cannot be read keep their defaults; nullopt when the file
// cannot be opened.
std::optional<StoredStatus> ReadStoredStatus(const std::string& path);
// Rewrites StoredSTS.dat (atomic replace).
bool WriteStoredStatus(const std::string& path, const StoredStatus& status);

// "yyyymmdd" of a date (the short date "yyyy/mm/dd" with its separators removed).
std::string DayFolderName(const LocalDateTime& now);

// The four header lines of a record file for the current zone.
std::vector<std::string> RecordHeaderLines(const LocalDateTime& now, const geodesy::CurrentZone& zone);

// What the start dialog proposes.
struct StartProposal {
    std::string folder;          // yyyymmdd
    std::int16_t seq = 0;        // running number used in the proposed name
    std::int16_t markCount = 0;
    std::string dayFolderPath;   // ProgramFolder/data2/<folder>
    std::string proposedName;    // <folder>_<seq>.dat
};

// Prepares a recording: reads the numbering state (same day: continue its
// number; another day or no state: start at 0), creates the day folder when
// missing, and proposes the first name whose file does not exist or is empty,
// so an earlier recording is never offered for overwriting.
StartProposal PrepareRecordStart(const std::string& programFolder, const LocalDateTime& now);

// Why a typed record file name is refused.
enum class NameProblem {
    None,
    Invalid,  // empty, or names another folder
    Exists,   // a non-empty file of that name is already there
};
NameProblem CheckRecordFileName(const std::string& dayFolderPath, const std::string& name);
// The message the start dialog shows for a refused name.
const char* NameProblemMessage(NameProblem problem);

// The open record file. Lines reach the operating system (and the disk) as
// they are written, so a crash loses at most the line being written.
class RecordFile {
public:
    // Creates the file (or reuses an empty one) and writes the header lines.
    // Never truncates a file that holds data: returns false instead.
    bool create(const std::string& path, const std::vector<std::string>& headerLines);
    bool isOpen() const { return out_.isOpen(); }
    bool writeLine(const std::string& line) { return out_.writeLine(line); }
    bool close() { return out_.close(); }

private:
    LineAppender out_;
};

}  // namespace tessaro::recording
