// The GPS settings dialog as the user meets it from the menu: the zone grid,
// the port list with its devices, OK and Cancel, the guard run again on OK,
// and the view following a change of zone.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "geodesy/plane_coords.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

const std::string kSampleSettings = " 9 \r\n36-00\r\n139-50\r\n 1 \r\n 2 \r\n4800,n,8,1\r\n";

struct GpsSettingWindow : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    QTemporaryDir config;
    QTemporaryDir devices;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<QString> messages;
    std::vector<std::string> log;
    int ptyMaster = -1;

    void SetUp() override { qputenv("TOLVEXCOMM_CONFIG_DIR", config.path().toLocal8Bit()); }
    void TearDown() override
    {
        w.reset();
        if (ptyMaster >= 0) ::close(ptyMaster);
        qunsetenv("TOLVEXCOMM_CONFIG_DIR");
    }
    void Open()
    {
        UseSampleLibrary(home.path());
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) { messages.push_back(m); };
        w->SetGpsCom(std::make_unique<FakePort>(log));
        // One receiver, plugged in: a pseudo-terminal behind a by-id link.
        ptyMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(ptyMaster, 0);
        ASSERT_EQ(::grantpt(ptyMaster), 0);
        ASSERT_EQ(::unlockpt(ptyMaster), 0);
        const std::filesystem::path byId = devices.path().toStdString() + "/serial/by-id";
        std::filesystem::create_directories(byId);
        std::filesystem::create_symlink(::ptsname(ptyMaster), byId / "usb-Test_GPS-if00");
        w->SerialDeviceRoots = {devices.path().toStdString(), byId, devices.path().toStdString() + "/sys"};
        w->show();
        w->Activate();
    }
    gps::GPSSettingFrm* Dialog()
    {
        w->SettingGPSMenu->trigger();
        QApplication::processEvents();
        return w->GPSSettingFrm.data();
    }
    void ClickRow(gps::GPSSettingFrm* d, int row)
    {
        QTableWidget* grid = d->MapSystemGrid;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, 1)).center());
    }
    std::string SettingsFile() const { return ReadAll(home.path() + "/data0/GPSSetting.dat"); }
};

