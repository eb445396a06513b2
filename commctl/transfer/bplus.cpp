#include "transfer/bplus.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace tolvex::transfer::bp {

namespace {

// XferMessage text numbers.
constexpr int kMsgFileOpen = 2000;
constexpr int kMsgNoAnswer = 2001;
constexpr int kMsgFileDone = 2003;
constexpr int kMsgNoAck = 2004;
constexpr int kMsgRemoteError = 2005;
constexpr int kMsgRemoteAborted = 2006;
constexpr int kMsgUnknown = 2007;
constexpr int kMsgTooManyErrors = 2008;
constexpr int kMsgCarrierLost = 2012;
constexpr int kMsgWaiting = 2022;
constexpr int kMsgPreparing = 2023;
constexpr int kMsgStarting = 2024;
constexpr int kMsgTransferring = 2025;
constexpr int kMsgSkipped = 2026;
constexpr int kMsgAborted = 2027;

// The resume offer names no check of the part we hold.
constexpr const char* kNoCheck = "65535";

Event Ev(EventKind kind, std::int16_t status, int message)
{
    Event e;
    e.kind = kind;
    e.status = status;
    e.message = message;
    return e;
}

bool IsLowSet(std::uint8_t c) { return c == 0x03 || c == 0x05 || c == 0x10 || c == 0x11 || c == 0x13 || c == 0x15; }

// Byte `i` of the host's packet as the signed value it is compared as; 0
// when the packet is shorter.
int At(std::string_view p, std::size_t i) { return i < p.size() ? static_cast<signed char>(p[i]) : 0; }

std::uint8_t U(char c) { return static_cast<std::uint8_t>(c); }

std::uint8_t AddByte(std::uint8_t sum, std::uint8_t b)
{
    const char c = static_cast<char>(b);
    return Checksum(std::string_view(&c, 1), sum);
}

}  // namespace

QuoteTable QuoteTable::Default()
{
    QuoteTable t;
    for (std::uint8_t c : {0x03, 0x05, 0x10, 0x11, 0x13, 0x15})
        t.low[c] = true;
    return t;
}

std::uint8_t Checksum(std::string_view bytes, std::uint8_t sum)
{
    unsigned s = sum;
    for (char c : bytes) {
        s <<= 1;
        if (s > 255)
            s = (s & 255) + 1;
        s += U(c);
        if (s > 255)
            s = (s & 255) + 1;
    }
    return static_cast<std::uint8_t>(s);
}

