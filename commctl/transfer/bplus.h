// The host-driven B Plus protocol as a state machine on the transfer seam
// (protocol.h). The far side (the host) commands: it asks with ENQ, offers
// its transport parameters in a "+" packet and sends a "T" request, "TD"
// to send a file to us or "TU" to fetch one; this side answers. One
// routine serves both directions.
//
// A packet on the line: DLE "B", the sequence digit, the data (its first
// byte the packet type), ETX and the check byte. Control characters the
// quote table names go as DLE, c + 0x40; 0x80-0x9F ones, once the
// parameters were exchanged, as DLE, c - 0x20. The check is the B
// protocol's 8-bit checksum over the digit, the data and ETX. ACK is DLE
// and the digit of the last accepted packet, NAK 0x15, WACK DLE ";"; ENQ
// asks for the ACK, ENQ ENQ for the last ACK again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/file_list.h"
#include "transfer/files.h"
#include "transfer/protocol.h"
#include "transfer/xymodem.h"

namespace tolvex::transfer::bp {

// The two variants, numbered as XferProtocol numbers them.
enum class Variant : std::uint8_t { kCompuServe = 7, kNiftyServe = 8 };

constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kNak = 0x15;

// Timeouts [ms] and limits.
constexpr Millis kCharWait = 30000;    // one character inside the protocol
constexpr Millis kStartWait = 10000;   // each read while the host begins
constexpr int kStartAttempts = 6;      // reads while the host begins
constexpr int kCommandReads = 10;      // reads for the request after the parameters
constexpr int kErrorLimit = 10;        // errors of one packet read
constexpr std::size_t kRingSize = 5;   // sent packets kept until acknowledged
constexpr std::size_t kNameMax = 63;   // characters of a requested name
constexpr Millis kAbortDrain = 1500;   // CompuServe: quiet time before the failure packet
constexpr int kDefaultUnits = 4;       // block size of a host that names none (512 bytes)

// Which characters go quoted: a flag for 0x00 + i and one for 0x80 + i.
struct QuoteTable {
    std::array<bool, 32> low{};
    std::array<bool, 32> high{};
    // ETX, ENQ, DLE, XON, XOFF and NAK.
    static QuoteTable Default();
    bool operator==(const QuoteTable&) const = default;
};

// The B protocol checksum of the bytes, continued from `sum`.
std::uint8_t Checksum(std::string_view bytes, std::uint8_t sum = 0);

// The byte a quoted pair DLE, x stands for.
constexpr std::uint8_t Unquote(std::uint8_t x)
{
    return static_cast<std::uint8_t>(x > 0x5F ? (x + 0x80) & 0x9F : x & 0x9F);
}

// How bytes are quoted on the way out.
struct Quoting {
    QuoteTable table = QuoteTable::Default();
    bool high = false;  // 0x80-0x9F by the table's high flags
    bool all = false;   // every 0x00-0x1F and 0x80-0x9F
};
std::string Quote(std::string_view bytes, const Quoting& q);

// A whole packet on the line.
std::string Packet(std::uint8_t number, std::string_view data, const Quoting& q);

// What the transport parameters settle.
struct Negotiated {
    int window = 0;
    int check = 0;
    std::size_t buffer = 0;  // bytes of one packet (type byte included)
    int resume = 0;
    bool file_info = false;
    QuoteTable table;        // ours with the host's flags ORed in
};

// Our "+" packet (18 bytes) for a buffer of `buffer` bytes, our quote
// table and the host's packet.
std::string OwnParameters(std::size_t buffer, const QuoteTable& own, std::string_view host);
// What our parameters and the host's packet settle.
Negotiated Negotiate(std::size_t buffer, const QuoteTable& own, std::string_view host);

struct Options {
    Variant variant = Variant::kCompuServe;
    int baud = 9600;  // the port's rate: sets the buffer before negotiation
};

// The control's side. Files the host may fetch ("TU") are only those in
// `uploads`, matched by their whole name or their last component; files
// the host sends ("TD") are received into the folder of the first name in
// `downloads` (that name itself when it is not a folder), else into the
// current folder, under the last component of the host's name.
class Transfer final : public Protocol {
public:
    Transfer(FileAccess& files, FileList& uploads, FileList& downloads, Options options, xy::FileReadyHook hook = {});

