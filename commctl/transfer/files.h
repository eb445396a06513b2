// The files a transfer sends and receives, behind a small interface so that
// protocols run against memory files in tests and against the disk in the
// control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace tolvex::transfer {

// `name` in folder `dir` ("" for the current folder).
inline std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Folder part of a path, with its "/" ("" when it has none).
inline std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The last component of a path.
inline std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Modification times are seconds since 1970-01-01 00:00 UTC.
using FileTime = std::int64_t;

class TransferFile {
public:
    virtual ~TransferFile() = default;
    virtual std::int64_t Size() const = 0;
    virtual FileTime ModTime() const = 0;
    // Reads up to `n` bytes at `pos` into `buffer`; returns how many (fewer
    // at the end of the file).
    virtual std::size_t ReadAt(std::int64_t pos, char* buffer, std::size_t n) = 0;
    // Writes the bytes at `pos` (the file grows as needed); false on failure.
    virtual bool WriteAt(std::int64_t pos, std::string_view bytes) = 0;
    virtual bool SetLength(std::int64_t length) = 0;
    virtual bool SetModTime(FileTime time) = 0;
};

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // A file to send: others may read it, not write it. Null with `error`
    // (an errno value) when it cannot be opened.
    virtual std::unique_ptr<TransferFile> OpenRead(const std::string& name, int& error) = 0;
    // A file to receive into: created, and emptied unless `resume` keeps
    // what it holds. Others may not write it meanwhile.
    virtual std::unique_ptr<TransferFile> OpenWrite(const std::string& name, bool resume, int& error) = 0;
    virtual bool Exists(const std::string& name) = 0;
};

// Sets a received file's time only when it is plausible: from 1971-01-01
// up to 2038-01-01 (a sender that sends 0 or garbage leaves the time of the
// writing). Returns whether the time was set.
bool SetTimeIfPlausible(TransferFile& file, FileTime time);

// Files on the disk (names are paths).
class DiskFiles final : public FileAccess {
public:
    std::unique_ptr<TransferFile> OpenRead(const std::string& name, int& error) override;
    std::unique_ptr<TransferFile> OpenWrite(const std::string& name, bool resume, int& error) override;
    bool Exists(const std::string& name) override;
};

// Files in memory, for tests: the contents stay readable after the transfer.
class MemoryFiles final : public FileAccess {
public:
    struct Entry {
        std::string data;
        FileTime time = 0;
        bool writing = false;  // opened for writing and not yet closed
    };

    void Put(const std::string& name, std::string data, FileTime time = 0);
    // Null when there is no such file.
    const Entry* Find(const std::string& name) const;
    // Names that cannot be created (the error to give).
    std::map<std::string, int> refuse;
    // Every name asked for reading or writing, refused ones included.
    std::set<std::string> asked_to_read, asked_to_write;

    std::unique_ptr<TransferFile> OpenRead(const std::string& name, int& error) override;
    std::unique_ptr<TransferFile> OpenWrite(const std::string& name, bool resume, int& error) override;
    bool Exists(const std::string& name) override;

private:
    std::map<std::string, Entry> files_;
};

// True when `path` names an entry directly in `folder` (which ends in
// "/"): no further folder, never "." or "..". Tests and fuzz targets check
// every name a receiver wrote with it.
inline bool DirectlyInside(const std::string& path, const std::string& folder)
{
    if (path.rfind(folder, 0) != 0) return false;
    const std::string rest = path.substr(folder.size());
    return !rest.empty() && rest.find('/') == std::string::npos && rest != "." && rest != "..";
}

}  // namespace tolvex::transfer
