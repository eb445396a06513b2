#include "mapview/fixed2.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "shell/values.h"

namespace tessaro::mapview {

double RoundFixed2(double value, std::string& text)
{
    if (!std::isfinite(value)) {
        text = FormatFixed(value, 2);
        return std::isnan(value) ? std::numeric_limits<double>::infinity() : value;
    }
    // Below 1e7 the hundredths are exact to far better than 1e-5 of a unit,
    // so a fraction clearly away from one half rounds the same way as the
    // decimal rounding of FormatFixed. Values near a half, and large values,
    // take the decimal path.
    const double magnitude = std::fabs(value);
    if (magnitude < 1e7) {
        const double scaled = magnitude * 100.0;
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::fabs(fraction - 0.5) > 1e-5) {
            const auto hundredths = static_cast<long long>(whole) + (fraction > 0.5 ? 1 : 0);
            char buf[32];
            char* p = buf;
            if (value < 0.0) *p++ = '-';
            p = std::to_chars(p, buf + sizeof buf, hundredths / 100).ptr;
            *p++ = '.';
            *p++ = static_cast<char>('0' + (hundredths % 100) / 10);
            *p++ = static_cast<char>('0' + hundredths % 10);
            text.assign(buf, p);
            const double result = static_cast<double>(hundredths) / 100.0;
            return value < 0.0 ? -result : result;
        }
    }
    text = FormatFixed(value, 2);
    return NumericValue(text);
}

}  // namespace tessaro::mapview
