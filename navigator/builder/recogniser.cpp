#include "builder/recogniser.h"

#include <algorithm>
#include <cmath>

#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::builder {

namespace {

constexpr int kCellSize = 11;

// Pixel reads of one picture. A read outside the picture yields the value of
// the read just before it (0 before the first), as the status line's scans
// expect at the bottom edge and at the strips' ends.
class PixelReader {
public:
    explicit PixelReader(const GreyPicture& picture) : picture_(picture) {}
    int read(int x, int y)
    {
        if (picture_.holds(x, y)) last_ = picture_.at(x, y);
        return last_;
    }

private:
    const GreyPicture& picture_;
    int last_ = 0;
};

bool IsInk(std::uint8_t v) { return v == 1; }

// ---- layout scan -----------------------------------------------------------

void LayoutScan(const GreyPicture& pic, int t, PixelReader& px, WorkTables& tb)
{
    const int w = pic.width;
    const int h = pic.height;
    tb.columnCount.assign(static_cast<std::size_t>(std::max(w, 0)), 0);
    for (int y = h - 15; y <= h; ++y)
        for (int x = 0; x < w; ++x)
            if (px.read(x, y) > t) ++tb.columnCount[static_cast<std::size_t>(x)];

    tb.runs.clear();
    for (int x = 300; x < w;) {
        if (tb.columnCount[static_cast<std::size_t>(x)] == 0) {
            ++x;
            continue;
        }
        LayoutRun run;
        run.start = x;
        while (x < w && tb.columnCount[static_cast<std::size_t>(x)] > 0) ++x;
        run.length = x - run.start;
        tb.runs.push_back(run);
    }
    for (std::size_t i = 0; i < tb.runs.size(); ++i) {
        LayoutRun& r = tb.runs[i];
        r.distance = i == 0 ? 0 : r.start - tb.runs[i - 1].start;
        r.kind = (r.length > 0 && r.length < 7) ? 'B' : (r.length > 6 ? 'A' : ' ');
        r.gap = r.distance > 35;
    }

    // Group marks (shown only): an "X" run opens a group, the first wide run
    // closes it; a group with more than one narrow run is marked on its first.
    bool open = false;
    std::size_t first = 0;
    int narrow = 0;
    for (std::size_t i = 0; i < tb.runs.size(); ++i) {
        const LayoutRun& r = tb.runs[i];
        if (r.gap && !open) {
            open = true;
            first = i;
            narrow = 0;
        }
        if (!open) continue;
        if (r.kind == 'B') {
            ++narrow;
        } else if (r.kind == 'A') {
            if (narrow > 1) tb.runs[first].group = true;
            open = false;
        }
    }

    // Text start: the first narrow run of the first stretch of more than 11
    // narrow runs that no "X" run interrupts.
    tb.textStart = -10;
    int counter = 0;
    bool inside = false;
    std::size_t remembered = 0;
    for (std::size_t i = 1; i < tb.runs.size(); ++i) {
        const LayoutRun& r = tb.runs[i];
        if (r.gap) {
            counter = 0;
            inside = false;
        }
        if (r.kind != 'B') continue;
        if (!inside) remembered = i;
        if (counter > 10) {
            tb.textStart = tb.runs[remembered].start - 10;
            break;
        }
        ++counter;
        inside = true;
    }
}

// Row profile of the bottom 16 rows over x = x0..x1 with threshold t; returns
// k0, the smallest row number among the 9 rows with the largest counts. Among
// rows with equal counts the lower row number ranks first.
int TextRow(int h, int x0, int x1, int t, PixelReader& px,
            std::array<std::array<std::int32_t, 2>, 16>* shown)
{
    std::array<std::array<std::int32_t, 2>, 16> rows{};
    for (int k = 0; k < 16; ++k) {
        int count = 0;
        for (int x = x0; x <= x1; ++x)
            if (px.read(x, h - 15 + k) > t) ++count;
        rows[static_cast<std::size_t>(k)] = {k, count};
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a[1] > b[1]; });
    int k0 = 15;
    for (int i = 0; i < 9; ++i) k0 = std::min(k0, rows[static_cast<std::size_t>(i)][0]);
    if (shown) *shown = rows;
    return k0;
}

