// The seam every file transfer protocol implements.
//
// A protocol is a state machine. It is fed the bytes received from the line
// and the current time, and answers with the bytes to send, the time at
// which it wants to be called again (its one armed timer) and the events of
// the transfer (file start, progress, file done, error, end). It never reads
// the line, a clock or a device and never sleeps or starts a thread: the
// pump (pump.h) does all of that on the transfer's worker thread, and tests
// drive a protocol directly or through the loopback harness
// (tests/loopback.h) with a fake clock.
//
// Files are reached through FileAccess (files.h), so tests use memory files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::transfer {

// Time on a monotonic clock [ms]; only differences have a meaning.
using Millis = std::int64_t;

// XferStatus values a protocol reports.
enum XferStatus : std::int16_t {
    kStatusTermError = -1,
    kStatusTermOk = 0,
    kStatusWaiting = 1,
    kStatusFileReady = 2,
    kStatusFileStart = 3,
    kStatusTransferring = 4,
    kStatusSkip = 5,
    kStatusAbort = 6,
    kStatusFinished = 7,
    kStatusLostCarrier = 8,
    kStatusTimeout = 9,
    kStatusResume = 10,
};

enum class EventKind : std::uint8_t {
    kWaiting,    // waiting for the far side to begin the next file
    kFileReady,  // a file is about to begin: `file`, `size`, `time`; a receiver
                 // asks for the application's choice (Protocol::Resume)
    kFileStart,  // a file begins: `file`, `size`
    kProgress,   // `transferred` bytes of the current file are done
    kFileDone,   // the current file is complete
    kError,      // something went wrong; `status` and `message` say what
    kEnd,        // the transfer ended; `status` is kStatusTermOk or kStatusTermError
};

struct Event {
    EventKind kind = EventKind::kProgress;
    std::int16_t status = 0;        // the XferStatus this event sets
    int message = 0;                // number of the XferMessage text (2000-series), 0: none
    std::string file;               // kFileStart: the file's name
    std::string source;             // kFileReady of a download: the name the sender gave, when known
    std::int64_t transferred = 0;   // bytes of the current file so far
    std::int64_t size = -1;         // size of the current file, -1 when unknown
    std::int64_t time = 0;          // kFileReady: the file's modification time (s since 1970), 0 unknown
    bool counted = false;           // an error the far side made us repeat something for (the retry count)

    bool operator==(const Event&) const = default;
};

// Requests from the application (the XferStatus values that carry them).
enum class Request : std::int16_t { kSkip = 5, kAbort = 6, kResume = 10 };

// What one call of a protocol answers.
struct Answer {
    std::string send;                // bytes to put on the line, in order
    std::vector<Event> events;       // in the order they happened
    std::optional<Millis> deadline;  // call Tick() at this time; none: only data or requests
    bool finished = false;           // the transfer has ended; no more calls are needed
    // The caller must call Resume() once it has handed on every event of
    // this answer (the application has seen a kFileReady and chosen).
    bool resume = false;
    // The caller must call Sent() once every byte answered so far has been
    // handed to the line.
    bool watch_sent = false;
};

class Protocol {
public:
    virtual ~Protocol() = default;

    // Every call returns what the protocol has to say since the previous
    // call. After the transfer finished the calls do nothing.
    Answer Start(Millis now);
    Answer Feed(std::string_view bytes, Millis now);
    // Called once the deadline of the last answer has come.
    Answer Tick(Millis now);
    Answer Ask(Request request, Millis now);
    // The far side went away (device removed, carrier lost).
    Answer LineLost(Millis now);
    // After an answer with `resume`: its events have been handled.
    Answer Resume(Millis now);
    // After an answer with `watch_sent`: the bytes have gone to the line.
    Answer Sent(Millis now);

    bool Finished() const { return finished_; }
    std::optional<Millis> Deadline() const { return deadline_; }
    // Set with the end event: true when the transfer succeeded.
    bool Succeeded() const { return succeeded_; }

protected:
    virtual void OnStart(Millis now) = 0;
    virtual void OnFeed(std::string_view bytes, Millis now) = 0;
    virtual void OnTick(Millis now) = 0;
    // Requests are ignored unless a protocol handles them.
    virtual void OnRequest(Request request, Millis now);
    virtual void OnLineLost(Millis now);
    virtual void OnResume(Millis now);
    virtual void OnSent(Millis now);

    // For the implementations: queue bytes, report events, arm the one
    // timer, and end the transfer (which reports kEnd and disarms).
    void Send(std::string_view bytes) { answer_.send.append(bytes); }
    void Emit(Event event) { answer_.events.push_back(std::move(event)); }
    void ArmTimer(Millis at) { deadline_ = at; }
    void StopTimer() { deadline_.reset(); }
    // Stop here until the caller has handed on the events so far (Resume).
    void AwaitResume() { answer_.resume = true; }
    // Ask to be told when the bytes so far have gone to the line (Sent).
    void WatchSent() { answer_.watch_sent = true; }
    void Finish(bool ok);

private:
    Answer Collect();

    Answer answer_;
    std::optional<Millis> deadline_;
    bool finished_ = false;
    bool succeeded_ = false;
};

}  // namespace tolvex::transfer
