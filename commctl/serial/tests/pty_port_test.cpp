// Opening, configuring and closing a real tty: the engine opens the slave of
// a pseudo-terminal through the port mapping; the test holds the master.

#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "testkit.h"

namespace tolvex::serial {
namespace {

using testkit::Harness;
using testkit::MapPort;
using testkit::Pty;

constexpr int kPort = 7;

struct termios2 SlaveTermios(const Pty& pty)
{
    struct termios2 t {};
    EXPECT_EQ(::ioctl(pty.slave(), TCGETS2, &t), 0);
    return t;
}

int ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ControlError& e) {
        return e.number();
    }
    return 0;
}

TEST(PtyPort, OpenConfiguresRawLineAndAppliesChangesAtOnce)
{
    Pty pty;
    Harness h(MapPort(kPort, pty.path()));
    CommEngine& e = h.engine();
    e.SetCommPort(kPort);
    EXPECT_EQ(e.DevicePath(), pty.path());
    e.SetSettings("4800,e,7,2");
    EXPECT_EQ(e.Settings(), "4800,E,7,2");
    EXPECT_EQ(e.CommID(), 0);
    e.SetPortOpen(true);
    ASSERT_TRUE(e.PortOpen());
    EXPECT_GT(e.CommID(), 0);

    // (A pseudo-terminal keeps whole bytes: it reports 8 bits, no parity.)
    struct termios2 t = SlaveTermios(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(B4800));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON));

    // Changes reach the open device at once.
    e.SetSettings("57600,m,8,1");
    e.SetHandshaking(kHandshakeBoth);
    t = SlaveTermios(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(B57600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    // Rates without a standard speed code are set exactly.
    e.SetSettings("56000,n,8,1");
    e.SetHandshaking(kHandshakeNone);
    t = SlaveTermios(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 56000u);
    e.SetSettings("230400");
    EXPECT_EQ(e.Line().baud, 256000);
    EXPECT_EQ(SlaveTermios(pty).c_cflag & CBAUD, static_cast<tcflag_t>(B230400));
    EXPECT_EQ(e.Settings(), "230400");

    // Settings the line cannot carry are refused with 8015 and the port
    // closed again; the stored value stays for the next try.
    e.SetPortOpen(false);
    e.SetSettings("9600,n,4,1");
    EXPECT_EQ(ErrorOf([&] { e.SetPortOpen(true); }), kErrSetCommState);
    EXPECT_FALSE(e.PortOpen());
    e.SetSettings("9600,n,8,1.5");
    EXPECT_EQ(ErrorOf([&] { e.SetPortOpen(true); }), kErrSetCommState);
    e.SetSettings("9600,n,5,1.5");
    e.SetPortOpen(true);
    EXPECT_TRUE(SlaveTermios(pty).c_cflag & CSTOPB);
}

TEST(PtyPort, LifecycleErrors)
{
    Pty pty;
    Harness h(MapPort(kPort, pty.path()));
    CommEngine& e = h.engine();
    EXPECT_EQ(ErrorOf([&] { e.SetCommPort(0); }), kErrInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([&] { e.SetPortOpen(false); }), kErrPortNotOpen);
    EXPECT_EQ(ErrorOf([&] { e.Input(); }), kErrPortMustBeOpen);
    EXPECT_EQ(ErrorOf([&] { e.LineInput(); }), kErrPortMustBeOpen);
    EXPECT_EQ(ErrorOf([&] { e.Output("x"); }), kErrPortMustBeOpen);
    EXPECT_FALSE(e.CDHolding());
    EXPECT_EQ(e.InBufferCount(), 0);
    e.SetInBufferCount(0);  // closed: nothing to do
    EXPECT_EQ(ErrorOf([&] { e.SetInBufferCount(5); }), kErrInvalidPropertyValue);

    // A port number whose device does not exist.
    e.SetCommPort(kPort + 1);
    ::setenv("TOLVEXCOMM_COM8", "/dev/nonexistent-tty", 1);
    EXPECT_EQ(ErrorOf([&] { e.SetPortOpen(true); }), kErrInvalidPort);
    ::unsetenv("TOLVEXCOMM_COM8");

    e.SetCommPort(kPort);
    e.SetPortOpen(true);
    EXPECT_EQ(ErrorOf([&] { e.SetPortOpen(true); }), kErrPortAlreadyOpen);
    EXPECT_EQ(ErrorOf([&] { e.SetCommPort(2); }), kErrPortAlreadyOpen);
    EXPECT_EQ(ErrorOf([&] { e.SetInBufferSize(100); }), kErrPortAlreadyOpenOp);
    EXPECT_EQ(ErrorOf([&] { e.SetOutBufferSize(100); }), kErrPortAlreadyOpenOp);
    // A pseudo-terminal has no modem lines: the lines read low, and raising
    // or lowering DTR and RTS is accepted without effect.
    EXPECT_FALSE(e.CTSHolding());
    e.SetDTREnable(0);
    e.SetRTSEnable(0);
    e.SetBreak(true);
    e.SetBreak(false);

    // A second engine cannot take the port while the first holds it.
    Harness other(MapPort(kPort, pty.path()));
    other.engine().SetCommPort(kPort);
    EXPECT_EQ(ErrorOf([&] { other.engine().SetPortOpen(true); }), kErrPortAlreadyOpen);
    e.SetPortOpen(false);
    EXPECT_EQ(e.CommID(), 0);
    other.engine().SetPortOpen(true);
    EXPECT_TRUE(other.engine().PortOpen());
}

// Another program that holds the device is seen whether it cooperates with
// a lock or just opened it (as root, TIOCEXCL would not have kept it out).
TEST(PtyPort, PortHeldByAnotherProcessIsBusy)
{
    for (const bool lock : {true, false}) {
        SCOPED_TRACE(lock ? "locked" : "plain open");
        Pty pty;
        int to_parent[2], to_child[2];
        ASSERT_EQ(::pipe(to_parent), 0);
        ASSERT_EQ(::pipe(to_child), 0);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(to_child[1]);
            ::close(pty.slave());  // inherited: the child holds only what it opens
            int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
            char ok = (fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0)) ? '1' : '0';
            [[maybe_unused]] ssize_t w = ::write(to_parent[1], &ok, 1);
            char c;
            [[maybe_unused]] ssize_t r = ::read(to_child[0], &c, 1);  // until the parent is done
            ::_exit(0);
        }
        char ok = 0;
        ASSERT_EQ(::read(to_parent[0], &ok, 1), 1);
        ASSERT_EQ(ok, '1');

        Harness h(MapPort(kPort, pty.path()));
        h.engine().SetCommPort(kPort);
        EXPECT_EQ(ErrorOf([&] { h.engine().SetPortOpen(true); }), kErrPortAlreadyOpen);
        EXPECT_FALSE(h.engine().PortOpen());

        ::close(to_child[1]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(to_parent[0]);
        ::close(to_parent[1]);
        ::close(to_child[0]);
        // Released with the other process; this process's own descriptor of
        // the slave does not count.
        h.engine().SetPortOpen(true);
        EXPECT_TRUE(h.engine().PortOpen());
    }
}

TEST(PtyPort, PermissionDeniedNamesTheDevice)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may open any device";
    char path[] = "/tmp/tolvex-noaccess-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::chmod(path, 0), 0);
    Harness h(MapPort(kPort, path));
    h.engine().SetCommPort(kPort);
    try {
        h.engine().SetPortOpen(true);
        ADD_FAILURE() << "opened";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), kErrPortAlreadyOpen);
        EXPECT_EQ(std::string(e.what()), std::string("ポート ") + path + " を開く権限がありません");
    }
    ::unlink(path);
}

}  // namespace
}  // namespace tolvex::serial
