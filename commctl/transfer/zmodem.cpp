#include "transfer/zmodem.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace tolvex::transfer::zm {

namespace {

// XferMessage text numbers.
constexpr int kMsgFileOpen = 2000;
constexpr int kMsgNoAnswer = 2001;
constexpr int kMsgFileDone = 2003;
constexpr int kMsgNoAck = 2004;
constexpr int kMsgRemoteError = 2005;
constexpr int kMsgRemoteAborted = 2006;
constexpr int kMsgTooManyErrors = 2008;
constexpr int kMsgZError = 2009;
constexpr int kMsgBadHeader = 2010;
constexpr int kMsgCrc = 2011;
constexpr int kMsgCarrierLost = 2012;
constexpr int kMsgWaiting = 2022;
constexpr int kMsgPreparing = 2023;
constexpr int kMsgStarting = 2024;
constexpr int kMsgTransferring = 2025;
constexpr int kMsgSkipped = 2026;
constexpr int kMsgAborted = 2027;
constexpr int kMsgTimeout = 2030;

constexpr char kHexDigits[] = "0123456789abcdef";

// Slicing by eight: kCrc32Tables[k][b] is the register change of byte b
// followed by k zero bytes, so eight bytes are taken with eight look-ups and
// no loop-carried shift per byte.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrc32Tables()
{
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}
constexpr std::array<std::array<std::uint32_t, 256>, 8> kCrc32Tables = MakeCrc32Tables();

// Bytes inside a data subpacket that need more than copying: ZDLE and the
// flow-control characters (with or without the high bit), which a sender
// escapes, so bare ones are not data.
constexpr std::array<bool, 256> MakeDataSpecial()
{
    std::array<bool, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[static_cast<std::size_t>(b)] = b == kZDle || (b & 0x7F) == kXon || (b & 0x7F) == kXoff;
    return t;
}
constexpr std::array<bool, 256> kDataSpecial = MakeDataSpecial();

// Which bytes go escaped: [escape_all][byte].
struct EscapeTable {
    std::array<std::array<bool, 256>, 2> esc{};
    constexpr EscapeTable()
    {
        for (int all = 0; all < 2; ++all)
            for (int b = 0; b < 256; ++b) {
                bool e = false;
                if ((b & 0x60) == 0) {
                    e = all != 0 || b == kXon || b == kXoff || b == kZDle || b == (kXon | 0x80) ||
                        b == (kXoff | 0x80);
                }
                esc[static_cast<std::size_t>(all)][static_cast<std::size_t>(b)] = e;
            }
    }
};
constexpr EscapeTable kEscape;

Event Ev(EventKind kind, std::int16_t status, int message)
{
    Event e;
    e.kind = kind;
    e.status = status;
    e.message = message;
    return e;
}

int HexValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;  // lower case only, as every ZModem peer sends them
}

std::string OneByte(std::uint8_t b) { return std::string(1, static_cast<char>(b)); }

}  // namespace

// ---------------------------------------------------------------------------
// Frames

std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes)
{
    const auto& t = kCrc32Tables;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t lo = crc ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
        const std::uint32_t hi = static_cast<std::uint32_t>(p[4]) | static_cast<std::uint32_t>(p[5]) << 8 |
                                 static_cast<std::uint32_t>(p[6]) << 16 | static_cast<std::uint32_t>(p[7]) << 24;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; n > 0; ++p, --n)
        crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t Crc32(std::string_view bytes) { return ~Crc32Update(0xFFFFFFFFu, bytes); }

Header Header::At(std::uint8_t type, std::uint32_t pos)
{
    Header h;
    h.type = type;
    for (int i = 0; i < 4; ++i)
        h.b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(pos >> (8 * i));
    return h;
}

Header Header::Flags(std::uint8_t type, std::uint8_t zf0)
{
    Header h;
    h.type = type;
    h.b[3] = zf0;
    return h;
}

