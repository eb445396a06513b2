// The serial port engine: lifecycle, event thread, queues and notification.

#include "serial/comm_engine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "serial/net_port.h"
#include "serial/port_device.h"
#include "serial/receive_rules.h"

namespace tolvex::serial {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxLine = 4096;
constexpr std::uint8_t kEnq = 0x05;

// How often modem lines and error counters are polled on devices that have
// them (there is no way to wait for them together with the data).
constexpr int kLinePollMs = 20;
// The receive queue while a transfer runs (bytes).
constexpr std::size_t kTransferQueue = 65536;
// Shortest time between two notifications to the GUI thread while a transfer
// runs: the transfer's worker reads the queue itself and is woken directly,
// so a notification per received chunk would only keep the GUI thread (and
// this thread, which it wakes again) busy at a fast line's rate.
constexpr milliseconds kTransferNotifyGap{20};

[[noreturn]] void Raise(int number)
{
    throw ControlError(number);
}

[[noreturn]] void RaiseSystem(int err)
{
    throw ControlError(err, std::strerror(err));
}

bool IsSerialMode(std::int16_t ap)
{
    return ap == kAutoProcessSerial || ap == kAutoProcessBoth;
}

}  // namespace

// ---------------------------------------------------------------------------

class EngineCore {
public:
    EngineCore(EngineCallbacks cb, ProfileLookup ports, DeviceFactory factory)
        : cb_(std::move(cb)), ports_(std::move(ports)), factory_(std::move(factory))
    {
        // Without a factory of its own, the device follows the mapped name:
        // a serial device, or a tcp:/gpsd: source.
        default_devices_ = !factory_;
        timer_ = std::make_unique<QTimer>();
        timer_->callOnTimeout([this] {
            const std::weak_ptr<char> alive = alive_;
            ticking_ = true;
            {
                // The host may release its control from the OnComm this
                // tick raises; the engine goes when the token does.
                const std::shared_ptr<void> hold = cb_.keep_alive ? cb_.keep_alive() : nullptr;
                try {
                    SendCheckTick();
                } catch (const ControlError&) {
                    // raised by the application's handler; nothing to give it to
                }
            }
            if (!alive.expired())
                ticking_ = false;
        });
    }

    ~EngineCore()
    {
        if (open_)
            ClosePort(/*force=*/true);
        if (ticking_) {
            // Destroyed from inside the timer's own timeout: let Qt finish
            // delivering it before the timer goes.
            timer_->stop();
            timer_->disconnect();
            timer_.release()->deleteLater();
        }
    }

    // ---- configuration state (GUI thread) ----
    EngineCallbacks cb_;
    ProfileLookup ports_;
    DeviceFactory factory_;
    std::int16_t port_ = 1;
    std::string settings_text_ = "9600,N,8,1";
    PortConfig cfg_;
    std::int16_t out_buffer_size_ = 2048;
    DeviceSettings dcb_;  // as last built

    // ---- GUI-thread notification state ----
    std::int16_t comm_event_ = 0;
    std::int16_t input_len_ = 0;
    std::int32_t in_timeout_ = 0;
    std::int32_t interval_ = 200;
    std::int16_t rthreshold_ = 0;
    std::int16_t sthreshold_ = 0;
    std::int16_t saved_input_len_ = 0;
    std::int16_t saved_rthreshold_ = 0;
    std::int16_t autoprocess_ = kAutoProcessNone;
    std::uint32_t accumulated_mask_ = 0;
    bool send_armed_ = false;
    bool read_busy_ = false;
    bool data_taken_ = false;
    bool firing_ = false;
    std::int16_t deferred_ = 0;
    std::string last_input_;
    ZModemStartDetector zmodem_;
    bool auto_zmodem_ = false;
    bool echo_ = false;
    bool terminal_active_ = false;
    std::string answer_back_;
    std::unique_ptr<QTimer> timer_;
    bool ticking_ = false;  // inside the send-check timer's timeout
    std::shared_ptr<char> alive_ = std::make_shared<char>();  // expires with the engine

    // ---- port and shared state ----
    bool open_ = false;
    std::unique_ptr<PortDevice> device_;
    bool default_devices_ = false;
    int wake_fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ready_{true};  // the GUI began handling the last notification
    std::atomic<bool> transfer_{false};
    bool transfer_interrupt_ = false;  // under rx_m_: end the waiting TransferRead
    std::atomic<bool> null_discard_{false};
    std::atomic<int> error_char_{-1};

    // Receive queue (filled by the event thread).
    std::mutex rx_m_;
    std::condition_variable rx_cv_;
    std::vector<std::uint8_t> ring_;
    std::size_t head_ = 0, size_ = 0;
    std::uint32_t errors_ = 0;     // pending kCe* bits
    bool rx_blocked_ = false;      // the thread stopped reading: queue full
    std::size_t ring_capacity_ = 0;  // the receive queue's size outside transfers
    bool hangup_ = false;          // the far side went away

    // Transmit buffers.
    struct TxBuffer {
        std::vector<std::uint8_t> data;
        std::size_t count = 0;
        bool sending = false;
    };
    std::mutex tx_m_;
    TxBuffer tx_[2];
    bool tx_discard_ = false;      // drop the buffer in transmission
    bool tx_room_wanted_ = false;  // a transfer's write found both buffers full
    std::atomic<std::size_t> pending_write_{0};

    // ---- event-thread private state ----
    int cur_ = -1;                 // buffer in transmission
    std::size_t cur_off_ = 0;
    ReceiveFilter filter_;         // line-error marks, NUL discard, parity replace
    bool counts_errors_ = false;   // the driver counts errors itself
    std::optional<std::uint32_t> modem_prev_;
    std::optional<LineErrorCounts> counts_prev_;

    // =======================================================================
    // Helpers shared by both threads

