// The builder window, offscreen.
#include "builder/map_data_setting_frm.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "geodesy/plane_coords.h"
#include "shell/folder_lists.h"
#include "status_photos.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::builder {
namespace {

namespace fs = std::filesystem;

// Never destroyed: tearing Qt down among the other static objects at exit
// is not safe.
QApplication& App()
{
    static int argc = 1;
    static char name[] = "builder_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct WindowFixture {
    testsupport::ScratchDir dir{"builderfrm"};
    NavState state;
    int resets = 0;
    std::vector<QString> messages;
    fs::path home() const { return dir.path() / "home"; }
    fs::path lib() const { return dir.path() / "lib"; }

    WindowFixture()
    {
        App();
        const std::string src = std::getenv("TESSARO_SOURCE_DIR");
        fs::create_directories(home() / "data0");
        fs::create_directories(home() / "data1");
        fs::copy(src + "/data/MapPicSample", home() / "MapPicSample");
        fs::copy_file(src + "/data/data1/KUnit.csv", home() / "data1/KUnit.csv");
        fs::create_directories(lib());
        std::ofstream(lib() / "MapFileData1.dat", std::ios::binary)
            << "5,a.jpg,35-42-00.00,139-45-00.00,870,1000,750,9,-7500.00,-33000.00\r\n"
               "9,b.jpg,35-42-10.00,139-45-10.00,870,1000,750,9,-7250.00,-32700.00\r\n";
        std::ofstream(home() / "data0/FileType.dat", std::ios::binary) << "--\r\n" << lib().string() << "\r\n";
        state.ProgramFolder = home().string();
        state.MapPicFolder = lib().string();
        geodesy::InitEllipsoid();
        geodesy::SetZoneTable();
        geodesy::SetCurrentZone(9, state.Zone);
    }
    MapDataSettingFrm* Open()
    {
        auto* w = new MapDataSettingFrm(
            nullptr, state, [this] { ++resets; }, [this](const QString& m) { messages.push_back(m); },
            dir.path().string());
        w->SetReadPause(0);
        w->show();
        return w;
    }
};

// With TESSARO_BUILDER_SHOTS=DIR the tests save the windows they show there.
void Shot(QWidget* w, const char* name)
{
    const char* dir = std::getenv("TESSARO_BUILDER_SHOTS");
    if (!dir) return;
    App().processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(dir) + "/" + name));
}

TEST(MapDataSettingFrmTest, LoadRenumbersAndFolderChangesFillTheTable)
{
    WindowFixture f;
    MapDataSettingFrm* w = f.Open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("マップ画像の設定"));
    ASSERT_EQ(w->MapFileGrid->rowCount(), 2);
    EXPECT_EQ(w->MapFileGrid->item(0, 0)->text(), "1");
    EXPECT_EQ(w->MapFileGrid->item(1, 0)->text(), "2");
    EXPECT_EQ(w->MapFileGrid->item(1, 1)->text(), "b.jpg");
    EXPECT_EQ(w->PixelTxt->text(), "180");

    // A folder without an index: the table is empty though photographs are listed.
    const fs::path bare = f.dir.path() / "bare";
    fs::create_directories(bare);
    fs::copy_file(f.home() / "MapPicSample/Sample04.jpg", bare / "Sample04.jpg");
    ASSERT_TRUE(w->Lists()->SetFolder(bare.string()));
    EXPECT_EQ(w->Setting().MapRowCount, 0);
    EXPECT_EQ(w->Setting().MapFileLst.size(), 1u);
    EXPECT_EQ(w->MapFileGrid->item(0, 1), nullptr);

    // The process button reads it; the diagnostic grids show the last picture.
    w->SetLonLatAndHeightCmd->click();
    ASSERT_EQ(w->Setting().MapRowCount, 1);
    EXPECT_EQ(w->MapFileGrid->item(0, 2)->text(), "35-42-09.72");
    EXPECT_EQ(w->MapFileGrid->item(0, 4)->text(), "870");
    EXPECT_EQ(w->LonLatGrid->item(1, 0)->text(), "3");
    EXPECT_EQ(w->LonLatGrid->item(1, 16)->text(), "0");
    EXPECT_EQ(w->HeightGrid->item(1, 3)->text(), QStringLiteral("メ"));
    EXPECT_GT(w->UnderPicGrid->rowCount(), 12);
    EXPECT_EQ(w->StartWidthGrid->item(0, 0)->text(), "31");
    EXPECT_EQ(w->MatchRateTxt->text(), "0.000");
    // GetChr on the first latitude digit's column.
    w->ColNumTxt->setText(QString::number(w->Setting().Tables.segments[0].start));
    w->GetChrCmd->click();
    EXPECT_EQ(w->GetChrTxt->text(), "3");

    // The sample button.
    w->SampleCmd->click();
    EXPECT_EQ(f.state.MapPicFolder, (f.home() / "MapPicSample").string());
    EXPECT_EQ(w->MapFileGrid->rowCount(), 12);
    w->OKCmd->click();
    EXPECT_EQ(f.resets, 1);
    EXPECT_NE(f.state.ViewCentreEasting, 0.0);
    EXPECT_EQ(Slurp(f.home() / "data0/FileType.dat"), "--\r\n" + (f.home() / "MapPicSample").string() + "\r\n");
    App().processEvents();
}

