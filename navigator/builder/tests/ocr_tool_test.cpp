// tessaro-tool ocr, run as a user runs it, on good and bad files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/scratch_dir.h"

namespace {

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun RunProgram(const std::filesystem::path& dir, const std::string& command, const std::string& args)
{
    const std::string cmd = command + " " + args + " > " + (dir / "out").string() +
                            " 2> " + (dir / "err").string();
    ToolRun r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(dir / "out");
    r.err = Slurp(dir / "err");
    return r;
}

ToolRun Tool(const std::filesystem::path& dir, const std::string& args)
{
    return RunProgram(dir, std::string(TESSARO_TOOL_PATH) + " ocr", args);
}

TEST(OcrToolTest, ReadsEveryFileAndNeverStops)
{
    tessaro::testsupport::ScratchDir dir("ocrtool");
    const std::string src = std::getenv("TESSARO_SOURCE_DIR");
    const std::string samples = src + "/data/MapPicSample/";
    const std::string kunit = "--kunit " + src + "/data/data1/KUnit.csv ";
    const std::string sample = Slurp(samples + "Sample04.jpg");
    std::ofstream(dir.path() / "empty.jpg", std::ios::binary);
    std::ofstream(dir.path() / "png.jpg", std::ios::binary) << "\x89PNG\r\n\x1a\n0000IHDR";
    std::ofstream(dir.path() / "cut.jpg", std::ios::binary) << sample.substr(0, sample.size() / 2);
    const std::string bad = (dir.path() / "empty.jpg").string() + " " + (dir.path() / "png.jpg").string() + " " +
                            (dir.path() / "missing.jpg").string();

    const ToolRun r = Tool(dir.path(), kunit + samples + "Sample01.jpg " + bad + " " + samples + "Sample10.jpg");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Sample01.jpg\t35-42-19.45\t139-45-00.18\t1740\n"
              "empty.jpg\t\t\t\n"
              "png.jpg\t\t\t\n"
              "missing.jpg\t\t\t\n"
              "Sample10.jpg\t35-42-03.24\t139-45-30.03\t391\n");

    // A truncated screenshot decodes as far as it goes: its bottom rows are
    // lost and the texts come out short or garbled, but the line is printed.
    const ToolRun cut = Tool(dir.path(), kunit + (dir.path() / "cut.jpg").string());
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.out.rfind("cut.jpg\t", 0), 0u);
    EXPECT_NE(cut.out, "cut.jpg\t35-42-09.72\t139-45-16.10\t870\n");

    // Without the unit glyphs every altitude reads 100; a threshold is passed on.
    const ToolRun none = Tool(dir.path(), "--kunit " + (dir.path() / "nokunit.csv").string() + " --threshold 170 " +
                                              samples + "Sample04.jpg");
    EXPECT_EQ(none.out, "Sample04.jpg\t35-42-09.72\t139-45-16.10\t100\n");
    EXPECT_NE(none.err.find("every altitude reads 100"), std::string::npos);

    for (const char* wrong : {"--threshold x a.jpg", "--threshold 300 a.jpg", "", "--bogus a.jpg"}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(Tool(dir.path(), wrong).status, 2);
    }
}

TEST(BuildIndexToolTest, ReproducesTheSampleIndexAndReportsWhatTheWindowShows)
{
    namespace fs = std::filesystem;
    tessaro::testsupport::ScratchDir dir("buildindex");
    const std::string src = std::getenv("TESSARO_SOURCE_DIR");
    const std::string tool = std::string(TESSARO_TOOL_PATH) + " buildindex";
    const std::string kunit = " --kunit " + src + "/data/data1/KUnit.csv";
    fs::copy(src + "/data/MapPicSample", dir.path() / "sample");
    const std::string shipped = Slurp(dir.path() / "sample/MapFileData1.dat");
    fs::remove(dir.path() / "sample/MapFileData1.dat");

    const ToolRun r = RunProgram(dir.path(), tool, (dir.path() / "sample").string() + kunit + " --write");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string lines = shipped;
    for (std::size_t p; (p = lines.find('\r')) != std::string::npos;) lines.erase(p, 1);
    EXPECT_EQ(r.out, lines + "zone,9\n");
    EXPECT_EQ(Slurp(dir.path() / "sample/MapFileData1.dat"), shipped);

    // A folder drawn by the sample generator: both screenshots read 150 m, the
    // second one 150 degrees east.
    const fs::path odd = dir.path() / "odd";
    fs::create_directories(odd);
    for (const char* n : {"a.jpg", "b.jpg"}) fs::copy_file(dir.path() / "sample/Sample04.jpg", odd / n);
    std::ofstream(odd / "MapFileData1.dat", std::ios::binary) << "1,a.jpg,35-42-09.72,139-45-16.10,150,0,0,9,0,0\r\n"
                                                                  "2,b.jpg,35-42-09.75,150-45-55.88,150,0,0,9,0,0\r\n";
    ASSERT_EQ(RunProgram(dir.path(), TESSARO_MAKE_SAMPLES_PATH, odd.string()).status, 0);
    const ToolRun o = RunProgram(dir.path(), tool, odd.string() + kunit + " --zone 9 --threshold 200");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "message,高度が異常です！,変換タイプを変えます。\n"
              "1,a.jpg,35-42-09.72,139-45-16.10,150,173,129,9,-7136.29,-32981.13\n"
              "2,b.jpg,35-42-09.75,150-45-55.88,150,173,129,9,991186.23,22595.24\n"
              "suspect,lon,2\n"
              "zone,9\n");
    // Without --write the folder's index is left alone.
    EXPECT_NE(Slurp(odd / "MapFileData1.dat").find("150,0,0"), std::string::npos);

    for (const std::string& wrong : {std::string(), odd.string() + " --zone 20", odd.string() + " --threshold x",
                                     (dir.path() / "missing").string(), odd.string() + " extra"}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(RunProgram(dir.path(), tool, wrong).status, 2);
    }
}

}  // namespace
