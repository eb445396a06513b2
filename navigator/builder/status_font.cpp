#include "builder/status_font.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "shell/values.h"

namespace tessaro::builder {

namespace {

// clang-format off
const std::array<Glyph, 32> kGlyphs = {{
    {"0", {"+###+", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "+###+"}},
    {"1", {"..#", ".##", "..#", "..#", "..#", "..#", "..#", "..#", "..#"}},
    {"2", {"+###+", "#...#", "....#", "...#.", "..#..", ".#...", "#....", "#....", "#####"}},
    {"3", {"+###+", "#...#", "....#", "..##.", "....#", "....#", "....#", "#...#", "+###+"}},
    {"4", {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", "...#.", "...#."}},
    {"5", {"#####", "#....", "#....", "####.", "....#", "....#", "....#", "#...#", "+###+"}},
    {"6", {"..##.", ".#...", "#....", "####.", "#...#", "#...#", "#...#", "#...#", "+###+"}},
    {"7", {"#####", "....#", "...#.", "...#.", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {"8", {"+###+", "#...#", "#...#", ".###.", "#...#", "#...#", "#...#", "#...#", "+###+"}},
    {"9", {"+###+", "#...#", "#...#", "#...#", ".####", "....#", "....#", "...#.", ".##.."}},
    {"°", {"##", "##", "..", "..", "..", "..", "..", "..", ".."}},
    {"'", {"#", "#", ".", ".", ".", ".", ".", ".", "."}},
    {"\"", {"#.#", "#.#", "...", "...", "...", "...", "...", "...", "..."}},
    {".", {".", ".", ".", ".", ".", ".", ".", ".", "#"}},
    {"N", {"#...#", "##..#", "##..#", "#.#.#", "#.#.#", "#..##", "#..##", "#...#", "#...#"}},
    {"S", {"+###+", "#...#", "#....", ".###.", "....#", "....#", "....#", "#...#", "+###+"}},
    {"E", {"#####", "#....", "#....", "####.", "#....", "#....", "#....", "#....", "#####"}},
    {"W", {"#...#", "#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {"位", {"..#..#...", "..#..#...", ".#.######", ".#...#...", "##.#...#.", ".#..#.#..", ".#..#.#..", ".#...#...", ".#.######"}},
    {"置", {"#########", "#.#.#.#.#", "#########", "....#....", "#########", "..#...#..", "..#####..", "..#...#..", "#########"}},
    {"高", {"....#....", "#########", "..#####..", "..#...#..", "#########", "#.......#", "#.#####.#", "#.#...#.#", "#.#####.#"}},
    {"度", {"....#....", "#########", "#.#...#..", "#########", "#.#...#..", "#.#####..", "#.#...#..", "#..###...", "##....###"}},
    {"フ", {"#######", "......#", "......#", ".....#.", ".....#.", "....#..", "...#...", "..#....", "##....."}},
    {"メ", {".....#.", ".....#.", ".#..#..", "..##...", "...#...", "..#.#..", ".#...#.", "#.....#", "......."}},
    {"キ", {"...#...", "...#...", "#######", "...#...", "...#...", "#######", "...#...", "...#...", "...#..."}},
    {"ロ", {".......", "#######", "#.....#", "#.....#", "#.....#", "#.....#", "#.....#", "#######", "......."}},
    {"ー", {".......", ".......", ".......", ".......", "#######", ".......", ".......", ".......", "......."}},
    {"ト", {"#...", "#...", "#...", "###.", "#..#", "#...", "#...", "#...", "#..."}},
    {"ル", {".#..#..", ".#..#..", ".#..#..", ".#..#..", ".#..#..", ".#..#.#", ".#..##.", "#...#..", "#......"}},
    {"ィ", {"....", "....", "....", "...#", "..#.", "###.", ".#..", ".#..", ".#.."}},
    {"-", {"....", "....", "....", "....", "####", "....", "....", "....", "...."}},
    {" ", {"...", "...", "...", "...", "...", "...", "...", "...", "..."}},
}};
// clang-format on

// The next UTF-8 character of `text` from `pos`.
std::string_view NextCharacter(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    n = std::min(n, text.size() - pos);
    const std::string_view c = text.substr(pos, n);
    pos += n;
    return c;
}

// "35-42-19.45" -> "35°42'19.45\"" plus the hemisphere letter.
std::string DegreesText(std::string_view dashed, const char* hemisphere)
{
    std::string out;
    int part = 0;
    for (char c : dashed) {
        if (c == '-') {
            out += part == 0 ? "°" : "'";
            ++part;
        } else {
            out += c;
        }
    }
    out += "\"";
    out += hemisphere;
    return out;
}

int TextWidth(std::string_view text)
{
    int w = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const Glyph* g = FindGlyph(NextCharacter(text, pos));
        if (g) w += g->width() + 1;
    }
    return w;
}

int DrawText(std::vector<std::uint8_t>& grey, int width, int height, int x, std::string_view text)
{
    const int top = height - kTextTopFromBottom;
    for (std::size_t pos = 0; pos < text.size();) {
        const Glyph* g = FindGlyph(NextCharacter(text, pos));
        if (!g) continue;
        for (int r = 0; r < static_cast<int>(g->rows.size()); ++r) {
            for (int c = 0; c < g->width(); ++c) {
                const char p = g->rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
                const int px = x + c, py = top + r;
                if (p == '.' || px < 0 || px >= width || py < 0 || py >= height) continue;
                grey[static_cast<std::size_t>(py) * static_cast<std::size_t>(width) + static_cast<std::size_t>(px)] =
                    p == '#' ? kInkGrey : kEdgeGrey;
            }
        }
        x += g->width() + 1;
    }
    return x;
}

}  // namespace

const Glyph* FindGlyph(std::string_view character)
{
    for (const Glyph& g : kGlyphs)
        if (g.name == character) return &g;
    return nullptr;
}

std::vector<std::string> UnitGlyphFileLines()
{
    std::vector<std::string> lines;
    for (const char* sign : {"フ", "メ", "キ"}) {
        lines.emplace_back(sign);
        const Glyph* g = FindGlyph(sign);
        for (const std::string_view row : g->rows) {
            std::string line;
            for (int c = 0; c < 10; ++c) {
                if (c) line += ',';
                line += (c < static_cast<int>(row.size()) && row[static_cast<std::size_t>(c)] == '#') ? '1' : '0';
            }
            lines.push_back(line);
        }
    }
    return lines;
}

StatusLine StatusLineFor(std::string_view latitude, std::string_view longitude, int altitudeMetres)
{
    StatusLine s;
    s.latitude = DegreesText(latitude, "N");
    s.longitude = DegreesText(longitude, "E");
    char buf[32];
    if (altitudeMetres >= 10000) {
        std::snprintf(buf, sizeof buf, "%.1f", altitudeMetres / 1000.0);
        s.altitude = std::string(buf) + "キロ";
    } else if (altitudeMetres >= 1000) {
        std::snprintf(buf, sizeof buf, "%.2f", altitudeMetres / 1000.0);
        s.altitude = std::string(buf) + "キロ";
    } else {
        s.altitude = std::to_string(altitudeMetres) + "メートル";
    }
    return s;
}

void DrawStatusLine(std::vector<std::uint8_t>& grey, int width, int height, const StatusLine& line)
{
    for (int y = std::max(0, height - kBarHeight); y < height; ++y)
        std::fill_n(grey.begin() + static_cast<std::ptrdiff_t>(y) * width, width, kBarGrey);
    // The pointer's position sits in the middle of the bar, the altitude
    // further right; both keep the distances Google Earth keeps at 800 pixels.
    const int x0 = 305 + std::max(0, (width - 800) / 2);
    DrawText(grey, width, height, x0, "位置");
    int x = x0 + 50;
    x = DrawText(grey, width, height, x, line.latitude);
    DrawText(grey, width, height, x + 6, line.longitude);
    const int xl = x0 + 50 + 250;
    DrawText(grey, width, height, xl, "高度");
    DrawText(grey, width, height, xl + 28, line.altitude);
    (void)TextWidth;
}

GreyPicture MakeStatusPicture(int width, int height, const StatusLine& line)
{
    GreyPicture p;
    p.width = width;
    p.height = height;
    p.grey.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 110);
    DrawStatusLine(p.grey, width, height, line);
    return p;
}

}  // namespace tessaro::builder
