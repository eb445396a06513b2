#include "transfer/kermit.h"

#include <algorithm>
#include <array>

#include "transfer/messages.h"

namespace tolvex::transfer::kermit {

namespace {

// What an E packet tells the peer.
constexpr std::string_view kErrorText = "Transfer cancelled";

Event Ev(EventKind kind, std::int16_t status, int message)
{
    Event e;
    e.kind = kind;
    e.status = status;
    e.message = message;
    return e;
}

int Next(int seq) { return (seq + 1) & 63; }
int Previous(int seq) { return (seq + 63) & 63; }

bool IsControl(unsigned char c7) { return c7 < 32 || c7 == 127; }

}  // namespace

char Check(std::string_view bytes)
{
    unsigned s = 0;
    for (char c : bytes)
        s += static_cast<std::uint8_t>(c);
    return ToChar(static_cast<int>((s + ((s >> 6) & 3)) & 0x3F));
}

bool ValidPrefix(char c)
{
    const auto u = static_cast<std::uint8_t>(c);
    return (u >= 33 && u <= 62) || (u >= 96 && u <= 126);
}

Params ParseParams(std::string_view data)
{
    Params p;
    const auto field = [&](std::size_t i) -> std::optional<char> {
        if (i < data.size())
            return data[i];
        return std::nullopt;
    };
    if (auto c = field(0)) {
        const int n = UnChar(*c);
        p.max_length = n < 10 ? 80 : std::min(n, kOwnMaxLength);
    }
    if (auto c = field(1)) {
        const int t = UnChar(*c);
        p.timeout = t > 0 ? static_cast<Millis>(t) * 1000 : kDefaultTimeout;  // 0 or less: the default
    }
    if (auto c = field(2))
        p.pad_count = std::clamp(UnChar(*c), 0, kOwnMaxLength);
    if (auto c = field(3))
        p.pad_char = Ctl(*c);
    if (auto c = field(4)) {
        const int e = UnChar(*c);
        p.eol = e >= 2 && e <= 31 ? static_cast<char>(e) : '\r';
    }
    if (auto c = field(5))
        p.ctl_prefix = ValidPrefix(*c) ? *c : '#';
    if (auto c = field(6))
        p.bin_prefix = *c;
    return p;
}

std::string OwnParams(bool seven_bit)
{
    std::string s;
    s.push_back(ToChar(kOwnMaxLength));
    s.push_back(ToChar(kOwnTimeout));
    s.push_back(ToChar(0));  // no padding
    s.push_back(Ctl(0));     // padding character NUL
    s.push_back(ToChar('\r'));
    s.push_back('#');
    s.push_back(seven_bit ? '&' : 'Y');
    return s;
}

char AgreedBinPrefix(bool seven_bit, const Params& peer)
{
    const char q = peer.bin_prefix;
    char agreed = 0;
    if (seven_bit) {
        if (q == 'Y' || q == '&')
            agreed = '&';
    } else if (ValidPrefix(q)) {
        agreed = q;
    }
    // It must differ from both control prefixes, or the data cannot be read.
    if (agreed == '#' || agreed == peer.ctl_prefix)
        agreed = 0;
    return agreed;
}

std::size_t Encode(std::string_view data, std::size_t room, const Prefixes& p, std::string& out)
{
    std::size_t taken = 0;
    for (char ch : data) {
        std::array<char, 3> seq{};
        std::size_t n = 0;
        auto b = static_cast<unsigned char>(ch);
        if (p.bin && (b & 0x80)) {
            seq[n++] = p.bin;
            b &= 0x7F;
        }
        const unsigned char b7 = b & 0x7F;
        if (IsControl(b7)) {
            seq[n++] = p.ctl;
            b ^= 0x40;
        } else if (b7 == static_cast<unsigned char>(p.ctl) || (p.bin && b7 == static_cast<unsigned char>(p.bin))) {
            seq[n++] = p.ctl;
        }
        seq[n++] = static_cast<char>(b);
        if (out.size() + n > room)
            break;
        out.append(seq.data(), n);
        ++taken;
    }
    return taken;
}

bool Decode(std::string_view field, const Prefixes& p, std::string& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < field.size()) {
        char c = field[i++];
        unsigned char high = 0;
        if (p.bin && c == p.bin) {
            if (i >= field.size())
                return false;
            c = field[i++];
            high = 0x80;
        }
        if (c == p.ctl) {
            if (i >= field.size())
                return false;
            c = field[i++];
            const unsigned char c7 = static_cast<unsigned char>(c) & 0x7F;
            if (c7 >= 0x3F && c7 <= 0x5F)
                c = Ctl(c);
        }
        out.push_back(static_cast<char>(static_cast<unsigned char>(c) | high));
    }
    return true;
}

