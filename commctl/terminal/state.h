// Terminal layer 2: the parser's actions applied to the terminal's state.
//
// A state (one per emulation) implements ParserCallbacks. It holds the
// cursor (0-based row and column), the current and reference colours, the
// saved cursor, the modes (autowrap, origin, cursor keys, keypad, VT52
// mode), tab stops and the G0/G1 character sets, and turns each action
// into calls of StateCallbacks. The screen implements them; the bell, the
// answers and SmoothScroll it passes on to the terminal side.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvex::terminal {

// A cell's attribute: foreground colour in bits 0-3, background in bits 4-7.
using Attribute = std::uint16_t;

class StateCallbacks {
public:
    virtual ~StateCallbacks() = default;
    // Bytes written at a position with an attribute (the state has already
    // wrapped them to the line).
    virtual void PutText(int row, int column, std::string_view bytes, Attribute attr) = 0;
    virtual void MoveCursor(int row, int column) = 0;
    // Rows top..bottom (inclusive) move up by `lines`; rows that leave row 0
    // go to the history; new rows are blank in `attr`.
    virtual void ScrollUp(int top, int bottom, int lines, Attribute attr) = 0;
    virtual void ScrollDown(int top, int bottom, int lines, Attribute attr) = 0;
    // Columns first..last (inclusive) of a row become spaces in `attr`.
    virtual void Erase(int row, int first, int last, Attribute attr) = 0;
    virtual void Bell() = 0;
    // Bytes the terminal sends back on the line (VT52 ESC / Z).
    virtual void Answer(std::string_view bytes) = 0;
    // SmoothScroll switched by the data (VT100 ?4).
    virtual void SmoothScroll(bool on) = 0;
};

}  // namespace tolvex::terminal