std::string Quote(std::string_view bytes, const Quoting& q)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const std::uint8_t c = U(ch);
        if (c < 0x20 && (q.all || q.table.low[c])) {
            out += static_cast<char>(kDle);
            out += static_cast<char>(c + 0x40);
        } else if (c >= 0x80 && c < 0xA0 && (q.all || (q.high && q.table.high[c - 0x80]))) {
            out += static_cast<char>(kDle);
            out += static_cast<char>(c - 0x20);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Packet(std::uint8_t number, std::string_view data, const Quoting& q)
{
    const char digit = static_cast<char>('0' + number % 10);
    std::uint8_t sum = Checksum(std::string_view(&digit, 1));
    sum = Checksum(data, sum);
    const char etx = static_cast<char>(kEtx);
    sum = Checksum(std::string_view(&etx, 1), sum);
    std::string out;
    out += static_cast<char>(kDle);
    out += 'B';
    out += digit;
    out += Quote(data, q);
    out += etx;
    const char check = static_cast<char>(sum);
    out += Quote(std::string_view(&check, 1), q);
    return out;
}

std::string OwnParameters(std::size_t buffer, const QuoteTable& own, std::string_view host)
{
    std::string p(18, '\0');
    p[0] = '+';
    p[3] = static_cast<char>(buffer / 128);
    int level = 0;
    if (host.size() < 18) {
        for (unsigned c = 0; c < 32; ++c) {
            if (own.low[c])
                level = std::max(level, IsLowSet(static_cast<std::uint8_t>(c)) ? 0 : c == 0 ? 1 : 3);
            if (own.high[c])
                level = std::max(level, c == 0x11 || c == 0x13 ? 2 : 3);
        }
    }
    static constexpr char kLevelByte[] = {1, 0, 2, 3};
    p[5] = kLevelByte[level];
    for (unsigned c = 0; c < 32; ++c) {
        const char bit = static_cast<char>(0x80 >> (c % 8));
        if (own.low[c])
            p[7 + c / 8] = static_cast<char>(p[7 + c / 8] | bit);
        if (own.high[c])
            p[11 + c / 8] = static_cast<char>(p[11 + c / 8] | bit);
    }
    p[17] = 1;
    return p;
}

Negotiated Negotiate(std::size_t buffer, const QuoteTable& own, std::string_view host)
{
    Negotiated n;
    n.window = std::min(At(host, 2), 0);
    // A host that names no block size (0, negative, or a short packet) means
    // the protocol's default.
    const int units = At(host, 3) > 0 ? At(host, 3) : kDefaultUnits;
    n.buffer = static_cast<std::size_t>(std::min(units, static_cast<int>(buffer / 128))) * 128 + 1;
    n.check = std::min(At(host, 4), 0);
    n.resume = std::min(At(host, 6), 0);
    n.file_info = std::min(At(host, 17), 1) >= 1;
    n.table = own;
    if (host.size() >= 18) {
        for (unsigned c = 0; c < 32; ++c) {
            const int bit = 0x80 >> (c % 8);
            if (U(host[7 + c / 8]) & bit)
                n.table.low[c] = true;
            if (U(host[11 + c / 8]) & bit)
                n.table.high[c] = true;
        }
    }
    return n;
}

Transfer::Transfer(FileAccess& files, FileList& uploads, FileList& downloads, Options options,
                   xy::FileReadyHook hook)
    : files_(files), uploads_(uploads), downloads_(downloads), opt_(options), hook_(std::move(hook))
{
    own_buffer_ = opt_.baud >= 9600 ? 2049 : 513;
    buffer_ = own_buffer_;
}

// ---------------------------------------------------------------------------
// Driving: bytes, the clock, requests.

void Transfer::OnStart(Millis now)
{
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
    SendAnswer();
    BeginLead(now);
    ArmTimer(wait_until_);
}

void Transfer::OnFeed(std::string_view bytes, Millis now)
{
    in_.append(bytes);
    Drain(now);
}

void Transfer::OnTick(Millis now)
{
    if (phase_ == Phase::kDrain) {
        if (now >= wait_until_) {
            in_.clear();
            at_ = 0;
            Abort(now);
            if (!Finished())
                ArmTimer(wait_until_);
        }
        return;
    }
    if (phase_ == Phase::kReady || phase_ == Phase::kDone)
        return;
    if (now >= wait_until_ || phase_ == Phase::kAfter || phase_ == Phase::kAfterDle)
        Char(std::nullopt, now);
    if (!Finished() && phase_ != Phase::kReady && phase_ != Phase::kDrain)
        ArmTimer(wait_until_);
}

void Transfer::OnRequest(Request request, Millis now)
{
    if (request != Request::kAbort || aborted_ || abort_after_read_)
        return;
    if (purpose_ == Purpose::kData && phase_ == Phase::kPacket) {
        // Receiving: the packet on its way is read first, so that the
        // host hears the failure packet after it.
        Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
        abort_after_read_ = true;
        return;
    }
    Abort(now);
}

void Transfer::OnLineLost(Millis)
{
    Fail(kStatusLostCarrier, kMsgCarrierLost);
}

void Transfer::OnResume(Millis now)
{
    if (phase_ != Phase::kReady)
        return;
    if (hook_) {
        const xy::FileChoice choice = hook_(ready_);
        if (choice.skip) {
            Failure('C', "Cannot create file ", now);
            Emit(Ev(EventKind::kError, kStatusAbort, kMsgSkipped));
            return;
        }
        if (choice.name && !choice.name->empty())
            dest_ = *choice.name;
    }
    Opened(now);
    if (!Finished())
        Drain(now);
}

void Transfer::Drain(Millis now)
{
    while (!Finished() && at_ < in_.size() && phase_ != Phase::kReady && phase_ != Phase::kDrain &&
           phase_ != Phase::kDone) {
        const std::uint8_t c = U(in_[at_++]);
        Char(c, now);
    }
    if (at_ >= in_.size()) {
        in_.clear();
        at_ = 0;
    } else if (at_ > 4096) {
        in_.erase(0, at_);
        at_ = 0;
    }
    if (Finished())
        return;
    if (phase_ == Phase::kAfter || phase_ == Phase::kAfterDle) {  // nothing more is here: no waiting
        phase_ = Phase::kDone;
        Finish(result_);
        return;
    }
    if (phase_ == Phase::kDrain) {
        in_.clear();
        at_ = 0;
        return;
    }
    if (phase_ != Phase::kReady && phase_ != Phase::kDone)
        ArmTimer(wait_until_);
}

void Transfer::Char(std::optional<std::uint8_t> c, Millis now)
{
    switch (phase_) {
    case Phase::kLead:
        if (!c) {
            Emit(Ev(EventKind::kError, kStatusTimeout, kMsgNoAnswer));
            BeginEnqWait(now);
            return;
        }
        lead_ += static_cast<char>(*c);
        if (lead_.size() < 2)
            return;
        if (U(lead_[0]) == kDle && lead_[1] == 'B')
            Read(Purpose::kRequest, true, now);
        else
            BeginEnqWait(now);
        return;
    case Phase::kEnqWait:
        if (!c)
            Emit(Ev(EventKind::kError, kStatusTimeout, kMsgNoAnswer));
        if (c && *c == kEnq) {
            SendAnswer();
            BeginLead(now);
        } else {
            BeginEnqWait(now);
        }
        return;
    case Phase::kCommand:
        if (c && *c == kDle) {
            phase_ = Phase::kCommandDle;
            wait_until_ = now + kCharWait;
            return;
        }
        if (c && *c == kEnq)
            SendAnswer();
        if (++reads_ >= kCommandReads) {
            Fail(kStatusTimeout, kMsgNoAnswer);
            return;
        }
        wait_until_ = now + kCharWait;
        return;
    case Phase::kCommandDle:
        if (!c) {
            Emit(Ev(EventKind::kError, kStatusTimeout, kMsgNoAnswer));
            BeginEnqWait(now);
            return;
        }
        if (*c == 'B') {
            Read(Purpose::kRequest, true, now);
            return;
        }
        phase_ = Phase::kCommand;
        if (*c == kEnq)
            SendAnswer();
        if (++reads_ >= kCommandReads) {
            Fail(kStatusTimeout, kMsgNoAnswer);
            return;
        }
        wait_until_ = now + kCharWait;
        return;
    case Phase::kAfter:
    case Phase::kAfterDle:
        if (c && *c == 'B' && phase_ == Phase::kAfterDle) {
            Read(Purpose::kRequest, true, now);
            return;
        }
        phase_ = c && *c == kDle ? Phase::kAfterDle : Phase::kAfter;
        if (c && *c == kEnq)
            SendAnswer();
        if (!c || ++reads_ >= kCommandReads) {
            phase_ = Phase::kDone;
            Finish(result_);
        }
        return;
    case Phase::kPacket: Rx(c, now); return;
    case Phase::kReady:
    case Phase::kDrain:
    case Phase::kDone: return;
    }
}

void Transfer::SendAnswer()
{
    std::string a;
    a += static_cast<char>(kDle);
    a += "++";
    a += static_cast<char>(kDle);
    a += static_cast<char>('0' + seq_);
    Send(a);
}

void Transfer::BeginLead(Millis now)
{
    if (attempts_ >= kStartAttempts) {
        Fail(kStatusAbort, kMsgAborted);
        return;
    }
    ++attempts_;
    phase_ = Phase::kLead;
    lead_.clear();
    wait_until_ = now + kStartWait;
}

void Transfer::BeginEnqWait(Millis now)
{
    if (attempts_ >= kStartAttempts) {
        Fail(kStatusAbort, kMsgAborted);
        return;
    }
    ++attempts_;
    phase_ = Phase::kEnqWait;
    wait_until_ = now + kStartWait;
}

void Transfer::BeginCommand(Millis now)
{
    phase_ = Phase::kCommand;
    reads_ = 0;
    wait_until_ = now + kCharWait;
}

// ---------------------------------------------------------------------------
// Reading a packet.

void Transfer::Read(Purpose purpose, bool after_dle_b, Millis now)
{
    phase_ = Phase::kPacket;
    purpose_ = purpose;
    step_ = after_dle_b ? Step::kAfterDleB : Step::kBegin;
    errors_ = 0;
    repeat_asked_ = false;
    timed_out_ = false;
    wait_until_ = now + kCharWait;
}

void Transfer::Rx(std::optional<std::uint8_t> c, Millis now)
{
    wait_until_ = now + kCharWait;
    switch (step_) {
    case Step::kBegin:
        // Too many packets came in without our outstanding one answered.
        if (!ring_.empty() && since_send_ > 2) {
            AskRepeat(now);
            if (phase_ != Phase::kPacket || step_ != Step::kBegin)
                return;
        }
        if (!c) {
            // Silence with a packet of ours unanswered: ask for the ACK
            // again rather than give up (within the error limit).
            if (!ring_.empty()) {
                AskRepeat(now);
                return;
            }
            timed_out_ = true;
            EndRead(End::kNothing, now);
            return;
        }
        switch (*c) {
        case kDle: step_ = Step::kAfterDle; return;
        case kNak: {
            Event e = Ev(EventKind::kError, file_ ? kStatusTransferring : kStatusWaiting, kMsgRemoteError);
            e.counted = true;
            Emit(e);
            AskRepeat(now);
            return;
        }
        case kEnq: SendAck(); return;
        case kEtx: Nak(now); return;
        default: return;
        }
    case Step::kAfterDle:
        step_ = Step::kBegin;
        if (!c) {
            AskRepeat(now);
            return;
        }
        if (*c >= '0' && *c <= '9') {
            TakeAck(static_cast<std::uint8_t>(*c - '0'), now);
            return;
        }
        switch (*c) {
        case ';': errors_ = 0; return;
        case 'B': step_ = Step::kAfterDleB; return;
        case kEnq: SendAck(); return;
        default: Error(now); return;
        }
    case Step::kAfterDleB:
        if (!c) {
            step_ = Step::kBegin;
            Nak(now);
            return;
        }
        if (*c == kEnq) {
            step_ = Step::kBegin;
            SendAck();
            return;
        }
        sum_ = AddByte(0, *c);
        number_ = static_cast<std::uint8_t>(*c - '0');
        packet_.clear();
        quoted_ = false;
        step_ = Step::kData;
        return;
    case Step::kData:
    case Step::kCheck: {
        const bool data = step_ == Step::kData;
        if (!c) {
            if (data && ring_.empty()) {
                timed_out_ = true;
                EndRead(End::kNothing, now);
                return;
            }
            step_ = Step::kBegin;
            if (data)
                AskRepeat(now);  // with a packet of ours outstanding
            else
                Nak(now);
            return;
        }
        std::uint8_t b = *c;
        if (quoted_) {
            quoted_ = false;
            b = Unquote(b);
        } else if (b == kDle) {
            quoted_ = true;
            return;
        } else if (b == kEnq) {
            step_ = Step::kBegin;
            SendAck();
            return;
        } else if (data && b == kEtx) {
            sum_ = AddByte(sum_, kEtx);
            step_ = Step::kCheck;
            return;
        }
        if (data) {
            if (packet_.size() >= buffer_) {
                step_ = Step::kBegin;
                Nak(now);
                return;
            }
            packet_ += static_cast<char>(b);
            sum_ = AddByte(sum_, b);
            return;
        }
        step_ = Step::kBegin;
        if (b != sum_) {
            Nak(now);
            return;
        }
        Accept(now);
        return;
    }
    }
}

void Transfer::Accept(Millis now)
{
    const std::uint8_t expected = static_cast<std::uint8_t>((seq_ + 1) % 10);
    if (number_ == expected || (!packet_.empty() && packet_[0] == 'F')) {
        if (number_ < 10) {  // a failure packet may carry any byte there
            seq_ = number_;
            accepted_ = number_;
        }
        ++since_send_;
        errors_ = 0;
        if (purpose_ != Purpose::kRequest)
            SendAck();
        EndRead(End::kPacket, now);
        return;
    }
    if (number_ == seq_) {  // a repeat of the packet taken last
        SendAck();
        return;
    }
    Nak(now);
}

void Transfer::TakeAck(std::uint8_t digit, Millis now)
{
    if (repeat_asked_ && digit == last_ack_) {
        repeat_asked_ = false;
        if (ring_.empty()) {
            EndRead(End::kAcked, now);
            return;
        }
        if (purpose_ == Purpose::kRequest) {
            EndRead(End::kNothing, now);
            return;
        }
        Resend();
        return;
    }
    last_ack_ = digit;
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        if (ring_[i].number == digit) {
            ring_.erase(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            break;
        }
    }
    errors_ = 0;
    if (!repeat_asked_)
        EndRead(End::kAcked, now);
}

void Transfer::SendAck()
{
    std::string a;
    a += static_cast<char>(kDle);
    a += static_cast<char>('0' + accepted_);
    Send(a);
}

void Transfer::Nak(Millis now)
{
    Send(std::string(1, static_cast<char>(kNak)));
    Error(now);
}

void Transfer::AskRepeat(Millis now)
{
    if (ring_.empty()) {
        Nak(now);
        return;
    }
    Send(std::string(2, static_cast<char>(kEnq)));
    repeat_asked_ = true;
    since_send_ = 0;
    Error(now);
}

void Transfer::Error(Millis now)
{
    if (++errors_ >= kErrorLimit)
        EndRead(End::kNothing, now);
}

void Transfer::Resend()
{
    for (const Outstanding& s : ring_) {
        Send(Packet(s.number, s.data, quoting_));
        ++resent_;
    }
}

void Transfer::EndRead(End end, Millis now)
{
    step_ = Step::kBegin;
    if (abort_after_read_ && end != End::kAcked) {
        abort_after_read_ = false;
        if (opt_.variant == Variant::kCompuServe) {
            phase_ = Phase::kDrain;
            ArmTimer(now + kAbortDrain);
            wait_until_ = now + kAbortDrain;
        } else {
            Abort(now);
        }
        return;
    }
    switch (purpose_) {
    case Purpose::kRequest:
        if (end == End::kPacket) {
            Take(now);
        } else if (end == End::kAcked) {
            Read(Purpose::kRequest, false, now);
        } else {
            Fail(timed_out_ ? kStatusTimeout : kStatusAbort, timed_out_ ? kMsgNoAnswer : kMsgTooManyErrors);
        }
        return;
    case Purpose::kData:
        if (end == End::kPacket) {
            Data(now);
        } else if (end == End::kAcked) {
            Read(Purpose::kData, false, now);
        } else {
            CloseFile();
            Fail(timed_out_ ? kStatusTimeout : kStatusAbort, timed_out_ ? kMsgNoAnswer : kMsgTooManyErrors);
        }
        return;
    case Purpose::kAck:
        if (end == End::kPacket && !packet_.empty() && packet_[0] == 'F') {
            CloseFile();
            Fail(kStatusAbort, kMsgRemoteAborted);
            return;
        }
        if (end == End::kNothing) {
            if (then_ == Then::kBlock || then_ == Then::kInfo) {
                Abort(now);
                return;
            }
            if (then_ == Then::kResume) {
                CloseFile();
                Fail(kStatusAbort, kMsgAborted);
                return;
            }
            CloseFile();
            Fail(timed_out_ ? kStatusTimeout : kStatusAbort, timed_out_ ? kMsgNoAck : kMsgTooManyErrors);
            return;
        }
        if (!ring_.empty()) {
            Read(Purpose::kAck, false, now);
            return;
        }
        Acknowledged(now);
        return;
    case Purpose::kFailure:
        if (end == End::kPacket) {
            Read(Purpose::kFailure, false, now);
            return;
        }
        phase_ = Phase::kDone;
        Finish(false);
        return;
    }
}

// ---------------------------------------------------------------------------
// Sending.

void Transfer::SendPacket(std::string data)
{
    const std::uint8_t number = static_cast<std::uint8_t>((seq_ + 1) % 10);
    seq_ = number;
    Send(Packet(number, data, quoting_));
    if (ring_.size() >= kRingSize)
        ring_.pop_front();
    ring_.push_back(Outstanding{number, std::move(data)});
    since_send_ = 0;
}

void Transfer::WaitAck(Then then, Millis now)
{
    then_ = then;
    Read(Purpose::kAck, false, now);
}

void Transfer::Acknowledged(Millis now)
{
    switch (then_) {
    case Then::kParameters: {
        const Negotiated n = Negotiate(own_buffer_, QuoteTable::Default(), host_params_);
        buffer_ = n.buffer;
        file_info_ = n.file_info;
        quoting_.table = n.table;
        quoting_.all = false;
        BeginCommand(now);
        return;
    }
    case Then::kResume: Read(Purpose::kData, false, now); return;
    case Then::kInfo:
    case Then::kBlock: NextBlock(now); return;
    case Then::kClose: Done(true, now); return;
    }
}

void Transfer::Failure(char code, std::string_view text, Millis now)
{
    ring_.clear();
    std::string f = "F";
    f += code;
    f += text;
    const std::uint8_t number = static_cast<std::uint8_t>((seq_ + 1) % 10);
    seq_ = number;
    Send(Packet(number, f, quoting_));
    since_send_ = 0;
    Read(Purpose::kFailure, false, now);
}

// ---------------------------------------------------------------------------
// The host's packets.

void Transfer::Take(Millis now)
{
    const char type = packet_.empty() ? '\0' : packet_[0];
    if (type == '+') {
        Exchange(now);
    } else if (type == 'T') {
        TakeRequest(now);
    } else if (type == 'F') {
        SendAck();
        Fail(kStatusAbort, kMsgRemoteAborted);
    } else {
        Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
        Failure('N', "Unexpected packet type", now);
    }
}

void Transfer::Exchange(Millis now)
{
    host_params_ = packet_;
    quoting_.all = true;
    quoting_.high = true;
    SendPacket(OwnParameters(own_buffer_, QuoteTable::Default(), host_params_));
    WaitAck(Then::kParameters, now);
}

void Transfer::TakeRequest(Millis now)
{
    request_ = packet_;
    if (request_.size() < 3 || (request_[1] != 'D' && request_[1] != 'U') ||
        (request_[2] != 'A' && request_[2] != 'B')) {
        Emit(Ev(EventKind::kError, kStatusAbort, kMsgUnknown));
        Failure('N', "Not implemented", now);
        return;
    }
    name_ = request_.substr(3, kNameMax);
    if (request_[1] == 'D')
        Receive(now);
    else
        Upload(now);
}

void Transfer::Receive(Millis now)
{
    // Only into the download folder, under the last component of the name.
    std::string dir;
    std::optional<std::string> given = downloads_.Take();
    if (given && !given->empty() && given->back() != '/') {
        dest_ = *given;
    } else {
        if (given)
            dir = *given;
        const std::string safe = xy::SafeLineName(name_, true);
        if (safe.empty()) {
            Refuse(name_, EINVAL, 'C', "Cannot create file ", now);
            return;
        }
        dest_ = JoinPath(dir, safe);
    }
    ready_ = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready_.file = dest_;
    ready_.source = name_;
    ready_.size = -1;
    Emit(ready_);
    phase_ = Phase::kReady;
    StopTimer();
    AwaitResume();
}

void Transfer::Opened(Millis now)
{
    const bool exists = files_.Exists(dest_);
    int error = 0;
    file_ = files_.OpenWrite(dest_, exists, error);
    if (!file_) {
        Refuse(dest_, error, 'C', "Cannot create file ", now);
        return;
    }
    const std::int64_t held = file_->Size();
    resume_ = held > 0;
    pos_ = resume_ ? held : 0;
    count_ = 0;
    if (!resume_) {
        SendAck();
        Read(Purpose::kData, false, now);
        return;
    }
    SendPacket("Tr" + std::to_string(held) + " " + kNoCheck);
    WaitAck(Then::kResume, now);
}

void Transfer::Data(Millis now)
{
    const std::string_view p = packet_;
    if (!p.empty() && p[0] == 'N') {
        if (!file_->WriteAt(pos_, p.substr(1))) {
            CloseFile();
            Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
            Failure('I', "Disk write error", now);
            return;
        }
        pos_ += static_cast<std::int64_t>(p.size() - 1);
        count_ += static_cast<std::int64_t>(p.size() - 1);
        Event e = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
        e.transferred = count_;
        e.size = size_;
        Emit(e);
    } else if (p.size() >= 2 && p[0] == 'T' && p[1] == 'I') {
        std::int64_t size = -1;
        const std::size_t zero = p.find('\0', 3);
        if (zero != std::string_view::npos) {
            const char* b = p.data() + zero + 1;
            const char* e = p.data() + p.size();
            const bool minus = b < e && *b == '-';
            std::int64_t v = 0;
            const auto r = std::from_chars(b + (minus ? 1 : 0), e, v);
            if (r.ec == std::errc())
                size = minus ? -v : v;
        }
        size_ = size >= 0 ? size : -1;
        Event s = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
        s.file = dest_;
        s.size = size_;
        s.transferred = count_;
        Emit(s);
    } else if (p.size() >= 2 && p[0] == 'T' && p[1] == 'f') {
        // The host will not resume: the file starts over.
        CloseFile();
        int error = 0;
        file_ = files_.OpenWrite(dest_, false, error);
        if (!file_) {
            Refuse(dest_, error, 'C', "Cannot create file ", now);
            return;
        }
        resume_ = false;
        pos_ = 0;
        count_ = 0;
    } else if (p.size() >= 2 && p[0] == 'T' && p[1] == 'C') {
        Done(true, now);
        return;
    } else if (!p.empty() && p[0] == 'F') {
        CloseFile();
        Fail(kStatusAbort, kMsgRemoteAborted);
        return;
    } else {
        CloseFile();
        Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
        Failure('N', "Unexpected packet type", now);
        return;
    }
    Read(Purpose::kData, false, now);
}

void Transfer::Upload(Millis now)
{
    SendAck();
    // Only a file the application queued: by its whole name or its last
    // component.
    std::string path;
    std::vector<std::string> queued;
    while (auto n = uploads_.Take())
        queued.push_back(std::move(*n));
    for (const std::string& q : queued) {
        if (!name_.empty() && (q == name_ || (name_.find('/') == std::string::npos && BaseName(q) == name_))) {
            path = q;
            break;
        }
    }
    Event ready = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready.file = path.empty() ? name_ : path;
    ready.source = name_;
    int error = EACCES;
    if (!path.empty())
        file_ = files_.OpenRead(path, error);
    if (!file_) {
        Emit(ready);
        Refuse(name_, error, 'M', "Cannot access file ", now);
        return;
    }
    size_ = file_->Size();
    pos_ = 0;
    ready.size = size_;
    ready.time = file_->ModTime();
    Emit(ready);
    Event s = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
    s.file = path;
    s.size = size_;
    Emit(s);
    dest_ = path;
    if (file_info_) {
        std::string ti = "TI";
        ti += request_[2];
        ti += '\0';
        ti += std::to_string(size_);
        SendPacket(std::move(ti));
        WaitAck(Then::kInfo, now);
        return;
    }
    NextBlock(now);
}

void Transfer::NextBlock(Millis now)
{
    if (pos_ < size_) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(buffer_ - 1), size_ - pos_));
        std::string data(n + 1, '\0');
        data[0] = 'N';
        const std::size_t got = file_->ReadAt(pos_, data.data() + 1, n);
        if (got == 0) {
            CloseFile();
            Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
            Failure('I', "Disk read error", now);
            return;
        }
        data.resize(got + 1);
        pos_ += static_cast<std::int64_t>(got);
        SendPacket(std::move(data));
        Event e = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
        e.transferred = pos_;
        e.size = size_;
        Emit(e);
        WaitAck(Then::kBlock, now);
        return;
    }
    char extra = 0;
    if (file_->ReadAt(pos_, &extra, 1) != 0) {  // the file grew while it was sent
        CloseFile();
        Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
        Failure('I', "Disk read error", now);
        return;
    }
    CloseFile();
    SendPacket("TC");
    WaitAck(Then::kClose, now);
}