TEST(MapDataSettingFrmTest, CancelLeavesTheFilesAndTheCloseBoxSaves)
{
    WindowFixture f;
    const std::string index = Slurp(f.lib() / "MapFileData1.dat");
    MapDataSettingFrm* w = f.Open();
    w->SampleCmd->click();
    w->CancelCmd->click();
    EXPECT_EQ(f.resets, 1);
    EXPECT_EQ(Slurp(f.lib() / "MapFileData1.dat"), index);
    EXPECT_EQ(f.state.MapPicFolder, f.lib().string());

    // The close box writes the renumbered index.
    MapDataSettingFrm* v = f.Open();
    v->close();
    EXPECT_EQ(f.resets, 2);
    EXPECT_EQ(Slurp(f.lib() / "MapFileData1.dat").substr(0, 2), "1,");
    App().processEvents();
}

TEST(MapDataSettingFrmTest, HoverColoursAndRefusedNames)
{
    WindowFixture f;
    std::ofstream(f.lib() / "x,y.jpg") << "";
    MapDataSettingFrm* w = f.Open();
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_TRUE(f.messages[0].contains(QStringLiteral("x,y.jpg")));
    for (HoverButton* b : {w->OKCmd, w->CancelCmd, w->SampleCmd, w->DispDataPositionCmd}) {
        EXPECT_TRUE(b->styleSheet().contains("208,208,255"));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(b, &enter);
        EXPECT_TRUE(b->Emphasised());
        EXPECT_TRUE(b->styleSheet().contains("192,192,255"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b, &leave);
        EXPECT_FALSE(b->Emphasised());
        EXPECT_TRUE(b->styleSheet().contains("rgb(0,0,208)"));
    }
    w->CancelCmd->click();
    App().processEvents();
}

// The process button on the sample folder reads every screenshot as its index
// says. With TESSARO_BUILDER_SHOT=FILE the window is saved as a picture.
TEST(MapDataSettingFrmTest, ProcessesTheSampleFolder)
{
    WindowFixture f;
    std::ofstream(f.home() / "data0/FileType.dat", std::ios::binary) << "--\r\n" << (f.home() / "MapPicSample").string() << "\r\n";
    MapDataSettingFrm* w = f.Open();
    ASSERT_EQ(w->Setting().MapRowCount, 12);
    const auto stored = w->Setting().Rows();
    w->SetLonLatAndHeightCmd->click();
    ASSERT_EQ(w->Setting().MapRowCount, 12);
    for (int r = 0; r < 12; ++r)
        for (int c : {1, 2, 3, 4, 7}) {
            SCOPED_TRACE(stored[static_cast<std::size_t>(r)][1]);
            EXPECT_EQ(w->MapFileGrid->item(r, c)->text().toStdString(), stored[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
        }
    if (const char* shot = std::getenv("TESSARO_BUILDER_SHOT")) {
        w->ColNumTxt->setText(QString::number(w->Setting().Tables.segments[0].start));
        w->GetChrCmd->click();
        App().processEvents();
        EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(shot)));
    }
    // The viewer on the sample library.
    w->DispDataPositionCmd->click();
    ASSERT_NE(w->Viewer(), nullptr);
    EXPECT_EQ(w->Viewer()->Rows().size(), 12u);
    QTest::mouseClick(w->Viewer()->DataGrid->viewport(), Qt::LeftButton, {},
                      w->Viewer()->DataGrid->visualRect(w->Viewer()->DataGrid->model()->index(9, 1)).center());
    EXPECT_EQ(w->Viewer()->DataPositionPic->Highlighted(), 9);
    Shot(w->Viewer(), "position-viewer.png");
    w->CancelCmd->click();
    App().processEvents();
}

// A library folder of generated screenshots, chosen in the window.
MapDataSettingFrm* OpenOn(WindowFixture& f, const std::vector<testing::Photo>& photos)
{
    const fs::path folder = f.dir.path() / "shots";
    fs::create_directories(folder);
    for (std::size_t i = 0; i < photos.size(); ++i) testing::WritePhoto(folder / testing::PhotoName(i), photos[i]);
    std::ofstream(folder / "MapFileData1.dat", std::ios::binary) << "1,old.jpg,35-00-00.00,139-00-00.00,870,1000,750,9,0.00,0.00\r\n";
    std::ofstream(f.home() / "data0/FileType.dat", std::ios::binary) << "--\r\n" << folder.string() << "\r\n";
    MapDataSettingFrm* w = f.Open();
    App().processEvents();
    return w;
}

QPoint CellCentre(MapDataSettingFrm* w, int gridRow, int column)
{
    return w->MapFileGrid->visualRect(w->MapFileGrid->model()->index(gridRow - 1, column)).center();
}

// A user's double click: press, release, then the double click.
void DoubleClick(QWidget* viewport, QPoint at)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
}

