// Loading a map library's index file "MapFileData1.dat" into the map index.
//
// The file is CP932 text (a UTF-8 file with a byte-order mark is accepted),
// one photograph per line, ten comma-separated fields:
//   sequence, file name, latitude d-m-s, longitude d-m-s, altitude [m],
//   ground width [m], ground height [m], zone, centre X [m], centre Y [m]
// The loader takes the numeric value of every numeric field and does not
// reject a line for its contents. Each photograph's centre is recomputed from
// its latitude and longitude in the current zone; a photograph more than 2
// degrees from the zone origin first moves the current zone to the zone
// nearest to it (for this and all later lines).
//
// Lines the loader does not take:
//   - blank lines (empty, or only spaces, tabs, carriage returns or the
//     end-of-file mark Ctrl-Z) are skipped;
//   - a line with more fields than the field splitter holds (31), a line
//     whose latitude or longitude is not a finite number, and the first line
//     beyond kMapCapacity photographs stop the load there.
// After a stop the index holds the photographs read before it, with all
// tables consistent. A file that cannot be opened leaves the index as it was
// (only the header row of MapFileGrid is ensured).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "mapview/map_index.h"

namespace tessaro {
struct NavState;
}

namespace tessaro::mapview {

// File name of the index inside a map library folder.
inline constexpr const char* kMapIndexFileName = "MapFileData1.dat";

// One thing the loader noticed about one line.
struct LoadNote {
    enum class Kind {
        SkippedBlank,    // blank line, skipped
        Stopped,         // the load stopped at this line; it and later lines are not loaded
        FieldCount,      // fewer or more than ten fields; loaded (missing fields empty)
        ZeroWidth,       // width 0: loaded, MapAspect kept its value
        ReplacedBytes,   // bytes not valid in the file's encoding were replaced; loaded
        ZoneChanged,     // the current zone moved to the nearest zone of this line
    };
    Kind kind;
    std::size_t line;    // line number in the file, from 1
    std::string reason;  // plain-English explanation for users of the tool
};

struct LoadReport {
    bool opened = false;          // the index file could be opened
    std::size_t linesRead = 0;    // lines read from the file (up to a stop)
    std::vector<LoadNote> notes;  // in line order
    bool stopped() const;
};

// Path of a file inside a folder: folder + "/" + name (no doubled slash).
// An empty folder gives "/" + name, the root of the file system.
std::string JoinPath(const std::string& folder, const std::string& name);

// Loads the index file at `path` into `index`, recomputing the centres in
// `zone` and moving `zone` as described above. Calls InitEllipsoid first.
LoadReport LoadMapIndexFile(const std::string& path, geodesy::CurrentZone& zone, MapIndex& index);

// The main window's load: the index file of state.MapPicFolder into
// state.Maps, in state.Zone.
LoadReport LoadMapDataToGrid(NavState& state);

// Folder of the sample library inside a program folder.
inline constexpr const char* kSampleLibraryFolder = "MapPicSample";

// A start-up without a usable library: when state.MapPicFolder is empty or
// names a folder that does not exist, and the program folder holds the
// sample library (MapPicSample/ with its index file), MapPicFolder becomes
// that sample folder. Returns true when it did. A folder that exists is
// always kept, whatever it holds. When a folder was named, it and the view
// (scale level, view centre) are kept in state.SampleStandsInFor first.
bool UseSampleLibraryIfNoneIsUsable(NavState& state);

// Puts the view centre in the middle of the loaded photographs when it lies
// on none of them, so that a library opened without a view of its own shows
// its photographs. Does nothing when no photograph is loaded.
void CentreViewOnLibraryIfOutside(NavState& state);

}  // namespace tessaro::mapview