    std::size_t BufferSize() const { return buffer_; }
    const Quoting& Quotes() const { return quoting_; }
    bool FileInfo() const { return file_info_; }
    // Packets sent again because the host asked for them or did not answer.
    int Resent() const { return resent_; }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnLineLost(Millis now) override;
    void OnResume(Millis now) override;

private:
    enum class Phase : std::uint8_t {
        kLead, kEnqWait, kCommand, kCommandDle, kPacket, kReady, kDrain, kAfter, kAfterDle, kDone
    };
    // What a packet read is for.
    enum class Purpose : std::uint8_t { kRequest, kData, kAck, kFailure };
    // What a wait for acknowledgement leads to.
    enum class Then : std::uint8_t { kParameters, kResume, kInfo, kBlock, kClose };
    enum class Step : std::uint8_t { kBegin, kAfterDle, kAfterDleB, kData, kCheck };
    enum class End : std::uint8_t { kPacket, kAcked, kNothing };
    struct Outstanding {
        std::uint8_t number = 0;
        std::string data;
    };

    void Drain(Millis now);
    void Char(std::optional<std::uint8_t> c, Millis now);
    void SendAnswer();
    void BeginLead(Millis now);
    void BeginEnqWait(Millis now);
    void BeginCommand(Millis now);

    // Packet reading.
    void Read(Purpose purpose, bool after_dle_b, Millis now);
    void Rx(std::optional<std::uint8_t> c, Millis now);
    void Accept(Millis now);
    void TakeAck(std::uint8_t digit, Millis now);
    void SendAck();
    void Nak(Millis now);
    void AskRepeat(Millis now);
    void Error(Millis now);
    void EndRead(End end, Millis now);
    void Resend();

    // Packet sending.
    void SendPacket(std::string data);
    void WaitAck(Then then, Millis now);
    void Acknowledged(Millis now);
    void Failure(char code, std::string_view text, Millis now);

    // The requests.
    void Take(Millis now);
    void Exchange(Millis now);
    void TakeRequest(Millis now);
    void Receive(Millis now);
    void Opened(Millis now);
    void Data(Millis now);
    void Upload(Millis now);
    void NextBlock(Millis now);
    void Done(bool ok, Millis now);
    void Abort(Millis now);
    // A file that cannot be opened: message 2000 with `error`, then the failure packet.
    void Refuse(const std::string& file, int error, char code, std::string_view text, Millis now);
    void Fail(std::int16_t status, int message, std::int64_t cause = 0);
    void CloseFile();

    FileAccess& files_;
    FileList& uploads_;
    FileList& downloads_;
    Options opt_;
    xy::FileReadyHook hook_;

    Phase phase_ = Phase::kLead;
    std::string in_;           // received bytes not yet looked at
    std::size_t at_ = 0;       // next of them
    std::string lead_;         // the bytes of the two-byte read at the start
    Millis wait_until_ = 0;    // end of the current character read
    int attempts_ = 0;         // reads while the host begins
    int reads_ = 0;            // reads for the request after the parameters

    // Packet reading.
    Purpose purpose_ = Purpose::kRequest;
    Step step_ = Step::kBegin;
    bool quoted_ = false;      // a DLE inside data or check waits for its byte
    std::uint8_t sum_ = 0;
    std::uint8_t number_ = 0;
    std::string packet_;       // the data of the packet being read
    int errors_ = 0;
    bool repeat_asked_ = false;
    int last_ack_ = -1;        // the digit of the ACK received last
    int since_send_ = 0;       // packets accepted since our last send
    bool timed_out_ = false;   // the read ended by silence

    // Sequence and sent packets.
    std::uint8_t seq_ = 0;       // the one counter of both directions
    std::uint8_t accepted_ = 0;  // number of the packet accepted last
    std::deque<Outstanding> ring_;
    Then then_ = Then::kClose;
    int resent_ = 0;

    // Settings.
    std::size_t buffer_ = 0;
    std::size_t own_buffer_ = 0;
    Quoting quoting_;
    bool file_info_ = false;
    std::string host_params_;

    // The request.
    std::string request_;       // the "T" packet
    std::string name_;          // the host's name
    std::string dest_;
    std::unique_ptr<TransferFile> file_;
    std::int64_t pos_ = 0;      // next byte of the file
    std::int64_t size_ = -1;
    std::int64_t count_ = 0;    // bytes received in this transfer
    bool resume_ = false;
    bool abort_after_read_ = false;
    bool aborted_ = false;
    bool final_ = false;        // the request being served ends the transfer
    bool result_ = false;       // of the request served last
    Event ready_;
};

}  // namespace tolvex::transfer::bp