const QColor kPink(255, 208, 208), kLavender(208, 208, 255), kWhiteCell(255, 255, 255);

TEST(MapDataSettingFrmTest, FullReadShowsProgressMessagesAndSuspects)
{
    WindowFixture f;
    MapDataSettingFrm* w = OpenOn(f, {{"35-42-19.45", "139-45-00.18", 150}, {"36-42-09.72", "139-45-16.10", 150},
                                      {"35-42-09.72", "139-45-16.10", 150}});
    std::vector<int> progress;
    std::vector<bool> enabled;
    QObject::connect(w->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        progress.push_back(v);
        enabled.push_back(w->OKCmd->isEnabled() || w->MapFileGrid->isEnabled() || w->SampleCmd->isEnabled());
        EXPECT_TRUE(w->ProgressMsgLbl->isVisible());
        EXPECT_EQ(w->ProgressMsgLbl->text(), QStringLiteral("処理中ですお待ち下さい。"));
    });
    w->SetLonLatAndHeightCmd->click();
    // The first pass stopped at the first photograph, before any step.
    EXPECT_EQ(progress, (std::vector<int>{0, 33, 66, 99}));
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), true), 0);
    EXPECT_TRUE(w->OKCmd->isEnabled());
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_EQ(f.messages, (std::vector<QString>{QStringLiteral("高度が異常です！,変換タイプを変えます。")}));
    EXPECT_TRUE(w->SearchTypeOpt[1]->isChecked());
    EXPECT_EQ(w->PixelTxt->text(), "170");
    ASSERT_EQ(w->Setting().MapRowCount, 3);
    EXPECT_EQ(w->CellColour(2, 2), kPink);
    EXPECT_EQ(w->CellColour(2, 3), kWhiteCell);
    EXPECT_EQ(w->CellColour(3, 2), kWhiteCell);
    EXPECT_TRUE(w->MissDataLbl->isVisible());
    EXPECT_EQ(w->MissDataLbl->text(), QStringLiteral("異状データあり"));
    Shot(w, "builder-doubtful-row.png");
    w->CancelCmd->click();
    App().processEvents();
}

TEST(MapDataSettingFrmTest, ClosingDuringAReadStopsItWithoutSaving)
{
    WindowFixture f;
    MapDataSettingFrm* w = OpenOn(f, {{"35-42-19.45", "139-45-00.18", 870}, {"35-42-09.72", "139-45-16.10", 870},
                                      {"35-42-09.72", "139-45-16.10", 870}});
    const std::string index = Slurp(f.dir.path() / "shots/MapFileData1.dat");
    QPointer<MapDataSettingFrm> alive(w);
    QObject::connect(w->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        if (v == 33) w->close();  // the close box
        EXPECT_TRUE(alive);
    });
    w->SetLonLatAndHeightCmd->click();
    App().processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(alive);
    EXPECT_EQ(f.resets, 1);
    EXPECT_EQ(Slurp(f.dir.path() / "shots/MapFileData1.dat"), index);
}

