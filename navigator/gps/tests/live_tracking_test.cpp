// Live tracking without a window: the line rule it shares with the log
// replay, and the toggle following the run state.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sstream>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "gps/gga_replay.h"
#include "gps/live_tracking.h"
#include "gps/nmea_checksum.h"

namespace tessaro::gps {
namespace {

// A port that delivers what the test queues and logs the steps it is given.
class ScriptedPort : public GpsComPort {
public:
    bool SetCommPort(int) override { return Log("CommPort"); }
    bool SetSettings(const std::string&) override { return Log("Settings"); }
    bool SetInBufferCount(int) override { return Log("InBufferCount"); }
    bool SetInTimeout(int) override { return Log("InTimeout"); }
    bool SetRThreshold(int) override { return Log("RThreshold"); }
    bool SetInputLen(int) override { return true; }
    bool SetPortOpen(bool open) override
    {
        Log(open ? "open" : "close");
        if (open && refuseOpen) return false;
        open_ = open;
        return true;
    }
    bool PortOpen() override { return open_; }
    int CommEvent() override { return event; }
    int InBufferCount() override { return static_cast<int>(queued.size()); }
    std::string Input() override { return std::exchange(queued, {}); }

    void Receive(const std::string& bytes)
    {
        queued += bytes;
        onComm();
    }
    bool Log(const char* step)
    {
        steps.push_back(step);
        return true;
    }

    std::string queued;
    std::vector<std::string> steps;
    bool refuseOpen = false;
    int event = kReceiveEvent;

    void LoseLine()
    {
        event = kCarrierEvent;
        onComm();
        event = kReceiveEvent;
    }

private:
    bool open_ = false;
};

struct Labels : GpsWindow {
    void SetLabel(FixLabel label, const std::string& text) override { labels[static_cast<int>(label)] = text; }
    std::string labels[5];
};

struct View : TrackingView {
    void ShowRunning(bool running) override { looks.push_back(running); }
    void ShowReceiverState(const std::string& text) override { states.push_back(text); }
    std::vector<std::string> states;
    void PortOpenRefused(int, const ComError&) override { ++refused; }
    std::vector<bool> looks;
    int refused = 0;
};

// The reconnect timer wants an application object on this thread.
QCoreApplication& CoreApp()
{
    static int argc = 1;
    static char name[] = "gps_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    return *app;
}

struct Live : ::testing::Test {
    QCoreApplication& app = CoreApp();
    NavState state;
    Labels window;
    MapSelection maps;
    OverlayDrawing drawing;
    RecordLineSink record;
    View view;
    ScriptedPort port;
    LiveTracking tracking{state, window, maps, drawing, record, view};
    std::vector<PositionFix> fixes;

