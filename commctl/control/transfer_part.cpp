#include "transfer_part.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <system_error>

#include "common/cp932.h"
#include "serial/comm_engine.h"
#include "transfer/bplus.h"
#include "transfer/channel.h"
#include "transfer/file_list.h"
#include "transfer/files.h"
#include "transfer/kermit.h"
#include "transfer/messages.h"
#include "transfer/worker.h"
#include "transfer/xymodem.h"
#include "transfer/zmodem.h"

namespace tolvex::control {

namespace id = com::dispid;
using com::Variant;
using transfer::Event;
using transfer::EventKind;

namespace {
// A size or count the transfer does not know; it reads as 0.
constexpr std::int64_t kUnknownSize = 2000000000;
// Progress reaches the application at most this often [ms]; every other
// status change is handed over while the worker waits.
constexpr double kProgressInterval = 0.05;

// The largest value a 32-bit property shows (the size of a big file is
// kept whole inside).
std::int32_t Shown(std::int64_t v)
{
    if (v == kUnknownSize)
        return 0;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, 0x7FFFFFFF));
}

bool ValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// Names given by the application are interface strings (CP932); the file
// system's names are UTF-8. A name that came from the line is bytes and
// crosses unchanged when it is not UTF-8.
std::string ToFileSystem(const std::string& cp932) { return Cp932ToUtf8(cp932); }
std::string ToInterface(const std::string& path) { return ValidUtf8(path) ? Utf8ToCp932(path) : path; }

std::string TimeText(std::int64_t t, const char* format)
{
    const std::time_t tt = t > 0 ? static_cast<std::time_t>(t) : std::time(nullptr);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char b[64];
    return std::strftime(b, sizeof b, format, &tm) ? std::string(b) : std::string();
}

double SteadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The engine's raw channel; the carrier counts as lost when XferCarrierAbort
// asks for it and the device reports it off (a device that cannot report
// it has it).
class LineChannel final : public transfer::TransferChannel {
public:
    LineChannel(serial::CommEngine& engine, bool carrierAbort)
        : inner_(engine), engine_(engine), carrierAbort_(carrierAbort)
    {
    }
    std::string Read(std::size_t max, transfer::Millis timeout) override { return inner_.Read(max, timeout); }
    std::size_t Write(std::string_view bytes) override { return inner_.Write(bytes); }
    bool WaitSent(transfer::Millis timeout) override { return inner_.WaitSent(timeout); }
    bool LineLost() const override
    {
        return inner_.LineLost() || (carrierAbort_ && engine_.TransferCarrier() == std::optional<bool>(false));
    }
    void Interrupt() override { inner_.Interrupt(); }

private:
    transfer::EngineChannel inner_;
    serial::CommEngine& engine_;
    bool carrierAbort_;
};

}  // namespace

struct StoredTransfer::Run {
    bool upload = true;
    int protocol = 0;
    transfer::FileList list;
    transfer::FileList other;  // B+: the direction the application did not ask for (stays empty)
    transfer::DiskFiles files;
    transfer::StatusView view;
    std::unique_ptr<StatusWindow> window;
    // Last: its protocol refers to the list and the files.
    std::unique_ptr<transfer::TransferWorker> worker;
};

StoredTransfer::StoredTransfer(TransferFactory makeTransfer, std::function<bool()> portOpen, EngineLink link,
                               StatusWindowFactory makeStatusWindow)
    : makeTransfer_(std::move(makeTransfer)),
      link_(link),
      portOpen_(std::move(portOpen)),
      makeStatusWindow_(std::move(makeStatusWindow))
{
}

StoredTransfer::~StoredTransfer() { Stop(); }

void StoredTransfer::Stop()
{
    if (transfer_) {
        transfer_->Stop();
        transfer_.reset();
    }
    if (!run_)
        return;
    {
        std::lock_guard lk(m_);
        stopping_ = true;  // a worker waiting for the GUI thread goes on at once
    }
    cv_.notify_all();
    run_->worker->Stop();
    if (link_.engine)
        link_.engine->SetTransferRunning(false);
    run_.reset();
    ++runs_;  // its late messages are dropped
    xferStatus_ = com::TOLVEX_XFER_TERM_ERROR;
    std::lock_guard lk(m_);
    stopping_ = false;
    has_pending_ = false;
}

void StoredTransfer::ClearStatus()
{
    xferStatus_ = com::TOLVEX_XFER_TERM_OK;
    xferTransferred_ = 0;
    xferFileSize_ = 0;
    xferMessage_.clear();
}