TEST(MapDataSettingFrmTest, CorrectionFramesEnterTabAndRefusal)
{
    WindowFixture f;
    MapDataSettingFrm* w = OpenOn(f, {{"35-42-19.45", "139-45-00.18", 870}, {"36-42-09.72", "139-45-16.10", 870}});
    w->activateWindow();
    w->SetLonLatAndHeightCmd->click();
    ASSERT_EQ(w->CellColour(2, 2), kPink);
    QWidget* vp = w->MapFileGrid->viewport();

    // A double click on a column other than 2, 3 or 4 opens nothing.
    DoubleClick(vp, CellCentre(w, 2, 5));
    EXPECT_FALSE(w->SetLatDataFlm->isVisible() || w->SetLonDataFlm->isVisible() || w->HeightSetFlm->isVisible());

    DoubleClick(vp, CellCentre(w, 2, 2));
    ASSERT_TRUE(w->SetLatDataFlm->isVisible());
    EXPECT_FALSE(w->HeightSetFlm->isVisible());
    EXPECT_EQ(w->SetLatDataFlm->title(), QStringLiteral("「Enter」を押して入力します。"));
    EXPECT_EQ(w->LatDegTxt->text(), "36");
    EXPECT_EQ(w->LatSecTxt->text(), "09.72");
    EXPECT_EQ(w->CellColour(2, 2), kLavender);
    EXPECT_TRUE(w->LonLatPicAreaPic->isVisible());
    EXPECT_EQ(w->LonLatPicAreaPic->pixmap().width(), 251);
    EXPECT_EQ(w->LonLatPicAreaPic->pixmap().height(), 16);
    EXPECT_TRUE(w->ImageDataLbl->isVisible());
    Shot(w, "builder-correction.png");

    // Tab from the seconds box wraps to the degrees box, Shift+Tab back.
    w->LatSecTxt->setFocus();
    QTest::keyClick(w->LatSecTxt, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w->LatDegTxt);
    QTest::keyClick(w->LatDegTxt, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), w->LatSecTxt);

    // "," is refused in the frame; Enter writes the typed value.
    w->LatDegTxt->setText("35");
    w->LatMinTxt->setText("39");
    w->LatSecTxt->setText("29,45");
    QTest::keyClick(w->LatSecTxt, Qt::Key_Return);
    EXPECT_TRUE(w->SetLatDataFlm->isVisible());
    EXPECT_EQ(w->EntryRefusedLbl[0]->text(), QStringLiteral("「,」は入力できません。"));
    EXPECT_EQ(w->MapFileGrid->item(1, 2)->text(), "36-42-09.72");
    w->LatSecTxt->setText("29.45");
    const QString oldEast = w->MapFileGrid->item(1, 8)->text();
    QTest::keyClick(w->LatSecTxt, Qt::Key_Return);
    EXPECT_TRUE(w->isVisible());  // Enter answered the frame, not the window's OK
    EXPECT_FALSE(w->SetLatDataFlm->isVisible());
    EXPECT_FALSE(w->LonLatPicAreaPic->isVisible());
    EXPECT_EQ(w->MapFileGrid->item(1, 2)->text(), "35-39-29.45");
    EXPECT_NE(w->MapFileGrid->item(1, 8)->text(), oldEast);
    EXPECT_EQ(w->MapFileGrid->item(1, 9)->text().toStdString(), w->Setting().Rows()[1][9]);
    EXPECT_EQ(w->CellColour(2, 2), kWhiteCell);
    EXPECT_FALSE(w->MissDataLbl->isVisible());

    // The altitude frame: the 1.165 factor; a click on the window leaves it.
    DoubleClick(vp, CellCentre(w, 1, 4));
    ASSERT_TRUE(w->HeightSetFlm->isVisible());
    EXPECT_EQ(w->HeightTxt->text(), "870");
    w->HeightTxt->setText("1000");
    QTest::keyClick(w->HeightTxt, Qt::Key_Enter);
    EXPECT_EQ(w->MapFileGrid->item(0, 5)->text(), "1165");
    EXPECT_EQ(w->MapFileGrid->item(0, 6)->text(), "874");
    EXPECT_EQ(w->CellColour(1, 4), kLavender);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 770));
    EXPECT_EQ(w->CellColour(1, 4), kWhiteCell);
    w->CancelCmd->click();
    App().processEvents();
}

