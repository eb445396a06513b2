// B Plus over a pseudo-terminal relay: tolvexctl (the control) against the
// scripted host tool (bplus_host) on the relay's other end, both variants,
// the host sending ("TD") and fetching ("TU"):
//
//   bplus_bench [MiB, default 1] [runs, default 3]
//
// No other program speaks B Plus, so there is no reference pair: the rate
// is reported alone. The time runs from the start of the host until the
// receiving side has exited with the file intact. Prints the median rate
// of the runs and their spread (KiB/s).
#include "lrzsz_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tolvex::transfer::lrzsz;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 9;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Seconds until the receiving side ended with the file intact; < 0 on failure.
double Run(const char* protocol, bool host_sends, const fs::path& root, const std::string& data)
{
    fs::remove_all(root / "dst");
    fs::create_directories(root / "dst");
    Relay relay;
    std::vector<std::string> tool = {TOLVEXCTL, "--port", std::to_string(kPort), "--settings", "115200,N,8,1", "xfer"};
    if (host_sends)
        tool.insert(tool.end(), {"download", "--protocol", protocol, "--dir", (root / "dst").string()});
    else
        tool.insert(tool.end(), {"upload", "--protocol", protocol, (root / "src" / "f.bin").string()});
    const fs::path log = root / "tool.out";
    const int out_fd = ::open(log.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    Child t = Spawn(tool, root, -1, out_fd,
                    {"TOLVEXCOMM_COM" + std::to_string(kPort) + "=" + relay.control_path(),
                     "TOLVEXCOMM_CONFIG_DIR=" + (root / "cfg").string()});
    ::close(out_fd);
    for (int i = 0; i < 500 && ReadFile(log).find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> host = {BPLUS_HOST};
    if (host_sends) host.insert(host.end(), {"send", "f.bin", (root / "src" / "f.bin").string()});
    else host.insert(host.end(), {"fetch", "f.bin", (root / "dst" / "f.bin").string()});
    const auto t0 = Clock::now();
    Child h = Spawn(host, root, relay.peer_fd(), relay.peer_fd(), {}, (root / "host.log").string());
    const int receiver = host_sends ? t.Wait(300000) : h.Wait(300000);
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    const int other = host_sends ? h.Wait(15000) : t.Wait(15000);
    if (receiver != 0 || other != 0 || ReadFile(root / "dst" / "f.bin") != data) {
        // What both sides said, for the failed run.
        std::fprintf(stderr, "run failed (%d, %d):\n%s%s", receiver, other, ReadFile(log).c_str(),
                     ReadFile(root / "host.log").c_str());
        return -1;
    }
    fs::remove(root / "host.log");
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const double mib = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mib <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bplus_bench [MiB] [runs]\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("bplus-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "cfg");
    const std::string data = Random(static_cast<std::size_t>(mib * 1024 * 1024), 42);
    WriteFile(root / "src" / "f.bin", data);
    std::printf("%-11s %-11s %12s %19s\n", "variant", "direction", "KiB/s", "min-max");
    bool all = true;
    const double kib = static_cast<double>(data.size()) / 1024;
    for (const auto& [name, protocol] : {std::pair{"compuserve", "7"}, std::pair{"nifty", "8"}}) {
        for (bool host_sends : {true, false}) {
            std::vector<double> rates;
            for (int i = 0; i < runs; ++i)
                if (const double s = Run(protocol, host_sends, root, data); s > 0) rates.push_back(kib / s);
            const char* direction = host_sends ? "download" : "upload";
            if (static_cast<int>(rates.size()) != runs) {
                all = false;
                std::printf("%-11s %-11s  (failed: %zu of %d runs)\n", name, direction, rates.size(), runs);
                continue;
            }
            std::printf("%-11s %-11s %12.0f %9.0f-%-9.0f\n", name, direction, Median(rates),
                        *std::min_element(rates.begin(), rates.end()), *std::max_element(rates.begin(), rates.end()));
            std::fflush(stdout);
        }
    }
    fs::remove_all(root);
    return all ? 0 : 1;
}
