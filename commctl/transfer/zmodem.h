// ZModem as state machines on the transfer seam (protocol.h): the frame
// layer (headers, escaping, data subpackets, CRC-16 and CRC-32), a reader
// that finds frames in received bytes, and the sender and receiver.
//
// Frames: a header is ZPAD ZDLE and a form letter ("A" binary with CRC-16,
// "B" hex, "C" binary with CRC-32), the frame type and four bytes (a
// position little-endian, or flags in the fourth byte ZF0), then the CRC.
// Data follows ZDATA, ZFILE and ZSINIT headers as subpackets: escaped bytes,
// ZDLE and one of the four ends (ZCRCE end of frame, ZCRCG go on, ZCRCQ go
// on and acknowledge, ZCRCW acknowledge and wait), then the CRC over the
// data and the end byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "transfer/file_list.h"
#include "transfer/files.h"
#include "transfer/protocol.h"
#include "transfer/xymodem.h"

namespace tolvex::transfer::zm {

// Frame types.
enum FrameType : std::uint8_t {
    kZRqInit = 0,
    kZRInit = 1,
    kZSInit = 2,
    kZAck = 3,
    kZFile = 4,
    kZSkip = 5,
    kZNak = 6,
    kZAbort = 7,
    kZFin = 8,
    kZRPos = 9,
    kZData = 10,
    kZEof = 11,
    kZFErr = 12,
    kZCrc = 13,
    kZChallenge = 14,
    kZCompl = 15,
    kZCan = 16,
    kZFreeCnt = 17,
    kZCommand = 18,
};

constexpr std::uint8_t kZPad = 0x2A;
constexpr std::uint8_t kZDle = 0x18;
constexpr std::uint8_t kZBin = 'A';
constexpr std::uint8_t kZHex = 'B';
constexpr std::uint8_t kZBin32 = 'C';
constexpr std::uint8_t kZBinR32 = 'D';
constexpr std::uint8_t kZCrcE = 'h';
constexpr std::uint8_t kZCrcG = 'i';
constexpr std::uint8_t kZCrcQ = 'j';
constexpr std::uint8_t kZCrcW = 'k';
constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;

// Receiver capabilities (ZF0 of ZRINIT).
constexpr std::uint8_t kCanFdx = 0x01;
constexpr std::uint8_t kCanOvio = 0x02;
constexpr std::uint8_t kCanFc32 = 0x20;
constexpr std::uint8_t kEscCtl = 0x40;

// Sizes and limits.
constexpr std::size_t kMaxData = 8192;      // longest data subpacket accepted
constexpr std::size_t kMaxFileInfo = 1024;  // longest ZFILE information
constexpr std::size_t kMaxAttention = 32;   // longest ZSINIT attention string
constexpr std::size_t kMaxGarbage = 16384;  // other bytes before a header before giving up
constexpr std::size_t kBlock = 1024;        // data bytes per subpacket sent
constexpr std::size_t kWindow = 16384;      // bytes a sender has out before it waits for a ZACK

// Timeouts [ms] and counts.
constexpr Millis kStartTimeout = 10000;    // sender: each wait for ZRINIT
constexpr int kStartAttempts = 6;          // sender: ZRQINIT sent
constexpr int kStartHeaders = 10;          // sender: headers taken while waiting for ZRINIT
constexpr Millis kTimeout = 5000;          // both: silence otherwise
constexpr Millis kEofTimeout = 10000;      // sender: answer to ZEOF
constexpr int kRetries = 10;               // sender: ZFILE, ZEOF, window waits
constexpr int kSyncRepeats = 12;           // sender: ZRPOS for one position before giving up
constexpr int kHalveAfter = 4;             // sender: ... and before halving the block length
constexpr int kFinAttempts = 10;           // sender: ZFIN sent
constexpr int kInitAttempts = 10;          // receiver: ZRINIT sent before a file
constexpr int kDataErrors = 20;            // receiver: errors in a row within one file
constexpr Millis kOverWait = 100;          // receiver: wait for the "OO" after ZFIN
constexpr int kFinReplies = 3;             // receiver: ZFIN sent in answer
constexpr std::size_t kStreamChunk = 8192; // sender: bytes answered before waiting for the line
constexpr std::size_t kJunkForSync = 4;    // sender: junk bytes that make the next subpacket ZCRCW
constexpr Millis kXoffPause = 100;         // sender: data held back after an XOFF
constexpr std::size_t kFileChunk = 65536;  // both: bytes read from or written to the file at once

// CRC-32 (reflected 0xEDB88320, initial 0xFFFFFFFF, complemented result).
std::uint32_t Crc32(std::string_view bytes);
// The raw register update (no complement), for a CRC over several pieces.
std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes);
constexpr std::uint32_t kCrc32Residue = 0xDEBB20E3;

