// The control's terminal window during a burst: 10 MB of mixed VT100 data
// written into a pseudo-terminal that the control opens as its port, with
// AutoProcess SERIAL putting everything on the screen. Reports the largest
// gap between two GUI events processed (how long the window could not
// answer), the longest single event, the number of repaints against the
// number of 16 ms frames, the shortest time between two repaints and what
// one full repaint costs.
//
//   terminal_window_bench [MB=10]
//
// Runs offscreen when no display is set.
#include "control/control_window.h"
#include "control/port_side.h"
#include "control/tolvexcomm_ctrl.h"
#include "mixed_stream.h"
#include "terminal/control_screen.h"
#include "terminal/terminal.h"

#include <tolvexcomm/constants.h>
#include <tolvexcomm/dispids.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

using namespace tolvex;

class Site final : public com::IControlSite {
public:
    QWidget* parent = nullptr;
    bool UserMode() const override { return true; }
    QWidget* ParentWindow() const override { return parent; }
};

// Every event the application delivers: the gaps between them, and the
// paints of the control's window.
class Watch final : public QObject {
public:
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 largestGap = 0;
    QObject* window = nullptr;
    long paints = 0;
    qint64 lastPaint = -1;
    qint64 shortestPaintGap = -1;
    bool running = false;

    bool eventFilter(QObject* target, QEvent* e) override
    {
        const qint64 now = clock.nsecsElapsed();
        if (running) {
            if (last >= 0) largestGap = std::max(largestGap, now - last);
            if (target == window && e->type() == QEvent::Paint) {
                ++paints;
                if (lastPaint >= 0) {
                    const qint64 gap = now - lastPaint;
                    shortestPaintGap = shortestPaintGap < 0 ? gap : std::min(shortestPaintGap, gap);
                }
                lastPaint = now;
            }
        }
        last = now;
        return false;
    }
};

// The longest time one event (outermost delivery) took to handle.
class TimedApp final : public QApplication {
public:
    using QApplication::QApplication;
    qint64 longest = 0;
    bool timing = false;
    bool notify(QObject* target, QEvent* e) override
    {
        if (!timing || depth_ > 0) {
            ++depth_;
            const bool r = QApplication::notify(target, e);
            --depth_;
            return r;
        }
        QElapsedTimer t;
        t.start();
        ++depth_;
        const bool r = QApplication::notify(target, e);
        --depth_;
        longest = std::max(longest, t.nsecsElapsed());
        return r;
    }

private:
    int depth_ = 0;
};

com::InvokeResult Put(com::IControl& c, com::DispId id, const com::Variant& v)
{
    return c.Invoke(id, com::InvokeKind::Put, std::span<const com::Variant>(&v, 1));
}

}  // namespace

int main(int argc, char** argv)
{
    const double mb = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string stream = MixedStream(static_cast<std::size_t>(mb * 1024 * 1024)) + "\x1b[2J\x1b[HDONE";

    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    setenv("TOLVEXCOMM_COM5", ttyname(slave), 1);
    close(slave);
    const auto config = std::filesystem::temp_directory_path() / ("terminal-window-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(config);
    setenv("TOLVEXCOMM_CONFIG_DIR", config.c_str(), 1);

    TimedApp app(argc, argv);
    QWidget top;
    Site site;
    site.parent = &top;
    control::ControlParts parts;
    parts.makePort = [] { return std::make_unique<control::EnginePort>(); };
    parts.makeTerminal = terminal::ScreenFactory();
    parts.makeWindow = control::QtWindowFactory();
    parts.profile = config / "tolvexcomm.ini";
    auto* c = new control::CTolvexcommCtrl(std::move(parts));
    c->SetSite(&site);
    c->InitNew();
    namespace id = com::dispid;
    using com::Variant;
    for (auto [dispid, value] : {std::pair{id::kRows, 25}, {id::kColumns, 80}, {id::kScrollRows, 500},
                                 {id::kEmulation, 4}, {id::kAutoProcess, com::TOLVEX_AUTOPROCESS_SERIAL},
                                 {id::kCommPort, 5}})
        Put(*c, dispid, Variant::I2(static_cast<std::int16_t>(value)));
    auto open = Put(*c, id::kPortOpen, Variant::Bool(true));
    if (open.status != com::kOk) {
        std::fprintf(stderr, "the port did not open (%08x)\n", open.status);
        return 1;
    }
    QWidget* window = c->Window();
    window->resize(740, 450);
    top.resize(740, 450);
    top.show();

    // The first paint loads the fonts; that happens before the burst.
    {
        QElapsedTimer warm;
        warm.start();
        while (warm.elapsed() < 300) app.processEvents(QEventLoop::AllEvents, 10);
    }
    Watch watch;
    watch.window = window;
    watch.clock.start();
    app.installEventFilter(&watch);

    std::atomic<bool> written{false};
    QElapsedTimer elapsed;
    elapsed.start();
    watch.running = true;
    app.timing = true;
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < stream.size()) {
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 100);
            const ssize_t n = write(master, stream.data() + at, std::min<std::size_t>(65536, stream.size() - at));
            if (n > 0) at += static_cast<std::size_t>(n);
        }
        written = true;
    });
    // Drain what the terminal might send back, and stop once DONE shows.
    QTimer check;
    qint64 doneAt = 0;
    QObject::connect(&check, &QTimer::timeout, [&] {
        terminal::Terminal* t = c->Terminal().Core();
        if (written && t && t->View().LineBytes(0).substr(0, 4) == "DONE") {
            doneAt = elapsed.nsecsElapsed();
            app.quit();
        }
        if (elapsed.elapsed() > 300000) app.quit();
    });
    check.start(5);
    app.exec();
    watch.running = false;
    app.timing = false;
    writer.join();
    // What one repaint of the full screen costs (the screen as the burst left it, refilled).
    for (int r = 0; r < 25; ++r)
        Put(*c, id::kDisp, Variant::String("\x1b[" + std::to_string(r + 1) + ";1H\x1b[7mabc\x1b[0m \x82\xa0\x82\xa2 \x1b[1mbold text 0123456789 " + std::string(40, 'x')));
    QElapsedTimer paintClock;
    paintClock.start();
    constexpr int kGrabs = 20;
    for (int i = 0; i < kGrabs; ++i) (void)window->grab();
    const double paintMs = static_cast<double>(paintClock.nsecsElapsed()) / 1e6 / kGrabs;
    Put(*c, id::kPortOpen, Variant::Bool(false));
    c->SetSite(nullptr);
    c->Release();
    close(master);
    std::filesystem::remove_all(config);

    if (doneAt == 0) {
        std::printf("the burst did not reach the screen in time\n");
        return 1;
    }
    const double seconds = static_cast<double>(doneAt) / 1e9;
    std::printf("burst: %.1f MB through a pty, AutoProcess SERIAL, VT100 25 x 80, %s\n",
                static_cast<double>(stream.size()) / 1048576.0, qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("time to screen: %.2f s (%.1f MB/s)\n", seconds, static_cast<double>(stream.size()) / 1048576.0 / seconds);
    std::printf("largest gap between two GUI events: %.1f ms\n", static_cast<double>(watch.largestGap) / 1e6);
    std::printf("longest single event: %.1f ms\n", static_cast<double>(app.longest) / 1e6);
    std::printf("one repaint of a full 25 x 80 screen: %.2f ms\n", paintMs);
    std::printf("repaints: %ld in %.0f frames of 16 ms; shortest time between two repaints: %.1f ms\n", watch.paints,
                seconds * 1000.0 / 16.0, static_cast<double>(watch.shortestPaintGap) / 1e6);
    return 0;
}
