// The POSIX serial device: a tty in raw mode configured through termios2, so
// that any baud rate (56000, 28800, 14400 included) can be set.
//
// What a device can report depends on its driver:
// - Pseudo-terminals have no modem lines (TIOCMGET fails: the holding
//   properties read false and no CTS/DSR/CD/RING events occur), cannot send
//   or receive a break and never see framing, overrun or parity errors;
//   TIOCGICOUNT is not supported, and received bytes come without marks.
//   A closed master shows as a hang-up.
// - USB serial adapters (usb-serial drivers) report CTS, DSR, CD and RI
//   through TIOCMGET as far as the chip wires them, and count errors through
//   TIOCGICOUNT as far as the driver does (ftdi_sio counts break, framing,
//   parity and overrun; other drivers vary by chip and kernel version).
//   Pulling the adapter shows as a hang-up. Line errors also arrive as marks
//   in the data stream (PARMRK), which is how the engine replaces bytes with
//   parity errors.
// - On-board UARTs (8250) report everything.

#include <asm/termbits.h>
#include <dirent.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "serial/port_device.h"
#include "serial/termios_mapping.h"

namespace tolvex::serial {
namespace {

struct SpeedCode {
    std::uint32_t rate;
    unsigned code;
};

constexpr SpeedCode kStandardSpeeds[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

}  // namespace

bool OtherProcessHolds(int fd)
{
    struct stat own {};
    if (::fstat(fd, &own) != 0 || !S_ISCHR(own.st_mode))
        return false;
    // The kernel names an open device the same way in every process's fd
    // table, so comparing link texts finds the candidates cheaply; the
    // device number then confirms each one.
    char buf[4096];
    const std::string self_link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t own_len = ::readlink(self_link.c_str(), buf, sizeof buf);
    if (own_len <= 0 || static_cast<std::size_t>(own_len) >= sizeof buf)
        return false;
    const std::string own_name(buf, static_cast<std::size_t>(own_len));

    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    const long self = static_cast<long>(::getpid());
    bool held = false;
    while (!held) {
        const dirent* p = ::readdir(proc);
        if (!p)
            break;
        char* end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (!end || *end != '\0' || pid <= 0 || pid == self)
            continue;
        const std::string fd_dir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fd_dir.c_str());
        if (!fds)
            continue;  // gone, or another user's process we may not look into
        while (const dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.')
                continue;
            const std::string link = fd_dir + "/" + f->d_name;
            const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
            if (n != own_len || own_name.compare(0, own_name.size(), buf, static_cast<std::size_t>(n)) != 0)
                continue;
            struct stat st {};
            if (::stat(link.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == own.st_rdev) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return held;
}

bool BuildTermios(const DeviceSettings& s, struct termios2& t)
{
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | CIBAUD);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    // Breaks and bytes with line errors arrive marked, so the engine can
    // count and replace them.
    t.c_iflag |= PARMRK;

    unsigned code = BOTHER;
    for (const SpeedCode& sc : kStandardSpeeds)
        if (sc.rate == s.baud)
            code = sc.code;
    t.c_cflag |= code;
    t.c_ispeed = s.baud;
    t.c_ospeed = s.baud;

    switch (s.byte_size) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;  // the line has no 4-bit characters
    }
    switch (s.parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    if (s.parity != 0 && (s.parity_check || s.error_char_enabled))
        t.c_iflag |= INPCK;
    switch (s.stop_bits) {
    case 0: break;
    case 1:
        // A UART sends one and a half stop bits only with 5-bit characters,
        // where the two-stop-bit setting gives exactly that.
        if (s.byte_size != 5)
            return false;
        t.c_cflag |= CSTOPB;
        break;
    case 2: t.c_cflag |= CSTOPB; break;
    default: return false;
    }
    if (s.out_cts_flow || s.rts == RtsControl::kHandshake)
        t.c_cflag |= CRTSCTS;
    if (s.out_x)
        t.c_iflag |= IXON;
    if (s.in_x)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = s.xon_char;
    t.c_cc[VSTOP] = s.xoff_char;
    return true;
}

namespace {

class PosixPortDevice final : public PortDevice {
public:
    ~PosixPortDevice() override { Close(); }

    int Open(const std::string& path) override
    {
        Close();
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        // TIOCEXCL keeps other openers out (except privileged ones); the
        // lock catches every process that cooperates, privileged or not.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return err;
        }
        // A program that opened the device without either (or as root,
        // which TIOCEXCL does not stop) would share the received data with
        // us; refuse the device while any other process has it open.
        if (OtherProcessHolds(fd)) {
            ::close(fd);
            return EBUSY;
        }
        ::ioctl(fd, TIOCEXCL);
        struct stat st {};
        pseudo_ = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
                  ((major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143) || major(st.st_rdev) == 3);
        fd_ = fd;
        return 0;
    }

    void Close() override
    {
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);  // also releases the lock
            fd_ = -1;
        }
    }

