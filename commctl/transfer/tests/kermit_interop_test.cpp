// Kermit against C-Kermit (kermit) and G-Kermit (gkermit): tolvexctl on a
// pseudo-terminal relayed to the peer. Files must cross byte for byte in
// both directions, with the peer's default negotiation (it offers long
// packets, windows and more; the control answers with the basic protocol),
// with ROBUST settings and with space parity on 7 data bits; a hostile name
// from the line stays inside the download folder.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kermit_kit.h"

namespace {

using namespace tolvex::transfer::lrzsz;
using namespace tolvex::transfer::kermit_kit;
namespace fs = std::filesystem;

constexpr int kPort = 11;
class KermitPeers : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tolvex-kermit-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "cfg");
        Fresh();
    }
    void TearDown() override
    {
        if (!root_.empty())
            fs::remove_all(root_);
    }
    void Fresh()
    {
        fs::remove_all(src());
        fs::remove_all(dst());
        fs::create_directories(src());
        fs::create_directories(dst());
    }
    fs::path src() const { return root_ / "src"; }
    fs::path dst() const { return root_ / "dst"; }

    // tolvexctl with `args` on a line with `settings`, and `peer` in
    // `peer_cwd` once the transfer runs. The peer's status goes to
    // `peer_status`; tolvexctl's is returned.
    int Transfer(const std::string& settings, const std::vector<std::string>& args,
                 const std::vector<std::string>& peer, const fs::path& peer_cwd, std::string& out, int& peer_status)
    {
        PtyRelay relay;
        std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", settings};
        argv.insert(argv.end(), args.begin(), args.end());
        Child tool = Spawn(argv, root_, -1, -2,
                           {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                            "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
        EXPECT_GT(tool.pid, 0);
        EXPECT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
        Child other = Spawn(OnLine(peer, relay.peer_path(), root_ / "peer.ksc"), peer_cwd, relay.peer_fd(), relay.peer_fd(), {"HOME=" + root_.string()},
                            (root_ / "peer.log").string());
        if (running_) running_(relay);
        const int status = tool.Wait(60000);
        tool_done_ = std::chrono::steady_clock::now();
        peer_status = other.Wait(peer_wait_ms_);
        ReadAll(tool.out, out);
        ::close(tool.out);
        if (status != 0 || peer_status != 0)
            out += "peer said:\n" + ReadFile(root_ / "peer.log");
        fs::remove(root_ / "peer.log");
        return status;
    }

    fs::path root_;
    std::function<void(PtyRelay&)> running_;  // once the peer runs
    std::chrono::steady_clock::time_point tool_done_;
    int peer_wait_ms_ = 10000;  // for the peer to end after tolvexctl
};

struct Peer {
    const char* what;
    const char* binary;
    std::string settings;          // of the control's line
    std::vector<std::string> send; // the peer sending f.bin (its folder: src)
    std::vector<std::string> receive;
};

std::vector<Peer> Peers()
{
    return {
        {"C-Kermit, its defaults", kCKermit, "115200,N,8,1", CKermit("", "send f.bin"), CKermit("", "receive")},
        {"C-Kermit, ROBUST", kCKermit, "115200,N,8,1", CKermit("robust\n", "send f.bin"),
         CKermit("robust\n", "receive")},
        {"C-Kermit, space parity, 7 data bits", kCKermit, "115200,S,7,1",
         CKermit("set parity space\n", "send f.bin"), CKermit("set parity space\n", "receive")},
        {"G-Kermit", kGKermit, "115200,N,8,1", {kGKermit, "-q", "-i", "-P", "-s", "f.bin"},
         {kGKermit, "-q", "-i", "-P", "-w", "-r"}},
        {"G-Kermit, space parity, 7 data bits", kGKermit, "115200,S,7,1",
         {kGKermit, "-q", "-i", "-P", "-p", "s", "-s", "f.bin"}, {kGKermit, "-q", "-i", "-P", "-w", "-p", "s", "-r"}},
    };
}

TEST_F(KermitPeers, DownloadFromPeers)
{
    if (!Have(kCKermit) && !Have(kGKermit))
        GTEST_SKIP() << "neither C-Kermit nor G-Kermit is installed";
    for (const Peer& p : Peers()) {
        if (!Have(p.binary))
            continue;
        for (std::size_t size : {std::size_t(0), std::size_t(60000)}) {
            SCOPED_TRACE(std::string(p.what) + ", " + std::to_string(size) + " bytes");
            Fresh();
            const std::string data = Random(size, 5);
            WriteFile(src() / "f.bin", data);
            std::string out;
            int peer_status = 0;
            const int status = Transfer(p.settings, {"xfer", "download", "--protocol", "6", "--dir", dst().string()},
                                        p.send, src(), out, peer_status);
            EXPECT_EQ(status, 0) << out;
            EXPECT_EQ(peer_status, 0) << out;
            EXPECT_TRUE(ReadFile(dst() / "f.bin") == data) << ReadFile(dst() / "f.bin").size();
            EXPECT_NE(out.find("xfer,7,"), std::string::npos) << out;
            EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,0,\n");
        }
    }
}

TEST_F(KermitPeers, UploadToPeers)
{
    if (!Have(kCKermit) && !Have(kGKermit))
        GTEST_SKIP() << "neither C-Kermit nor G-Kermit is installed";
    for (const Peer& p : Peers()) {
        if (!Have(p.binary))
            continue;
        SCOPED_TRACE(p.what);
        Fresh();
        // A batch: every byte value, an empty file, a larger one.
        const std::string a = Random(60000, 6), c = Random(3000, 7);
        WriteFile(src() / "a.bin", a);
        WriteFile(src() / "b.bin", "");
        WriteFile(src() / "c.bin", c);
        std::string out;
        int peer_status = 0;
        const int status = Transfer(p.settings,
                                    {"xfer", "upload", "--protocol", "6", (src() / "a.bin").string(),
                                     (src() / "b.bin").string(), (src() / "c.bin").string()},
                                    p.receive, dst(), out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0) << out;
        EXPECT_TRUE(ReadFile(dst() / "a.bin") == a) << ReadFile(dst() / "a.bin").size();
        EXPECT_EQ(ReadFile(dst() / "b.bin"), "");
        EXPECT_TRUE(ReadFile(dst() / "c.bin") == c);
        // Each file is reported finished.
        std::size_t finished = 0;
        for (std::size_t at = out.find("xfer,7,"); at != std::string::npos; at = out.find("xfer,7,", at + 1))
            ++finished;
        EXPECT_EQ(finished, 3u) << out;
    }
}

TEST_F(KermitPeers, HostileNameStaysInTheDownloadFolderAndOffersAreAnswered)
{
    if (!Have(kCKermit))
        GTEST_SKIP() << "C-Kermit is not installed";
    WriteFile(src() / "evil.txt", "evil");
    std::string out;
    int peer_status = 0;
    const int status =
        Transfer("115200,N,8,1", {"xfer", "download", "--protocol", "6", "--dir", dst().string()},
                 CKermit("log packets " + (root_ / "packets.log").string() + "\n", "send evil.txt ../evil.txt"), src(), out,
                 peer_status);
    EXPECT_EQ(status, 0) << out;
    // The name went on the line as given; C-Kermit offered its defaults
    // (long packets, windows, CRC, repeat counts: more than 7 fields) and was
    // answered with the 7 fields this side supports.
    const std::string log = ReadFile(root_ / "packets.log");
    EXPECT_NE(log.find("F../evil.txt"), std::string::npos) << log;
    ASSERT_EQ(log.rfind("s-00-00-^A", 0), 0u) << log;
    EXPECT_GT(log[10] - 32 - 3, 7) << log;
    EXPECT_NE(log.find("r-00-00-^A* Y~* @-#Y"), std::string::npos) << log;
    std::vector<fs::path> got;
    for (const auto& e : fs::recursive_directory_iterator(dst()))
        got.push_back(e.path());
    ASSERT_EQ(got.size(), 1u) << out;
    EXPECT_EQ(got[0], dst() / "evil.txt");
    EXPECT_EQ(ReadFile(got[0]), "evil");
    EXPECT_FALSE(fs::exists(root_ / "evil.txt"));
}

}  // namespace

