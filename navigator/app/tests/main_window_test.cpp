// The main window offscreen: start-up on an empty program folder and on the
// sample library, the controls and menus, activation, zoom and pan, the
// index reset, closing, and the splash window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "app/start_up_frm.h"
#include "builder/data_position_frm.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

struct MainWindow : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    bool ended = false;

    void Open()
    {
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [this] { ended = true; };
    }

    QImage Picture()
    {
        QImage img(788, 678, QImage::Format_RGB32);
        w->BasePic->render(&img);
        return img;
    }
};

TEST_F(MainWindow, EmptyProgramFolderShowsGreyPictureAtLevel16AndStoppedTracking)
{
    Open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("GPSマップ"));
    EXPECT_TRUE(state.FirstActivate);
    w->Activate();
    EXPECT_FALSE(state.FirstActivate);
    EXPECT_EQ(state.ScaleLevel, 16);
    EXPECT_FLOAT_EQ(state.ViewScale, 0.17f);
    EXPECT_EQ(state.ShownMapCount, 0);
    EXPECT_EQ(state.ViewBoundLeft, -314.0f);
    EXPECT_EQ(state.ViewBoundBottom, -269.0f);
    const QImage img = Picture();
    for (QPoint p : {QPoint(100, 100), QPoint(600, 500), QPoint(394 + 40, 339 - 40)})
        EXPECT_EQ(img.pixel(p), qRgb(96, 96, 96)) << p.x() << "," << p.y();
    // The scale bar of level 16 is drawn.
    EXPECT_EQ(img.pixel(20, 658), qRgb(224, 255, 0));

    EXPECT_EQ(w->StartGPSCmd->text(), QStringLiteral("スタートGPS"));
    QImage button(w->StartGPSCmd->size(), QImage::Format_RGB32);
    w->StartGPSCmd->render(&button);
    EXPECT_EQ(button.pixel(6, 6), qRgb(128, 64, 0));
    EXPECT_FALSE(w->ShowLonLatPointCmd[0]->isEnabled());
    EXPECT_FALSE(w->ShowLonLatPointCmd[1]->isEnabled());
    EXPECT_FALSE(w->GPGGAFileLbl->isVisibleTo(w.get()));
    EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);
}

