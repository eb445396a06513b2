// ZModem: the frame layer (headers, escaping, subpackets, both CRCs), the
// reader, and the sender and receiver through the loopback harness (fake
// clock) and against scripted peers: sizes, options, faults, limits,
// resume, skip, batches and names from the line.

#include "transfer/zmodem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback.h"

namespace tolvex::transfer::zm {
namespace {

using loopback::Fault;
using loopback::Way;
using Item = Reader::Item;

constexpr FileTime kTime = 1700000000;  // 2023-11-14
constexpr Millis kLimit = 30 * 60 * 1000;

std::string Content(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + 11) & 0xFF);  // every byte value, ZDLE and XON included
    return s;
}

std::vector<Item> ReadAll(Reader& r, std::string_view bytes, bool bytewise)
{
    std::vector<Item> items;
    Item it;
    auto drain = [&] {
        while (r.Next(it)) {
            items.push_back(it);
            if (it.kind == Item::Kind::kHeader &&
                (it.header.type == kZData || it.header.type == kZFile || it.header.type == kZSInit))
                r.ExpectData(it.form == kZBin32, kMaxData);
        }
    };
    if (bytewise) {
        for (char c : bytes) {
            r.Feed(std::string_view(&c, 1));
            drain();
        }
    } else {
        r.Feed(bytes);
        drain();
    }
    return items;
}

int Count(const std::vector<Event>& events, int message)
{
    int n = 0;
    for (const Event& e : events)
        n += e.kind == EventKind::kError && e.message == message;
    return n;
}

bool Has(const std::vector<Event>& events, std::int16_t status)
{
    for (const Event& e : events)
        if (e.status == status)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Frames

TEST(ZModemFrames, CrcsAndFixedHeaders)
{
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    // The residue: the CRC register after the data and its own CRC (low byte first).
    const std::uint32_t c = Crc32("abc");
    const std::string tail = {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16),
                              static_cast<char>(c >> 24)};
    EXPECT_EQ(Crc32Update(0xFFFFFFFFu, "abc" + tail), kCrc32Residue);
    // Eight bytes at a time: every length and start offset around the
    // eight-byte steps, and a CRC carried over pieces, match bit by bit.
    auto bitwise = [](std::string_view bytes) {
        std::uint32_t r = 0xFFFFFFFFu;
        for (char ch : bytes) {
            r ^= static_cast<std::uint8_t>(ch);
            for (int k = 0; k < 8; ++k)
                r = (r & 1) ? (0xEDB88320u ^ (r >> 1)) : (r >> 1);
        }
        return ~r;
    };
    std::string bytes(64, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 167 + 13);
    for (std::size_t from = 0; from < 9; ++from)
        for (std::size_t n = 0; from + n <= bytes.size(); ++n) {
            const std::string_view part = std::string_view(bytes).substr(from, n);
            ASSERT_EQ(Crc32(part), bitwise(part)) << from << "+" << n;
            ASSERT_EQ(~Crc32Update(Crc32Update(0xFFFFFFFFu, part.substr(0, n / 3)), part.substr(n / 3)),
                      bitwise(part)) << from << "+" << n;
        }

    // ZRQINIT as every receiver expects to see it; ZACK and ZFIN end without XON.
    EXPECT_EQ(HexHeader(Header::At(kZRqInit, 0)), std::string("**\x18" "B00000000000000\r\x8a\x11"));
    const std::string ack = HexHeader(Header::At(kZAck, 0x12345678));
    EXPECT_EQ(ack.substr(0, 14), std::string("**\x18" "B0378563412"));
    EXPECT_EQ(ack.substr(ack.size() - 2), "\r\x8a");
    EXPECT_EQ(HexHeader(Header::At(kZFin, 0)).back(), '\x8a');
    EXPECT_EQ(HexHeader(Header::At(kZRPos, 7)).back(), '\x11');
    // A ZRINIT carries its flags in ZF0 (the fourth byte) and the buffer in the first two.
    EXPECT_EQ(HexHeader(Header::Flags(kZRInit, 0x23)).substr(4, 10), "0100000023");
    EXPECT_EQ(Header::At(kZRPos, 1000).Pos(), 1000u);
}

