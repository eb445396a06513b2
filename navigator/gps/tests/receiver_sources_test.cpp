// The receiver through the real communications control from every kind of
// source a port can map to: a pseudo-terminal (the reference), every GNSS
// talker on it, a raw NMEA TCP source served by the test, a gpsd (Debian's,
// run by gpsfake on a private port) replaying the sample drive, and a
// pseudo-terminal that goes away and comes back under the same name while a
// recording runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/gps_com.h"
#include "geodesy/plane_coords.h"
#include "gps/live_tracking.h"
#include "gps/nmea_checksum.h"
#include "gps/nmea_feeder.h"

namespace tessaro::gps {
namespace {

namespace fs = std::filesystem;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "gps_sources_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
                                                        : new QApplication(argc, argv);
    return *app;
}

template <typename F>
bool WaitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// One decoded sentence as the status labels and the run state show it.
std::string Row(const PositionFix& f, const NavState& s)
{
    char plane[96] = "";
    if (f.stored) std::snprintf(plane, sizeof plane, "%.17g,%.17g", static_cast<double>(f.northing), f.easting);
    return f.timeText + "," + f.latText + "," + f.lonText + "," + f.satellitesText + "," + f.statusText + "," +
           std::to_string(s.Zone.ZoneNo) + "," + (f.stored ? "1," : "0,") + plane;
}

struct Records : RecordLineSink {
    void WriteRecordLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

struct View : TrackingView {
    void ShowReceiverState(const std::string& text) override { states.push_back(text); }
    std::vector<std::string> states;
};

// The sample drive's first `count` sentence sets (GGA, RMC, GSA, GSV...).
std::vector<std::string> DriveSets(std::size_t count)
{
    const char* root = std::getenv("TESSARO_SOURCE_DIR");
    std::vector<std::string> sets;
    LoadSentenceSets((fs::path(root ? root : ".") / "data" / "20100508" / "20100508_drive.txt").string(), sets);
    if (sets.size() > count) sets.resize(count);
    return sets;
}

// Navigator-side harness: the control loaded as the navigator loads it,
// live tracking on port 4, whatever COM4 maps to.
struct Sources : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir config;
    NavState state;
    GpsWindow window;
    MapSelection maps;
    OverlayDrawing drawing;
    Records record;
    View view;
    std::unique_ptr<GpsComPort> port;
    std::unique_ptr<LiveTracking> tracking;
    std::vector<std::string> rows;

    void SetUp() override
    {
        qputenv("TOLVEXCOMM_CONFIG_DIR", config.path().toLocal8Bit());
        std::string error;
        port = app::LoadGpsCom("", nullptr, error);
        ASSERT_TRUE(port) << error;
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, state.Zone);
        state.GPSPortNo = 4;
        state.GPSPortSettings = "4800,n,8,1";
        state.ViewScale = 0.17f;
        tracking = std::make_unique<LiveTracking>(state, window, maps, drawing, record, view);
        tracking->SetPort(port.get());
        tracking->onFixDecoded = [this](const PositionFix& f) { rows.push_back(Row(f, state)); };
    }
    void TearDown() override
    {
        if (tracking) tracking->Stop();
        tracking.reset();
        port.reset();
        qunsetenv("TOLVEXCOMM_COM4");
        qunsetenv("TOLVEXCOMM_CONFIG_DIR");
    }
    void MapCom4(const std::string& device) { qputenv("TOLVEXCOMM_COM4", QByteArray::fromStdString(device)); }

    // Writes the sets through `write`, each after the one before has been
    // decoded.
    template <typename W>
    bool FeedEach(const std::vector<std::string>& sets, W write)
    {
        for (const std::string& set : sets) {
            const std::size_t before = rows.size();
            if (!write(set)) return false;
            if (!WaitFor([&] { return rows.size() > before; }, 5000)) return false;
        }
        return true;
    }

