// A Kermit receiver fed the line's bytes in reads of any length and at any
// pace (the first byte picks a 7- or 8-bit line and whether the application
// skips the file at the file-ready step, the second the pace): it must end,
// and it writes only the file it was given or names inside its download
// folder.
#include "receiver_fuzz.h"
#include "transfer/kermit.h"

using namespace tolvex::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const std::uint8_t how = in.Byte();
    tessaro::fuzz::Pace pace(in.Byte());
    MemoryFiles files;
    FileList list;
    list.Add("dl/first.bin");
    kermit::Options options;
    options.seven_bit = (how & 1) != 0;
    kermit::Receiver rx(files, list, options, [how](const Event&) {
        xy::FileChoice c;
        c.skip = (how & 2) != 0;
        return c;
    });
    tessaro::fuzz::DriveReceiver(rx, files, in, pace, "dl/first.bin", "dl/");
    return 0;
}
