#include "terminal/control_screen.h"

#include "common/errors.h"
#include "serial/comm_engine.h"
#include "terminal/terminal.h"

#include <memory>

namespace tolvex::terminal {

namespace {

class ControlScreen final : public control::TerminalSide, private TerminalEvents {
public:
    ControlScreen(const control::TerminalSetup& s, const control::EngineLink& link, AnswerSink answers)
        : link_(link), answers_(std::move(answers)), core_(Config(s), this)
    {
    }

    void Resize(std::int16_t rows, std::int16_t columns) override { core_.Resize(rows, columns); }
    void SetColours(std::int16_t fore, std::int16_t back) override { core_.SetColours(fore, back); }
    void SetScrollRows(std::int16_t rows) override { core_.SetScrollRows(rows); }
    std::int16_t CursorRow() const override { return static_cast<std::int16_t>(core_.CursorRow()); }
    std::int16_t CursorColumn() const override { return static_cast<std::int16_t>(core_.CursorColumn()); }
    void SetCursor(std::int16_t row, std::int16_t column) override { core_.SetCursor(row, column); }
    std::string Text() const override { return core_.Text(); }
    void SetText(std::string_view text) override
    {
        TakeAnswerBack();
        if (!core_.SetText(text)) throw ControlError(kErrInvalidPropertyValue);
    }
    void Disp(std::string_view bytes) override
    {
        TakeAnswerBack();
        if (!core_.Disp(bytes)) throw ControlError(kErrInvalidPropertyValue);
    }
    void Receive(std::string_view bytes) override
    {
        TakeAnswerBack();
        core_.Receive(bytes);
    }
    std::string ScrollText() const override { return core_.ScrollText(); }
    std::vector<std::string> ScreenLines() const override { return core_.ScreenLines(); }
    std::int32_t SelStart() const override { return core_.SelStart(); }
    void SetSelStart(std::int32_t start) override
    {
        if (!core_.SetSelStart(start)) throw ControlError(kErrInvalidPropertyValue);
    }
    std::int32_t SelLength() const override { return core_.SelLength(); }
    void SetSelLength(std::int32_t length) override
    {
        if (!core_.SetSelLength(length)) throw ControlError(kErrInvalidPropertyValue);
    }
    std::string SelText() const override { return core_.SelText(); }
    void SetSelText(std::string_view text) override { core_.SetSelText(text); }
    void Layout() override {}
    void Connect(control::TerminalSideEvents events) override { events_ = std::move(events); }
    void SetCaptureMode(std::int16_t mode) override
    {
        core_.SetCapture(mode < 0 || mode > 2 ? Capture::kNone : static_cast<Capture>(mode));
    }
    void SetBackspace(std::int16_t backspace) override { core_.SetBackspace(backspace == 0); }
    void SetReferenceColours(std::int16_t fore, std::int16_t back) override { core_.SetReferenceColours(fore, back); }
    Terminal* Core() override { return &core_; }

private:
    static TerminalConfig Config(const control::TerminalSetup& s)
    {
        TerminalConfig c;
        c.emulation = static_cast<Emulation>(s.emulation < 1 || s.emulation > 4 ? 1 : s.emulation);
        c.rows = s.rows;
        c.columns = s.columns;
        c.scrollRows = s.scrollRows;
        c.fore = s.foreColor;
        c.back = s.backColor;
        c.referenceFore = s.referenceFore;
        c.referenceBack = s.referenceBack;
        return c;
    }

    // ENQ shows AnswerBack as it stands when the data arrives.
    void TakeAnswerBack()
    {
        if (link_.engine) core_.SetAnswerBack(link_.engine->AnswerBack());
    }

    // TerminalEvents
    void Answer(std::string_view bytes) override
    {
        if (answers_) {
            answers_(bytes);
            return;
        }
        // Without an open port an answer has nowhere to go.
        if (!link_.engine || !link_.engine->PortOpen()) return;
        try {
            link_.engine->Output(bytes);
        } catch (const ControlError&) {
            // A transfer holds the line: the answer is dropped.
        }
    }
    void Bell() override
    {
        if (events_.bell) events_.bell();
    }
    void SmoothScroll(bool on) override
    {
        if (events_.smoothScroll) events_.smoothScroll(on);
    }
    void Captured(std::string_view bytes) override
    {
        if (events_.capture) events_.capture(bytes);
    }
    void LineScrolledOff(std::string_view line) override
    {
        if (events_.lineLeft) events_.lineLeft(line);
    }

    control::EngineLink link_;
    AnswerSink answers_;
    control::TerminalSideEvents events_;
    Terminal core_;
};

}  // namespace

control::TerminalFactory ScreenFactory(AnswerSink answers)
{
    return [answers](const control::TerminalSetup& setup, const control::EngineLink& link)
               -> std::unique_ptr<control::TerminalSide> {
        return std::make_unique<ControlScreen>(setup, link, answers);
    };
}

}  // namespace tolvex::terminal
