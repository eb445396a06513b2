#include "serial/net_port.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tolvex::serial {

namespace {

using Clock = std::chrono::steady_clock;

bool ParsePort(std::string_view text, int& port)
{
    if (text.empty() || text.size() > 5) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535) return false;
    port = v;
    return true;
}

// Connects to host:port within the timeout; the descriptor (non-blocking)
// or -1 with errno set.
int Connect(const std::string& host, int port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        errno = ENOENT;  // no such host: as a device that is not there
        return -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int err = ECONNREFUSED;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            err = errno;
            continue;
        }
        if (::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                err = errno;
                ::close(s);
                continue;
            }
            pollfd p{s, POLLOUT, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            int r = 0;
            do {
                r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
            } while (r < 0 && errno == EINTR);
            int soerr = 0;
            socklen_t len = sizeof soerr;
            if (r <= 0) {
                err = r == 0 ? ETIMEDOUT : errno;
                ::close(s);
                continue;
            }
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &len) != 0 || soerr != 0) {
                err = soerr != 0 ? soerr : errno;
                ::close(s);
                continue;
            }
        }
        fd = s;
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        errno = err;
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

class NetPortDevice final : public PortDevice {
public:
    ~NetPortDevice() override { Close(); }

    int Open(const std::string& path) override
    {
        Close();
        const std::optional<NetSource> src = ParseNetSource(path);
        if (!src) return EINVAL;
        const int fd = Connect(src->host, src->port, kNetConnectTimeoutMs);
        if (fd < 0) return errno != 0 ? errno : ECONNREFUSED;
        fd_ = fd;
        gpsd_ = src->kind == NetSource::Kind::Gpsd;
        lineStart_ = true;
        skipping_ = false;
        if (gpsd_) {
            // A fresh socket has room for these few bytes.
            const ssize_t n = ::send(fd_, kGpsdWatchNmea.data(), kGpsdWatchNmea.size(), MSG_NOSIGNAL);
            if (n != static_cast<ssize_t>(kGpsdWatchNmea.size())) {
                const int err = n < 0 ? errno : EIO;
                Close();
                return err;
            }
        }
        return 0;
    }

    void Close() override
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int Handle() const override { return fd_; }
    bool Apply(const DeviceSettings&) override { return fd_ >= 0; }
    bool MarksLineErrors() const override { return false; }
    int SetDtr(bool) override { return 0; }
    int SetRts(bool) override { return 0; }
    void SetBreak(bool) override {}
    std::optional<std::uint32_t> ModemStatus() override { return std::nullopt; }
    std::optional<LineErrorCounts> ErrorCounts() override { return std::nullopt; }

    ssize_t Read(std::uint8_t* buffer, std::size_t size) override
    {
        if (fd_ < 0) {
            errno = EBADF;
            return -1;
        }
        ssize_t n = 0;
        do {
            n = ::recv(fd_, buffer, size, 0);
        } while (n < 0 && errno == EINTR);
        if (n == 0) {
            // The far side closed the connection: the line is lost.
            errno = ECONNRESET;
            return -1;
        }
        if (n < 0 || !gpsd_) return n;
        const std::size_t out = DropReports(buffer, static_cast<std::size_t>(n));
        if (out == 0) {
            errno = EAGAIN;
            return -1;
        }
        return static_cast<ssize_t>(out);
    }

    ssize_t Write(const std::uint8_t* data, std::size_t size) override
    {
        if (fd_ < 0) {
            errno = EBADF;
            return -1;
        }
        if (gpsd_) return static_cast<ssize_t>(size);
        ssize_t n = 0;
        do {
            n = ::send(fd_, data, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    std::size_t TransmitQueue() override
    {
        int queued = 0;
        if (fd_ < 0 || gpsd_ || ::ioctl(fd_, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
        return static_cast<std::size_t>(queued);
    }

    void DiscardReceive() override
    {
        if (fd_ < 0) return;
        std::uint8_t sink[4096];
        // What has arrived so far; bounded, so a fast sender cannot hold us.
        for (int i = 0; i < 64; ++i) {
            const ssize_t n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
            if (n <= 0) break;
            if (gpsd_) DropReports(sink, static_cast<std::size_t>(n));
        }
    }

    void DiscardTransmit() override {}

private:
    // gpsd's JSON reports are whole lines starting with "{"; everything else
    // is a sentence of a device. Filters in place; returns the bytes kept.
    std::size_t DropReports(std::uint8_t* buffer, std::size_t n)
    {
        std::size_t out = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t c = buffer[i];
            if (lineStart_) {
                skipping_ = c == '{';
                lineStart_ = false;
            }
            if (!skipping_) buffer[out++] = c;
            if (c == '\n') lineStart_ = true;
        }
        return out;
    }

    int fd_ = -1;
    bool gpsd_ = false;
    bool lineStart_ = true;
    bool skipping_ = false;
};

}  // namespace

bool IsNetSourceName(std::string_view name)
{
    return name.substr(0, 4) == "tcp:" || name.substr(0, 5) == "gpsd:";
}

std::optional<NetSource> ParseNetSource(std::string_view name)
{
    NetSource src;
    std::string_view rest;
    if (name.substr(0, 4) == "tcp:") {
        src.kind = NetSource::Kind::Tcp;
        rest = name.substr(4);
    } else if (name.substr(0, 5) == "gpsd:") {
        src.kind = NetSource::Kind::Gpsd;
        rest = name.substr(5);
    } else {
        return std::nullopt;
    }
    std::string_view host, port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
    }
    if (host.empty() || host.size() > 253 || !ParsePort(port, src.port)) return std::nullopt;
    for (char c : host)
        if (static_cast<unsigned char>(c) <= ' ' || c == '/') return std::nullopt;
    src.host = std::string(host);
    return src;
}

std::unique_ptr<PortDevice> MakeNetPortDevice() { return std::make_unique<NetPortDevice>(); }

std::unique_ptr<PortDevice> MakePortDeviceFor(std::string_view name)
{
    return IsNetSourceName(name) ? MakeNetPortDevice() : MakePosixPortDevice();
}

bool NetSourceAnswers(const std::string& host, int port, int timeoutMs)
{
    const int fd = Connect(host, port, timeoutMs);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace tolvex::serial
