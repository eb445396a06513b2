// The pump against a fake channel whose waits move a fake clock.

#include "transfer/pump.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolvex::transfer {
namespace {

class FakeClock final : public Clock {
public:
    Millis now = 0;
    Millis Now() const override { return now; }
};

class FakeChannel final : public TransferChannel {
public:
    explicit FakeChannel(FakeClock& clock) : clock_(clock) {}

    std::deque<std::pair<Millis, std::string>> arrivals;  // at, bytes
    std::size_t room = SIZE_MAX;                          // bytes one Write takes
    Millis lost_at = -1;
    std::string written;
    int reads = 0;
    std::function<void()> on_read;  // runs at the start of each Read

    std::string Read(std::size_t max, Millis timeout) override
    {
        ++reads;
        if (on_read)
            on_read();
        if (interrupted_) {
            interrupted_ = false;
            return {};
        }
        if (!arrivals.empty() && arrivals.front().first <= clock_.now + timeout) {
            clock_.now = std::max(clock_.now, arrivals.front().first);
            std::string& front = arrivals.front().second;
            std::string out = front.substr(0, max);
            front.erase(0, max);
            if (front.empty())
                arrivals.pop_front();
            return out;
        }
        clock_.now += timeout;
        return {};
    }
    std::size_t Write(std::string_view bytes) override
    {
        const std::size_t n = std::min(bytes.size(), room);
        written.append(bytes.substr(0, n));
        return n;
    }
    bool WaitSent(Millis) override { return true; }
    bool LineLost() const override { return lost_at >= 0 && clock_.now >= lost_at; }
    void Interrupt() override { interrupted_ = true; }

private:
    FakeClock& clock_;
    bool interrupted_ = false;
};

// Logs every call with its time and answers by a fixed script: greets at
// the start, answers each feed, ends on its second tick (timer every 500 ms).
class ScriptProtocol final : public Protocol {
public:
    std::vector<std::string> log;
    bool arm = true;

protected:
    void OnStart(Millis now) override
    {
        log.push_back("start@" + std::to_string(now));
        Send("hello");
        if (arm)
            ArmTimer(now + 500);
    }
    void OnFeed(std::string_view bytes, Millis now) override
    {
        log.push_back("feed " + std::string(bytes) + "@" + std::to_string(now));
        Send("ack:" + std::string(bytes) + ";");
        Event e;
        e.kind = EventKind::kProgress;
        e.transferred = static_cast<std::int64_t>(bytes.size());
        Emit(e);
    }
    void OnTick(Millis now) override
    {
        log.push_back("tick@" + std::to_string(now));
        if (++ticks_ == 2)
            Finish(true);
        else
            ArmTimer(now + 500);
    }
    void OnRequest(Request r, Millis now) override
    {
        log.push_back("ask " + std::to_string(static_cast<int>(r)) + "@" + std::to_string(now));
        if (r == Request::kAbort)
            Finish(false);
    }
    void OnLineLost(Millis now) override { log.push_back("lost@" + std::to_string(now)); }

private:
    int ticks_ = 0;
};

using Log = std::vector<std::string>;

TEST(Pump, FeedsDataTicksAtTheDeadlineWritesAnswersAndPostsEvents)
{
    FakeClock clock;
    FakeChannel line(clock);
    line.arrivals = {{100, "ab"}, {700, "cd"}};
    ScriptProtocol p;
    std::vector<Event> posted;
    Pump pump(p, line, clock, [&](const Event& e) { posted.push_back(e); });
    const PumpResult r = pump.Run();

    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.stopped);
    // Data does not move the timer; each tick comes exactly at its deadline.
    EXPECT_EQ(p.log, (Log{"start@0", "feed ab@100", "tick@500", "feed cd@700", "tick@1000"}));
    EXPECT_EQ(line.written, "helloack:ab;ack:cd;");
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].kind, EventKind::kProgress);
    EXPECT_EQ(posted[2].kind, EventKind::kEnd);
    EXPECT_EQ(posted[2].status, kStatusTermOk);
}

TEST(Pump, BytesTheLineHasNoRoomForAreWrittenLaterInOrder)
{
    FakeClock clock;
    FakeChannel line(clock);
    line.room = 3;
    line.arrivals = {{50, "0123456789"}};
    ScriptProtocol p;
    Pump pump(p, line, clock, {});
    EXPECT_TRUE(pump.Run().ok);
    EXPECT_EQ(line.written, "helloack:0123456789;");
}

TEST(Pump, RequestsLineLossAndStop)
{
    {
        // A request made before the run reaches the protocol at once.
        FakeClock clock;
        FakeChannel line(clock);
        ScriptProtocol p;
        Pump pump(p, line, clock, {});
        pump.Ask(Request::kSkip);
        pump.Ask(Request::kAbort);
        const PumpResult r = pump.Run();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(p.log, (Log{"start@0", "ask 5@0", "ask 6@0"}));
    }
    {
        // The loss of the line is told once.
        FakeClock clock;
        FakeChannel line(clock);
        line.lost_at = 300;
        line.arrivals = {{200, "x"}, {400, "y"}};
        ScriptProtocol p;
        Pump pump(p, line, clock, {});
        EXPECT_TRUE(pump.Run().ok);
        EXPECT_EQ(p.log, (Log{"start@0", "feed x@200", "feed y@400", "lost@400", "tick@500", "tick@1000"}));
    }
    {
        // Without a timer the pump sleeps in long waits, and Stop ends it.
        FakeClock clock;
        FakeChannel line(clock);
        ScriptProtocol p;
        p.arm = false;
        Pump pump(p, line, clock, {});
        line.on_read = [&] {
            if (clock.now >= 5000)
                pump.Stop();
        };
        const PumpResult r = pump.Run();
        EXPECT_TRUE(r.stopped);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(line.reads, 6);  // 0, 1000, ..., 5000: no busy loop
    }
}

}  // namespace
}  // namespace tolvex::transfer
