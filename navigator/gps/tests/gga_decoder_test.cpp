#include "gps/gga_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"

namespace tessaro::gps {
namespace {

const char* const kLabelNames[] = {"time", "sats", "lat", "lon", "status"};

// Records every call into the rest of the program as one line of text.
class Recorder : public GpsWindow, public MapSelection, public OverlayDrawing, public RecordLineSink {
public:
    std::vector<std::string> events;
    std::vector<std::string> records;
    int quadrantResult = 0;

    void ClosePort() override { events.push_back("close"); }
    void ShowZoneChangeMessage(const std::string& text) override { events.push_back("message " + text); }
    void OpenPort() override { events.push_back("open"); }
    void SetLabel(FixLabel label, const std::string& text) override
    {
        events.push_back(std::string(kLabelNames[static_cast<int>(label)]) + "=" + text);
    }
    void SetRecordIndicatorVisible(bool visible) override
    {
        events.push_back(visible ? "indicator on" : "indicator off");
    }
    void HidePositionMark() override { events.push_back("hide"); }
    void PlacePositionMark(double left, double top) override { events.push_back("place " + Pos(left, top)); }
    void BringPositionMarkToFront() override { events.push_back("front"); }
    void ShowPositionMark() override { events.push_back("show"); }
    int SelectNearestMap() override
    {
        events.push_back("select");
        return 1;
    }
    int CheckMapQuadrant() override
    {
        events.push_back("quadrant");
        return quadrantResult;
    }
    void LoadMapImages() override { events.push_back("load"); }
    void ShowAllData() override { events.push_back("showall"); }
    void DrawTrailPoint(double px, double py) override { events.push_back("trail " + Pos(px, py)); }
    void WriteRecordLine(const std::string& line) override { records.push_back(line); }

    static std::string Pos(double x, double y)
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.1f,%.1f", x, y);
        return buf;
    }
};

constexpr const char* kSample = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*47";

std::string Sentence(const std::string& time, const std::string& lat, const std::string& lon,
                     const std::string& quality = "1", const std::string& sats = "08")
{
    return "$GPGGA," + time + "," + lat + ",N," + lon + ",E," + quality + "," + sats + ",0.9,40.1,M,39.5,M,,*47";
}

class Decoder : public ::testing::Test {
protected:
    void SetUp() override
    {
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, state.Zone);
        state.ViewScale = 0.17f;
    }
    PositionFix Decode(const std::string& line) { return decoder.DecodeGPGGAData(line); }
    std::vector<std::string> Take()
    {
        std::vector<std::string> e;
        e.swap(rec.events);
        return e;
    }

    NavState state;
    Recorder rec;
    GgaDecoder decoder{state, rec, rec, rec, rec};
};

TEST_F(Decoder, SampleSentenceInZone9)
{
    const PositionFix fix = Decode(kSample);
    EXPECT_EQ(fix.timeText, "14:30:12");
    EXPECT_EQ(state.GPSTimeText, "14:30:12");
    EXPECT_NEAR(fix.lat, 35.70205667, 5e-9);
    EXPECT_NEAR(fix.lon, 139.761315, 1e-12);
    EXPECT_EQ(fix.latText, "35-42-07.40");
    EXPECT_EQ(fix.lonText, "139-45-40.73");
    EXPECT_EQ(fix.satellitesText, "08");
    EXPECT_EQ(fix.statusText, "Navi");
    EXPECT_FALSE(fix.zoneChanged);
    ASSERT_TRUE(fix.stored);
    EXPECT_EQ(state.Zone.ZoneNo, 9);

    const geodesy::PlanePoint p =
        geodesy::LatLonToPlane(fix.lat, fix.lon, 36.0, 139.0 + 50.0 / 60.0);
    EXPECT_EQ(state.PosEasting, p.easting);
    EXPECT_EQ(state.PosNorthing, static_cast<float>(p.northing));
    EXPECT_NEAR(state.PosEasting, -6517.124, 0.001);
    EXPECT_NEAR(state.PosNorthing, -33052.977, 0.004);  // float has 4 mm steps here
    EXPECT_EQ(state.Track.TrackEasting[0], static_cast<float>(p.easting));
    EXPECT_EQ(state.Track.TrackNorthing[0], state.PosNorthing);
    EXPECT_EQ(state.Track.TrackIndex, 1);
    EXPECT_EQ(state.Track.TrackCount, 1);

    // Labels in their order, then the view: the fix is 6.5 km from the view
    // centre (0, 0) at 0.17 units per metre, far outside the follow box.
    const std::vector<std::string> events = Take();
    ASSERT_GE(events.size(), 5u);
    const std::vector<std::string> labels(events.begin(), events.begin() + 5);
    EXPECT_EQ(labels, (std::vector<std::string>{"time=14:30:12", "sats=08", "lat=35-42-07.40",
                                                "lon=139-45-40.73", "status=Navi"}));
    EXPECT_TRUE(fix.recentred);
    EXPECT_EQ(state.ViewCentreEasting, state.PosEasting);
    EXPECT_EQ(state.ViewCentreNorthing, state.PosNorthing);
    const std::vector<std::string> view(events.begin() + 5, events.end());
    EXPECT_EQ(view, (std::vector<std::string>{"select", "quadrant", "hide", "load", "showall", "place -8.0,8.0",
                                              "trail 0.0,0.0", "front", "show"}));
}

