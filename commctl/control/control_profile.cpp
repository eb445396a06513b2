#include "control_profile.h"

#include "ini_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tolvex::profile {

ControlProfile::ControlProfile() : file_(ProfilePath()) {}
ControlProfile::ControlProfile(std::filesystem::path file) : file_(std::move(file)) {}

int ControlProfile::ReadInt(std::string_view key, int defaultValue) const
{
    auto text = ReadProfileString(kSection, key, file_);
    auto n = text ? ProfileNumber(*text) : std::nullopt;
    return n ? static_cast<int>(*n) : defaultValue;
}

double ControlProfile::ReadReal(std::string_view key, double defaultValue) const
{
    std::string text = ReadText(key, 16, "");
    if (text.empty()) return defaultValue;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(v)) return defaultValue;
    return v;
}

long ControlProfile::ReadLong(std::string_view key, long defaultValue) const
{
    std::string text = ReadText(key, 19, "");
    auto n = ProfileNumber(text);
    return n ? static_cast<long>(*n) : defaultValue;
}

std::string ControlProfile::ReadText(std::string_view key, std::size_t maxChars,
                                     std::string_view defaultValue) const
{
    auto text = ReadProfileString(kSection, key, file_);
    std::string value = text ? *text : std::string(defaultValue);
    if (value.size() > maxChars) value.resize(maxChars);
    return value;
}

bool ControlProfile::ReadInto(std::string_view key, std::string& value) const
{
    std::string text = ReadText(key, 255, "");
    if (text.empty()) return false;
    value = std::move(text);
    return true;
}

bool ControlProfile::WriteInt(std::string_view key, long value)
{
    return WriteText(key, std::to_string(value));
}

bool ControlProfile::WriteReal(std::string_view key, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return WriteText(key, text);
}

bool ControlProfile::WriteText(std::string_view key, std::string_view value)
{
    auto ini = IniFile::Load(file_);
    ini.Set(kSection, key, value);
    return ini.Save(file_);
}

bool ControlProfile::WriteTexts(std::span<const std::pair<std::string, std::string>> values)
{
    auto ini = IniFile::Load(file_);
    for (const auto& [key, value] : values) ini.Set(kSection, key, value);
    return ini.Save(file_);
}

bool ControlProfile::Clear()
{
    auto ini = IniFile::Load(file_);
    return ini.RemoveSection(kSection) && ini.Save(file_);
}

}  // namespace tolvex::profile
