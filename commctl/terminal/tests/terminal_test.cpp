// Byte tables for the four emulations: input bytes, then the screen lines,
// the cursor, the attributes and what went back on the line.
#include "terminal/render.h"
#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tolvex::terminal {
namespace {

using E = Emulation;

class Recorder : public TerminalEvents {
public:
    std::string answers;
    int bells = 0;
    std::vector<bool> smooth;
    std::string captured;
    std::vector<std::string> linesOff;
    void Bell() override { ++bells; }
    void Answer(std::string_view b) override { answers += b; }
    void SmoothScroll(bool on) override { smooth.push_back(on); }
    void Captured(std::string_view b) override { captured += b; }
    void LineScrolledOff(std::string_view t) override { linesOff.emplace_back(t); }
};

TerminalConfig Config(E emulation, int rows = 5, int columns = 10, int scrollRows = 0)
{
    TerminalConfig c;
    c.emulation = emulation;
    c.rows = rows;
    c.columns = columns;
    c.scrollRows = scrollRows;
    return c;
}

// The attributes of a screen row as "fg|bg<<4" hex pairs, cut after the last
// cell that differs from `plain`; empty when none does.
std::string Attrs(const Terminal& t, int row, Attribute plain = 0xF0)
{
    const Attribute* a = t.View().LineAttributes(row);
    int last = -1;
    for (int c = 0; c < t.Columns(); ++c)
        if ((a[c] & kColourBits) != plain) last = c;
    std::string out;
    for (int c = 0; c <= last; ++c) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", a[c] & kColourBits);
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

struct Case {
    const char* name;
    E emulation;
    std::string input;
    std::vector<std::string> lines;  // the first screen lines, trailing spaces removed
    int row, column;                 // CursorRow, CursorColumn
    std::string attrs0 = "";         // attributes of the first row
    std::string answers = "";
    bool accepted = true;            // Disp did not raise 380
};

void Check(const Case& c)
{
    SCOPED_TRACE(c.name);
    Recorder events;
    Terminal t(Config(c.emulation), &events);
    EXPECT_EQ(t.Disp(c.input), c.accepted);
    for (std::size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(t.View().LineText(static_cast<int>(i)), c.lines[i]) << "row " << i + 1;
    EXPECT_EQ(t.CursorRow(), c.row);
    EXPECT_EQ(t.CursorColumn(), c.column);
    EXPECT_EQ(Attrs(t, 0), c.attrs0);
    EXPECT_EQ(events.answers, c.answers);
}

TEST(TerminalTable, ControlCharactersOfTtyAnsiAndVt52)
{
    const Case cases[] = {
        {"text", E::kTty, "abc", {"abc", ""}, 1, 4},
        {"CR LF", E::kTty, "ab\r\ncd", {"ab", "cd"}, 2, 3},
        {"LF keeps the column", E::kTty, "ab\ncd", {"ab", "  cd"}, 2, 5},
        {"a full line then CR LF leaves no blank line", E::kTty, "0123456789\r\nx", {"0123456789", "x"}, 2, 2},
        {"the move to the next line waits for a character", E::kTty, "0123456789", {"0123456789", ""}, 1, 10},
        {"wrap", E::kTty, "0123456789xy", {"0123456789", "xy"}, 2, 3},
        {"tab to the next multiple of 8", E::kTty, "ab\tc", {"ab      c"}, 1, 10},
        {"tab stops at the last column", E::kTty, "12345678\t", {"12345678"}, 1, 10},
        {"backspace at column 0", E::kTty, "\b", {""}, 1, 1},
        {"destructive backspace", E::kTty, "abc\b", {"ab"}, 1, 3},
        {"form feed clears and homes", E::kTty, "ab\r\ncd\x0c", {"", ""}, 1, 1},
        {"NUL ignored", E::kTty, std::string("a\0b", 3), {"ab"}, 1, 3},
        {"other control bytes shown", E::kTty, "a\x01\x0e\x1b" "b", {"a\x01\x0e\x1b" "b"}, 1, 6},
        {"ENQ without answer-back is a character", E::kAnsi, "\x05", {"\x05"}, 1, 2},
        {"TTY shows ESC sequences", E::kTty, "\x1b[2J", {"\x1b[2J"}, 1, 5},
        {"VT is a character outside VT100", E::kAnsi, "a\x0b" "b", {"a\x0b" "b"}, 1, 4},
        {"VT52 backspace", E::kVt52, "ab\b\bc", {"c"}, 1, 2},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TerminalTable, AnsiSequences)
{
    const Case cases[] = {
        {"2J clears and homes", E::kAnsi, "abc\r\ndef\x1b[2J", {"", ""}, 1, 1},
        {"J with any parameter", E::kAnsi, "abc\x1b[1J", {""}, 1, 1},
        {"31;1 m is bright red", E::kAnsi, "\x1b[31;1mA", {"A"}, 1, 2, "FC"},
        {"1;31 m keeps the bright bit", E::kAnsi, "\x1b[1;31mA", {"A"}, 1, 2, "FC"},
        {"30 clears the bright bit", E::kAnsi, "\x1b[1;30mA", {"A"}, 1, 2, ""},
        {"1 never goes past 15", E::kAnsi, "\x1b[1;1;1mA\x1b[37;1mB", {"AB"}, 1, 3, "F8 FF"},
        {"background, then m without parameter", E::kAnsi, "\x1b[44mA\x1b[mB", {"AB"}, 1, 3, "10"},
        {"0 restores the reference colours", E::kAnsi, "\x1b[32;41mA\x1b[0mB", {"AB"}, 1, 3, "42"},
        {"40 clears the bright background", E::kAnsi, "\x1b[40;5mA\x1b[40mB", {"AB"}, 1, 3, "80 00"},
        {"7 swaps", E::kAnsi, "\x1b[7mA", {"A"}, 1, 2, "0F"},
        {"8 hides", E::kAnsi, "\x1b[34;8mA", {"A"}, 1, 2, "FF"},
        {"erased cells take the current colours", E::kAnsi, "abcd\x1b[2D\x1b[41m\x1b[K", {"ab"}, 1, 3, "F0 F0 40 40 40 40 40 40 40 40"},
        {"f is ignored", E::kAnsi, "ab\x1b[5;5f", {"ab"}, 1, 3},
        {"H", E::kAnsi, "\x1b[3;4Hx", {"", "", "   x"}, 3, 5},
        {"H without and with 0 parameters", E::kAnsi, "\x1b[3;4H\x1b[H" "a\x1b[2;4H\x1b[0;0H" "b", {"b"}, 1, 2},
        {"H to the last cell", E::kAnsi, "\x1b[5;10H", {""}, 5, 10},
        {"H below the screen raises 380 and ends the data", E::kAnsi, "a\x1b[6;1Hbc", {"a"}, 1, 2, "", "", false},
        {"H right of the screen", E::kAnsi, "\x1b[1;11Hbc", {""}, 1, 1, "", "", false},
        {"A and B clamp, 0 counts 1", E::kAnsi, "\x1b[3;3H\x1b[9A\x1b[0B", {""}, 2, 3},
        {"B clamps at the bottom", E::kAnsi, "\x1b[99B", {""}, 5, 1},
        {"C stops after the last column", E::kAnsi, "\x1b[20Cx", {"", "x"}, 2, 2},
        {"D stops at 0", E::kAnsi, "abc\x1b[2Dx\x1b[9Dy", {"yxc"}, 1, 2},
        {"s and u", E::kAnsi, "\x1b[2;3H\x1b[s\x1b[H\x1b[u", {""}, 2, 3},
        {"u without s does nothing", E::kAnsi, "ab\x1b[u", {"ab"}, 1, 3},
        {"ESC without [ is shown", E::kAnsi, "\x1bXY", {"\x1bXY"}, 1, 4},
        {"unknown finals are ignored", E::kAnsi, "a\x1b[5Xb\x1b[?25lc", {"abc"}, 1, 4},
        {"a high byte abandons a sequence", E::kAnsi, "\x1b[3\xb1z", {"\xb1z"}, 1, 3},
        {"control bytes act inside a sequence", E::kAnsi, "ab\x1b[\r2Jc", {"c"}, 1, 2},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TerminalTable, Vt52Sequences)
{
    const Case cases[] = {
        {"Z answers ESC / Z", E::kVt52, "\x1bZ", {""}, 1, 1, "", "\x1b/Z"},
        {"Y with two spaces is the top left", E::kVt52, "abc\x1bY  ", {"abc"}, 1, 1},
        {"Y row outside keeps the row, column still applied", E::kVt52, "\x1bY\"#\x1bY" "\x3e" "\x25", {""}, 3, 6},
        {"Y column outside keeps the column", E::kVt52, "ab\x1bY\"\x7f", {"ab"}, 3, 3},
        {"Y below 0", E::kVt52, "\x1bY!!\x1bY\x1f\x1f", {""}, 2, 2},
        {"A I B C D", E::kVt52, "\x1bY\"\"\x1b" "A\x1bI\x1bI\x1b" "B\x1b" "C\x1b" "C\x1b" "D", {""}, 2, 4},
        {"H homes, J clears and homes", E::kVt52, "ab\r\ncd\x1bHx\x1bJ", {"", ""}, 1, 1},
        {"K erases to the end of the line", E::kVt52, "abcd\x1b" "D\x1b" "D\x1bK", {"ab"}, 1, 3},
        {"unknown escapes are dropped", E::kVt52, "a\x1bXb\x1b[2J", {"ab2J"}, 1, 5},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TerminalTable, Vt100Sequences)
{
    const Case cases[] = {
        {"tab stops from ESC H", E::kVt100, "\x1b[1;4H\x1bH\x1b[1;7H\x1bH\r\tx\ty\tz", {"   x  y  z"}, 1, 10},
        {"g clears one stop, 3 g all", E::kVt100, "\x1b[1;4H\x1bH\x1b[1;7H\x1bH\x1b[g\r\tx\x1b[3g\r\ty", {"   x     y"}, 1, 10},
        {"VT and LF move down", E::kVt100, "a\x0b" "b\nc", {"a", " b", "  c"}, 3, 4},
        {"7 and 8", E::kVt100, "\x1b[2;3H\x1b" "7\x1b[H\x1b" "8", {""}, 2, 3},
        {"D and E", E::kVt100, "ab\x1b" "Dc\x1b" "Ed", {"ab", "  c", "d"}, 3, 2},
        {"M at the top scrolls down", E::kVt100, "ab\x1bMc", {"  c", "ab"}, 1, 4},
        {"J 0 from the cursor", E::kVt100, "abc\r\ndef\x1b[1;2H\x1b[J", {"a", ""}, 1, 2},
        {"J 1 to the cursor, cursor stays", E::kVt100, "abc\r\ndef\x1b[2;2H\x1b[1J", {"", "  f"}, 2, 2},
        {"J 2 the whole screen", E::kVt100, "abc\r\ndef\x1b[2J", {"", ""}, 2, 4},
        {"K 1 and K 2", E::kVt100, "abcd\x1b[1;2H\x1b[1K\r\nefg\x1b[2K", {"  cd", ""}, 2, 4},
        {"m has no colours", E::kVt100, "\x1b[31;44mA\x1b[1mB\x1b[0;7mC", {"ABC"}, 1, 4, "F0 F8 0F"},
        {"special graphics in G0", E::kVt100, "\x1b(0q\x1b(Bq", {"qq"}, 1, 3},
        {"autowrap off overwrites the last column", E::kVt100, "\x1b[?7l" "0123456789xy", {"012345678y", ""}, 1, 10},
        {"autowrap back on", E::kVt100, "\x1b[?7l\x1b[?7h" "0123456789x", {"0123456789", "x"}, 2, 2},
        {"H outside raises 380", E::kVt100, "a\x1b[1;99Hb", {"a"}, 1, 2, "", "", false},
        {"# 1 2 Z c accepted and ignored", E::kVt100, "a\x1b#8\x1b" "1\x1b" "2\x1bZ\x1b" "cb", {"ab"}, 1, 3},
        {"other sequences ignored", E::kVt100, "a\x1b[1;3r\x1b[6n\x1b[>c\x1b[?1049hb", {"ab"}, 1, 3},
        {"VT52 mode and back", E::kVt100, "\x1b[?2l\x1bZ\x1bY\"\"\x1b<\x1b[1;1Hx", {"x"}, 1, 2, "", "\x1b/Z"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TerminalTable, LineDrawingCellsShowGlyphs)
{
    struct Row {
        E emulation;
        std::string input;
        std::string utf8;
    };
    const Row rows[] = {
        {E::kVt100, "\x1b(0lqk\x1b(Bq", "┌─┐q"},
        {E::kVt100, "\x1b)0a\x0exj\x0fx", "a│┘x"},
        {E::kVt100, "\x1b(0_`~", "_◆·"},
        {E::kVt52, "\x1b" "Fmqj\x1bGj", "└─┘j"},
        {E::kAnsi, "\x1b(0q", "\x1b(0q"},
        {E::kTty, "\x82\xa0\xb1" "a\x01", "あｱa\x01"},
        {E::kAnsi, "x\x82\x1b[1;3Ha\xa0\xfd", "x?a??"},  // a lone lead byte never joins its neighbour
    };
    for (const auto& r : rows) {
        Terminal t(Config(r.emulation));
        t.Disp(r.input);
        EXPECT_EQ(LineUtf8(t.View().LineBytes(0), t.View().LineAttributes(0)), r.utf8) << r.input;
    }
}

TEST(TerminalDoubleByte, HalvesAndTheLastColumn)
{
    const std::string a = "\x82\xa0";  // あ
    const std::string i = "\x82\xa2";  // い
    struct Row {
        std::string input;
        std::vector<std::string> lines;
        int row, column;
    };
    const Row rows[] = {
        {a + i, {a + i}, 1, 5},
        {a + i + "\rx", {"x " + i}, 1, 2},                      // lead half written over
        {a + i + "\x1b[1;2Hx", {" x" + i}, 1, 3},               // trail half written over
        {a + i + "\x1b[1;2H" + a, {" " + a}, 1, 4},             // both neighbours cut
        {a + i + "\x1b[1;2H\x1b[K", {""}, 1, 2},                // erase from a trail half
        {"abcd" + a + i, {"abcd" + a, i}, 2, 3},                // fits exactly
        {"abcde" + a, {"abcde", a}, 2, 3},                      // lead in the last column moves whole
        {"xxxxxx\rabcde" + a, {"abcdex", a}, 2, 3},             // ... and the last column keeps its cell
        {a + "\r\x1b[1C", {a}, 1, 3},                           // C never stops inside a character
        {a + "\b", {""}, 1, 2},                                 // destructive backspace blanks both halves
        {"\x82\r", {"\x82"}, 1, 1},                             // a lead byte without trail is a cell
        {"\x82" "a", {"\x82" "a"}, 1, 3},
    };
    for (const auto& r : rows) {
        Terminal t(Config(E::kAnsi, 3, 6));
        t.Disp(r.input);
        for (std::size_t k = 0; k < r.lines.size(); ++k) EXPECT_EQ(t.View().LineText(static_cast<int>(k)), r.lines[k]) << r.input;
        EXPECT_EQ(t.CursorRow(), r.row) << r.input;
        EXPECT_EQ(t.CursorColumn(), r.column) << r.input;
    }
    // With autowrap off a VT100 puts the character in the last two columns.
    Terminal vt(Config(E::kVt100, 2, 6));
    vt.Disp("\x1b[?7labcde" + a);
    EXPECT_EQ(vt.View().LineText(0), "abcd" + a);
    // A screen one column wide shows "?" for it.
    Terminal narrow(Config(E::kTty, 2, 1));
    narrow.Disp(a + "b");
    EXPECT_EQ(narrow.View().LineText(0), "?");
    EXPECT_EQ(narrow.View().LineText(1), "b");
}

// Every emulation gives the same screen whether its data arrives in one
// piece, in two pieces cut at any byte, or byte by byte.
TEST(TerminalSplit, SequencesCutAtEveryByte)
{
    const std::string streams[][2] = {
        {"\x01", "ab\x82\xa0\tc\r\nd\be\x1b\x07x\x0cyz\r\n\x82\xa2\x82"},
        {"\x02", "a\x1b[31;1mb\x1b[2;3Hc\x1b[44m\x1b[K\x82\xa0\x1b[s\x1b[1;1H\x1b[ud\x1b[2De\x1bXf\x1b[9;9H"},
        {"\x03", "ab\x1bY\"#c\x1bZ\x1b" "Fqx\x1bG\x1b" "A\x1b" "Dd\x1bK\x1bY  \x82\xa0"},
        {"\x04", "a\x1b(0lq\x1b(B\x1b[?7l\x1b" "7b\x1b[2;2H\x1bH\x1b[1J\x1b" "8\x1b)0\x0eq\x0f\x1b#8\x1b[?2l\x1bZ\x1b<\x1b[31mX\x1b[1;99H"},
    };
    for (const auto& [kind, stream] : streams) {
        const E emulation = static_cast<E>(kind[0]);
        auto snapshot = [&](const std::vector<std::string>& pieces) {
            Recorder events;
            Terminal t(Config(emulation, 4, 8), &events);
            std::vector<bool> results;
            for (const auto& p : pieces) results.push_back(t.Disp(p));
            std::string s = t.Text() + "|" + std::to_string(t.CursorRow()) + "," + std::to_string(t.CursorColumn()) + "|" + events.answers;
            for (int r = 0; r < 4; ++r) s += "|" + Attrs(t, r);
            return s;
        };
        const std::string whole = snapshot({stream});
        for (std::size_t cut = 1; cut < stream.size(); ++cut)
            EXPECT_EQ(snapshot({stream.substr(0, cut), stream.substr(cut)}), whole)
                << "emulation " << int(kind[0]) << " cut at " << cut;
        std::vector<std::string> bytes;
        for (char ch : stream) bytes.emplace_back(1, ch);
        EXPECT_EQ(snapshot(bytes), whole) << "emulation " << int(kind[0]) << " byte by byte";
    }
}

TEST(TerminalHistory, ScrollingKeepsTheNewestLines)
{
    Recorder events;
    Terminal t(Config(E::kAnsi, 3, 4, 2), &events);
    EXPECT_EQ(t.ScrollText(), "\r\n");
    t.Disp("a\r\nb\r\nc\r\nd\x1b[44m\r\ne");
    EXPECT_EQ(t.Text(), "c\r\nd\r\ne");
    EXPECT_EQ(t.ScrollText(), "a\r\nb");
    EXPECT_EQ(t.View().LineText(-1), "b");
    // The new bottom line was blanked in the background of its time.
    EXPECT_EQ(Attrs(t, 2), "10 10 10 10");
    t.SetScrollRows(1);
    EXPECT_EQ(t.ScrollText(), "b");
    t.SetScrollRows(3);
    EXPECT_EQ(t.ScrollText(), "\r\n\r\nb");
    Terminal none(Config(E::kTty, 2, 4));
    none.Disp("a\r\nb\r\nc");
    EXPECT_EQ(none.ScrollText(), "");
    EXPECT_EQ(none.Text(), "b\r\nc");
}

TEST(TerminalText, TextRoundTripsThroughANewTerminal)
{
    Terminal t(Config(E::kVt100, 3, 5));
    t.Disp("abcde\r\n\x82\xa0z\r\n  x");
    EXPECT_EQ(t.Text(), "abcde\r\n\x82\xa0z\r\n  x");
    // What an Emulation change does: the text shown again, the cursor restored.
    Terminal next(Config(E::kAnsi, 3, 5));
    EXPECT_TRUE(next.SetText(t.Text()));
    next.SetCursor(t.CursorRow(), t.CursorColumn());
    EXPECT_EQ(next.Text(), t.Text());
    EXPECT_EQ(next.CursorRow(), 3);
    EXPECT_EQ(next.CursorColumn(), 4);
    // Writing Text clears first and starts at the top left.
    EXPECT_TRUE(next.SetText("q"));
    EXPECT_EQ(next.Text(), "q\r\n\r\n");
    EXPECT_FALSE(next.SetText("\x1b[9;9Hz"));
}

TEST(TerminalSelection, OffsetsInTheScreenText)
{
    Terminal t(Config(E::kTty, 2, 6));
    t.Disp("abc\r\ndefg");  // Text: "abc\r\ndefg" (9 bytes)
    EXPECT_TRUE(t.SetSelStart(5));
    EXPECT_TRUE(t.SetSelLength(4));
    EXPECT_EQ(t.SelText(), "defg");
    EXPECT_FALSE(t.SetSelLength(5));
    EXPECT_FALSE(t.SetSelStart(10));
    EXPECT_FALSE(t.SetSelStart(-1));
    EXPECT_TRUE(t.SetSelStart(9));
    EXPECT_EQ(t.SelLength(), 0);  // shortened to stay inside the text
    EXPECT_TRUE(t.SetSelStart(1));
    EXPECT_TRUE(t.SetSelLength(2));
    t.SetSelText("XY");
    EXPECT_EQ(t.Text(), "aXY\r\ndefg");
    EXPECT_EQ(t.SelText(), "XY");
}

TEST(TerminalResize, CellsKeepTheirPlaceAndTheCursorStaysOnScreen)
{
    Terminal t(Config(E::kAnsi, 4, 6, 2));
    t.Disp("ab\x82\xa0yz\r\n2\r\n3\r\n4");
    t.Resize(2, 3);  // the cursor was on row 4: rows 1-2 go into the history
    EXPECT_EQ(t.Text(), "3\r\n4");
    EXPECT_EQ(t.ScrollText(), "ab\r\n2");  // the cut character went
    EXPECT_EQ(t.CursorRow(), 2);
    EXPECT_EQ(t.CursorColumn(), 2);
    t.Resize(3, 8);
    EXPECT_EQ(t.Text(), "3\r\n4\r\n");
    t.Disp("\x1b[3;8Hq");
    EXPECT_EQ(t.View().LineText(2), "       q");
}

TEST(TerminalEventsTest, BellSmoothScrollAnswerBackAndBackspace)
{
    Recorder events;
    Terminal t(Config(E::kVt100), &events);
    t.Disp("\x07\x1b[?4h\x1b[?4l");
    EXPECT_EQ(events.bells, 1);
    EXPECT_EQ(events.smooth, (std::vector<bool>{true, false}));
    t.SetAnswerBack("ok");
    t.Disp("\x05");
    EXPECT_EQ(t.View().LineText(0), "\x05ok");
    t.SetBackspace(false);
    t.Disp("\b\b");
    EXPECT_EQ(t.View().LineText(0), "\x05ok");
    EXPECT_EQ(t.CursorColumn(), 2);
}

TEST(TerminalCapture, StandardAndVisibleModes)
{
    // TTY: the whole incoming text; the others: without their sequences.
    struct Row {
        E emulation;
        std::string input;
        std::string captured;
    };
    const Row rows[] = {
        {E::kTty, std::string("a\x1b[1mb\r\n\0", 9), std::string("a\x1b[1mb\r\n\0", 9)},
        {E::kAnsi, "a\x1b[1mb\r\n\x1bX", "ab\r\nX"},
        {E::kVt52, "a\x1bY  b\x1bZ\r\n", "ab\r\n"},
        {E::kVt100, "a\x1b(0q\x1b[2J\tb", "aq\tb"},
    };
    for (const auto& r : rows) {
        Recorder events;
        Terminal t(Config(r.emulation), &events);
        t.Disp("before");
        t.SetCapture(Capture::kStandard);
        t.Disp(r.input);
        EXPECT_EQ(events.captured, r.captured) << int(r.emulation);
        t.SetCapture(Capture::kNone);
        t.Disp("after");
        EXPECT_EQ(events.captured, r.captured);
    }
    Recorder events;
    Terminal t(Config(E::kAnsi, 2, 5), &events);
    t.SetCapture(Capture::kVisible);
    t.Disp("one  \r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(events.linesOff, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(events.captured, "");
}

TEST(TerminalRender, ColourFilter)
{
    struct Row {
        int fore, back, filter;
        ColourPair drawn;
    };
    // Reference colours 0 on 15.
    const Row rows[] = {
        {4, 2, 0, {4, 2}},   {3, 3, 1, {7, 7}},   {11, 11, 1, {15, 15}}, {12, 1, 1, {15, 7}},
        {12, 0, 1, {15, 0}}, {4, 1, 1, {0, 7}},   {4, 0, 1, {7, 0}},     {5, 5, 2, {15, 15}},
        {8, 4, 2, {0, 15}},  {1, 2, 2, {0, 15}},  {12, 0, 2, {15, 0}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FilterColours(r.fore, r.back, r.filter, 0, 15), r.drawn) << r.fore << "," << r.back << "," << r.filter;
}

TEST(TerminalRender, SpecialKeysByTranslation)
{
    using K = SpecialKey;
    struct Row {
        K key;
        std::string bytes[5];  // NONE, MANUAL, ANSI, VT52, VT100
    };
    const Row rows[] = {
        {K::kTab, {"\t", "\t", "\t", "\t", "\t"}},
        {K::kLeft, {std::string("\0K", 2), std::string("\0K", 2), "\x1b[1D", "\x1b" "D", "\x1b[D"}},
        {K::kUp, {std::string("\0H", 2), std::string("\0H", 2), "\x1b[1A", "\x1b" "A", "\x1b[A"}},
        {K::kRight, {std::string("\0M", 2), std::string("\0M", 2), "\x1b[1C", "\x1b" "C", "\x1b[C"}},
        {K::kDown, {std::string("\0P", 2), std::string("\0P", 2), "\x1b[1B", "\x1b" "B", "\x1b[B"}},
        {K::kDelete, {"", "", "", "\x7f", "\x7f"}},
        {K::kF1, {"", "", "", "", "\x1bOP"}},
        {K::kF4, {"", "", "", "", "\x1bOS"}},
    };
    for (const auto& r : rows)
        for (int t = 0; t < 5; ++t) EXPECT_EQ(SpecialKeyBytes(r.key, t), r.bytes[t]) << int(r.key) << " " << t;
    EXPECT_EQ(KeyAsciiBytes(static_cast<std::int16_t>(0x82A0)), "\x82\xa0");
    EXPECT_EQ(KeyAsciiBytes('a'), "a");
    EXPECT_EQ(KeyAsciiBytes(0), "");
}

}  // namespace
}  // namespace tolvex::terminal
