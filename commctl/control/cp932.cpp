#include "cp932.h"

#include <cerrno>
#include <iconv.h>

namespace tolvex {

namespace {

std::string Convert(std::string_view in, const char* from, const char* to)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {
            // EILSEQ or EINVAL: one replacement character for the bad byte.
            if (out.size() - used < 1) out.resize(out.size() * 2);
            out[used++] = '?';
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    out.resize(used);
    return out;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) { return Convert(utf8, "UTF-8", "CP932"); }
std::string Cp932ToUtf8(std::string_view cp932) { return Convert(cp932, "CP932", "UTF-8"); }

}  // namespace tolvex
