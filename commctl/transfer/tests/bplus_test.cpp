// B Plus through the loopback harness (fake clock) against the scripted
// host: both variants, both directions, sizes and line faults, resume,
// refusals, names, the control's parameters and quoting, and the ways a
// transfer ends.

#include "transfer/bplus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bplus_host.h"
#include "loopback.h"

namespace tolvex::transfer::bp {
namespace {

using bplus_host::Host;
using bplus_host::Script;
using loopback::Fault;
using loopback::Way;  // kAtoB: control to host

constexpr Millis kLimit = 30 * 60 * 1000;

std::string Content(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + 11) & 0xFF);  // every byte value
    return s;
}

std::string Bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s += static_cast<char>(c);
    return s;
}

struct Session {
    MemoryFiles files;
    FileList up, down;
    Transfer control;
    Host host;
    loopback::Result r;

    Session(Script s, Variant v = Variant::kCompuServe, int baud = 19200, xy::FileReadyHook hook = {})
        : control(files, up, down, Options{v, baud}, std::move(hook)), host(std::move(s))
    {
    }
    void Run(const std::vector<Fault>& faults = {}, Millis limit = kLimit)
    {
        r = loopback::Run(control, host, faults, limit, {1.92, 2});  // 19200 baud
    }
    bool Has(int status, int message = 0) const
    {
        for (const Event& e : r.a.events)
            if (e.status == status && (message == 0 || e.message == message))
                return true;
        return false;
    }
};

Script Send(std::string name, std::string data)
{
    Script s;
    s.command = Script::Command::kSend;
    s.name = std::move(name);
    s.data = std::move(data);
    return s;
}

Script Fetch(std::string name)
{
    Script s;
    s.command = Script::Command::kFetch;
    s.name = std::move(name);
    return s;
}

TEST(BPlusWire, StartQuotingAndChecksum)
{
    // The answer to ENQ goes out before anything was read.
    MemoryFiles files;
    FileList up, down;
    Transfer t(files, up, down, {});
    EXPECT_EQ(t.Start(0).send, Bytes({0x10, 0x2B, 0x2B, 0x10, 0x30}));

    EXPECT_EQ(Unquote(0x40), 0x00);
    EXPECT_EQ(Unquote(0x71), 0x91);
    EXPECT_EQ(Unquote(0x5F), 0x1F);
    EXPECT_EQ(Unquote(0x60), 0x80);

    Quoting q;  // by the default table, high range off
    EXPECT_EQ(Quote(Bytes({0x00, 0x03, 0x05, 0x10, 0x11, 0x13, 0x15, 0x91, 'A'}), q),
              Bytes({0x00, 0x10, 0x43, 0x10, 0x45, 0x10, 0x50, 0x10, 0x51, 0x10, 0x53, 0x10, 0x55, 0x91, 'A'}));
    q.all = true;
    EXPECT_EQ(Quote(Bytes({0x00, 0x1F, 0x80, 0x9F, 0xA0, 0x7F}), q),
              Bytes({0x10, 0x40, 0x10, 0x5F, 0x10, 0x60, 0x10, 0x7F, 0xA0, 0x7F}));
    q.all = false;
    q.high = true;
    q.table.high[0x11] = true;
    EXPECT_EQ(Quote(Bytes({0x91, 0x93}), q), Bytes({0x10, 0x71, 0x93}));

    // Doubling with end-around carry, then adding with it.
    EXPECT_EQ(Checksum(Bytes({0x80})), 0x80);
    EXPECT_EQ(Checksum(Bytes({0x80, 0x00})), 0x01);
    EXPECT_EQ(Checksum(Bytes({0xFF, 0xFF})), 0xFF);
    // A packet: lead-in, digit, quoted data, ETX, check (quoted as data is).
    const std::string p = Packet(1, "TDB", q);
    EXPECT_EQ(p.substr(0, 6), std::string("\x10" "B1TDB", 6));
    EXPECT_EQ(static_cast<std::uint8_t>(p[6]), kEtx);
    EXPECT_EQ(static_cast<std::uint8_t>(p.back()), Checksum(std::string("1TDB") + '\x03'));
}

