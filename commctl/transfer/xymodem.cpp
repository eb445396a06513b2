#include "transfer/xymodem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace tolvex::transfer::xy {

namespace {

// XferMessage text numbers.
constexpr int kMsgFileOpen = 2000;
constexpr int kMsgNoAnswer = 2001;
constexpr int kMsgFileDone = 2003;
constexpr int kMsgNoAck = 2004;
constexpr int kMsgRemoteError = 2005;
constexpr int kMsgRemoteAborted = 2006;
constexpr int kMsgTooManyErrors = 2008;
constexpr int kMsgCarrierLost = 2012;
constexpr int kMsgWaiting = 2022;
constexpr int kMsgPreparing = 2023;
constexpr int kMsgStarting = 2024;
constexpr int kMsgTransferring = 2025;
constexpr int kMsgAborted = 2027;
constexpr int kMsgOutOfSequence = 2031;
constexpr int kMsgRepeatedBlock = 2032;

// The receiver asks again ("C") once it has opened the file announced by
// block 0; data goes without that request after this long [ms].
constexpr Millis kHeaderStartWait = 1000;

constexpr std::array<std::uint16_t, 256> MakeCrcTable()
{
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x8000) ? ((c << 1) ^ 0x1021) : (c << 1);
        t[i] = static_cast<std::uint16_t>(c);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

std::uint8_t Sum8(std::string_view bytes)
{
    unsigned s = 0;
    for (char c : bytes)
        s += static_cast<std::uint8_t>(c);
    return static_cast<std::uint8_t>(s);
}

Event Ev(EventKind kind, std::int16_t status, int message)
{
    Event e;
    e.kind = kind;
    e.status = status;
    e.message = message;
    return e;
}

Event Note(std::int16_t status, int message, bool counted)
{
    Event e = Ev(EventKind::kError, status, message);
    e.counted = counted;
    return e;
}

std::size_t DataSize(std::uint8_t header) { return header == kStx ? 1024 : 128; }

// Digits in `base` at `text[i]` on, after spaces; none when there are none.
// Stops short of overflow (a hostile length saturates instead of wrapping).
std::optional<std::int64_t> Number(std::string_view text, std::size_t& i, int base)
{
    while (i < text.size() && text[i] == ' ')
        ++i;
    const std::size_t first = i;
    std::int64_t v = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / 16;
    while (i < text.size() && text[i] >= '0' && text[i] < '0' + base) {
        if (v < kMax)
            v = v * base + (text[i] - '0');
        ++i;
    }
    if (i == first)
        return std::nullopt;
    return v;
}

}  // namespace

std::string AbortSequence()
{
    std::string s(7, static_cast<char>(kCan));
    s.append(7, static_cast<char>(kBs));
    return s;
}

std::uint16_t Crc16(std::string_view bytes, std::uint16_t crc)
{
    for (char c : bytes)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ static_cast<std::uint8_t>(c)) & 0xFF]);
    return crc;
}

std::string Block(std::uint8_t number, std::string_view data, bool crc)
{
    std::string f;
    f.reserve(data.size() + 5);
    f.push_back(static_cast<char>(data.size() > 128 ? kStx : kSoh));
    f.push_back(static_cast<char>(number));
    f.push_back(static_cast<char>(255 - number));
    f.append(data);
    if (crc) {
        const std::uint16_t c = Crc16(data);
        f.push_back(static_cast<char>(c >> 8));
        f.push_back(static_cast<char>(c & 0xFF));
    } else {
        f.push_back(static_cast<char>(Sum8(data)));
    }
    return f;
}

