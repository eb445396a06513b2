// The full redraw of the picture area and its drawers: photograph placement,
// scale bar, north/east sign, the recent track, the trail dot after a fix,
// the reviewed record track, the GGA log track with its numbered marks and the
// measuring polyline.
//
// Every drawer reads the run state and appends to the picture area's display
// list or moves its items; a step that cannot be done (an index beyond a list,
// a level outside the scale table) is skipped and the next one runs.
#pragma once

#include <functional>
#include <string>

#include "mapview/map_index.h"
#include "mapview/map_view.h"
#include "overlays/picture_area.h"
#include "state/nav_state.h"

namespace tessaro::overlays {

// What photograph placement reads from the map index.
class PhotoFootprints {
public:
    virtual ~PhotoFootprints() = default;
    // Column 0 of row `row` of the selection table: the number of the map
    // shown in image slot `row`.
    virtual std::string ShownMapNumber(int row) const = 0;
    // The footprint edges of map `k` [m]; false when `k` is not in the index
    // arrays.
    virtual bool Footprint(int k, double& west, float& north, double& east, float& south) const = 0;
};

// The footprints of the loaded map index and its selection table.
class MapIndexFootprints : public PhotoFootprints {
public:
    explicit MapIndexFootprints(const mapview::MapIndex& index) : index_(index) {}
    std::string ShownMapNumber(int row) const override;
    bool Footprint(int k, double& west, float& north, double& east, float& south) const override;

private:
    const mapview::MapIndex& index_;
};

// Colours of the overlays.
namespace colours {
inline constexpr Rgb kTrack{0, 200, 255};
inline constexpr Rgb kTrailPoint{100, 200, 255};
inline constexpr Rgb kLoggedTrack{0, 208, 255};
inline constexpr Rgb kMeasure{255, 100, 100};
inline constexpr Rgb kBoxBackground{96, 96, 96};
inline constexpr Rgb kScaleBar{224, 255, 0};
inline constexpr Rgb kCompass{0, 255, 192};
inline constexpr Rgb kMarkNumber{255, 128, 255};
}  // namespace colours

inline constexpr double kDotRadius = 2.0;

struct OverlayContext {
    NavState& state;
    PictureArea& picture;
    const PhotoFootprints* photos = nullptr;  // none: no photograph is placed
    // The pauses of the redraws; WaitSeconds unless replaced.
    std::function<void(double)> wait;
};

// The picture position of a plane position in the current view.
using mapview::PicturePoint;
using mapview::PlaneToPicture;

void ShowAllData(OverlayContext& ctx);
void WaitShowAllData(OverlayContext& ctx);
void PlacePhotos(OverlayContext& ctx);
void DrawScaleBar(OverlayContext& ctx);
void DrawCompass(OverlayContext& ctx);
void DrawTrack(OverlayContext& ctx);
void DrawTrailPoint(OverlayContext& ctx, double px, double py);
void DrawRecordedTrack(OverlayContext& ctx);
void DrawLoggedTrack(OverlayContext& ctx);
void DrawMarks(OverlayContext& ctx);
void DrawMeasureLine(OverlayContext& ctx);
void RedrawRecordOverlays(OverlayContext& ctx);

}  // namespace tessaro::overlays
