// Malformed and hostile receiver lines: the decoder must never crash, never
// leave the run state outside its ranges, and never move to a position the
// line does not carry. Runs under the sanitizers with the rest of the suite.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"

namespace tessaro::gps {
namespace {

constexpr const char* kSample = "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*47";

// Counts record lines and checks that every drawing call gets finite values.
class Checker : public GpsWindow, public OverlayDrawing, public RecordLineSink {
public:
    void PlacePositionMark(double left, double top) override { finite = finite && std::isfinite(left) && std::isfinite(top); }
    void DrawTrailPoint(double px, double py) override { finite = finite && std::isfinite(px) && std::isfinite(py); }
    void WriteRecordLine(const std::string& line) override
    {
        ++records;
        EXPECT_EQ(line.back(), ',');
    }
    bool finite = true;
    int records = 0;
};

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        geodesy::InitEllipsoid();
        geodesy::SetCurrentZone(9, state.Zone);
        state.ViewScale = 0.17f;
        state.RecordingOn = true;
        state.pRecordSTS = -1;
        state.RecordInterval = 3;
    }
    void FeedAndCheck(const std::string& line)
    {
        PositionFix fix;
        decoder.Feed(line, &fix);
        ASSERT_GE(state.Zone.ZoneNo, 1) << line.substr(0, 200);
        ASSERT_LE(state.Zone.ZoneNo, 19) << line.substr(0, 200);
        ASSERT_GE(state.Track.TrackIndex, 0);
        ASSERT_LE(state.Track.TrackIndex, 600);
        ASSERT_GE(state.Track.TrackCount, 0);
        ASSERT_LE(state.Track.TrackCount, 600);
        ASSERT_GE(state.pRecordCount, 0);
        ASSERT_LT(state.pRecordCount, state.RecordInterval);
        ASSERT_TRUE(std::isfinite(state.PosEasting));
        ASSERT_TRUE(std::isfinite(state.PosNorthing));
        ASSERT_TRUE(checker.finite) << line.substr(0, 200);
        if (fix.stored) {
            // a stored fix lies inside the 2 deg box of the current zone
            ASSERT_LT(std::fabs(fix.lat - state.Zone.ZoneOriginLat), 2.0);
            ASSERT_LT(std::fabs(fix.lon - state.Zone.ZoneOriginLon), 2.0);
        }
    }

    NavState state;
    Checker checker;
    MapSelection maps;
    GgaDecoder decoder{state, checker, maps, checker, checker};
};

TEST_F(Hostile, CorpusOfMalformedLines)
{
    std::vector<std::string> corpus = {
        "$GPGGA",
        "GPGGA,",
        "$GPGGA,,,,,,,,,,,,,,",
        "$GPGGA,1,2,3,4,5,6,7",
        "$GPGGA,99999999999999999999,99999999999999999999,N,99999999999999999999,E,9,99",
        "$GPGGA,-1,-3542.1234,S,-13945.6789,W,-1,-8",
        "$GPGGA,053012.00,9999.9999,N,99999.9999,E,1,08",
        "$GPGGA,053012.00,0000.0000,N,00000.0000,E,1,08",
        "$GPGGA,053012.00,3542.1234.5.6,N,13945..6789,E,1,08",
        "$GPGGA,053012.00,35\xe2\x80\x89" "42.1,N,139\xef\xbc\x94\xef\xbc\x95" ".6789,E,1,08",
        "$GPGGA,\xff\xfe\xfd,\x80\x80\x80\x80\x80,N,\xc0\xc1\xf5\xf8\xfc\xfe,E,\x80,\xbf",
        "$GPGGA,053012.00,3542.1234,N,13945.6789,E,1,08,0.9,40.1,M,39.5,M,,*47\r\r\r",
        std::string("$GPGGA,053012.00,3542.1234\0,N,13945.6789,E,1,08", 48),
        "$GPGGA,053012.00,1e308,N,1e308,E,1,08",
        "$GPGGA,053012.00,35 42.1234,N,139 45.6789,E, 1 , 08 ",
    };
    corpus.push_back("$GPGGA" + std::string(200, ','));
    corpus.push_back("$GPGGA,053012.00,3542." + std::string(10000, '9') + ",N,13945." + std::string(10000, '1') + ",E,1,08");
    corpus.push_back(std::string(kSample) + std::string(10000, 'x'));
    corpus.push_back("$GPGGA," + std::string(10000, '\x82'));
    corpus.push_back("$GPGGA," + std::string(5000, '.') + "," + std::string(5000, '-'));
    std::string garbage = "GPGGA,";
    std::mt19937 rng(12345);
    for (int i = 0; i < 10000; ++i) garbage.push_back(static_cast<char>(rng()));
    corpus.push_back(garbage);

    for (const std::string& line : corpus) {
        FeedAndCheck(line);
        FeedAndCheck(kSample);  // a good fix between the bad ones keeps working
    }
    EXPECT_EQ(state.Zone.ZoneNo, 9);
    EXPECT_GT(checker.records, 0);
}

// Random edits of good sentences: flipped, inserted, deleted and duplicated
// bytes, commas and digits where they do not belong.
TEST_F(Hostile, RandomMutationsOfGoodSentences)
{
    const std::string seeds[] = {
        kSample,
        "GPGGA,163005,3830.0000,N,14000.0000,E,2,09,0.9,40.1,M,39.5,M,,*47",
        "$GPGGA,235959.99,2612.0000,N,12742.0000,E,3,12",
        "$GPGGA,053015.00,,,,,0,00,,,M,,M,,*66",
    };
    std::mt19937 rng(20261210);
    const char interesting[] = {',', '.', '-', '+', '0', '9', ' ', '\r', '\0', '$', '\x82', '\xff', '\xe3'};
    for (int round = 0; round < 20000; ++round) {
        std::string line = seeds[rng() % std::size(seeds)];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = line.empty() ? 0 : rng() % line.size();
            switch (rng() % 5) {
            case 0:
                if (!line.empty()) line[at] = static_cast<char>(rng());
                break;
            case 1:
                line.insert(line.begin() + static_cast<long>(at), interesting[rng() % std::size(interesting)]);
                break;
            case 2:
                if (!line.empty()) line.erase(at, 1 + rng() % 4);
                break;
            case 3:
                line.insert(at, line.substr(at, rng() % 20));
                break;
            default:
                line.insert(at, std::string(rng() % 50, ','));
                break;
            }
        }
        FeedAndCheck(line);
        if (HasFailure()) return;
    }
}

// The decoder's own comma split gives what SplitFields gives: the fields, the
// result, and the overflow (with the fields stored before it) alike.
TEST(CommaSplit, MatchesSplitFields)
{
    std::mt19937 rng(99);
    const char alphabet[] = {',', ',', ',', ' ', ' ', 'a', '7', '\x82'};
    FieldDataArray a, b;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t len = rng() % 70;
        for (std::size_t i = 0; i < len; ++i) text.push_back(alphabet[rng() % std::size(alphabet)]);
        int ra = -2, rb = -2;
        bool oa = false, ob = false;
        try {
            ra = SplitFields(text, ",", a);
        } catch (const SplitOverflow&) {
            oa = true;
        }
        try {
            rb = SplitAtCommas(text, b);
        } catch (const SplitOverflow&) {
            ob = true;
        }
        ASSERT_EQ(oa, ob) << text;
        ASSERT_EQ(ra, rb) << text;
        for (std::size_t i = 0; i < FieldDataArray::kCapacity; ++i) ASSERT_EQ(a[i], b[i]) << text << " slot " << i;
    }
}

}  // namespace
}  // namespace tessaro::gps