    void Wake()
    {
        if (wake_fd_ >= 0) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t r = ::write(wake_fd_, &one, sizeof one);
        }
    }

    std::size_t Queued()
    {
        std::lock_guard lk(rx_m_);
        return size_;
    }

    std::string TakeLocked(std::size_t n)
    {
        n = std::min(n, size_);
        std::string out;
        const std::size_t cap = ring_.size();
        if (n > 0) {
            // At most two runs: up to the end of the ring, then from its start.
            const std::size_t first = std::min(n, cap - head_);
            out.reserve(n);
            out.append(reinterpret_cast<const char*>(ring_.data() + head_), first);
            out.append(reinterpret_cast<const char*>(ring_.data()), n - first);
        }
        head_ = cap ? (head_ + n) % cap : 0;
        size_ -= n;
        if (n && rx_blocked_) {
            rx_blocked_ = false;
            Wake();
        }
        return out;
    }

    // The receive queue at another size, its bytes kept in order (under
    // rx_m_; `cap` at least size_).
    void ResizeRingLocked(std::size_t cap)
    {
        std::vector<std::uint8_t> ring(cap, 0);
        const std::size_t n = size_;
        const std::string queued = TakeLocked(n);
        std::memcpy(ring.data(), queued.data(), n);
        ring_ = std::move(ring);
        head_ = 0;
        size_ = n;
    }

    // A transfer takes bytes in large reads: a queue of a few kilobytes
    // would make the event thread and the transfer wake each other every
    // few kilobytes. The queue grows while a transfer runs (here, under the
    // lock: room only grows under the event thread's feet) and shrinks back
    // on the event thread once the transfer is over and the bytes fit.
    void GrowRingForTransfer()
    {
        std::lock_guard lk(rx_m_);
        if (!ring_.empty() && ring_.size() < kTransferQueue)
            ResizeRingLocked(kTransferQueue);
    }

    void ShrinkRingAfterTransfer()
    {
        if (transfer_.load())
            return;
        std::lock_guard lk(rx_m_);
        if (ring_.size() > ring_capacity_ && size_ <= ring_capacity_)
            ResizeRingLocked(ring_capacity_);
    }

    std::string Take(std::size_t n)
    {
        std::lock_guard lk(rx_m_);
        return TakeLocked(n);
    }

    void ClearReceive()
    {
        std::lock_guard lk(rx_m_);
        TakeLocked(size_);
    }

    std::size_t DriverTransmitQueue()
    {
        std::size_t n = device_ ? device_->TransmitQueue() : 0;
        bool discarding;
        {
            std::lock_guard lk(tx_m_);
            discarding = tx_discard_;
        }
        return n + (discarding ? 0 : pending_write_.load());
    }

    std::size_t IdleBufferBytes()
    {
        std::lock_guard lk(tx_m_);
        std::size_t n = 0;
        for (const TxBuffer& b : tx_)
            if (!b.sending)
                n += b.count;
        return n;
    }

    // =======================================================================
    // Event thread

    void ThreadMain(std::promise<void> started)
    {
        modem_prev_ = device_->ModemStatus();
        counts_prev_ = device_->ErrorCounts();
        counts_errors_ = counts_prev_.has_value();
        const bool poll_lines = modem_prev_.has_value() || counts_prev_.has_value();
        started.set_value();

        std::uint32_t mask = 0;
        bool rlsd_reported = false;
        Clock::time_point next_transfer_post{};
        while (!stop_.load()) {
            ShrinkRingAfterTransfer();
            bool full, hung;
            {
                std::lock_guard lk(rx_m_);
                full = size_ >= ring_.size();
                if (full)
                    rx_blocked_ = true;  // taking data wakes the thread
                hung = hangup_;
            }
            bool writing = cur_ >= 0;
            pollfd fds[2] = {};
            fds[0].fd = wake_fd_;
            fds[0].events = POLLIN;
            short want = static_cast<short>((full ? 0 : POLLIN) | (writing ? POLLOUT : 0));
            fds[1].fd = (hung || want == 0) ? -1 : device_->Handle();
            fds[1].events = want;
            int timeout = poll_lines ? kLinePollMs : -1;
            if (mask != 0 && transfer_.load() && ready_.load()) {
                // A notification held back by the transfer's gap goes out then.
                const auto left = std::chrono::ceil<milliseconds>(next_transfer_post - Clock::now()).count();
                const int wait = static_cast<int>(std::clamp<long long>(left, 0, kTransferNotifyGap.count()));
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
            }
            int r = ::poll(fds, 2, timeout);
            if (r < 0 && errno != EINTR)
                break;
            if (stop_.load())
                break;
            if (fds[0].revents & POLLIN) {
                std::uint64_t v;
                [[maybe_unused]] ssize_t n = ::read(wake_fd_, &v, sizeof v);
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
                Receive(mask, (fds[1].revents & (POLLHUP | POLLERR)) != 0);
            PumpWrites();
            if (poll_lines)
                PollLines(mask);
            {
                std::lock_guard lk(rx_m_);
                hung = hangup_;
            }
            if (hung && !rlsd_reported) {
                // A pulled adapter or a closed far side reads as carrier lost.
                rlsd_reported = true;
                mask |= kMaskRlsd;
            }
            const bool transfer = transfer_.load();
            const Clock::time_point now = transfer ? Clock::now() : Clock::time_point{};
            if (mask != 0 && ready_.load() && (!transfer || now >= next_transfer_post)) {
                ready_.store(false);
                Post(mask);
                mask = 0;
                if (transfer)
                    next_transfer_post = now + kTransferNotifyGap;
            }
        }
    }

    void Post(std::uint32_t mask)
    {
        if (!cb_.post_notification)
            return;
        if ((mask & kMaskRxFlag) && !transfer_.load())
            cb_.post_notification({kNotifyCondition, kMaskRxFlag});
        const std::uint32_t rest = mask & ~(kMaskRxChar | kMaskRxFlag);
        if (mask & kMaskRxChar)
            cb_.post_notification({kNotifyReceived, kMaskRxChar});
        // Line-state conditions that came together with characters are
        // reported on their own, so that none of them is lost.
        if (rest != 0)
            cb_.post_notification({kNotifyCondition, rest});
    }

    // Reads what the device holds into the receive queue, as far as it has
    // room; the rest stays with the driver (which applies flow control).
    void Receive(std::uint32_t& mask, bool hup)
    {
        std::uint8_t raw[4096];
        std::vector<std::uint8_t> out;
        out.reserve(sizeof raw);
        for (;;) {
            std::size_t room;
            {
                std::lock_guard lk(rx_m_);
                room = ring_.size() - size_;
                // A 0xFF held back from the previous read may come out as an
                // extra byte; keep room for it.
                if (room > 0 && filter_.HoldsMarkByte())
                    --room;
                if (room == 0) {
                    rx_blocked_ = true;
                    if (hup)
                        hangup_ = true;
                    return;
                }
            }
            ssize_t n = device_->Read(raw, std::min(room, sizeof raw));
            if (n <= 0) {
                if (hup || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    std::lock_guard lk(rx_m_);
                    hangup_ = true;
                }
                return;
            }
            out.clear();
            ReceiveOptions options;
            options.marks = device_->MarksLineErrors();
            options.counts_errors = counts_errors_;
            options.null_discard = null_discard_.load();
            options.replace = error_char_.load();
            const FilterResult filtered = filter_.Filter(raw, static_cast<std::size_t>(n), options, out);
            const std::uint32_t errs = filtered.errors;
            const bool event_char = filtered.event_char;
            {
                std::lock_guard lk(rx_m_);
                const std::size_t cap = ring_.size();
                const std::size_t tail = (head_ + size_) % cap;
                const std::size_t first = std::min(out.size(), cap - tail);
                std::memcpy(ring_.data() + tail, out.data(), first);
                std::memcpy(ring_.data(), out.data() + first, out.size() - first);
                size_ += out.size();
                errors_ |= errs;
            }
            rx_cv_.notify_all();
            if (!out.empty())
                mask |= kMaskRxChar;
            if (event_char)
                mask |= kMaskRxFlag;
            if (errs & kCeBreak)
                mask |= kMaskBreak;
            if (errs & ~kCeBreak)
                mask |= kMaskErr;
            if (static_cast<std::size_t>(n) < std::min(room, sizeof raw))
                return;
        }
    }

    void PollLines(std::uint32_t& mask)
    {
        if (modem_prev_) {
            if (auto now = device_->ModemStatus()) {
                const std::uint32_t changed = *now ^ *modem_prev_;
                if (changed & kModemCts) mask |= kMaskCts;
                if (changed & kModemDsr) mask |= kMaskDsr;
                if (changed & kModemRlsd) mask |= kMaskRlsd;
                if ((changed & kModemRing) && (*now & kModemRing)) mask |= kMaskRing;
                modem_prev_ = now;
            }
        }
        if (counts_prev_) {
            if (auto now = device_->ErrorCounts()) {
                std::uint32_t errs = 0;
                if (now->brk != counts_prev_->brk) errs |= kCeBreak;
                if (now->frame != counts_prev_->frame) errs |= kCeFrame;
                if (now->overrun != counts_prev_->overrun)
                    errs |= kCeOverrun;
                // The driver's own receive buffer overflowed.
                if (now->buf_overrun != counts_prev_->buf_overrun)
                    errs |= kCeRxOver;
                if (now->parity != counts_prev_->parity) errs |= kCeRxParity;
                counts_prev_ = now;
                if (errs) {
                    std::lock_guard lk(rx_m_);
                    errors_ |= errs;
                }
                if (errs & kCeBreak) mask |= kMaskBreak;
                if (errs & ~kCeBreak) mask |= kMaskErr;
            }
        }
    }

    // Writes the transmit buffers one after the other until the device takes
    // no more or both are empty.
    void PumpWrites()
    {
        for (;;) {
            if (cur_ < 0) {
                std::lock_guard lk(tx_m_);
                tx_discard_ = false;
                int pick = tx_[0].count ? 0 : (tx_[1].count ? 1 : -1);
                if (pick < 0) {
                    pending_write_.store(0);
                    return;
                }
                tx_[pick].sending = true;
                cur_ = pick;
                cur_off_ = 0;
                pending_write_.store(tx_[pick].count);
            }
            bool drop, hung;
            std::size_t count;
            {
                std::lock_guard lk(tx_m_);
                drop = tx_discard_;
                count = tx_[cur_].count;
            }
            {
                std::lock_guard lk(rx_m_);
                hung = hangup_;
            }
            if (!drop && !hung && cur_off_ < count) {
                ssize_t n = device_->Write(tx_[cur_].data.data() + cur_off_, count - cur_off_);
                if (n > 0) {
                    cur_off_ += static_cast<std::size_t>(n);
                    pending_write_.store(count - cur_off_);
                } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    return;  // wait until the device can take more
                } else if (n < 0) {
                    // The device is gone; what is left cannot be delivered.
                    std::lock_guard lk(rx_m_);
                    hangup_ = true;
                    drop = true;
                }
                if (!drop && cur_off_ < count)
                    continue;
            }
            bool room_wanted;
            {
                std::lock_guard lk(tx_m_);
                tx_[cur_].sending = false;
                tx_[cur_].count = 0;
                tx_discard_ = false;
                cur_ = -1;
                pending_write_.store(0);
                room_wanted = std::exchange(tx_room_wanted_, false);
            }
            // A transfer waiting for room is woken now rather than when its
            // retry time has passed, so a streaming sender keeps the line busy.
            if (room_wanted)
                WakeTransferRead();
        }
    }

    void WakeTransferRead()
    {
        {
            std::lock_guard lk(rx_m_);
            transfer_interrupt_ = true;
        }
        rx_cv_.notify_all();
    }

    // =======================================================================
    // GUI thread: lifecycle

    void ApplyCommState()
    {
        dcb_ = BuildDeviceSettings(cfg_, dcb_);
        null_discard_.store(cfg_.null_discard);
        error_char_.store(dcb_.error_char_enabled ? dcb_.error_char : -1);
        if (open_ && !device_->Apply(dcb_))
            Raise(kErrSetCommState);
    }

    void OpenPort()
    {
        if (open_)
            Raise(kErrPortAlreadyOpen);
        const std::string path = MapPortToDevice(port_, ports_);
        std::unique_ptr<PortDevice> dev = default_devices_ ? MakePortDeviceFor(path) : factory_();
        if (int err = dev->Open(path); err != 0)
            throw OpenFailure(err == EWOULDBLOCK ? EBUSY : err, path);
        int wfd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wfd < 0) {
            dev->Close();
            return;  // no wake-up: stay closed without an error
        }
        device_ = std::move(dev);
        wake_fd_ = wfd;
        // The device is configured before the event thread reads from it, so
        // nothing is read in the driver's cooked mode.
        open_ = true;
        dcb_ = BuildDeviceSettings(cfg_, dcb_);
        null_discard_.store(cfg_.null_discard);
        error_char_.store(dcb_.error_char_enabled ? dcb_.error_char : -1);
        if (!device_->Apply(dcb_)) {
            ReleasePort();
            Raise(kErrSetCommState);
        }
        {
            std::lock_guard lk(rx_m_);
            ring_capacity_ = cfg_.in_buffer_size > 0 ? static_cast<std::size_t>(cfg_.in_buffer_size) : 2048u;
            ring_.assign(ring_capacity_, 0);
            head_ = size_ = 0;
            errors_ = 0;
            rx_blocked_ = false;
            hangup_ = false;
        }
        {
            std::lock_guard lk(tx_m_);
            for (TxBuffer& b : tx_) {
                b.data.assign(static_cast<std::size_t>(std::max<std::int16_t>(out_buffer_size_, 0)), 0);
                b.count = 0;
                b.sending = false;
            }
            tx_discard_ = false;
        }
        pending_write_.store(0);
        cur_ = -1;
        filter_.Reset();
        accumulated_mask_ = 0;
        stop_.store(false);
        ready_.store(true);
        std::promise<void> started;
        std::future<void> f = started.get_future();
        thread_ = std::thread([this, p = std::move(started)]() mutable { ThreadMain(std::move(p)); });
        f.wait_for(milliseconds(2000));
        RestartSendTimer();
    }

    void ReleasePort()
    {
        if (thread_.joinable()) {
            stop_.store(true);
            Wake();
            thread_.join();
        }
        if (device_) {
            device_->SetDtr(false);
            device_->Close();
            device_.reset();
        }
        if (wake_fd_ >= 0) {
            ::close(wake_fd_);
            wake_fd_ = -1;
        }
        timer_->stop();
        {
            std::lock_guard lk(tx_m_);
            for (TxBuffer& b : tx_) {
                b.data.clear();
                b.data.shrink_to_fit();
                b.count = 0;
                b.sending = false;
            }
        }
        {
            std::lock_guard lk(rx_m_);
            ring_.clear();
            ring_.shrink_to_fit();
            head_ = size_ = 0;
        }
        pending_write_.store(0);
        cur_ = -1;
        ready_.store(true);
        open_ = false;
    }

    void ClosePort(bool force)
    {
        if (!open_) {
            if (force)
                return;
            Raise(kErrPortNotOpen);
        }
        if (!force && (read_busy_ || transfer_.load()))
            Raise(kErrDeviceBusy);
        DiscardTransmit();
        device_->DiscardReceive();
        ClearReceive();
        ReleasePort();
    }

    void DiscardTransmit()
    {
        {
            std::lock_guard lk(tx_m_);
            for (TxBuffer& b : tx_)
                if (!b.sending)
                    b.count = 0;
            if (tx_[0].sending || tx_[1].sending)
                tx_discard_ = true;
        }
        if (device_)
            device_->DiscardTransmit();
        Wake();
    }

    // =======================================================================
    // GUI thread: notification

    void RaiseCommEvent(std::int16_t code)
    {
        if (firing_) {
            if (deferred_ == 0)
                deferred_ = code;
            return;
        }
        firing_ = true;
        struct Reset {
            EngineCore* e;
            ~Reset() { e->firing_ = false; }
        } reset{this};
        for (;;) {
            comm_event_ = code;
            if (cb_.fire_oncomm)
                cb_.fire_oncomm();
            if (deferred_ == 0)
                break;
            code = deferred_;
            deferred_ = 0;
        }
    }

    // Returns the kCe* bits raised.
    std::uint32_t CollectLineErrors()
    {
        std::uint32_t errs;
        {
            std::lock_guard lk(rx_m_);
            errs = errors_;
            errors_ = 0;
        }
        RaiseErrors(errs);
        return errs;
    }

    void RaiseErrors(std::uint32_t errs)
    {
        std::int16_t codes[6];
        const std::size_t n = LineErrorEvents(errs, codes);
        for (std::size_t i = 0; i < n; ++i)
            RaiseCommEvent(codes[i]);
    }

    // Raises the events of the accumulated mask in their order, clearing
    // each bit as it is taken. A break and the line errors are counted with
    // the pending error bits as well, so both are raised through
    // CollectLineErrors() and a break is reported once.
    void RaiseMaskEvents()
    {
        struct Bit {
            std::uint32_t bit;
            std::int16_t code;  // 0: collect line errors
        };
        static constexpr Bit kOrder[] = {
            {kMaskCts, kEvCts}, {kMaskDsr, kEvDsr}, {kMaskRlsd, kEvCd},
            {kMaskRing, kEvRing}, {kMaskBreak, 0}, {kMaskErr, 0},
            {kMaskRxFlag, kEvEof},
        };
        for (const Bit& b : kOrder) {
            if (!(accumulated_mask_ & b.bit))
                continue;
            accumulated_mask_ &= ~b.bit;
            if (b.code == 0)
                CollectLineErrors();
            else
                RaiseCommEvent(b.code);
        }
    }

    void HandleNotification(Notification n)
    {
        if (!open_)
            return;
        ready_.store(true);
        Wake();
        if (transfer_.load()) {
            if (cb_.transfer_wakeup)
                cb_.transfer_wakeup();
            return;
        }
        CollectLineErrors();
        RaiseMaskEvents();
        if (!open_)
            return;  // a handler closed the port
        if (n.kind == kNotifyReceived) {
            if (IsSerialMode(autoprocess_)) {
                std::string data = ReadCommon(/*text=*/true);
                if (!data.empty() && terminal_active_ && cb_.terminal_output)
                    cb_.terminal_output(data);
            } else if (rthreshold_ > 0 && Queued() >= static_cast<std::size_t>(rthreshold_)) {
                // The flag tells whether this notification's handler took
                // data with Input, so it starts clear.
                data_taken_ = false;
                RaiseCommEvent(kEvReceive);
                if (open_ && !firing_ && data_taken_ &&
                    Queued() >= static_cast<std::size_t>(rthreshold_)) {
                    data_taken_ = false;
                    if (cb_.post_notification)
                        cb_.post_notification(n);
                }
            }
        }
        if (!open_)
            return;
        if (n.kind & 2u) {
            if (sthreshold_ > 0) {
                const std::size_t q = DriverTransmitQueue();
                if (q > static_cast<std::size_t>(sthreshold_))
                    send_armed_ = false;
                if (q <= static_cast<std::size_t>(sthreshold_) && !send_armed_) {
                    send_armed_ = true;
                    RaiseCommEvent(kEvSend);
                }
            }
        }
        if (n.kind != kNotifyReceived && open_) {
            accumulated_mask_ = n.mask;
            RaiseMaskEvents();
        }
    }

    void CheckThresholds()
    {
        CollectLineErrors();
        if (open_ && DriverTransmitQueue() > static_cast<std::size_t>(std::max<std::int16_t>(sthreshold_, 0)))
            send_armed_ = false;
    }

    void RestartSendTimer()
    {
        timer_->stop();
        send_armed_ = false;
        if (open_ && interval_ > 0 && sthreshold_ > 0 && !transfer_.load())
            timer_->start(interval_);
    }

    void SendCheckTick()
    {
        if (!open_ || transfer_.load())
            return;
        CollectLineErrors();
        if (!open_)
            return;
        const std::size_t backlog = IdleBufferBytes() + DriverTransmitQueue();
        if (sthreshold_ > 0 && !send_armed_ && backlog <= static_cast<std::size_t>(sthreshold_)) {
            send_armed_ = true;
            RaiseCommEvent(kEvSend);
        }
    }

    // =======================================================================
    // GUI thread: data

    void DetectZModem(const std::string& data)
    {
        if (!auto_zmodem_)
            return;
        for (int found = zmodem_.Scan(data); found > 0; --found)
            RaiseCommEvent(kEvZModem);
    }

    void AfterRead(const std::string& data)
    {
        DetectZModem(data);
        if (!answer_back_.empty() && open_) {
            const auto enq = std::count(data.begin(), data.end(), static_cast<char>(kEnq));
            for (long i = 0; i < enq && open_; ++i)
                WriteSteps(answer_back_, /*echo=*/false);
        }
        if (open_)
            CheckThresholds();
    }

    // Closed port: 8018; a running transfer: false (the read returns an
    // empty text); another read waiting: 8019.
    bool BeginRead()
    {
        if (!open_)
            Raise(kErrPortMustBeOpen);
        if (transfer_.load())
            return false;
        if (read_busy_)
            Raise(kErrDeviceBusy);
        return true;
    }

    std::string ReadCommon(bool text)
    {
        const auto start = Clock::now();
        if (!BeginRead())
            return {};
        read_busy_ = true;
        struct Busy {
            EngineCore* e;
            ~Busy() { e->read_busy_ = false; }
        } busy{this};
        CollectLineErrors();
        if (!open_)
            return {};
        const auto deadline = start + milliseconds(in_timeout_);
        std::size_t queued;
        {
            std::unique_lock lk(rx_m_);
            rx_cv_.wait_until(lk, deadline, [&] {
                return static_cast<std::size_t>(std::max<std::int16_t>(input_len_, 0)) <= size_;
            });
            queued = size_;
        }
        read_busy_ = false;
        const bool counted =
            input_len_ > 0 && (autoprocess_ == kAutoProcessNone || autoprocess_ == kAutoProcessKey);
        const std::size_t wanted = counted ? static_cast<std::size_t>(input_len_) : queued;
        std::string result;
        if (wanted == 0) {
            // nothing to read
        } else if (queued < wanted) {
            RaiseCommEvent(kErInTimeout);
        } else {
            data_taken_ = true;
            result = Take(wanted);
            if (text && EndsWithCp932LeadByte(result)) {
                // Complete the double-byte character: wait for its second
                // byte, checking every 50 ms, until the seconds clock has
                // moved on.
                const Cp932Completion completion(std::time(nullptr));
                std::unique_lock lk(rx_m_);
                while (size_ == 0 && completion.Waiting(std::time(nullptr)))
                    rx_cv_.wait_for(lk, milliseconds(50));
                if (size_ > 0)
                    result += TakeLocked(1);
            }
        }
        AfterRead(result);
        return result;
    }

    std::string LineInput()
    {
        const auto start = Clock::now();
        if (!BeginRead())
            return {};
        read_busy_ = true;
        struct Busy {
            EngineCore* e;
            ~Busy() { e->read_busy_ = false; }
        } busy{this};
        const auto deadline = start + milliseconds(in_timeout_);
        std::string line;
        bool got_cr = false;
        while (!got_cr && line.size() < kMaxLine) {
            CollectLineErrors();
            if (!open_)
                return {};
            std::unique_lock lk(rx_m_);
            if (size_ == 0) {
                if (Clock::now() > deadline)
                    break;
                rx_cv_.wait_until(lk, deadline + milliseconds(1), [&] { return size_ > 0; });
                continue;
            }
            // Take bytes up to the CR in one go.
            const std::size_t cap = ring_.size();
            std::size_t used = 0;
            while (used < size_ && line.size() < kMaxLine) {
                const std::uint8_t b = ring_[(head_ + used) % cap];
                ++used;
                if (b == '\r') {
                    got_cr = true;
                    break;
                }
                if (b != '\n')
                    line.push_back(static_cast<char>(b));
            }
            const std::string taken = TakeLocked(used);
            lk.unlock();
            DetectZModem(taken);
        }
        if (got_cr) {
            // The LF that follows the CR belongs to this line; any other
            // byte belongs to the next one and stays queued.
            std::unique_lock lk(rx_m_);
            rx_cv_.wait_for(lk, milliseconds(200), [&] { return size_ > 0; });
            if (size_ > 0 && ring_[head_] == '\n')
                TakeLocked(1);
        }
        read_busy_ = false;
        if (!got_cr && open_)
            RaiseCommEvent(kErInTimeout);
        // The ZModem detector has seen the bytes as they were taken.
        const bool az = auto_zmodem_;
        auto_zmodem_ = false;
        AfterRead(line);
        auto_zmodem_ = az;
        return line;
    }

    int QueueOutput(std::string_view bytes)
    {
        if (!QueueRaw(bytes)) {
            RaiseCommEvent(kErTxFull);
            return -1;
        }
        return static_cast<int>(bytes.size());
    }

    // Copies the bytes into a transmit buffer (under the lock, so the event
    // thread never sees a half-filled count) and signals the event thread.
    bool QueueRaw(std::string_view bytes)
    {
        const std::size_t n = bytes.size();
        int target = -1;
        {
            std::lock_guard lk(tx_m_);
            const std::size_t size = tx_[0].data.size();  // 0 while closed
            if (tx_[0].sending) {
                if (tx_[1].count + n <= size) target = 1;
            } else if (tx_[1].sending) {
                if (tx_[0].count + n <= size) target = 0;
            } else if (tx_[1].count == 0 && tx_[0].count + n <= size) {
                target = 0;
            } else if (tx_[1].count + n <= size) {
                target = 1;
            }
            if (target >= 0) {
                TxBuffer& b = tx_[target];
                std::memcpy(b.data.data() + b.count, bytes.data(), n);
                b.count += n;
            } else if (transfer_.load()) {
                tx_room_wanted_ = true;
            }
        }
        if (target < 0)
            return false;
        Wake();
        return true;
    }

    // A transfer's write: while nothing is queued or being sent, the bytes
    // go to the device from the calling thread, so a block and its answer
    // do not wait for the event thread twice; what the device does not take
    // is queued. The lock keeps the event thread from starting a write of
    // its own meanwhile (it writes only a buffer it marked under the lock).
    bool WriteRawNow(std::string_view bytes)
    {
        bool hung;
        {
            std::lock_guard lk(rx_m_);
            hung = hangup_;
        }
        bool rest_queued = false;
        {
            std::lock_guard lk(tx_m_);
            const bool idle = !tx_[0].sending && !tx_[1].sending && tx_[0].count == 0 && tx_[1].count == 0 &&
                              !tx_discard_ && bytes.size() <= tx_[0].data.size();
            if (idle && !hung && device_) {
                ssize_t n;
                do {
                    n = device_->Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
                } while (n < 0 && errno == EINTR);
                if (n == static_cast<ssize_t>(bytes.size()))
                    return true;
                // The rest (everything after an error: the event thread's
                // own write then finds the device gone) waits in a buffer.
                const std::size_t done = n > 0 ? static_cast<std::size_t>(n) : 0;
                std::memcpy(tx_[0].data.data(), bytes.data() + done, bytes.size() - done);
                tx_[0].count = bytes.size() - done;
                rest_queued = true;
            }
        }
        if (!rest_queued)
            return QueueRaw(bytes);
        Wake();
        return true;
    }

    // A transfer's write of any length: while the port is idle, one write
    // from the calling thread takes as much as the device will (a streaming
    // sender then needs one system call per answer, not one per transmit
    // buffer), and up to a buffer of the rest is queued for the event
    // thread; otherwise up to a buffer is queued. Returns how many bytes
    // were taken, from the front; 0 when there was no room.
    std::size_t WriteRawSome(std::string_view bytes)
    {
        if (bytes.empty())
            return 0;
        bool hung;
        {
            std::lock_guard lk(rx_m_);
            hung = hangup_;
        }
        std::size_t taken = 0, size = 0;
        {
            std::lock_guard lk(tx_m_);
            size = tx_[0].data.size();  // 0 while closed
            const bool idle = !tx_[0].sending && !tx_[1].sending && tx_[0].count == 0 && tx_[1].count == 0 &&
                              !tx_discard_ && size > 0;
            if (idle && !hung && device_) {
                ssize_t n;
                do {
                    n = device_->Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
                } while (n < 0 && errno == EINTR);
                taken = n > 0 ? static_cast<std::size_t>(n) : 0;
                if (taken == bytes.size())
                    return taken;
                // The event thread goes on with the rest as the device takes
                // it (after an error it finds the device gone).
                const std::size_t rest = std::min(bytes.size() - taken, size);
                std::memcpy(tx_[0].data.data(), bytes.data() + taken, rest);
                tx_[0].count = rest;
                taken += rest;
            }
        }
        if (taken > 0) {
            Wake();
            return taken;
        }
        const std::string_view piece = bytes.substr(0, size);
        return !piece.empty() && QueueRaw(piece) ? piece.size() : 0;
    }

    void WriteSteps(std::string_view bytes, bool echo)
    {
        if (bytes.empty())
            return;
        if (echo && echo_ && terminal_active_ && cb_.terminal_output)
            cb_.terminal_output(bytes);
        if (QueueOutput(bytes) >= 0)
            CheckThresholds();
        else
            CollectLineErrors();
        send_armed_ = false;
    }

    void Output(std::string_view bytes)
    {
        if (!open_)
            Raise(kErrPortMustBeOpen);
        if (transfer_.load())
            Raise(kErrDeviceBusy);
        WriteSteps(bytes, true);
    }
};