std::string HeaderData(std::string_view name, std::int64_t length, FileTime time)
{
    if (name.empty())
        return std::string(128, '\0');
    char info[64];
    std::snprintf(info, sizeof info, "%lld %llo", static_cast<long long>(length),
                  static_cast<unsigned long long>(std::max<FileTime>(time, 0)));
    const std::string_view text(info);
    // Name NUL info NUL must fit; a name too long even for 1024 bytes is cut.
    const std::size_t need = name.size() + 1 + text.size() + 1;
    const std::size_t size = need <= 128 ? 128 : 1024;
    if (name.size() + 1 + text.size() + 1 > size)
        name = name.substr(0, size - text.size() - 2);
    std::string d(name);
    d.push_back('\0');
    d.append(text);
    d.resize(size, '\0');
    return d;
}

Header ParseHeader(std::string_view data)
{
    Header h;
    const std::size_t nul = data.find('\0');
    h.name = std::string(data.substr(0, nul));
    if (nul == std::string_view::npos || h.name.empty())
        return h;
    std::string_view text = data.substr(nul + 1);
    text = text.substr(0, text.find('\0'));
    if (text.empty())
        return h;
    h.has_info = true;
    std::size_t i = 0;
    if (auto len = Number(text, i, 10)) {
        h.length = *len;
        if (auto t = Number(text, i, 8))
            h.time = *t;
    }
    return h;
}

std::string SafeLineName(std::string_view name, bool has_info)
{
    std::string n;
    if (has_info) {
        const std::size_t slash = name.rfind('/');
        n = std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
    } else {
        n = std::string(name);
        std::replace(n.begin(), n.end(), '/', '_');
        if (!n.empty() && n.back() == '.')
            n.pop_back();
    }
    if (n == "." || n == "..")
        n.clear();
    return n;
}

std::string UntitledName(FileAccess& files, const std::string& dir)
{
    for (int i = 0; i < 1000; ++i) {
        char n[16];
        std::snprintf(n, sizeof n, "UNTITLED.%03d", i);
        std::string path = JoinPath(dir, n);
        if (!files.Exists(path))
            return path;
    }
    return {};
}

// ---------------------------------------------------------------------------
// Sender

Millis Sender::AnswerWait(std::size_t bytes) const
{
    Millis w = kAckWait;
    if (opt_.bytes_per_ms > 0)
        w += static_cast<Millis>(static_cast<double>(bytes) / opt_.bytes_per_ms);
    return w;
}

void Sender::OnStart(Millis now) { NextFile(now); }

void Sender::NextFile(Millis now)
{
    std::optional<std::string> name = list_.Take();
    if (!name) {
        if (!Batch()) {
            Finish(true);
            return;
        }
        // End of the batch: the receiver asks for the next header, and gets
        // an empty one.
        delivered_ = true;
        state_ = State::kEndStart;
        ArmTimer(now + kEndOfBatchWait);
        return;
    }
    name_ = std::move(*name);
    int error = 0;
    file_ = files_.OpenRead(name_, error);
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
        e.file = name_;
        e.transferred = error;
        Emit(e);
        Finish(false);
        return;
    }
    size_ = file_->Size();
    pos_ = 0;
    Event w = Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting);
    Emit(w);
    state_ = State::kStartWait;
    reads_ = 0;
    after_can_ = false;
    ArmTimer(now + kStartWait);
}

void Sender::BeginFile(Millis now)
{
    Event ready = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready.file = name_;
    ready.size = size_;
    ready.time = file_->ModTime();
    Emit(ready);
    Event start = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
    start.file = name_;
    start.size = size_;
    Emit(start);
    attempts_ = 0;
    if (Batch()) {
        number_ = 0;
        frame_data_ = 0;
        kind_ = Kind::kHeader;
        frame_ = Block(0, HeaderData(BaseName(name_), size_, file_->ModTime()), crc_);
        SendCurrent(now);
    } else {
        number_ = 1;
        NextData(now);
    }
}

void Sender::SendCurrent(Millis now)
{
    ++attempts_;
    Send(frame_);
    purge_ = true;
    state_ = State::kBlockAnswer;
    after_can_ = false;
    ArmTimer(now + AnswerWait(frame_.size()));
    WatchSent();
}