TEST_F(Decoder, AcceptsOnlyGgaLines)
{
    struct Case {
        std::string line;
        bool accepted;
    };
    const std::string noDollar = std::string(kSample).substr(1);
    const Case cases[] = {
        {kSample, true},
        {noDollar, true},
        {"$GPRMC,053012.00,A,3542.1234,N,13945.6789,E,0.0,0.0,230610,,,A*6C", false},
        {"$GPGG", false},
        {"", false},
        {"GPGGA", false},
        {"GPGGA;053012", false},
        {"$gpgga,053012.00,3542.1234,N,13945.6789,E,1,08", false},
        {"$GNGGA,053012.00,3542.1234,N,13945.6789,E,1,08", true},
        {"BDGGA,053012.00,3542.1234,N,13945.6789,E,1,08", true},
        {"$XXGGA,053012.00,3542.1234,N,13945.6789,E,1,08", false},
        {"$GNGSA,A,3,02,05,06,12,13,15,17,19,,,,,1.6,0.9,1.3", false},
        {"GNGGA;053012", false},
        {" $GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08", false},
    };
    for (const Case& c : cases) {
        PositionFix fix;
        EXPECT_EQ(decoder.Feed(c.line, &fix), c.accepted) << c.line;
        EXPECT_EQ(fix.stored, c.accepted) << c.line;
    }
    EXPECT_EQ(state.Track.TrackCount, 4);
}

// A multi-constellation receiver's sentence decodes exactly as "$GPGGA":
// every talker, with and without its "$".
TEST_F(Decoder, EveryGnssTalkerDecodesAsGps)
{
    const std::string body = std::string(kSample).substr(6);  // ",053012.00,..."
    const PositionFix gps = Decode(kSample);
    const std::vector<std::string> gpsEvents = Take();
    for (const char* talker : {"GN", "GL", "GA", "GB", "BD", "GQ", "GI"}) {
        for (const std::string& line : {"$" + std::string(talker) + "GGA" + body, std::string(talker) + "GGA" + body}) {
            NavState fresh;
            fresh.Zone = state.Zone;
            fresh.ViewScale = state.ViewScale;
            Recorder r;
            GgaDecoder d(fresh, r, r, r, r);
            PositionFix f;
            ASSERT_TRUE(d.Feed(line, &f)) << line;
            EXPECT_EQ(f.timeText, gps.timeText) << line;
            EXPECT_EQ(f.latText, gps.latText) << line;
            EXPECT_EQ(f.lonText, gps.lonText) << line;
            EXPECT_EQ(f.satellitesText, gps.satellitesText) << line;
            EXPECT_EQ(f.statusText, gps.statusText) << line;
            EXPECT_EQ(f.easting, gps.easting) << line;
            EXPECT_EQ(f.northing, gps.northing) << line;
            EXPECT_EQ(r.events, gpsEvents) << line;
        }
    }
}

TEST_F(Decoder, TimeAndStatusTexts)
{
    struct Case {
        std::string time, quality, timeText, status;
    };
    const Case cases[] = {
        {"053012.00", "1", "14:30:12", "Navi"}, {"150000", "2", "00:00:00", "DGPS"},
        {"163005", "3", "01:30:05", "rtk"},     {"235959.99", "0", "08:59:59", ""},
        {"000000", "4", "09:00:00", ""},        {"120000", "5", "21:00:00", ""},
        {"", "", "09::", ""},                   {"7", "1.0", "16::", "Navi"},
        {"99zz00", "x", "12:zz:00", ""},        {"-50102", "-1", "04:01:02", ""},
    };
    for (const Case& c : cases) {
        const PositionFix fix = Decode(Sentence(c.time, "3542.1234", "13945.6789", c.quality));
        EXPECT_EQ(fix.timeText, c.timeText) << c.time;
        EXPECT_EQ(fix.statusText, c.status) << c.quality;
    }
}

