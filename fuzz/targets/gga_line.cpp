// One received line through the GGA filter and decoder, and the decoder on
// the same text whatever its start.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"
#include "state/nav_state.h"

#include <memory>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto state = [] {
        geodesy::InitEllipsoid();
        return std::make_unique<NavState>();
    }();
    static gps::GpsWindow window;
    static gps::MapSelection maps;
    static gps::OverlayDrawing drawing;
    static gps::RecordLineSink record;
    static gps::GgaDecoder decoder(*state, window, maps, drawing, record);

    geodesy::SetCurrentZone(9, state->Zone);
    const std::string_view line = fuzz::AsText(data, size);
    FieldDataArray fields;
    try {
        gps::SplitAtCommas(line, fields);
    } catch (const std::exception&) {
        // More fields than the array holds: refused as the splitter promises.
    }
    decoder.Feed(line);
    decoder.DecodeGPGGAData(line);
    return 0;
}
