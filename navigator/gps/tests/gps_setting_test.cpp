// The GPS settings without the dialog: what OK writes and refuses, the serial
// devices listed from a private device folder of pseudo-terminals, a device
// without permission, and the port mapping of the control's profile.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "gps/gps_setting_session.h"
#include "settings/settings.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::gps {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

// A pseudo-terminal kept open for the test; its slave is the device.
struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) slave = ::ptsname(master);
    }
    ~Pty()
    {
        if (master >= 0) ::close(master);
    }
};

struct Settings : ::testing::Test {
    testsupport::ScratchDir dir{"gpsset"};
    NavState s;
    fs::path profile;

    void SetUp() override
    {
        s.ProgramFolder = (dir.path() / "home").string();
        fs::create_directories(dir.path() / "home" / "data0");
        profile = dir.path() / "config" / "tolvexcomm.ini";
    }
    GPSSettingChoice Row(int row, int port, int speed)
    {
        GPSSettingChoice c;
        GPSSettingSession::RowLabels(row, c.mapNum, c.lat, c.lon);
        c.portIndex = port;
        c.speedIndex = speed;
        return c;
    }
};

TEST_F(Settings, OkWithZone9Com3And4800WritesTheSixLines)
{
    GPSSettingSession session(s, profile);
    const GPSSettingOutcome out = session.Confirm(Row(9, 2, 1));
    EXPECT_TRUE(out.close);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_TRUE(out.zoneChanged);
    EXPECT_EQ(ReadBytes(GPSSettingPath(s.ProgramFolder)), " 9 \r\n36-00\r\n139-50\r\n 3 \r\n 2 \r\n4800,n,8,1\r\n");
    EXPECT_EQ(s.Zone.ZoneNo, 9);
    EXPECT_DOUBLE_EQ(s.Zone.ZoneOriginLat, 36.0);
    EXPECT_NEAR(s.Zone.ZoneOriginLon, 139.8333333, 1e-6);
    EXPECT_EQ(s.GPSPortNo, 3);
    EXPECT_EQ(s.GPSSpeedIndex, 2);
    EXPECT_EQ(s.GPSPortSettings, "4800,n,8,1");
    EXPECT_FALSE(fs::exists(profile));  // no device chosen: the profile is left alone

    // The same again changes no zone.
    EXPECT_FALSE(session.Confirm(Row(9, 2, 1)).zoneChanged);
}

// The two faster speeds come after the five old entries, so an old file's
// index keeps its speed; the new indexes 6 and 7 read back as written.
TEST_F(Settings, FasterSpeedsAfterTheOldEntriesAndOldFilesReadUnchanged)
{
    EXPECT_EQ(std::vector<std::string>(SpeedTexts().begin(), SpeedTexts().end()),
              (std::vector<std::string>{"2400,n,8,1", "4800,n,8,1", "9600,n,8,1", "19200,n,8,1", "38400,n,8,1",
                                        "57600,n,8,1", "115200,n,8,1"}));
    const std::string old = " 9 \r\n36-00\r\n139-50\r\n 3 \r\n 5 \r\n38400,n,8,1\r\n";
    WriteBytes(GPSSettingPath(s.ProgramFolder), old);
    ReadGPSSetting(s);
    EXPECT_EQ(s.GPSSpeedIndex, 5);
    EXPECT_EQ(s.GPSPortSettings, "38400,n,8,1");
    GPSSettingSession session(s, profile);
    EXPECT_EQ(session.Initial().speedIndex, 4);
    // OK with the same choice writes the file back byte for byte
    GPSSettingChoice same = Row(9, 2, 4);
    ASSERT_TRUE(session.Confirm(same).close);
    EXPECT_EQ(ReadBytes(GPSSettingPath(s.ProgramFolder)), old);

    ASSERT_TRUE(session.Confirm(Row(9, 2, 6)).close);
    EXPECT_EQ(ReadBytes(GPSSettingPath(s.ProgramFolder)), " 9 \r\n36-00\r\n139-50\r\n 3 \r\n 7 \r\n115200,n,8,1\r\n");
    NavState again;
    again.ProgramFolder = s.ProgramFolder;
    ReadGPSSetting(again);
    EXPECT_EQ(GPSSettingSession(again, profile).Initial().speedIndex, 6);
}

