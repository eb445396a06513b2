#include "testkit.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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
