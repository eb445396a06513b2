// Live tracking and recording on the main window: the tracking button and
// what it gives the control, the receive handler, the settings guards, the
// recording windows and files; then the whole path with the real control
// reading a pseudo-terminal that a feeder writes at 10 Hz.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <cmath>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include <host/control_host.h>

#include "app/main_lumara_frm.h"
#include "gps/nmea_checksum.h"
#include "app_test_support.h"
#include "builder/map_data_setting_frm.h"
#include "geodesy/plane_coords.h"
#include "gps/nmea_feeder.h"
#include "recording/record_dialogs.h"
#include "shell/textfile.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

// Waits, letting events run, until `done` holds or `ms` have passed.
template <typename F>
bool WaitFor(F done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

const std::string kGga = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C";

struct LiveTracking : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<std::string> log;
    FakePort* port = nullptr;
    std::vector<QString> messages;

    void Open(bool sample = true)
    {
        if (sample) UseSampleLibrary(home.path());
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) {
            messages.push_back(m);
            log.push_back("message " + m.toStdString());
        };
        w->Clock = [] { return recording::LocalDateTime{2010, 5, 8, 13, 34, 55}; };
        auto fake = std::make_unique<FakePort>(log);
        port = fake.get();
        w->SetGpsCom(std::move(fake));
        w->Activate();
    }
    std::string Home() const { return home.path().toStdString(); }
};

TEST_F(LiveTracking, StartAndStopConfigureThePortInOrderAndToggleTheButton)
{
    Open();
    state.GPSPortNo = 3;
    state.GPSPortSettings = "9600,n,8,1";
    state.Track.TrackCount = 42;
    state.Track.TrackIndex = 42;
    w->StartGPSCmd->click();
    EXPECT_EQ(log, (std::vector<std::string>{"CommPort=3", "Settings=9600,n,8,1", "InBufferCount=0", "InTimeout=2000",
                                             "RThreshold=40", "PortOpen=true"}));
    EXPECT_TRUE(state.GPSRunning);
    EXPECT_EQ(w->StartGPSCmd->text(), QStringLiteral("停止GPS"));
    QImage button(w->StartGPSCmd->size(), QImage::Format_RGB32);
    w->StartGPSCmd->render(&button);
    EXPECT_EQ(button.pixel(6, 6), qRgb(0, 128, 0));
    EXPECT_EQ(w->StartGPSCmd->toolTip(), QStringLiteral("外部GPSとのデータ入力"));
    // No fix yet: no position mark.
    EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);
    EXPECT_EQ(state.Track.TrackCount, 0);
    EXPECT_EQ(state.Track.TrackIndex, 0);

    port->Receive(kGga + "\r\n");
    EXPECT_EQ(state.Track.TrackCount, 1);
    EXPECT_TRUE(w->BasePic->Area().GPSPointImg.visible);
    log.clear();
    w->StartGPSCmd->click();
    EXPECT_EQ(log, (std::vector<std::string>{"PortOpen=false"}));
    EXPECT_FALSE(state.GPSRunning);
    EXPECT_EQ(w->StartGPSCmd->text(), QStringLiteral("スタートGPS"));
    EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);
    EXPECT_EQ(state.Track.TrackCount, 0);
    EXPECT_EQ(state.Track.TrackIndex, 0);

    // Stopped: notifications are taken without reading anything.
    log.clear();
    port->onComm();
    EXPECT_EQ(log, std::vector<std::string>{});
}

