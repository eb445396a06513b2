#include "transfer/pump.h"

#include <algorithm>
#include <utility>

namespace tolvex::transfer {

Pump::Pump(Protocol& protocol, TransferChannel& channel, const Clock& clock, Post post)
    : protocol_(protocol), channel_(channel), clock_(clock), post_(std::move(post))
{
}

void Pump::Ask(Request request)
{
    {
        std::lock_guard lk(requests_m_);
        requests_.push_back(request);
    }
    channel_.Interrupt();
}

void Pump::Stop()
{
    stop_.store(true);
    channel_.Interrupt();
}

void Pump::Apply(Answer answer)
{
    for (;;) {
        out_.append(answer.send);
        watch_sent_ = watch_sent_ || answer.watch_sent;
        // The line first: the far side need not wait while the application
        // handles the events.
        if (!answer.events.empty() && !out_.empty())
            out_.erase(0, channel_.Write(out_));
        for (const Event& e : answer.events)
            if (post_)
                post_(e);
        // The events were handled (post waits for that): the protocol may go on.
        if (!answer.resume || Stopping())
            return;
        answer = protocol_.Resume(clock_.Now());
    }
}

void Pump::Flush()
{
    if (!out_.empty())
        out_.erase(0, channel_.Write(out_));
    // Tell a protocol that streams when the line has taken all it answered,
    // so it can answer more.
    while (out_.empty() && watch_sent_ && !protocol_.Finished() && !Stopping()) {
        watch_sent_ = false;
        Apply(protocol_.Sent(clock_.Now()));
        if (!out_.empty())
            out_.erase(0, channel_.Write(out_));
    }
}

PumpResult Pump::Run()
{
    Apply(protocol_.Start(clock_.Now()));
    bool told_lost = false;
    while (!protocol_.Finished()) {
        if (Stopping())
            return {false, true};
        std::vector<Request> requests;
        {
            std::lock_guard lk(requests_m_);
            requests.swap(requests_);
        }
        for (Request r : requests)
            Apply(protocol_.Ask(r, clock_.Now()));
        if (!told_lost && channel_.LineLost()) {
            told_lost = true;
            Apply(protocol_.LineLost(clock_.Now()));
        }
        Flush();
        if (protocol_.Finished())
            break;

        // Sleep until the deadline, new data or a wake-up; bytes still to be
        // queued shorten the sleep.
        const Millis now = clock_.Now();
        Millis wait = kIdleWait;
        if (auto d = protocol_.Deadline())
            wait = std::clamp<Millis>(*d - now, 0, kIdleWait);
        if (!out_.empty())
            wait = std::min(wait, kWriteRetry);
        const std::string data = channel_.Read(kReadMax, wait);
        if (!data.empty())
            Apply(protocol_.Feed(data, clock_.Now()));
        if (auto d = protocol_.Deadline(); d && clock_.Now() >= *d)
            Apply(protocol_.Tick(clock_.Now()));
    }
    // The last answer (an acknowledgement, an abort sequence) must leave
    // before the transfer hands the port back.
    const Millis end = clock_.Now() + kDrainWait;
    while (!out_.empty() && !Stopping() && !channel_.LineLost() && clock_.Now() < end) {
        Flush();
        if (!out_.empty())
            channel_.WaitSent(kWriteRetry);  // room comes as the backlog leaves
    }
    if (out_.empty() && !Stopping())
        channel_.WaitSent(std::max<Millis>(end - clock_.Now(), 0));
    return {protocol_.Succeeded(), false};
}

}  // namespace tolvex::transfer
