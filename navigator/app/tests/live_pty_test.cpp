// The whole live path: the main window's real communications control opens
// a pseudo-terminal as its GPS port while a feeder writes a receiver's full
// sentence sets (GGA, RMC, GSA, three GSV) at 10 Hz; tracking, two
// recordings with pause and resume, re-centring, and a zone change that
// closes and reopens the port.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <vector>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "gps/live_tracking.h"
#include "gps/nmea_feeder.h"
#include "recording/record_dialogs.h"
#include "shell/textfile.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

struct Decoded {
    gps::PositionFix fix;
    double centreEBefore;
    float centreNBefore;
    double markLeft, markTop;
    double centreE;
    float centreN;
};

struct LivePty : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    QTemporaryDir config;
    NavState state;
    gps::PtyFeeder feeder;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<QString> messages;
    std::vector<Decoded> decoded;
    QElapsedTimer pace;
    double centreE = 0;
    float centreN = 0;

    void SetUp() override
    {
        const QString h = home.path();
        const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/MapPicSample";
        QDir().mkpath(h + "/MapPicSample");
        for (const QString& n : QDir(source).entryList(QDir::Files))
            QFile::copy(source + "/" + n, h + "/MapPicSample/" + n);
        QDir().mkpath(h + "/data0");
        WriteLines(h + "/data0/CurrentSetting.dat",
                   {(h + "/MapPicSample").toStdString(), " 16 ", "-7265.8,-33794.4", "-7265.8,-33794.4"});
        WriteLines(h + "/data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 4 ", " 2 ", "4800,n,8,1"});
        QFile::copy(QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/data0/GPSCom.bag",
                    h + "/data0/GPSCom.bag");

        qputenv("TOLVEXCOMM_CONFIG_DIR", config.path().toLocal8Bit());
        std::string error;
        ASSERT_TRUE(feeder.open(&error)) << error;
        qputenv("TOLVEXCOMM_COM4", QByteArray::fromStdString(feeder.slavePath()));

        w = std::make_unique<MainLumaraFrm>(state, h.toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) { messages.push_back(m); };
        w->Clock = [] { return recording::LocalDateTime{2010, 5, 8, 10, 0, 0}; };
        w->onFixDecoded = [this](const gps::PositionFix& f) {
            const auto& mark = w->BasePic->Area().GPSPointImg;
            decoded.push_back({f, centreE, centreN, mark.left, mark.top, state.ViewCentreEasting,
                               state.ViewCentreNorthing});
        };
        w->show();
        w->Activate();
        pace.start();
    }
    void TearDown() override
    {
        w.reset();
        qunsetenv("TOLVEXCOMM_COM4");
        qunsetenv("TOLVEXCOMM_CONFIG_DIR");
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

    // Writes one sentence set 100 ms after the previous one and waits until
    // its GGA sentence has been decoded.
    bool Feed(const std::string& set, bool expectFix = true)
    {
        WaitFor([&] { return pace.elapsed() >= 100; }, 200);
        pace.restart();
        centreE = state.ViewCentreEasting;
        centreN = state.ViewCentreNorthing;
        const std::size_t before = decoded.size();
        if (!feeder.write(set)) return false;
        if (!expectFix) return true;
        return WaitFor([&] { return decoded.size() > before; }, 5000);
    }

    void ClickIndicator()
    {
        QMouseEvent click(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(w->RecordSTSHdLbl, &click);
    }

    void StartRecording(int interval)
    {
        w->StartRecordCmd->click();
        ASSERT_TRUE(w->RecordStartFrm);
        w->RecordStartFrm->RecordTimingCmb->setCurrentIndex(interval - 1);
        w->RecordStartFrm->OKCmd->click();
        ASSERT_TRUE(state.RecordingOn);
    }
    void StopRecording()
    {
        w->StartRecordCmd->click();
        ASSERT_TRUE(w->RecordStopFrm);
        w->RecordStopFrm->OKCmd->click();
        ASSERT_FALSE(state.RecordingOn);
    }
};

std::string Line(const gps::PositionFix& f)
{
    return gps::FormatRecordLine(f.timeText, f.easting, f.northing, f.satellitesText, f.statusText) + "\r\n";
}

TEST_F(LivePty, TracksRecordsAndChangesZoneThroughTheRealControl)
{
    ASSERT_TRUE(w->GPSCom) << "the communications control did not load";
    std::vector<std::string> sets;
    std::string error;
    ASSERT_TRUE(gps::LoadSentenceSets(std::string(qgetenv("TESSARO_SOURCE_DIR")) + "/data/20100508/20100508_drive.txt",
                                      sets, &error))
        << error;
    ASSERT_GE(sets.size(), 34u);
    ASSERT_NE(sets[0].find("$GPGSV,3,3"), std::string::npos);  // the full set of an epoch

    // Zoomed in so that the drive leaves the follow box every few seconds.
    while (state.ViewScale < 3.0f && state.ScaleLevel < 44) w->ZoomUpDownCmd_Click(0);

    w->StartGPSCmd->click();
    ASSERT_TRUE(w->GPSCom->PortOpen()) << "the pseudo-terminal did not open as COM4";
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;

    StartRecording(1);
    for (int i = 5; i < 15; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;
    StopRecording();

    StartRecording(3);
    for (int i = 15; i < 24; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;
    ClickIndicator();
    for (int i = 24; i < 27; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;
    ClickIndicator();
    for (int i = 27; i < 33; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;
    StopRecording();
    ASSERT_EQ(decoded.size(), 33u);

    // Labels show the last fix.
    const gps::PositionFix& last = decoded.back().fix;
    EXPECT_EQ(w->GPSTimeLbl->text().toStdString(), last.timeText);
    EXPECT_EQ(w->GPSTimeLbl->text(), QStringLiteral("10:00:32"));
    EXPECT_EQ(w->GPSSaetNumLbl->text(), QStringLiteral("08"));
    EXPECT_EQ(w->GPSStatusLbl->text(), QStringLiteral("Navi"));
    EXPECT_EQ(w->DispPublicXlbl->text().toStdString(), last.latText);

    // Every fix is in the track ring, in order.
    ASSERT_EQ(state.Track.TrackCount, 33);
    for (int i = 0; i < 33; ++i) {
        EXPECT_TRUE(decoded[i].fix.stored);
        EXPECT_EQ(state.Track.TrackEasting[i], static_cast<float>(decoded[i].fix.easting)) << i;
        EXPECT_EQ(state.Track.TrackNorthing[i], decoded[i].fix.northing) << i;
    }

    // The view follows exactly when the fix leaves the box around the
    // centre, and the mark sits on the fix.
    int recentred = 0;
    for (const Decoded& d : decoded) {
        const double px = (d.fix.easting - d.centreEBefore) * state.ViewScale;
        const double py = (d.fix.northing - d.centreNBefore) * state.ViewScale;
        const bool outside = px < -314 || px > 314 || py < -269 || py > 269;
        EXPECT_EQ(d.fix.recentred, outside) << d.fix.timeText << " " << px << "," << py;
        recentred += d.fix.recentred;
        const double mx = (d.fix.easting - d.centreE) * state.ViewScale;
        const double my = (d.fix.northing - d.centreN) * state.ViewScale;
        EXPECT_NEAR(d.markLeft, mx - 8, 1e-3);
        EXPECT_NEAR(d.markTop, my + 8, 1e-3);
    }
    EXPECT_GE(recentred, 2);

    // The two record files, byte for byte: CP932 header, CR LF, one line per
    // recorded fix.
    const std::string header = Utf8ToCp932("記録日時:2010/05/08/10:00:00\r\n日本測地系: 第9系\r\n"
                                           "ベース緯度経度: 緯度：36-00　経度：139-50\r\n\r\n");
    const std::string day = home.path().toStdString() + "/data2/20100508/";
    std::string first = header;
    for (int i = 5; i < 15; ++i) first += Line(decoded[i].fix);
    EXPECT_EQ(ReadAll(day + "20100508_0.dat"), first);
    EXPECT_EQ(Line(decoded[5].fix), "10:00:05,-7265.8,-33794.4,08,Navi,\r\n");
    std::string second = header;
    for (int i : {17, 20, 23, 29, 32}) second += Line(decoded[i].fix);
    EXPECT_EQ(ReadAll(day + "20100508_1.dat"), second);
    EXPECT_EQ(ReadAll(home.path().toStdString() + "/data0/StoredSTS.dat"), "20100508\r\n 2 \r\n 0 \r\n");

    // A sentence without a fix changes neither zone nor trail.
    ASSERT_TRUE(Feed("$GPGGA,010033.00,,,,,0,00,,,M,,M,,*49\r\n$GPRMC,010033.00,V,,,,,,,080510,,,N*70\r\n"));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(decoded.back().fix.stored);
    EXPECT_EQ(state.Track.TrackCount, 33);
    EXPECT_EQ(state.Zone.ZoneNo, 9);

    // 1.5 degrees east of the zone origin: the port closes around the
    // message and opens again; the search keeps zone 9 there, and the fix
    // (inside 2 degrees) is stored. The next sentence still arrives.
    ASSERT_TRUE(Feed("$GPGGA,010034.00,3600.0000,N,14120.0000,E,1,08,0.9,40.1,M,39.5,M,,*52\r\n"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("測地系設定を変更します。"));
    EXPECT_EQ(state.Zone.ZoneNo, 9);
    EXPECT_TRUE(decoded.back().fix.stored);
    EXPECT_EQ(state.Track.TrackCount, 34);
    EXPECT_TRUE(w->GPSCom->PortOpen());
    ASSERT_TRUE(Feed(sets[33]));
    EXPECT_EQ(w->GPSTimeLbl->text(), QStringLiteral("10:00:33"));
    EXPECT_EQ(messages.size(), 1u);

    w->StartGPSCmd->click();
    EXPECT_FALSE(w->GPSCom->PortOpen());
    EXPECT_FALSE(state.GPSRunning);
}

// The receiver unplugged while a recording runs (the far side of its port
// goes away): the status bar tells the user, the window keeps answering, the
// navigator keeps trying, and the record file holds every fix from before.
TEST_F(LivePty, UnpluggedReceiverKeepsTheWindowAnsweringAndTheRecording)
{
    ASSERT_TRUE(w->GPSCom) << "the communications control did not load";
    std::vector<std::string> sets;
    std::string error;
    ASSERT_TRUE(gps::LoadSentenceSets(std::string(qgetenv("TESSARO_SOURCE_DIR")) + "/data/20100508/20100508_drive.txt",
                                      sets, &error))
        << error;
    w->StartGPSCmd->click();
    ASSERT_TRUE(w->GPSCom->PortOpen());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;
    StartRecording(1);
    for (int i = 3; i < 9; ++i) ASSERT_TRUE(Feed(sets[i])) << "set " << i;

    feeder.close();
    ASSERT_TRUE(WaitFor([&] { return w->statusBar()->currentMessage() == QString(gps::kReceiverLostMessage); }, 5000));
    EXPECT_TRUE(state.GPSRunning);
    EXPECT_TRUE(state.RecordingOn);

    // Through two reconnection attempts, a timer of the window's event loop
    // never waits long and a button still works.
    QElapsedTimer span, gap;
    span.start();
    gap.start();
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.elapsed());
        gap.restart();
    });
    tick.start(10);
    WaitFor([&] { return span.elapsed() > 2 * gps::LiveTracking::kReconnectMs + 500; }, 10000);
    tick.stop();
    EXPECT_LT(longest, 500) << "the window stopped answering for " << longest << " ms";
    const int level = state.ScaleLevel;
    w->ZoomUpDownCmd_Click(0);
    EXPECT_NE(state.ScaleLevel, level);
    EXPECT_EQ(w->statusBar()->currentMessage(), QString(gps::kReceiverLostMessage));

    StopRecording();
    const std::string header = Utf8ToCp932("記録日時:2010/05/08/10:00:00\r\n日本測地系: 第9系\r\n"
                                           "ベース緯度経度: 緯度：36-00　経度：139-50\r\n\r\n");
    std::string expected = header;
    for (int i = 3; i < 9; ++i) expected += Line(decoded[i].fix);
    EXPECT_EQ(ReadAll(home.path().toStdString() + "/data2/20100508/20100508_0.dat"), expected);
    w->StartGPSCmd->click();
    EXPECT_FALSE(state.GPSRunning);
}

}  // namespace
}  // namespace tessaro::app
