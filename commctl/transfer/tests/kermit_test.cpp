// Kermit through the loopback harness (fake clock) and against scripted
// peers: the packet layer, parameters and prefixing, sizes and batches in
// both directions, 7-bit lines, faults, limits, and the rules for names and
// files received from the line.

#include "transfer/kermit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback.h"

namespace tolvex::transfer::kermit {
namespace {

using loopback::Fault;
using loopback::Way;

constexpr Millis kLimit = 20 * 60 * 1000;

std::string EveryByte(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + 11) & 0xFF);  // every value, the prefixes and controls included
    return s;
}

// Stands between a protocol and the line: strips the 8th bit both ways (a
// 7-bit line), and once `after` bytes were fed asks for an abort or reports
// the line lost.
class Wrap final : public loopback::Wrapper {
public:
    enum class What { kNothing, kAbort, kSkip, kLineLost };
    Wrap(Protocol& inner, bool seven_bit, What what = What::kNothing, std::size_t after = 0)
        : Wrapper(inner), seven_bit_(seven_bit), what_(what), after_(after)
    {
    }
    bool high_bit_seen = false;  // a byte with the 8th bit set was put on the line

protected:
    void OnFeed(std::string_view bytes, Millis now) override
    {
        std::string b(bytes);
        if (seven_bit_)
            for (char& c : b)
                c = static_cast<char>(c & 0x7F);
        fed_ += b.size();
        Take(inner_.Feed(b, now));
        if (!Finished() && what_ != What::kNothing && fed_ >= after_) {
            const What w = what_;
            what_ = What::kNothing;
            Take(w == What::kLineLost ? inner_.LineLost(now)
                                      : inner_.Ask(w == What::kAbort ? Request::kAbort : Request::kSkip, now));
        }
    }

    std::string Outgoing(std::string s) override
    {
        for (char c : s)
            high_bit_seen = high_bit_seen || (static_cast<unsigned char>(c) & 0x80);
        if (seven_bit_)
            for (char& c : s)
                c = static_cast<char>(c & 0x7F);
        return s;
    }

private:
    bool seven_bit_;
    What what_;
    std::size_t after_;
    std::size_t fed_ = 0;
};

// A peer that says nothing.
class Silent final : public Protocol {
protected:
    void OnStart(Millis) override {}
    void OnFeed(std::string_view, Millis) override {}
    void OnTick(Millis) override {}
};

// A Kermit peer written as a function of each packet it receives (and of
// the start, with an empty packet); it answers with what the function
// returns and ends once the function says so.
class Scripted final : public Protocol {
public:
    using Script = std::function<std::string(const Reader::Packet* packet, bool& done)>;
    explicit Scripted(Script s) : script_(std::move(s)) {}
    std::vector<Reader::Packet> seen;
    std::string raw;  // every byte received

protected:
    void OnStart(Millis) override { Run(nullptr); }
    void OnFeed(std::string_view bytes, Millis) override
    {
        raw.append(bytes);
        std::size_t pos = 0;
        while (pos < bytes.size() && !Finished()) {
            std::size_t used = 0;
            Reader::Packet p;
            if (reader_.Take(bytes.substr(pos), used, p) == Reader::Got::kPacket) {
                seen.push_back(p);
                Run(&seen.back());
            }
            pos += used;
        }
    }
    void OnTick(Millis) override {}

private:
    void Run(const Reader::Packet* p)
    {
        bool done = false;
        Send(script_(p, done));
        if (done)
            Finish(true);
    }
    Script script_;
    Reader reader_;
};

Params Default() { return ParseParams(""); }

std::string Ack(int seq, std::string_view data = {}) { return Packet(seq, 'Y', data, Default()); }

struct Session {
    MemoryFiles files;
    FileList up, down;
    std::unique_ptr<Sender> sender;
    std::unique_ptr<Receiver> receiver;
    loopback::Result r;

    explicit Session(bool sender_seven = false, bool receiver_seven = false, xy::FileReadyHook hook = {})
    {
        sender = std::make_unique<Sender>(files, up, Options{sender_seven, 11.52});
        receiver = std::make_unique<Receiver>(files, down, Options{receiver_seven, 11.52}, std::move(hook));
    }
    void Go(const std::vector<Fault>& faults = {}) { r = loopback::Run(*sender, *receiver, faults, kLimit); }
    std::string Got(const std::string& name) const
    {
        const MemoryFiles::Entry* e = files.Find(name);
        return e ? e->data : std::string("<missing>");
    }
};

int Count(const std::vector<Event>& events, EventKind kind, std::int16_t status = -2)
{
    int n = 0;
    for (const Event& e : events)
        n += e.kind == kind && (status == -2 || e.status == status);
    return n;
}

