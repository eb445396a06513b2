// tessaro-tool mapindex: see mapview/map_index_report.h.
#include "commands.h"
#include "mapview/map_index_report.h"

namespace {
int MapIndexCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    return tessaro::mapview::RunMapIndexCommand(args, out, err);
}
}  // namespace

TESSARO_TOOL_COMMAND("mapindex", tessaro::mapview::kMapIndexUsage, MapIndexCommand);
