// The builder's folder scan, table and index files, without the window.
#include "builder/map_data_setting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "geodesy/plane_coords.h"
#include "shell/textfile.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::builder {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

const std::string kSource = std::getenv("TESSARO_SOURCE_DIR") ? std::getenv("TESSARO_SOURCE_DIR") : ".";

// A program folder with data0/, data1/KUnit.csv and a copy of the sample
// library, and a user library folder "lib".
struct Fixture {
    testsupport::ScratchDir dir{"builder"};
    NavState state;
    fs::path home() const { return dir.path() / "home"; }
    fs::path lib() const { return dir.path() / "lib"; }

    Fixture()
    {
        fs::create_directories(home() / "data0");
        fs::create_directories(home() / "data1");
        fs::copy(kSource + "/data/MapPicSample", home() / "MapPicSample");
        fs::copy_file(kSource + "/data/data1/KUnit.csv", home() / "data1/KUnit.csv");
        fs::create_directories(lib());
        state.ProgramFolder = home().string();
        geodesy::InitEllipsoid();
        geodesy::SetZoneTable();
        geodesy::SetCurrentZone(9, state.Zone);
    }
    void UseLibrary() { WriteFileType(home().string(), lib().string()); }
};

TEST(MapDataSettingTest, ExtensionTestAndNamesAnIndexCanHold)
{
    struct Case {
        const char* name;
        bool photo, data;
    };
    const Case cases[] = {{"a.jpg", true, false},   {"a.JPG", true, false},  {"a.Jpg", false, false},
                          {"a.jpeg", false, false}, {"a.dat", false, true},  {"a.DAT", false, true},
                          {"jpg", false, false},    {".jpg", true, false},   {"a.Dat", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsPhotographName(c.name), c.photo);
        EXPECT_EQ(IsDataFileName(c.name), c.data);
    }
    EXPECT_TRUE(NameFitsIndex("東京駅.jpg"));
    EXPECT_FALSE(NameFitsIndex("a,b.jpg"));
    EXPECT_FALSE(NameFitsIndex("Łódź.jpg"));
}

TEST(MapDataSettingTest, FileTypeKeepsCommasAndFallsBackToTheSample)
{
    Fixture f;
    const fs::path odd = f.dir.path() / "a,b folder";
    fs::create_directories(odd);
    WriteFileType(f.home().string(), odd.string());
    EXPECT_EQ(Slurp(f.home() / "data0/FileType.dat"), "--\r\n" + odd.string() + "\r\n");
    MapDataSetting s(f.state);
    s.Load();
    EXPECT_EQ(f.state.MapPicFolder, odd.string());

    // A folder that is gone, and no file at all: the sample folder.
    for (bool remove : {true, false}) {
        if (remove) fs::remove_all(odd);
        else fs::remove(f.home() / "data0/FileType.dat");
        MapDataSetting t(f.state);
        t.Load();
        EXPECT_EQ(f.state.MapPicFolder, (f.home() / "MapPicSample").string());
        EXPECT_EQ(t.MapRowCount, 12);
        EXPECT_EQ(t.MapFileLst.size(), 12u);
    }
}

TEST(MapDataSettingTest, LoadScansTheFolderAndRenumbers)
{
    Fixture f;
    f.UseLibrary();
    Put(f.lib() / "MapFileData1.dat", "7,b.jpg,35-00-00.00,135-30-00.00,870,1000,750,6,1.00,2.00\r\n"
                                     "7,a.jpg,35-00-01.00,135-30-01.00,870,1000,750,6,3.00,4.00\r\n");
    for (const char* n : {"a.jpg", "b.JPG", "c.Jpg", "notes.txt", "old.DAT", "x,y.jpg"}) Put(f.lib() / n, "");
    MapDataSetting s(f.state);
    s.Load();
    // The folder was scanned although the index had been loaded already.
    EXPECT_EQ(s.MapFileLst, (std::vector<std::string>{"a.jpg", "b.JPG"}));
    EXPECT_EQ(s.MapDataLst, (std::vector<std::string>{"MapFileData1.dat", "old.DAT"}));
    EXPECT_EQ(s.RefusedNames, (std::vector<std::string>{"x,y.jpg"}));
    ASSERT_EQ(s.MapRowCount, 2);
    EXPECT_EQ(s.Rows()[0][0], "1");
    EXPECT_EQ(s.Rows()[1][0], "2");
    EXPECT_EQ(s.Rows()[1][1], "a.jpg");
    // OK writes the rows with their new numbers.
    s.OKCmd();
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(Slurp(f.lib() / "MapFileData1.dat"),
              "1,b.jpg,35-00-00.00,135-30-00.00,870,1000,750,6,1.00,2.00\r\n"
              "2,a.jpg,35-00-01.00,135-30-01.00,870,1000,750,6,3.00,4.00\r\n");
}

TEST(MapDataSettingTest, FolderWithoutIndexStaysEmptyUntilRead)
{
    Fixture f;
    fs::copy_file(f.home() / "MapPicSample/Sample01.jpg", f.lib() / "Sample01.jpg");
    fs::copy_file(f.home() / "MapPicSample/Sample10.jpg", f.lib() / "Sample10.jpg");
    MapDataSetting s(f.state);
    s.Load();  // no FileType.dat: the sample folder
    ASSERT_EQ(s.MapRowCount, 12);
    s.FirstActivation();
    EXPECT_EQ(s.PixelTxt, 180);
    s.ChangeFolder(f.lib().string());
    EXPECT_EQ(s.MapRowCount, 0);
    EXPECT_EQ(s.MapFileLst.size(), 2u);
    EXPECT_FALSE(fs::exists(f.lib() / "MapFileData1.dat"));
    s.SetLonLatAndHeightCmd();
    ASSERT_EQ(s.MapRowCount, 2);
    const auto& row = s.Rows()[1];
    EXPECT_EQ(row[1], "Sample10.jpg");
    EXPECT_EQ(row[2], "35-42-03.24");
    EXPECT_EQ(row[3], "139-45-30.03");
    EXPECT_EQ(row[4], "391");
    EXPECT_EQ(row[5], "450");
    EXPECT_EQ(row[6], "337");  // 449.65 x 0.75
    EXPECT_EQ(row[7], "9");
    ASSERT_TRUE(s.Close());
    const auto lines = ReadTextLines((f.lib() / "MapFileData1.dat").string());
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->size(), 2u);
    EXPECT_EQ(ReadFileType(f.home().string()), f.lib().string());
}

