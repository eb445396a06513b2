// The control's port through the loaded library (as the navigator hosts it),
// on pseudo-terminals:
//
//   control_port_bench [MB each way, default 10] [NMEA minutes, default 10] [latency lines, default 10000]
//
// 1. Random bytes both ways at once: OnComm reads with InputB, the loop
//    writes with OutputB; compared in full.
// 2. The same amount through plain `cat` on a pty, as the reference.
// 3. GGA sentences worth the given minutes at 115200 baud (11520 bytes/s),
//    replayed as fast as the pty takes them, read with LineInput in OnComm
//    with the navigator's settings (RThreshold 40, InTimeout 2000).
// 4. Latency from a line written on the master to the start of OnComm on
//    the GUI thread, one line at a time: p50, p99, maximum.
#include "port_kit.h"
#include "testkit.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace tolvex::host::portkit;
    namespace testkit = tolvex::serial::testkit;
    const double mb = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double minutes = argc > 2 ? std::atof(argv[2]) : 10.0;
    const long latencyLines = argc > 3 ? std::atol(argv[3]) : 10000;
    if (mb <= 0 || minutes <= 0 || latencyLines <= 0) {
        std::fprintf(stderr, "usage: control_port_bench [MB each way] [NMEA minutes] [latency lines]\n");
        return 2;
    }
    const std::size_t bytes = static_cast<std::size_t>(mb * 1024 * 1024);
    EnsureGuiApp();
    auto library = Library();
    if (!library) {
        std::fprintf(stderr, "control_port_bench: libtolvexcom32.so not found beside the program\n");
        return 1;
    }

    const DuplexResult d = RunDuplex(library, 31, bytes, 1234, 600000);
    const double totalMb = 2.0 * static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("control duplex: %zu bytes each way in %.3f s: %.1f MB/s total (%.1f MB/s each way); "
                "received %s, sent %s; 1010 overflows retried: %d\n",
                bytes, d.seconds, totalMb / d.seconds, totalMb / 2 / d.seconds,
                d.receivedIntact ? "intact" : "DAMAGED", d.sentIntact ? "intact" : "DAMAGED", d.overflows);

    bool catOk = false;
    const double cs = testkit::CatThroughPty(bytes, catOk);
    std::printf("cat reference: %zu bytes through cat on a pty in %.3f s: %.1f MB/s total (%.1f MB/s each way); %s\n",
                bytes, cs, totalMb / cs, totalMb / 2 / cs, catOk ? "intact" : "DAMAGED");

    const std::vector<std::string> probe = testkit::MakeGgaLines(100);
    std::size_t average = 0;
    for (const auto& l : probe) average += l.size() + 2;
    average /= probe.size();
    const auto count = static_cast<std::size_t>(minutes * 60.0 * 11520.0 / static_cast<double>(average));
    const LinesResult n = RunLineReplay(library, 32, testkit::MakeGgaLines(count), 600000);
    std::printf("control NMEA replay: %.0f minutes at 115200 baud = %zu lines, %zu bytes in %.3f s "
                "(%.1f MB/s, %.0f lines/s, %.0fx real time); lines accounted for: %zu of %zu\n",
                minutes, n.sent, n.bytes, n.seconds, static_cast<double>(n.bytes) / (1024.0 * 1024.0) / n.seconds,
                static_cast<double>(n.sent) / n.seconds, minutes * 60.0 / n.seconds, n.matched, n.sent);

    const std::vector<double> us = MeasureLatency(library, 33, static_cast<std::size_t>(latencyLines));
    if (us.empty()) {
        std::printf("control latency: no lines measured\n");
        return 1;
    }
    auto at = [&](double q) { return us[static_cast<std::size_t>(q * static_cast<double>(us.size() - 1))]; };
    std::printf("control latency, master write to OnComm on the GUI thread, %zu of %ld lines: "
                "p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                us.size(), latencyLines, at(0.5) / 1000.0, at(0.99) / 1000.0, us.back() / 1000.0);

    const bool ok = d.receivedIntact && d.sentIntact && n.matched == n.sent &&
                    us.size() == static_cast<std::size_t>(latencyLines);
    return ok ? 0 : 1;
}