// ---------------------------------------------------------------------------
// CommEngine: the property layer's view

namespace {
// A count, size or time that may not be negative (380 otherwise).
template <typename T>
void StoreNonNegative(T& field, T value)
{
    if (value < 0)
        Raise(kErrInvalidPropertyValue);
    field = value;
}
}  // namespace

CommEngine::CommEngine(EngineCallbacks callbacks, ProfileLookup ports, DeviceFactory make_device)
    : core_(std::make_unique<EngineCore>(std::move(callbacks), std::move(ports),
                                         std::move(make_device)))
{
}

CommEngine::~CommEngine() = default;

bool CommEngine::PortOpen() const { return core_->open_; }

void CommEngine::SetPortOpen(bool open)
{
    if (open)
        core_->OpenPort();
    else
        core_->ClosePort(false);
}

std::int16_t CommEngine::CommPort() const { return core_->port_; }

void CommEngine::SetCommPort(std::int16_t port)
{
    if (core_->open_)
        Raise(kErrPortAlreadyOpen);
    if (port <= 0)
        Raise(kErrInvalidPropertyValue);
    core_->port_ = port;
}

std::string CommEngine::DevicePath() const { return MapPortToDevice(core_->port_, core_->ports_); }

std::int32_t CommEngine::CommID() const
{
    return core_->open_ && core_->device_ ? core_->device_->Handle() : 0;
}

