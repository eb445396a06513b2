// A Kermit receiver (the first byte picks a 7- or 8-bit line, the second
// the pace) fed the line's bytes in reads of any length and at any pace: it
// must end (a finished transfer, or every timer run out), and it writes only
// the file it was given or names inside its download folder.
#include "fuzz_support.h"
#include "transfer/kermit.h"


using namespace tolvex::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    kermit::Options options;
    options.seven_bit = in.Byte() & 1;
    tessaro::fuzz::Pace pace(in.Byte());
    RecordingFiles files;
    FileList list;
    list.Add("dl/first.bin");
    kermit::Receiver rx(files, list, options);
    Millis now = 0;
    Answer a = rx.Start(now);
    for (int steps = 0; !rx.Finished(); ++steps) {
        if (steps > 100000) tessaro::fuzz::Broken("the receiver never ends");
        if (a.resume) {
            a = rx.Resume(now);
        } else if (!in.Empty()) {
            now += static_cast<Millis>(pace.Next(64) - 1);
            a = rx.Feed(in.Take(pace.Next(200)), now);
        } else if (auto d = rx.Deadline()) {
            if (*d < now) tessaro::fuzz::Broken("a deadline in the past");
            now = *d;
            a = rx.Tick(now);
        } else {
            tessaro::fuzz::Broken("the receiver waits for nothing");
        }
    }
    for (const std::string& w : files.written) {
        const std::string rest = w.rfind("dl/", 0) == 0 ? w.substr(3) : std::string();
        if (rest.empty() || rest.find('/') != std::string::npos || rest == "." || rest == "..")
            tessaro::fuzz::Broken("a file written outside the download folder");
    }
    return 0;
}
