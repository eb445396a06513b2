// XModem and YModem against lrzsz (sx, rx, sb, rb): tolvexctl, or the
// control loaded as a host loads it, opens a pseudo-terminal that a relay
// joins to lrzsz. Files must cross byte for byte, names and times included.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "lrzsz_kit.h"
#include "port_kit.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <tolvexcomm/constants.h>
#include <tolvexcomm/dispids.h>

namespace {

using namespace tolvex::transfer::lrzsz;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 9;

class Lrzsz : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveLrzsz())
            GTEST_SKIP() << "lrzsz is not installed";
        root_ = fs::temp_directory_path() / ("tolvex-interop-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "cfg");
        fs::create_directories(src());
        fs::create_directories(dst());
        relay_ = std::make_unique<Relay>();
    }
    void TearDown() override
    {
        if (!root_.empty())
            fs::remove_all(root_);
    }
    fs::path src() const { return root_ / "src"; }
    fs::path dst() const { return root_ / "dst"; }

    // Runs tolvexctl with `args` and, once its transfer has begun, `peer`
    // on the other end in `peer_cwd`. Returns tolvexctl's exit status; its
    // output goes to `out`, the peer's status to `peer_status`.
    int Transfer(const std::vector<std::string>& args, const std::vector<std::string>& peer, const fs::path& peer_cwd,
                 std::string& out, int& peer_status)
    {
        std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", "115200,N,8,1"};
        argv.insert(argv.end(), args.begin(), args.end());
        Child tool = Spawn(argv, root_, -1, -2,
                           {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay_->control_path(),
                            "TOLVEXCOMM_CONFIG_DIR=" + (root_ / "cfg").string()});
        EXPECT_GT(tool.pid, 0);
        // The first event says the port is open and the transfer running.
        EXPECT_TRUE(ReadUntilLine(tool.out, out, 5000)) << out;
        Child other = Spawn(peer, peer_cwd, relay_->peer_fd(), relay_->peer_fd(), {}, (root_ / "peer.log").string());
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
    std::unique_ptr<Relay> relay_;
};

TEST_F(Lrzsz, XModemFromSx)
{
    struct Case {
        const char* protocol;
        std::vector<std::string> sx;
        std::size_t size;
    };
    const Case cases[] = {
        {"0", {"/usr/bin/sx"}, 128 * 37},          // sx uses checksums when asked with NAK
        {"1", {"/usr/bin/sx"}, 128 * 41},
        {"2", {"/usr/bin/sx", "-k"}, 1024 * 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.protocol);
        const std::string data = Random(c.size, 7);
        WriteFile(src() / "x.bin", data);
        std::vector<std::string> peer = c.sx;
        peer.push_back("x.bin");
        std::string out;
        int peer_status = 0;
        const int status = Transfer({"xfer", "download", "--protocol", c.protocol, "--dir", dst().string(), "--name",
                                     std::string("got") + c.protocol},
                                    peer, src(), out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0);
        EXPECT_TRUE(ReadFile(dst() / (std::string("got") + c.protocol)) == data);
        EXPECT_NE(out.find("xfer,7,"), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.rfind("xfer,")), "xfer,0,\n");
    }
}