std::string CommEngine::Settings() const { return core_->settings_text_; }

void CommEngine::SetSettings(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (upper == core_->settings_text_)
        return;
    LineSettings line = core_->cfg_.line;
    if (!ParseSettingsText(upper, line))
        Raise(kErrInvalidPropertyValue);
    const LineSettings old = core_->cfg_.line;
    core_->cfg_.line = line;
    try {
        core_->ApplyCommState();
    } catch (const ControlError&) {
        // The open device refused the line: keeping the text would show a
        // speed the line does not run at. Go back to the old values and
        // hand them to the device again, in case it took part of the new.
        core_->cfg_.line = old;
        try {
            core_->ApplyCommState();
        } catch (const ControlError&) {
            // the old values were accepted before; nothing better to do
        }
        throw;
    }
    core_->settings_text_ = upper;
}

const LineSettings& CommEngine::Line() const { return core_->cfg_.line; }

std::int16_t CommEngine::Handshaking() const { return core_->cfg_.handshaking; }

void CommEngine::SetHandshaking(std::int16_t value)
{
    if (value < 0 || value > 3)
        Raise(kErrInvalidPropertyValue);
    const std::int16_t old = core_->cfg_.handshaking;
    core_->cfg_.handshaking = value;
    try {
        core_->ApplyCommState();
    } catch (...) {
        core_->cfg_.handshaking = old;
        core_->dcb_ = BuildDeviceSettings(core_->cfg_, core_->dcb_);
        throw;
    }
}

