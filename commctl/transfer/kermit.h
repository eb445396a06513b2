// Kermit as state machines on the transfer seam (protocol.h): sender and
// receiver with single-character checks, control and 8-bit prefixing.
//
// A packet on the line: [padding] MARK (0x01), LEN, SEQ, TYPE, DATA,
// CHECK, end of line. LEN = tochar(SEQ..CHECK count), SEQ = tochar(n mod
// 64), CHECK = tochar((s + ((s >> 6) & 3)) & 0x3F) over LEN..DATA, with
// tochar(x) = x + 32. The sender says S (its parameters), F (file name),
// D (data) ..., Z (end of file), next F or B (end of transmission); each
// packet is answered Y (ACK) or N (NAK) with the number it concerns; E
// ends the transfer with a reason.
//
// Parameters (S and its ACK): MAXL, TIME, NPAD, PADC, EOL, QCTL, QBIN.
// This side offers 94, 10 s, no padding, CR, "#" and "Y" on an 8-bit line
// ("&" on a 7-bit one), and nothing beyond QBIN: no other check type,
// repeat counts, long packets, windows or attributes, so a peer that
// offers them falls back to the basic protocol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/file_list.h"
#include "transfer/files.h"
#include "transfer/protocol.h"
#include "transfer/xymodem.h"

namespace tolvex::transfer::kermit {

constexpr char kMark = 0x01;
constexpr char kCan = 0x18;

constexpr int kOwnMaxLength = 94;
constexpr int kOwnTimeout = 10;         // [s] asked of the peer
constexpr Millis kDefaultTimeout = 5000;  // the peer's, until it says otherwise (and for 0)
constexpr Millis kByteWait = 1000;      // silence inside a packet
constexpr int kMaxTries = 10;           // sends (sender) or requests (receiver) of one packet
constexpr Millis kEndWait = 100;        // receiver: after the ACK of B
constexpr std::size_t kReadChunk = 256; // sender: file bytes read at a time

inline char ToChar(int x) { return static_cast<char>(x + 32); }
inline int UnChar(char c) { return static_cast<std::uint8_t>(c) - 32; }
inline char Ctl(char c) { return static_cast<char>(c ^ 0x40); }

// The single-character check of the bytes from LEN to the end of DATA.
char Check(std::string_view bytes);

// A prefix character both ends may use: 33-62 or 96-126.
bool ValidPrefix(char c);

// What one side said in its S packet or ACK to one (after the defaults and
// limits were applied).
struct Params {
    int max_length = 80;
    Millis timeout = kDefaultTimeout;
    int pad_count = 0;
    char pad_char = 0;
    char eol = '\r';
    char ctl_prefix = '#';
    char bin_prefix = 0;  // what was said for QBIN, 0 when nothing
};

// The peer's parameters from the data of its S packet or ACK.
Params ParseParams(std::string_view data);

// This side's parameters (the data of an S packet or of the ACK to one).
std::string OwnParams(bool seven_bit);

// The 8-bit prefix both sides agreed on, 0 when there is none: with own
// "Y" the peer must ask for a valid character; with own "&" the peer must
// say "Y" or "&". "N", nothing or an invalid character mean no prefixing.
char AgreedBinPrefix(bool seven_bit, const Params& peer);

// How data is prefixed in one direction.
struct Prefixes {
    char ctl = '#';
    char bin = 0;  // 0: no 8-bit prefixing
};

// Encodes bytes from `data` into `out` while the encoded field stays within
// `room` characters; a byte's prefix sequence is never split. Returns how
// many bytes were taken.
std::size_t Encode(std::string_view data, std::size_t room, const Prefixes& p, std::string& out);

// Decodes a data field; false when it ends inside a prefix sequence.
bool Decode(std::string_view field, const Prefixes& p, std::string& out);

// A whole packet on the line for the peer `to`: padding, MARK .. CHECK, EOL.
std::string Packet(int seq, char type, std::string_view data, const Params& to);

// Finds packets in received bytes.
class Reader {
public:
    struct Packet {
        bool good = false;  // its check and length were right
        int seq = 0;
        char type = 0;
        std::string data;  // the encoded field
    };
    enum class Got : std::uint8_t { kNothing, kPacket, kCancel };

