// Loading a GGA log for display: a 15002-line log (15001 points are kept,
// the limit) with 101 marks, read from disk into the lists the way the log
// window's OK does. Prints the median and worst of the loads.
//
//   ggalog_bench [loads]   (default 30)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "gps/gga_log_load.h"
#include "gps/nmea_checksum.h"

using namespace tessaro;

int main(int argc, char** argv)
{
    const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const auto path = std::filesystem::temp_directory_path() / "ggalog_bench.txt";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 15002; ++i) {
            const double lat = 35.70 + 0.00001 * (i % 1000), lon = 139.76 + 0.00001 * (i / 1000);
            char line[160];
            std::snprintf(line, sizeof line,
                          "$GPGGA,%02d%02d%02d.00,%02d%07.4f,N,%03d%07.4f,E,1,08,0.9,12.0,M,39.5,M,,0000",
                          (i / 3600) % 24, (i / 60) % 60, i % 60, static_cast<int>(lat), (lat - 35) * 60.0,
                          static_cast<int>(lon), (lon - 139) * 60.0);
            out << gps::WithNmeaChecksum(line) << "\r\n";
            if (i % 148 == 0) out << "A," << i / 148 + 1 << "\r\n";
        }
    }
    geodesy::CurrentZone zone;
    geodesy::SetCurrentZone(9, zone);
    auto lists = std::make_unique<overlays::OverlayLists>();
    std::vector<double> ms;
    for (int i = 0; i < loads; ++i) {
        const auto a = std::chrono::steady_clock::now();
        gps::GgaLogLoad load(*lists, zone);
        load.AddFile(path.string());
        load.Finish();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
    }
    std::filesystem::remove(path);
    std::sort(ms.begin(), ms.end());
    std::printf("load of a 15002-line log: %d points, %d marks; median %.2f ms, worst %.2f ms (%d loads); "
                "goal <= 50 ms: %s\n",
                lists->GGAPointCount, lists->MKPointCount, ms[ms.size() / 2], ms.back(), loads,
                ms[ms.size() / 2] <= 50 ? "met" : "missed");
    return lists->GGAPointCount == 15001 && lists->MKPointCount == 101 ? 0 : 1;
}
