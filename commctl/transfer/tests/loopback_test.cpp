// Protocols against each other through the faulty in-memory line, one row
// per (protocol, file size, faults, expected outcome). A protocol's issue
// adds its maker and its rows.

#include "loopback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "stop_and_wait.h"
#include "transfer/files.h"

namespace tolvex::transfer {
namespace {

using loopback::Fault;
using loopback::Way;

struct Pair {
    std::unique_ptr<Protocol> sender, receiver;
};
using Maker = Pair (*)(FileAccess& files, const std::string& source, const std::string& dest);

Pair StopAndWait(FileAccess& files, const std::string& source, const std::string& dest)
{
    return {std::make_unique<demo::Sender>(files, source), std::make_unique<demo::Receiver>(files, dest)};
}

// Outcome of each side: success, or the message number of its last error.
struct Expect {
    bool sender_ok;
    int sender_error;
    bool receiver_ok;
    int receiver_error;
};
constexpr Expect kBothOk{true, 0, true, 0};

struct Row {
    const char* protocol;
    Maker make;
    long size;  // bytes of the file to send; -1: there is no such file
    std::vector<Fault> faults;
    Expect expect;
};

std::string Content(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + 11) & 0xFF);  // every byte value, SOH and ACK included
    return s;
}

const Row kRows[] = {
    // Sizes on a clean line: empty, one byte, one whole block, many blocks.
    {"stop-and-wait", StopAndWait, 0, {}, kBothOk},
    {"stop-and-wait", StopAndWait, 1, {}, kBothOk},
    {"stop-and-wait", StopAndWait, 64, {}, kBothOk},
    {"stop-and-wait", StopAndWait, 1000, {}, kBothOk},
    // Lost and damaged bytes each way: one repeat mends them.
    {"stop-and-wait", StopAndWait, 1000, {Fault::Drop(Way::kAtoB, 10)}, kBothOk},
    {"stop-and-wait", StopAndWait, 1000, {Fault::Drop(Way::kBtoA, 0)}, kBothOk},
    {"stop-and-wait", StopAndWait, 1000, {Fault::Flip(Way::kAtoB, 20, 3)}, kBothOk},
    {"stop-and-wait", StopAndWait, 1000, {Fault::Flip(Way::kAtoB, 0, 0)}, kBothOk},     // the first SOH
    {"stop-and-wait", StopAndWait, 1000, {Fault::Flip(Way::kBtoA, 1, 0)}, kBothOk},     // an ACK's number
    {"stop-and-wait", StopAndWait, 1000,
     {Fault::Drop(Way::kAtoB, 100), Fault::Flip(Way::kAtoB, 400, 7), Fault::Drop(Way::kBtoA, 8)}, kBothOk},
    // Stalls shorter than the retry timer and longer than it.
    {"stop-and-wait", StopAndWait, 1000, {Fault::Stall(Way::kAtoB, 100, 500)}, kBothOk},
    {"stop-and-wait", StopAndWait, 1000, {Fault::Stall(Way::kBtoA, 2, 3000)}, kBothOk},
    // A line that stays dead: the sender runs out of repeats, the receiver
    // out of patience.
    {"stop-and-wait", StopAndWait, 1000, {Fault::Stall(Way::kAtoB, 100, 30000)}, {false, 2008, false, 2001}},
    {"stop-and-wait", StopAndWait, 1000, {Fault::Cut(Way::kAtoB, 300)}, {false, 2008, false, 2001}},
    // The last acknowledgement lost for good: the file arrived, the sender
    // cannot know it.
    {"stop-and-wait", StopAndWait, 0, {Fault::Cut(Way::kBtoA, 0)}, {false, 2008, true, 0}},
    // Nothing to send.
    {"stop-and-wait", StopAndWait, -1, {}, {false, 2000, false, 2001}},
};

std::string RowName(const Row& r)
{
    std::string s = std::string(r.protocol) + ", " + std::to_string(r.size) + " bytes";
    for (const Fault& f : r.faults)
        s += ", " + loopback::Describe(f);
    return s;
}

