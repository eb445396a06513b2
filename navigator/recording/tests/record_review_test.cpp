// Review of recorded files: the file list, reading a record file back, and
// the mark-point list.
#include "recording/record_review.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gps/gga_decoder.h"
#include "recording/record_files.h"
#include "shell/values.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::recording {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p, const std::string& text = "")
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

TEST(RecordReview, FileListShowsEachDayOnceAndOnlyRecordFiles)
{
    testsupport::ScratchDir root("review");
    Touch(root.path() / "20100622/20100622_1.dat");
    Touch(root.path() / "20100622/20100622_0.dat");
    Touch(root.path() / "20100623/20100623_0.dat");
    Touch(root.path() / "20100623/20100623_1.Dat");  // only "dat" and "DAT" count
    Touch(root.path() / "20100623/notes.txt");
    Touch(root.path() / "20100624/20100624_0.DAT");
    fs::create_directories(root.path() / "20100625");  // no record files: no row
    const auto rows = ListRecordFiles(root.path().string());
    struct Want {
        const char* date;
        const char* file;
        const char* day;
    };
    const Want want[] = {{"2010/06/22", "20100622_0.dat", "20100622"},
                         {"", "20100622_1.dat", "20100622"},
                         {"2010/06/23", "20100623_0.dat", "20100623"},
                         {"2010/06/24", "20100624_0.DAT", "20100624"}};
    ASSERT_EQ(rows.size(), std::size(want));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].dateText, want[i].date) << i;
        EXPECT_EQ(rows[i].fileName, want[i].file) << i;
        EXPECT_EQ(rows[i].dayFolder, want[i].day) << i;
    }

    // More than the 1999 rows the list once stopped at.
    for (int i = 0; i < 2100; ++i) Touch(root.path() / "20100701" / ("20100701_" + std::to_string(i) + ".dat"));
    EXPECT_EQ(ListRecordFiles(root.path().string()).size(), 2104u);
}

// What the live recording path writes is read back point for point.
TEST(RecordReview, ARecordFileOfTheRecordingPathReadsBack)
{
    testsupport::ScratchDir dir("review");
    geodesy::CurrentZone zone;
    geodesy::SetCurrentZone(9, zone);
    RecordFile file;
    const std::string path = (dir.path() / "20100508_0.dat").string();
    ASSERT_TRUE(file.create(path, RecordHeaderLines({2010, 5, 8, 10, 0, 0}, zone)));
    struct Fix {
        const char* time;
        double e;
        float n;
    };
    const Fix fixes[] = {{"10:00:00", -6512.34, -33201.26f}, {"10:00:01", -6513.0, -33200.0f}, {"10:00:02", 0.04, -0.06f}};
    for (const Fix& f : fixes) ASSERT_TRUE(file.writeLine(gps::FormatRecordLine(f.time, f.e, f.n, "08", "Navi")));
    // The cut last line a crash may leave.
    ASSERT_TRUE(file.writeLine("10:00:0"));
    file.close();

    auto lists = std::make_unique<overlays::OverlayLists>();
    const RecordLoad load = LoadRecordFile(path, *lists, 9);
    ASSERT_EQ(lists->RecordPointCount, 3);
    EXPECT_EQ(load.skippedLines, 1);
    EXPECT_EQ(load.fileZone, 9);
    EXPECT_TRUE(load.messages.empty());
    for (int i = 0; i < 3; ++i) {
        const auto u = static_cast<std::size_t>(i);
        EXPECT_EQ(lists->RecordPointInfo[u], fixes[i].time);
        EXPECT_EQ(lists->RecordPointEasting[u], NumericValue(FormatFixed(fixes[i].e, 1)));
        EXPECT_EQ(lists->RecordPointNorthing[u], static_cast<float>(NumericValue(FormatFixed(fixes[i].n, 1))));
    }

    // Another zone current: the user is told.
    EXPECT_EQ(LoadRecordFile(path, *lists, 8).messages.size(), 1u);
}

TEST(RecordReview, TenThousandPointsAndTheLimitBeyond)
{
    testsupport::ScratchDir dir("review");
    auto write = [&](int lines) {
        const fs::path p = dir.path() / ("n" + std::to_string(lines) + ".dat");
        std::ofstream out(p);
        out << "h1\r\nh2\r\nh3\r\n\r\n";
        for (int i = 0; i < lines; ++i) out << "10:00:00," << i << ".5,-" << i << ".5,08,Navi,\r\n";
        return p.string();
    };
    auto lists = std::make_unique<overlays::OverlayLists>();
    struct Case {
        int lines, points;
        bool message;
    };
    for (const Case c : {Case{10000, 10000, false}, Case{10001, 10001, true}, Case{10005, 10001, true}}) {
        const RecordLoad load = LoadRecordFile(write(c.lines), *lists, 0);
        EXPECT_EQ(lists->RecordPointCount, c.points) << c.lines;
        EXPECT_EQ(!load.messages.empty() && load.messages[0] == kRecordPointLimitMessage, c.message) << c.lines;
    }
    EXPECT_EQ(lists->RecordPointEasting[10000], 10000.5);

    // Nothing to show: unreadable, or only the header.
    EXPECT_FALSE(LoadRecordFile((dir.path() / "missing.dat").string(), *lists, 0).readable);
    EXPECT_EQ(lists->RecordPointCount, 0);
    const RecordLoad empty = LoadRecordFile(write(0), *lists, 0);
    EXPECT_TRUE(empty.readable);
    EXPECT_EQ(empty.points, 0);
    EXPECT_EQ(empty.messages.size(), 1u);
}

TEST(MarkList, DistancesTotalsAndLocalTimes)
{
    overlays::OverlayLists s;
    const struct {
        const char* utc;
        float e, n;
        bool placed;
    } marks[] = {{"160512.00", 0, 0, true}, {"145959", 30, 40, true}, {"0", 0, 0, false}, {"053012.00", 30, 0, true}};
    s.MKPointCount = 4;
    for (std::size_t i = 0; i < 4; ++i) {
        s.MKPointTime[i] = marks[i].utc;
        s.MKPointEasting[i] = marks[i].e;
        s.MKPointNorthing[i] = marks[i].n;
        s.MKPointPlaced[i] = marks[i].placed;
    }
    const auto rows = MarkListRows(s);
    ASSERT_EQ(rows.size(), 4u);
    const char* want[4][4] = {{"1", "01:05:12", "0", "0"},
                              {"2", "23:59:59", "50.0", "50.0"},
                              {"3", "09::", "", ""},
                              {"4", "14:30:12", "40.0", "90.0"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i].number, want[i][0]);
        EXPECT_EQ(rows[i].time, want[i][1]);
        EXPECT_EQ(rows[i].distance, want[i][2]);
        EXPECT_EQ(rows[i].total, want[i][3]);
    }
    s.MKPointCount = 0;
    EXPECT_TRUE(MarkListRows(s).empty());
}

}  // namespace
}  // namespace tessaro::recording
