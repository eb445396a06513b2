// The main window and its dialogs as a user meets them: dialogs that stay
// above their owner and answer Enter and Escape, the frame placed on the
// screen, the recording indicator taking clicks while it blinks, a GPS port
// or a control library that fails being reported, and the position mark
// shown only at a known fix.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <host/control_host.h>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "gps/nmea_feeder.h"
#include "help/help_frm.h"
#include "mapview/map_view.h"
#include "recording/record_dialogs.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

const std::string kFix = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C\r\n";
const std::string kNoFix = "$GPGGA,053014.00,,,,,0,00,,,M,,M,,*4B\r\n";

bool Contains(const QString& text, const std::string& part) { return text.contains(QString::fromStdString(part)); }

// Delivers a click where the window system would: to whatever widget lies
// under the centre of `target` (a hidden widget is not hit).
void ClickWhereShown(QWidget* top, QWidget* target)
{
    const QPoint at = target->mapTo(top, target->rect().center());
    QWidget* hit = top->childAt(at);
    if (!hit) hit = top;
    const QPointF local = hit->mapFrom(top, at);
    const QPointF global = hit->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(hit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(hit, &release);
}

void PressKey(QWidget* focus, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(focus, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(focus, &release);
}

void LetEventsRun()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct Windows : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    QTemporaryDir portConfig;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<std::string> log;
    FakePort* port = nullptr;
    std::vector<QString> messages;

    void SetUp() override { qputenv("TOLVEXCOMM_CONFIG_DIR", portConfig.path().toLocal8Bit()); }
    void TearDown() override
    {
        w.reset();
        qunsetenv("TOLVEXCOMM_COM7");
        qunsetenv("TOLVEXCOMM_CONFIG_DIR");
    }

    // The main window on the sample library; `fake` puts a scripted port in
    // place of the loaded control.
    void Open(bool fake = true)
    {
        UseSampleLibrary(home.path());
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) { messages.push_back(m); };
        w->Clock = [] { return recording::LocalDateTime{2010, 5, 8, 13, 34, 55}; };
        if (fake) {
            auto p = std::make_unique<FakePort>(log);
            port = p.get();
            w->SetGpsCom(std::move(p));
        }
        w->Activate();
    }

    void ExpectStopped()
    {
        EXPECT_FALSE(state.GPSRunning);
        EXPECT_EQ(w->StartGPSCmd->text(), QStringLiteral("スタートGPS"));
        EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);
    }
};

TEST_F(Windows, RecordingDialogsStayAboveTheMainWindowAndAnswerEnterAndEscape)
{
    Open();
    w->show();
    w->StartGPSCmd->click();
    struct Case {
        const char* name;
        bool stopDialog;
        int key;
        bool recordingAfter;
    };
    // In this order each row finds the state the one before left.
    const Case cases[] = {
        {"start dialog, Escape cancels", false, Qt::Key_Escape, false},
        {"start dialog, Enter starts", false, Qt::Key_Return, true},
        {"stop dialog, Escape goes on recording", true, Qt::Key_Escape, true},
        {"stop dialog, Enter stops", true, Qt::Key_Enter, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w->StartRecordCmd->click();
        QPointer<QDialog> dialog = c.stopDialog ? static_cast<QDialog*>(w->RecordStopFrm.data())
                                                : static_cast<QDialog*>(w->RecordStartFrm.data());
        ASSERT_TRUE(dialog);
        QLineEdit* nameBox = c.stopDialog ? w->RecordStopFrm->RecordFileTxt : w->RecordStartFrm->RecordFileTxt;
        LetEventsRun();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowType(), Qt::Dialog);
        EXPECT_EQ(dialog->parentWidget(), w.get());
        EXPECT_FALSE(dialog->isModal());
        ASSERT_TRUE(dialog->windowHandle());
        EXPECT_EQ(dialog->windowHandle()->transientParent(), w->windowHandle());
        EXPECT_FALSE(w->StartRecordCmd->isEnabled());

        PressKey(nameBox, c.key);
        LetEventsRun();
        EXPECT_FALSE(dialog);  // closed and gone
        EXPECT_EQ(state.RecordingOn, c.recordingAfter);
        EXPECT_TRUE(w->StartRecordCmd->isEnabled());
    }
}

TEST_F(Windows, MainWindowFrameIsPlacedAtTheScreenCornerWhenShown)
{
    Open();
    // Wherever the window stood before it was shown, its frame (not its
    // contents) goes to the corner of the screen's available area.
    w->move(300, 200);
    w->show();
    LetEventsRun();
    const QPoint corner = w->screen()->availableGeometry().topLeft();
    EXPECT_EQ(w->frameGeometry().topLeft(), corner);
    EXPECT_EQ(w->pos(), corner);
}

