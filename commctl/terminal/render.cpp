#include "terminal/render.h"

#include "common/cp932.h"
#include "terminal/parser.h"
#include "terminal/screen.h"

namespace tolvex::terminal {

char32_t LineDrawingGlyph(std::uint8_t byte)
{
    static constexpr char32_t kGlyphs[31] = {
        0x25C6, 0x2592, 0x2409, 0x240C, 0x240D, 0x240A, 0x00B0, 0x00B1, 0x2424, 0x240B, 0x2518,
        0x2510, 0x250C, 0x2514, 0x253C, 0x23BA, 0x23BB, 0x2500, 0x23BC, 0x23BD, 0x251C, 0x2524,
        0x2534, 0x252C, 0x2502, 0x2264, 0x2265, 0x03C0, 0x2260, 0x00A3, 0x00B7};
    if (byte < 0x60 || byte > 0x7E) return byte;
    return kGlyphs[byte - 0x60];
}

ColourPair FilterColours(int fore, int back, int filter, int referenceFore, int referenceBack)
{
    fore &= 15;
    back &= 15;
    if (filter == 1) {
        if (fore == back) return fore >= 8 ? ColourPair{15, 15} : ColourPair{7, 7};
        if (fore >= 8) return {15, back == 0 ? 0 : 7};
        return back == 0 ? ColourPair{7, 0} : ColourPair{0, 7};
    }
    if (filter == 2) {
        if (fore == back) return {15, 15};
        if (fore == 0 || fore == 1 || fore == 8) return {referenceFore & 15, referenceBack & 15};
        return {referenceBack & 15, referenceFore & 15};
    }
    return {fore, back};
}

std::string SpecialKeyBytes(SpecialKey key, int t)
{
    const bool pc = t == 0 || t == 1;
    switch (key) {
    case SpecialKey::kTab: return "\t";
    case SpecialKey::kLeft:
    case SpecialKey::kUp:
    case SpecialKey::kRight:
    case SpecialKey::kDown: {
        static constexpr char kScan[] = {0x4B, 0x48, 0x4D, 0x50};
        static constexpr char kLetter[] = {'D', 'A', 'C', 'B'};
        const int i = static_cast<int>(key) - static_cast<int>(SpecialKey::kLeft);
        if (pc) return std::string{'\0', kScan[i]};
        if (t == 2) return std::string("\x1b[1") + kLetter[i];
        if (t == 3) return std::string("\x1b") + kLetter[i];
        return std::string("\x1b[") + kLetter[i];
    }
    case SpecialKey::kDelete: return t == 3 || t == 4 ? "\x7f" : "";
    case SpecialKey::kF1:
    case SpecialKey::kF2:
    case SpecialKey::kF3:
    case SpecialKey::kF4:
        if (t != 4) return "";
        return std::string("\x1bO") + static_cast<char>('P' + (static_cast<int>(key) - static_cast<int>(SpecialKey::kF1)));
    }
    return "";
}

std::string KeyAsciiBytes(std::int16_t keyAscii)
{
    const auto v = static_cast<std::uint16_t>(keyAscii);
    if (v == 0) return "";
    if (v > 0xFF) return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
    return std::string(1, static_cast<char>(v));
}

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string LineUtf8(std::string_view bytes, const std::uint16_t* attrs)
{
    std::size_t n = bytes.size();
    while (n > 0 && bytes[n - 1] == ' ' && !(attrs[n - 1] & kLineDrawing)) --n;
    std::string out;
    std::size_t run = 0;  // start of the cells not yet converted
    auto flush = [&](std::size_t end) {
        if (end > run) out += Cp932ToUtf8(bytes.substr(run, end - run), "?", nullptr);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        const std::uint16_t a = attrs[i];
        if (a & kLeadHalf) {
            ++i;  // the pair converts with its run
            continue;
        }
        // Cells that are not a character of their own in the code page:
        // shown as they are (control bytes), as their glyph, or as "?".
        const bool plain = !(a & kLineDrawing) && b >= 0x20 && b != 0x80 && b != 0xA0 && !IsLeadByte(b) && b < 0xFD;
        if (plain) continue;
        flush(i);
        run = i + 1;
        if (a & kLineDrawing) AppendUtf8(out, LineDrawingGlyph(b));
        else if (b < 0x20) out += static_cast<char>(b);
        else out += '?';
    }
    flush(n);
    return out;
}

}  // namespace tolvex::terminal
