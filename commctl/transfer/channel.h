// The line as the transfer pump sees it, and the clock it reads.
//
// EngineChannel is the serial engine's raw transfer channel; tests give the
// pump a fake channel whose waits advance a fake clock instead of sleeping.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "transfer/protocol.h"

namespace tolvex::serial {
class CommEngine;
}

namespace tolvex::transfer {

class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis Now() const = 0;
};

// The monotonic clock of the system.
class SteadyClock final : public Clock {
public:
    Millis Now() const override;
};

class TransferChannel {
public:
    virtual ~TransferChannel() = default;
    // Waits up to `timeout` for the first received byte, then takes up to
    // `max` bytes; empty when nothing arrived or Interrupt() was called.
    virtual std::string Read(std::size_t max, Millis timeout) = 0;
    // Queues as many of the bytes as there is room for now, from the front;
    // returns how many.
    virtual std::size_t Write(std::string_view bytes) = 0;
    // Waits up to `timeout` until everything queued has left; false when
    // some is still waiting.
    virtual bool WaitSent(Millis timeout) = 0;
    // True once the far side went away.
    virtual bool LineLost() const = 0;
    // Any thread: makes a waiting Read() return at once.
    virtual void Interrupt() = 0;
};

// The open port of a serial engine. The engine must stay open and have its
// transfer flag set while the channel is in use; only the pump calls it.
class EngineChannel final : public TransferChannel {
public:
    explicit EngineChannel(serial::CommEngine& engine);
    std::string Read(std::size_t max, Millis timeout) override;
    std::size_t Write(std::string_view bytes) override;
    bool WaitSent(Millis timeout) override;
    bool LineLost() const override;
    void Interrupt() override;

private:
    serial::CommEngine& engine_;
};

}  // namespace tolvex::transfer
