// The live demo: a recorded NMEA log is replayed, one sentence set per tick,
// into a pseudo-terminal that the main window's communications control opens
// as its GPS port, so that tracking and recording run through the real
// serial path.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <string>
#include <vector>

#include "gps/nmea_feeder.h"

namespace tessaro::app {

class MainLumaraFrm;

struct DemoOptions {
    std::string logPath;
    int periodMs = 1000;          // one sentence set per tick
    bool startRecording = false;  // also press the recording button and OK
    bool printRecorded = false;   // print "recorded hh:mm:ss" on stdout once a fix's record line is written
};

class LiveDemo : public QObject {
    Q_OBJECT
public:
    LiveDemo(MainLumaraFrm& window, DemoOptions options);

    // Loads the log, opens the pseudo-terminal, maps the window's GPS port to
    // it, presses the tracking button and starts the replay. False with
    // `error` set when the log or the terminal cannot be had.
    bool Start(std::string& error);

    int SetsWritten() const { return written_; }
    int FixesExpected() const { return ggaSets_; }
    int FixesDecoded() const { return decoded_; }

signals:
    // The last sentence of the log has been decoded and drawn (ok), or it
    // did not arrive within a few seconds after it was written (not ok).
    void Finished(bool ok);

private:
    void Tick();

    MainLumaraFrm& window_;
    DemoOptions options_;
    std::vector<std::string> sets_;
    gps::PtyFeeder feeder_;
    QTimer timer_;
    QTimer deadline_;
    int written_ = 0;
    int ggaSets_ = 0;
    int decoded_ = 0;
    bool finished_ = false;
};

// Keeps the control's profile and registry lookups away from the user's own
// (so that no mapping of theirs can send the demo to a real device): points
// them at `folder`.
void UsePrivatePortConfig(const QString& folder);

}  // namespace tessaro::app
