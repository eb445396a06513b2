#include "builder/map_data_setting.h"

#include <algorithm>
#include <filesystem>

#include "builder/jpeg_picture.h"
#include "geodesy/plane_coords.h"
#include "shell/folder_browser.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::builder {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& s, const char* tail)
{
    const std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::string IndexPath(const std::string& folder) { return JoinPath(folder, "MapFileData1.dat"); }

bool FolderExists(const std::string& folder)
{
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder, ec);
}

// Degrees from a "dd-mm-ss.ss" text: item 0 + item 1 / 60 + item 2 / 3600.
double DegreesOf(const std::string& text)
{
    ItemDataArray items;
    try {
        SplitItems(text, "-", items);
    } catch (const SplitOverflow&) {
    }
    return NumericValue(items[0]) + NumericValue(items[1]) / 60.0 + NumericValue(items[2]) / 3600.0;
}

}  // namespace

bool IsPhotographName(const std::string& name) { return EndsWith(name, ".jpg") || EndsWith(name, ".JPG"); }
bool IsDataFileName(const std::string& name) { return EndsWith(name, ".dat") || EndsWith(name, ".DAT"); }

bool NameFitsIndex(const std::string& name)
{
    if (name.find(',') != std::string::npos) return false;
    std::size_t unmapped = 0;
    Utf8ToCp932(name, &unmapped);
    return unmapped == 0;
}

std::string FileTypePath(const std::string& programFolder) { return JoinPath(programFolder, "data0/FileType.dat"); }

std::optional<std::string> ReadFileType(const std::string& programFolder)
{
    const auto lines = ReadTextLines(FileTypePath(programFolder));
    // Line 1 is a placeholder; line 2 is the folder, commas and all.
    if (!lines || lines->size() < 2 || (*lines)[1].empty()) return std::nullopt;
    return (*lines)[1];
}

bool WriteFileType(const std::string& programFolder, const std::string& folder, std::string* error)
{
    return WriteTextLinesAtomic(FileTypePath(programFolder), {"--", folder}, error);
}

int ThresholdOfOption(int option) { return 160 + 10 * std::clamp(option, 0, 4); }

MapDataSetting::MapDataSetting(NavState& s) : state(s)
{
    Reader = [this](const std::string& name, int threshold) {
        PhotoReading photo;
        float aspect = 0.0f;
        photo.texts = ReadImageFile(JoinPath(state.MapPicFolder, name), threshold, Units, Tables, &aspect);
        if (aspect > 0.0f) photo.aspect = aspect;
        return photo;
    };
    AspectOf = [this](const std::string& name) { return PhotoAspect(JoinPath(state.MapPicFolder, name)); };
}

void MapDataSetting::ClearGrid()
{
    rows_.clear();
    MapRowCount = 0;
    Suspect = {};
    checked_ = false;
}

void MapDataSetting::Load()
{
    startFolder_ = state.MapPicFolder;
    startZone_ = state.Zone;
    startScaleLevel_ = state.ScaleLevel;
    startEasting_ = state.ViewCentreEasting;
    startNorthing_ = state.ViewCentreNorthing;
    startViewScale_ = state.ViewScale;

    const auto stored = ReadFileType(state.ProgramFolder);
    state.MapPicFolder = stored && FolderExists(*stored) ? *stored : JoinPath(state.ProgramFolder, "MapPicSample");
    FormStarting = true;
    LoadMapFileData();
    Units = LoadUnitGlyphs(JoinPath(state.ProgramFolder, "data1/KUnit.csv"));
    SaveOnClose = true;
    // The folder list is set to the folder even when it already shows it, so
    // the photographs are always listed.
    ChangeFolder(state.MapPicFolder);
}

void MapDataSetting::FirstActivation()
{
    if (!FormStarting) return;
    SelectSearchType(2);
    FormStarting = false;
}

void MapDataSetting::SelectSearchType(int option)
{
    SearchTypeOpt = std::clamp(option, 0, 4);
    PixelTxt = ThresholdOfOption(SearchTypeOpt);
}

void MapDataSetting::ChangeFolder(const std::string& folder)
{
    MissDataLbl = false;
    state.MapPicFolder = folder;
    MapFileLst.clear();
    MapDataLst.clear();
    RefusedNames.clear();
    ClearGrid();
    for (const std::string& name : MatchingFiles(folder, "*.*")) {
        if (IsPhotographName(name)) {
            if (NameFitsIndex(name)) MapFileLst.push_back(name);
            else RefusedNames.push_back(name);
        } else if (IsDataFileName(name)) {
            MapDataLst.push_back(name);
        }
    }
    if (std::find(MapDataLst.begin(), MapDataLst.end(), "MapFileData1.dat") != MapDataLst.end()) LoadMapFileData();
}

void MapDataSetting::SampleCmd()
{
    ChangeFolder(JoinPath(state.ProgramFolder, "MapPicSample"));
}