// ---- latitude / longitude cells -------------------------------------------

// Longest run of ink (1) along columns c0..c1 (each walked top to bottom over
// rows 0..8), a run ending at any other value; the first longest stays.
void LongestVertical(const Cell& cell, int c0, int c1, int& length, int& column)
{
    length = 0;
    column = -1;
    for (int c = c0; c <= c1; ++c) {
        int run = 0;
        for (int r = 0; r <= 8; ++r) {
            run = IsInk(cell[c][r]) ? run + 1 : 0;
            if (run > length) {
                length = run;
                column = c;
            }
        }
    }
}

void LongestHorizontal(const Cell& cell, int c0, int c1, int& length, int& row)
{
    length = 0;
    row = -1;
    for (int r = 0; r <= 8; ++r) {
        int run = 0;
        for (int c = c0; c <= c1; ++c) {
            run = IsInk(cell[c][r]) ? run + 1 : 0;
            if (run > length) {
                length = run;
                row = r;
            }
        }
    }
}

int InkInRow(const Cell& cell, int r, int c0, int c1)
{
    int n = 0;
    for (int c = c0; c <= c1; ++c) n += IsInk(cell[c][r]) ? 1 : 0;
    return n;
}

// The merge applied when a third gap was found: in rows 4..7, walking columns
// 1..3 to the right and then 3..1 to the left, a cell labelled 2 that comes
// just after a cell labelled 3 in the same walk becomes 3.
void MergeLowerGap(Cell& cell)
{
    for (int r = 4; r <= 7; ++r) {
        for (int c = 2; c <= 3; ++c)
            if (cell[c][r] == 2 && cell[c - 1][r] == 3) cell[c][r] = 3;
        for (int c = 2; c >= 1; --c)
            if (cell[c][r] == 2 && cell[c + 1][r] == 3) cell[c][r] = 3;
    }
}

// Edge column `edge` takes the gap labels of its neighbour column `from`; an
// edge column without ink is cleared.
void LabelEdgeColumn(Cell& cell, int edge, int from)
{
    if (edge < 0 || edge >= kCellSize || from < 0 || from >= kCellSize) return;
    bool ink = false;
    for (int r = 0; r <= 8; ++r) ink = ink || IsInk(cell[edge][r]);
    if (!ink) {
        for (int r = 0; r <= 8; ++r) cell[edge][r] = 0;
        return;
    }
    for (int r = 0; r <= 8; ++r)
        if (cell[edge][r] == 0 && (cell[from][r] == 2 || cell[from][r] == 3)) cell[edge][r] = cell[from][r];
}

bool ColumnHolds(const Cell& cell, int c, std::uint8_t label)
{
    if (c < 0 || c >= kCellSize) return false;
    for (int r = 0; r <= 8; ++r)
        if (cell[c][r] == label) return true;
    return false;
}

int PairNumber(bool two, bool three) { return (two ? 1 : 0) + (three ? 2 : 0); }

int SpecialCode1(const Cell& cell)
{
    int best = -1, bestRow = 0;
    for (int r = 0; r <= 8; ++r) {
        const int n = InkInRow(cell, r, 0, 5);
        if (n > best) {
            best = n;
            bestRow = r;
        }
    }
    if (best > 3) return bestRow < 4 ? 18 : 2;
    return 1;
}

int SpecialCode5(const Cell& cell)
{
    int v, vc, hl, hr;
    LongestVertical(cell, 0, 5, v, vc);
    LongestHorizontal(cell, 0, 5, hl, hr);
    return (v > 7 && hl < 4) ? 1 : 4;
}

int SpecialCode13(const Cell& cell)
{
    int v, vc;
    LongestVertical(cell, 0, 5, v, vc);
    return ((vc == 2 || vc == 3) && v > 7) ? 1 : 0;
}