// The checksum check box: on by default, kept in the navigator's profile
// (GPSSetting.dat keeps its six lines), read back at start.
TEST_F(Settings, ChecksumTestIsKeptInTheNavigatorProfile)
{
    s.GGAChecksumDropped = 3;
    GPSSettingSession session(s, profile);
    const GPSSettingView v = session.Initial();
    EXPECT_TRUE(v.checksumTest);
    EXPECT_EQ(v.checksumDropped, 3);
    EXPECT_EQ(ChecksumDroppedText(3), "不一致で捨てた文：3件（前回のGPS開始から）");

    GPSSettingChoice off = Row(9, 0, 2);
    off.checksumTest = false;
    ASSERT_TRUE(session.Confirm(off).close);
    EXPECT_FALSE(s.GGAChecksumTest);
    EXPECT_EQ(ReadBytes(GPSSettingPath(s.ProgramFolder)), " 9 \r\n36-00\r\n139-50\r\n 1 \r\n 3 \r\n9600,n,8,1\r\n");
    EXPECT_EQ(ReadBytes(NavigatorProfilePath(s.ProgramFolder)), "[GPS]\r\nVerifyChecksum=0\r\n");

    NavState next;
    next.ProgramFolder = s.ProgramFolder;
    ReadNavigatorProfile(next);
    EXPECT_FALSE(next.GGAChecksumTest);
    NavState fresh;
    fresh.ProgramFolder = (dir.path() / "nowhere").string();
    ReadNavigatorProfile(fresh);
    EXPECT_TRUE(fresh.GGAChecksumTest);

    // An unwritable profile is told; the choice still applies.
    fs::remove(NavigatorProfilePath(s.ProgramFolder));
    fs::create_directories(NavigatorProfilePath(s.ProgramFolder));  // a folder where the file should be
    GPSSettingChoice on = Row(9, 0, 2);
    const GPSSettingOutcome out = session.Confirm(on);
    EXPECT_TRUE(out.close);
    EXPECT_TRUE(s.GGAChecksumTest);
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_NE(out.messages[0].find("チェックサム検査の設定"), std::string::npos);
}

// The device list offers a gpsd that answers (here a listening socket of the
// test), and nothing once it has gone; OK maps the port to it.
TEST_F(Settings, AnsweringGpsdIsOfferedAndMapped)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 2), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    DeviceRoots roots;
    roots.gpsdHost = "127.0.0.1";
    roots.gpsdPort = ntohs(a.sin_port);
    const auto gpsd = LocalGpsd(roots);
    ASSERT_TRUE(gpsd);
    const std::string where = "127.0.0.1:" + std::to_string(roots.gpsdPort);
    EXPECT_EQ(gpsd->label, "gpsd (" + where + ")");
    EXPECT_EQ(gpsd->path, "gpsd:" + where);

    GPSSettingChoice c = Row(9, 3, 2);
    c.device = *gpsd;
    ASSERT_TRUE(GPSSettingSession(s, profile).Confirm(c).close);
    EXPECT_EQ(MappedDevice(4, profile), "gpsd:" + where);

    ::close(fd);
    EXPECT_FALSE(LocalGpsd(roots));
    roots.gpsdPort = 0;
    EXPECT_FALSE(LocalGpsd(roots));
}

