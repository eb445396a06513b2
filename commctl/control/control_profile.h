// The control's profile: section "Default Values" of "tolvexcomm.ini", where
// the property pages save the defaults of new instances and the control
// reads them when it is reset.
//
// Every read returns its default when the key is missing or its text is not
// of the kind asked for; every write rewrites the file at once.
#pragma once

#include <filesystem>
#include <span>
#include <utility>
#include <string>
#include <string_view>

namespace tolvex::profile {

class ControlProfile {
public:
    static constexpr const char* kSection = "Default Values";

    // Default: ProfilePath().
    ControlProfile();
    explicit ControlProfile(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    int ReadInt(std::string_view key, int defaultValue) const;
    // Up to 16 characters, as a real number.
    double ReadReal(std::string_view key, double defaultValue) const;
    // Up to 19 characters, as a 32-bit number.
    long ReadLong(std::string_view key, long defaultValue) const;
    // At most maxChars characters of the value.
    std::string ReadText(std::string_view key, std::size_t maxChars, std::string_view defaultValue) const;
    // Up to 255 characters into `value`; `value` changes only when the key
    // holds text. True when it changed.
    bool ReadInto(std::string_view key, std::string& value) const;

    bool WriteInt(std::string_view key, long value);
    bool WriteLong(std::string_view key, long value) { return WriteInt(key, value); }
    bool WriteReal(std::string_view key, double value);  // 7 significant digits
    bool WriteText(std::string_view key, std::string_view value);
    // Several keys in one rewrite of the file, in this order.
    bool WriteTexts(std::span<const std::pair<std::string, std::string>> values);
    // Removes the whole section; false when there was none or the file could
    // not be written.
    bool Clear();

private:
    std::filesystem::path file_;
};

}  // namespace tolvex::profile