TEST_F(Lrzsz, UnreadableCarrierCountsAsPresent)
{
    // A pseudo-terminal cannot report its carrier: XferCarrierAbort must
    // not take that for a lost carrier.
    const std::string data = Random(128 * 5, 9);
    WriteFile(src() / "x.bin", data);
    std::string out;
    int peer_status = 0;
    const int status = Transfer({"--carrier-abort", "1", "xfer", "download", "--protocol", "1", "--dir",
                                 dst().string(), "--name", "got"},
                                {"/usr/bin/sx", "x.bin"}, src(), out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(ReadFile(dst() / "got") == data);
}

TEST_F(Lrzsz, LineGoneEndsTheTransferAtOnce)
{
    // Nobody answers; then the far side goes away: status 8 at once,
    // instead of running out the request timers (100 s).
    std::vector<std::string> argv = {TOLVEXCTL, "--port", std::to_string(kPort), "xfer", "download", "--protocol",
                                     "3", "--dir", dst().string()};
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

TEST_F(Lrzsz, XModemToRx)
{
    struct Case {
        const char* protocol;
        std::vector<std::string> rx;
    };
    const Case cases[] = {
        {"0", {"/usr/bin/rx", "got0"}},
        {"2", {"/usr/bin/rx", "-c", "got2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.protocol);
        const std::string data = Random(1024 * 7, 11);  // whole blocks: XModem keeps the padding
        WriteFile(src() / "x.bin", data);
        std::string out;
        int peer_status = 0;
        const int status =
            Transfer({"xfer", "upload", "--protocol", c.protocol, (src() / "x.bin").string()}, c.rx, dst(), out,
                     peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0);
        EXPECT_TRUE(ReadFile(dst() / c.rx.back()) == data);
    }
}

TEST_F(Lrzsz, YModemBatchFromSb)
{
    // Sizes that end inside a block, an empty file, and a name with a path.
    const std::string a = Random(3001, 1), b, c = Random(70000, 3);
    WriteFile(src() / "a.txt", a, 1600000000);
    WriteFile(src() / "b.dat", b, 1600000100);
    WriteFile(src() / "sub" / "c.bin", c, 1600000200);
    for (const char* protocol : {"3", "4"}) {
        SCOPED_TRACE(protocol);
        fs::remove_all(dst());
        fs::create_directories(dst());
        std::string out;
        int peer_status = 0;
        const int status = Transfer({"xfer", "download", "--protocol", protocol, "--dir", dst().string()},
                                    {"/usr/bin/sb", "a.txt", "b.dat", "sub/c.bin"}, src(), out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0);
        EXPECT_TRUE(ReadFile(dst() / "a.txt") == a);
        EXPECT_TRUE(ReadFile(dst() / "b.dat") == b);
        EXPECT_TRUE(ReadFile(dst() / "c.bin") == c);
        EXPECT_EQ(MTime(dst() / "a.txt"), 1600000000);
        EXPECT_EQ(MTime(dst() / "c.bin"), 1600000200);
    }
}

TEST_F(Lrzsz, HostileNameFromSbStaysInTheFolder)
{
    WriteFile(src() / "evil.txt", "evil contents");
    fs::create_directories(src() / "deep");
    std::string out;
    int peer_status = 0;
    const int status = Transfer({"xfer", "download", "--protocol", "3", "--dir", dst().string()},
                                {"/usr/bin/sb", "-f", "../evil.txt"}, src() / "deep", out, peer_status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(ReadFile(dst() / "evil.txt"), "evil contents");
    EXPECT_FALSE(fs::exists(root_ / "evil.txt"));
}

TEST_F(Lrzsz, YModemBatchToRb)
{
    const std::string a = Random(5000, 5), b = Random(129, 6);
    WriteFile(src() / "one.bin", a, 1500000000);
    WriteFile(src() / "two.bin", b, 1500000500);
    for (const char* protocol : {"3"}) {
        SCOPED_TRACE(protocol);
        fs::remove_all(dst());
        fs::create_directories(dst());
        std::string out;
        int peer_status = 0;
        const int status = Transfer(
            {"xfer", "upload", "--protocol", protocol, (src() / "one.bin").string(), (src() / "two.bin").string()},
            {"/usr/bin/rb"}, dst(), out, peer_status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(peer_status, 0);
        EXPECT_TRUE(ReadFile(dst() / "one.bin") == a);
        EXPECT_TRUE(ReadFile(dst() / "two.bin") == b);
        EXPECT_EQ(MTime(dst() / "one.bin"), 1500000000);
    }
}

namespace id = tolvex::com::dispid;

// The control itself, loaded as a host loads it, with lrzsz on the other
// end: what an application sees and may do while a transfer runs.
class ControlTransfer : public Lrzsz {
protected:
    void SetUp() override
    {
        Lrzsz::SetUp();
        if (IsSkipped())
            return;
        ::setenv("TOLVEXCOMM_CONFIG_DIR", (root_ / "cfg").c_str(), 1);
        tolvex::host::portkit::MapPort(kPort, relay_->control_path());
        ctl_ = std::make_unique<tolvex::host::portkit::PortControl>(tolvex::host::portkit::Library());
        ctl_->onComm = [this](std::int16_t code) {
            if (code != tolvex::com::TOLVEX_EV_XFER)
                return;
            const int st = c().GetI2(id::kXferStatus).value;
            statuses_.push_back(st);
            if (onXfer)
                onXfer(st);
        };
        ASSERT_TRUE(c().PutI2(id::kCommPort, kPort).ok());
        ASSERT_TRUE(c().PutBool(id::kPortOpen, true).ok());
    }
    void TearDown() override
    {
        ctl_.reset();
        Lrzsz::TearDown();
    }
    tolvex::host::ControlInstance& c() { return ctl_->c(); }
    bool Ended() const
    {
        return !statuses_.empty() && (statuses_.back() == 0 || statuses_.back() == -1);
    }
    Child Peer(const std::vector<std::string>& argv, const fs::path& cwd)
    {
        return Spawn(argv, cwd, relay_->peer_fd(), relay_->peer_fd());
    }

    static constexpr auto& kLoop = tolvex::host::portkit::RunUntil;
    std::unique_ptr<tolvex::host::portkit::PortControl> ctl_;
    std::vector<int> statuses_;
    std::function<void(int)> onXfer;
};

TEST_F(ControlTransfer, RenameDuringFileReadyAndRefuseLateOrWrongRequests)
{
    WriteFile(src() / "a.txt", "first");
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, 3).ok());
    const fs::path renamed = dst() / "renamed.txt";
    std::vector<int> late;
    onXfer = [&](int st) {
        if (st == tolvex::com::TOLVEX_XFER_FILE_READY) {
            // Only now may the application name the file.
            EXPECT_EQ(c().GetUtf8(id::kXferDestFilename).value, (dst() / "a.txt").string());
            EXPECT_TRUE(c().PutUtf8(id::kXferDestFilename, renamed.string()).ok());
        }
        if (st == tolvex::com::TOLVEX_XFER_FILE_START) {
            late.push_back(c().PutUtf8(id::kUpload, "x").status);                 // a download runs
            late.push_back(c().PutI2(id::kXferStatus, 7).status);                 // not a request
            late.push_back(c().PutBool(id::kPortOpen, false).status);             // the port is busy
        }
    };
    ASSERT_TRUE(c().PutUtf8(id::kDownload, (dst() / "a.txt").string()).ok());
    Child sb = Peer({"/usr/bin/sb", "a.txt"}, src());
    EXPECT_TRUE(kLoop([&] { return Ended(); }, 20000));
    EXPECT_EQ(sb.Wait(5000), 0);
    EXPECT_EQ(statuses_.back(), 0);
    EXPECT_EQ(ReadFile(renamed), "first");
    ASSERT_EQ(late.size(), 3u);
    EXPECT_EQ(late[0], tolvex::com::ErrorStatus(8019));
    EXPECT_EQ(late[1], tolvex::com::ErrorStatus(383));
    EXPECT_EQ(late[2], tolvex::com::ErrorStatus(8019));
    // Outside the file-ready step the name is not taken.
    EXPECT_TRUE(c().PutUtf8(id::kXferDestFilename, "elsewhere").ok());
    EXPECT_EQ(c().GetUtf8(id::kXferDestFilename).value, renamed.string());
}

TEST_F(ControlTransfer, SkipDuringFileReadyEndsTheDownload)
{
    WriteFile(src() / "a.txt", "data");
    WriteFile(dst() / "a.txt", "keep me");
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, 3).ok());
    onXfer = [&](int st) {
        if (st == tolvex::com::TOLVEX_XFER_FILE_READY)
            c().PutI2(id::kXferStatus, tolvex::com::TOLVEX_XFER_SKIP);
    };
    ASSERT_TRUE(c().PutUtf8(id::kDownload, (dst() / "a.txt").string()).ok());
    Child sb = Peer({"/usr/bin/sb", "a.txt"}, src());
    EXPECT_TRUE(kLoop([&] { return Ended(); }, 20000));
    sb.Wait(5000);
    ASSERT_GE(statuses_.size(), 2u);
    EXPECT_EQ(statuses_[statuses_.size() - 2], tolvex::com::TOLVEX_XFER_ABORT);
    EXPECT_EQ(statuses_.back(), -1);
    EXPECT_EQ(ReadFile(dst() / "a.txt"), "keep me");  // never emptied
}

TEST_F(ControlTransfer, NamesJoinTheListUntilTheTransferHasTakenItsLast)
{
    const std::string one = Random(300, 1), two = Random(200, 2);
    WriteFile(src() / "one.bin", one);
    WriteFile(src() / "two.bin", two);
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, 1).ok());
    int joined = -1, late = -1, waits = 0, done = 0;
    Child rx2;
    onXfer = [&](int st) {
        if (st == tolvex::com::TOLVEX_XFER_XFERING && joined == -1)
            joined = c().PutUtf8(id::kUpload, (src() / "two.bin").string()).status;
        if (st == tolvex::com::TOLVEX_XFER_WAITING && ++waits == 2)
            rx2 = Peer({"/usr/bin/rx", "-c", "got2"}, dst());  // XModem: one transfer per file
        // The last file is done and the list was found empty: a name now
        // would never be sent, so it is refused instead of dropped.
        if (st == tolvex::com::TOLVEX_XFER_FINISHED && ++done == 2)
            late = c().PutUtf8(id::kUpload, (src() / "one.bin").string()).status;
    };
    ASSERT_TRUE(c().PutUtf8(id::kUpload, (src() / "one.bin").string()).ok());
    Child rx1 = Peer({"/usr/bin/rx", "-c", "got1"}, dst());
    EXPECT_TRUE(kLoop([&] { return Ended(); }, 30000));
    EXPECT_EQ(rx1.Wait(5000), 0);
    EXPECT_EQ(rx2.Wait(5000), 0);
    EXPECT_EQ(statuses_.back(), 0);
    EXPECT_EQ(joined, 0);
    EXPECT_EQ(late, tolvex::com::ErrorStatus(8019));
    EXPECT_EQ(ReadFile(dst() / "got1").substr(0, one.size()), one);
    EXPECT_EQ(ReadFile(dst() / "got2").substr(0, two.size()), two);
}

