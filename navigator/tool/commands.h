// Sub-commands of tessaro-tool. Each command lives in its own *_command.cpp
// file and registers itself with TESSARO_TOOL_COMMAND; it reads standard input
// (or its arguments), writes standard output and error, and returns the
// process exit code.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaro::tool {

using Args = std::vector<std::string>;  // arguments after the sub-command name
using CommandFn = int (*)(const Args& args, std::istream& in, std::ostream& out, std::ostream& err);

struct Command {
    const char* name;
    const char* usage;  // one line: arguments and what the command does
    CommandFn run;
};

// Registers a command; used through TESSARO_TOOL_COMMAND at namespace scope.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

}  // namespace tessaro::tool

#define TESSARO_TOOL_CONCAT2(a, b) a##b
#define TESSARO_TOOL_CONCAT(a, b) TESSARO_TOOL_CONCAT2(a, b)
#define TESSARO_TOOL_COMMAND(name, usage, fn)                                     \
    static const bool TESSARO_TOOL_CONCAT(registered_command_, __LINE__) =        \
        ::tessaro::tool::RegisterCommand({name, usage, fn})