std::string Packet(int seq, char type, std::string_view data, const Params& to)
{
    std::string body;
    body.reserve(data.size() + 4);
    body.push_back(ToChar(static_cast<int>(data.size()) + 3));
    body.push_back(ToChar(seq & 63));
    body.push_back(type);
    body.append(data);
    std::string p(static_cast<std::size_t>(to.pad_count), to.pad_char);
    p.push_back(kMark);
    p.append(body);
    p.push_back(Check(body));
    p.push_back(to.eol);
    return p;
}

Reader::Got Reader::Take(std::string_view bytes, std::size_t& used, Packet& packet)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (seven_bit_)
            c = static_cast<char>(c & 0x7F);
        if (c == kMark) {  // a packet begins, even inside another one
            state_ = State::kLen;
            body_.clear();
            after_can_ = false;
            continue;
        }
        switch (state_) {
        case State::kMark:
            if (c == kCan) {
                if (after_can_) {
                    after_can_ = false;
                    used = i + 1;
                    return Got::kCancel;
                }
                after_can_ = true;
            } else {
                after_can_ = false;
            }
            break;
        case State::kLen: {
            const int n = UnChar(c);
            body_.push_back(c);
            if (n < 3 || n > kOwnMaxLength) {  // not a length this side accepts (long packets were not offered)
                state_ = State::kMark;
                packet = Packet{};
                used = i + 1;
                return Got::kPacket;
            }
            need_ = static_cast<std::size_t>(n);
            state_ = State::kBody;
            break;
        }
        case State::kBody:
            body_.push_back(c);
            if (body_.size() == need_ + 1) {
                state_ = State::kMark;
                const int seq = UnChar(body_[1]);
                packet.seq = seq & 63;
                packet.type = body_[2];
                packet.data.assign(body_, 3, need_ - 3);
                packet.good = seq >= 0 && seq < 64 && Check(std::string_view(body_).substr(0, need_)) == body_.back();
                used = i + 1;
                return Got::kPacket;
            }
            break;
        }
    }
    used = bytes.size();
    return Got::kNothing;
}

// ---------------------------------------------------------------------------
// Both ends

void Endpoint::OnFeed(std::string_view bytes, Millis now)
{
    std::size_t pos = 0;
    while (pos < bytes.size() && !Finished()) {
        std::size_t used = 0;
        Reader::Packet packet;
        const Reader::Got got = reader_.Take(bytes.substr(pos), used, packet);
        pos += used;
        if (got == Reader::Got::kCancel) {
            Fail(kStatusAbort, msg::kAborted, false);
            return;
        }
        if (got == Reader::Got::kPacket)
            OnPacket(packet, now);
    }
    if (Finished())
        return;
    if (awaiting_)
        ArmTimer(reader_.Inside() ? now + kByteWait : std::max(wait_until_, now));
    else if (Deadline() && *Deadline() <= now)
        OnTick(now);  // a pause that ran out while bytes came (the one after B)
}

void Endpoint::OnRequest(Request request, Millis)
{
    if (request == Request::kAbort)
        Fail(kStatusAbort, msg::kAborted, true);
}