int SpecialCode36(const Cell& cell)
{
    int runs = 0;
    bool prev = false;
    for (int r = 0; r <= 8; ++r) {
        const bool ink = IsInk(cell[4][r]);
        if (ink && !prev) ++runs;
        prev = ink;
    }
    if (runs == 2) return 33;
    if (runs <= 1) return 36;
    return IsInk(cell[4][8]) ? 1 : 0;
}

int SpecialCode2(const Cell& cell)
{
    int lv, lvColumn, lh, rh;
    LongestVertical(cell, 0, 5, lv, lvColumn);
    LongestHorizontal(cell, 0, 5, lh, rh);
    int m2 = 0;
    for (int c = 0; c <= 5; ++c) {
        int n = 0;
        for (int r = 0; r <= 8; ++r) n += cell[c][r] == 2 ? 1 : 0;
        m2 = std::max(m2, n);
    }
    int b = -1;
    for (int r = 0; r <= 8; ++r)
        for (int c = 0; c <= 4; ++c)
            if (cell[c][r] == 2) b = r;
    if (b < 0) b = lvColumn;
    int s = 0;
    bool f = false;
    for (int c = 0; c <= 4; ++c) {
        const std::uint8_t v = cell[c][8];
        if (IsInk(v)) s = f ? 3 : 2;
        else if (v == 2 && s > 0) f = true;
    }
    if (lv > 7 && b > 2) {
        if (lh > 4 && rh < 2) return 0;
        if (lh > 4 && rh > 3 && s == 2 && m2 < 4) return 3;
        return 0;
    }
    return (lh > 4 && rh < 2) ? 18 : 0;
}

// Ink runs of one column, gap labels passed over (they neither lengthen nor
// end a run).
void ColumnRuns(const Cell& cell, int c, int& runs, int& longest)
{
    runs = 0;
    longest = 0;
    if (c < 0 || c >= kCellSize) return;
    int run = 0;
    for (int r = 0; r <= 8; ++r) {
        const std::uint8_t v = cell[c][r];
        if (v == 1) {
            if (run == 0) ++runs;
            ++run;
            longest = std::max(longest, run);
        } else if (v == 0) {
            run = 0;
        }
    }
}

int SpecialCode4(const Cell& cell, int w)
{
    int n0, l0, n1, l1, nr, lr, nr1, lr1;
    ColumnRuns(cell, 0, n0, l0);
    ColumnRuns(cell, 1, n1, l1);
    ColumnRuns(cell, w - 1, nr, lr);
    ColumnRuns(cell, w - 2, nr1, lr1);
    const int vl = std::max(l0, l1);
    const int vr = std::max(lr, lr1);
    if (n0 == 2 && nr == 2) return 4;
    if (n0 <= 2 && nr <= 2) {
        if (vl > 5 && vr > 5) return 4;
        if (vl > 5 && vr < 6) return 8;
        if (vl < 6 && vr > 5) return 36;
    }
    return IsInk(cell[w - 2][8]) ? 1 : 0;
}

int SpecialCode20And52(const Cell& cell)
{
    for (int c = 0; c <= 3; ++c) {
        bool ink = false, two = false, three = false;
        for (int r = 0; r <= 8; ++r) {
            const std::uint8_t v = cell[c][r];
            if (v == 1) ink = true;
            else if (v == 2 && ink) two = true;
            else if (v == 3 && two) three = true;
        }
        if (three) return 50;
    }
    int h1 = 0, r1 = 0;
    for (int r = 0; r <= 8; ++r) {
        const int n = InkInRow(cell, r, 0, 5);
        if (n > h1) {
            h1 = n;
            r1 = r;
        }
    }
    int h2 = 0;
    for (int r = r1 + 2; r <= 8; ++r) h2 = std::max(h2, InkInRow(cell, r, 0, 5));
    return (h1 > h2 && h1 > 3) ? 18 : 53;
}

}  // namespace

