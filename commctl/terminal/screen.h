// Terminal layer 3: the cells.
//
// The screen implements StateCallbacks. It keeps Rows + ScrollRows lines of
// Columns bytes with one Attribute per cell (the last Rows lines are the
// visible screen, the first ScrollRows the history, oldest first), blanks
// the other half of a double-byte character that is written or erased
// over, and answers the texts the control reads: Text, ScrollText and the
// selection inside Text. What changed since the viewer last looked is kept
// as a range of damaged rows, so a viewer paints once for any amount of
// data; lines leaving the screen are reported through ScreenCallbacks (the
// VISIBLE capture).
#pragma once

#include "terminal/state.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::terminal {

class ScreenCallbacks {
public:
    virtual ~ScreenCallbacks() = default;
    // A line left the screen for the history, without trailing spaces.
    virtual void LineScrolledOff(std::string_view text) = 0;
};

// Flags kept in a cell's attribute above the two colours.
inline constexpr Attribute kLeadHalf = 0x100;     // first byte of a double-byte character
inline constexpr Attribute kTrailHalf = 0x200;    // second byte
inline constexpr Attribute kLineDrawing = 0x400;  // a line-drawing character (byte 0x60-0x7E)
inline constexpr Attribute kColourBits = 0xFF;

class Screen final : public StateCallbacks {
public:
    Screen(int rows, int columns, int scrollRows, Attribute blank);

    int Rows() const { return rows_; }
    int Columns() const { return columns_; }
    int ScrollRows() const { return scrollRows_; }
    void SetCallbacks(ScreenCallbacks* callbacks) { callbacks_ = callbacks; }

    // Cells of screen row `row` (0-based, negative = history: -1 is the
    // newest history line).
    std::string_view LineBytes(int row) const;
    const Attribute* LineAttributes(int row) const;
    // A line as text: trailing spaces removed.
    std::string LineText(int row) const;

    // Screen lines joined by CR LF (trailing spaces removed).
    std::string Text() const;
    // History lines, oldest first, joined by CR LF; empty without history.
    std::string ScrollText() const;
    // The screen lines without trailing spaces.
    std::vector<std::string> ScreenLines() const;

    // Every cell blank in `attr`, history included when `history`.
    void Clear(Attribute attr, bool history);
    // New size: the cells keep their place from the top left; when rows
    // go and `cursorRow` would leave the screen, the top lines move into
    // the history instead. Returns the cursor row afterwards.
    int Resize(int rows, int columns, int cursorRow, Attribute blank);
    void SetScrollRows(int scrollRows, Attribute blank);

    // Damaged screen rows since the last TakeDamage (top > bottom: none),
    // and whether the lines moved (scrolled) in between.
    struct Damage {
        int top;
        int bottom;
        bool scrolled;
    };
    Damage TakeDamage();
    int CursorRow() const { return cursorRow_; }
    int CursorColumn() const { return cursorColumn_; }

    // StateCallbacks
    void PutText(int row, int column, std::string_view bytes, Attribute attr) override;
    void MoveCursor(int row, int column) override;
    void ScrollUp(int lines, Attribute attr) override;
    void ScrollDown(int lines, Attribute attr) override;
    void Erase(int row, int first, int last, Attribute attr) override;
    int CellHalf(int row, int column) const override;

private:
    // Index of screen row `row` in the ring of lines.
    int LineIndex(int row) const;
    char* Bytes(int row) { return bytes_.data() + static_cast<std::size_t>(LineIndex(row)) * columns_; }
    Attribute* Attrs(int row) { return attrs_.data() + static_cast<std::size_t>(LineIndex(row)) * columns_; }
    void BlankLine(int row, Attribute attr);
    // Blanks the other half of a double-byte character cut at `column`
    // (the cell about to be written or erased).
    void SplitAt(char* bytes, Attribute* attrs, int column);
    static void BlankCell(char* bytes, Attribute* attrs, int column);
    void Touch(int top, int bottom);

    int rows_;
    int columns_;
    int scrollRows_;
    int total_;
    int first_ = 0;  // ring index of the oldest line
    std::vector<char> bytes_;
    std::vector<Attribute> attrs_;
    ScreenCallbacks* callbacks_ = nullptr;
    int cursorRow_ = 0;
    int cursorColumn_ = 0;
    int damageTop_;
    int damageBottom_;
    bool scrolled_ = false;
};

}  // namespace tolvex::terminal