TEST(BPlusWire, TransportParameters)
{
    const QuoteTable own = QuoteTable::Default();
    std::string full(18, '\0');
    full[0] = '+';
    full[3] = 8;
    full[7] = 0x14;
    full[9] = static_cast<char>(0xD4);
    full[11] = 0x40;  // the host wants 0x81 quoted
    full[17] = 1;
    struct Case {
        const char* what;
        std::string host;
        std::size_t buffer;  // ours before negotiation
        std::size_t negotiated;
        bool file_info;
        int level_byte;
    };
    const Case cases[] = {
        {"host block 8 at 19200", full, 2049, 1025, true, 1},
        {"host block 8 at 4800: ours is 4", full, 513, 513, true, 1},
        {"six bytes: default quote level", std::string("+\0\0\x08\0\0", 6), 2049, 1025, false, 1},
        {"block size 0: the default 4", std::string("+\0\0\0\0\0", 6), 2049, 513, false, 1},
        {"block size negative: the default 4", std::string("+\0\0\xF0\0\0", 6), 2049, 513, false, 1},
        {"block size missing: the default 4", std::string("+\0", 2), 2049, 513, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string mine = OwnParameters(c.buffer, own, c.host);
        ASSERT_EQ(mine.size(), 18u);
        EXPECT_EQ(mine[0], '+');
        EXPECT_EQ(mine[3], static_cast<char>(c.buffer / 128));
        EXPECT_EQ(mine[5], c.level_byte);
        EXPECT_EQ(mine.substr(7, 4), Bytes({0x14, 0x00, 0xD4, 0x00}));
        EXPECT_EQ(mine[17], 1);
        const Negotiated n = Negotiate(c.buffer, own, c.host);
        EXPECT_EQ(n.buffer, c.negotiated);
        EXPECT_EQ(n.file_info, c.file_info);
        EXPECT_EQ(n.window, 0);
        if (c.host.size() < 18)
            EXPECT_EQ(n.table, own);  // a short packet leaves the table as it is
        else
            EXPECT_TRUE(n.table.high[1]);
    }
    // The quote level of a wider own table: NUL is level 1, 0x91 level 2,
    // anything else level 3; an 18-byte host packet makes it level 0.
    struct Level {
        int low, high;  // flagged besides the default set (-1 none)
        int byte_short, byte_full;
    };
    for (const Level l : {Level{0x00, -1, 0, 1}, Level{-1, 0x11, 2, 1}, Level{0x01, -1, 3, 1}, Level{-1, 0x05, 3, 1}}) {
        QuoteTable t = QuoteTable::Default();
        if (l.low >= 0) t.low[static_cast<std::size_t>(l.low)] = true;
        if (l.high >= 0) t.high[static_cast<std::size_t>(l.high)] = true;
        EXPECT_EQ(OwnParameters(2049, t, std::string("+\0\0\x08\0\0", 6))[5], l.byte_short);
        EXPECT_EQ(OwnParameters(2049, t, full)[5], l.byte_full);
    }
}

// Every variant, both directions, sizes and faults on either way of the line.
TEST(BPlusLoopback, SizesAndFaults)
{
    struct Row {
        std::size_t size;
        std::vector<Fault> faults;
    };
    const Row rows[] = {
        {0, {}},
        {1, {}},
        {1024, {}},
        {1025, {}},
        {9000, {}},
        {70000, {}},
        {9000, {Fault::Flip(Way::kBtoA, 1500, 3)}},
        {9000, {Fault::Flip(Way::kAtoB, 1500, 5)}},
        {9000, {Fault::Drop(Way::kBtoA, 2100)}},
        {9000, {Fault::Drop(Way::kAtoB, 2100)}},
        {9000, {Fault::Drop(Way::kBtoA, 60), Fault::Drop(Way::kAtoB, 40)}},
        {9000, {Fault::Stall(Way::kBtoA, 3000, 25000)}},
        {9000, {Fault::Stall(Way::kAtoB, 3000, 40000)}},
        {9000, {Fault::Flip(Way::kBtoA, 10, 0), Fault::Flip(Way::kAtoB, 12, 1)}},  // inside the parameters
    };
    for (Variant v : {Variant::kCompuServe, Variant::kNiftyServe}) {
        for (bool send : {true, false}) {
            for (const Row& row : rows) {
                std::string trace = std::string(v == Variant::kCompuServe ? "compuserve " : "nifty ") +
                                    (send ? "TD " : "TU ") + std::to_string(row.size);
                for (const Fault& f : row.faults)
                    trace += ", " + loopback::Describe(f);
                SCOPED_TRACE(trace);
                const std::string data = Content(row.size);
                Session s(send ? Send("DATA.BIN", data) : Fetch("DATA.BIN"), v);
                if (send) {
                    s.down.Add("");
                } else {
                    s.files.Put("up/DATA.BIN", data);
                    s.up.Add("up/DATA.BIN");
                }
                s.Run(row.faults);
                ASSERT_FALSE(s.r.stuck);
                ASSERT_FALSE(s.r.over_time);
                EXPECT_TRUE(s.r.a.ok);
                EXPECT_TRUE(s.r.b.ok);
                if (send) {
                    ASSERT_NE(s.files.Find("DATA.BIN"), nullptr);
                    EXPECT_TRUE(s.files.Find("DATA.BIN")->data == data);
                } else {
                    EXPECT_TRUE(s.host.received == data);
                }
                EXPECT_TRUE(s.Has(kStatusFinished));
            }
        }
    }
}

TEST(BPlusLoopback, HostQuotingEverythingAndNoParameters)
{
    const std::string data = Content(3000);
    for (bool params : {true, false}) {
        SCOPED_TRACE(params ? "after parameters" : "request first");
        Script sc = Send("ALL.BIN", data);
        sc.quote_all = true;
        sc.parameters = params;
        Session s(sc);
        s.down.Add("");
        s.Run();
        EXPECT_TRUE(s.r.a.ok);
        ASSERT_NE(s.files.Find("ALL.BIN"), nullptr);
        EXPECT_TRUE(s.files.Find("ALL.BIN")->data == data);
        // Without the exchange the buffer stays as the baud rate set it.
        EXPECT_EQ(s.control.BufferSize(), params ? 1025u : 2049u);
    }
}

// A host that wants every control character quoted: full packets of
// nothing but such bytes double in size on the line and arrive whole.
TEST(BPlusLoopback, EveryByteQuotedInFullPackets)
{
    std::string data;
    for (int i = 0; i < 4000; ++i)
        data += static_cast<char>(i % 2 ? 0x80 + i % 32 : i % 32);
    Script sc = Fetch("Q.BIN");
    sc.ask_quote_all = true;
    Session s(sc);
    s.files.Put("Q.BIN", data);
    s.up.Add("Q.BIN");
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    EXPECT_TRUE(s.host.received == data);
    EXPECT_TRUE(s.control.Quotes().high);
    for (unsigned c = 0; c < 32; ++c)
        EXPECT_TRUE(s.control.Quotes().table.low[c] && s.control.Quotes().table.high[c]) << c;
    EXPECT_GT(s.r.a.bytes_sent, 2 * data.size());
}

// Below 9600 baud the control offers 4 units and keeps to them.
TEST(BPlusLoopback, SlowLineBuffer)
{
    Session s(Send("S.BIN", Content(3000)), Variant::kCompuServe, 4800);
    s.down.Add("");
    EXPECT_EQ(s.control.BufferSize(), 513u);
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    EXPECT_EQ(s.host.control_params[3], 4);
    EXPECT_EQ(s.control.BufferSize(), 513u);
    EXPECT_TRUE(s.files.Find("S.BIN")->data == Content(3000));
}

// What the control does that the published description does otherwise;
// the host takes it.
TEST(BPlusLoopback, DifferencesFromThePublishedProtocol)
{
    Session s(Send("PART.BIN", Content(5000)));
    s.files.Put("PART.BIN", Content(2000));
    s.down.Add("");
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    // The control answers the host's "+" with its own, not with an ACK first.
    EXPECT_TRUE(s.host.differences.parameters_not_acknowledged);
    // It offers "Tr" although it offered DR 0 ...
    EXPECT_TRUE(s.host.differences.resume_offered_without_dr);
    // ... and with 65535 where the published "Tr" carries a CRC-16.
    EXPECT_TRUE(s.host.differences.resume_without_crc);
    EXPECT_EQ(s.host.resume_offer, "Tr2000 65535");
    EXPECT_EQ(s.host.control_params.size(), 18u);
}

TEST(BPlusLoopback, ResumeAndRefusedResume)
{
    const std::string data = Content(6000);
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "host answers Tf" : "host resumes");
        Script sc = Send("PART.BIN", data);
        sc.refuse_resume = refuse;
        Session s(sc);
        // What an earlier session left: the first part (refused: something else).
        s.files.Put("PART.BIN", refuse ? std::string(4000, 'x') : data.substr(0, 2500));
        s.down.Add("");
        s.Run();
        EXPECT_TRUE(s.r.a.ok);
        EXPECT_EQ(s.host.resume_offer, refuse ? "Tr4000 65535" : "Tr2500 65535");
        EXPECT_EQ(s.host.resumed_from, refuse ? -1 : 2500);
        ASSERT_NE(s.files.Find("PART.BIN"), nullptr);
        EXPECT_TRUE(s.files.Find("PART.BIN")->data == data);
    }
    // An empty local file is not resumed.
    Session s(Send("EMPTY.BIN", data));
    s.files.Put("EMPTY.BIN", "");
    s.down.Add("");
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    EXPECT_TRUE(s.host.resume_offer.empty());
}

