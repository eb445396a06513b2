// The status-line font of the sample screenshots and the test pictures: a
// small fixed bitmap font of this project's own design, 9 rows high, light
// characters with anti-aliased corners, and the layout of the status line
// (a dark bar along the bottom edge with the label words, the latitude, the
// longitude and the altitude with its unit sign).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "builder/recogniser.h"

namespace tessaro::builder {

// Grey levels of the font.
constexpr std::uint8_t kBarGrey = 40;     // the dark bar
constexpr std::uint8_t kInkGrey = 250;    // character pixels
constexpr std::uint8_t kEdgeGrey = 170;   // anti-aliased edge pixels
constexpr int kBarHeight = 18;            // rows of the bar
constexpr int kTextTopFromBottom = 13;    // the text's top row is H - 13

// One glyph: rows top to bottom, '#' ink, '+' anti-aliased edge, '.' background.
struct Glyph {
    std::string_view name;  // the character (UTF-8)
    std::vector<std::string_view> rows;
    int width() const { return rows.empty() ? 0 : static_cast<int>(rows[0].size()); }
};
// The glyph of one character (UTF-8), or nullptr when the font has none.
const Glyph* FindGlyph(std::string_view character);

// The three unit signs as "KUnit.csv" stores them (markers and rows), so the
// file shipped with the program is made from the font.
std::vector<std::string> UnitGlyphFileLines();

// What the status line shows.
struct StatusLine {
    std::string latitude;   // "35°42'19.45\"N"
    std::string longitude;  // "139°45'00.18\"E"
    std::string altitude;   // "1.74キロ", "870メートル", "1283フィート"
};
// The status line of a photograph from its index texts: "35-42-19.45" and
// "139-45-00.18" become degree-minute-second texts; the altitude in metres is
// shown in kilometres with three digits from 1000 m, else in metres.
StatusLine StatusLineFor(std::string_view latitude, std::string_view longitude, int altitudeMetres);

// Draws the bar and the status line into the bottom rows of a grey picture
// (width x height bytes, row-major). Characters the font lacks are skipped.
void DrawStatusLine(std::vector<std::uint8_t>& grey, int width, int height, const StatusLine& line);

// A grey picture of the given size: a mid-grey "photograph" with a status line.
GreyPicture MakeStatusPicture(int width, int height, const StatusLine& line);

}  // namespace tessaro::builder
