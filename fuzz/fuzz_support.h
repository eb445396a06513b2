// Helpers the fuzz targets share: a scratch folder of the process, files
// written there from the input, and splitting the input into pieces.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro::fuzz {

// A folder of this process under the temporary folder, removed at exit.
inline const std::filesystem::path& ScratchDir()
{
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("tessaro-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                            ("tessaro-fuzz-" + std::to_string(getpid())),
                                        ec);
        });
        return d;
    }();
    return dir;
}

// Writes `bytes` to `relative` below the scratch folder (folders made as
// needed) and returns the file's path.
inline std::string WriteScratchFile(const std::string& relative, std::string_view bytes)
{
    const auto path = ScratchDir() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Reads the input front to back: small numbers steer a target, the rest is
// the payload.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : text_(AsText(data, size)) {}
    // One byte (0 once the input is used up).
    std::uint8_t Byte()
    {
        if (text_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(text_.front());
        text_.remove_prefix(1);
        return b;
    }
    // Up to `n` bytes.
    std::string_view Take(std::size_t n)
    {
        const auto part = text_.substr(0, n);
        text_.remove_prefix(part.size());
        return part;
    }
    std::string_view Rest() const { return text_; }
    bool Empty() const { return text_.empty(); }

private:
    std::string_view text_;
};

// Lengths of reads (and pauses) drawn from one steering byte, so that the
// payload after it stays exactly as a seed file holds it.
class Pace {
public:
    explicit Pace(std::uint8_t seed) : state_(0x9E3779B9u ^ (seed * 0x01000193u)) {}
    // A number in [1, limit].
    std::size_t Next(std::size_t limit)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return 1 + state_ % limit;
    }

private:
    std::uint32_t state_;
};

// The lines of `text` split at LF (a CR before it stays, as a reader meets it).
inline std::vector<std::string> Lines(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string_view::npos; start = nl + 1)
        out.emplace_back(text.substr(start, nl - start));
    if (start < text.size()) out.emplace_back(text.substr(start));
    return out;
}

// Ends the process the way a sanitizer does, for a broken promise the
// sanitizers cannot see (a file outside its folder, a cursor off the screen).
[[noreturn]] inline void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

}  // namespace tessaro::fuzz
