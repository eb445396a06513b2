// XModem and YModem through the loopback harness (fake clock) and against
// scripted peers: sizes, batches, faults, limits and the rules for names
// and files received from the line.

#include "transfer/xymodem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback.h"

namespace tolvex::transfer::xy {
namespace {

using loopback::Fault;
using loopback::Way;

constexpr FileTime kTime = 1700000000;  // 2023-11-14
constexpr Millis kLimit = 20 * 60 * 1000;

const char* Name(Variant v)
{
    static const char* const kNames[] = {"xmodem-checksum", "xmodem-crc", "xmodem-1k", "ymodem", "ymodem-g"};
    return kNames[static_cast<int>(v)];
}

std::string Content(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + 11) & 0xFF);  // every byte value, the control characters included
    return s;
}

bool Batch(Variant v) { return v >= Variant::kYModem; }

// What an XModem receiver keeps: the whole last block, padding included.
std::string Received(Variant v, const std::string& sent)
{
    if (Batch(v))
        return sent;
    const std::size_t block = v == Variant::k1K ? 1024 : 128;
    std::string r = sent;
    r.resize((sent.size() + block - 1) / block * block, static_cast<char>(kPad));
    return r;
}

// Wraps a protocol and, once `after` bytes have been fed to it, asks it to
// abort or tells it the line is gone.
class Inject final : public loopback::Wrapper {
public:
    enum class What { kAbort, kLineLost };
    Inject(Protocol& inner, std::size_t after, What what) : Wrapper(inner), after_(after), what_(what) {}

protected:
    void OnFeed(std::string_view bytes, Millis now) override
    {
        fed_ += bytes.size();
        Take(inner_.Feed(bytes, now));
        if (!Finished() && fed_ >= after_)
            Take(what_ == What::kAbort ? inner_.Ask(Request::kAbort, now) : inner_.LineLost(now));
    }

private:
    std::size_t fed_ = 0;
    std::size_t after_;
    What what_;
};

// A peer that says nothing.
class Silent final : public Protocol {
protected:
    void OnStart(Millis) override {}
    void OnFeed(std::string_view, Millis) override {}
    void OnTick(Millis) override {}
};

// A peer run by a function of what it received so far (it sees every byte
// once); answers with what the function returns.
class Scripted final : public Protocol {
public:
    using Script = std::function<std::string(std::string& seen, bool start)>;
    explicit Scripted(Script s) : script_(std::move(s)) {}
    std::string all;

protected:
    void OnStart(Millis) override { Send(script_(seen_, true)); }
    void OnFeed(std::string_view bytes, Millis) override
    {
        seen_.append(bytes);
        all.append(bytes);
        Send(script_(seen_, false));
    }
    void OnTick(Millis) override {}

private:
    Script script_;
    std::string seen_;
};

struct Session {
    MemoryFiles files;
    FileList up, down;
    std::unique_ptr<Sender> sender;
    std::unique_ptr<Receiver> receiver;
    loopback::Result r;

    Session(Variant sv, Variant rv, FileReadyHook hook = {})
    {
        sender = std::make_unique<Sender>(files, up, Options{sv, 11.52});
        receiver = std::make_unique<Receiver>(files, down, Options{rv, 11.52}, std::move(hook));
    }
    void Go(const std::vector<Fault>& faults = {}) { r = loopback::Run(*sender, *receiver, faults, kLimit); }
    std::string Got(const std::string& name) const
    {
        const MemoryFiles::Entry* e = files.Find(name);
        return e ? e->data : std::string("<missing>");
    }
};

int Count(const std::vector<Event>& events, int message)
{
    int n = 0;
    for (const Event& e : events)
        n += e.message == message && e.kind == EventKind::kError;
    return n;
}

const Variant kVariants[] = {Variant::kChecksum, Variant::kCrc, Variant::k1K, Variant::kYModem, Variant::kYModemG};