std::int32_t CommEngine::DTREnable() const { return core_->cfg_.dtr_enable; }

void CommEngine::SetDTREnable(std::int32_t value)
{
    core_->cfg_.dtr_enable = value;
    core_->dcb_ = BuildDeviceSettings(core_->cfg_, core_->dcb_);
    if (core_->open_)
        if (int err = core_->device_->SetDtr(value != 0); err != 0)
            RaiseSystem(err);
}

std::int32_t CommEngine::RTSEnable() const { return core_->cfg_.rts_enable; }

void CommEngine::SetRTSEnable(std::int32_t value)
{
    core_->cfg_.rts_enable = value;
    if (!core_->open_) {
        core_->dcb_ = BuildDeviceSettings(core_->cfg_, core_->dcb_);
        return;
    }
    if (core_->cfg_.handshaking & kHandshakeRts) {
        // RTS follows the receive queue (handshake) or stays low.
        DeviceSettings d = BuildDeviceSettings(core_->cfg_, core_->dcb_);
        d.rts = value != 0 ? RtsControl::kHandshake : RtsControl::kDisable;
        if (core_->device_->Apply(d))
            core_->dcb_ = d;
    } else {
        core_->dcb_ = BuildDeviceSettings(core_->cfg_, core_->dcb_);
    }
    if (int err = core_->device_->SetRts(value != 0); err != 0)
        RaiseSystem(err);
}

