#include "gps/data_load.h"

#include <algorithm>
#include <filesystem>

#include "gps/gga_log_load.h"
#include "shell/folder_browser.h"

namespace tessaro::gps {

std::string DataLoadSession::SampleFolder() const { return JoinPath(programFolder_, "20100508"); }

bool DataLoadSession::Choose(const std::string& path)
{
    if (std::find(chosen_.begin(), chosen_.end(), path) != chosen_.end()) return false;
    chosen_.push_back(path);
    return true;
}

void DataLoadSession::Unchoose(int index)
{
    if (index < 0 || index >= static_cast<int>(chosen_.size())) return;
    chosen_.erase(chosen_.begin() + index);
}

std::vector<std::string> DataLoadSession::Load(NavState& state) const
{
    GgaLogLoad load(state, state.Zone);
    load.SetChecksumTest(state.GGAChecksumTest);
    for (const std::string& path : chosen_) load.AddFile(path);
    return load.Finish();
}

std::string DataLoadSession::LogCaption() const
{
    if (chosen_.empty()) return {};
    const std::string first = std::filesystem::path(chosen_.front()).filename().string();
    if (chosen_.size() == 1) return first;
    return first + " ほか" + std::to_string(chosen_.size() - 1) + "件";
}

}  // namespace tessaro::gps