TEST_F(Windows, HelpMenuOpensOneHelpWindowBesideTheMainWindow)
{
    Open();
    w->show();
    w->HelpMenu->trigger();
    w->HelpMenu->trigger();
    const auto helps = w->findChildren<help::Help1Frm*>();
    ASSERT_EQ(helps.size(), 1);
    EXPECT_TRUE(helps[0]->isVisible());
    EXPECT_FALSE(helps[0]->isModal());
    EXPECT_EQ(helps[0]->HeaderLbl->text(), QStringLiteral("プログラム説明"));
    EXPECT_TRUE(w->isEnabled());
}

TEST_F(Windows, RecordingIndicatorTakesAClickInBothBlinkPhases)
{
    Open();
    w->show();
    w->StartGPSCmd->click();
    w->StartRecordCmd->click();
    w->RecordStartFrm->OKCmd->click();
    ASSERT_TRUE(state.RecordingOn);
    QLabel* indicator = w->RecordSTSHdLbl;

    port->Receive(kFix);  // lit
    port->Receive(kFix);  // blank
    ASSERT_FALSE(w->RecordIndicatorLit());
    EXPECT_TRUE(indicator->isVisibleTo(w.get()));
    ClickWhereShown(w.get(), indicator);
    EXPECT_EQ(state.pRecordSTS, 0);
    EXPECT_EQ(indicator->text(), QStringLiteral("停止中"));
    EXPECT_TRUE(w->RecordIndicatorLit());

    ClickWhereShown(w.get(), indicator);
    EXPECT_EQ(state.pRecordSTS, 1);
    EXPECT_EQ(indicator->text(), QStringLiteral("記録中"));
    port->Receive(kFix);
    ASSERT_TRUE(w->RecordIndicatorLit());
    ClickWhereShown(w.get(), indicator);
    EXPECT_EQ(state.pRecordSTS, 0);
}

