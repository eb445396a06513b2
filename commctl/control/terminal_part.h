// The terminal part of the control: the screen and display values (the rows
// of part Terminal in object_model.cpp: Rows, Columns, the cursor, colours,
// Disp, Text, the scroll and key values, the selection, the capture file).
//
// StoredTerminal keeps the values and the capture file, and drives a screen
// (TerminalSide) made by the TerminalFactory while the control shows a
// terminal; without a factory it has no screen and the values are only
// stored. The real terminal replaces it by implementing TerminalPart.
#pragma once

#include "control_part.h"
#include "terminal_side.h"

#include "terminal/render.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tolvex::control {

// What the terminal part asks of the control.
struct TerminalHost {
    std::function<void(std::int16_t rows, std::int16_t columns)> fireResize;  // before a screen is resized
    std::function<void()> invalidate;                                         // the control's look changed
    std::function<void(std::int16_t& keyAscii)> fireKeyPress;                 // KeyPress; 0 swallows the key
    std::function<void()> bell;                                               // the system beep
    std::function<void()> relayout;  // the control lays itself out (size, AutoSize) after Rows, Columns, ScrollRows
};

// Where typed keys go: the line while the port is open and AutoProcess is
// KEY or BOTH. Made from the port's engine unless given.
struct KeyLine {
    std::function<bool()> open;                       // keys go to the line now
    std::function<void(std::string_view bytes)> send;  // through Output
};

// The screen's contents kept across a change of Emulation.
struct ScreenContents {
    std::string text;
    std::int16_t row = 1;
    std::int16_t column = 1;
};

class TerminalPart : public ControlPart {
public:
    virtual bool HasScreen() const = 0;
    // Makes the screen for `emulation` (1 TTY .. 4 VT100) from the current values.
    virtual void OpenScreen(std::int16_t emulation) = 0;
    // Removes the screen; returns what it showed (empty without a screen).
    virtual ScreenContents CloseScreen() = 0;
    virtual void RestoreScreen(const ScreenContents& contents) = 0;
    // Data for the screen: received data while AutoProcess sends it there, and echo.
    virtual void Disp(std::string_view bytes) = 0;
    // Lays the screen out again (size, font, rows, columns changed) and redraws.
    virtual void Layout() = 0;
    // Emulation became NONE.
    virtual void EmulationOff() = 0;
    // Before a reset or a load: capture closed, screen removed, cursor at 1,1.
    virtual void StartOver() = 0;
    // The current colours become the reference colours (after a load or reset).
    virtual void KeepReferenceColours() = 0;
    // For drawing the control.
    virtual std::int16_t ForeColor() const = 0;
    virtual std::int16_t BackColor() const = 0;
    // The screen's cells; null without a screen.
    virtual terminal::Terminal* Core() { return nullptr; }
    // Rows, Columns and ScrollRows as set.
    struct Size {
        std::int16_t rows, columns, scrollRows;
    };
    virtual Size ScreenSize() const { return {0, 0, 0}; }
    // Typed keys (the control's window): a character raises KeyPress first;
    // a special key is sent as KeyTranslation says.
    virtual void TypeCharacter(std::int16_t keyAscii) { (void)keyAscii; }
    virtual void TypeSpecialKey(terminal::SpecialKey key) { (void)key; }
    // Values the window draws with.
    virtual std::int16_t ColorFilter() const { return 0; }
    virtual std::int16_t CursorType() const { return 0; }
    virtual std::int16_t AutoScroll() const { return 0; }
    virtual std::int16_t ReferenceFore() const { return 0; }
    virtual std::int16_t ReferenceBack() const { return 15; }
};

class StoredTerminal final : public TerminalPart {
public:
    StoredTerminal(TerminalFactory makeScreen, TerminalHost host, EngineLink link = {}, KeyLine keys = {});
    // The capture file closes first, then the screen goes.
    ~StoredTerminal() override;

    com::Variant Get(const PropertyRow& row) override;
    void Put(const PropertyRow& row, const PutValue& value) override;

    bool HasScreen() const override { return screen_ != nullptr; }
    void OpenScreen(std::int16_t emulation) override;
    ScreenContents CloseScreen() override;
    void RestoreScreen(const ScreenContents& contents) override;
    void Disp(std::string_view bytes) override;
    void Layout() override;
    void EmulationOff() override { scrollRows_ = 0; }
    void StartOver() override;
    void KeepReferenceColours() override;
    std::int16_t ForeColor() const override { return foreColor_; }
    std::int16_t BackColor() const override { return backColor_; }
    terminal::Terminal* Core() override { return screen_ ? screen_->Core() : nullptr; }
    Size ScreenSize() const override { return {rows_, columns_, scrollRows_}; }
    void TypeCharacter(std::int16_t keyAscii) override;
    void TypeSpecialKey(terminal::SpecialKey key) override;
    std::int16_t ColorFilter() const override { return colorFilter_; }
    std::int16_t CursorType() const override { return cursorType_; }
    std::int16_t AutoScroll() const override { return autoScroll_; }
    std::int16_t ReferenceFore() const override { return referenceFore_; }
    std::int16_t ReferenceBack() const override { return referenceBack_; }

private:
    void Capture(std::string_view bytes);
    void CaptureModeChanged();
    void SendKey(std::string_view bytes);
    void Relayout();
    void SetRowsColumns(DispId dispid, std::int16_t value);
    void SetCaptureFilename(const std::string& name);
    void CloseCapture();

    TerminalFactory makeScreen_;
    EngineLink link_;  // the port's engine, handed to the screen's factory
    KeyLine keys_;
    TerminalHost host_;
    std::unique_ptr<TerminalSide> screen_;

    std::int16_t rows_ = 0;
    std::int16_t columns_ = 0;
    std::int16_t cursorRow_ = 1;
    std::int16_t cursorColumn_ = 1;
    std::int16_t foreColor_ = 0;
    std::int16_t backColor_ = 0;
    std::int16_t referenceFore_ = 0;
    std::int16_t referenceBack_ = 0;
    std::int16_t autoScroll_ = 0;
    std::int16_t scrollRows_ = 0;
    std::int16_t colorFilter_ = 0;
    bool smoothScroll_ = false;
    std::int16_t cursorType_ = 0;
    std::int16_t keyTranslation_ = 0;
    std::int16_t backspace_ = 0;
    std::int16_t captureMode_ = 0;

    // Capture file.
    std::string captureName_;
    std::FILE* capture_ = nullptr;
};

}  // namespace tolvex::control
