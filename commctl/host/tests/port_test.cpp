// The control's port driven through the loaded library on pseudo-terminals:
// the port mapping, opening and closing with their errors, the navigator's
// sequence of properties with a GGA stream, the far side going away, load
// integrity, and the tolvexctl port commands.
#include "port_kit.h"
#include "testkit.h"

#include "common/cp932.h"

#include <tolvexcomm/constants.h>
#include <tolvexcomm/dispids.h>

#include <gtest/gtest.h>

#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <utility>

#include "temp_config.h"

namespace tolvex::host {
namespace {

namespace fs = std::filesystem;
namespace id = com::dispid;
using portkit::PortControl;
using portkit::RunUntil;
using serial::testkit::Pty;
using Clock = std::chrono::steady_clock;

class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        portkit::EnsureGuiApp();
        lib_ = portkit::Library();
        ASSERT_NE(lib_, nullptr);
    }
    std::shared_ptr<ControlLibrary> lib_;
    TempConfig config_{"tolvexcomm-port"};
};

// A process other than this one holding a device the way an open port does
// (exclusive lock); it lets go when the object dies.
class OtherHolder {
public:
    explicit OtherHolder(const std::string& path)
    {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = 'n';
        held_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~OtherHolder()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST_F(PortTest, PortMappingOpenAndCloseErrors)
{
    Pty profiled, viaEnvironment;
    // The profile's section "Ports" comes before the environment.
    std::ofstream(config_.dir() / "tolvexcomm.ini") << "[Ports]\r\nCOM21=" << profiled.path() << "\r\n";
    portkit::MapPort(21, "/nonexistent/tty");
    portkit::MapPort(22, viaEnvironment.path());
    portkit::MapPort(23, "/nonexistent/tty");

    PortControl pc(lib_);
    ControlInstance& c = pc.c();
    struct Case {
        std::int16_t port;
        const Pty* expect;  // the pty whose master sees the bytes; null: not opened
        int error;
    };
    const Case cases[] = {{21, &profiled, 0}, {22, &viaEnvironment, 0}, {23, nullptr, 8002}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.port);
        ASSERT_TRUE(c.PutI2(id::kCommPort, k.port).ok());
        auto opened = c.PutBool(id::kPortOpen, true);
        EXPECT_EQ(opened.error(), k.error);
        if (!k.expect) {
            EXPECT_FALSE(c.GetBool(id::kPortOpen).value);
            EXPECT_EQ(c.GetI4(id::kCommID).value, 0);
            continue;
        }
        ASSERT_TRUE(opened.ok());
        EXPECT_GT(c.GetI4(id::kCommID).value, 0);
        ASSERT_TRUE(c.PutUtf8(id::kOutput, "hi").ok());
        EXPECT_EQ(const_cast<Pty*>(k.expect)->Read(2, 5000), "hi");
        // While open: no second open, no other port, no buffer resizing.
        EXPECT_EQ(c.PutBool(id::kPortOpen, true).error(), 8005);
        EXPECT_EQ(c.PutI2(id::kCommPort, 3).error(), 8005);
        EXPECT_EQ(c.PutI2(id::kInBufferSize, 4096).error(), 8000);
        EXPECT_EQ(c.GetI2(id::kCommPort).value, k.port);
        ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
        EXPECT_EQ(c.PutBool(id::kPortOpen, false).error(), 8012);
    }

    // A device another process holds.
    {
        OtherHolder other(viaEnvironment.path());
        ASSERT_TRUE(other.held());
        ASSERT_TRUE(c.PutI2(id::kCommPort, 22).ok());
        auto busy = c.PutBool(id::kPortOpen, true);
        EXPECT_EQ(busy.error(), 8005);
        EXPECT_FALSE(busy.DescriptionUtf8().empty());
        EXPECT_FALSE(c.GetBool(id::kPortOpen).value);
    }
    // ... and a second control of this process while the first holds it.
    ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
    PortControl second(lib_);
    ASSERT_TRUE(second.c().PutI2(id::kCommPort, 22).ok());
    EXPECT_EQ(second.c().PutBool(id::kPortOpen, true).error(), 8005);
    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
    EXPECT_TRUE(second.c().PutBool(id::kPortOpen, true).ok());
}

TEST_F(PortTest, DataOperationsOnAClosedPortAre8018)
{
    PortControl pc(lib_);
    ControlInstance& c = pc.c();
    for (DispId d : {id::kInput, id::kInputB, id::kLineInput}) EXPECT_EQ(c.Get(d).error(), 8018) << d;
    EXPECT_EQ(c.PutUtf8(id::kOutput, "x").error(), 8018);
    EXPECT_EQ(c.Put(id::kOutputB, com::Variant::Bytes("x")).error(), 8018);
    EXPECT_EQ(c.GetI2(id::kInBufferCount).value, 0);
}

// The navigator's sequence: port, settings, flush, timeout, threshold, open;
// GGA sentences arrive and OnComm reads them line by line; then close and
// open again.
TEST_F(PortTest, NavigatorSequenceReadsGgaLinesOnTheGuiThreadAndReopens)
{
    Pty pty;
    portkit::MapPort(24, pty.path());
    PortControl pc(lib_);
    ControlInstance& c = pc.c();
    auto open = [&] {
        ASSERT_TRUE(c.PutI2(id::kCommPort, 24).ok());
        ASSERT_TRUE(c.PutUtf8(id::kSettings, "4800,N,8,1").ok());
        ASSERT_TRUE(c.PutI2(id::kInBufferCount, 0).ok());
        ASSERT_TRUE(c.PutI4(id::kInTimeout, 2000).ok());
        ASSERT_TRUE(c.PutI2(id::kRThreshold, 40).ok());
        ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
    };
    std::vector<std::string> got;
    pc.onComm = [&](std::int16_t code) {
        if (code != 2) return;
        while (c.GetI2(id::kInBufferCount).value > 0) got.push_back(c.GetString(id::kLineInput).value);
    };
    open();
    const std::vector<std::string> lines = serial::testkit::MakeGgaLines(300);
    std::thread writer([&] {
        std::mt19937 rng(5);
        std::string stream;
        for (const auto& l : lines) stream += l + "\r\n";
        // Pieces of any length, as a receiver's bursts cut them.
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 200, stream.size() - at);
            pty.Write(std::string_view(stream).substr(at, n));
            at += n;
            if (rng() % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_TRUE(RunUntil([&] { return got.size() >= lines.size(); }, 20000));
    writer.join();
    EXPECT_EQ(got, lines);
    EXPECT_TRUE(pc.onGuiThread);
    EXPECT_EQ(pc.Count(com::TOLVEX_ER_INTO), 0);

    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
    got.clear();
    open();
    const std::string last = lines.front();
    ASSERT_EQ(pty.Write(last + "\r\n"), last.size() + 2);
    EXPECT_TRUE(RunUntil([&] { return !got.empty(); }, 5000));
    EXPECT_EQ(got, std::vector<std::string>{last});
    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
}

TEST_F(PortTest, FarSideClosingWhileReadingWritingAndWaiting)
{
    auto pty = std::make_unique<Pty>();
    portkit::MapPort(25, pty->path());
    PortControl pc(lib_);
    ControlInstance& c = pc.c();
    ASSERT_TRUE(c.PutI2(id::kCommPort, 25).ok());
    ASSERT_TRUE(c.PutI4(id::kInTimeout, 300).ok());
    ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
    ASSERT_EQ(pty->Write("partial"), 7u);
    ASSERT_TRUE(RunUntil([&] { return c.GetI2(id::kInBufferCount).value == 7; }, 5000));

    // The receiver is pulled while bytes wait in both directions.
    ASSERT_TRUE(c.PutUtf8(id::kOutput, std::string(3000, 'x')).ok());
    pty->CloseMaster();
    pty->CloseSlave();
    EXPECT_TRUE(RunUntil([&] { return pc.Count(com::TOLVEX_EV_CD) > 0; }, 5000));  // carrier lost
    EXPECT_FALSE(c.GetBool(id::kCDHolding).value);

    // Reads give what was queued, then time out as on a quiet line.
    const auto t0 = Clock::now();
    EXPECT_EQ(c.GetString(id::kLineInput).value, "partial");
    EXPECT_EQ(c.GetString(id::kInput).value, "");
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
    // Writing does not block.
    EXPECT_TRUE(c.PutUtf8(id::kOutput, "more").ok());
    RunUntil([] { return false; }, 100);
    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());

    // The device comes back (a new pty under the same port number).
    pty = std::make_unique<Pty>();
    portkit::MapPort(25, pty->path());
    pc.events.clear();
    ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
    ASSERT_EQ(pty->Write("back\r\n"), 6u);
    ASSERT_TRUE(RunUntil([&] { return c.GetI2(id::kInBufferCount).value == 6; }, 5000));
    EXPECT_EQ(c.GetString(id::kLineInput).value, "back");
    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
}

TEST_F(PortTest, OneMegabyteEachWayArrivesIntact)
{
    const auto r = portkit::RunDuplex(lib_, 26, 1 << 20, 42, 60000);
    EXPECT_EQ(r.received, 1u << 20);
    EXPECT_EQ(r.sent, 1u << 20);
    EXPECT_TRUE(r.receivedIntact);
    EXPECT_TRUE(r.sentIntact);
}

TEST_F(PortTest, OpenCloseCyclesWithTrafficLeaveNothingBehind)
{
    Pty pty;
    portkit::MapPort(27, pty.path());
    PortControl pc(lib_);
    ControlInstance& c = pc.c();
    ASSERT_TRUE(c.PutI2(id::kCommPort, 27).ok());
    ASSERT_TRUE(c.PutI2(id::kRThreshold, 1).ok());
    // One cycle first, so that what Qt makes once is there before counting.
    ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
    ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok());
    RunUntil([] { return false; }, 50);
    const int fds = serial::testkit::OpenDescriptorCount();
    const int threads = serial::testkit::ThreadCount();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok()) << i;
        pty.Write("abc\r\n");
        ASSERT_TRUE(c.PutUtf8(id::kOutput, "xyz").ok());
        if (i % 10 == 0) RunUntil([&] { return c.GetI2(id::kInBufferCount).value > 0; }, 1000);
        ASSERT_TRUE(c.PutBool(id::kPortOpen, false).ok()) << i;
        pty.Read(65536, 0);
    }
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(serial::testkit::OpenDescriptorCount(), fds);
    EXPECT_EQ(serial::testkit::ThreadCount(), threads);
    EXPECT_GT(pc.Count(com::TOLVEX_EV_RECEIVE), 0);
}

