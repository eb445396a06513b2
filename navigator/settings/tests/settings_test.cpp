#include "settings/settings.h"

#include <gtest/gtest.h>

#include "testsupport/scratch_dir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "state/nav_state.h"
#include "shell/textfile.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_ / "data0");
        state_.ProgramFolder = dir_.string();
    }

    testsupport::ScratchDir scratch_{"settings"};
    const fs::path dir_ = scratch_.path();
    NavState state_;
};

TEST_F(SettingsTest, CurrentSettingRoundTripIsByteExact)
{
    // A Japanese folder name with a comma in it, negative coordinates; the
    // northings pass through 32-bit floats.
    state_.MapPicFolder = "/home/user/地図/京都,北";
    state_.ScaleLevel = 16;
    state_.ViewCentreEasting = -12345.6;
    state_.ViewCentreNorthing = -35000.2f;
    state_.PosEasting = -12350.1;
    state_.PosNorthing = -34990.8f;
    ASSERT_TRUE(WriteCurrentSetting(state_));

    const std::string expected = Utf8ToCp932("/home/user/地図/京都,北") + "\r\n" +
                                 " 16 \r\n"
                                 "-12345.6,-35000.2\r\n"
                                 "-12350.1,-34990.8\r\n";
    EXPECT_EQ(testsupport::ReadBytes(CurrentSettingPath(dir_.string())), expected);

    NavState back;
    back.ProgramFolder = dir_.string();
    ReadCurrentSetting(back);
    EXPECT_EQ(back.MapPicFolder, state_.MapPicFolder);
    EXPECT_EQ(back.ScaleLevel, 16);
    EXPECT_DOUBLE_EQ(back.ViewCentreEasting, -12345.6);
    EXPECT_FLOAT_EQ(back.ViewCentreNorthing, -35000.2f);
    EXPECT_DOUBLE_EQ(back.PosEasting, -12350.1);
    EXPECT_FLOAT_EQ(back.PosNorthing, -34990.8f);

    // Writing what was read gives the same bytes again.
    ASSERT_TRUE(WriteCurrentSetting(back));
    EXPECT_EQ(testsupport::ReadBytes(CurrentSettingPath(dir_.string())), expected);
}

TEST_F(SettingsTest, FolderOutsideCp932IsKeptInUtf8)
{
    state_.MapPicFolder = "/srv/지도/maps";  // Hangul: not in CP932
    state_.ScaleLevel = 3;
    ASSERT_TRUE(WriteCurrentSetting(state_));
    const std::string bytes = testsupport::ReadBytes(CurrentSettingPath(dir_.string()));
    EXPECT_EQ(bytes, "\xEF\xBB\xBF/srv/지도/maps\r\n 3 \r\n0.0,0.0\r\n0.0,0.0\r\n");

    NavState back;
    back.ProgramFolder = dir_.string();
    ReadCurrentSetting(back);
    EXPECT_EQ(back.MapPicFolder, "/srv/지도/maps");
    EXPECT_EQ(back.ScaleLevel, 3);
}

TEST_F(SettingsTest, WritingCreatesTheDataFolder)
{
    fs::remove_all(dir_ / "data0");
    EXPECT_TRUE(WriteCurrentSetting(state_));
    EXPECT_TRUE(fs::exists(CurrentSettingPath(dir_.string())));
}

