// Conversion between UTF-8 and CP932 (Shift-JIS), the code page of the
// navigator's files and of the control's strings. Shared by the control and
// by its hosts; it depends on nothing but iconv. Interface strings of the
// control cross it with the defaults: "?" for what cannot be converted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvex {

// CP932 bytes to UTF-8: each byte that is not CP932 (or a lead byte cut off
// at the end) becomes `replacement`, counted in *replaced when given.
std::string Cp932ToUtf8(std::string_view cp932, std::string_view replacement = "?",
                        std::size_t* replaced = nullptr);

// UTF-8 to CP932: each character that CP932 cannot hold, and each malformed
// sequence, becomes one "?", counted in *unmapped when given.
std::string Utf8ToCp932(std::string_view utf8, std::size_t* unmapped = nullptr);

// UTF-8 to UTF-8 with each malformed sequence replaced by U+FFFD, counted in
// *bad when given.
std::string SanitizeUtf8(std::string_view utf8, std::size_t* bad = nullptr);

}  // namespace tolvex
