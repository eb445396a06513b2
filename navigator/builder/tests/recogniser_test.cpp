// Status-line recognition from small synthetic pictures.
#include "builder/recogniser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/status_font.h"

namespace tessaro::builder {
namespace {

UnitGlyphs FontUnits() { return ParseUnitGlyphs(UnitGlyphFileLines()); }

Reading Read(const GreyPicture& p, int threshold = 180, const UnitGlyphs& units = FontUnits())
{
    WorkTables tables;
    return ReadStatusLine(p, threshold, units, tables);
}

GreyPicture Picture(const char* lat, const char* lon, const std::string& altitude, int width = 800)
{
    StatusLine line = StatusLineFor(lat, lon, 0);
    line.altitude = altitude;
    return MakeStatusPicture(width, width == 800 ? 600 : 120, line);
}

// A cell from rows of text ('#' ink, '.' background), [column][row].
Cell MakeCell(const std::vector<std::string>& rows)
{
    Cell c{};
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t x = 0; x < rows[r].size(); ++x) c[x][r] = rows[r][x] == '#' ? 1 : 0;
    return c;
}

int CellWidth(const std::vector<std::string>& rows) { return static_cast<int>(rows[0].size()); }

TEST(StatusLineTest, ReadsBackWhatWasDrawn)
{
    struct Case {
        const char* lat;
        const char* lon;
        int altitude;
        const char* expectAltitude;
    };
    // Every digit in several positions; each unit sign in the altitude.
    const Case cases[] = {
        {"35-42-19.45", "139-45-00.18", 1740, "1740"},
        {"01-23-45.67", "089-01-23.45", 870, "870"},
        {"98-76-54.32", "109-87-65.43", 391, "391"},
        {"24-68-13.57", "146-02-97.53", 2000, "2000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lat);
        const Reading r = Read(MakeStatusPicture(800, 600, StatusLineFor(c.lat, c.lon, c.altitude)));
        EXPECT_EQ(r.latitude, c.lat);
        EXPECT_EQ(r.longitude, c.lon);
        EXPECT_EQ(r.altitude, c.expectAltitude);
    }
}

TEST(StatusLineTest, AltitudeUnitsAndConversions)
{
    struct Case {
        std::string shown;
        const char* metres;
    };
    const Case cases[] = {
        {"1.23キロ", "1230"},     // three digits of kilometres: the lost point means x 10
        {"12.3キロ", "1230"},     // also three digits
        {"2キロ", "2000"},        // below 10: x 1000
        {"45キロ", "45000"},      // below 100: x 1000
        {"3500フィート", "1067"},  // 1066.8
        {"625フィート", "190"},    // 190.5, halves to even
        {"870メートル", "870"},
        {"1234キロ", ""},         // four digits of kilometres: no altitude
        {"870", "100"},           // no unit sign
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(Read(Picture("35-42-19.45", "139-45-00.18", c.shown)).altitude, c.metres);
    }
    // Without the unit glyphs no sign is ever accepted.
    EXPECT_EQ(Read(Picture("35-42-19.45", "139-45-00.18", "870メートル"), 180, UnitGlyphs{}).altitude, "100");
}

TEST(StatusLineTest, AssembleAltitudeStopsAtTheFirstNonNumber)
{
    EXPECT_EQ(AssembleAltitude({"8", "-1", "0", "メ"}, 2), "8");
    EXPECT_EQ(AssembleAltitude({"メ"}, 2), "0");
    EXPECT_EQ(AssembleAltitude({}, 0), "100");
}

// The font's digits as the latitude/longitude rules and the altitude rules
// see them: each reaches its digit through a different topology code.
TEST(CellTest, FontDigitsReadByBothRuleSets)
{
    const int codes[10] = {0, 1, 28, 50, 3, 40, 8, 18, 4, 36};
    for (int d = 0; d <= 9; ++d) {
        SCOPED_TRACE(d);
        const Glyph* g = FindGlyph(std::to_string(d));
        std::vector<std::string> rows;
        for (auto r : g->rows) {
            std::string s(r);
            for (char& ch : s) ch = ch == '.' ? '.' : '#';  // corners grown into ink
            rows.push_back(s);
        }
        Cell cell = MakeCell(rows);
        int w = CellWidth(rows);
        if (w < 5) {  // narrow cells are centred as the normaliser does
            Cell n{};
            for (int c = 0; c < w; ++c) n[static_cast<std::size_t>(c + (w == 3 ? 1 : 2))] = cell[static_cast<std::size_t>(c)];
            cell = n;
            w = 5;
        }
        const CellReading r = ClassifyLatLonCell(cell, w);
        EXPECT_EQ(r.code, codes[d]);
        EXPECT_EQ(r.digit, d);
        std::vector<std::string> core;
        for (auto row : g->rows) {
            std::string s(row);
            for (char& ch : s) ch = ch == '#' ? '#' : '.';
            core.push_back(s);
        }
        EXPECT_EQ(ClassifyAltitudeCell(MakeCell(core), CellWidth(core)), d);
    }
}

TEST(CellTest, SpecialRules)
{
    struct Case {
        const char* what;
        std::vector<std::string> rows;
        int code;
        int digit;
    };
    const Case cases[] = {
        {"code 1, heavy row at the bottom", {"#....", "#....", "#....", "#....", "#....", "#....", "#....", "#....", "####."}, 2, 4},
        {"code 1, no heavy row", {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}, 1, 1},
        {"code 5, tall and thin", {"..###", "..#..", "..#..", "..#..", "..###", "..#..", "..#..", "..#..", "..#.."}, 1, 1},
        {"code 5, wide top", {"#####", "..#..", "..#..", "..#..", "..###", "..#..", "..#..", "..#..", "..#.."}, 4, 8},
        {"code 13, stem in the middle", {"..###", "..#..", "..#..", "..#..", "..###", "..#..", "..#..", "..#..", "..###"}, 1, 1},
        {"code 13, short stem", {"..###", "..#..", "..#..", "..#..", "..###", "..#..", "..#..", "...", "..###"}, 0, 0},
        {"code 2, top bar without a long stem", {"#####", "#...#", "#...#", "#####", ".....", ".....", ".....", ".....", "....."}, 18, 7},
        // Gap labels neither lengthen nor end a run, so the inner columns' runs
        // are counted across the gaps.
        {"code 4, short sides, bottom ink", {".###.", "#...#", "#####", "#...#", ".###.", ".....", ".....", ".....", "...#."}, 1, 1},
        {"code 4, short sides, bottom empty", {".###.", "#...#", "#####", "#...#", ".###.", ".....", ".....", ".....", "....."}, 0, 0},
        {"code 20, ink, gap 2, gap 3 down column 1", {".###.", "#...#", "....#", "..##.", "#...#", "#...#", "#...#", "#...#", ".###."}, 50, 3},
        {"code 4, one long run each side", {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "#...#", ".###."}, 4, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> rows = c.rows;
        for (auto& r : rows) r.resize(5, '.');
        const CellReading r = ClassifyLatLonCell(MakeCell(rows), 5);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.digit, c.digit);
    }
}

// The grey strip of one character drawn at column 20, with the middle bar of
// an "8" in the given grey.
WorkTables StripWithEight(std::uint8_t barGrey)
{
    WorkTables tb;
    const char* rows[] = {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", "#...#", "#...#", ".###."};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 5; ++c) {
            const char ch = rows[r][c];
            std::uint8_t v = ch == '#' ? 250 : 40;
            if (r == 3 && ch == '#') v = barGrey;
            tb.greyStrip[static_cast<std::size_t>(20 + c)][static_cast<std::size_t>(r + 2)] = v;
        }
    return tb;
}

TEST(CellTest, AntiAliasedPixelsGrowIntoTheCell)
{
    // The bar at 151..200 is grown into ink: the two gaps stay apart.
    EXPECT_EQ(ReadLatLonCharacter(StripWithEight(170), 20, 5).digit, 8);
    EXPECT_EQ(ReadLatLonCharacter(StripWithEight(151), 20, 5).digit, 8);
    // Below 151 it is background: one gap, open on both sides, read as 2.
    EXPECT_EQ(ReadLatLonCharacter(StripWithEight(150), 20, 5).digit, 2);
}

TEST(CellTest, CellsWiderThanTheTableAreCut)
{
    WorkTables tb;
    for (int c = 0; c < WorkTables::kStripColumns; ++c)
        for (int r = 0; r < 16; ++r) tb.greyStrip[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = 255;
    // A white bar 250 columns wide is an 11-column block of ink (a heavy top
    // row: 7); one that starts at the strip's end keeps its last 3 columns.
    EXPECT_EQ(ReadLatLonCharacter(tb, 1, 250).digit, 7);
    EXPECT_EQ(ReadLatLonCharacter(tb, 298, 10).digit, 1);
    // One-column altitude cell: no column -1.
    EXPECT_EQ(ClassifyAltitudeCell(MakeCell({"#", "#", "#", "#", "#", "#", "#", "#", "#"}), 1), 1);
}

TEST(StatusLineTest, DigitBrokenInTwoShiftsTheRest)
{
    GreyPicture p = Picture("30-42-19.45", "139-45-00.18", "870メートル");
    WorkTables tb;
    Read(p);
    ReadStatusLine(p, 180, FontUnits(), tb);
    // Cut the "0" (segment 1) down its middle column.
    const int x = tb.textStart - 1 + tb.segments[1].start + 2;
    for (int y = p.height - 15; y < p.height; ++y) p.grey[static_cast<std::size_t>(y * p.width + x)] = kBarGrey;
    const Reading r = ReadStatusLine(p, 180, FontUnits(), tb);
    ASSERT_EQ(r.latitude.size(), 11u);
    EXPECT_EQ(r.latitude[0], '3');
    EXPECT_EQ(r.latitude.substr(4), "4-21.94");  // later digits one place to the right
    // The hemisphere mark became the first longitude digit; the longitude's
    // own digits follow one place later.
    ASSERT_EQ(r.longitude.size(), 12u);
    EXPECT_EQ(r.longitude.substr(1), "13-94-50.01");
    EXPECT_EQ(r.altitude, "870");
}

TEST(StatusLineTest, SpecksInTheAltitudeStripAreRemoved)
{
    struct Case {
        std::vector<std::pair<int, int>> pixels;  // (column, row) offsets from the speck's corner
        bool removed;
    };
    const Case cases[] = {
        {{{0, 0}}, true},
        {{{0, 0}, {1, 1}}, true},
        {{{0, 0}, {1, 0}, {2, 1}}, true},
        {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixels.size());
        GreyPicture p = Picture("35-42-19.45", "139-45-00.18", "870メートル");
        WorkTables tb;
        ReadStatusLine(p, 180, FontUnits(), tb);
        // Between the label and the first digit (strip columns 26..29).
        const int x0 = tb.altitudeStart + 26;
        const int y0 = p.height - 10;
        for (auto [dx, dy] : c.pixels) p.grey[static_cast<std::size_t>((y0 + dy) * p.width + x0 + dx)] = 250;
        const Reading r = ReadStatusLine(p, 180, FontUnits(), tb);
        EXPECT_EQ(r.altitude == "870", c.removed) << r.altitude;
    }
}

TEST(StatusLineTest, UnitGlyphFile)
{
    // Markers in order; rows past the cell and stray text are ignored.
    std::vector<std::string> lines = {"junk", "フ", "1,1,1", "メ", "0,1", "キ", "1"};
    for (int i = 0; i < 14; ++i) lines.push_back("1,1,1,1,1,1,1,1,1,1,1,1");
    const UnitGlyphs g = ParseUnitGlyphs(lines);
    EXPECT_TRUE(g.loaded);
    EXPECT_EQ(g.glyph[0][2][0], 1);
    EXPECT_EQ(g.glyph[0][3][0], 0);
    EXPECT_EQ(g.glyph[1][0][0], 0);
    EXPECT_EQ(g.glyph[1][1][0], 1);
    EXPECT_EQ(g.glyph[2][9][10], 1);
    EXPECT_FALSE(ParseUnitGlyphs({}).loaded);
}

TEST(StatusLineTest, WidePicturesReadLikeNarrowOnes)
{
    for (int width : {1920, 2560, 3840, 8192}) {
        SCOPED_TRACE(width);
        const Reading r = Read(Picture("35-42-19.45", "139-45-00.18", "1.74キロ", width));
        EXPECT_EQ(r.latitude, "35-42-19.45");
        EXPECT_EQ(r.longitude, "139-45-00.18");
        EXPECT_EQ(r.altitude, "1740");
    }
}

TEST(StatusLineTest, HostilePicturesGiveShortTexts)
{
    struct Case {
        int width, height;
        bool bar;
    };
    const Case cases[] = {{800, 600, false}, {1, 1, false}, {200, 50, true}, {8192, 64, true}, {8192, 64, false},
                          {300, 16, true}, {0, 0, false}, {5, 3, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        GreyPicture p;
        p.width = c.width;
        p.height = c.height;
        p.grey.assign(static_cast<std::size_t>(c.width * c.height), 110);
        if (c.bar) DrawStatusLine(p.grey, c.width, c.height, StatusLineFor("35-42-19.45", "139-45-00.18", 870));
        const Reading r = Read(p);
        EXPECT_LE(r.latitude.size(), 11u);
        EXPECT_LE(r.longitude.size(), 12u);
    }
    // A wide, bright bar of noise: every run is a word, nothing is a digit.
    GreyPicture p;
    p.width = 2000;
    p.height = 40;
    p.grey.resize(2000 * 40);
    for (std::size_t i = 0; i < p.grey.size(); ++i) p.grey[i] = static_cast<std::uint8_t>((i * 7919u) % 256u);
    const Reading r = Read(p);
    EXPECT_LE(r.latitude.size(), 11u);
}

}  // namespace
}  // namespace tessaro::builder
