// The terminal's byte stream: the first bytes pick the emulation and the
// screen size and the lengths of the reads, the rest arrives in reads of any length. The cursor must stay
// on the screen and every line exactly as wide as the screen.
#include "fuzz_support.h"
#include "terminal/terminal.h"

using namespace tolvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    terminal::TerminalConfig config;
    config.emulation = static_cast<terminal::Emulation>(1 + in.Byte() % 4);
    config.rows = 1 + in.Byte() % 40;
    config.columns = 1 + in.Byte() % 132;
    config.scrollRows = in.Byte() % 8;
    tessaro::fuzz::Pace pace(in.Byte());
    terminal::Terminal t(config);
    while (!in.Empty()) {
        t.Receive(in.Take(pace.Next(64)));
        if (t.CursorRow() < 1 || t.CursorRow() > t.Rows() || t.CursorColumn() < 1 || t.CursorColumn() > t.Columns())
            tessaro::fuzz::Broken("the cursor left the screen");
    }
    for (int r = -t.ScrollRows(); r < t.Rows(); ++r)
        if (t.View().LineBytes(r).size() != static_cast<std::size_t>(t.Columns()))
            tessaro::fuzz::Broken("a line is not as wide as the screen");
    return 0;
}
