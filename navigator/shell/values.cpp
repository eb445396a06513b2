#include "values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tessaro {

SplitOverflow::SplitOverflow(std::size_t slot, std::size_t capacity)
    : std::out_of_range("field " + std::to_string(slot) + " beyond an array of " +
                        std::to_string(capacity)),
      slot_(slot)
{
}

std::string_view TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

namespace {

// Length of the delimiter match at position i of text (0 when none).
std::size_t DelimiterAt(std::string_view text, std::size_t i, std::string_view delimiter)
{
    return text.compare(i, delimiter.size(), delimiter) == 0 ? delimiter.size() : 0;
}

// Shared body of SplitWords and SplitItems.
template <std::size_t N>
int SplitRuns(std::string_view text, std::string_view delimiter, FieldArray<N>& out,
              bool insideField)
{
    out.clear(0, 10);
    if (delimiter.empty()) return -1;
    std::string field;
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::size_t len = DelimiterAt(text, i, delimiter)) {
            if (insideField) {
                out.store(n, std::string(TrimSpaces(field)));
                field.assign(1, ' ');
                ++n;
                insideField = false;
            } else {
                field.append(text.substr(i, len));
            }
            i += len;
        } else {
            field.push_back(text[i]);
            insideField = true;
            ++i;
        }
    }
    std::string last(TrimSpaces(field));
    const bool empty = last.empty();
    out.store(n, std::move(last));
    return empty ? static_cast<int>(n) - 1 : static_cast<int>(n);
}

}  // namespace

int SplitFields(std::string_view text, std::string_view delimiter, FieldDataArray& out)
{
    out.clear(0, 20);
    if (delimiter.empty()) return -1;
    std::string field;
    std::size_t n = 0;
    auto storeField = [&] {
        out.store(n, std::string(TrimSpaces(field)));
        field.clear();
        ++n;
    };
    if (delimiter == " ") {
        // A space ends a field only after a character that is not a space;
        // leading spaces and runs of spaces are skipped.
        bool previousSpace = true;
        for (char c : text) {
            if (c == ' ') {
                if (!previousSpace) storeField();
                previousSpace = true;
            } else {
                field.push_back(c);
                previousSpace = false;
            }
        }
    } else {
        std::size_t i = 0;
        while (i < text.size()) {
            if (std::size_t len = DelimiterAt(text, i, delimiter)) {
                storeField();
                i += len;
            } else {
                field.push_back(text[i]);
                ++i;
            }
        }
    }
    storeField();
    return static_cast<int>(n) - 1;
}

int SplitWords(std::string_view text, std::string_view delimiter, FieldDataArray& out)
{
    return SplitRuns(text, delimiter, out, false);
}

int SplitItems(std::string_view text, std::string_view delimiter, ItemDataArray& out)
{
    return SplitRuns(text, delimiter, out, true);
}

double NumericValue(std::string_view text)
{
    // Collect sign, digits and one decimal point, skipping spaces, then let
    // from_chars do the correctly rounded conversion.
    std::string number;
    bool negative = false;
    bool signSeen = false;
    bool pointSeen = false;
    bool digitSeen = false;
    for (char c : text) {
        if (c == ' ') continue;
        if ((c == '-' || c == '+') && !signSeen && !digitSeen && !pointSeen) {
            negative = (c == '-');
            signSeen = true;
        } else if (c >= '0' && c <= '9') {
            number.push_back(c);
            digitSeen = true;
        } else if (c == '.' && !pointSeen) {
            number.push_back(c);
            pointSeen = true;
        } else {
            break;
        }
        // A sign only counts before the number starts.
        signSeen = true;
    }
    if (!digitSeen) return 0.0;
    double value = 0.0;
    const char* begin = number.data();
    const char* end = begin + number.size();
    auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        value = std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    (void)ptr;
    return negative ? -value : value;
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value);  // default rounding mode: to nearest, ties to even
}

std::int16_t RoundToInt16(double value)
{
    const double r = RoundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int16_t>::min())) return std::numeric_limits<std::int16_t>::min();
    if (r > std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(r);
}