    // The reference: the sets through a pseudo-terminal.
    std::vector<std::string> ThroughPty(const std::vector<std::string>& sets)
    {
        PtyFeeder feeder;
        EXPECT_TRUE(feeder.open());
        MapCom4(feeder.slavePath());
        rows.clear();
        tracking->Toggle();
        EXPECT_TRUE(state.GPSRunning);
        EXPECT_TRUE(FeedEach(sets, [&](const std::string& s) { return feeder.write(s); }));
        tracking->Toggle();
        return std::exchange(rows, {});
    }
};

// A listening socket on 127.0.0.1 (a free port) and the connection it takes.
struct Listener {
    int fd = -1, peer = -1, port = 0;
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (peer >= 0) ::close(peer);
        if (fd >= 0) ::close(fd);
    }
    bool Accept()
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) != 1) return false;
        peer = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        return peer >= 0;
    }
    bool Send(const std::string& bytes)
    {
        return ::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
};

int FreePort()
{
    Listener l;
    return l.port;  // closed again when l goes; a tiny race the test accepts
}

TEST_F(Sources, EveryTalkerThroughThePseudoTerminalDecodesAsGps)
{
    const std::string body = ",053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,";
    std::vector<std::string> sets;
    for (const char* talker : {"GP", "GN", "GL", "GA", "GB", "BD", "GQ", "GI"})
        sets.push_back(WithNmeaChecksum("$" + std::string(talker) + "GGA" + body) + "\r\n" +
                       WithNmeaChecksum("$" + std::string(talker) + "RMC,053012.00,A") + "\r\n");
    const std::vector<std::string> got = ThroughPty(sets);
    ASSERT_EQ(got.size(), sets.size());
    for (std::size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i], got[0]) << sets[i];
    EXPECT_EQ(got[0].substr(0, 44), "14:30:12,35-42-07.40,139-45-40.73,08,Navi,9,");
}

// A source nobody serves does not start tracking, and the message names
// what to check.
TEST_F(Sources, SourceThatDoesNotAnswerIsExplained)
{
    const int nobody = FreePort();
    MapCom4("gpsd:127.0.0.1:" + std::to_string(nobody));
    tracking->Toggle();
    EXPECT_FALSE(state.GPSRunning);
    const ComError why = port->PortOpenError();
    EXPECT_NE(why.number, 0);
    const std::string text =
        app::PortOpenFailureMessage(4, "gpsd:127.0.0.1:" + std::to_string(nobody), why, app::DeviceCheck{}, "user");
    EXPECT_NE(text.find("gpsdに接続できません。"), std::string::npos) << text;
    EXPECT_EQ(text.find("デバイスがありません"), std::string::npos) << text;
}

TEST_F(Sources, TcpSourceDecodesAsThePseudoTerminal)
{
    const std::vector<std::string> sets = DriveSets(40);
    const std::vector<std::string> reference = ThroughPty(sets);
    ASSERT_EQ(reference.size(), sets.size());

    Listener server;
    MapCom4("tcp:127.0.0.1:" + std::to_string(server.port));
    tracking->Toggle();
    ASSERT_TRUE(state.GPSRunning) << "the control did not connect";
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(FeedEach(sets, [&](const std::string& s) { return server.Send(s); }));
    EXPECT_EQ(rows, reference);
}