Variant StoredTransfer::Get(const PropertyRow& row)
{
    switch (row.info.dispid) {
    case id::kXferStatus: return Variant::I2(xferStatus_);
    case id::kXferSourceFilename: return Variant::String(xferSourceFilename_);
    case id::kXferTransferred: return Variant::I4(Shown(xferTransferred_.load()));
    case id::kXferFileSize: return Variant::I4(Shown(xferFileSize_));
    case id::kXferProtocol: return Variant::I2(xferProtocol_);
    case id::kXferStatusDialog: return Variant::I2(xferStatusDialog_);
    case id::kXferMessage: return Variant::String(xferMessage_);
    case id::kXferDestFilename: {
        std::lock_guard lk(m_);
        return Variant::String(xferDestFilename_);
    }
    case id::kXferCarrierAbort: return Variant::Bool(xferCarrierAbort_);
    case id::kXferFileDate: return Variant::String(xferFileDate_);
    case id::kXferFileTime: return Variant::String(xferFileTime_);
    default: Fail(kErrGetNotSupported);
    }
}

void StoredTransfer::Put(const PropertyRow& row, const PutValue& value)
{
    const DispId dispid = row.info.dispid;
    const std::int16_t i2 = value.i2();
    switch (dispid) {
    case id::kDownload:
    case id::kUpload: Queue(dispid == id::kUpload, value.text); return;
    case id::kXferStatus:
        // Requests to a running transfer; without one the write is ignored.
        if (run_) {
            if (i2 != com::TOLVEX_XFER_SKIP && i2 != com::TOLVEX_XFER_ABORT && i2 != com::TOLVEX_XFER_RESUME)
                Fail(kErrSetNotSupported);
            if (i2 == com::TOLVEX_XFER_SKIP || i2 == com::TOLVEX_XFER_RESUME) {
                std::lock_guard lk(m_);
                (i2 == com::TOLVEX_XFER_SKIP ? skipRequested_ : resumeRequested_) = true;
            }
            run_->worker->Ask(static_cast<transfer::Request>(i2));
        } else if (transfer_ && transfer_->Running()) {
            if (i2 != com::TOLVEX_XFER_SKIP && i2 != com::TOLVEX_XFER_ABORT && i2 != com::TOLVEX_XFER_RESUME)
                Fail(kErrSetNotSupported);
            transfer_->Request(i2);
        }
        return;
    case id::kXferSourceFilename: xferSourceFilename_ = value.text; return;
    case id::kXferTransferred: xferTransferred_ = value.number; return;
    case id::kXferProtocol: xferProtocol_ = i2; return;
    case id::kXferStatusDialog: xferStatusDialog_ = i2; return;
    case id::kXferDestFilename:
        // Taken only while a download asks for the name of its file.
        if (xferDestWritable_) {
            std::lock_guard lk(m_);
            xferDestFilename_ = value.text;
            destRenamed_ = true;
        }
        return;
    case id::kXferCarrierAbort: xferCarrierAbort_ = value.flag(); return;
    default: Fail(kErrSetNotSupported);
    }
}

void StoredTransfer::Queue(bool upload, const std::string& name)
{
    if (!portOpen_ || !portOpen_()) Fail(kErrPortMustBeOpen);
    if (makeTransfer_ || transfer_) {
        if (!transfer_) transfer_ = makeTransfer_(link_);
        if (!transfer_) Fail(kErrFunctionInvalid);
        if (upload) transfer_->Upload(name);
        else transfer_->Download(name);
        return;
    }
    if (run_) {
        // One direction at a time; a name for the running transfer joins
        // its list unless the transfer has already taken its last name.
        if (run_->upload != upload || !run_->list.Add(ToFileSystem(name))) Fail(kErrDeviceBusy);
        return;
    }
    if (!link_.engine) Fail(kErrFunctionInvalid);
    StartRun(upload, name);
}