void Sender::OnSent(Millis now)
{
    if (streaming_)
        Stream(now);
    else if (state_ == State::kBlockAnswer)
        ArmTimer(now + AnswerWait(frame_.size()));  // the wait runs from when the block has gone
}

namespace {
std::size_t Size(Variant v, std::int64_t remaining)
{
    switch (v) {
    case Variant::kChecksum:
    case Variant::kCrc: return 128;
    case Variant::k1K: return 1024;
    default: return remaining >= 1024 ? 1024 : 128;
    }
}
}  // namespace

void Sender::NextData(Millis now)
{
    if (g_ && Batch()) {
        streaming_ = true;
        StopTimer();  // paced by the line from here on
        Stream(now);
        return;
    }
    if (pos_ >= size_) {
        attempts_ = 0;
        SendEot(now);
        return;
    }
    const std::size_t n = Size(opt_.variant, size_ - pos_);
    std::string data(n, static_cast<char>(kPad));
    const std::size_t got = file_->ReadAt(pos_, data.data(), n);
    if (got == 0) {  // the file became shorter while it was being sent
        size_ = pos_;
        attempts_ = 0;
        SendEot(now);
        return;
    }
    frame_data_ = got;
    kind_ = Kind::kData;
    frame_ = Block(number_, data, crc_);
    attempts_ = 0;
    SendCurrent(now);
}

void Sender::Stream(Millis now)
{
    std::size_t queued = 0;
    while (pos_ < size_ && queued < kStreamWindow) {
        const std::size_t n = Size(opt_.variant, size_ - pos_);
        std::string data(n, static_cast<char>(kPad));
        const std::size_t got = file_->ReadAt(pos_, data.data(), n);
        if (got == 0) {
            size_ = pos_;
            break;
        }
        const std::string f = Block(number_, data, true);
        Send(f);
        queued += f.size();
        pos_ += static_cast<std::int64_t>(got);
        Event p = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
        p.transferred = pos_;
        p.size = size_;
        Emit(p);
        ++number_;
    }
    if (pos_ < size_) {
        WatchSent();
        return;
    }
    streaming_ = false;
    attempts_ = 0;
    SendEot(now);
}

void Sender::BlockDone(Millis now)
{
    attempts_ = 0;
    after_can_ = false;
    if (kind_ == Kind::kEnd) {
        Finish(true);
        return;
    }
    if (kind_ == Kind::kHeader) {  // the receiver asks again for the data
        number_ = 1;
        kind_ = Kind::kData;
        state_ = State::kHeaderStart;
        ArmTimer(now + kHeaderStartWait);
        return;
    }
    pos_ = std::min(pos_ + static_cast<std::int64_t>(frame_data_), size_);
    Event p = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
    p.transferred = pos_;
    p.size = size_;
    Emit(p);
    ++number_;
    NextData(now);
}

void Sender::Repeat(Millis now, std::int16_t status, int message)
{
    const bool end_block = kind_ == Kind::kEnd;
    if (end_block && status == kStatusTimeout) {
        // Every file was delivered; a receiver that does not answer the
        // empty header changes nothing about that.
        Finish(true);
        return;
    }
    Emit(Note(status, message, true));
    if (attempts_ >= kBlockAttempts) {
        if (end_block) {
            Finish(true);
            return;
        }
        Fail(kStatusAbort, kMsgTooManyErrors, true);
        return;
    }
    ++retries_;
    SendCurrent(now);
}

void Sender::SendEot(Millis now)
{
    ++attempts_;
    Send(std::string(1, static_cast<char>(kEot)));
    purge_ = true;
    state_ = State::kEotAnswer;
    after_can_ = false;
    ArmTimer(now + kEotWait);
}

void Sender::FileDone(Millis now)
{
    Event d = Ev(EventKind::kFileDone, kStatusFinished, kMsgFileDone);
    d.file = name_;
    d.transferred = size_;
    d.size = size_;
    Emit(d);
    file_.reset();
    ++files_sent_;
    NextFile(now);
}

