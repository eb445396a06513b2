// XModem (checksum, CRC, 1K) and YModem (batch, G) as state machines on the
// transfer seam (protocol.h).
//
// Blocks: SOH (128 data bytes) or STX (1024), the block number, 255 minus
// the number, the data, then one checksum byte (low 8 bits of the sum) or
// the CRC-16/XMODEM of the data, high byte first. The receiver asks for a
// transfer with NAK (checksum), "C" (CRC) or "G" (CRC, no acknowledgements);
// the sender uses what it was asked for. YModem sends a block 0 before each
// file with its name, length and time, and an empty block 0 after the last.
// The last data block is padded with 0xFF.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "transfer/file_list.h"
#include "transfer/files.h"
#include "transfer/protocol.h"

namespace tolvex::transfer::xy {

// The five variants, numbered as XferProtocol numbers them.
enum class Variant : std::uint8_t { kChecksum = 0, kCrc = 1, k1K = 2, kYModem = 3, kYModemG = 4 };

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kBs = 0x08;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kPad = 0xFF;

// Timeouts [ms] and limits.
constexpr Millis kStartWait = 10000;     // sender: each wait for the start character
constexpr int kStartReads = 6;           // sender: waits for the start character
constexpr Millis kAckWait = 2000;        // sender: answer to a block, once it has left
constexpr Millis kCanWait = 1000;        // sender: the second CAN of a cancel
constexpr Millis kHeaderAnswerWait = 200;  // sender: block 0 answered with the start character
constexpr int kBlockAttempts = 11;       // sender: sends of one block
constexpr Millis kEotWait = 10000;       // sender: answer to EOT
constexpr int kEotAttempts = 10;
constexpr Millis kEndOfBatchWait = 10000;  // sender: the receiver's request for the next header
constexpr std::size_t kStreamWindow = 4096;  // YModem-G: bytes answered before waiting for the line
constexpr Millis kRequestWait = 10000;   // receiver: wait for a block after a request
constexpr int kRequests = 10;            // receiver: requests before giving up
constexpr int kCrcRequests = 6;          // receiver: requests with "C"/"G" before falling back to NAK
constexpr Millis kByteWait = 1000;       // receiver: silence inside a block
constexpr Millis kBlockWait = 5000;      // receiver: silence between blocks
constexpr Millis kQuiet = 100;           // receiver: silence that ends a damaged block's remains
constexpr int kMaxErrors = 10;           // receiver: errors of one file

// The 14 bytes that tell the far side the transfer is cancelled.
std::string AbortSequence();

// CRC-16/XMODEM (polynomial 0x1021, initial value 0) of the bytes, continued from `crc`.
std::uint16_t Crc16(std::string_view bytes, std::uint16_t crc = 0);

// One block on the wire: header, number, complement, data, check.
std::string Block(std::uint8_t number, std::string_view data, bool crc);

// The YModem block 0 data for a file: name NUL length (decimal) SP time
// (octal), NULs to 128 bytes, or to 1024 when that does not fit; empty
// `name`: the all-zero end-of-batch block.
std::string HeaderData(std::string_view name, std::int64_t length, FileTime time);

// What a YModem block 0 says.
struct Header {
    std::string name;          // as on the line; empty: end of the batch
    bool has_info = false;     // text followed the name
    std::int64_t length = -1;  // -1 when not given
    FileTime time = 0;         // 0 when not given
};
Header ParseHeader(std::string_view data);

// The name a received file is stored under, from a name that came from the
// line: only its last component (split at "/" only: 0x5C is a CP932 second
// byte); without file information "/" becomes "_" and a trailing "." goes.
// Empty when nothing usable is left ("", ".", "..").
std::string SafeLineName(std::string_view name, bool has_info);

// The first "UNTITLED.nnn" (000..999) in `dir` ("" the current folder) that
// does not exist; empty when all do.
std::string UntitledName(FileAccess& files, const std::string& dir);

struct Options {
    Variant variant = Variant::kCrc;
    // The line's rate [bytes/ms]; lengthens waits for answers by the time a
    // block takes to leave. 0: not known.
    double bytes_per_ms = 0;
};

// What both ends share: the open file, and how a transfer fails (an abort
// request, the line lost).
class Endpoint : public Protocol {
protected:
    void OnRequest(Request request, Millis now) override;
    void OnLineLost(Millis now) override;
    // Ends the transfer with an error event; with `abort_sequence` the peer
    // is told to stop too.
    void Fail(std::int16_t status, int message, bool abort_sequence);
    // Called by Fail before the transfer ends.
    virtual void OnFail() {}