TEST(XYModem, EverySizeArrivesInEveryVariant)
{
    const std::size_t sizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 1 << 20};
    const auto wall0 = std::chrono::steady_clock::now();
    for (Variant v : kVariants) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(Name(v)) + ", " + std::to_string(size) + " bytes");
            const auto t0 = std::chrono::steady_clock::now();
            Session run(v, v);
            const std::string content = Content(size);
            run.files.Put("src/a.bin", content, kTime);
            run.up.Add("src/a.bin");
            run.down.Add("in/a.bin");
            run.Go();
            EXPECT_FALSE(run.r.stuck);
            EXPECT_TRUE(run.r.a.ok);
            EXPECT_TRUE(run.r.b.ok);
            EXPECT_TRUE(run.Got("in/a.bin") == Received(v, content)) << run.Got("in/a.bin").size();
            // YModem carries the time; XModem has nothing to carry it in.
            EXPECT_EQ(run.files.Find("in/a.bin")->time, Batch(v) ? kTime : 0);
            std::int64_t last = -1;
            for (const Event& e : run.r.a.events)
                if (e.kind == EventKind::kProgress)
                    last = e.transferred;
            EXPECT_EQ(last, size == 0 ? -1 : static_cast<std::int64_t>(size));
            // The fake clock never sleeps: a 1 MiB row is line minutes in milliseconds.
            if (size == (1u << 20))
                std::printf("%s, 1 MiB: %lld ms of line time in %.0f ms\n", Name(v),
                            static_cast<long long>(run.r.line_time),
                            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    std::printf("all sizes, all variants: %.0f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count());
}

TEST(XYModem, RealSubCharactersAtTheEndStay)
{
    // 0x1A is not padding: a file ending in it keeps every one.
    const std::string content = Content(300) + std::string(5, '\x1a');
    for (Variant v : kVariants) {
        SCOPED_TRACE(Name(v));
        Session run(v, v);
        run.files.Put("a", content, kTime);
        run.up.Add("a");
        run.down.Add("b");
        run.Go();
        EXPECT_TRUE(run.r.b.ok);
        EXPECT_TRUE(run.Got("b") == Received(v, content));
    }
}

TEST(XYModem, BlockLayoutOnTheLine)
{
    struct Case {
        Variant v;
        std::size_t size;
        std::size_t sender_bytes;
    };
    const Case cases[] = {
        {Variant::k1K, 1000, 1029 + 1},                   // one STX block, 24 bytes of padding, EOT
        {Variant::kCrc, 1000, 8 * 133 + 1},               // eight SOH blocks
        {Variant::kChecksum, 1000, 8 * 132 + 1},          // one check byte
        {Variant::kYModem, 1000, 133 + 8 * 133 + 1 + 133},  // header, 7 x 128 + 104, EOT, end block
        {Variant::kYModem, 2049, 133 + 2 * 1029 + 133 + 1 + 133},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Name(c.v)) + " " + std::to_string(c.size));
        Session run(c.v, c.v);
        run.files.Put("a", Content(c.size), kTime);
        run.up.Add("a");
        run.down.Add("b");
        run.Go();
        EXPECT_TRUE(run.r.b.ok);
        EXPECT_EQ(run.r.a.bytes_sent, c.sender_bytes);
    }
    EXPECT_EQ(Block(1, std::string(128, 'x'), true).size(), 133u);
    EXPECT_EQ(Block(7, std::string(1024, 'x'), false)[0], static_cast<char>(kStx));
    // A CRC over the data and its own two bytes is 0; the table is CRC-16/XMODEM.
    EXPECT_EQ(Crc16("123456789"), 0x31C3);
    const std::string b = Block(3, std::string(128, '\x5a'), true);
    EXPECT_EQ(Crc16(std::string_view(b).substr(3)), 0);
}

