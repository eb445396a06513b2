#include "transfer/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tolvex::transfer {

namespace {

constexpr FileTime k1971 = 31536000;     // 1971-01-01 00:00 UTC
constexpr FileTime k2038 = 2145916800;   // 2038-01-01 00:00 UTC

class DiskFile final : public TransferFile {
public:
    explicit DiskFile(int fd) : fd_(fd) {}
    ~DiskFile() override { ::close(fd_); }

    std::int64_t Size() const override
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
    }
    FileTime ModTime() const override
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<FileTime>(st.st_mtime) : 0;
    }
    std::size_t ReadAt(std::int64_t pos, char* buffer, std::size_t n) override
    {
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd_, buffer + got, n - got, static_cast<off_t>(pos) + static_cast<off_t>(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return got;
    }
    bool WriteAt(std::int64_t pos, std::string_view bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t r = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(pos) + static_cast<off_t>(done));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            done += static_cast<std::size_t>(r);
        }
        return true;
    }
    bool SetLength(std::int64_t length) override { return ::ftruncate(fd_, static_cast<off_t>(length)) == 0; }
    bool SetModTime(FileTime time) override
    {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time), 0}};
        return ::futimens(fd_, times) == 0;
    }

private:
    int fd_;
};

class MemoryFile final : public TransferFile {
public:
    MemoryFile(MemoryFiles::Entry& e, bool writing) : e_(e), writing_(writing) { e_.writing = writing; }
    ~MemoryFile() override
    {
        if (writing_)
            e_.writing = false;
    }

    std::int64_t Size() const override { return static_cast<std::int64_t>(e_.data.size()); }
    FileTime ModTime() const override { return e_.time; }
    std::size_t ReadAt(std::int64_t pos, char* buffer, std::size_t n) override
    {
        const auto size = static_cast<std::int64_t>(e_.data.size());
        if (pos < 0 || pos >= size)
            return 0;
        const std::size_t got = std::min(n, static_cast<std::size_t>(size - pos));
        std::memcpy(buffer, e_.data.data() + pos, got);
        return got;
    }
    bool WriteAt(std::int64_t pos, std::string_view bytes) override
    {
        if (!writing_ || pos < 0)
            return false;
        const std::size_t end = static_cast<std::size_t>(pos) + bytes.size();
        if (e_.data.size() < end)
            e_.data.resize(end, '\0');
        std::copy(bytes.begin(), bytes.end(), e_.data.begin() + pos);
        return true;
    }
    bool SetLength(std::int64_t length) override
    {
        if (!writing_ || length < 0)
            return false;
        e_.data.resize(static_cast<std::size_t>(length), '\0');
        return true;
    }
    bool SetModTime(FileTime time) override
    {
        e_.time = time;
        return true;
    }

private:
    MemoryFiles::Entry& e_;
    bool writing_;
};

}  // namespace

bool SetTimeIfPlausible(TransferFile& file, FileTime time)
{
    if (time < k1971 || time >= k2038)
        return false;
    return file.SetModTime(time);
}

std::unique_ptr<TransferFile> DiskFiles::OpenRead(const std::string& name, int& error)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Others may go on reading it; a shared lock keeps cooperating writers out.
    ::flock(fd, LOCK_SH | LOCK_NB);
    return std::make_unique<DiskFile>(fd);
}

std::unique_ptr<TransferFile> DiskFiles::OpenWrite(const std::string& name, bool resume, int& error)
{
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Empty it only once we hold it: another transfer writing the same file
    // keeps its data.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = EBUSY;
        ::close(fd);
        return nullptr;
    }
    if (!resume && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<DiskFile>(fd);
}

bool DiskFiles::Exists(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

void MemoryFiles::Put(const std::string& name, std::string data, FileTime time)
{
    files_[name] = Entry{std::move(data), time, false};
}

const MemoryFiles::Entry* MemoryFiles::Find(const std::string& name) const
{
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : &it->second;
}

std::unique_ptr<TransferFile> MemoryFiles::OpenRead(const std::string& name, int& error)
{
    asked_to_read.insert(name);
    auto it = files_.find(name);
    if (it == files_.end()) {
        error = ENOENT;
        return nullptr;
    }
    return std::make_unique<MemoryFile>(it->second, false);
}

std::unique_ptr<TransferFile> MemoryFiles::OpenWrite(const std::string& name, bool resume, int& error)
{
    asked_to_write.insert(name);
    if (auto r = refuse.find(name); r != refuse.end()) {
        error = r->second;
        return nullptr;
    }
    Entry& e = files_[name];
    if (e.writing) {
        error = EBUSY;
        return nullptr;
    }
    if (!resume)
        e.data.clear();
    return std::make_unique<MemoryFile>(e, true);
}

bool MemoryFiles::Exists(const std::string& name) { return files_.count(name) != 0; }

}  // namespace tolvex::transfer