    int Handle() const override { return fd_; }

    bool Apply(const DeviceSettings& s) override
    {
        if (fd_ < 0)
            return false;
        struct termios2 t {};
        if (::ioctl(fd_, TCGETS2, &t) != 0)
            return false;
        if (!BuildTermios(s, t))
            return false;
        if (pseudo_) {
            // A pseudo-terminal has no line errors to mark or parity to
            // check. Either setting would only make the kernel look at every
            // received byte on its own (and double each 0xFF) instead of
            // copying the data through.
            t.c_iflag &= ~static_cast<tcflag_t>(PARMRK | INPCK);
        }
        if (::ioctl(fd_, TCSETS2, &t) != 0)
            return false;
        // A driver may quietly drop what it cannot do; read back and refuse
        // the settings when the line is not what was asked for. A
        // pseudo-terminal carries whole bytes and always reports 8 bits
        // without parity, so only its speed and stop bits are compared.
        struct termios2 back {};
        if (::ioctl(fd_, TCGETS2, &back) != 0)
            return false;
        const tcflag_t line_bits = pseudo_ ? CSTOPB : (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        if ((back.c_cflag & line_bits) != (t.c_cflag & line_bits))
            return false;
        if ((t.c_cflag & CBAUD) == BOTHER ? back.c_ospeed != s.baud
                                          : (back.c_cflag & CBAUD) != (t.c_cflag & CBAUD))
            return false;

        SetDtr(s.dtr == DtrControl::kEnable);
        if (s.rts != RtsControl::kHandshake)
            SetRts(s.rts == RtsControl::kEnable);
        return true;
    }

    bool MarksLineErrors() const override { return !pseudo_; }

    int SetDtr(bool raise) override { return SetLine(TIOCM_DTR, raise); }
    int SetRts(bool raise) override { return SetLine(TIOCM_RTS, raise); }

    void SetBreak(bool on) override
    {
        if (fd_ >= 0)
            ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK);
    }

    std::optional<std::uint32_t> ModemStatus() override
    {
        int bits = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &bits) != 0)
            return std::nullopt;
        std::uint32_t status = 0;
        if (bits & TIOCM_CTS) status |= kModemCts;
        if (bits & TIOCM_DSR) status |= kModemDsr;
        if (bits & TIOCM_RNG) status |= kModemRing;
        if (bits & TIOCM_CAR) status |= kModemRlsd;
        return status;
    }

    std::optional<LineErrorCounts> ErrorCounts() override
    {
        struct serial_icounter_struct ic {};
        if (fd_ < 0 || ::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
            return std::nullopt;
        LineErrorCounts c;
        c.frame = static_cast<std::uint32_t>(ic.frame);
        c.overrun = static_cast<std::uint32_t>(ic.overrun);
        c.parity = static_cast<std::uint32_t>(ic.parity);
        c.brk = static_cast<std::uint32_t>(ic.brk);
        c.buf_overrun = static_cast<std::uint32_t>(ic.buf_overrun);
        return c;
    }

    ssize_t Read(std::uint8_t* buffer, std::size_t size) override
    {
        return ::read(fd_, buffer, size);
    }

    ssize_t Write(const std::uint8_t* data, std::size_t size) override
    {
        return ::write(fd_, data, size);
    }

    std::size_t TransmitQueue() override
    {
        int n = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0)
            return 0;
        return static_cast<std::size_t>(n);
    }

    void DiscardReceive() override
    {
        if (fd_ >= 0)
            ::ioctl(fd_, TCFLSH, TCIFLUSH);
    }

    void DiscardTransmit() override
    {
        if (fd_ >= 0)
            ::ioctl(fd_, TCFLSH, TCOFLUSH);
    }

private:
    int SetLine(int line, bool raise)
    {
        if (fd_ < 0)
            return EBADF;
        if (::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &line) == 0)
            return 0;
        // Pseudo-terminals and other lineless devices have no such line.
        if (errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP)
            return 0;
        return errno;
    }

    int fd_ = -1;
    bool pseudo_ = false;  // a pseudo-terminal slave
};

}  // namespace

std::unique_ptr<PortDevice> MakePosixPortDevice()
{
    return std::make_unique<PosixPortDevice>();
}

}  // namespace tolvex::serial