const CodeTable& DigitCodeTable()
{
    static const CodeTable table = [] {
        CodeTable t{};  // every code not listed reads 0
        t[1] = 1;
        for (int c : {2, 3, 6, 14, 16}) t[c] = 4;
        for (int c : {4, 5, 20}) t[c] = 8;
        for (int c : {7, 8}) t[c] = 6;
        t[18] = 7;
        for (int c : {19, 22, 23, 24, 25, 28, 30, 31, 32}) t[c] = 2;
        for (int c : {33, 35, 38, 39, 40}) t[c] = 5;
        t[36] = 9;
        for (int c : {49, 50, 51, 52, 55}) t[c] = 3;
        return t;
    }();
    return table;
}

CellReading ClassifyLatLonCell(Cell cell, int w)
{
    w = std::clamp(w, 5, kCellSize);
    // Gap labels: runs of background with ink above and below, numbered from
    // the top of every inner column starting at 2.
    int g = 0;
    for (int c = 1; c <= w - 2; ++c) {
        int label = 2;
        bool inkAbove = false;
        int gapStart = -1;
        for (int r = 0; r <= 8; ++r) {
            if (IsInk(cell[c][r])) {
                if (gapStart >= 0) {
                    for (int k = gapStart; k < r; ++k) cell[c][k] = static_cast<std::uint8_t>(label);
                    g = std::max(g, label);
                    ++label;
                    gapStart = -1;
                }
                inkAbove = true;
            } else if (inkAbove && gapStart < 0) {
                gapStart = r;
            }
        }
    }
    if (g == 3) MergeLowerGap(cell);
    LabelEdgeColumn(cell, 0, 1);
    LabelEdgeColumn(cell, w - 1, w - 2);

    // Enclosure of the middle columns.
    bool enclosed2 = false, enclosed3 = false;
    const int lastMiddle = w == 5 ? 2 : 3;
    for (int c = 2; c <= lastMiddle; ++c) {
        int inkRuns = 0;
        bool prevInk = false;
        for (int r = 0; r <= 8; ++r) {
            const std::uint8_t v = cell[c][r];
            if (v == 2 || (v == 3 && inkRuns == 2)) {
                bool open = false;
                for (int n : {c + 1, c - 1}) {
                    if (cell[n][r] == 0) {
                        cell[n][r] = v;
                        open = true;
                    }
                }
                (v == 2 ? enclosed2 : enclosed3) = !open;
            }
            const bool ink = IsInk(v);
            if (ink && !prevInk) ++inkRuns;
            prevInk = ink;
        }
    }
    const int i = PairNumber(enclosed2, enclosed3);
    const int l = PairNumber(ColumnHolds(cell, 0, 2), ColumnHolds(cell, 0, 3));
    const int rr = PairNumber(ColumnHolds(cell, w - 1, 2), ColumnHolds(cell, w - 1, 3));
    int code = 1 + 16 * l + 4 * rr + i;

    // Each code gets at most the one special rule for the code as computed;
    // the rules are not chained.
    switch (code) {
    case 1: code = SpecialCode1(cell); break;
    case 2: code = SpecialCode2(cell); break;
    case 4: code = SpecialCode4(cell, w); break;
    case 5: code = SpecialCode5(cell); break;
    case 13: code = SpecialCode13(cell); break;
    case 20:
    case 52: code = SpecialCode20And52(cell); break;
    case 36: code = SpecialCode36(cell); break;
    default: break;
    }
    return {code, DigitCodeTable()[static_cast<std::size_t>(code)]};
}

