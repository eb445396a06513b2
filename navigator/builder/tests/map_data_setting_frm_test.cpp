// The builder window, offscreen.
#include "builder/map_data_setting_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QTableWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "geodesy/plane_coords.h"
#include "shell/folder_lists.h"
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
        w->show();
        return w;
    }
};

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
    w->CancelCmd->click();
    App().processEvents();
}

}  // namespace
}  // namespace tessaro::builder
