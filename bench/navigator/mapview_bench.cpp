// Map index loading and the choice of photographs at 2000 photographs, the
// most a library holds. The choice runs every time the view is re-centred
// while tracking, so it must stay far below a frame (goal: 1 ms).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mapview/map_index.h"
#include "mapview/map_loader.h"
#include "mapview/map_view.h"
#include "state/nav_state.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace {

namespace fs = std::filesystem;
using namespace tessaro;

std::string Dms(double degrees, int degreeDigits)
{
    const int d = static_cast<int>(std::floor(degrees));
    const double minutes = (degrees - d) * 60.0;
    const int m = static_cast<int>(std::floor(minutes));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0*d-%02d-%05.2f", degreeDigits, d, m, (minutes - m) * 60.0);
    return buf;
}

// A library of `count` photographs 2000 x 1500 m on a 1000 m grid around the
// origin of zone 9, so that all of them qualify at level 16.
struct Library {
    fs::path folder;
    explicit Library(int count)
    {
        folder = fs::temp_directory_path() / ("tessaro-mapview-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        geodesy::InitEllipsoid();
        const auto& zone = geodesy::ZoneTable()[8];
        std::vector<std::string> lines;
        const int side = static_cast<int>(std::ceil(std::sqrt(count)));
        for (int i = 0; i < count; ++i) {
            const double e = (i % side - side / 2) * 1000.0 + 0.5;
            const double n = (i / side - side / 2) * 1000.0 + 0.5;
            const auto ll = geodesy::PlaneToLatLon(e, n, zone.originLat(), zone.originLon());
            lines.push_back(std::to_string(i + 1) + ",photo" + std::to_string(i) + ".jpg," + Dms(ll.lat, 2) + "," +
                            Dms(ll.lon, 3) + ",2100,2000,1500,9," + FormatFixed(e, 2) + "," + FormatFixed(n, 2));
        }
        WriteTextLinesAtomic(mapview::JoinPath(folder.string(), mapview::kMapIndexFileName), lines);
    }
    ~Library() { fs::remove_all(folder); }
    NavState state() const
    {
        NavState s;
        s.MapPicFolder = folder.string();
        const auto& zone = geodesy::ZoneTable()[8];
        s.Zone = {9, zone.originLat(), zone.originLon()};
        s.ScaleLevel = 16;
        mapview::ApplyScaleLevel(s);
        return s;
    }
};

void BM_LoadMapIndex(benchmark::State& bench)
{
    Library library(static_cast<int>(bench.range(0)));
    NavState s = library.state();
    for (auto _ : bench) {
        mapview::LoadMapDataToGrid(s);
        benchmark::DoNotOptimize(s.Maps.MapCount);
    }
    if (s.Maps.MapCount != bench.range(0)) bench.SkipWithError("library did not load whole");
}
BENCHMARK(BM_LoadMapIndex)->Arg(2000)->Unit(benchmark::kMillisecond);

// One choice of photographs; the view centre walks so that the order of the
// table changes between calls, as it does while tracking.
void BM_LoadMapImages(benchmark::State& bench)
{
    Library library(static_cast<int>(bench.range(0)));
    NavState s = library.state();
    mapview::LoadMapDataToGrid(s);
    int step = 0;
    for (auto _ : bench) {
        s.ViewCentreEasting = (step % 40 - 20) * 250.0;
        s.ViewCentreNorthing = static_cast<float>((step / 40 % 40 - 20) * 250.0);
        ++step;
        mapview::LoadMapImages(s, nullptr);
        benchmark::DoNotOptimize(s.ShownMapCount);
    }
    if (s.ShownMapCount != mapview::kPhotoSlots) bench.SkipWithError("expected nine photographs");
}
BENCHMARK(BM_LoadMapImages)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
