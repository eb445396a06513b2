// The loopback harness: two protocol instances (or one and a scripted peer)
// joined by an in-memory line that can drop, flip, cut and stall bytes, run
// on a fake clock. Nothing sleeps; a run of minutes of line time takes
// milliseconds.
//
// The line is serial: each direction carries `bytes_per_ms` bytes one after
// the other, and a byte arrives `latency` after it was put on the line.
// Each time step feeds a side everything that has arrived by then (so a
// block reaches a protocol split over several calls) and ticks a side whose
// deadline has come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/protocol.h"

namespace tolvex::transfer::loopback {

// Direction of the line: from side A (the first protocol) to side B, or back.
enum class Way : std::uint8_t { kAtoB, kBtoA };

// One fault, placed by the index (0-based) of a byte in its direction.
struct Fault {
    enum class Kind : std::uint8_t { kDrop, kFlip, kCut, kStall };
    Kind kind = Kind::kDrop;
    Way way = Way::kAtoB;
    std::size_t byte = 0;
    int bit = 0;     // kFlip: which bit of the byte
    Millis ms = 0;   // kStall: the line carries nothing for so long from that byte on

    static Fault Drop(Way w, std::size_t n) { return {Kind::kDrop, w, n, 0, 0}; }
    static Fault Flip(Way w, std::size_t n, int bit) { return {Kind::kFlip, w, n, bit, 0}; }
    // From this byte on nothing passes, in either direction.
    static Fault Cut(Way w, std::size_t n) { return {Kind::kCut, w, n, 0, 0}; }
    static Fault Stall(Way w, std::size_t n, Millis ms) { return {Kind::kStall, w, n, 0, ms}; }
};

// Text of a fault for test traces: "drop A>B byte 10".
std::string Describe(const Fault& f);

struct LineModel {
    double bytes_per_ms = 11.52;  // 115200 baud, 8N1
    Millis latency = 2;
};

struct SideResult {
    bool finished = false;
    bool ok = false;
    std::vector<Event> events;
    std::size_t bytes_sent = 0;
    int last_error = 0;  // message number of the last error event, 0 without one
};

struct Result {
    SideResult a, b;
    Millis line_time = 0;   // fake time when the run ended [ms]
    bool stuck = false;     // neither side had data or a timer, without both having finished
    bool over_time = false; // the time limit came first
};

// A side: a protocol, or a scripted peer written as one.
Result Run(Protocol& a, Protocol& b, const std::vector<Fault>& faults, Millis limit, LineModel model = {});

// A protocol run inside another, for tests that step in at some point (an
// abort request, a lost line, a 7-bit line): every call goes to `inner` and
// its answers are passed on as the wrapper's own. A wrapper overrides what
// it changes; Outgoing may change the bytes `inner` puts on the line.
class Wrapper : public Protocol {
public:
    explicit Wrapper(Protocol& inner) : inner_(inner) {}

protected:
    void OnStart(Millis now) override { Take(inner_.Start(now)); }
    void OnFeed(std::string_view bytes, Millis now) override { Take(inner_.Feed(bytes, now)); }
    void OnTick(Millis now) override { Take(inner_.Tick(now)); }
    void OnResume(Millis now) override { Take(inner_.Resume(now)); }
    void OnSent(Millis now) override { Take(inner_.Sent(now)); }
    virtual std::string Outgoing(std::string bytes) { return bytes; }

    void Take(Answer a)
    {
        Send(Outgoing(std::move(a.send)));
        for (Event& e : a.events)
            if (e.kind != EventKind::kEnd)
                Emit(std::move(e));
        if (a.resume)
            AwaitResume();
        if (a.watch_sent)
            WatchSent();
        if (a.deadline)
            ArmTimer(*a.deadline);
        else
            StopTimer();
        if (a.finished)
            Finish(inner_.Succeeded());
    }

    Protocol& inner_;
};

}  // namespace tolvex::transfer::loopback