TEST_F(ControlTransfer, DestroyingTheControlDuringATransferEndsItAtOnce)
{
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, 1).ok());
    ASSERT_TRUE(c().PutUtf8(id::kDownload, (dst() / "never").string()).ok());
    // The worker has handed its first status change to the GUI thread,
    // which does not get to it: the control goes first.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto t0 = Clock::now();
    ctl_.reset();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 1.0);
}

// The status window during a download: its title, file names and
// progress, and its Cancel button aborting the transfer. With
// TOLVEX_XFER_SHOT=FILE.png it also saves a picture of itself mid-way.
TEST_F(ControlTransfer, StatusWindowShowsTheDownloadAndCancelsIt)
{
    const std::string data = Random(300 * 1024, 4);
    WriteFile(src() / "photo.jpg", data, 1600000000);
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, 3).ok());
    ASSERT_TRUE(c().PutI2(id::kXferStatusDialog, 1).ok());
    QWidget* window = nullptr;
    std::string title, dest, bytes;
    int progressMax = 0, progress = 0, blocks = 0;
    // Progress reaches the handler at most about 20 times a second: the
    // second report comes while the file is still on its way. For the
    // picture a later one, so that speed and time left show.
    const char* shot = std::getenv("TOLVEX_XFER_SHOT");
    const int at = shot ? 20 : 2;
    onXfer = [&](int st) {
        if (st != tolvex::com::TOLVEX_XFER_XFERING)
            return;
        if (shot)
            std::this_thread::sleep_for(std::chrono::microseconds(1200));
        if (++blocks != at)
            return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle().endsWith("Download"))
                window = w;
        if (!window)
            return;
        title = window->windowTitle().toStdString();
        for (QLabel* l : window->findChildren<QLabel*>()) {
            if (l->text().toStdString().find("photo.jpg") != std::string::npos) dest = l->text().toStdString();
            if (l->text().contains("k of")) bytes = l->text().toStdString();
        }
        auto* bar = window->findChild<QProgressBar*>();
        progressMax = bar->maximum();
        progress = bar->value();
        if (shot) window->grab().save(QString::fromLocal8Bit(shot));
        window->findChild<QPushButton*>()->click();  // 中止(&C)
    };
    ASSERT_TRUE(c().PutUtf8(id::kDownload, (dst() / "photo.jpg").string()).ok());
    Child sb = Peer({"/usr/bin/sb", "photo.jpg"}, src());
    EXPECT_TRUE(kLoop([&] { return Ended(); }, 20000));
    sb.Wait(5000);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(title, "YModem Batch Download");
    EXPECT_NE(dest.find((dst() / "photo.jpg").string()), std::string::npos);
    EXPECT_EQ(progressMax, 300);
    EXPECT_GT(progress, 0);
    EXPECT_LT(progress, 300);
    EXPECT_NE(bytes.find("k of 300k"), std::string::npos) << bytes;
    // Cancel aborted the transfer, and the window went with it.
    EXPECT_EQ(statuses_.back(), -1);
    bool still_open = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        still_open = still_open || (w->isVisible() && w->windowTitle() == "YModem Batch Download");
    EXPECT_FALSE(still_open);
}

