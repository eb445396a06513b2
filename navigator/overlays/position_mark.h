// The position mark GPSPointImg on the picture area, as live tracking and the
// decoder move it: a 16 x 16 mark centred on the fix.
#pragma once

#include "mapview/picture_units.h"
#include "overlays/picture_area.h"

namespace tessaro::overlays {

class PositionMark {
public:
    explicit PositionMark(PictureArea& area) : area_(area) {}

    // Half the mark's size [picture units]: the upper left corner of a mark
    // centred on (x, y) is (x - 8, y + 8).
    static constexpr double kHalfSize = 8.0;

    void Hide();
    void Place(double left, double top);
    // Centres the mark on a picture position.
    void CentreOn(mapview::PicturePoint p) { Place(p.x - kHalfSize, p.y + kHalfSize); }
    void BringToFront();
    void SetVisible(bool visible);

private:
    PictureArea& area_;
};

}  // namespace tessaro::overlays
