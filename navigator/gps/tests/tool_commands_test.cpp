// tessaro-tool's conversion and GGA commands, run as a user runs them:
// standard input in, standard output, standard error and exit status out.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "geodesy/plane_coords.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ToolRun Tool(const std::string& args, const std::string& input)
{
    char dir[] = "/tmp/tessaro-tool-test-XXXXXX";
    if (!mkdtemp(dir)) return {};
    const std::string base = dir;
    std::ofstream(base + "/in", std::ios::binary) << input;
    const std::string cmd = std::string(TESSARO_TOOL_PATH) + " " + args + " < " + base + "/in > " + base +
                            "/out 2> " + base + "/err";
    ToolRun r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(base + "/out");
    r.err = Slurp(base + "/err");
    std::system(("rm -rf " + base).c_str());
    return r;
}

TEST(ToolCommands, LatLonToPlanePrintsRoundTripDigitsAndReportsBadLines)
{
    const ToolRun r = Tool("latlon2plane",
                       "37,140.5,36,139.83333333333333\n"
                       "thirty-seven,140.5,36,139.8\n"
                       "37,140.5,36\n"
                       "\n"
                       "37,140.5,36,139.83333333333333,1\n"
                       "35,139,36,139.83333333333333\r\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream out(r.out);
    double lines[2][2];
    char comma;
    for (auto& l : lines) out >> l[0] >> comma >> l[1];
    tessaro::geodesy::InitEllipsoid();
    const auto p = tessaro::geodesy::LatLonToPlane(37, 140.5, 36, 139.83333333333333);
    const auto q = tessaro::geodesy::LatLonToPlane(35, 139, 36, 139.83333333333333);
    // 17 significant digits give back the exact double
    EXPECT_EQ(lines[0][0], p.northing);
    EXPECT_EQ(lines[0][1], p.easting);
    EXPECT_EQ(lines[1][0], q.northing);
    EXPECT_EQ(lines[1][1], q.easting);
    EXPECT_NE(r.err.find("line 2:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 3:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 5:"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("line 4:"), std::string::npos) << r.err;  // blank lines are skipped
    EXPECT_EQ(r.err.find("line 6:"), std::string::npos) << r.err;
}

TEST(ToolCommands, PlaneToLatLonAndZone)
{
    const ToolRun inv = Tool("plane2latlon", "-6517.124,-33052.977,36,139.83333333333333\n0,-5,36,139.8\n");
    EXPECT_EQ(inv.status, 0);
    double lat = 0, lon = 0;
    char comma;
    std::istringstream out(inv.out);
    out >> lat >> comma >> lon;
    EXPECT_NEAR(lat, 35.7020567, 0.0001 / 3600 + 5e-8);
    EXPECT_NEAR(lon, 139.761315, 0.0001 / 3600);
    std::string second;
    out >> second;
    EXPECT_EQ(second, "0,-5");

    const ToolRun zone = Tool("zone", "38.5,140.0\n0,0\n37.9,140.8\nnan,1\n1e999,1\n");
    EXPECT_EQ(zone.out, "10,10\n18,16\n9,10\n");
    EXPECT_EQ(zone.status, 1);
    EXPECT_NE(zone.err.find("line 5:"), std::string::npos);
}

TEST(ToolCommands, GgaLineEndsAndArguments)
{
    const std::string good = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C";
    const std::string row = "14:30:12,35-42-07.40,139-45-40.73,08,Navi,9,1,-33052.9765625,-6517.1242183870272\n";
    // CR LF, LF and a last line without its end decode alike
    const ToolRun r = Tool("gga --zone 9", good + "\r\n" + good + "\n$GPRMC,1,2\n" + good);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, row + row + row);
    // a lone CR is an ordinary byte: the line goes on to the LF
    const ToolRun cr = Tool("gga --zone 9", good + "\r" + good + "\n");
    EXPECT_EQ(cr.out, "14:30:12,35-42-07.40,139-45-40.73,08,Navi,9,1,-33052.9765625,-6517.1242183870272\n");
    // no zone given, or one outside 1..19
    EXPECT_EQ(Tool("gga", good).status, 2);
    EXPECT_EQ(Tool("gga --zone 20", good).status, 2);
    EXPECT_EQ(Tool("gga --zone x", good).status, 2);
}

// A sentence whose checksum does not match is dropped and counted unless
// --no-checksum is given, in either tool.
TEST(ToolCommands, ChecksumMismatchDroppedUnlessNoChecksum)
{
    const std::string bad = "$GNGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*47";
    const std::string row = "14:30:12,35-42-07.40,139-45-40.73,08,Navi,9,1,-33052.9765625,-6517.1242183870272\n";
    const ToolRun dropped = Tool("gga --zone 9", bad + "\r\n" + bad + "\r\n");
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(dropped.out, "");
    EXPECT_NE(dropped.err.find("2 GGA sentence(s) dropped"), std::string::npos) << dropped.err;
    const ToolRun kept = Tool("gga --no-checksum --zone 9", bad + "\r\n");
    EXPECT_EQ(kept.out, row);
    EXPECT_EQ(kept.err, "");

    char dir[] = "/tmp/tessaro-ggalog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string log = std::string(dir) + "/log.txt";
    std::ofstream(log) << bad << "\r\n";
    const ToolRun r = Tool("ggalog --zone 9 " + log, "");
    EXPECT_NE(r.out.find("message,チェックサムが一致しない行1件を読み飛ばしました。\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("loaded,0,0\n"), std::string::npos) << r.out;
    const ToolRun off = Tool("ggalog --no-checksum --zone 9 " + log, "");
    EXPECT_EQ(off.out, "point,0,053012.00,-33052.9766,-6517.124218387029\nloaded,1,0\n");
    std::system(("rm -rf " + std::string(dir)).c_str());
}

// The same sentence loaded for display: the stored values, exactly.
TEST(ToolCommands, GgaLogAndRecordPrintTheStoredLists)
{
    const std::string good = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C";
    char dir[] = "/tmp/tessaro-ggalog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string log = std::string(dir) + "/log.txt", rec = std::string(dir) + "/rec.dat";
    std::ofstream(log) << good << "\r\nA,7\r\n";
    std::ofstream(rec) << "h1\r\nh2\r\nh3\r\n\r\n14:30:12,-6517.1,-33053.0,08,Navi,\r\n";
    const ToolRun r = Tool("ggalog --zone 9 " + log + " " + std::string(dir) + "/missing.txt", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "point,0,053012.00,-33052.9766,-6517.124218387029\n"
              "mark,0,7,053012.00,-33052.9766,-6517.12402\n"
              "message,ファイル「missing.txt」を読み込めませんでした。\n"
              "loaded,1,1\n");
    EXPECT_EQ(Tool("ggalog --zone 0 " + log, "").status, 2);
    const ToolRun rr = Tool("record " + rec, "");
    EXPECT_EQ(rr.status, 0);
    EXPECT_EQ(rr.out, "point,0,14:30:12,-33053,-6517.1000000000004\nloaded,1\n");
    std::system(("rm -rf " + std::string(dir)).c_str());
}

// tessaro-tool gpx: a GGA log and a record file in one document; a file that
// cannot be read is named and the exit status says so.
TEST(ToolCommands, GpxWritesOneTrackPerFile)
{
    char dir[] = "/tmp/tessaro-gpx-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string log = std::string(dir) + "/20100508_a.txt", rec = std::string(dir) + "/rec.dat";
    std::ofstream(log) << "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*5C\r\nA,7\r\n";
    // the header in CP932: "日本測地系: 第9系"
    std::ofstream(rec) << "x\r\n\x93\xfa\x96\x7b\x91\xaa\x92\x6e\x8c\x6e: \x91\xe6" "9\x8c\x6e\r\nh3\r\n\r\n"
                          "14:30:12,-6517.1,-33053.0,08,Navi,\r\n";
    const ToolRun r = Tool("gpx " + log + " " + rec + " " + std::string(dir) + "/missing.txt", "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("<gpx version=\"1.1\""), std::string::npos);
    EXPECT_NE(r.out.find("<wpt lat=\"35.702056667\" lon=\"139.761315000\"><ele>40.100</ele>"
                         "<time>2010-05-08T05:30:12.00Z</time><name>7</name></wpt>"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("<name>rec.dat</name>"), std::string::npos);
    EXPECT_NE(r.out.find("<trkpt lat=\"35.70205"), std::string::npos);  // the record file's point, back in degrees
    EXPECT_EQ(Tool("gpx", "").status, 2);
    std::system(("rm -rf " + std::string(dir)).c_str());
}

TEST(ToolCommands, HostileInputNeverCrashes)
{
    std::string junk;
    for (long i = 0; i < 300000; ++i) junk.push_back(static_cast<char>((i * 7919) % 251));
    const std::string longLine = "$GPGGA," + std::string(200000, '9') + "\n";
    for (const char* cmd : {"latlon2plane", "plane2latlon", "zone"}) {
        const ToolRun r = Tool(cmd, junk + "\n" + longLine + "1e308,1e308,-1e308,1e308\n");
        EXPECT_TRUE(r.status == 0 || r.status == 1) << cmd << " exit " << r.status;
    }
    EXPECT_EQ(Tool("gga --zone 9", junk + "\n" + longLine + std::string(100, '\n')).status, 0);
}

}  // namespace
