// Receivers fed random and mutated frames: they must never crash (the
// suite also runs under ASan/UBSan), never stop answering, and never write
// a file outside the download folder.

#include "transfer/xymodem.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace tolvex::transfer::xy {
namespace {

// A plausible stream from a sender: headers with hostile names, data
// blocks, EOTs, cancels, in both check modes.
std::string Stream(std::mt19937& g, bool crc)
{
    static const char* const kNames[] = {"../../etc/passwd", "/tmp/abs", "..", ".", "", "a/../../b",
                                         "ok.txt", "dir/", "\x83\x5c..\x5c", "name with space"};
    std::string s;
    const int blocks = static_cast<int>(g() % 12);
    for (int i = 0; i < blocks; ++i) {
        switch (i % 3 == 0 ? 0 : g() % 6) {
        case 0: {
            const std::string name = kNames[g() % std::size(kNames)];
            std::string data = g() % 2 ? HeaderData(name, static_cast<std::int64_t>(g()), g())
                                       : name + std::string(1, '\0');
            data.resize(g() % 3 ? 128 : 1024, '\0');
            s += Block(0, data, crc);
            break;
        }
        case 1:
        case 2: {
            std::string data(g() % 2 ? 128 : 1024, '\0');
            for (char& c : data)
                c = static_cast<char>(g());
            s += Block(static_cast<std::uint8_t>(g() % 4), data, crc);
            break;
        }
        case 3: s += '\x04'; break;
        case 4: s += std::string(g() % 3, '\x18'); break;
        default: {
            const std::size_t n = g() % 200;
            for (std::size_t k = 0; k < n; ++k)
                s += static_cast<char>(g());
        }
        }
    }
    // Mutations: flipped, dropped and inserted bytes.
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

TEST(XYModemFuzz, ReceiversSurviveHostileStreamsAndKeepToTheirFolder)
{
    std::mt19937 g(20261211);
    int from_headers = 0;  // files named by the line: the rounds reach the name rule
    for (int variant = 0; variant <= 4; ++variant) {
        for (int round = 0; round < 400; ++round) {
            MemoryFiles files;
            FileList list;
            // Half the rounds name the first file (the others go into its
            // folder), half leave every name to the line (the current folder).
            const std::string folder = round % 2 ? "dl/" : "";
            list.Add(round % 2 ? "dl/first.bin" : "");
            Receiver rx(files, list, {static_cast<Variant>(variant), 0});
            Millis now = 0;
            Answer a = rx.Start(now);
            const std::string s = Stream(g, variant != 0);
            std::size_t pos = 0;
            int steps = 0;
            while (!rx.Finished() && steps++ < 10000) {
                if (a.resume)
                    a = rx.Resume(now);
                else if (pos < s.size()) {
                    const std::size_t n = 1 + g() % 300;
                    now += static_cast<Millis>(g() % 50);
                    a = rx.Feed(std::string_view(s).substr(pos, n), now);
                    pos += n;
                } else if (auto d = rx.Deadline()) {
                    // Fed everything: the line goes quiet, the timers run out.
                    ASSERT_GE(*d, now);
                    now = *d;
                    a = rx.Tick(now);
                } else {
                    FAIL() << "the receiver waits for nothing";
                }
            }
            ASSERT_TRUE(rx.Finished()) << "variant " << variant << " round " << round;
            for (const std::string& w : files.asked_to_write) {
                EXPECT_TRUE(w == "dl/first.bin" || DirectlyInside(w, folder)) << w;
                from_headers += w != "dl/first.bin";
            }
        }
    }
    EXPECT_GT(from_headers, 20);
}

}  // namespace
}  // namespace tolvex::transfer::xy