    std::unique_ptr<TransferFile> file_;
};

class Sender final : public Endpoint {
public:
    Sender(FileAccess& files, FileList& list, Options options) : files_(files), list_(list), opt_(options) {}
    // Sends of a block or EOT repeated because the receiver asked for them or did not answer.
    int Retries() const { return retries_; }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnSent(Millis now) override;

private:
    enum class State : std::uint8_t { kStartWait, kBlockAnswer, kHeaderStart, kEotAnswer, kEndStart, kEndAnswer };

    void NextFile(Millis now);
    void BeginFile(Millis now);
    void SendCurrent(Millis now);
    void BlockDone(Millis now);
    void NextData(Millis now);
    void Stream(Millis now);
    void Repeat(Millis now, std::int16_t status, int message);
    void SendEot(Millis now);
    void FileDone(Millis now);
    Millis AnswerWait(std::size_t bytes) const;
    bool Batch() const { return opt_.variant >= Variant::kYModem; }

    FileAccess& files_;
    FileList& list_;
    Options opt_;
    State state_ = State::kStartWait;
    std::string name_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;         // bytes of the file sent in acknowledged (or streamed) blocks
    std::uint8_t number_ = 1;      // of the block in flight
    std::string frame_;            // the block in flight
    std::size_t frame_data_ = 0;   // its data bytes
    enum class Kind : std::uint8_t { kHeader, kData, kEnd } kind_ = Kind::kData;  // of the block in flight
    bool crc_ = true;
    bool g_ = false;               // streaming: the receiver asked with "G"
    int reads_ = 0;                // waits for the start character
    int attempts_ = 0;             // sends of the block in flight
    bool after_can_ = false;
    bool streaming_ = false;       // YModem-G data: blocks go without answers
    bool delivered_ = false;       // every file of the batch was acknowledged
    int files_sent_ = 0;
    bool purge_ = false;           // a block went out: bytes received before it are stale
    int retries_ = 0;
};

// The application's choice for a received file (the file-ready step).
struct FileChoice {
    std::optional<std::string> name;  // another name for it (as the application gave it)
    bool skip = false;
    bool resume = false;  // continue a partly received file (protocols that can)
};
using FileReadyHook = std::function<FileChoice(const Event& ready)>;

class Receiver final : public Endpoint {
public:
    // `hook` runs once the kFileReady event has been handed on; none: keep the name.
    Receiver(FileAccess& files, FileList& list, Options options, FileReadyHook hook = {})
        : files_(files), list_(list), opt_(options), hook_(std::move(hook))
    {
    }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnResume(Millis now) override;

private:
    enum class State : std::uint8_t { kIdle, kFrame, kDiscard, kEot, kReady, kDone };

    void BeginFile(Millis now);
    void AskForBlock(Millis now);
    void Process(Millis now);
    void Frame(Millis now);
    void Bad(Millis now);
    bool CountError();
    void Good(std::uint8_t number, std::string_view data, Millis now);
    void Ready(std::string dest, const Header& header, Millis now);
    void Open(Millis now);
    void Data(std::string_view data, Millis now);
    void Eot(Millis now);
    void OnFail() override;
    std::uint8_t StartChar() const;
    bool FirstBlock() const;
    bool Batch() const { return opt_.variant >= Variant::kYModem; }

    FileAccess& files_;
    FileList& list_;
    Options opt_;
    FileReadyHook hook_;
    State state_ = State::kIdle;
    std::string in_;                // received bytes not yet looked at
    std::string frame_;             // the block being received, from its header byte
    std::size_t frame_len_ = 0;
    std::string given_;             // the application's name for the next file ("" none)
    std::string dir_;               // folder of received files ("" the current folder)
    std::string dest_;
    std::string held_;              // XModem: the first block, kept while the file is made ready
    Event ready_;
    std::int64_t size_ = -1;        // announced size, -1 unknown
    FileTime time_ = 0;
    std::int64_t written_ = 0;
    bool cut_ = false;              // the file was emptied for its first data
    std::uint8_t expected_ = 1;
    bool crc_ = true;
    bool g_ = false;
    int requests_ = 0;
    int errors_ = 0;
    bool after_can_ = false;
    bool in_file_ = false;          // the current file has begun (first block or header taken)
    bool first_file_ = true;
    bool pending_eot_ = false;      // XModem: EOT before any block (an empty file)
};

}  // namespace tolvex::transfer::xy