TEST_F(LiveTracking, ReceiveHandlerDecodesEveryGgaLineOfABurstAndKeepsPartialLines)
{
    Open();
    w->StartGPSCmd->click();
    std::vector<gps::PositionFix> fixes;
    w->onFixDecoded = [&](const gps::PositionFix& f) { fixes.push_back(f); };

    // Another event code reads nothing.
    port->event = 3;
    log.clear();
    port->onComm();
    EXPECT_EQ(log, std::vector<std::string>{});
    port->event = gps::kReceiveEvent;

    // One notification for a whole epoch: every sentence of it is taken,
    // the GGA one decoded, the rest dropped; a line cut in two is joined.
    const std::string second = "GPGGA,053013.00,3542.1240,N,13945.6795,E,2,09,0.9,40.1,M,39.5,M,,*51";
    port->Receive("$GPRMC,053012.00,A,3542.1234,N,13945.6789,E,0.0,0.0,080510,,,A*59\r\n" + kGga +
                  "\r\n$GPGSA,A,3,02,05,,,,,,,,,,,1.6,0.9,1.3*34\r\n" + second.substr(0, 20));
    ASSERT_EQ(fixes.size(), 1u);
    EXPECT_EQ(w->GPSTimeLbl->text(), QStringLiteral("14:30:12"));
    EXPECT_EQ(w->DispPublicXlbl->text(), QStringLiteral("35-42-07.40"));
    EXPECT_EQ(w->DispPublicYlbl->text(), QStringLiteral("139-45-40.73"));
    EXPECT_EQ(w->GPSSaetNumLbl->text(), QStringLiteral("08"));
    EXPECT_EQ(w->GPSStatusLbl->text(), QStringLiteral("Navi"));
    port->Receive(second.substr(20) + "\r\n$GPGSV,3,1,12*75\r\nshort\r\n");
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_EQ(w->GPSTimeLbl->text(), QStringLiteral("14:30:13"));
    EXPECT_EQ(w->GPSStatusLbl->text(), QStringLiteral("DGPS"));
    EXPECT_EQ(state.Track.TrackCount, 2);

    // Endless noise without a line end does not grow without bound and
    // does not hide the next sentence.
    port->Receive(std::string(100000, 'x'));
    port->Receive("\r\n" + kGga + "\r\n");
    EXPECT_EQ(fixes.size(), 3u);

    // "クリア" empties the trail only.
    w->ClearGPSDataCmd->click();
    EXPECT_EQ(state.Track.TrackCount, 0);
    EXPECT_EQ(state.Track.TrackIndex, 3);
    EXPECT_TRUE(state.GPSRunning);
}

TEST_F(LiveTracking, ZoneChangeClosesThePortAroundItsMessageAndNoFixChangesNothing)
{
    Open();
    w->StartGPSCmd->click();
    ASSERT_EQ(state.Zone.ZoneNo, 9);
    // Without a fix: no zone change, nothing stored.
    log.clear();
    port->Receive("$GPGGA,053014.00,,,,,0,00,,,M,,M,,*4B\r\n");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.Track.TrackCount, 0);
    EXPECT_EQ(state.Zone.ZoneNo, 9);
    EXPECT_EQ(w->GPSTimeLbl->text(), QStringLiteral("14:30:14"));
    EXPECT_EQ(w->GPSStatusLbl->text(), QString());

    // 1.5 degrees of longitude east of the origin (139 50'): 141 20' E.
    log.clear();
    port->Receive("$GPGGA,053015.00,3600.0000,N,14120.0000,E,1,08,0.9,40.1,M,39.5,M,,*56\r\n");
    EXPECT_EQ(log, (std::vector<std::string>{"InputLen=0", "Input", "PortOpen=false",
                                             "message 測地系設定を変更します。", "PortOpen=true"}));
    geodesy::CurrentZone expected;
    geodesy::FindZoneByLatLon(36.0, 141.0 + 20.0 / 60.0, expected);
    EXPECT_EQ(state.Zone.ZoneNo, expected.ZoneNo);
    EXPECT_EQ(state.Track.TrackCount, 1);
    EXPECT_TRUE(state.GPSRunning);
    EXPECT_EQ(w->StartGPSCmd->text(), QStringLiteral("停止GPS"));
}

TEST_F(LiveTracking, SettingsMenusRefuseWhileTrackingOrRecording)
{
    struct Case {
        bool recording, running;
        int zone;
        const char* settingsMessage;
        const char* builderMessage;
    };
    const char* kRecord = "データの記録を終了してください。";
    const char* kRunning = "GPSを停止して下さい。またデモも停止してください。";
    const Case cases[] = {
        {true, true, 9, kRecord, kRecord},
        {false, true, 9, kRunning, kRunning},
        {false, false, 0, nullptr, "メニューの「GPS設定」で日本測地系を設定してください。"},
        {false, false, 9, nullptr, nullptr},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.recording) + std::to_string(c.running) + std::to_string(c.zone));
        state.RecordingOn = c.recording;
        state.GPSRunning = c.running;
        state.Zone.ZoneNo = static_cast<std::int16_t>(c.zone);
        state.Track.TrackCount = 5;
        messages.clear();
        w->SettingGPSMenu->trigger();
        w->DownloadMapSettingMenu->trigger();
        std::vector<QString> expected;
        if (c.settingsMessage) expected.push_back(QString::fromUtf8(c.settingsMessage));
        if (c.builderMessage) expected.push_back(QString::fromUtf8(c.builderMessage));
        EXPECT_EQ(messages, expected);
        // Past the guard the builder window opens.
        EXPECT_EQ(static_cast<bool>(w->MapDataSettingFrm), c.builderMessage == nullptr);
        // Only an opening resets the trail.
        EXPECT_EQ(state.Track.TrackCount, c.settingsMessage ? 5 : 0);
    }
}