TEST_F(MainWindow, MenusHaveTheirCaptionsNestingAndSeparators)
{
    Open();
    std::vector<std::string> lines;
    std::function<void(QMenu*, const std::string&)> walk = [&](QMenu* menu, const std::string& indent) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                lines.push_back(indent + "---");
                continue;
            }
            lines.push_back(indent + a->text().toStdString() + (a->isEnabled() ? "" : " [off]"));
            if (a->menu()) walk(a->menu(), indent + "  ");
        }
    };
    for (QAction* a : w->menuBar()->actions()) {
        lines.push_back(a->text().toStdString());
        if (a->menu()) walk(a->menu(), "  ");
    }
    const std::vector<std::string> expected = {
        "ファイル(&F)",
        "  ---",
        "  GPGGAデータ(&G)",
        "    ---", "    読込み表示(&G)", "    ---", "    終了(&E) [off]", "    ---",
        "  ---",
        "  記録データ(&R)",
        "    ---", "    読込み表示(&D)", "    ---", "    終了(&E) [off]", "    ---",
        "  ---",
        "GPS設定(&G)",
        "マップ画像の設定(&M)",
        "ヘルプ(&H)",
        "終了(&E)",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(MainWindow, ControlsCarryTheirCaptionsAndTips)
{
    Open();
    struct Case {
        QAbstractButton* button;
        const char* caption;
        const char* tip;
    };
    const Case cases[] = {
        {w->StartGPSCmd, "スタートGPS", "外部GPSとのデータ入力"},
        {w->ClearGPSDataCmd, "クリア", "GPS表示データの消去"},
        {w->StartRecordCmd, "記録開始", "GPSデータの記録開始"},
        {w->MoveImgCmd[0], "右へシフト", ""},
        {w->MoveImgCmd[1], "下へシフト", ""},
        {w->MoveImgCmd[2], "上へシフト", ""},
        {w->MoveImgCmd[3], "左へシフト", ""},
        {w->MapImageRbn, "表示画像", ""},
        {w->ShowMKPointRbn, "MKポイントデータ", ""},
        {w->OpenFileCmd, "ポイント", "ポイントのリスト"},
        {w->DispXYRbn, "座標表示", "マウス位置の座標表示"},
        {w->ClickPicRbn, "距離測定", "指定のポイント間の距離"},
        {w->ShowLonLatPointCmd[0], "入力座標位置の表示", ""},
        {w->ShowLonLatPointCmd[1], "入力緯度経度位置の表示", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.button->text(), QString::fromUtf8(c.caption));
        EXPECT_EQ(c.button->toolTip(), QString::fromUtf8(c.tip)) << c.caption;
    }
    EXPECT_EQ(w->GPSHd1Lbl->text(), QStringLiteral("時刻　　    　　　衛星数"));
    EXPECT_EQ(w->GPSHd2Lbl->text(), QStringLiteral("緯度　　　　　    　経度"));
    EXPECT_EQ(w->PublicXLbl->text(), QStringLiteral("X(m)                Y(m)"));
    EXPECT_EQ(w->RecordSTSHdLbl->text(), QStringLiteral("記録中"));
    EXPECT_EQ(w->MeasDistHdLbl->text(), QStringLiteral("距離(m)"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("度　　　分　　　　秒"));
}

TEST_F(MainWindow, ClosingWritesTheViewStateAndEndsTheProgram)
{
    Open();
    state.ScaleLevel = 18;
    state.ViewCentreEasting = -6636.34;
    state.ViewCentreNorthing = -33281.1f;
    state.GPSRunning = true;  // closing asks nothing, whatever runs
    state.RecordingOn = true;
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(ended);
    const std::string file = ReadAll(home.path() + "/data0/CurrentSetting.dat");
    EXPECT_NE(file.find("\r\n 18 \r\n-6636.3,-33281.1\r\n"), std::string::npos) << file;
}

TEST_F(MainWindow, ClosingEndsEveryRunningEventLoop)
{
    // The program's own ending, while a modal loop (a message box) runs.
    w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
    bool innerEnded = false;
    QEventLoop outer;
    QEventLoop* running = nullptr;
    QTimer::singleShot(0, [&] {
        QEventLoop inner;
        running = &inner;
        QTimer::singleShot(0, [&] { w->close(); });
        inner.exec();
        running = nullptr;
        innerEnded = true;
    });
    // Should the window not end the loops, the test does, and fails.
    QTimer::singleShot(5000, &outer, [&] {
        if (running) running->exit(99);
        outer.exit(99);
    });
    EXPECT_EQ(outer.exec(), 0);
    EXPECT_TRUE(innerEnded);
    EXPECT_TRUE(QFile::exists(home.path() + "/data0/CurrentSetting.dat"));
}

TEST_F(MainWindow, SampleLibraryLoadsOnceAndZoomAndPanRedraw)
{
    UseSampleLibrary(home.path());
    Open();
    EXPECT_EQ(state.Maps.MapCount, 12);
    EXPECT_EQ(state.ShownMapCount, 0);  // nothing loaded before activation
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w.get(), &activate);
    EXPECT_EQ(state.ShownMapCount, 9);
    const int loads = w->PictureLoads();
    const auto decodes = w->BasePic->Cache().Decodes();
    EXPECT_EQ(loads, 9);
    EXPECT_EQ(decodes, 9u);
    EXPECT_NE(Picture().pixel(394 + 60, 339 - 60), qRgb(96, 96, 96));

    // A second activation does not touch the pictures.
    QApplication::sendEvent(w.get(), &activate);
    w->Activate();
    EXPECT_EQ(w->PictureLoads(), loads);

    // Zoom in: level 17, the pictures still on screen are not decoded again.
    w->ZoomUpDownCmd[0]->click();
    EXPECT_EQ(state.ScaleLevel, 17);
    EXPECT_LE(w->BasePic->Cache().Decodes(), decodes + 3);
    w->ZoomUpDownCmd[1]->click();
    w->ZoomUpDownCmd[1]->click();
    EXPECT_EQ(state.ScaleLevel, 15);

    // Pan "右へシフト": the view centre moves west by 100 picture units; with
    // no fix there is no position mark to show.
    const double before = state.ViewCentreEasting;
    w->MoveImgCmd[0]->click();
    EXPECT_NEAR(before - state.ViewCentreEasting, 100.0 / state.ViewScale, 1e-6);
    EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);
}

