// Terminal layer 2: the parser's actions applied to the terminal's state.
//
// EmulatorState (one per emulation) implements ParserCallbacks. It holds the
// cursor (0-based row and column), the current and reference colours, the
// saved cursor, the modes (autowrap, origin, cursor keys, keypad, VT52
// mode), tab stops and the G0/G1 character sets, and turns each action
// into calls of StateCallbacks, which the screen implements. The bell, the
// answers for the line, SmoothScroll and the STANDARD capture go to the
// terminal through StateEvents.
#pragma once

#include "terminal/parser.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvex::terminal {

// A cell's attribute: foreground colour in bits 0-3, background in bits 4-7.
using Attribute = std::uint16_t;

constexpr Attribute MakeAttribute(int fore, int back)
{
    return static_cast<Attribute>((fore & 15) | ((back & 15) << 4));
}

class StateCallbacks {
public:
    virtual ~StateCallbacks() = default;
    // Bytes written at a position with an attribute; they fit on the row
    // (the state has already wrapped them) and never cut a double-byte
    // character of their own.
    virtual void PutText(int row, int column, std::string_view bytes, Attribute attr) = 0;
    virtual void MoveCursor(int row, int column) = 0;
    // The whole screen moves up (lines leave row 0 for the history) or down
    // by `lines`; new rows are blank in `attr`.
    virtual void ScrollUp(int lines, Attribute attr) = 0;
    virtual void ScrollDown(int lines, Attribute attr) = 0;
    // Columns first..last (inclusive) of a row become spaces in `attr`.
    virtual void Erase(int row, int first, int last, Attribute attr) = 0;
    // 0: a single cell, 1: first half of a double-byte character, 2: second half.
    virtual int CellHalf(int row, int column) const = 0;
};

class StateEvents {
public:
    virtual ~StateEvents() = default;
    virtual void Bell() {}
    // Bytes the terminal sends back on the line (VT52 ESC / Z).
    virtual void Answer(std::string_view) {}
    // SmoothScroll switched by the data (VT100 ?4).
    virtual void SmoothScroll(bool) {}
    // What a STANDARD capture appends of the processed data.
    virtual void Captured(std::string_view) {}
};

class EmulatorState final : public ParserCallbacks {
public:
    EmulatorState(Emulation emulation, int rows, int columns, StateCallbacks& screen, StateEvents& events);

    void SetParser(Parser* parser) { parser_ = parser; }
    Emulation Kind() const { return emulation_; }

    // The cursor, 0-based; the column may equal Columns() after the last
    // column was written (the move to the next line waits for the next
    // printable character).
    int Row() const { return row_; }
    int Column() const { return column_; }
    void SetCursor(int row, int column);
    void SetSize(int rows, int columns);

    void SetColours(int fore, int back);
    void SetReferenceColours(int fore, int back);
    int Fore() const { return fore_; }
    int Back() const { return back_; }
    Attribute CurrentAttribute() const { return MakeAttribute(fore_, back_); }
    void SetDestructiveBackspace(bool on) { destructiveBackspace_ = on; }
    void SetAnswerBack(std::string text) { answerBack_ = std::move(text); }
    void SetCapturing(bool on) { capturing_ = on; }
    // True once a cursor position outside the screen was refused.
    bool PositionRefused() const { return positionRefused_; }
    void ClearPositionRefused() { positionRefused_ = false; }
    // Positions outside the screen in data nobody called for (received
    // data) are ignored rather than ending the data.
    void SetStrictPositions(bool on) { strict_ = on; }

    // Modes the keyboard reads.
    bool CursorKeyMode() const { return cursorKeys_; }
    bool KeypadApplication() const { return keypad_; }
    bool Vt52Mode() const { return emulation_ == Emulation::kVt52 || vt52Mode_; }

    // ParserCallbacks
    void Print(std::string_view text) override;
    void Control(std::uint8_t byte) override;
    void Escape(std::string_view sequence) override;
    bool ControlSequence(std::string_view leader, std::span<const int> params, char final) override;

private:
    static constexpr int kTabStops = 134;

    void PutBytes(std::string_view text, bool lineDrawing);
    void NewLine();           // down one line, scrolling at the bottom
    void ReverseNewLine();    // up one line, scrolling down at the top
    void Move(int row, int column);
    void Right(int n);
    void ClearScreen();
    void Backspace();
    void Tab();
    void SetGraphicRendition(std::span<const int> params);
    bool Position(std::span<const int> params);
    void EraseDisplay(int mode);
    void EraseLine(int mode);
    void SetModes(std::string_view leader, std::span<const int> params, bool on);
    void Vt52Escape(std::string_view sequence);
    void Vt100Escape(std::string_view sequence);
    bool LineDrawingActive() const;

    Emulation emulation_;
    int rows_;
    int columns_;
    StateCallbacks& screen_;
    StateEvents& events_;
    Parser* parser_ = nullptr;

    int row_ = 0;
    int column_ = 0;
    int savedRow_ = 0xFFFF;  // 0xFFFF: nothing saved
    int savedColumn_ = 0;
    int fore_ = 0;
    int back_ = 15;
    int referenceFore_ = 0;
    int referenceBack_ = 15;
    bool destructiveBackspace_ = true;
    std::string answerBack_;
    bool capturing_ = false;
    bool positionRefused_ = false;
    bool strict_ = true;

    // VT100
    std::array<bool, kTabStops> tabs_{};
    bool tabSet_ = false;
    bool g0Graphics_ = false;
    bool g1Graphics_ = false;
    bool shiftOut_ = false;  // SO: G1 in use
    bool autowrap_ = true;
    bool origin_ = false;
    bool cursorKeys_ = false;
    bool keypad_ = false;
    bool vt52Mode_ = false;
    // VT52 (and VT100 in VT52 mode)
    bool vt52Graphics_ = false;
    bool vt52Keypad_ = false;
};

}  // namespace tolvex::terminal
