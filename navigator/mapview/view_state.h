// The photo-map view's part of the run state: the library that is loaded,
// the scale, the view centre and follow box, and the choice of photographs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mapview/map_index.h"

namespace tessaro::mapview {

// The library and view the settings named, kept while the sample library
// stands in for a library folder that could not be found at start (a disk
// not plugged in, say). The settings are written back with these, so the
// user's library is opened again once it is there.
struct StoredLibrary {
    std::string MapPicFolder;
    int ScaleLevel = 16;
    double ViewCentreEasting = 0.0;   // [m]
    float ViewCentreNorthing = 0.0f;  // [m]
};

struct ViewState {
    std::string MapPicFolder;          // the map library folder
    int ScaleLevel = 16;
    float ViewScale = 0.0f;            // picture units per metre
    double ViewCentreEasting = 0.0;    // [m]
    float ViewCentreNorthing = 0.0f;   // [m]
    // Follow box [picture units]: 80 from the left/right edges, 70 from the
    // top/bottom edges of the 788 x 678 picture area.
    float ViewBoundLeft = -314.0f;
    float ViewBoundRight = 314.0f;
    float ViewBoundTop = 269.0f;
    float ViewBoundBottom = -269.0f;
    int CurrentMapIndex = -1;
    int ShownMapCount = 0;
    // Quadrant test: the side of the current photograph's reference point on
    // which the last fix lay (-1 / +1, 0 before the first test), and that
    // reference point [m], kept for a current photograph without a row.
    std::int16_t QuadrantEW = 0;
    std::int16_t QuadrantNS = 0;
    double QuadrantRefEasting = 0.0;
    double QuadrantRefNorthing = 0.0;
    // The loaded map library (index, footprints, MapAspect).
    MapIndex Maps;
    // Set while the sample library stands in for the stored one; whoever
    // opens another library clears it.
    std::optional<StoredLibrary> SampleStandsInFor;
};

}  // namespace tessaro::mapview