void Sender::OnRequest(Request request, Millis now)
{
    if (request == Request::kSkip) {
        // The file in hand ends with Z "D" at the next answer.
        if (state_ == State::kFile || state_ == State::kData)
            skip_file_ = true;
        return;
    }
    Endpoint::OnRequest(request, now);
}

void Receiver::OnRequest(Request request, Millis now)
{
    if (request == Request::kSkip) {
        // The next ACK of a D asks the sender to give the file up ("X").
        if (state_ == State::kData)
            skip_asked_ = true;
        return;
    }
    Endpoint::OnRequest(request, now);
}

void Endpoint::OnLineLost(Millis) { Fail(kStatusLostCarrier, msg::kCarrierLost, false); }

void Endpoint::SendError(int seq)
{
    std::string text;
    Encode(kErrorText, static_cast<std::size_t>(peer_.max_length - 3), OutPrefixes(), text);
    Send(Packet(seq, 'E', text, peer_));
    Send(xy::AbortSequence());
}

void Endpoint::AwaitPacket(Millis now, std::size_t bytes)
{
    Millis line = 0;
    if (opt_.bytes_per_ms > 0)
        line = static_cast<Millis>(static_cast<double>(bytes) / opt_.bytes_per_ms);
    wait_until_ = now + peer_.timeout + line;
    awaiting_ = true;
    ArmTimer(wait_until_);
}

void Endpoint::StopWaiting()
{
    awaiting_ = false;
    StopTimer();
}

void Endpoint::Fail(std::int16_t status, int message, bool tell)
{
    if (tell)
        SendError(ErrorSeq());
    Emit(Ev(EventKind::kError, status, message));
    file_.reset();
    OnFail();
    Finish(false);
}

void Endpoint::TakeParams(std::string_view data)
{
    peer_ = ParseParams(data);
    bin_ = AgreedBinPrefix(opt_.seven_bit, peer_);
}

void Endpoint::NoteTrouble(bool timeout, bool inside)
{
    Event e = timeout ? Ev(EventKind::kError, kStatusTimeout, inside ? msg::kNoAck : msg::kNoAnswer)
                      : Ev(EventKind::kError, file_ ? kStatusTransferring : kStatusWaiting, msg::kRemoteError);
    e.counted = true;
    Emit(e);
}

// ---------------------------------------------------------------------------
// Sender

bool Sender::OpenNext()
{
    std::optional<std::string> name = list_.Take();
    if (!name)
        return false;
    name_ = std::move(*name);
    int error = 0;
    file_ = files_.OpenRead(name_, error);
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, msg::kFileOpen);
        e.file = name_;
        e.transferred = error;
        if (state_ != State::kInit)  // the peer is waiting for the next file
            SendError(Next(seq_));
        Emit(e);
        state_ = State::kDone;
        Finish(false);
        return false;
    }
    size_ = file_->Size();
    pos_ = 0;
    chunk_.clear();
    chunk_pos_ = 0;
    skip_file_ = false;
    return true;
}

void Sender::OnStart(Millis now)
{
    if (!OpenNext()) {
        if (!Finished())
            Finish(true);  // nothing to send
        return;
    }
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, msg::kWaiting));
    state_ = State::kInit;
    seq_ = 0;
    type_ = 'S';
    data_ = OwnParams(opt_.seven_bit);
    tries_ = 0;
    Transmit(now);
}

void Sender::NewPacket(char type, std::string data, Millis now)
{
    seq_ = Next(seq_);
    type_ = type;
    data_ = std::move(data);
    tries_ = 0;
    Transmit(now);
}

void Sender::Transmit(Millis now)
{
    ++tries_;
    const std::string p = Packet(seq_, type_, data_, peer_);
    Send(p);
    AwaitPacket(now, p.size());
}

void Sender::Retry(Millis now)
{
    if (state_ == State::kBreak && tries_ >= 2) {
        // Every file was acknowledged: a receiver that has gone once it
        // answered B (its answer lost) changes nothing about that.
        state_ = State::kDone;
        Finish(true);
        return;
    }
    if (tries_ >= kMaxTries) {
        Fail(kStatusAbort, msg::kAborted, true);
        return;
    }
    ++retries_;
    Transmit(now);
}

