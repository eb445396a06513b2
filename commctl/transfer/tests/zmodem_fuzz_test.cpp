// The ZModem reader, receiver and sender fed random and mutated frames:
// they must never crash (the suite also runs under ASan/UBSan), never stop
// answering, never take a subpacket over its limit and never write a file
// outside the download folder.

#include "transfer/zmodem.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

namespace tolvex::transfer::zm {
namespace {

std::string RandomBytes(std::mt19937& g, std::size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g());
    return s;
}

Header RandomHeader(std::mt19937& g, std::uint8_t type)
{
    Header h = Header::At(type, g() % 3 ? g() % 5000 : g());
    if (g() % 4 == 0)
        h.b[3] = static_cast<std::uint8_t>(g());
    return h;
}

std::string AnyHeader(std::mt19937& g, const Header& h, bool crc32)
{
    switch (g() % 3) {
    case 0: return HexHeader(h);
    case 1: return BinHeader(h, crc32, g() % 2);
    default: return BinHeader(h, !crc32, false);
    }
}

// What a sender might say, hostile names and positions included.
std::string SenderStream(std::mt19937& g)
{
    static const char* const kNames[] = {"../../etc/passwd", "/tmp/abs", "..", ".", "", "a/../../b",
                                         "ok.txt", "dir/", "\x83\x5c..\x5c", "x"};
    const bool crc32 = g() % 2;
    std::string s;
    const int frames = static_cast<int>(g() % 16);
    for (int i = 0; i < frames; ++i) {
        switch (i % 4 == 0 ? 0 : g() % 9) {
        case 0: {
            const std::string name = kNames[g() % std::size(kNames)];
            std::string info = g() % 2 ? xy::HeaderData(name, static_cast<std::int64_t>(g() % 20000), g())
                                       : name + std::string(1, '\0');
            if (g() % 5 == 0)
                info.resize(1000 + g() % 100, 'n');
            s += BinHeader(Header::At(kZFile, 0), crc32, false) + Subpacket(info, kZCrcW, crc32, false);
            break;
        }
        case 1:
        case 2: {
            s += AnyHeader(g, RandomHeader(g, kZData), crc32);
            const int subs = static_cast<int>(g() % 5);
            static const std::uint8_t kEnds[] = {kZCrcG, kZCrcQ, kZCrcW, kZCrcE};
            for (int k = 0; k < subs; ++k)
                s += Subpacket(RandomBytes(g, g() % 3 ? g() % 1100 : g() % 9000), kEnds[g() % 4], crc32, g() % 2);
            break;
        }
        case 3: s += AnyHeader(g, RandomHeader(g, kZEof), crc32); break;
        case 4: s += AnyHeader(g, RandomHeader(g, static_cast<std::uint8_t>(g() % 20)), crc32); break;
        case 5:
            s += BinHeader(Header::Flags(kZSInit, static_cast<std::uint8_t>(g())), crc32, false) +
                 Subpacket(RandomBytes(g, g() % 40), kZCrcW, crc32, false);
            break;
        case 6: s += std::string(g() % 6, '\x18'); break;
        case 7: s += HexHeader(Header::At(kZFin, 0)) + (g() % 2 ? "OO" : ""); break;
        default: s += RandomBytes(g, g() % 300);
        }
    }
    const int mutations = static_cast<int>(g() % 10);
    for (int m = 0; m < mutations && !s.empty(); ++m) {
        const std::size_t at = g() % s.size();
        switch (g() % 3) {
        case 0: s[at] = static_cast<char>(s[at] ^ (1 << (g() % 8))); break;
        case 1: s.erase(at, 1); break;
        default: s.insert(at, 1, static_cast<char>(g()));
        }
    }
    return s;
}

// What a receiver might say.
std::string ReceiverStream(std::mt19937& g)
{
    std::string s;
    const int frames = static_cast<int>(g() % 12);
    for (int i = 0; i < frames; ++i) {
        switch (i == 0 ? 0 : g() % 7) {
        case 0: {
            Header h = Header::Flags(kZRInit, static_cast<std::uint8_t>(g()));
            h.b[0] = static_cast<std::uint8_t>(g());
            h.b[1] = static_cast<std::uint8_t>(g() % 8);
            s += HexHeader(h);
            break;
        }
        case 1: s += HexHeader(RandomHeader(g, kZRPos)); break;
        case 2: s += HexHeader(RandomHeader(g, kZAck)); break;
        case 3: s += HexHeader(RandomHeader(g, kZCrc)); break;
        case 4: s += HexHeader(RandomHeader(g, static_cast<std::uint8_t>(g() % 20))); break;
        case 5: s += std::string(g() % 6, '\x18'); break;
        default: s += RandomBytes(g, g() % 100);
        }
    }
    if (!s.empty() && g() % 2)
        s[g() % s.size()] ^= static_cast<char>(1 << (g() % 8));
    return s;
}

// Feeds `p` the stream in random pieces, then lets its timers run out.
void Drive(Protocol& p, const std::string& s, std::mt19937& g)
{
    Millis now = 0;
    Answer a = p.Start(now);
    bool watch = false;  // Sent() is owed once the line has taken the bytes
    std::size_t pos = 0;
    int steps = 0;
    while (!p.Finished() && steps++ < 20000) {
        // No answer piles up: a flood of requests gets no flood of data.
        ASSERT_LE(a.send.size(), 32768u);
        watch = watch || a.watch_sent;
        if (a.resume) {
            a = p.Resume(now);
        } else if (watch && (g() % 2 || pos >= s.size())) {
            watch = false;
            a = p.Sent(now);
        } else if (pos < s.size()) {
            const std::size_t n = 1 + g() % 400;
            const Millis next = now + static_cast<Millis>(g() % 50);
            if (auto d = p.Deadline(); d && *d <= next) {  // a timer runs out first
                now = std::max(now, *d);
                a = p.Tick(now);
                continue;
            }
            now = next;
            a = p.Feed(std::string_view(s).substr(pos, std::min(n, s.size() - pos)), now);
            pos += n;
        } else if (auto d = p.Deadline()) {
            ASSERT_GE(*d, now);
            now = *d;
            a = p.Tick(now);
        } else {
            FAIL() << "waits for nothing";
        }
    }
    ASSERT_TRUE(p.Finished());
}

TEST(ZModemFuzz, ReaderKeepsItsLimits)
{
    std::mt19937 g(424242);
    for (int round = 0; round < 3000; ++round) {
        Reader r;
        const std::string s = round % 2 ? SenderStream(g) : RandomBytes(g, g() % 3000);
        std::size_t pos = 0;
        std::size_t max = kMaxData;
        Reader::Item it;
        while (pos < s.size()) {
            const std::size_t n = 1 + g() % 500;
            r.Feed(std::string_view(s).substr(pos, std::min(n, s.size() - pos)));
            pos += n;
            while (r.Next(it)) {
                if (it.kind == Reader::Item::Kind::kData) {
                    ASSERT_LE(it.data.size(), max);
                }
                if (it.kind == Reader::Item::Kind::kHeader && (g() % 2)) {
                    max = g() % 2 ? kMaxData : kMaxAttention;
                    r.ExpectData(it.form == kZBin32, max);
                }
            }
        }
    }
}

TEST(ZModemFuzz, ReceiverSurvivesHostileStreamsAndKeepsToItsFolder)
{
    std::mt19937 g(20261211);
    int from_headers = 0;
    for (int round = 0; round < 1500; ++round) {
        MemoryFiles files;
        files.Put("ok.txt", "partial");
        FileList list;
        const std::string folder = round % 2 ? "dl/" : "";
        list.Add(round % 2 ? "dl/first.bin" : "");
        const bool resume = g() % 2, skip = g() % 4 == 0;
        Receiver rx(files, list, {}, [&](const Event&) {
            FileChoice c;
            c.resume = resume;
            c.skip = skip;
            return c;
        });
        Drive(rx, SenderStream(g), g);
        for (const std::string& w : files.asked_to_write) {
            EXPECT_TRUE(w == "dl/first.bin" || DirectlyInside(w, folder)) << w;
            from_headers += w != "dl/first.bin";
        }
    }
    EXPECT_GT(from_headers, 50);
}

TEST(ZModemFuzz, SenderSurvivesHostileAnswers)
{
    std::mt19937 g(77);
    for (int round = 0; round < 1500; ++round) {
        MemoryFiles files;
        files.Put("a.bin", RandomBytes(g, g() % 20000));
        files.Put("b.bin", RandomBytes(g, g() % 3000));
        FileList list;
        list.Add("a.bin");
        list.Add("b.bin");
        Options o;
        o.window = g() % 2 ? kWindow : 0;
        Sender tx(files, list, o);
        Drive(tx, ReceiverStream(g), g);
    }
}

}  // namespace
}  // namespace tolvex::transfer::zm
