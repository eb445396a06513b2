// ZModem against lrzsz (sz, rz): tolvexctl on a pseudo-terminal relayed to
// lrzsz. Files must cross byte for byte with the sender's time; names from
// the line stay inside the download folder; resume, skip and damaged data
// behave as both sides expect.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lrzsz_kit.h"

namespace {

using namespace tolvex::transfer::lrzsz;
namespace fs = std::filesystem;

constexpr int kPort = 9;
constexpr std::time_t kTime = 1600000000;  // 2020-09-13

bool HaveZModem() { return ::access("/usr/bin/sz", X_OK) == 0 && ::access("/usr/bin/rz", X_OK) == 0; }

class ZModemLrzsz : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveZModem())
            GTEST_SKIP() << "lrzsz is not installed";
        root_ = fs::temp_directory_path() / ("tolvex-zmodem-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "cfg");
        fs::create_directories(src());
        fs::create_directories(dst());
    }
    void TearDown() override
    {
        if (!root_.empty())
            fs::remove_all(root_);
    }
    fs::path src() const { return root_ / "src"; }
    fs::path dst() const { return root_ / "dst"; }

    // tolvexctl with `args`, and `peer` in `peer_cwd` once the transfer runs.
    int Transfer(const std::vector<std::string>& args, const std::vector<std::string>& peer, const fs::path& peer_cwd,
                 std::string& out, int& peer_status)
    {
        Relay relay;
        std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", "115200,N,8,1"};
        argv.insert(argv.end(), args.begin(), args.end());
        Child tool = Spawn(argv, root_, -1, -2,
                           {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                            "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
        EXPECT_GT(tool.pid, 0);
        EXPECT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
        Child other = Spawn(peer, peer_cwd, relay.peer_fd(), relay.peer_fd(), {}, (root_ / "peer.log").string());
        const int status = tool.Wait(30000);
        peer_status = other.Wait(5000);
        ReadAll(tool.out, out);
        ::close(tool.out);
        if (status != 0 || peer_status != 0)
            out += "peer said:\n" + ReadFile(root_ / "peer.log");
        fs::remove(root_ / "peer.log");
        return status;
    }

    fs::path root_;
};

TEST_F(ZModemLrzsz, DownloadFromSz)
{
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::size_t size;
    };
    const Case cases[] = {
        {"sz", {}, 200000},
        {"sz -e", {"-e"}, 70000},
        {"sz -o (CRC-16)", {"-o"}, 70000},
        {"sz -8 (8 KiB subpackets)", {"-8"}, 300000},
        {"sz -w 2048", {"-w", "2048"}, 70000},
        {"empty file", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dst());
        fs::create_directories(dst());
        const std::string data = Random(c.size, 11);
        WriteFile(src() / "f.bin", data, kTime);
        std::vector<std::string> peer = {"/usr/bin/sz"};
        peer.insert(peer.end(), c.options.begin(), c.options.end());
        peer.push_back("f.bin");
        std::string out;
        int peer_status = 0;
        const int status =
            Transfer({"xfer", "download", "--protocol", "5", "--dir", dst().string()}, peer, src(), out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0) << out;
        EXPECT_TRUE(ReadFile(dst() / "f.bin") == data);
        EXPECT_EQ(MTime(dst() / "f.bin"), kTime);
        EXPECT_NE(out.find("xfer,7,"), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,0,\n");
    }
}

TEST_F(ZModemLrzsz, HostileNamesStayInTheDownloadFolder)
{
    struct Case {
        const char* what;
        std::vector<std::string> sz;
        fs::path cwd;
        std::string stored;
    };
    fs::create_directories(src() / "sub");
    WriteFile(src() / "evil.txt", "evil", kTime);
    WriteFile(src() / "abs.name", "abs", kTime);
    const Case cases[] = {
        {"sz -f ../evil.txt", {"/usr/bin/sz", "-f", "../evil.txt"}, src() / "sub", "evil.txt"},
        {"sz -d -f of an absolute name", {"/usr/bin/sz", "-d", "-f", (src() / "abs.name").string()}, src(), "name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dst());
        fs::create_directories(dst());
        std::string out;
        int peer_status = 0;
        const int status =
            Transfer({"xfer", "download", "--protocol", "5", "--dir", dst().string()}, c.sz, c.cwd, out, peer_status);
        EXPECT_EQ(status, 0) << out;
        // Exactly one file, in the folder.
        std::vector<fs::path> got;
        for (const auto& e : fs::recursive_directory_iterator(dst()))
            got.push_back(e.path());
        ASSERT_EQ(got.size(), 1u) << out;
        EXPECT_EQ(got[0], dst() / c.stored);
        EXPECT_EQ(MTime(got[0]), kTime);
        EXPECT_FALSE(fs::exists(root_ / "evil.txt"));
    }
}

TEST_F(ZModemLrzsz, BatchAndResumeFromSz)
{
    const std::string a = Random(50000, 1), b = Random(123457, 2);
    WriteFile(src() / "a.bin", a, kTime);
    WriteFile(src() / "b.bin", b, kTime + 60);
    std::string out;
    int peer_status = 0;
    int status = Transfer({"xfer", "download", "--protocol", "5", "--dir", dst().string()},
                          {"/usr/bin/sz", "a.bin", "b.bin"}, src(), out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(ReadFile(dst() / "a.bin") == a);
    EXPECT_TRUE(ReadFile(dst() / "b.bin") == b);
    EXPECT_EQ(MTime(dst() / "b.bin"), kTime + 60);

    // A half-received file, resumed on the application's request (sz -r
    // alone does not make the receiver resume).
    WriteFile(dst() / "b.bin", b.substr(0, 60000), 5);
    out.clear();
    status = Transfer({"xfer", "download", "--protocol", "5", "--dir", dst().string(), "--resume"},
                      {"/usr/bin/sz", "-r", "b.bin"}, src(), out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(peer_status, 0) << out;
    EXPECT_TRUE(ReadFile(dst() / "b.bin") == b);
    EXPECT_EQ(MTime(dst() / "b.bin"), kTime + 60);
}

TEST_F(ZModemLrzsz, UploadToRz)
{
    struct Case {
        const char* what;
        std::vector<std::string> rz;
        std::size_t size;
    };
    const Case cases[] = {
        {"rz", {"/usr/bin/rz"}, 200000},
        {"rz -e", {"/usr/bin/rz", "-e"}, 70000},
        // Damaged data every 20000 bytes: each is mended by ZRPOS.
        {"rz --errors 20000", {"/usr/bin/rz", "--errors", "20000"}, 100000},
        {"empty file", {"/usr/bin/rz"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dst());
        fs::create_directories(dst());
        const std::string data = Random(c.size, 5);
        WriteFile(src() / "up.bin", data, kTime);
        std::string out;
        int peer_status = 0;
        const int status = Transfer({"xfer", "upload", "--protocol", "5", (src() / "up.bin").string()}, c.rz, dst(),
                                    out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0) << out;
        EXPECT_TRUE(ReadFile(dst() / "up.bin") == data);
        EXPECT_EQ(MTime(dst() / "up.bin"), kTime);
        EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,0,\n");
    }
}

TEST_F(ZModemLrzsz, RzResumesAndRefuses)
{
    const std::string data = Random(150000, 8);
    WriteFile(src() / "up.bin", data, kTime);
    WriteFile(src() / "two.bin", "second", kTime);
    // rz -r continues a part it holds.
    WriteFile(dst() / "up.bin", data.substr(0, 70000), 5);
    std::string out;
    int peer_status = 0;
    int status = Transfer({"xfer", "upload", "--protocol", "5", (src() / "up.bin").string()},
                          {"/usr/bin/rz", "-r"}, dst(), out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(ReadFile(dst() / "up.bin") == data);
    EXPECT_EQ(MTime(dst() / "up.bin"), kTime);

    // Plain rz refuses a file it has: skipped (not an error), the batch goes on.
    WriteFile(dst() / "up.bin", "mine", 5);
    out.clear();
    status = Transfer({"xfer", "upload", "--protocol", "5", (src() / "up.bin").string(), (src() / "two.bin").string()},
                      {"/usr/bin/rz"}, dst(), out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("xfer,5,"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dst() / "up.bin"), "mine");
    EXPECT_EQ(ReadFile(dst() / "two.bin"), "second");
}

TEST_F(ZModemLrzsz, TerminalAnswersAStartingSender)
{
    // sz started on the far side of the terminal: its ZRQINIT raises event 8
    // and the terminal command answers with a download into its folder.
    const std::string data = Random(90000, 3);
    WriteFile(src() / "auto.bin", data, kTime);
    Relay relay;
    const fs::path log = root_ / "terminal.log";
    Child tool = Spawn({TOLVEXCTL, "--port", std::to_string(kPort), "terminal"}, dst(), -1, -1,
                       {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                        "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string(), "QT_QPA_PLATFORM=offscreen"},
                       log.string());
    ASSERT_GT(tool.pid, 0);
    using Clock = std::chrono::steady_clock;
    auto wait_for = [&](const std::string& text, int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (ReadFile(log).find(text) == std::string::npos && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return ReadFile(log).find(text) != std::string::npos;
    };
    ASSERT_TRUE(wait_for("COM9", 5000)) << ReadFile(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the port opens after the line
    Child sz = Spawn({"/usr/bin/sz", "auto.bin"}, src(), relay.peer_fd(), relay.peer_fd());
    EXPECT_EQ(sz.Wait(20000), 0);
    EXPECT_TRUE(wait_for("xfer,0,", 5000)) << ReadFile(log);
    ::kill(tool.pid, SIGTERM);
    EXPECT_EQ(tool.Wait(5000), 0);
    EXPECT_TRUE(ReadFile(dst() / "auto.bin") == data);
    EXPECT_EQ(MTime(dst() / "auto.bin"), kTime);
}

TEST_F(ZModemLrzsz, DeadLineEndsTheDownloadAtOnce)
{
    // The far side goes away in the middle of a file: status 8 at once, not
    // twenty receive timeouts.
    WriteFile(src() / "big.bin", Random(8 << 20, 4), kTime);
    Relay relay;
    Child tool = Spawn({TOLVEXCTL, "--port", std::to_string(kPort), "xfer", "download", "--protocol", "5", "--dir",
                        dst().string()},
                       root_, -1, -2,
                       {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                        "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
    std::string out;
    ASSERT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
    Child sz = Spawn({"/usr/bin/sz", "big.bin"}, src(), relay.peer_fd(), relay.peer_fd());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.find("xfer,3,") == std::string::npos && std::chrono::steady_clock::now() < end) {
        std::string more;
        ReadUntilLine(tool.out, more, 100);
        out += more;
    }
    ASSERT_NE(out.find("xfer,3,"), std::string::npos) << out;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = std::chrono::steady_clock::now();
    relay.HangUp();
    EXPECT_EQ(tool.Wait(10000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
    ReadAll(tool.out, out);
    ::close(tool.out);
    ::kill(sz.pid, SIGKILL);
    sz.Wait(2000);
    EXPECT_NE(out.find("xfer,8,"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,-1,\n");
    // The part keeps its local time.
    EXPECT_NE(MTime(dst() / "big.bin"), kTime);
}

TEST_F(ZModemLrzsz, DownloadWaitsForTheSendersStart)
{
    // xfer download --auto: nothing is sent until sz's ZRQINIT raises
    // event 8; the download that answers it receives the file.
    const std::string data = Random(30000, 6);
    WriteFile(src() / "late.bin", data, kTime);
    Relay relay;
    Child tool = Spawn({TOLVEXCTL, "--port", std::to_string(kPort), "xfer", "download", "--protocol", "5", "--auto",
                        "--dir", dst().string()},
                       root_, -1, -2,
                       {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                        "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    Child sz = Spawn({"/usr/bin/sz", "late.bin"}, src(), relay.peer_fd(), relay.peer_fd());
    EXPECT_EQ(tool.Wait(20000), 0);
    EXPECT_EQ(sz.Wait(5000), 0);
    std::string out;
    ReadAll(tool.out, out);
    ::close(tool.out);
    EXPECT_TRUE(out.rfind("xfer,1,", 0) == 0) << out;  // no event before the sender began
    EXPECT_TRUE(ReadFile(dst() / "late.bin") == data);
    EXPECT_EQ(MTime(dst() / "late.bin"), kTime);
}

}  // namespace
