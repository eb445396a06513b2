// B Plus on a pseudo-terminal: tolvexctl against the scripted host tool
// (bplus_host), both variants and both directions, hostile names, and the
// host choosing the other direction than the command line did.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lrzsz_kit.h"

namespace {

using namespace tolvex::transfer::lrzsz;
namespace fs = std::filesystem;

constexpr int kPort = 11;

class BPlusPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tolvex-bplus-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "cfg");
        fs::create_directories(src());
        fs::create_directories(dst());
        relay_ = std::make_unique<Relay>();
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path src() const { return root_ / "src"; }
    fs::path dst() const { return root_ / "dst"; }

    // tolvexctl with `args` in `cwd`; once it waits, the host with `host`.
    int Transfer(const std::vector<std::string>& args, const std::vector<std::string>& host, std::string& out,
                 int& host_status, const fs::path& cwd)
    {
        std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", "115200,N,8,1"};
        argv.insert(argv.end(), args.begin(), args.end());
        Child tool = Spawn(argv, cwd, -1, -2,
                           {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay_->control_path(),
                            "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
        EXPECT_GT(tool.pid, 0);
        EXPECT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
        std::vector<std::string> h = {BPLUS_HOST};
        h.insert(h.end(), host.begin(), host.end());
        Child other = Spawn(h, src(), relay_->peer_fd(), relay_->peer_fd(), {}, (root_ / "host.log").string());
        const int status = tool.Wait(60000);
        host_status = other.Wait(10000);
        ReadAll(tool.out, out);
        ::close(tool.out);
        out += ReadFile(root_ / "host.log");
        return status;
    }

    fs::path root_;
    std::unique_ptr<Relay> relay_;
};

TEST_F(BPlusPty, BothVariantsBothDirections)
{
    const std::string data = Random(150000, 3);
    WriteFile(src() / "DATA.BIN", data);
    for (const char* protocol : {"7", "8"}) {
        SCOPED_TRACE(protocol);
        std::string out;
        int host = -1;
        // The host sends ("TD"): into the download folder.
        EXPECT_EQ(Transfer({"xfer", "download", "--protocol", protocol, "--dir", dst().string()},
                           {"send", "DATA.BIN", "DATA.BIN"}, out, host, root_),
                  0)
            << out;
        EXPECT_EQ(host, 0) << out;
        EXPECT_TRUE(ReadFile(dst() / "DATA.BIN") == data);
        EXPECT_NE(out.find("xfer,7,"), std::string::npos) << out;
        fs::remove(dst() / "DATA.BIN");
        // The host fetches ("TU") the file tolvexctl queued.
        out.clear();
        const fs::path got = root_ / "fetched.bin";
        EXPECT_EQ(Transfer({"xfer", "upload", "--protocol", protocol, (src() / "DATA.BIN").string()},
                           {"fetch", "DATA.BIN", got.string()}, out, host, root_),
                  0)
            << out;
        EXPECT_EQ(host, 0) << out;
        EXPECT_TRUE(ReadFile(got) == data);
        fs::remove(got);
    }
}

TEST_F(BPlusPty, HostileNamesAndRequestsAreRefused)
{
    WriteFile(src() / "evil.src", "payload");
    std::string out;
    int host = -1;
    // A name with a path lands in the download folder under its last part.
    EXPECT_EQ(Transfer({"xfer", "download", "--protocol", "7", "--dir", dst().string()},
                       {"send", "../evil.txt", "evil.src"}, out, host, root_),
              0)
        << out;
    EXPECT_EQ(ReadFile(dst() / "evil.txt"), "payload");
    EXPECT_FALSE(fs::exists(root_ / "evil.txt"));
    // A file nobody queued: refused with the protocol's failure.
    WriteFile(root_ / "secret", "key");
    out.clear();
    WriteFile(src() / "queued.bin", "ok");
    EXPECT_EQ(Transfer({"xfer", "upload", "--protocol", "8", (src() / "queued.bin").string()},
                       {"fetch", (root_ / "secret").string(), (root_ / "stolen").string()}, out, host, root_),
              1)
        << out;
    EXPECT_EQ(host, 1);
    EXPECT_NE(out.find("FMCannot access file "), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(root_ / "stolen"));
}

// `xfer upload` follows the host when it sends instead: the file lands in
// the current folder.
TEST_F(BPlusPty, TheHostChoosesTheDirection)
{
    WriteFile(src() / "queued.bin", "ignored");
    WriteFile(src() / "H.TXT", "from the host");
    std::string out;
    int host = -1;
    EXPECT_EQ(Transfer({"xfer", "upload", "--protocol", "7", (src() / "queued.bin").string()},
                       {"send", "H.TXT", "H.TXT"}, out, host, dst()),
              0)
        << out;
    EXPECT_EQ(ReadFile(dst() / "H.TXT"), "from the host");
}

// Ctrl-C during a download: the control aborts and the host hears the
// failure packet (CompuServe: after its quiet time).
TEST_F(BPlusPty, InterruptAbortsAndTellsTheHost)
{
    WriteFile(src() / "BIG.BIN", Random(16u << 20, 5));
    std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "xfer", "download", "--protocol",
                                     "7", "--dir", dst().string()};
    Child tool = Spawn(argv, root_, -1, -2,
                       {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay_->control_path(),
                        "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
    std::string out;
    ASSERT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
    Child host = Spawn({BPLUS_HOST, "send", "BIG.BIN", "BIG.BIN"}, src(), relay_->peer_fd(), relay_->peer_fd(), {},
                       (root_ / "host.log").string());
    // Once data flows, interrupt.
    for (int i = 0; i < 300 && out.find("xfer,4,") == std::string::npos; ++i) {
        std::string more;
        if (!ReadUntilLine(tool.out, more, 100) && more.empty())
            continue;
        out += more;
    }
    ASSERT_NE(out.find("xfer,4,"), std::string::npos) << out;
    ::kill(tool.pid, SIGINT);
    EXPECT_EQ(tool.Wait(30000), 1);
    EXPECT_EQ(host.Wait(30000), 1);
    ReadAll(tool.out, out);
    ::close(tool.out);
    EXPECT_NE(out.find("xfer,6,"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,-1,\n");
    EXPECT_NE(ReadFile(root_ / "host.log").find("FATransfer cancelled"), std::string::npos)
        << ReadFile(root_ / "host.log");
    EXPECT_LT(fs::file_size(dst() / "BIG.BIN"), 16u << 20);
}

TEST_F(BPlusPty, LineGoneEndsTheTransferAtOnce)
{
    // The host never began; then the line goes away: status 8 at once,
    // instead of running out the start reads (60 s).
    std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "xfer", "download", "--protocol",
                                     "8", "--dir", dst().string()};
    Child tool = Spawn(argv, root_, -1, -2,
                       {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay_->control_path(),
                        "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
    std::string out;
    ASSERT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
    const auto t0 = Clock::now();
    relay_->HangUp();
    EXPECT_EQ(tool.Wait(5000), 1);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 3.0);
    ReadAll(tool.out, out);
    ::close(tool.out);
    EXPECT_NE(out.find("xfer,8,"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,-1,\n");
}

}  // namespace
