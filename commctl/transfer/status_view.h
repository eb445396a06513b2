// What the transfer status window shows, worked out from the status
// changes and the time, without widgets (the window only copies the texts).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tolvex::transfer {

struct StatusChange {
    std::int16_t status = 0;     // XferStatus
    std::string message;         // XferMessage (UTF-8)
    bool counted = false;        // a repeat: the retry count goes up
    std::string source, dest;    // file names, at FILE_READY
    std::int64_t transferred = 0;
    std::int64_t size = -1;      // -1 unknown
};

class StatusView {
public:
    // `now` in seconds on any steady clock.
    void Apply(const StatusChange& c, double now);

    std::string event;        // "イベント：" the text of the status
    std::string message;      // "通信ｽﾃｰﾀｽ："
    std::string source, dest;
    int files = 0;            // "ファイル数："
    int retries = 0;          // "再送要求：" / "再受信回数："
    int progress_max = 0, progress = 0;
    std::string bytes;        // "%dk of %dk" or "%d"
    std::string elapsed;      // "%H:%M:%S"
    std::string speed;        // bytes per second
    std::string remaining;    // "%H:%M:%S" or empty

private:
    double start_ = 0;
    std::int64_t start_count_ = 0;
    std::array<double, 5> samples_{};
    int sample_count_ = 0;
    bool first_sample_ = true;
};

// Seconds as "%H:%M:%S".
std::string ClockText(std::int64_t seconds);

}  // namespace tolvex::transfer