void Sender::OnTick(Millis now)
{
    if (state_ == State::kDone)
        return;
    NoteTrouble(true, reader_.Inside());
    reader_.Reset();
    Retry(now);
}

void Sender::OnPacket(const Reader::Packet& packet, Millis now)
{
    if (!packet.good) {
        NoteTrouble(false, false);
        Retry(now);
        return;
    }
    switch (packet.type) {
    case 'Y':
        // Only the answer to the packet in flight counts: a late duplicate
        // of an earlier ACK must not move the transfer on.
        if (packet.seq == seq_)
            Acknowledged(packet.data, now);
        return;
    case 'N':
        if (packet.seq == Next(seq_)) {  // the receiver wants the next one: this one arrived
            Acknowledged({}, now);
        } else if (packet.seq == seq_) {
            NoteTrouble(false, false);
            Retry(now);
        }
        return;
    case 'E': Fail(kStatusAbort, msg::kRemoteAborted, false); return;
    default: return;
    }
}

void Sender::BeginFile(Millis now)
{
    Event ready = Ev(EventKind::kFileReady, kStatusFileReady, msg::kPreparing);
    ready.file = name_;
    ready.size = size_;
    ready.time = file_->ModTime();
    Emit(ready);
    Event start = Ev(EventKind::kFileStart, kStatusFileStart, msg::kStarting);
    start.file = name_;
    start.size = size_;
    Emit(start);
    state_ = State::kFile;
    std::string field;
    Encode(BaseName(name_), static_cast<std::size_t>(peer_.max_length - 3), OutPrefixes(), field);
    NewPacket('F', std::move(field), now);
}

void Sender::Acknowledged(std::string_view data, Millis now)
{
    switch (state_) {
    case State::kInit:
        TakeParams(data);
        BeginFile(now);
        return;
    case State::kFile:
        state_ = State::kData;
        if (skip_file_) {  // given up before its data
            state_ = State::kEof;
            NewPacket('Z', "D", now);
            return;
        }
        NextData(now);
        return;
    case State::kData: {
        pos_ += static_cast<std::int64_t>(taken_);
        Event p = Ev(EventKind::kProgress, kStatusTransferring, msg::kTransferring);
        p.transferred = pos_;
        p.size = size_;
        Emit(p);
        // "X" in the ACK: the receiver wants no more of this file; "Z": of
        // the batch. The application may have asked the same.
        if (!data.empty() && (data[0] == 'X' || data[0] == 'Z')) {
            skip_file_ = true;
            skip_batch_ = data[0] == 'Z';
        }
        if (skip_file_) {
            state_ = State::kEof;
            NewPacket('Z', "D", now);
            return;
        }
        NextData(now);
        return;
    }
    case State::kEof:
        if (skip_file_) {
            Emit(Ev(EventKind::kError, kStatusSkip, msg::kSkipped));
        } else {
            Event d = Ev(EventKind::kFileDone, kStatusFinished, msg::kFileDone);
            d.file = name_;
            d.transferred = pos_;
            d.size = size_;
            Emit(d);
        }
        file_.reset();
        if (!skip_batch_ && OpenNext()) {
            BeginFile(now);
            return;
        }
        if (Finished())
            return;
        state_ = State::kBreak;
        NewPacket('B', {}, now);
        return;
    case State::kBreak:
        state_ = State::kDone;
        Finish(true);
        return;
    case State::kDone: return;
    }
}