TEST(XYModem, BatchesKeepNamesSizesAndTimes)
{
    for (Variant v : {Variant::kYModem, Variant::kYModemG}) {
        SCOPED_TRACE(Name(v));
        Session run(v, v);
        const std::size_t sizes[] = {1000, 0, 5000};
        const char* names[] = {"dir/one.txt", "two.bin", "x/y/three"};
        for (int i = 0; i < 3; ++i) {
            run.files.Put(names[i], Content(sizes[i]), kTime + i);
            run.up.Add(names[i]);
        }
        // The first file under the Download name; the others under their
        // own names in its folder.
        run.down.Add("dl/first.txt");
        run.Go();
        EXPECT_TRUE(run.r.a.ok);
        EXPECT_TRUE(run.r.b.ok);
        const char* got[] = {"dl/first.txt", "dl/two.bin", "dl/three"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(run.Got(got[i]) == Content(sizes[i])) << got[i];
            EXPECT_EQ(run.files.Find(got[i])->time, kTime + i);
        }
    }
    // XModem: one transfer per file, each to its own name.
    Session run(Variant::kCrc, Variant::kCrc);
    run.files.Put("a", Content(200));
    run.files.Put("b", Content(300));
    run.up.Add("a");
    run.up.Add("b");
    run.down.Add("a.out");
    run.down.Add("b.out");
    run.Go();
    EXPECT_TRUE(run.r.a.ok);
    EXPECT_TRUE(run.r.b.ok);
    EXPECT_TRUE(run.Got("a.out") == Received(Variant::kCrc, Content(200)));
    EXPECT_TRUE(run.Got("b.out") == Received(Variant::kCrc, Content(300)));
}

TEST(XYModem, FaultsOnTheLine)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        bool sender_ok, receiver_ok;
        int sender_error, receiver_error;  // last error message, checked when failing
    };
    // Byte positions in a 3000-byte transfer; A is the sender, B the receiver.
    const Case cases[] = {
        {"drop in a block", {Fault::Drop(Way::kAtoB, 300)}, true, true, 0, 0},
        {"drop a header byte", {Fault::Drop(Way::kAtoB, 0)}, true, true, 0, 0},
        {"flip in a block", {Fault::Flip(Way::kAtoB, 500, 2)}, true, true, 0, 0},
        {"flip a block number", {Fault::Flip(Way::kAtoB, 134, 0)}, true, true, 0, 0},
        {"lose an ACK", {Fault::Drop(Way::kBtoA, 2)}, true, true, 0, 0},
        {"flip an ACK", {Fault::Flip(Way::kBtoA, 3, 4)}, true, true, 0, 0},
        {"several", {Fault::Drop(Way::kAtoB, 100), Fault::Flip(Way::kAtoB, 900, 7), Fault::Drop(Way::kBtoA, 4)},
         true, true, 0, 0},
        {"short stall", {Fault::Stall(Way::kAtoB, 400, 1500)}, true, true, 0, 0},
        {"stall past the ACK wait", {Fault::Stall(Way::kBtoA, 3, 4000)}, true, true, 0, 0},
        {"line cut", {Fault::Cut(Way::kAtoB, 2500)}, false, false, 2008, 2008},
    };
    for (Variant v : {Variant::kChecksum, Variant::kCrc, Variant::k1K, Variant::kYModem}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(Name(v)) + ": " + c.what);
            Session run(v, v);
            const std::string content = Content(3000);
            run.files.Put("a", content, kTime);
            run.up.Add("a");
            run.down.Add("b");
            run.Go(c.faults);
            EXPECT_FALSE(run.r.stuck);
            EXPECT_FALSE(run.r.over_time);
            EXPECT_EQ(run.r.a.ok, c.sender_ok);
            EXPECT_EQ(run.r.b.ok, c.receiver_ok);
            if (c.receiver_ok) {
                EXPECT_TRUE(run.Got("b") == Received(v, content));
            }
            if (!c.sender_ok) {
                EXPECT_EQ(run.r.a.last_error, c.sender_error);
            }
            if (!c.receiver_ok) {
                EXPECT_EQ(run.r.b.last_error, c.receiver_error);
                // A file that did not arrive whole keeps no announced time.
                EXPECT_EQ(run.files.Find("b")->time, 0);
            }
        }
    }
}