int ClassifyAltitudeCell(Cell cell, int w)
{
    w = std::clamp(w, 1, kCellSize);
    // Gap labels: a counter per column that grows at every step from ink to
    // background; a background run that began below row 0 and ends at ink
    // takes the counter's value.
    int g = 0;
    for (int x = 1; x <= w - 2; ++x) {
        int counter = 1;
        int start = -1;
        bool prevInk = false;
        for (int r = 0; r <= 8; ++r) {
            const bool ink = IsInk(cell[x][r]);
            if (ink) {
                if (!prevInk && start > 0) {
                    for (int k = start; k < r; ++k) cell[x][k] = static_cast<std::uint8_t>(counter);
                    g = std::max(g, counter);
                }
                start = -1;
            } else {
                if (prevInk) {
                    ++counter;
                    start = r;
                } else if (r == 0) {
                    start = 0;
                }
            }
            prevInk = ink;
        }
    }
    if (g == 3 && w >= 5) MergeLowerGap(cell);
    LabelEdgeColumn(cell, 0, 1);
    // A one-column cell has no neighbour column to learn labels from.
    if (w >= 2) LabelEdgeColumn(cell, w - 1, w - 2);

    const int l = ColumnHolds(cell, 0, 2) ? 2 : (ColumnHolds(cell, 0, 3) ? 3 : 0);
    int r = 0;
    for (int row = 0; row <= 8; ++row)
        if (cell[w - 1][row] == 2 || cell[w - 1][row] == 3) r = cell[w - 1][row];

    bool enc2 = false, enc3 = false;
    for (int x = 1; x <= w - 2; ++x) {
        for (int row = 1; row <= 7; ++row) {
            const std::uint8_t v = cell[x][row];
            if (v != 2 && v != 3) continue;
            bool enclosed = true;
            bool cleared = false;
            const int nb[4][2] = {{x + 1, row}, {x, row + 1}, {x - 1, row}, {x, row - 1}};
            for (const auto& n : nb) {
                std::uint8_t& nv = cell[n[0]][n[1]];
                if (nv == 0) {
                    enclosed = false;
                    break;
                }
                if (v == 2 && nv == 3) {
                    nv = 2;
                    enc3 = false;
                }
                if (v == 3 && nv == 2) cleared = true;
            }
            if (v == 2) enc2 = enclosed;
            else enc3 = enclosed && !cleared;
        }
    }
    const int i2 = enc2 ? 2 : 0;
    const int i3 = enc3 ? 3 : 0;

    auto rowInk = [&](int row) { return InkInRow(cell, row, 0, w - 1); };
    if (l == 0 && r == 0) {
        if (i2 == 2 && i3 == 3) return 8;
        if (i2 == 2) {
            if (rowInk(0) > 3 && rowInk(8) < 3) return 7;
            int most = 0;
            for (int x = 1; x <= w - 2; ++x) {
                int n = 0;
                for (int row = 0; row <= 8; ++row) n += cell[x][row] == 2 ? 1 : 0;
                most = std::max(most, n);
            }
            return most > 4 ? 0 : 4;
        }
        return 1;
    }
    if (l == 2 && r == 0) {
        if (i2 == 2 && i3 == 0) return rowInk(0) > 3 ? 7 : 3;
        if (i2 == 2 && i3 == 3) return 8;
        return -1;
    }
    if (l == 2 && (r == 2 || r == 3)) return 2;
    if (l == 3 && r == 2) return 5;
    if (l == 3 && i2 == 2) return 9;
    if (r == 2 && i3 == 3) return 6;
    return -1;
}

