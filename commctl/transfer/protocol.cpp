#include "transfer/protocol.h"

namespace tolvex::transfer {

Answer Protocol::Start(Millis now)
{
    if (!finished_)
        OnStart(now);
    return Collect();
}

Answer Protocol::Feed(std::string_view bytes, Millis now)
{
    if (!finished_ && !bytes.empty())
        OnFeed(bytes, now);
    return Collect();
}

Answer Protocol::Tick(Millis now)
{
    if (!finished_)
        OnTick(now);
    return Collect();
}

Answer Protocol::Ask(Request request, Millis now)
{
    if (!finished_)
        OnRequest(request, now);
    return Collect();
}

Answer Protocol::LineLost(Millis now)
{
    if (!finished_)
        OnLineLost(now);
    return Collect();
}

Answer Protocol::Resume(Millis now)
{
    if (!finished_)
        OnResume(now);
    return Collect();
}

Answer Protocol::Sent(Millis now)
{
    if (!finished_)
        OnSent(now);
    return Collect();
}

void Protocol::OnRequest(Request, Millis) {}

void Protocol::OnResume(Millis) {}

void Protocol::OnSent(Millis) {}

void Protocol::OnLineLost(Millis) {}

void Protocol::Finish(bool ok)
{
    if (finished_)
        return;
    finished_ = true;
    succeeded_ = ok;
    deadline_.reset();
    Event end;
    end.kind = EventKind::kEnd;
    end.status = ok ? kStatusTermOk : kStatusTermError;
    Emit(std::move(end));
}

Answer Protocol::Collect()
{
    Answer a = std::move(answer_);
    answer_ = Answer{};
    a.deadline = deadline_;
    a.finished = finished_;
    return a;
}

}  // namespace tolvex::transfer
