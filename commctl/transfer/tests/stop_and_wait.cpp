#include "stop_and_wait.h"

#include <algorithm>

namespace tolvex::transfer::demo {

namespace {

// XferMessage text numbers.
constexpr int kMsgFileOpen = 2000;
constexpr int kMsgNoAnswer = 2001;
constexpr int kMsgRemoteAborted = 2006;
constexpr int kMsgTooManyErrors = 2008;
constexpr int kMsgCarrierLost = 2012;
constexpr int kMsgAborted = 2027;

std::uint8_t Sum(std::uint8_t seq, std::string_view data)
{
    unsigned s = seq + static_cast<unsigned>(data.size());
    for (char c : data)
        s += static_cast<std::uint8_t>(c);
    return static_cast<std::uint8_t>(s);
}

Event Error(std::int16_t status, int message)
{
    Event e;
    e.kind = EventKind::kError;
    e.status = status;
    e.message = message;
    return e;
}

}  // namespace

std::string Frame(std::uint8_t seq, std::string_view data)
{
    std::string f;
    f.push_back(static_cast<char>(kSoh));
    f.push_back(static_cast<char>(seq));
    f.push_back(static_cast<char>(~seq));
    f.push_back(static_cast<char>(data.size()));
    f.append(data);
    f.push_back(static_cast<char>(Sum(seq, data)));
    return f;
}

// ---------------------------------------------------------------------------
// Sender

void Sender::OnStart(Millis now)
{
    int error = 0;
    file_ = files_.OpenRead(name_, error);
    if (!file_) {
        Fail(kStatusAbort, kMsgFileOpen);
        return;
    }
    size_ = file_->Size();
    Event start;
    start.kind = EventKind::kFileStart;
    start.status = kStatusFileStart;
    start.file = name_;
    start.size = size_;
    Emit(start);
    block_.resize(static_cast<std::size_t>(std::min<std::int64_t>(size_, kBlock)));
    block_.resize(file_->ReadAt(0, block_.data(), block_.size()));
    SendBlock(now);
}

void Sender::SendBlock(Millis now)
{
    Send(Frame(seq_, block_));
    ArmTimer(now + kRetry);
}

void Sender::OnFeed(std::string_view bytes, Millis now)
{
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (after_ack_) {
            after_ack_ = false;
            if (b != seq_)
                continue;  // a late answer to an earlier block
            retries_ = 0;
            if (block_.empty()) {
                Event done;
                done.kind = EventKind::kFileDone;
                done.status = kStatusFinished;
                done.transferred = pos_;
                done.size = size_;
                Emit(done);
                Finish(true);
                return;
            }
            pos_ += static_cast<std::int64_t>(block_.size());
            Event progress;
            progress.kind = EventKind::kProgress;
            progress.status = kStatusTransferring;
            progress.transferred = pos_;
            progress.size = size_;
            Emit(progress);
            ++seq_;
            block_.resize(static_cast<std::size_t>(std::min<std::int64_t>(size_ - pos_, kBlock)));
            block_.resize(file_->ReadAt(pos_, block_.data(), block_.size()));
            SendBlock(now);
        } else if (b == kAck) {
            after_ack_ = true;
        } else if (b == kNak) {
            OnTick(now);  // the same as an unanswered block
            if (Finished())
                return;
        }
        // anything else is line noise
    }
}

void Sender::OnTick(Millis now)
{
    if (++retries_ > kMaxRetries) {
        Send("\x18\x18");
        Fail(kStatusAbort, kMsgTooManyErrors);
        return;
    }
    ++retries_total_;
    SendBlock(now);
}

void Sender::OnRequest(Request request, Millis)
{
    if (request != Request::kAbort)
        return;
    Send("\x18\x18");
    Fail(kStatusAbort, kMsgAborted);
}

void Sender::OnLineLost(Millis) { Fail(kStatusLostCarrier, kMsgCarrierLost); }

void Sender::Fail(std::int16_t status, int message)
{
    Emit(Error(status, message));
    Finish(false);
}

// ---------------------------------------------------------------------------
// Receiver

void Receiver::OnStart(Millis now)
{
    int error = 0;
    file_ = files_.OpenWrite(name_, /*resume=*/false, error);
    if (!file_) {
        Fail(kStatusAbort, kMsgFileOpen);
        return;
    }
    Event start;
    start.kind = EventKind::kFileStart;
    start.status = kStatusFileStart;
    start.file = name_;
    Emit(start);
    idle_until_ = now + kIdle;
    Rearm(now);
}