void MapDataSetting::LoadMapFileData()
{
    const std::string path = IndexPath(state.MapPicFolder);
    TextReader reader;
    if (!reader.open(path)) {
        std::error_code ec;
        if (!fs::exists(path, ec) && FolderExists(state.MapPicFolder)) WriteTextLinesAtomic(path, {});
        rows_.clear();
        return;  // MapRowCount stays as it was
    }
    rows_.clear();
    MapRowCount = 0;
    std::string line;
    while (reader.readLine(line)) {
        FieldDataArray f;
        try {
            SplitFields(line, ",", f);
        } catch (const SplitOverflow&) {
        }
        ++MapRowCount;
        mapview::MapFileRow row;
        // The stored sequence number is not used: rows are numbered in file order.
        row[0] = std::to_string(MapRowCount);
        for (int c = 1; c < mapview::kMapFileColumns; ++c) row[static_cast<std::size_t>(c)] = f[static_cast<std::size_t>(c)];
        rows_.push_back(row);
    }
}

bool MapDataSetting::SaveMapFileData(std::string* error)
{
    std::vector<std::string> lines;
    for (int r = 0; r < MapRowCount && r < static_cast<int>(rows_.size()); ++r) {
        std::string line;
        for (int c = 0; c < mapview::kMapFileColumns; ++c) {
            if (c) line += ',';
            line += rows_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        }
        lines.push_back(line);
    }
    return WriteTextLinesAtomic(IndexPath(state.MapPicFolder), lines, error);
}

void MapDataSetting::SetZoneFromMapData()
{
    if (MapRowCount <= 0) return;
    double lat = 0.0, lon = 0.0;
    for (int r = 0; r < MapRowCount && r < static_cast<int>(rows_.size()); ++r) {
        lat += DegreesOf(rows_[static_cast<std::size_t>(r)][2]);
        lon += DegreesOf(rows_[static_cast<std::size_t>(r)][3]);
    }
    geodesy::FindZoneByLatLon(lat / MapRowCount, lon / MapRowCount, state.Zone);
}

void MapDataSetting::SetInitialView()
{
    // An empty table leaves the view where it is.
    const int n = std::min(MapRowCount, static_cast<int>(rows_.size()));
    if (n <= 0) return;
    double minE = 99999999, maxE = -99999999, minN = 99999999, maxN = -99999999, sumE = 0, sumN = 0;
    for (int r = 0; r < n; ++r) {
        const auto& row = rows_[static_cast<std::size_t>(r)];
        const double e = NumericValue(row[8]), nn = NumericValue(row[9]);
        const double hw = NumericValue(row[5]) * 0.5, hh = NumericValue(row[6]) * 0.5;
        minE = std::min(minE, e - hw);
        maxE = std::max(maxE, e + hw);
        minN = std::min(minN, nn - hh);
        maxN = std::max(maxN, nn + hh);
        sumE += e;
        sumN += nn;
    }
    state.ViewCentreEasting = sumE / n;
    state.ViewCentreNorthing = static_cast<float>(sumN / n);
    const double extent = 0.2 * std::max(maxE - minE, maxN - minN);
    int level = 0;
    for (int i = 0; i <= 39; ++i) {
        if (state.Scales[static_cast<std::size_t>(i)].barMetres < extent) {
            level = i;
            break;
        }
    }
    state.ScaleLevel = level;
    state.ViewScale = state.Scales[static_cast<std::size_t>(level)].unitsPerMetre;
}

Reading MapDataSetting::ReadImageData(const std::string& name)
{
    return ReadImageFile(JoinPath(state.MapPicFolder, name), PixelTxt, Units, Tables, &ImageAspect);
}

FullReadResult MapDataSetting::InitializeCmd(FullReadView* view) { return ReadAllImageData(view); }

FullReadResult MapDataSetting::SetLonLatAndHeightCmd(FullReadView* view)
{
    if (FormStarting) return {};
    MissDataLbl = false;
    FullReadResult result = ReadAllImageData(view);
    if (result.completed) CheckMissData();
    return result;
}

void MapDataSetting::OKCmd() { SetInitialView(); }

void MapDataSetting::CancelCmd() { SaveOnClose = false; }

bool MapDataSetting::Close(std::string* error)
{
    if (!SaveOnClose) {
        // Cancel keeps the files and gives back the folder, the zone and the
        // view the window found.
        state.MapPicFolder = startFolder_;
        state.Zone = startZone_;
        state.ScaleLevel = startScaleLevel_;
        state.ViewCentreEasting = startEasting_;
        state.ViewCentreNorthing = startNorthing_;
        state.ViewScale = startViewScale_;
        return true;
    }
    bool ok = WriteFileType(state.ProgramFolder, state.MapPicFolder, error);
    SetZoneFromMapData();
    std::string indexError;
    if (!SaveMapFileData(&indexError)) {
        if (error) *error = indexError;
        ok = false;
    }
    // Another library was opened: the sample no longer stands in for one.
    if (state.MapPicFolder != startFolder_) state.SampleStandsInFor.reset();
    return ok;
}

}  // namespace tessaro::builder