void StoredTransfer::StartRun(bool upload, const std::string& name)
{
    if (xferProtocol_ < 0 || xferProtocol_ > com::TOLVEX_NIFTY_SERVE_BPLUS) Fail(kErrFunctionInvalid);
    serial::CommEngine& engine = *link_.engine;
    if (!gui_) gui_ = std::make_unique<QObject>();  // on the GUI thread, where Put runs
    auto run = std::make_unique<Run>();
    run->upload = upload;
    run->protocol = xferProtocol_;
    run->list.Add(ToFileSystem(name));

    // The application's choice at the file-ready step of a download.
    auto choice = [this](const Event&) {
        std::lock_guard lk(m_);
        transfer::xy::FileChoice c;
        if (destRenamed_) c.name = ToFileSystem(xferDestFilename_);
        c.skip = skipRequested_;
        c.resume = resumeRequested_;
        return c;
    };
    std::unique_ptr<transfer::Protocol> protocol;
    switch (xferProtocol_) {
    case com::TOLVEX_ZMODEM:
        if (upload) protocol = std::make_unique<transfer::zm::Sender>(run->files, run->list);
        else protocol = std::make_unique<transfer::zm::Receiver>(run->files, run->list, transfer::zm::Options{}, choice);
        break;
    case com::TOLVEX_KERMIT: {
        const serial::DeviceSettings line = engine.CurrentDeviceSettings();
        transfer::kermit::Options options;
        options.seven_bit = line.byte_size < 8;
        options.bytes_per_ms = static_cast<double>(line.baud) / 10000.0;
        if (upload) protocol = std::make_unique<transfer::kermit::Sender>(run->files, run->list, options);
        else protocol = std::make_unique<transfer::kermit::Receiver>(run->files, run->list, options, choice);
        break;
    }
    case com::TOLVEX_COMPUSERVE_BPLUS:
    case com::TOLVEX_NIFTY_SERVE_BPLUS: {
        // The host chooses the direction: it may fetch only what Upload
        // queued, and what it sends goes where Download points.
        transfer::bp::Options options;
        options.variant = static_cast<transfer::bp::Variant>(xferProtocol_);
        options.baud = static_cast<int>(engine.CurrentDeviceSettings().baud);
        protocol = std::make_unique<transfer::bp::Transfer>(run->files, upload ? run->list : run->other,
                                                            upload ? run->other : run->list, options, choice);
        break;
    }
    default: {
        transfer::xy::Options options;
        options.variant = static_cast<transfer::xy::Variant>(xferProtocol_);
        options.bytes_per_ms = static_cast<double>(engine.CurrentDeviceSettings().baud) / 10000.0;
        if (upload) protocol = std::make_unique<transfer::xy::Sender>(run->files, run->list, options);
        else protocol = std::make_unique<transfer::xy::Receiver>(run->files, run->list, options, choice);
        break;
    }
    }

    const std::uint64_t number = ++runs_;
    {
        std::lock_guard lk(m_);
        has_pending_ = false;
        has_progress_ = false;
        progress_posted_ = false;
        stopping_ = false;
        skipRequested_ = false;
        resumeRequested_ = false;
        destRenamed_ = false;
    }
    xferStatus_ = com::TOLVEX_XFER_TERM_OK;
    QObject* gui = gui_.get();
    engine.SetTransferRunning(true);
    try {
        run->worker = std::make_unique<transfer::TransferWorker>(
            std::move(protocol), std::make_unique<LineChannel>(engine, xferCarrierAbort_),
            [this, number, gui](const Event& e) {
                if (e.kind == EventKind::kEnd) return;  // the end is raised once the worker has ended
                if (e.kind == EventKind::kProgress) {
                    // Not waited for: the GUI thread takes the latest one when it can.
                    xferTransferred_.store(e.transferred);
                    {
                        std::lock_guard lk(m_);
                        if (stopping_) return;
                        progress_ = e;
                        has_progress_ = true;
                        if (progress_posted_) return;
                        progress_posted_ = true;
                    }
                    QMetaObject::invokeMethod(gui, [this, number] { HandleProgress(number); }, Qt::QueuedConnection);
                    return;
                }
                {
                    std::unique_lock lk(m_);
                    if (stopping_) return;
                    pending_ = e;
                    has_pending_ = true;
                }
                QMetaObject::invokeMethod(gui, [this, number] { HandleStatus(number); }, Qt::QueuedConnection);
                std::unique_lock lk(m_);
                cv_.wait(lk, [this] { return !has_pending_ || stopping_; });
            },
            [this, number, gui](transfer::PumpResult r) {
                QMetaObject::invokeMethod(gui, [this, number, ok = r.ok] { HandleEnd(number, ok); },
                                          Qt::QueuedConnection);
            });
    } catch (const std::system_error&) {
        engine.SetTransferRunning(false);
        Fail(kErrFunctionInvalid);
    }
    run_ = std::move(run);
    if (xferStatusDialog_ > 0 && makeStatusWindow_) {
        run_->window = makeStatusWindow_(transfer::StatusWindowTitle(xferProtocol_, upload), upload,
                                         xferStatusDialog_ == com::TOLVEX_XFERDIALOG_MODAL, [this, number] {
                                             if (run_ && runs_ == number) run_->worker->Ask(transfer::Request::kAbort);
                                         });
    }
}