namespace {

TEST_F(KermitPeers, LineGoneMidTransferEndsAtOnce)
{
    if (!Have(kCKermit))
        GTEST_SKIP() << "C-Kermit is not installed";
    // Half a second into the data the far side goes away: status 8 at
    // once, instead of ten retries of the peer's timeout.
    WriteFile(src() / "big.bin", Random(4 << 20, 8));
    peer_wait_ms_ = 0;  // it waits for a line that is gone
    for (bool upload : {true, false}) {
        SCOPED_TRACE(upload ? "sending" : "receiving");
        std::chrono::steady_clock::time_point gone;
        running_ = [&](PtyRelay& relay) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            relay.HangUp();
            gone = std::chrono::steady_clock::now();
        };
        std::string out;
        int peer_status = 0;
        const std::vector<std::string> args =
            upload ? std::vector<std::string>{"xfer", "upload", "--protocol", "6", (src() / "big.bin").string()}
                   : std::vector<std::string>{"xfer", "download", "--protocol", "6", "--dir", dst().string()};
        const int status = Transfer("115200,N,8,1", args, CKermit("", upload ? "receive" : "send big.bin"),
                                    upload ? dst() : src(), out, peer_status);
        EXPECT_LT(std::chrono::duration<double>(tool_done_ - gone).count(), 3.0);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("xfer,4,"), std::string::npos) << out;  // it was under way
        EXPECT_NE(out.find("xfer,8,"), std::string::npos) << out;
        EXPECT_NE(out.find("xfer,-1,\n"), std::string::npos) << out;
    }
    running_ = nullptr;
}

}  // namespace
