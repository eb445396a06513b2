// Terminal layer 1: received bytes in, actions out.
//
// One parser per emulation splits the byte stream into printable runs,
// control bytes and escape sequences, and calls ParserCallbacks for each.
// Bytes may be split anywhere: a sequence not complete at the end of a
// Write() is held until the next one, in every emulation. A double-byte
// CP932 character is never split between two Print() calls: a lead byte at
// the very end of the data waits for its trail byte.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tolvex::terminal {

enum class Emulation : std::uint8_t { kTty = 1, kAnsi = 2, kVt52 = 3, kVt100 = 4 };

// CP932 lead and trail bytes of a double-byte character.
constexpr bool IsLeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrailByte(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

class ParserCallbacks {
public:
    virtual ~ParserCallbacks() = default;
    // A run of printable bytes (CP932); never ends inside a double-byte
    // character whose trail byte is still to come.
    virtual void Print(std::string_view text) = 0;
    // A control byte below 0x20 (BS, HT, LF, VT, FF, CR, BEL, ENQ, SO, SI,
    // and in TTY and ANSI also a lone ESC).
    virtual void Control(std::uint8_t byte) = 0;
    // ESC and what follows up to its final byte, without the ESC: "7",
    // "(0", "#8", and for VT52 "Y" with its two position bytes.
    virtual void Escape(std::string_view sequence) = 0;
    // ESC [ leader params final: `leader` is a private marker ("?", "=",
    // ">") or empty; a missing parameter is -1. Returns false when the data
    // must not be processed further (a cursor position outside the screen).
    virtual bool ControlSequence(std::string_view leader, std::span<const int> params, char final) = 0;
};

class Parser {
public:
    Parser(Emulation emulation, ParserCallbacks& out);

    // Feeds bytes; returns false when a callback stopped the processing
    // (the rest of `bytes` is dropped and nothing is held).
    bool Write(std::string_view bytes);
    // Forget a held, incomplete sequence.
    void Reset();
    // VT100 in VT52 mode reads VT52 escapes.
    void SetVt52Mode(bool on) { vt52Mode_ = on; }
    bool Vt52Mode() const { return vt52Mode_; }

private:
    enum class State : std::uint8_t { kGround, kEscape, kEscapeArg, kVt52Row, kVt52Column, kCsi };
    static constexpr int kMaxParams = 16;

    bool Vt52Escapes() const { return emulation_ == Emulation::kVt52 || vt52Mode_; }
    enum class Step : std::uint8_t { kConsumed, kAgain, kStop };
    // Handles one byte of a sequence: consumed, to be read again as
    // ground data, or stop.
    Step SequenceByte(std::uint8_t b);
    bool FinishCsi(char final);

    Emulation emulation_;
    ParserCallbacks& out_;
    bool vt52Mode_ = false;
    State state_ = State::kGround;
    std::uint8_t heldLead_ = 0;  // a lead byte at the end of the last Write
    char escape_[4] = {};
    int escapeLength_ = 0;
    char leader_ = 0;
    bool intermediate_ = false;  // a CSI with intermediate bytes: read, then ignored
    int params_[kMaxParams] = {};
    int paramCount_ = 0;
    bool paramOpen_ = false;  // digits seen for the current parameter
};

}  // namespace tolvex::terminal
