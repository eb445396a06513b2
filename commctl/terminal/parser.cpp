#include "terminal/parser.h"

namespace tolvex::terminal {

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kSub = 0x1A;
// Parameters larger than this are taken as this: every use clamps to the
// screen anyway, and the sum of digits cannot overflow.
constexpr int kParamMax = 9999;

// The finals of an ANSI control sequence; any other byte from 0x40 to 0x7E
// also ends a sequence, which is then ignored.
constexpr bool IsFinal(std::uint8_t b) { return b >= 0x40 && b <= 0x7E; }

}  // namespace

Parser::Parser(Emulation emulation, ParserCallbacks& out) : emulation_(emulation), out_(out) {}

void Parser::Reset()
{
    state_ = State::kGround;
    heldLead_ = 0;
    escapeLength_ = 0;
    paramCount_ = 0;
}

bool Parser::Write(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    if (heldLead_ != 0 && n > 0) {
        const std::uint8_t lead = heldLead_;
        heldLead_ = 0;
        if (IsTrailByte(p[0])) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(p[0])};
            out_.Print(std::string_view(pair, 2));
            i = 1;
        } else {
            const char single = static_cast<char>(lead);
            out_.Print(std::string_view(&single, 1));
        }
    }
    const bool escapes = emulation_ != Emulation::kTty;
    while (i < n) {
        if (state_ != State::kGround) {
            const Step step = SequenceByte(p[i]);
            if (step == Step::kStop) {
                Reset();
                return false;
            }
            if (step == Step::kConsumed) ++i;
            continue;
        }
        // A printable run: up to the next control byte, with double-byte
        // characters kept whole.
        std::size_t start = i;
        while (i < n) {
            const std::uint8_t b = p[i];
            if (b < 0x20) break;
            if (IsLeadByte(b)) {
                if (i + 1 == n) break;  // the trail may come with the next data
                i += IsTrailByte(p[i + 1]) ? 2 : 1;
            } else {
                ++i;
            }
        }
        if (i > start) out_.Print(std::string_view(bytes.data() + start, i - start));
        if (i == n) break;
        const std::uint8_t b = p[i];
        if (b >= 0x20) {  // a lead byte at the end of the data
            heldLead_ = b;
            break;
        }
        ++i;
        if (b == kEsc && escapes) {
            state_ = State::kEscape;
            escapeLength_ = 0;
            continue;
        }
        out_.Control(b);
    }
    return true;
}

Parser::Step Parser::SequenceByte(std::uint8_t b)
{
    switch (state_) {
    case State::kGround: return Step::kConsumed;
    case State::kEscape:
        if (b == '[' && !Vt52Escapes()) {
            state_ = State::kCsi;
            leader_ = 0;
            intermediate_ = false;
            paramCount_ = 0;
            paramOpen_ = false;
            return Step::kConsumed;
        }
        if (emulation_ == Emulation::kAnsi) {
            // ANSI knows only ESC [: the ESC is shown and the byte read anew.
            state_ = State::kGround;
            out_.Control(kEsc);
            return Step::kAgain;
        }
        if (b == kEsc) return Step::kConsumed;  // ESC ESC: the second one starts again
        if (b < 0x20) {
            if (b == kCan || b == kSub) state_ = State::kGround;
            else out_.Control(b);  // control bytes act inside a sequence
            return Step::kConsumed;
        }
        escape_[0] = static_cast<char>(b);
        escapeLength_ = 1;
        if (Vt52Escapes()) {
            if (b == 'Y') {
                state_ = State::kVt52Row;
                return Step::kConsumed;
            }
            state_ = State::kGround;
            out_.Escape(std::string_view(escape_, 1));
            return Step::kConsumed;
        }
        // VT100: "(", ")" and "#" take one more byte.
        if (b == '(' || b == ')' || b == '#') {
            state_ = State::kEscapeArg;
            return Step::kConsumed;
        }
        state_ = State::kGround;
        out_.Escape(std::string_view(escape_, 1));
        return Step::kConsumed;
    case State::kEscapeArg:
        if (b == kEsc) {
            state_ = State::kEscape;
            return Step::kConsumed;
        }
        if (b < 0x20) {
            if (b == kCan || b == kSub) state_ = State::kGround;
            else out_.Control(b);
            return Step::kConsumed;
        }
        escape_[1] = static_cast<char>(b);
        state_ = State::kGround;
        out_.Escape(std::string_view(escape_, 2));
        return Step::kConsumed;
    case State::kVt52Row:
        escape_[1] = static_cast<char>(b);
        state_ = State::kVt52Column;
        return Step::kConsumed;
    case State::kVt52Column:
        escape_[2] = static_cast<char>(b);
        state_ = State::kGround;
        out_.Escape(std::string_view(escape_, 3));
        return Step::kConsumed;
    case State::kCsi:
        if (b >= '0' && b <= '9') {
            if (paramCount_ == 0) paramCount_ = 1, params_[0] = -1;
            int& v = params_[paramCount_ - 1];
            v = v < 0 ? b - '0' : v * 10 + (b - '0');
            if (v > kParamMax) v = kParamMax;
            paramOpen_ = true;
            return Step::kConsumed;
        }
        if (b == ';') {
            if (paramCount_ == 0) paramCount_ = 1, params_[0] = -1;
            if (paramCount_ < kMaxParams) params_[paramCount_++] = -1;
            return Step::kConsumed;
        }
        if (b == '?' || b == '=' || b == '>' || b == '<') {
            if (leader_ == 0) leader_ = static_cast<char>(b);
            return Step::kConsumed;
        }
        if (b >= 0x20 && b <= 0x2F) {
            intermediate_ = true;
            return Step::kConsumed;
        }
        if (IsFinal(b)) {
            state_ = State::kGround;
            return FinishCsi(static_cast<char>(b)) ? Step::kConsumed : Step::kStop;
        }
        if (b == kEsc) {
            state_ = State::kEscape;
            return Step::kConsumed;
        }
        if (b == kCan || b == kSub) {
            state_ = State::kGround;
            return Step::kConsumed;
        }
        if (b < 0x20) {
            out_.Control(b);
            return Step::kConsumed;
        }
        // Any other byte (0x7F, 0x80-0xFF) abandons the sequence and is read anew.
        state_ = State::kGround;
        return Step::kAgain;
    }
    return Step::kConsumed;
}

bool Parser::FinishCsi(char final)
{
    if (intermediate_) return true;
    const char leader[1] = {leader_};
    return out_.ControlSequence(std::string_view(leader, leader_ ? 1 : 0),
                                std::span<const int>(params_, static_cast<std::size_t>(paramCount_)), final);
}

}  // namespace tolvex::terminal
