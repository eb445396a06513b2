#include "gps/fixed_text.h"

#include <charconv>
#include <cmath>

#include "shell/values.h"

namespace tessaro::gps {

void AppendFixed(std::string& out, double value, int decimals)
{
    // Outside the common range the general formatter does the work.
    if (!(std::fabs(value) < 1e15) || decimals < 0 || decimals > 6) {
        out.append(FormatFixed(value, decimals));
        return;
    }
    // The 15 significant digits of |value| and its decimal exponent, exactly
    // as printf's "%.14e" gives them: |value| = d0.d1...d14 x 10^exponent.
    char sci[32];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific, 14);
    const char* e = res.ptr;
    while (e > sci && *(e - 1) != 'e') --e;
    int exponent = 0;
    std::from_chars(*e == '+' ? e + 1 : e, res.ptr, exponent);
    char digits[15];
    digits[0] = sci[0];
    for (int i = 0; i < 14; ++i) digits[i + 1] = sci[2 + i];

    // number = integer digits followed by `decimals` fraction digits;
    // next = the first digit dropped (decides the rounding).
    char number[48];
    int len = 0;
    char next = '0';
    const int intLen = exponent >= 0 ? exponent + 1 : 0;
    if (intLen == 0) number[len++] = '0';
    // digit k of the value counted from the first integer digit (k may be
    // negative for leading fraction zeros)
    auto digitAt = [&](int k) -> char {
        const int idx = exponent >= 0 ? k : k + exponent + 1;
        return idx >= 0 && idx < 15 ? digits[idx] : '0';
    };
    for (int k = 0; k < intLen; ++k) number[len++] = digitAt(k);
    for (int k = 0; k < decimals; ++k) number[len++] = digitAt(intLen + k);
    next = digitAt(intLen + decimals);

    // round half away from zero, carrying into the integer digits
    int carryAt = len;
    if (next >= '5') {
        while (carryAt > 0 && number[carryAt - 1] == '9') number[--carryAt] = '0';
    }
    if (value < 0.0) out.push_back('-');
    const int wholeLen = len - decimals;
    bool carryOut = false;
    if (next >= '5') {
        if (carryAt > 0)
            ++number[carryAt - 1];
        else
            carryOut = true;
    }
    // integer part without leading zeros, at least one digit
    int first = 0;
    if (carryOut) {
        out.push_back('1');
        first = wholeLen;  // everything after the new leading 1 is kept
        out.append(number, static_cast<std::size_t>(wholeLen));
    } else {
        while (first < wholeLen - 1 && number[first] == '0') ++first;
        out.append(number + first, static_cast<std::size_t>(wholeLen - first));
    }
    if (decimals > 0) {
        out.push_back('.');
        out.append(number + wholeLen, static_cast<std::size_t>(decimals));
    }
}

}  // namespace tessaro::gps
