// Throughput of the terminal core on a 10 MB mixed VT100 stream (text,
// CP932, cursor moves, attributes, erasing, line drawing, scrolling), with
// libvterm fed the same bytes in the same run as the reference.
//
//   terminal_bench [MB=10] [repetitions=5]
//
// Both get the stream in 4 KiB pieces on a 25 x 80 screen; each side's best
// repetition counts. libvterm runs with its screen layer (cells kept) in
// UTF-8 mode, where the CP932 bytes are invalid sequences it shows as
// replacement characters; our core reads them as CP932.
#include "mixed_stream.h"
#include "terminal/terminal.h"

extern "C" {
#include <vterm.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPiece = 4096;

double OursSeconds(const std::string& stream, long& checksum)
{
    tolvex::terminal::TerminalConfig c;
    c.emulation = tolvex::terminal::Emulation::kVt100;
    c.rows = 25;
    c.columns = 80;
    tolvex::terminal::Terminal t(c);
    const auto start = Clock::now();
    for (std::size_t at = 0; at < stream.size(); at += kPiece)
        t.Receive(std::string_view(stream).substr(at, kPiece));
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    checksum += t.CursorRow() + t.CursorColumn() + static_cast<long>(t.View().LineBytes(0)[0]);
    return s;
}

double VtermSeconds(const std::string& stream, long& checksum)
{
    VTerm* vt = vterm_new(25, 80);
    vterm_set_utf8(vt, 1);
    VTermScreen* screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    const auto start = Clock::now();
    for (std::size_t at = 0; at < stream.size(); at += kPiece)
        vterm_input_write(vt, stream.data() + at, std::min(kPiece, stream.size() - at));
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    VTermScreenCell cell;
    vterm_screen_get_cell(screen, VTermPos{0, 0}, &cell);
    checksum += static_cast<long>(cell.chars[0]);
    vterm_free(vt);
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const double mb = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string stream = MixedStream(static_cast<std::size_t>(mb * 1024 * 1024));
    double ours = 1e9, vterm = 1e9;
    long checksum = 0;
    for (int r = 0; r < repetitions; ++r) {
        ours = std::min(ours, OursSeconds(stream, checksum));
        vterm = std::min(vterm, VtermSeconds(stream, checksum));
    }
    const double bytes = static_cast<double>(stream.size());
    std::printf("stream: %.1f MB mixed VT100, 25 x 80, %zu-byte pieces, best of %d\n", bytes / 1048576.0, kPiece,
                repetitions);
    std::printf("terminal core: %8.1f MB/s (%.3f s)\n", bytes / 1048576.0 / ours, ours);
    std::printf("libvterm:      %8.1f MB/s (%.3f s)\n", bytes / 1048576.0 / vterm, vterm);
    std::printf("ratio core / libvterm: %.2f x   (checksum %ld)\n", vterm / ours, checksum);
    return 0;
}
