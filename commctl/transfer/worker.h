// The transfer's worker thread: runs one pump from start to end.
//
// Created on the GUI thread when a transfer starts; the thread begins at
// once. `post` runs on the worker thread for every event (the control
// forwards it to the GUI thread); `ended` runs there once at the end with
// the pump's result. Destroying the worker stops a running pump and waits
// for the thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "transfer/channel.h"
#include "transfer/protocol.h"
#include "transfer/pump.h"

namespace tolvex::transfer {

class TransferWorker {
public:
    using Ended = std::function<void(PumpResult)>;

    TransferWorker(std::unique_ptr<Protocol> protocol, std::unique_ptr<TransferChannel> channel,
                   Pump::Post post, Ended ended, std::unique_ptr<Clock> clock = nullptr);
    ~TransferWorker();
    TransferWorker(const TransferWorker&) = delete;
    TransferWorker& operator=(const TransferWorker&) = delete;

    bool Running() const { return running_.load(); }
    void Ask(Request request) { pump_->Ask(request); }
    // Asks the pump to stop and waits for the thread.
    void Stop();

private:
    std::unique_ptr<Protocol> protocol_;
    std::unique_ptr<TransferChannel> channel_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<Pump> pump_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace tolvex::transfer
