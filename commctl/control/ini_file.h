// Profile files in INI syntax: sections in brackets, "key=value" lines.
//
// Section and key names compare without regard to ASCII case; the first of
// two equal keys wins. Values are bytes (the files are in CP932); spaces and
// tabs around names and values are dropped, and so are double quotes around
// a whole value. Lines that are neither a section nor a key are kept as they
// are when the file is written again. A byte-order mark at the start is
// skipped; lines may end in CR LF or LF.
//
// The control keeps its defaults for new instances in "tolvexcomm.ini",
// section "Default Values"; the serial port layer reads section "Ports".
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::profile {

// The folder of the control's files: $TOLVEXCOMM_CONFIG_DIR when set, else
// $XDG_CONFIG_HOME/tolvexcomm, else $HOME/.config/tolvexcomm.
std::filesystem::path ConfigDir();
// ConfigDir() / "tolvexcomm.ini".
std::filesystem::path ProfilePath();

// Files larger than this are read only up to this size [bytes].
inline constexpr std::size_t kMaxProfileBytes = 1 << 20;

class IniFile {
public:
    static IniFile Parse(std::string_view bytes);
    // An empty file when `path` is missing or unreadable.
    static IniFile Load(const std::filesystem::path& path);

    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    std::vector<std::string> Keys(std::string_view section) const;

    void Set(std::string_view section, std::string_view key, std::string_view value);
    bool RemoveKey(std::string_view section, std::string_view key);
    bool RemoveSection(std::string_view section);

    // The file's text with CR LF line ends.
    std::string Serialize() const;
    // Writes the file through a temporary file in the same folder that is
    // renamed over the old one; creates the folder. False on failure.
    bool Save(const std::filesystem::path& path) const;

private:
    struct Line {
        std::string key;    // empty for lines that are not keys
        std::string value;
        std::string raw;    // the text as read; empty once the value changed
    };
    struct Section {
        std::string name;
        std::string raw;    // the header line as read
        std::vector<Line> lines;
    };

    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    std::vector<Line> prelude_;   // lines before the first section
    std::vector<Section> sections_;
};

// One value of one section of a profile file (default: the control's profile).
std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file = ProfilePath());

// The integer value of a profile text: its leading decimal number (after
// spaces, with an optional sign). Empty when the text has no number or the
// number does not fit 32 bits.
std::optional<long long> ProfileNumber(std::string_view text);

// ASCII case-insensitive comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tolvex::profile