TEST(XYModem, YModemGHasNoSecondChance)
{
    // Streaming: the receiver answers only the headers and EOT; damage ends it.
    Session clean(Variant::kYModemG, Variant::kYModemG);
    clean.files.Put("a", Content(20000));
    clean.up.Add("a");
    clean.down.Add("b");
    clean.Go();
    EXPECT_TRUE(clean.r.b.ok);
    EXPECT_LE(clean.r.b.bytes_sent, 8u);  // G, ACK, G, ACK (EOT), G, ACK (end block)

    Session hurt(Variant::kYModemG, Variant::kYModemG);
    hurt.files.Put("a", Content(20000));
    hurt.up.Add("a");
    hurt.down.Add("b");
    hurt.Go({Fault::Flip(Way::kAtoB, 5000, 1)});
    EXPECT_FALSE(hurt.r.a.ok);
    EXPECT_FALSE(hurt.r.b.ok);
    EXPECT_EQ(hurt.r.a.last_error, 2006);  // the receiver cancelled

    // Streaming only for a receiver that asked with "G": protocol 4 against
    // a receiver asking "C" gets acknowledged blocks.
    Session mixed(Variant::kYModemG, Variant::kYModem);
    mixed.files.Put("a", Content(5000));
    mixed.up.Add("a");
    mixed.down.Add("b");
    mixed.Go({Fault::Drop(Way::kAtoB, 2000)});
    EXPECT_TRUE(mixed.r.a.ok);
    EXPECT_TRUE(mixed.r.b.ok);
    EXPECT_TRUE(mixed.Got("b") == Content(5000));
}

TEST(XYModem, CancelAndLineLossEndBothSides)
{
    struct Case {
        const char* what;
        bool on_sender;
        Inject::What what_kind;
        int own_error, peer_error;
        std::int16_t own_status;
    };
    const Case cases[] = {
        {"sender aborts", true, Inject::What::kAbort, 2027, 2006, kStatusAbort},
        {"receiver aborts", false, Inject::What::kAbort, 2027, 2006, kStatusAbort},
        {"sender loses the line", true, Inject::What::kLineLost, 2012, 0, kStatusLostCarrier},
        {"receiver loses the line", false, Inject::What::kLineLost, 2012, 0, kStatusLostCarrier},
    };
    for (Variant v : kVariants) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(Name(v)) + ": " + c.what);
            Session run(v, v);
            run.files.Put("a", Content(20000), kTime);
            run.up.Add("a");
            run.down.Add("b");
            const std::size_t after = c.on_sender ? 4 : 3000;
            Inject sender(*run.sender, after, c.what_kind);
            Inject receiver(*run.receiver, after, c.what_kind);
            Protocol& a = c.on_sender ? static_cast<Protocol&>(sender) : *run.sender;
            Protocol& b = c.on_sender ? *run.receiver : static_cast<Protocol&>(receiver);
            run.r = loopback::Run(a, b, {}, kLimit);
            const loopback::SideResult& own = c.on_sender ? run.r.a : run.r.b;
            const loopback::SideResult& peer = c.on_sender ? run.r.b : run.r.a;
            EXPECT_FALSE(own.ok);
            EXPECT_FALSE(peer.ok);
            EXPECT_EQ(own.last_error, c.own_error);
            ASSERT_GE(own.events.size(), 2u);
            EXPECT_EQ(own.events[own.events.size() - 2].status, c.own_status);
            if (c.peer_error) {
                EXPECT_EQ(peer.last_error, c.peer_error);
            }
            // The peer of a lost line runs into its own limits.
            EXPECT_FALSE(run.r.stuck);
        }
    }
}

