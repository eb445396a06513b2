// 1 MiB per XModem/YModem/ZModem variant and direction over a
// pseudo-terminal relay:
//
//   xfer_bench [MiB, default 1] [runs, default 3] [variant, default all]
//
// ours: tolvexctl (the control) on the relay's pseudo-terminal, lrzsz on
// its other end, both directions; reference: the lrzsz sender on the
// pseudo-terminal and the lrzsz receiver on the other end. (lrzsz's
// receivers on a pseudo-terminal are many times slower than on the relay's
// other end, so that pair would be no fair reference; both our directions
// are measured against the faster one.) Downloads are also measured against
// the lrzsz pair that moves the data the same way through the
// pseudo-terminal (the lrzsz receiver on it, the sender on the other end;
// ZModem only, lrzsz's XModem and YModem receivers crawl there):
// data going into a pseudo-terminal's reading side crosses it more slowly
// than data coming out of it, whoever reads. The time runs from the start
// of the far side until the transfer has ended (see below). Prints the
// median rates of the runs, ours / reference of the medians, and the
// spread of the runs (slowest and fastest rate, KiB/s) of each side.
//
// The clock stops when the receiver has exited, or earlier when the sender
// has exited with success: that needs the receiver's last answer (the ACK
// of EOT, ZFIN), given only once the file has arrived whole; the file is
// checked after both have ended. An lrzsz sender on the pseudo-terminal
// empties its terminal as it exits, which now and then throws away its last
// "OO" before the relay read it; rz then waits 10 s for it. That wait says
// nothing about the transfer, and both pairs are timed by the same rule.
#include <sys/syscall.h>

#include "lrzsz_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace tolvex::transfer::lrzsz;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 9;

struct Variant {
    const char* name;
    const char* protocol;
    std::vector<std::string> send, receive;  // lrzsz commands; the file name is added
    bool batch;
};

const Variant kVariants[] = {
    {"xmodem-checksum", "0", {"/usr/bin/sx"}, {"/usr/bin/rx"}, false},
    {"xmodem-crc", "1", {"/usr/bin/sx"}, {"/usr/bin/rx", "-c"}, false},
    {"xmodem-1k", "2", {"/usr/bin/sx", "-k"}, {"/usr/bin/rx", "-c"}, false},
    {"ymodem", "3", {"/usr/bin/sb"}, {"/usr/bin/rb"}, true},
    // lrzsz's receiver cannot ask for YModem-G: the reference is YModem.
    {"ymodem-g", "4", {"/usr/bin/sb"}, {"/usr/bin/rb"}, true},
    // Names come from the ZFILE header, as with YModem.
    {"zmodem", "5", {"/usr/bin/sz"}, {"/usr/bin/rz"}, true},
};

struct Ends {
    int receiver = -1, sender = -1;  // exit statuses; -1: killed after the time ran out
    double seconds = 0;              // from `t0` until the first end that counts
};

