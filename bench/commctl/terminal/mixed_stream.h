// The benchmarks' mixed VT100 stream: ASCII lines, CP932 text, cursor
// positions and moves, attributes, erasing, line drawing and clears, from a
// fixed seed.
#pragma once

#include <cstdio>
#include <random>
#include <string>

namespace {

inline std::string MixedStream(std::size_t size)
{
    std::mt19937 rng(16);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string out;
    out.reserve(size + 256);
    char buf[64];
    while (out.size() < size) {
        const int what = pick(100);
        if (what < 45) {  // a line of ASCII text
            const int n = 20 + pick(60);
            for (int i = 0; i < n; ++i) out += static_cast<char>(pick(6) == 0 ? ' ' : 'a' + pick(26));
            out += "\r\n";
        } else if (what < 65) {  // CP932 text
            const int n = 5 + pick(30);
            for (int i = 0; i < n; ++i) {
                out += static_cast<char>(0x88 + pick(0x98 - 0x88));
                int trail = 0x40 + pick(0xFC - 0x40);
                if (trail == 0x7F) trail = 0x80;
                out += static_cast<char>(trail);
            }
            out += pick(2) ? "\r\n" : " ";
        } else if (what < 77) {  // cursor positions and moves
            std::snprintf(buf, sizeof buf, "\x1b[%d;%dH", 1 + pick(25), 1 + pick(80));
            out += buf;
            std::snprintf(buf, sizeof buf, "\x1b[%d%c", 1 + pick(5), "ABCD"[pick(4)]);
            out += buf;
        } else if (what < 89) {  // attributes (VT100 keeps bold and reverse)
            static const char* const kSgr[] = {"\x1b[0m", "\x1b[1m", "\x1b[7m", "\x1b[1;31m", "\x1b[m", "\x1b[5m"};
            out += kSgr[pick(6)];
        } else if (what < 95) {  // erasing
            static const char* const kErase[] = {"\x1b[K", "\x1b[1K", "\x1b[2K", "\x1b[J", "\x1b[1J"};
            out += kErase[pick(5)];
        } else if (what < 99) {  // line drawing
            out += "\x1b(0lqqqqqqqqk\r\nx        x\r\nmqqqqqqqqj\x1b(B\r\n";
        } else {
            out += "\x1b[2J\x1b[H";
        }
    }
    out.resize(size);
    return out;
}

}  // namespace
