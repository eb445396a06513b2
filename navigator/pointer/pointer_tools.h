// The pointer tools of the main window's picture area, without widgets:
//
//   measuring            left clicks add points; the polyline's plane length
//                        is summed and shown ("距離測定")
//   coordinate display   the plane position and the latitude/longitude under
//                        the pointer go into the coordinate boxes ("座標表示")
//   typed positions      the marker PointImg at typed plane coordinates or a
//                        typed latitude/longitude (the two position buttons)
//   stored points        the marker at a point of a point file
//   info label           a right click near a point of the reviewed record
//                        track shows its time (TimeHdLbl)
//
// Positions arrive in picture units (mapview/picture_units.h). The tools draw
// into the picture area's display list and move its items; everything else
// they need of the window goes through PointerWindow.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mapview/picture_units.h"
#include "overlays/picture_area.h"
#include "state/nav_state.h"

namespace tessaro::pointer {

using mapview::PicturePoint;

// Mouse positions over a photograph come as an offset inside it in twips,
// 15 to a picture unit.
inline constexpr double kTwipsPerUnit = 15.0;

// The picture position of an offset (in twips, y downwards) inside a
// photograph whose upper left corner is at (left, top): each offset becomes
// whole picture units, halves to the even neighbour.
PicturePoint PhotoOffsetToPicture(double left, double top, double offsetXTwips, double offsetYTwips);

// The picture position the tools use for a pointer at (x, y) picture units
// (the widget's one pixel mapping), over the photograph `photo` (null: the
// bare picture area): whole picture units, halves to even, the same on both
// paths wherever the photograph lies.
PicturePoint PointerPosition(double x, double y, const overlays::PictureItem* photo);

// Degrees, minutes and seconds as the boxes show them.
struct DmsTexts {
    std::string degrees, minutes, seconds;
    friend bool operator==(const DmsTexts&, const DmsTexts&) = default;
};
// Whole degrees, whole minutes and the seconds to the hundredth (a value
// whose seconds would show as 60.00 carries into the minutes).
DmsTexts ToDmsTexts(double degrees);
// The angle of three typed boxes (their numeric values; empty is 0).
double FromDmsTexts(const DmsTexts& texts);

// A number as plain decimal text (the stored points' coordinates).
std::string PlainDecimal(double value);

// What the tools need of the main window.
class PointerWindow {
public:
    virtual ~PointerWindow() = default;
    virtual void SetMeasureText(const std::string& text) = 0;   // MeasDistLbl
    virtual void SetCoordinateBoxes(const std::string& easting, const std::string& northing) = 0;
    virtual void SetDegreeBoxes(const DmsTexts& lat, const DmsTexts& lon) = 0;
    virtual void SetPositionButtonsEnabled(bool enabled) = 0;
    // The measuring pointer icon on (true) or the default pointer.
    virtual void UseMeasuringPointer(bool on) = 0;
    // The full redraw (ShowAllData) and the redraw of the record overlays.
    virtual void RedrawAll() = 0;
    virtual void RedrawRecordOverlays() = 0;
    // Moves the view centre to a plane position, reloads the photographs and
    // redraws everything.
    virtual void CentreViewOn(double easting, double northing) = 0;
    virtual void Message(const std::string& text) = 0;
};

// A hit of FindNearRecordPoint: the entry and its picture position.
struct RecordPointHit {
    int index = -1;
    PicturePoint at;
};
// The first entry of the reviewed record track closer than 10 picture units
// (strictly) to `p`, in list order.
std::optional<RecordPointHit> FindNearRecordPoint(const NavState& state, PicturePoint p);

// Messages of the tools.
inline constexpr const char* kMeasureFullMessage =
    "測定できる点は501点までです。これより先の点は加えません。"
    "「距離測定」を押し直すと、新しく測り始めます。";

class PointerTools {
public:
    PointerTools(NavState& state, overlays::PictureArea& picture, PointerWindow& window);

    // The two tool buttons, pressed (true) or released.
    void MeasuringPressed(bool pressed);
    void CoordDisplayPressed(bool pressed);

    // Mouse on the picture, at a position from PointerPosition.
    void LeftPressed(PicturePoint p);
    void RightPressed(PicturePoint p);
    void Moved(PicturePoint p);

    // The position buttons: typed plane coordinates (easting, northing
    // texts) and a typed latitude/longitude. Both act only while the
    // coordinate display is on.
    void ShowTypedCoordinates(std::string_view eastingText, std::string_view northingText);
    void ShowTypedLatLon(const DmsTexts& lat, const DmsTexts& lon);

    // A stored point: its coordinates into the boxes and the marker on it.
    void MarkPoint(double easting, double northing);

    // After every full redraw: the marker and the info label back onto the
    // ground they mark.
    void PlaceMarkers();

    // The zone changed: positions kept in the old zone's metres are dropped
    // (measuring points, the marker, the info label).
    void ForgetPlanePositions();

private:
    void PlaceMarkerAt(double easting, double northing);
    void PlaceMarkerItem();
    bool ScaleUsable() const;

    NavState& state_;
    overlays::PictureArea& picture_;
    PointerWindow& window_;
    struct Plane {
        double easting = 0.0, northing = 0.0;
    };
    std::optional<Plane> marker_;  // PointImg's ground
    std::optional<Plane> label_;   // TimeHdLbl's ground
};

}  // namespace tessaro::pointer