TEST(XYModem, SilentPeersAndRetryLimits)
{
    for (Variant v : kVariants) {
        SCOPED_TRACE(Name(v));
        {
            // A receiver that never answers: six waits of 10 s for the start.
            MemoryFiles files;
            files.Put("a", "x");
            FileList list;
            list.Add("a");
            Sender s(files, list, {v, 0});
            Silent peer;
            const loopback::Result r = loopback::Run(s, peer, {}, kLimit);
            EXPECT_FALSE(r.a.ok);
            EXPECT_EQ(r.a.last_error, 2027);
            EXPECT_EQ(Count(r.a.events, 2001), kStartReads);
            EXPECT_EQ(r.line_time, kStartReads * kStartWait);
            EXPECT_EQ(r.a.bytes_sent, 0u);
        }
        {
            // A sender that never answers: ten requests of 10 s, the last
            // four with NAK.
            MemoryFiles files;
            files.Put("keep", "old contents");
            FileList list;
            list.Add("keep");
            Receiver rx(files, list, {v, 0});
            Silent peer;
            const loopback::Result r = loopback::Run(peer, rx, {}, kLimit);
            EXPECT_FALSE(r.b.ok);
            EXPECT_EQ(r.b.last_error, 2027);
            EXPECT_EQ(r.line_time, kRequests * kRequestWait);
            ASSERT_EQ(r.b.bytes_sent, static_cast<std::size_t>(kRequests));
            // A transfer that never started leaves the file as it was.
            EXPECT_EQ(files.Find("keep")->data, "old contents");
        }
    }
    {
        // NAK five times, then ACK: five repeats, each reported.
        MemoryFiles files;
        files.Put("a", Content(100));
        FileList list;
        list.Add("a");
        Sender s(files, list, {Variant::kCrc, 0});
        int naks = 0;
        Scripted peer([&](std::string& seen, bool start) -> std::string {
            if (start)
                return "C";
            if (seen == "\x04") {
                seen.clear();
                return "\x06";
            }
            if (seen.size() < 133)
                return "";
            seen.clear();
            return naks++ < 5 ? "\x15" : "\x06";
        });
        const loopback::Result r = loopback::Run(s, peer, {}, kLimit);
        EXPECT_TRUE(r.a.ok);
        EXPECT_EQ(s.Retries(), 5);
        EXPECT_EQ(Count(r.a.events, 2005), 5);
    }
    {
        // NAK for ever: eleven sends, then the sender gives up.
        MemoryFiles files;
        files.Put("a", Content(100));
        FileList list;
        list.Add("a");
        Sender s(files, list, {Variant::kCrc, 0});
        Scripted peer([](std::string& seen, bool start) -> std::string {
            if (start)
                return "C";
            if (seen.size() < 133)
                return "";
            seen.clear();
            return "\x15";
        });
        const loopback::Result r = loopback::Run(s, peer, {}, kLimit);
        EXPECT_FALSE(r.a.ok);
        EXPECT_EQ(r.a.last_error, 2008);
        EXPECT_EQ(peer.all.size(), static_cast<std::size_t>(kBlockAttempts) * 133 + AbortSequence().size());
    }
    {
        // A sender that sends only noise: ten errors, then the receiver gives up.
        MemoryFiles files;
        FileList list;
        list.Add("b");
        Receiver rx(files, list, {Variant::kCrc, 0});
        Scripted peer([](std::string& seen, bool) -> std::string {
            if (seen.empty())
                return "";
            seen.clear();
            return "noise";
        });
        const loopback::Result r = loopback::Run(peer, rx, {}, kLimit);
        EXPECT_FALSE(r.b.ok);
        EXPECT_EQ(r.b.last_error, 2008);
    }
}

