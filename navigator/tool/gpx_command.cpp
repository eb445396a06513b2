// tessaro-tool gpx FILE...: record files and GGA logs written as GPX 1.1
// tracks on standard output.
#include <ostream>
#include <string>
#include <vector>

#include "commands.h"
#include "gps/gpx.h"

namespace tessaro::tool {
namespace {

int GpxCommand(const Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    bool verify = true;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--no-checksum")
            verify = false;
        else
            files.push_back(a);
    }
    if (files.empty()) {
        err << "usage: tessaro-tool gpx [--no-checksum] FILE... > out.gpx   (record files and GGA logs)\n";
        return 2;
    }
    int status = 0;
    std::vector<gps::GpxTrack> tracks;
    for (const std::string& f : files) {
        gps::GpxSource src = gps::ReadForGpx(f, verify);
        if (!src.readable) {
            err << src.error << '\n';
            status = 1;
            continue;
        }
        if (src.checksumDropped > 0)
            err << f << ": " << src.checksumDropped << " GGA sentence(s) dropped: checksum mismatch\n";
        tracks.push_back(std::move(src.track));
    }
    gps::WriteGpx(out, tracks);
    return status;
}

}  // namespace

TESSARO_TOOL_COMMAND("gpx",
                     "[--no-checksum] FILE...: record files and GGA logs as GPX 1.1 tracks (WGS 84, UTC) on stdout",
                     GpxCommand);

}  // namespace tessaro::tool
