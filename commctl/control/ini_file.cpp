#include "ini_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace tolvex::profile {

namespace fs = std::filesystem;

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string EnvOr(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

fs::path ConfigDir()
{
    if (std::string dir = EnvOr("TOLVEXCOMM_CONFIG_DIR"); !dir.empty()) return fs::path(dir);
    if (std::string xdg = EnvOr("XDG_CONFIG_HOME"); !xdg.empty()) return fs::path(xdg) / "tolvexcomm";
    std::string home = EnvOr("HOME");
    if (home.empty()) home = "/tmp";
    return fs::path(home) / ".config" / "tolvexcomm";
}

fs::path ProfilePath() { return ConfigDir() / "tolvexcomm.ini"; }

IniFile IniFile::Parse(std::string_view bytes)
{
    IniFile ini;
    if (bytes.size() > kMaxProfileBytes) bytes = bytes.substr(0, kMaxProfileBytes);
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    while (!bytes.empty()) {
        std::size_t end = bytes.find('\n');
        std::string_view raw = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        std::string_view text = Trim(raw);
        if (!text.empty() && text.front() == '[') {
            std::string_view name = text.substr(1);
            name = name.substr(0, name.find(']'));
            ini.sections_.push_back({std::string(Trim(name)), std::string(raw), {}});
            continue;
        }
        Line line{{}, {}, std::string(raw)};
        std::size_t eq = text.find('=');
        if (eq != std::string_view::npos && text.front() != ';' && text.front() != '#') {
            std::string_view key = Trim(text.substr(0, eq));
            std::string_view value = Trim(text.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            line.key = std::string(key);
            line.value = std::string(value);
        }
        (ini.sections_.empty() ? ini.prelude_ : ini.sections_.back().lines).push_back(std::move(line));
    }
    return ini;
}

IniFile IniFile::Load(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string bytes(kMaxProfileBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(bytes);
}

IniFile::Section* IniFile::FindSection(std::string_view name)
{
    for (auto& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const
{
    return const_cast<IniFile*>(this)->FindSection(name);
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const
{
    // Keys of a section that appears twice are searched in both, in order.
    for (const auto& s : sections_) {
        if (!EqualsNoCase(s.name, section)) continue;
        for (const auto& line : s.lines)
            if (!line.key.empty() && EqualsNoCase(line.key, key)) return line.value;
    }
    return std::nullopt;
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

std::vector<std::string> IniFile::Keys(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const Section* s = FindSection(section))
        for (const auto& line : s->lines)
            if (!line.key.empty()) keys.push_back(line.key);
    return keys;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value)
{
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::string(section), {}, {}});
        s = &sections_.back();
    }
    for (auto& line : s->lines) {
        if (!line.key.empty() && EqualsNoCase(line.key, key)) {
            line.value = std::string(value);
            line.raw.clear();
            return;
        }
    }
    // New keys go after the last key, before trailing blank lines.
    auto pos = s->lines.end();
    while (pos != s->lines.begin() && std::prev(pos)->key.empty() && Trim(std::prev(pos)->raw).empty())
        --pos;
    s->lines.insert(pos, Line{std::string(key), std::string(value), {}});
}

bool IniFile::RemoveKey(std::string_view section, std::string_view key)
{
    Section* s = FindSection(section);
    if (!s) return false;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it) {
        if (!it->key.empty() && EqualsNoCase(it->key, key)) {
            s->lines.erase(it);
            return true;
        }
    }
    return false;
}

bool IniFile::RemoveSection(std::string_view section)
{
    bool removed = false;
    for (auto it = sections_.begin(); it != sections_.end();) {
        if (EqualsNoCase(it->name, section)) {
            it = sections_.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    return removed;
}

std::string IniFile::Serialize() const
{
    std::string out;
    auto put = [&out](const Line& line) {
        if (!line.raw.empty() || line.key.empty())
            out += line.raw;
        else
            out += line.key + "=" + line.value;
        out += "\r\n";
    };
    for (const auto& line : prelude_) put(line);
    for (const auto& s : sections_) {
        out += s.raw.empty() ? "[" + s.name + "]" : s.raw;
        out += "\r\n";
        for (const auto& line : s.lines) put(line);
    }
    return out;
}

bool IniFile::Save(const fs::path& path) const
{
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    fs::path temp = path;
    temp += ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        const std::string text = Serialize();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const fs::path& file)
{
    return IniFile::Load(file).Get(section, key);
}

std::optional<long long> ProfileNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > 0x7FFFFFFFLL + 1) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    value = negative ? -value : value;
    if (value > 0x7FFFFFFFLL || value < -0x80000000LL) return std::nullopt;
    return value;
}

}  // namespace tolvex::profile