std::string Cp932(const std::string& utf8) { return Utf8ToCp932(utf8); }

TEST_F(LiveTracking, RecordingWritesHeaderAndEveryIntervalthFixAndNeverOverwrites)
{
    Open();
    w->StartGPSCmd->click();
    const std::string day = Home() + "/data2/20100508";
    // An earlier recording of number 0 is there (StoredSTS.dat was lost).
    QDir().mkpath(QString::fromStdString(day));
    { std::ofstream(day + "/20100508_0.dat") << "old data\r\n"; }

    w->StartRecordCmd->click();
    ASSERT_TRUE(w->RecordStartFrm);
    EXPECT_FALSE(w->StartRecordCmd->isEnabled());
    EXPECT_EQ(w->RecordStartFrm->windowTitle(), QStringLiteral("記録ファイル"));
    EXPECT_EQ(w->RecordStartFrm->RecordFileTxt->text(), QStringLiteral("20100508_1.dat"));
    EXPECT_EQ(w->RecordStartFrm->RecordTimingCmb->count(), 20);
    EXPECT_EQ(w->RecordStartFrm->RecordTimingCmb->currentText(), QStringLiteral("1"));

    // The old name typed back is refused; the window stays.
    w->RecordStartFrm->RecordFileTxt->setText(QStringLiteral("20100508_0.dat"));
    w->RecordStartFrm->OKCmd->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QString::fromUtf8(recording::NameProblemMessage(recording::NameProblem::Exists)));
    EXPECT_FALSE(state.RecordingOn);
    ASSERT_TRUE(w->RecordStartFrm);
    EXPECT_EQ(ReadAll(day + "/20100508_0.dat"), "old data\r\n");

    w->RecordStartFrm->RecordFileTxt->setText(QStringLiteral("20100508_1.dat"));
    w->RecordStartFrm->RecordTimingCmb->setCurrentIndex(2);
    w->RecordStartFrm->OKCmd->click();
    QApplication::processEvents();
    EXPECT_FALSE(w->RecordStartFrm);
    EXPECT_TRUE(state.RecordingOn);
    EXPECT_EQ(state.RecordInterval, 3);
    EXPECT_EQ(w->StartRecordCmd->text(), QStringLiteral("記録終了(&E)"));
    EXPECT_EQ(w->RecordFileNameLbl->text(), QStringLiteral("記録ﾌｧｲﾙ名/20100508_1.dat"));
    EXPECT_EQ(w->RecordIntervalLbl->text(), QStringLiteral("記録間隔: 3秒"));
    EXPECT_EQ(w->RecordSTSHdLbl->text(), QStringLiteral("記録中"));
    EXPECT_TRUE(w->RecordSTSHdLbl->isVisibleTo(w.get()));

    auto fix = [&](int second) {
        char s[128];
        std::snprintf(s, sizeof s, "$GPGGA,0530%02d.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,", second);
        port->Receive(gps::WithNmeaChecksum(s) + "\r\n");
    };
    for (int i = 1; i <= 4; ++i) fix(i);  // writes at the 3rd
    // Pause: fixes neither counted nor written; the indicator stays visible.
    QMouseEvent click(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w->RecordSTSHdLbl, &click);
    EXPECT_EQ(w->RecordSTSHdLbl->text(), QStringLiteral("停止中"));
    EXPECT_EQ(state.pRecordSTS, 0);
    const bool shown = w->RecordSTSHdLbl->isVisibleTo(w.get());
    for (int i = 5; i <= 9; ++i) fix(i);
    EXPECT_EQ(w->RecordSTSHdLbl->isVisibleTo(w.get()), shown);
    QApplication::sendEvent(w->RecordSTSHdLbl, &click);
    EXPECT_EQ(w->RecordSTSHdLbl->text(), QStringLiteral("記録中"));
    // The count goes on where it stopped: one fix after the line, so the
    // second fix after resuming writes.
    for (int i = 10; i <= 12; ++i) fix(i);

    // Each line is on disk as soon as it is written.
    const std::string header = Cp932("記録日時:2010/05/08/13:34:55\r\n日本測地系: 第9系\r\n"
                                     "ベース緯度経度: 緯度：36-00　経度：139-50\r\n\r\n");
    const std::string file = day + "/20100508_1.dat";
    EXPECT_EQ(ReadAll(file), header + "14:30:03,-6517.1,-33053.0,08,Navi,\r\n"
                                      "14:30:11,-6517.1,-33053.0,08,Navi,\r\n");

    // Cancelling the stop window goes on recording.
    w->StartRecordCmd->click();
    ASSERT_TRUE(w->RecordStopFrm);
    EXPECT_EQ(w->RecordStopFrm->RecordFileTxt->text(), QStringLiteral("20100508_1.dat"));
    w->RecordStopFrm->CancelCmd->click();
    EXPECT_TRUE(state.RecordingOn);
    EXPECT_TRUE(w->StartRecordCmd->isEnabled());
    w->StartRecordCmd->click();
    w->RecordStopFrm->OKCmd->click();
    EXPECT_FALSE(state.RecordingOn);
    EXPECT_EQ(w->StartRecordCmd->text(), QStringLiteral("記録開始(&Y)"));
    EXPECT_FALSE(w->RecordSTSHdLbl->isVisibleTo(w.get()));
    EXPECT_EQ(w->RecordFileNameLbl->text(), QString());
    EXPECT_EQ(ReadAll(Home() + "/data0/StoredSTS.dat"), "20100508\r\n 2 \r\n 0 \r\n");
    const std::string recorded = ReadAll(file);
    for (int i = 13; i <= 16; ++i) fix(i);
    EXPECT_EQ(ReadAll(file), recorded);

    // The next start proposes the number after it.
    w->StartRecordCmd->click();
    EXPECT_EQ(w->RecordStartFrm->RecordFileTxt->text(), QStringLiteral("20100508_2.dat"));
    w->RecordStartFrm->close();
    EXPECT_TRUE(w->StartRecordCmd->isEnabled());
    EXPECT_FALSE(state.RecordingOn);
}