TEST_F(MainWindow, ResetMapDataReloadsTheIndex)
{
    UseSampleLibrary(home.path());
    Open();
    w->Activate();
    ASSERT_EQ(state.Maps.MapCount, 12);
    const QString index = home.path() + "/MapPicSample/MapFileData1.dat";
    std::string text = ReadAll(index);
    text = text.substr(0, text.find("\r\n") + 2);  // keep the first photograph only
    WriteLines(index, {text.substr(0, text.size() - 2)});
    w->ResetMapData();
    EXPECT_EQ(state.Maps.MapCount, 1);
    EXPECT_EQ(state.ShownMapCount, 1);
}

TEST_F(MainWindow, MapImageButtonShowsTheLoadedIndexInTheViewer)
{
    UseSampleLibrary(home.path());
    Open();
    w->Activate();
    ASSERT_EQ(state.Maps.MapCount, 12);
    w->MapImageRbn->click();
    ASSERT_TRUE(w->DataPositionFrm);
    EXPECT_FALSE(w->MapImageRbn->isChecked());
    EXPECT_EQ(w->DataPositionFrm->Mode(), builder::ViewerSource::MainWindow);
    EXPECT_EQ(w->DataPositionFrm->windowTitle(), QStringLiteral("画像データ位置表示"));
    ASSERT_EQ(w->DataPositionFrm->Rows().size(), 12u);
    EXPECT_EQ(w->DataPositionFrm->Rows()[11][1], "Sample12.jpg");
    EXPECT_EQ(w->DataPositionFrm->Rows()[0][2], "35.7054028");
    w->DataPositionFrm->close();
}

// The log leaves the picture at once, not with some later redraw.
TEST_F(MainWindow, EndingTheGGALogDisplayHidesItsMarksAndRedrawsAtOnce)
{
    Open();
    state.GGALogShown = true;
    w->EndRecordGGAMenu->setEnabled(true);
    w->LoadGPGGAData2Menu->setEnabled(false);
    w->BasePic->Area().MarkPointImg[5].visible = true;
    const auto revision = w->BasePic->Area().Revision();
    w->EndRecordGGAMenu->trigger();
    EXPECT_FALSE(state.GGALogShown);
    EXPECT_FALSE(w->EndRecordGGAMenu->isEnabled());
    EXPECT_TRUE(w->LoadGPGGAData2Menu->isEnabled());
    EXPECT_FALSE(w->BasePic->Area().MarkPointImg[5].visible);
    EXPECT_NE(w->BasePic->Area().Revision(), revision);
}

TEST(StartUp, SplashClosesOnTheSeventhTick)
{
    App();
    StartUpFrm splash;
    int finished = 0;
    QObject::connect(&splash, &StartUpFrm::Finished, [&] { ++finished; });
    EXPECT_EQ(splash.VersionLbl->text(), QStringLiteral("Ver.3.1"));
    splash.show();
    EXPECT_TRUE(splash.Timer1->isActive());
    EXPECT_EQ(splash.Timer1->interval(), 400);
    for (int i = 0; i < 6; ++i) splash.Timer1_Timer();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(finished, 0);
    splash.Timer1_Timer();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.Timer1->isActive());
    EXPECT_EQ(finished, 1);
}

}  // namespace
}  // namespace tessaro::app
