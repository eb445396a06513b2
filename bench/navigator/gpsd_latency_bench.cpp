// What gpsd adds to the live path: the latency from the last byte of a GGA
// sentence written to the receiver's device to the navigator's position
// mark moved, once directly (the control reads the pseudo-terminal) and
// once through gpsd (gpsd reads a second pseudo-terminal, the control reads
// gpsd as gpsd:127.0.0.1:PORT), in the same run: each epoch goes to the
// direct terminal and, half a period later, to gpsd's.
//
//   gpsd_latency_bench [--seconds N] [--rate HZ]     (default 60 s at 10 Hz)
//
// Both paths use the real communications control and live tracking; the
// sentence sets are the sample drive's (GGA RMC GSA 3xGSV), each GGA given
// a time of its own so that every decoded fix is matched to its write.
// Needs /usr/sbin/gpsd (Debian's gpsd package).
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/gps_com.h"
#include "geodesy/plane_coords.h"
#include "gps/live_tracking.h"
#include "gps/nmea_checksum.h"
#include "gps/nmea_feeder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tessaro;

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size())));
    return v[i];
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Notes when the position mark is placed: the end of the path.
struct MarkWindow : gps::GpsWindow {
    void PlacePositionMark(double, double) override { placedNs = NowNs(); }
    std::int64_t placedNs = 0;
};

// One path: a control instance on COM `port`, live tracking, and the write
// times of the sentences by the local time text their fix will show.
struct Path {
    NavState state;
    MarkWindow window;
    gps::MapSelection maps;
    gps::OverlayDrawing drawing;
    gps::RecordLineSink record;
    gps::TrackingView view;
    std::unique_ptr<gps::GpsComPort> com;
    std::unique_ptr<gps::LiveTracking> tracking;
    std::mutex m;
    std::map<std::string, std::int64_t> written;
    std::vector<double> latencyMs;
    std::size_t decoded = 0;

    bool Start(int port, std::string& error)
    {
        com = app::LoadGpsCom("", nullptr, error);
        if (!com) return false;
        geodesy::SetCurrentZone(9, state.Zone);
        state.GPSPortNo = static_cast<std::int16_t>(port);
        state.GPSPortSettings = "4800,n,8,1";
        state.ViewScale = 0.17f;
        tracking = std::make_unique<gps::LiveTracking>(state, window, maps, drawing, record, view);
        tracking->SetPort(com.get());
        tracking->onFixDecoded = [this](const gps::PositionFix& fix) {
            ++decoded;
            std::lock_guard lk(m);
            const auto it = written.find(fix.timeText);
            if (it == written.end()) return;  // a warm-up epoch
            latencyMs.push_back(static_cast<double>(window.placedNs - it->second) / 1e6);
            written.erase(it);
        };
        tracking->Toggle();
        return state.GPSRunning;
    }
};

