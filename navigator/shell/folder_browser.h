// Places, folders and files for the windows that pick files from the disk
// (widget-free). In place of drive letters the place list holds the user's
// home, the program folder, the root and mounted removable media; a place
// that cannot be read is "not ready".
#pragma once

#include <string>
#include <vector>

namespace tessaro {

inline constexpr const char* kPlaceNotReadyMessage = "フロッピーディスクが準備されていません！";

struct Place {
    std::string label;  // what the list shows
    std::string path;
};

// home, programFolder, "/", then the folders below `mediaRoots` two levels
// down for /media and /run/media (user/volume) and one level for /mnt. A
// place named twice is listed once. `mediaRoots` is for tests; the default
// is the system's.
std::vector<Place> ListPlaces(const std::string& home, const std::string& programFolder,
                              const std::vector<std::string>& mediaRoots = {"/media", "/run/media", "/mnt"});

// The place of `places` that holds `folder` (the longest path that is a
// prefix of it at a "/" boundary); -1 when none does.
int PlaceOf(const std::vector<Place>& places, const std::string& folder);

// True when the folder can be listed.
bool FolderIsReady(const std::string& folder);

// The subfolders of a folder, by name; hidden ones (".name") left out.
std::vector<std::string> Subfolders(const std::string& folder);

// The regular files of a folder whose names match `pattern` ("*.txt",
// "*.*": "*" and "?" wildcards, letters of any case), by name.
std::vector<std::string> MatchingFiles(const std::string& folder, const std::string& pattern);

// Path of a file inside a folder: folder + "/" + name (no doubled slash).
// An empty folder gives "/" + name, the root of the file system.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder above (the root stays the root).
std::string ParentFolder(const std::string& folder);

}  // namespace tessaro
