#include "shell/folder_browser.h"

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tessaro {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder, bool folders)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const bool match = folders ? it->is_directory(typeEc) : it->is_regular_file(typeEc);
        if (match) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void AddPlace(std::vector<Place>& places, const std::string& label, const std::string& path)
{
    if (path.empty()) return;
    for (const Place& p : places)
        if (p.path == path) return;
    places.push_back({label, path});
}

}  // namespace

std::vector<Place> ListPlaces(const std::string& home, const std::string& programFolder,
                              const std::vector<std::string>& mediaRoots)
{
    std::vector<Place> places;
    AddPlace(places, "ホーム (" + home + ")", home);
    AddPlace(places, "プログラムフォルダ (" + programFolder + ")", programFolder);
    AddPlace(places, "/", "/");
    for (const std::string& root : mediaRoots) {
        // /mnt/<volume>; /media/<user>/<volume> and /run/media/<user>/<volume>
        const bool perUser = fs::path(root).filename() == "media";
        for (const std::string& a : Subfolders(root)) {
            const std::string first = JoinPath(root, a);
            if (!perUser) {
                AddPlace(places, first, first);
                continue;
            }
            for (const std::string& b : Subfolders(first)) AddPlace(places, JoinPath(first, b), JoinPath(first, b));
        }
    }
    return places;
}

int PlaceOf(const std::vector<Place>& places, const std::string& folder)
{
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string& p = places[i].path;
        const bool holds = folder == p || (folder.rfind(p, 0) == 0 && (p.back() == '/' || folder[p.size()] == '/'));
        if (holds && (best < 0 || p.size() > bestLength)) {
            best = static_cast<int>(i);
            bestLength = p.size();
        }
    }
    return best;
}

bool FolderIsReady(const std::string& folder)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    return !ec;
}

std::vector<std::string> Subfolders(const std::string& folder)
{
    std::vector<std::string> names = Names(folder, true);
    std::erase_if(names, [](const std::string& n) { return !n.empty() && n.front() == '.'; });
    return names;
}

std::vector<std::string> MatchingFiles(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names = Names(folder, false);
    // "*.*" matches every name, also one without a dot, as the old lists did.
    if (pattern == "*.*" || pattern == "*") return names;
    std::erase_if(names, [&](const std::string& n) { return fnmatch(pattern.c_str(), n.c_str(), FNM_CASEFOLD) != 0; });
    return names;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ParentFolder(const std::string& folder)
{
    const fs::path p = fs::path(folder).lexically_normal();
    std::string parent = (p.has_filename() ? p.parent_path() : p.parent_path().parent_path()).string();
    return parent.empty() ? std::string("/") : parent;
}

}  // namespace tessaro
