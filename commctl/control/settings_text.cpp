#include "settings_text.h"

#include <optional>

namespace tolvex::control {

namespace {

struct Entry {
    std::string_view text;
    std::int32_t value;
};

// Prefix matching in this order: longer texts that start like shorter ones
// come first ("1.5" before "1").
constexpr Entry kBaud[] = {
    {"230400", 256000}, {"115200", 115200}, {"57600", 57600}, {"56000", 56000},
    {"38400", 38400},   {"28800", 28800},   {"19200", 19200}, {"14400", 14400},
    {"9600", 9600},     {"4800", 4800},     {"2400", 2400},   {"1200", 1200},
    {"600", 600},       {"300", 300},       {"110", 110}};
constexpr Entry kParity[] = {{"n", 0}, {"o", 1}, {"e", 2}, {"m", 3}, {"s", 4}};
constexpr Entry kData[] = {{"8", 8}, {"7", 7}, {"6", 6}, {"5", 5}, {"4", 4}};
constexpr Entry kStop[] = {{"1.5", 1}, {"1", 0}, {"2", 2}};

class Cursor {
public:
    explicit Cursor(std::string text) : text_(std::move(text)) {}

    void SkipBlanks()
    {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    void SkipSeparator()
    {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') ++pos_;
        SkipBlanks();
    }
    bool AtEnd() const { return pos_ >= text_.size(); }

    // A field: absent (nullopt, valid), matched (value) or invalid (*valid = false).
    template <std::size_t N>
    std::optional<std::int32_t> Field(const Entry (&table)[N], bool& valid)
    {
        if (AtEnd() || text_[pos_] == ',') return std::nullopt;
        std::string_view rest = std::string_view(text_).substr(pos_);
        for (const auto& e : table) {
            if (rest.substr(0, e.text.size()) == e.text) {
                pos_ += e.text.size();
                return e.value;
            }
        }
        valid = false;
        return std::nullopt;
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool ParseSettings(std::string_view text, LineSettings& settings)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    Cursor in(std::move(lower));
    bool valid = true;
    in.SkipBlanks();
    auto baud = in.Field(kBaud, valid);
    in.SkipSeparator();
    auto parity = valid ? in.Field(kParity, valid) : std::nullopt;
    in.SkipSeparator();
    auto data = valid ? in.Field(kData, valid) : std::nullopt;
    in.SkipSeparator();
    auto stop = valid ? in.Field(kStop, valid) : std::nullopt;
    in.SkipBlanks();
    if (!valid || !in.AtEnd()) return false;
    if (baud) settings.baud = *baud;
    if (parity) settings.parity = *parity;
    if (data) settings.dataBits = *data;
    if (stop) settings.stopBits = *stop;
    return true;
}

}  // namespace tolvex::control