TEST_F(GpsSettingWindow, Zone9Com3And4800WriteTheSixLinesAndMapTheChosenDevice)
{
    Open();
    gps::GPSSettingFrm* d = Dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("設定"));
    EXPECT_FALSE(d->isModal());
    ASSERT_TRUE(d->windowHandle());
    EXPECT_EQ(d->windowHandle()->transientParent(), w->windowHandle());
    EXPECT_EQ(Dialog(), d);  // opens once
    // It opens on the current settings: zone 9, Com1, 4800.
    EXPECT_EQ(d->MapSystemGrid->currentRow(), 9);
    EXPECT_EQ(d->MapSystemGrid->item(9, 1)->text(), QStringLiteral("東京:福島:栃木:茨城:埼玉:千葉:群馬:神奈川"));
    EXPECT_EQ(d->GPSPortCmb->count(), 11);
    EXPECT_EQ(d->GPSPortCmb->currentText(), QStringLiteral("Com1  /dev/ttyS0"));
    EXPECT_EQ(d->GPSPortSpeedCmb->currentText(), QStringLiteral("4800,n,8,1"));
    EXPECT_FALSE(d->GPSPortSpeedCmb->isEditable());
    ASSERT_EQ(d->SerialDeviceLst->count(), 2);

    ClickRow(d, 3);
    EXPECT_EQ(d->LonLbl->text(), QStringLiteral("132-10"));
    ClickRow(d, 9);
    EXPECT_EQ(d->MapNumLbl->text(), QStringLiteral("9"));
    EXPECT_EQ(d->LatLbl->text(), QStringLiteral("36-00"));
    QTest::keyClick(d->GPSPortCmb, Qt::Key_Down);
    QTest::keyClick(d->GPSPortCmb, Qt::Key_Down);
    EXPECT_EQ(d->GPSPortCmb->currentIndex(), 2);
    QTest::mouseClick(d->SerialDeviceLst->viewport(), Qt::LeftButton, Qt::NoModifier,
                      d->SerialDeviceLst->visualItemRect(d->SerialDeviceLst->item(1)).center());
    EXPECT_TRUE(d->SerialDeviceLbl->text().contains(QStringLiteral("Com3")));
    SaveScreenshotIfAsked(d, "gps-settings.png");
    QPointer<gps::GPSSettingFrm> alive = d;
    QTest::mouseClick(d->OKCmd, Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_FALSE(alive && alive->isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(SettingsFile(), " 9 \r\n36-00\r\n139-50\r\n 3 \r\n 2 \r\n4800,n,8,1\r\n");
    EXPECT_EQ(state.GPSPortNo, 3);
    const std::string link = devices.path().toStdString() + "/serial/by-id/usb-Test_GPS-if00";
    EXPECT_EQ(ReadAll(config.path() + "/tolvexcomm.ini"), "[Ports]\r\nCOM3=" + link + "\r\n");
    // The next start of tracking opens that device.
    EXPECT_EQ(PortDevicePath(3), link);
}

TEST_F(GpsSettingWindow, CancelAndRefusedOksChangeNothing)
{
    Open();
    struct Case {
        const char* why;
        int row;
        bool startTracking;
        bool cancel;
        const char* message;  // null: none
    };
    const Case cases[] = {
        {"Cancel after choosing", 12, false, true, nullptr},
        {"OK on the heading row", 0, false, false, "日本測地系の表から、使う系（1～19）の行を選んでください。"},
        {"OK after tracking started", 12, true, false, "GPSを停止して下さい。またデモも停止してください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        messages.clear();
        gps::GPSSettingFrm* d = Dialog();
        ASSERT_TRUE(d);
        ClickRow(d, c.row);
        QTest::keyClick(d->GPSPortSpeedCmb, Qt::Key_Down);
        if (c.startTracking) QTest::mouseClick(w->StartGPSCmd, Qt::LeftButton);
        QPointer<gps::GPSSettingFrm> alive = d;
        QTest::mouseClick(c.cancel ? d->CancelCmd : d->OKCmd, Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_EQ(SettingsFile(), kSampleSettings);
        EXPECT_EQ(state.Zone.ZoneNo, 9);
        EXPECT_EQ(state.GPSSpeedIndex, 2);
        if (c.message) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], QString::fromUtf8(c.message));
            ASSERT_TRUE(alive);
            EXPECT_TRUE(alive->isVisible());
            if (c.startTracking) QTest::mouseClick(w->StartGPSCmd, Qt::LeftButton);
            alive->reject();
            QApplication::processEvents();
        } else {
            EXPECT_TRUE(messages.empty());
        }
        EXPECT_FALSE(alive && alive->isVisible());
    }
}

TEST_F(GpsSettingWindow, ANewZoneCarriesTheViewAndReloadsTheLibraryInIt)
{
    Open();
    geodesy::InitEllipsoid();
    const geodesy::LatLon centre =
        geodesy::PlaneToLatLon(state.ViewCentreEasting, state.ViewCentreNorthing, 36.0, 139.0 + 50.0 / 60);
    const double firstMapX = state.Maps.MapWest[0];
    QTest::mouseClick(w->ClickPicRbn, Qt::LeftButton);
    QTest::mouseClick(w->BasePic, Qt::LeftButton, Qt::NoModifier, w->BasePic->ToPixel(0, 0).toPoint());
    ASSERT_EQ(state.MeasureCount, 1);

    // Zone VIII, with the settings file made unwritable: the user is told,
    // and the zone applies all the same.
    std::filesystem::remove(home.path().toStdString() + "/data0/GPSSetting.dat");
    std::filesystem::create_directories(home.path().toStdString() + "/data0/GPSSetting.dat/x");
    gps::GPSSettingFrm* d = Dialog();
    ASSERT_TRUE(d);
    ClickRow(d, 8);
    QTest::mouseClick(d->OKCmd, Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("保存できませんでした")));

    EXPECT_EQ(state.Zone.ZoneNo, 8);
    EXPECT_NEAR(state.Zone.ZoneOriginLon, 138.5, 1e-12);
    const geodesy::LatLon after =
        geodesy::PlaneToLatLon(state.ViewCentreEasting, state.ViewCentreNorthing, 36.0, 138.5);
    EXPECT_NEAR(after.lat, centre.lat, 1e-6);
    EXPECT_NEAR(after.lon, centre.lon, 1e-6);
    EXPECT_GT(state.Maps.MapWest[0] - firstMapX, 100000.0);  // the photographs lie ~120 km east of the new origin
    EXPECT_EQ(state.MeasureCount, 0);
    EXPECT_GT(state.ShownMapCount, 0);
}

}  // namespace
}  // namespace tessaro::app
