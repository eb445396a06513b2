// A scripted B Plus host, written from the published protocol description
// for the tests: it plays the initiator that commands one transfer, "TD"
// (the host sends a file) or "TU" (the host fetches one), after an
// optional exchange of transport parameters. It is a protocol on the
// transfer seam, so it runs in the loopback harness against the control's
// side, and `RunOnDescriptor` runs it on a real line (the bplus_host tool).
//
// Where the control does what the published description does not say, the
// host accepts it and counts it in `Differences` so the tests can name it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/protocol.h"

namespace tolvex::transfer::bplus_host {

struct Script {
    enum class Command : std::uint8_t { kSend, kFetch } command = Command::kSend;
    std::string name = "FILE.BIN";  // the name in the request
    std::string data;               // kSend: the file the host sends
    char type = 'B';                // data type of the request
    bool parameters = true;         // send a "+" packet before the request
    int block_units = 8;            // block size offered (x 128)
    int file_info = 1;              // FI offered
    int download_resume = 0;        // DR offered (byte 6 of the "+" packet, as the control reads it)
    bool short_parameters = false;  // a 6-byte "+" packet
    bool quote_all = false;         // the host quotes every control character of both ranges
    bool ask_quote_all = false;     // the host asks the control to quote them all (Q1-Q8 all set)
    bool refuse_resume = false;     // answer a "Tr" with "Tf" and send the whole file
    std::string request;            // a whole "T" packet instead of the one built from the above
    Millis ack_wait = 10000;        // before ENQ when an ACK does not come
    Millis hello_wait = 3000;       // before ENQ when the control has not announced itself
};

// What the host met that the published description does or says otherwise.
struct Differences {
    bool parameters_not_acknowledged = false;  // the control answered "+" with its own "+" and no ACK
    bool resume_offered_without_dr = false;    // "Tr" though DR 0 was offered
    bool resume_without_crc = false;           // "Tr" carrying 65535 where a CRC-16 belongs
};

class Host final : public Protocol {
public:
    explicit Host(Script script);

    std::string received;          // kFetch: the file
    std::string control_params;    // the control's "+" packet
    std::string resume_offer;      // the "Tr" packet, when one came
    std::string file_info;         // the "TI" packet, when one came
    std::string failure;           // the "F" packet the control sent, when one came
    std::int64_t resumed_from = -1;
    int naks_sent = 0;
    int packets_resent = 0;
    Differences differences;

protected:
    void OnStart(Millis now) override;
    void OnFeed(std::string_view bytes, Millis now) override;
    void OnTick(Millis now) override;

private:
    enum class Stage : std::uint8_t { kHello, kParams, kRequest, kSending, kReceiving, kClosing, kDone };
    void Byte(std::uint8_t c, Millis now);
    void Packet(const std::string& data, Millis now);
    void Ack(std::uint8_t digit, Millis now);
    void Put(std::string data, Millis now);
    void ResendOutstanding(Millis now);
    void SendAckOf(std::uint8_t n);
    void NextData(Millis now);
    void End(bool ok);
    std::string Wire(std::uint8_t n, const std::string& data) const;
    bool Quoted(std::uint8_t c) const;

    Script s_;
    Stage stage_ = Stage::kHello;
    std::string hello_;
    // Reading.
    enum class Rx : std::uint8_t { kIdle, kDle, kSeq, kData, kDataDle, kCheck, kCheckDle } rx_ = Rx::kIdle;
    std::uint8_t rx_seq_ = 0;
    std::string rx_data_;
    unsigned rx_sum_ = 0;
    // Sequence: the one counter; the packet in flight.
    std::uint8_t seq_ = 0;
    std::uint8_t last_got_ = 0;  // number of the packet accepted last
    bool outstanding_ = false;
    std::uint8_t out_num_ = 0;
    std::string out_data_;
    bool asked_ = false;         // an ENQ went out for the packet in flight
    int errors_ = 0;
    // Negotiated.
    std::size_t block_ = 512;
    bool fi_ = false;
    bool high_ = false;
    bool control_low_[32] = {};
    bool control_high_[32] = {};
    // Sending.
    std::int64_t pos_ = 0;
    bool closing_ = false;
    bool info_sent_ = false;
    bool sent_tf_ = false;
};

// Runs `p` on the descriptor (a pseudo-terminal or socket) with the real
// clock until it finished or `limit` ms passed. True when it succeeded.
bool RunOnDescriptor(Protocol& p, int fd, Millis limit);

}  // namespace tolvex::transfer::bplus_host
