#include "testkit.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace tolvex::serial::testkit {

void EnsureApp()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "serial-test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty()
{
    CloseMaster();
    CloseSlave();
}

void Pty::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void Pty::CloseSlave()
{
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

std::size_t Pty::Write(std::string_view bytes, int timeout_ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t done = 0;
    while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return done;
}

std::string Pty::Read(std::size_t want, int timeout_ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string out;
    char buf[65536];
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
        ssize_t n = ::read(master_, buf, std::min(sizeof buf, want - out.size()));
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 10);
    }
    return out;
}

ProfileLookup MapPort(int port, std::string path)
{
    const std::string key = "COM" + std::to_string(port);
    return [key, path](std::string_view k) -> std::optional<std::string> {
        if (k == key)
            return path;
        return std::nullopt;
    };
}

Harness::Harness(ProfileLookup ports, DeviceFactory factory)
{
    EnsureApp();
    ctx_ = std::make_unique<QObject>();
    EngineCallbacks cb;
    QObject* ctx = ctx_.get();
    cb.post_notification = [this, ctx](Notification n) {
        QMetaObject::invokeMethod(
            ctx, [this, n] { engine_->HandleNotification(n); }, Qt::QueuedConnection);
    };
    cb.fire_oncomm = [this] {
        events.push_back(engine_->CommEvent());
        if (on_comm)
            on_comm(*engine_);
    };
    cb.terminal_output = [this](std::string_view b) { terminal.append(b); };
    cb.transfer_wakeup = [this] { ++transfer_wakeups; };
    engine_ = std::make_unique<CommEngine>(std::move(cb), std::move(ports), std::move(factory));
}

Harness::~Harness()
{
    engine_.reset();  // joins the event thread
    ctx_.reset();     // drops notifications still queued
}