// gpsfake starts gpsd on a private port and replays the drive into it as a
// device; the navigator asks gpsd for NMEA. gpsd starts reading before any
// client is there, so the first epochs may pass before the control is
// connected: what arrives must be an unbroken run of the reference up to
// the drive's end, decoded identically.
TEST_F(Sources, GpsdFedByGpsfakeDecodesAsThePseudoTerminal)
{
    if (std::system("command -v gpsfake > /dev/null 2>&1 && test -x /usr/sbin/gpsd") != 0)
        GTEST_SKIP() << "gpsd and gpsfake are not installed (tools/install-deps.sh)";
    const std::vector<std::string> sets = DriveSets(40);
    const std::vector<std::string> reference = ThroughPty(sets);
    ASSERT_EQ(reference.size(), sets.size());

    QTemporaryDir dir;
    const std::string log = (dir.path() + "/drive.nmea").toStdString();
    {
        std::ofstream out(log, std::ios::binary);
        for (const std::string& s : sets) out << s;
    }
    const int gpsdPort = FreePort();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setpgid(0, 0);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        const std::string p = std::to_string(gpsdPort);
        ::execlp("gpsfake", "gpsfake", "-1", "-q", "-c", "0.02", "-P", p.c_str(), log.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(child, child);
    struct Reap {
        pid_t pid;
        ~Reap()
        {
            ::kill(-pid, SIGTERM);
            int st = 0;
            ::waitpid(pid, &st, 0);
        }
    } reap{child};

    MapCom4("gpsd:127.0.0.1:" + std::to_string(gpsdPort));
    // gpsd takes a moment to listen: start tracking as soon as it answers.
    ASSERT_TRUE(WaitFor(
        [&] {
            tracking->Toggle();
            if (state.GPSRunning) return true;
            ::usleep(20000);
            return false;
        },
        10000))
        << "gpsd did not answer on port " << gpsdPort;
    const auto last = reference.back();
    ASSERT_TRUE(WaitFor([&] { return !rows.empty() && rows.back() == last; }, 20000))
        << rows.size() << " sentences arrived";
    ASSERT_GE(rows.size(), reference.size() / 2);
    RecordProperty("sentences_through_gpsd", static_cast<int>(rows.size()));
    const std::size_t offset = reference.size() - rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], reference[offset + i]) << i;
}

// The receiver's device goes away while a recording runs and comes back
// under the same name (a link the test switches to a new pseudo-terminal):
// the status says so, tracking resumes by itself, and the recording holds
// every fix from before and after.
TEST_F(Sources, ReceiverThatGoesAwayAndComesBackUnderTheSameName)
{
    const std::vector<std::string> sets = DriveSets(20);
    const std::vector<std::string> before(sets.begin(), sets.begin() + 10), after(sets.begin() + 10, sets.end());
    QTemporaryDir dir;
    const fs::path link = (dir.path() + "/gps0").toStdString();
    auto first = std::make_unique<PtyFeeder>();
    ASSERT_TRUE(first->open());
    fs::create_symlink(first->slavePath(), link);
    MapCom4(link.string());

    state.RecordingOn = true;
    state.pRecordSTS = 1;
    state.RecordInterval = 1;
    tracking->Toggle();
    ASSERT_TRUE(state.GPSRunning);
    ASSERT_TRUE(FeedEach(before, [&](const std::string& s) { return first->write(s); }));

    first.reset();  // unplugged
    ASSERT_TRUE(WaitFor([&] { return tracking->Reconnecting(); }, 5000));
    EXPECT_EQ(view.states.back(), kReceiverLostMessage);
    EXPECT_TRUE(state.GPSRunning);

    PtyFeeder second;
    ASSERT_TRUE(second.open());
    const fs::path next = link.string() + ".new";
    fs::create_symlink(second.slavePath(), next);
    fs::rename(next, link);  // plugged in again: the same name, another device
    ASSERT_TRUE(WaitFor([&] { return !tracking->Reconnecting(); }, 3 * LiveTracking::kReconnectMs + 1000));
    EXPECT_EQ(view.states.back(), kReceiverBackMessage);
    ASSERT_TRUE(FeedEach(after, [&](const std::string& s) { return second.write(s); }));
    tracking->Toggle();

    const std::vector<std::string> got = rows;
    ASSERT_EQ(got.size(), sets.size());
    ASSERT_EQ(record.lines.size(), sets.size());
    EXPECT_EQ(ThroughPty(sets), got);
    EXPECT_EQ(record.lines.front().substr(0, 8), "10:00:00");
    EXPECT_EQ(record.lines.back().substr(0, 8), "10:00:19");
}

}  // namespace
}  // namespace tessaro::gps
