// The rules received bytes pass through, apart from the engine's threads.
//
// The event thread hands every chunk it reads from the device to a
// ReceiveFilter before the bytes enter the receive queue: line-error marks
// come out of the data (and become error bits), NUL bytes are dropped and
// bytes received with a parity error are replaced as configured, and the
// event character 0x1A is noticed. The GUI thread passes every read through
// the ZModem start detector and asks Cp932Completion whether a text read
// must wait for the second byte of a double-byte character.
//
// Nothing here reads a device or a clock: bytes and the time come in as
// values, state is kept between calls, so a mark or a start sequence split
// over two reads is recognised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <vector>

namespace tolvex::serial {

// Line-error bits as the driver reports them.
constexpr std::uint32_t kCeRxOver = 0x0001;
constexpr std::uint32_t kCeOverrun = 0x0002;
constexpr std::uint32_t kCeRxParity = 0x0004;
constexpr std::uint32_t kCeFrame = 0x0008;
constexpr std::uint32_t kCeBreak = 0x0010;
constexpr std::uint32_t kCeTxFull = 0x0100;

// The event character: its arrival raises the EOF event.
constexpr std::uint8_t kEventChar = 0x1A;

// The CommEvent codes of the error bits, in the order they are raised:
// break, framing, overrun, receive overflow, parity, transmit full. Returns
// how many codes were written to `codes` (at most 6).
std::size_t LineErrorEvents(std::uint32_t errors, std::int16_t codes[6]);

// How the filter treats the bytes; read by the event thread at each chunk.
struct ReceiveOptions {
    bool marks = false;          // the device marks line errors in the data (0xFF 0x00 ...)
    bool counts_errors = false;  // the driver also counts them: marks add no error bits
    bool null_discard = false;   // drop received NUL bytes
    int replace = -1;            // byte put in place of one with a parity error; -1 keeps it
};

struct FilterResult {
    std::uint32_t errors = 0;  // kCe* bits seen in the marks
    bool event_char = false;   // 0x1A is among the kept bytes
};

// Takes line-error marks out of the data. With marks on, the device sends a
// literal 0xFF as 0xFF 0xFF, a byte b received with a parity or framing
// error as 0xFF 0x00 b, and a break as 0xFF 0x00 0x00; any other byte after
// 0xFF stands for itself and the 0xFF is kept.
class ReceiveFilter {
public:
    // Appends the kept bytes of in[0..n) to `out`.
    FilterResult Filter(const std::uint8_t* in, std::size_t n, const ReceiveOptions& options,
                        std::vector<std::uint8_t>& out);
    // True after a chunk that ended on 0xFF: the next byte may bring it out
    // together with itself, so the caller keeps room for one extra byte.
    bool HoldsMarkByte() const { return state_ == kAfterFF; }
    // Forgets a partial mark (the port opened again).
    void Reset() { state_ = kData; }

private:
    enum State : std::uint8_t { kData, kAfterFF, kAfterMark };
    State state_ = kData;
};

// Finds the six bytes 0x2A 0x2A 0x18 0x42 0x30 0x30 ("**", ZDLE, "B00") that
// open a ZModem hex header. A byte that does not continue the match resets
// it without being tried as a new start (so "***\x18B00" is no start).
class ZModemStartDetector {
public:
    // Returns how many sequences ended in `data`; each raises one event.
    int Scan(std::string_view data);
    void Reset() { matched_ = 0; }
    int Matched() const { return matched_; }

private:
    int matched_ = 0;
};

// True for the first byte of a CP932 double-byte character.
constexpr bool IsCp932LeadByte(std::uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True when the bytes end with the first byte of a double-byte character,
// scanning from the start and taking pairs together.
bool EndsWithCp932LeadByte(std::string_view bytes);

// A text read that ends with a lead byte waits for one more byte until the
// seconds clock has moved on by more than one second from the start of the
// wait (so between one and two seconds of real time).
class Cp932Completion {
public:
    explicit Cp932Completion(std::time_t start) : start_(start) {}
    // True while the read should still wait for the trail byte at `now`.
    bool Waiting(std::time_t now) const { return now - start_ <= 1; }

private:
    std::time_t start_;
};

}  // namespace tolvex::serial
