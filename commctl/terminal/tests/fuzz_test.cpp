// Random bytes and random mixes of valid sequences through every emulation
// and odd screen sizes: nothing may crash, the cursor stays on the screen
// and every line stays exactly Columns wide.
#include "terminal/render.h"
#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tolvex::terminal {
namespace {

std::string RandomSequences(std::mt19937& rng, std::size_t pieces)
{
    static const char* const kPieces[] = {
        "\x1b[", "\x1b[2J", "\x1b[K", "\x1b[1K", "\x1b[2K", "\x1b[J", "\x1b[1J", "\x1b[H", "\x1b[5;5H",
        "\x1b[200;1H", "\x1b[1;200H", "\x1b[31;1m", "\x1b[44;5m", "\x1b[7m", "\x1b[8m", "\x1b[m", "\x1b[0m",
        "\x1b[9A", "\x1b[99B", "\x1b[300C", "\x1b[7D", "\x1b[s", "\x1b[u", "\x1b[g", "\x1b[3g", "\x1b[?7l",
        "\x1b[?7h", "\x1b[?2l", "\x1b<", "\x1b[?4h", "\x1b[?6h", "\x1b[99999999999m", "\x1b[;;;;;;;;;;;;;;;;;;;;m",
        "\x1bY", "\x1bY  ", "\x1bY\x7f\x7f", "\x1bZ", "\x1b" "F", "\x1bG", "\x1bH", "\x1bI", "\x1b" "A",
        "\x1b" "D", "\x1b" "E", "\x1bM", "\x1b" "7", "\x1b" "8", "\x1b(0", "\x1b)0", "\x1b(B", "\x1b#8",
        "\x0e", "\x0f", "\r", "\n", "\r\n", "\t", "\b", "\x0b", "\x0c", "\x05", "\x07", std::string("\0", 1).c_str(),
        "\x82\xa0", "\x82", "\x88\x9f\x88", "\xb1", "\xff", "lqqk", "x", "hello world", "0123456789012345",
    };
    constexpr std::size_t kCount = sizeof kPieces / sizeof kPieces[0];
    std::uniform_int_distribution<std::size_t> pick(0, kCount - 1);
    std::string out;
    for (std::size_t i = 0; i < pieces; ++i) out += kPieces[pick(rng)];
    return out;
}

void CheckInvariants(const Terminal& t)
{
    ASSERT_GE(t.CursorRow(), 1);
    ASSERT_LE(t.CursorRow(), t.Rows());
    ASSERT_GE(t.CursorColumn(), 1);
    ASSERT_LE(t.CursorColumn(), t.Columns());
    for (int r = -t.ScrollRows(); r < t.Rows(); ++r)
        ASSERT_EQ(t.View().LineBytes(r).size(), static_cast<std::size_t>(t.Columns()));
}

TEST(TerminalFuzz, RandomDataKeepsTheScreenWhole)
{
    struct Size {
        int rows, columns, scrollRows;
    };
    const Size sizes[] = {{1, 1, 0}, {1, 200, 3}, {200, 1, 0}, {3, 2, 5}, {25, 80, 10}};
    std::mt19937 rng(20261211);
    for (int kind = 1; kind <= 4; ++kind) {
        for (const auto& size : sizes) {
            SCOPED_TRACE("emulation " + std::to_string(kind) + " size " + std::to_string(size.rows) + "x" +
                         std::to_string(size.columns));
            TerminalConfig c;
            c.emulation = static_cast<Emulation>(kind);
            c.rows = size.rows;
            c.columns = size.columns;
            c.scrollRows = size.scrollRows;
            Terminal t(c);
            t.SetCapture(Capture::kVisible);
            std::uniform_int_distribution<int> byte(0, 255);
            std::uniform_int_distribution<std::size_t> length(0, 64);
            for (int round = 0; round < 1500; ++round) {
                std::string data = round % 2 ? RandomSequences(rng, length(rng) / 4)
                                             : std::string(length(rng), '\0');
                if (round % 2 == 0)
                    for (auto& ch : data) ch = static_cast<char>(byte(rng));
                if (round % 3 == 0) t.Disp(data);
                else t.Receive(data);
                if (round % 250 == 249) {
                    t.Resize(1 + (round / 250) % 4, 1 + (round / 250) % 7);
                    t.SetScrollRows(round % 4);
                }
                CheckInvariants(t);
                if (::testing::Test::HasFatalFailure()) return;
                for (int r = 0; r < t.Rows(); ++r)
                    (void)LineUtf8(t.View().LineBytes(r), t.View().LineAttributes(r));
            }
            (void)t.Text();
            (void)t.ScrollText();
        }
    }
}

}  // namespace
}  // namespace tolvex::terminal