bool CommEngine::NullDiscard() const { return core_->cfg_.null_discard; }

void CommEngine::SetNullDiscard(std::int32_t value)
{
    if (value != 0 && value != 1 && value != -1)
        Raise(kErrInvalidPropertyValue);
    core_->cfg_.null_discard = value != 0;
    core_->ApplyCommState();
}

std::string CommEngine::ParityReplace() const { return core_->cfg_.parity_replace; }

void CommEngine::SetParityReplace(std::string_view value)
{
    core_->cfg_.parity_replace = std::string(value);
    core_->ApplyCommState();
}

std::int16_t CommEngine::InBufferSize() const { return core_->cfg_.in_buffer_size; }

void CommEngine::SetInBufferSize(std::int16_t size)
{
    if (size < 0)
        Raise(kErrInvalidPropertyValue);
    if (core_->open_)
        Raise(kErrPortAlreadyOpenOp);
    core_->cfg_.in_buffer_size = size;
    core_->dcb_ = BuildDeviceSettings(core_->cfg_, core_->dcb_);
}

std::int16_t CommEngine::OutBufferSize() const { return core_->out_buffer_size_; }

void CommEngine::SetOutBufferSize(std::int16_t size)
{
    if (size < 0)
        Raise(kErrInvalidPropertyValue);
    if (core_->open_)
        Raise(kErrPortAlreadyOpenOp);
    core_->out_buffer_size_ = size;
}

