#include "overlays/picture_area.h"

#include <algorithm>
#include <utility>

namespace tessaro::overlays {

UnitMapping UnitMapping::Fit(double width, double height)
{
    UnitMapping m;
    m.scale = std::max(0.0, std::min(width / PictureArea::kWidth, height / PictureArea::kHeight));
    m.left = (width - PictureArea::kWidth * m.scale) / 2.0;
    m.top = (height - PictureArea::kHeight * m.scale) / 2.0;
    return m;
}

double UnitMapping::PixelX(double x) const { return left + (x - PictureArea::kLeft) * scale; }
double UnitMapping::PixelY(double y) const { return top + (PictureArea::kTop - y) * scale; }
// A picture of no size maps every pixel to its centre.
double UnitMapping::UnitX(double px) const
{
    return scale > 0.0 ? PictureArea::kLeft + (px - left) / scale : PictureArea::kLeft + PictureArea::kWidth / 2.0;
}
double UnitMapping::UnitY(double py) const
{
    return scale > 0.0 ? PictureArea::kTop - (py - top) / scale : PictureArea::kTop - PictureArea::kHeight / 2.0;
}
double UnitMapping::PixelWidth() const { return PictureArea::kWidth * scale; }
double UnitMapping::PixelHeight() const { return PictureArea::kHeight * scale; }

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
