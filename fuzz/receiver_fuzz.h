// Driving a file transfer receiver from fuzz input: the line's bytes in
// reads of any length and at any pace, then every timer run out. The
// receiver must end, never set a deadline in the past, and write only the
// file it was given or names directly in that file's folder.
#pragma once

#include "fuzz_support.h"
#include "transfer/files.h"
#include "transfer/protocol.h"

namespace tessaro::fuzz {

inline void DriveReceiver(tolvex::transfer::Protocol& rx, const tolvex::transfer::MemoryFiles& files,
                          InputReader& in, Pace& pace, const std::string& given, const std::string& folder)
{
    using tolvex::transfer::Answer;
    using tolvex::transfer::Millis;
    Millis now = 0;
    Answer a = rx.Start(now);
    for (int steps = 0; !rx.Finished(); ++steps) {
        if (steps > 100000) Broken("the receiver never ends");
        if (a.resume) {
            a = rx.Resume(now);
        } else if (!in.Empty()) {
            now += static_cast<Millis>(pace.Next(64) - 1);
            a = rx.Feed(in.Take(pace.Next(200)), now);
        } else if (auto d = rx.Deadline()) {
            if (*d < now) Broken("a deadline in the past");
            now = *d;
            a = rx.Tick(now);
        } else {
            Broken("the receiver waits for nothing");
        }
    }
    for (const std::string& w : files.asked_to_write)
        if (w != given && !tolvex::transfer::DirectlyInside(w, folder))
            Broken("a file written outside the download folder");
}

}  // namespace tessaro::fuzz