CellReading ReadLatLonCharacter(const WorkTables& tb, int start, int width)
{
    Cell cell{};
    if (start < 0 || start >= WorkTables::kStripColumns || width <= 0) return ClassifyLatLonCell(cell, 5);
    // Columns past the 11-column cell (a white or noisy bar) are cut off.
    const int copied = std::min({width, kCellSize, WorkTables::kStripColumns - start});
    for (int c = 0; c < copied; ++c)
        for (int r = 0; r <= 8; ++r)
            cell[c][r] = tb.greyStrip[static_cast<std::size_t>(start + c)][static_cast<std::size_t>(r + 2)] > 200;
    // Grow into the anti-aliased pixels next to the ink. The cell is walked
    // column by column, each top to bottom, and a grown pixel is ink for the
    // rest of the walk, so a stroke drawn wholly in edge grey is followed from
    // the ink it touches.
    int largest = copied - 1;
    static constexpr int kNeighbours[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (int c = 0; c <= std::max(copied - 1, 8); ++c) {
        for (int r = 0; r <= 9; ++r) {
            if (!cell[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)]) continue;
            for (const auto& d : kNeighbours) {
                const int nc = c + d[0], nr = r + d[1];
                if (nc < 0 || nc > 8 || nr < 0 || nr > 9) continue;
                const int sc = start + nc;
                if (sc >= WorkTables::kStripColumns) continue;
                const int grey = tb.greyStrip[static_cast<std::size_t>(sc)][static_cast<std::size_t>(nr + 2)];
                if (grey >= 151 && grey <= 200) {
                    cell[static_cast<std::size_t>(nc)][static_cast<std::size_t>(nr)] = 1;
                    largest = std::max(largest, nc);
                }
            }
        }
    }
    const int w = std::min(largest + 1, kCellSize);
    Cell work{};
    auto put = [&](int to, int from) {
        for (int r = 0; r <= 8; ++r) work[to][r] = cell[from][r];
    };
    int wn = w;
    switch (w) {
    case 1: put(2, 0); wn = 5; break;
    case 2: put(2, 0); put(3, 1); wn = 5; break;
    case 3: put(1, 0); put(2, 1); put(3, 2); wn = 5; break;
    case 4: put(0, 0); put(1, 1); put(2, 2); put(3, 3); put(4, 3); wn = 5; break;
    default:
        for (int c = 0; c < w; ++c) put(c, c);
    }
    CellReading reading = ClassifyLatLonCell(work, wn);
    reading.width = w;
    return reading;
}

UnitGlyphs ParseUnitGlyphs(const std::vector<std::string>& lines)
{
    UnitGlyphs g;
    int glyph = -1;
    int row = 0;
    for (const std::string& raw : lines) {
        const std::string_view line = TrimSpaces(raw);
        if (line == "フ" || line == "メ" || line == "キ") {
            glyph = line == "フ" ? 0 : glyph + 1;
            row = 0;
            g.loaded = true;
            continue;
        }
        if (glyph < 0 || glyph > 3 || row >= kCellSize) continue;
        FieldDataArray f;
        try {
            SplitWords(line, ",", f);
        } catch (const SplitOverflow&) {
        }
        for (int c = 0; c <= 9; ++c)
            g.glyph[static_cast<std::size_t>(glyph)][static_cast<std::size_t>(c)][static_cast<std::size_t>(row)] =
                NumericValue(f[static_cast<std::size_t>(c)]) == 1.0 ? 1 : 0;
        ++row;
    }
    return g;
}

UnitGlyphs LoadUnitGlyphs(const std::string& path)
{
    const auto lines = ReadTextLines(path);
    if (!lines) return {};
    return ParseUnitGlyphs(*lines);
}

std::string AssembleAltitude(const std::vector<std::string>& heightCells, int unit)
{
    std::string text;
    for (std::size_t i = 0; i < heightCells.size() && i <= 20; ++i) text += heightCells[i];
    const double v = NumericValue(text);
    double metres;
    switch (unit) {
    case 1: metres = v * 0.3048; break;
    case 2: metres = v; break;
    case 3:
        if (v < 100) metres = v * 1000;
        else if (v < 1000) metres = v * 10;  // three digits whose decimal point was lost
        else return {};
        break;
    default: return "100";
    }
    return std::to_string(static_cast<long long>(RoundHalfEven(metres)));
}

