#include "shell/program_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessaro {

namespace fs = std::filesystem;

namespace {

// The same folder, compared by what it resolves to.
bool SameFolder(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string InstalledDataFolder(const std::string& executableFolder)
{
    if (executableFolder.empty()) return {};
    std::error_code ec;
    const fs::path data = (fs::path(executableFolder) / ".." / "share" / "tessaro").lexically_normal();
    return fs::is_directory(data / "data0", ec) ? data.string() : std::string();
}

std::string UserProgramFolder(const char* xdgDataHome, const char* home)
{
    if (xdgDataHome != nullptr && *xdgDataHome == '/') return (fs::path(xdgDataHome) / "tessaro").string();
    if (home != nullptr && *home != '\0') return (fs::path(home) / ".local" / "share" / "tessaro").string();
    return {};
}

bool IsProgramFolder(const std::string& folder)
{
    std::error_code ec;
    return !folder.empty() && fs::is_directory(fs::path(folder) / "data0", ec);
}

std::string ChooseProgramFolder(const std::vector<std::string>& args, const char* envHome,
                                const std::string& currentFolder, bool currentIsProgramFolder,
                                const std::string& installedData, const std::string& userFolder)
{
    // Named on the command line or in the environment.
    const std::string named = ResolveProgramFolder(args, envHome, std::string());
    if (!named.empty()) return named;
    if (installedData.empty() || userFolder.empty()) return currentFolder;
    if (currentIsProgramFolder && !SameFolder(currentFolder, installedData)) return currentFolder;
    return userFolder;
}

bool SeedProgramFolder(const std::string& from, const std::string& to, std::string& error)
{
    error.clear();
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec) {
        error = to + ": " + ec.message();
        return false;
    }
    auto note = [&error](const fs::path& path, const std::error_code& why) {
        error += (error.empty() ? "" : "; ") + path.string() + ": " + why.message();
    };
    fs::recursive_directory_iterator it(from, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        note(from, ec);
        return false;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            note(from, ec);
            break;
        }
        const fs::path target = fs::path(to) / fs::relative(it->path(), from);
        std::error_code step;
        if (it->is_directory(step)) {
            fs::create_directories(target, step);
            if (step) note(target, step);
            continue;
        }
        if (!it->is_regular_file(step) || fs::exists(fs::symlink_status(target, step))) continue;
        if (!fs::copy_file(it->path(), target, fs::copy_options::skip_existing, step)) {
            if (step) note(target, step);
            continue;
        }
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, step);
    }
    return error.empty();
}

std::string OpenProgramFolder(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    const std::string current = ec ? std::string(".") : cwd.string();
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const std::string installed = ec ? std::string() : InstalledDataFolder(self.parent_path().string());
    const std::string user = UserProgramFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    const std::string folder = ChooseProgramFolder(args, std::getenv("TESSARO_HOME"), current,
                                                   IsProgramFolder(current), installed, user);
    if (!installed.empty() && folder == user) {
        std::string error;
        if (!SeedProgramFolder(installed, user, error))
            std::fprintf(stderr, "tessaro: the program folder %s is incomplete: %s\n", user.c_str(), error.c_str());
    }
    return folder;
}

std::string ResolveProgramFolder(const std::vector<std::string>& args, const char* envHome,
                                 const std::string& currentFolder)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size() && !args[i + 1].empty()) return args[i + 1];
        if (args[i].rfind("--home=", 0) == 0 && args[i].size() > 7) return args[i].substr(7);
    }
    if (envHome != nullptr && *envHome != '\0') return envHome;
    return currentFolder;
}

std::string ResolveProgramFolder(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    return ResolveProgramFolder(args, std::getenv("TESSARO_HOME"), ec ? std::string(".") : cwd.string());
}

}  // namespace tessaro
