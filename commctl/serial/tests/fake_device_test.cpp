// The engine against a substitute port: what a pseudo-terminal cannot show
// (refused settings, open failures, modem lines, line errors).

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "serial/port_device.h"
#include "testkit.h"

namespace tolvex::serial {
namespace {

using testkit::Harness;

struct FakeState {
    std::atomic<int> open_errno{0};
    std::atomic<bool> accept{true};
    std::atomic<int> dtr_errno{0};
    std::atomic<std::uint32_t> modem{0};
    std::mutex m;
    std::optional<LineErrorCounts> counts;  // nothing: the driver does not count
    std::vector<DeviceSettings> applied;
    std::string path;
    int peer = -1;  // the far end of the line
};

class FakeDevice final : public PortDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
    ~FakeDevice() override { Close(); }

    int Open(const std::string& path) override
    {
        s_->path = path;
        if (int err = s_->open_errno.load())
            return err;
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0)
            return errno;
        fd_ = sv[0];
        s_->peer = sv[1];
        return 0;
    }
    void Close() override
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (s_->peer >= 0)
            ::close(s_->peer);
        s_->peer = -1;
    }
    int Handle() const override { return fd_; }
    bool Apply(const DeviceSettings& d) override
    {
        std::lock_guard lk(s_->m);
        s_->applied.push_back(d);
        return s_->accept.load();
    }
    bool MarksLineErrors() const override { return true; }
    int SetDtr(bool) override { return s_->dtr_errno.load(); }
    int SetRts(bool) override { return 0; }
    void SetBreak(bool) override {}
    std::optional<std::uint32_t> ModemStatus() override { return s_->modem.load(); }
    std::optional<LineErrorCounts> ErrorCounts() override
    {
        std::lock_guard lk(s_->m);
        return s_->counts;
    }
    ssize_t Read(std::uint8_t* b, std::size_t n) override { return ::read(fd_, b, n); }
    ssize_t Write(const std::uint8_t* d, std::size_t n) override
    {
        return ::send(fd_, d, n, MSG_NOSIGNAL);
    }
    std::size_t TransmitQueue() override { return 0; }
    void DiscardReceive() override {}
    void DiscardTransmit() override {}

private:
    std::shared_ptr<FakeState> s_;
    int fd_ = -1;
};

