// Network sources of NMEA behind the serial engine's port interface, so that
// a port number mapped to one of them works like a serial device for the
// control's properties and events:
//
//   tcp:HOST:PORT    raw bytes over TCP (phone apps, ser2net, a receiver's
//                    own network port); what the control sends goes out.
//   gpsd:HOST:PORT   a gpsd daemon, asked with its watch command for the
//                    NMEA sentences of its devices; its JSON reports are
//                    dropped, the sentences pass as received data, and
//                    what the control sends is discarded (gpsd would take
//                    it for commands).
//
// HOST may be a name, an IPv4 address or an IPv6 address in brackets
// ([::1]). The line settings (speed, parity...) do not apply and are
// accepted as they are; there are no modem lines.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial/port_device.h"

namespace tolvex::serial {

// The parts of a network source name.
struct NetSource {
    enum class Kind { Tcp, Gpsd } kind = Kind::Tcp;
    std::string host;
    int port = 0;
};

// The source a device name stands for; nothing for a device path (and for
// a malformed tcp:/gpsd: name, which Open then refuses with EINVAL).
std::optional<NetSource> ParseNetSource(std::string_view name);
// True for a name that begins with "tcp:" or "gpsd:".
bool IsNetSourceName(std::string_view name);

// The command that asks gpsd for the NMEA of every device it has.
inline constexpr std::string_view kGpsdWatchNmea = "?WATCH={\"enable\":true,\"nmea\":true};\n";

// How long Open waits for the connection [ms].
inline constexpr int kNetConnectTimeoutMs = 3000;

std::unique_ptr<PortDevice> MakeNetPortDevice();

// The device for a mapped name: a network device for tcp:/gpsd: names, the
// POSIX serial device for everything else.
std::unique_ptr<PortDevice> MakePortDeviceFor(std::string_view name);

// Whether something accepts connections at host:port within `timeoutMs`
// (the settings dialog's look for a local gpsd). Never blocks longer.
bool NetSourceAnswers(const std::string& host, int port, int timeoutMs);

}  // namespace tolvex::serial