TEST_F(Settings, OkIsRefusedWithoutAZoneOrWhileTrackingOrRecording)
{
    struct Case {
        const char* why;
        int row;
        bool running, recording;
        const char* message;
    };
    const Case cases[] = {
        {"the heading row", 0, false, false, "日本測地系の表から、使う系（1～19）の行を選んでください。"},
        {"tracking runs", 9, true, false, "GPSを停止して下さい。またデモも停止してください。"},
        {"a recording runs", 9, true, true, "データの記録を終了してください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        s.GPSRunning = c.running;
        s.RecordingOn = c.recording;
        GPSSettingSession session(s, profile);
        const GPSSettingOutcome out = session.Confirm(Row(c.row, 2, 1));
        EXPECT_FALSE(out.close);
        ASSERT_EQ(out.messages.size(), 1u);
        EXPECT_EQ(out.messages[0], c.message);
        EXPECT_EQ(s.Zone.ZoneNo, 0);
        EXPECT_FALSE(fs::exists(GPSSettingPath(s.ProgramFolder)));
    }
    // Zone 0 as the first run shows it: the number "0", the headings as the
    // origin.
    s.GPSRunning = s.RecordingOn = false;
    const GPSSettingView v = GPSSettingSession(s, profile).Initial();
    EXPECT_EQ(v.zoneRow, -1);
    EXPECT_EQ(v.mapNum, "0");
    EXPECT_EQ(v.lat, "緯度");
    EXPECT_EQ(v.portIndex, 0);
    EXPECT_EQ(v.speedIndex, 2);
    GPSSettingChoice none;
    none.mapNum = v.mapNum;
    none.lat = v.lat;
    none.lon = v.lon;
    EXPECT_FALSE(GPSSettingSession(s, profile).Confirm(none).close);
}

TEST_F(Settings, AFailedWriteIsToldAndTheChoiceStillApplies)
{
    // A folder in the file's place: the replace cannot happen.
    fs::create_directories(fs::path(GPSSettingPath(s.ProgramFolder)) / "x");
    const GPSSettingOutcome out = GPSSettingSession(s, profile).Confirm(Row(10, 0, 4));
    EXPECT_TRUE(out.close);
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_NE(out.messages[0].find("保存できませんでした"), std::string::npos);
    EXPECT_EQ(s.Zone.ZoneNo, 10);
    EXPECT_EQ(s.GPSPortSettings, "38400,n,8,1");
}

TEST_F(Settings, DevicesAreListedByIdFirstThenUsbAcmAndPresentSerialPorts)
{
    Pty a, b, c, d, e;
    ASSERT_FALSE(e.slave.empty());
    const fs::path dev = dir.path() / "dev";
    const fs::path sys = dir.path() / "sys";
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink(a.slave, dev / "serial" / "by-id" / "usb-Test_GPS_Receiver-if00");
    fs::create_symlink(b.slave, dev / "ttyUSB10");
    fs::create_symlink(c.slave, dev / "ttyUSB2");
    fs::create_symlink(a.slave, dev / "ttyACM0");  // reached through by-id already
    fs::create_symlink(d.slave, dev / "ttyS0");
    fs::create_symlink(e.slave, dev / "ttyS1");
    fs::create_symlink(dev / "gone", dev / "ttyUSB3");  // a dangling link
    WriteBytes(dev / "ttyUSBX", "not a device");
    WriteBytes(sys / "ttyS0" / "type", "4\n");
    WriteBytes(sys / "ttyS1" / "type", "0\n");  // no port there

    const auto list = ListSerialDevices({dev, dev / "serial" / "by-id", sys}, "taro");
    std::vector<std::string> paths;
    for (const auto& x : list) paths.push_back(x.path);
    const std::vector<std::string> want = {(dev / "serial" / "by-id" / "usb-Test_GPS_Receiver-if00").string(),
                                           (dev / "ttyUSB2").string(), (dev / "ttyUSB10").string(),
                                           (dev / "ttyS0").string()};
    EXPECT_EQ(paths, want);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].node, fs::canonical(a.slave).string());
    for (const auto& x : list) {
        EXPECT_TRUE(x.accessible) << x.path;
        EXPECT_TRUE(x.problem.empty());
    }
}

// Lists the devices as the user "nobody" when the test runs as root (root
// may open anything), else as this process.
std::vector<SerialDevice> ListAsUnprivileged(const DeviceRoots& roots)
{
    if (::geteuid() != 0) return ListSerialDevices(roots, "taro");
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const struct passwd* nobody = ::getpwnam("nobody");
        const uid_t uid = nobody ? nobody->pw_uid : 65534;
        const gid_t gid = nobody ? nobody->pw_gid : 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(2);
        std::string out;
        for (const auto& d : ListSerialDevices(roots, "taro"))
            out += d.path + "\t" + (d.accessible ? "1" : "0") + "\t" + d.group + "\t" + d.problem + "\n";
        const ssize_t written = ::write(pipeFds[1], out.data(), out.size());
        ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::vector<SerialDevice> list;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        SerialDevice d;
        std::istringstream f(line);
        std::string ok;
        std::getline(f, d.path, '\t');
        std::getline(f, ok, '\t');
        std::getline(f, d.group, '\t');
        std::getline(f, d.problem);
        d.accessible = ok == "1";
        list.push_back(d);
    }
    return list;
}

TEST_F(Settings, ADeviceWithoutPermissionIsNamedWithTheRemedyAndNothingIsWritten)
{
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    const fs::path dev = dir.path() / "dev";
    fs::create_directories(dev);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dev, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::create_symlink(pty.slave, dev / "ttyUSB0");
    ASSERT_EQ(::chmod(pty.slave.c_str(), 0), 0);

    const auto list = ListAsUnprivileged({dev, dev / "serial" / "by-id", dir.path() / "sys"});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0].accessible);
    EXPECT_FALSE(list[0].group.empty());
    EXPECT_NE(list[0].problem.find("権限がありません"), std::string::npos) << list[0].problem;
    if (list[0].group != "root") {
        EXPECT_NE(list[0].problem.find("グループ「" + list[0].group + "」"), std::string::npos) << list[0].problem;
    }

    // OK with that device: refused with the same words, nothing written.
    WriteBytes(profile, "[Ports]\r\nCOM5=/dev/pts/9\r\n");
    GPSSettingChoice c = Row(9, 2, 1);
    c.device = list[0];
    const GPSSettingOutcome out = GPSSettingSession(s, profile).Confirm(c);
    EXPECT_FALSE(out.close);
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_EQ(out.messages[0].rfind(list[0].problem, 0), 0u);
    EXPECT_FALSE(fs::exists(GPSSettingPath(s.ProgramFolder)));
    EXPECT_EQ(ReadBytes(profile), "[Ports]\r\nCOM5=/dev/pts/9\r\n");
}

