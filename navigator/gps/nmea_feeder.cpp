#include "gps/nmea_feeder.h"

#include "gps/gga_decoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::gps {

std::vector<std::string> SplitSentenceSets(const std::vector<std::string>& lines)
{
    std::vector<std::string> sets;
    std::string current;
    for (std::string line : lines) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty()) continue;
        const bool gga = IsGgaSentence(line);
        if (gga && !current.empty()) {
            sets.push_back(std::move(current));
            current.clear();
        }
        current += line;
        current += "\r\n";
    }
    if (!current.empty()) sets.push_back(std::move(current));
    return sets;
}

bool LoadSentenceSets(const std::string& path, std::vector<std::string>& sets, std::string* error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> lines;
    std::string line;
    int c = 0;
    while ((c = std::getc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (!line.empty()) lines.push_back(std::move(line));
    if (failed) {
        if (error) *error = path + ": read error";
        return false;
    }
    sets = SplitSentenceSets(lines);
    return true;
}

PtyFeeder::~PtyFeeder() { close(); }

bool PtyFeeder::open(std::string* error)
{
    close();
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        close();
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("grantpt/unlockpt");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) return fail("open slave");
    // Raw until the port's owner configures it: no echo back into the master.
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

bool PtyFeeder::write(const std::string& bytes, int timeoutMs)
{
    if (master_ < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd p{master_, POLLOUT, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r == 0) return false;
        if (r < 0 && errno != EINTR) return false;
    }
    return true;
}

void PtyFeeder::discardUnread()
{
    if (slave_ >= 0) ::tcflush(slave_, TCIFLUSH);
}

void PtyFeeder::close()
{
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    slavePath_.clear();
}

}  // namespace tessaro::gps
