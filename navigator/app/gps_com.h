// GPSCom: the main window's instance of the communications control, seen
// through the few properties the navigator uses. The real one is loaded at
// run time through the host library (the navigator never links the control);
// tests put a scripted port in its place.
#pragma once

#include <tolvexcomm/constants.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gps/gps_com_port.h"

class QWidget;

namespace tolvex::host {
struct LoadOptions;
}

namespace tessaro::app {

// The control's errors that opening a port may raise.
inline constexpr int kErrInvalidPort = 8002;      // the device is not there
inline constexpr int kErrPortAlreadyOpen = 8005;  // busy, or no permission

// The port interface and its error live with live tracking.
using gps::ComError;
using gps::GpsComPort;

// Loads the control through the host library (registry entry, else the
// library beside the program), creates one instance and loads its
// design-time properties from `bagFile` (no bag: the control's defaults).
// Null with `error` set when the control cannot be loaded.
std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error);
// The same with the places to look for the library given (tests).
std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error,
                                       const tolvex::host::LoadOptions& where);

// --- telling the user why live tracking cannot start ---

// The device a port number stands for, looked up the way the control does:
// the "Ports" section of its profile (COM3=/dev/ttyUSB0), else the
// environment variable TOLVEXCOMM_COM<n>, else /dev/ttyS<n-1>.
std::string PortDevicePath(int port);

// What the navigator can see of a device node itself.
struct DeviceCheck {
    bool exists = false;      // the path names something
    bool accessible = false;  // this process may read and write it
    std::string group;        // the owning group of the node ("dialout")
};
DeviceCheck CheckDevice(const std::string& path);

// The message for a port the control refused to open (UTF-8): which port and
// device, and why: missing, no permission (with the remedy: membership of the
// device's group), busy, or else the control's own description. `user` is
// the login name shown in the remedy.
std::string PortOpenFailureMessage(int port, const std::string& device, const ComError& error,
                                   const DeviceCheck& check, const std::string& user);

// The message for a control library that could not be loaded (UTF-8);
// `error` names the files tried and the loader's reasons.
std::string ControlLoadFailureMessage(const std::string& error);

// The login name of this process's user.
std::string CurrentUserName();

}  // namespace tessaro::app
