// The terminal side of the control: the screen that exists at run time while
// Emulation is not NONE. The control creates it through a factory after
// loading and when Emulation changes; without a factory the control has no
// terminal and the terminal properties keep only their stored values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace tolvex::serial {
class CommEngine;
}

namespace tolvex::terminal {
class Terminal;
}

namespace tolvex::control {

// What a terminal or a transfer reaches of the port engine, handed to their
// factories. The engine lives as long as the control, so longer than the
// parts made with it; null when the port side has no engine.
// - Transfer: the raw channel for its worker thread (transfer::EngineChannel
//   over TransferRead/TransferWrite/LineLost, woken by TransferInterrupt),
//   SetTransferRunning, CDHolding for the carrier abort, and on the GUI
//   thread RaiseCommEvent(kEvXfer).
// - Terminal: QueueOutput and Output for typed keys and answers; received
//   data reaches it through Disp.
struct EngineLink {
    serial::CommEngine* engine = nullptr;
};

struct TerminalSetup {
    std::int16_t emulation = 1;  // 1 TTY .. 4 VT100
    std::int16_t rows = 25;
    std::int16_t columns = 80;
    std::int16_t foreColor = 0;
    std::int16_t backColor = 15;
    std::int16_t scrollRows = 0;
    // The colours loaded with the control, restored by the attribute reset.
    std::int16_t referenceFore = 0;
    std::int16_t referenceBack = 15;
};

// What a screen reports to the terminal part.
struct TerminalSideEvents {
    std::function<void(std::string_view bytes)> capture;   // STANDARD capture: bytes to append
    std::function<void(std::string_view line)> lineLeft;   // a line left the screen (VISIBLE capture)
    std::function<void(bool on)> smoothScroll;             // SmoothScroll switched by the data
    std::function<void()> bell;                            // BEL received
};

class TerminalSide {
public:
    virtual ~TerminalSide() = default;
    virtual void Resize(std::int16_t rows, std::int16_t columns) = 0;
    virtual void SetColours(std::int16_t fore, std::int16_t back) = 0;
    virtual void SetScrollRows(std::int16_t rows) = 0;
    // Cursor, 1-based.
    virtual std::int16_t CursorRow() const = 0;
    virtual std::int16_t CursorColumn() const = 0;
    virtual void SetCursor(std::int16_t row, std::int16_t column) = 0;
    // Screen text and history.
    virtual std::string Text() const = 0;
    // Data from the application (Disp, Text): throw 380 for a cursor
    // position outside the screen.
    virtual void SetText(std::string_view text) = 0;
    virtual void Disp(std::string_view bytes) = 0;
    // Received data (AutoProcess, echo): nobody to raise 380 to.
    virtual void Receive(std::string_view bytes) { Disp(bytes); }
    virtual std::string ScrollText() const = 0;
    // The screen lines without trailing spaces (capture in VISIBLE mode).
    virtual std::vector<std::string> ScreenLines() const = 0;
    // Selection in the screen text; setters throw 380 when out of range.
    virtual std::int32_t SelStart() const = 0;
    virtual void SetSelStart(std::int32_t start) = 0;
    virtual std::int32_t SelLength() const = 0;
    virtual void SetSelLength(std::int32_t length) = 0;
    virtual std::string SelText() const = 0;
    virtual void SetSelText(std::string_view text) = 0;
    // Lay the terminal out again (size, font, rows, columns changed).
    virtual void Layout() = 0;

    virtual void Connect(TerminalSideEvents events) { (void)events; }
    // CaptureMode of the open capture file, -1 while none is open.
    virtual void SetCaptureMode(std::int16_t mode) { (void)mode; }
    virtual void SetBackspace(std::int16_t backspace) { (void)backspace; }
    virtual void SetReferenceColours(std::int16_t fore, std::int16_t back) { (void)fore, (void)back; }
    // The cells, for drawing; null for a screen without them.
    virtual terminal::Terminal* Core() { return nullptr; }
};

using TerminalFactory = std::function<std::unique_ptr<TerminalSide>(const TerminalSetup&, const EngineLink&)>;

// The file transfer side: starts uploads and downloads over the open port.
class TransferSide {
public:
    virtual ~TransferSide() = default;
    virtual void Upload(std::string_view file) = 0;    // 8018, 8019
    virtual void Download(std::string_view file) = 0;  // 8018, 8019
    virtual bool Running() const = 0;
    // Skip (5), abort (6), resume (10) requests; others throw 383.
    virtual void Request(std::int16_t status) = 0;
    // Ask a running transfer to stop and wait for its thread.
    virtual void Stop() = 0;
};

using TransferFactory = std::function<std::unique_ptr<TransferSide>(const EngineLink&)>;

// The control's window: drawn by the GUI layer, absent without a GUI.
class WindowSide {
public:
    virtual ~WindowSide() = default;
    virtual QWidget* Widget() = 0;
    virtual std::int32_t Handle() = 0;
    // The modal About box; returns when it is closed.
    virtual void ShowAbout() = 0;
    // Something that changes the control's look changed.
    virtual void Invalidate() = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void SetVisible(bool visible) = 0;
    // The system beep (BEL in the terminal's data).
    virtual void Beep() {}
    // The terminal's cell size in the control's font, the width of a
    // vertical scroll bar and of the border; false without them.
    virtual bool TerminalMetrics(int& cellWidth, int& cellHeight, int& scrollBarWidth, int& border)
    {
        (void)cellWidth, (void)cellHeight, (void)scrollBarWidth, (void)border;
        return false;
    }
};

}  // namespace tolvex::control
