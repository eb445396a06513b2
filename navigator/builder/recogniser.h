// The status-line reader of the map library builder.
//
// Google Earth prints the pointer's latitude and longitude and the viewing
// altitude along the bottom edge of every screenshot: light characters of a
// small fixed font on a dark bar. The recogniser finds that text by column and
// row brightness profiles, cuts it into character cells and classifies every
// digit by the topology of its background (which gaps are closed, which open
// to the left or the right); the altitude's unit sign is matched against three
// stored glyphs ("KUnit.csv").
//
// Widget-free: a picture goes in as brightness values, three texts come out,
// and the working tables stay readable for the builder's diagnostic grids.
// Every table is sized to the picture or cut to its size, so no picture can
// make the recogniser read or write outside one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::builder {

// The brightness of a picture's pixels, (red + green + blue) / 3 truncated.
// `rows` may hold only the bottom rows of the picture (the recogniser reads no
// others): row r of `grey` is picture row `firstRow + r`.
struct GreyPicture {
    int width = 0;
    int height = 0;
    int firstRow = 0;
    std::vector<std::uint8_t> grey;  // (height - firstRow) rows of `width` bytes

    int storedRows() const { return height - firstRow; }
    bool holds(int x, int y) const { return x >= 0 && x < width && y >= firstRow && y < height; }
    std::uint8_t at(int x, int y) const
    {
        return grey[static_cast<std::size_t>(y - firstRow) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)];
    }
};

// Rows from the bottom that the recogniser reads (y = H - 15 .. H - 1).
constexpr int kStatusRows = 16;

// A 11 x 11 cell: [column][row], values 0 background, 1 ink, 2 and 3 labels
// of background gaps.
using Cell = std::array<std::array<std::uint8_t, 11>, 11>;

// The three unit glyphs of "KUnit.csv" (feet, metres, kilometres), each
// [column][row]; only columns and rows 0..8 take part in matching.
struct UnitGlyphs {
    std::array<Cell, 4> glyph{};
    bool loaded = false;
};
// Parses the lines of "KUnit.csv" (UTF-8). A line "フ" starts glyph 0, "メ" and
// "キ" the next one; every other line is one row of the current glyph, fields
// 0..9 its columns (0 or 1). Rows past the cell and lines before the first
// marker are ignored.
UnitGlyphs ParseUnitGlyphs(const std::vector<std::string>& lines);
// Reads the file through the text-file layer; empty glyphs when it is missing.
UnitGlyphs LoadUnitGlyphs(const std::string& path);

// Topology code (0..64) to digit.
using CodeTable = std::array<std::int16_t, 65>;
const CodeTable& DigitCodeTable();

// One run of the layout scan (a row of UnderPicGrid).
struct LayoutRun {
    int start = 0;
    int length = 0;
    int distance = 0;   // from the previous run's start (run 0: 0)
    char kind = ' ';    // 'B' narrow (a character), 'A' wide (a word), ' ' neither
    bool gap = false;   // "X": distance greater than 35
    bool group = false; // "C": first run of a group of narrow runs
};

struct Segment {
    int start = 0;
    int width = 0;
};

// The result of classifying one latitude/longitude cell.
struct CellReading {
    int code = 0;   // topology code after the special rules
    int digit = 0;  // code table value
    int width = 0;  // the cell's width after the growth into anti-aliased pixels
};

// The working tables of the last picture read; the builder window shows them
// in its diagnostic grids.
struct WorkTables {
    // Layout scan.
    std::vector<std::int32_t> columnCount;  // one per x
    std::vector<LayoutRun> runs;
    int textStart = -10;  // xs
    // Latitude/longitude strip (251 captured columns, strip column 1 = xs).
    static constexpr int kStripColumns = 301;
    std::array<std::array<std::int32_t, 2>, 16> rowProfile{};  // VPixecGrid: (k, count), sorted
    int textRow = 0;  // k0
    std::array<std::array<std::uint8_t, 16>, kStripColumns> greyStrip{};
    std::array<std::array<std::uint8_t, 15>, kStripColumns> inkStrip{};
    std::array<std::int32_t, kStripColumns> columnMass{};
    std::vector<Segment> segments;  // at most 101
    std::array<std::string, 17> latLonDigits;  // LonLatGrid row 1 (empty: no digit)
    std::array<CellReading, 19> cellReadings{};
    // Altitude strip (strip column c = x xs2 + c - 1, c = 1 .. W - xs2 + 1).
    int altitudeStart = 0;  // xs2
    int altitudeRow = 0;    // k0 of the altitude strip
    std::vector<std::array<std::uint8_t, 9>> altitudeInk;  // [column][row]
    std::vector<Segment> altitudeSegments;  // StartWidthGrid, at most 11
    std::vector<std::string> heightCells;   // HeightGrid row 1
    // Unit match of the segment that gave the sign (MatchRateTxt, MatchNumTxt,
    // NonMatchNumTxt); rate 0.5 and -1 when no unit was found.
    double matchRate = 0.5;
    int matchSegment = -1;
    int matchWidth = -1;
    int unit = 0;  // 0 none, 1 feet, 2 metres, 3 kilometres
};

struct Reading {
    std::string latitude;   // "35-42-19.45"
    std::string longitude;  // "139-45-00.18"
    std::string altitude;   // whole metres
};

// Reads the status line of `picture` with brightness threshold `threshold`
// (the window's PixelTxt, 160..200). `tables` is cleared first and keeps the
// working data afterwards.
Reading ReadStatusLine(const GreyPicture& picture, int threshold, const UnitGlyphs& units,
                       WorkTables& tables);

// Steps that the window's GetChr button and the tests reach on their own.
// A latitude/longitude character cell: builds the work cell from the grey strip
// (segment at `start`, `width` columns) and classifies it.
CellReading ReadLatLonCharacter(const WorkTables& tables, int start, int width);
// Classifies a normalised work cell of width w (5..11).
CellReading ClassifyLatLonCell(Cell cell, int width);
// Classifies an altitude cell of width w (no normalisation); -1 for no digit.
int ClassifyAltitudeCell(Cell cell, int width);
// The altitude text from the HeightGrid cells and the unit sign.
std::string AssembleAltitude(const std::vector<std::string>& heightCells, int unit);

}  // namespace tessaro::builder
