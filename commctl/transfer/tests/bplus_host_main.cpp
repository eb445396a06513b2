// bplus_host: the scripted B Plus host on a line (standard input, a
// pseudo-terminal or socket), for the tests and the benchmark.
//
//   bplus_host send NAME FILE [options]    the host sends FILE as NAME ("TD")
//   bplus_host fetch NAME OUT [options]    the host fetches NAME into OUT ("TU")
//   options: --block UNITS  --no-params  --no-fi  --quote-all  --refuse-resume
//            --limit SECONDS
// Exit status 0 when the transfer succeeded, 1 when it failed, 2 on usage.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "bplus_host.h"

using namespace tolvex::transfer;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bplus_host send|fetch NAME FILE [options]\n");
        return 2;
    }
    const std::string command = argv[1];
    bplus_host::Script s;
    s.name = argv[2];
    const std::string file = argv[3];
    if (command == "send") {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "bplus_host: cannot read %s\n", file.c_str());
            return 2;
        }
        s.data.assign(std::istreambuf_iterator<char>(in), {});
        s.command = bplus_host::Script::Command::kSend;
    } else if (command == "fetch") {
        s.command = bplus_host::Script::Command::kFetch;
    } else {
        return 2;
    }
    Millis limit = 120000;
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--block" && i + 1 < argc) s.block_units = std::atoi(argv[++i]);
        else if (a == "--no-params") s.parameters = false;
        else if (a == "--no-fi") s.file_info = 0;
        else if (a == "--quote-all") s.quote_all = true;
        else if (a == "--refuse-resume") s.refuse_resume = true;
        else if (a == "--limit" && i + 1 < argc) limit = std::atol(argv[++i]) * 1000;
        else return 2;
    }
    bplus_host::Host host(s);
    const bool ok = bplus_host::RunOnDescriptor(host, 0, limit);
    if (command == "fetch" && ok) {
        std::ofstream out(file, std::ios::binary);
        out << host.received;
    }
    if (!ok)
        std::fprintf(stderr, "bplus_host: transfer failed%s%s\n", host.failure.empty() ? "" : ": ",
                     host.failure.c_str());
    return ok ? 0 : 1;
}