TEST(ZModemFrames, EscapingRules)
{
    struct Case {
        std::uint8_t byte;
        bool plain, all;  // escaped normally, escaped with every control character
    };
    const Case cases[] = {
        {0x18, true, true},  {0x11, true, true},  {0x13, true, true},  {0x91, true, true},
        {0x93, true, true},  {0x00, false, true}, {0x0D, false, true}, {0x10, false, true},
        {0x81, false, true}, {0x20, false, false}, {0x41, false, false}, {0x7F, false, false},
        {0xFF, false, false}, {0x2A, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        const std::string b(1, static_cast<char>(c.byte));
        const std::string escaped = {static_cast<char>(kZDle), static_cast<char>(c.byte ^ 0x40)};
        std::string plain, all;
        Escape(plain, b, false);
        Escape(all, b, true);
        EXPECT_EQ(plain, c.plain ? escaped : b);
        EXPECT_EQ(all, c.all ? escaped : b);
    }
}

TEST(ZModemFrames, WhatIsWrittenIsReadBack)
{
    const std::string data = Content(1024);
    const std::uint8_t ends[] = {kZCrcG, kZCrcQ, kZCrcW, kZCrcE};
    for (bool crc32 : {false, true}) {
        for (bool all : {false, true}) {
            for (bool bytewise : {false, true}) {
                SCOPED_TRACE(std::string(crc32 ? "crc32" : "crc16") + (all ? " escctl" : "") +
                             (bytewise ? " byte by byte" : ""));
                // ZCRCW ends a frame too: the last subpacket gets a header of its own.
                std::string wire = HexHeader(Header::At(kZRPos, 0x01020304)) +
                                   BinHeader(Header::At(kZData, 0x18111391), crc32, all);
                for (std::uint8_t e : ends) {
                    if (e == kZCrcE)
                        wire += BinHeader(Header::At(kZData, 0x18111391), crc32, all);
                    wire += Subpacket(data.substr(0, 100 + e), e, crc32, all);
                }
                if (all) {  // nothing below 0x20 crosses bare
                    for (char c : wire.substr(wire.find('\x8a') + 2))
                        EXPECT_FALSE((static_cast<std::uint8_t>(c) & 0x60) == 0 && c != '\x18' && c != '\x11');
                }
                Reader r;
                const std::vector<Item> items = ReadAll(r, wire, bytewise);
                ASSERT_EQ(items.size(), 7u);
                EXPECT_EQ(items[0].kind, Item::Kind::kHeader);
                EXPECT_EQ(items[0].form, kZHex);
                EXPECT_EQ(items[0].header, Header::At(kZRPos, 0x01020304));
                EXPECT_EQ(items[1].form, crc32 ? kZBin32 : kZBin);
                EXPECT_EQ(items[1].header, Header::At(kZData, 0x18111391));
                EXPECT_EQ(items[5].header, Header::At(kZData, 0x18111391));
                const std::size_t at[] = {2, 3, 4, 6};
                for (int i = 0; i < 4; ++i) {
                    EXPECT_EQ(items[at[i]].kind, Item::Kind::kData);
                    EXPECT_EQ(items[at[i]].end, ends[i]);
                    EXPECT_TRUE(items[at[i]].data == data.substr(0, 100 + ends[i]));
                }
                EXPECT_FALSE(r.InData());  // ZCRCE ended the frame
            }
        }
    }
}

TEST(ZModemFrames, ReaderRefusesWhatIsWrong)
{
    const std::string good = BinHeader(Header::At(kZData, 0), true, false);
    // A flipped bit in a header or subpacket; ZCRCE data may come in through XON noise.
    {
        std::string wire = good;
        wire[5] = static_cast<char>(wire[5] ^ 4);
        Reader r;
        auto items = ReadAll(r, wire, false);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].kind, Item::Kind::kBadHeader);
    }
    {
        std::string sub = Subpacket("hello", kZCrcE, true, false);
        sub[2] = 'X';
        Reader r;
        auto items = ReadAll(r, good + sub + good + "\x11" + Subpacket("ok", kZCrcE, true, false), false);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[1].kind, Item::Kind::kBadData);
        EXPECT_EQ(items[3].kind, Item::Kind::kData);
        EXPECT_EQ(items[3].data, "ok");
    }
    // Five CAN in a row, even inside data, mean the far side cancelled.
    {
        Reader r;
        auto items = ReadAll(r, good + "abc" + std::string(5, '\x18') + std::string(5, '\x08'), false);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[1].kind, Item::Kind::kCancel);
    }
    // Run-length frames are not taken; garbage without a header ends the search.
    {
        Reader r;
        auto items = ReadAll(r, std::string("*\x18" "D") + std::string(kMaxGarbage + 1, 'x'), false);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].kind, Item::Kind::kBadHeader);
        EXPECT_EQ(items[1].kind, Item::Kind::kBadHeader);
    }
}