std::uint32_t Header::Pos() const
{
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

namespace {
std::string HeaderBytes(const Header& h)
{
    std::string s(1, static_cast<char>(h.type));
    for (std::uint8_t x : h.b)
        s.push_back(static_cast<char>(x));
    return s;
}
}  // namespace

void Escape(std::string& out, std::string_view bytes, bool escape_all)
{
    const auto& table = kEscape.esc[escape_all ? 1 : 0];
    // Room for the worst case, written through a pointer, then cut to size.
    const std::size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    char* w = out.data() + start;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (table[b]) {
            *w++ = static_cast<char>(kZDle);
            *w++ = static_cast<char>(b ^ 0x40);
        } else {
            *w++ = c;
        }
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

std::string HexHeader(const Header& h)
{
    const std::string bytes = HeaderBytes(h);
    const std::uint16_t crc = xy::Crc16(bytes);
    std::string s = {static_cast<char>(kZPad), static_cast<char>(kZPad), static_cast<char>(kZDle),
                     static_cast<char>(kZHex)};
    auto hex = [&s](std::uint8_t v) {
        s.push_back(kHexDigits[v >> 4]);
        s.push_back(kHexDigits[v & 15]);
    };
    for (char c : bytes)
        hex(static_cast<std::uint8_t>(c));
    hex(static_cast<std::uint8_t>(crc >> 8));
    hex(static_cast<std::uint8_t>(crc & 0xFF));
    s.push_back('\r');
    s.push_back(static_cast<char>(0x8A));
    if (h.type != kZFin && h.type != kZAck)
        s.push_back(static_cast<char>(kXon));
    return s;
}

std::string BinHeader(const Header& h, bool crc32, bool escape_all)
{
    const std::string bytes = HeaderBytes(h);
    std::string s = {static_cast<char>(kZPad), static_cast<char>(kZDle),
                     static_cast<char>(crc32 ? kZBin32 : kZBin)};
    Escape(s, bytes, escape_all);
    std::string check;
    if (crc32) {
        const std::uint32_t c = Crc32(bytes);
        for (int i = 0; i < 4; ++i)
            check.push_back(static_cast<char>(c >> (8 * i)));
    } else {
        const std::uint16_t c = xy::Crc16(bytes);
        check = {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    Escape(s, check, escape_all);
    return s;
}

std::string Subpacket(std::string_view data, std::uint8_t end, bool crc32, bool escape_all)
{
    std::string s;
    s.reserve(2 * data.size() + 16);
    Escape(s, data, escape_all);
    s.push_back(static_cast<char>(kZDle));
    s.push_back(static_cast<char>(end));
    const char e = static_cast<char>(end);
    std::string check;
    if (crc32) {
        const std::uint32_t c = ~Crc32Update(Crc32Update(0xFFFFFFFFu, data), std::string_view(&e, 1));
        for (int i = 0; i < 4; ++i)
            check.push_back(static_cast<char>(c >> (8 * i)));
    } else {
        const std::uint16_t c = xy::Crc16(std::string_view(&e, 1), xy::Crc16(data));
        check = {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    Escape(s, check, escape_all);
    if (end == kZCrcW)
        s.push_back(static_cast<char>(kXon));
    return s;
}

// ---------------------------------------------------------------------------
// Reader

void Reader::Feed(std::string_view bytes) { in_.append(bytes); }

void Reader::Purge()
{
    in_.clear();
    at_ = 0;
    Reset(Mode::kSearch);
}

void Reader::Reset(Mode m)
{
    mode_ = m;
    esc_ = false;
    got_.clear();
    hex_.clear();
    crc_.clear();
    if (m == Mode::kSearch)
        garbage_ = 0;
}

void Reader::ExpectData(bool crc32, std::size_t max)
{
    data_crc32_ = crc32;
    data_max_ = max;
    if (mode_ == Mode::kHexTail) {
        after_ = Mode::kData;
        got_.clear();
        esc_ = false;
    } else {
        Reset(Mode::kData);
    }
}

void Reader::ExpectHeader()
{
    if (mode_ == Mode::kHexTail)
        after_ = Mode::kSearch;
    else
        Reset(Mode::kSearch);
}

int Reader::Unescape(std::uint8_t c)
{
    if (esc_) {
        if (c == kZDle)
            return -1;  // ZDLE ZDLE: still escaping (a cancel is counted apart)
        esc_ = false;
        switch (c) {
        case kZCrcE:
        case kZCrcG:
        case kZCrcQ:
        case kZCrcW: return 0x100 | c;
        case 'l': return 0x7F;
        case 'm': return 0xFF;
        default: return c ^ 0x40;
        }
    }
    if (c == kZDle) {
        esc_ = true;
        return -1;
    }
    // Flow control: the sender escapes these, so bare ones are not data.
    if ((c & 0x7F) == kXon || (c & 0x7F) == kXoff)
        return -1;
    return c;
}

bool Reader::Next(Item& item)
{
    while (at_ < in_.size()) {
        if (mode_ == Mode::kData && !esc_) {
            // Plain data up to the next byte that needs a closer look goes
            // in whole (at most one byte past the limit, which is then
            // refused as below).
            const std::size_t limit = std::min(in_.size(), at_ + (data_max_ + 1 - got_.size()));
            std::size_t end = at_;
            while (end < limit && !kDataSpecial[static_cast<std::uint8_t>(in_[end])])
                ++end;
            if (end > at_) {
                got_.append(in_, at_, end - at_);
                at_ = end;
                cans_ = 0;
                if (got_.size() > data_max_) {
                    Reset(Mode::kSearch);
                    item = Item{};
                    item.kind = Item::Kind::kBadData;
                    return true;
                }
                continue;
            }
        }
        const auto c = static_cast<std::uint8_t>(in_[at_++]);
        if (c == kZDle) {
            if (++cans_ >= 5) {
                cans_ = 0;
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kCancel;
                return true;
            }
        } else {
            cans_ = 0;
        }
        switch (mode_) {
        case Mode::kSearch:
            if (c == kZPad) {
                mode_ = Mode::kPad;
            } else if ((c & 0x7F) == kXoff) {
                xoff_ = true;
                if (++garbage_ > kMaxGarbage) {
                    Reset(Mode::kSearch);
                    item = Item{};
                    item.kind = Item::Kind::kBadHeader;
                    return true;
                }
            } else if ((c & 0x7F) != kXon && c != kZDle && (++junk_, ++garbage_ > kMaxGarbage)) {
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kBadHeader;
                return true;
            }
            break;
        case Mode::kPad:
            if (c == kZDle)
                mode_ = Mode::kForm;
            else if (c != kZPad && (c & 0x7F) != kXon)
                mode_ = Mode::kSearch;
            break;
        case Mode::kForm:
            if (c == kZBin || c == kZBin32) {
                form_ = c;
                Reset(Mode::kBin);
            } else if (c == kZHex) {
                form_ = c;
                Reset(Mode::kHex);
            } else if (c == kZDle) {
                // ZPAD ZDLE ZDLE: more CAN may follow
            } else {
                Reset(Mode::kSearch);
                if (c == kZBinR32) {  // run-length data is not taken
                    item = Item{};
                    item.kind = Item::Kind::kBadHeader;
                    return true;
                }
            }
            break;
        case Mode::kHex: {
            const auto h = static_cast<std::uint8_t>(c & 0x7F);
            if (h == kXon || h == kXoff)
                break;
            if (HexValue(h) < 0) {
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kBadHeader;
                return true;
            }
            hex_.push_back(static_cast<char>(h));
            if (hex_.size() < 14)
                break;
            std::string bytes;
            for (std::size_t i = 0; i < 14; i += 2)
                bytes.push_back(static_cast<char>(HexValue(static_cast<std::uint8_t>(hex_[i])) << 4 |
                                                  HexValue(static_cast<std::uint8_t>(hex_[i + 1]))));
            item = Item{};
            if (xy::Crc16(bytes) != 0) {
                Reset(Mode::kSearch);
                item.kind = Item::Kind::kBadHeader;
                return true;
            }
            item.kind = Item::Kind::kHeader;
            item.form = kZHex;
            item.header.type = static_cast<std::uint8_t>(bytes[0]);
            for (std::size_t i = 0; i < 4; ++i)
                item.header.b[i] = static_cast<std::uint8_t>(bytes[i + 1]);
            Reset(Mode::kHexTail);
            after_ = Mode::kSearch;
            garbage_ = 0;
            return true;
        }
        case Mode::kHexTail:
            if (c == '\r' || c == '\n' || c == 0x8A || c == kXon)
                break;
            // Anything else belongs to what follows the header.
            --at_;
            if (c == kZDle)
                --cans_;
            {
                const Mode next = after_;
                const bool crc32 = data_crc32_;
                const std::size_t max = data_max_;
                Reset(next);
                data_crc32_ = crc32;
                data_max_ = max;
            }
            break;
        case Mode::kBin: {
            const int v = Unescape(c);
            if (v < 0)
                break;
            item = Item{};
            if (v > 0xFF) {
                Reset(Mode::kSearch);
                item.kind = Item::Kind::kBadHeader;
                return true;
            }
            got_.push_back(static_cast<char>(v));
            const std::size_t need = form_ == kZBin32 ? 9 : 7;
            if (got_.size() < need)
                break;
            const bool good = form_ == kZBin32 ? Crc32Update(0xFFFFFFFFu, got_) == kCrc32Residue
                                               : xy::Crc16(got_) == 0;
            if (!good) {
                Reset(Mode::kSearch);
                item.kind = Item::Kind::kBadHeader;
                return true;
            }
            item.kind = Item::Kind::kHeader;
            item.form = form_;
            item.header.type = static_cast<std::uint8_t>(got_[0]);
            for (std::size_t i = 0; i < 4; ++i)
                item.header.b[i] = static_cast<std::uint8_t>(got_[i + 1]);
            Reset(Mode::kSearch);
            return true;
        }
        case Mode::kData: {
            const int v = Unescape(c);
            if (v < 0)
                break;
            if (v > 0xFF) {
                end_ = static_cast<std::uint8_t>(v & 0xFF);
                crc_.clear();
                mode_ = Mode::kCrc;
                break;
            }
            got_.push_back(static_cast<char>(v));
            if (got_.size() > data_max_) {
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kBadData;
                return true;
            }
            break;
        }
        case Mode::kCrc: {
            const int v = Unescape(c);
            if (v < 0)
                break;
            if (v > 0xFF) {
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kBadData;
                return true;
            }
            crc_.push_back(static_cast<char>(v));
            if (crc_.size() < (data_crc32_ ? 4u : 2u))
                break;
            const char e = static_cast<char>(end_);
            bool good;
            if (data_crc32_)
                good = Crc32Update(Crc32Update(Crc32Update(0xFFFFFFFFu, got_), std::string_view(&e, 1)), crc_) ==
                       kCrc32Residue;
            else
                good = xy::Crc16(crc_, xy::Crc16(std::string_view(&e, 1), xy::Crc16(got_))) == 0;
            if (!good) {
                Reset(Mode::kSearch);
                item = Item{};
                item.kind = Item::Kind::kBadData;
                return true;
            }
            // The item's old buffer becomes the next subpacket's, so a
            // stream of subpackets reuses two buffers.
            item.kind = Item::Kind::kData;
            item.header = Header{};
            item.form = 0;
            item.end = end_;
            item.data.swap(got_);
            Reset(end_ == kZCrcE || end_ == kZCrcW ? Mode::kSearch : Mode::kData);
            return true;
        }
        }
    }
    in_.clear();
    at_ = 0;
    return false;
}

// ---------------------------------------------------------------------------
// Both ends

void Endpoint::OnLineLost(Millis) { Fail(kStatusLostCarrier, kMsgCarrierLost, false); }

void Endpoint::Note(std::int16_t status, int message, bool counted)
{
    Event e = Ev(EventKind::kError, status, message);
    e.counted = counted;
    Emit(e);
}

void Endpoint::Fail(std::int16_t status, int message, bool abort_sequence, bool counted)
{
    if (abort_sequence)
        Send(xy::AbortSequence());
    Note(status, message, counted);
    ReleaseFile();
    Finish(false);
}

// ---------------------------------------------------------------------------
// Sender

void Sender::OnStart(Millis now)
{
    Send("rz\r");  // starts a receiver waiting at a shell on the far side
    NextFile(now);
}

void Sender::OnRequest(Request request, Millis)
{
    if (request == Request::kAbort)
        Fail(kStatusAbort, kMsgAborted, true);
}

void Sender::NextFile(Millis now)
{
    std::optional<std::string> name = list_.Take();
    if (!name) {
        EndExchange(now);
        return;
    }
    name_ = std::move(*name);
    int error = 0;
    file_ = files_.OpenRead(name_, error);
    ahead_.clear();
    ahead_pos_ = 0;
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
        e.file = name_;
        e.transferred = error;
        if (have_rinit_)
            Send(xy::AbortSequence());
        Emit(e);
        Finish(false);
        return;
    }
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
    if (have_rinit_) {
        // The receiver's ZRINIT that answered the last ZEOF asks for the next file.
        SendFile(now);
        return;
    }
    state_ = State::kInit;
    attempts_ = 0;
    SendZRqInit(now);
}

void Sender::SendZRqInit(Millis now)
{
    ++attempts_;
    SendHex(Header::At(kZRqInit, 0));
    ArmTimer(now + kStartTimeout);
}

void Sender::TakeRInit(const Header& h)
{
    const std::uint8_t flags = h.b[3];
    crc32_ = (flags & kCanFc32) != 0;
    escape_all_ = opt_.escape_all || (flags & kEscCtl) != 0;
    window_ = (flags & kCanFdx) ? opt_.window : 0;
    rx_buffer_ = static_cast<std::size_t>(h.b[0]) | static_cast<std::size_t>(h.b[1]) << 8;
    block_ = kBlock;
    if (rx_buffer_ != 0 && rx_buffer_ < block_)
        block_ = rx_buffer_;
    have_rinit_ = true;
}

void Sender::SendFile(Millis now)
{
    size_ = file_->Size();
    Event ready = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready.file = name_;
    ready.size = size_;
    ready.time = file_->ModTime();
    Emit(ready);
    Event start = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
    start.file = name_;
    start.size = size_;
    Emit(start);
    attempts_ = 1;
    SendFileFrame(now);
}

void Sender::SendFileFrame(Millis now)
{
    state_ = State::kFile;
    Send(Bin(Header::At(kZFile, 0)));
    // Name, length and time; a name too long for 128 bytes gets up to 1024.
    Send(Subpacket(xy::HeaderData(BaseName(name_), size_, file_->ModTime()), kZCrcW, crc32_, escape_all_));
    ArmTimer(now + kTimeout);
}

bool Sender::Retry()
{
    ++retries_;
    if (++attempts_ > kRetries + 1) {
        Fail(kStatusAbort, kMsgTooManyErrors, true);
        return false;
    }
    return true;
}

void Sender::StartData(std::uint32_t pos, Millis now)
{
    if (static_cast<std::int64_t>(pos) > size_) {
        Fail(kStatusAbort, kMsgZError, true);
        return;
    }
    pos_ = acked_ = sync_pos_ = pos;
    sync_repeats_ = 0;
    state_ = State::kData;
    StopTimer();
    Send(Bin(Header::At(kZData, pos_)));
    since_frame_ = since_q_ = 0;
    junk_ = 0;
    last_empty_q_ = false;
    Stream(now);
}

void Sender::Stream(Millis now)
{
    if (now < paused_until_) {
        ArmTimer(paused_until_);  // the receiver asked for a pause: go on then
        return;
    }
    std::size_t produced = 0;
    while (state_ == State::kData && !Finished()) {
        if (window_ != 0 && pos_ - acked_ >= window_) {
            state_ = State::kWindowWait;
            attempts_ = 0;
            if (!last_empty_q_) {
                Send(Subpacket({}, kZCrcQ, crc32_, escape_all_));
                last_empty_q_ = true;
            }
            ArmTimer(now + kTimeout);
            return;
        }
        const std::string_view block = Block(pos_, block_);
        const std::size_t got = block.size();
        const bool eof = got < block_ || static_cast<std::int64_t>(pos_) + static_cast<std::int64_t>(got) >= size_;
        std::uint8_t end = kZCrcG;
        if (eof) {
            end = kZCrcE;
        } else if (junk_ >= kJunkForSync || pos_ == sync_pos_ ||
                   (rx_buffer_ != 0 && since_frame_ + got >= rx_buffer_)) {
            // Bytes from the receiver that were no header may be a garbled
            // ZRPOS: make sure of where it stands.
            end = kZCrcW;
            junk_ = 0;
        } else if (window_ != 0 && since_q_ + got >= std::max<std::size_t>(window_ / 2, block_)) {
            // Twice per window: the answer to one ZCRCQ comes back while the
            // next half goes out, so the window rarely runs full, with half
            // the acknowledgements a quarter would cost both sides.
            end = kZCrcQ;
        }
        const std::string sub = Subpacket(block, end, crc32_, escape_all_);
        Send(sub);
        last_empty_q_ = false;
        pos_ += static_cast<std::uint32_t>(got);
        since_frame_ += got;
        since_q_ = end == kZCrcQ ? 0 : since_q_ + got;
        produced += sub.size();
        Event p = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
        p.transferred = pos_;
        p.size = size_;
        Emit(p);
        if (end == kZCrcE) {
            attempts_ = 1;
            SendEof(now);
            return;
        }
        if (end == kZCrcW) {
            state_ = State::kAckWait;
            attempts_ = 0;
            ArmTimer(now + kTimeout);
            return;
        }
        if (produced >= kStreamChunk) {
            WatchSent();
            return;
        }
    }
}

std::string_view Sender::Block(std::uint32_t pos, std::size_t n)
{
    if (pos < ahead_pos_ || pos + n > ahead_pos_ + ahead_.size()) {
        // One read for many blocks; a block the last read cut short (the
        // end of the file, as it was) is read again.
        ahead_.resize(std::max(kFileChunk, n));
        ahead_.resize(file_->ReadAt(pos, ahead_.data(), ahead_.size()));
        ahead_pos_ = pos;
    }
    const std::size_t from = pos - ahead_pos_;
    return std::string_view(ahead_).substr(from, std::min(n, ahead_.size() - from));
}

void Sender::OnSent(Millis now)
{
    if (state_ == State::kData)
        Stream(now);
}

void Sender::SendEof(Millis now)
{
    state_ = State::kEof;
    Send(Bin(Header::At(kZEof, pos_)));
    ArmTimer(now + kEofTimeout);
}

void Sender::FileDone(Millis now, bool skipped)
{
    file_.reset();
    if (skipped) {
        Note(kStatusSkip, kMsgSkipped, false);
    } else {
        Event d = Ev(EventKind::kFileDone, kStatusFinished, kMsgFileDone);
        d.file = name_;
        d.transferred = pos_;
        d.size = size_;
        Emit(d);
    }
    NextFile(now);
}

void Sender::EndExchange(Millis now)
{
    state_ = State::kFin;
    attempts_ = 1;
    SendHex(Header::At(kZFin, 0));
    ArmTimer(now + kTimeout);
}

bool Sender::Reposition(std::uint32_t pos, Millis now)
{
    if (pos > pos_)
        return true;  // beyond what was sent: nothing to go back to
    if (pos == sync_pos_) {
        ++sync_repeats_;
        if (sync_repeats_ > kSyncRepeats) {
            Fail(kStatusAbort, kMsgTooManyErrors, true);
            return false;
        }
        if (sync_repeats_ > kHalveAfter && block_ > 32)
            block_ /= 2;
    } else {
        sync_repeats_ = 0;
    }
    if (pos < pos_)
        Note(kStatusTransferring, kMsgRemoteError, true);
    ++retries_;
    pos_ = acked_ = sync_pos_ = pos;
    state_ = State::kData;
    StopTimer();
    Send(Bin(Header::At(kZData, pos_)));
    since_frame_ = since_q_ = 0;
    junk_ = 0;
    last_empty_q_ = false;
    // The data follows once the line has taken what is queued: a flood of
    // ZRPOS must not pile up data in memory.
    (void)now;
    WatchSent();
    return true;
}

void Sender::OnFeed(std::string_view bytes, Millis now)
{
    reader_.Feed(bytes);
    Reader::Item item;
    while (!Finished() && reader_.Next(item))
        Handle(item, now);
    const std::size_t junk = reader_.TakeJunk();
    const bool xoff = reader_.TakeXoff();
    if (state_ == State::kData) {
        junk_ += junk;
        if (xoff)
            paused_until_ = now + kXoffPause;
    }
}

void Sender::Handle(const Reader::Item& item, Millis now)
{
    using Kind = Reader::Item::Kind;
    if (item.kind == Kind::kCancel) {
        Fail(kStatusAbort, kMsgRemoteAborted, false);
        return;
    }
    if (item.kind == Kind::kData || item.kind == Kind::kBadData)
        return;  // a receiver sends no data we take
    const bool bad = item.kind == Kind::kBadHeader;
    const Header& h = item.header;
    switch (state_) {
    case State::kInit:
        if (bad) {
            SendHex(Header::At(kZNak, 0));
            return;
        }
        switch (h.type) {
        case kZRInit:
            TakeRInit(h);
            SendFile(now);
            return;
        case kZChallenge: SendHex(Header::At(kZAck, h.Pos())); return;
        case kZCommand: SendHex(Header::At(kZRqInit, 0)); return;
        default: SendHex(Header::At(kZNak, 0)); return;
        }
    case State::kFile:
        if (bad || h.type == kZNak) {
            Note(kStatusTransferring, kMsgCrc, true);
        } else {
            switch (h.type) {
            case kZRInit: return;  // a second answer to ZRQINIT: wait for the answer to ZFILE
            case kZSkip: FileDone(now, true); return;
            case kZRPos: StartData(h.Pos(), now); return;
            case kZCrc: {
                std::int64_t n = h.Pos();
                if (n == 0 || n > size_)
                    n = size_;
                std::uint32_t crc = 0xFFFFFFFFu;
                char piece[1024];
                for (std::int64_t at = 0; at < n;) {
                    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(n - at, sizeof piece));
                    const std::size_t got = file_->ReadAt(at, piece, want);
                    if (got == 0)
                        break;
                    crc = Crc32Update(crc, std::string_view(piece, got));
                    at += static_cast<std::int64_t>(got);
                }
                SendHex(Header::At(kZCrc, ~crc));
                return;
            }
            case kZFin:
            case kZAbort:
                SendHex(Header::At(kZFin, 0));
                Fail(kStatusAbort, kMsgRemoteAborted, false);
                return;
            case kZFErr:
                SendHex(Header::At(kZFin, 0));
                Fail(kStatusAbort, kMsgFileOpen, false);
                return;
            default: break;
            }
        }
        if (Retry())
            SendFileFrame(now);
        return;
    case State::kData:
    case State::kWindowWait:
    case State::kAckWait:
        if (bad)
            return;
        switch (h.type) {
        case kZRPos: Reposition(h.Pos(), now); return;
        case kZAck: {
            const std::uint32_t at = h.Pos();
            if (at <= pos_)
                acked_ = std::max(acked_, at);
            if (state_ == State::kAckWait && at == pos_) {
                state_ = State::kData;
                StopTimer();
                Send(Bin(Header::At(kZData, pos_)));
                since_frame_ = since_q_ = 0;
                Stream(now);
            } else if (state_ == State::kWindowWait && pos_ - acked_ < window_) {
                state_ = State::kData;
                StopTimer();
                Stream(now);
            }
            return;
        }
        case kZSkip:
            Send(Subpacket({}, kZCrcE, crc32_, escape_all_));
            FileDone(now, true);
            return;
        case kZFin:
        case kZAbort: Fail(kStatusAbort, kMsgZError, true); return;
        default: return;
        }
    case State::kEof:
        if (bad) {
            if (Retry())
                SendEof(now);
            return;
        }
        switch (h.type) {
        case kZRInit:
            TakeRInit(h);
            FileDone(now, false);
            return;
        case kZAck: return;
        case kZSkip: FileDone(now, true); return;
        case kZRPos: Reposition(h.Pos(), now); return;
        default: Fail(kStatusAbort, kMsgZError, true); return;
        }
    case State::kFin:
        if (!bad && h.type == kZFin) {
            Send("OO");
            state_ = State::kDone;
            Finish(true);
            return;
        }
        if (++attempts_ > kFinAttempts) {
            Finish(true);
            return;
        }
        SendHex(Header::At(kZFin, 0));
        ArmTimer(now + kTimeout);
        return;
    case State::kDone: return;
    }
}

void Sender::OnTick(Millis now)
{
    switch (state_) {
    case State::kInit:
        Note(kStatusTimeout, kMsgTimeout, true);
        if (attempts_ >= kStartAttempts) {
            Fail(kStatusAbort, kMsgAborted, false, true);
            return;
        }
        SendZRqInit(now);
        return;
    case State::kFile:
        Note(kStatusTimeout, kMsgNoAck, true);
        if (Retry())
            SendFileFrame(now);
        return;
    case State::kWindowWait:
        // The acknowledgements went missing: ask again.
        Note(kStatusTimeout, kMsgNoAck, true);
        if (!Retry())
            return;
        Send(Subpacket({}, kZCrcQ, crc32_, escape_all_));
        ArmTimer(now + kTimeout);
        return;
    case State::kAckWait:
        Note(kStatusTimeout, kMsgNoAck, true);
        if (!Retry())
            return;
        state_ = State::kData;
        StopTimer();
        Send(Bin(Header::At(kZData, pos_)));
        since_frame_ = since_q_ = 0;
        Stream(now);
        return;
    case State::kEof:
        // The receiver may wait for its own timeout before it answers a
        // lost ZEOF: send it again instead of giving up.
        Note(kStatusTimeout, kMsgNoAck, true);
        if (Retry())
            SendEof(now);
        return;
    case State::kFin: Finish(true); return;
    case State::kData:
        // The end of a pause an XOFF asked for.
        StopTimer();
        Stream(now);
        return;
    case State::kDone: StopTimer(); return;
    }
}

// ---------------------------------------------------------------------------
// Receiver

void Receiver::OnStart(Millis now)
{
    escape_all_ = opt_.escape_all;
    state_ = State::kInit;
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
    attempts_ = 0;
    SendInit(now);
}

void Receiver::SendInit(Millis now)
{
    ++attempts_;
    if (send_skip_) {
        send_skip_ = false;  // once; a ZRINIT follows if it needs repeating
        SendHex(Header::At(kZSkip, 0));
    } else {
        std::uint8_t flags = kCanFdx | kCanOvio;
        if (opt_.crc32)
            flags |= kCanFc32;
        if (escape_all_)
            flags |= kEscCtl;
        SendHex(Header::Flags(kZRInit, flags));
    }
    ArmTimer(now + kTimeout);
}

void Receiver::OnRequest(Request request, Millis)
{
    if (request == Request::kAbort)
        Fail(kStatusAbort, kMsgAborted, true);
}

void Receiver::OnFeed(std::string_view bytes, Millis now)
{
    if (state_ == State::kFin) {
        if (bytes.find('O') != std::string_view::npos) {
            state_ = State::kDone;
            Finish(files_seen_ > 0);
        }
        return;
    }
    reader_.Feed(bytes);
    if (state_ == State::kData || state_ == State::kDropInfo || state_ == State::kInit ||
        state_ == State::kAttention || state_ == State::kFileInfo)
        ArmTimer(now + kTimeout);  // silence counts from the last byte
    Reader::Item item;
    while (!Finished() && state_ != State::kReady && state_ != State::kFin && reader_.Next(item))
        Handle(item, now);
}

void Receiver::Handle(const Reader::Item& item, Millis now)
{
    using Kind = Reader::Item::Kind;
    if (item.kind == Kind::kCancel) {
        Fail(kStatusAbort, kMsgRemoteAborted, false);
        return;
    }
    switch (state_) {
    case State::kInit: HandleInit(item, now); return;
    case State::kAttention:
        reader_.ExpectHeader();
        state_ = State::kInit;
        if (item.kind == Kind::kData && item.end == kZCrcW)
            SendHex(Header::At(kZAck, 1));
        else if (item.kind == Kind::kData || item.kind == Kind::kBadData)
            SendHex(Header::At(kZNak, 0));
        else
            HandleInit(item, now);
        return;
    case State::kFileInfo:
        reader_.ExpectHeader();
        state_ = State::kInit;
        if (item.kind == Kind::kData && item.end == kZCrcW)
            FileInfo(item.data, now);
        else if (item.kind == Kind::kData || item.kind == Kind::kBadData)
            SendHex(Header::At(kZNak, 0));
        else
            HandleInit(item, now);
        return;
    case State::kDropInfo:
        if (item.kind == Kind::kData || item.kind == Kind::kBadData) {
            reader_.ExpectHeader();
            state_ = State::kData;
            AskPosition(now);
            return;
        }
        state_ = State::kData;
        HandleData(item, now);
        return;
    case State::kData: HandleData(item, now); return;
    case State::kReady:
    case State::kFin:
    case State::kDone: return;
    }
}

void Receiver::HandleInit(const Reader::Item& item, Millis now)
{
    using Kind = Reader::Item::Kind;
    if (item.kind != Kind::kHeader) {
        if (item.kind == Kind::kBadHeader)
            Note(kStatusWaiting, kMsgRemoteError, true);
        if (attempts_ >= kInitAttempts) {
            Fail(kStatusAbort, kMsgAborted, true, true);
            return;
        }
        if (item.kind == Kind::kBadHeader)
            SendInit(now);
        return;  // stale data of an earlier frame
    }
    const Header& h = item.header;
    const bool crc32 = item.form == kZBin32;
    switch (h.type) {
    case kZSInit:
        if (h.b[3] & kEscCtl)
            escape_all_ = true;
        reader_.ExpectData(crc32, kMaxAttention);
        state_ = State::kAttention;
        return;
    case kZFile:
        reader_.ExpectData(crc32, kMaxFileInfo);
        state_ = State::kFileInfo;
        return;
    case kZFin:
        reader_.Purge();
        SendHex(Header::At(kZFin, 0));
        fin_replies_ = 1;
        state_ = State::kFin;
        ArmTimer(now + kOverWait);
        return;
    case kZCompl:
    case kZCommand: return;  // commands from the far side are not run
    case kZFreeCnt: SendHex(Header::At(kZAck, 10000000)); return;
    default:
        if (attempts_ >= kInitAttempts) {
            Fail(kStatusAbort, kMsgAborted, true, true);
            return;
        }
        SendInit(now);
        return;
    }
}

void Receiver::FileInfo(const std::string& info, Millis now)
{
    ++files_seen_;
    const xy::Header h = xy::ParseHeader(info);
    std::string given = list_.Take().value_or("");
    std::string dest;
    if (!given.empty()) {
        dir_ = FolderOf(given);
        dest = std::move(given);
    } else {
        // Only the last component of a name from the line; never a folder
        // outside the one files are received into.
        const std::string safe = xy::SafeLineName(h.name, true);
        dest = safe.empty() ? xy::UntitledName(files_, dir_) : JoinPath(dir_, safe);
    }
    size_ = h.has_info ? h.length : -1;
    time_ = h.has_info ? h.time : 0;
    ready_ = Ev(EventKind::kFileReady, kStatusFileReady, kMsgPreparing);
    ready_.file = std::move(dest);
    ready_.source = h.name;
    ready_.size = size_;
    ready_.time = time_;
    Emit(ready_);
    state_ = State::kReady;
    StopTimer();
    (void)now;
    AwaitResume();
}

void Receiver::OnResume(Millis now)
{
    if (state_ != State::kReady)
        return;
    const FileChoice choice = hook_ ? hook_(ready_) : FileChoice{};
    if (choice.skip || ready_.file.empty()) {
        Note(kStatusSkip, kMsgSkipped, false);
        send_skip_ = true;
        state_ = State::kInit;
        Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
        attempts_ = 0;
        SendInit(now);
        return;
    }
    dest_ = choice.name && !choice.name->empty() ? *choice.name : ready_.file;
    std::int64_t start = 0;
    const bool resume = choice.resume && files_.Exists(dest_);
    int error = 0;
    // Opened without emptying it: what it holds goes only once data arrives
    // (or stays, as the start of a resumed file).
    file_ = files_.OpenWrite(dest_, true, error);
    if (!file_) {
        Event e = Ev(EventKind::kError, kStatusAbort, kMsgFileOpen);
        e.file = dest_;
        e.transferred = error;
        Send(xy::AbortSequence());
        Emit(e);
        Finish(false);
        return;
    }
    if (resume) {
        start = file_->Size();
        // A local file as long as the announced one or longer is not a
        // part of it: receive it whole.
        if ((size_ >= 0 && start >= size_) || start > std::numeric_limits<std::uint32_t>::max())
            start = 0;
    }
    pos_ = static_cast<std::uint32_t>(start);
    cut_ = start > 0;
    Event s = Ev(EventKind::kFileStart, kStatusFileStart, kMsgStarting);
    s.file = dest_;
    s.size = size_;
    s.transferred = start;
    Emit(s);
    errors_ = 0;
    state_ = State::kData;
    AskPosition(now);
}

void Receiver::AskPosition(Millis now)
{
    // What came before the request is stale.
    reader_.Purge();
    SendHex(Header::At(kZRPos, pos_));
    ArmTimer(now + kTimeout);
}

bool Receiver::CountError(Millis now, int message)
{
    Note(message == kMsgNoAck ? kStatusTimeout : kStatusTransferring, message, true);
    if (++errors_ >= kDataErrors) {
        CloseFile(false);
        Fail(kStatusAbort, kMsgTooManyErrors, true);
        return false;
    }
    AskPosition(now);
    return true;
}

void Receiver::Write(const std::string& data, Millis)
{
    if (!cut_) {
        if (!file_->SetLength(0)) {
            Fail(kStatusAbort, kMsgFileOpen, true);
            return;
        }
        cut_ = true;
    }
    // Data go to the file in large writes; the position counts them at once.
    unwritten_.append(data);
    pos_ += static_cast<std::uint32_t>(data.size());
    if (unwritten_.size() >= kFileChunk && !FlushWrites()) {
        Fail(kStatusAbort, kMsgFileOpen, true);
        return;
    }
    errors_ = 0;
    Event p = Ev(EventKind::kProgress, kStatusTransferring, kMsgTransferring);
    p.transferred = pos_;
    p.size = size_;
    Emit(p);
}

bool Receiver::FlushWrites()
{
    if (unwritten_.empty())
        return true;
    const bool ok = file_ && file_->WriteAt(pos_ - unwritten_.size(), unwritten_);
    unwritten_.clear();
    return ok;
}

void Receiver::ReleaseFile()
{
    FlushWrites();
    file_.reset();
}

void Receiver::CloseFile(bool whole)
{
    FlushWrites();
    if (file_ && whole) {
        file_->SetLength(pos_);
        // Only a file received whole carries the sender's time; a part
        // keeps the time of its writing.
        if (time_ != 0)
            SetTimeIfPlausible(*file_, time_);
    }
    file_.reset();
}

void Receiver::Eof(Millis now)
{
    const bool ok = FlushWrites() && file_->SetLength(pos_);
    CloseFile(ok);
    if (!ok) {
        Fail(kStatusAbort, kMsgFileOpen, true);
        return;
    }
    Event d = Ev(EventKind::kFileDone, kStatusFinished, kMsgFileDone);
    d.file = dest_;
    d.transferred = pos_;
    d.size = size_;
    Emit(d);
    EndFile(now);
}

void Receiver::EndFile(Millis now)
{
    reader_.ExpectHeader();
    state_ = State::kInit;
    Emit(Ev(EventKind::kWaiting, kStatusWaiting, kMsgWaiting));
    attempts_ = 0;
    SendInit(now);
}

void Receiver::HandleData(const Reader::Item& item, Millis now)
{
    using Kind = Reader::Item::Kind;
    switch (item.kind) {
    case Kind::kData:
        Write(item.data, now);
        if (Finished())
            return;
        if (item.end == kZCrcQ || item.end == kZCrcW) {
            Send(OneByte(kXon));
            SendHex(Header::At(kZAck, pos_));
        }
        return;
    case Kind::kBadData:
        // Nothing after a bad subpacket is taken: back to the last good byte.
        reader_.ExpectHeader();
        CountError(now, kMsgCrc);
        return;
    case Kind::kBadHeader: CountError(now, kMsgRemoteError); return;
    case Kind::kCancel: return;
    case Kind::kHeader: break;
    }
    const Header& h = item.header;
    switch (h.type) {
    case kZData:
        if (h.Pos() == pos_)
            reader_.ExpectData(item.form == kZBin32, kMaxData);
        else
            CountError(now, kMsgBadHeader);
        return;
    case kZFile:
        reader_.ExpectData(item.form == kZBin32, kMaxFileInfo);
        state_ = State::kDropInfo;
        return;
    case kZSkip:
        CloseFile(false);
        Note(kStatusSkip, kMsgSkipped, false);
        EndFile(now);
        return;
    case kZNak: CountError(now, kMsgRemoteError); return;
    case kZEof:
        if (h.Pos() == pos_)
            Eof(now);
        // Another position: a ZRPOS is on its way, the sender answers it.
        return;
    default: CountError(now, kMsgBadHeader); return;
    }
}

void Receiver::OnTick(Millis now)
{
    switch (state_) {
    case State::kInit:
    case State::kAttention:
    case State::kFileInfo:
        reader_.ExpectHeader();
        state_ = State::kInit;
        Note(kStatusTimeout, kMsgNoAnswer, false);
        if (attempts_ >= kInitAttempts) {
            Fail(kStatusAbort, kMsgAborted, true, true);
            return;
        }
        SendInit(now);
        return;
    case State::kData:
    case State::kDropInfo:
        state_ = State::kData;
        CountError(now, kMsgNoAck);
        return;
    case State::kFin:
        if (fin_replies_ >= kFinReplies) {
            state_ = State::kDone;
            Finish(files_seen_ > 0);
            return;
        }
        ++fin_replies_;
        SendHex(Header::At(kZFin, 0));
        ArmTimer(now + kOverWait);
        return;
    case State::kReady:
    case State::kDone: return;
    }
}

}  // namespace tolvex::transfer::zm
