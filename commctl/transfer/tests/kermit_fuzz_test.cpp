// Kermit ends fed random and mutated packets: they must never crash (the
// suite also runs under ASan/UBSan), always end, and the receiver never
// writes a file outside its download folder.

#include "transfer/kermit.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tolvex::transfer::kermit {
namespace {

std::string Bytes(std::mt19937& g, std::size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g());
    return s;
}

// A plausible sender's stream: S with odd parameters, F with hostile names,
// D with random fields, Z (sometimes "D"), B, E, CANs and noise, numbered
// mostly in order; then flipped, dropped and inserted bytes.
std::string Stream(std::mt19937& g)
{
    static const char* const kNames[] = {"../../etc/passwd", "/tmp/abs", "..", ".", "", "a/../../b", "ok.txt",
                                         "dir/", "#A#J", "&#A", "name with space"};
    static const char* const kTypes = "SFDDDDZBEAXYNT";
    Params to = ParseParams("");
    std::string s;
    int seq = 0;
    const int packets = static_cast<int>(g() % 16);
    for (int i = 0; i < packets; ++i) {
        const char type = i == 0 ? 'S' : i == 1 ? 'F' : kTypes[g() % 14];
        std::string data;
        switch (type) {
        case 'S': data = Bytes(g, g() % 12); break;
        case 'F': data = kNames[g() % std::size(kNames)]; break;
        case 'Z': data = g() % 3 ? "" : "D"; break;
        default: data = Bytes(g, g() % 92);
        }
        if (g() % 5 == 0)
            s += std::string(g() % 3, '\x18');
        if (g() % 7 == 0)
            s += Bytes(g, g() % 40);
        s += Packet(g() % 6 ? seq : static_cast<int>(g() % 64), type, data, to);
        seq = (seq + 1) & 63;
    }
    const int mutations = static_cast<int>(g() % 8);
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

// Feeds `s` in reads of random length and pace, then lets the timers run out.
template <class P>
void Drive(P& side, const std::string& s, std::mt19937& g)
{
    Millis now = 0;
    Answer a = side.Start(now);
    std::size_t pos = 0;
    int steps = 0;
    while (!side.Finished() && steps++ < 10000) {
        if (a.resume) {
            a = side.Resume(now);
        } else if (pos < s.size()) {
            const std::size_t n = 1 + g() % 200;
            now += static_cast<Millis>(g() % 50);
            a = side.Feed(std::string_view(s).substr(pos, std::min(n, s.size() - pos)), now);
            pos += n;
        } else if (auto d = side.Deadline()) {
            ASSERT_GE(*d, now);
            now = *d;
            a = side.Tick(now);
        } else {
            FAIL() << "waits for nothing";
        }
    }
    ASSERT_TRUE(side.Finished());
}

TEST(KermitFuzz, ReceiverSurvivesHostilePacketsAndKeepsToItsFolder)
{
    std::mt19937 g(20261211);
    int from_line = 0;
    for (int round = 0; round < 1500; ++round) {
        SCOPED_TRACE(round);
        MemoryFiles files;
        FileList list;
        const std::string folder = round % 2 ? "dl/" : "";
        list.Add(round % 2 ? "dl/first.bin" : "");
        Receiver rx(files, list, {round % 3 == 0, 0});
        const std::string s = round % 10 == 9 ? Bytes(g, g() % 2000) : Stream(g);
        Drive(rx, s, g);
        for (const std::string& w : files.asked_to_write) {
            EXPECT_TRUE(w == "dl/first.bin" || DirectlyInside(w, folder)) << w;
            from_line += w != "dl/first.bin";
        }
    }
    EXPECT_GT(from_line, 50);
}

TEST(KermitFuzz, SenderSurvivesHostileAnswers)
{
    std::mt19937 g(7);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        MemoryFiles files;
        files.Put("a.bin", Bytes(g, g() % 3000));
        FileList list;
        list.Add("a.bin");
        Sender tx(files, list, {round % 2 == 0, 0});
        // Answers: ACKs and NAKs of any number with random fields, noise.
        std::string s;
        const int n = static_cast<int>(g() % 60);
        for (int i = 0; i < n; ++i) {
            const char type = "YYYNE?"[g() % 6];
            s += Packet(static_cast<int>(g() % 6 ? i % 64 : g() % 64), type, Bytes(g, g() % 12), ParseParams(""));
            if (g() % 9 == 0)
                s += Bytes(g, g() % 20);
        }
        Drive(tx, s, g);
    }
}

}  // namespace
}  // namespace tolvex::transfer::kermit
