#include "overlays/position_mark.h"

namespace tessaro::overlays {

void PositionMark::Hide() { SetVisible(false); }

void PositionMark::Place(double left, double top)
{
    area_.GPSPointImg.left = left;
    area_.GPSPointImg.top = top;
    area_.Changed();
}

void PositionMark::BringToFront() { area_.BringToFront(area_.GPSPointImg); }

void PositionMark::SetVisible(bool visible)
{
    area_.GPSPointImg.visible = visible;
    area_.Changed();
}

}  // namespace tessaro::overlays