bool Harness::RunUntil(const std::function<bool()>& pred, int timeout_ms)
{
    QElapsedTimer t;
    t.start();
    QTimer beat;
    beat.start(2);
    while (!pred()) {
        if (t.elapsed() >= timeout_ms)
            return pred();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void Harness::Run(int ms)
{
    RunUntil([] { return false; }, ms);
}

int Harness::Count(std::int16_t code) const
{
    return static_cast<int>(std::count(events.begin(), events.end(), code));
}

int OpenDescriptorCount()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

int ThreadCount()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace tolvex::serial::testkit

#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

namespace tolvex::serial::testkit {

namespace {
constexpr int kLoadPort = 9;
}

DuplexResult RunDuplexTransfer(std::size_t bytes, unsigned seed, int timeout_ms)
{
    DuplexResult res;
    std::mt19937 rng(seed);
    std::string to_engine(bytes, '\0'), from_engine(bytes, '\0');
    for (char& c : to_engine)
        c = static_cast<char>(rng());
    for (char& c : from_engine)
        c = static_cast<char>(rng());

    Pty pty;
    Harness h(MapPort(kLoadPort, pty.path()));
    CommEngine& e = h.engine();
    e.SetCommPort(kLoadPort);
    e.SetSettings("115200,n,8,1");
    e.SetInBufferSize(16384);
    e.SetOutBufferSize(32767);
    e.SetRThreshold(1);
    e.SetPortOpen(true);

    std::string got;
    got.reserve(bytes);
    h.on_comm = [&](CommEngine& eng) {
        if (eng.CommEvent() == kEvReceive)
            got += eng.InputB();
    };

    std::string master_got;
    QElapsedTimer t;
    t.start();
    std::thread writer([&] { pty.Write(to_engine, timeout_ms); });
    std::thread reader([&] { master_got = pty.Read(bytes, timeout_ms); });

    std::size_t sent = 0;
    constexpr std::size_t kChunk = 16384;
    h.RunUntil(
        [&] {
            while (sent < bytes) {
                const int refused = h.Count(kErTxFull);
                const std::size_t n = std::min(kChunk, bytes - sent);
                e.Output(std::string_view(from_engine).substr(sent, n));
                if (h.Count(kErTxFull) != refused) {
                    ++res.overflow_retries;
                    break;  // both buffers busy: try again later
                }
                sent += n;
            }
            return sent == bytes && got.size() >= bytes;
        },
        timeout_ms);
    writer.join();
    reader.join();
    res.seconds = t.elapsed() / 1000.0;
    res.received = got.size();
    res.sent = master_got.size();
    res.received_intact = got == to_engine;
    res.sent_intact = master_got == from_engine;
    e.SetPortOpen(false);
    return res;
}

std::vector<std::string> MakeGgaLines(std::size_t count)
{
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned s = static_cast<unsigned>(i % 86400);
        char body[128];
        std::snprintf(body, sizeof body,
                      "GPGGA,%02u%02u%02u.00,3540.%04u,N,13945.%04u,E,1,08,0.9,%u.0,M,39.5,M,,",
                      s / 3600, (s / 60) % 60, s % 60, static_cast<unsigned>(i * 7 % 10000),
                      static_cast<unsigned>(i * 13 % 10000), static_cast<unsigned>(i % 500));
        unsigned char sum = 0;
        for (const char* p = body; *p; ++p)
            sum ^= static_cast<unsigned char>(*p);
        char line[160];
        std::snprintf(line, sizeof line, "$%s*%02X", body, sum);
        lines.emplace_back(line);
    }
    return lines;
}

NmeaResult RunNmeaReplay(const std::vector<std::string>& lines, int timeout_ms)
{
    NmeaResult res;
    std::string stream;
    for (const std::string& l : lines)
        stream += l + "\r\n";
    res.lines_sent = lines.size();
    res.bytes = stream.size();

    Pty pty;
    Harness h(MapPort(kLoadPort, pty.path()));
    CommEngine& e = h.engine();
    // The navigator's own sequence.
    e.SetCommPort(kLoadPort);
    e.SetSettings("115200,n,8,1");
    e.SetRThreshold(40);
    e.SetInTimeout(2000);
    e.SetInBufferCount(0);
    e.SetInputLen(0);
    e.SetPortOpen(true);

    std::size_t next = 0;
    h.on_comm = [&](CommEngine& eng) {
        if (eng.CommEvent() != kEvReceive)
            return;
        while (eng.InBufferCount() > 0 && next < lines.size()) {
            const std::string line = eng.LineInput();
            if (line == lines[next])
                ++res.lines_matched;
            ++next;
        }
    };
    QElapsedTimer t;
    t.start();
    std::thread writer([&] { pty.Write(stream, timeout_ms); });
    h.RunUntil([&] { return next >= lines.size(); }, timeout_ms);
    writer.join();
    res.seconds = t.elapsed() / 1000.0;
    e.SetPortOpen(false);
    return res;
}

// Bytes through `cat` on a raw pty: write on the master, read the echo back.
double CatThroughPty(std::size_t bytes, bool& intact)
{
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return 0;
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        if (int null = ::open("/dev/null", O_WRONLY); null >= 0)
            ::dup2(null, 2);  // cat reports the closed master on exit
        ::close(master);
        ::close(slave);
        ::execlp("cat", "cat", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::string data(bytes, '\0');
    std::mt19937 rng(7);
    for (char& c : data)
        c = static_cast<char>(rng());
    std::string back;
    back.reserve(bytes);
    std::size_t sent = 0;
    char buf[65536];
    const auto t0 = std::chrono::steady_clock::now();
    while (back.size() < bytes) {
        pollfd p{master, static_cast<short>(POLLIN | (sent < bytes ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        if ((p.revents & POLLOUT) && sent < bytes) {
            ssize_t n = ::write(master, data.data() + sent, std::min<std::size_t>(bytes - sent, 4096));
            if (n > 0)
                sent += static_cast<std::size_t>(n);
        }
        if (p.revents & POLLIN) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                back.append(buf, static_cast<std::size_t>(n));
        }
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    intact = back == data;
    ::close(master);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return s;
}


}  // namespace tolvex::serial::testkit
