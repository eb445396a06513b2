// tessaro-tool ggalog and record: GGA logs and record files read as the
// review windows read them, printed point by point.
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

#include "commands.h"
#include "geodesy/plane_coords.h"
#include "gps/gga_log_load.h"
#include "overlays/overlay_lists.h"
#include "recording/record_review.h"

namespace tessaro::tool {
namespace {

// Enough digits to give back the stored value exactly.
std::string Exact(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}
std::string Exact(float v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

int GgaLogCommand(const Args& all, std::istream&, std::ostream& out, std::ostream& err)
{
    bool verify = true;
    Args args;
    for (const std::string& a : all) {
        if (a == "--no-checksum")
            verify = false;
        else
            args.push_back(a);
    }
    int zone = 0;
    if (args.size() >= 3 && args[0] == "--zone") {
        const std::string& n = args[1];
        if (!n.empty() && n.size() <= 2 && n.find_first_not_of("0123456789") == std::string::npos) zone = std::stoi(n);
    }
    geodesy::CurrentZone current;
    if (!geodesy::SetCurrentZone(zone, current)) {
        err << "usage: tessaro-tool ggalog --zone N [--no-checksum] FILE...   (N = current zone, 1 to 19)\n";
        return 2;
    }
    auto lists = std::make_unique<overlays::OverlayLists>();
    gps::GgaLogLoad load(*lists, current);
    load.SetChecksumTest(verify);
    for (std::size_t i = 2; i < args.size(); ++i) load.AddFile(args[i]);
    const auto messages = load.Finish();
    for (int i = 0; i < lists->GGAPointCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        out << "point," << i << ',' << lists->GGAPointTime[u] << ',' << Exact(lists->GGAPointNorthing[u]) << ','
            << Exact(lists->GGAPointEasting[u]) << '\n';
    }
    for (int i = 0; i < lists->MKPointCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        out << "mark," << i << ',' << lists->MKPointNo[u] << ',' << lists->MKPointTime[u] << ','
            << Exact(lists->MKPointNorthing[u]) << ',' << Exact(lists->MKPointEasting[u]) << '\n';
    }
    for (const auto& m : messages) out << "message," << m << '\n';
    out << "loaded," << lists->GGAPointCount << ',' << lists->MKPointCount << '\n';
    return 0;
}

int RecordCommand(const Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) {
        err << "usage: tessaro-tool record FILE\n";
        return 2;
    }
    auto lists = std::make_unique<overlays::OverlayLists>();
    const recording::RecordLoad load = recording::LoadRecordFile(args[0], *lists, 0);
    for (int i = 0; i < lists->RecordPointCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        out << "point," << i << ',' << lists->RecordPointInfo[u] << ',' << Exact(lists->RecordPointNorthing[u])
            << ',' << Exact(lists->RecordPointEasting[u]) << '\n';
    }
    for (const auto& m : load.messages) out << "message," << m << '\n';
    out << "loaded," << lists->RecordPointCount << '\n';
    return load.readable ? 0 : 1;
}

}  // namespace

TESSARO_TOOL_COMMAND("ggalog",
                     "--zone N [--no-checksum] FILE...: GGA logs loaded for display: point,INDEX,TIME,NORTHING,EASTING; "
                     "mark,INDEX,NUMBER,TIME,NORTHING,EASTING; message,TEXT; loaded,POINTS,MARKS",
                     GgaLogCommand);
TESSARO_TOOL_COMMAND("record", "FILE: a record file's points: point,INDEX,TIME,NORTHING,EASTING; loaded,POINTS",
                     RecordCommand);

}  // namespace tessaro::tool
