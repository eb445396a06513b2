// The transfer part of the control: Upload, Download and the Xfer values
// (the rows of part Transfer in object_model.cpp).
//
// StoredTransfer keeps the values. With a TransferFactory it hands Upload,
// Download and the requests to the TransferSide the factory makes (tests);
// otherwise, on a port with a serial engine, it runs the transfers itself:
// the protocol of XferProtocol on a worker thread (transfer::TransferWorker),
// each status change handed to the GUI thread, which updates the values and
// the status window and raises OnComm with TOLVEX_EV_XFER while the worker
// waits for it; the end of the transfer raises it once more with XferStatus
// 0 or -1. Without either an upload or download on an open port gives 8021.
#pragma once

#include "control_part.h"
#include "terminal_side.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "transfer/protocol.h"
#include "transfer/status_view.h"

class QObject;

namespace tolvex::control {

class TransferPart : public ControlPart {
public:
    // Asks a running transfer to stop and waits for it (reset, load, destruction).
    virtual void Stop() = 0;
    // A new instance's status: no transfer, nothing transferred, no message.
    virtual void ClearStatus() = 0;
};

// The upload or download status window (XferStatusDialog 1 and 2).
class StatusWindow {
public:
    virtual ~StatusWindow() = default;
    virtual void Show(const transfer::StatusView& view) = 0;
};
// `title` in UTF-8; `modal`: the host's top-level window is disabled while
// the window is open; `cancel` runs when the user presses the window's
// Cancel button.
using StatusWindowFactory = std::function<std::unique_ptr<StatusWindow>(
    const std::string& title, bool upload, bool modal, std::function<void()> cancel)>;

class StoredTransfer final : public TransferPart {
public:
    // `portOpen` tells whether the port is open (a transfer needs it).
    StoredTransfer(TransferFactory makeTransfer, std::function<bool()> portOpen, EngineLink link = {},
                   StatusWindowFactory makeStatusWindow = {});
    ~StoredTransfer() override;

    com::Variant Get(const PropertyRow& row) override;
    void Put(const PropertyRow& row, const PutValue& value) override;
    void Stop() override;
    void ClearStatus() override;

private:
    struct Run;

    void Queue(bool upload, const std::string& name);
    void StartRun(bool upload, const std::string& name);
    // Worker thread: hands one status change to the GUI thread and waits
    // until it has been handled (or a stop is requested).
    void Post(const transfer::Event& e);
    // GUI thread.
    void HandleStatus(std::uint64_t run);
    // Progress is not waited for: the latest report, at most ~20 a second.
    void HandleProgress(std::uint64_t run);
    bool TakeProgress(transfer::Event& e);
    void HandleEnd(std::uint64_t run, bool ok);
    void Apply(const transfer::Event& e);
    void Fire();

    TransferFactory makeTransfer_;
    EngineLink link_;  // the port's engine, handed to the factory
    std::function<bool()> portOpen_;
    StatusWindowFactory makeStatusWindow_;
    std::unique_ptr<TransferSide> transfer_;
    std::unique_ptr<Run> run_;
    std::uint64_t runs_ = 0;           // number of the current run, for messages that come late
    std::unique_ptr<QObject> gui_;     // receives the worker's messages on the GUI thread

    // Between the worker and the GUI thread.
    std::mutex m_;
    std::condition_variable cv_;
    transfer::Event pending_;
    bool has_pending_ = false;
    bool stopping_ = false;
    bool skipRequested_ = false;
    bool resumeRequested_ = false;
    bool destRenamed_ = false;
    transfer::Event progress_;     // the latest progress report not yet handed on
    bool has_progress_ = false;
    bool progress_posted_ = false;  // a message for it is on its way to the GUI thread
    double lastProgress_ = 0;       // GUI thread: when progress was last handed on [s]

    // Values (written on the GUI thread only; the worker reads
    // xferDestFilename_ under m_ while a file is made ready).
    std::int16_t xferStatus_ = 0;
    std::string xferSourceFilename_;
    std::atomic<std::int64_t> xferTransferred_{0};  // progress stores it from the worker
    std::int64_t xferFileSize_ = 0;
    std::int16_t xferProtocol_ = 0;
    std::int16_t xferStatusDialog_ = 0;
    std::string xferMessage_;
    std::string xferDestFilename_;
    bool xferDestWritable_ = false;
    bool xferCarrierAbort_ = false;
    std::string xferFileDate_;
    std::string xferFileTime_;
};

}  // namespace tolvex::control
