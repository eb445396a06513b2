#include "terminal/terminal.h"

#include <algorithm>

namespace tolvex::terminal {

Terminal::Terminal(const TerminalConfig& c, TerminalEvents* events)
    : events_(events ? events : &none_),
      screen_(c.rows, c.columns, c.scrollRows, MakeAttribute(c.fore, c.back)),
      state_(c.emulation, c.rows, c.columns, screen_, *events_),
      parser_(c.emulation, state_)
{
    state_.SetParser(&parser_);
    state_.SetColours(c.fore, c.back);
    state_.SetReferenceColours(c.referenceFore, c.referenceBack);
}

bool Terminal::Feed(std::string_view bytes, bool strict)
{
    // A TTY's STANDARD capture is the whole incoming text; the other
    // emulations capture what their state shows (escape sequences left out).
    if (capture_ == Capture::kStandard && state_.Kind() == Emulation::kTty) events_->Captured(bytes);
    state_.SetStrictPositions(strict);
    state_.ClearPositionRefused();
    parser_.Write(bytes);
    const bool refused = state_.PositionRefused();
    state_.ClearPositionRefused();
    return !refused;
}

bool Terminal::Disp(std::string_view bytes) { return Feed(bytes, true); }

void Terminal::Receive(std::string_view bytes) { Feed(bytes, false); }

bool Terminal::SetText(std::string_view bytes)
{
    screen_.Clear(state_.CurrentAttribute(), false);
    parser_.Reset();
    state_.SetCursor(0, 0);
    return Disp(bytes);
}

void Terminal::Resize(int rows, int columns)
{
    const int row = screen_.Resize(rows, columns, state_.Row(), state_.CurrentAttribute());
    const int column = state_.Column();
    state_.SetSize(rows, columns);
    state_.SetCursor(row, std::min(column, screen_.Columns() - 1));
    selStart_ = selLength_ = 0;
}

void Terminal::SetScrollRows(int scrollRows) { screen_.SetScrollRows(scrollRows, state_.CurrentAttribute()); }

void Terminal::SetCapture(Capture mode)
{
    capture_ = mode;
    state_.SetCapturing(mode == Capture::kStandard && state_.Kind() != Emulation::kTty);
    screen_.SetCallbacks(mode == Capture::kVisible ? this : nullptr);
}

void Terminal::LineScrolledOff(std::string_view text) { events_->LineScrolledOff(text); }

bool Terminal::SetSelStart(std::int32_t start)
{
    const auto size = static_cast<std::int64_t>(Text().size());
    if (start < 0 || start > size) return false;
    selStart_ = start;
    // The selection stays inside the text.
    selLength_ = static_cast<std::int32_t>(std::min<std::int64_t>(selLength_, size - start));
    return true;
}

bool Terminal::SetSelLength(std::int32_t length)
{
    const auto size = static_cast<std::int64_t>(Text().size());
    if (length < 0 || selStart_ + static_cast<std::int64_t>(length) > size) return false;
    selLength_ = length;
    return true;
}

std::string Terminal::SelText() const
{
    const std::string text = Text();
    const auto start = std::min<std::size_t>(static_cast<std::size_t>(selStart_), text.size());
    return text.substr(start, static_cast<std::size_t>(selLength_));
}

void Terminal::SetSelText(std::string_view bytes)
{
    // Find the cell of the selection's start: Text() holds each line
    // without its trailing spaces, lines joined by CR LF.
    std::int64_t offset = selStart_;
    int row = 0;
    for (; row < screen_.Rows(); ++row) {
        const auto length = static_cast<std::int64_t>(screen_.LineText(row).size());
        if (offset <= length) break;
        offset -= length + 2;
        if (offset < 0) {
            offset = length;
            break;
        }
    }
    if (row >= screen_.Rows()) return;
    const int column = static_cast<int>(std::min<std::int64_t>(offset, screen_.Columns() - 1));
    const std::size_t room = static_cast<std::size_t>(screen_.Columns() - column);
    std::string_view put = bytes.substr(0, std::min(room, bytes.size()));
    // Never end on the lead byte of a cut double-byte character.
    std::size_t n = 0;
    while (n < put.size()) {
        const auto b = static_cast<std::uint8_t>(put[n]);
        const bool pair = IsLeadByte(b) && n + 1 < put.size() && IsTrailByte(static_cast<std::uint8_t>(put[n + 1]));
        if (IsLeadByte(b) && !pair && n + 1 == put.size() && bytes.size() > put.size()) break;
        n += pair ? 2 : 1;
    }
    put = put.substr(0, n);
    screen_.PutText(row, column, put, state_.CurrentAttribute());
    selLength_ = static_cast<std::int32_t>(put.size());
    const auto size = static_cast<std::int64_t>(Text().size());
    if (selStart_ + static_cast<std::int64_t>(selLength_) > size)
        selLength_ = static_cast<std::int32_t>(std::max<std::int64_t>(0, size - selStart_));
}

}  // namespace tolvex::terminal