void Sender::OnFeed(std::string_view bytes, Millis now)
{
    purge_ = false;
    for (char ch : bytes) {
        // Once something was sent, the rest of what came with this answer
        // was said before the far side saw it (a second ACK, a NAK for the
        // block just repeated): taking it as the answer to the new block
        // would put the two sides one block apart.
        if (Finished() || (purge_ && !streaming_))
            return;
        const auto b = static_cast<std::uint8_t>(ch);
        if (b == kCan) {
            // One CAN stops a stream (nothing else can be said during one);
            // otherwise two in a row, so line noise does not.
            if (streaming_ || after_can_) {
                if (state_ == State::kEndStart || (state_ == State::kBlockAnswer && kind_ == Kind::kEnd))
                    Finish(true);  // every file was delivered
                else
                    Fail(kStatusAbort, kMsgRemoteAborted, false);
                return;
            }
            after_can_ = true;
            continue;
        }
        after_can_ = false;
        if (streaming_)
            continue;  // a YModem-G receiver says nothing but CAN
        const bool start_char = b == 'C' || b == 'G' || b == kNak;
        switch (state_) {
        case State::kStartWait:
            if (!start_char)
                break;  // noise
            crc_ = b != kNak;
            g_ = b == 'G' && opt_.variant == Variant::kYModemG;
            BeginFile(now);
            break;
        case State::kBlockAnswer:
            if (b == kAck) {
                BlockDone(now);
            } else if ((b == 'C' || b == 'G') && kind_ == Kind::kEnd) {
                Finish(true);  // answered the end-of-batch block with a request
            } else if (start_char) {
                Repeat(now, kStatusTransferring, kMsgRemoteError);
            }
            break;
        case State::kHeaderStart:
            if (start_char)
                NextData(now);
            break;
        case State::kEotAnswer:
            if (b == kAck) {
                FileDone(now);
            } else if (b == kNak) {
                if (attempts_ >= kEotAttempts) {
                    Fail(kStatusAbort, kMsgAborted, false);
                    return;
                }
                ++retries_;
                SendEot(now);
            }
            break;
        case State::kEndStart:
            if (!start_char)
                break;
            crc_ = b != kNak;
            number_ = 0;
            frame_data_ = 0;
            kind_ = Kind::kEnd;
            frame_ = Block(0, HeaderData("", 0, 0), crc_);
            attempts_ = 0;
            SendCurrent(now);
            break;
        case State::kEndAnswer: break;
        }
    }
}

void Sender::OnTick(Millis now)
{
    if (streaming_)
        return;  // waits for the line, not for time
    switch (state_) {
    case State::kStartWait:
        ++reads_;
        Emit(Note(kStatusTimeout, kMsgNoAnswer, true));
        if (reads_ >= kStartReads) {
            Fail(kStatusAbort, kMsgAborted, false);
            return;
        }
        ArmTimer(now + kStartWait);
        break;
    case State::kBlockAnswer: Repeat(now, kStatusTimeout, kMsgNoAck); break;
    case State::kHeaderStart: NextData(now); break;
    case State::kEotAnswer:
        Emit(Note(kStatusTimeout, kMsgNoAck, true));
        if (attempts_ >= kEotAttempts) {
            Fail(kStatusAbort, kMsgAborted, false);
            return;
        }
        ++retries_;
        SendEot(now);
        break;
    case State::kEndStart:
        // No request for the next header: send the empty one anyway, the
        // batch was delivered.
        Send(Block(0, HeaderData("", 0, 0), crc_));
        Finish(true);
        break;
    case State::kEndAnswer: Finish(true); break;
    }
}

void Endpoint::OnRequest(Request request, Millis)
{
    if (request == Request::kAbort)
        Fail(kStatusAbort, kMsgAborted, true);
}

