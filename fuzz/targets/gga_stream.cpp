// A byte stream from the receiver (after a steering byte), cut into reads
// as the serial line cuts it, through the line assembler and the decoder.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"
#include "gps/line_assembler.h"
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
    fuzz::InputReader in(data, size);
    fuzz::Pace pace(in.Byte());
    gps::LineAssembler lines(4096);
    while (!in.Empty()) {
        lines.Feed(in.Take(pace.Next(64)), [](std::string& line) { decoder.Feed(line); });
        if (lines.Pending().size() > 4096) fuzz::Broken("a pending line grew past its bound");
    }
    lines.Finish([](std::string& line) { decoder.Feed(line); });
    return 0;
}
