// tessaro-tool serial-devices: the serial devices the GPS settings dialog
// lists, and the device each port number maps to. Opens no port.
#include <control/ini_file.h>

#include <unistd.h>

#include <cstdlib>
#include <ostream>

#include "commands.h"
#include "gps/gps_setting_session.h"

namespace {

int SerialDevicesCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    if (!args.empty()) {
        err << "usage: tessaro-tool serial-devices\n";
        return 2;
    }
    const char* user = std::getenv("USER");
    for (const auto& d : tessaro::gps::ListSerialDevices({}, user ? user : "")) {
        out << d.path;
        if (d.node != d.path) out << " -> " << d.node;
        out << (d.accessible ? "\tok" : "\t" + d.problem) << "\n";
    }
    const auto profile = tolvex::profile::ProfilePath();
    for (int port = 1; port <= tessaro::gps::kPortCount; ++port)
        out << tessaro::gps::PortEntryText(port, profile) << "\n";
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("serial-devices", " the serial devices present and the device of each port number",
                     SerialDevicesCommand);
