#include "record_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/values.h"

namespace tessaro::recording {

namespace fs = std::filesystem;

namespace {

std::string TwoDigits(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Whole degrees (the next lower whole number) and rounded minutes of an
// origin angle, "dd-mm".
std::string DegreesMinutes(double angle)
{
    const double degrees = std::floor(angle);
    const double minutes = RoundHalfEven((angle - degrees) * 60.0);
    return std::to_string(static_cast<long long>(degrees)) + "-" +
           TwoDigits(static_cast<int>(minutes));
}

bool ExistsWithData(const fs::path& p)
{
    std::error_code ec;
    if (!fs::exists(p, ec)) return false;
    const auto size = fs::is_regular_file(p, ec) ? fs::file_size(p, ec) : 1;
    return ec || size > 0;
}

}  // namespace

std::optional<StoredStatus> ReadStoredStatus(const std::string& path)
{
    TextReader reader;
    if (!reader.open(path)) return std::nullopt;
    StoredStatus status;
    std::string line;
    if (!reader.readLine(line)) return status;
    status.folder = line;
    // The two numbers follow, separated by blanks or line ends.
    std::vector<double> numbers;
    while (numbers.size() < 2 && reader.readLine(line)) {
        FieldDataArray words;
        try {
            const int n = SplitFields(line, " ", words);
            for (int i = 0; i <= n && numbers.size() < 2; ++i)
                if (!words[static_cast<std::size_t>(i)].empty())
                    numbers.push_back(NumericValue(words[static_cast<std::size_t>(i)]));
        } catch (const SplitOverflow&) {
            break;
        }
    }
    if (numbers.size() > 0) status.seq = RoundToInt16(numbers[0]);
    if (numbers.size() > 1) status.markCount = RoundToInt16(numbers[1]);
    return status;
}

bool WriteStoredStatus(const std::string& path, const StoredStatus& status)
{
    return WriteTextLinesAtomic(path, {status.folder, PrintInteger(status.seq), PrintInteger(status.markCount)});
}

std::string DayFolderName(const LocalDateTime& now)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", now.year, now.month, now.day);
    return buf;
}

std::vector<std::string> RecordHeaderLines(const LocalDateTime& now, const geodesy::CurrentZone& zone)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d/%02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return {
        std::string("記録日時:") + stamp,
        "日本測地系: 第" + std::to_string(zone.ZoneNo) + "系",
        "ベース緯度経度: 緯度：" + DegreesMinutes(zone.ZoneOriginLat) + "　経度：" +
            DegreesMinutes(zone.ZoneOriginLon),
        "",
    };
}

StartProposal PrepareRecordStart(const std::string& programFolder, const LocalDateTime& now)
{
    StartProposal p;
    const std::string today = DayFolderName(now);
    const auto stored = ReadStoredStatus(programFolder + "/data0/StoredSTS.dat");
    if (stored && stored->folder == today) {
        p.folder = stored->folder;
        p.seq = stored->seq < 0 ? std::int16_t{0} : stored->seq;
        p.markCount = stored->markCount;
    } else {
        p.folder = today;
    }
    p.dayFolderPath = programFolder + "/data2/" + p.folder;
    std::error_code ec;
    fs::create_directories(p.dayFolderPath, ec);
    // Skip numbers whose file already holds a recording.
    for (int guard = 0; guard < 32767; ++guard) {
        p.proposedName = p.folder + "_" + std::to_string(p.seq) + ".dat";
        if (!ExistsWithData(fs::path(p.dayFolderPath) / p.proposedName) || p.seq == INT16_MAX) break;
        ++p.seq;
    }
    return p;
}

NameProblem CheckRecordFileName(const std::string& dayFolderPath, const std::string& name)
{
    const std::string_view trimmed = TrimSpaces(name);
    if (trimmed.empty() || trimmed == "." || trimmed == ".." ||
        name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return NameProblem::Invalid;
    if (ExistsWithData(fs::path(dayFolderPath) / name)) return NameProblem::Exists;
    return NameProblem::None;
}

const char* NameProblemMessage(NameProblem problem)
{
    switch (problem) {
    case NameProblem::Invalid:
        return "記録ファイル名が正しくありません。フォルダ名を含まない名前を入力してください。";
    case NameProblem::Exists:
        return "同じ名前の記録ファイルが既にあります。別の名前を入力してください。";
    case NameProblem::None:
        break;
    }
    return "";
}

bool RecordFile::create(const std::string& path, const std::vector<std::string>& headerLines)
{
    out_.close();
    if (ExistsWithData(path)) return false;
    if (!out_.open(path, /*syncEachLine=*/true)) return false;
    for (const auto& line : headerLines)
        if (!out_.writeLine(line)) return false;
    return true;
}

}  // namespace tessaro::recording