void Endpoint::OnLineLost(Millis) { Fail(kStatusLostCarrier, kMsgCarrierLost, false); }

void Endpoint::Fail(std::int16_t status, int message, bool abort_sequence)
{
    if (abort_sequence)
        Send(AbortSequence());
    Emit(Ev(EventKind::kError, status, message));
    file_.reset();
    OnFail();
    Finish(false);
}

// ---------------------------------------------------------------------------
// Receiver

std::uint8_t Receiver::StartChar() const
{
    if (!crc_)
        return kNak;
    return g_ ? 'G' : 'C';
}

bool Receiver::FirstBlock() const { return !in_file_; }

void Receiver::OnStart(Millis now) { BeginFile(now); }

void Receiver::BeginFile(Millis now)
{
    std::optional<std::string> name = list_.Take();
    if (!name && !first_file_ && !Batch()) {
        Finish(true);  // XModem: one transfer per name given
        return;
    }
    first_file_ = false;
    given_ = name.value_or("");
    if (!given_.empty()) {
        dir_ = FolderOf(given_);
        // Prove that the name can be written, without harming what it holds.
        int error = 0;
        if (!files_.OpenWrite(given_, true, error)) {
            Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
            e.file = given_;
            e.transferred = error;
            Send(AbortSequence());
            Emit(e);
            Finish(false);
            return;
        }
    }
    expected_ = Batch() ? 0 : 1;
    written_ = 0;
    size_ = -1;
    time_ = 0;
    cut_ = false;
    in_file_ = false;
    pending_eot_ = false;
    errors_ = 0;
    requests_ = 0;
    crc_ = opt_.variant != Variant::kChecksum;
    g_ = opt_.variant == Variant::kYModemG;
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
    AskForBlock(now);
}

void Receiver::AskForBlock(Millis now)
{
    if (++requests_ > kRequests) {
        Fail(kStatusAbort, kMsgAborted, false);
        return;
    }
    if (requests_ > kCrcRequests) {  // a sender that knows only checksums
        crc_ = false;
        g_ = false;
    }
    Send(std::string(1, static_cast<char>(StartChar())));
    state_ = State::kIdle;
    ArmTimer(now + kRequestWait);
}

void Receiver::OnFeed(std::string_view bytes, Millis now)
{
    in_.append(bytes);
    Process(now);
}

void Receiver::Process(Millis now)
{
    while (!in_.empty() && !Finished() && state_ != State::kReady) {
        switch (state_) {
        case State::kIdle: {
            const auto b = static_cast<std::uint8_t>(in_[0]);
            in_.erase(0, 1);
            if (b == kSoh || b == kStx) {
                after_can_ = false;
                frame_.assign(1, static_cast<char>(b));
                frame_len_ = 3 + DataSize(b) + (crc_ ? 2 : 1);
                state_ = State::kFrame;
                ArmTimer(now + kByteWait);
            } else if (b == kEot) {
                // An EOT counts once the line stays quiet after it: the
                // tail of a block that came late may begin with 0x04.
                after_can_ = false;
                state_ = State::kEot;
                ArmTimer(now + kQuiet);
            } else if (b == kCan) {
                if (after_can_) {
                    Fail(kStatusAbort, kMsgRemoteAborted, false);
                    return;
                }
                after_can_ = true;
            } else {
                after_can_ = false;
                Bad(now);
            }
            break;
        }
        case State::kFrame: {
            const std::size_t take = std::min(frame_len_ - frame_.size(), in_.size());
            frame_.append(in_, 0, take);
            in_.erase(0, take);
            if (frame_.size() == frame_len_)
                Frame(now);
            else
                ArmTimer(now + kByteWait);
            break;
        }
        case State::kDiscard:
            in_.clear();
            ArmTimer(now + kQuiet);
            break;
        case State::kEot:
            state_ = State::kIdle;
            Bad(now);
            break;
        case State::kReady:
        case State::kDone: return;
        }
    }
}

