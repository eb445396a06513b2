// Throughput of the serial engine on a pseudo-terminal pair.
//
//   serial_throughput_bench [MB each way, default 10] [NMEA minutes, default 10]
//
// 1. Random bytes both ways at once: the engine reads on OnComm with InputB
//    and writes with Output; the bytes are compared in full.
// 2. The same amount through plain `cat` on a pty (master -> cat -> master),
//    as the reference for what the pty itself carries.
// 3. GGA sentences worth the given minutes at 115200 baud (11520 bytes/s),
//    replayed as fast as the pty takes them and read with LineInput.

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <poll.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "testkit.h"


int main(int argc, char** argv)
{
    using namespace tolvex::serial::testkit;
    const double mb = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double minutes = argc > 2 ? std::atof(argv[2]) : 10.0;
    const std::size_t bytes = static_cast<std::size_t>(mb * 1024 * 1024);
    EnsureApp();

    const DuplexResult d = RunDuplexTransfer(bytes, 1234, 600000);
    const double total_mb = 2.0 * static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("engine duplex: %zu bytes each way in %.3f s: %.1f MB/s total (%.1f MB/s each way); "
                "received %s, sent %s; Output refused with 1010 and retried: %d\n",
                bytes, d.seconds, total_mb / d.seconds, total_mb / 2 / d.seconds,
                d.received_intact ? "intact" : "DAMAGED", d.sent_intact ? "intact" : "DAMAGED",
                d.overflow_retries);

    bool cat_ok = false;
    const double cs = CatThroughPty(bytes, cat_ok);
    std::printf("cat reference: %zu bytes through cat on a pty in %.3f s: %.1f MB/s total "
                "(%.1f MB/s each way); %s\n",
                bytes, cs, total_mb / cs, total_mb / 2 / cs, cat_ok ? "intact" : "DAMAGED");

    const double nmea_bytes = minutes * 60.0 * 11520.0;
    std::vector<std::string> probe = MakeGgaLines(100);
    std::size_t avg = 0;
    for (const std::string& l : probe)
        avg += l.size() + 2;
    avg /= probe.size();
    const std::size_t count = static_cast<std::size_t>(nmea_bytes / static_cast<double>(avg));
    const NmeaResult n = RunNmeaReplay(MakeGgaLines(count), 600000);
    std::printf("NMEA replay: %.0f minutes at 115200 baud = %zu lines, %zu bytes in %.3f s "
                "(%.1f MB/s, %.0f lines/s, %.0fx real time); lines accounted for: %zu of %zu\n",
                minutes, n.lines_sent, n.bytes, n.seconds,
                static_cast<double>(n.bytes) / (1024.0 * 1024.0) / n.seconds,
                static_cast<double>(n.lines_sent) / n.seconds, minutes * 60.0 / n.seconds,
                n.lines_matched, n.lines_sent);

    const bool ok = d.received_intact && d.sent_intact && n.lines_matched == n.lines_sent;
    return ok ? 0 : 1;
}
