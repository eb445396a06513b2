// Status-line recognition of 1920 x 1080 screenshots: recognition alone (the
// picture decoded beforehand), a full decode plus recognition, a decode of
// only the bottom rows plus recognition, against plain decoding of the same
// files in the same run.
//
//   build/bin/ocr_bench [--benchmark_filter=...]
//
// The screenshots are the sample library's photographs enlarged to
// 1920 x 1080 with their status lines drawn again, encoded in memory as most
// screenshot tools save them (quality 85, 4:2:0).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "builder/jpeg_picture.h"
#include "builder/status_font.h"
#include "shell/textfile.h"
#include "shell/values.h"

using namespace tessaro;
using namespace tessaro::builder;

namespace {

struct Screens {
    std::vector<std::vector<std::uint8_t>> jpegs;
    std::vector<GreyPicture> decoded;
    std::vector<Reading> expected;
    UnitGlyphs units = ParseUnitGlyphs(UnitGlyphFileLines());
};

const Screens& TheScreens()
{
    static const Screens screens = [] {
        Screens s;
        const char* src = std::getenv("TESSARO_SOURCE_DIR");
        const std::string dir = std::string(src ? src : TESSARO_SOURCE_DIR_DEFAULT) + "/data/MapPicSample";
        const auto lines = ReadTextLines(dir + "/MapFileData1.dat");
        if (!lines) std::abort();
        for (const std::string& line : *lines) {
            FieldDataArray f;
            SplitFields(line, ",", f);
            const auto photo = DecodeJpegRgb(dir + "/" + f[1]);
            if (!photo) std::abort();
            RgbPicture big;
            big.width = 1920;
            big.height = 1080;
            big.rgb.resize(1920u * 1080u * 3u);
            for (int y = 0; y < 1080; ++y)
                for (int x = 0; x < 1920; ++x)
                    for (int c = 0; c < 3; ++c)
                        big.rgb[(static_cast<std::size_t>(y) * 1920 + static_cast<std::size_t>(x)) * 3 + static_cast<std::size_t>(c)] =
                            photo->rgb[(static_cast<std::size_t>(y * photo->height / 1080) * static_cast<std::size_t>(photo->width) +
                                        static_cast<std::size_t>(x * photo->width / 1920)) * 3 + static_cast<std::size_t>(c)];
            std::vector<std::uint8_t> grey(1920u * 1080u);
            DrawStatusLine(grey, 1920, 1080, StatusLineFor(f[2], f[3], static_cast<int>(NumericValue(f[4]))));
            for (std::size_t i = (1080u - kBarHeight) * 1920u; i < grey.size(); ++i)
                for (int c = 0; c < 3; ++c) big.rgb[3 * i + static_cast<std::size_t>(c)] = grey[i];
            s.jpegs.push_back(EncodeJpeg(big, 85, true));
            s.decoded.push_back(*DecodeJpegGrey(s.jpegs.back()));
            s.expected.push_back({f[2], f[3], f[4]});
        }
        return s;
    }();
    return screens;
}

void CheckReading(benchmark::State& state, const Reading& r, std::size_t i)
{
    const Reading& e = TheScreens().expected[i];
    if (r.latitude != e.latitude || r.longitude != e.longitude || r.altitude != e.altitude)
        state.SkipWithError("misread screenshot");
}

void BM_RecogniseOnly(benchmark::State& state)
{
    const Screens& s = TheScreens();
    WorkTables tables;
    std::size_t i = 0;
    for (auto _ : state) {
        const Reading r = ReadStatusLine(s.decoded[i], 180, s.units, tables);
        benchmark::DoNotOptimize(r.altitude.data());
        if (state.iterations() < 13) CheckReading(state, r, i);
        i = (i + 1) % s.decoded.size();
    }
}
BENCHMARK(BM_RecogniseOnly)->Unit(benchmark::kMicrosecond);

void BM_PlainDecode(benchmark::State& state)
{
    const Screens& s = TheScreens();
    std::size_t i = 0;
    for (auto _ : state) {
        auto p = DecodeJpegRgb(s.jpegs[i]);
        benchmark::DoNotOptimize(p->rgb.data());
        i = (i + 1) % s.jpegs.size();
    }
}
BENCHMARK(BM_PlainDecode)->Unit(benchmark::kMicrosecond);

void BM_FullDecodeAndRecognise(benchmark::State& state)
{
    const Screens& s = TheScreens();
    WorkTables tables;
    std::size_t i = 0;
    for (auto _ : state) {
        // The photograph decoded whole (as for showing it), its status line
        // read from the bottom rows of that picture.
        const auto p = DecodeJpegRgb(s.jpegs[i]);
        const Reading r = ReadStatusLine(GreyOf(*p, kStatusRows), 180, s.units, tables);
        benchmark::DoNotOptimize(r.altitude.data());
        if (state.iterations() < 13) CheckReading(state, r, i);
        i = (i + 1) % s.jpegs.size();
    }
}
BENCHMARK(BM_FullDecodeAndRecognise)->Unit(benchmark::kMicrosecond);

void BM_BottomDecodeAndRecognise(benchmark::State& state)
{
    const Screens& s = TheScreens();
    WorkTables tables;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto p = DecodeJpegGrey(s.jpegs[i], kStatusRows);
        const Reading r = ReadStatusLine(*p, 180, s.units, tables);
        benchmark::DoNotOptimize(r.altitude.data());
        if (state.iterations() < 13) CheckReading(state, r, i);
        i = (i + 1) % s.jpegs.size();
    }
}
BENCHMARK(BM_BottomDecodeAndRecognise)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