TEST_F(Settings, AChosenDeviceIsMappedInThePortsSectionOnly)
{
    const std::string before =
        "; written by hand\r\n"
        "[Default Values]\r\n"
        "Settings = 4800,n,8,1\r\n"
        "\r\n"
        "[Ports]\r\n"
        "COM5=/dev/pts/9\r\n"
        "COM3=/dev/ttyS2\r\n";
    WriteBytes(profile, before);
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    const fs::path link = dir.path() / "by-id" / "usb-Test_GPS-if00";
    fs::create_directories(link.parent_path());
    fs::create_symlink(pty.slave, link);
    const auto list = ListSerialDevices({dir.path() / "nodev", link.parent_path(), dir.path() / "sys"}, "taro");
    ASSERT_EQ(list.size(), 1u);

    EXPECT_EQ(PortEntryText(3, profile), "Com3  /dev/ttyS2");
    GPSSettingChoice c = Row(9, 2, 1);
    c.device = list[0];
    const GPSSettingOutcome out = GPSSettingSession(s, profile).Confirm(c);
    EXPECT_TRUE(out.close);
    EXPECT_TRUE(out.messages.empty());
    std::string after = before;
    after.replace(after.find("COM3=/dev/ttyS2"), 15, "COM3=" + link.string());
    EXPECT_EQ(ReadBytes(profile), after);
    EXPECT_EQ(MappedDevice(3, profile), link.string());
    EXPECT_EQ(PortEntryText(3, profile), "Com3  " + link.string());
    // Ports the profile does not name fall back as the control does.
    EXPECT_EQ(MappedDevice(7, profile), "/dev/ttyS6");
}

// A new zone takes the drawn lists with the view: each point keeps its
// latitude and longitude.
TEST(ZoneChange, TheDrawnListsGoOverToTheNewZone)
{
    NavState s;
    geodesy::CurrentZone old;
    geodesy::SetCurrentZone(9, old);
    s.Zone = old;
    const auto at = geodesy::LatLonToPlane(35.7, 139.2, old.ZoneOriginLat, old.ZoneOriginLon);
    s.GGAPointCount = s.MKPointCount = s.RecordPointCount = 1;
    s.GGAPointEasting[0] = s.RecordPointEasting[0] = at.easting;
    s.GGAPointNorthing[0] = s.RecordPointNorthing[0] = static_cast<float>(at.northing);
    s.MKPointEasting[0] = static_cast<float>(at.easting);
    s.MKPointNorthing[0] = static_cast<float>(at.northing);
    geodesy::SetCurrentZone(8, s.Zone);
    CarryViewToZone(s, old);
    const auto want = geodesy::LatLonToPlane(35.7, 139.2, s.Zone.ZoneOriginLat, s.Zone.ZoneOriginLon);
    EXPECT_NEAR(s.GGAPointEasting[0], want.easting, 0.05);
    EXPECT_NEAR(s.GGAPointNorthing[0], want.northing, 0.05);
    EXPECT_NEAR(s.RecordPointEasting[0], want.easting, 0.05);
    EXPECT_NEAR(s.MKPointEasting[0], want.easting, 0.05);
    EXPECT_NEAR(s.MKPointNorthing[0], want.northing, 0.05);
}

TEST(ZoneRows, TheGridHoldsTheHeadingsAndTheNineteenZonesOfTheZoneTable)
{
    const auto& rows = ZoneRows();
    EXPECT_STREQ(rows[0].number, "測地系");
    EXPECT_STREQ(rows[1].prefectures, "長崎 ");
    EXPECT_STREQ(rows[18].prefectures, "東京都－III");
    EXPECT_STREQ(rows[19].prefectures, "東京都ーIV");
    for (int z = 1; z <= 19; ++z) {
        SCOPED_TRACE(z);
        const ZoneRowTexts& r = rows[static_cast<std::size_t>(z)];
        const geodesy::ZoneEntry& t = geodesy::ZoneTable()[static_cast<std::size_t>(z - 1)];
        EXPECT_EQ(std::string(r.number), std::to_string(z));
        char lat[8], lon[8];
        std::snprintf(lat, sizeof lat, "%d-%02d", t.latDegrees, t.latMinutes);
        std::snprintf(lon, sizeof lon, "%d-%02d", t.lonDegrees, t.lonMinutes);
        EXPECT_STREQ(r.lat, lat);
        EXPECT_STREQ(r.lon, lon);
    }
}

}  // namespace
}  // namespace tessaro::gps
