#include "textfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <iconv.h>
#include <unistd.h>

namespace tessaro {

namespace {

// One iconv conversion of a whole buffer, replacing what cannot be converted.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    std::size_t* bad)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.reserve(in.size() * 3 / 2 + 4);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buf[4096];
    while (inLeft > 0) {
        char* outPtr = buf;
        std::size_t outLeft = sizeof buf;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<std::size_t>(outPtr - buf));
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a truncated sequence at the end): replace one
            // input unit and go on. For UTF-8 input, skip the whole malformed
            // or unmappable character.
            std::size_t skip = 1;
            if (std::strcmp(from, "UTF-8") == 0) {
                const auto lead = static_cast<unsigned char>(*inPtr);
                std::size_t len = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                // Only skip the continuation bytes that are really there.
                skip = 1;
                while (skip < len && skip < inLeft &&
                       (static_cast<unsigned char>(inPtr[skip]) & 0xC0) == 0x80)
                    ++skip;
            }
            inPtr += skip;
            inLeft -= skip;
            out.append(replacement);
            if (bad) ++*bad;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

bool IsAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Replaces invalid UTF-8 sequences by U+FFFD.
std::string SanitizeUtf8(std::string_view in, std::size_t* bad)
{
    if (IsAscii(in)) return std::string(in);
    return Convert("UTF-8", "UTF-8", in, "\xEF\xBF\xBD", bad);
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes, std::size_t* replaced)
{
    if (IsAscii(bytes)) return std::string(bytes);
    return Convert("UTF-8", "CP932", bytes, "\xEF\xBF\xBD", replaced);
}

std::string Utf8ToCp932(std::string_view text, std::size_t* unmapped)
{
    if (IsAscii(text)) return std::string(text);
    return Convert("CP932", "UTF-8", text, "?", unmapped);
}

TextReader::~TextReader() { close(); }

bool TextReader::open(const std::string& path)
{
    close();
    file_ = std::fopen(path.c_str(), "rb");
    first_ = true;
    utf8_ = false;
    replaced_ = 0;
    lineNumber_ = 0;
    return file_ != nullptr;
}

bool TextReader::readLine(std::string& line)
{
    line.clear();
    if (!file_) return false;
    std::string raw;
    int c = 0;
    bool any = false;
    while ((c = std::getc(file_)) != EOF) {
        any = true;
        if (c == '\n') break;
        raw.push_back(static_cast<char>(c));
    }
    if (!any) return false;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (first_) {
        first_ = false;
        if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            utf8_ = true;
            raw.erase(0, 3);
        }
    }
    line = utf8_ ? SanitizeUtf8(raw, &replaced_) : Cp932ToUtf8(raw, &replaced_);
    ++lineNumber_;
    return true;
}

void TextReader::close()
{
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path)
{
    TextReader reader;
    if (!reader.open(path)) return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line)) lines.push_back(line);
    return lines;
}

bool WriteTextLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                          std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    std::string content;
    for (const auto& line : lines) {
        content += Utf8ToCp932(line);
        content += "\r\n";
    }
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail("cannot create a temporary file beside " + path);
    const bool written = WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(tmp.c_str());
        errno = savedErrno;
        return fail("cannot write " + tmp);
    }
    ::chmod(tmp.c_str(), 0644);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail("cannot replace " + path);
    }
    return true;
}

LineAppender::~LineAppender() { close(); }

bool LineAppender::open(const std::string& path, bool syncEachLine)
{
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    sync_ = syncEachLine;
    return fd_ >= 0;
}

bool LineAppender::writeLine(std::string_view utf8Line)
{
    if (fd_ < 0) return false;
    std::string bytes = Utf8ToCp932(utf8Line);
    bytes += "\r\n";
    if (!WriteAll(fd_, bytes.data(), bytes.size())) return false;
    if (sync_) ::fdatasync(fd_);
    return true;
}

bool LineAppender::close()
{
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

}  // namespace tessaro
