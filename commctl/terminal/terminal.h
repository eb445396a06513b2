// The terminal without a window: parser, state and screen of one emulation
// joined together. Bytes go in through Disp (data an application passes,
// where a cursor position outside the screen is refused) or Receive
// (received data, where such a position is skipped); the screen's lines,
// attributes, cursor and history come out, and what the terminal sends
// back, rings or captures goes to TerminalEvents.
#pragma once

#include "terminal/parser.h"
#include "terminal/screen.h"
#include "terminal/state.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::terminal {

class TerminalEvents : public StateEvents {
public:
    // A line left the screen (for a VISIBLE capture), trailing spaces removed.
    virtual void LineScrolledOff(std::string_view) {}
};

// Capture modes, as CaptureMode numbers them; kNone while no file is open.
enum class Capture : std::int8_t { kNone = -1, kStandard = 0, kBinary = 1, kVisible = 2 };

struct TerminalConfig {
    Emulation emulation = Emulation::kTty;
    int rows = 25;
    int columns = 80;
    int scrollRows = 0;
    int fore = 0;
    int back = 15;
    int referenceFore = 0;
    int referenceBack = 15;
};

class Terminal final : private ScreenCallbacks {
public:
    explicit Terminal(const TerminalConfig& config, TerminalEvents* events = nullptr);
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    Emulation Kind() const { return state_.Kind(); }
    int Rows() const { return screen_.Rows(); }
    int Columns() const { return screen_.Columns(); }
    int ScrollRows() const { return screen_.ScrollRows(); }

    // Data from the application: false when a cursor position outside the
    // screen ended it (error 380 for the caller).
    bool Disp(std::string_view bytes);
    // Received data: a position outside the screen is skipped.
    void Receive(std::string_view bytes);
    // Clears the screen, cursor to the top left, then Disp.
    bool SetText(std::string_view bytes);

    std::string Text() const { return screen_.Text(); }
    std::string ScrollText() const { return screen_.ScrollText(); }
    std::vector<std::string> ScreenLines() const { return screen_.ScreenLines(); }
    const Screen& View() const { return screen_; }
    Screen::Damage TakeDamage() { return screen_.TakeDamage(); }

    // The cursor, 1-based as CursorRow and CursorColumn show it (a cursor
    // waiting after the last column shows the last column).
    int CursorRow() const { return state_.Row() + 1; }
    int CursorColumn() const { return std::min(state_.Column(), screen_.Columns() - 1) + 1; }
    void SetCursor(int row, int column) { state_.SetCursor(row - 1, column - 1); }

    void Resize(int rows, int columns);
    void SetScrollRows(int scrollRows);
    void SetColours(int fore, int back) { state_.SetColours(fore, back); }
    void SetReferenceColours(int fore, int back) { state_.SetReferenceColours(fore, back); }
    void SetBackspace(bool destructive) { state_.SetDestructiveBackspace(destructive); }
    void SetAnswerBack(std::string text) { state_.SetAnswerBack(std::move(text)); }
    void SetCapture(Capture mode);
    const EmulatorState& State() const { return state_; }

    // Selection in Text(): byte offsets. Setters return false (380) when
    // the start is beyond the text or the selection would end beyond it.
    std::int32_t SelStart() const { return selStart_; }
    std::int32_t SelLength() const { return selLength_; }
    bool SetSelStart(std::int32_t start);
    bool SetSelLength(std::int32_t length);
    std::string SelText() const;
    // Writes the text over the selected cells, from the selection's start.
    void SetSelText(std::string_view bytes);

private:
    void LineScrolledOff(std::string_view text) override;
    bool Feed(std::string_view bytes, bool strict);

    TerminalEvents none_;
    TerminalEvents* events_;
    Screen screen_;
    EmulatorState state_;
    Parser parser_;
    Capture capture_ = Capture::kNone;
    std::int32_t selStart_ = 0;
    std::int32_t selLength_ = 0;
};

}  // namespace tolvex::terminal