void Sender::NextData(Millis now)
{
    const std::size_t room = static_cast<std::size_t>(peer_.max_length - 3);
    // Enough bytes in hand for a full field (each byte takes at most 3).
    while (chunk_.size() < room) {
        char buffer[kReadChunk];
        const std::size_t got = file_->ReadAt(chunk_pos_, buffer, sizeof buffer);
        if (got == 0)
            break;
        chunk_.append(buffer, got);
        chunk_pos_ += static_cast<std::int64_t>(got);
    }
    if (chunk_.empty()) {  // the whole file was acknowledged
        state_ = State::kEof;
        NewPacket('Z', {}, now);
        return;
    }
    std::string field;
    taken_ = Encode(chunk_, room, OutPrefixes(), field);
    // A 7-bit line without an agreed 8-bit prefix would lose the 8th bit of
    // these bytes: the file cannot be sent whole.
    if (opt_.seven_bit && !bin_) {
        for (std::size_t i = 0; i < taken_; ++i) {
            if (static_cast<unsigned char>(chunk_[i]) & 0x80) {
                Fail(kStatusAbort, msg::kAborted, true);
                return;
            }
        }
    }
    chunk_.erase(0, taken_);
    NewPacket('D', std::move(field), now);
}

// ---------------------------------------------------------------------------
// Receiver

void Receiver::OnStart(Millis now)
{
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, msg::kWaiting));
    state_ = State::kInit;
    expected_ = 0;
    AwaitPacket(now);
}

void Receiver::Ack(int seq, std::string_view data, Millis now)
{
    const std::string p = Packet(seq, 'Y', data, peer_);
    Send(p);
    AwaitPacket(now, p.size());
}

void Receiver::Nak(Millis now, bool timeout, bool inside)
{
    NoteTrouble(timeout, inside);
    if (++tries_ >= kMaxTries) {  // a peer that stays silent or garbled ends the transfer
        Fail(kStatusAbort, msg::kAborted, true);
        return;
    }
    ++retries_;
    const std::string p = Packet(expected_, 'N', {}, peer_);
    Send(p);
    AwaitPacket(now, p.size());
}

void Receiver::OnTick(Millis now)
{
    switch (state_) {
    case State::kEnding:
        state_ = State::kDone;
        Finish(true);
        return;
    case State::kReady:
    case State::kDone: return;
    default: break;
    }
    const bool inside = reader_.Inside();
    reader_.Reset();
    Nak(now, true, inside);
}

void Receiver::OnPacket(const Reader::Packet& packet, Millis now)
{
    if (state_ == State::kReady || state_ == State::kEnding || state_ == State::kDone)
        return;  // the sender waits for the answer still to come
    if (!packet.good) {
        Nak(now, false, false);
        return;
    }
    if (packet.type == 'E') {
        Fail(kStatusAbort, msg::kRemoteAborted, false);
        return;
    }
    if (packet.seq != expected_) {
        if (packet.seq == Previous(expected_) && state_ != State::kInit) {
            // Our answer was lost: say it again, and do nothing else (a
            // repeated D is not written twice).
            Ack(packet.seq, packet.type == 'S' ? OwnParams(opt_.seven_bit) : std::string(), now);
            return;
        }
        Nak(now, false, false);
        return;
    }
    tries_ = 0;
    switch (state_) {
    case State::kInit:
        if (packet.type != 'S')
            break;
        TakeParams(packet.data);
        Ack(packet.seq, OwnParams(opt_.seven_bit), now);
        expected_ = Next(expected_);
        state_ = State::kFile;
        return;
    case State::kFile:
        if (packet.type == 'F') {
            FileName(packet.data, now);
            return;
        }
        if (packet.type == 'B') {
            Ack(packet.seq, {}, now);
            state_ = State::kEnding;
            awaiting_ = false;
            ArmTimer(now + kEndWait);
            return;
        }
        break;  // anything else (a text to show, "X") is not taken
    case State::kData:
        if (packet.type == 'D') {
            Data(packet.data, now);
            return;
        }
        if (packet.type == 'A') {  // attributes (not asked for): taken without effect
            Ack(packet.seq, {}, now);
            expected_ = Next(expected_);
            return;
        }
        if (packet.type == 'Z') {
            EndOfFile(packet.data, now);
            return;
        }
        break;
    default: break;
    }
    Fail(kStatusAbort, msg::kAborted, true);
}

