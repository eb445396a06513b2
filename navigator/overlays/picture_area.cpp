#include "overlays/picture_area.h"

#include <utility>

namespace tessaro::overlays {

PictureArea::PictureArea()
{
    // Creation order gives the first stacking order: photographs, marks, then
    // the position marks and the label on top.
    for (auto& p : PhotoImg) p.z = ++topZ_;
    for (auto& m : MarkPointImg) {
        m.z = ++topZ_;
        m.width = 16;
        m.height = 16;
    }
    GPSPointImg.z = ++topZ_;
    GPSPointImg.width = GPSPointImg.height = 16;
    PointImg.z = ++topZ_;
    PointImg.width = PointImg.height = 20;
    TimeHdLbl.z = ++topZ_;
}

void PictureArea::ClearDrawing()
{
    ops_.clear();
    CurrentX = 0.0;
    CurrentY = 0.0;
    ++revision_;
    ++generation_;
    Changed();
}

void PictureArea::Append(DrawOp op)
{
    ops_.push_back(std::move(op));
    ++revision_;
    Changed();
}

void PictureArea::Line(double x1, double y1, double x2, double y2, Rgb colour)
{
    Append({DrawOp::Kind::Line, x1, y1, x2, y2, colour, {}, 0, false});
}

void PictureArea::FilledBox(double x1, double y1, double x2, double y2, Rgb colour)
{
    Append({DrawOp::Kind::FilledBox, x1, y1, x2, y2, colour, {}, 0, false});
}

void PictureArea::Circle(double x, double y, double radius, Rgb colour)
{
    Append({DrawOp::Kind::Circle, x, y, radius, 0, colour, {}, 0, false});
}

void PictureArea::Print(const std::string& text)
{
    Append({DrawOp::Kind::Text, CurrentX, CurrentY, 0, 0, ForeColor, text, FontSize, FontBold});
}

}  // namespace tessaro::overlays
