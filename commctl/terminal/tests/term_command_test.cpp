// tolvexctl term: the exact output for a few inputs, and its usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

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

// tolvexctl terminal on a pseudo-terminal (offscreen): the line's data
// reaches the window's terminal, whose VT52 answer comes back on the line,
// and the window is saved as a picture at the end.
TEST(TerminalCommand, TalksOnThePortAndSavesTheWindow)
{
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const std::string device = ttyname(slave);
    close(slave);
    const auto dir = std::filesystem::temp_directory_path() / ("term-window-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto picture = dir / "window.png";
    const std::string command = "QT_QPA_PLATFORM=offscreen TOLVEXCOMM_CONFIG_DIR=" + dir.string() +
                                " TOLVEXCOMM_COM8=" + device + " " + TOLVEXCTL +
                                " --port 8 terminal --emulation vt52 --quit-after 2500 --snapshot " + picture.string() +
                                " >/dev/null 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    // Ask until the terminal answers (it needs a moment to open the port).
    std::string got;
    const auto start = std::chrono::steady_clock::now();
    while (got.find("\x1b/Z") == std::string::npos && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        (void)::write(master, "\x1bZ", 2);
        pollfd pf{master, POLLIN, 0};
        if (::poll(&pf, 1, 200) > 0) {
            char buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
    }
    EXPECT_NE(got.find("\x1b/Z"), std::string::npos);
    const int rc = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
    EXPECT_TRUE(std::filesystem::exists(picture));
    close(master);
    std::filesystem::remove_all(dir);
}

}  // namespace