// ---------------------------------------------------------------------------
// Packets, parameters, prefixes

TEST(KermitPackets, LayoutAndCheck)
{
    // A NAK of packet 5 with the defaults: LEN "#" (3), SEQ "%", "N", and the check.
    const std::string p = Packet(5, 'N', {}, Default());
    unsigned s = '#' + '%' + 'N';
    EXPECT_EQ(p, std::string("\x01#%N") + static_cast<char>(((s + ((s >> 6) & 3)) & 0x3F) + 32) + "\r");
    // The peer's padding goes first, its end of line last.
    Params to;
    to.pad_count = 3;
    to.pad_char = 0x00;
    to.eol = '\n';
    const std::string q = Packet(0, 'Y', "ab", to);
    EXPECT_EQ(q.substr(0, 4), std::string("\0\0\0\x01", 4));
    EXPECT_EQ(q.back(), '\n');

    // The reader finds it again, restarts at a MARK inside a packet, refuses
    // a wrong check, a length it cannot take, and stops at two CANs.
    Reader reader;
    Reader::Packet got;
    std::size_t used = 0;
    const std::string noisy = "xx\x01#" + p;
    ASSERT_EQ(reader.Take(noisy, used, got), Reader::Got::kPacket);
    EXPECT_TRUE(got.good);
    EXPECT_EQ(got.seq, 5);
    EXPECT_EQ(got.type, 'N');
    std::string bad = p;
    bad[3] = 'D';
    ASSERT_EQ(reader.Take(bad, used, got), Reader::Got::kPacket);
    EXPECT_FALSE(got.good);
    ASSERT_EQ(reader.Take("\x01 ", used, got), Reader::Got::kPacket);  // LEN 0: a long packet, not offered
    EXPECT_FALSE(got.good);
    EXPECT_EQ(reader.Take("\x18\x18", used, got), Reader::Got::kCancel);
}

TEST(KermitPackets, ParametersFromThePeer)
{
    struct Case {
        const char* what;
        std::string data;
        int maxl;
        Millis timeout;
        char eol;
        char ctl;
    };
    const Case cases[] = {
        {"nothing: the defaults", "", 80, 5000, '\r', '#'},
        {"C-Kermit's usual", "~* @-#Y3~^>J)+", 94, 10000, '\r', '#'},
        {"maximum 5 is taken as 80", std::string(1, ToChar(5)), 80, 5000, '\r', '#'},
        {"timeout 0 is the default", std::string("~") + ToChar(0), 94, 5000, '\r', '#'},
        {"a negative timeout is the default", std::string("~") + ToChar(-1), 94, 5000, '\r', '#'},
        {"end of line 0 is CR", std::string("~* @") + ToChar(0), 94, 10000, '\r', '#'},
        {"end of line LF", std::string("~* @") + ToChar(10), 94, 10000, '\n', '#'},
        {"end of line 40 is CR", std::string("~* @") + ToChar(40), 94, 10000, '\r', '#'},
        {"another control prefix", "~* @-!", 94, 10000, '\r', '!'},
        {"an invalid control prefix", "~* @-Y", 94, 10000, '\r', '#'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Params p = ParseParams(c.data);
        EXPECT_EQ(p.max_length, c.maxl);
        EXPECT_EQ(p.timeout, c.timeout);
        EXPECT_EQ(p.eol, c.eol);
        EXPECT_EQ(p.ctl_prefix, c.ctl);
    }
    EXPECT_EQ(OwnParams(false), "~* @-#Y");
    EXPECT_EQ(OwnParams(true), "~* @-#&");
}

TEST(KermitPackets, EightBitPrefixOnlyWhenBothAgree)
{
    struct Case {
        bool seven_bit;
        std::string peer;  // the peer's QBIN field ("" none)
        char agreed;
    };
    const Case cases[] = {
        {false, "Y", 0},   {false, "&", '&'}, {false, "N", 0},   {false, "", 0},    {false, " ", 0},
        {false, "#", 0},   {false, "a", 'a'}, {false, "\x7f", 0}, {true, "Y", '&'}, {true, "&", '&'},
        {true, "N", 0},    {true, "", 0},     {true, "+", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.seven_bit ? "7-bit, peer " : "8-bit, peer ") + c.peer);
        EXPECT_EQ(AgreedBinPrefix(c.seven_bit, ParseParams("~* @-#" + c.peer)), c.agreed);
    }
    // A prefix that is also the peer's control prefix cannot be used.
    EXPECT_EQ(AgreedBinPrefix(false, ParseParams("~* @-&&")), 0);
}

