// A ZModem receiver fed the line's bytes in reads of any length and at any
// pace (the first byte picks CRC-32 and ESCCTL and what the application
// answers at the file-ready step, the second the pace): it must end, and it
// writes only the file it was given or names inside its download folder.
#include "receiver_fuzz.h"
#include "transfer/zmodem.h"

using namespace tolvex::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const std::uint8_t how = in.Byte();
    tessaro::fuzz::Pace pace(in.Byte());
    MemoryFiles files;
    files.Put("dl/old.bin", "a file received in part");
    FileList list;
    list.Add("dl/first.bin");
    zm::Options options;
    options.crc32 = (how & 1) != 0;
    options.escape_all = (how & 2) != 0;
    zm::Receiver rx(files, list, options, [how](const Event&) {
        zm::FileChoice c;
        c.skip = (how & 4) != 0;
        c.resume = (how & 8) != 0;
        return c;
    });
    tessaro::fuzz::DriveReceiver(rx, files, in, pace, "dl/first.bin", "dl/");
    return 0;
}