namespace {

void ReadLatLon(const GreyPicture& pic, PixelReader& px, WorkTables& tb)
{
    const int h = pic.height;
    const int xs = tb.textStart;
    const int xe = xs + 250;
    tb.textRow = TextRow(h, xs, xe, 200, px, &tb.rowProfile);
    const int y0 = h - 15 + tb.textRow - 2;
    for (int r = 0; r <= 12; ++r)
        for (int x = xs; x <= xe; ++x)
            tb.greyStrip[static_cast<std::size_t>(x - xs + 1)][static_cast<std::size_t>(r)] =
                static_cast<std::uint8_t>(px.read(x, y0 + r));
    for (int c = 0; c <= 250; ++c)
        for (int r = 0; r <= 12; ++r)
            tb.inkStrip[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] =
                tb.greyStrip[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] > 200;
    for (int c = 0; c < WorkTables::kStripColumns; ++c) {
        int m = 0;
        for (int r = 0; r <= 10; ++r) m += tb.inkStrip[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)];
        tb.columnMass[static_cast<std::size_t>(c)] = m;
    }
    tb.segments.clear();
    for (int c = 0; c <= 250 && tb.segments.size() < 101;) {
        if (tb.columnMass[static_cast<std::size_t>(c)] == 0) {
            ++c;
            continue;
        }
        const int start = c;
        int mass = 0;
        while (c <= 250 && tb.columnMass[static_cast<std::size_t>(c)] > 0) mass += tb.columnMass[static_cast<std::size_t>(c++)];
        if (mass > 5) tb.segments.push_back({start, c - start});
    }
    for (std::size_t s = 0; s < tb.segments.size() && s <= 18; ++s) {
        const CellReading reading = ReadLatLonCharacter(tb, tb.segments[s].start, tb.segments[s].width);
        tb.cellReadings[s] = reading;
        tb.segments[s].width = reading.width;  // the width correction; the start stays
        if (s == 8 || s == 18) continue;  // the hemisphere mark; segment 18 is not used
        const std::size_t pos = s < 8 ? s : s - 1;
        tb.latLonDigits[pos] = std::to_string(reading.digit);
    }
}