TEST(ZModemFrames, SubpacketLimits)
{
    struct Case {
        std::size_t max, size;
        bool taken;
    };
    // Data up to 8 KiB (sz -8), file information up to 1 KiB, attention up to 32 bytes.
    const Case cases[] = {{kMaxData, 8192, true},       {kMaxData, 8193, false}, {kMaxFileInfo, 1024, true},
                          {kMaxFileInfo, 1025, false}, {kMaxAttention, 32, true}, {kMaxAttention, 33, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.max) + "/" + std::to_string(c.size));
        Reader r;
        r.ExpectData(true, c.max);
        r.Feed(Subpacket(Content(c.size), kZCrcW, true, false));
        Item it;
        ASSERT_TRUE(r.Next(it));
        EXPECT_EQ(it.kind, c.taken ? Item::Kind::kData : Item::Kind::kBadData);
    }
}

// ---------------------------------------------------------------------------
// Sender and receiver on the loopback line

struct Session {
    MemoryFiles files;
    FileList up, down;
    std::unique_ptr<Sender> sender;
    std::unique_ptr<Receiver> receiver;
    loopback::Result r;

    explicit Session(Options so = {}, Options ro = {}, FileReadyHook hook = {})
    {
        sender = std::make_unique<Sender>(files, up, so);
        receiver = std::make_unique<Receiver>(files, down, ro, std::move(hook));
    }
    void Go(const std::vector<Fault>& faults = {}) { r = loopback::Run(*sender, *receiver, faults, kLimit); }
    std::string Got(const std::string& name) const
    {
        const MemoryFiles::Entry* e = files.Find(name);
        return e ? e->data : std::string("<missing>");
    }
    FileTime TimeOf(const std::string& name) const
    {
        const MemoryFiles::Entry* e = files.Find(name);
        return e ? e->time : -1;
    }
};

TEST(ZModem, EverySizeArrivesWithEveryOption)
{
    struct Config {
        const char* name;
        Options sender, receiver;
    };
    Options crc16;
    crc16.crc32 = false;
    Options escctl;
    escctl.escape_all = true;
    Options nowindow;
    nowindow.window = 0;
    const Config configs[] = {
        {"crc32, window 16 KiB", {}, {}},
        {"crc16", {}, crc16},
        {"escctl asked by the receiver", {}, escctl},
        {"escctl by the sender", escctl, {}},
        {"no window", nowindow, {}},
    };
    const std::size_t sizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 1 << 20};
    for (const Config& c : configs) {
        for (std::size_t size : sizes) {
            if (size == (1u << 20) && c.name != configs[0].name && c.name != configs[4].name)
                continue;  // the large file once per window
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size) + " bytes");
            const auto t0 = std::chrono::steady_clock::now();
            Session run(c.sender, c.receiver);
            const std::string content = Content(size);
            run.files.Put("src/a.bin", content, kTime);
            run.up.Add("src/a.bin");
            run.down.Add("in/a.bin");
            run.Go();
            EXPECT_FALSE(run.r.stuck);
            EXPECT_TRUE(run.r.a.ok) << run.r.a.last_error;
            EXPECT_TRUE(run.r.b.ok) << run.r.b.last_error;
            EXPECT_TRUE(run.Got("in/a.bin") == content) << run.Got("in/a.bin").size();
            EXPECT_EQ(run.TimeOf("in/a.bin"), kTime);
            EXPECT_EQ(run.r.a.last_error, 0);
            EXPECT_EQ(run.r.b.last_error, 0);
            if (size == (1u << 20)) {
                // Close to the line's rate: no stop-and-wait per subpacket.
                EXPECT_LT(run.r.line_time, static_cast<Millis>(1.15 * (1 << 20) / 11.52));
                std::printf("%s, 1 MiB: %lld ms of line time in %.0f ms\n", c.name,
                            static_cast<long long>(run.r.line_time),
                            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            }
        }
    }
}

