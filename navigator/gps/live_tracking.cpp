#include "gps/live_tracking.h"

#include <vector>

#include "geodesy/plane_coords.h"
#include "gps/nmea_checksum.h"
#include "shell/guarded_step.h"

namespace tessaro::gps {

LiveTracking::LiveTracking(NavState& state, GpsWindow& window, MapSelection& maps, OverlayDrawing& drawing,
                           RecordLineSink& record, TrackingView& view)
    : state_(state), window_(window), view_(view), decoder_(state, window, maps, drawing, record)
{
    retry_ = std::make_unique<QTimer>();
    retry_->setInterval(kReconnectMs);
    QObject::connect(retry_.get(), &QTimer::timeout, [this] { RetryReconnect(); });
}

void LiveTracking::SetPort(GpsComPort* port)
{
    port_ = port;
    if (port_) port_->onComm = [this] { OnComm(); };
}

bool LiveTracking::MarkShown() const { return state_.GPSRunning && fixKnown_; }

void LiveTracking::Toggle()
{
    if (!port_) {
        // Nothing could arrive: say why and stay stopped.
        view_.NoPort();
        return;
    }
    GuardedStep([&] { geodesy::InitEllipsoid(); });
    if (!state_.GPSRunning)
        Start();
    else
        Stop();
    state_.Track.TrackCount = 0;
    state_.Track.TrackIndex = 0;
}

void LiveTracking::Start()
{
    NavState& s = state_;
    lines_.Clear();
    s.GGAChecksumDropped = 0;
    GuardedStep([&] { port_->SetCommPort(s.GPSPortNo); });
    GuardedStep([&] { port_->SetSettings(s.GPSPortSettings); });
    GuardedStep([&] { port_->SetInBufferCount(0); });
    GuardedStep([&] { port_->SetInTimeout(2000); });
    GuardedStep([&] { port_->SetRThreshold(40); });
    bool opened = false;
    GuardedStep([&] { opened = port_->SetPortOpen(true); });
    if (!opened) {
        // A port that cannot be opened never delivers anything: the user
        // learns why, and tracking stays stopped.
        ComError why;
        GuardedStep([&] { why = port_->PortOpenError(); });
        view_.PortOpenRefused(s.GPSPortNo, why);
        return;
    }
    view_.ShowRunning(true);
    s.GPSRunning = true;
    // The mark shows with the run's first fix, not before.
    fixKnown_ = false;
    GuardedStep([&] { window_.BringPositionMarkToFront(); });
    GuardedStep([&] { window_.ShowPositionMark(); });
}

void LiveTracking::Stop()
{
    if (!state_.GPSRunning || !port_) return;
    state_.GPSRunning = false;
    if (lost_) {
        lost_ = false;
        retry_->stop();
        view_.ShowReceiverState({});
    }
    GuardedStep([&] { port_->SetPortOpen(false); });
    lines_.Clear();
    view_.ShowRunning(false);
    fixKnown_ = false;
    GuardedStep([&] { window_.HidePositionMark(); });
}

void LiveTracking::OnComm()
{
    if (!port_) return;
    int event = 0;
    GuardedStep([&] { event = port_->CommEvent(); });
    if (event == kCarrierEvent && state_.GPSRunning && !lost_) {
        LoseReceiver();
        return;
    }
    if (event != kReceiveEvent || !state_.GPSRunning) return;
    GuardedStep([&] { port_->SetInputLen(0); });
    // Everything queued is taken at once, so that a receiver sending several
    // sentences per fix in one burst never leaves lines behind in the
    // control's buffer (one notification may stand for many lines).
    std::string data;
    GuardedStep([&] { data = port_->Input(); });
    // The lines are collected first and handled from the copy: the zone
    // change may run a modal message, during which this handler can run
    // again and feed the assembler.
    std::vector<std::string> lines;
    lines_.Feed(data, [&](std::string& line) { lines.push_back(std::move(line)); });
    for (const std::string& line : lines) {
        if (!state_.GPSRunning) break;
        HandleLine(line);
    }
}

void LiveTracking::HandleLine(const std::string& line)
{
    if (!IsGgaSentence(line)) return;
    if (!PassesChecksum(line, state_.GGAChecksumTest)) {
        ++state_.GGAChecksumDropped;
        return;
    }
    PositionFix fix;
    GuardedStep([&] { fix = decoder_.DecodeGPGGAData(line); });
    // The decoder has placed the mark at a stored fix; the first one of a
    // run makes it appear.
    if (fix.stored && state_.GPSRunning && !fixKnown_) {
        fixKnown_ = true;
        GuardedStep([&] { window_.ShowPositionMark(); });
    }
    if (onFixDecoded) onFixDecoded(fix);
}

void LiveTracking::LoseReceiver()
{
    lost_ = true;
    // What came before the loss is decoded already; a cut line is dropped.
    GuardedStep([&] { port_->SetPortOpen(false); });
    lines_.Clear();
    view_.ShowReceiverState(kReceiverLostMessage);
    retry_->start();
}

void LiveTracking::RetryReconnect()
{
    if (!lost_ || !port_ || !state_.GPSRunning) return;
    bool opened = false;
    GuardedStep([&] { opened = port_->SetPortOpen(true); });
    if (!opened) return;
    lost_ = false;
    retry_->stop();
    view_.ShowReceiverState(kReceiverBackMessage);
}

void LiveTracking::ClosePort()
{
    if (port_) GuardedStep([&] { port_->SetPortOpen(false); });
}

void LiveTracking::OpenPort()
{
    if (port_) GuardedStep([&] { port_->SetPortOpen(true); });
}

}  // namespace tessaro::gps
