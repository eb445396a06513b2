// Network sources behind the port interface: a port mapped to tcp:HOST:PORT
// or gpsd:HOST:PORT opens a connection, delivers what arrives through the
// receive queue and OnComm, and reports the far side closing as a lost line.
// The far side here is a listening socket of the test.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "serial/net_port.h"
#include "testkit.h"

namespace tolvex::serial {
namespace {

using testkit::Harness;
using testkit::MapPort;

constexpr int kPort = 5;

// A listening socket on 127.0.0.1 and a free port, and the one connection
// it accepts.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (peer_ >= 0) ::close(peer_);
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }
    bool Accept(int timeoutMs = 3000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return peer_ >= 0;
    }
    void Send(const std::string& bytes) { ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }
    std::string Receive(std::size_t want, int timeoutMs = 3000)
    {
        std::string got;
        while (got.size() < want) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) != 1) break;
            char buf[512];
            const ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    void ClosePeer()
    {
        ::close(peer_);
        peer_ = -1;
    }
    void CloseListener()
    {
        ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

TEST(NetPort, SourceNames)
{
    struct Case {
        const char* name;
        bool valid;
        NetSource::Kind kind;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"tcp:192.168.1.20:10110", true, NetSource::Kind::Tcp, "192.168.1.20", 10110},
        {"gpsd:localhost:2947", true, NetSource::Kind::Gpsd, "localhost", 2947},
        {"tcp:[::1]:2000", true, NetSource::Kind::Tcp, "::1", 2000},
        {"tcp:host", false, {}, "", 0},
        {"tcp::2947", false, {}, "", 0},
        {"tcp:h:0", false, {}, "", 0},
        {"tcp:h:65536", false, {}, "", 0},
        {"tcp:h:12x", false, {}, "", 0},
        {"tcp:::1:2000", false, {}, "", 0},
        {"gpsd:a b:2947", false, {}, "", 0},
        {"/dev/ttyUSB0", false, {}, "", 0},
    };
    for (const Case& c : cases) {
        const auto src = ParseNetSource(c.name);
        ASSERT_EQ(src.has_value(), c.valid) << c.name;
        if (!src) continue;
        EXPECT_EQ(src->kind, c.kind) << c.name;
        EXPECT_EQ(src->host, c.host) << c.name;
        EXPECT_EQ(src->port, c.port) << c.name;
    }
    EXPECT_TRUE(IsNetSourceName("tcp:x"));
    EXPECT_FALSE(IsNetSourceName("/dev/tcp:1"));
}

// Raw TCP: bytes both ways through the engine, and the peer closing the
// connection is a lost line (carrier lost), not a busy loop.
TEST(NetPort, TcpCarriesBytesBothWaysAndReportsTheFarSideClosing)
{
    Listener server;
    Harness h(MapPort(kPort, "tcp:127.0.0.1:" + std::to_string(server.port())));
    CommEngine& e = h.engine();
    e.SetCommPort(kPort);
    e.SetSettings("115200,n,8,1");
    e.SetRThreshold(1);
    std::string received;
    h.on_comm = [&](CommEngine& engine) {
        if (engine.CommEvent() == kEvReceive) received += engine.Input();
    };
    e.SetPortOpen(true);
    ASSERT_TRUE(e.PortOpen());
    ASSERT_TRUE(server.Accept());
    server.Send("$GNGGA,1\r\n$GNRMC,2\r\n");
    ASSERT_TRUE(h.RunUntil([&] { return received.size() >= 20; }, 3000)) << received;
    EXPECT_EQ(received, "$GNGGA,1\r\n$GNRMC,2\r\n");
    e.Output("$PMTK220,100*2F\r\n");
    EXPECT_EQ(server.Receive(17), "$PMTK220,100*2F\r\n");

    server.ClosePeer();
    ASSERT_TRUE(h.RunUntil([&] { return e.LineLost(); }, 3000));
    EXPECT_TRUE(h.RunUntil([&] { return h.Count(kEvCd) >= 1; }, 3000));
    e.SetPortOpen(false);
}

// gpsd: the watch command goes out first; its JSON reports are dropped even
// when a report arrives in pieces, the sentences pass unchanged, and what
// the control sends is not passed to gpsd.
TEST(NetPort, GpsdIsAskedForNmeaAndItsReportsAreDropped)
{
    Listener server;
    Harness h(MapPort(kPort, "gpsd:127.0.0.1:" + std::to_string(server.port())));
    CommEngine& e = h.engine();
    e.SetCommPort(kPort);
    e.SetRThreshold(1);
    std::string received;
    h.on_comm = [&](CommEngine& engine) {
        if (engine.CommEvent() == kEvReceive) received += engine.Input();
    };
    e.SetPortOpen(true);
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(server.Receive(kGpsdWatchNmea.size()), kGpsdWatchNmea);
    server.Send("{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n{\"class\":\"DEV");
    server.Send("ICES\",\"devices\":[]}\r\n$GPGGA,053012.00,3542.1234,N*5C\r\n{\"class\":\"WATCH\",");
    server.Send("\"nmea\":true}\r\n$GNGSA,A,3\r\n");
    const std::string want = "$GPGGA,053012.00,3542.1234,N*5C\r\n$GNGSA,A,3\r\n";
    ASSERT_TRUE(h.RunUntil([&] { return received.size() >= want.size(); }, 3000)) << received;
    EXPECT_EQ(received, want);
    e.Output("?POLL;\n");
    EXPECT_EQ(server.Receive(1, 200), "");
    e.SetPortOpen(false);
}

TEST(NetPort, RefusedAndMalformedSourcesDoNotOpen)
{
    Listener server;
    const int port = server.port();
    server.CloseListener();  // nobody listens there now
    for (const std::string& name : {"tcp:127.0.0.1:" + std::to_string(port), std::string("gpsd:nohost.invalid:2947"),
                                    std::string("tcp:127.0.0.1")}) {
        Harness h(MapPort(kPort, name));
        CommEngine& e = h.engine();
        e.SetCommPort(kPort);
        EXPECT_THROW(e.SetPortOpen(true), ControlError) << name;
        EXPECT_FALSE(e.PortOpen()) << name;
    }
    EXPECT_FALSE(NetSourceAnswers("127.0.0.1", port, 200));
}

}  // namespace
}  // namespace tolvex::serial