void Transfer::Done(bool ok, Millis)
{
    CloseFile();
    if (ok) {
        Event d = Ev(EventKind::kFileDone, kStatusFinished, kMsgFileDone);
        d.file = dest_.empty() ? name_ : dest_;
        d.transferred = request_.size() > 1 && request_[1] == 'U' ? pos_ : count_;
        d.size = size_;
        Emit(d);
    }
    // A request that came first (no parameters before it): what the host
    // sent after it is read without waiting, so a second request or an ENQ
    // already here is served; with nothing more the transfer ends at once.
    if (!final_ && host_params_.empty()) {
        final_ = true;
        result_ = ok;
        phase_ = Phase::kAfter;
        reads_ = 0;
        return;
    }
    phase_ = Phase::kDone;
    Finish(ok);
}

void Transfer::Refuse(const std::string& file, int error, char code, std::string_view text, Millis now)
{
    Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
    e.file = file;
    e.transferred = error;
    Emit(e);
    Failure(code, text, now);
}

void Transfer::Abort(Millis now)
{
    if (aborted_)
        return;
    aborted_ = true;
    Emit(Ev(EventKind::kError, kStatusAbort, kMsgAborted));
    CloseFile();
    Failure('A', "Transfer cancelled", now);
}

void Transfer::Fail(std::int16_t status, int message, std::int64_t cause)
{
    Event e = Ev(EventKind::kError, status, message);
    e.transferred = cause;
    Emit(e);
    CloseFile();
    phase_ = Phase::kDone;
    Finish(false);
}

void Transfer::CloseFile() { file_.reset(); }

}  // namespace tolvex::transfer::bp