TEST(XYModem, AnswersThatCameBeforeARepeatAreStale)
{
    // A NAK and a stale ACK read together: the sender repeats the block
    // and waits for the answer to the repeat, instead of taking the stale
    // ACK for it and running one block ahead of the receiver.
    MemoryFiles files;
    files.Put("a", Content(256));
    FileList list;
    list.Add("a");
    Sender s(files, list, {Variant::kCrc, 0});
    s.Start(0);
    const std::string b1 = s.Feed("C", 10).send;
    ASSERT_EQ(b1.size(), 133u);
    EXPECT_EQ(s.Feed("\x15\x06", 20).send, b1);
    const std::string b2 = s.Feed("\x06", 30).send;
    ASSERT_EQ(b2.size(), 133u);
    EXPECT_EQ(b2[1], 2);
    EXPECT_EQ(s.Retries(), 1);
}

TEST(XYModem, EndOfBatchWithoutAnAnswerIsStillASuccess)
{
    // The receiver goes away after the last file: its answer to the empty
    // header is lost for good.
    Session run(Variant::kYModem, Variant::kYModem);
    run.files.Put("a", Content(500));
    run.up.Add("a");
    run.down.Add("b");
    // B>A: C, ACK(header), C, 4 x ACK, ACK(EOT), then C for the next header.
    run.Go({Fault::Cut(Way::kBtoA, 8)});
    EXPECT_TRUE(run.r.a.ok);
    EXPECT_TRUE(run.Got("b") == Content(500));
}

TEST(XYModem, EmptyXModemFileIsAnEmptyFileAndSuccess)
{
    // The sender answers the first request with EOT.
    MemoryFiles files;
    files.Put("b", "old");
    FileList list;
    list.Add("b");
    Receiver rx(files, list, {Variant::kCrc, 0});
    Scripted peer([](std::string& seen, bool) -> std::string {
        if (seen != "C")
            return "";
        seen.clear();
        return "\x04";
    });
    const loopback::Result r = loopback::Run(peer, rx, {}, kLimit);
    EXPECT_TRUE(r.b.ok);
    EXPECT_EQ(files.Find("b")->data, "");
}