TEST(ZModem, FaultsAreMended)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
    };
    // The file is 20 KiB; its data starts after some 170 bytes of the sender.
    const Case cases[] = {
        {"flip in the first data", {Fault::Flip(Way::kAtoB, 300, 2)}},
        {"flip late", {Fault::Flip(Way::kAtoB, 15000, 6)}},
        {"flips in a row", {Fault::Flip(Way::kAtoB, 2000, 0), Fault::Flip(Way::kAtoB, 2600, 1),
                            Fault::Flip(Way::kAtoB, 9000, 7)}},
        {"drop in data", {Fault::Drop(Way::kAtoB, 5000)}},
        {"drop in ZFILE", {Fault::Drop(Way::kAtoB, 40)}},
        {"drop in ZRINIT", {Fault::Drop(Way::kBtoA, 5)}},
        {"drops of answers", {Fault::Drop(Way::kBtoA, 30), Fault::Drop(Way::kBtoA, 60), Fault::Drop(Way::kBtoA, 90)}},
        {"flip in a ZRPOS", {Fault::Flip(Way::kAtoB, 3000, 3), Fault::Flip(Way::kBtoA, 45, 1)}},
        {"short stall", {Fault::Stall(Way::kAtoB, 4000, 3000)}},
        {"long stall", {Fault::Stall(Way::kAtoB, 4000, 12000)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session run;
        const std::string content = Content(20 * 1024);
        run.files.Put("a.bin", content, kTime);
        run.up.Add("a.bin");
        run.down.Add("in/a.bin");
        run.Go(c.faults);
        EXPECT_FALSE(run.r.stuck);
        EXPECT_TRUE(run.r.a.ok) << run.r.a.last_error;
        EXPECT_TRUE(run.r.b.ok) << run.r.b.last_error;
        EXPECT_TRUE(run.Got("in/a.bin") == content);
        EXPECT_EQ(run.TimeOf("in/a.bin"), kTime);
        EXPECT_LT(run.r.line_time, 60000);
    }
}

TEST(ZModem, DamagedZEofIsAnsweredAtOnce)
{
    // A clean run tells where the sender's ZEOF lies: before ZFIN (hex, 20
    // bytes) and "OO".
    Session clean;
    const std::string content = Content(1000);
    clean.files.Put("a.bin", content, kTime);
    clean.up.Add("a.bin");
    clean.Go();
    ASSERT_TRUE(clean.r.a.ok);
    const std::size_t in_zeof = clean.r.a.bytes_sent - 22 - 2;
    // A damaged one at once; a lost byte after one receive timeout, long
    // before the sender would give up.
    const std::pair<Fault, Millis> cases[] = {{Fault::Flip(Way::kAtoB, in_zeof, 0), 1000},
                                              {Fault::Drop(Way::kAtoB, in_zeof), kTimeout + 1000}};
    for (const auto& [fault, extra] : cases) {
        SCOPED_TRACE(loopback::Describe(fault));
        Session run;
        run.files.Put("a.bin", content, kTime);
        run.up.Add("a.bin");
        run.Go({fault});
        EXPECT_TRUE(run.r.a.ok) << run.r.a.last_error;
        EXPECT_TRUE(run.r.b.ok) << run.r.b.last_error;
        EXPECT_TRUE(run.Got("a.bin") == content);
        EXPECT_LT(run.r.line_time, clean.r.line_time + extra);
    }
}

TEST(ZModem, LinesThatFail)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        int sender_error, receiver_error;
    };
    const Case cases[] = {
        // Cut while data flows: the receiver runs out of errors, the sender of waits.
        {"cut in data", {Fault::Cut(Way::kAtoB, 6000)}, 2008, 2008},
        {"cut before ZRINIT", {Fault::Cut(Way::kBtoA, 0)}, 2027, 2027},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session run;
        run.files.Put("a.bin", Content(20000), kTime);
        run.files.Put("in/a.bin", "old contents", 5);
        run.up.Add("a.bin");
        run.down.Add("in/a.bin");
        run.Go(c.faults);
        EXPECT_FALSE(run.r.stuck);
        EXPECT_FALSE(run.r.a.ok);
        EXPECT_FALSE(run.r.b.ok);
        EXPECT_EQ(run.r.a.last_error, c.sender_error);
        EXPECT_EQ(run.r.b.last_error, c.receiver_error);
        // A part of a file never gets the sender's time.
        EXPECT_NE(run.TimeOf("in/a.bin"), kTime);
    }
}

// A peer run by a function of what it received so far.
class Scripted final : public Protocol {
public:
    using Script = std::function<std::string(std::string& seen, bool start)>;
    explicit Scripted(Script s) : script_(std::move(s)) {}

protected:
    void OnStart(Millis) override { Send(script_(seen_, true)); }
    void OnFeed(std::string_view bytes, Millis) override
    {
        seen_.append(bytes);
        Send(script_(seen_, false));
    }
    void OnTick(Millis) override {}

private:
    Script script_;
    std::string seen_;
};

class Silent final : public Protocol {
protected:
    void OnStart(Millis) override {}
    void OnFeed(std::string_view, Millis) override {}
    void OnTick(Millis) override {}
};