    void SetUp() override
    {
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, state.Zone);
        tracking.SetPort(&port);
        tracking.onFixDecoded = [this](const PositionFix& f) { fixes.push_back(f); };
    }
};

TEST_F(Live, LoneCrInsideASentenceDecodesAsTheLogReplayDoes)
{
    // The CR lies inside the satellites field; the receiver's bytes arrive in
    // two notifications cut right after it.
    const std::string sentence = WithNmeaChecksum("$GPGGA,010204,3542.1234,N,13945.6789,E,1,08\rX,0.9,40.1,M,39.5,M,,");
    tracking.Toggle();
    ASSERT_TRUE(state.GPSRunning);
    port.Receive(sentence.substr(0, sentence.find('\r') + 1));
    EXPECT_TRUE(fixes.empty());
    port.Receive(sentence.substr(sentence.find('\r') + 1) + "\r\n");
    ASSERT_EQ(fixes.size(), 1u);

    std::istringstream log(sentence + "\r\n");
    std::ostringstream replayed;
    ASSERT_EQ(ReplayGgaLog(log, replayed, 9), 1);
    const PositionFix& f = fixes[0];
    std::ostringstream live;
    live.precision(17);
    live << f.timeText << "," << f.latText << "," << f.lonText << "," << f.satellitesText << "," << f.statusText
         << "," << state.Zone.ZoneNo << "," << (f.stored ? 1 : 0) << "," << f.northing << "," << f.easting << "\n";
    EXPECT_EQ(live.str(), replayed.str());
    EXPECT_EQ(window.labels[static_cast<int>(FixLabel::GPSSaetNumLbl)], "08\rX");
}

TEST(LineAssembler, CutsAtLfDropsTheCrBeforeItAndKeepsTheRest)
{
    const struct {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
        std::string pending;
    } cases[] = {
        {{"a\r\nb\nc"}, {"a", "b"}, "c"},
        {{"a\r", "\nb\r\n"}, {"a", "b"}, ""},        // CR LF cut between two chunks
        {{"a\rb\n"}, {"a\rb"}, ""},                  // a lone CR is part of the line
        {{"\r\n\n\r\r\n"}, {"\r"}, ""},              // empty lines are not handed on
        {{"x", "y", "z\r\r\n"}, {"xyz\r"}, ""},     // only one CR belongs to the end
    };
    for (const auto& c : cases) {
        LineAssembler a;
        std::vector<std::string> lines;
        for (const std::string& chunk : c.chunks) a.Feed(chunk, [&](std::string& l) { lines.push_back(l); });
        EXPECT_EQ(lines, c.lines) << c.chunks[0];
        EXPECT_EQ(a.Pending(), c.pending) << c.chunks[0];
    }
    // A bounded assembler keeps the newest bytes of a line that never ends.
    LineAssembler bounded(4);
    bounded.Feed("abcdefgh", [](std::string&) {});
    EXPECT_EQ(bounded.Pending(), "efgh");
}

// A corrupted sentence is dropped before the decoder and counted; the count
// starts again with the next start; with the test off it is decoded.
TEST_F(Live, CorruptedChecksumIsDroppedAndCountedPerRun)
{
    const std::string good = WithNmeaChecksum("$GNGGA,010204,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,");
    std::string corrupted = good;
    corrupted[16] = '7';  // 3542 -> 3572: half a degree north, still in zone 9
    tracking.Toggle();
    port.Receive(good + "\r\n" + corrupted + "\r\n" + corrupted + "\r\n");
    ASSERT_EQ(fixes.size(), 1u);
    EXPECT_EQ(state.GGAChecksumDropped, 2);
    EXPECT_EQ(state.Track.TrackCount, 1);
    tracking.Toggle();
    EXPECT_EQ(state.GGAChecksumDropped, 2) << "the dialog shows the last run's count";

    state.GGAChecksumTest = false;
    tracking.Toggle();
    EXPECT_EQ(state.GGAChecksumDropped, 0);
    port.Receive(corrupted + "\r\n");
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_TRUE(fixes[1].stored);
    EXPECT_EQ(fixes[1].latText.substr(0, 5), "35-72");
}

// The receiver goes away: the port is closed, the status says so, attempts
// to open it again fail until it is back, and fixes then carry on in the
// same run (the trail keeps what it had). Stopping ends the attempts.
TEST_F(Live, LostReceiverIsOpenedAgainUntilItIsBack)
{
    auto fix = [](int s) {
        return WithNmeaChecksum("$GPGGA,0102" + std::to_string(10 + s) +
                                ",3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,") + "\r\n";
    };
    tracking.Toggle();
    port.Receive(fix(0) + fix(1).substr(0, 20));  // the loss cuts the second sentence
    port.LoseLine();
    EXPECT_TRUE(tracking.Reconnecting());
    EXPECT_FALSE(port.PortOpen());
    EXPECT_TRUE(state.GPSRunning);
    EXPECT_EQ(view.states, (std::vector<std::string>{kReceiverLostMessage}));
    port.LoseLine();  // a second notification changes nothing
    EXPECT_EQ(view.states.size(), 1u);

    port.refuseOpen = true;
    tracking.RetryReconnect();
    tracking.RetryReconnect();
    EXPECT_TRUE(tracking.Reconnecting());
    port.refuseOpen = false;
    tracking.RetryReconnect();
    EXPECT_FALSE(tracking.Reconnecting());
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(view.states.back(), kReceiverBackMessage);
    port.Receive(fix(2));
    ASSERT_EQ(fixes.size(), 2u);  // the cut sentence is not decoded
    EXPECT_EQ(fixes[1].timeText, "10:02:12");
    EXPECT_EQ(state.Track.TrackCount, 2);

    port.LoseLine();
    tracking.Toggle();  // stop while lost
    EXPECT_FALSE(tracking.Reconnecting());
    EXPECT_EQ(view.states.back(), "");
    port.steps.clear();
    tracking.RetryReconnect();
    EXPECT_TRUE(port.steps.empty());
}

TEST_F(Live, ToggleFollowsTheRunStateAndARefusedOpenStaysStopped)
{
    port.refuseOpen = true;
    state.Track.TrackCount = 5;
    tracking.Toggle();
    EXPECT_FALSE(state.GPSRunning);
    EXPECT_EQ(view.refused, 1);
    EXPECT_EQ(state.Track.TrackCount, 0);
    EXPECT_EQ(port.steps, (std::vector<std::string>{"CommPort", "Settings", "InBufferCount", "InTimeout",
                                                    "RThreshold", "open"}));
    port.refuseOpen = false;
    port.steps.clear();
    tracking.Toggle();
    EXPECT_TRUE(state.GPSRunning);
    tracking.Toggle();
    EXPECT_FALSE(state.GPSRunning);
    EXPECT_EQ(port.steps.back(), "close");
    EXPECT_EQ(view.looks, (std::vector<bool>{true, false}));
    // Stopped: a notification reads nothing.
    port.Receive("$GPGGA,010204,3542.1234,N,13945.6789,E,1,08\r\n");
    EXPECT_TRUE(fixes.empty());
}

}  // namespace
}  // namespace tessaro::gps
