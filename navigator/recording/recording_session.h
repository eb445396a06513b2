// One track recording from the start button to the stop window, without its
// windows: the numbering and the name proposed, the checks of a typed name,
// the record file and its lines, pausing, and the numbering state written
// when the recording ends. The main window shows the start and stop windows
// and its labels and asks this session what to do.
#pragma once

#include <cstdint>
#include <string>

#include "recording/record_files.h"
#include "state/nav_state.h"

namespace tessaro::recording {

class RecordingSession {
public:
    explicit RecordingSession(NavState& state) : state_(state) {}
    ~RecordingSession() { Close(); }
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // The start button while not recording: forgets the last recording's
    // names and proposes today's folder and its next free number.
    const StartProposal& Prepare(const LocalDateTime& now);

    // OK of the start window with the typed name and interval: creates the
    // record file with its header and starts recording. Returns the message
    // (UTF-8) that refuses the name or tells of a file that cannot be
    // created; empty when the recording runs.
    std::string Begin(const std::string& name, int interval, const LocalDateTime& now);

    // OK of the stop window: closes the file and writes the numbering state
    // (StoredSTS.dat) with the next number of the day.
    void End();

    // The click on the indicator while recording: pauses or resumes the
    // record lines. Returns whether lines are written now.
    bool TogglePause();

    // A record line from the decoder, with a pending mark appended. Returns
    // the message for the user (UTF-8) the first time in a recording that a
    // line cannot be written (a full disk); empty otherwise. Later lines are
    // still tried, so the recording goes on once there is room again.
    std::string WriteLine(const std::string& line);

    // Closes the record file (every line written so far stays).
    void Close();

    const std::string& FileName() const { return fileName_; }
    const std::string& Folder() const { return folder_; }
    std::int16_t MarkCount() const { return markCount_; }

private:
    NavState& state_;
    RecordFile file_;
    StartProposal proposal_;
    std::string fileName_;
    std::string folder_;
    std::int16_t seq_ = 0;
    std::int16_t markCount_ = 0;
    std::string pendingMark_;
    bool writeFailed_ = false;  // a line of this recording could not be written
};

}  // namespace tessaro::recording
