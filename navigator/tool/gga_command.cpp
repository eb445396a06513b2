// tessaro-tool gga --zone N: runs a GGA log through the navigator's decoder.
#include <istream>
#include <ostream>
#include <string>

#include "commands.h"
#include "gps/gga_replay.h"

namespace tessaro::tool {
namespace {

int GgaCommand(const Args& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    int zone = 0;
    if (args.size() == 2 && args[0] == "--zone") {
        const std::string& n = args[1];
        if (n.size() <= 2 && !n.empty() && n.find_first_not_of("0123456789") == std::string::npos)
            zone = std::stoi(n);
    }
    if (zone < 1 || zone > 19) {
        err << "usage: tessaro-tool gga --zone N < log   (N = starting zone, 1 to 19)\n";
        return 2;
    }
    gps::ReplayGgaLog(in, out, zone);
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("gga",
                     "--zone N < NMEA log: one CSV line per GGA sentence: time,lat,lon,satellites,status,zone,"
                     "stored,northing,easting",
                     GgaCommand);

}  // namespace tessaro::tool
