#include "app/demo.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/main_lumara_frm.h"
#include "gps/gga_decoder.h"
#include "recording/record_dialogs.h"

namespace tessaro::app {

void UsePrivatePortConfig(const QString& folder)
{
    qputenv("TOLVEXCOMM_CONFIG_DIR", folder.toLocal8Bit());
}

LiveDemo::LiveDemo(MainLumaraFrm& window, DemoOptions options) : window_(window), options_(std::move(options))
{
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (finished_) return;
        finished_ = true;
        emit Finished(false);
    });
}

bool LiveDemo::Start(std::string& error)
{
    if (!gps::LoadSentenceSets(options_.logPath, sets_, &error)) {
        if (error.empty()) error = "cannot read " + options_.logPath;
        return false;
    }
    for (const std::string& set : sets_)
        if (gps::IsGgaSentence(set)) ++ggaSets_;
    if (!feeder_.open(&error)) return false;
    if (!window_.GPSCom) {
        error = "the communications control is not loaded";
        return false;
    }

    NavState& s = window_.State();
    if (s.GPSPortNo < 1) s.GPSPortNo = 1;
    const QByteArray name = "TOLVEXCOMM_COM" + QByteArray::number(s.GPSPortNo);
    qputenv(name.constData(), QByteArray::fromStdString(feeder_.slavePath()));

    window_.onFixDecoded = [this](const gps::PositionFix& fix) {
        ++decoded_;
        if (options_.printRecorded && fix.recorded) {
            std::printf("recorded %s\n", fix.timeText.c_str());
            std::fflush(stdout);
        }
        if (!finished_ && written_ == static_cast<int>(sets_.size()) && decoded_ >= ggaSets_) {
            finished_ = true;
            // Let the window paint the last position before anyone looks.
            QTimer::singleShot(0, this, [this] { emit Finished(true); });
        }
    };
    window_.StartGPSCmd_Click();
    if (!window_.State().GPSRunning) {
        error = "live tracking did not start";
        return false;
    }
    if (options_.startRecording) {
        window_.StartRecordCmd_Click();
        if (window_.RecordStartFrm) window_.RecordStartFrm->OKCmd->click();
    }
    timer_.start(options_.periodMs);
    return true;
}

void LiveDemo::Tick()
{
    if (written_ >= static_cast<int>(sets_.size())) {
        timer_.stop();
        return;
    }
    // While tracking is stopped the port is closed and the terminal keeps
    // what was written; a restart must not see a backlog of old fixes.
    if (!window_.State().GPSRunning) feeder_.discardUnread();
    feeder_.write(sets_[static_cast<std::size_t>(written_)]);
    ++written_;
    if (written_ == static_cast<int>(sets_.size())) {
        timer_.stop();
        if (ggaSets_ == 0 || decoded_ >= ggaSets_) {
            finished_ = true;
            QTimer::singleShot(0, this, [this] { emit Finished(true); });
        } else {
            deadline_.start(5000);
        }
    }
}

}  // namespace tessaro::app
