// The control's side of B Plus fed random and mutated packets (run under
// ASan and UBSan with the rest of the suite): it must end, and write only
// inside its download folder.
#include "transfer/bplus.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tolvex::transfer::bp {
namespace {

// Runs the control on `input` (fed in pieces) and then on its timers until
// it ends; false when it does not end.
bool Ends(const std::string& input, std::mt19937& g, MemoryFiles& files)
{
    FileList up, down;
    up.Add("up.bin");
    down.Add("dl/");
    Transfer t(files, up, down, {g() % 2 ? Variant::kCompuServe : Variant::kNiftyServe, 9600});
    Answer a = t.Start(0);
    Millis now = 0;
    std::size_t at = 0;
    for (int steps = 0; !t.Finished(); ++steps) {
        if (steps > 200000)
            return false;
        if (a.resume) {
            a = t.Resume(now);
        } else if (at < input.size()) {
            const std::size_t n = std::min<std::size_t>(1 + g() % 300, input.size() - at);
            now += static_cast<Millis>(g() % 50);
            a = t.Feed(std::string_view(input).substr(at, n), now);
            at += n;
        } else if (a.deadline) {
            if (*a.deadline < now)
                return false;
            now = *a.deadline;
            a = t.Tick(now);
        } else {
            return false;
        }
    }
    return true;
}

std::string Valid(std::mt19937& g)
{
    Quoting q;
    std::string s;
    std::uint8_t n = 1;
    const char* first[] = {"+\0\0\x08\0\x01\0\x14\0\xD4\0\0\0\0\0\0\0\x01", "TDB../x", "TUBup.bin", "TDBok"};
    const std::string params(first[0], 18);
    const int pick = static_cast<int>(g() % 4);
    if (pick == 0) {
        s += Packet(n++, params, q);
        s += Packet(n++ % 10, "", q);  // something where the control's "+" is answered
    }
    s += Packet(n++ % 10, pick == 0 ? std::string("TDBfile") : std::string(first[pick]), q);
    for (int i = 0; i < 6; ++i) {
        std::string data = "N";
        const std::size_t len = g() % 600;
        for (std::size_t k = 0; k < len; ++k)
            data += static_cast<char>(g());
        s += Packet(n++ % 10, data, q);
    }
    s += Packet(n % 10, "TC", q);
    return s;
}

TEST(BPlusFuzz, RandomBytes)
{
    std::mt19937 g(1);
    for (int round = 0; round < 300; ++round) {
        std::string input(g() % 3000, '\0');
        for (char& c : input) {
            const unsigned r = g() % 8;
            c = static_cast<char>(r == 0 ? 0x10 : r == 1 ? 'B' : r == 2 ? 0x03 : r == 3 ? '0' + g() % 10 : g());
        }
        MemoryFiles files;
        files.Put("up.bin", "contents");
        ASSERT_TRUE(Ends(input, g, files)) << round;
    }
}

TEST(BPlusFuzz, MutatedPackets)
{
    std::mt19937 g(2);
    for (int round = 0; round < 400; ++round) {
        std::string input = Valid(g);
        const int edits = 1 + static_cast<int>(g() % 8);
        for (int e = 0; e < edits && !input.empty(); ++e) {
            const std::size_t at = g() % input.size();
            switch (g() % 3) {
            case 0: input[at] = static_cast<char>(g()); break;
            case 1: input.erase(at, 1 + g() % 4); break;
            default: input.insert(at, 1, static_cast<char>(g() % 2 ? 0x10 : 0x05)); break;
            }
        }
        MemoryFiles files;
        files.Put("up.bin", "contents");
        ASSERT_TRUE(Ends(input, g, files)) << round;
        // Nothing outside the download folder, and only the upload's own file read.
        for (const char* outside : {"x", "../x", "file", "ok"})
            EXPECT_EQ(files.Find(outside), nullptr) << round;
    }
}

}  // namespace
}  // namespace tolvex::transfer::bp
