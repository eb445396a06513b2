#include "terminal/state.h"

#include "terminal/screen.h"

#include <algorithm>

namespace tolvex::terminal {

namespace {

// ANSI colour order (black, red, green, yellow, blue, magenta, cyan, white)
// onto the palette.
constexpr int kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

int Count(std::span<const int> params, std::size_t i)
{
    return i < params.size() && params[i] >= 1 ? params[i] : 1;
}

int Mode(std::span<const int> params)
{
    return params.empty() || params[0] < 0 ? 0 : params[0];
}

}  // namespace

EmulatorState::EmulatorState(Emulation emulation, int rows, int columns, StateCallbacks& screen,
                             StateEvents& events)
    : emulation_(emulation), rows_(std::max(rows, 1)), columns_(std::max(columns, 1)), screen_(screen),
      events_(events)
{
}

void EmulatorState::SetCursor(int row, int column)
{
    row_ = std::clamp(row, 0, rows_ - 1);
    column_ = std::clamp(column, 0, columns_ - 1);
    screen_.MoveCursor(row_, column_);
}

void EmulatorState::SetSize(int rows, int columns)
{
    rows_ = std::max(rows, 1);
    columns_ = std::max(columns, 1);
    row_ = std::min(row_, rows_ - 1);
    column_ = std::min(column_, columns_);
    if (savedRow_ != 0xFFFF) savedRow_ = std::min(savedRow_, rows_ - 1);
}

void EmulatorState::SetColours(int fore, int back)
{
    fore_ = fore & 15;
    back_ = back & 15;
}

void EmulatorState::SetReferenceColours(int fore, int back)
{
    referenceFore_ = fore & 15;
    referenceBack_ = back & 15;
}

bool EmulatorState::LineDrawingActive() const
{
    if (Vt52Mode()) return vt52Graphics_;
    if (emulation_ == Emulation::kVt100) return shiftOut_ ? g1Graphics_ : g0Graphics_;
    return false;
}

void EmulatorState::Move(int row, int column)
{
    row_ = row;
    column_ = column;
    screen_.MoveCursor(row_, std::min(column_, columns_ - 1));
}

// The terminal's rules for putting text:
// - The move to the next line happens when the next printable character
//   arrives: after the last column the cursor waits at Columns, so a line of
//   exactly Columns characters followed by CR LF leaves no blank line.
// - A double-byte character whose lead byte would fall in the last column
//   moves whole to the next line; the last column keeps what it had.
// - VT100 with autowrap off overwrites the last column (a double-byte
//   character the last two).
// - A screen one column wide cannot hold a double-byte character; it shows
//   "?" in its place.
void EmulatorState::PutBytes(std::string_view text, bool lineDrawing)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t n = text.size();
    const Attribute attr = static_cast<Attribute>(CurrentAttribute() | (lineDrawing ? kLineDrawing : 0));
    const bool wraps = emulation_ != Emulation::kVt100 || autowrap_;
    std::size_t i = 0;
    while (i < n) {
        if (column_ >= columns_) {
            if (wraps) {
                column_ = 0;
                NewLine();
            } else {
                column_ = columns_ - 1;
            }
        }
        const std::size_t start = i;
        int column = column_;
        bool wide = false;  // stopped at a double-byte character that does not fit
        while (i < n && column < columns_) {
            const std::uint8_t b = p[i];
            if (b >= 0x81 && IsLeadByte(b) && i + 1 < n && IsTrailByte(p[i + 1])) {
                if (column + 1 >= columns_) {
                    wide = true;
                    break;
                }
                i += 2;
                column += 2;
            } else {
                ++i;
                ++column;
            }
        }
        if (i > start) {
            screen_.PutText(row_, column_, text.substr(start, i - start), attr);
            column_ = column;
        }
        if (!wide) continue;
        if (columns_ < 2) {
            screen_.PutText(row_, 0, "?", attr);
            column_ = columns_;
            i += 2;
        } else if (wraps) {
            column_ = columns_;
        } else {
            column_ = columns_ - 2;
        }
    }
    screen_.MoveCursor(row_, std::min(column_, columns_ - 1));
}

void EmulatorState::NewLine()
{
    if (row_ + 1 < rows_) ++row_;
    else screen_.ScrollUp(1, CurrentAttribute());
    screen_.MoveCursor(row_, std::min(column_, columns_ - 1));
}

void EmulatorState::ReverseNewLine()
{
    if (row_ > 0) --row_;
    else screen_.ScrollDown(1, CurrentAttribute());
    screen_.MoveCursor(row_, std::min(column_, columns_ - 1));
}

void EmulatorState::ClearScreen()
{
    for (int r = 0; r < rows_; ++r) screen_.Erase(r, 0, columns_ - 1, CurrentAttribute());
    Move(0, 0);
}

void EmulatorState::Backspace()
{
    int column = std::min(column_, columns_ - 1);
    if (column > 0) --column;
    if (destructiveBackspace_) screen_.Erase(row_, column, column, CurrentAttribute());
    Move(row_, column);
}