void Receiver::Frame(Millis now)
{
    const auto number = static_cast<std::uint8_t>(frame_[1]);
    const auto complement = static_cast<std::uint8_t>(frame_[2]);
    const std::size_t n = DataSize(static_cast<std::uint8_t>(frame_[0]));
    const std::string_view data = std::string_view(frame_).substr(3, n);
    bool good = number + complement == 255;
    if (crc_)
        good = good && Crc16(std::string_view(frame_).substr(3, n + 2)) == 0;
    else
        good = good && Sum8(data) == static_cast<std::uint8_t>(frame_[3 + n]);
    if (!good) {
        Bad(now);
        return;
    }
    const std::string copy(data);
    state_ = State::kIdle;
    Good(number, copy, now);
    if (!Finished() && state_ == State::kIdle)
        ArmTimer(now + kBlockWait);
}

// Something that is no good block: wait until the line is quiet (the rest
// of a damaged block), then ask for the block again once.
void Receiver::Bad(Millis now)
{
    if (g_ && in_file_) {
        // A stream cannot repeat a block: the file cannot be completed.
        Fail(kStatusAbort, kMsgRemoteError, true);
        return;
    }
    Emit(Note(in_file_ ? kStatusTransferring : kStatusWaiting, kMsgRemoteError, true));
    if (!CountError())
        return;
    state_ = State::kDiscard;
    in_.clear();
    ArmTimer(now + kQuiet);
}

bool Receiver::CountError()
{
    if (++errors_ >= kMaxErrors) {
        Fail(kStatusAbort, kMsgTooManyErrors, true);
        return false;
    }
    return true;
}

void Receiver::Good(std::uint8_t number, std::string_view data, Millis now)
{
    const std::string ack(1, static_cast<char>(kAck));
    if (number != expected_) {
        if (number == static_cast<std::uint8_t>(expected_ - 1) && (in_file_ || expected_ == 1)) {
            Emit(Note(kStatusTransferring, kMsgRepeatedBlock, false));  // our ACK was lost
            if (!g_)
                Send(ack);
            return;
        }
        Fail(kStatusAbort, kMsgOutOfSequence, true);
        return;
    }
    if (Batch() && !in_file_) {  // block 0: the header
        Send(ack);
        const Header h = ParseHeader(data);
        if (h.name.empty()) {  // end of the batch
            state_ = State::kDone;
            Finish(true);
            return;
        }
        std::string dest = given_;
        if (dest.empty()) {
            const std::string safe = SafeLineName(h.name, h.has_info);
            dest = safe.empty() ? UntitledName(files_, dir_) : JoinPath(dir_, safe);
        }
        expected_ = 1;
        Ready(std::move(dest), h, now);
        return;
    }
    if (!g_)
        Send(ack);
    ++expected_;
    if (!in_file_) {  // XModem: the first block makes the file ready
        held_.assign(data);
        Ready(given_.empty() ? UntitledName(files_, dir_) : given_, Header{}, now);
        return;
    }
    Data(data, now);
}

void Receiver::Ready(std::string dest, const Header& header, Millis)
{
    in_file_ = true;
    size_ = header.has_info ? header.length : -1;
    time_ = header.has_info ? header.time : 0;
    ready_ = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready_.file = std::move(dest);
    ready_.size = size_;
    ready_.time = time_;
    Emit(ready_);
    state_ = State::kReady;
    StopTimer();
    AwaitResume();
}