TEST(ZModem, SilentAndCancellingPeers)
{
    {
        SCOPED_TRACE("silent receiver: six ZRQINIT, ten seconds each");
        MemoryFiles files;
        files.Put("a.bin", "x");
        FileList list;
        list.Add("a.bin");
        Sender s(files, list);
        Silent peer;
        auto r = loopback::Run(s, peer, {}, kLimit);
        EXPECT_FALSE(r.a.ok);
        EXPECT_EQ(r.a.last_error, 2027);
        EXPECT_EQ(Count(r.a.events, 2030), 6);
        EXPECT_NEAR(static_cast<double>(r.line_time), 60000, 500);
    }
    {
        SCOPED_TRACE("silent sender: ten ZRINIT, five seconds each");
        MemoryFiles files;
        FileList list;
        Receiver rc(files, list);
        Silent peer;
        auto r = loopback::Run(rc, peer, {}, kLimit);
        EXPECT_FALSE(r.a.ok);
        EXPECT_EQ(r.a.last_error, 2027);
        EXPECT_NEAR(static_cast<double>(r.line_time), 50000, 500);
    }
    {
        SCOPED_TRACE("receiver cancels with CAN x5 after ZRQINIT");
        MemoryFiles files;
        files.Put("a.bin", "x");
        FileList list;
        list.Add("a.bin");
        Sender s(files, list);
        Scripted peer([](std::string& seen, bool) {
            return seen.find("B00") != std::string::npos ? std::string(5, '\x18') + std::string(5, '\x08') : "";
        });
        auto r = loopback::Run(s, peer, {}, 5000);
        EXPECT_TRUE(r.a.finished);
        EXPECT_EQ(r.a.last_error, 2006);
    }
    {
        SCOPED_TRACE("sender cancels in the middle of the data");
        Session run;
        run.files.Put("a.bin", Content(50000), kTime);
        run.up.Add("a.bin");
        run.down.Add("got");
        Answer a = run.receiver->Start(0);
        std::string wire = BinHeader(Header::At(kZFile, 0), true, false) +
                           Subpacket(xy::HeaderData("a.bin", 50000, kTime), kZCrcW, true, false);
        a = run.receiver->Feed(wire, 10);
        ASSERT_TRUE(a.resume);
        a = run.receiver->Resume(10);
        a = run.receiver->Feed(BinHeader(Header::At(kZData, 0), true, false) +
                                   Subpacket(Content(1024), kZCrcG, true, false) + std::string(5, '\x18'),
                               20);
        EXPECT_TRUE(a.finished);
        EXPECT_EQ(a.events.at(a.events.size() - 2).message, 2006);
        EXPECT_EQ(run.TimeOf("got"), 0);  // the part keeps the local time
        EXPECT_EQ(run.Got("got").size(), 1024u);
    }
}

TEST(ZModem, RepeatedZRPosHalvesTheBlockThenGivesUp)
{
    MemoryFiles files;
    files.Put("a.bin", Content(100000), kTime);
    FileList list;
    list.Add("a.bin");
    Sender s(files, list);
    std::vector<std::size_t> blocks;  // block length at each ZRPOS
    int zrpos = 0;
    Scripted peer([&](std::string& seen, bool start) {
        if (start)
            return HexHeader(Header::Flags(kZRInit, kCanFdx | kCanOvio | kCanFc32));
        // Every frame the sender begins is answered with ZRPOS 0.
        std::string out;
        std::size_t at;
        while ((at = seen.find(std::string("*\x18" "C"))) != std::string::npos) {
            seen.erase(0, at + 3);
            out += HexHeader(Header::At(kZRPos, 0));
            blocks.push_back(s.BlockLength());
            ++zrpos;
        }
        return out;
    });
    auto r = loopback::Run(s, peer, {}, kLimit);
    EXPECT_FALSE(r.a.ok);
    EXPECT_EQ(r.a.last_error, 2008);
    // The answer to ZFILE, then 13 repeats for position 0: the fifth repeat
    // halves 1024 to 512, each later one again down to 32, the thirteenth
    // ends the transfer.
    EXPECT_EQ(zrpos, 14);
    ASSERT_GE(blocks.size(), 7u);
    EXPECT_EQ(blocks[5], 1024u);
    EXPECT_EQ(blocks[6], 512u);
    EXPECT_EQ(s.BlockLength(), 32u);
}

TEST(ZModem, FloodOfZRPosQueuesNoData)
{
    MemoryFiles files;
    files.Put("a.bin", Content(100000), kTime);
    FileList list;
    list.Add("a.bin");
    Sender s(files, list);
    s.Start(0);
    s.Feed(HexHeader(Header::Flags(kZRInit, kCanFdx | kCanFc32)), 1);
    s.Feed(HexHeader(Header::At(kZRPos, 0)), 2);
    s.Feed(HexHeader(Header::At(kZAck, 1024)), 3);
    // Four hundred requests, each further back, in one read: headers only
    // (the data follows once the line has taken them), not a block each.
    std::string flood;
    for (std::uint32_t i = 0; i < 400; ++i)
        flood += HexHeader(Header::At(kZRPos, 9000 - 10 * i));
    const Answer a = s.Feed(flood, 4);
    EXPECT_FALSE(a.finished);
    EXPECT_LT(a.send.size(), 400u * 20);
    EXPECT_TRUE(a.watch_sent);
}

