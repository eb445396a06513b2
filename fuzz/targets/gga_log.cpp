// A GGA log file, read from disk as the log window reads it (any bytes,
// any line ends, CP932 or UTF-8), into the log lists.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "gps/gga_log_load.h"
#include "overlays/overlay_lists.h"

#include <memory>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto lists = [] {
        geodesy::InitEllipsoid();
        return std::make_unique<overlays::OverlayLists>();
    }();
    geodesy::CurrentZone zone;
    geodesy::SetCurrentZone(9, zone);
    const std::string path = fuzz::WriteScratchFile("log.nmea", fuzz::AsText(data, size));
    gps::GgaLogLoad load(*lists, zone);
    load.AddFile(path);
    load.AddLines(fuzz::Lines(fuzz::AsText(data, size)));
    load.Finish();
    if (lists->GGAPointCount < 0 || lists->GGAPointCount > overlays::OverlayLists::kGGAPointCapacity ||
        lists->MKPointCount < 0 || lists->MKPointCount > overlays::OverlayLists::kMKPointCapacity)
        fuzz::Broken("a log list count outside its array");
    return 0;
}