TEST(BPlusLoopback, FileInformationSetsTheSize)
{
    Session s(Send("INFO.BIN", Content(3000)));
    s.down.Add("");
    s.Run();
    ASSERT_TRUE(s.r.a.ok);
    bool started = false;
    for (const Event& e : s.r.a.events)
        if (e.kind == EventKind::kFileStart) {
            started = true;
            EXPECT_EQ(e.size, 3000);
        }
    EXPECT_TRUE(started);
    // Fetching: the control tells the size in "TI" when FI was agreed.
    Session f(Fetch("INFO.BIN"));
    f.files.Put("INFO.BIN", Content(777));
    f.up.Add("INFO.BIN");
    f.Run();
    ASSERT_TRUE(f.r.a.ok);
    EXPECT_EQ(f.host.file_info, std::string("TIB\0" "777", 7));
    Script no_fi = Fetch("INFO.BIN");
    no_fi.file_info = 0;
    Session g(no_fi);
    g.files.Put("INFO.BIN", Content(777));
    g.up.Add("INFO.BIN");
    g.Run();
    ASSERT_TRUE(g.r.a.ok);
    EXPECT_TRUE(g.host.file_info.empty());
}

// Names from the host: only the last component, only in the download
// folder; "", "." and ".." refused.
TEST(BPlusLoopback, ReceivedNames)
{
    struct Case {
        const char* host_name;
        const char* stored;  // nullptr: refused
    };
    const Case cases[] = {
        {"../evil.txt", "dl/evil.txt"}, {"/etc/passwd", "dl/passwd"}, {"a/b/c.bin", "dl/c.bin"},
        {"plain.txt", "dl/plain.txt"},  {"", nullptr},                {".", nullptr},
        {"..", nullptr},                {"dir/..", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host_name);
        Session s(Send(c.host_name, "hello"));
        s.down.Add("dl/");
        s.Run();
        ASSERT_FALSE(s.r.stuck);
        if (c.stored) {
            EXPECT_TRUE(s.r.a.ok);
            ASSERT_NE(s.files.Find(c.stored), nullptr);
            EXPECT_EQ(s.files.Find(c.stored)->data, "hello");
        } else {
            EXPECT_FALSE(s.r.a.ok);
            EXPECT_EQ(s.host.failure, "FCCannot create file ");
        }
    }
    // A name the application gave wins over the host's.
    Session s(Send("HOST.TXT", "abc"));
    s.down.Add("mine.txt");
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    ASSERT_NE(s.files.Find("mine.txt"), nullptr);
    EXPECT_EQ(s.files.Find("HOST.TXT"), nullptr);
}