DeviceSettings CommEngine::CurrentDeviceSettings() const
{
    return BuildDeviceSettings(core_->cfg_, core_->dcb_);
}

void CommEngine::SetBreak(bool on)
{
    if (core_->open_) {
        core_->device_->SetBreak(on);
        core_->CollectLineErrors();
    }
}

namespace {
bool ModemBit(EngineCore& c, std::uint32_t bit)
{
    if (!c.open_)
        return false;
    std::optional<std::uint32_t> s = c.device_->ModemStatus();
    return s && (*s & bit);
}
}  // namespace

bool CommEngine::CDHolding() const { return ModemBit(*core_, kModemRlsd); }
bool CommEngine::CTSHolding() const { return ModemBit(*core_, kModemCts); }
bool CommEngine::DSRHolding() const { return ModemBit(*core_, kModemDsr); }

std::string CommEngine::Input()
{
    std::string s = core_->ReadCommon(true);
    core_->last_input_ = s;
    return s;
}

std::string CommEngine::InputB() { return core_->ReadCommon(false); }

std::string CommEngine::LineInput() { return core_->LineInput(); }

void CommEngine::Output(std::string_view bytes) { core_->Output(bytes); }

void CommEngine::OutputB(std::string_view bytes) { core_->Output(bytes); }

std::int16_t CommEngine::InBufferCount() const
{
    if (!core_->open_)
        return 0;
    return static_cast<std::int16_t>(std::min<std::size_t>(core_->Queued(), 32767));
}

void CommEngine::SetInBufferCount(std::int16_t value)
{
    if (value != 0)
        Raise(kErrInvalidPropertyValue);
    if (core_->open_) {
        core_->device_->DiscardReceive();
        core_->ClearReceive();
    }
}

