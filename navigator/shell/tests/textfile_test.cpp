#include "shell/textfile.h"

#include <gtest/gtest.h>

#include "testsupport/scratch_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (dir_ / name).string(); }
    testsupport::ScratchDir scratch_{"textfile"};
    const fs::path dir_ = scratch_.path();
};

TEST_F(TextFileTest, WritesCp932WithCrLfAndReadsItBack)
{
    const std::string p = path("a.dat");
    ASSERT_TRUE(WriteTextLinesAtomic(p, {"D:\\地図\\京都", " 16 ", "-12345.6,-35000.2"}));
    // 地 = 0x926E, 図 = 0x907D, 京 = 0x8B9E, 都 = 0x9373 in CP932.
    EXPECT_EQ(testsupport::ReadBytes(p), "D:\\\x92\x6E\x90\x7D\\\x8B\x9E\x93\x73\r\n 16 \r\n-12345.6,-35000.2\r\n");
    auto lines = ReadTextLines(p);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"D:\\地図\\京都", " 16 ", "-12345.6,-35000.2"}));
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(TextFileTest, TolerantReading)
{
    struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
        std::size_t replaced;
    } cases[] = {
        {"lf only", "a\nb\n", {"a", "b"}, 0},
        {"no final newline", "a\r\nb", {"a", "b"}, 0},
        {"utf8 bom", "\xEF\xBB\xBF" "東京\r\nx\n", {"東京", "x"}, 0},
        {"bad cp932", "ok\x81\nz\n", {"ok\xEF\xBF\xBD", "z"}, 1},
        {"bad utf8 after bom", "\xEF\xBB\xBF" "a\xFF" "b\n", {"a\xEF\xBF\xBD" "b"}, 1},
        {"lone cr stays", "a\rb\n", {"a\rb"}, 0},
        {"empty lines", "\r\n\r\n", {"", ""}, 0},
        {"half-width kana", "\xB1\n", {"ｱ"}, 0},
    };
    for (const auto& c : cases) {
        const std::string p = path("in.txt");
        testsupport::WriteBytes(p, c.bytes);
        TextReader r;
        ASSERT_TRUE(r.open(p)) << c.name;
        std::vector<std::string> got;
        std::string line;
        while (r.readLine(line)) got.push_back(line);
        EXPECT_EQ(got, c.lines) << c.name;
        EXPECT_EQ(r.replacedBytes(), c.replaced) << c.name;
    }
    EXPECT_FALSE(ReadTextLines(path("missing")));
}

TEST_F(TextFileTest, AtomicWriteFailureKeepsTheOldFile)
{
    const std::string p = path("keep.dat");
    ASSERT_TRUE(WriteTextLinesAtomic(p, {"old"}));
    std::string error;
    EXPECT_FALSE(WriteTextLinesAtomic(path("no-such-dir/x.dat"), {"new"}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(testsupport::ReadBytes(p), "old\r\n");
}

TEST_F(TextFileTest, UnmappableCharactersBecomeQuestionMarks)
{
    std::size_t unmapped = 0;
    EXPECT_EQ(Utf8ToCp932("a😀b", &unmapped), "a?b");
    EXPECT_EQ(unmapped, 1u);
}

TEST_F(TextFileTest, AppenderWritesEachLineAtOnce)
{
    const std::string p = path("rec.txt");
    LineAppender a;
    ASSERT_TRUE(a.open(p, true));
    ASSERT_TRUE(a.writeLine("14:30:12,-12345.7,-35000.2,08,Navi,"));
    // Visible in the file before the appender is closed.
    EXPECT_EQ(testsupport::ReadBytes(p), "14:30:12,-12345.7,-35000.2,08,Navi,\r\n");
    ASSERT_TRUE(a.writeLine("記録"));
    ASSERT_TRUE(a.close());
    EXPECT_EQ(testsupport::ReadBytes(p), "14:30:12,-12345.7,-35000.2,08,Navi,\r\n\x8B\x4C\x98\x5E\r\n");
}

}  // namespace
}  // namespace tessaro
