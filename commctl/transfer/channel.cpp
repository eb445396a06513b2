#include "transfer/channel.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

#include "serial/comm_engine.h"

namespace tolvex::transfer {

Millis SteadyClock::Now() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

EngineChannel::EngineChannel(serial::CommEngine& engine) : engine_(engine) {}

std::string EngineChannel::Read(std::size_t max, Millis timeout)
{
    const Millis ms = std::clamp<Millis>(timeout, 0, INT_MAX);
    return engine_.TransferRead(max, static_cast<int>(ms));
}

std::size_t EngineChannel::Write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t n = engine_.TransferWriteSome(bytes.substr(done));
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool EngineChannel::WaitSent(Millis timeout)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<Millis>(timeout, 0));
    for (;;) {
        if (engine_.TransferOutputBacklog() == 0)
            return true;
        if (engine_.LineLost() || std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool EngineChannel::LineLost() const { return engine_.LineLost(); }

void EngineChannel::Interrupt() { engine_.TransferInterrupt(); }

}  // namespace tolvex::transfer