TEST_F(Decoder, CoordinateTexts)
{
    struct Case {
        std::string lat, lon, latText, lonText;
        double latDeg, lonDeg;
    };
    const Case cases[] = {
        // no fraction: 0 seconds
        {"3542", "13945", "35-42-00.00", "139-45-00.00", 35.7, 139.75},
        {"3542.", "13945.", "35-42-00.00", "139-45-00.00", 35.7, 139.75},
        // seconds round to two decimals, 59.99994 s shows as 60.00
        {"3500.0001", "13950.999999", "35-00-00.01", "139-50-60.00", 35.0 + 0.0001 / 60.0,
         139.0 + 50.999999 / 60.0},
        // a long fraction and characters that are not digits
        {"3600.5x", "13950.25", "36-00-30.00", "139-50-15.00", 36.0 + 0.5 / 60.0, 139.0 + 50.25 / 60.0},
    };
    for (const Case& c : cases) {
        const PositionFix fix = Decode(Sentence("053012", c.lat, c.lon));
        EXPECT_EQ(fix.latText, c.latText) << c.lat;
        EXPECT_EQ(fix.lonText, c.lonText) << c.lon;
        EXPECT_NEAR(fix.lat, c.latDeg, 1e-12) << c.lat;
        EXPECT_NEAR(fix.lon, c.lonDeg, 1e-12) << c.lon;
    }
}

// Characters, not bytes: a field with multi-byte characters is cut at
// character boundaries, and only ASCII digits count as digits. Degree or
// minute characters that are not ASCII digits mean no usable position.
TEST_F(Decoder, CoordinateFieldsAreCutAtCharacters)
{
    PositionFix fix = Decode(Sentence("053012", "3542.12３4", "13945.6７89"));
    EXPECT_TRUE(fix.hasPosition);
    EXPECT_EQ(fix.latText, "35-42-07.20");
    EXPECT_EQ(fix.lonText, "139-45-36.00");
    EXPECT_NEAR(fix.lat, 35.0 + 42.12 / 60.0, 1e-12);
    fix = Decode(Sentence("053012", "３５42.1234", "１３９45.6789"));
    EXPECT_FALSE(fix.hasPosition);
    EXPECT_FALSE(fix.zoneChanged);
    EXPECT_EQ(state.Zone.ZoneNo, 9);
}

TEST_F(Decoder, ZoneChangeClosesThePortShowsTheMessageAndSwitchesZones)
{
    // 38.5N 140.0E with zone 9 current: zone 10 (origin 40N), 1.5 deg away
    const PositionFix fix = Decode(Sentence("053012", "3830.0000", "14000.0000"));
    EXPECT_TRUE(fix.zoneChanged);
    EXPECT_EQ(state.Zone.ZoneNo, 10);
    EXPECT_EQ(state.Zone.ZoneOriginLat, 40.0);
    EXPECT_TRUE(fix.stored);
    const std::vector<std::string> events = Take();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "close");
    EXPECT_EQ(events[1], "message 測地系設定を変更します。");
    EXPECT_EQ(events[2], "open");
    EXPECT_EQ(events[3], "time=14:30:12");
    const geodesy::PlanePoint p = geodesy::LatLonToPlane(38.5, 140.0, 40.0, 140.0 + 50.0 / 60.0);
    EXPECT_EQ(state.PosEasting, p.easting);
}

TEST_F(Decoder, ZoneAndRangeLimits)
{
    struct Case {
        const char* name;
        std::string lat, lon;
        bool message;
        int zoneAfter;
        bool stored;
    };
    // zone 9: origin 36N 139d50'E
    const Case cases[] = {
        {"1.5 deg east, same zone kept", "3630.0000", "14120.0000", true, 9, true},
        {"1.1 deg east", "3630.0000", "14056.0000", false, 9, true},
        {"1.2 deg east is not beyond 1.2", "3600.0000", "14102.0000", false, 9, true},
        {"exactly 2 deg north", "3800.0000", "13950.0000", false, 9, false},
        {"33.5N: zone 4 chosen, 6.3 deg of longitude from its origin", "3330.0000", "13950.0000", true, 4,
         false},
    };
    for (const Case& c : cases) {
        geodesy::SetCurrentZone(9, state.Zone);
        const PositionFix fix = Decode(Sentence("053012", c.lat, c.lon));
        EXPECT_EQ(fix.zoneChanged, c.message) << c.name;
        EXPECT_EQ(state.Zone.ZoneNo, c.zoneAfter) << c.name;
        EXPECT_EQ(fix.stored, c.stored) << c.name;
    }
}

