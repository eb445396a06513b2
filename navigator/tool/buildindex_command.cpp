// tessaro-tool buildindex: the map library builder's full read of a folder
// without a window and without the pause per photograph.
//
// Prints, in this order: one line "message,TEXT" for each message the window
// would show during the read, the table's rows (the ten fields joined by ","
// as the index writes them), one line "suspect,lat|lon,ROW" for every suspect
// cell of the check, and last "zone,N", the zone the rows are in. With
// --write the rows are also written to FOLDER/MapFileData1.dat.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "builder/map_data_setting.h"
#include "commands.h"
#include "geodesy/plane_coords.h"
#include "shell/program_folder.h"
#include "state/nav_state.h"

namespace {

constexpr const char* kUsage =
    "FOLDER [--zone N] [--threshold T] [--kunit FILE] [--write]  full read of a folder of screenshots: "
    "message,TEXT lines, the index rows, suspect,lat|lon,ROW lines, zone,N (zone 9 and threshold 180 "
    "unless given; --write saves FOLDER/MapFileData1.dat)";

bool ParseInt(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoi(text);
    return value >= low && value <= high;
}

int BuildIndexCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    using namespace tessaro;
    using namespace tessaro::builder;
    std::string folder, kunit;
    int zone = 9, threshold = 180;
    bool write = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--write") {
            write = true;
        } else if ((a == "--zone" || a == "--threshold" || a == "--kunit") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--kunit") {
                kunit = v;
            } else if (a == "--zone" ? !ParseInt(v, 1, 19, zone) : !ParseInt(v, 0, 255, threshold)) {
                err << "tessaro-tool buildindex: " << (a == "--zone" ? "zone must be 1..19: " : "threshold must be 0..255: ")
                    << v << "\n";
                return 2;
            }
        } else if (a.rfind("--", 0) == 0 || !folder.empty()) {
            err << "usage: tessaro-tool buildindex " << kUsage << "\n";
            return 2;
        } else {
            folder = a;
        }
    }
    if (folder.empty()) {
        err << "usage: tessaro-tool buildindex " << kUsage << "\n";
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        err << "tessaro-tool buildindex: not a folder: " << folder << "\n";
        return 2;
    }

    NavState state;
    state.ProgramFolder = ResolveProgramFolder({}, std::getenv("TESSARO_HOME"), ".");
    geodesy::InitEllipsoid();
    geodesy::SetZoneTable();
    geodesy::SetCurrentZone(zone, state.Zone);
    if (kunit.empty()) kunit = state.ProgramFolder + "/data1/KUnit.csv";

    MapDataSetting setting(state);
    setting.Units = LoadUnitGlyphs(kunit);
    if (!setting.Units.loaded) err << "tessaro-tool buildindex: no unit glyphs in " << kunit << ": every altitude reads 100\n";
    setting.ChangeFolder(folder);
    for (const std::string& name : setting.RefusedNames)
        err << "tessaro-tool buildindex: left out (an index line cannot hold the name): " << name << "\n";
    // The option whose threshold was given is selected, as the window's option
    // buttons do; another value stands in the threshold box alone.
    setting.SelectSearchType(2);
    for (int option = 0; option < 5; ++option)
        if (ThresholdOfOption(option) == threshold) setting.SelectSearchType(option);
    setting.PixelTxt = threshold;

    const FullReadResult result = setting.SetLonLatAndHeightCmd();
    for (const std::string& m : result.messages) out << "message," << m << "\n";
    for (int r = 0; r < setting.MapRowCount; ++r) {
        const auto& row = setting.Rows()[static_cast<std::size_t>(r)];
        for (int c = 0; c < mapview::kMapFileColumns; ++c) out << (c ? "," : "") << row[static_cast<std::size_t>(c)];
        out << "\n";
    }
    for (int r = 1; r <= setting.MapRowCount; ++r)
        if (setting.Suspect.latSuspect(r)) out << "suspect,lat," << r << "\n";
    for (int r = 1; r <= setting.MapRowCount; ++r)
        if (setting.Suspect.lonSuspect(r)) out << "suspect,lon," << r << "\n";
    out << "zone," << state.Zone.ZoneNo << "\n";
    if (write) {
        std::string error;
        if (!setting.SaveMapFileData(&error)) {
            err << "tessaro-tool buildindex: cannot write the index: " << error << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("buildindex", kUsage, BuildIndexCommand);