TEST(ZModem, StreamingSenderPausesAtXoffAndMakesSureAfterJunk)
{
    MemoryFiles files;
    files.Put("a.bin", Content(400000), kTime);
    FileList list;
    list.Add("a.bin");
    Sender s(files, list, {.window = 0});
    s.Start(0);
    s.Feed(HexHeader(Header::Flags(kZRInit, kCanFdx | kCanOvio | kCanFc32)), 1);
    Reader r;
    ReadAll(r, s.Feed(HexHeader(Header::At(kZRPos, 0)), 2).send, false);  // ZDATA, one ZCRCW
    Answer a = s.Feed(HexHeader(Header::At(kZAck, 1024)), 3);
    ASSERT_TRUE(a.watch_sent);
    auto ends = [&r](const Answer& answer) {
        std::string e;
        for (const Item& it : ReadAll(r, answer.send, false))
            if (it.kind == Item::Kind::kData) e += static_cast<char>(it.end);
        return e;
    };
    EXPECT_EQ(ends(a).find('k'), std::string::npos);

    // An XOFF holds the data back for 100 ms, then streaming goes on.
    a = s.Feed("\x13", 10);
    EXPECT_TRUE(ends(a).empty());
    a = s.Sent(10);
    EXPECT_TRUE(a.send.empty());
    ASSERT_EQ(s.Deadline(), std::optional<Millis>(110));
    a = s.Tick(110);
    EXPECT_FALSE(ends(a).empty());

    // Three stray bytes change nothing; a fourth makes the next subpacket a
    // ZCRCW, after which the sender waits for the receiver's answer.
    a = s.Feed("xyz", 120);
    a = s.Sent(120);
    std::string got = ends(a);
    EXPECT_EQ(got.find('k'), std::string::npos) << got;
    a = s.Feed("w", 130);
    a = s.Sent(130);
    got = ends(a);
    EXPECT_EQ(got, "k");
}

TEST(ZModem, SmallReceiverBufferGetsAcknowledgedBlocks)
{
    MemoryFiles files;
    files.Put("a.bin", Content(2000), kTime);
    FileList list;
    list.Add("a.bin");
    Sender s(files, list);
    Answer a = s.Start(0);
    Header init = Header::Flags(kZRInit, kCanFdx | kCanFc32);
    init.b[0] = 0;
    init.b[1] = 1;  // 256 bytes
    a = s.Feed(HexHeader(init), 1);
    a = s.Feed(HexHeader(Header::At(kZRPos, 0)), 2);
    Reader r;
    std::vector<Item> items = ReadAll(r, a.send, false);
    ASSERT_EQ(items.size(), 2u);  // ZDATA, one 256-byte ZCRCW, then a wait
    EXPECT_EQ(items[1].data.size(), 256u);
    EXPECT_EQ(items[1].end, kZCrcW);
    a = s.Feed(HexHeader(Header::At(kZAck, 256)), 3);
    items = ReadAll(r, a.send, false);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].header, Header::At(kZData, 256));
    EXPECT_EQ(items[1].data.size(), 256u);
    EXPECT_EQ(items[1].end, kZCrcW);
}

TEST(ZModem, CrcSixteenReceiverGetsCrcSixteenFrames)
{
    MemoryFiles files;
    files.Put("a.bin", Content(3000), kTime);
    FileList list;
    list.Add("a.bin");
    Sender s(files, list);
    s.Start(0);
    Answer a = s.Feed(HexHeader(Header::Flags(kZRInit, kCanFdx | kCanOvio)), 1);
    EXPECT_EQ(a.send.substr(0, 3), std::string("*\x18" "A"));
    a = s.Feed(HexHeader(Header::At(kZRPos, 0)), 2);
    Reader r;
    std::vector<Item> items = ReadAll(r, a.send, false);
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[0].form, kZBin);
    EXPECT_EQ(items[1].kind, Item::Kind::kData);  // read back with CRC-16
}