void Receiver::FileName(const std::string& field, Millis)
{
    std::string name;
    if (!Decode(field, InPrefixes(), name))
        name = field;
    std::string given = list_.Take().value_or("");
    std::string dest;
    if (!given.empty()) {
        dir_ = FolderOf(given);
        dest = std::move(given);
    } else {
        // Only the last component of a name from the line; never a folder
        // outside the one files are received into.
        const std::string safe = xy::SafeLineName(name, true);
        dest = safe.empty() ? xy::UntitledName(files_, dir_) : JoinPath(dir_, safe);
    }
    ready_ = Ev(EventKind::kFileReady, kStatusFileReady, msg::kPreparing);
    ready_.file = std::move(dest);
    ready_.source = name;
    ready_.size = -1;
    ready_.time = 0;
    Emit(ready_);
    state_ = State::kReady;
    StopWaiting();
    AwaitResume();
}

void Receiver::OnResume(Millis now)
{
    if (state_ != State::kReady)
        return;
    const xy::FileChoice choice = hook_ ? hook_(ready_) : xy::FileChoice{};
    if (choice.skip || ready_.file.empty()) {
        Fail(kStatusAbort, msg::kFileOpen, true);  // the file is refused, and with it the transfer
        return;
    }
    dest_ = choice.name && !choice.name->empty() ? *choice.name : ready_.file;
    int error = 0;
    // Opened without emptying it: what it holds goes only once the file
    // arrives.
    file_ = files_.OpenWrite(dest_, true, error);
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, msg::kFileOpen);
        e.file = dest_;
        e.transferred = error;
        SendError(expected_);
        Emit(e);
        state_ = State::kDone;
        Finish(false);
        return;
    }
    Event start = Ev(EventKind::kFileStart, kStatusFileStart, msg::kStarting);
    start.file = dest_;
    start.size = -1;
    Emit(start);
    written_ = 0;
    cut_ = false;
    skip_asked_ = false;
    state_ = State::kData;
    Ack(expected_, {}, now);
    expected_ = Next(expected_);
}

void Receiver::Data(const std::string& field, Millis now)
{
    if (!Decode(field, InPrefixes(), decoded_)) {
        Nak(now, false, false);  // a field that ends inside a prefix was damaged on the way
        return;
    }
    if (!cut_) {
        if (!file_->SetLength(0)) {
            Fail(kStatusAbort, msg::kFileOpen, true);
            return;
        }
        cut_ = true;
    }
    if (!file_->WriteAt(written_, decoded_)) {
        Fail(kStatusAbort, msg::kFileOpen, true);
        return;
    }
    written_ += static_cast<std::int64_t>(decoded_.size());
    Ack(expected_, skip_asked_ ? "X" : "", now);
    expected_ = Next(expected_);
    Event p = Ev(EventKind::kProgress, kStatusTransferring, msg::kTransferring);
    p.transferred = written_;
    Emit(p);
}

void Receiver::EndOfFile(const std::string& field, Millis now)
{
    std::string said;
    Decode(field, InPrefixes(), said);
    const int seq = expected_;
    if (!said.empty() && said[0] == 'D') {
        // The sender gave the file up: what arrived is not the file.
        file_.reset();
        Ack(seq, {}, now);
        expected_ = Next(expected_);
        state_ = State::kFile;
        Emit(Ev(EventKind::kError, kStatusSkip, msg::kSkipped));
        Emit(Ev(EventKind::kWaiting, kStatusWaiting, msg::kWaiting));
        return;
    }
    const bool ok = file_->SetLength(written_);
    file_.reset();
    if (!ok) {
        Fail(kStatusAbort, msg::kFileOpen, true);
        return;
    }
    Ack(seq, {}, now);
    expected_ = Next(expected_);
    state_ = State::kFile;
    Event d = Ev(EventKind::kFileDone, kStatusFinished, msg::kFileDone);
    d.file = dest_;
    d.transferred = written_;
    d.size = written_;
    Emit(d);
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, msg::kWaiting));
}

void Receiver::OnFail() { state_ = State::kDone; }

}  // namespace tolvex::transfer::kermit
