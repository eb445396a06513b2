// The port side of the control: everything behind the port properties.
//
// The control's dispatch calls these members one-to-one for CommPort,
// Settings, Handshaking, DTREnable, RTSEnable, NullDiscard, ParityReplace,
// InBufferSize, OutBufferSize, PortOpen, Break, the holding properties,
// CommID, Input, InputB, LineInput, Output, OutputB, the buffer counts,
// InputLen, InTimeout, RThreshold, SThreshold, Interval, CommEvent,
// AutoProcess, AutoZModem, Echo and AnswerBack. Setters validate before they
// change anything and throw tolvex::ControlError with the control's error
// number. The members mirror the serial engine (serial/comm_engine.h), so an
// adapter that owns an engine replaces StoredPort without touching dispatch
// (see commctl/README.md).
#pragma once

#include "common/errors.h"
#include "settings_text.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tolvex::control {

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
};

// The port side without a device: it keeps, checks and reports the values of
// the port properties, and the port stays closed. Opening reports that no
// device could be opened (8012); data operations report the closed port.
class StoredPort : public PortSide {
public:
    bool PortOpen() const override { return false; }
    void SetPortOpen(bool open) override;
    std::int16_t CommPort() const override { return commPort_; }
    void SetCommPort(std::int16_t port) override;
    std::int32_t CommID() const override { return 0; }

    std::string Settings() const override { return settings_; }
    void SetSettings(std::string_view text) override;
    const LineSettings& Line() const { return line_; }
    std::int16_t Handshaking() const override { return handshaking_; }
    void SetHandshaking(std::int16_t value) override;
    std::int32_t DTREnable() const override { return dtr_; }
    void SetDTREnable(std::int32_t value) override { dtr_ = value; }
    std::int32_t RTSEnable() const override { return rts_; }
    void SetRTSEnable(std::int32_t value) override { rts_ = value; }
    bool NullDiscard() const override { return nullDiscard_; }
    void SetNullDiscard(std::int32_t value) override;
    std::string ParityReplace() const override { return parityReplace_; }
    void SetParityReplace(std::string_view value) override { parityReplace_ = value; }
    std::int16_t InBufferSize() const override { return inBufferSize_; }
    void SetInBufferSize(std::int16_t size) override;
    std::int16_t OutBufferSize() const override { return outBufferSize_; }
    void SetOutBufferSize(std::int16_t size) override;

    void SetBreak(bool) override {}
    bool CDHolding() const override { return false; }
    bool CTSHolding() const override { return false; }
    bool DSRHolding() const override { return false; }

    std::string Input() override;
    std::string InputB() override;
    std::string LineInput() override;
    void Output(std::string_view bytes) override;
    void OutputB(std::string_view bytes) override;
    std::int16_t InBufferCount() const override { return 0; }
    void SetInBufferCount(std::int16_t value) override;
    std::int16_t OutBufferCount() const override { return 0; }
    void SetOutBufferCount(std::int16_t value) override;
    std::int16_t InputLen() const override { return inputLen_; }
    void SetInputLen(std::int16_t value) override;
    std::int32_t InTimeout() const override { return inTimeout_; }
    void SetInTimeout(std::int32_t ms) override;

    std::int16_t RThreshold() const override { return rThreshold_; }
    void SetRThreshold(std::int16_t value) override;
    std::int16_t SThreshold() const override { return sThreshold_; }
    void SetSThreshold(std::int16_t value) override;
    std::int32_t Interval() const override { return interval_; }
    void SetInterval(std::int32_t ms) override;
    std::int16_t CommEvent() const override { return 0; }
    std::int16_t AutoProcessMode() const override { return autoProcess_; }
    void SetAutoProcess(std::int16_t value) override;
    bool AutoZModem() const override { return autoZModem_; }
    void SetAutoZModem(bool on) override { autoZModem_ = on; }
    bool Echo() const override { return echo_; }
    void SetEcho(bool on) override { echo_ = on; }
    void SetTerminalActive(bool) override {}
    std::string AnswerBack() const override { return answerBack_; }
    void SetAnswerBack(std::string_view text) override { answerBack_ = text; }
    void SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold) override;

    bool TransferRunning() const override { return false; }

private:
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,N,8,1";
    LineSettings line_;
    std::int16_t handshaking_ = 0;
    std::int32_t dtr_ = -1;
    std::int32_t rts_ = -1;
    bool nullDiscard_ = false;
    std::string parityReplace_;
    std::int16_t inBufferSize_ = 2048;
    std::int16_t outBufferSize_ = 2048;
    std::int16_t inputLen_ = 0;
    std::int32_t inTimeout_ = 0;
    std::int16_t rThreshold_ = 0;
    std::int16_t sThreshold_ = 0;
    std::int32_t interval_ = 200;
    std::int16_t autoProcess_ = 0;
    std::int16_t savedInputLen_ = 0;
    std::int16_t savedRThreshold_ = 0;
    bool autoZModem_ = false;
    bool echo_ = false;
    std::string answerBack_;
};

// Makes the port side of a new control instance.
using PortFactory = std::function<std::unique_ptr<PortSide>()>;

}  // namespace tolvex::control
