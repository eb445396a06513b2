// tolvexctl term: the exact output for a few inputs, and its usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    std::string out;
    int status;
};

Result RunTerm(const std::string& args, const std::string& input)
{
    const auto file = std::filesystem::temp_directory_path() / ("term-input-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << input;
    const std::string command = std::string(TOLVEXCTL) + " term " + args + " < " + file.string() + " 2>/dev/null";
    Result r{"", -1};
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
        const int rc = ::pclose(p);
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::filesystem::remove(file);
    return r;
}

TEST(TermCommand, PrintsCursorLinesAttributesSentBytesAndErrors)
{
    struct Row {
        const char* args;
        std::string input;
        std::string expected;
    };
    const Row rows[] = {
        {"--emulation ansi --rows 3 --columns 8 --scroll-rows 1",
         "a\x1b[31;1mB\x1b[m\r\n\x82\xa0 \x1b[44m\x1b[K\r\n\r\nz",
         // K colours from the cursor on; the scroll blanks the new line in the current background.
         "cursor,3,2\nhist,1,aB\nrow,1,あ\nrow,2,\nrow,3,z\nattr,1,10 10 10 10 10\n"
         "attr,3,10 10 10 10 10 10 10 10\n"},
        {"--emulation vt52 --rows 2 --columns 5 --chunk 1", "\x1bZ\x1b" "Flqk\x1bG\x1bY!\"x\x05",
         "cursor,2,5\nrow,1,┌─┐\nrow,2,  x\x05\nsent,1B 2F 5A\n"},
        {"--emulation vt100 --rows 2 --columns 4 --chunk 3 --fore-color 7 --back-color 0",
         // Pieces "ab\x1b" "[9;" "9Hc" "d\x1b[" "7me" "f\x1b[" "9;1" "H": the third and the last raise 380.
         "ab\x1b[9;9Hcd\x1b[7mef\x1b[9;1H", "cursor,2,2\nrow,1,abde\nrow,2,f\nattr,1,70\nattr,2,70\nerror,380\nerror,380\n"},
        {"--emulation vt100 --rows 1 --columns 3 --fore-color 7 --back-color 0", "\x1b[7mx",
         "cursor,1,2\nrow,1,x\nattr,1,70\n"},
        {"--emulation tty --rows 2 --columns 3 --backspace 1", "abc\x01\b\b\x1b", "cursor,2,2\nrow,1,abc\nrow,2,\x1b\n"},
    };
    for (const auto& r : rows) {
        const Result got = RunTerm(r.args, r.input);
        EXPECT_EQ(got.status, 0) << r.args;
        EXPECT_EQ(got.out, r.expected) << r.args;
    }
}

TEST(TermCommand, RefusesBadArguments)
{
    for (const char* args : {"--emulation vt200 --rows 2 --columns 2", "--emulation tty --rows 0 --columns 2",
                             "--emulation tty --rows 2", "--emulation tty --rows 2 --columns 2 --fore-color 16",
                             "--emulation tty --rows 2 --columns 2 --chunk 0", "--emulation tty --rows 2 --columns 2 --what 1"})
        EXPECT_EQ(RunTerm(args, "").status, 2) << args;
}

}  // namespace
