// Live tracking latency: how long from the last byte of a GGA sentence
// written on the pseudo-terminal to the position mark moved and painted on
// the main window, with the real communications control reading the
// terminal as its GPS port.
//
//   live_latency_bench [--seconds N] [--rate HZ]     (default 600 s at 10 Hz)
//
// A feeder thread writes, per epoch, the GGA sentence (time-stamped when the
// write returns) and then the epoch's RMC, GSA and three GSV sentences, from
// the sample drive log, looped. The window shows the sample library around
// the drive (nine photographs). Prints the latency percentiles (all fixes,
// and the fixes that only moved the mark: a fix that re-centres the view or
// changes the photographs is drawn by the full redraw, which pauses 0.1 s),
// the fixes written and decoded, and the control's receive backlog
// (InBufferCount) over the run.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_lumara_frm.h"
#include "gps/nmea_feeder.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void WriteLines(const QString& path, const std::vector<std::string>& lines)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    for (const auto& l : lines) out << l << "\r\n";
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size())));
    return v[i];
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 600;
    double rate = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--rate") == 0) rate = std::atof(argv[++i]);
    }
    if (seconds <= 0 || rate <= 0) {
        std::fprintf(stderr, "usage: live_latency_bench [--seconds N] [--rate HZ]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The source tree: TESSARO_SOURCE_DIR, else two folders above bin/.
    QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR"));
    if (source.isEmpty()) source = QStringLiteral(TESSARO_SOURCE_DIR_DEFAULT);

    QTemporaryDir home, config;
    const QString h = home.path();
    QDir().mkpath(h + "/MapPicSample");
    for (const QString& n : QDir(source + "/data/MapPicSample").entryList(QDir::Files))
        QFile::copy(source + "/data/MapPicSample/" + n, h + "/MapPicSample/" + n);
    QDir().mkpath(h + "/data0");
    QFile::copy(source + "/data/data0/GPSCom.bag", h + "/data0/GPSCom.bag");
    WriteLines(h + "/data0/CurrentSetting.dat",
               {(h + "/MapPicSample").toStdString(), " 16 ", "-6636.3,-33281.1", "-6636.3,-33281.1"});
    WriteLines(h + "/data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 1 ", " 2 ", "4800,n,8,1"});

    std::vector<std::string> sets;
    std::string error;
    if (!tessaro::gps::LoadSentenceSets((source + "/data/20100508/20100508_drive.txt").toStdString(), sets, &error)) {
        std::fprintf(stderr, "live_latency_bench: %s\n", error.c_str());
        return 1;
    }
    // Each epoch: its GGA line, then the rest of its set.
    std::vector<std::pair<std::string, std::string>> epochs;
    for (const std::string& s : sets) {
        if (!tessaro::gps::IsGgaSentence(s)) continue;
        const std::size_t end = s.find("\r\n") + 2;
        epochs.emplace_back(s.substr(0, end), s.substr(end));
    }

    qputenv("TOLVEXCOMM_CONFIG_DIR", config.path().toLocal8Bit());
    tessaro::gps::PtyFeeder feeder;
    if (!feeder.open(&error)) {
        std::fprintf(stderr, "live_latency_bench: %s\n", error.c_str());
        return 1;
    }
    qputenv("TOLVEXCOMM_COM1", QByteArray::fromStdString(feeder.slavePath()));

    tessaro::NavState state;
    tessaro::app::MainLumaraFrm w(state, h.toStdString());
    w.EndProgram = [] {};
    w.onMessage = [](const QString& m) { std::fprintf(stderr, "message: %s\n", m.toLocal8Bit().constData()); };
    w.show();
    w.Activate();
    if (!w.GPSCom) {
        std::fprintf(stderr, "live_latency_bench: the communications control did not load\n");
        return 1;
    }

    const std::size_t total = static_cast<std::size_t>(seconds * rate);
    std::vector<std::atomic<std::int64_t>> written(total);
    std::vector<double> latencyMs, markOnlyMs;
    latencyMs.reserve(total);
    markOnlyMs.reserve(total);
    int fullRedraws = 0;
    int loadsBefore = 0;
    std::size_t decoded = 0;
    int redraws = 0, maxShown = 0, minShown = 1000;
    std::vector<int> backlog;  // InBufferCount once a second

    w.onFixDecoded = [&](const tessaro::gps::PositionFix& fix) {
        w.BasePic->repaint();  // the mark is on the screen when this returns
        const std::int64_t now = NowNs();
        // A fix that re-centred the view or changed the photographs was
        // drawn by the full redraw (with its 0.1 s pause).
        const bool full = fix.recentred || w.PictureLoads() != loadsBefore;
        loadsBefore = w.PictureLoads();
        fullRedraws += full;
        if (decoded < total) {
            const double ms = static_cast<double>(now - written[decoded].load()) / 1e6;
            latencyMs.push_back(ms);
            if (!full) markOnlyMs.push_back(ms);
        }
        ++decoded;
        if (fix.recentred) ++redraws;
        maxShown = std::max(maxShown, state.ShownMapCount);
        minShown = std::min(minShown, state.ShownMapCount);
    };

    loadsBefore = w.PictureLoads();
    w.StartGPSCmd_Click();
    if (!w.GPSCom->PortOpen()) {
        std::fprintf(stderr, "live_latency_bench: the port did not open\n");
        return 1;
    }

    std::atomic<bool> feederDone{false};
    std::thread feed([&] {
        const auto period = std::chrono::duration<double>(1.0 / rate);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < total; ++i) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * i));
            const auto& [gga, rest] = epochs[i % epochs.size()];
            // Stamped before the write: the reader may see the sentence
            // before write() returns here.
            written[i].store(NowNs());
            feeder.write(gga);
            feeder.write(rest);
        }
        feederDone = true;
    });

    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] { backlog.push_back(w.GPSCom->InBufferCount()); });
    sample.start(1000);
    QTimer finish;
    QObject::connect(&finish, &QTimer::timeout, [&] {
        static int grace = 0;
        if (!feederDone) return;
        if (decoded >= total || ++grace > 40) QApplication::quit();
    });
    finish.start(50);
    QApplication::exec();
    feed.join();
    const int endBacklog = w.GPSCom->InBufferCount();

    std::printf("live_latency_bench: %.0f s at %.0f Hz, full NMEA set per epoch (GGA RMC GSA 3xGSV)\n", seconds,
                rate);
    std::printf("fixes written %zu, decoded %zu, view re-centred %d times, full redraws %d, photographs shown %d..%d\n",
                total, decoded, redraws, fullRedraws, minShown, maxShown);
    std::printf("latency GGA last byte -> mark painted [ms], all fixes:   p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
                Percentile(latencyMs, 50), Percentile(latencyMs, 90), Percentile(latencyMs, 99),
                Percentile(latencyMs, 100));
    std::printf("                                        mark moved only: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
                Percentile(markOnlyMs, 50), Percentile(markOnlyMs, 90), Percentile(markOnlyMs, 99),
                Percentile(markOnlyMs, 100));
    int over50 = 0;
    for (double ms : latencyMs) over50 += ms > 50;
    std::printf("fixes over 50 ms: %d of %zu\n", over50, latencyMs.size());
    int firstMax = 0, lastMax = 0;
    const std::size_t tenth = std::max<std::size_t>(1, backlog.size() / 10);
    for (std::size_t i = 0; i < backlog.size(); ++i) {
        if (i < tenth) firstMax = std::max(firstMax, backlog[i]);
        if (i + tenth >= backlog.size()) lastMax = std::max(lastMax, backlog[i]);
    }
    std::printf("receive backlog (InBufferCount) [bytes]: max in first tenth %d, max in last tenth %d, at end %d\n",
                firstMax, lastMax, endBacklog);
    return decoded == total ? 0 : 1;
}