class FakePort : public ::testing::Test {
protected:
    FakePort()
        : state_(std::make_shared<FakeState>()),
          h_([](std::string_view) { return std::optional<std::string>("/dev/fake"); },
             [s = state_] { return std::make_unique<FakeDevice>(s); })
    {
    }
    CommEngine& e() { return h_.engine(); }
    int ErrorOf(const std::function<void()>& f)
    {
        try {
            f();
        } catch (const ControlError& err) {
            return err.number();
        }
        return 0;
    }
    void PeerWrite(std::string_view bytes)
    {
        ASSERT_EQ(::write(state_->peer, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    std::shared_ptr<FakeState> state_;
    Harness h_;
};

TEST_F(FakePort, OpenFailuresAndRefusedSettingsRaiseTheirNumbers)
{
    struct Case {
        int err;
        int number;
    };
    const Case cases[] = {
        {ENOENT, kErrInvalidPort}, {ENODEV, kErrInvalidPort}, {EBUSY, kErrPortAlreadyOpen},
        {EACCES, kErrPortAlreadyOpen}, {EPERM, kErrPortAlreadyOpen}, {EIO, kErrPortNotOpen},
    };
    for (const Case& c : cases) {
        state_->open_errno = c.err;
        EXPECT_EQ(ErrorOf([&] { e().SetPortOpen(true); }), c.number) << c.err;
        EXPECT_FALSE(e().PortOpen());
    }
    EXPECT_EQ(state_->path, "/dev/fake");
    state_->open_errno = 0;

    state_->accept = false;
    EXPECT_EQ(ErrorOf([&] { e().SetPortOpen(true); }), kErrSetCommState);
    EXPECT_FALSE(e().PortOpen());
    EXPECT_EQ(e().CommID(), 0);

    state_->accept = true;
    e().SetPortOpen(true);
    state_->accept = false;
    // Handshaking and Settings go back to their previous values (the line
    // keeps running at the old speed, and Settings must say so); NullDiscard
    // and ParityReplace keep the new one.
    EXPECT_EQ(ErrorOf([&] { e().SetHandshaking(kHandshakeRts); }), kErrSetCommState);
    EXPECT_EQ(e().Handshaking(), kHandshakeNone);
    EXPECT_EQ(ErrorOf([&] { e().SetNullDiscard(-1); }), kErrSetCommState);
    EXPECT_TRUE(e().NullDiscard());
    EXPECT_EQ(ErrorOf([&] { e().SetParityReplace("?"); }), kErrSetCommState);
    EXPECT_EQ(e().ParityReplace(), "?");
    {
        std::lock_guard lk(state_->m);
        state_->applied.clear();
    }
    EXPECT_EQ(ErrorOf([&] { e().SetSettings("1200,e,7,1"); }), kErrSetCommState);
    EXPECT_EQ(e().Settings(), "9600,N,8,1");
    EXPECT_EQ(e().Line().baud, 9600);
    EXPECT_EQ(e().CurrentDeviceSettings().baud, 9600u);
    {
        // The refused line, then the old one handed back to the device.
        std::lock_guard lk(state_->m);
        ASSERT_EQ(state_->applied.size(), 2u);
        EXPECT_EQ(state_->applied[0].baud, 1200u);
        EXPECT_EQ(state_->applied[1].baud, 9600u);
        EXPECT_EQ(state_->applied[1].byte_size, 8);
    }
    state_->accept = true;
    EXPECT_EQ(ErrorOf([&] { e().SetSettings("1200,e,7,1"); }), 0);
    EXPECT_EQ(e().Settings(), "1200,E,7,1");
    state_->accept = false;
    EXPECT_EQ(ErrorOf([&] { e().SetNullDiscard(2); }), kErrInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([&] { e().SetHandshaking(4); }), kErrInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([&] { e().SetSettings("9600,n,9,1"); }), kErrInvalidPropertyValue);
    EXPECT_EQ(e().Settings(), "1200,E,7,1");

    // A failed line operation raises the system's error number.
    state_->accept = true;
    state_->dtr_errno = EIO;
    EXPECT_EQ(ErrorOf([&] { e().SetDTREnable(0); }), EIO);
    EXPECT_EQ(e().DTREnable(), 0);
    {
        std::lock_guard lk(state_->m);
        EXPECT_EQ(state_->applied.back().baud, 1200u);
        EXPECT_EQ(state_->applied.back().byte_size, 7);
    }
}

TEST_F(FakePort, ModemLinesAndCountedLineErrorsRaiseEvents)
{
    {
        std::lock_guard lk(state_->m);
        state_->counts = LineErrorCounts{};
    }
    e().SetPortOpen(true);
    EXPECT_FALSE(e().CTSHolding());

    state_->modem = kModemCts;
    ASSERT_TRUE(h_.RunUntil([&] { return h_.Count(kEvCts) == 1; }, 5000));
    EXPECT_TRUE(e().CTSHolding());
    state_->modem = kModemCts | kModemDsr | kModemRlsd;
    ASSERT_TRUE(h_.RunUntil([&] { return h_.Count(kEvDsr) == 1 && h_.Count(kEvCd) == 1; }, 5000));
    EXPECT_TRUE(e().DSRHolding());
    EXPECT_TRUE(e().CDHolding());
    state_->modem = kModemCts | kModemDsr | kModemRlsd | kModemRing;
    ASSERT_TRUE(h_.RunUntil([&] { return h_.Count(kEvRing) == 1; }, 5000));
    state_->modem = kModemCts | kModemDsr | kModemRlsd;  // ring ends: no event
    h_.Run(100);
    EXPECT_EQ(h_.Count(kEvRing), 1);

    h_.events.clear();
    {
        std::lock_guard lk(state_->m);
        state_->counts->parity = 1;
        state_->counts->frame = 2;
        state_->counts->overrun = 1;
    }
    ASSERT_TRUE(h_.RunUntil([&] { return h_.events.size() >= 3; }, 5000));
    h_.Run(50);
    EXPECT_EQ(h_.events, (std::vector<std::int16_t>{kErFrame, kErOverrun, kErRxParity}));

    h_.events.clear();
    {
        std::lock_guard lk(state_->m);
        state_->counts->brk = 1;
    }
    ASSERT_TRUE(h_.RunUntil([&] { return !h_.events.empty(); }, 5000));
    h_.Run(50);
    EXPECT_EQ(h_.events, std::vector<std::int16_t>{kErBreak});
    e().SetPortOpen(false);
    EXPECT_FALSE(e().CTSHolding());
}

TEST_F(FakePort, MarkedBytesAreReplacedNullsDiscardedAndErrorsReported)
{
    e().SetParityReplace("?");
    e().SetNullDiscard(1);
    e().SetPortOpen(true);
    // a, a byte with a parity error (b), a literal 0xFF, a NUL, a break.
    PeerWrite(std::string("a\xFF\x00" "b\xFF\xFF\x00" "c\xFF\x00\x00" "d", 12));
    ASSERT_TRUE(h_.RunUntil([&] { return e().InBufferCount() == 5; }, 5000));
    h_.Run(50);
    EXPECT_EQ(e().Input(), "a?\xFF" "cd");
    EXPECT_EQ(h_.Count(kErRxParity), 1);
    EXPECT_EQ(h_.Count(kErBreak), 1);

    // Without a replacement character the byte is kept as received; a
    // mark split over two reads is still recognised.
    e().SetParityReplace("");
    e().SetNullDiscard(0);
    PeerWrite(std::string("\xFF", 1));
    h_.Run(30);
    PeerWrite(std::string("\x00" "e\x00", 3));
    ASSERT_TRUE(h_.RunUntil([&] { return e().InBufferCount() == 2; }, 5000));
    EXPECT_EQ(e().InputB(), std::string("e\x00", 2));
}

TEST_F(FakePort, HeldBackMarkByteNeverOverfillsTheQueue)
{
    // A read that ends on 0xFF holds it back until the next byte shows what
    // it is; an unexpected next byte brings both out, and the queue must
    // still have room for them.
    e().SetInBufferSize(2);
    e().SetPortOpen(true);
    PeerWrite("a\xFF");
    ASSERT_TRUE(h_.RunUntil([&] { return e().InBufferCount() == 1; }, 5000));
    PeerWrite("z");
    h_.Run(50);
    EXPECT_LE(e().InBufferCount(), 2);
    std::string got;
    ASSERT_TRUE(h_.RunUntil(
        [&] {
            got += e().InputB();
            return got.size() >= 3;
        },
        5000));
    EXPECT_EQ(got, "a\xFFz");
}

}  // namespace
}  // namespace tolvex::serial
