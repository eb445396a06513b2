// A demonstration protocol for the transfer seam and the loopback harness:
// one block at a time, each answered before the next is sent.
//
// Block:  SOH(0x01) seq ~seq len data[len] sum    (len <= 64, sum = low 8
//         bits of seq + len + the data bytes); len 0 ends the file.
// Answer: ACK(0x06) seq for a good block (again for a repeated one), NAK
//         (0x15) for a bad one; CAN CAN (0x18 0x18) gives up.
//
// The sender sends block `seq` and waits; NAK or its retry timer (1 s)
// sends it again, at most 5 times. A receiver that sees a bad block, bytes
// outside a block or a half block (100 ms of silence inside it) ignores
// the line until it has been silent for 100 ms and then answers one NAK, so
// one damaged block costs one repeat. It gives up after 10 s without a
// block. Having acknowledged the end block it stays 2 s to acknowledge a
// repeat of it (its ACK may have been lost), then ends.
//
// It is no protocol of the control: it shows what a protocol of the seam
// looks like and lets the harness's fault rows run without one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/files.h"
#include "transfer/protocol.h"

namespace tolvex::transfer::demo {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::size_t kBlock = 64;
constexpr Millis kRetry = 1000;   // sender: resend an unanswered block [ms]
constexpr int kMaxRetries = 5;
constexpr Millis kGap = 100;      // receiver: silence inside a block [ms]
constexpr Millis kIdle = 10000;   // receiver: silence between blocks [ms]
constexpr Millis kLinger = 2000;  // receiver: stay after the end block [ms]
constexpr int kMaxErrors = 10;

// The wire form of one block.
std::string Frame(std::uint8_t seq, std::string_view data);

class Sender final : public Protocol {
public:
    Sender(FileAccess& files, std::string name) : files_(files), name_(std::move(name)) {}
    int Retries() const { return retries_total_; }

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;
    void OnLineLost(Millis now) override;

private:
    void SendBlock(Millis now);
    void Fail(std::int16_t status, int message);

    FileAccess& files_;
    std::string name_;
    std::unique_ptr<TransferFile> file_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;
    std::uint8_t seq_ = 0;
    std::string block_;   // data of the block in flight
    int retries_ = 0;     // of the block in flight
    int retries_total_ = 0;
    bool after_ack_ = false;  // the previous byte was ACK: this one is its number
};

class Receiver final : public Protocol {
public:
    Receiver(FileAccess& files, std::string name) : files_(files), name_(std::move(name)) {}

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;
    void OnRequest(Request request, Millis now) override;

private:
    void Block(Millis now);
    void Bad(Millis now);
    void Nak();
    void Fail(std::int16_t status, int message);
    void Rearm(Millis now);

    FileAccess& files_;
    std::string name_;
    std::unique_ptr<TransferFile> file_;
    std::int64_t pos_ = 0;
    std::uint8_t expected_ = 0;
    std::string frame_;     // bytes of the block being received, from SOH on
    Millis last_byte_ = 0;  // when the last byte of it came
    Millis idle_until_ = 0;
    Millis linger_until_ = 0;
    bool done_ = false;     // the end block was acknowledged
    bool after_can_ = false;
    bool discarding_ = false;  // ignoring the line until it is silent
    int errors_ = 0;
};

}  // namespace tolvex::transfer::demo
