// The pump: the one loop that moves bytes between the line and a protocol.
//
// Run() runs on the transfer's worker thread (TransferWorker) and is the
// only caller of the line: it reads what was received, feeds it to the
// protocol with the current time, writes the protocol's answer, sleeps until
// the protocol's deadline or new data, and hands every event to `post`
// (which forwards it to the GUI thread). Requests and Stop() come from other
// threads and wake the sleeping pump.
//
// With a fake channel and a fake clock the loop runs without sleeping, so
// its tests take no real time.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/channel.h"
#include "transfer/protocol.h"

namespace tolvex::transfer {

struct PumpResult {
    bool ok = false;       // the protocol ended with success
    bool stopped = false;  // Stop() ended the run before the protocol did
};

class Pump {
public:
    using Post = std::function<void(const Event&)>;

    // Longest sleep without a deadline: the line's state is looked at again
    // after it [ms].
    static constexpr Millis kIdleWait = 1000;
    // Longest sleep before trying again to queue bytes the transmit buffers
    // had no room for [ms]; the serial engine's channel wakes the pump as
    // soon as a buffer is free.
    static constexpr Millis kWriteRetry = 10;
    // How long the end of a transfer waits for its last bytes to leave [ms].
    static constexpr Millis kDrainWait = 2000;
    // Most bytes taken from the line at once.
    static constexpr std::size_t kReadMax = 4096;

    Pump(Protocol& protocol, TransferChannel& channel, const Clock& clock, Post post);

    PumpResult Run();

    // Any thread.
    void Ask(Request request);
    void Stop();

private:
    void Apply(Answer answer);
    void Flush();
    bool Stopping() const { return stop_.load(); }

    Protocol& protocol_;
    TransferChannel& channel_;
    const Clock& clock_;
    Post post_;
    std::string out_;  // answered bytes the line has not taken yet
    bool watch_sent_ = false;  // the protocol wants Sent() once out_ is empty
    std::atomic<bool> stop_{false};
    std::mutex requests_m_;
    std::vector<Request> requests_;
};

}  // namespace tolvex::transfer
