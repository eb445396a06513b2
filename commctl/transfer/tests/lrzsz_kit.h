// lrzsz as a test partner: starting processes on a descriptor, and the
// relay between the control's pseudo-terminal and lrzsz. Used by the
// interoperability tests and the transfer benchmark.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testkit.h"

extern char** environ;

namespace tolvex::transfer::lrzsz {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline bool HaveLrzsz() { return ::access("/usr/bin/sx", X_OK) == 0 && ::access("/usr/bin/rb", X_OK) == 0; }

inline std::string Random(std::size_t n, unsigned seed)
{
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g() & 0xFF);
    return s;
}

inline void WriteFile(const fs::path& p, const std::string& data, std::time_t mtime = 0)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
    if (mtime) {
        const timespec t[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, p.c_str(), t, 0);
    }
}

inline std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::time_t MTime(const fs::path& p)
{
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

struct Child {
    pid_t pid = -1;
    int out = -1;  // its standard output, when captured

    // Exit status, or -1 when it did not end in time (it is killed then).
    int Wait(int timeout_ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int st = 0;
            if (::waitpid(pid, &st, WNOHANG) == pid)
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            if (Clock::now() > end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &st, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

// Starts `argv` in `cwd` with `in`/`out` as standard input and output (-1:
// /dev/null, -2: a pipe the test reads) and `env` added.
inline Child Spawn(const std::vector<std::string>& argv, const fs::path& cwd, int in, int out,
            const std::vector<std::string>& env = {}, const std::string& err = "/dev/null")
{
    Child c;
    int pipefd[2] = {-1, -1};
    if (out == -2 && ::pipe(pipefd) != 0)
        return c;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&fa, in, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (out == -2)
        posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    else if (out >= 0)
        posix_spawn_file_actions_adddup2(&fa, out, 1);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e)
        envs.emplace_back(*e);
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> ev, av;
    for (auto& e : envs)
        ev.push_back(e.data());
    ev.push_back(nullptr);
    std::vector<std::string> args = argv;
    for (auto& a : args)
        av.push_back(a.data());
    av.push_back(nullptr);
    if (posix_spawn(&c.pid, av[0], &fa, nullptr, av.data(), ev.data()) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    if (pipefd[1] >= 0)
        ::close(pipefd[1]);
    c.out = pipefd[0];
    return c;
}

// Reads the child's output until a line arrived (true) or the time passed.
inline bool ReadUntilLine(int fd, std::string& got, int timeout_ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.find('\n') == std::string::npos && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char b[512];
            const ssize_t n = ::read(fd, b, sizeof b);
            if (n <= 0)
                return false;
            got.append(b, static_cast<std::size_t>(n));
        }
    }
    return got.find('\n') != std::string::npos;
}

inline void ReadAll(int fd, std::string& got)
{
    char b[4096];
    ssize_t n;
    while ((n = ::read(fd, b, sizeof b)) > 0)
        got.append(b, static_cast<std::size_t>(n));
}

// The control's pseudo-terminal relayed to lrzsz. lrzsz talks through a
// socket, not a second pseudo-terminal: on exit it flushes its terminal,
// which on a pseudo-terminal throws away its last answer (the ACK of EOT)
// before the far side could read it; a real line would have sent it.
class Relay {
public:
    Relay()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, peer_) != 0)
            throw std::runtime_error("socketpair");
        ::fcntl(a_.master(), F_SETFL, ::fcntl(a_.master(), F_GETFL) | O_NONBLOCK);
        ::fcntl(peer_[0], F_SETFL, ::fcntl(peer_[0], F_GETFL) | O_NONBLOCK);
        ::fcntl(peer_[0], F_SETFD, FD_CLOEXEC);
        a_.CloseSlave();  // only the control may hold it
        if (::pipe(stop_) != 0)
            throw std::runtime_error("pipe");
        thread_ = std::thread([this] { Run(); });
    }
    ~Relay()
    {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
        ::close(peer_[0]);
        ::close(peer_[1]);
    }
    const std::string& control_path() const { return a_.path(); }
    int peer_fd() const { return peer_[1]; }
    // The far side goes away, as when a USB adapter is pulled.
    void HangUp()
    {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        a_.CloseMaster();
        thread_ = std::thread([] {});
    }

private:
    void Run()
    {
        std::string pending[2];  // towards a, towards b
        bool a_closed = false;   // nobody had the pseudo-terminal open at the last look
        for (;;) {
            // A side is read only while what waits for the other is short:
            // a line holds back a sender whose receiver does not keep up
            // (and a backlog of the whole file would make each write
            // below move all of it).
            constexpr std::size_t kBacklog = 65536;
            pollfd p[3] = {{a_.master(), 0, 0}, {peer_[0], 0, 0}, {stop_[0], POLLIN, 0}};
            for (int i = 0; i < 2; ++i) {
                if (pending[1 - i].size() < kBacklog) p[i].events |= POLLIN;
                if (!pending[i].empty()) p[i].events |= POLLOUT;
            }
            // While no program has the pseudo-terminal open (before the
            // control opens it, after it closed it) its master reports a
            // hang-up at once: look again every millisecond instead of
            // spinning, which would take a processor from the programs
            // under test.
            if (a_closed)
                p[0].fd = -1;
            if (::poll(p, 3, a_closed ? 1 : 1000) < 0 && errno != EINTR)
                return;
            if (p[2].revents)
                return;
            a_closed = !a_closed && (p[0].revents & POLLHUP) && !(p[0].revents & POLLIN);
            char buf[4096];
            for (int i = 0; i < 2; ++i) {
                const int from = i == 0 ? a_.master() : peer_[0];
                if (p[i].revents & POLLIN) {
                    const ssize_t n = ::read(from, buf, sizeof buf);
                    if (n > 0) pending[1 - i].append(buf, static_cast<std::size_t>(n));
                }
                if ((p[i].revents & POLLOUT) && !pending[i].empty()) {
                    const ssize_t n = ::write(from, pending[i].data(), pending[i].size());
                    if (n > 0) pending[i].erase(0, static_cast<std::size_t>(n));
                }
            }
        }
    }

    tolvex::serial::testkit::Pty a_;
    int peer_[2] = {-1, -1};  // relay's end, lrzsz's end
    int stop_[2] = {-1, -1};
    std::thread thread_;
};


}  // namespace tolvex::transfer::lrzsz
