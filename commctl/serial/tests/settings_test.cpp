// The Settings grammar, the device-settings mapping and the port mapping.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "serial/comm_engine.h"
#include "serial/termios_mapping.h"

namespace tolvex::serial {
namespace {

struct GrammarCase {
    const char* text;
    bool ok;
    LineSettings expect;  // from a start of 9600,N,8,1
};

TEST(SettingsGrammar, AcceptsTableTextsAndRejectsTheRestUnchanged)
{
    const GrammarCase cases[] = {
        {"9600,N,8,1", true, {9600, 0, 8, 0}},
        {"4800,n,8,1", true, {4800, 0, 8, 0}},
        {" 4800 , n , 8 , 1 ", true, {4800, 0, 8, 0}},
        {" 4800 ,\tn , 8 , 1 ", true, {4800, 0, 8, 0}},
        {"\t4800,o,7,2\t", true, {4800, 1, 7, 2}},
        {"19200,e,7,1.5", true, {19200, 2, 7, 1}},
        {"19200,e,7,1", true, {19200, 2, 7, 0}},
        {"230400,m,5,2", true, {256000, 3, 5, 2}},
        {"110,s,4,1", true, {110, 4, 4, 0}},
        {",,7,", true, {9600, 0, 7, 0}},
        {",e,,", true, {9600, 2, 8, 0}},
        {"9600", true, {9600, 0, 8, 0}},
        {"1200", true, {1200, 0, 8, 0}},
        {"57600", true, {57600, 0, 8, 0}},
        {"", true, {9600, 0, 8, 0}},
        // Fields may follow each other without a comma.
        {"2400e71", true, {2400, 2, 7, 0}},
        {"9600,x,8,1", false, {}},
        {"9600,n,9,1", false, {}},
        {"9601,n,8,1", false, {}},
        {"9600,n,8,1,x", false, {}},
        {"9600x,n,8,1", false, {}},
        {"9600,n,8,3", false, {}},
        {"abc", false, {}},
        {"96", false, {}},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE(c.text);
        LineSettings v;  // 9600,N,8,1
        const LineSettings before = v;
        ASSERT_EQ(ParseSettingsText(c.text, v), c.ok);
        const LineSettings want = c.ok ? c.expect : before;
        EXPECT_EQ(v.baud, want.baud);
        EXPECT_EQ(v.parity, want.parity);
        EXPECT_EQ(v.data_bits, want.data_bits);
        EXPECT_EQ(v.stop_bits, want.stop_bits);
    }
}

TEST(DeviceSettingsMapping, FollowsHandshakingLinesAndReplacement)
{
    PortConfig c;
    c.line = {19200, 2, 7, 2};
    c.in_buffer_size = 4000;
    DeviceSettings base;
    base.xon_char = 0x55;  // the mapping sets the flow characters itself
    DeviceSettings d = BuildDeviceSettings(c, base);
    EXPECT_EQ(d.baud, 19200u);
    EXPECT_EQ(d.byte_size, 7);
    EXPECT_EQ(d.parity, 2);
    EXPECT_EQ(d.stop_bits, 2);
    EXPECT_EQ(d.xon_lim, 1000);
    EXPECT_EQ(d.xoff_lim, 1000);
    EXPECT_EQ(d.xon_char, 0x11);
    EXPECT_EQ(d.xoff_char, 0x13);
    EXPECT_EQ(d.evt_char, 0x1A);
    EXPECT_TRUE(d.parity_check);
    EXPECT_FALSE(d.error_char_enabled);
    EXPECT_EQ(d.dtr, DtrControl::kEnable);
    EXPECT_EQ(d.rts, RtsControl::kEnable);
    EXPECT_FALSE(d.out_x || d.in_x || d.out_cts_flow);

    struct Case {
        std::int16_t hs;
        std::int32_t rts_enable;
        bool xon, cts;
        RtsControl rts;
    };
    const Case hs[] = {
        {kHandshakeNone, 0, false, false, RtsControl::kDisable},
        {kHandshakeXon, -1, true, false, RtsControl::kEnable},
        {kHandshakeRts, 0, false, true, RtsControl::kHandshake},
        {kHandshakeBoth, -1, true, true, RtsControl::kHandshake},
    };
    for (const Case& k : hs) {
        SCOPED_TRACE(k.hs);
        c.handshaking = k.hs;
        c.rts_enable = k.rts_enable;
        d = BuildDeviceSettings(c, base);
        EXPECT_EQ(d.out_x, k.xon);
        EXPECT_EQ(d.in_x, k.xon);
        EXPECT_EQ(d.out_cts_flow, k.cts);
        EXPECT_EQ(d.rts, k.rts);
    }

    c.dtr_enable = 0;
    c.parity_replace = "?x";
    c.null_discard = true;
    c.line.baud = 256000;
    d = BuildDeviceSettings(c, base);
    EXPECT_EQ(d.dtr, DtrControl::kDisable);
    EXPECT_TRUE(d.error_char_enabled);
    EXPECT_EQ(d.error_char, '?');
    EXPECT_FALSE(d.parity_check);
    EXPECT_TRUE(d.null_discard);
    EXPECT_EQ(d.baud, 230400u);  // the text 230400 drives the line at 230400
}

TEST(TermiosMapping, CharacterFramingAndFlowControl)
{
    struct Case {
        std::uint8_t bits, parity, stop;
        bool ok;
        tcflag_t cflag;  // size, parity and stop bits expected
    };
    const Case cases[] = {
        {8, 0, 0, true, CS8},
        {7, 2, 0, true, CS7 | PARENB},
        {7, 1, 2, true, CS7 | PARENB | PARODD | CSTOPB},
        {6, 3, 0, true, CS6 | PARENB | PARODD | CMSPAR},
        {5, 4, 1, true, CS5 | PARENB | CMSPAR | CSTOPB},
        {8, 0, 1, false, 0},
        {4, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bits) * 100 + c.parity * 10 + c.stop);
        DeviceSettings d;
        d.byte_size = c.bits;
        d.parity = c.parity;
        d.stop_bits = c.stop;
        struct termios2 t {};
        t.c_lflag = ICANON | ECHO;
        t.c_iflag = ICRNL | IXON;
        ASSERT_EQ(BuildTermios(d, t), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.cflag);
        EXPECT_EQ(bool(t.c_iflag & INPCK), c.parity != 0);
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
        EXPECT_FALSE(t.c_iflag & (ICRNL | IXON));
        EXPECT_TRUE(t.c_iflag & PARMRK);
    }
    DeviceSettings d;
    d.baud = 14400;
    d.out_x = d.in_x = true;
    d.rts = RtsControl::kHandshake;
    struct termios2 t {};
    ASSERT_TRUE(BuildTermios(d, t));
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 14400u);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
}

