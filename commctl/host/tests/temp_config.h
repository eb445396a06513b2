// Test support: a private control configuration folder (registry file and
// profile) for the duration of a test, through TOLVEXCOMM_CONFIG_DIR.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace tolvex::host {

class TempConfig {
public:
    explicit TempConfig(const std::string& prefix = "tolvexcomm-test")
    {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        ::setenv("TOLVEXCOMM_CONFIG_DIR", dir_.c_str(), 1);
    }
    ~TempConfig()
    {
        ::unsetenv("TOLVEXCOMM_CONFIG_DIR");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace tolvex::host