TEST(Loopback, EveryRowEndsAsExpected)
{
    const auto wall0 = std::chrono::steady_clock::now();
    Millis line_time = 0;
    for (const Row& row : kRows) {
        SCOPED_TRACE(RowName(row));
        MemoryFiles files;
        const std::string content = row.size >= 0 ? Content(static_cast<std::size_t>(row.size)) : "";
        if (row.size >= 0)
            files.Put("source.bin", content, 1000000000);
        Pair p = row.make(files, "source.bin", "dest.bin");
        const loopback::Result r = loopback::Run(*p.sender, *p.receiver, row.faults, /*limit=*/600000);
        line_time += r.line_time;

        EXPECT_FALSE(r.stuck);
        EXPECT_FALSE(r.over_time);
        EXPECT_EQ(r.a.ok, row.expect.sender_ok);
        EXPECT_EQ(r.a.last_error, row.expect.sender_error);
        EXPECT_EQ(r.b.ok, row.expect.receiver_ok);
        EXPECT_EQ(r.b.last_error, row.expect.receiver_error);
        ASSERT_FALSE(r.a.events.empty());
        ASSERT_FALSE(r.b.events.empty());
        EXPECT_EQ(r.a.events.back().kind, EventKind::kEnd);
        EXPECT_EQ(r.a.events.back().status, row.expect.sender_ok ? kStatusTermOk : kStatusTermError);
        EXPECT_EQ(r.b.events.back().kind, EventKind::kEnd);
        if (row.expect.receiver_ok) {
            const MemoryFiles::Entry* got = files.Find("dest.bin");
            ASSERT_NE(got, nullptr);
            EXPECT_TRUE(got->data == content) << "received " << got->data.size() << " bytes";
        }
        if (row.expect.sender_ok) {
            // The sender's progress ends at the file's size.
            std::int64_t last = -1;
            for (const Event& e : r.a.events)
                if (e.kind == EventKind::kProgress || e.kind == EventKind::kFileDone)
                    last = e.transferred;
            EXPECT_EQ(last, row.size);
        }
    }
    const double wall_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("loopback: %zu rows, %lld ms of line time in %.2f ms of real time\n", std::size(kRows),
                static_cast<long long>(line_time), wall_ms);
    EXPECT_LT(wall_ms, 2000.0);  // the fake clock never sleeps
}

// A scripted peer on side B: the harness takes any protocol, so a protocol
// can be tested against recorded answers as well as against itself.
class ScriptedReceiver final : public Protocol {
public:
    std::string seen;

protected:
    void OnStart(Millis) override {}
    void OnFeed(std::string_view bytes, Millis now) override
    {
        seen.append(bytes);
        // Answer the first block with NAK once, then ACK 0, then ACK 1 for the end block.
        if (seen.size() >= 6 && answers_ == 0) {
            ++answers_;
            Send("\x15");
            seen.clear();
        } else if (seen.size() >= 6 && answers_ == 1) {
            ++answers_;
            Send(std::string("\x06\x00", 2));
            seen.clear();
        } else if (seen.size() >= 5 && answers_ == 2) {
            ++answers_;
            Send(std::string("\x06\x01", 2));
            ArmTimer(now + 10);
        }
    }
    void OnTick(Millis) override { Finish(true); }

private:
    int answers_ = 0;
};

TEST(Loopback, ProtocolAgainstAScriptedPeer)
{
    MemoryFiles files;
    files.Put("one.bin", "x");
    demo::Sender sender(files, "one.bin");
    ScriptedReceiver peer;
    const loopback::Result r = loopback::Run(sender, peer, {}, 60000);
    EXPECT_TRUE(r.a.ok);
    EXPECT_TRUE(r.b.ok);
    EXPECT_EQ(sender.Retries(), 1);           // the NAK cost one repeat
    EXPECT_EQ(r.a.bytes_sent, 6u + 6u + 5u);  // block, its repeat, the end block
    EXPECT_LT(r.line_time, 100);              // a NAK is answered at once, not after the retry timer
}

}  // namespace
}  // namespace tolvex::transfer
