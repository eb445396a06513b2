// Driving the control's port through the loaded library, as the navigator
// does: a pseudo-terminal stands for the receiver, its slave is mapped to a
// port number with TOLVEXCOMM_COM<n>, and the control runs on a Qt event loop
// on this thread. Shared by the control's port tests and benchmarks.
#pragma once

#include "host/control_host.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvex::host::portkit {

// A QApplication for the process (created on first use).
void EnsureGuiApp();

// Maps COM<port> to `device` through the environment.
void MapPort(int port, const std::string& device);

// Runs the event loop until pred() holds or timeout_ms passed.
bool RunUntil(const std::function<bool()>& pred, int timeout_ms);

// The library beside the program (null when it cannot be loaded).
std::shared_ptr<ControlLibrary> Library();

// A control instance at run time with every OnComm recorded.
class PortControl {
public:
    explicit PortControl(std::shared_ptr<ControlLibrary> library);
    ControlInstance& c() { return *instance_; }
    // CommEvent of every OnComm, in order.
    std::vector<std::int16_t> events;
    // Whether every OnComm ran on the thread that made the control.
    bool onGuiThread = true;
    // The application's OnComm handler (after the event is recorded).
    std::function<void(std::int16_t code)> onComm;
    int Count(std::int16_t code) const;

private:
    std::unique_ptr<ControlInstance> instance_;
};

// Random bytes each way through a pty: the OnComm handler reads with InputB,
// the loop writes with OutputB while the transmit buffers have room.
struct DuplexResult {
    bool receivedIntact = false;  // master -> control
    bool sentIntact = false;      // control -> master
    std::size_t received = 0;
    std::size_t sent = 0;
    double seconds = 0;
    int overflows = 0;  // 1010 events (the refused bytes are sent again)
};
DuplexResult RunDuplex(const std::shared_ptr<ControlLibrary>& library, int port, std::size_t bytes,
                       unsigned seed, int timeoutMs);

// Lines replayed into the master as fast as it takes them; the OnComm
// handler reads them with LineInput as the navigator does (RThreshold 40,
// InTimeout 2000).
struct LinesResult {
    std::size_t sent = 0;
    std::size_t matched = 0;  // read back identical and in order
    std::size_t bytes = 0;
    double seconds = 0;
};
LinesResult RunLineReplay(const std::shared_ptr<ControlLibrary>& library, int port,
                          const std::vector<std::string>& lines, int timeoutMs);

// Time from a line written on the master to the start of the OnComm that
// reads it, one line at a time; in microseconds, sorted.
std::vector<double> MeasureLatency(const std::shared_ptr<ControlLibrary>& library, int port, std::size_t lines);

}  // namespace tolvex::host::portkit