TEST(MapDataSettingFrmTest, FillDownDeleteAndTheViewer)
{
    WindowFixture f;
    std::vector<testing::Photo> photos;
    for (int i = 0; i < 7; ++i) photos.push_back({"35-42-19.45", i == 4 ? "150-45-00.18" : "139-45-00.18", 870 + i});
    MapDataSettingFrm* w = OpenOn(f, photos);
    w->SetLonLatAndHeightCmd->click();
    ASSERT_EQ(w->Setting().MapRowCount, 7);
    QWidget* vp = w->MapFileGrid->viewport();

    // Dragging from row 3 to row 6 in the altitude column.
    QTest::mousePress(vp, Qt::LeftButton, {}, CellCentre(w, 3, 4));
    QTest::mouseMove(vp, CellCentre(w, 6, 4));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, CellCentre(w, 6, 4));
    for (int r = 4; r <= 6; ++r) {
        EXPECT_EQ(w->MapFileGrid->item(r - 1, 4)->text(), "872");
        EXPECT_EQ(w->MapFileGrid->item(r - 1, 5)->text(), "1016");  // 872 x 1.165
        EXPECT_EQ(w->MapFileGrid->item(r - 1, 6)->text(), "762");
    }
    EXPECT_EQ(w->MapFileGrid->item(6, 4)->text(), "876");

    // The context menu opens from row 2 on; "削除(&D)" removes the row.
    QTest::mousePress(vp, Qt::RightButton, {}, CellCentre(w, 1, 1));
    QTest::mouseRelease(vp, Qt::RightButton, {}, CellCentre(w, 1, 1));
    EXPECT_FALSE(w->Edit2Menu->isVisible());
    QTest::mousePress(vp, Qt::RightButton, {}, CellCentre(w, 3, 1));
    EXPECT_EQ(w->CellColour(3, 1), kLavender);
    QTest::mouseRelease(vp, Qt::RightButton, {}, CellCentre(w, 3, 1));
    EXPECT_TRUE(w->Edit2Menu->isVisible());
    EXPECT_EQ(w->DeleteDataMenu->text(), QStringLiteral("削除(&D)"));
    EXPECT_EQ(w->CellColour(5, 3), kPink);
    w->DeleteDataMenu->trigger();
    w->Edit2Menu->hide();
    ASSERT_EQ(w->Setting().MapRowCount, 6);
    EXPECT_EQ(w->MapFileGrid->rowCount(), 6);
    for (int r = 0; r < 6; ++r) EXPECT_EQ(w->MapFileGrid->item(r, 0)->text(), QString::number(r + 1));
    EXPECT_EQ(w->MapFileGrid->item(2, 1)->text(), "p04.jpg");
    EXPECT_EQ(w->CellColour(4, 3), kPink);  // the suspect moved up with its row
    EXPECT_EQ(w->CellColour(5, 3), kWhiteCell);

    // The viewer from the builder: mode 1, the table's rows, a click highlights.
    w->DispDataPositionCmd->click();
    DataPositionFrm* v = w->Viewer();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->windowTitle(), QStringLiteral("画像データ位置表示"));
    EXPECT_EQ(v->Mode(), ViewerSource::Builder);
    EXPECT_EQ(v->DataGrid->rowCount(), 6);
    EXPECT_EQ(v->DataGrid->item(0, 2)->text(), "35.7054028");
    QTest::mouseClick(v->DataGrid->viewport(), Qt::LeftButton, {},
                      v->DataGrid->visualRect(v->DataGrid->model()->index(2, 1)).center());
    EXPECT_EQ(v->DataPositionPic->Highlighted(), 2);
    v->CloseCmd->click();
    w->CancelCmd->click();
    App().processEvents();
}


TEST(MapDataSettingFrmHelp, HelpButtonOpensOneOwnedHelpWindow)
{
    WindowFixture f;
    MapDataSettingFrm* w = f.Open();
    w->HelpCmd->click();
    QPointer<help::Help2Frm> first = w->Help();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->parentWidget(), w);
    EXPECT_EQ(first->HeaderLbl->text(), QStringLiteral("画像記録手順"));
    w->HelpCmd->click();
    EXPECT_EQ(w->Help(), first);
    w->close();
    App().processEvents();
}

}  // namespace
}  // namespace tessaro::builder