TEST(ZModem, ResumeSendsOnlyTheMissingBytes)
{
    const std::string content = Content(100000);
    struct Case {
        const char* what;
        std::string local;
        bool resume;
        std::size_t crossing;  // bytes of the file that cross the line
    };
    const Case cases[] = {
        {"half there", content.substr(0, 50000), true, 50000},
        {"1000 bytes there", content.substr(0, 1000), true, 99000},
        {"no resume asked", content.substr(0, 50000), false, 100000},
        // As long as the file or longer: not a part of it; received from 0.
        {"longer local file", content + "tail", true, 100000},
        {"nothing there", "", true, 100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session run({}, {}, [&](const Event&) {
            FileChoice ch;
            ch.resume = c.resume;
            return ch;
        });
        run.files.Put("a.bin", content, kTime);
        if (!c.local.empty())
            run.files.Put("in/a.bin", c.local, 5);
        run.up.Add("a.bin");
        run.down.Add("in/a.bin");
        run.Go();
        EXPECT_TRUE(run.r.a.ok) << run.r.a.last_error;
        EXPECT_TRUE(run.r.b.ok) << run.r.b.last_error;
        EXPECT_TRUE(run.Got("in/a.bin") == content) << run.Got("in/a.bin").size();
        EXPECT_EQ(run.TimeOf("in/a.bin"), kTime);
        // The data, escapes (5 of 256 byte values) and a few hundred bytes of frames.
        EXPECT_GT(run.r.a.bytes_sent, c.crossing);
        EXPECT_LT(run.r.a.bytes_sent, c.crossing * 1.03 + 500);
    }
}

TEST(ZModem, BatchWithASkippedFile)
{
    Session run({}, {}, [](const Event& ready) {
        FileChoice ch;
        ch.skip = ready.file == "in/two.bin";
        return ch;
    });
    const std::string one = Content(3000), two = Content(5000), three = Content(0);
    run.files.Put("src/one.bin", one, kTime);
    run.files.Put("src/two.bin", two, kTime + 1);
    run.files.Put("src/three.bin", three, kTime + 2);
    for (const char* n : {"src/one.bin", "src/two.bin", "src/three.bin"})
        run.up.Add(n);
    run.down.Add("in/one.bin");  // the folder of the first name takes the others
    run.Go();
    EXPECT_TRUE(run.r.a.ok) << run.r.a.last_error;
    EXPECT_TRUE(run.r.b.ok) << run.r.b.last_error;
    EXPECT_TRUE(run.Got("in/one.bin") == one);
    EXPECT_EQ(run.files.Find("in/two.bin"), nullptr);
    EXPECT_TRUE(run.Got("in/three.bin") == three);
    EXPECT_EQ(run.TimeOf("in/three.bin"), kTime + 2);
    EXPECT_TRUE(Has(run.r.a.events, kStatusSkip));
    EXPECT_TRUE(Has(run.r.b.events, kStatusSkip));
    // Skipped: the data of the second file never crossed.
    EXPECT_LT(run.r.a.bytes_sent, 3000u + 2000u);
}

// The receiver fed by hand: a ZFILE with the given information.
struct Fed {
    MemoryFiles files;
    FileList list;
    Receiver rc{files, list};
    Answer a;
    explicit Fed(const std::string& dest = "")
    {
        if (!dest.empty())
            list.Add(dest);
        rc.Start(0);
    }
    const Event* Ready(const std::string& info, bool crc32 = true)
    {
        a = rc.Feed(BinHeader(Header::At(kZFile, 0), crc32, false) + Subpacket(info, kZCrcW, crc32, false), 10);
        for (const Event& e : a.events)
            if (e.kind == EventKind::kFileReady)
                return &a.events[static_cast<std::size_t>(&e - a.events.data())];
        return nullptr;
    }
};

TEST(ZModemReceiver, NamesFromTheLineStayInTheFolder)
{
    struct Case {
        std::string name, dest;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},       {"../evil.txt", "evil.txt"},   {"/etc/passwd", "passwd"},
        {"a/b/../../c.txt", "c.txt"},     {"..", "UNTITLED.000"},       {".", "UNTITLED.000"},
        {"dir/", "UNTITLED.000"},         {"x\\y.txt", "x\\y.txt"},     {std::string(300, 'n'), std::string(300, 'n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        Fed f;
        // Long names need the longer information subpacket.
        const Event* ready = f.Ready(xy::HeaderData(c.name, 10, kTime));
        ASSERT_NE(ready, nullptr);
        EXPECT_EQ(ready->file, c.dest);
        EXPECT_EQ(ready->size, 10);
        EXPECT_EQ(ready->time, kTime);
    }
}

TEST(ZModemReceiver, AcceptsLargeSubpacketsAndEndsAtOnceWhenTheLineDies)
{
    Fed f("got");
    ASSERT_NE(f.Ready(xy::HeaderData("a", 8192 + 10, kTime)), nullptr);
    Answer a = f.rc.Resume(10);
    EXPECT_NE(a.send.find(HexHeader(Header::At(kZRPos, 0))), std::string::npos);
    const std::string data = Content(8192);
    a = f.rc.Feed(BinHeader(Header::At(kZData, 0), true, false) + Subpacket(data, kZCrcG, true, false), 20);
    EXPECT_EQ(Count(a.events, 2011), 0);
    a = f.rc.LineLost(30);
    EXPECT_TRUE(a.finished);
    ASSERT_GE(a.events.size(), 2u);
    EXPECT_EQ(a.events[0].status, kStatusLostCarrier);
    EXPECT_EQ(a.events[0].message, 2012);
    // The part that arrived is in the file (written when the line died).
    EXPECT_EQ(f.files.Find("got")->data, data);
    EXPECT_EQ(f.files.Find("got")->time, 0);
}

TEST(ZModemReceiver, DataHeldForLargeWritesReachTheFileWhenTheTransferIsStopped)
{
    const std::string data = Content(3000);
    MemoryFiles files;
    {
        FileList list;
        Receiver rc(files, list);
        rc.Start(0);
        rc.Feed(BinHeader(Header::At(kZFile, 0), true, false) +
                    Subpacket(xy::HeaderData("kept", 5000, kTime), kZCrcW, true, false),
                10);
        rc.Resume(10);
        const Answer a =
            rc.Feed(BinHeader(Header::At(kZData, 0), true, false) + Subpacket(data, kZCrcG, true, false), 20);
        EXPECT_FALSE(a.finished);
    }  // stopped midway: the worker drops the protocol
    ASSERT_NE(files.Find("kept"), nullptr);
    EXPECT_EQ(files.Find("kept")->data, data);
}

TEST(ZModemReceiver, AnswersOfTheStartPhase)
{
    struct Case {
        const char* what;
        std::string in;
        std::string expect;  // in the answer
    };
    const Case cases[] = {
        {"ZSINIT with ESCCTL: acknowledged, ZRINIT asks for escaping from then on",
         BinHeader(Header::Flags(kZSInit, kEscCtl), false, false) + Subpacket(std::string("\0", 1), kZCrcW, false, false),
         HexHeader(Header::At(kZAck, 1))},
        {"ZFREECNT", HexHeader(Header::At(kZFreeCnt, 0)), HexHeader(Header::At(kZAck, 10000000))},
        {"ZFILE with a damaged subpacket", BinHeader(Header::At(kZFile, 0), false, false) + "abc\x18kXY",
         HexHeader(Header::At(kZNak, 0))},
        {"ZRQINIT", HexHeader(Header::At(kZRqInit, 0)), HexHeader(Header::Flags(kZRInit, 0x23))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFiles files;
        FileList list;
        Receiver rc(files, list);
        const Answer start = rc.Start(0);
        EXPECT_EQ(start.send, HexHeader(Header::Flags(kZRInit, 0x23)));
        const Answer a = rc.Feed(c.in, 5);
        EXPECT_NE(a.send.find(c.expect), std::string::npos);
    }
    // A ZCOMMAND is never run; the exchange can then end with ZFIN, which
    // without any file is a failure.
    MemoryFiles files;
    FileList list;
    Receiver rc(files, list);
    rc.Start(0);
    Answer a = rc.Feed(BinHeader(Header::At(kZCommand, 0), false, false) +
                           Subpacket("rm -rf /", kZCrcW, false, false),
                       5);
    EXPECT_TRUE(a.send.empty());
    a = rc.Feed(HexHeader(Header::At(kZFin, 0)), 6);
    EXPECT_EQ(a.send, HexHeader(Header::At(kZFin, 0)));
    a = rc.Feed("OO", 7);
    EXPECT_TRUE(a.finished);
    EXPECT_FALSE(rc.Succeeded());
}

TEST(ZModem, AbortRequests)
{
    for (bool upload : {true, false}) {
        SCOPED_TRACE(upload ? "sender" : "receiver");
        MemoryFiles files;
        files.Put("a.bin", "data");
        FileList list;
        list.Add("a.bin");
        std::unique_ptr<Protocol> p;
        if (upload)
            p = std::make_unique<Sender>(files, list);
        else
            p = std::make_unique<Receiver>(files, list);
        p->Start(0);
        const Answer a = p->Ask(Request::kAbort, 10);
        EXPECT_TRUE(a.finished);
        EXPECT_NE(a.send.find(xy::AbortSequence()), std::string::npos);
        EXPECT_EQ(a.events.at(0).message, 2027);
        EXPECT_EQ(a.events.at(0).status, kStatusAbort);
    }
}

}  // namespace
}  // namespace tolvex::transfer::zm
