// The photo-map view without its widgets: the picture coordinate system, the
// choice of the photograph nearest to the view centre, the quadrant test that
// tells the position decoder when to reload the photographs, the choice of
// up to nine photographs for the image slots, zoom and pan.
//
// Picture units: see mapview/picture_units.h.
//
// Everything works on the run state (NavState): its view section holds the
// view variables and the map index (state.Maps). The main window implements
// PictureSlots to load pictures into its nine image slots.
//
// Sequences the main window runs (ShowAllData is the overlay redraw):
//   first activation:  FirstActivation(state, slots); ShowAllData
//   index reset:       LoadMapDataToGrid(state); SelectNearestMap(state);
//                      CheckMapQuadrant(state); LoadMapImages(state, slots);
//                      ShowAllData
//   zoom button i:     ZoomUpDownCmd(state, i, slots); ShowAllData
//   pan button i:      hide the position mark; MoveImgCmd(state, i, slots);
//                      ShowAllData; show the position mark
//   drag by (dx, dy):  as a pan button, with DragImgCmd(state, dx, dy, slots)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapview/picture_units.h"

namespace tessaro {
struct NavState;
}

namespace tessaro::mapview {

// Image slots for photographs.
constexpr int kPhotoSlots = 9;
// Highest scale level reachable with the zoom buttons.
constexpr int kMaxZoomLevel = 44;
// A pan step [picture units].
constexpr double kPanStep = 100.0;

// The nine image slots of the picture area, implemented by the main window.
// Slot numbers are 0..kPhotoSlots-1.
class PictureSlots {
public:
    virtual ~PictureSlots() = default;
    // Loads the picture file into the slot. Returns false when the file cannot
    // be loaded; the slot then keeps the picture it had.
    virtual bool LoadPicture(int slot, const std::string& path) = 0;
    // Stacking: behind all other slots / in front of all other slots.
    virtual void SendToBack(int slot) = 0;
    virtual void BringToFront(int slot) = 0;
    // Position and size on the picture area [picture units; left, top edge,
    // y upwards] and visibility. Used by the photograph placement of the
    // overlay redraw, not by this module.
    virtual void SetPlacement(int slot, double left, double top, double width, double height) = 0;
    virtual void SetVisible(int slot, bool visible) = 0;
};

// Plane position [m] to picture position and back (the back conversion
// gives the centre when ViewScale is 0).
PicturePoint PlaneToPicture(const NavState& state, double easting, double northing);
void PictureToPlane(const NavState& state, double px, double py, double& easting, double& northing);

// When none of the first `count` points lies in the picture, the view centre
// moves to the middle of their extent (a log or a record file loaded far
// from the view). Returns whether it moved.
bool CentreViewOnPointsIfNoneInView(NavState& state, const std::vector<double>& eastings,
                                    const std::vector<float>& northings, int count);

// ViewScale = the units per metre of ScaleLevel in the scale table; does
// nothing for a level outside the table (0..50). Returns whether it applied.
bool ApplyScaleLevel(NavState& state);

// The photograph whose recomputed centre is nearest to the view centre
// (strictly nearer than 9999 m; the lower index on equal distances) becomes
// CurrentMapIndex, -1 when there is none. Returns 1 when CurrentMapIndex
// changed, else 0.
int SelectNearestMap(NavState& state);

// Compares the last fix (PosEasting, PosNorthing) with the reference point of
// the current photograph (its centre to 0.1 m, from IndexGrid; the previous
// reference when CurrentMapIndex has no row) and stores the two signs
// (-1 / +1, a difference of 0 counting +1) in QuadrantEW / QuadrantNS.
// Returns 1 when either sign differs from the stored one, else 0.
int CheckMapQuadrant(NavState& state);

// Chooses the photographs for the current view and loads them into the
// slots (slots may be null: choose only). Fills the working columns of
// state.Maps.MapIndexGrid and reorders it so that rows 0..ShownMapCount-1
// name the photographs of slots 0..ShownMapCount-1 (column 0). Rules:
//   on-screen width = ground width x ViewScale x 0.01 [hundreds of units];
//   a photograph qualifies when 1 < on-screen width < 50;
//   0 or 1 photographs: all shown, no size test, rows not reordered;
//   2..9: every qualifying photograph, smallest on-screen width first;
//   10 or more: the 9 qualifying photographs nearest to the view centre,
//     the easting difference weighted with MapAspect.
// Equal keys keep their current row order. Slot 0 is sent behind the others.
// Sets ShownMapCount.
void LoadMapImages(NavState& state, PictureSlots* slots);

// Picture file of photograph k: MapPicFolder + "/" + its file name; empty
// when k does not exist.
std::string MapPicturePath(const NavState& state, int k);

// Zoom buttons: index 0 one level in (at most kMaxZoomLevel), index 1 one
// level out (at least 0); then ViewScale follows. Other indexes do nothing.
void ZoomUpDown(NavState& state, int index);
// Pan buttons: the view centre moves by kPanStep picture units; index 0
// ("右へシフト") decreases the easting, 3 ("左へシフト") increases it, 1
// ("下へシフト") increases the northing, 2 ("上へシフト") decreases it.
// Nothing moves while ViewScale is 0 or for other indexes.
void MoveView(NavState& state, int index);

// Dragging the picture by (dx, dy) picture units (y up): the view centre
// moves the other way by dx / ViewScale and dy / ViewScale metres, so that
// the ground under the pointer follows it. Nothing moves while ViewScale is 0.
void DragView(NavState& state, double dx, double dy);
// The drag without the redraw: DragView, SelectNearestMap, CheckMapQuadrant,
// LoadMapImages (the sequence of a pan button).
void DragImgCmd(NavState& state, double dx, double dy, PictureSlots* slots);

// The scale of each level one zoom step away (within 0..kMaxZoomLevel)
// relative to ViewScale; empty while ViewScale is 0.
std::vector<double> ZoomStepFactors(const NavState& state);

// Button handlers without the redraw: ZoomUpDown then LoadMapImages;
// MoveView, SelectNearestMap, CheckMapQuadrant, LoadMapImages.
void ZoomUpDownCmd(NavState& state, int index, PictureSlots* slots);
void MoveImgCmd(NavState& state, int index, PictureSlots* slots);

// First activation of the main window: CurrentMapIndex = -1,
// SelectNearestMap, CheckMapQuadrant, LoadMapImages. Returns the result of
// CheckMapQuadrant.
int FirstActivation(NavState& state, PictureSlots* slots);

}  // namespace tessaro::mapview
