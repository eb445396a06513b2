// Received bytes through the line-error filter, the ZModem start detector
// and the CP932 lead-byte test, cut into reads as the device delivers them.
// The first byte sets the filter's options (the second the replacement
// byte when one is asked for), the next one the lengths of the reads.
#include "fuzz_support.h"
#include "serial/receive_rules.h"

#include <vector>

using namespace tolvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const std::uint8_t flags = in.Byte();
    serial::ReceiveOptions options;
    options.marks = flags & 1;
    options.counts_errors = flags & 2;
    options.null_discard = flags & 4;
    options.replace = flags & 8 ? in.Byte() : -1;
    serial::ReceiveFilter filter;
    serial::ZModemStartDetector detector;
    tessaro::fuzz::Pace pace(in.Byte());
    std::vector<std::uint8_t> out;
    while (!in.Empty()) {
        const std::string_view read = in.Take(pace.Next(32));
        const std::size_t before = out.size();
        filter.Filter(reinterpret_cast<const std::uint8_t*>(read.data()), read.size(), options, out);
        // A mark held from the last read may come out with this one.
        if (out.size() - before > read.size() + 1) tessaro::fuzz::Broken("the filter made bytes up");
        detector.Scan(read);
        serial::EndsWithCp932LeadByte(read);
    }
    return 0;
}