void ReadAltitude(const GreyPicture& pic, int t, const UnitGlyphs& units, PixelReader& px, WorkTables& tb)
{
    const int w = pic.width;
    const int h = pic.height;
    // The last wide run after a gap is the altitude label; its digits start at
    // the run two places after it.
    int label = -1;
    for (std::size_t i = 0; i < tb.runs.size(); ++i)
        if (tb.runs[i].kind == 'A' && tb.runs[i].gap) label = static_cast<int>(i);
    int xs2 = w - 140;
    if (label >= 0 && static_cast<std::size_t>(label + 2) < tb.runs.size()) {
        const int xa = tb.runs[static_cast<std::size_t>(label + 2)].start;
        if (w - xa > 160) xs2 = xa - 30;
    }
    tb.altitudeStart = xs2;
    tb.altitudeRow = TextRow(h, xs2, w, t, px, nullptr);
    const int y0 = h - 15 + tb.altitudeRow;
    const int columns = std::max(w - xs2 + 2, 102);
    tb.altitudeInk.assign(static_cast<std::size_t>(columns), {});
    for (int r = 0; r <= 8; ++r)
        for (int c = 1; c <= w - xs2 + 1; ++c)
            tb.altitudeInk[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = px.read(xs2 + c - 1, y0 + r) > t;

    // Speck removal: groups of at most three ink pixels that touch no further
    // ink (eight neighbours) are cleared.
    std::vector<std::array<bool, 9>> seen(static_cast<std::size_t>(columns));
    std::vector<std::pair<int, int>> group;
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r <= 8; ++r) {
            if (!tb.altitudeInk[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] ||
                seen[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)])
                continue;
            group.clear();
            group.push_back({c, r});
            seen[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = true;
            for (std::size_t k = 0; k < group.size(); ++k) {
                for (int dc = -1; dc <= 1; ++dc)
                    for (int dr = -1; dr <= 1; ++dr) {
                        const int nc = group[k].first + dc, nr = group[k].second + dr;
                        if (nc < 0 || nc >= columns || nr < 0 || nr > 8) continue;
                        if (!tb.altitudeInk[static_cast<std::size_t>(nc)][static_cast<std::size_t>(nr)] ||
                            seen[static_cast<std::size_t>(nc)][static_cast<std::size_t>(nr)])
                            continue;
                        seen[static_cast<std::size_t>(nc)][static_cast<std::size_t>(nr)] = true;
                        group.push_back({nc, nr});
                    }
            }
            if (group.size() <= 3)
                for (const auto& q : group)
                    tb.altitudeInk[static_cast<std::size_t>(q.first)][static_cast<std::size_t>(q.second)] = 0;
        }
    }

    auto columnInk = [&](int c) {
        for (int r = 0; r <= 8; ++r)
            if (tb.altitudeInk[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)]) return true;
        return false;
    };
    tb.altitudeSegments.clear();
    int start = -1;
    for (int c = 26; c <= 100 && tb.altitudeSegments.size() < 11; ++c) {
        if (columnInk(c)) {
            if (start < 0) start = c;
        } else if (start >= 0) {
            tb.altitudeSegments.push_back({start, c - start});
            start = -1;
        }
    }

    auto cellOf = [&](const Segment& s, int columnsCopied) {
        Cell cell{};
        for (int c = 0; c < columnsCopied; ++c)
            for (int r = 0; r <= 8; ++r)
                cell[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] =
                    tb.altitudeInk[static_cast<std::size_t>(s.start + c)][static_cast<std::size_t>(r)];
        return cell;
    };

    // Unit sign.
    int p = static_cast<int>(tb.altitudeSegments.size());
    tb.unit = 0;
    for (std::size_t si = 0; si < tb.altitudeSegments.size(); ++si) {
        const Segment& s = tb.altitudeSegments[si];
        if (s.width <= 5) continue;
        const Cell cell = cellOf(s, std::min(s.width, 9));
        int bestHits = 0;
        double bestRate = 0.5;
        int found = 0;
        for (int g = 0; g < 3 && units.loaded; ++g) {
            const Cell& glyph = units.glyph[static_cast<std::size_t>(g)];
            for (int align = 0; align < 2; ++align) {
                int hits = 0, misses = 0;
                const int c0 = align == 0 ? 0 : 1;
                const int c1 = align == 0 ? 8 : std::min(s.width, 8);
                for (int c = c0; c <= c1; ++c)
                    for (int r = 0; r <= 8; ++r) {
                        if (!glyph[static_cast<std::size_t>(c - align)][static_cast<std::size_t>(r)]) continue;
                        if (cell[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)]) ++hits;
                        else ++misses;
                    }
                // A candidate without hits has no rate and is never accepted.
                if (hits == 0) continue;
                const double rate = static_cast<double>(misses) / hits;
                if (hits > bestHits && rate < bestRate) {
                    bestHits = hits;
                    bestRate = rate;
                    found = g + 1;
                }
            }
        }
        tb.matchRate = bestRate;
        tb.matchSegment = static_cast<int>(si);
        tb.matchWidth = s.width;
        if (found) {
            tb.unit = found;
            p = static_cast<int>(si);
            break;
        }
    }

    tb.heightCells.clear();
    for (int i = 0; i < p; ++i) {
        const Segment& s = tb.altitudeSegments[static_cast<std::size_t>(i)];
        const int copied = std::min(s.width, kCellSize);
        const int digit = ClassifyAltitudeCell(cellOf(s, copied), copied);
        tb.heightCells.push_back(std::to_string(digit));
    }
    static const char* const kSigns[] = {"", "フ", "メ", "キ"};
    if (tb.unit) tb.heightCells.push_back(kSigns[tb.unit]);
}

}  // namespace

Reading ReadStatusLine(const GreyPicture& picture, int threshold, const UnitGlyphs& units, WorkTables& tables)
{
    tables = WorkTables{};
    Reading out;
    if (picture.width <= 0 || picture.height <= 0) return out;
    PixelReader px(picture);
    LayoutScan(picture, threshold, px, tables);
    ReadLatLon(picture, px, tables);
    ReadAltitude(picture, threshold, units, px, tables);

    // The separators always stand; a position without a digit adds nothing.
    const auto& d = tables.latLonDigits;
    out.latitude = d[0] + d[1] + "-" + d[2] + d[3] + "-" + d[4] + d[5] + "." + d[6] + d[7];
    out.longitude = d[8] + d[9] + d[10] + "-" + d[11] + d[12] + "-" + d[13] + d[14] + "." + d[15] + d[16];
    out.altitude = AssembleAltitude(tables.heightCells, tables.unit);
    return out;
}

}  // namespace tessaro::builder
