// Track recording's part of the run state.
#pragma once

#include <cstdint>

namespace tessaro::recording {

struct RecordingState {
    bool RecordingOn = false;
    std::int16_t RecordInterval = 1;  // fixes per record line
    std::int16_t pRecordSTS = 0;
    std::int16_t pRecordCount = 0;    // fixes since the last record line
    std::int16_t RecordBlink = 0;     // blink phase of the recording indicator
};

}  // namespace tessaro::recording
