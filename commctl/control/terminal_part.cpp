#include "terminal_part.h"

#include "serial/comm_engine.h"

namespace tolvex::control {

namespace id = com::dispid;
using com::Variant;

StoredTerminal::StoredTerminal(TerminalFactory makeScreen, TerminalHost host, EngineLink link, KeyLine keys)
    : makeScreen_(std::move(makeScreen)), link_(link), keys_(std::move(keys)), host_(std::move(host))
{
    serial::CommEngine* engine = link_.engine;
    if (!keys_.open) {
        keys_.open = [engine] {
            if (!engine || !engine->PortOpen()) return false;
            const auto mode = engine->AutoProcessMode();
            return mode == com::TOLVEX_AUTOPROCESS_KEY || mode == com::TOLVEX_AUTOPROCESS_BOTH;
        };
    }
    if (!keys_.send) {
        keys_.send = [engine](std::string_view bytes) {
            if (engine) engine->Output(bytes);
        };
    }
}

StoredTerminal::~StoredTerminal()
{
    CloseCapture();
    screen_.reset();
}

Variant StoredTerminal::Get(const PropertyRow& row)
{
    TerminalSide* s = screen_.get();
    switch (row.info.dispid) {
    case id::kColumns: return Variant::I2(columns_);
    case id::kRows: return Variant::I2(rows_);
    case id::kCursorRow: return Variant::I2(s ? s->CursorRow() : cursorRow_);
    case id::kCursorColumn: return Variant::I2(s ? s->CursorColumn() : cursorColumn_);
    case id::kForeColor: return Variant::I2(foreColor_);
    case id::kBackColor: return Variant::I2(backColor_);
    case id::kText: return Variant::String(s ? s->Text() : std::string());
    case id::kAutoScroll: return Variant::I2(autoScroll_);
    case id::kCaptureFilename: return Variant::String(captureName_);
    case id::kScrollRows: return Variant::I2(scrollRows_);
    case id::kScrollText: return Variant::String(s ? s->ScrollText() : std::string());
    case id::kColorFilter: return Variant::I2(colorFilter_);
    // Without a screen there is no text to select in.
    case id::kSelLength:
        if (!s) Fail(kErrGetNotSupported);
        return Variant::I4(s->SelLength());
    case id::kSelStart:
        if (!s) Fail(kErrGetNotSupported);
        return Variant::I4(s->SelStart());
    case id::kSelText:
        if (!s) Fail(kErrGetNotSupported);
        return Variant::String(s->SelText());
    case id::kSmoothScroll: return Variant::Bool(smoothScroll_);
    case id::kCursorType: return Variant::I2(cursorType_);
    case id::kKeyTranslation: return Variant::I2(keyTranslation_);
    case id::kBackspace: return Variant::I2(backspace_);
    case id::kCaptureMode: return Variant::I2(captureMode_);
    default: Fail(kErrGetNotSupported);
    }
}

void StoredTerminal::Put(const PropertyRow& row, const PutValue& value)
{
    const DispId dispid = row.info.dispid;
    const std::int16_t i2 = value.i2();
    const std::string& text = value.text;
    switch (dispid) {
    case id::kColumns:
    case id::kRows: SetRowsColumns(dispid, i2); return;
    case id::kCursorRow:
    case id::kCursorColumn: {
        const std::int16_t limit = dispid == id::kCursorRow ? rows_ : columns_;
        if (i2 < 1 || i2 > limit) Fail(kErrInvalidPropertyValue);
        if (screen_) {
            cursorRow_ = screen_->CursorRow();
            cursorColumn_ = screen_->CursorColumn();
        }
        (dispid == id::kCursorRow ? cursorRow_ : cursorColumn_) = i2;
        if (screen_) screen_->SetCursor(cursorRow_, cursorColumn_);
        return;
    }
    case id::kForeColor:
    case id::kBackColor:
        (dispid == id::kForeColor ? foreColor_ : backColor_) = i2;
        if (screen_) screen_->SetColours(foreColor_, backColor_);
        if (host_.invalidate) host_.invalidate();
        return;
    case id::kDisp:
        // With a binary capture the text goes to the capture file unchanged.
        if (captureMode_ == com::TOLVEX_CAPTURE_BINARY) Capture(text);
        if (screen_) {
            // A refused cursor position (380) still leaves what came before it drawn.
            struct Redraw {
                StoredTerminal* t;
                ~Redraw() { if (t->host_.invalidate) t->host_.invalidate(); }
            } redraw{this};
            screen_->Disp(text);
        }
        return;
    case id::kText:
        if (screen_) {
            struct Redraw {
                StoredTerminal* t;
                ~Redraw() { if (t->host_.invalidate) t->host_.invalidate(); }
            } redraw{this};
            screen_->SetText(text);
        }
        return;
    case id::kAutoScroll: autoScroll_ = i2; return;
    case id::kCaptureFilename: SetCaptureFilename(text); return;
    case id::kScrollRows:
        scrollRows_ = i2;
        if (screen_) screen_->SetScrollRows(i2);
        Relayout();
        return;
    case id::kColorFilter:
        colorFilter_ = i2;
        if (host_.invalidate) host_.invalidate();
        return;
    case id::kSelLength:
    case id::kSelStart:
        if (screen_) {
            if (dispid == id::kSelStart) screen_->SetSelStart(value.number);
            else screen_->SetSelLength(value.number);
        } else if (value.number != 0) {
            Fail(kErrInvalidPropertyValue);  // the screen text is empty
        }
        return;
    case id::kSelText:
        if (screen_) screen_->SetSelText(text);
        return;
    case id::kSmoothScroll: smoothScroll_ = value.flag(); return;
    case id::kCursorType:
        cursorType_ = i2;
        if (host_.invalidate) host_.invalidate();
        return;
    case id::kKeyTranslation: keyTranslation_ = i2; return;
    case id::kBackspace:
        backspace_ = i2;
        if (screen_) screen_->SetBackspace(i2);
        return;
    case id::kCaptureMode:
        captureMode_ = i2;
        CaptureModeChanged();
        return;
    default: Fail(kErrSetNotSupported);
    }
}

void StoredTerminal::SetRowsColumns(DispId dispid, std::int16_t value)
{
    std::int16_t rows = dispid == id::kRows ? value : rows_;
    std::int16_t columns = dispid == id::kColumns ? value : columns_;
    if (rows == rows_ && columns == columns_) return;
    if (screen_) {
        if (host_.fireResize) host_.fireResize(rows, columns);
        screen_->Resize(rows, columns);
    }
    rows_ = rows;
    columns_ = columns;
    // The cursor stays on the screen; a size not set yet (0 while values
    // are loaded one after the other) leaves it where it is.
    if (rows_ > 0 && cursorRow_ > rows_) cursorRow_ = rows_;
    if (columns_ > 0 && cursorColumn_ > columns_) cursorColumn_ = columns_;
    Relayout();
}

void StoredTerminal::Relayout()
{
    if (host_.relayout) host_.relayout();
    else Layout();
}

void StoredTerminal::OpenScreen(std::int16_t emulation)
{
    screen_.reset();
    if (!makeScreen_) return;
    TerminalSetup setup{emulation, rows_, columns_, foreColor_, backColor_, scrollRows_, referenceFore_, referenceBack_};
    screen_ = makeScreen_(setup, link_);
    if (!screen_) return;
    TerminalSideEvents events;
    events.capture = [this](std::string_view bytes) {
        if (captureMode_ == com::TOLVEX_CAPTURE_STANDARD) Capture(bytes);
    };
    events.lineLeft = [this](std::string_view line) {
        if (captureMode_ != com::TOLVEX_CAPTURE_VISIBLE) return;
        Capture(line);
        Capture("\r\n");
    };
    events.smoothScroll = [this](bool on) { smoothScroll_ = on; };
    events.bell = [this] {
        if (host_.bell) host_.bell();
    };
    screen_->Connect(std::move(events));
    screen_->SetBackspace(backspace_);
    CaptureModeChanged();
}

ScreenContents StoredTerminal::CloseScreen()
{
    ScreenContents kept;
    if (screen_) {
        kept.text = screen_->Text();
        kept.row = screen_->CursorRow();
        kept.column = screen_->CursorColumn();
    }
    screen_.reset();
    return kept;
}

void StoredTerminal::RestoreScreen(const ScreenContents& contents)
{
    if (!screen_) return;
    screen_->SetText(contents.text);
    screen_->SetCursor(contents.row, contents.column);
}

void StoredTerminal::Disp(std::string_view bytes)
{
    // Received data: captured like Disp, and a position outside the screen
    // is skipped (there is no caller to raise 380 to).
    if (captureMode_ == com::TOLVEX_CAPTURE_BINARY) Capture(bytes);
    if (!screen_) return;
    screen_->Receive(bytes);
    if (host_.invalidate) host_.invalidate();
}

void StoredTerminal::Capture(std::string_view bytes)
{
    if (!capture_ || bytes.empty()) return;
    std::fwrite(bytes.data(), 1, bytes.size(), capture_);
    std::fflush(capture_);
}

void StoredTerminal::CaptureModeChanged()
{
    if (screen_) screen_->SetCaptureMode(capture_ ? captureMode_ : static_cast<std::int16_t>(-1));
}

void StoredTerminal::SendKey(std::string_view bytes)
{
    if (bytes.empty()) return;
    try {
        keys_.send(bytes);
    } catch (const ControlError&) {
        // A key the line refuses (a transfer runs) is dropped.
    }
}

void StoredTerminal::TypeCharacter(std::int16_t keyAscii)
{
    if (!keys_.open()) return;
    if (host_.fireKeyPress) host_.fireKeyPress(keyAscii);
    SendKey(terminal::KeyAsciiBytes(keyAscii));
}

void StoredTerminal::TypeSpecialKey(terminal::SpecialKey key)
{
    if (!keys_.open()) return;
    SendKey(terminal::SpecialKeyBytes(key, keyTranslation_));
}

void StoredTerminal::Layout()
{
    if (screen_) screen_->Layout();
    if (host_.invalidate) host_.invalidate();
}

void StoredTerminal::StartOver()
{
    CloseCapture();
    screen_.reset();
    // The screen starts anew with the cursor at the top left.
    cursorRow_ = 1;
    cursorColumn_ = 1;
}

void StoredTerminal::KeepReferenceColours()
{
    referenceFore_ = foreColor_;
    referenceBack_ = backColor_;
    if (screen_) screen_->SetReferenceColours(referenceFore_, referenceBack_);
}

void StoredTerminal::SetCaptureFilename(const std::string& name)
{
    if (name.empty()) {
        if (!capture_) Fail(kErrInvalidPropertyValue);
        CloseCapture();
        return;
    }
    if (capture_) Fail(kErrInvalidPropertyValue);
    // Appended to, created when missing.
    std::FILE* f = std::fopen(name.c_str(), "ab");
    if (!f) Fail(kErrInvalidPropertyValue);
    capture_ = f;
    captureName_ = name;
    CaptureModeChanged();
}

void StoredTerminal::CloseCapture()
{
    if (!capture_) return;
    // A visible capture ends with the lines still on the screen.
    if (captureMode_ == com::TOLVEX_CAPTURE_VISIBLE && screen_) {
        for (const auto& line : screen_->ScreenLines()) {
            std::fwrite(line.data(), 1, line.size(), capture_);
            std::fwrite("\r\n", 1, 2, capture_);
        }
    }
    std::fclose(capture_);
    capture_ = nullptr;
    captureName_.clear();
    CaptureModeChanged();
}

}  // namespace tolvex::control
