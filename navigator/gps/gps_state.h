// GPS input's part of the run state: the receiver's port settings, whether
// tracking runs, the last fix and the trail of recent fixes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tessaro {

// Recent fixes, read by the overlays and the pointer tools.
struct TrackRing {
    static constexpr int kSlots = 601;      // index 0..600
    static constexpr int kMaxCount = 600;   // the count stops at 600, not 601
    std::array<float, kSlots> TrackEasting{};   // [m]
    std::array<float, kSlots> TrackNorthing{};  // [m]
    std::int16_t TrackIndex = 0;  // slot the next fix goes to
    std::int16_t TrackCount = 0;  // fixes stored, at most 600
};

namespace gps {

struct GpsState {
    // Receiver settings (GPSSetting.dat).
    std::int16_t GPSPortNo = 0;
    std::int16_t GPSSpeedIndex = 0;
    std::string GPSPortSettings;
    // Tracking and the last fix.
    bool GPSRunning = false;
    // GGA sentences whose "*hh" does not match are dropped before decoding
    // (switched in the navigator's profile, not in GPSSetting.dat), and
    // counted from the start of tracking.
    bool GGAChecksumTest = true;
    int GGAChecksumDropped = 0;
    std::string GPSTimeText;
    double PosEasting = 0.0;    // [m]
    float PosNorthing = 0.0f;   // [m]
    TrackRing Track;
};

}  // namespace gps
}  // namespace tessaro