    // `seven_bit`: the line carries 7 data bits (the 8th is parity).
    explicit Reader(bool seven_bit = false) : seven_bit_(seven_bit) {}
    // Takes bytes until a packet is complete (or two CAN bytes came between
    // packets); `used` says how many were looked at.
    Got Take(std::string_view bytes, std::size_t& used, Packet& packet);
    // A packet has begun and is not complete.
    bool Inside() const { return state_ != State::kMark; }
    void Reset() { state_ = State::kMark; }

private:
    enum class State : std::uint8_t { kMark, kLen, kBody };
    bool seven_bit_;
    State state_ = State::kMark;
    std::string body_;  // LEN onwards
    std::size_t need_ = 0;
    bool after_can_ = false;
};

struct Options {
    // The port uses 7 data bits: offer "&" and strip the 8th bit of what arrives.
    bool seven_bit = false;
    // The line's rate [bytes/ms]; lengthens waits for answers by the time a
    // packet takes to leave. 0: not known.
    double bytes_per_ms = 0;
};

// What both ends share: packets in and out, the peer's parameters, the
// timer, and how a transfer fails.
class Endpoint : public Protocol {
public:
    // Packets sent again because the peer asked for them or did not answer.
    int Retries() const { return retries_; }

protected:
    explicit Endpoint(Options options) : opt_(options), reader_(options.seven_bit) {}

    void OnFeed(std::string_view bytes, Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnLineLost(Millis now) override;

    virtual void OnPacket(const Reader::Packet& packet, Millis now) = 0;
    virtual void OnFail() {}

    // An E packet with number `seq`, then the abort sequence.
    void SendError(int seq);
    // Waits for the peer's next packet: its timeout from `now` (the bytes
    // just answered lengthen it by their time on the line).
    void AwaitPacket(Millis now, std::size_t bytes = 0);
    void StopWaiting();
    // The number an E packet carries.
    virtual int ErrorSeq() const = 0;
    // Ends the transfer with an error; `tell` sends an E packet and the
    // abort sequence first.
    void Fail(std::int16_t status, int message, bool tell);
    void TakeParams(std::string_view data);
    Prefixes InPrefixes() const { return {peer_.ctl_prefix, bin_}; }
    Prefixes OutPrefixes() const { return {'#', bin_}; }
    // A timeout or damaged packet: a note for the application, counted.
    void NoteTrouble(bool timeout, bool inside);

    Options opt_;
    Reader reader_;
    Params peer_;
    char bin_ = 0;
    int retries_ = 0;
    bool awaiting_ = false;  // a packet from the peer is due by wait_until_
    Millis wait_until_ = 0;
    std::unique_ptr<TransferFile> file_;
};

class Sender final : public Endpoint {
public:
    Sender(FileAccess& files, FileList& list, Options options = {}) : Endpoint(options), files_(files), list_(list) {}

protected:
    void OnStart(Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnPacket(const Reader::Packet& packet, Millis now) override;

private:
    enum class State : std::uint8_t { kInit, kFile, kData, kEof, kBreak, kDone };

    int ErrorSeq() const override { return seq_; }
    bool OpenNext();
    void BeginFile(Millis now);
    void NewPacket(char type, std::string data, Millis now);
    void Transmit(Millis now);
    void Acknowledged(std::string_view data, Millis now);
    void NextData(Millis now);
    void Retry(Millis now);

    FileAccess& files_;
    FileList& list_;
    State state_ = State::kInit;
    int seq_ = 0;
    char type_ = 0;
    std::string data_;      // field of the packet in flight
    std::size_t taken_ = 0; // file bytes it carries
    int tries_ = 0;
    std::string name_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;  // file bytes acknowledged
    std::string chunk_;     // file bytes read and not yet sent
    std::int64_t chunk_pos_ = 0;
    bool skip_file_ = false;
    bool skip_batch_ = false;
};

class Receiver final : public Endpoint {
public:
    // `hook` runs once the kFileReady event has been handed on; none: keep the name.
    Receiver(FileAccess& files, FileList& list, Options options = {}, xy::FileReadyHook hook = {})
        : Endpoint(options), files_(files), list_(list), hook_(std::move(hook))
    {
    }

protected:
    void OnStart(Millis now) override;
    void OnTick(Millis now) override;
    void OnResume(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnPacket(const Reader::Packet& packet, Millis now) override;
    void OnFail() override;

private:
    enum class State : std::uint8_t { kInit, kFile, kData, kReady, kEnding, kDone };

    int ErrorSeq() const override { return expected_; }
    void Ack(int seq, std::string_view data, Millis now);
    void Nak(Millis now, bool timeout, bool inside);
    void FileName(const std::string& field, Millis now);
    void Data(const std::string& field, Millis now);
    void EndOfFile(const std::string& field, Millis now);

    FileAccess& files_;
    FileList& list_;
    xy::FileReadyHook hook_;
    State state_ = State::kInit;
    int expected_ = 0;
    int tries_ = 0;
    std::string dir_;
    std::string dest_;
    Event ready_;
    std::int64_t written_ = 0;
    bool cut_ = false;
    bool skip_asked_ = false;  // the application asked to skip the file
    std::string decoded_;
};

}  // namespace tolvex::transfer::kermit
