// The control's side of a B Plus transfer (the first byte picks the
// variant and whether the application queued an upload or a download, the
// second the pace) fed the host's bytes in reads of any length and at any
// pace: it must end (a finished transfer, or every timer run out), read no
// file but the one queued, and write only inside its download folder (the
// current folder when an upload was queued).
#include "receiver_fuzz.h"
#include "transfer/bplus.h"

using namespace tolvex::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const std::uint8_t how = in.Byte();
    tessaro::fuzz::Pace pace(in.Byte());
    MemoryFiles files;
    files.Put("up.bin", std::string(3000, 'u'));
    files.Put("secret", "s");
    files.Put("dl/part.bin", "partial");  // a download to resume
    FileList up, down;
    if (how & 2) up.Add("up.bin");
    else down.Add("dl/");
    bp::Transfer t(files, up, down, {(how & 1) ? bp::Variant::kNiftyServe : bp::Variant::kCompuServe,
                                     (how & 4) ? 2400 : 19200});
    // With an upload queued, what the host sends goes to the current folder.
    tessaro::fuzz::DriveReceiver(t, files, in, pace, "", (how & 2) ? "" : "dl/");
    for (const std::string& r : files.asked_to_read)
        if (r != "up.bin") tessaro::fuzz::Broken("a file read that was not queued");
    return 0;
}
