// The port side of the control: everything behind the port properties
// (the rows of part Port in object_model.cpp: CommPort, Settings,
// Handshaking, the line and buffer values, PortOpen, Input, Output, the
// thresholds, CommEvent, AutoProcess, AutoZModem, Echo, AnswerBack, ...).
//
// The control reads and writes them through the part's Get/Put; the members
// below are what the control needs besides (closing at reset and
// destruction, the terminal's state, the values AutoProcess puts aside).
// EnginePort maps the rows onto a serial engine it owns, which is the one
// owner of every port value and its checks (see commctl/README.md).
#pragma once

#include "control_part.h"
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

class PortSide : public ControlPart {
public:
    virtual bool IsOpen() const = 0;
    // Closes the port if it is open.
    virtual void Close() = 0;
    // CommEvent 0 and no event pending, as on a new instance.
    virtual void ClearCommEvent() = 0;
    // Emulation is not NONE: echo and AutoProcess data go to the terminal.
    virtual void SetTerminalActive(bool on) = 0;
    // The InputLen and RThreshold that AutoProcess NONE restores.
    virtual void SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold) = 0;
    // Where OnComm and terminal data go (the control calls this once).
    virtual void Connect(PortEvents events) { (void)events; }
};

// The port side backed by the serial engine: one switch maps each row onto
// the engine's member. The engine's event thread asks for a notification by
// posting an event to a QObject of this side, which lives on the thread that
// made the side (the GUI thread); the engine keeps at most one such event in
// flight.
class EnginePort : public PortSide {
public:
    // `ports` looks up keys of the profile section "Ports"; empty: the
    // control's profile file. `makeDevice` empty: the system's serial device.
    explicit EnginePort(serial::ProfileLookup ports = {}, serial::DeviceFactory makeDevice = {});
    ~EnginePort() override;

    com::Variant Get(const PropertyRow& row) override;
    void Put(const PropertyRow& row, const PutValue& value) override;

    bool IsOpen() const override { return engine_->PortOpen(); }
    void Close() override;
    void ClearCommEvent() override { engine_->ClearCommEvent(); }
    void SetTerminalActive(bool on) override { engine_->SetTerminalActive(on); }
    void SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold) override
    {
        engine_->SetSavedInputValues(inputLen, rthreshold);
    }
    // Where OnComm and terminal data go; set once by the control.
    void Connect(PortEvents events) override;

    serial::CommEngine& Engine() { return *engine_; }
    std::string DevicePath() const { return engine_->DevicePath(); }

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
