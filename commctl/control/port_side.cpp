#include "port_side.h"

#include "ini_file.h"
#include "serial/port_device.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cerrno>

namespace tolvex::control {

namespace id = com::dispid;

namespace {

// The engine's request to handle one notification on the GUI thread.
class NotifyEvent final : public QEvent {
public:
    explicit NotifyEvent(serial::Notification n) : QEvent(Type()), notification(n) {}
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    serial::Notification notification;
};

// Hands notification events to the engine; lives on the GUI thread.
class NotifyReceiver final : public QObject {
public:
    serial::CommEngine* engine = nullptr;
    int dispatching = 0;  // inside customEvent (nested when a handler runs the event loop)

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() != NotifyEvent::Type() || !engine) return;
        ++dispatching;
        // The engine may be destroyed in here (a host that releases its
        // control from OnComm); the port side then leaves this object to
        // deleteLater, so it is still valid below.
        engine->HandleNotification(static_cast<NotifyEvent*>(event)->notification);
        --dispatching;
    }
};

serial::ProfileLookup ControlProfilePorts()
{
    // Read at each open, so an edited profile takes effect without restarting.
    return [](std::string_view key) { return profile::ReadProfileString("Ports", key); };
}

// A port that is never there: opening fails with an error that maps to 8012.
class AbsentDevice final : public serial::PortDevice {
public:
    int Open(const std::string&) override { return EIO; }
    void Close() override {}
    int Handle() const override { return -1; }
    bool Apply(const serial::DeviceSettings&) override { return false; }
    bool MarksLineErrors() const override { return false; }
    int SetDtr(bool) override { return 0; }
    int SetRts(bool) override { return 0; }
    void SetBreak(bool) override {}
    std::optional<std::uint32_t> ModemStatus() override { return std::nullopt; }
    std::optional<serial::LineErrorCounts> ErrorCounts() override { return std::nullopt; }
    ssize_t Read(std::uint8_t*, std::size_t) override
    {
        errno = EIO;
        return -1;
    }
    ssize_t Write(const std::uint8_t*, std::size_t) override
    {
        errno = EIO;
        return -1;
    }
    std::size_t TransmitQueue() override { return 0; }
    void DiscardReceive() override {}
    void DiscardTransmit() override {}
};

}  // namespace

EnginePort::EnginePort(serial::ProfileLookup ports, serial::DeviceFactory makeDevice)
{
    auto receiver = std::make_unique<NotifyReceiver>();
    NotifyReceiver* target = receiver.get();
    receiver_ = std::move(receiver);

    serial::EngineCallbacks cb;
    // Event thread: the engine posts the next notification only after this
    // one has begun to be handled, so at most one event is in flight.
    cb.post_notification = [target](serial::Notification n) {
        QCoreApplication::postEvent(target, new NotifyEvent(n));
    };
    cb.fire_oncomm = [this] {
        if (events_.fireOnComm) events_.fireOnComm();
    };
    cb.terminal_output = [this](std::string_view bytes) {
        if (events_.toTerminal) events_.toTerminal(bytes);
    };
    cb.transfer_wakeup = [this] {
        if (events_.transferWakeup) events_.transferWakeup();
    };
    cb.keep_alive = [this]() -> std::shared_ptr<void> {
        return events_.keepAlive ? events_.keepAlive() : nullptr;
    };
    engine_ = std::make_unique<serial::CommEngine>(std::move(cb), ports ? std::move(ports) : ControlProfilePorts(),
                                                   std::move(makeDevice));
    target->engine = engine_.get();
}

EnginePort::~EnginePort()
{
    // Close the port and join the event thread before the receiver goes;
    // the receiver then drops the notifications still queued for it.
    auto* receiver = static_cast<NotifyReceiver*>(receiver_.get());
    receiver->engine = nullptr;
    engine_.reset();
    // Destroyed from inside a notification's handling: Qt is still
    // delivering that event to the receiver.
    if (receiver->dispatching > 0) receiver_.release()->deleteLater();
    receiver_.reset();
}

void EnginePort::Connect(PortEvents events) { events_ = std::move(events); }

void EnginePort::Close()
{
    if (engine_->PortOpen()) engine_->SetPortOpen(false);
}

