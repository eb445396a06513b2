// GGA decode-and-convert throughput and the plane-coordinate series against
// GeographicLib's transverse Mercator, in one run. After the benchmarks the
// program prints the speed ratio LatLonToPlane / TransverseMercator::Forward
// (above 1.0: LatLonToPlane is faster).
#include <GeographicLib/TransverseMercator.hpp>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"

namespace {

using namespace tessaro;

const double kLat0 = 36.0;
const double kLon0 = 139.0 + 50.0 / 60.0;

// 1024 positions spread over zone 9's box.
std::vector<geodesy::LatLon> Points()
{
    std::vector<geodesy::LatLon> pts;
    for (int i = 0; i < 1024; ++i)
        pts.push_back({kLat0 - 1.9 + 3.8 * ((i * 37) % 1024) / 1024.0, kLon0 - 1.1 + 2.2 * ((i * 101) % 1024) / 1024.0});
    return pts;
}

// 256 sentences of a receiver moving around Tokyo.
std::vector<std::string> Sentences()
{
    std::vector<std::string> lines;
    for (int i = 0; i < 256; ++i) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "$GPGGA,%02d%02d%02d.00,35%02d.%04d,N,139%02d.%04d,E,%d,%02d,0.9,40.1,M,39.5,M,,*47",
                      i % 24, i % 60, (i * 7) % 60, 30 + i % 20, (i * 7919) % 10000, 30 + i % 25, (i * 104729) % 10000,
                      1 + i % 3, 4 + i % 9);
        lines.emplace_back(buf);
    }
    return lines;
}

void BM_GgaDecodeAndConvert(benchmark::State& state)
{
    geodesy::InitEllipsoid();
    NavState nav;
    geodesy::SetCurrentZone(9, nav.Zone);
    nav.ViewScale = 0.17f;
    nav.RecordingOn = true;
    nav.pRecordSTS = -1;
    nav.RecordInterval = 1;
    gps::GpsWindow window;
    gps::MapSelection maps;
    gps::OverlayDrawing drawing;
    gps::RecordLineSink record;
    gps::GgaDecoder decoder(nav, window, maps, drawing, record);
    const std::vector<std::string> lines = Sentences();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.Feed(lines[i]));
        i = (i + 1) & 255;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GgaDecodeAndConvert);

void BM_LatLonToPlane(benchmark::State& state)
{
    geodesy::InitEllipsoid();
    const auto pts = Points();
    std::size_t i = 0;
    for (auto _ : state) {
        const geodesy::PlanePoint p = geodesy::LatLonToPlane(pts[i].lat, pts[i].lon, kLat0, kLon0);
        benchmark::DoNotOptimize(p);
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LatLonToPlane);

// The same with the origin changing on every call, so that the origin's
// meridian arc is computed every time as well (the navigator keeps one zone).
void BM_LatLonToPlaneChangingOrigin(benchmark::State& state)
{
    geodesy::InitEllipsoid();
    const auto pts = Points();
    std::size_t i = 0;
    for (auto _ : state) {
        const double lat0 = (i & 1) ? kLat0 : kLat0 + 1e-9;
        const geodesy::PlanePoint p = geodesy::LatLonToPlane(pts[i].lat, pts[i].lon, lat0, kLon0);
        benchmark::DoNotOptimize(p);
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LatLonToPlaneChangingOrigin);

void BM_GeographicLibForward(benchmark::State& state)
{
    const GeographicLib::TransverseMercator tm(6378137.0, 1 / 298.257222101, 0.9999);
    const auto pts = Points();
    std::size_t i = 0;
    for (auto _ : state) {
        double x, y;
        tm.Forward(kLon0, pts[i].lat, pts[i].lon, x, y);
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeographicLibForward);

// Keeps the time per iteration of every run for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // single runs, or the median when the benchmarks are repeated
        for (const Run& r : runs)
            if ((r.run_type == Run::RT_Iteration && r.iterations > 0) ||
                (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median"))
                nsPerCall[r.run_name.function_name] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerCall;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.nsPerCall.find("BM_LatLonToPlane");
    const auto changing = reporter.nsPerCall.find("BM_LatLonToPlaneChangingOrigin");
    const auto theirs = reporter.nsPerCall.find("BM_GeographicLibForward");
    const auto end = reporter.nsPerCall.end();
    if (ours != end && theirs != end && ours->second > 0)
        std::printf("ratio of CPU time per call, GeographicLib Forward / LatLonToPlane: %.2f\n", theirs->second / ours->second);
    if (changing != end && theirs != end && changing->second > 0)
        std::printf("ratio of CPU time per call, GeographicLib Forward / LatLonToPlane (origin changing): %.2f\n",
                    theirs->second / changing->second);
    benchmark::Shutdown();
    return 0;
}