void EmulatorState::Tab()
{
    const int column = std::min(column_, columns_ - 1);
    int next = columns_ - 1;
    if (emulation_ == Emulation::kVt100 && tabSet_) {
        for (int c = column + 1; c < std::min(columns_, kTabStops); ++c)
            if (tabs_[static_cast<std::size_t>(c)]) {
                next = c;
                break;
            }
    } else {
        next = std::min((column / 8 + 1) * 8, columns_ - 1);
    }
    Move(row_, next);
}

void EmulatorState::Right(int n)
{
    int column = std::min(column_ + n, columns_);
    // Never inside a double-byte character.
    if (column < columns_ && screen_.CellHalf(row_, column) == 2) ++column;
    Move(row_, column);
}

void EmulatorState::Print(std::string_view text)
{
    if (capturing_) events_.Captured(text);
    PutBytes(text, LineDrawingActive());
}

void EmulatorState::Control(std::uint8_t byte)
{
    const bool vt100 = emulation_ == Emulation::kVt100;
    if (capturing_ && byte != 0x00 && byte != 0x1B) {
        const char c = static_cast<char>(byte);
        events_.Captured(std::string_view(&c, 1));
    }
    switch (byte) {
    case 0x00: return;
    case 0x05: {
        const char c = static_cast<char>(byte);
        PutBytes(std::string_view(&c, 1), false);
        if (!answerBack_.empty()) PutBytes(answerBack_, false);
        return;
    }
    case 0x07: events_.Bell(); return;
    case 0x08: Backspace(); return;
    case 0x09: Tab(); return;
    case 0x0A: NewLine(); return;
    case 0x0B:
        if (vt100) {
            NewLine();
            return;
        }
        break;
    case 0x0C: ClearScreen(); return;
    case 0x0D: Move(row_, 0); return;
    case 0x0E:
    case 0x0F:
        if (vt100) {
            shiftOut_ = byte == 0x0E;
            return;
        }
        break;
    default: break;
    }
    // Any other control byte is shown as a character.
    const char c = static_cast<char>(byte);
    PutBytes(std::string_view(&c, 1), false);
}

void EmulatorState::Escape(std::string_view sequence)
{
    if (sequence.empty()) return;
    if (Vt52Mode()) Vt52Escape(sequence);
    else if (emulation_ == Emulation::kVt100) Vt100Escape(sequence);
}

void EmulatorState::Vt52Escape(std::string_view s)
{
    switch (s[0]) {
    case 'A':
    case 'I': Move(std::max(row_ - 1, 0), std::min(column_, columns_ - 1)); return;
    case 'B': Move(std::min(row_ + 1, rows_ - 1), std::min(column_, columns_ - 1)); return;
    case 'C': Right(1); return;
    case 'D': Move(row_, std::max(std::min(column_, columns_ - 1) - 1, 0)); return;
    case 'H': Move(0, 0); return;
    case 'J': ClearScreen(); return;
    case 'K': EraseLine(0); return;
    case 'F': vt52Graphics_ = true; return;
    case 'G': vt52Graphics_ = false; return;
    case '=': vt52Keypad_ = true; return;
    case '>': vt52Keypad_ = false; return;
    case 'Z': events_.Answer("\x1b/Z"); return;
    case '<':
        // A VT100 in VT52 mode returns to its own sequences.
        if (emulation_ == Emulation::kVt100) {
            vt52Mode_ = false;
            if (parser_) parser_->SetVt52Mode(false);
        }
        return;
    case 'Y': {
        if (s.size() < 3) return;
        // Each coordinate outside the screen leaves that coordinate as it was.
        const int row = static_cast<std::uint8_t>(s[1]) - 32;
        const int column = static_cast<std::uint8_t>(s[2]) - 32;
        int r = row_;
        int c = std::min(column_, columns_ - 1);
        if (row >= 0 && row < rows_) r = row;
        if (column >= 0 && column < columns_) c = column;
        Move(r, c);
        return;
    }
    default: return;
    }
}

void EmulatorState::Vt100Escape(std::string_view s)
{
    switch (s[0]) {
    case '(':
    case ')':
        if (s.size() < 2) return;
        if (s[1] == '0' || s[1] == 'A' || s[1] == 'B') (s[0] == '(' ? g0Graphics_ : g1Graphics_) = s[1] == '0';
        return;
    case '7':
        savedRow_ = row_;
        savedColumn_ = column_;
        return;
    case '8':
        if (savedRow_ != 0xFFFF) Move(std::min(savedRow_, rows_ - 1), std::min(savedColumn_, columns_));
        return;
    case '=': keypad_ = true; return;
    case '>': keypad_ = false; return;
    case 'D': NewLine(); return;
    case 'E':
        column_ = 0;
        NewLine();
        return;
    case 'H': {
        const int column = std::min(column_, columns_ - 1);
        if (column < kTabStops) {
            tabs_[static_cast<std::size_t>(column)] = true;
            tabSet_ = true;
        }
        return;
    }
    case 'M': ReverseNewLine(); return;
    default: return;  // "#x", "1", "2", "Z", "c" and others: accepted, ignored
    }
}