TEST(KermitPackets, PrefixingOfEveryByte)
{
    struct Case {
        std::string in;
        char bin;
        std::string out;
    };
    const Case cases[] = {
        {"\x01", 0, "#A"},          {"#", 0, "##"},           {"\x7f", 0, "#?"},       {"&", 0, "&"},
        {"\x81", 0, "#\xc1"},       {"\xff", 0, "#\xbf"},      {"\xa3", 0, "#\xa3"},    {"\x81", '&', "&#A"},
        {"&", '&', "#&"},           {"\xa6", '&', "&#&"},       {"\xe1", '&', "&a"},     {"\xa3", '&', "&##"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Encode(c.in, 10, {'#', c.bin}, out), 1u);
        EXPECT_EQ(out, c.out) << "bin " << (c.bin ? c.bin : '-');
    }
    // Every byte value survives both ways, with and without 8-bit prefixing,
    // and with the peer's own control prefix.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    for (const Prefixes p : {Prefixes{'#', 0}, Prefixes{'#', '&'}, Prefixes{'!', '&'}}) {
        std::string field, back;
        ASSERT_EQ(Encode(all, 10000, p, field), 256u);
        ASSERT_TRUE(Decode(field, p, back));
        EXPECT_EQ(back, all);
        // On a 7-bit line with the prefix nothing needs the 8th bit.
        if (p.bin) {
            for (char c : field)
                EXPECT_EQ(static_cast<unsigned char>(c) & 0x80, 0);
        }
    }
    // A full field never ends inside a prefix sequence.
    std::string out;
    EXPECT_EQ(Encode("a\x81\x81", 5, {'#', '&'}, out), 2u);
    EXPECT_EQ(out, "a&#A");
    std::string d;
    EXPECT_FALSE(Decode("ab#", {'#', 0}, d));
    EXPECT_FALSE(Decode("ab&", {'#', '&'}, d));
}

// ---------------------------------------------------------------------------
// Whole transfers

TEST(Kermit, EverySizeBothWaysOnEightAndSevenBitLines)
{
    const std::size_t sizes[] = {0, 1, 90, 91, 92, 5824, 30000, 1 << 20};
    struct Line {
        const char* what;
        bool sender_seven, receiver_seven, line_seven;
    };
    const Line lines[] = {
        {"8-bit line", false, false, false},
        {"7-bit line, both prefix", true, true, true},
        {"7-bit sender, 8-bit receiver", true, false, true},
        {"8-bit sender, 7-bit receiver", false, true, true},
    };
    for (const Line& l : lines) {
        for (std::size_t size : sizes) {
            if (size == (1u << 20) && l.line_seven)
                continue;  // the large row once is enough (it takes seconds under the sanitizers)
            SCOPED_TRACE(std::string(l.what) + ", " + std::to_string(size) + " bytes");
            Session run(l.sender_seven, l.receiver_seven);
            const std::string content = EveryByte(size);
            run.files.Put("src/a.bin", content);
            run.up.Add("src/a.bin");
            run.down.Add("in/a.bin");
            Wrap a(*run.sender, l.line_seven), b(*run.receiver, l.line_seven);
            run.r = loopback::Run(a, b, {}, kLimit);
            EXPECT_FALSE(run.r.stuck);
            EXPECT_TRUE(run.r.a.ok);
            EXPECT_TRUE(run.r.b.ok);
            EXPECT_TRUE(run.Got("in/a.bin") == content) << run.Got("in/a.bin").size();
            if (l.line_seven) {
                EXPECT_FALSE(a.high_bit_seen || b.high_bit_seen) << "8-bit prefixing was not used";
            }
            EXPECT_EQ(run.sender->Retries() + run.receiver->Retries(), 0);
            // A finished file is reported on both sides, with its size.
            for (const auto* side : {&run.r.a, &run.r.b}) {
                ASSERT_EQ(Count(side->events, EventKind::kFileDone, kStatusFinished), 1);
                for (const Event& e : side->events) {
                    if (e.kind == EventKind::kFileDone) {
                        EXPECT_EQ(e.transferred, static_cast<std::int64_t>(size));
                    }
                }
            }
        }
    }
}

