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
    bool verify = true;
    Args rest;
    for (const std::string& a : args) {
        if (a == "--no-checksum")
            verify = false;
        else
            rest.push_back(a);
    }
    if (rest.size() == 2 && rest[0] == "--zone") {
        const std::string& n = rest[1];
        if (n.size() <= 2 && !n.empty() && n.find_first_not_of("0123456789") == std::string::npos)
            zone = std::stoi(n);
    }
    if (zone < 1 || zone > 19) {
        err << "usage: tessaro-tool gga --zone N [--no-checksum] < log   (N = starting zone, 1 to 19)\n";
        return 2;
    }
    long dropped = 0;
    gps::ReplayGgaLog(in, out, zone, verify, &dropped);
    if (dropped > 0) err << dropped << " GGA sentence(s) dropped: checksum mismatch\n";
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("gga",
                     "--zone N [--no-checksum] < NMEA log: one CSV line per GGA sentence: time,lat,lon,satellites,status,zone,"
                     "stored,northing,easting; sentences whose checksum fails are dropped and counted on stderr",
                     GgaCommand);

}  // namespace tessaro::tool
