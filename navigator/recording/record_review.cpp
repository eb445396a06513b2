#include "recording/record_review.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::recording {

namespace fs = std::filesystem;

namespace {

bool IsRecordFileName(const std::string& name)
{
    if (name.size() < 3) return false;
    const std::string end = name.substr(name.size() - 3);
    return end == "dat" || end == "DAT";
}

std::string DateText(const std::string& day)
{
    if (day.size() < 6) return day;
    return day.substr(0, 4) + "/" + day.substr(4, 2) + "/" + day.substr(day.size() - 2);
}

std::vector<std::string> SortedNames(const fs::path& folder, bool folders)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const bool isFolder = it->is_directory(typeEc);
        const bool isFile = it->is_regular_file(typeEc);
        if (folders ? isFolder : isFile) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The leading number of a text when it has one (spaces, a sign, then a digit
// or a decimal point followed by a digit).
bool StartsWithNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

}  // namespace

std::vector<RecordFileRow> ListRecordFiles(const std::string& root)
{
    std::vector<RecordFileRow> rows;
    for (const std::string& day : SortedNames(root, true)) {
        bool first = true;
        for (const std::string& name : SortedNames(fs::path(root) / day, false)) {
            if (!IsRecordFileName(name)) continue;
            rows.push_back({first ? DateText(day) : std::string(), name, day});
            first = false;
        }
    }
    return rows;
}

RecordLoad LoadRecordFile(const std::string& path, overlays::OverlayLists& lists, int currentZone)
{
    RecordLoad result;
    lists.RecordPointCount = 0;
    TextReader reader;
    std::error_code ec;
    if (fs::is_regular_file(path, ec) && reader.open(path)) {
        result.readable = true;
        std::string line;
        for (int header = 1; header <= 4 && reader.readLine(line); ++header) {
            // "日本測地系: 第9系"
            const auto at = line.find("第");
            if (header == 2 && at != std::string::npos) {
                // Any number may stand there; only 1..19 name a zone, the rest reads as none.
                const double zone = NumericValue(std::string_view(line).substr(at + 3));
                result.fileZone = zone >= 1 && zone <= 19 ? static_cast<int>(zone) : 0;
            }
        }
        const int capacity = static_cast<int>(std::min({lists.RecordPointInfo.size(), lists.RecordPointEasting.size(),
                                                        lists.RecordPointNorthing.size()}));
        int k = 0;
        bool limit = false;
        while (k < capacity && reader.readLine(line)) {
            ItemDataArray items;
            int last = -1;
            try {
                last = SplitItems(line, ",", items);
            } catch (const SplitOverflow&) {
                last = 2;  // the first three items are stored already
            }
            if (last < 2 || items[0].empty() || !StartsWithNumber(items[1]) || !StartsWithNumber(items[2])) {
                ++result.skippedLines;
                continue;
            }
            const auto u = static_cast<std::size_t>(k);
            lists.RecordPointInfo[u] = items[0];
            lists.RecordPointEasting[u] = NumericValue(items[1]);
            lists.RecordPointNorthing[u] = static_cast<float>(NumericValue(items[2]));
            ++k;
            if (k >= capacity) limit = true;
        }
        lists.RecordPointCount = k;
        result.points = k;
        if (limit) result.messages.push_back(kRecordPointLimitMessage);
    } else {
        result.messages.push_back("記録データファイル「" + fs::path(path).filename().string() +
                                  "」を読み込めませんでした。");
    }
    if (result.readable && result.points == 0) result.messages.push_back("表示できる記録データがありませんでした。");
    if (currentZone != 0 && result.fileZone != 0 && result.fileZone != currentZone)
        result.messages.push_back("この記録データは第" + std::to_string(result.fileZone) +
                                  "系で記録されています。現在の座標系は第" + std::to_string(currentZone) +
                                  "系のため、正しい位置に表示されません。");
    return result;
}

std::string LocalMarkTime(const std::string& utc)
{
    auto part = [&](std::size_t at) { return at < utc.size() ? utc.substr(at, 2) : std::string(); };
    const int hour = (static_cast<int>(NumericValue(part(0))) + 9) % 24;
    char hh[8];
    std::snprintf(hh, sizeof hh, "%02d", hour);
    return std::string(hh) + ":" + part(2) + ":" + part(4);
}

std::vector<MarkRow> MarkListRows(const overlays::OverlayLists& lists)
{
    std::vector<MarkRow> rows;
    const int n = std::min<int>(lists.MKPointCount, static_cast<int>(lists.MKPointNo.size()));
    double total = 0.0;
    bool havePrevious = false;
    double prevE = 0.0, prevN = 0.0;
    for (int i = 0; i < n; ++i) {
        const auto u = static_cast<std::size_t>(i);
        MarkRow row;
        row.number = std::to_string(i + 1);
        row.time = LocalMarkTime(lists.MKPointTime[u]);
        const bool placed = u >= lists.MKPointPlaced.size() || lists.MKPointPlaced[u];
        if (placed) {
            const double e = lists.MKPointEasting[u], nn = lists.MKPointNorthing[u];
            if (!havePrevious) {
                row.distance = row.total = "0";
            } else {
                const double d = std::hypot(e - prevE, nn - prevN);
                total += d;
                row.distance = FormatFixed(d, 1);
                row.total = FormatFixed(total, 1);
            }
            havePrevious = true;
            prevE = e;
            prevN = nn;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

RecordReviewSession::RecordReviewSession(std::string root) : root_(std::move(root)), rows_(ListRecordFiles(root_)) {}

void RecordReviewSession::Click(int row, int column)
{
    if (column != 1 || row < 0 || row >= static_cast<int>(rows_.size())) return;
    const RecordFileRow& r = rows_[static_cast<std::size_t>(row)];
    selected_ = r.dayFolder + "/" + r.fileName;
    fileName_ = r.fileName;
}

RecordLoad RecordReviewSession::Show(NavState& state) const
{
    RecordLoad load;
    state.ShowRecordPoints = false;
    if (selected_.empty()) return load;
    load = LoadRecordFile((fs::path(root_) / selected_).string(), state, state.Zone.ZoneNo);
    state.ShowRecordPoints = load.points > 0;
    return load;
}

}  // namespace tessaro::recording
