// The in-memory map index: the photographs of the open map library, as read
// from its index file "MapFileData1.dat", with their ground footprints in the
// plane coordinates of the current zone.
//
// This header is plain data so that the run state can hold an index without
// linking the loader; the loader lives in map_loader.h, the choice of
// photographs for the view in map_view.h.
//
// The three tables keep the names and the text contents of the main window's
// hidden grids:
//   MapFileGrid  row 0 = the ten column headers, row i + 1 = the ten fields of
//                photograph i as written in the index file;
//   MapIndexGrid row i: photograph number, centre X (easting) and centre Y
//                (northing) as written in the file, ground width; two working
//                columns filled by the photograph choice, which also reorders
//                the rows;
//   IndexGrid    row i: photograph number and its recomputed centre, "0.0".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::mapview {

// Most photographs one library may hold. Index lines past this many are not
// loaded (the loader reports them); nothing is ever stored beyond it.
constexpr int kMapCapacity = 2000;

constexpr int kMapFileColumns = 10;
using MapFileRow = std::array<std::string, kMapFileColumns>;

// Column headers of MapFileGrid (the fields of one index line).
inline constexpr std::array<const char*, kMapFileColumns> kMapFileHeaders = {
    "順番", "画像ﾌｧｲﾙ名", "中心緯度", "中心経度", "高度(m)",
    "横幅(m)", "縦幅(m)", "測地系", "中心Ｘ", "中心Ｙ"};
// Column widths of MapFileGrid [twips].
inline constexpr std::array<int, kMapFileColumns> kMapFileColumnWidths = {
    300, 1200, 1200, 1200, 1200, 1000, 1000, 1000, 1000, 1000};

// Field numbers of an index line.
enum MapField : int {
    kFieldSequence = 0,
    kFieldFileName = 1,
    kFieldLatitude = 2,   // "35-39-29.45"
    kFieldLongitude = 3,  // "139-44-12.34"
    kFieldAltitude = 4,
    kFieldWidth = 5,      // ground width [m]
    kFieldHeight = 6,     // ground height [m]
    kFieldZone = 7,
    kFieldCentreX = 8,    // easting in the builder's zone [m]
    kFieldCentreY = 9,    // northing in the builder's zone [m]
};

// One row of MapIndexGrid, the selection table. The six columns are kept as
// texts (cell()); the numbers beside them are the numeric values of those
// texts, taken when the text is set, so that the choice of photographs does
// not parse text on every call.
struct MapIndexRow {
    static constexpr int kColumns = 6;

    std::string Index;        // column 0: photograph number
    std::string CentreX;      // column 1: index field 8 [m]
    std::string CentreY;      // column 2: index field 9 [m]
    std::string Width;        // column 3: index field 5 [m]
    std::string Distance;     // column 4: distance from the view centre, "0.00", or "9999999"
    std::string ScreenWidth;  // column 5: on-screen width [hundreds of picture units], "0.00"

    int photo = 0;                // numeric value of column 0
    double centreX = 0.0;         // numeric value of column 1
    double centreY = 0.0;         // numeric value of column 2
    double widthMetres = 0.0;     // numeric value of column 3
    double distanceKey = 0.0;     // numeric value of column 4
    double screenWidthKey = 0.0;  // numeric value of column 5

    // Text of column 0..5; empty for any other column.
    const std::string& cell(int column) const
    {
        static const std::string kNone;
        switch (column) {
        case 0: return Index;
        case 1: return CentreX;
        case 2: return CentreY;
        case 3: return Width;
        case 4: return Distance;
        case 5: return ScreenWidth;
        default: return kNone;
        }
    }
};

// One row of IndexGrid: the reference point of the quadrant test.
struct IndexGridRow {
    std::string Index;     // photograph number
    std::string Easting;   // recomputed centre easting, "#######0.0"
    std::string Northing;  // recomputed centre northing, "#######0.0"
    double easting = 0.0;   // numeric value of Easting
    double northing = 0.0;  // numeric value of Northing
};

// A photograph's ground rectangle in plane coordinates [m].
struct Footprint {
    double west = 0.0;
    double east = 0.0;
    float north = 0.0f;
    float south = 0.0f;
};

struct MapIndex {
    int MapCount = 0;  // photographs loaded, 0..kMapCapacity

    // MapCount + 1 rows once a load has started (row 0 = headers).
    std::vector<MapFileRow> MapFileGrid;
    // MapCount rows each; the photograph choice reorders MapIndexGrid.
    std::vector<MapIndexRow> MapIndexGrid;
    std::vector<IndexGridRow> IndexGrid;

    // Per photograph, index 0..MapCount-1: the centre recomputed from the
    // latitude and longitude in the current zone and the footprint around it.
    std::vector<double> MapCentreEasting;   // [m]
    std::vector<float> MapCentreNorthing;   // [m]
    std::vector<double> MapWest, MapEast;   // [m]
    std::vector<float> MapNorth, MapSouth;  // [m]

    // Height / width of the last photograph loaded; 1.0 before any load.
    float MapAspect = 1.0f;

    // True when photograph k exists (0 <= k < MapCount).
    bool has(int k) const { return k >= 0 && k < MapCount; }
    // File name of photograph k (MapFileGrid row k + 1, column 1); empty when
    // k does not exist.
    const std::string& fileName(int k) const
    {
        static const std::string kNone;
        if (!has(k) || static_cast<std::size_t>(k) + 1 >= MapFileGrid.size()) return kNone;
        return MapFileGrid[static_cast<std::size_t>(k) + 1][kFieldFileName];
    }
    // Footprint of photograph k; false when k does not exist.
    bool footprint(int k, Footprint& out) const
    {
        if (!has(k) || static_cast<std::size_t>(k) >= MapWest.size()) return false;
        const auto i = static_cast<std::size_t>(k);
        out = {MapWest[i], MapEast[i], MapNorth[i], MapSouth[i]};
        return true;
    }
};

}  // namespace tessaro::mapview
