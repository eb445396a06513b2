// "tessaro-tool mapindex": loads a map library's index the way the navigator
// does and prints what the view makes of it, so that a library can be
// checked without the window.
//
//   mapindex FOLDER --zone N --level L --view E,N [--pos E,N]
//
// Starts in zone N with scale level L and view centre (E, N) [m], loads
// FOLDER/MapFileData1.dat, then runs the first activation of the main window
// (CurrentMapIndex = -1, nearest photograph, quadrant test with the fix at
// --pos, default the view centre, choice of photographs without loading
// pictures). Prints CSV (UTF-8), one record per line, numbers with 17
// significant digits:
//   zone,N / MapCount,N / MapAspect,X
//   photo,i,file,centreEasting,centreNorthing,west,east,north,south
//   CurrentMapIndex,N / CheckMapQuadrant,R,EW,NS
//   slot,s,k,file  (every slot the choice fills) / ShownMapCount,N
// Standard error gets one line per index line that was skipped, stopped the
// load or loaded with a remark. Exit status: 0, 1 when the index could not
// be opened (the records of an empty library are still printed), 2 for bad
// arguments.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaro::mapview {

inline constexpr const char* kMapIndexUsage =
    "FOLDER --zone N --level L --view E,N [--pos E,N]  load a map library index and show the photographs "
    "chosen for a view";

int RunMapIndexCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaro::mapview