struct Header {
    std::uint8_t type = 0;
    std::array<std::uint8_t, 4> b{};  // ZP0..ZP3; ZF0 is b[3]

    static Header At(std::uint8_t type, std::uint32_t pos);
    static Header Flags(std::uint8_t type, std::uint8_t zf0);
    std::uint32_t Pos() const;
    bool operator==(const Header&) const = default;
};

// A hex header: ZPAD ZPAD ZDLE "B", type, bytes and CRC-16 as lower-case
// hex, CR, LF|0x80 and, except after ZFIN and ZACK, XON.
std::string HexHeader(const Header& h);
// A binary header with CRC-16 ("A") or CRC-32 ("C"), escaped.
std::string BinHeader(const Header& h, bool crc32, bool escape_all);
// A data subpacket: the escaped data, ZDLE, `end`, the escaped CRC; XON
// after ZCRCW.
std::string Subpacket(std::string_view data, std::uint8_t end, bool crc32, bool escape_all);
// Appends the bytes escaped for the line.
void Escape(std::string& out, std::string_view bytes, bool escape_all);

// Finds headers and subpackets in received bytes. Feed() takes bytes; Next()
// gives the items found one by one. After a header that carries data
// (ZDATA, ZFILE, ZSINIT) the caller says what to expect next with
// ExpectData(); the reader returns to looking for headers after a subpacket
// that ends the frame (ZCRCE, ZCRCW), after a bad one, or on ExpectHeader().
class Reader {
public:
    struct Item {
        enum class Kind : std::uint8_t {
            kHeader,     // `header`, `form` ('A', 'B' or 'C')
            kBadHeader,  // a header with a bad CRC or form, or a header search gave up (garbage)
            kData,       // a good subpacket: `data`, `end`
            kBadData,    // a subpacket with a bad CRC, or longer than allowed
            kCancel,     // five CAN in a row
        };
        Kind kind = Kind::kHeader;
        Header header;
        std::uint8_t form = 0;
        std::string data;
        std::uint8_t end = 0;
    };

    void Feed(std::string_view bytes);
    // False when the bytes so far hold no further complete item.
    bool Next(Item& item);
    void ExpectData(bool crc32, std::size_t max);
    void ExpectHeader();
    // Drops the bytes received so far that were not looked at yet.
    void Purge();
    bool InData() const { return mode_ == Mode::kData; }
    // Bytes met outside any frame since the last call (XON, XOFF, CAN and
    // the start of a header left out), and whether an XOFF was among them.
    std::size_t TakeJunk() { return std::exchange(junk_, 0); }
    bool TakeXoff() { return std::exchange(xoff_, false); }

private:
    enum class Mode : std::uint8_t { kSearch, kPad, kForm, kHex, kHexTail, kBin, kData, kCrc };
    // One escaped byte: the byte (0..255), a frame end (0x100 | end byte),
    // or -1 for an ignored or incomplete escape.
    int Unescape(std::uint8_t c);
    bool Cancelled(std::uint8_t c);
    void Reset(Mode m);

    std::string in_;
    std::size_t at_ = 0;
    Mode mode_ = Mode::kSearch;
    Mode after_ = Mode::kSearch;  // where kHexTail goes on
    std::size_t garbage_ = 0;
    std::size_t junk_ = 0;
    bool xoff_ = false;
    int cans_ = 0;
    bool esc_ = false;
    std::uint8_t form_ = 0;
    std::string got_;      // header bytes (decoded) or subpacket data
    std::string hex_;      // hex digits of a hex header
    std::string crc_;      // CRC bytes of a subpacket
    std::uint8_t end_ = 0;
    bool data_crc32_ = false;
    std::size_t data_max_ = kMaxData;
};

struct Options {
    // Receiver: ask the sender to escape every control character (ESCCTL);
    // sender: escape them whatever the receiver asks.
    bool escape_all = false;
    // Receiver: offer CRC-32 (CANFC32).
    bool crc32 = true;
    // Sender: the most bytes out before waiting for a ZACK (0: no window).
    std::size_t window = kWindow;
};

using FileChoice = xy::FileChoice;
using FileReadyHook = xy::FileReadyHook;

class Endpoint : public Protocol {
protected:
    void OnLineLost(Millis now) override;
    // Closes the file when the transfer fails.
    virtual void ReleaseFile() { file_.reset(); }
    void Fail(std::int16_t status, int message, bool abort_sequence, bool counted = false);
    void Note(std::int16_t status, int message, bool counted);
    void SendHex(const Header& h) { Send(HexHeader(h)); }

