// Point files and the remembered file name: rows as the grid shows them, the
// test a chosen file must pass, files that are not regular, and the limit of
// 999 points.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "geodesy/plane_coords.h"
#include "points/set_point_session.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::points {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Points : ::testing::Test {
    testsupport::ScratchDir dir{"points"};
    std::string home() const { return (dir.path() / "home").string(); }
    std::vector<std::string> messages;
};

TEST_F(Points, RowsKeepTheFileTextTrimmedAndClicksGiveEastingFromY)
{
    const fs::path file = dir.path() / "survey.csv";
    WriteBytes(file, "BM1,-33052.977,-6517.124\r\nBM2 , 100.5 , 200.25\r\nName,X(m),Y(m)\r\nP4,12.5\r\n"
                     "P5,,7,extra\r\n");
    const PointList list = LoadPointFile(file.string());
    ASSERT_TRUE(list.opened);
    const std::vector<PointRow> want = {{"BM1", "-33052.977", "-6517.124"},
                                        {"BM2", "100.5", "200.25"},
                                        {"Name", "X(m)", "Y(m)"},
                                        {"P4", "12.5", ""},
                                        {"P5", ",7", "extra"}};  // a run of commas counts once
    EXPECT_EQ(list.rows, want);

    const StoredPoint bm1 = PointOf(list.rows[0]);
    EXPECT_DOUBLE_EQ(bm1.easting, -6517.124);
    EXPECT_DOUBLE_EQ(bm1.northing, -33052.977);
    geodesy::InitEllipsoid();
    const geodesy::LatLon ll = geodesy::PlaneToLatLon(bm1.easting, bm1.northing, 36.0, 139.0 + 50.0 / 60);
    EXPECT_NEAR(ll.lat, 35.70206, 5e-6);
    EXPECT_NEAR(ll.lon, 139.76132, 5e-6);
    const StoredPoint header = PointOf(list.rows[2]);
    EXPECT_EQ(header.easting, 0.0);
    EXPECT_EQ(header.northing, 0.0);
}

TEST_F(Points, TheExtensionTestLooksAtTheFileNameOnly)
{
    struct Case {
        const char* relative;
        bool accepted;
    };
    const Case cases[] = {
        {"points.csv", true},
        {"points.txt", true},
        {"taro.yamada/points.csv", true},
        {".local/share/tessaro/points.csv", true},
        {"survey.v2/points.csv", true},
        {"points.v2.csv", false},
        {"points.CSV", false},
        {"points.dat", false},
        {"points", false},
        {".csv", false},
    };
    for (const Case& c : cases) {
        const fs::path p = dir.path() / c.relative;
        WriteBytes(p, "A,1,2\r\n");
        const std::string why = PointFileRefusal(p.string());
        EXPECT_EQ(why.empty(), c.accepted) << c.relative << ": " << why;
        if (!c.accepted) {
            EXPECT_NE(why.find(p.filename().string()), std::string::npos) << why;
        }
    }
}

TEST_F(Points, AChosenFileIsRememberedAndReloadedARefusedOneChangesNothing)
{
    const fs::path good = dir.path() / "taro.yamada" / "points.csv";
    WriteBytes(good, "BM1,-33052.977,-6517.124\r\n");
    SetPointSession session(home());
    EXPECT_TRUE(session.Open(&messages).rows.empty());  // nothing remembered yet
    bool accepted = false;
    EXPECT_EQ(session.Choose(good.string(), accepted, &messages).rows.size(), 1u);
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadBytes(PointFileNamePath(home())), good.string() + "\r\n");

    const fs::path bad = dir.path() / "points.v2.csv";
    WriteBytes(bad, "X,1,2\r\n");
    EXPECT_TRUE(session.Choose(bad.string(), accepted, &messages).rows.empty());
    EXPECT_FALSE(accepted);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(ReadBytes(PointFileNamePath(home())), good.string() + "\r\n");

    // Opened again, blanks around the remembered name are trimmed.
    WriteBytes(PointFileNamePath(home()), "  " + good.string() + "  \r\n");
    SetPointSession again(home());
    const PointList list = again.Open(&messages);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].name, "BM1");
}

TEST_F(Points, ARememberedFifoIsNotOpenedAndAChosenOneIsRefused)
{
    const fs::path fifo = dir.path() / "pipe.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteBytes(PointFileNamePath(home()), fifo.string() + "\r\n");
    SetPointSession session(home());
    const PointList list = session.Open(&messages);  // would block if it opened the FIFO
    EXPECT_FALSE(list.opened);
    EXPECT_TRUE(list.rows.empty());
    bool accepted = true;
    session.Choose(fifo.string(), accepted, &messages);
    EXPECT_FALSE(accepted);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("通常のファイルではない"), std::string::npos);
}

TEST_F(Points, AFileOfMoreThan999PointsLoadsTheFirst999AndSaysSo)
{
    const fs::path file = dir.path() / "many.txt";
    std::string text;
    for (int i = 1; i <= 1005; ++i) text += "P" + std::to_string(i) + "," + std::to_string(i) + ",0\r\n";
    WriteBytes(file, text);
    SetPointSession session(home());
    bool accepted = false;
    const PointList list = session.Choose(file.string(), accepted, &messages);
    ASSERT_EQ(list.rows.size(), 999u);
    EXPECT_TRUE(list.truncated);
    EXPECT_EQ(list.rows.back().name, "P999");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("999"), std::string::npos);

    // Exactly 999 is no loss.
    text.resize(text.find("P1000,"));
    WriteBytes(file, text);
    EXPECT_FALSE(LoadPointFile(file.string()).truncated);
}

}  // namespace
}  // namespace tessaro::points
