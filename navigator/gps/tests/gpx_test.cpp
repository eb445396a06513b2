// GPX out of record files and GGA logs, GPX tracks and routes into the log
// lists, and both directions against gpsbabel (an independent reader and
// writer of GPX and NMEA).
#include "gps/gpx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "gps/gga_log_load.h"
#include "gps/nmea_checksum.h"
#include "shell/textfile.h"
#include "testsupport/scratch_dir.h"

namespace tessaro::gps {
namespace {

namespace fs = std::filesystem;

bool HaveGpsbabel() { return std::system("command -v gpsbabel > /dev/null 2>&1") == 0; }

std::string Shell(const std::string& cmd)
{
    return std::system((cmd + " > /dev/null 2>&1").c_str()) == 0 ? "" : "failed: " + cmd;
}

const geodesy::CurrentZone& Zone9()
{
    static geodesy::CurrentZone z = [] {
        geodesy::CurrentZone c;
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, c);
        return c;
    }();
    return z;
}

// A record file as a recording writes it (CP932, CR LF), begun at 23:59:50
// local time, running past midnight, with the cut last line a crash leaves.
fs::path WriteRecordFile(const fs::path& dir)
{
    const fs::path p = dir / "20100623_0.dat";
    WriteTextLinesAtomic(p.string(), {"記録日時:2010/06/23/23:59:50", "日本測地系: 第9系",
                                      "ベース緯度経度: 緯度：36-00　経度：139-50", "",
                                      "23:59:55,-6517.1,-33053.0,08,Navi,", "23:59:58,-6510.4,-33040.2,08,Navi,",
                                      "00:00:05,-6500.0,-33020.7,09,DGPS,", "00:00:0"});
    return p;
}

TEST(GpxOut, RecordFileGoesBackToLatitudeLongitudeAndUtc)
{
    testsupport::ScratchDir dir("gpx");
    const GpxSource src = ReadRecordFileForGpx(WriteRecordFile(dir.path()).string());
    ASSERT_TRUE(src.readable) << src.error;
    EXPECT_EQ(src.skippedLines, 1);
    ASSERT_EQ(src.track.segments.size(), 1u);
    const auto& pts = src.track.segments[0];
    ASSERT_EQ(pts.size(), 3u);
    const auto ll = geodesy::PlaneToLatLon(-6517.1, -33053.0, Zone9().ZoneOriginLat, Zone9().ZoneOriginLon);
    EXPECT_EQ(pts[0].lat, ll.lat);
    EXPECT_EQ(pts[0].lon, ll.lon);
    EXPECT_NEAR(pts[0].lat, 35.7020567, 1e-5);
    EXPECT_FALSE(pts[0].ele);
    // local time is UTC + 9 h; past midnight the date of the header moves on
    EXPECT_EQ(pts[0].time, "2010-06-23T14:59:55Z");
    EXPECT_EQ(pts[1].time, "2010-06-23T14:59:58Z");
    EXPECT_EQ(pts[2].time, "2010-06-23T15:00:05Z");

    // A file without a zone line is refused, not written at 0 N 0 E.
    const fs::path bad = dir.path() / "bad.dat";
    WriteTextLinesAtomic(bad.string(), {"記録日時:2010/06/23/10:00:00", "", "", "", "10:00:00,1.0,2.0,08,Navi,"});
    EXPECT_FALSE(ReadRecordFileForGpx(bad.string()).readable);
}

TEST(GpxOut, GgaLogTakesEveryTalkerTheDateOfItsNameAndItsMarks)
{
    testsupport::ScratchDir dir("gpx");
    std::string corrupt = WithNmeaChecksum("$GPGGA,235958.00,3542.1300,N,13945.6900,E,1,08,0.9,41.0,M,39.5,M,,");
    corrupt[20] = '9';
    const std::vector<std::string> lines{
        WithNmeaChecksum("$GNGGA,235957.50,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,"),
        "A,3",
        corrupt,
        WithNmeaChecksum("$GPGGA,235959.00,,,,,0,00,,,M,,M,,"),   // no fix
        WithNmeaChecksum("$GQGGA,000001.00,3542.1400,N,13945.7000,E,2,09,0.8,,M,39.5,M,,"),  // no altitude
        "$GPRMC,000001.00,A,3542.1400,N,13945.7000,E,0.0,0.0,090510,,,A*00",
    };
    const fs::path named = dir.path() / "20100508_walk.txt";
    WriteTextLinesAtomic(named.string(), lines);
    const GpxSource src = ReadGgaLogForGpx(named.string());
    ASSERT_TRUE(src.readable);
    EXPECT_EQ(src.checksumDropped, 1);
    EXPECT_EQ(src.skippedLines, 1);
    ASSERT_EQ(src.track.segments.size(), 1u);
    const auto& pts = src.track.segments[0];
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_DOUBLE_EQ(pts[0].lat, 35 + 42.1234 / 60);
    EXPECT_DOUBLE_EQ(pts[0].lon, 139 + 45.6789 / 60);
    EXPECT_EQ(pts[0].ele, 40.1);
    EXPECT_EQ(pts[0].time, "2010-05-08T23:59:57.50Z");
    EXPECT_FALSE(pts[1].ele);
    EXPECT_EQ(pts[1].time, "2010-05-09T00:00:01.00Z");
    ASSERT_EQ(src.track.waypoints.size(), 1u);
    EXPECT_EQ(src.track.waypoints[0].name, "3");
    EXPECT_EQ(src.track.waypoints[0].lat, pts[0].lat);

    // Without a date in the name there is no time; with the test off the
    // corrupted line is taken.
    const fs::path plain = dir.path() / "walk.txt";
    WriteTextLinesAtomic(plain.string(), lines);
    const GpxSource off = ReadGgaLogForGpx(plain.string(), false);
    ASSERT_EQ(off.track.segments.at(0).size(), 3u);
    EXPECT_EQ(off.track.segments[0][0].time, "");

    struct Name {
        const char* name;
        const char* date;
    };
    for (const Name& n : {Name{"20100508_drive.txt", "2010-05-08"}, Name{"20100508.txt", "2010-05-08"},
                          Name{"20100230_x.txt", ""}, Name{"201005081.txt", ""}, Name{"drive.txt", ""},
                          Name{"2010050", ""}})
        EXPECT_EQ(DateFromFileName(n.name), n.date) << n.name;
}

// The windows' export: one document for all sources, the user told what was
// written and what not; a target that cannot be written leaves no file.
TEST(GpxOut, ExportWritesOneDocumentAndTellsWhatItDid)
{
    testsupport::ScratchDir dir("gpx");
    const fs::path rec = WriteRecordFile(dir.path());
    const fs::path target = dir.path() / "out.gpx";
    const GpxExport done = ExportGpxFile({rec.string(), (dir.path() / "missing.txt").string()}, target.string(), true);
    EXPECT_TRUE(done.written);
    EXPECT_EQ(done.points, 3);
    ASSERT_EQ(done.messages.size(), 2u);
    EXPECT_EQ(done.messages[0], "ファイル「missing.txt」はGPXに書き出せませんでした。");
    EXPECT_NE(done.messages[1].find("3点を書き出しました"), std::string::npos);
    const GpxRead back = ReadGpx(target.string());
    ASSERT_TRUE(back.readable);
    EXPECT_EQ(back.pieces.at(0).points.size(), 3u);

    const GpxExport refused = ExportGpxFile({rec.string()}, (dir.path() / "no" / "such" / "x.gpx").string(), true);
    EXPECT_FALSE(refused.written);
    EXPECT_NE(refused.messages.back().find("書き込めませんでした"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "no"));
    EXPECT_FALSE(ExportGpxFile({(dir.path() / "missing.txt").string()}, target.string(), true).written);
    EXPECT_TRUE(ReadGpx(target.string()).readable) << "the earlier export is kept";
}

// Hostile or foreign documents: refused or read as far as they are sound.
TEST(GpxIn, SegmentsAndRoutesAreReadAndBadPointsCounted)
{
    const GpxRead r = ParseGpx(R"(<?xml version="1.0"?>
<gpx xmlns="http://www.topografix.com/GPX/1/1" version="1.1">
  <wpt lat="35.1" lon="139.1"><name>not a way</name></wpt>
  <trk><trkseg>
    <trkpt lat="35.70205667" lon="139.761315"><ele>40.1</ele><time>2010-05-08T05:30:12Z</time></trkpt>
    <trkpt lat='35.7021' lon='139.7614'><time>2010-05-08T14:30:13.25+09:00</time></trkpt>
    <trkpt lat="north" lon="139.7"/>
    <trkpt lat="95" lon="139.7"/>
    <trkpt lon="139.7"/>
  </trkseg><trkseg><trkpt lat="35.71" lon="139.77"/></trkseg></trk>
  <rte><rtept lat="35.72" lon="139.78"/><rtept lat="35.73" lon="139.79"/></rte>
</gpx>)");
    ASSERT_TRUE(r.readable) << r.error;
    ASSERT_EQ(r.pieces.size(), 3u);
    ASSERT_EQ(r.pieces[0].points.size(), 2u);
    EXPECT_EQ(r.pieces[0].points[0].ele, 40.1);
    EXPECT_EQ(GgaTimeOfGpxTime(r.pieces[0].points[0].time), "053012");
    EXPECT_EQ(GgaTimeOfGpxTime(r.pieces[0].points[1].time), "053013.25");
    EXPECT_EQ(r.pieces[1].points.size(), 1u);
    EXPECT_EQ(r.pieces[2].points.size(), 2u);
    EXPECT_EQ(r.badPoints, 3);

    for (const char* bad : {"", "not xml at all", "<kml><Placemark/></kml>", "\x89PNG\r\n\x1a\n"})
        EXPECT_FALSE(ParseGpx(bad).readable) << bad;
    // a document cut short keeps what was complete
    const GpxRead cut = ParseGpx("<gpx><trk><trkseg><trkpt lat=\"35.7\" lon=\"139.7\"/><trkpt lat=\"35.8\"");
    EXPECT_TRUE(cut.readable);
    ASSERT_EQ(cut.pieces.size(), 1u);
    EXPECT_EQ(cut.pieces[0].points.size(), 1u);
    EXPECT_FALSE(cut.error.empty());
}

TEST(GpxIn, PointsGoIntoTheLogListsWithAMarkPerPiece)
{
    testsupport::ScratchDir dir("gpx");
    const fs::path p = dir.path() / "way.GPX";
    std::ofstream(p) << R"(<gpx><trk><trkseg>
      <trkpt lat="33.5" lon="130.4"/>
      <trkpt lat="35.70205667" lon="139.761315"><time>2010-05-08T05:30:12Z</time></trkpt>
      <trkpt lat="35.7021" lon="139.7614"/></trkseg>
      <trkseg><trkpt lat="35.71" lon="139.77"><time>2010-05-08T05:31:00Z</time></trkpt></trkseg></trk></gpx>)";
    auto lists = std::make_unique<overlays::OverlayLists>();
    GgaLogLoad load(*lists, Zone9());
    ASSERT_TRUE(load.AddFile(p.string()));
    const auto messages = load.Finish();
    ASSERT_EQ(lists->GGAPointCount, 3);
    const auto first = geodesy::LatLonToPlane(35.70205667, 139.761315, Zone9().ZoneOriginLat, Zone9().ZoneOriginLon);
    EXPECT_EQ(lists->GGAPointEasting[0], first.easting);
    EXPECT_EQ(lists->GGAPointTime[0], "053012");
    ASSERT_EQ(lists->MKPointCount, 2);
    // the first segment's first point lies outside the zone: its mark goes to
    // the first point that is stored
    EXPECT_EQ(lists->MKPointNo[0], 1);
    EXPECT_EQ(lists->MKPointEasting[0], static_cast<float>(first.easting));
    EXPECT_EQ(lists->MKPointNo[1], 2);
    EXPECT_EQ(lists->MKPointTime[1], "053100");
    EXPECT_EQ(load.SkippedOutsideZone(), 1);

