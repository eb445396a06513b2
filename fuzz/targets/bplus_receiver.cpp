// The control's side of a B Plus transfer (the first byte picks the
// variant and whether the application queued an upload or a download, the
// second the pace) fed the host's bytes in reads of any length and at any
// pace: it must end (a finished transfer, or every timer run out), read no
// file but the one queued, and write only inside its download folder (the
// current folder when an upload was queued).
#include "fuzz_support.h"
#include "transfer/bplus.h"

#include <set>

using namespace tolvex::transfer;

namespace {

class Recording final : public FileAccess {
public:
    std::set<std::string> read, written;
    std::unique_ptr<TransferFile> OpenRead(const std::string& n, int& e) override
    {
        read.insert(n);
        return files.OpenRead(n, e);
    }
    std::unique_ptr<TransferFile> OpenWrite(const std::string& n, bool resume, int& e) override
    {
        written.insert(n);
        return files.OpenWrite(n, resume, e);
    }
    bool Exists(const std::string& n) override { return files.Exists(n); }
    MemoryFiles files;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::fuzz::InputReader in(data, size);
    const std::uint8_t how = in.Byte();
    tessaro::fuzz::Pace pace(in.Byte());
    Recording files;
    files.files.Put("up.bin", std::string(3000, 'u'));
    files.files.Put("secret", "s");
    files.files.Put("dl/part.bin", "partial");  // a download to resume
    FileList up, down;
    if (how & 2) up.Add("up.bin");
    else down.Add("dl/");
    bp::Transfer t(files, up, down, {(how & 1) ? bp::Variant::kNiftyServe : bp::Variant::kCompuServe,
                                     (how & 4) ? 2400 : 19200});
    Millis now = 0;
    Answer a = t.Start(now);
    for (int steps = 0; !t.Finished(); ++steps) {
        if (steps > 100000) tessaro::fuzz::Broken("the transfer never ends");
        if (a.resume) {
            a = t.Resume(now);
        } else if (!in.Empty()) {
            now += static_cast<Millis>(pace.Next(64) - 1);
            a = t.Feed(in.Take(pace.Next(200)), now);
        } else if (auto d = t.Deadline()) {
            if (*d < now) tessaro::fuzz::Broken("a deadline in the past");
            now = *d;
            a = t.Tick(now);
        } else {
            tessaro::fuzz::Broken("the transfer waits for nothing");
        }
    }
    for (const std::string& r : files.read)
        if (r != "up.bin") tessaro::fuzz::Broken("a file read that was not queued");
    // With an upload queued, what the host sends goes to the current folder.
    const std::string folder = (how & 2) ? "" : "dl/";
    for (const std::string& w : files.written) {
        const std::string rest = w.rfind(folder, 0) == 0 ? w.substr(folder.size()) : std::string();
        if (rest.empty() || rest.find('/') != std::string::npos || rest == "." || rest == "..")
            tessaro::fuzz::Broken("a file written outside the download folder");
    }
    return 0;
}
