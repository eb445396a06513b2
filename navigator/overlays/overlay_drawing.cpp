#include "overlays/overlay_drawing.h"

#include <algorithm>
#include <cmath>

#include "shell/values.h"
#include "shell/wait.h"

namespace tessaro::overlays {

namespace {

void Pause(OverlayContext& ctx, double seconds)
{
    if (ctx.wait)
        ctx.wait(seconds);
    else
        WaitSeconds(seconds);
}

bool InsideWindow(const PicturePoint& p, double half)
{
    return p.x > -half && p.x < half && p.y > -half && p.y < half;
}

// Shared by the recorded track and the GGA log track: dots for the points
// inside the +-500 window, lines only between neighbours that are both inside.
template <typename EastVec, typename NorthVec>
void DrawWindowedPolyline(OverlayContext& ctx, const EastVec& east, const NorthVec& north, int count)
{
    const NavState& s = ctx.state;
    const int n = std::min<int>(count, static_cast<int>(std::min(east.size(), north.size())));
    bool connected = false;
    PicturePoint prev;
    for (int i = 0; i < n; ++i) {
        const PicturePoint p = PlaneToPicture(s, east[i], north[i]);
        if (InsideWindow(p, 500.0)) {
            ctx.picture.Circle(p.x, p.y, kDotRadius, colours::kLoggedTrack);
            if (connected) ctx.picture.Line(prev.x, prev.y, p.x, p.y, colours::kLoggedTrack);
            connected = true;
        } else {
            connected = false;
        }
        prev = p;
    }
}

}  // namespace

std::string MapIndexFootprints::ShownMapNumber(int row) const
{
    if (row < 0 || row >= static_cast<int>(index_.MapIndexGrid.size())) return {};
    return index_.MapIndexGrid[static_cast<std::size_t>(row)].Index;
}

bool MapIndexFootprints::Footprint(int k, double& west, float& north, double& east, float& south) const
{
    mapview::Footprint f;
    if (!index_.footprint(k, f)) return false;
    west = f.west;
    north = f.north;
    east = f.east;
    south = f.south;
    return true;
}

void ShowAllData(OverlayContext& ctx)
{
    NavState& s = ctx.state;
    // Levels 45..50 exist in the table with a zero scale; beyond it nothing
    // changes.
    if (s.ScaleLevel >= 0 && s.ScaleLevel < kScaleTableSize)
        s.ViewScale = s.Scales[static_cast<std::size_t>(s.ScaleLevel)].unitsPerMetre;
    PlacePhotos(ctx);
    Pause(ctx, 0.1);
    ctx.picture.ClearDrawing();
    DrawScaleBar(ctx);
    DrawCompass(ctx);
    DrawTrack(ctx);
    if (s.ShowRecordPoints) DrawRecordedTrack(ctx);
    if (s.GGALogShown) {
        DrawLoggedTrack(ctx);
        DrawMarks(ctx);
    }
    if (s.MeasureCount >= 1) DrawMeasureLine(ctx);
}

void WaitShowAllData(OverlayContext& ctx)
{
    Pause(ctx, 1.0);
    ShowAllData(ctx);
}

void PlacePhotos(OverlayContext& ctx)
{
    NavState& s = ctx.state;
    PictureArea& pic = ctx.picture;
    pic.ClearDrawing();
    for (auto& slot : pic.PhotoImg) slot.visible = false;

    int best = -1;
    double smallestHeight = 9999.0;
    const int rows = std::min(s.ShownMapCount, PictureArea::kPhotoSlots);
    for (int i = 0; i < rows && ctx.photos; ++i) {
        // A map number the index does not hold leaves the row unplaced.
        const double number = RoundHalfEven(NumericValue(ctx.photos->ShownMapNumber(i)));
        if (!(number >= 0.0 && number <= 1.0e9)) continue;
        double west = 0, east = 0;
        float north = 0, south = 0;
        if (!ctx.photos->Footprint(static_cast<int>(number), west, north, east, south)) continue;
        const PicturePoint nw = PlaneToPicture(s, west, north);
        const PicturePoint se = PlaneToPicture(s, east, south);
        if (!(nw.x > -4000.0 && se.x < 4000.0 && se.y > -4000.0 && nw.y < 4000.0)) continue;
        PictureItem& slot = pic.PhotoImg[static_cast<std::size_t>(i)];
        slot.left = nw.x;
        slot.top = nw.y;
        slot.width = std::fabs(se.x - nw.x);
        slot.height = std::fabs(se.y - nw.y);
        if (slot.height < smallestHeight) {
            smallestHeight = slot.height;
            best = i;
        }
    }
    // The most detailed photograph (smallest on screen) lies on top.
    if (best > -1) pic.BringToFront(pic.PhotoImg[static_cast<std::size_t>(best)]);
    // Rows that were not placed keep their previous position and size.
    const int shown = std::clamp(s.ShownMapCount, 0, PictureArea::kPhotoSlots);
    for (int i = 0; i < shown; ++i) pic.PhotoImg[static_cast<std::size_t>(i)].visible = true;
    pic.Changed();
}

void DrawScaleBar(OverlayContext& ctx)
{
    const NavState& s = ctx.state;
    PictureArea& pic = ctx.picture;
    const double x0 = s.ViewBoundLeft - 60.0;
    const double y0 = s.ViewBoundBottom - 50.0;
    double length = 0.0;
    std::string label;
    if (s.ScaleLevel >= 0 && s.ScaleLevel < kScaleTableSize) {
        const ScaleLevelEntry& row = s.Scales[static_cast<std::size_t>(s.ScaleLevel)];
        length = static_cast<double>(row.barMetres) * s.ViewScale;
        label = row.label;
    }
    pic.FilledBox(x0 - 10.0, y0 + 22.0, x0 + length + 10.0, y0 - 10.0, colours::kBoxBackground);
    pic.Line(x0, y0, x0 + length, y0, colours::kScaleBar);
    for (int k = 0; k <= 5; ++k) {
        const double x = x0 + 0.2 * length * k;
        pic.Line(x, y0, x, y0 + 7.0, colours::kScaleBar);
    }
    pic.FontSize = 12;
    pic.FontBold = true;
    pic.CurrentX = x0 + 60.0;
    pic.CurrentY = y0 + 20.0;
    pic.ForeColor = colours::kScaleBar;
    pic.Print(label);
}

void DrawCompass(OverlayContext& ctx)
{
    PictureArea& pic = ctx.picture;
    const Rgb c = colours::kCompass;
    pic.FilledBox(-403, 320, -357, 195, colours::kBoxBackground);
    pic.Line(-400, 250, -360, 250, c);
    pic.Line(-380, 300, -380, 200, c);
    pic.Line(-385, 280, -380, 300, c);
    pic.Line(-375, 280, -380, 300, c);
    pic.FontBold = true;
    pic.CurrentX = -385;
    pic.CurrentY = 317;
    pic.ForeColor = c;
    pic.Print("N");
    pic.Line(-365, 255, -360, 250, c);
    pic.Line(-365, 245, -360, 250, c);
    pic.CurrentX = -370;
    pic.CurrentY = 245;
    pic.ForeColor = c;
    pic.Print("E");
}

void DrawTrack(OverlayContext& ctx)
{
    const NavState& s = ctx.state;
    const TrackRing& t = s.Track;
    // The TrackCount newest fixes, from the slot before TrackIndex back
    // around the ring. A slot outside them holds no fix of this run (never
    // written: the zone origin; or an earlier run's, before "クリア" or a
    // restart), so it is not drawn.
    const int count = std::clamp<int>(t.TrackCount, 0, TrackRing::kMaxCount);
    int slot = t.TrackIndex;
    for (int n = 0; n < count; ++n) {
        slot = slot > 0 ? slot - 1 : TrackRing::kSlots - 1;
        if (slot >= TrackRing::kSlots) continue;  // an index beyond the ring
        const PicturePoint p = PlaneToPicture(s, t.TrackEasting[static_cast<std::size_t>(slot)],
                                         t.TrackNorthing[static_cast<std::size_t>(slot)]);
        ctx.picture.Circle(p.x, p.y, kDotRadius, colours::kTrack);
    }
}

void DrawTrailPoint(OverlayContext& ctx, double px, double py)
{
    const NavState& s = ctx.state;
    const TrackRing& t = s.Track;
    bool found = false;
    PicturePoint q;
    auto search = [&](int from, int downTo) {
        for (int i = from; i >= downTo && !found; --i) {
            if (i < 0 || i >= TrackRing::kSlots) continue;
            const PicturePoint p = PlaneToPicture(s, t.TrackEasting[static_cast<std::size_t>(i)],
                                             t.TrackNorthing[static_cast<std::size_t>(i)]);
            if (std::hypot(px - p.x, py - p.y) > 10.0) {
                q = p;
                found = true;
            }
        }
    };
    search(t.TrackIndex - 1, 0);
    // After the ring has wrapped the older fixes lie in the upper slots.
    if (!found && t.TrackCount == TrackRing::kMaxCount) search(TrackRing::kSlots - 1, t.TrackIndex);
    if (found && InsideWindow(q, 500.0)) ctx.picture.Circle(q.x, q.y, kDotRadius, colours::kTrailPoint);
}

void DrawRecordedTrack(OverlayContext& ctx)
{
    const NavState& s = ctx.state;
    DrawWindowedPolyline(ctx, s.RecordPointEasting, s.RecordPointNorthing, s.RecordPointCount);
}

void DrawLoggedTrack(OverlayContext& ctx)
{
    const NavState& s = ctx.state;
    DrawWindowedPolyline(ctx, s.GGAPointEasting, s.GGAPointNorthing, s.GGAPointCount);
}

void DrawMarks(OverlayContext& ctx)
{
    const NavState& s = ctx.state;
    PictureArea& pic = ctx.picture;
    if (s.MKPointCount <= 0) return;
    pic.FontBold = true;
    pic.ForeColor = colours::kMarkNumber;
    pic.FontSize = 14;
    const int n = std::min<int>(s.MKPointCount, static_cast<int>(s.MKPointNo.size()));
    for (int i = 0; i < n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        if (ui < s.MKPointPlaced.size() && !s.MKPointPlaced[ui]) continue;  // no place to draw it at
        const PicturePoint p = PlaneToPicture(s, s.MKPointEasting[ui], s.MKPointNorthing[ui]);
        // Only the first 64 marks have an icon; the others show their number.
        if (i < PictureArea::kMarkIcons) {
            PictureItem& icon = pic.MarkPointImg[ui];
            icon.left = p.x - 8.0;
            icon.top = p.y + 8.0;
            pic.BringToFront(icon);
            icon.visible = true;
        }
        pic.CurrentX = p.x + 13.0;
        pic.CurrentY = p.y - 8.0;
        pic.Print(PrintInteger(s.MKPointNo[ui]));
    }
}

void DrawMeasureLine(OverlayContext& ctx)
{
    NavState& s = ctx.state;
    PictureArea& pic = ctx.picture;
    const int capacity = static_cast<int>(std::min(s.MeasureEasting.size(), s.MeasureNorthing.size()));
    if (s.MeasureCount < 1) return;
    PicturePoint last;
    if (s.MeasureCount == 1) {
        last = PlaneToPicture(s, s.MeasureEasting[0], s.MeasureNorthing[0]);
        pic.Circle(last.x, last.y, kDotRadius, colours::kMeasure);
    } else {
        PicturePoint prev;
        for (int i = 0; i < s.MeasureCount; ++i) {
            // The polyline stops at the end of the list.
            if (i >= capacity) return;
            const auto ui = static_cast<std::size_t>(i);
            const PicturePoint p = PlaneToPicture(s, s.MeasureEasting[ui], s.MeasureNorthing[ui]);
            if (i > 0) pic.Line(p.x, p.y, prev.x, prev.y, colours::kMeasure);
            pic.Circle(p.x, p.y, kDotRadius, colours::kMeasure);
            prev = p;
        }
        last = prev;
    }
    s.MeasureLastX = last.x;
    s.MeasureLastY = static_cast<float>(last.y);
}

void RedrawRecordOverlays(OverlayContext& ctx)
{
    if (ctx.state.ShowRecordPoints) DrawRecordedTrack(ctx);
}

}  // namespace tessaro::overlays
