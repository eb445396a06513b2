// The picture area of the main window as data: its fixed logical coordinate
// system, the display list that the drawers append to, and the image items
// (photograph slots, mark icons, position marks, info label) that lie on it.
//
// Nothing here touches a window. The BasePic widget replays this model: the
// background, then the photograph slots in stacking order, then the display
// list, then the other items in stacking order. Drawn figures therefore always
// lie over the photographs and under the position and mark icons.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mapview/picture_units.h"

namespace tessaro::overlays {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// One drawn figure, in picture units (origin at the centre, y up).
struct DrawOp {
    enum class Kind { Line, FilledBox, Circle, Text };
    Kind kind = Kind::Line;
    double x1 = 0, y1 = 0;  // line start, box corner, circle centre, text left/top
    double x2 = 0, y2 = 0;  // line end, opposite box corner; x2 = circle radius
    Rgb colour;
    std::string text;       // UTF-8
    int fontSize = 0;       // points
    bool bold = false;
};

// An image control or label on the picture area. Position and size are in
// picture units: left/top is the upper left corner (top is the larger y).
struct PictureItem {
    double left = 0, top = 0, width = 0, height = 0;
    bool visible = false;
    long long z = 0;  // stacking order, larger is in front
};

// The one mapping between picture units and the pixels of a widget: the
// 788 x 678 units keep their aspect, fill as much of the widget as they can
// and sit in its middle. At 788 x 678 pixels a unit is a pixel and the
// picture's upper left corner is pixel (0, 0). Painting, the placing of the
// images on the picture and every mouse position go through it.
struct UnitMapping {
    double scale = 1.0;                // pixels per unit
    double left = 0.0, top = 0.0;      // pixel position of the picture's upper left corner

    // The mapping for a widget of `width` x `height` pixels.
    static UnitMapping Fit(double width, double height);

    double PixelX(double x) const;
    double PixelY(double y) const;
    double UnitX(double px) const;
    double UnitY(double py) const;
    // The picture's width and height in pixels.
    double PixelWidth() const;
    double PixelHeight() const;
};

class PictureArea {
public:
    // The coordinate system: 788 x 678 units, left -394, top 339, y up.
    static constexpr double kWidth = mapview::kPictureWidth;
    static constexpr double kHeight = mapview::kPictureHeight;
    static constexpr double kLeft = -kWidth / 2;
    static constexpr double kTop = kHeight / 2;

    static constexpr int kPhotoSlots = 9;
    static constexpr int kMarkIcons = 64;

    PictureArea();

    // --- drawing (the display list) ---
    // Empties the display list and moves the text position to (0, 0); the
    // font settings stay.
    void ClearDrawing();
    void Line(double x1, double y1, double x2, double y2, Rgb colour);
    // A box filled in `colour`, corners included.
    void FilledBox(double x1, double y1, double x2, double y2, Rgb colour);
    // An unfilled circle.
    void Circle(double x, double y, double radius, Rgb colour);
    // Draws `text` with its upper left corner at the text position, in the
    // current font and fore colour, on a transparent background.
    void Print(const std::string& text);

    int FontSize = 9;   // points
    bool FontBold = false;
    double CurrentX = 0.0;
    double CurrentY = 0.0;
    Rgb ForeColor{0, 0, 0};
    Rgb BackColor{96, 96, 96};

    const std::vector<DrawOp>& Ops() const { return ops_; }

    // --- items ---
    std::array<PictureItem, kPhotoSlots> PhotoImg;
    std::array<PictureItem, kMarkIcons> MarkPointImg;
    PictureItem GPSPointImg;   // 16 x 16, centred on the fix
    PictureItem PointImg;      // 20 x 20
    PictureItem TimeHdLbl;     // info label of a right click
    std::string TimeHdCaption;

    void BringToFront(PictureItem& item) { item.z = ++topZ_; Changed(); }
    void SendToBack(PictureItem& item) { item.z = --bottomZ_; Changed(); }

    // Called after every change of the drawing; the widget repaints.
    std::function<void()> OnChange;
    void Changed() const
    {
        if (OnChange) OnChange();
    }

    // Counts every change of the display list, so that a viewer can tell
    // whether it must draw again.
    std::uint64_t Revision() const { return revision_; }
    // Counts the clears of the drawing: while it stays the same, the display
    // list has only grown.
    std::uint64_t Generation() const { return generation_; }

private:
    void Append(DrawOp op);

    std::vector<DrawOp> ops_;
    long long topZ_ = 0;
    long long bottomZ_ = 0;
    std::uint64_t revision_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace tessaro::overlays
