// Live tracking with the receiver: the start/stop toggle and what it gives
// the control, and the receive handler that cuts the received bytes into
// lines and hands every GGA sentence to the decoder. Widget-free: it talks
// to the port through GpsComPort, to the window through the decoder's
// interfaces and TrackingView, and follows the run state (GPSRunning), never
// the looks of a button.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QTimer>

#include "gps/gga_decoder.h"
#include "gps/gps_com_port.h"
#include "gps/line_assembler.h"

namespace tessaro::gps {

// What live tracking shows on the window besides the decoder's labels and
// the position mark.
class TrackingView {
public:
    virtual ~TrackingView() = default;
    // The toggle's stopped / running look.
    virtual void ShowRunning(bool /*running*/) {}
    // There is no port (the control could not be loaded): nothing can start.
    virtual void NoPort() {}
    // The port `portNo` refused to open: tracking stays stopped.
    virtual void PortOpenRefused(int /*portNo*/, const ComError& /*why*/) {}
    // The receiver's line state for the status area (Japanese): why fixes
    // stopped while the port is tried again, or empty once it is back.
    virtual void ShowReceiverState(const std::string& /*text*/) {}
};

inline constexpr const char* kReceiverLostMessage = "GPS受信機との接続が切れました。2秒ごとに再接続を試みています…";
inline constexpr const char* kReceiverBackMessage = "GPS受信機に再接続しました。";

class LiveTracking {
public:
    // The interfaces must outlive the tracking.
    LiveTracking(NavState& state, GpsWindow& window, MapSelection& maps, OverlayDrawing& drawing,
                 RecordLineSink& record, TrackingView& view);

    // The port to use (null: none). Its OnComm notification runs OnComm().
    void SetPort(GpsComPort* port);
    GpsComPort* Port() const { return port_; }

    // The tracking button: starts when stopped, else stops. Starting gives
    // the port CommPort, Settings, InBufferCount 0, InTimeout 2000 and
    // RThreshold 40, in this order, then opens it; either way the track ring
    // counters go to 0.
    void Toggle();
    // Stops a running tracking (nothing when stopped).
    void Stop();

    // The OnComm handler: on a receive event while running, takes everything
    // queued and decodes every GGA line it completes. A line that has not
    // ended waits for the next notification.
    void OnComm();
    // Hands one received line to the decoder when it is a GGA sentence whose
    // checksum passes (GGAChecksumTest); a failing one is counted in
    // GGAChecksumDropped, which starts from 0 with every start.
    void HandleLine(const std::string& line);

    // The receiver went away while tracking (OnComm with the carrier
    // event): the port is closed, the status area says so, and the port is
    // opened again every kReconnectMs until it opens, when tracking (and a
    // running recording, which writes only as fixes arrive) carries on.
    // Stopping ends the attempts.
    static constexpr int kReconnectMs = 2000;
    bool Reconnecting() const { return lost_; }
    // One attempt to open the port again (the timer's tick).
    void RetryReconnect();

    // Whether a fix of the current run is known; the position mark shows
    // only while tracking runs and a fix is known.
    bool FixKnown() const { return fixKnown_; }
    bool MarkShown() const;

    // The decoder's port steps around a zone change.
    void ClosePort();
    void OpenPort();

    // Called after each decoded GGA sentence.
    std::function<void(const PositionFix&)> onFixDecoded;

    // A "line" that never ends is noise: only its newest bytes are kept.
    static constexpr std::size_t kLongestLine = 4096;

private:
    void Start();
    void LoseReceiver();

    NavState& state_;
    GpsWindow& window_;
    TrackingView& view_;
    GgaDecoder decoder_;
    GpsComPort* port_ = nullptr;
    LineAssembler lines_{kLongestLine};
    bool fixKnown_ = false;
    bool lost_ = false;
    std::unique_ptr<QTimer> retry_;
};

}  // namespace tessaro::gps