// A sentence without a fix must not be read as 0N 0E: no zone change, the
// coordinates keep showing the last fix, nothing is stored or drawn.
TEST_F(Decoder, SentenceWithoutFixUpdatesOnlyTimeSatellitesAndStatus)
{
    Decode(kSample);
    const float northing = state.PosNorthing;
    const std::vector<std::pair<std::string, std::string>> noFix = {
        {"", ""}, {"354", "13945.6789"}, {"3542.1234", "1394"}, {"", "13945.6789"}, {"3542.1234", ""},
        // line noise in the degree or minute digits
        {"3#42.1234", "13945.6789"}, {"3542.1234", "139?5.6789"}, {" 542.1234", "13945.6789"},
        {"354２.1234", "13945.6789"}};
    for (const auto& [lat, lon] : noFix) {
        Take();
        const PositionFix fix = Decode(Sentence("053513.00", lat, lon, "0", "03"));
        EXPECT_FALSE(fix.hasPosition);
        EXPECT_FALSE(fix.zoneChanged);
        EXPECT_FALSE(fix.stored);
        EXPECT_EQ(state.Zone.ZoneNo, 9);
        EXPECT_EQ(state.GPSTimeText, "14:35:13");
        EXPECT_EQ(Take(), (std::vector<std::string>{"time=14:35:13", "sats=03", "status="})) << lat << "," << lon;
    }
    EXPECT_EQ(state.Track.TrackCount, 1);
    EXPECT_EQ(state.PosNorthing, northing);
    // the shortest fields that still carry a position
    EXPECT_TRUE(Decode(Sentence("053513.00", "3542", "13945")).stored);
}

TEST_F(Decoder, TrackRingKeepsTheNewest601Fixes)
{
    for (int i = 0; i < 601; ++i) {
        char lat[32];
        std::snprintf(lat, sizeof lat, "3542.%04d", i);
        Decode(Sentence("053012", lat, "13945.6789"));
        if (i == 599) {
            EXPECT_EQ(state.Track.TrackCount, 600);
            EXPECT_EQ(state.Track.TrackIndex, 600);
        }
    }
    EXPECT_EQ(state.Track.TrackIndex, 0);
    EXPECT_EQ(state.Track.TrackCount, 600);
    EXPECT_EQ(state.Track.TrackNorthing[600], state.PosNorthing);
    EXPECT_LT(state.Track.TrackNorthing[0], state.Track.TrackNorthing[1]);
    Decode(Sentence("053012", "3542.9999", "13945.6789"));
    EXPECT_EQ(state.Track.TrackIndex, 1);
    EXPECT_EQ(state.Track.TrackNorthing[0], state.PosNorthing);
    EXPECT_EQ(state.Track.TrackCount, 600);
}

TEST_F(Decoder, RecordingWritesEveryIntervalAndBlinksOnEveryFix)
{
    state.RecordingOn = true;
    state.pRecordSTS = -1;
    state.RecordInterval = 5;
    int lines = 0;
    std::vector<std::string> blinks;
    for (int i = 1; i <= 10; ++i) {
        const PositionFix fix = Decode(kSample);
        EXPECT_EQ(fix.recorded, i % 5 == 0) << i;
        lines += fix.recorded;
        for (const std::string& e : Take())
            if (e.rfind("indicator", 0) == 0) blinks.push_back(e);
    }
    EXPECT_EQ(lines, 2);
    ASSERT_EQ(rec.records.size(), 2u);
    EXPECT_EQ(rec.records[0], "14:30:12,-6517.1,-33053.0,08,Navi,");
    ASSERT_EQ(blinks.size(), 10u);
    for (std::size_t i = 0; i < blinks.size(); ++i)
        EXPECT_EQ(blinks[i], i % 2 == 0 ? "indicator on" : "indicator off");

    // paused: nothing counted, nothing blinks
    state.pRecordSTS = 0;
    Decode(kSample);
    EXPECT_EQ(state.pRecordCount, 0);
    EXPECT_EQ(rec.records.size(), 2u);
}

TEST(RecordLine, Format)
{
    EXPECT_EQ(FormatRecordLine("14:30:12", -12345.67, -35000.21f, "08", "Navi"),
              "14:30:12,-12345.7,-35000.2,08,Navi,");
    EXPECT_EQ(FormatRecordLine("00:00:00", 0.04, 12.25f, "", ""), "00:00:00,0.0,12.3,,,");
}

