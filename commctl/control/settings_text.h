// The Settings text as the control sees it: "baud,parity,data,stop", for example
// "9600,N,8,1". Fields may be left empty to keep their values; matching is
// by prefix in table order and ignores case. The grammar itself is the serial
// engine's (ParseSettingsText); these helpers keep the control's names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvex::control {

struct LineSettings {
    std::int32_t baud = 9600;
    std::int32_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int32_t dataBits = 8;  // 4..8
    std::int32_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// Applies the present fields of `text` to `settings`. False (and `settings`
// unchanged) when a field is invalid or text is left over.
bool ParseSettings(std::string_view text, LineSettings& settings);

// ASCII upper case, as the Settings property stores its text.
std::string UpperAscii(std::string_view text);

}  // namespace tolvex::control
