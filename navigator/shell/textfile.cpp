#include "textfile.h"

#include "common/cp932.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

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
    return tolvex::Cp932ToUtf8(bytes, "\xEF\xBF\xBD", replaced);
}

std::string Utf8ToCp932(std::string_view text, std::size_t* unmapped) { return tolvex::Utf8ToCp932(text, unmapped); }

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
    line = utf8_ ? tolvex::SanitizeUtf8(raw, &replaced_) : Cp932ToUtf8(raw, &replaced_);
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
    struct stat before {};
    const bool sized = ::fstat(fd_, &before) == 0;
    if (!WriteAll(fd_, bytes.data(), bytes.size())) {
        // A full disk may take part of the line: the file is cut back to its
        // whole lines, so that a reader never meets half a line.
        const int savedErrno = errno;
        if (sized && ::ftruncate(fd_, before.st_size) != 0) {
            // The file keeps the part; nothing more can be done here.
        }
        errno = savedErrno;
        return false;
    }
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