bool EmulatorState::Position(std::span<const int> params)
{
    const int row = params.size() > 0 && params[0] > 0 ? params[0] : 1;
    const int column = params.size() > 1 && params[1] > 0 ? params[1] : 1;
    if (row > rows_ || column > columns_) {
        // Refused: the caller of the data hears of it (380) and the rest of
        // that data is not processed; received data only skips the position.
        if (!strict_) return true;
        positionRefused_ = true;
        return false;
    }
    Move(row - 1, column - 1);
    return true;
}

void EmulatorState::EraseLine(int mode)
{
    const int column = std::min(column_, columns_ - 1);
    switch (mode) {
    case 0: screen_.Erase(row_, column, columns_ - 1, CurrentAttribute()); return;
    case 1: screen_.Erase(row_, 0, column, CurrentAttribute()); return;
    case 2: screen_.Erase(row_, 0, columns_ - 1, CurrentAttribute()); return;
    default: return;
    }
}

void EmulatorState::EraseDisplay(int mode)
{
    const Attribute attr = CurrentAttribute();
    switch (mode) {
    case 0:
        EraseLine(0);
        for (int r = row_ + 1; r < rows_; ++r) screen_.Erase(r, 0, columns_ - 1, attr);
        return;
    case 1:
        for (int r = 0; r < row_; ++r) screen_.Erase(r, 0, columns_ - 1, attr);
        EraseLine(1);
        return;
    case 2:
        for (int r = 0; r < rows_; ++r) screen_.Erase(r, 0, columns_ - 1, attr);
        return;
    default: return;
    }
}

// Attributes: "ESC [ m" without a parameter is 0; 1 sets the bright bit of
// the foreground and 5 that of the background (neither goes past 15).
void EmulatorState::SetGraphicRendition(std::span<const int> params)
{
    const bool colours = emulation_ != Emulation::kVt100;
    const int none[1] = {0};
    if (params.empty()) params = none;
    for (int p : params) {
        if (p < 0) p = 0;
        if (p == 0) {
            fore_ = referenceFore_;
            back_ = referenceBack_;
        } else if (p == 1) {
            fore_ |= 8;
        } else if (p == 5) {
            back_ |= 8;
        } else if (p == 7) {
            std::swap(fore_, back_);
        } else if (!colours) {
            continue;
        } else if (p == 8) {
            fore_ = back_;
        } else if (p == 30) {
            fore_ = 0;
        } else if (p >= 31 && p <= 37) {
            fore_ = kAnsiColour[p - 30] | (fore_ & 8);
        } else if (p >= 40 && p <= 47) {
            back_ = kAnsiColour[p - 40];
        }
    }
}

void EmulatorState::SetModes(std::string_view leader, std::span<const int> params, bool on)
{
    if (leader != "?") return;
    for (int p : params) {
        switch (p) {
        case 1: cursorKeys_ = on; break;
        case 2:
            // ?2 l: the VT100 reads VT52 sequences until ESC <.
            if (!on) {
                vt52Mode_ = true;
                if (parser_) parser_->SetVt52Mode(true);
            }
            break;
        case 4: events_.SmoothScroll(on); break;
        case 6:
            origin_ = on;
            Move(0, 0);
            break;
        case 7: autowrap_ = on; break;
        default: break;
        }
    }
}

bool EmulatorState::ControlSequence(std::string_view leader, std::span<const int> params, char final)
{
    const bool vt100 = emulation_ == Emulation::kVt100;
    const int column = std::min(column_, columns_ - 1);
    switch (final) {
    case 'A': Move(std::max(row_ - Count(params, 0), 0), column); return true;
    case 'B': Move(std::min(row_ + Count(params, 0), rows_ - 1), column); return true;
    case 'C': Right(Count(params, 0)); return true;
    case 'D': Move(row_, std::max(column - Count(params, 0), 0)); return true;
    case 'H': return Position(params);
    case 'J':
        if (vt100) EraseDisplay(Mode(params));
        else ClearScreen();
        return true;
    case 'K':
        EraseLine(vt100 ? Mode(params) : 0);
        return true;
    case 'm': SetGraphicRendition(params); return true;
    case 's':
        savedRow_ = row_;
        savedColumn_ = column_;
        return true;
    case 'u':
        if (savedRow_ != 0xFFFF) Move(std::min(savedRow_, rows_ - 1), std::min(savedColumn_, columns_));
        return true;
    case 'g':
        if (!vt100) return true;
        if (Mode(params) == 0) {
            if (column < kTabStops) tabs_[static_cast<std::size_t>(column)] = false;
        } else {
            tabs_.fill(false);
        }
        return true;
    case 'h':
    case 'l':
        if (vt100) SetModes(leader, params, final == 'h');
        return true;
    default: return true;  // f, p and others: ignored
    }
}

}  // namespace tolvex::terminal