TEST_F(LiveTracking, ClosingWhileRecordingKeepsTheFileWhole)
{
    Open();
    w->StartGPSCmd->click();
    w->StartRecordCmd->click();
    w->RecordStartFrm->OKCmd->click();
    port->Receive(kGga + "\r\n");
    w->close();
    const std::string file = Home() + "/data2/20100508/20100508_0.dat";
    const std::string text = ReadAll(file);
    EXPECT_NE(text.find("14:30:12,-6517.1,-33053.0,08,Navi,\r\n"), std::string::npos) << text;
    // The next start does not offer the unfinished recording's name.
    w.reset();
    Open(false);
    w->StartRecordCmd->click();
    EXPECT_EQ(w->RecordStartFrm->RecordFileTxt->text(), QStringLiteral("20100508_1.dat"));
}

// The shipped properties of GPSCom: no handshake, DTR and RTS on, lines read
// whole, nulls kept, 2048-byte buffers, no terminal, no automatic processing.
TEST(GpsComProperties, ShippedFileHoldsTheDesignValues)
{
    tolvex::host::PropertyBag bag;
    std::string error;
    ASSERT_TRUE(bag.LoadFile(std::string(qgetenv("TESSARO_SOURCE_DIR")) + "/data/data0/GPSCom.bag", error)) << error;
    const std::pair<const char*, const char*> expected[] = {
        {"Handshaking", "0"},     {"DTREnable", "-1"},  {"RTSEnable", "-1"},
        {"InputLen", "0"},        {"NullDiscard", "0"}, {"InBufferSize", "2048"},
        {"OutBufferSize", "2048"}, {"Emulation", "0"},  {"AutoProcess", "0"},
    };
    for (const auto& [name, value] : expected) {
        tolvex::host::Variant v;
        ASSERT_TRUE(bag.Read(name, v)) << name;
        EXPECT_EQ(v.text(), value) << name;
    }
}

}  // namespace
}  // namespace tessaro::app
