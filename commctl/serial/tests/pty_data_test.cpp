// Receive, transmit and notification on a pseudo-terminal.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testkit.h"

namespace tolvex::serial {
namespace {

using namespace std::chrono_literals;
using testkit::Harness;
using testkit::MapPort;
using testkit::Pty;

constexpr int kPort = 5;

class PtyData : public ::testing::Test {
protected:
    void SetUp() override
    {
        h_ = std::make_unique<Harness>(MapPort(kPort, pty_.path()));
        e().SetCommPort(kPort);
    }
    CommEngine& e() { return h_->engine(); }
    Harness& h() { return *h_; }
    void Open() { e().SetPortOpen(true); }
    // Writes on the master and waits until the engine has queued it all.
    void Arrive(std::string_view bytes)
    {
        const int before = e().InBufferCount();
        ASSERT_EQ(pty_.Write(bytes), bytes.size());
        ASSERT_TRUE(h().RunUntil(
            [&] { return e().InBufferCount() >= before + static_cast<int>(bytes.size()); }, 5000));
        h().Run(20);  // let the notification of this arrival be handled
    }
    static double Ms(std::chrono::steady_clock::duration d)
    {
        return std::chrono::duration<double, std::milli>(d).count();
    }

    Pty pty_;
    std::unique_ptr<Harness> h_;
};

TEST_F(PtyData, LineInputSplitsLinesAndKeepsWhatFollows)
{
    Open();
    e().SetInTimeout(100);

    Arrive("abc\r\ndef");
    EXPECT_EQ(e().LineInput(), "abc");
    EXPECT_EQ(e().InBufferCount(), 3);  // d, e, f wait for their CR
    Arrive("\r\n");
    EXPECT_EQ(e().LineInput(), "def");
    EXPECT_EQ(e().InBufferCount(), 0);

    // A byte after the CR other than LF starts the next line.
    Arrive("gh\rxy\r");
    EXPECT_EQ(e().LineInput(), "gh");
    EXPECT_EQ(e().LineInput(), "xy");

    // LF anywhere is dropped; no CR within InTimeout returns the partial
    // line and raises 1005.
    Arrive("a\nb");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(e().LineInput(), "ab");
    EXPECT_GE(Ms(std::chrono::steady_clock::now() - t0), 100);
    EXPECT_EQ(h().events, std::vector<std::int16_t>{kErInTimeout});

}

TEST_F(PtyData, LineInputStopsAtMaximumLength)
{
    e().SetInBufferSize(8000);
    Open();
    e().SetInTimeout(0);
    Arrive(std::string(5000, 'z'));
    EXPECT_EQ(e().LineInput().size(), 4096u);
    EXPECT_EQ(h().Count(kErInTimeout), 1);
    EXPECT_EQ(e().InBufferCount(), 5000 - 4096);
}

TEST_F(PtyData, InputHonoursInputLenAndInTimeout)
{
    Open();
    e().SetInputLen(5);
    e().SetInTimeout(100);
    Arrive("abc");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(e().Input(), "");
    EXPECT_GE(Ms(std::chrono::steady_clock::now() - t0), 100);
    EXPECT_EQ(h().events, std::vector<std::int16_t>{kErInTimeout});
    EXPECT_EQ(e().InBufferCount(), 3);  // the bytes stay queued

    // Data that arrives while Input waits completes it.
    std::thread late([&] {
        std::this_thread::sleep_for(30ms);
        pty_.Write("de");
    });
    EXPECT_EQ(e().Input(), "abcde");
    late.join();

    Arrive("123456");
    e().SetInputLen(2);
    EXPECT_EQ(e().Input(), "12");
    e().SetInputLen(0);
    EXPECT_EQ(e().Input(), "3456");
    EXPECT_EQ(e().LastInput(), "3456");
    EXPECT_EQ(e().Input(), "");
    EXPECT_EQ(h().Count(kErInTimeout), 1);
}

TEST_F(PtyData, FullReceiveQueueHoldsTheRestBackWithoutLoss)
{
    e().SetInBufferSize(16);
    Open();
    std::string sent;
    for (int i = 0; i < 300; ++i)
        sent += static_cast<char>('a' + i % 26);
    ASSERT_EQ(pty_.Write(sent), sent.size());
    ASSERT_TRUE(h().RunUntil([&] { return e().InBufferCount() == 16; }, 5000));
    h().Run(20);
    EXPECT_EQ(e().InBufferCount(), 16);  // the queue holds no more than its size
    std::string got;
    for (int i = 0; i < 200 && got.size() < sent.size(); ++i) {
        got += e().Input();
        h().Run(2);
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(h().Count(kErRxOver), 0);
}

TEST_F(PtyData, InputCompletesDoubleByteCharacter)
{
    Open();
    Arrive("A\x82");
    // InputB returns the bytes as they are.
    EXPECT_EQ(e().InputB(), "A\x82");
    Arrive("B\x82");
    std::thread late([&] {
        std::this_thread::sleep_for(300ms);
        pty_.Write("\xA0" "C");
    });
    EXPECT_EQ(e().Input(), "B\x82\xA0");  // waits for the trail byte only
    late.join();
    ASSERT_TRUE(h().RunUntil([&] { return e().InBufferCount() == 1; }, 5000));
    // A complete pair at the end needs no wait.
    Arrive("\x82\xA0");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(e().Input(), "C\x82\xA0");
    EXPECT_LT(Ms(std::chrono::steady_clock::now() - t0), 500);
}

TEST_F(PtyData, ReceiveEventsFollowThresholdAndRepostAfterPartialInput)
{
    Open();
    // RThreshold 0: no receive events at all.
    Arrive("0123456789");
    h().Run(100);
    EXPECT_TRUE(h().events.empty());
    e().SetInBufferCount(0);
    EXPECT_EQ(e().InBufferCount(), 0);

    // A handler that takes one byte per event is called again for the rest.
    e().SetRThreshold(1);
    e().SetInputLen(1);
    std::string taken;
    h().on_comm = [&](CommEngine& eng) { taken += eng.Input(); };
    ASSERT_EQ(pty_.Write("0123456789"), 10u);
    ASSERT_TRUE(h().RunUntil([&] { return taken.size() == 10; }, 5000));
    h().Run(50);
    EXPECT_EQ(taken, "0123456789");
    EXPECT_EQ(h().Count(kEvReceive), 10);

    // A handler that reads one line leaves the rest for the next arrival.
    // (The lines are queued first and one more byte makes the arrival, so
    // that the pty cannot split it into several.)
    h().events.clear();
    std::vector<std::string> lines;
    e().SetInputLen(0);
    e().SetInTimeout(100);
    e().SetRThreshold(0);
    Arrive("l1\r\nl2\r\nl3\r\n");
    e().SetRThreshold(4);
    h().on_comm = [&](CommEngine& eng) { lines.push_back(eng.LineInput()); };
    ASSERT_EQ(pty_.Write("x"), 1u);
    ASSERT_TRUE(h().RunUntil([&] { return !lines.empty(); }, 5000));
    h().Run(100);
    EXPECT_EQ(lines, std::vector<std::string>{"l1"});
    EXPECT_EQ(e().InBufferCount(), 9);
    ASSERT_EQ(pty_.Write("y"), 1u);
    ASSERT_TRUE(h().RunUntil([&] { return lines.size() == 2; }, 5000));
    EXPECT_EQ(lines.back(), "l2");
}

TEST_F(PtyData, EventRaisedInsideHandlerIsDeferredAndOnlyTheFirstKept)
{
    Open();
    e().SetRThreshold(1);
    std::vector<std::string> log;
    h().on_comm = [&](CommEngine& eng) {
        log.push_back("begin " + std::to_string(eng.CommEvent()));
        if (eng.CommEvent() == kEvReceive) {
            eng.Input();           // takes everything
            eng.SetInputLen(5);
            eng.Input();           // empty queue: 1005, deferred
            eng.Input();           // a second 1005 is dropped
            eng.SetInputLen(0);
        }
        log.push_back("end");
    };
    ASSERT_EQ(pty_.Write("x"), 1u);
    ASSERT_TRUE(h().RunUntil([&] { return log.size() >= 4; }, 5000));
    h().Run(50);
    EXPECT_EQ(log, (std::vector<std::string>{"begin 2", "end", "begin 1005", "end"}));
}

TEST_F(PtyData, EofCharacterRaisesEvent)
{
    Open();
    Arrive("ab\x1A");
    ASSERT_TRUE(h().RunUntil([&] { return h().Count(kEvEof) == 1; }, 5000));
    EXPECT_EQ(h().Count(kEvReceive), 0);  // RThreshold 0
    EXPECT_EQ(e().Input(), "ab\x1A");     // the character stays in the data
}

TEST_F(PtyData, ZModemStartSequenceIsDetectedAcrossReads)
{
    Open();
    e().SetAutoZModem(true);
    struct Case {
        std::string data;
        int events;
    };
    const Case cases[] = {
        {std::string("**\x18" "B00"), 1},
        {std::string("***\x18" "B00"), 0},  // the third * resets the match
        {std::string("x**\x18" "B00**\x18" "B00"), 2},
        {std::string("*\x18" "B00"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        h().events.clear();
        Arrive(c.data);
        e().Input();
        EXPECT_EQ(h().Count(kEvZModem), c.events);
    }
    // Split over two reads, and through LineInput.
    h().events.clear();
    Arrive("**\x18");
    e().Input();
    Arrive("B00\r\n");
    e().LineInput();
    EXPECT_EQ(h().Count(kEvZModem), 1);
    // Off: nothing.
    e().SetAutoZModem(false);
    Arrive("**\x18" "B00");
    e().Input();
    EXPECT_EQ(h().Count(kEvZModem), 1);
}

TEST_F(PtyData, TransmitOverflowDropsTheWholeWriteAndKeepsOrder)
{
    e().SetOutBufferSize(16);
    e().SetHandshaking(kHandshakeXon);
    Open();
    // The far side sends XOFF: nothing leaves the port. (The byte after it
    // shows that the XOFF has been taken.)
    ASSERT_EQ(pty_.Write("\x13m"), 2u);
    ASSERT_TRUE(h().RunUntil([&] { return e().InBufferCount() == 1; }, 5000));
    EXPECT_EQ(e().Input(), "m");
    e().Output("0123456789abcdef");  // being sent (held by XOFF)
    h().Run(50);
    e().Output("ABCDEFGHIJKLMNOP");  // fills the other buffer
    EXPECT_TRUE(h().events.empty());
    e().Output("!");                 // no room anywhere
    EXPECT_EQ(h().events, std::vector<std::int16_t>{kErTxFull});
    EXPECT_EQ(e().OutBufferCount(), 16);
    EXPECT_EQ(pty_.Read(1, 100), "");

    ASSERT_EQ(pty_.Write("\x11"), 1u);  // XON
    EXPECT_EQ(pty_.Read(32, 5000), "0123456789abcdefABCDEFGHIJKLMNOP");
    EXPECT_EQ(pty_.Read(1, 100), "");
    ASSERT_TRUE(h().RunUntil([&] { return e().OutBufferCount() == 0; }, 5000));
    e().Output("");  // nothing happens
    e().OutputB(std::string("\0\xFF", 2));
    EXPECT_EQ(pty_.Read(2, 5000), std::string("\0\xFF", 2));
}

TEST_F(PtyData, EveryByteValueArrivesAsSentWithoutLineErrors)
{
    // A pseudo-terminal has no line errors: what looks like a mark (0xFF
    // 0x00 b, 0xFF 0x00 0x00) and doubled 0xFF are data like any other.
    Open();
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    all += std::string("\xFF\x00" "b\xFF\xFF\xFF\x00\x00\xFF", 9);
    Arrive(all);
    EXPECT_EQ(e().InputB(), all);
    for (std::int16_t code : h().events)
        EXPECT_TRUE(code != kErRxParity && code != kErBreak && code != kErFrame) << code;
}

TEST_F(PtyData, AnswerBackRepliesToEnq)
{
    Open();
    e().SetAnswerBack("TESSARO");
    Arrive("a\x05" "b\x05");
    EXPECT_EQ(e().Input(), "a\x05" "b\x05");
    EXPECT_EQ(pty_.Read(14, 5000), "TESSAROTESSARO");
}

TEST_F(PtyData, AutoProcessSendsDataToTerminalAndRestoresValues)
{
    Open();
    e().SetInputLen(3);
    e().SetRThreshold(5);
    e().SetTerminalActive(true);
    e().SetAutoProcess(kAutoProcessSerial);
    EXPECT_EQ(e().InputLen(), 0);
    EXPECT_EQ(e().RThreshold(), 0);
    ASSERT_EQ(pty_.Write("hello"), 5u);
    ASSERT_TRUE(h().RunUntil([&] { return h().terminal == "hello"; }, 5000));
    EXPECT_TRUE(h().events.empty());
    e().SetAutoProcess(kAutoProcessBoth);  // no change of the saved values
    e().SetAutoProcess(kAutoProcessNone);
    EXPECT_EQ(e().InputLen(), 3);
    EXPECT_EQ(e().RThreshold(), 5);
    // Echo shows output in the terminal first.
    h().terminal.clear();
    e().SetEcho(true);
    e().Output("hi");
    EXPECT_EQ(h().terminal, "hi");
    EXPECT_EQ(pty_.Read(2, 5000), "hi");
}

TEST_F(PtyData, SendEventWhenBacklogFallsToThreshold)
{
    e().SetSThreshold(1);
    e().SetInterval(20);
    EXPECT_FALSE(e().SendCheckTimerActive());
    Open();
    EXPECT_TRUE(e().SendCheckTimerActive());
    ASSERT_TRUE(h().RunUntil([&] { return h().Count(kEvSend) == 1; }, 5000));
    h().Run(100);
    EXPECT_EQ(h().Count(kEvSend), 1);  // armed: once until new data
    e().Output("data");
    EXPECT_EQ(pty_.Read(4, 5000), "data");
    ASSERT_TRUE(h().RunUntil([&] { return h().Count(kEvSend) == 2; }, 5000));
    e().SetInterval(0);
    EXPECT_FALSE(e().SendCheckTimerActive());
}

TEST_F(PtyData, RunningTransferTakesTheLineOver)
{
    Open();
    e().SetRThreshold(1);
    e().SetTransferRunning(true);
    auto error_of = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const ControlError& err) {
            return err.number();
        }
        return 0;
    };
    ASSERT_EQ(pty_.Write("\x1A" "data"), 5u);
    ASSERT_TRUE(h().RunUntil([&] { return h().transfer_wakeups > 0; }, 5000));
    h().Run(30);
    EXPECT_TRUE(h().events.empty());  // no OnComm, not even for the EOF character
    EXPECT_EQ(e().Input(), "");
    EXPECT_EQ(e().LineInput(), "");
    EXPECT_EQ(error_of([&] { e().Output("x"); }), kErrDeviceBusy);
    EXPECT_EQ(error_of([&] { e().SetPortOpen(false); }), kErrDeviceBusy);

    // The transfer's own channel, from its worker thread.
    std::string got;
    std::thread worker([&] {
        got = e().TransferRead(100, 1000);
        e().TransferWrite("ack");
    });
    worker.join();
    EXPECT_EQ(got, "\x1A" "data");
    EXPECT_EQ(pty_.Read(3, 5000), "ack");
    EXPECT_FALSE(e().LineLost());
    e().SetTransferRunning(false);
    e().SetPortOpen(false);
}

TEST_F(PtyData, TransferWritesOfAnyLengthArriveWholeAndInOrder)
{
    Open();
    e().SetTransferRunning(true);
    // Far more than the transmit buffers and the pseudo-terminal hold
    // while nobody reads: writes go straight out, are cut short, queued in
    // part and refused until room comes back.
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7919) >> 3);
    std::size_t refused = 0, short_writes = 0;
    std::thread worker([&] {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (done < data.size() && std::chrono::steady_clock::now() < end) {
            const std::string_view rest = std::string_view(data).substr(done);
            const std::size_t n = e().TransferWriteSome(rest);
            ASSERT_LE(n, rest.size());
            if (n == 0) {
                ++refused;
                (void)e().TransferRead(1, 50);  // room wakes the wait
            } else if (n < rest.size()) {
                ++short_writes;
            }
            done += n;
        }
    });
    std::this_thread::sleep_for(100ms);  // let the line fill up first
    const std::string got = pty_.Read(data.size(), 10000);
    worker.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size();
    EXPECT_GT(refused + short_writes, 0u);
    e().SetTransferRunning(false);
    e().SetPortOpen(false);
}

}  // namespace
}  // namespace tolvex::serial