    Reader reader_;
    std::unique_ptr<TransferFile> file_;
};

class Sender final : public Endpoint {
public:
    Sender(FileAccess& files, FileList& list, Options options = {}) : files_(files), list_(list), opt_(options) {}
    // Repeats the receiver asked for or made necessary.
    int Retries() const { return retries_; }
    std::size_t BlockLength() const { return block_; }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnSent(Millis now) override;

private:
    enum class State : std::uint8_t { kInit, kFile, kData, kWindowWait, kAckWait, kEof, kFin, kDone };

    void NextFile(Millis now);
    void SendZRqInit(Millis now);
    void TakeRInit(const Header& h);
    void SendFile(Millis now);
    void SendFileFrame(Millis now);
    void StartData(std::uint32_t pos, Millis now);
    void Stream(Millis now);
    void SendEof(Millis now);
    void FileDone(Millis now, bool skipped);
    void EndExchange(Millis now);
    void Handle(const Reader::Item& item, Millis now);
    // A ZRPOS while data goes out; false when the transfer failed.
    bool Reposition(std::uint32_t pos, Millis now);
    bool Retry();
    // The file's bytes from `pos` on, at most `n`, read ahead in chunks.
    std::string_view Block(std::uint32_t pos, std::size_t n);
    std::string Bin(const Header& h) const { return BinHeader(h, crc32_, escape_all_); }

    FileAccess& files_;
    FileList& list_;
    Options opt_;
    State state_ = State::kInit;
    std::string name_;
    std::int64_t size_ = 0;
    bool have_rinit_ = false;
    bool crc32_ = false;
    bool escape_all_ = false;
    std::size_t window_ = kWindow;
    std::size_t rx_buffer_ = 0;    // the receiver's buffer length, 0 unlimited
    std::size_t block_ = kBlock;
    std::uint32_t pos_ = 0;        // next byte of the file to send
    std::uint32_t acked_ = 0;      // last position the receiver acknowledged
    std::uint32_t sync_pos_ = 0;   // last ZRPOS position
    int sync_repeats_ = 0;
    std::size_t since_frame_ = 0;  // bytes since the ZDATA header
    std::size_t since_q_ = 0;      // bytes since the last ZCRCQ
    std::size_t junk_ = 0;         // bytes from the receiver that were no header, while streaming
    Millis paused_until_ = 0;      // an XOFF holds the data back until then
    bool last_empty_q_ = false;    // the last subpacket was an empty ZCRCQ
    int attempts_ = 0;
    int retries_ = 0;
    std::string ahead_;            // bytes of the file read ahead, from ahead_pos_
    std::uint32_t ahead_pos_ = 0;
};

class Receiver final : public Endpoint {
public:
    // `hook` runs once the kFileReady event has been handed on; none: keep
    // the name, no skip, no resume.
    Receiver(FileAccess& files, FileList& list, Options options = {}, FileReadyHook hook = {})
        : files_(files), list_(list), opt_(options), hook_(std::move(hook))
    {
    }
    // A transfer stopped midway keeps what arrived.
    ~Receiver() override { FlushWrites(); }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnResume(Millis now) override;

private:
    enum class State : std::uint8_t { kInit, kAttention, kFileInfo, kReady, kData, kDropInfo, kFin, kDone };

    void SendInit(Millis now);
    void FileInfo(const std::string& info, Millis now);
    void AskPosition(Millis now);
    bool CountError(Millis now, int message);
    void Write(const std::string& data, Millis now);
    // Writes the data held back; false when the file refused them.
    bool FlushWrites();
    void ReleaseFile() override;
    void Eof(Millis now);
    void CloseFile(bool whole);
    void EndFile(Millis now);
    void Handle(const Reader::Item& item, Millis now);
    void HandleInit(const Reader::Item& item, Millis now);
    void HandleData(const Reader::Item& item, Millis now);

    FileAccess& files_;
    FileList& list_;
    Options opt_;
    FileReadyHook hook_;
    State state_ = State::kInit;
    bool send_skip_ = false;      // the next receiver header is ZSKIP
    bool escape_all_ = false;
    int attempts_ = 0;
    int errors_ = 0;
    int fin_replies_ = 0;
    int files_seen_ = 0;
    std::string dir_;             // folder of received files ("" the current folder)
    std::string dest_;
    Event ready_;
    std::int64_t size_ = -1;      // announced size, -1 unknown
    FileTime time_ = 0;
    std::uint32_t pos_ = 0;
    bool cut_ = false;            // the file was emptied (or kept) for its data
    std::string unwritten_;       // received data not yet in the file; it ends at pos_
};

}  // namespace tolvex::transfer::zm