// Reading stops at the first missing or unusable line; what was read stays,
// the rest keeps the start-up defaults.
TEST_F(SettingsTest, ReadCurrentSettingStopsAtFirstFailure)
{
    struct Case {
        const char* name;
        const char* content;  // nullptr: no file
        const char* folder;
        int level;
        double viewE;
        float viewN;
        double posE;
        float posN;
    };
    const std::string hugeNorthing = "/m\r\n 5 \r\n7,1" + std::string(40, '0') + "\r\n3,4\r\n";
    const Case cases[] = {
        {"no file", nullptr, "", 16, 0, 0, 0, 0},
        {"empty file", "", "", 16, 0, 0, 0, 0},
        {"folder only", "/maps/a\r\n", "/maps/a", 16, 0, 0, 0, 0},
        {"LF lines, level 50 kept as is", "/m\n 50 \n1.5,2.5\n", "/m", 50, 1.5, 2.5f, 0, 0},
        {"level 9.5 rounds to even", "/m\r\n9.5\r\n", "/m", 10, 0, 0, 0, 0},
        {"level beyond 16 bits stops", "/m\r\n99999\r\n1,2\r\n3,4\r\n", "/m", 16, 0, 0, 0, 0},
        {"northing beyond a float stops after the easting", hugeNorthing.c_str(), "/m", 5,
         7, 0, 0, 0},
        {"one item: northing 0", "/m\r\n 5 \r\n-7.25\r\n3,4\r\n", "/m", 5, -7.25, 0, 3, 4},
        {"non-numeric items count 0", "/m\r\n x \r\nab,cd\r\n3,4\r\n", "/m", 0, 0, 0, 3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = CurrentSettingPath(dir_.string());
        fs::remove(p);
        if (c.content != nullptr) testsupport::WriteBytes(p, c.content);
        NavState s;
        s.ProgramFolder = dir_.string();
        ReadCurrentSetting(s);
        EXPECT_EQ(s.MapPicFolder, c.folder);
        EXPECT_EQ(s.ScaleLevel, c.level);
        EXPECT_DOUBLE_EQ(s.ViewCentreEasting, c.viewE);
        EXPECT_FLOAT_EQ(s.ViewCentreNorthing, c.viewN);
        EXPECT_DOUBLE_EQ(s.PosEasting, c.posE);
        EXPECT_FLOAT_EQ(s.PosNorthing, c.posN);
    }
}

TEST_F(SettingsTest, GPSSettingWriteAndRead)
{
    state_.Zone.ZoneNo = 9;
    state_.GPSPortNo = 3;
    state_.GPSSpeedIndex = 2;
    state_.GPSPortSettings = "4800,n,8,1";
    ASSERT_TRUE(WriteGPSSetting(state_, " 36-00 ", "139-50"));
    EXPECT_EQ(testsupport::ReadBytes(GPSSettingPath(dir_.string())),
              " 9 \r\n36-00\r\n139-50\r\n 3 \r\n 2 \r\n4800,n,8,1\r\n");

    NavState back;
    back.ProgramFolder = dir_.string();
    ReadGPSSetting(back);
    EXPECT_EQ(back.Zone.ZoneNo, 9);
    EXPECT_DOUBLE_EQ(back.Zone.ZoneOriginLat, 36.0);
    EXPECT_NEAR(back.Zone.ZoneOriginLon, 139.0 + 50.0 / 60.0, 1e-12);
    EXPECT_EQ(back.GPSPortNo, 3);
    EXPECT_EQ(back.GPSSpeedIndex, 2);
    EXPECT_EQ(back.GPSPortSettings, "4800,n,8,1");
}

// Every line of GPSSetting.dat is taken on its own.
TEST_F(SettingsTest, ReadGPSSettingTakesEachLineOnItsOwn)
{
    struct Case {
        const char* name;
        const char* content;
        int zone;
        double lat;
        double lon;
        int port;
        int speed;
        const char* settings;
    };
    const Case cases[] = {
        {"two lines", "9\r\n36-00\r\n", 9, 36.0, 0, 0, 0, ""},
        {"zone 9.6 rounds to 10, seconds in the origin",
         "9.6\r\n36-00-30\r\n139-50\r\n1\r\n5\r\n38400,n,8,1\r\n", 10, 36.0 + 30.0 / 3600.0,
         139.0 + 50.0 / 60.0, 1, 5, "38400,n,8,1"},
        {"an unusable line is skipped, later lines still read",
         "70000\r\n36-00\r\n139-50\r\n99999\r\n4\r\n9600,n,8,1\r\n", 0, 36.0, 139.0 + 50.0 / 60.0, 0,
         4, "9600,n,8,1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteBytes(GPSSettingPath(dir_.string()), c.content);
        NavState s;
        s.ProgramFolder = dir_.string();
        ReadGPSSetting(s);
        EXPECT_EQ(s.Zone.ZoneNo, c.zone);
        EXPECT_NEAR(s.Zone.ZoneOriginLat, c.lat, 1e-12);
        EXPECT_NEAR(s.Zone.ZoneOriginLon, c.lon, 1e-12);
        EXPECT_EQ(s.GPSPortNo, c.port);
        EXPECT_EQ(s.GPSSpeedIndex, c.speed);
        EXPECT_EQ(s.GPSPortSettings, c.settings);
    }
}

}  // namespace
}  // namespace tessaro