com::Variant EnginePort::Get(const PropertyRow& row)
{
    using com::Variant;
    serial::CommEngine& e = *engine_;
    switch (row.info.dispid) {
    case id::kCDHolding: return Variant::Bool(e.CDHolding());
    case id::kCommEvent: return Variant::I2(e.CommEvent());
    case id::kCommPort: return Variant::I2(e.CommPort());
    case id::kCTSHolding: return Variant::Bool(e.CTSHolding());
    case id::kDSRHolding: return Variant::Bool(e.DSRHolding());
    case id::kDTREnable: return Variant::Bool(e.DTREnable() != 0);
    case id::kHandshaking: return Variant::I2(e.Handshaking());
    case id::kInBufferSize: return Variant::I2(e.InBufferSize());
    case id::kInBufferCount: return Variant::I2(e.InBufferCount());
    case id::kInput: return Variant::String(e.Input());
    case id::kInputLen: return Variant::I2(e.InputLen());
    case id::kInterval: return Variant::I4(e.Interval());
    case id::kInTimeout: return Variant::I4(e.InTimeout());
    case id::kLineInput: return Variant::String(e.LineInput());
    case id::kNullDiscard: return Variant::Bool(e.NullDiscard());
    case id::kOutBufferSize: return Variant::I2(e.OutBufferSize());
    case id::kOutBufferCount: return Variant::I2(e.OutBufferCount());
    case id::kParityReplace: return Variant::String(e.ParityReplace());
    case id::kPortOpen: return Variant::Bool(e.PortOpen());
    case id::kRThreshold: return Variant::I2(e.RThreshold());
    case id::kRTSEnable: return Variant::Bool(e.RTSEnable() != 0);
    case id::kSettings: return Variant::String(e.Settings());
    case id::kSThreshold: return Variant::I2(e.SThreshold());
    case id::kAutoProcess: return Variant::I2(e.AutoProcessMode());
    case id::kAutoZModem: return Variant::Bool(e.AutoZModem());
    case id::kCommID: return Variant::I4(e.CommID());
    case id::kEcho: return Variant::Bool(e.Echo());
    case id::kAnswerBack: return Variant::String(e.AnswerBack());
    case id::kInputB: return Variant::Bytes(e.InputB());
    default: Fail(kErrGetNotSupported);
    }
}

void EnginePort::Put(const PropertyRow& row, const PutValue& value)
{
    serial::CommEngine& e = *engine_;
    const std::int32_t number = value.number;
    const std::int16_t i2 = value.i2();
    switch (row.info.dispid) {
    case id::kBreak: e.SetBreak(value.flag()); return;
    case id::kCommPort: e.SetCommPort(i2); return;
    case id::kDTREnable: e.SetDTREnable(number); return;
    case id::kHandshaking: e.SetHandshaking(i2); return;
    case id::kInBufferSize: e.SetInBufferSize(i2); return;
    case id::kInBufferCount: e.SetInBufferCount(i2); return;
    case id::kInputLen: e.SetInputLen(i2); return;
    case id::kInterval: e.SetInterval(number); return;
    case id::kInTimeout: e.SetInTimeout(number); return;
    case id::kNullDiscard: e.SetNullDiscard(number); return;
    case id::kOutBufferSize: e.SetOutBufferSize(i2); return;
    case id::kOutBufferCount: e.SetOutBufferCount(i2); return;
    case id::kOutput:
        // Only a string is sent; other values are ignored.
        if (value.given.type() == com::VarType::String) e.Output(value.given.text());
        else if (!e.PortOpen()) Fail(kErrPortMustBeOpen);
        return;
    case id::kOutputB:
        if (value.given.type() == com::VarType::String || value.given.type() == com::VarType::Bytes)
            e.OutputB(value.given.text());
        else if (!e.PortOpen()) Fail(kErrPortMustBeOpen);
        return;
    case id::kParityReplace: e.SetParityReplace(value.text); return;
    case id::kPortOpen: e.SetPortOpen(value.flag()); return;
    case id::kRThreshold: e.SetRThreshold(i2); return;
    case id::kRTSEnable: e.SetRTSEnable(number); return;
    case id::kSettings: e.SetSettings(value.text); return;
    case id::kSThreshold: e.SetSThreshold(i2); return;
    case id::kAutoProcess: e.SetAutoProcess(i2); return;
    case id::kAutoZModem: e.SetAutoZModem(value.flag()); return;
    case id::kEcho: e.SetEcho(value.flag()); return;
    case id::kAnswerBack: e.SetAnswerBack(value.text); return;
    default: Fail(kErrSetNotSupported);
    }
}

StoredPort::StoredPort() : EnginePort({}, [] { return std::make_unique<AbsentDevice>(); }) {}

}  // namespace tolvex::control
