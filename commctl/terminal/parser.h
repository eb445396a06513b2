// Terminal layer 1: received bytes in, actions out.
//
// One parser per emulation splits the byte stream into printable runs,
// control bytes and escape sequences, and calls ParserCallbacks for each.
// Bytes may be split anywhere: a sequence not complete at the end of a
// Write() is held until the next one. A double-byte CP932 character is never
// split between two Print() calls.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tolvex::terminal {

class ParserCallbacks {
public:
    virtual ~ParserCallbacks() = default;
    // A run of printable bytes (CP932).
    virtual void Print(std::string_view text) = 0;
    // A control byte below 0x20 (BS, HT, LF, VT, FF, CR, BEL, ENQ, SO, SI, ...).
    virtual void Control(std::uint8_t byte) = 0;
    // ESC and what follows up to its final byte, without the ESC: "7",
    // "(0", "#8", and for VT52 "Y" with its two position bytes.
    virtual void Escape(std::string_view sequence) = 0;
    // ESC [ leader params final: `leader` is a private marker ("?", "=")
    // or empty; a missing parameter is -1.
    virtual void ControlSequence(std::string_view leader, std::span<const int> params, char final) = 0;
};

// The parser's interface; one implementation per emulation.
class Parser {
public:
    virtual ~Parser() = default;
    virtual void Write(std::string_view bytes) = 0;
    // Forget a held, incomplete sequence.
    virtual void Reset() = 0;
};

}  // namespace tolvex::terminal
