// Loading GGA logs for display: points, marks, their limits and the lines a
// log may hold that are not to be taken.
#include "gps/gga_log_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gps/nmea_checksum.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::gps {
namespace {

// A GGA sentence at lat, lon [deg] with an empty age-of-correction field
// and its right checksum.
std::string Gga(int second, double lat, double lon, const char* talker = "GP")
{
    const double latMin = (lat - std::floor(lat)) * 60.0, lonMin = (lon - std::floor(lon)) * 60.0;
    char buf[160];
    std::snprintf(buf, sizeof buf, "$%sGGA,0100%02d.00,%02d%07.4f,N,%03d%07.4f,E,1,08,0.9,12.0,M,39.5,M,,0000",
                  talker, second % 60, static_cast<int>(lat), latMin, static_cast<int>(lon), lonMin);
    return WithNmeaChecksum(buf);
}

struct Loaded {
    std::unique_ptr<overlays::OverlayLists> lists = std::make_unique<overlays::OverlayLists>();
    std::vector<std::string> messages;
};

geodesy::CurrentZone Zone9()
{
    geodesy::CurrentZone z;
    geodesy::SetCurrentZone(9, z);
    return z;
}

Loaded Load(const std::vector<std::vector<std::string>>& files)
{
    Loaded r;
    GgaLogLoad load(*r.lists, Zone9());
    for (const auto& f : files) load.AddLines(f);
    r.messages = load.Finish();
    return r;
}

bool Has(const std::vector<std::string>& messages, const std::string& part)
{
    for (const auto& m : messages)
        if (m.find(part) != std::string::npos) return true;
    return false;
}

TEST(GgaLogLoad, PointsAndAMarkAtThePositionBeforeIt)
{
    std::vector<std::string> log;
    for (int i = 0; i < 12; ++i) {
        log.push_back(Gga(i, 35.70 + i * 0.0001, 139.76));
        if (i == 4) log.push_back("A,1");
    }
    const Loaded r = Load({log});
    const auto& s = *r.lists;
    EXPECT_EQ(s.GGAPointCount, 12);
    EXPECT_TRUE(s.GGALogLoaded);
    ASSERT_EQ(s.MKPointCount, 1);
    EXPECT_EQ(s.MKPointNo[0], 1);
    EXPECT_EQ(s.MKPointTime[0], "010004.00");
    EXPECT_EQ(s.MKPointEasting[0], static_cast<float>(s.GGAPointEasting[4]));
    EXPECT_EQ(s.MKPointNorthing[0], s.GGAPointNorthing[4]);
    EXPECT_TRUE(s.MKPointPlaced[0]);
    const auto p = geodesy::LatLonToPlane(35.7004, 139.76, 36.0, 139.0 + 50.0 / 60.0);
    EXPECT_NEAR(s.GGAPointEasting[4], p.easting, 1e-3);
    EXPECT_NEAR(s.GGAPointNorthing[4], p.northing, 1e-2);
    EXPECT_TRUE(r.messages.empty());
}

TEST(GgaLogLoad, FilesContinueTheListsAndAMarkBeforeAnyPositionHasNoPlace)
{
    // The second file starts with a mark: it does not take the first file's
    // position, and its number is clamped to 16 bits.
    const Loaded r = Load({{Gga(0, 35.7, 139.76), Gga(1, 35.7001, 139.76)},
                           {"A,99999", Gga(2, 35.7002, 139.76), "A,-2.6"}});
    const auto& s = *r.lists;
    EXPECT_EQ(s.GGAPointCount, 3);
    ASSERT_EQ(s.MKPointCount, 2);
    EXPECT_EQ(s.MKPointNo[0], 32767);
    EXPECT_FALSE(s.MKPointPlaced[0]);
    EXPECT_EQ(s.MKPointTime[0], "");
    EXPECT_EQ(s.MKPointNo[1], -3);
    EXPECT_TRUE(s.MKPointPlaced[1]);
    EXPECT_EQ(s.MKPointTime[1], "010002.00");
}

// A receiver's lines before its first fix and a log of another region are
// skipped, counted and reported; the rest of the file still loads.
TEST(GgaLogLoad, PositionsOutsideTheZoneAreSkippedAndReported)
{
    const Loaded partial = Load({{WithNmeaChecksum("$GPGGA,010000.00,0000.0000,N,00000.0000,E,0,00,99.9,0.0,M,0.0,M,,"),
                                  Gga(1, 35.7, 139.76), Gga(2, 35.7001, 139.76)}});
    EXPECT_EQ(partial.lists->GGAPointCount, 2);
    EXPECT_TRUE(Has(partial.messages, "第9系"));
    EXPECT_TRUE(Has(partial.messages, "1件"));

    const Loaded fukuoka = Load({{Gga(0, 33.5, 130.4), Gga(1, 33.5001, 130.4)}});
    EXPECT_EQ(fukuoka.lists->GGAPointCount, 0);
    EXPECT_FALSE(fukuoka.lists->GGALogLoaded);
    EXPECT_TRUE(Has(fukuoka.messages, "2件"));
    EXPECT_TRUE(Has(fukuoka.messages, "表示できる位置データがありませんでした"));
}

TEST(GgaLogLoad, LimitsOfPointsAndMarksAreKeptAndToldOnce)
{
    std::vector<std::string> big;
    for (int i = 0; i < 15002; ++i) big.push_back(Gga(i, 35.7 + (i % 100) * 1e-5, 139.76));
    // A second file after a full load adds nothing (and writes no slot
    // beyond the list).
    const Loaded full = Load({big, {Gga(0, 35.7, 139.76)}});
    EXPECT_EQ(full.lists->GGAPointCount, 15001);
    EXPECT_EQ(std::count(full.messages.begin(), full.messages.end(), kGgaPointLimitMessage), 1);

    std::vector<std::string> marks{Gga(0, 35.7, 139.76)};
    for (int i = 1; i <= 102; ++i) marks.push_back("A," + std::to_string(i));
    marks.push_back(Gga(1, 35.7001, 139.76));
    const Loaded many = Load({marks});
    EXPECT_EQ(many.lists->MKPointCount, 101);
    EXPECT_EQ(many.lists->MKPointNo[100], 101);
    EXPECT_EQ(many.lists->GGAPointCount, 2) << "points after the last mark still load";
    EXPECT_TRUE(Has(many.messages, "1件"));
}

TEST(GgaLogLoad, HostileLinesNeitherCrashNorCount)
{
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const Loaded r = Load({{binary, std::string(10000, 'x'), "$GPGGA" + std::string(200, ','),
                            "$GPGGA," + std::string(200, '1') + "," + std::string(199, ','),
                            "$GPGGA,010000,３５４２.０００,N,１３９４５.６００,E,1,08,0.9,1,M,1,M,,*00",
                            "$GPGGA,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,"
                            "31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52",
                            "A", "A,", Gga(0, 35.7, 139.76)}});
    EXPECT_EQ(r.lists->GGAPointCount, 1);
    EXPECT_EQ(r.lists->MKPointCount, 2);
}

// Every GNSS talker's GGA line loads exactly as "$GPGGA" does; a talker not
// in the list and a name with more after it do not.
TEST(GgaLogLoad, EveryGnssTalkerLoadsAsGps)
{
    const Loaded gps = Load({{Gga(0, 35.7, 139.76)}});
    ASSERT_EQ(gps.lists->GGAPointCount, 1);
    for (const char* talker : {"GN", "GL", "GA", "GB", "BD", "GQ", "GI"}) {
        const Loaded r = Load({{Gga(0, 35.7, 139.76, talker), "A,1"}});
        ASSERT_EQ(r.lists->GGAPointCount, 1) << talker;
        EXPECT_EQ(r.lists->GGAPointEasting[0], gps.lists->GGAPointEasting[0]) << talker;
        EXPECT_EQ(r.lists->GGAPointNorthing[0], gps.lists->GGAPointNorthing[0]) << talker;
        EXPECT_EQ(r.lists->GGAPointTime[0], gps.lists->GGAPointTime[0]) << talker;
        EXPECT_TRUE(r.lists->MKPointPlaced[0]) << talker;
    }
    for (const char* talker : {"XX", "GPX", "gn"}) {
        const Loaded r = Load({{Gga(0, 35.7, 139.76, talker)}});
        EXPECT_EQ(r.lists->GGAPointCount, 0) << talker;
    }
}

// A line whose checksum does not match is dropped and the load says how
// many; lines without a checksum still load; with the test off the same
// corrupted line loads.
TEST(GgaLogLoad, CorruptedChecksumsAreDroppedAndCounted)
{
    std::string corrupted = Gga(1, 35.7001, 139.76);
    corrupted[20] = '7';  // 3542.0060 read as 3547.0060: still in the zone, 9 km off
    std::string noSum = Gga(2, 35.7002, 139.76);
    noSum.erase(noSum.rfind('*'));
    const std::vector<std::string> log{Gga(0, 35.7, 139.76), corrupted, noSum, Gga(3, 35.7003, 139.76) + "*zz"};

    const Loaded r = Load({log});
    EXPECT_EQ(r.lists->GGAPointCount, 2);
    EXPECT_EQ(r.lists->GGAPointTime[1], "010002.00");
    EXPECT_TRUE(Has(r.messages, "チェックサムが一致しない行2件を読み飛ばしました。"));

    auto lists = std::make_unique<overlays::OverlayLists>();
    GgaLogLoad off(*lists, Zone9());
    off.SetChecksumTest(false);
    off.AddLines(log);
    EXPECT_TRUE(off.Finish().empty());
    EXPECT_EQ(lists->GGAPointCount, 4);
    EXPECT_EQ(off.ChecksumDropped(), 0);
}

TEST(GgaLogLoad, FilesThatCannotBeReadAreNamed)
{
    testsupport::ScratchDir dir("ggalog");
    const auto good = dir.path() / "good.txt";
    std::ofstream(good) << Gga(0, 35.7, 139.76) << "\r\n" << Gga(1, 35.7001, 139.76) << "\r\n";
    auto lists = std::make_unique<overlays::OverlayLists>();
    GgaLogLoad load(*lists, Zone9());
    EXPECT_FALSE(load.AddFile((dir.path() / "missing.txt").string()));
    EXPECT_FALSE(load.AddFile(dir.path().string()));  // a folder
    EXPECT_TRUE(load.AddFile(good.string()));
    const auto messages = load.Finish();
    EXPECT_EQ(lists->GGAPointCount, 2);
    EXPECT_TRUE(Has(messages, "missing.txt"));
    EXPECT_EQ(messages.size(), 2u);
}

}  // namespace
}  // namespace tessaro::gps