TEST(Kermit, BatchWithNamesFromTheLine)
{
    Session run;
    run.files.Put("src/one.txt", "first file\r\n");
    run.files.Put("src/empty", "");
    run.files.Put("other/three.bin", EveryByte(3000));
    for (const char* n : {"src/one.txt", "src/empty", "other/three.bin"})
        run.up.Add(n);
    run.down.Add("in/renamed.txt");  // the first file's local name; the others keep theirs
    run.Go();
    ASSERT_TRUE(run.r.a.ok);
    ASSERT_TRUE(run.r.b.ok);
    EXPECT_EQ(run.Got("in/renamed.txt"), "first file\r\n");
    EXPECT_EQ(run.Got("in/empty"), "");
    EXPECT_EQ(run.Got("in/three.bin"), EveryByte(3000));
    EXPECT_EQ(Count(run.r.a.events, EventKind::kFileDone, kStatusFinished), 3);
    EXPECT_EQ(Count(run.r.b.events, EventKind::kFileDone, kStatusFinished), 3);
    // The receiver reports where each file goes, and the sender's name.
    std::vector<std::string> sources;
    for (const Event& e : run.r.b.events)
        if (e.kind == EventKind::kFileReady)
            sources.push_back(e.source);
    EXPECT_EQ(sources, (std::vector<std::string>{"one.txt", "empty", "three.bin"}));
}

