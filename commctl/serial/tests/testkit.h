// Helpers for driving the serial engine in tests and benchmarks: a
// pseudo-terminal pair whose slave the engine opens through the port mapping,
// and a harness that runs the engine on a Qt event loop the way the control
// does (notifications are posted to the GUI thread as queued calls).
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serial/comm_engine.h"

namespace tolvex::serial::testkit {

// A QCoreApplication for the process (created on first use).
void EnsureApp();

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& path() const { return path_; }

    // Writes everything (waiting while the pty is full) or gives up after
    // timeout_ms; returns the bytes written.
    std::size_t Write(std::string_view bytes, int timeout_ms = 5000);
    // Reads until `want` bytes arrived or timeout_ms passed.
    std::string Read(std::size_t want, int timeout_ms);
    void CloseMaster();
    // Closes the test's own slave descriptor (the engine keeps its own).
    void CloseSlave();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// A profile lookup that maps COM<port> to `path`.
ProfileLookup MapPort(int port, std::string path);

class Harness {
public:
    explicit Harness(ProfileLookup ports = {}, DeviceFactory factory = {});
    ~Harness();

    CommEngine& engine() { return *engine_; }
    // Every CommEvent seen by OnComm, in order.
    std::vector<std::int16_t> events;
    // Received by the terminal sink.
    std::string terminal;
    // Calls of the transfer wake-up.
    int transfer_wakeups = 0;
    // The application's OnComm handler (runs after the event is recorded).
    std::function<void(CommEngine&)> on_comm;

    // Runs the event loop until pred() holds or timeout_ms passed.
    bool RunUntil(const std::function<bool()>& pred, int timeout_ms);
    void Run(int ms);
    int Count(std::int16_t code) const;

private:
    std::unique_ptr<QObject> ctx_;
    std::unique_ptr<CommEngine> engine_;
};

// Descriptors and threads of this process (for leak checks).
int OpenDescriptorCount();
int ThreadCount();

}  // namespace tolvex::serial::testkit

namespace tolvex::serial::testkit {

// Random bytes each way through a pty pair: the engine reads on OnComm with
// InputB and writes with Output; the test's threads drive the master.
struct DuplexResult {
    bool received_intact = false;  // master -> engine
    bool sent_intact = false;      // engine -> master
    std::size_t received = 0;
    std::size_t sent = 0;
    double seconds = 0;
    int overflow_retries = 0;      // Output calls refused with 1010 and retried
};
DuplexResult RunDuplexTransfer(std::size_t bytes, unsigned seed, int timeout_ms);

// GGA sentences (each ending CR LF) replayed into the master as fast as it
// takes them; the engine's OnComm handler reads them with LineInput.
struct NmeaResult {
    std::size_t lines_sent = 0;
    std::size_t lines_matched = 0;  // read back identical and in order
    std::size_t bytes = 0;
    double seconds = 0;
};
std::vector<std::string> MakeGgaLines(std::size_t count);
NmeaResult RunNmeaReplay(const std::vector<std::string>& lines, int timeout_ms);

// The reference for what a pty carries: `bytes` random bytes written on a
// raw pty's master while `cat` on its slave sends them back, read back in
// full. Returns the seconds taken; `intact` tells whether they came back
// unchanged.
double CatThroughPty(std::size_t bytes, bool& intact);

}  // namespace tolvex::serial::testkit
