// Shared fixture pieces of the overlay tests: a run state, a fake map index
// and a context whose pauses return at once.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "overlays/overlay_drawing.h"

namespace tessaro::overlays::testing {

struct Edges {
    double west, north, east, south;
};

class FakeFootprints : public PhotoFootprints {
public:
    std::vector<std::string> shown;        // column 0 of the selection table
    std::map<int, Edges> maps;            // by map number

    std::string ShownMapNumber(int row) const override
    {
        return row >= 0 && row < static_cast<int>(shown.size()) ? shown[static_cast<std::size_t>(row)] : "";
    }
    bool Footprint(int k, double& w, float& n, double& e, float& s) const override
    {
        auto it = maps.find(k);
        if (it == maps.end()) return false;
        w = it->second.west;
        n = static_cast<float>(it->second.north);
        e = it->second.east;
        s = static_cast<float>(it->second.south);
        return true;
    }
};

// Level 26 is 1.0 picture unit per metre: plane and picture positions agree
// around a view centre of (0, 0).
inline void UseLevel(NavState& s, int level)
{
    s.ScaleLevel = level;
    s.ViewScale = s.Scales[static_cast<std::size_t>(level)].unitsPerMetre;
}

}  // namespace tessaro::overlays::testing