TEST(XYModem, NamesFromTheLineStayInTheFolder)
{
    struct Case {
        const char* line;
        bool has_info;
        const char* kept;
    };
    const Case cases[] = {
        {"../evil.txt", true, "evil.txt"},
        {"/tmp/x", true, "x"},
        {"a/b/c.txt", true, "c.txt"},
        {"..", true, ""},
        {".", true, ""},
        {"dir/", true, ""},
        {"\x83\x5c\x83\x67.txt", true, "\x83\x5c\x83\x67.txt"},  // CP932 with 0x5C second bytes stays whole
        {"../up", false, ".._up"},
        {"name.", false, "name"},
        {"..", false, ""},
        {"/", false, "_"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeLineName(c.line, c.has_info), c.kept) << c.line;

    // Through a receiver, from a sender that puts the name on the line as
    // it is (as "sb -f" does).
    const char* hostile[] = {"../evil.txt", "/tmp/x", ".."};
    const char* stored[] = {"evil.txt", "x", "UNTITLED.000"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(hostile[i]);
        MemoryFiles files;
        FileList list;
        list.Add("");
        Receiver rx(files, list, {Variant::kYModem, 0});
        int step = 0;
        const std::string name = hostile[i];
        Scripted peer([&](std::string& seen, bool) -> std::string {
            static const char* const kAsk[] = {"C", "\x06" "C", "\x06", "\x06" "C", "\x06"};
            if (step > 4 || seen.find(kAsk[step]) == std::string::npos)
                return "";
            seen.clear();
            switch (step++) {
            case 0: return Block(0, HeaderData(name, 7, kTime), true);
            case 1: return Block(1, std::string("payload") + std::string(121, '\xff'), true);
            case 2: return "\x04";
            case 3: return Block(0, HeaderData("", 0, 0), true);
            default: return "";
            }
        });
        const loopback::Result r = loopback::Run(peer, rx, {}, kLimit);
        EXPECT_TRUE(r.b.ok);
        ASSERT_NE(files.Find(stored[i]), nullptr);
        EXPECT_EQ(files.Find(stored[i])->data, "payload");
        EXPECT_EQ(files.Find(name), nullptr);
    }
}

TEST(XYModem, HeadersSizesAndLongNames)
{
    const Header h = ParseHeader(std::string("big.bin\0" "4294967296 14540000000 100644", 37));
    EXPECT_EQ(h.name, "big.bin");
    EXPECT_TRUE(h.has_info);
    EXPECT_EQ(h.length, 4294967296LL);  // past 2^32: no wrap
    EXPECT_EQ(h.time, 014540000000);
    const Header none = ParseHeader(std::string("plain\0\0", 7));
    EXPECT_FALSE(none.has_info);
    EXPECT_EQ(none.length, -1);
    EXPECT_TRUE(ParseHeader(std::string(128, '\0')).name.empty());
    // Hostile digits saturate instead of wrapping to a small size.
    EXPECT_GT(ParseHeader(std::string("n\0", 2) + std::string(60, '9')).length, 1LL << 40);

    // A name that does not fit 128 bytes goes in a 1024-byte block 0.
    const std::string longname(200, 'n');
    EXPECT_EQ(HeaderData(longname, 10, kTime).size(), 1024u);
    EXPECT_EQ(HeaderData("short", 10, kTime).size(), 128u);
    Session run(Variant::kYModem, Variant::kYModem);
    run.files.Put(longname, "data", kTime);
    run.up.Add(longname);
    run.down.Add("");
    run.Go();
    EXPECT_TRUE(run.r.b.ok);
    EXPECT_EQ(run.Got(longname), "data");
}

TEST(XYModem, TheApplicationRenamesOrSkipsAReceivedFile)
{
    Session renamed(Variant::kYModem, Variant::kYModem, [](const Event& ready) {
        EXPECT_EQ(ready.file, "a.txt");
        EXPECT_EQ(ready.size, 1000);
        EXPECT_EQ(ready.time, kTime);
        return FileChoice{std::string("other.txt"), false};
    });
    renamed.files.Put("a.txt", Content(1000), kTime);
    renamed.up.Add("a.txt");
    renamed.down.Add("");
    renamed.Go();
    EXPECT_TRUE(renamed.r.b.ok);
    EXPECT_TRUE(renamed.Got("other.txt") == Content(1000));

    Session skipped(Variant::kYModem, Variant::kYModem, [](const Event&) { return FileChoice{std::nullopt, true}; });
    skipped.files.Put("a.txt", Content(1000), kTime);
    skipped.up.Add("a.txt");
    skipped.down.Add("");
    skipped.Go();
    EXPECT_FALSE(skipped.r.b.ok);
    EXPECT_EQ(skipped.r.b.last_error, 2000);
    EXPECT_EQ(skipped.r.a.last_error, 2006);
    EXPECT_EQ(skipped.files.Find("a.txt")->data, Content(1000));
}

TEST(XYModem, UnwritableDestinationRefusesAtOnce)
{
    Session run(Variant::kCrc, Variant::kCrc);
    run.files.Put("a", "x");
    run.files.refuse["ro/b"] = 13;
    run.up.Add("a");
    run.down.Add("ro/b");
    run.Go();
    EXPECT_FALSE(run.r.b.ok);
    EXPECT_EQ(run.r.b.last_error, 2000);
    ASSERT_FALSE(run.r.b.events.empty());
    EXPECT_EQ(run.r.b.events.front().transferred, 13);  // the cause
    EXPECT_FALSE(run.r.a.ok);
}

TEST(XYModem, FileListClosesOnceFoundEmpty)
{
    FileList list;
    EXPECT_TRUE(list.Add("a"));
    EXPECT_EQ(list.Take(), "a");
    EXPECT_EQ(list.Take(), std::nullopt);
    EXPECT_FALSE(list.Add("late"));  // refused, not dropped in silence
}

}  // namespace
}  // namespace tolvex::transfer::xy
