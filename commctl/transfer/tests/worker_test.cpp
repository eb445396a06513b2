// The worker thread and the engine's raw channel on a pseudo-terminal: the
// test plays the far side of the demonstration protocol on the master.

#include "transfer/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/comm_engine.h"
#include "stop_and_wait.h"
#include "testkit.h"
#include "transfer/channel.h"
#include "transfer/files.h"

namespace tolvex::transfer {
namespace {

using serial::testkit::Harness;
using serial::testkit::MapPort;
using serial::testkit::Pty;

constexpr int kPort = 7;

class WorkerOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial::testkit::EnsureApp();
        h_ = std::make_unique<Harness>(MapPort(kPort, pty_.path()));
        engine().SetCommPort(kPort);
        engine().SetPortOpen(true);
        engine().SetTransferRunning(true);
    }
    void TearDown() override
    {
        engine().SetTransferRunning(false);
        engine().SetPortOpen(false);
    }
    serial::CommEngine& engine() { return h_->engine(); }

    Pty pty_;
    std::unique_ptr<Harness> h_;
};

TEST_F(WorkerOnPty, ReceivesThroughTheEngineAndEndsWithItsResult)
{
    MemoryFiles files;
    std::mutex m;
    std::vector<Event> events;
    std::promise<PumpResult> ended;
    TransferWorker worker(
        std::make_unique<demo::Receiver>(files, "in.bin"), std::make_unique<EngineChannel>(engine()),
        [&](const Event& e) {
            std::lock_guard lk(m);
            events.push_back(e);
        },
        [&](PumpResult r) { ended.set_value(r); });

    const std::string data(100, 'z');
    pty_.Write(demo::Frame(0, std::string_view(data).substr(0, 64)));
    EXPECT_EQ(pty_.Read(2, 5000), std::string("\x06\x00", 2));
    pty_.Write(demo::Frame(1, std::string_view(data).substr(64)));
    EXPECT_EQ(pty_.Read(2, 5000), std::string("\x06\x01", 2));
    pty_.Write(demo::Frame(2, ""));
    EXPECT_EQ(pty_.Read(2, 5000), std::string("\x06\x02", 2));

    auto f = ended.get_future();
    ASSERT_EQ(f.wait_for(std::chrono::milliseconds(demo::kLinger + 3000)), std::future_status::ready);
    EXPECT_TRUE(f.get().ok);
    EXPECT_FALSE(worker.Running());
    ASSERT_NE(files.Find("in.bin"), nullptr);
    EXPECT_EQ(files.Find("in.bin")->data, data);
    std::lock_guard lk(m);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, EventKind::kEnd);
}

TEST_F(WorkerOnPty, StopAndRequestsWakeAWaitingWorker)
{
    MemoryFiles files;
    std::promise<PumpResult> ended;
    {
        // An abort request reaches a receiver that waits for data.
        TransferWorker worker(std::make_unique<demo::Receiver>(files, "in.bin"),
                              std::make_unique<EngineChannel>(engine()), {},
                              [&](PumpResult r) { ended.set_value(r); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto t0 = std::chrono::steady_clock::now();
        worker.Ask(Request::kAbort);
        auto f = ended.get_future();
        ASSERT_EQ(f.wait_for(std::chrono::milliseconds(2000)), std::future_status::ready);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
        EXPECT_FALSE(f.get().ok);
        EXPECT_EQ(pty_.Read(2, 2000), "\x18\x18");  // the abort left before the worker ended
    }
    {
        // Destroying a worker stops it at once, not after its 10 s timer.
        const auto t0 = std::chrono::steady_clock::now();
        {
            TransferWorker worker(std::make_unique<demo::Receiver>(files, "in2.bin"),
                                  std::make_unique<EngineChannel>(engine()), {}, {});
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    }
}

}  // namespace
}  // namespace tolvex::transfer