std::int16_t CommEngine::OutBufferCount() const
{
    if (!core_->open_)
        return 0;
    const std::size_t n = core_->IdleBufferBytes() + core_->DriverTransmitQueue();
    return static_cast<std::int16_t>(
        std::min<std::size_t>(n, static_cast<std::size_t>(std::max<std::int16_t>(core_->out_buffer_size_, 0))));
}

void CommEngine::SetOutBufferCount(std::int16_t value)
{
    if (value != 0)
        Raise(kErrInvalidPropertyValue);
    if (core_->open_)
        core_->DiscardTransmit();
}

std::int16_t CommEngine::InputLen() const { return core_->input_len_; }

void CommEngine::SetInputLen(std::int16_t value) { StoreNonNegative(core_->input_len_, value); }

std::int32_t CommEngine::InTimeout() const { return core_->in_timeout_; }

void CommEngine::SetInTimeout(std::int32_t ms) { StoreNonNegative(core_->in_timeout_, ms); }

const std::string& CommEngine::LastInput() const { return core_->last_input_; }

std::int16_t CommEngine::RThreshold() const { return core_->rthreshold_; }

void CommEngine::SetRThreshold(std::int16_t value) { StoreNonNegative(core_->rthreshold_, value); }

std::int16_t CommEngine::SThreshold() const { return core_->sthreshold_; }

void CommEngine::SetSThreshold(std::int16_t value)
{
    StoreNonNegative(core_->sthreshold_, value);
    core_->RestartSendTimer();
}

std::int32_t CommEngine::Interval() const { return core_->interval_; }

void CommEngine::SetInterval(std::int32_t ms)
{
    StoreNonNegative(core_->interval_, ms);
    core_->RestartSendTimer();
}

std::int16_t CommEngine::CommEvent() const { return core_->comm_event_; }

void CommEngine::ClearCommEvent()
{
    core_->comm_event_ = 0;
    core_->deferred_ = 0;
    core_->zmodem_.Reset();
}

std::int16_t CommEngine::AutoProcessMode() const { return core_->autoprocess_; }

void CommEngine::SetAutoProcess(std::int16_t value)
{
    if (value < 0 || value > 3)
        Raise(kErrInvalidPropertyValue);
    EngineCore& c = *core_;
    if (c.autoprocess_ == kAutoProcessNone && IsSerialMode(value)) {
        c.saved_input_len_ = c.input_len_;
        c.saved_rthreshold_ = c.rthreshold_;
        c.input_len_ = 0;
        c.rthreshold_ = 0;
    } else if (IsSerialMode(c.autoprocess_) && value == kAutoProcessNone) {
        c.input_len_ = c.saved_input_len_;
        c.rthreshold_ = c.saved_rthreshold_;
    }
    c.autoprocess_ = value;
}

bool CommEngine::AutoZModem() const { return core_->auto_zmodem_; }
void CommEngine::SetAutoZModem(bool on) { core_->auto_zmodem_ = on; }
bool CommEngine::Echo() const { return core_->echo_; }
void CommEngine::SetEcho(bool on) { core_->echo_ = on; }
bool CommEngine::TerminalActive() const { return core_->terminal_active_; }
void CommEngine::SetTerminalActive(bool on) { core_->terminal_active_ = on; }
std::string CommEngine::AnswerBack() const { return core_->answer_back_; }
void CommEngine::SetAnswerBack(std::string_view text) { core_->answer_back_ = std::string(text); }

void CommEngine::SetSavedInputValues(std::int16_t input_len, std::int16_t rthreshold)
{
    core_->saved_input_len_ = input_len;
    core_->saved_rthreshold_ = rthreshold;
}

void CommEngine::HandleNotification(Notification n)
{
    // Declared first, released last: the host may release its control (and
    // with it this engine) from an OnComm raised here.
    const std::shared_ptr<void> hold = core_->cb_.keep_alive ? core_->cb_.keep_alive() : nullptr;
    try {
        core_->HandleNotification(n);
    } catch (const ControlError&) {
        // An error raised inside the application's OnComm handler (or a read
        // that found the port busy) has no caller to go to here.
    }
}

void CommEngine::RaiseCommEvent(std::int16_t code) { core_->RaiseCommEvent(code); }

int CommEngine::QueueOutput(std::string_view bytes) { return core_->QueueOutput(bytes); }

void CommEngine::CollectLineErrors() { core_->CollectLineErrors(); }

void CommEngine::SendCheckTick() { core_->SendCheckTick(); }

bool CommEngine::SendCheckTimerActive() const { return core_->timer_->isActive(); }

bool CommEngine::TransferRunning() const { return core_->transfer_.load(); }

std::size_t CommEngine::TransferQueued() const { return core_->Queued(); }

std::string CommEngine::TransferRead(std::size_t max, int timeout_ms)
{
    EngineCore& c = *core_;
    std::unique_lock lk(c.rx_m_);
    c.rx_cv_.wait_for(lk, milliseconds(std::max(timeout_ms, 0)),
                      [&] { return c.size_ > 0 || c.transfer_interrupt_; });
    c.transfer_interrupt_ = false;
    return c.TakeLocked(max);
}

void CommEngine::TransferInterrupt() { core_->WakeTransferRead(); }

bool CommEngine::TransferWrite(std::string_view bytes) { return core_->WriteRawNow(bytes); }

std::size_t CommEngine::TransferWriteSome(std::string_view bytes) { return core_->WriteRawSome(bytes); }

std::size_t CommEngine::TransferOutputBacklog() const
{
    return core_->IdleBufferBytes() + core_->DriverTransmitQueue();
}

bool CommEngine::LineLost() const
{
    std::lock_guard lk(core_->rx_m_);
    return core_->hangup_;
}

std::optional<bool> CommEngine::TransferCarrier() const
{
    if (!core_->open_)
        return std::nullopt;
    const std::optional<std::uint32_t> s = core_->device_->ModemStatus();
    if (!s)
        return std::nullopt;
    return (*s & kModemRlsd) != 0;
}

void CommEngine::SetTransferRunning(bool running)
{
    core_->transfer_.store(running);
    if (running)
        core_->GrowRingForTransfer();
    else
        core_->Wake();  // the event thread gives the queue its own size again
    core_->RestartSendTimer();
}

}  // namespace tolvex::serial