TEST_F(ControlTransfer, ZModemSkipResumeAndProgressPace)
{
    // sz sends two files; the application skips the first and resumes the
    // second, of which it holds a part. Progress reaches it at most about 20
    // times a second, the last report for the last position.
    const std::string a = Random(20000, 1), b = Random(4 << 20, 2);
    WriteFile(src() / "a.bin", a, 1600000000);
    WriteFile(src() / "b.bin", b, 1600000100);
    WriteFile(dst() / "b.bin", b.substr(0, 60000), 5);
    ASSERT_TRUE(c().PutI2(id::kXferProtocol, tolvex::com::TOLVEX_ZMODEM).ok());
    int progress = 0;
    std::int32_t last = -1, atStart = -1;
    onXfer = [&](int st) {
        if (st == tolvex::com::TOLVEX_XFER_FILE_READY) {
            const bool first = c().GetUtf8(id::kXferDestFilename).value.ends_with("a.bin");
            EXPECT_EQ(c().GetUtf8(id::kXferSourceFilename).value, first ? "a.bin" : "b.bin");
            EXPECT_TRUE(c().PutI2(id::kXferStatus, first ? tolvex::com::TOLVEX_XFER_SKIP
                                                         : tolvex::com::TOLVEX_XFER_RESUME)
                            .ok());
        }
        if (st == tolvex::com::TOLVEX_XFER_FILE_START)
            atStart = c().GetI4(id::kXferTransferred).value;
        if (st == tolvex::com::TOLVEX_XFER_XFERING) {
            ++progress;
            last = c().GetI4(id::kXferTransferred).value;
        }
    };
    ASSERT_TRUE(c().PutUtf8(id::kDownload, "").ok());
    ::chdir(dst().c_str());
    const auto t0 = Clock::now();
    Child sz = Peer({"/usr/bin/sz", "a.bin", "b.bin"}, src());
    EXPECT_TRUE(kLoop([&] { return Ended(); }, 30000));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    ::chdir(root_.c_str());
    EXPECT_EQ(sz.Wait(5000), 0);
    EXPECT_EQ(statuses_.back(), 0);
    EXPECT_FALSE(fs::exists(dst() / "a.bin"));
    EXPECT_TRUE(ReadFile(dst() / "b.bin") == b);
    EXPECT_EQ(MTime(dst() / "b.bin"), 1600000100);
    EXPECT_EQ(atStart, 60000);
    EXPECT_EQ(last, static_cast<std::int32_t>(b.size()));
    EXPECT_GE(progress, 1);
    EXPECT_LE(progress, 20 * seconds + 4) << seconds << " s";
    EXPECT_NE(std::find(statuses_.begin(), statuses_.end(), tolvex::com::TOLVEX_XFER_SKIP), statuses_.end());
}

}  // namespace
