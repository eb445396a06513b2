// The receiver port as live tracking sees it: the few properties of the
// communications control that the navigator uses. The main window's GPSCom
// (the control loaded at run time) implements it; tests put a scripted port
// in its place.
#pragma once

#include <tolvexcomm/constants.h>

#include <functional>
#include <string>

namespace tessaro::gps {

// The control's event code for received data.
inline constexpr int kReceiveEvent = tolvex::com::TOLVEX_EV_RECEIVE;
// The carrier changed: for a receiver, its line was lost (the far side of a
// pseudo-terminal or a network source closed, a USB adapter pulled).
inline constexpr int kCarrierEvent = tolvex::com::TOLVEX_EV_CD;

// An error the control raised: its number and description (UTF-8).
struct ComError {
    int number = 0;
    std::string description;
};

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
    // The error of the last refused SetPortOpen (number 0: none known).
    virtual ComError PortOpenError() { return {}; }

    // Called on the GUI thread for every OnComm event of the control.
    std::function<void()> onComm;
};

}  // namespace tessaro::gps
