// tessaro-tool: batch access to the navigator's conversions and file readers.
#include "commands.h"

#include <cstring>
#include <iostream>

namespace tessaro::tool {

namespace {
std::vector<Command>& Registry()
{
    static std::vector<Command> commands;
    return commands;
}
}  // namespace

bool RegisterCommand(const Command& command)
{
    Registry().push_back(command);
    return true;
}

const std::vector<Command>& Commands() { return Registry(); }

}  // namespace tessaro::tool

namespace {
void Usage(std::ostream& os)
{
    os << "usage: tessaro-tool COMMAND [ARGS...]\n\ncommands:\n";
    for (const auto& c : tessaro::tool::Commands()) os << "  " << c.name << " " << c.usage << "\n";
}
}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        Usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    for (const auto& c : tessaro::tool::Commands()) {
        if (std::strcmp(argv[1], c.name) == 0) {
            tessaro::tool::Args args(argv + 2, argv + argc);
            return c.run(args, std::cin, std::cout, std::cerr);
        }
    }
    std::cerr << "tessaro-tool: unknown command '" << argv[1] << "'\n";
    Usage(std::cerr);
    return 2;
}
