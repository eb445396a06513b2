// The control's numbered errors and their texts, in one table.
//
// An error reaches the caller as the status 0x800A0000 + number with the
// description text of the same number. Numbers without a text of their own
// (260, and system error numbers of failed line operations) carry an empty
// description here; the raiser supplies one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvex {

enum ErrorNumber : int {
    kErrInvalidPropertyValue = 380,   // out-of-range or malformed property value
    kErrPropertyArrayIndex = 382,     // (framework) invalid property array index
    kErrSetNotSupported = 383,        // (framework) property is read-only here
    kErrGetNotSupported = 394,        // (framework) property is write-only here
    kErrTimerCreate = 260,            // timer creation failed at open
    kErrPortAlreadyOpenOp = 8000,     // operation not allowed on an open port
    kErrTimeoutValue = 8001,
    kErrInvalidPort = 8002,           // open: device not found
    kErrRunTimeOnly = 8003,
    kErrPortAlreadyOpen = 8005,       // open while open; CommPort while open; access denied
    kErrDeviceId = 8006,
    kErrBaudRate = 8007,
    kErrByteSize = 8008,
    kErrParameter = 8009,
    kErrHardware = 8010,
    kErrQueue = 8011,
    kErrPortNotOpen = 8012,           // close while closed; other open failures
    kErrDeviceInUse = 8013,
    kErrCommNotification = 8014,
    kErrSetCommState = 8015,          // device settings refused
    kErrEventMask = 8016,
    kErrPortMustBeOpen = 8018,        // data operations or transfers while closed
    kErrDeviceBusy = 8019,            // close during a read or a transfer
    kErrRead = 8020,                  // read failure
    kErrFunctionInvalid = 8021,
};

// The description text of an error number (UTF-8); empty when the number has
// no text of its own.
std::string_view ErrorText(int number);

// The status code an error crosses the component interface with.
constexpr std::uint32_t ErrorStatus(int number)
{
    return 0x800A0000u + static_cast<std::uint32_t>(number);
}

// An error raised by a property or method: its number and description.
class ControlError : public std::runtime_error {
public:
    explicit ControlError(int number);
    ControlError(int number, const std::string& description);
    int number() const { return number_; }
    std::uint32_t status() const { return ErrorStatus(number_); }

private:
    int number_;
};

}  // namespace tolvex
