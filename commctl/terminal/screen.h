// Terminal layer 3: the cells.
//
// The screen implements StateCallbacks. It keeps Rows + ScrollRows lines of
// Columns bytes with one Attribute per cell (the last Rows lines are the
// visible screen, the first ScrollRows the history), blanks the other half
// of a double-byte character that is written over, and answers the
// properties Text, ScrollText and the selection. It tells its viewer (the
// control's window) and the capture file what changed through
// ScreenCallbacks.
#pragma once

#include <string_view>

namespace tolvex::terminal {

class ScreenCallbacks {
public:
    virtual ~ScreenCallbacks() = default;
    // Screen rows top..bottom (inclusive) must be drawn again.
    virtual void Damage(int top, int bottom) = 0;
    virtual void CursorMoved(int row, int column) = 0;
    // A line left the screen for the history, without trailing spaces
    // (what VISIBLE capture appends, followed by CR LF).
    virtual void LineScrolledOff(std::string_view text) = 0;
};

}  // namespace tolvex::terminal
