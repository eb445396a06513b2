// A map index file (MapFileData1.dat) loaded into the index and the zone.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "mapview/map_loader.h"

#include <memory>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto index = [] {
        geodesy::InitEllipsoid();
        return std::make_unique<mapview::MapIndex>();
    }();
    geodesy::CurrentZone zone;
    geodesy::SetCurrentZone(9, zone);
    const std::string path = fuzz::WriteScratchFile("maps/MapFileData1.dat", fuzz::AsText(data, size));
    mapview::LoadMapIndexFile(path, zone, *index);
    if (index->MapCount < 0 || index->MapCount > mapview::kMapCapacity) fuzz::Broken("map count outside the index");
    return 0;
}
