#include "points/set_point_session.h"

#include <sys/stat.h>

#include <filesystem>

#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::points {

namespace {

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

StoredPoint PointOf(const PointRow& row)
{
    return {row.name, NumericValue(row.y), NumericValue(row.x)};
}

std::string PointFileRefusal(const std::string& path)
{
    const std::string name = BaseName(path);
    // The text between the first and the second dot of the file's name.
    FieldDataArray parts;
    try {
        SplitWords(name, ".", parts);
    } catch (const SplitOverflow&) {
        // A name with more dots than the array holds: its first parts are
        // stored all the same.
    }
    if (parts[1] != "csv" && parts[1] != "txt")
        return "「" + name + "」は開きません。ポイントファイルは、名前の最初の「.」の後が"
               "小文字の csv か txt のファイルです（例: points.csv）。";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "「" + name + "」が見つかりません。";
    if (!S_ISREG(st.st_mode)) return "「" + name + "」は通常のファイルではないため開きません。";
    return {};
}

PointList LoadPointFile(const std::string& path)
{
    PointList list;
    if (!IsRegularFile(path)) return list;
    TextReader reader;
    if (!reader.open(path)) return list;
    list.opened = true;
    std::string line;
    while (reader.readLine(line)) {
        if (static_cast<int>(list.rows.size()) >= kMaxPoints) {
            list.truncated = true;
            break;
        }
        FieldDataArray fields;
        try {
            SplitWords(line, ",", fields);
        } catch (const SplitOverflow&) {
            // Further fields are ignored; the first three are stored.
        }
        list.rows.push_back({std::string(TrimSpaces(fields[0])), std::string(TrimSpaces(fields[1])),
                             std::string(TrimSpaces(fields[2]))});
    }
    return list;
}

std::string PointFileNamePath(const std::string& programFolder) { return programFolder + "/data0/PointFileName.txt"; }

SetPointSession::SetPointSession(std::string programFolder) : programFolder_(std::move(programFolder)) {}

PointList SetPointSession::Load(const std::string& path, std::vector<std::string>* messages)
{
    PointList list = LoadPointFile(path);
    if (list.truncated && messages)
        messages->push_back("ポイントファイルの点が" + std::to_string(kMaxPoints) + "点を超えています。最初の" +
                            std::to_string(kMaxPoints) + "点だけを表示し、残りは読み込んでいません。");
    return list;
}

PointList SetPointSession::Open(std::vector<std::string>* messages)
{
    fileName_.clear();
    const auto lines = ReadTextLines(PointFileNamePath(programFolder_));
    if (!lines || lines->empty()) return {};
    fileName_ = std::string(TrimSpaces((*lines)[0]));
    if (fileName_.empty()) return {};
    return Load(fileName_, messages);
}

PointList SetPointSession::Choose(const std::string& path, bool& accepted, std::vector<std::string>* messages)
{
    accepted = false;
    if (const std::string why = PointFileRefusal(path); !why.empty()) {
        if (messages) messages->push_back(why);
        return {};
    }
    accepted = true;
    fileName_ = path;
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(PointFileNamePath(programFolder_)).parent_path(), ec);
    if (!WriteTextLinesAtomic(PointFileNamePath(programFolder_), {path}, &error) && messages)
        messages->push_back("開いたファイルの名前を " + PointFileNamePath(programFolder_) +
                            " に記録できませんでした（" + error + "）。次に開くときは元のファイルになります。");
    PointList list = Load(path, messages);
    if (!list.opened && messages) messages->push_back("「" + BaseName(path) + "」を読み込めませんでした。");
    return list;
}

}  // namespace tessaro::points
