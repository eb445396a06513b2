// Conversion between UTF-8 and the control's code page CP932 (Shift-JIS).
// Characters that have no counterpart, and malformed input bytes, become "?".
#pragma once

#include <string>
#include <string_view>

namespace tolvex {

std::string Utf8ToCp932(std::string_view utf8);
std::string Cp932ToUtf8(std::string_view cp932);

}  // namespace tolvex