TEST(Kermit, FaultsOnTheLineAreMended)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
    };
    // Byte 0 of A>B is the S packet; ~100 bytes on, data packets; B>A carries ACKs of ~6 bytes.
    const Case cases[] = {
        {"S lost", {Fault::Drop(Way::kAtoB, 3)}},
        {"ACK of S damaged", {Fault::Flip(Way::kBtoA, 5, 2)}},
        {"F damaged", {Fault::Flip(Way::kAtoB, 22, 0)}},
        {"data damaged", {Fault::Flip(Way::kAtoB, 500, 3)}},
        {"data bytes lost", {Fault::Drop(Way::kAtoB, 700), Fault::Drop(Way::kAtoB, 701)}},
        {"MARK of a data packet lost", {Fault::Drop(Way::kAtoB, 2 * 97 + 40)}},
        {"ACK lost (the D comes again)", {Fault::Drop(Way::kBtoA, 60), Fault::Drop(Way::kBtoA, 61)}},
        {"ACK's check damaged", {Fault::Flip(Way::kBtoA, 64, 1)}},
        {"line stalls 7 s", {Fault::Stall(Way::kAtoB, 900, 7000)}},
        {"answers stall 12 s", {Fault::Stall(Way::kBtoA, 200, 12000)}},
        {"many", {Fault::Flip(Way::kAtoB, 300, 1), Fault::Drop(Way::kAtoB, 1200), Fault::Drop(Way::kBtoA, 90),
                  Fault::Flip(Way::kBtoA, 400, 6)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session run;
        const std::string content = EveryByte(10000);
        run.files.Put("src/a.bin", content);
        run.up.Add("src/a.bin");
        run.down.Add("in/a.bin");
        run.Go(c.faults);
        EXPECT_FALSE(run.r.stuck);
        EXPECT_TRUE(run.r.a.ok);
        EXPECT_TRUE(run.r.b.ok);
        EXPECT_TRUE(run.Got("in/a.bin") == content) << run.Got("in/a.bin").size();
        EXPECT_GT(run.sender->Retries() + run.receiver->Retries(), 0);
    }
    // The last answers lost: the ACK of Z is asked for again; once the ACK of
    // B was lost, every file was delivered all the same.
    Session clean;
    clean.files.Put("src/a.bin", EveryByte(10000));
    clean.up.Add("src/a.bin");
    clean.Go();
    const std::size_t acks = clean.r.b.bytes_sent;
    for (std::size_t from_end : {12u, 6u}) {
        SCOPED_TRACE(from_end == 12 ? "ACK of Z lost" : "ACK of B lost");
        Session run;
        run.files.Put("src/a.bin", EveryByte(10000));
        run.up.Add("src/a.bin");
        run.down.Add("in/a.bin");
        run.Go({Fault::Drop(Way::kBtoA, acks - from_end + 1)});
        EXPECT_TRUE(run.r.a.ok);
        EXPECT_TRUE(run.r.b.ok);
        EXPECT_EQ(run.sender->Retries(), 1);
        EXPECT_TRUE(run.Got("in/a.bin") == EveryByte(10000));
    }
}

TEST(Kermit, DeadEndsAndRequests)
{
    struct Case {
        const char* what;
        bool sender_side;  // the fault is at the sender (else at the receiver)
        Wrap::What what_;
        std::size_t after;
        std::vector<Fault> faults;
        std::int16_t status;     // of the side's last error
        int message;
    };
    const Case cases[] = {
        {"line lost at the sender", true, Wrap::What::kLineLost, 30, {}, kStatusLostCarrier, 2012},
        {"line lost at the receiver", false, Wrap::What::kLineLost, 600, {}, kStatusLostCarrier, 2012},
        {"sender aborts", true, Wrap::What::kAbort, 50, {}, kStatusAbort, 2027},
        {"receiver aborts", false, Wrap::What::kAbort, 900, {}, kStatusAbort, 2027},
        {"line cut: both give up", true, Wrap::What::kNothing, 0, {Fault::Cut(Way::kAtoB, 2000)}, kStatusAbort, 2027},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session run;
        run.files.Put("src/a.bin", EveryByte(20000));
        run.up.Add("src/a.bin");
        run.down.Add("in/a.bin");
        Wrap a(*run.sender, false, c.sender_side ? c.what_ : Wrap::What::kNothing, c.after);
        Wrap b(*run.receiver, false, c.sender_side ? Wrap::What::kNothing : c.what_, c.after);
        run.r = loopback::Run(a, b, c.faults, kLimit);
        EXPECT_FALSE(run.r.stuck);
        const loopback::SideResult& mine = c.sender_side ? run.r.a : run.r.b;
        const loopback::SideResult& other = c.sender_side ? run.r.b : run.r.a;
        EXPECT_TRUE(mine.finished);
        EXPECT_FALSE(mine.ok);
        EXPECT_EQ(mine.last_error, c.message);
        std::int16_t last = 0;
        for (const Event& e : mine.events)
            if (e.kind == EventKind::kError)
                last = e.status;
        EXPECT_EQ(last, c.status);
        // A dead line or a request ends the transfer at once, without waiting for answers.
        if (c.what_ != Wrap::What::kNothing) {
            EXPECT_EQ(Count(mine.events, EventKind::kError, kStatusTimeout), 0);
        }
        // An abort is told to the peer (an E packet): it stops at once too.
        if (c.what_ == Wrap::What::kAbort) {
            EXPECT_FALSE(other.ok);
            EXPECT_EQ(other.last_error, 2006);
        }
    }
}

TEST(Kermit, SkipRequestsGiveUpTheFileAndGoOn)
{
    // Either side's application asks to skip the first file during its
    // data: the sender ends it with Z "D", the receiver reports it skipped,
    // and the second file arrives whole.
    for (bool at_sender : {true, false}) {
        SCOPED_TRACE(at_sender ? "sender skips" : "receiver skips");
        Session run;
        run.files.Put("src/a.bin", EveryByte(20000));
        run.files.Put("src/b.bin", "second");
        run.up.Add("src/a.bin");
        run.up.Add("src/b.bin");
        Wrap a(*run.sender, false, at_sender ? Wrap::What::kSkip : Wrap::What::kNothing, 100);
        Wrap b(*run.receiver, false, at_sender ? Wrap::What::kNothing : Wrap::What::kSkip, 2000);
        run.r = loopback::Run(a, b, {}, kLimit);
        EXPECT_TRUE(run.r.a.ok);
        EXPECT_TRUE(run.r.b.ok);
        EXPECT_EQ(run.Got("b.bin"), "second");
        EXPECT_LT(run.Got("a.bin").size(), 20000u);
        for (const auto* side : {&run.r.a, &run.r.b}) {
            EXPECT_EQ(Count(side->events, EventKind::kError, kStatusSkip), 1);
            EXPECT_EQ(Count(side->events, EventKind::kFileDone, kStatusFinished), 1);
        }
    }
}

TEST(Kermit, SilentPeersEndTheTransfer)
{
    for (bool sending : {true, false}) {
        SCOPED_TRACE(sending ? "sender" : "receiver");
        MemoryFiles files;
        files.Put("a.bin", "data");
        FileList list;
        list.Add(sending ? "a.bin" : "in/a.bin");
        Silent peer;
        std::unique_ptr<Endpoint> side;
        if (sending)
            side = std::make_unique<Sender>(files, list);
        else
            side = std::make_unique<Receiver>(files, list);
        const loopback::Result r = loopback::Run(*side, peer, {}, kLimit);
        EXPECT_TRUE(r.a.finished);
        EXPECT_FALSE(r.a.ok);
        EXPECT_EQ(r.a.last_error, 2027);
        // Ten tries of the default 5 s.
        EXPECT_EQ(r.line_time / 1000, 50);
        EXPECT_EQ(Count(r.a.events, EventKind::kError, kStatusTimeout), 10);
    }
}

// ---------------------------------------------------------------------------
// Against scripted peers

// A scripted sender: S with `params`, then the given packets one by one,
// each as soon as the previous one was answered (any answer).
Scripted::Script SendPackets(std::string params, std::vector<std::pair<char, std::string>> packets)
{
    return [params, packets, i = std::size_t(0)](const Reader::Packet* p, bool& done) mutable -> std::string {
        if (!p)
            return Packet(0, 'S', params, Default());
        if (p->type == 'N')
            return {};
        if (i >= packets.size()) {
            done = true;
            return {};
        }
        const auto& [type, data] = packets[i];
        ++i;
        return Packet(static_cast<int>(i), type, data, Default());
    };
}

TEST(KermitReceiver, RepeatedDataIsAcknowledgedNotWrittenTwice)
{
    MemoryFiles files;
    FileList list;
    Receiver rx(files, list);
    Answer a = rx.Start(0);
    a = rx.Feed(Packet(0, 'S', "~* @-#Y", Default()), 0);
    a = rx.Feed(Packet(1, 'F', "a.txt", Default()), 0);
    ASSERT_TRUE(a.resume);
    a = rx.Resume(0);
    EXPECT_EQ(a.send, Ack(1));
    a = rx.Feed(Packet(2, 'D', "hello", Default()), 0);
    EXPECT_EQ(a.send, Ack(2));
    // Our ACK was lost: the sender repeats D 2 (and then, once more, F 1 is stale).
    a = rx.Feed(Packet(2, 'D', "hello", Default()), 0);
    EXPECT_EQ(a.send, Ack(2));
    a = rx.Feed(Packet(3, 'D', " world", Default()), 0);
    a = rx.Feed(Packet(4, 'Z', "", Default()), 0);
    a = rx.Feed(Packet(4, 'Z', "", Default()), 0);  // repeated Z: acknowledged again
    EXPECT_EQ(a.send, Ack(4));
    a = rx.Feed(Packet(5, 'B', "", Default()), 0);
    EXPECT_EQ(a.send, Ack(5));
    a = rx.Tick(*a.deadline);
    EXPECT_TRUE(rx.Succeeded());
    EXPECT_EQ(files.Find("a.txt")->data, "hello world");
}

TEST(KermitReceiver, CheckErrorsAndStrangersAreAnsweredWithNak)
{
    MemoryFiles files;
    FileList list;
    Receiver rx(files, list);
    rx.Start(0);
    std::string s = Packet(0, 'S', "~* @-#Y", Default());
    s[s.size() - 2] ^= 1;  // the check
    Answer a = rx.Feed(s, 0);
    EXPECT_EQ(a.send, Packet(0, 'N', {}, Default()));
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_TRUE(a.events[0].counted);
    EXPECT_EQ(rx.Retries(), 1);
    // The peer's TIME 0 is not "no time": the default 5 s.
    a = rx.Feed(Packet(0, 'S', std::string("~") + ToChar(0) + " @-#Y", Default()), 100);
    ASSERT_TRUE(a.deadline);
    EXPECT_EQ(*a.deadline, 5100);
    // A packet with a number neither expected nor the last: NAK of the expected.
    a = rx.Feed(Packet(9, 'F', "x", Default()), 200);
    EXPECT_EQ(a.send, Packet(1, 'N', {}, Default()));
    // Two CANs between packets end the transfer.
    a = rx.Feed("\x18\x18", 300);
    EXPECT_TRUE(rx.Finished());
    EXPECT_FALSE(rx.Succeeded());
}

TEST(KermitReceiver, NamesFromTheLineStayInTheFolder)
{
    struct Case {
        std::string name;
        std::string stored;
    };
    const Case cases[] = {
        {"../evil.txt", "evil.txt"},     {"/etc/passwd", "passwd"},  {"a/../../b", "b"},
        {"", "UNTITLED.000"},            {".", "UNTITLED.000"},      {"..", "UNTITLED.000"},
        {"dir/", "UNTITLED.000"},        {"#A#B", "\x01\x02"},        {"ok name.txt", "ok name.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFiles files;
        FileList list;
        list.Add("");  // a download without a name: the name comes from the line
        Receiver rx(files, list);
        Scripted tx(SendPackets("~* @-#Y", {{'F', c.name}, {'D', "x"}, {'Z', ""}, {'B', ""}}));
        const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
        EXPECT_TRUE(r.b.ok);
        ASSERT_NE(files.Find(c.stored), nullptr);
        EXPECT_EQ(files.Find(c.stored)->data, "x");
    }
}

TEST(KermitReceiver, DiscardedFileIsNotFinished)
{
    MemoryFiles files;
    FileList list;
    list.Add("in/a.bin");
    Receiver rx(files, list);
    Scripted tx(SendPackets("~* @-#Y", {{'F', "a.bin"}, {'D', "part"}, {'Z', "D"}, {'F', "b.bin"}, {'D', "whole"},
                                        {'Z', ""}, {'B', ""}}));
    const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
    EXPECT_TRUE(r.b.ok);
    EXPECT_EQ(Count(r.b.events, EventKind::kFileDone), 1);
    EXPECT_EQ(Count(r.b.events, EventKind::kError, kStatusSkip), 1);
    for (const Event& e : r.b.events) {
        if (e.kind == EventKind::kFileDone) {
            EXPECT_EQ(e.file, "in/b.bin");
        }
    }
    EXPECT_EQ(files.Find("in/b.bin")->data, "whole");
}

TEST(KermitReceiver, RemoteErrorAndSkipAtFileReady)
{
    {
        MemoryFiles files;
        FileList list;
        Receiver rx(files, list);
        Scripted tx(SendPackets("~* @-#Y", {{'F', "a"}, {'E', "disk full"}}));
        const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
        EXPECT_FALSE(r.b.ok);
        EXPECT_EQ(r.b.last_error, 2006);
    }
    {
        // The application refuses the file: the transfer ends and the sender is told.
        MemoryFiles files;
        FileList list;
        Receiver rx(files, list, {}, [](const Event&) {
            xy::FileChoice c;
            c.skip = true;
            return c;
        });
        Scripted tx(SendPackets("~* @-#Y", {{'F', "a"}, {'D', "x"}}));
        const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
        EXPECT_FALSE(r.b.ok);
        EXPECT_EQ(r.b.last_error, 2000);
        ASSERT_FALSE(tx.seen.empty());
        EXPECT_EQ(tx.seen.back().type, 'E');
        EXPECT_EQ(files.Find("a"), nullptr);
    }
}

// A scripted receiver: ACKs S with `params`, keeps the decoded data of the
// D packets it acknowledges (with `prefixes`), answers through `answer`.
struct ScriptedReceiver {
    std::string params;
    Prefixes prefixes;
    std::string data, name;
    std::vector<std::string> fields;
    std::function<std::string(const Reader::Packet&)> answer;  // none: ACK

    Scripted::Script Script()
    {
        return [this](const Reader::Packet* p, bool& done) -> std::string {
            if (!p || !p->good)
                return {};
            if (p->type == 'S')
                return Ack(p->seq, params);
            std::string d;
            if (p->type == 'D') {
                fields.push_back(p->data);
                EXPECT_TRUE(Decode(p->data, prefixes, d)) << "a field ends inside a prefix";
            }
            if (p->type == 'F')
                Decode(p->data, prefixes, name);
            const std::string reply = answer ? answer(*p) : Ack(p->seq);
            const bool acked = reply.find(Ack(p->seq)) != std::string::npos ||
                               reply.find(Packet((p->seq + 1) & 63, 'N', {}, Default())) != std::string::npos;
            if (acked)
                data += d;
            done = p->type == 'B' && acked;
            return reply;
        };
    }
};

TEST(KermitSender, FieldsFitThePeersLengthAndKeepPrefixesWhole)
{
    struct Case {
        const char* what;
        std::string params;
        std::size_t max_len;  // of LEN
        char eol;
        Prefixes prefixes;
    };
    const Case cases[] = {
        {"MAXL 10", std::string(1, ToChar(10)) + "* @-#&", 10, '\r', {'#', '&'}},
        {"MAXL 20, no 8-bit prefix", std::string(1, ToChar(20)) + "* @-#N", 20, '\r', {'#', 0}},
        {"MAXL 5 is 80", std::string(1, ToChar(5)) + "* @-#&", 80, '\r', {'#', '&'}},
        {"MAXL 94, EOL LF", std::string("~* @") + ToChar(10) + "#&", 94, '\n', {'#', '&'}},
        {"EOL 0 is CR", std::string("~* @") + ToChar(0) + "#Y", 94, '\r', {'#', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFiles files;
        const std::string content = EveryByte(3000);
        files.Put("deep/folder/file.bin", content);
        FileList list;
        list.Add("deep/folder/file.bin");
        Sender tx(files, list);
        ScriptedReceiver peer{c.params, c.prefixes, {}, {}, {}, {}};
        Scripted rx(peer.Script());
        const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
        EXPECT_TRUE(r.a.ok);
        EXPECT_EQ(peer.data, content);
        EXPECT_EQ(peer.name, std::string("file.bin").substr(0, c.max_len - 3));  // the base name, as far as it fits
        std::size_t longest = 0;
        for (const std::string& f : peer.fields)
            longest = std::max(longest, f.size() + 3);
        EXPECT_LE(longest, c.max_len);
        EXPECT_GE(longest, c.max_len - 2);  // and filled as far as a whole sequence fits
        // Every packet after the S ends with the peer's end of line (the S
        // goes before the parameters are known: CR).
        int marks = 0;
        for (std::size_t i = 1; i < rx.raw.size(); ++i) {
            if (rx.raw[i] != kMark)
                continue;
            EXPECT_EQ(rx.raw[i - 1], ++marks == 1 ? '\r' : c.eol);
        }
        EXPECT_GT(marks, 10);
    }
}

TEST(KermitSender, AnswersAreCheckedAgainstThePacketInFlight)
{
    struct Case {
        const char* what;
        std::function<std::string(const Reader::Packet&)> answer;
    };
    const Case cases[] = {
        // Each packet is answered with a stale ACK of the one before, then the
        // right one: the stale one must not move the sender on.
        {"late duplicate ACKs", [](const Reader::Packet& p) { return Ack((p.seq + 63) & 63) + Ack(p.seq); }},
        // A NAK of the next packet means this one arrived.
        {"NAK of the next", [](const Reader::Packet& p) { return Packet((p.seq + 1) & 63, 'N', {}, Default()); }},
        // A NAK of this one: sent again.
        {"every packet NAKed once",
         [seen = std::make_shared<std::vector<int>>()](const Reader::Packet& p) {
             if (seen->empty() || seen->back() != p.seq) {
                 seen->push_back(p.seq);
                 return Packet(p.seq, 'N', {}, Default());
             }
             return Ack(p.seq);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFiles files;
        const std::string content = EveryByte(20000);  // more than 64 packets: the numbers wrap
        files.Put("a.bin", content);
        FileList list;
        list.Add("a.bin");
        Sender tx(files, list);
        ScriptedReceiver peer{"~* @-#Y", {'#', 0}, {}, {}, {}, c.answer};
        Scripted rx(peer.Script());
        const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
        EXPECT_TRUE(r.a.ok);
        // What was acknowledged is the file, each byte once.
        EXPECT_TRUE(peer.data == content);
        EXPECT_EQ(Count(r.a.events, EventKind::kError, kStatusTimeout), 0);
        EXPECT_LT(r.line_time, 10000);
    }
}

TEST(KermitSender, SevenBitLineWithoutPrefixSendsOnlySevenBitFiles)
{
    // The receiver refuses 8-bit prefixing ("N"): a text goes through, a
    // file with bytes above 0x7F is refused instead of arriving damaged.
    for (bool eight_bit_data : {false, true}) {
        SCOPED_TRACE(eight_bit_data ? "binary file" : "text file");
        MemoryFiles files;
        const std::string content = eight_bit_data ? EveryByte(500) : std::string(500, 'k') + "\r\n";
        files.Put("a.bin", content);
        FileList list;
        list.Add("a.bin");
        Sender tx(files, list, Options{true, 0});
        ScriptedReceiver peer{"~* @-#N", {'#', 0}, {}, {}, {}, {}};
        Scripted rx(peer.Script());
        Wrap a(tx, true);
        const loopback::Result r = loopback::Run(a, rx, {}, kLimit);
        EXPECT_EQ(r.a.ok, !eight_bit_data);
        if (eight_bit_data) {
            EXPECT_EQ(r.a.last_error, 2027);
            EXPECT_EQ(rx.seen.back().type, 'E');
        } else {
            EXPECT_EQ(peer.data, content);
        }
    }
}

TEST(KermitSender, SevenBitPortOffersAmpersandAndSkipRequests)
{
    MemoryFiles files;
    files.Put("a.bin", EveryByte(5000));
    files.Put("b.bin", "second");
    {
        FileList list;
        list.Add("a.bin");
        Sender tx(files, list, Options{true, 0});
        EXPECT_EQ(tx.Start(0).send, Packet(0, 'S', "~* @-#&", Default()));
    }
    // The receiver asks to skip a file ("X" in the ACK of a D): the sender
    // ends it with Z "D" and goes on with the next one.
    FileList list;
    list.Add("a.bin");
    list.Add("b.bin");
    Sender tx(files, list);
    std::string current;
    bool asked = false;
    std::vector<std::pair<std::string, std::string>> ends;  // file, Z data
    ScriptedReceiver peer{"~* @-#Y", {'#', 0}, {}, {}, {}, [&](const Reader::Packet& p) {
                              if (p.type == 'F')
                                  Decode(p.data, {'#', 0}, current);
                              if (p.type == 'D' && !asked) {
                                  asked = true;
                                  return Ack(p.seq, "X");
                              }
                              if (p.type == 'Z')
                                  ends.emplace_back(current, p.data);
                              return Ack(p.seq);
                          }};
    Scripted rx(peer.Script());
    const loopback::Result r = loopback::Run(tx, rx, {}, kLimit);
    EXPECT_TRUE(r.a.ok);
    EXPECT_EQ(ends, (std::vector<std::pair<std::string, std::string>>{{"a.bin", "D"}, {"b.bin", ""}}));
    EXPECT_EQ(Count(r.a.events, EventKind::kError, kStatusSkip), 1);
    EXPECT_EQ(Count(r.a.events, EventKind::kFileDone, kStatusFinished), 1);
}

}  // namespace
}  // namespace tolvex::transfer::kermit