void Receiver::OnResume(Millis now)
{
    if (state_ != State::kReady)
        return;
    const FileChoice choice = hook_ ? hook_(ready_) : FileChoice{};
    if (choice.skip || ready_.file.empty()) {
        Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
        e.file = ready_.file;
        Send(AbortSequence());
        Emit(e);
        Finish(false);
        return;
    }
    dest_ = choice.name && !choice.name->empty() ? *choice.name : ready_.file;
    int error = 0;
    // Opened without emptying it: what the file holds goes only once data
    // arrives for it.
    file_ = files_.OpenWrite(dest_, true, error);
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
        e.file = dest_;
        e.transferred = error;
        Send(AbortSequence());
        Emit(e);
        Finish(false);
        return;
    }
    Event start = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
    start.file = dest_;
    start.size = size_;
    Emit(start);
    state_ = State::kIdle;
    if (Batch()) {
        Send(std::string(1, static_cast<char>(StartChar())));  // now the data
    } else if (pending_eot_) {
        pending_eot_ = false;
        Eot(now);
        return;
    } else {
        std::string first;
        first.swap(held_);
        Data(first, now);
        if (Finished())
            return;
    }
    ArmTimer(now + kBlockWait);
    Process(now);
}

void Receiver::Data(std::string_view data, Millis)
{
    if (!cut_) {
        if (!file_->SetLength(0)) {
            Fail(kStatusAbort, kMsgFileOpen, true);
            return;
        }
        cut_ = true;
    }
    if (!file_->WriteAt(written_, data)) {
        Fail(kStatusAbort, kMsgFileOpen, true);
        return;
    }
    written_ += static_cast<std::int64_t>(data.size());
    Event p = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
    p.transferred = size_ >= 0 ? std::min(written_, size_) : written_;
    p.size = size_;
    Emit(p);
}

void Receiver::Eot(Millis now)
{
    if (!in_file_) {
        if (Batch()) {  // no file announced: nothing to end
            Bad(now);
            return;
        }
        // XModem: the sender had nothing to send; an empty file.
        Send(std::string(1, static_cast<char>(kAck)));
        pending_eot_ = true;
        Ready(given_.empty() ? UntitledName(files_, dir_) : given_, Header{}, now);
        return;
    }
    Send(std::string(1, static_cast<char>(kAck)));
    // Only a file received whole gets its announced length and time: a cut
    // short one must not look complete.
    const bool whole = size_ < 0 || written_ >= size_;
    bool ok = true;
    if (whole) {
        ok = file_->SetLength(size_ >= 0 ? std::min(size_, written_) : written_);
        if (time_ != 0)
            SetTimeIfPlausible(*file_, time_);
    }
    file_.reset();
    if (!ok) {
        Fail(kStatusAbort, kMsgFileOpen, false);
        return;
    }
    Event d = Ev(EventKind::kFileDone, kStatusFinished, kMsgFileDone);
    d.file = dest_;
    d.transferred = written_;
    d.size = size_;
    Emit(d);
    BeginFile(now);
}

void Receiver::OnTick(Millis now)
{
    switch (state_) {
    case State::kIdle:
        if (FirstBlock()) {
            Emit(Note(kStatusTimeout, kMsgNoAnswer, true));
            AskForBlock(now);
            return;
        }
        Emit(Note(kStatusTimeout, kMsgNoAck, true));
        if (!CountError())
            return;
        // Before the first data block of a YModem file the request is the
        // start character again (a NAK there would ask for checksums).
        if (Batch() && written_ == 0 && expected_ == 1)
            Send(std::string(1, static_cast<char>(StartChar())));
        else
            Send(std::string(1, static_cast<char>(kNak)));
        ArmTimer(now + kBlockWait);
        break;
    case State::kFrame:  // the rest of the block never came
        Emit(Note(kStatusTransferring, kMsgRemoteError, true));
        if (!CountError())
            return;
        [[fallthrough]];
    case State::kDiscard:
        state_ = State::kIdle;
        Send(std::string(1, static_cast<char>(FirstBlock() ? StartChar() : kNak)));
        ArmTimer(now + (FirstBlock() ? kRequestWait : kBlockWait));
        break;
    case State::kEot:
        state_ = State::kIdle;
        Eot(now);
        break;
    case State::kReady:
    case State::kDone: break;
    }
}

void Receiver::OnFail() { state_ = State::kDone; }

}  // namespace tolvex::transfer::xy
