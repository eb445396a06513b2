// tessaro-tool ocr: reads the status line of screenshots (latitude, longitude,
// altitude) as the map library builder does.
#include <cstdlib>
#include <iostream>
#include <string>

#include "builder/jpeg_picture.h"
#include "builder/recogniser.h"
#include "commands.h"
#include "shell/program_folder.h"

namespace {

constexpr const char* kUsage =
    "[--kunit FILE] [--threshold T] IMAGE...  print NAME<TAB>LAT<TAB>LON<TAB>ALT read from each screenshot";

int OcrCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    using namespace tessaro::builder;
    std::string kunit;
    int threshold = 180;
    std::vector<std::string> images;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--kunit" || a == "--threshold") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--kunit") {
                kunit = v;
                continue;
            }
            char* end = nullptr;
            const long t = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || t < 0 || t > 255) {
                err << "tessaro-tool ocr: threshold must be 0..255: " << v << "\n";
                return 2;
            }
            threshold = static_cast<int>(t);
        } else if (a.rfind("--", 0) == 0 && a.size() > 2) {
            err << "usage: tessaro-tool ocr " << kUsage << "\n";
            return 2;
        } else {
            images.push_back(a);
        }
    }
    if (images.empty()) {
        err << "usage: tessaro-tool ocr " << kUsage << "\n";
        return 2;
    }
    if (kunit.empty()) kunit = tessaro::ResolveProgramFolder({}, std::getenv("TESSARO_HOME"), ".") + "/data1/KUnit.csv";
    const UnitGlyphs units = LoadUnitGlyphs(kunit);
    if (!units.loaded) err << "tessaro-tool ocr: no unit glyphs in " << kunit << ": every altitude reads 100\n";
    for (const std::string& path : images) {
        // Every picture is read from cleared working tables.
        WorkTables tables;
        const Reading r = ReadImageFile(path, threshold, units, tables);
        const std::size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        out << name << '\t' << r.latitude << '\t' << r.longitude << '\t' << r.altitude << '\n';
    }
    return 0;
}

}  // namespace

TESSARO_TOOL_COMMAND("ocr", kUsage, OcrCommand);
