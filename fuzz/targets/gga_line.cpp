// One received line through the GGA filter and decoder, and the decoder on
// the same text whatever its start.
#include "fuzz_support.h"
#include "gga_fuzz.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gps::GgaDecoder& decoder = fuzz::GgaRig::Get().decoder;
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
