// tessaro-tool points: a point file as the point window loads it.
#include <ostream>

#include "commands.h"
#include "points/set_point_session.h"
#include "shell/values.h"

namespace {

int PointsCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) {
        err << "usage: tessaro-tool points FILE\n";
        return 2;
    }
    if (const std::string why = tessaro::points::PointFileRefusal(args[0]); !why.empty()) {
        err << why << "\n";
        return 1;
    }
    const tessaro::points::PointList list = tessaro::points::LoadPointFile(args[0]);
    if (!list.opened) {
        err << "cannot read " << args[0] << "\n";
        return 1;
    }
    for (const auto& row : list.rows) {
        const tessaro::points::StoredPoint p = tessaro::points::PointOf(row);
        out << p.name << "\teasting " << tessaro::FormatFixed(p.easting, 3) << "\tnorthing "
            << tessaro::FormatFixed(p.northing, 3) << "\n";
    }
    if (list.truncated) err << "only the first " << tessaro::points::kMaxPoints << " points were loaded\n";
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("points", "FILE  the points of a point file (easting from Y, northing from X)", PointsCommand);
