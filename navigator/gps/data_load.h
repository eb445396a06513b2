// What the window "GPSデータの読込み" decides (widget-free): the list of the
// chosen log files, the sample folder, and the load on OK.
#pragma once

#include <string>
#include <vector>

#include "state/nav_state.h"

namespace tessaro::gps {

inline constexpr const char* kAlreadyChosenMessage = "既にロードされています！";

class DataLoadSession {
public:
    explicit DataLoadSession(std::string programFolder) : programFolder_(std::move(programFolder)) {}

    // The shipped sample logs.
    std::string SampleFolder() const;

    // Adds a file to the chosen list; false when it is there already (the
    // window then shows kAlreadyChosenMessage).
    bool Choose(const std::string& path);
    // Removes the entry at `index` (a double click); other indexes do nothing.
    void Unchoose(int index);
    // Another folder shown: the list starts again.
    void FolderChanged() { chosen_.clear(); }
    const std::vector<std::string>& Chosen() const { return chosen_; }

    // OK: the lists are emptied and every chosen file is loaded, top to
    // bottom; GGALogLoaded tells whether anything was. Returns the messages
    // for the user. The recording state is left alone.
    std::vector<std::string> Load(NavState& state) const;
    // Cancel: the lists keep what they hold; only GGALogLoaded is cleared.
    static void Cancel(NavState& state) { state.GGALogLoaded = false; }

    // The caption of the main window's log label for the chosen files: the
    // file name, or the first name and the number of files.
    std::string LogCaption() const;

private:
    std::string programFolder_;
    std::vector<std::string> chosen_;
};

}  // namespace tessaro::gps
