// A byte stream from the receiver (after a steering byte), cut into reads
// as the serial line cuts it, through the line assembler and the decoder.
#include "fuzz_support.h"
#include "gga_fuzz.h"
#include "gps/line_assembler.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gps::GgaDecoder& decoder = fuzz::GgaRig::Get().decoder;
    fuzz::InputReader in(data, size);
    fuzz::Pace pace(in.Byte());
    gps::LineAssembler lines(4096);
    while (!in.Empty()) {
        lines.Feed(in.Take(pace.Next(64)), [&decoder](std::string& line) { decoder.Feed(line); });
        if (lines.Pending().size() > 4096) fuzz::Broken("a pending line grew past its bound");
    }
    lines.Finish([&decoder](std::string& line) { decoder.Feed(line); });
    return 0;
}
