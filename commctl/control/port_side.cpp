#include "port_side.h"

namespace tolvex::control {

namespace {

void RequireNonNegative(std::int32_t value)
{
    if (value < 0) throw ControlError(kErrInvalidPropertyValue);
}

}  // namespace

void StoredPort::SetPortOpen(bool open)
{
    // Without a device the port never opens; closing a closed port is the
    // same error as with one.
    (void)open;
    throw ControlError(kErrPortNotOpen);
}

void StoredPort::SetCommPort(std::int16_t port)
{
    if (port <= 0) throw ControlError(kErrInvalidPropertyValue);
    commPort_ = port;
}

void StoredPort::SetSettings(std::string_view text)
{
    std::string upper = UpperAscii(text);
    if (upper == settings_) return;
    LineSettings parsed = line_;
    if (!ParseSettings(upper, parsed)) throw ControlError(kErrInvalidPropertyValue);
    line_ = parsed;
    settings_ = std::move(upper);
}

void StoredPort::SetHandshaking(std::int16_t value)
{
    if (value < 0 || value > 3) throw ControlError(kErrInvalidPropertyValue);
    handshaking_ = value;
}

void StoredPort::SetNullDiscard(std::int32_t value)
{
    if (value != 0 && value != 1 && value != -1) throw ControlError(kErrInvalidPropertyValue);
    nullDiscard_ = value != 0;
}

void StoredPort::SetInBufferSize(std::int16_t size)
{
    RequireNonNegative(size);
    inBufferSize_ = size;
}

void StoredPort::SetOutBufferSize(std::int16_t size)
{
    RequireNonNegative(size);
    outBufferSize_ = size;
}

std::string StoredPort::Input() { throw ControlError(kErrPortMustBeOpen); }
std::string StoredPort::InputB() { throw ControlError(kErrPortMustBeOpen); }
std::string StoredPort::LineInput() { throw ControlError(kErrPortMustBeOpen); }
void StoredPort::Output(std::string_view) { throw ControlError(kErrPortMustBeOpen); }
void StoredPort::OutputB(std::string_view) { throw ControlError(kErrPortMustBeOpen); }

void StoredPort::SetInBufferCount(std::int16_t value)
{
    if (value != 0) throw ControlError(kErrInvalidPropertyValue);
}

void StoredPort::SetOutBufferCount(std::int16_t value)
{
    if (value != 0) throw ControlError(kErrInvalidPropertyValue);
}

void StoredPort::SetInputLen(std::int16_t value)
{
    RequireNonNegative(value);
    inputLen_ = value;
}

void StoredPort::SetInTimeout(std::int32_t ms)
{
    RequireNonNegative(ms);
    inTimeout_ = ms;
}

void StoredPort::SetRThreshold(std::int16_t value)
{
    RequireNonNegative(value);
    rThreshold_ = value;
}

void StoredPort::SetSThreshold(std::int16_t value)
{
    RequireNonNegative(value);
    sThreshold_ = value;
}

void StoredPort::SetInterval(std::int32_t ms)
{
    RequireNonNegative(ms);
    interval_ = ms;
}

void StoredPort::SetAutoProcess(std::int16_t value)
{
    if (value < 0 || value > 3) throw ControlError(kErrInvalidPropertyValue);
    // Received data goes to the terminal with SERIAL (1) and BOTH (3): the
    // receive settings of the application are put aside meanwhile.
    const bool wasSerial = autoProcess_ == 1 || autoProcess_ == 3;
    const bool isSerial = value == 1 || value == 3;
    if (!wasSerial && isSerial) {
        savedInputLen_ = inputLen_;
        savedRThreshold_ = rThreshold_;
        inputLen_ = 0;
        rThreshold_ = 0;
    } else if (wasSerial && value == 0) {
        inputLen_ = savedInputLen_;
        rThreshold_ = savedRThreshold_;
    }
    autoProcess_ = value;
}

void StoredPort::SetSavedInputValues(std::int16_t inputLen, std::int16_t rthreshold)
{
    savedInputLen_ = inputLen;
    savedRThreshold_ = rthreshold;
}

}  // namespace tolvex::control
