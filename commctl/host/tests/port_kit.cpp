#include "port_kit.h"

#include "testkit.h"

#include <tolvexcomm/dispids.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

namespace tolvex::host::portkit {

namespace id = com::dispid;
using serial::testkit::Pty;
using Clock = std::chrono::steady_clock;

void EnsureGuiApp()
{
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "port-kit";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void MapPort(int port, const std::string& device)
{
    ::setenv(("TOLVEXCOMM_COM" + std::to_string(port)).c_str(), device.c_str(), 1);
}

bool RunUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QTimer beat;  // wakes the loop to check the predicate
    beat.start(2);
    while (!pred()) {
        if (t.elapsed() >= timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::shared_ptr<ControlLibrary> Library()
{
    std::string error;
    return ControlLibrary::Open({}, error);
}

PortControl::PortControl(std::shared_ptr<ControlLibrary> library)
    : instance_(std::make_unique<ControlInstance>(std::move(library)))
{
    EnsureGuiApp();
    instance_->Create();
    QThread* gui = QThread::currentThread();
    instance_->onEvent = [this, gui](DispId dispid, std::span<com::Variant>) {
        if (dispid != com::eventid::kOnComm) return;
        if (QThread::currentThread() != gui) onGuiThread = false;
        const std::int16_t code = instance_->GetI2(id::kCommEvent).value;
        events.push_back(code);
        if (onComm) onComm(code);
    };
}

int PortControl::Count(std::int16_t code) const
{
    return static_cast<int>(std::count(events.begin(), events.end(), code));
}

namespace {

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

bool Open(ControlInstance& c, int port, std::int16_t rthreshold, std::int32_t inTimeout)
{
    return c.PutI2(id::kCommPort, static_cast<std::int16_t>(port)).ok() &&
           c.PutUtf8(id::kSettings, "115200,N,8,1").ok() && c.PutI2(id::kInBufferSize, 16384).ok() &&
           c.PutI2(id::kOutBufferSize, 32767).ok() && c.PutI2(id::kInBufferCount, 0).ok() &&
           c.PutI4(id::kInTimeout, inTimeout).ok() && c.PutI2(id::kRThreshold, rthreshold).ok() &&
           c.PutBool(id::kPortOpen, true).ok();
}

}  // namespace

DuplexResult RunDuplex(const std::shared_ptr<ControlLibrary>& library, int port, std::size_t bytes,
                       unsigned seed, int timeoutMs)
{
    DuplexResult res;
    const std::string toControl = RandomBytes(bytes, seed);
    const std::string fromControl = RandomBytes(bytes, seed + 1);
    Pty pty;
    MapPort(port, pty.path());
    PortControl pc(library);
    ControlInstance& c = pc.c();
    if (!Open(c, port, 1, 0)) return res;

    std::string got;
    got.reserve(bytes);
    pc.onComm = [&](std::int16_t code) {
        if (code != 2) return;
        auto data = c.Get(id::kInputB);
        if (data.ok()) got += data.value.text();
    };

    std::string masterGot;
    QElapsedTimer t;
    t.start();
    std::thread writer([&] { pty.Write(toControl, timeoutMs); });
    std::thread reader([&] { masterGot = pty.Read(bytes, timeoutMs); });
    std::size_t sent = 0;
    constexpr std::size_t kChunk = 16384;
    RunUntil(
        [&] {
            while (sent < bytes) {
                const int refused = pc.Count(1010);
                const std::size_t n = std::min(kChunk, bytes - sent);
                if (!c.Put(id::kOutputB, com::Variant::Bytes(fromControl.substr(sent, n))).ok()) break;
                if (pc.Count(1010) != refused) {
                    ++res.overflows;
                    break;  // both transmit buffers busy: the same bytes again later
                }
                sent += n;
            }
            return sent == bytes && got.size() >= bytes;
        },
        timeoutMs);
    writer.join();
    reader.join();
    res.seconds = static_cast<double>(t.elapsed()) / 1000.0;
    res.received = got.size();
    res.sent = masterGot.size();
    res.receivedIntact = got == toControl;
    res.sentIntact = masterGot == fromControl;
    c.PutBool(id::kPortOpen, false);
    return res;
}

LinesResult RunLineReplay(const std::shared_ptr<ControlLibrary>& library, int port,
                          const std::vector<std::string>& lines, int timeoutMs)
{
    LinesResult res;
    std::string stream;
    for (const std::string& l : lines) stream += l + "\r\n";
    res.sent = lines.size();
    res.bytes = stream.size();
    Pty pty;
    MapPort(port, pty.path());
    PortControl pc(library);
    ControlInstance& c = pc.c();
    if (!Open(c, port, 40, 2000)) return res;

    std::size_t next = 0;
    pc.onComm = [&](std::int16_t code) {
        if (code != 2) return;
        while (c.GetI2(id::kInBufferCount).value > 0 && next < lines.size()) {
            if (c.GetString(id::kLineInput).value == lines[next]) ++res.matched;
            ++next;
        }
    };
    QElapsedTimer t;
    t.start();
    std::thread writer([&] { pty.Write(stream, timeoutMs); });
    RunUntil([&] { return next >= lines.size(); }, timeoutMs);
    writer.join();
    res.seconds = static_cast<double>(t.elapsed()) / 1000.0;
    c.PutBool(id::kPortOpen, false);
    return res;
}

std::vector<double> MeasureLatency(const std::shared_ptr<ControlLibrary>& library, int port, std::size_t lines)
{
    std::vector<double> micros;
    Pty pty;
    MapPort(port, pty.path());
    PortControl pc(library);
    ControlInstance& c = pc.c();
    if (!Open(c, port, 1, 1000)) return micros;

    std::atomic<std::int64_t> writtenAt{0};  // steady-clock nanoseconds of the line in flight
    std::atomic<std::size_t> done{0};
    pc.onComm = [&](std::int16_t code) {
        if (code != 2) return;
        const std::int64_t now = Clock::now().time_since_epoch().count();
        while (c.GetI2(id::kInBufferCount).value > 0) {
            if (c.GetString(id::kLineInput).value.empty()) break;
            micros.push_back(static_cast<double>(now - writtenAt.load()) / 1000.0);
            done.fetch_add(1);
        }
    };
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::mt19937 rng(3);
        for (std::size_t i = 0; i < lines && !stop; ++i) {
            // A pause of 0.2 to 1 ms between lines, so each one finds the
            // control idle as a receiver's once-a-second sentence does.
            std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 800));
            const std::string line = "$GPGGA,LINE," + std::to_string(i) + "\r\n";
            writtenAt = Clock::now().time_since_epoch().count();
            if (pty.Write(line, 5000) != line.size()) break;
            const auto until = Clock::now() + std::chrono::seconds(5);
            while (done.load() <= i && Clock::now() < until && !stop)
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    RunUntil([&] { return done.load() >= lines; }, static_cast<int>(lines) * 20 + 10000);
    stop = true;
    writer.join();
    c.PutBool(id::kPortOpen, false);
    std::sort(micros.begin(), micros.end());
    return micros;
}

}  // namespace tolvex::host::portkit