// The application's choice at the file-ready step: another name, or no file.
TEST(BPlusLoopback, FileReadyChoice)
{
    for (bool skip : {false, true}) {
        SCOPED_TRACE(skip ? "skip" : "rename");
        xy::FileReadyHook hook = [skip](const Event& ready) {
            EXPECT_EQ(ready.source, "HOST.BIN");
            xy::FileChoice c;
            c.skip = skip;
            c.name = "renamed.bin";
            return c;
        };
        Session s(Send("HOST.BIN", "data"), Variant::kNiftyServe, 19200, hook);
        s.down.Add("");
        s.Run();
        EXPECT_EQ(s.r.a.ok, !skip);
        EXPECT_EQ(s.files.Find("HOST.BIN"), nullptr);
        if (skip) {
            EXPECT_EQ(s.files.Find("renamed.bin"), nullptr);
            EXPECT_EQ(s.host.failure, "FCCannot create file ");
            EXPECT_TRUE(s.Has(kStatusAbort, 2026));
        } else {
            ASSERT_NE(s.files.Find("renamed.bin"), nullptr);
            EXPECT_EQ(s.files.Find("renamed.bin")->data, "data");
        }
    }
}

// The host may fetch only what the application queued.
TEST(BPlusLoopback, FetchOnlyQueuedFiles)
{
    struct Case {
        const char* requested;
        bool allowed;
    };
    const Case cases[] = {{"up/A.BIN", true}, {"A.BIN", true}, {"/home/user/.ssh/id_rsa", false},
                          {"B.BIN", false},   {"x/A.BIN", false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        Session s(Fetch(c.requested));
        s.files.Put("up/A.BIN", "queued");
        s.files.Put("B.BIN", "not queued");
        s.files.Put("/home/user/.ssh/id_rsa", "secret");
        s.up.Add("up/A.BIN");
        s.Run();
        EXPECT_EQ(s.r.a.ok, c.allowed);
        EXPECT_EQ(s.r.b.ok, c.allowed);
        if (c.allowed) {
            EXPECT_EQ(s.host.received, "queued");
        } else {
            EXPECT_TRUE(s.host.received.empty());
            EXPECT_EQ(s.host.failure, "FMCannot access file ");
        }
    }
    // Nothing queued for upload (a download was asked for): the host gets
    // nothing either.
    Session s(Fetch("A.BIN"));
    s.files.Put("A.BIN", "x");
    s.down.Add("");
    s.Run();
    EXPECT_FALSE(s.r.a.ok);
    EXPECT_EQ(s.host.failure, "FMCannot access file ");
}

TEST(BPlusLoopback, RefusedRequests)
{
    struct Case {
        const char* what;
        std::string request;
        std::string failure;
        int message;
    };
    const Case cases[] = {
        {"TX", "TXBNAME", "FNNot implemented", 2007},
        {"TD with data type C", "TDCNAME", "FNNot implemented", 2007},
        {"T alone", "T", "FNNot implemented", 2007},
        {"a data packet first", "Nxyz", "FNUnexpected packet type", 2027},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script sc = Send("X", "x");
        sc.request = c.request;
        Session s(sc);
        s.down.Add("");
        s.Run();
        EXPECT_FALSE(s.r.a.ok);
        EXPECT_EQ(s.host.failure, c.failure);
        EXPECT_TRUE(s.Has(kStatusAbort, c.message));
        EXPECT_LT(s.r.line_time, 60000);
    }
}

// The control's side ends: the application aborts, the line dies, the
// host says nothing, the host fails.
TEST(BPlusLoopback, EndsOfATransfer)
{
    // A silent host: six reads of 10 s, then 6 and 2027.
    {
        MemoryFiles files;
        FileList up, down;
        Transfer t(files, up, down, {});
        Answer a = t.Start(0);
        Millis now = 0;
        int timeouts = 0;
        while (!t.Finished()) {
            ASSERT_TRUE(a.deadline);
            now = *a.deadline;
            a = t.Tick(now);
            for (const Event& e : a.events)
                timeouts += e.status == kStatusTimeout && e.message == 2001;
        }
        EXPECT_EQ(now, 60000);
        EXPECT_EQ(timeouts, 6);
        EXPECT_FALSE(t.Succeeded());
    }
    // The host falls silent in the middle for longer than the control's
    // wait: the transfer ends (timeout), it does not hang.
    {
        Session s(Send("BIG.BIN", Content(20000)));
        s.down.Add("");
        s.Run({Fault::Stall(Way::kBtoA, 3000, 10 * 60 * 1000)});
        EXPECT_TRUE(s.r.a.finished);
        EXPECT_FALSE(s.r.a.ok);
        EXPECT_TRUE(s.Has(kStatusTimeout, 2001));
        EXPECT_LT(s.r.line_time, 5 * 60 * 1000);
    }
    // The line goes away in the middle: status 8 at once.
    {
        Session s(Send("BIG.BIN", Content(20000)));
        s.down.Add("");
        Answer a = s.control.Start(0);
        Answer b = s.host.Start(0);
        // Hand the bytes across by hand for a few rounds.
        for (int i = 0; i < 6 && !s.control.Finished(); ++i) {
            b = s.host.Feed(a.send, i * 10);
            a = s.control.Feed(b.send, i * 10 + 5);
        }
        ASSERT_FALSE(s.control.Finished());
        a = s.control.LineLost(100);
        EXPECT_TRUE(a.finished);
        ASSERT_GE(a.events.size(), 2u);
        EXPECT_EQ(a.events[a.events.size() - 2].status, kStatusLostCarrier);
        EXPECT_EQ(a.events[a.events.size() - 2].message, 2012);
    }
}

// Wraps the control: asks it to abort once `after` bytes were fed.
class AbortAfter final : public loopback::Wrapper {
public:
    AbortAfter(Protocol& inner, std::size_t after) : Wrapper(inner), after_(after) {}

protected:
    void OnFeed(std::string_view bytes, Millis now) override
    {
        fed_ += bytes.size();
        Take(inner_.Feed(bytes, now));
        if (!asked_ && fed_ >= after_ && !inner_.Finished()) {
            asked_ = true;
            Take(inner_.Ask(Request::kAbort, now));
        }
    }

private:
    std::size_t fed_ = 0;
    std::size_t after_;
    bool asked_ = false;
};

TEST(BPlusLoopback, AbortTellsTheHost)
{
    for (Variant v : {Variant::kCompuServe, Variant::kNiftyServe}) {
        for (bool send : {true, false}) {
            SCOPED_TRACE(std::string(v == Variant::kCompuServe ? "compuserve " : "nifty ") + (send ? "TD" : "TU"));
            Session s(send ? Send("A.BIN", Content(40000)) : Fetch("A.BIN"), v);
            s.files.Put("src/A.BIN", Content(40000));
            if (send) s.down.Add("");
            else s.up.Add("src/A.BIN");
            AbortAfter wrapped(s.control, send ? 5000 : 40);
            s.r = loopback::Run(wrapped, s.host, {}, kLimit, {1.92, 2});
            EXPECT_TRUE(s.r.a.finished);
            EXPECT_FALSE(s.r.a.ok);
            EXPECT_FALSE(s.r.b.ok);
            EXPECT_EQ(s.host.failure, "FATransfer cancelled");
            EXPECT_TRUE(s.Has(kStatusAbort, 2027));
        }
    }
}

// A lost ACK of the host: the control's packet stays outstanding, the
// control asks with ENQ ENQ after its wait and goes on.
TEST(BPlusLoopback, SilenceWithAPacketOutstandingRecovers)
{
    Session s(Fetch("A.BIN"));
    s.files.Put("A.BIN", Content(5000));
    s.up.Add("A.BIN");
    // The host's ACKs are two bytes; drop a whole one well into the data.
    std::vector<Fault> faults;
    s.Run();
    ASSERT_TRUE(s.r.a.ok);
    const std::size_t acks = s.r.b.bytes_sent;
    Session t(Fetch("A.BIN"));
    t.files.Put("A.BIN", Content(5000));
    t.up.Add("A.BIN");
    t.Run({Fault::Stall(Way::kBtoA, acks - 6, 45000)});
    EXPECT_TRUE(t.r.a.ok);
    EXPECT_TRUE(t.r.b.ok);
    EXPECT_TRUE(t.host.received == Content(5000));
    EXPECT_GT(t.r.line_time, s.r.line_time + 30000);  // it went through the control's wait
}

// A host whose request came first and which then says nothing: the
// transfer ends with its own result, at once.
TEST(BPlusLoopback, RequestFirstEndsWithItsResult)
{
    Script sc = Send("R.BIN", Content(2000));
    sc.parameters = false;
    Session s(sc);
    s.down.Add("");
    s.Run();
    EXPECT_TRUE(s.r.a.ok);
    EXPECT_TRUE(s.files.Find("R.BIN")->data == Content(2000));
    EXPECT_LT(s.r.line_time, 10000);

    // What came with the last packet is still read, without waiting: an
    // ENQ is answered, other bytes count as reads, and the result stays.
    for (const std::string& tail : {std::string(1, '\x05'), std::string("prompt text after the file\r\n")}) {
        MemoryFiles files;
        FileList up, down;
        down.Add("");
        Transfer t(files, up, down, {});
        t.Start(0);
        Quoting q;
        t.Feed(Packet(1, "TDBAFTER.BIN", q), 1);
        t.Resume(1);
        t.Feed(Packet(2, "Nxyz", q), 2);
        const Answer a = t.Feed(Packet(3, "TC", q) + tail, 3);
        EXPECT_TRUE(a.finished);
        EXPECT_TRUE(t.Succeeded());
        EXPECT_EQ(a.send, tail == "\x05" ? Bytes({0x10, '3', 0x10, '+', '+', 0x10, '3'}) : Bytes({0x10, '3'}));
        EXPECT_EQ(files.Find("AFTER.BIN")->data, "xyz");
    }
}

// Packets repeated because their ACK was lost are acknowledged again and
// not written twice.
TEST(BPlusLoopback, RepeatedPacketWrittenOnce)
{
    MemoryFiles files;
    FileList up, down;
    down.Add("");
    Transfer t(files, up, down, {Variant::kNiftyServe, 19200});
    t.Start(0);
    Quoting q;
    auto feed = [&](std::uint8_t n, const std::string& data) { return t.Feed(Packet(n, data, q), 1); };
    Answer ready = feed(1, "TDBREP.BIN");
    EXPECT_TRUE(ready.resume);  // the file-ready step first
    EXPECT_EQ(t.Resume(1).send, Bytes({0x10, '1'}));
    EXPECT_EQ(feed(2, "Nabc").send, Bytes({0x10, '2'}));
    EXPECT_EQ(feed(2, "Nabc").send, Bytes({0x10, '2'}));  // again: ACK only
    EXPECT_EQ(feed(4, "Nzzz").send, Bytes({0x15}));       // out of sequence: NAK
    EXPECT_EQ(feed(3, "Ndef").send, Bytes({0x10, '3'}));
    Answer a = feed(4, "TC");
    EXPECT_TRUE(a.finished);
    EXPECT_TRUE(t.Succeeded());
    EXPECT_EQ(files.Find("REP.BIN")->data, "abcdef");
}

// A host that sends only damaged packets: ten errors end the read.
TEST(BPlusLoopback, ErrorLimit)
{
    MemoryFiles files;
    FileList up, down;
    down.Add("");
    Transfer t(files, up, down, {});
    t.Start(0);
    Quoting q;
    std::string bad = Packet(1, "TDBX", q);
    bad.back() = static_cast<char>(bad.back() ^ 1);
    int naks = 0;
    for (int i = 0; i < 12 && !t.Finished(); ++i) {
        const Answer a = t.Feed(bad, i);
        naks += static_cast<int>(std::count(a.send.begin(), a.send.end(), '\x15'));
    }
    EXPECT_TRUE(t.Finished());
    EXPECT_FALSE(t.Succeeded());
    EXPECT_EQ(naks, 10);
}

}  // namespace
}  // namespace tolvex::transfer::bp