void Receiver::Rearm(Millis)
{
    Millis at = done_ ? linger_until_ : idle_until_;
    if (!frame_.empty() || discarding_)
        at = std::min(at, last_byte_ + kGap);
    ArmTimer(at);
}

void Receiver::OnFeed(std::string_view bytes, Millis now)
{
    last_byte_ = now;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (frame_.empty()) {
            if (b == kCan && after_can_) {
                Fail(kStatusAbort, kMsgRemoteAborted);
                return;
            }
            after_can_ = b == kCan;
            if (discarding_ || b == kCan)
                continue;
            if (b == kSoh)
                frame_.push_back(c);
            else
                Bad(now);  // noise between blocks
            continue;
        }
        frame_.push_back(c);
        if (frame_.size() == 4) {
            const auto seq = static_cast<std::uint8_t>(frame_[1]);
            const auto inv = static_cast<std::uint8_t>(frame_[2]);
            const auto len = static_cast<std::uint8_t>(frame_[3]);
            if (inv != static_cast<std::uint8_t>(~seq) || len > kBlock) {
                Bad(now);
                if (Finished())
                    return;
            }
        } else if (frame_.size() > 4 && frame_.size() == 5u + static_cast<std::uint8_t>(frame_[3])) {
            Block(now);
            if (Finished())
                return;
        }
    }
    Rearm(now);
}

void Receiver::Block(Millis now)
{
    const auto seq = static_cast<std::uint8_t>(frame_[1]);
    const std::string_view data(frame_.data() + 4, static_cast<std::uint8_t>(frame_[3]));
    if (Sum(seq, data) != static_cast<std::uint8_t>(frame_.back())) {
        Bad(now);
        return;
    }
    const std::string ack{static_cast<char>(kAck), static_cast<char>(seq)};
    idle_until_ = now + kIdle;
    if (seq == static_cast<std::uint8_t>(expected_ - 1)) {
        Send(ack);  // a repeat: our answer was lost or late
        if (done_)
            linger_until_ = now + kLinger;
        frame_.clear();
        return;
    }
    if (seq != expected_ || done_) {
        frame_.clear();
        Nak();
        return;
    }
    if (!data.empty() && !file_->WriteAt(pos_, data)) {
        frame_.clear();
        Send("\x18\x18");
        Fail(kStatusAbort, kMsgFileOpen);
        return;
    }
    pos_ += static_cast<std::int64_t>(data.size());
    ++expected_;
    Send(ack);
    Event e;
    e.transferred = pos_;
    if (data.empty()) {
        file_->SetLength(pos_);
        e.kind = EventKind::kFileDone;
        e.status = kStatusFinished;
        e.size = pos_;
        done_ = true;
        linger_until_ = now + kLinger;
    } else {
        e.kind = EventKind::kProgress;
        e.status = kStatusTransferring;
    }
    Emit(e);
    frame_.clear();
}

void Receiver::Bad(Millis)
{
    // The rest of what is on the line belongs to the damaged block: answer
    // once the line is silent.
    frame_.clear();
    discarding_ = true;
}

void Receiver::Nak()
{
    if (++errors_ > kMaxErrors) {
        Send("\x18\x18");
        Fail(kStatusAbort, kMsgTooManyErrors);
        return;
    }
    Send(std::string(1, static_cast<char>(kNak)));
}

void Receiver::OnTick(Millis now)
{
    if ((!frame_.empty() || discarding_) && now >= last_byte_ + kGap) {
        // A half block (its rest was lost) or the end of a damaged one.
        frame_.clear();
        discarding_ = false;
        Nak();
        if (Finished())
            return;
    }
    if (done_ && now >= linger_until_) {
        file_.reset();
        Finish(true);
        return;
    }
    if (!done_ && now >= idle_until_) {
        Fail(kStatusTimeout, kMsgNoAnswer);
        return;
    }
    Rearm(now);
}

void Receiver::OnRequest(Request request, Millis)
{
    if (request != Request::kAbort)
        return;
    Send("\x18\x18");
    Fail(kStatusAbort, kMsgAborted);
}

void Receiver::Fail(std::int16_t status, int message)
{
    Emit(Error(status, message));
    Finish(false);
}

}  // namespace tolvex::transfer::demo