// The follow box: 314 units left/right and 269 up/down from the centre.
TEST_F(Decoder, FollowRuleRecentresOnlyOutsideTheBox)
{
    state.ViewScale = 1.0f;
    Decode(kSample);
    struct Case {
        double dx;
        float dy;
        bool recentre;
    };
    const Case cases[] = {
        {315, 0, true}, {313, 0, false}, {-315, 0, true}, {-314, 0, false},
        {0, 270, true}, {0, 269, false}, {0, -270, true}, {0, -269, false},
    };
    for (const Case& c : cases) {
        state.ViewCentreEasting = state.PosEasting - c.dx;
        state.ViewCentreNorthing = state.PosNorthing - c.dy;
        Take();
        const PositionFix fix = Decode(kSample);
        EXPECT_EQ(fix.recentred, c.recentre) << c.dx << "," << c.dy;
        const std::vector<std::string> events = Take();
        const std::vector<std::string> view(events.end() - (c.recentre ? 9 : 5), events.end());
        if (c.recentre) {
            EXPECT_EQ(state.ViewCentreEasting, state.PosEasting);
            EXPECT_EQ(view[2], "hide");
            EXPECT_EQ(view[5], "place -8.0,8.0");
        } else {
            EXPECT_EQ(view, (std::vector<std::string>{"select", "quadrant", "place " + Recorder::Pos(c.dx - 8, c.dy + 8),
                                                      "front", "trail " + Recorder::Pos(c.dx, c.dy)}));
        }
    }
}

TEST_F(Decoder, QuadrantChangeRedrawsWithoutRecentring)
{
    state.ViewScale = 1.0f;
    Decode(kSample);
    state.ViewCentreEasting = state.PosEasting - 100;
    rec.quadrantResult = 1;
    Take();
    const PositionFix fix = Decode(kSample);
    EXPECT_FALSE(fix.recentred);
    const std::vector<std::string> events = Take();
    const std::vector<std::string> view(events.end() - 9, events.end());
    EXPECT_EQ(view, (std::vector<std::string>{"select", "quadrant", "hide", "load", "showall", "place 92.0,8.0",
                                              "trail 100.0,0.0", "front", "show"}));
}

// Every call out of the decoder may fail (a port that will not open, a record
// file that cannot be written): each such step is skipped, the decoder goes
// on and nothing escapes to the caller.
TEST_F(Decoder, FailingCallsAreSkippedAndTheRestRuns)
{
    struct Failing : GpsWindow, MapSelection, OverlayDrawing, RecordLineSink {
        void ClosePort() override { throw std::runtime_error("port"); }
        void ShowZoneChangeMessage(const std::string&) override { throw std::runtime_error("box"); }
        void OpenPort() override { throw std::runtime_error("port"); }
        void SetLabel(FixLabel, const std::string&) override { throw std::runtime_error("label"); }
        void SetRecordIndicatorVisible(bool) override { throw std::runtime_error("label"); }
        void PlacePositionMark(double, double) override { throw std::runtime_error("mark"); }
        int CheckMapQuadrant() override { throw std::runtime_error("grid"); }
        void LoadMapImages() override { throw std::runtime_error("jpeg"); }
        void DrawTrailPoint(double, double) override
        {
            ++trail;
            throw std::runtime_error("draw");
        }
        void WriteRecordLine(const std::string&) override { throw std::runtime_error("disk full"); }
        int trail = 0;
    } failing;
    GgaDecoder d(state, failing, failing, failing, failing);
    state.RecordingOn = true;
    state.pRecordSTS = -1;
    state.RecordInterval = 1;
    PositionFix fix;
    EXPECT_NO_THROW(fix = d.DecodeGPGGAData(Sentence("053012", "3830.0000", "14000.0000")));
    EXPECT_EQ(state.Zone.ZoneNo, 10);  // the zone search ran between the failing port calls
    EXPECT_TRUE(fix.stored);
    EXPECT_FALSE(fix.recorded);
    EXPECT_EQ(state.pRecordCount, 0);
    EXPECT_EQ(state.RecordBlink, 1);
    EXPECT_EQ(state.Track.TrackCount, 1);
    EXPECT_EQ(failing.trail, 1);
}

// More than 31 fields: the split stops with the fields it has stored, the
// rest of the decoder still runs on them.
TEST_F(Decoder, OverlongSentenceStillDecodesItsFirstFields)
{
    const PositionFix fix = Decode(std::string(kSample) + std::string(40, ','));
    EXPECT_EQ(fix.latText, "35-42-07.40");
    EXPECT_TRUE(fix.stored);
}

}  // namespace
}  // namespace tessaro::gps