    std::ofstream(dir.path() / "fake.gpx") << "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C\n";
    EXPECT_FALSE(load.AddFile((dir.path() / "fake.gpx").string()));
}

// Our GPX of a record file read back by gpsbabel (and written again by it)
// gives the same points to 1e-7 degrees and the same times.
TEST(GpxPeers, RecordFileExportReadBackByGpsbabel)
{
    if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel is not installed (tools/install-deps.sh)";
    testsupport::ScratchDir dir("gpx");
    const GpxSource src = ReadRecordFileForGpx(WriteRecordFile(dir.path()).string());
    ASSERT_TRUE(src.readable);
    const fs::path ours = dir.path() / "ours.gpx", theirs = dir.path() / "theirs.gpx";
    {
        std::ofstream out(ours);
        WriteGpx(out, {src.track});
    }
    ASSERT_EQ(Shell("gpsbabel -t -i gpx -f " + ours.string() + " -o gpx,gpxver=1.1 -F " + theirs.string()), "");
    const GpxRead back = ReadGpx(theirs.string());
    ASSERT_TRUE(back.readable) << back.error;
    ASSERT_EQ(back.pieces.size(), 1u);
    const auto& want = src.track.segments.at(0);
    ASSERT_EQ(back.pieces[0].points.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(back.pieces[0].points[i].lat, want[i].lat, 1e-7) << i;
        EXPECT_NEAR(back.pieces[0].points[i].lon, want[i].lon, 1e-7) << i;
        EXPECT_EQ(back.pieces[0].points[i].time, want[i].time) << i;
    }
}

