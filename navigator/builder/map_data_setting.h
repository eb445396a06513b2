// The map library builder's folder scan, photograph table and index files,
// without widgets: the state and rules of the window MapDataSettingFrm.
//
// The builder works on one folder of screenshots (MapPicFolder). Its table
// (MapFileGrid) has one row per photograph with the ten fields of an index
// line; it is filled from the folder's "MapFileData1.dat" on a folder change
// or by reading the screenshots, and written back when the window closes
// with OK. The builder's own settings file "FileType.dat" remembers the
// folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "builder/full_read.h"
#include "builder/recogniser.h"
#include "mapview/map_index.h"
#include "state/nav_state.h"

namespace tessaro::builder {

// The extension test of the folder scan: the last four characters compared
// exactly (".jpg"/".JPG" photographs, ".dat"/".DAT" data files).
bool IsPhotographName(const std::string& name);
bool IsDataFileName(const std::string& name);
// Whether an index line can hold the name: no "," (it would add a field) and
// only characters CP932 has (others would be written as "?").
bool NameFitsIndex(const std::string& name);

// "FileType.dat" (ProgramFolder/data0): line 2 is MapPicFolder, read whole.
std::string FileTypePath(const std::string& programFolder);
std::optional<std::string> ReadFileType(const std::string& programFolder);
bool WriteFileType(const std::string& programFolder, const std::string& folder, std::string* error = nullptr);

// The threshold of each SearchTypeOpt option (index 0..4).
int ThresholdOfOption(int option);

class MapDataSetting {
public:
    explicit MapDataSetting(NavState& state);
    // The default readers refer to this object.
    MapDataSetting(const MapDataSetting&) = delete;
    MapDataSetting& operator=(const MapDataSetting&) = delete;

    // --- the window's life cycle
    // Load: FileType.dat (a missing or unreadable file, or a folder that no
    // longer exists, gives the sample folder of the program folder), the
    // index of the folder, the unit glyphs, and the folder scan, which runs in
    // every case so that the photographs are listed.
    void Load();
    // First activation: threshold option 3 (180).
    void FirstActivation();
    // Folder change (a pick in the folder list or the sample button).
    void ChangeFolder(const std::string& folder);
    void SampleCmd();
    // Reads the listed screenshots into the table (InitializeCmd, and
    // SetLonLatAndHeightCmd, which does nothing while FormStarting is true and
    // checks the table after the read). `view` shows messages and progress
    // and may stop the read.
    FullReadResult InitializeCmd(FullReadView* view = nullptr);
    FullReadResult SetLonLatAndHeightCmd(FullReadView* view = nullptr);
    void OKCmd();      // SetInitialView, then closing saves
    void CancelCmd();  // closing saves nothing and restores what the window changed
    // Closing (OK, Cancel or the close box): saves when SaveOnClose is true.
    // Returns false with *error when the index could not be written. The
    // window calls the main window's ResetMapData afterwards in every case.
    bool Close(std::string* error = nullptr);

    // --- operations
    void LoadMapFileData();
    bool SaveMapFileData(std::string* error = nullptr);
    void SetZoneFromMapData();
    void SetInitialView();
    // Reads one screenshot of the folder (latitude, longitude, altitude texts);
    // sets ImageAspect.
    Reading ReadImageData(const std::string& name);
    void SelectSearchType(int option);

    // --- the full read and its checks
    // Reads every photograph of MapFileLst into the table from row 1 (see
    // full_read.h); an empty list ends at once with the headers only.
    FullReadResult ReadAllImageData(FullReadView* view = nullptr);
    // Marks the suspect latitude and longitude cells (Suspect) and sets
    // MissDataLbl, starting from empty lists.
    void CheckMissData();
    // Columns 8 and 9 of grid row `row` (1..MapRowCount) from its position.
    void SetRowCentre(int row);

    // --- manual correction (grid rows 1..MapRowCount)
    // The latitude (column 2) or longitude (column 3) from the three boxes,
    // joined by "-" as typed; then the check and the row's centre. False, and
    // nothing changed, when a box holds "," or the cell is not one of them.
    bool CorrectPosition(int row, int column, const std::string& degrees, const std::string& minutes,
                         const std::string& seconds);
    // The altitude as typed, and the footprint from it (1.165 m per metre,
    // the photograph's aspect measured again). False, nothing changed, for ","
    // or a row out of range.
    bool CorrectAltitude(int row, const std::string& altitude);
    // Copies the altitude of row r0 to rows r0 + 1 .. r1 with their
    // footprints, each row with its own photograph's aspect.
    void FillDownAltitude(int r0, int r1);
    // The two text strips of row `row`'s photograph, located as the recogniser
    // locates them (the working tables keep that read); empty strips when the
    // file does not decode. Sets ImageWidthPx and ImageHeightPx.
    StripPreview PreviewStrips(int row);
    // Removes a row: the rows below move up and are renumbered; a table that
    // was checked is checked again.
    bool DeleteRow(int row);
    // --- the table: MapFileGrid rows 1..; GridRows() counts the header row
    const std::vector<mapview::MapFileRow>& Rows() const { return rows_; }
    std::vector<mapview::MapFileRow>& Rows() { return rows_; }
    int GridRows() const { return static_cast<int>(rows_.size()) + 1; }

    NavState& state;
    int MapRowCount = 0;
    bool FormStarting = false;
    bool SaveOnClose = false;
    float ImageAspect = 0.75f;
    float ImageWidthPx = 0.0f, ImageHeightPx = 0.0f;
    int SearchTypeOpt = 2;  // option 3
    int PixelTxt = 180;
    std::vector<std::string> MapFileLst;
    std::vector<std::string> MapDataLst;
    // Screenshots of the folder that are not taken into the table because an
    // index line cannot hold their names; the window tells the user.
    std::vector<std::string> RefusedNames;
    bool MissDataLbl = false;
    Suspects Suspect;
    // Reads one screenshot for the full read and measures a photograph for a
    // corrected altitude; both default to the folder's files.
    PhotoReader Reader;
    AspectReader AspectOf;
    UnitGlyphs Units;
    WorkTables Tables;

private:
    void ClearGrid();
    bool checked_ = false;  // CheckMissData ran on the current table

    std::vector<mapview::MapFileRow> rows_;
    // What Cancel gives back.
    std::string startFolder_;
    geodesy::CurrentZone startZone_;
    int startScaleLevel_ = 16;
    double startEasting_ = 0.0;
    float startNorthing_ = 0.0f;
    float startViewScale_ = 0.0f;
};

}  // namespace tessaro::builder
