// The far side going away, many open/close cycles, and data integrity under
// load, on pseudo-terminals.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "testkit.h"

namespace tolvex::serial {
namespace {

using namespace std::chrono_literals;
using testkit::Harness;
using testkit::Pty;

constexpr int kPort = 4;

// A port mapping that follows whichever pty the test made last.
class Redirect {
public:
    ProfileLookup lookup()
    {
        return [this](std::string_view) -> std::optional<std::string> { return path_; };
    }
    void Set(const std::string& p) { path_ = p; }

private:
    std::string path_;
};

TEST(PtyFault, FarSideClosingWhileReadingWritingAndWaiting)
{
    Redirect map;
    auto pty = std::make_unique<Pty>();
    map.Set(pty->path());
    pty->CloseSlave();  // only the engine holds the slave, as with a device
    Harness h(map.lookup());
    CommEngine& e = h.engine();
    e.SetCommPort(kPort);
    e.SetInTimeout(300);
    e.SetPortOpen(true);

    // Writing: data piles up in the pty while nobody reads the master.
    const std::string block(1000, 'w');
    for (int i = 0; i < 200 && h.Count(kErTxFull) == 0; ++i) {
        e.Output(block);
        h.Run(1);
    }
    ASSERT_GT(e.OutBufferCount(), 0);

    // Waiting in LineInput when the far side goes.
    ASSERT_EQ(pty->Write("partial"), 7u);
    std::thread pull([&] {
        std::this_thread::sleep_for(50ms);
        pty->CloseMaster();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(e.LineInput(), "partial");
    const auto waited = std::chrono::steady_clock::now() - t0;
    pull.join();
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 2000ms);
    EXPECT_EQ(h.Count(kErInTimeout), 1);

    // The loss reads as carrier lost; the unsent data is dropped.
    ASSERT_TRUE(h.RunUntil([&] { return h.Count(kEvCd) == 1; }, 2000));
    ASSERT_TRUE(h.RunUntil([&] { return e.OutBufferCount() == 0; }, 2000));

    // Reads return as on a quiet line; writes go nowhere; nothing blocks.
    e.SetInputLen(3);
    e.SetInTimeout(50);
    EXPECT_EQ(e.Input(), "");
    EXPECT_EQ(h.Count(kErInTimeout), 2);
    e.Output("lost");
    h.Run(50);
    e.SetPortOpen(false);

    // The next device opens normally on the same port number.
    pty = std::make_unique<Pty>();
    map.Set(pty->path());
    e.SetPortOpen(true);
    ASSERT_EQ(pty->Write("ok\r\n"), 4u);
    e.SetInTimeout(1000);
    EXPECT_EQ(e.LineInput(), "ok");
    e.Output("back");
    EXPECT_EQ(pty->Read(4, 1000), "back");
}

TEST(PtyFault, ManyOpenCloseCyclesLeaveNothingBehind)
{
    Pty pty;
    Harness h(testkit::MapPort(kPort, pty.path()));
    CommEngine& e = h.engine();
    e.SetCommPort(kPort);
    e.SetRThreshold(1);
    int received = 0;
    h.on_comm = [&](CommEngine& eng) {
        if (eng.CommEvent() == kEvReceive)
            received += static_cast<int>(eng.Input().size());
    };
    // One cycle first, so that lazily created process resources exist.
    e.SetPortOpen(true);
    e.SetPortOpen(false);
    h.Run(10);
    const int fds = testkit::OpenDescriptorCount();
    const int threads = testkit::ThreadCount();

    for (int i = 0; i < 1000; ++i) {
        e.SetPortOpen(true);
        pty.Write("x\r\n");
        e.Output("y");
        if (i % 50 == 0)
            h.Run(5);
        e.SetPortOpen(false);
        pty.Read(1, 0);
    }
    h.Run(20);
    EXPECT_EQ(testkit::OpenDescriptorCount(), fds);
    EXPECT_EQ(testkit::ThreadCount(), threads);
    EXPECT_GT(received, 0);
}

TEST(PtyLoad, RandomBytesBothWaysArriveIntact)
{
    const testkit::DuplexResult r = testkit::RunDuplexTransfer(1 << 20, 42, 60000);
    EXPECT_EQ(r.received, std::size_t{1} << 20);
    EXPECT_EQ(r.sent, std::size_t{1} << 20);
    EXPECT_TRUE(r.received_intact);
    EXPECT_TRUE(r.sent_intact);
}

TEST(PtyLoad, NmeaReplayThroughLineInputAccountsForEveryLine)
{
    const std::vector<std::string> lines = testkit::MakeGgaLines(5000);
    const testkit::NmeaResult r = testkit::RunNmeaReplay(lines, 60000);
    EXPECT_EQ(r.lines_matched, lines.size());
}

}  // namespace
}  // namespace tolvex::serial
