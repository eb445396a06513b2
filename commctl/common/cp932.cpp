#include "common/cp932.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace tolvex {

namespace {

// One iconv conversion of a whole buffer, replacing what cannot be converted.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    std::size_t* bad)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.reserve(in.size() * 3 / 2 + 4);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buf[4096];
    while (inLeft > 0) {
        char* outPtr = buf;
        std::size_t outLeft = sizeof buf;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<std::size_t>(outPtr - buf));
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a truncated sequence at the end): replace one
            // input unit and go on. For UTF-8 input, skip the whole malformed
            // or unmappable character.
            std::size_t skip = 1;
            if (std::strcmp(from, "UTF-8") == 0) {
                const auto lead = static_cast<unsigned char>(*inPtr);
                std::size_t len = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                // Only skip the continuation bytes that are really there.
                skip = 1;
                while (skip < len && skip < inLeft &&
                       (static_cast<unsigned char>(inPtr[skip]) & 0xC0) == 0x80)
                    ++skip;
            }
            inPtr += skip;
            inLeft -= skip;
            out.append(replacement);
            if (bad) ++*bad;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

bool IsAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}


}  // namespace

std::string Cp932ToUtf8(std::string_view cp932, std::string_view replacement, std::size_t* replaced)
{
    if (IsAscii(cp932)) return std::string(cp932);
    return Convert("UTF-8", "CP932", cp932, replacement, replaced);
}

std::string Utf8ToCp932(std::string_view utf8, std::size_t* unmapped)
{
    if (IsAscii(utf8)) return std::string(utf8);
    return Convert("CP932", "UTF-8", utf8, "?", unmapped);
}

std::string SanitizeUtf8(std::string_view utf8, std::size_t* bad)
{
    if (IsAscii(utf8)) return std::string(utf8);
    return Convert("UTF-8", "UTF-8", utf8, "\xEF\xBF\xBD", bad);
}

}  // namespace tolvex
