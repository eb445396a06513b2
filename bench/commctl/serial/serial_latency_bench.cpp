// Notification latency of the serial engine on a pseudo-terminal: from a
// GGA line written on the master to the OnComm handler running on the GUI
// thread (a Qt event loop), one line at a time.
//
//   serial_latency_bench [lines, default 10000]

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "testkit.h"

int main(int argc, char** argv)
{
    using namespace tolvex::serial;
    using namespace tolvex::serial::testkit;
    using Clock = std::chrono::steady_clock;
    const std::size_t count = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 10000;
    EnsureApp();

    const std::vector<std::string> lines = MakeGgaLines(count);
    Pty pty;
    Harness h(MapPort(3, pty.path()));
    CommEngine& e = h.engine();
    e.SetCommPort(3);
    e.SetSettings("4800,n,8,1");
    e.SetRThreshold(1);
    e.SetInTimeout(2000);
    e.SetPortOpen(true);

    std::atomic<long long> written_ns{0};
    std::atomic<std::size_t> handled{0};
    std::vector<double> to_handler_ms, to_line_ms;
    to_handler_ms.reserve(count);
    to_line_ms.reserve(count);
    std::size_t matched = 0;
    h.on_comm = [&](CommEngine& eng) {
        if (eng.CommEvent() != kEvReceive)
            return;
        const auto start = Clock::now().time_since_epoch().count();
        const std::string line = eng.LineInput();
        const auto done = Clock::now().time_since_epoch().count();
        const std::size_t i = handled.load();
        if (i < lines.size() && line == lines[i])
            ++matched;
        to_handler_ms.push_back(static_cast<double>(start - written_ns.load()) / 1e6);
        to_line_ms.push_back(static_cast<double>(done - written_ns.load()) / 1e6);
        handled.store(i + 1);
    };

    std::thread writer([&] {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string out = lines[i] + "\r\n";
            written_ns.store(Clock::now().time_since_epoch().count());
            pty.Write(out);
            while (handled.load() <= i)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    h.RunUntil([&] { return handled.load() >= lines.size(); }, 600000);
    writer.join();

    auto pct = [](std::vector<double> v, double p) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
    };
    std::printf("latency over %zu lines (%zu read back intact): line written -> OnComm handler "
                "running: p50 %.3f ms, p99 %.3f ms, max %.3f ms; -> LineInput returned: "
                "p50 %.3f ms, p99 %.3f ms\n",
                to_handler_ms.size(), matched, pct(to_handler_ms, 0.5), pct(to_handler_ms, 0.99),
                pct(to_handler_ms, 1.0), pct(to_line_ms, 0.5), pct(to_line_ms, 0.99));
    return matched == lines.size() ? 0 : 1;
}
