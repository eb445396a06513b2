// C-Kermit and G-Kermit as test partners: the pseudo-terminal relay they
// need and the command lines that run them. Used by the interoperability
// tests and the Kermit benchmark.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "lrzsz_kit.h"
#include "testkit.h"

namespace tolvex::transfer::kermit_kit {

inline const char* const kCKermit = "/usr/bin/kermit";
inline const char* const kGKermit = "/usr/bin/gkermit";

inline bool Have(const char* path) { return ::access(path, X_OK) == 0; }

// The control's pseudo-terminal relayed to a second one for the peer: both
// Kermits want a terminal for their line (C-Kermit opens it as a serial
// line, G-Kermit takes it as its standard input and output).
class PtyRelay {
public:
    PtyRelay()
    {
        for (int fd : {a_.master(), b_.master()})
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        a_.CloseSlave();  // only the control may hold it
        if (::pipe(stop_) != 0)
            throw std::runtime_error("pipe");
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyRelay()
    {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    const std::string& control_path() const { return a_.path(); }
    const std::string& peer_path() const { return b_.path(); }
    int peer_fd() const { return b_.slave(); }
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
        const int fd[2] = {a_.master(), b_.master()};
        for (;;) {
            pollfd p[3] = {{fd[0], POLLIN, 0}, {fd[1], POLLIN, 0}, {stop_[0], POLLIN, 0}};
            for (int i = 0; i < 2; ++i)
                if (!pending[i].empty()) p[i].events |= POLLOUT;
            if (::poll(p, 3, 1000) < 0 && errno != EINTR)
                return;
            if (p[2].revents)
                return;
            char buf[4096];
            for (int i = 0; i < 2; ++i) {
                if (p[i].revents & POLLIN) {
                    const ssize_t n = ::read(fd[i], buf, sizeof buf);
                    if (n > 0) pending[1 - i].append(buf, static_cast<std::size_t>(n));
                }
                if ((p[i].revents & POLLOUT) && !pending[i].empty()) {
                    const ssize_t n = ::write(fd[i], pending[i].data(), pending[i].size());
                    if (n > 0) pending[i].erase(0, static_cast<std::size_t>(n));
                }
            }
        }
    }

    tolvex::serial::testkit::Pty a_, b_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// The line the peer is given in its arguments; an argument that begins with
// kScript is a C-Kermit command file (the rest), written out for the run.
inline constexpr const char* kLine = "@LINE@";
inline constexpr std::string_view kScript = "@SCRIPT@";

// C-Kermit on the line, without an init file, binary, after `commands`
// (one a line), then `action`; its exit status tells whether the action
// succeeded.
inline std::vector<std::string> CKermit(const std::string& commands, const std::string& action)
{
    const std::string script = std::string("set line ") + kLine +
                               "\nset speed 115200\nset carrier-watch off\nset flow none\nset delay 0\n"
                               "set file type binary\nset file collision overwrite\nset file names literal\n" +
                               commands + action + "\nif fail exit 1\nexit 0\n";
    return {kCKermit, std::string(kScript) + script, "-Y", "-H", "-B"};
}

// `argv` with the line's path put in, and a command file written to `script`.
inline std::vector<std::string> OnLine(std::vector<std::string> argv, const std::string& line,
                                       const std::filesystem::path& script)
{
    for (std::string& a : argv) {
        if (a == kLine) a = line;
        if (a.rfind(kScript, 0) == 0) {
            std::string text = a.substr(kScript.size());
            text.replace(text.find(kLine), std::string_view(kLine).size(), line);
            lrzsz::WriteFile(script, text);
            a = script.string();
        }
    }
    return argv;
}

}  // namespace tolvex::transfer::kermit_kit
