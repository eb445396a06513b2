// Kermit over the pseudo-terminal relay, against C-Kermit:
//
//   kermit_bench [MiB, default 1] [runs, default 3]
//
// ours: tolvexctl (the control) on the relay's first pseudo-terminal,
// C-Kermit on the second, both directions; reference: C-Kermit on both, in
// the same run and on the same relay. Both C-Kermit pairs use the packets
// the control speaks: 94-byte packets, window 1, single-character checks,
// no repeat counts, long packets, streaming or attributes, every control
// character prefixed. The receiver starts first; the time runs from the
// start of the sender (tolvexctl's own start-up included) until the
// receiver has exited with the file. Prints the median rates of the
// runs, ours / reference of the medians, and the spread (slowest and
// fastest rate, KiB/s) of each side.
#include "kermit_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tolvex::transfer::lrzsz;
using namespace tolvex::transfer::kermit_kit;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 12;

// What the control negotiates, asked of C-Kermit.
const std::string kSettings =
    "set window 1\nset block-check 1\nset send packet-length 94\nset receive packet-length 94\n"
    "set repeat counts off\nset streaming off\nset attributes off\nset prefixing all\nset clear-channel off\n";

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool Arrived(const fs::path& root, const std::string& data) { return ReadFile(root / "dst" / "f.bin") == data; }

// The receiver starts first and gets time to open its line (C-Kermit throws
// away what came before); the time runs from the start of the sender until
// the receiver has exited with the file intact. Seconds; < 0 on failure.
constexpr auto kReceiverReady = std::chrono::milliseconds(500);

Child StartTool(bool upload, const PtyRelay& relay, const fs::path& root)
{
    std::vector<std::string> tool = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", "115200,N,8,1", "xfer"};
    if (upload)
        tool.insert(tool.end(), {"upload", "--protocol", "6", (root / "src" / "f.bin").string()});
    else
        tool.insert(tool.end(), {"download", "--protocol", "6", "--dir", (root / "dst").string()});
    // Its output goes to a file: a pipe nobody reads would stop it.
    const fs::path log = root / "tool.out";
    const int out_fd = ::open(log.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    Child t = Spawn(tool, root, -1, out_fd,
                    {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                     "TOLVEXCOMM_CONFIG_DIR=" + (root / "cfg").string()});
    ::close(out_fd);
    return t;
}

Child StartCKermit(bool sending, const std::string& line, const fs::path& root, const char* script)
{
    return Spawn(OnLine(CKermit(kSettings, sending ? "send f.bin" : "receive"), line, root / script),
                 sending ? root / "src" : root / "dst", -1, -1, {"HOME=" + root.string()});
}

// `ours`: tolvexctl on the first pseudo-terminal, else C-Kermit playing its part.
double Run(bool ours, bool upload, const fs::path& root, const std::string& data)
{
    fs::remove_all(root / "dst");
    fs::create_directories(root / "dst");
    PtyRelay relay;
    const auto near = [&] { return ours ? StartTool(upload, relay, root) : StartCKermit(upload, relay.control_path(), root, "near.ksc"); };
    const auto far = [&] { return StartCKermit(!upload, relay.peer_path(), root, "far.ksc"); };
    Child receiver = upload ? far() : near();
    std::this_thread::sleep_for(kReceiverReady);
    const auto t0 = Clock::now();
    Child sender = upload ? near() : far();
    const int status = receiver.Wait(300000);
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    sender.Wait(15000);
    return status == 0 && Arrived(root, data) ? s : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const double mib = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mib <= 0 || runs <= 0 || !Have(kCKermit)) {
        std::fprintf(stderr, "usage: kermit_bench [MiB] [runs]   (needs C-Kermit)\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("kermit-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "cfg");
    const std::string data = Random(static_cast<std::size_t>(mib * 1024 * 1024), 42);
    WriteFile(root / "src" / "f.bin", data);
    std::printf("%-9s %12s %14s %8s %19s %19s\n", "direction", "ours KiB/s", "C-Kermit KiB/s", "ratio",
                "ours min-max", "C-Kermit min-max");
    bool all = true;
    const double kib = static_cast<double>(data.size()) / 1024;
    for (bool upload : {true, false}) {
        std::vector<double> ours, ref;  // rates [KiB/s]
        for (int i = 0; i < runs; ++i) {
            const double o = Run(true, upload, root, data);
            const double r = Run(false, upload, root, data);
            if (o > 0) ours.push_back(kib / o);
            if (r > 0) ref.push_back(kib / r);
        }
        const bool ok = static_cast<int>(ours.size()) == runs && static_cast<int>(ref.size()) == runs;
        all = all && ok;
        if (!ok) {
            std::printf("%-9s  (failed: %zu of %d runs of ours, %zu of C-Kermit)\n", upload ? "upload" : "download",
                        ours.size(), runs, ref.size());
            continue;
        }
        const double mo = Median(ours), mr = Median(ref);
        std::printf("%-9s %12.0f %14.0f %8.2f %9.0f-%-9.0f %9.0f-%-9.0f\n", upload ? "upload" : "download", mo, mr,
                    mo / mr, *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()),
                    *std::min_element(ref.begin(), ref.end()), *std::max_element(ref.begin(), ref.end()));
        std::fflush(stdout);
    }
    fs::remove_all(root);
    return all ? 0 : 1;
}
