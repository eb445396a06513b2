// The port side of the control: everything behind the port properties.
//
// The control's dispatch calls these members one-to-one for CommPort,
// Settings, Handshaking, DTREnable, RTSEnable, NullDiscard, ParityReplace,
// InBufferSize, OutBufferSize, PortOpen, Break, the holding properties,
// CommID, Input, InputB, LineInput, Output, OutputB, the buffer counts,
// InputLen, InTimeout, RThreshold, SThreshold, Interval, CommEvent,
// AutoProcess, AutoZModem, Echo and AnswerBack. Setters validate before they
// change anything and throw tolvex::ControlError with the control's error
// number. The members mirror the serial engine (serial/comm_engine.h);
// EnginePort forwards them to an engine it owns, which is the one owner of
// every port value (see commctl/README.md).
#pragma once

#include "common/errors.h"
#include "serial/comm_engine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QObject;

namespace tolvex::control {

// What a port side reports back to the control (all on the GUI thread).
struct PortEvents {
    std::function<void()> fireOnComm;                        // OnComm; the handler reads CommEvent
    std::function<void(std::string_view bytes)> toTerminal;  // AutoProcess data and echo
    std::function<void()> transferWakeup;                    // new data for a running transfer
    // Keeps the control alive while the event loop is inside the port side
    // (a notification, a timer tick): a host may release the control from
    // OnComm, and the control then goes when the token does.
    std::function<std::shared_ptr<void>()> keepAlive;
};

class PortSide {
public:
    virtual ~PortSide() = default;

    // Lifecycle
    virtual bool PortOpen() const = 0;
    virtual void SetPortOpen(bool open) = 0;
    virtual std::int16_t CommPort() const = 0;
    virtual void SetCommPort(std::int16_t port) = 0;
    virtual std::int32_t CommID() const = 0;

    // Device configuration
    virtual std::string Settings() const = 0;
    virtual void SetSettings(std::string_view text) = 0;
    virtual std::int16_t Handshaking() const = 0;
    virtual void SetHandshaking(std::int16_t value) = 0;
    virtual std::int32_t DTREnable() const = 0;
    virtual void SetDTREnable(std::int32_t value) = 0;
    virtual std::int32_t RTSEnable() const = 0;
    virtual void SetRTSEnable(std::int32_t value) = 0;
    virtual bool NullDiscard() const = 0;
    virtual void SetNullDiscard(std::int32_t value) = 0;
    virtual std::string ParityReplace() const = 0;
    virtual void SetParityReplace(std::string_view value) = 0;
    virtual std::int16_t InBufferSize() const = 0;
    virtual void SetInBufferSize(std::int16_t size) = 0;
    virtual std::int16_t OutBufferSize() const = 0;
    virtual void SetOutBufferSize(std::int16_t size) = 0;

    // Line control
    virtual void SetBreak(bool on) = 0;
    virtual bool CDHolding() const = 0;
    virtual bool CTSHolding() const = 0;
    virtual bool DSRHolding() const = 0;

    // Data
    virtual std::string Input() = 0;
    virtual std::string InputB() = 0;
    virtual std::string LineInput() = 0;
    virtual void Output(std::string_view bytes) = 0;
    virtual void OutputB(std::string_view bytes) = 0;
    virtual std::int16_t InBufferCount() const = 0;
    virtual void SetInBufferCount(std::int16_t value) = 0;
    virtual std::int16_t OutBufferCount() const = 0;
    virtual void SetOutBufferCount(std::int16_t value) = 0;
    virtual std::int16_t InputLen() const = 0;
    virtual void SetInputLen(std::int16_t value) = 0;
    virtual std::int32_t InTimeout() const = 0;
    virtual void SetInTimeout(std::int32_t ms) = 0;

    // Notification
    virtual std::int16_t RThreshold() const = 0;
    virtual void SetRThreshold(std::int16_t value) = 0;
    virtual std::int16_t SThreshold() const = 0;
    virtual void SetSThreshold(std::int16_t value) = 0;
    virtual std::int32_t Interval() const = 0;
    virtual void SetInterval(std::int32_t ms) = 0;
    virtual std::int16_t CommEvent() const = 0;
    // CommEvent 0 and no event pending, as on a new instance.
    virtual void ClearCommEvent() = 0;
    virtual std::int16_t AutoProcessMode() const = 0;
    virtual void SetAutoProcess(std::int16_t value) = 0;
    virtual bool AutoZModem() const = 0;
    virtual void SetAutoZModem(bool on) = 0;
    virtual bool Echo() const = 0;
    virtual void SetEcho(bool on) = 0;
    virtual void SetTerminalActive(bool on) = 0;
    virtual std::string AnswerBack() const = 0;
    virtual void SetAnswerBack(std::string_view text) = 0;
    virtual void SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold) = 0;

    virtual bool TransferRunning() const = 0;

    // Where OnComm and terminal data go (the control calls this once).
    virtual void Connect(PortEvents events) { (void)events; }
};

// The port side backed by the serial engine. The engine owns every port
// value and its checks; this class forwards the members one-to-one. The
// engine's event thread asks for a notification by posting an event to a
// QObject of this side, which lives on the thread that made the side (the
// GUI thread); the engine keeps at most one such event in flight.
class EnginePort : public PortSide {
public:
    // `ports` looks up keys of the profile section "Ports"; empty: the
    // control's profile file. `makeDevice` empty: the system's serial device.
    explicit EnginePort(serial::ProfileLookup ports = {}, serial::DeviceFactory makeDevice = {});
    ~EnginePort() override;

