#include "recording/record_files.h"

#include <sys/resource.h>

#include <csignal>

#include <gtest/gtest.h>

#include "recording/recording_session.h"
#include "state/nav_state.h"
#include "testsupport/scratch_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessaro::recording {
namespace {

namespace fs = std::filesystem;

class RecordFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(home_ / "data0");
        fs::create_directories(home_ / "data2");
    }
    std::string home() const { return home_.string(); }
    testsupport::ScratchDir scratch_{"rec"};
    const fs::path home_ = scratch_.path();
};

const LocalDateTime kJune23{2010, 6, 23, 13, 34, 55};
const LocalDateTime kJune24{2010, 6, 24, 8, 0, 1};

TEST_F(RecordFilesTest, NumberingAcrossRecordingsAndDays)
{
    // First recording ever: folder created, number 0.
    auto p = PrepareRecordStart(home(), kJune23);
    EXPECT_EQ(p.folder, "20100623");
    EXPECT_EQ(p.proposedName, "20100623_0.dat");
    EXPECT_TRUE(fs::is_directory(home_ / "data2" / "20100623"));
    // Stopping writes the next number.
    ASSERT_TRUE(WriteStoredStatus(home() + "/data0/StoredSTS.dat", {p.folder, std::int16_t(p.seq + 1), 0}));
    EXPECT_EQ(testsupport::ReadBytes(home_ / "data0" / "StoredSTS.dat"), "20100623\r\n 1 \r\n 0 \r\n");
    // Same day continues, next day starts again at 0.
    EXPECT_EQ(PrepareRecordStart(home(), kJune23).proposedName, "20100623_1.dat");
    EXPECT_EQ(PrepareRecordStart(home(), kJune24).proposedName, "20100624_0.dat");
}

TEST_F(RecordFilesTest, ProposalSkipsFilesThatHoldARecording)
{
    // StoredSTS.dat was lost but two recordings of the day exist; an empty
    // leftover file may be reused.
    fs::create_directories(home_ / "data2" / "20100623");
    testsupport::WriteBytes(home_ / "data2" / "20100623" / "20100623_0.dat", "x");
    testsupport::WriteBytes(home_ / "data2" / "20100623" / "20100623_1.dat", "x");
    testsupport::WriteBytes(home_ / "data2" / "20100623" / "20100623_2.dat", "");
    EXPECT_EQ(PrepareRecordStart(home(), kJune23).proposedName, "20100623_2.dat");
}

TEST_F(RecordFilesTest, StoredStatusReadingIsTolerant)
{
    struct {
        const char* bytes;
        std::string folder;
        int seq;
        int marks;
    } cases[] = {
        {"20100623\r\n 3 \r\n 0 \r\n", "20100623", 3, 0},
        {"20100623\n4 7\n", "20100623", 4, 7},
        {"20100623\r\n", "20100623", 0, 0},
        {"", "", 0, 0},
        {"20100623\r\nabc\r\n", "20100623", 0, 0},
        {"20100623\r\n99999999\r\n", "20100623", 32767, 0},
    };
    for (const auto& c : cases) {
        testsupport::WriteBytes(home_ / "data0" / "StoredSTS.dat", c.bytes);
        auto s = ReadStoredStatus(home() + "/data0/StoredSTS.dat");
        ASSERT_TRUE(s) << c.bytes;
        EXPECT_EQ(s->folder, c.folder) << c.bytes;
        EXPECT_EQ(s->seq, c.seq) << c.bytes;
        EXPECT_EQ(s->markCount, c.marks) << c.bytes;
    }
    EXPECT_FALSE(ReadStoredStatus(home() + "/data0/missing.dat"));
}

TEST_F(RecordFilesTest, HeaderLinesInCp932)
{
    geodesy::CurrentZone zone9{9, 36.0, 139.0 + 50.0 / 60.0};
    const auto header = RecordHeaderLines(kJune23, zone9);
    ASSERT_EQ(header.size(), 4u);
    EXPECT_EQ(header[0], "記録日時:2010/06/23/13:34:55");
    EXPECT_EQ(header[1], "日本測地系: 第9系");
    EXPECT_EQ(header[2], "ベース緯度経度: 緯度：36-00　経度：139-50");
    EXPECT_EQ(header[3], "");
    const fs::path file = home_ / "rec.dat";
    RecordFile rec;
    ASSERT_TRUE(rec.create(file.string(), header));
    ASSERT_TRUE(rec.writeLine("14:30:12,-12345.7,-35000.2,08,Navi,"));
    // The line is on disk before the file is closed.
    const std::string bytes = testsupport::ReadBytes(file);
    EXPECT_EQ(bytes.substr(bytes.size() - 37), "14:30:12,-12345.7,-35000.2,08,Navi,\r\n");
    EXPECT_EQ(bytes.substr(0, 9), "\x8B\x4C\x98\x5E\x93\xFA\x8E\x9E:");  // 記録日時:
    rec.close();
}

TEST_F(RecordFilesTest, ExistingRecordIsNeverTruncated)
{
    const fs::path day = home_ / "data2" / "20100623";
    fs::create_directories(day);
    testsupport::WriteBytes(day / "old.dat", "precious\r\n");
    EXPECT_EQ(CheckRecordFileName(day.string(), "old.dat"), NameProblem::Exists);
    EXPECT_EQ(CheckRecordFileName(day.string(), "new.dat"), NameProblem::None);
    for (const char* bad : {"", "  ", "../x.dat", "a/b.dat", "..", "c:\\x.dat"})
        EXPECT_EQ(CheckRecordFileName(day.string(), bad), NameProblem::Invalid) << bad;
    EXPECT_STRNE(NameProblemMessage(NameProblem::Exists), "");
    RecordFile rec;
    EXPECT_FALSE(rec.create((day / "old.dat").string(), {"h"}));
    EXPECT_EQ(testsupport::ReadBytes(day / "old.dat"), "precious\r\n");
}

// A full disk while recording, made by a file size limit: the user is told
// once, every line written before stays whole, and the recording carries on
// once there is room again.
TEST_F(RecordFilesTest, AFullDiskIsToldOnceAndLeavesWholeLines)
{
    NavState state;
    RecordingSession session(state);
    const auto& proposal = session.Prepare(kJune23);
    ASSERT_EQ(session.Begin(proposal.proposedName, 1, kJune23), "");
    const fs::path file = fs::path(proposal.dayFolderPath) / proposal.proposedName;
    const auto header = fs::file_size(file);
    const std::string line = "13:35:00,-6636.3,-33281.1,08,Navi,";  // 36 bytes with CR LF

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = header + 3 * 36 + 20;  // room for three lines and part of a fourth
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<std::string> told;
    for (int i = 0; i < 6; ++i)
        if (auto m = session.WriteLine(line); !m.empty()) told.push_back(m);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("書き込めません"), std::string::npos);
    EXPECT_EQ(fs::file_size(file), header + 3 * 36);
    // Room again: the next line is written.
    EXPECT_EQ(session.WriteLine(line), "");
    session.Close();
    std::ifstream in(file, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all.substr(header), line + "\r\n" + line + "\r\n" + line + "\r\n" + line + "\r\n");
}

}  // namespace
}  // namespace tessaro::recording
