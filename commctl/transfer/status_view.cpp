#include "transfer/status_view.h"

#include <cstdio>

#include "transfer/messages.h"

namespace tolvex::transfer {

std::string ClockText(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    char b[32];
    std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return b;
}

namespace {
std::string KOf(std::int64_t done, std::int64_t size)
{
    char b[64];
    std::snprintf(b, sizeof b, "%lldk of %lldk", static_cast<long long>(done / 1024), static_cast<long long>(size / 1024));
    return b;
}
int Clamp(std::int64_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v); }
}  // namespace

void StatusView::Apply(const StatusChange& c, double now)
{
    message.assign(c.message.data(), c.message.size());
    if (c.counted)
        ++retries;
    switch (c.status) {
    case 1:
        event = MessageText(2022);
        speed = "0";
        remaining.clear();
        progress = 0;
        break;
    case 2:
        source = c.source;
        dest = c.dest;
        event = MessageText(2023);
        break;
    case 3:
        event = MessageText(2024);
        sample_count_ = 0;
        first_sample_ = true;
        ++files;
        if (c.size >= 0) {
            progress_max = Clamp(c.size / 1024);
            bytes = KOf(c.transferred, c.size);
        } else {
            bytes = std::to_string(c.transferred);
        }
        start_ = now;
        start_count_ = c.transferred;
        break;
    case 4: {
        if (first_sample_)
            event = MessageText(2025);
        first_sample_ = false;
        const double secs = now - start_;
        elapsed = ClockText(static_cast<std::int64_t>(secs));
        if (secs >= 1.0) {
            samples_[static_cast<std::size_t>(sample_count_ % 5)] =
                static_cast<double>(c.transferred - start_count_) / secs;
            ++sample_count_;
        }
        double average = 0;
        if (sample_count_ >= 5) {
            for (double s : samples_)
                average += s;
            average /= 5;
            speed = std::to_string(static_cast<long long>(average));
        }
        if (c.size >= 0) {
            progress = Clamp(c.transferred / 1024);
            bytes = KOf(c.transferred, c.size);
            if (average > 0 && c.transferred < c.size)
                remaining = ClockText(static_cast<std::int64_t>(static_cast<double>(c.size - c.transferred) / average));
        } else {
            bytes = std::to_string(c.transferred);
        }
        break;
    }
    case 5: event = MessageText(2026); break;
    case 6: event = MessageText(2027); break;
    case 7: event = MessageText(2028); break;
    case 8: event = MessageText(2029); break;
    case 9: event = MessageText(2030); break;
    default: break;
    }
}

}  // namespace tolvex::transfer
