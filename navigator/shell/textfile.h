// The text-file layer every data file of the navigator goes through.
//
// On disk, files are CP932 (Shift-JIS) with CR LF line ends, so that map
// libraries and record files made elsewhere keep working. Readers also accept
// LF-only lines and UTF-8 files that start with a byte-order mark. Inside the
// program all text is UTF-8.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// CP932 bytes to UTF-8. Bytes that are not valid CP932 become U+FFFD; their
// number is added to *replaced when given.
std::string Cp932ToUtf8(std::string_view bytes, std::size_t* replaced = nullptr);
// UTF-8 to CP932. Characters CP932 cannot hold (and invalid UTF-8) become "?";
// their number is added to *unmapped when given.
std::string Utf8ToCp932(std::string_view text, std::size_t* unmapped = nullptr);

// Reads a text file line by line. A line ends at LF; one CR before the LF is
// dropped. The encoding is chosen once from the start of the file: a UTF-8
// byte-order mark selects UTF-8, anything else is CP932.
class TextReader {
public:
    TextReader() = default;
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // The next line as UTF-8; false at the end of the file or on a read error.
    bool readLine(std::string& line);
    // Number of input bytes that were not valid in the file's encoding.
    std::size_t replacedBytes() const { return replaced_; }
    // Number of lines read so far (the line number of the last line read).
    std::size_t lineNumber() const { return lineNumber_; }
    void close();

private:
    std::FILE* file_ = nullptr;
    bool utf8_ = false;
    bool first_ = true;
    std::size_t replaced_ = 0;
    std::size_t lineNumber_ = 0;
};

// Reads all lines of a file (UTF-8 text); nullopt when it cannot be opened.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

// Writes the lines in CP932, each followed by CR LF, into a temporary file in
// the same folder and renames it over `path`, so a crash never leaves half a
// file. Returns false (and leaves the old file) on any failure; *error then
// says why.
bool WriteTextLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                          std::string* error = nullptr);

// A text file kept open for appending lines (the record file). Every line is
// converted to CP932, ended with CR LF and handed to the operating system at
// once, so a crash loses at most the line being written.
class LineAppender {
public:
    LineAppender() = default;
    ~LineAppender();
    LineAppender(const LineAppender&) = delete;
    LineAppender& operator=(const LineAppender&) = delete;

    // Opens for appending (creates the file when missing). With
    // `syncEachLine`, every line is also forced to the disk.
    bool open(const std::string& path, bool syncEachLine = false);
    bool isOpen() const { return fd_ >= 0; }
    // False when the line could not be written whole (a full disk): the
    // file then keeps only the lines before it.
    bool writeLine(std::string_view utf8Line);
    bool close();

private:
    int fd_ = -1;
    bool sync_ = false;
};

}  // namespace tessaro