// ---------------------------------------------------------------------------
// tolvexctl on a port

// Runs tolvexctl in the background as on a machine without a display (no
// DISPLAY, no WAYLAND_DISPLAY, and not the offscreen platform the test
// environment names); its output goes to a file.
class Background {
public:
    Background(const std::string& args, const fs::path& out)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            const std::string command = (ProgramFolder() / "tolvexctl").string() + " " + args + " >" +
                                        out.string() + " 2>/dev/null";
            ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    pid_t pid() const { return pid_; }
    // Exit status, or -1 when it did not end in time (or ended by a signal).
    int Wait(int timeoutMs)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (Clock::now() < until) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    ~Background()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

// True once the process `pid` has the pty's slave open and in raw mode, so
// that what the test writes now is not read in cooked mode. Looking into its
// descriptors rather than opening the device keeps the test itself from
// ever being another holder of the port; the master reports the slave's
// termios.
bool WaitUntilHeld(pid_t pid, const Pty& pty, int timeoutMs)
{
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const fs::path fds = fs::path("/proc") / std::to_string(pid) / "fd";
    bool held = false;
    while (Clock::now() < until) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fds, ec)) {
            std::error_code link_ec;
            if (fs::read_symlink(entry.path(), link_ec) == pty.path()) held = true;
        }
        struct termios t {};
        if (held && ::tcgetattr(pty.master(), &t) == 0 && !(t.c_lflag & ICANON)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST_F(PortTest, TolvexctlPrintsLinesAndEventsAndSendsWithoutADisplay)
{
    Pty pty;
    pty.CloseSlave();  // the test holds only the master: tolvexctl is the one holder
    portkit::MapPort(28, pty.path());
    const fs::path out = config_.dir() / "out.txt";
    {
        Background run("--port 28 --settings 4800,n,8,1 --count 2 lines", out);
        ASSERT_TRUE(WaitUntilHeld(run.pid(), pty, 10000));
        pty.Write("$GPGGA,1*00\r\n$GP");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.Write("GGA,2*00\r\n$GPGGA,3\r\n");
        EXPECT_EQ(run.Wait(10000), 0);
        EXPECT_EQ(ReadFile(out), "$GPGGA,1*00\n$GPGGA,2*00\n");
    }
    {
        Background run("--port 28 --count 3 events", out);
        ASSERT_TRUE(WaitUntilHeld(run.pid(), pty, 10000));
        pty.Write("abc");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.Write("\x1A");
        EXPECT_EQ(run.Wait(10000), 0);
        const std::string text = ReadFile(out);
        EXPECT_NE(text.find(" 2 receive (3 bytes)\n"), std::string::npos) << text;
        EXPECT_NE(text.find(" 7 eof\n"), std::string::npos) << text;
        EXPECT_EQ(text[4], '-') << text;  // starts with a date
    }
    {
        // Closing discards what the far side has not taken yet, so the
        // master reads while the command runs.
        Background run("--port 28 send 'AT\\r\\n'", out);
        ASSERT_TRUE(WaitUntilHeld(run.pid(), pty, 10000));
        const std::string sent = pty.Read(4, 10000);
        EXPECT_EQ(run.Wait(10000), 0);
        EXPECT_EQ(sent, "AT\r\n");
    }
    {
        portkit::MapPort(29, "/nonexistent/tty");
        Background run("--port 29 send x", out);
        EXPECT_EQ(run.Wait(10000), 1);
        EXPECT_EQ(ReadFile(out).substr(0, 11), "error 8002:");
    }
    {
        // The one command that opens a window says it needs a display.
        Background run("about", out);
        EXPECT_EQ(run.Wait(10000), 1);
    }
}

// What `send` puts on the line, and that a refusal is reported as one.
TEST_F(PortTest, TolvexctlSendsRawBytesAndReportsRefusals)
{
    Pty pty;
    pty.CloseSlave();
    portkit::MapPort(30, pty.path());
    const fs::path out = config_.dir() / "out.txt";
    {
        // Text is converted to CP932; \xHH is the byte itself.
        Background run("--port 30 send 'A\\x80\\xff\\x00\\x41日本\\r'", out);
        ASSERT_TRUE(WaitUntilHeld(run.pid(), pty, 10000));
        const std::string want("A\x80\xFF\x00" "A\x93\xFA\x96\x7B\r", 10);
        const std::string sent = pty.Read(want.size(), 10000);
        EXPECT_EQ(run.Wait(10000), 0);
        EXPECT_EQ(sent, want);
    }
    {
        // More than OutBufferSize: the control drops it with 1010.
        Background run("--port 30 --set OutBufferSize=16 send " + std::string(32, 'x'), out);
        EXPECT_EQ(run.Wait(10000), 1);
        EXPECT_EQ(ReadFile(out).substr(0, 11), "error 1010:") << ReadFile(out);
    }
}

// ---------------------------------------------------------------------------
// Misuse the control must survive

// A host that lets go of its control from inside OnComm, as a form closed
// from one of its events does.
class ReleasingHost final : public com::IControlSite, public com::IEventSink {
public:
    com::IControl* control = nullptr;
    int released = 0;

    bool UserMode() const override { return true; }
    void OnEvent(DispId dispid, std::span<com::Variant>) override
    {
        if (dispid != com::eventid::kOnComm || !control) return;
        com::IControl* c = std::exchange(control, nullptr);
        c->Advise(nullptr);
        c->SetSite(nullptr);
        c->Release();
        ++released;
    }
};

TEST_F(PortTest, ReleasingTheControlInsideOnCommIsSafe)
{
    Pty pty;
    portkit::MapPort(31, pty.path());
    auto put = [](com::IControl* c, DispId dispid, const com::Variant& v) {
        return c->Invoke(dispid, com::InvokeKind::Put, std::span<const com::Variant>(&v, 1));
    };
    // Where the OnComm comes from: a receive notification, a send-check
    // tick, and a read called by the host (1005 on an empty queue).
    enum class From { Receive, Tick, Read };
    for (const From from : {From::Receive, From::Tick, From::Read}) {
        SCOPED_TRACE(static_cast<int>(from));
        ReleasingHost host;
        ASSERT_EQ(lib_->CreateInstance(&host.control), com::kOk);
        com::IControl* c = host.control;
        c->SetSite(&host);
        c->Advise(&host);
        ASSERT_EQ(c->InitNew(), com::kOk);
        ASSERT_TRUE(put(c, id::kCommPort, com::Variant::I2(31)).ok());
        ASSERT_TRUE(put(c, id::kRThreshold, com::Variant::I2(from == From::Receive ? 1 : 0)).ok());
        if (from == From::Tick) {
            ASSERT_TRUE(put(c, id::kSThreshold, com::Variant::I2(1)).ok());
            ASSERT_TRUE(put(c, id::kInterval, com::Variant::I4(10)).ok());
        }
        ASSERT_TRUE(put(c, id::kPortOpen, com::Variant::Bool(true)).ok());
        if (from == From::Receive) pty.Write("x");
        if (from == From::Read) {
            auto r = c->Invoke(id::kLineInput, com::InvokeKind::Get, {});
            EXPECT_TRUE(r.ok());
        }
        EXPECT_TRUE(RunUntil([&] { return host.released == 1; }, 5000));
        // The instance went once the control had returned from the event.
        EXPECT_TRUE(RunUntil([&] { return lib_->CanUnloadNow(); }, 5000));
        pty.Read(65536, 0);
    }
}

// Resetting or loading an instance whose port is open closes the port and
// leaves every value as a new or loaded instance has it.
TEST_F(PortTest, InitNewAndLoadOnAnOpenPortCloseItAndResetEverything)
{
    Pty pty;
    portkit::MapPort(32, pty.path());
    PropertyBag fresh;
    {
        ControlInstance blank(lib_);
        ASSERT_EQ(blank.Create(), com::kOk);
        blank.Save(fresh);
    }
    PropertyBag saved;
    {
        ControlInstance other(lib_);
        ASSERT_EQ(other.Create(), com::kOk);
        ASSERT_TRUE(other.PutI2(id::kInBufferSize, 1024).ok());
        ASSERT_TRUE(other.PutI2(id::kCommPort, 9).ok());
        ASSERT_TRUE(other.PutUtf8(id::kSettings, "19200,E,7,1").ok());
        ASSERT_TRUE(other.PutI2(id::kRows, 30).ok());
        other.Save(saved);
    }
    for (const bool load : {false, true}) {
        SCOPED_TRACE(load ? "Load" : "InitNew");
        PortControl pc(lib_);
        ControlInstance& c = pc.c();
        // Values that cannot change while open, and one that can.
        ASSERT_TRUE(c.PutI2(id::kInBufferSize, 4096).ok());
        ASSERT_TRUE(c.PutI2(id::kOutBufferSize, 512).ok());
        ASSERT_TRUE(c.PutI2(id::kCommPort, 32).ok());
        ASSERT_TRUE(c.PutUtf8(id::kSettings, "4800,N,8,1").ok());
        ASSERT_TRUE(c.PutI2(id::kRThreshold, 5).ok());
        ASSERT_TRUE(c.PutBool(id::kPortOpen, true).ok());
        EXPECT_EQ(c.GetString(id::kLineInput).value, "");  // 1005: nothing came
        ASSERT_EQ(c.GetI2(id::kCommEvent).value, com::TOLVEX_ER_INTO);

        EXPECT_EQ(load ? c.Load(saved) : c.control()->InitNew(), com::kOk);
        EXPECT_FALSE(c.GetBool(id::kPortOpen).value);
        EXPECT_EQ(c.GetI2(id::kCommEvent).value, 0);
        EXPECT_EQ(c.GetI2(id::kCursorRow).value, 1);
        PropertyBag now;
        c.Save(now);
        EXPECT_EQ(now.values(), (load ? saved : fresh).values());
    }
}

}  // namespace
}  // namespace tolvex::host
