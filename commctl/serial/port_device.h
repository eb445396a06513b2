// The platform operations the serial engine needs from a port.
//
// The engine's logic (settings, state rules, queues, notification) talks to
// the port only through this interface, so it runs against the POSIX serial
// device as well as against a substitute in tests. Every operation returns at
// once: the descriptor is non-blocking and the engine's event thread polls
// Handle() for readiness.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

#include "serial/comm_engine.h"

namespace tolvex::serial {

// Modem-status bits as the holding properties read them.
constexpr std::uint32_t kModemCts = 0x10;
constexpr std::uint32_t kModemDsr = 0x20;
constexpr std::uint32_t kModemRing = 0x40;
constexpr std::uint32_t kModemRlsd = 0x80;

// Running totals of line errors the driver counted since the port opened.
struct LineErrorCounts {
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0;
    std::uint32_t parity = 0;
    std::uint32_t brk = 0;
    std::uint32_t buf_overrun = 0;
};

class PortDevice {
public:
    virtual ~PortDevice() = default;

    // Opens the device for exclusive use; returns 0 or the errno of the
    // failure (EBUSY when another process holds it).
    virtual int Open(const std::string& path) = 0;
    virtual void Close() = 0;
    // The pollable descriptor, -1 while closed.
    virtual int Handle() const = 0;

    // Hands the device settings to the driver; false when it refuses them.
    virtual bool Apply(const DeviceSettings& settings) = 0;
    // Whether received data carries 0xFF 0x00 marks before bytes received
    // with a line error (and 0xFF 0x00 0x00 for a break), with a literal
    // 0xFF doubled.
    virtual bool MarksLineErrors() const = 0;

    // Raise (true) or lower a line; 0 or the errno of the failure. A device
    // without modem lines (a pseudo-terminal) succeeds without effect.
    virtual int SetDtr(bool raise) = 0;
    virtual int SetRts(bool raise) = 0;
    virtual void SetBreak(bool on) = 0;

    // kModem* bits, or nothing when the device has no modem lines.
    virtual std::optional<std::uint32_t> ModemStatus() = 0;
    // Error totals, or nothing when the driver does not count them.
    virtual std::optional<LineErrorCounts> ErrorCounts() = 0;

    // Non-blocking read and write: bytes moved, or -1 with errno set.
    virtual ssize_t Read(std::uint8_t* buffer, std::size_t size) = 0;
    virtual ssize_t Write(const std::uint8_t* data, std::size_t size) = 0;
    // Bytes the driver still holds for transmission.
    virtual std::size_t TransmitQueue() = 0;
    virtual void DiscardReceive() = 0;
    virtual void DiscardTransmit() = 0;
};

// Whether a process other than this one has the device open on `fd` open
// too (found through /proc/<pid>/fd; processes of other users are seen only
// by a privileged caller).
bool OtherProcessHolds(int fd);

// The serial device of the operating system (termios in raw mode).
std::unique_ptr<PortDevice> MakePosixPortDevice();

}  // namespace tolvex::serial
