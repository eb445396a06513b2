// What the terminal's viewers need besides the cells: the glyphs of the
// line-drawing characters, the colour filter, and the bytes typed keys send.
#pragma once

#include <cstdint>
#include <string>

namespace tolvex::terminal {

// The glyph a line-drawing cell shows for its byte 0x60-0x7E (the VT100
// special graphics set); other bytes are returned unchanged.
char32_t LineDrawingGlyph(std::uint8_t byte);

// Colours as drawn under ColorFilter (0 full, 1 grey, 2 mono); `referenceFore`
// and `referenceBack` are the colours loaded with the control.
struct ColourPair {
    int fore;
    int back;
    bool operator==(const ColourPair&) const = default;
};
ColourPair FilterColours(int fore, int back, int filter, int referenceFore, int referenceBack);

// Special keys the terminal translates.
enum class SpecialKey : std::uint8_t { kTab, kLeft, kUp, kRight, kDown, kDelete, kF1, kF2, kF3, kF4 };

// The bytes a special key sends under KeyTranslation (0 NONE .. 4 VT100);
// empty when the key sends nothing there.
std::string SpecialKeyBytes(SpecialKey key, int keyTranslation);

// The bytes of a typed character as KeyPress delivers it (a double-byte
// character has its lead byte in the high byte); empty for 0.
std::string KeyAsciiBytes(std::int16_t keyAscii);

// UTF-8 of what a screen line shows: CP932 decoded, line-drawing cells as
// their glyphs, control bytes as themselves, trailing spaces removed.
std::string LineUtf8(std::string_view bytes, const std::uint16_t* attrs);

}  // namespace tolvex::terminal
