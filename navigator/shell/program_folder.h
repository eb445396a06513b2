// The program folder of a start: the development rule (--home DIR, else
// TESSARO_HOME, else the current folder) and, for an installed program, a
// per-user folder seeded from the installed data.
//
// The program counts as installed when its data folder sits at
// <folder of the executable>/../share/tessaro and holds data0/ (the layout
// `make install` and the Debian package make: <prefix>/bin/tessaro and
// <prefix>/share/tessaro/). An installed program started without --home and
// without TESSARO_HOME, from a current folder that is no program folder
// (holds no data0/) or is the installed data folder itself, uses
// $XDG_DATA_HOME/tessaro (default ~/.local/share/tessaro). The installed
// files are only ever read: the first start copies them there, and later
// starts copy only what is missing, so the user's own files always win.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

// The program folder: the value of "--home DIR" (or "--home=DIR") among the
// arguments, else the environment's TESSARO_HOME when set and not empty, else
// the current folder. `envHome` may be null.
std::string ResolveProgramFolder(const std::vector<std::string>& args, const char* envHome,
                                 const std::string& currentFolder);
// The same for the running process (argv, getenv, the current folder).
std::string ResolveProgramFolder(int argc, char** argv);

// <executableFolder>/../share/tessaro when that folder holds data0/, else
// an empty text (a program run from its build folder).
std::string InstalledDataFolder(const std::string& executableFolder);

// $XDG_DATA_HOME/tessaro when the variable holds an absolute path, else
// $HOME/.local/share/tessaro; empty when neither is known. Either may be null.
std::string UserProgramFolder(const char* xdgDataHome, const char* home);

// True when the folder holds data0/.
bool IsProgramFolder(const std::string& folder);

// The program folder of a start, by the rules above. `installedData` is empty
// for a program that is not installed; `userFolder` is the per-user folder.
// `currentIsProgramFolder` tells whether currentFolder holds data0/.
std::string ChooseProgramFolder(const std::vector<std::string>& args, const char* envHome,
                                const std::string& currentFolder, bool currentIsProgramFolder,
                                const std::string& installedData, const std::string& userFolder);

// Copies every file below `from` that `to` does not have yet, creating
// folders as needed; existing files are never replaced. Copies are writable
// by their owner. Returns false, with the reason, when a file could not be
// copied (the others are still copied).
bool SeedProgramFolder(const std::string& from, const std::string& to, std::string& error);

// The program folder for the running process (argv, the environment, the
// current folder, /proc/self/exe); seeds the per-user folder when that is
// the choice. Seeding problems go to stderr: the program still starts.
std::string OpenProgramFolder(int argc, char** argv);

}  // namespace tessaro