TEST(MapDataSettingTest, SampleButtonAndMissingIndexCreatedEmpty)
{
    Fixture f;
    f.UseLibrary();
    MapDataSetting s(f.state);
    s.Load();
    // Loading a folder without an index creates an empty one at once.
    EXPECT_TRUE(fs::exists(f.lib() / "MapFileData1.dat"));
    EXPECT_EQ(s.MapRowCount, 0);
    s.SampleCmd();
    EXPECT_EQ(f.state.MapPicFolder, (f.home() / "MapPicSample").string());
    EXPECT_EQ(s.MapRowCount, 12);
}

TEST(MapDataSettingTest, CancelKeepsFilesAndGivesBackFolderZoneAndView)
{
    Fixture f;
    f.UseLibrary();
    Put(f.lib() / "MapFileData1.dat", "1,a.jpg,33-35-00.00,130-25-00.00,870,1000,750,2,0.00,0.00\r\n");
    const std::string index = Slurp(f.lib() / "MapFileData1.dat");
    const std::string fileType = Slurp(f.home() / "data0/FileType.dat");
    f.state.MapPicFolder = f.lib().string();
    f.state.ViewCentreEasting = 12.5;
    f.state.ScaleLevel = 20;
    MapDataSetting s(f.state);
    s.Load();
    s.SampleCmd();
    s.SetLonLatAndHeightCmd();  // still starting: does nothing
    s.FirstActivation();
    s.SetLonLatAndHeightCmd();
    s.OKCmd();  // moves the view, but the user then cancels
    f.state.Zone.ZoneNo = 2;
    s.CancelCmd();
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(Slurp(f.lib() / "MapFileData1.dat"), index);
    EXPECT_EQ(Slurp(f.home() / "data0/FileType.dat"), fileType);
    EXPECT_EQ(Slurp(f.home() / "MapPicSample/MapFileData1.dat"), Slurp(kSource + "/data/MapPicSample/MapFileData1.dat"));
    EXPECT_EQ(f.state.MapPicFolder, f.lib().string());
    EXPECT_EQ(f.state.Zone.ZoneNo, 9);
    EXPECT_EQ(f.state.ViewCentreEasting, 12.5);
    EXPECT_EQ(f.state.ScaleLevel, 20);
}

TEST(MapDataSettingTest, InitialViewAndZoneFromTheRows)
{
    Fixture f;
    MapDataSetting s(f.state);
    s.Load();  // the sample library, zone 9
    ASSERT_EQ(s.MapRowCount, 12);
    f.state.Zone.ZoneNo = 1;
    s.OKCmd();
    // Centre: the mean of the centres; extent: 0.2 x the larger side of the
    // rectangle around all footprints.
    double e = 0, n = 0, minE = 1e9, maxE = -1e9, minN = 1e9, maxN = -1e9;
    for (const auto& r : s.Rows()) {
        const double x = std::stod(r[8]), y = std::stod(r[9]), hw = std::stod(r[5]) / 2, hh = std::stod(r[6]) / 2;
        e += x;
        n += y;
        minE = std::min(minE, x - hw);
        maxE = std::max(maxE, x + hw);
        minN = std::min(minN, y - hh);
        maxN = std::max(maxN, y + hh);
    }
    EXPECT_NEAR(f.state.ViewCentreEasting, e / 12, 1e-6);
    EXPECT_NEAR(f.state.ViewCentreNorthing, n / 12, 0.01);
    const double extent = 0.2 * std::max(maxE - minE, maxN - minN);
    const int level = f.state.ScaleLevel;
    EXPECT_LT(f.state.Scales[static_cast<std::size_t>(level)].barMetres, extent);
    if (level > 0) {
        EXPECT_GE(f.state.Scales[static_cast<std::size_t>(level - 1)].barMetres, extent);
    }
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(f.state.Zone.ZoneNo, 9);  // set from the rows' mean position

    // An empty table leaves the view alone.
    MapDataSetting t(f.state);
    t.Load();
    t.ChangeFolder(f.lib().string());
    f.state.ViewCentreEasting = 5;
    f.state.ScaleLevel = 30;
    t.OKCmd();
    EXPECT_EQ(f.state.ViewCentreEasting, 5);
    EXPECT_EQ(f.state.ScaleLevel, 30);
}

TEST(MapDataSettingTest, LongIndexKeepsEveryLineAndNoEmptyOnes)
{
    Fixture f;
    f.UseLibrary();
    std::string index;
    for (int i = 1; i <= 2500; ++i) index += std::to_string(i) + ",p" + std::to_string(i) + ".jpg,35-00-00.00,135-00-00.00,870,1000,750,6,0.00,0.00\r\n";
    Put(f.lib() / "MapFileData1.dat", index);
    MapDataSetting s(f.state);
    s.Load();
    EXPECT_EQ(s.MapRowCount, 2500);
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(Slurp(f.lib() / "MapFileData1.dat"), index);
}

}  // namespace
}  // namespace tessaro::builder
