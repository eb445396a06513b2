#include "recording/recording_session.h"

#include <filesystem>

#include "shell/guarded_step.h"

namespace tessaro::recording {

const StartProposal& RecordingSession::Prepare(const LocalDateTime& now)
{
    fileName_.clear();
    folder_.clear();
    seq_ = 0;
    state_.RecordBlink = 0;
    pendingMark_.clear();
    proposal_ = {};
    GuardedStep([&] { proposal_ = PrepareRecordStart(state_.ProgramFolder, now); });
    folder_ = proposal_.folder;
    seq_ = proposal_.seq;
    markCount_ = proposal_.markCount;
    return proposal_;
}

std::string RecordingSession::Begin(const std::string& name, int interval, const LocalDateTime& now)
{
    NavState& s = state_;
    // An earlier recording of the same name is never overwritten.
    const NameProblem problem = CheckRecordFileName(proposal_.dayFolderPath, name);
    if (problem != NameProblem::None) return NameProblemMessage(problem);
    const std::string path = proposal_.dayFolderPath + "/" + name;
    bool created = false;
    GuardedStep([&] { created = file_.create(path, RecordHeaderLines(now, s.Zone)); });
    if (!created) {
        file_.close();
        return "記録ファイルを作成できません。フォルダと名前を確かめてください。";
    }
    s.RecordingOn = true;
    s.RecordInterval = static_cast<std::int16_t>(interval);
    fileName_ = name;
    writeFailed_ = false;
    s.RecordBlink = 0;
    markCount_ = 0;
    s.pRecordSTS = 1;
    s.pRecordCount = 0;
    return {};
}

void RecordingSession::End()
{
    NavState& s = state_;
    Close();
    ++seq_;
    s.RecordingOn = false;
    s.pRecordSTS = 0;
    GuardedStep([&] {
        std::error_code ec;
        std::filesystem::create_directories(s.ProgramFolder + "/data0", ec);
        WriteStoredStatus(s.ProgramFolder + "/data0/StoredSTS.dat", {folder_, seq_, markCount_});
    });
}

bool RecordingSession::TogglePause()
{
    state_.pRecordSTS = state_.pRecordSTS ? 0 : 1;
    return state_.pRecordSTS != 0;
}

std::string RecordingSession::WriteLine(const std::string& line)
{
    const bool written = !file_.isOpen() || file_.writeLine(line + pendingMark_);
    pendingMark_.clear();
    if (written || writeFailed_) return {};
    writeFailed_ = true;
    return "記録ファイルに書き込めません。ディスクの空きを確かめてください。空きができれば記録を続けます。";
}

void RecordingSession::Close()
{
    if (file_.isOpen()) file_.close();
}

}  // namespace tessaro::recording
