// GPSCom: the main window's instance of the communications control, seen
// through the few properties the navigator uses. The real one is loaded at
// run time through the host library (the navigator never links the control);
// tests put a scripted port in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace tessaro::app {

// The receive notification's event code.
inline constexpr int kCommEventReceive = 2;

class GpsComPort {
public:
    virtual ~GpsComPort() = default;

    // Each setter reports false when the control refused the value; the
    // navigator skips a refused step and goes on with the next.
    virtual bool SetCommPort(int port) = 0;
    virtual bool SetSettings(const std::string& settings) = 0;
    virtual bool SetInBufferCount(int count) = 0;
    virtual bool SetInTimeout(int ms) = 0;
    virtual bool SetRThreshold(int bytes) = 0;
    virtual bool SetInputLen(int len) = 0;
    virtual bool SetPortOpen(bool open) = 0;
    virtual bool PortOpen() = 0;
    virtual int CommEvent() = 0;
    virtual int InBufferCount() = 0;
    // What is queued, up to InputLen bytes (0: all), as UTF-8.
    virtual std::string Input() = 0;

    // Called on the GUI thread for every OnComm event of the control.
    std::function<void()> onComm;
};

// Loads the control through the host library (registry entry, else the
// library beside the program), creates one instance and loads its
// design-time properties from `bagFile` (no bag: the control's defaults).
// Null with `error` set when the control cannot be loaded.
std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error);

}  // namespace tessaro::app