namespace detail {

std::string FormatFixedReference(double value, int decimals)
{
    if (decimals < 0) decimals = 0;
    if (std::isnan(value)) return "0";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
    const bool negative = value < 0.0;
    // The 15 significant decimal digits of |value| and its decimal exponent:
    // |value| = d0.d1d2...d14 x 10^exponent.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    digits.push_back(buf[0]);
    digits.append(buf + 2, 14);
    const int exponent = std::atoi(buf + 17);

    // Integer and fraction digits of the 15-digit value.
    std::string whole;
    std::string fraction;
    if (exponent >= 0) {
        const auto intLen = static_cast<std::size_t>(exponent) + 1;
        if (intLen >= digits.size()) {
            whole = digits + std::string(intLen - digits.size(), '0');
        } else {
            whole = digits.substr(0, intLen);
            fraction = digits.substr(intLen);
        }
    } else {
        whole = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    const auto places = static_cast<std::size_t>(decimals);
    const bool roundUp = fraction.size() > places && fraction[places] >= '5';
    fraction.resize(places, '0');

    // Round half away from zero, carrying through fraction and integer digits.
    std::string number = whole + fraction;
    if (roundUp) {
        std::size_t i = number.size();
        while (i > 0 && number[i - 1] == '9') {
            number[i - 1] = '0';
            --i;
        }
        if (i > 0) {
            ++number[i - 1];
        } else {
            number.insert(number.begin(), '1');
        }
    }
    std::string out = number.substr(0, number.size() - places);
    const auto nz = out.find_first_not_of('0');
    out = nz == std::string::npos ? "0" : out.substr(nz);
    if (places > 0) out += "." + number.substr(number.size() - places);
    if (negative) out.insert(0, "-");
    return out;
}

}  // namespace detail

// The common range without temporary strings: the same digits as the
// reference formatter, taken from to_chars instead of printf.
void AppendFixed(std::string& out, double value, int decimals)
{
    // Outside the common range the general formatter does the work.
    if (!(std::fabs(value) < 1e15) || decimals < 0 || decimals > 6) {
        out.append(detail::FormatFixedReference(value, decimals));
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

std::string FormatFixed(double value, int decimals)
{
    std::string out;
    AppendFixed(out, value, decimals);
    return out;
}

std::string PrintInteger(long long value)
{
    std::string s = std::to_string(value);
    if (value >= 0) s.insert(0, " ");
    s.push_back(' ');
    return s;
}

ScaleTable BuildScaleTable()
{
    struct Row {
        float units;
        float bar;
        const char* label;
    };
    static constexpr Row kRows[kScaleLevelCount] = {
        {0.01f, 20000, "20Km"}, {0.012f, 20000, "20Km"}, {0.015f, 10000, "10Km"},
        {0.017f, 10000, "10Km"}, {0.02f, 10000, "10Km"}, {0.025f, 10000, "10Km"},
        {0.03f, 5000, "5Km"},   {0.035f, 5000, "5Km"},   {0.04f, 5000, "5Km"},
        {0.05f, 2000, "2Km"},   {0.06f, 2000, "2Km"},    {0.07f, 2000, "2Km"},
        {0.08f, 2000, "2Km"},   {0.1f, 2000, "2Km"},     {0.12f, 2000, "2Km"},
        {0.15f, 1000, "1Km"},   {0.17f, 1000, "1Km"},    {0.2f, 1000, "1Km"},
        {0.25f, 1000, "1Km"},   {0.3f, 500, "500m"},     {0.35f, 500, "500m"},
        {0.4f, 500, "500m"},    {0.5f, 200, "200m"},     {0.6f, 200, "200m"},
        {0.7f, 200, "200m"},    {0.8f, 200, "200m"},     {1.0f, 200, "200m"},
        {1.2f, 200, "200m"},    {1.5f, 100, "100m"},     {1.7f, 100, "100m"},
        {2.0f, 100, "100m"},    {2.5f, 100, "100m"},     {3.0f, 50, "50m"},
        {3.5f, 50, "50m"},      {4.0f, 50, "50m"},       {5.0f, 20, "20m"},
        {6.0f, 20, "20m"},      {7.0f, 20, "20m"},       {8.0f, 20, "20m"},
        {10.0f, 20, "20m"},     {12.0f, 20, "20m"},      {15.0f, 10, "10m"},
        {17.0f, 10, "10m"},     {20.0f, 10, "10m"},      {25.0f, 10, "10m"},
    };
    ScaleTable table{};
    for (int i = 0; i < kScaleLevelCount; ++i) {
        table[static_cast<std::size_t>(i)] = {kRows[i].units, kRows[i].bar, kRows[i].label};
    }
    return table;
}

}  // namespace tessaro
