#include "variant_convert.h"

#include <cmath>
#include <cstdlib>

namespace tolvex::control {

using com::VarType;

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// A whole text as a number: optional sign, digits, optional fraction.
std::optional<double> TextNumber(std::string_view text)
{
    text = Trim(text);
    if (EqualsNoCase(text, "true")) return -1.0;
    if (EqualsNoCase(text, "false")) return 0.0;
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0 || i != text.size()) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<std::int32_t> RoundToInt32(double d)
{
    if (!std::isfinite(d)) return std::nullopt;
    double r = std::nearbyint(d);  // the default rounding mode rounds half to even
    if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

}  // namespace

std::optional<std::int32_t> ToInteger(const com::Variant& v)
{
    switch (v.type()) {
    case VarType::Empty: return 0;
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool: return v.integer();
    case VarType::R4: return RoundToInt32(v.real());
    case VarType::String:
    case VarType::Bytes:
        if (auto d = TextNumber(v.text())) return RoundToInt32(*d);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::int16_t> ToInt16(const com::Variant& v)
{
    auto i = ToInteger(v);
    if (!i || *i < -32768 || *i > 32767) return std::nullopt;
    return static_cast<std::int16_t>(*i);
}

std::optional<float> ToReal(const com::Variant& v)
{
    double d = 0;
    switch (v.type()) {
    case VarType::Empty: return 0.0f;
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool: return static_cast<float>(v.integer());
    case VarType::R4: d = v.real(); break;
    case VarType::String:
    case VarType::Bytes: {
        auto n = TextNumber(v.text());
        if (!n) return std::nullopt;
        d = *n;
        break;
    }
    }
    if (!std::isfinite(d) || std::fabs(d) > 3.0e38) return std::nullopt;
    return static_cast<float>(d);
}

std::string ToText(const com::Variant& v)
{
    switch (v.type()) {
    case VarType::Empty: return {};
    case VarType::I2:
    case VarType::I4: return std::to_string(v.integer());
    case VarType::Bool: return v.integer() ? "True" : "False";
    case VarType::R4: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v.real()));
        return buf;
    }
    case VarType::String:
    case VarType::Bytes: return v.text();
    }
    return {};
}

}  // namespace tolvex::control