void StoredTransfer::Apply(const Event& e)
{
    xferStatus_ = e.status;
    if (e.message) {
        const int cause = e.message == 2000 ? static_cast<int>(e.transferred) : 0;
        xferMessage_ = Utf8ToCp932(transfer::MessageText(e.message, cause));
    }
    switch (e.kind) {
    case EventKind::kWaiting: xferTransferred_ = 0; break;
    case EventKind::kFileReady: {
        xferFileSize_ = e.size >= 0 ? e.size : kUnknownSize;
        xferFileDate_ = TimeText(e.time, "%x");
        xferFileTime_ = TimeText(e.time, "%X");
        std::lock_guard lk(m_);
        xferDestFilename_ = ToInterface(e.file);
        if (run_->upload) xferSourceFilename_ = xferDestFilename_;
        else if (!e.source.empty()) xferSourceFilename_ = ToInterface(e.source);
        skipRequested_ = false;
        resumeRequested_ = false;
        destRenamed_ = false;
        break;
    }
    case EventKind::kFileStart:
    case EventKind::kProgress:
    case EventKind::kFileDone: xferTransferred_ = e.transferred; break;
    case EventKind::kError:
    case EventKind::kEnd: break;
    }
    transfer::StatusChange c;
    c.status = e.status;
    c.message = Cp932ToUtf8(xferMessage_);
    c.counted = e.counted;
    c.source = Cp932ToUtf8(xferSourceFilename_);
    c.dest = Cp932ToUtf8(xferDestFilename_);
    c.transferred = e.transferred;
    c.size = e.size;
    if (e.kind != EventKind::kError) run_->view.Apply(c, SteadySeconds());
    else {
        c.transferred = xferTransferred_.load();
        c.size = xferFileSize_ == kUnknownSize ? -1 : xferFileSize_;
        run_->view.Apply(c, SteadySeconds());
    }
    if (run_->window) run_->window->Show(run_->view);
}

void StoredTransfer::Fire()
{
    if (link_.engine) link_.engine->RaiseCommEvent(com::TOLVEX_EV_XFER);
}

bool StoredTransfer::TakeProgress(Event& e)
{
    std::lock_guard lk(m_);
    if (!has_progress_) return false;
    e = progress_;
    has_progress_ = false;
    return true;
}

void StoredTransfer::HandleProgress(std::uint64_t number)
{
    if (!run_ || number != runs_) return;
    const double now = SteadySeconds();
    if (now - lastProgress_ < kProgressInterval) {
        const int wait = static_cast<int>((kProgressInterval - (now - lastProgress_)) * 1000) + 1;
        QTimer::singleShot(wait, gui_.get(), [this, number] { HandleProgress(number); });
        return;
    }
    {
        std::lock_guard lk(m_);
        progress_posted_ = false;
    }
    Event e;
    if (!TakeProgress(e)) return;
    lastProgress_ = now;
    Apply(e);
    Fire();
}

void StoredTransfer::HandleStatus(std::uint64_t number)
{
    if (!run_ || number != runs_) return;
    Event e;
    {
        std::lock_guard lk(m_);
        if (!has_pending_) return;
        e = pending_;
    }
    // A progress report still held goes first, so the last position is told.
    if (Event p; TakeProgress(p)) {
        Apply(p);
        Fire();
        if (!run_ || number != runs_) return;
    }
    Apply(e);
    // The application may rename or skip the file while it handles this.
    xferDestWritable_ = e.kind == EventKind::kFileReady && !run_->upload;
    Fire();
    xferDestWritable_ = false;
    {
        std::lock_guard lk(m_);
        has_pending_ = false;
    }
    cv_.notify_all();
}

void StoredTransfer::HandleEnd(std::uint64_t number, bool ok)
{
    if (!run_ || number != runs_) return;
    run_->worker->Stop();  // the thread has ended: this only joins it
    if (link_.engine) link_.engine->SetTransferRunning(false);
    xferStatus_ = ok ? com::TOLVEX_XFER_TERM_OK : com::TOLVEX_XFER_TERM_ERROR;
    xferMessage_.clear();
    run_.reset();
    Fire();
}

}  // namespace tolvex::control