// The epoch's GGA with the time of second `n` of the day (UTC), so that its
// fix shows a time of its own; the rest of the set as it is.
std::pair<std::string, std::string> Epoch(const std::string& set, long n, std::string& localTime)
{
    const std::size_t end = set.find("\r\n");
    std::string gga = set.substr(0, end);
    const std::size_t a = gga.find(',') + 1, b = gga.find(',', a);
    char utc[16], local[16];
    std::snprintf(utc, sizeof utc, "%02ld%02ld%02ld.00", n / 3600 % 24, n / 60 % 60, n % 60);
    std::snprintf(local, sizeof local, "%02ld:%02ld:%02ld", (n / 3600 + 9) % 24, n / 60 % 60, n % 60);
    localTime = local;
    gga = gps::WithNmeaChecksum(gga.substr(0, a) + utc + gga.substr(b)) + "\r\n";
    return {gga, set.substr(end + 2)};
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 60;
    double rate = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--rate") == 0) rate = std::atof(argv[++i]);
    }
    if (seconds <= 0 || rate <= 0 || seconds * rate > 80000) {
        std::fprintf(stderr, "usage: gpsd_latency_bench [--seconds N] [--rate HZ]\n");
        return 2;
    }
    if (::access("/usr/sbin/gpsd", X_OK) != 0) {
        std::fprintf(stderr, "gpsd_latency_bench: /usr/sbin/gpsd is not installed (tools/install-deps.sh)\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    geodesy::InitEllipsoid();

    QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR"));
    if (source.isEmpty()) source = QStringLiteral(TESSARO_SOURCE_DIR_DEFAULT);
    std::vector<std::string> sets;
    std::string error;
    if (!gps::LoadSentenceSets((source + "/data/20100508/20100508_drive.txt").toStdString(), sets, &error)) {
        std::fprintf(stderr, "gpsd_latency_bench: %s\n", error.c_str());
        return 1;
    }
    sets.erase(std::remove_if(sets.begin(), sets.end(), [](const std::string& s) { return !gps::IsGgaSentence(s); }),
               sets.end());

    QTemporaryDir config;
    qputenv("TOLVEXCOMM_CONFIG_DIR", config.path().toLocal8Bit());
    gps::PtyFeeder direct, toGpsd;
    if (!direct.open(&error) || !toGpsd.open(&error)) {
        std::fprintf(stderr, "gpsd_latency_bench: %s\n", error.c_str());
        return 1;
    }
    const int gpsdPort = FreePort();
    const std::string sock = (config.path() + "/gpsd.sock").toStdString();
    const pid_t gpsd = ::fork();
    if (gpsd == 0) {
        std::freopen("/dev/null", "w", stderr);
        const std::string p = std::to_string(gpsdPort);
        ::execl("/usr/sbin/gpsd", "gpsd", "-N", "-n", "-b", "-S", p.c_str(), "-F", sock.c_str(),
                toGpsd.slavePath().c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct Reap {
        pid_t pid;
        ~Reap()
        {
            ::kill(pid, SIGTERM);
            int st = 0;
            ::waitpid(pid, &st, 0);
        }
    } reap{gpsd};

    qputenv("TOLVEXCOMM_COM1", QByteArray::fromStdString(direct.slavePath()));
    qputenv("TOLVEXCOMM_COM2", QByteArray::fromStdString("gpsd:127.0.0.1:" + std::to_string(gpsdPort)));
    Path a, b;
    if (!a.Start(1, error)) {
        std::fprintf(stderr, "gpsd_latency_bench: the direct port did not open %s\n", error.c_str());
        return 1;
    }
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        connected = b.Start(2, error);
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!connected) {
        std::fprintf(stderr, "gpsd_latency_bench: gpsd did not answer on port %d\n", gpsdPort);
        return 1;
    }

    const std::size_t warmup = 20;
    const std::size_t total = static_cast<std::size_t>(seconds * rate) + warmup;
    std::atomic<bool> done{false};
    std::thread feed([&] {
        const auto period = std::chrono::duration<double>(1.0 / rate);
        const auto start = Clock::now() + std::chrono::milliseconds(200);
        for (std::size_t i = 0; i < total; ++i) {
            std::string local;
            const auto [gga, rest] = Epoch(sets[i % sets.size()], static_cast<long>(i), local);
            const bool measured = i >= warmup;
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * i));
            if (measured) {
                std::lock_guard lk(a.m);
                a.written[local] = NowNs();
            }
            direct.write(gga);
            direct.write(rest);
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * (i + 0.5)));
            if (measured) {
                std::lock_guard lk(b.m);
                b.written[local] = NowNs();
            }
            toGpsd.write(gga);
            toGpsd.write(rest);
        }
        done = true;
    });
    QTimer finish;
    int grace = 0;
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (done && ++grace > 20) QApplication::quit();
    });
    finish.start(50);
    QApplication::exec();
    feed.join();

    const std::size_t measured = total - warmup;
    std::printf("gpsd_latency_bench: %.0f s at %.0f Hz per path, full NMEA set per epoch, gpsd on 127.0.0.1:%d\n",
                seconds, rate, gpsdPort);
    std::printf("latency GGA last byte -> mark moved [ms]\n");
    for (const auto& [name, p] : {std::pair<const char*, Path*>{"direct pty ", &a}, {"via gpsd   ", &b}})
        std::printf("  %s fixes %zu of %zu: p50 %.3f  p90 %.3f  p99 %.3f  max %.3f\n", name, p->latencyMs.size(),
                    measured, Percentile(p->latencyMs, 50), Percentile(p->latencyMs, 90),
                    Percentile(p->latencyMs, 99), Percentile(p->latencyMs, 100));
    const double added99 = Percentile(b.latencyMs, 99) - Percentile(a.latencyMs, 99);
    std::printf("added by gpsd: p50 %+.3f ms  p99 %+.3f ms (goal: at most 2 ms at p99)\n",
                Percentile(b.latencyMs, 50) - Percentile(a.latencyMs, 50), added99);
    a.tracking->Stop();
    b.tracking->Stop();
    return a.latencyMs.size() == measured && b.latencyMs.size() == measured ? 0 : 1;
}
