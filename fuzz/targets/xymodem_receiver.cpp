// An XModem or YModem receiver (the first byte picks the variant, the
// second the pace) fed the line's bytes in reads of any length and at any
// pace: it must end (a finished transfer, or every timer run out), and it
// writes only the file it was given or names inside its download folder.
#include "receiver_fuzz.h"
#include "transfer/xymodem.h"

using namespace tolvex::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const auto variant = static_cast<xy::Variant>(in.Byte() % 5);
    tessaro::fuzz::Pace pace(in.Byte());
    MemoryFiles files;
    FileList list;
    list.Add("dl/first.bin");
    xy::Receiver rx(files, list, {variant, 0});
    tessaro::fuzz::DriveReceiver(rx, files, in, pace, "dl/first.bin", "dl/");
    return 0;
}