    // Where OnComm and terminal data go; set once by the control.
    void Connect(PortEvents events) override;
    serial::CommEngine& Engine() { return *engine_; }
    std::string DevicePath() const { return engine_->DevicePath(); }

    bool PortOpen() const override { return engine_->PortOpen(); }
    void SetPortOpen(bool open) override { engine_->SetPortOpen(open); }
    std::int16_t CommPort() const override { return engine_->CommPort(); }
    void SetCommPort(std::int16_t port) override { engine_->SetCommPort(port); }
    std::int32_t CommID() const override { return engine_->CommID(); }

    std::string Settings() const override { return engine_->Settings(); }
    void SetSettings(std::string_view text) override { engine_->SetSettings(text); }
    std::int16_t Handshaking() const override { return engine_->Handshaking(); }
    void SetHandshaking(std::int16_t value) override { engine_->SetHandshaking(value); }
    std::int32_t DTREnable() const override { return engine_->DTREnable(); }
    void SetDTREnable(std::int32_t value) override { engine_->SetDTREnable(value); }
    std::int32_t RTSEnable() const override { return engine_->RTSEnable(); }
    void SetRTSEnable(std::int32_t value) override { engine_->SetRTSEnable(value); }
    bool NullDiscard() const override { return engine_->NullDiscard(); }
    void SetNullDiscard(std::int32_t value) override { engine_->SetNullDiscard(value); }
    std::string ParityReplace() const override { return engine_->ParityReplace(); }
    void SetParityReplace(std::string_view value) override { engine_->SetParityReplace(value); }
    std::int16_t InBufferSize() const override { return engine_->InBufferSize(); }
    void SetInBufferSize(std::int16_t size) override { engine_->SetInBufferSize(size); }
    std::int16_t OutBufferSize() const override { return engine_->OutBufferSize(); }
    void SetOutBufferSize(std::int16_t size) override { engine_->SetOutBufferSize(size); }

    void SetBreak(bool on) override { engine_->SetBreak(on); }
    bool CDHolding() const override { return engine_->CDHolding(); }
    bool CTSHolding() const override { return engine_->CTSHolding(); }
    bool DSRHolding() const override { return engine_->DSRHolding(); }

    std::string Input() override { return engine_->Input(); }
    std::string InputB() override { return engine_->InputB(); }
    std::string LineInput() override { return engine_->LineInput(); }
    void Output(std::string_view bytes) override { engine_->Output(bytes); }
    void OutputB(std::string_view bytes) override { engine_->OutputB(bytes); }
    std::int16_t InBufferCount() const override { return engine_->InBufferCount(); }
    void SetInBufferCount(std::int16_t value) override { engine_->SetInBufferCount(value); }
    std::int16_t OutBufferCount() const override { return engine_->OutBufferCount(); }
    void SetOutBufferCount(std::int16_t value) override { engine_->SetOutBufferCount(value); }
    std::int16_t InputLen() const override { return engine_->InputLen(); }
    void SetInputLen(std::int16_t value) override { engine_->SetInputLen(value); }
    std::int32_t InTimeout() const override { return engine_->InTimeout(); }
    void SetInTimeout(std::int32_t ms) override { engine_->SetInTimeout(ms); }

    std::int16_t RThreshold() const override { return engine_->RThreshold(); }
    void SetRThreshold(std::int16_t value) override { engine_->SetRThreshold(value); }
    std::int16_t SThreshold() const override { return engine_->SThreshold(); }
    void SetSThreshold(std::int16_t value) override { engine_->SetSThreshold(value); }
    std::int32_t Interval() const override { return engine_->Interval(); }
    void SetInterval(std::int32_t ms) override { engine_->SetInterval(ms); }
    std::int16_t CommEvent() const override { return engine_->CommEvent(); }
    void ClearCommEvent() override { engine_->ClearCommEvent(); }
    std::int16_t AutoProcessMode() const override { return engine_->AutoProcessMode(); }
    void SetAutoProcess(std::int16_t value) override { engine_->SetAutoProcess(value); }
    bool AutoZModem() const override { return engine_->AutoZModem(); }
    void SetAutoZModem(bool on) override { engine_->SetAutoZModem(on); }
    bool Echo() const override { return engine_->Echo(); }
    void SetEcho(bool on) override { engine_->SetEcho(on); }
    void SetTerminalActive(bool on) override { engine_->SetTerminalActive(on); }
    std::string AnswerBack() const override { return engine_->AnswerBack(); }
    void SetAnswerBack(std::string_view text) override { engine_->SetAnswerBack(text); }
    void SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold) override
    {
        engine_->SetSavedInputValues(inputLen, rthreshold);
    }

    bool TransferRunning() const override { return engine_->TransferRunning(); }

private:
    PortEvents events_;
    // Receives the engine's notification events; declared before the engine
    // so that it outlives it: the engine joins its thread first, then
    // notifications still queued die with this object.
    std::unique_ptr<QObject> receiver_;
    std::unique_ptr<serial::CommEngine> engine_;
};

// The port side without a device: the engine keeps and checks every value,
// and the port stays closed. Opening reports that no device could be opened
// (8012); data operations report the closed port (8018).
class StoredPort : public EnginePort {
public:
    StoredPort();
};

// Makes the port side of a new control instance.
using PortFactory = std::function<std::unique_ptr<PortSide>()>;

}  // namespace tolvex::control