// gpsbabel's GPX of the sample NMEA drive loads with the same points as the
// log itself.
TEST(GpxPeers, GpsbabelGpxOfANmeaLogLoadsLikeTheLog)
{
    if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel is not installed (tools/install-deps.sh)";
    testsupport::ScratchDir dir("gpx");
    const char* root = std::getenv("TESSARO_SOURCE_DIR");
    const fs::path log = fs::path(root ? root : ".") / "data" / "20100508" / "20100508_drive.txt";
    const fs::path gpx = dir.path() / "drive.gpx";
    ASSERT_EQ(Shell("gpsbabel -i nmea -f " + log.string() + " -o gpx -F " + gpx.string()), "");

    auto fromLog = std::make_unique<overlays::OverlayLists>();
    auto fromGpx = std::make_unique<overlays::OverlayLists>();
    GgaLogLoad a(*fromLog, Zone9()), b(*fromGpx, Zone9());
    ASSERT_TRUE(a.AddFile(log.string()));
    ASSERT_TRUE(b.AddFile(gpx.string()));
    a.Finish();
    b.Finish();
    ASSERT_GT(fromLog->GGAPointCount, 100);
    ASSERT_EQ(fromGpx->GGAPointCount, fromLog->GGAPointCount);
    for (int i = 0; i < fromLog->GGAPointCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        EXPECT_NEAR(fromGpx->GGAPointEasting[u], fromLog->GGAPointEasting[u], 1e-3) << i;
        EXPECT_NEAR(fromGpx->GGAPointNorthing[u], fromLog->GGAPointNorthing[u], 1e-2) << i;
        EXPECT_EQ(std::stod(fromGpx->GGAPointTime[u]), std::stod(fromLog->GGAPointTime[u])) << i;
    }
    EXPECT_EQ(fromGpx->MKPointCount, 1);  // one segment
}

}  // namespace
}  // namespace tessaro::gps