TEST(PortMapping, ProfileThenEnvironmentThenDefault)
{
    ::unsetenv("TOLVEXCOMM_COM3");
    EXPECT_EQ(MapPortToDevice(3, {}), "/dev/ttyS2");
    ::setenv("TOLVEXCOMM_COM3", "/dev/ttyUSB7", 1);
    EXPECT_EQ(MapPortToDevice(3, {}), "/dev/ttyUSB7");
    ProfileLookup ports = [](std::string_view key) -> std::optional<std::string> {
        if (key == "COM3")
            return std::string("/dev/ttyUSB0");
        return std::nullopt;
    };
    EXPECT_EQ(MapPortToDevice(3, ports), "/dev/ttyUSB0");
    EXPECT_EQ(MapPortToDevice(1, ports), "/dev/ttyS0");
    ::unsetenv("TOLVEXCOMM_COM3");
    EXPECT_EQ(PortDeviceName(3), "\\\\.\\COM3");
}

// Open failures keep the numbers callers test, but a device the user may
// not open says so (naming the group that may) instead of "already open".
TEST(OpenFailure, ErrnoGivesNumberAndDescription)
{
    char path[] = "/tmp/tolvex-device-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const group* g = ::getgrgid(::getegid());
    ASSERT_NE(g, nullptr);
    const std::string device = path;
    const std::string denied = "ポート " + device + " を開く権限がありません";
    struct Case {
        int err;
        mode_t mode;
        int number;
        std::string text;
    };
    const Case cases[] = {
        {ENOENT, 0660, kErrInvalidPort, "無効なポート番号です"},
        {ENXIO, 0660, kErrInvalidPort, "無効なポート番号です"},
        {EBUSY, 0660, kErrPortAlreadyOpen, "既にポートはオープンされています"},
        {EACCES, 0660, kErrPortAlreadyOpen, denied + "（" + g->gr_name + " グループへの所属が必要です）"},
        {EPERM, 0660, kErrPortAlreadyOpen, denied + "（" + g->gr_name + " グループへの所属が必要です）"},
        // The group may not read and write it: membership would not help.
        {EACCES, 0600, kErrPortAlreadyOpen, denied},
        {EIO, 0660, kErrPortNotOpen, "デバイスはオープンされていません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.err) + " mode " + std::to_string(c.mode));
        ASSERT_EQ(::chmod(path, c.mode), 0);
        const ControlError e = OpenFailure(c.err, device);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(std::string(e.what()), c.text);
    }
    ::unlink(path);
    EXPECT_EQ(std::string(OpenFailure(EACCES, device).what()), denied);  // gone: no group to name
}

}  // namespace
}  // namespace tolvex::serial
