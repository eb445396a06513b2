// The position relation viewer's geometry, without widgets: the rows of its
// grid, the extents, the scale of the drawing (550 x 440 units, origin at the
// centre, y up), the grey frame with its latitude and longitude labels, and
// the footprint boxes.
#pragma once

#include <string>
#include <vector>

#include "mapview/map_index.h"

namespace tessaro::builder {

// Where the viewer's rows come from.
enum class ViewerSource : int { Builder = 1, MainWindow = 2 };

// One row of DataGrid: the ten index fields, columns 2 and 3 as decimal
// degrees ("##0.0000000").
mapview::MapFileRow ViewerRow(const mapview::MapFileRow& indexRow);

struct ViewerLayout {
    double minLat = 100, maxLat = 0, minLon = 300, maxLon = 0;
    double minE = 9999999, maxE = -9999999, minN = 9999999, maxN = -9999999;
    double centreE = 0, centreN = 0;
    double scale = 1;  // drawing units per metre
};
// Extents over the rows and the scale that spans the centres over at most
// 250 x 200 units. When the centres share one easting or one northing (one
// photograph, say), that direction is scaled by the footprints' extent
// instead, so the footprints fill the same 250 x 200 units.
ViewerLayout LayoutOf(const std::vector<mapview::MapFileRow>& viewerRows);

// A value in decimal degrees as the viewer labels it: degrees and minutes
// without leading zeros, seconds "00.00"; the seconds are rounded first and
// carry into the minutes and degrees (35.65 gives 35-39-00.00).
std::string PositionLabel(double degrees);

struct ViewerText {
    double x = 0, y = 0;  // top-left corner of the text
    std::string text;
};
struct ViewerLine {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
// The grey frame: the axis and extent lines and the six labels, each twice.
struct ViewerFrame {
    std::vector<ViewerLine> lines;
    std::vector<ViewerText> labels;
};
ViewerFrame FrameOf(const ViewerLayout& layout);

// A footprint in drawing units, and where its name is printed.
struct ViewerBox {
    double left = 0, bottom = 0, right = 0, top = 0;
    ViewerText name;
};
ViewerBox BoxOf(const mapview::MapFileRow& viewerRow, const ViewerLayout& layout);

}  // namespace tessaro::builder