TEST(PortOpenFailureMessage, NamesPortDeviceAndReason)
{
    struct Case {
        const char* name;
        DeviceCheck check;
        ComError error;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::string opened = "既にポートはオープンされています";
    const Case cases[] = {
        {"missing device", {false, false, ""}, {8002, "無効なポート番号です"}, {"デバイスがありません"}, {"権限"}},
        // The control gives 8005 for both; its description may or may not
        // name the permission. The device decides.
        {"no permission, old description", {true, false, "dialout"}, {8005, opened},
         {"権限がありません", "グループ「dialout」", "sudo adduser alice dialout"}, {"使用中", opened}},
        {"no permission, new description", {true, false, "uucp"}, {8005, "/dev/ttyUSB0: 読み書きの権限がありません"},
         {"グループ「uucp」", "sudo adduser alice uucp"}, {"使用中"}},
        {"no permission, root's device", {true, false, "root"}, {8005, opened}, {"デバイスの権限を確かめてください"},
         {"adduser"}},
        {"busy", {true, true, "dialout"}, {8005, opened}, {"ほかのプログラムがこのポートを使用中です"}, {"権限"}},
        {"another failure", {true, true, "dialout"}, {8015, "デバイスの設定に失敗しました"},
         {"デバイスの設定に失敗しました", "8015"}, {"使用中", "権限"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString text = QString::fromStdString(PortOpenFailureMessage(3, "/dev/ttyUSB0", c.error, c.check, "alice"));
        EXPECT_TRUE(text.startsWith(QStringLiteral("GPSのポートCOM3（/dev/ttyUSB0）を開けません。"))) << text.toStdString();
        for (const auto& part : c.present) EXPECT_TRUE(Contains(text, part)) << part << "\n" << text.toStdString();
        for (const auto& part : c.absent) EXPECT_FALSE(Contains(text, part)) << part << "\n" << text.toStdString();
    }
}

TEST(PortOpenFailureMessage, DeviceCheckSeesMissingUnreadableAndGroup)
{
    QTemporaryDir dir;
    const std::string missing = dir.path().toStdString() + "/ttyUSB9";
    EXPECT_FALSE(CheckDevice(missing).exists);
    const std::string locked = dir.path().toStdString() + "/ttyLocked";
    { std::ofstream(locked) << ""; }
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const DeviceCheck check = CheckDevice(locked);
    EXPECT_TRUE(check.exists);
    EXPECT_FALSE(check.group.empty());
    // Root may open anything; the permission check then has nothing to see.
    if (::geteuid() == 0)
        EXPECT_TRUE(check.accessible);
    else
        EXPECT_FALSE(check.accessible);
}

// The real control refuses the port; the user learns why and tracking stays
// stopped.
TEST_F(Windows, PortThatCannotBeOpenedIsReportedAndTrackingStaysStopped)
{
    const std::string missing = home.path().toStdString() + "/ttyUSB9";
    qputenv("TOLVEXCOMM_COM7", QByteArray::fromStdString(missing));
    Open(false);
    ASSERT_TRUE(w->GPSCom);
    state.GPSPortNo = 7;

    w->StartGPSCmd->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Contains(messages[0], "COM7（" + missing + "）"));
    EXPECT_TRUE(Contains(messages[0], "デバイスがありません"));
    ExpectStopped();

    // A pseudo-terminal another program holds (flock).
    gps::PtyFeeder feeder;
    std::string error;
    ASSERT_TRUE(feeder.open(&error)) << error;
    qputenv("TOLVEXCOMM_COM7", QByteArray::fromStdString(feeder.slavePath()));
    const int holder = ::open(feeder.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    messages.clear();
    w->StartGPSCmd->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Contains(messages[0], "COM7（" + feeder.slavePath() + "）"));
    EXPECT_TRUE(Contains(messages[0], "使用中"));
    ExpectStopped();
    // Once it is free, the same click starts tracking.
    ::close(holder);
    messages.clear();
    w->StartGPSCmd->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(state.GPSRunning);
    w->StartGPSCmd->click();

    // A device without permission (root opens it all the same).
    if (::geteuid() != 0) {
        const std::string locked = home.path().toStdString() + "/ttyLocked";
        { std::ofstream(locked) << ""; }
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        qputenv("TOLVEXCOMM_COM7", QByteArray::fromStdString(locked));
        messages.clear();
        w->StartGPSCmd->click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(Contains(messages[0], "権限がありません"));
        EXPECT_TRUE(Contains(messages[0], "グループ「" + CheckDevice(locked).group + "」"));
        ExpectStopped();
    }
}

TEST_F(Windows, ControlLibraryThatCannotBeLoadedIsReportedAndTrackingStaysStopped)
{
    QTemporaryDir empty;
    tolvex::host::LoadOptions where;
    where.registryFile = empty.path().toStdString() + "/registry";
    where.besideFolder = empty.path().toStdString();
    std::string error;
    ASSERT_FALSE(LoadGpsCom({}, nullptr, error, where));
    EXPECT_NE(error.find(empty.path().toStdString() + "/libtolvexcom32.so"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;  // the loader's reason

    Open();
    w->SetGpsCom(nullptr, error);
    w->StartGPSCmd->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Contains(messages[0], "libtolvexcom32.so"));
    EXPECT_TRUE(Contains(messages[0], error));
    ExpectStopped();
}

TEST_F(Windows, PositionMarkShowsOnlyAtAKnownFixAndStaysOnItsGroundThroughRedraws)
{
    Open();
    const auto& mark = w->BasePic->Area().GPSPointImg;
    auto expectAtFix = [&] {
        const mapview::PicturePoint p = mapview::PlaneToPicture(state, state.PosEasting, state.PosNorthing);
        EXPECT_TRUE(mark.visible);
        EXPECT_NEAR(mark.left, p.x - 8.0, 1e-3);
        EXPECT_NEAR(mark.top, p.y + 8.0, 1e-3);
    };

    // No fix: panning, starting, zooming and a sentence without a position
    // show no mark.
    w->MoveImgCmd[0]->click();
    EXPECT_FALSE(mark.visible);
    w->StartGPSCmd->click();
    EXPECT_FALSE(mark.visible);
    w->MoveImgCmd[1]->click();
    w->ZoomUpDownCmd[0]->click();
    port->Receive(kNoFix);
    EXPECT_FALSE(mark.visible);
    EXPECT_FALSE(w->FixKnown());

    port->Receive(kFix);
    expectAtFix();
    const std::vector<std::pair<const char*, std::function<void()>>> redraws = {
        {"pan right", [&] { w->MoveImgCmd[0]->click(); }},
        {"pan up", [&] { w->MoveImgCmd[2]->click(); }},
        {"zoom in", [&] { w->ZoomUpDownCmd[0]->click(); }},
        {"zoom out", [&] { w->ZoomUpDownCmd[1]->click(); }},
        {"full redraw", [&] { w->ShowAllData(); }},
    };
    for (const auto& [name, redraw] : redraws) {
        SCOPED_TRACE(name);
        redraw();
        expectAtFix();
    }

    // Stopped: no mark, and a pan does not bring it back; started again, the
    // old fix does not count.
    w->StartGPSCmd->click();
    EXPECT_FALSE(mark.visible);
    w->MoveImgCmd[3]->click();
    EXPECT_FALSE(mark.visible);
    w->StartGPSCmd->click();
    w->MoveImgCmd[0]->click();
    EXPECT_FALSE(mark.visible);
    port->Receive(kFix);
    expectAtFix();
}

}  // namespace
}  // namespace tessaro::app