// Waits for both children (at most `timeout_ms` in all) without polling
// sleeps, so the time of each exit is taken as it happens.
Ends WaitEnds(Child& receiver, Child& sender, Clock::time_point t0, int timeout_ms)
{
    Ends e;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    Child* kids[2] = {&receiver, &sender};
    int* status[2] = {&e.receiver, &e.sender};
    bool done[2] = {false, false};
    int fds[2];
    for (int i = 0; i < 2; ++i)
        fds[i] = static_cast<int>(::syscall(SYS_pidfd_open, kids[i]->pid, 0));
    bool stopped = false;
    while (!done[0] || !done[1]) {
        pollfd p[2];
        nfds_t n = 0;
        for (int i = 0; i < 2; ++i)
            if (!done[i]) p[n++] = {fds[i], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || fds[0] < 0 || fds[1] < 0) break;
        ::poll(p, n, static_cast<int>(std::min<long long>(left, 1000)));
        const auto now = Clock::now();
        for (int i = 0; i < 2; ++i) {
            int st = 0;
            if (done[i] || ::waitpid(kids[i]->pid, &st, WNOHANG) != kids[i]->pid) continue;
            done[i] = true;
            *status[i] = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            if (!stopped && (i == 0 || *status[i] == 0)) {
                stopped = true;
                e.seconds = std::chrono::duration<double>(now - t0).count();
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (fds[i] >= 0) ::close(fds[i]);
        if (!done[i]) *status[i] = kids[i]->Wait(0);
    }
    return e;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> Env(const Relay& r, const fs::path& root)
{
    return {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + r.control_path(),
            "TOLVEXCOMM_CONFIG_DIR=" + (root / "cfg").string()};
}

// Seconds until the receiver ended with the file intact; < 0 on failure.
double Ours(const Variant& v, bool upload, const fs::path& root, const std::string& data)
{
    fs::remove_all(root / "dst");
    fs::create_directories(root / "dst");
    Relay relay;
    std::vector<std::string> tool = {TOLVEXCTL, "--port", std::to_string(kPort), "xfer"};
    if (upload) {
        tool.insert(tool.end(), {"upload", "--protocol", v.protocol, (root / "src" / "f.bin").string()});
    } else {
        tool.insert(tool.end(), {"download", "--protocol", v.protocol, "--dir", (root / "dst").string()});
        if (!v.batch) tool.insert(tool.end(), {"--name", "f.bin"});
    }
    // Its output goes to a file: a pipe nobody reads would stop it.
    const fs::path log = root / "tool.out";
    const int out_fd = ::open(log.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    Child t = Spawn(tool, root, -1, out_fd, Env(relay, root));
    ::close(out_fd);
    for (int i = 0; i < 500 && ReadFile(log).find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> peer = upload ? v.receive : v.send;
    if (!upload || !v.batch) peer.push_back("f.bin");
    const auto t0 = Clock::now();
    Child p = Spawn(peer, upload ? root / "dst" : root / "src", relay.peer_fd(), relay.peer_fd());
    const Ends e = upload ? WaitEnds(p, t, t0, 135000) : WaitEnds(t, p, t0, 135000);
    if (e.receiver != 0 || ReadFile(root / "dst" / "f.bin").substr(0, data.size()) != data) return -1;
    return e.seconds;
}

double Reference(const Variant& v, bool upload, const fs::path& root, const std::string& data)
{
    fs::remove_all(root / "dst");
    fs::create_directories(root / "dst");
    Relay relay;
    const int pty = ::open(relay.control_path().c_str(), O_RDWR | O_NOCTTY);
    if (pty < 0) return -1;
    // The pseudo-terminal's side plays our part: it sends when we upload.
    // Senders name the file; an XModem receiver names it too, a YModem one
    // takes the name from the header.
    std::vector<std::string> sender = v.send, receiver_cmd = v.receive;
    sender.push_back("f.bin");
    if (!v.batch) receiver_cmd.push_back("f.bin");
    const std::vector<std::string>& near = upload ? sender : receiver_cmd;
    const std::vector<std::string>& far = upload ? receiver_cmd : sender;
    const fs::path near_cwd = upload ? root / "src" : root / "dst";
    const fs::path far_cwd = upload ? root / "dst" : root / "src";
    Child n = Spawn(near, near_cwd, pty, pty);
    ::close(pty);
    const auto t0 = Clock::now();
    Child f = Spawn(far, far_cwd, relay.peer_fd(), relay.peer_fd());
    const Ends e = upload ? WaitEnds(f, n, t0, 135000) : WaitEnds(n, f, t0, 135000);
    if (e.receiver != 0 || ReadFile(root / "dst" / "f.bin").substr(0, data.size()) != data) return -1;
    return e.seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    const double mib = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string only = argc > 3 ? argv[3] : "";
    if (mib <= 0 || runs <= 0 || !HaveLrzsz()) {
        std::fprintf(stderr, "usage: xfer_bench [MiB] [runs] [variant]   (needs lrzsz)\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("xfer-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "cfg");
    const std::string data = Random(static_cast<std::size_t>(mib * 1024 * 1024), 42);
    WriteFile(root / "src" / "f.bin", data);
    std::printf("%-16s %-9s %12s %12s %8s %19s %19s %14s %8s\n", "variant", "direction", "ours KiB/s", "lrzsz KiB/s",
                "ratio", "ours min-max", "lrzsz min-max", "same-way KiB/s", "ratio");
    bool all = true;
    const double kib = static_cast<double>(data.size()) / 1024;
    for (const Variant& v : kVariants) {
        if (!only.empty() && only != v.name) continue;
        for (bool upload : {true, false}) {
            std::vector<double> ours, ref, same;  // rates [KiB/s]
            for (int i = 0; i < runs; ++i) {
                const double o = Ours(v, upload, root, data);
                const double r = Reference(v, true, root, data);
                // lrzsz's XModem and YModem receivers crawl on a pseudo-terminal
                // (or never finish): the same-way pair is measured for ZModem.
                const bool zmodem = std::string(v.protocol) == "5";
                const double w = upload ? r : zmodem ? Reference(v, false, root, data) : -1;
                if (o > 0) ours.push_back(kib / o);
                if (r > 0) ref.push_back(kib / r);
                if (w > 0) same.push_back(kib / w);
            }
            const bool ok = static_cast<int>(ours.size()) == runs && static_cast<int>(ref.size()) == runs;
            all = all && ok;
            if (!ok) {
                std::printf("%-16s %-9s  (failed: %zu of %d runs of ours, %zu of lrzsz)\n", v.name,
                            upload ? "upload" : "download", ours.size(), runs, ref.size());
                continue;
            }
            // No same-way figure where it was not measured.
            const double mo = Median(ours), mr = Median(ref);
            const double mw = static_cast<int>(same.size()) == runs ? Median(same) : 0;
            std::printf("%-16s %-9s %12.0f %12.0f %8.2f %9.0f-%-9.0f %9.0f-%-9.0f %14.0f %8.2f\n", v.name,
                        upload ? "upload" : "download", mo, mr, mo / mr, *std::min_element(ours.begin(), ours.end()),
                        *std::max_element(ours.begin(), ours.end()), *std::min_element(ref.begin(), ref.end()),
                        *std::max_element(ref.begin(), ref.end()), mw, mw > 0 ? mo / mw : 0.0);
            std::fflush(stdout);
        }
    }
    fs::remove_all(root);
    return all ? 0 : 1;
}
