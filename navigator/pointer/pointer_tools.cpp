#include "pointer/pointer_tools.h"

#include <cmath>
#include <cstdio>

#include "geodesy/plane_coords.h"
#include "mapview/map_view.h"
#include "overlays/overlay_drawing.h"
#include "shell/values.h"

namespace tessaro::pointer {

namespace {

// The typed latitude and longitude must lie this close to the zone origin
// [deg]; the longitude limit is the tighter one.
constexpr double kLatLimit = 2.0;
constexpr double kLonLimit = 1.2;
// A record point is hit closer than this [picture units].
constexpr double kHitDistance = 10.0;
// Half the marker's size [picture units].
constexpr double kMarkerHalf = 10.0;

// The visible picture: a marker outside it is brought into view.
bool OnPicture(PicturePoint p)
{
    return std::abs(p.x) < overlays::PictureArea::kWidth / 2 && std::abs(p.y) < overlays::PictureArea::kHeight / 2;
}

}  // namespace

PicturePoint PhotoOffsetToPicture(double left, double top, double offsetXTwips, double offsetYTwips)
{
    return {left + RoundHalfEven(offsetXTwips / kTwipsPerUnit), top - RoundHalfEven(offsetYTwips / kTwipsPerUnit)};
}

PicturePoint PointerPosition(double x, double y, const overlays::PictureItem* photo)
{
    // The pointer goes to its whole picture unit first (a pixel at the
    // default size), halves to even. Over a photograph its offset is counted
    // in twips from the photograph's corner on the same whole-unit grid and
    // turned back by the twips rule, so both paths give the same position
    // wherever the photograph lies.
    const double px = RoundHalfEven(x);
    const double py = RoundHalfEven(y);
    const double left = photo ? RoundHalfEven(photo->left) : overlays::PictureArea::kLeft;
    const double top = photo ? RoundHalfEven(photo->top) : overlays::PictureArea::kTop;
    return PhotoOffsetToPicture(left, top, (px - left) * kTwipsPerUnit, (top - py) * kTwipsPerUnit);
}

DmsTexts ToDmsTexts(double value)
{
    double degrees = std::floor(value);
    const double m = (value - degrees) * 60.0;
    double minutes = std::floor(m);
    std::string seconds = FormatFixed((m - minutes) * 60.0, 2);
    // 59.996 seconds would show as 60.00: the boxes carry instead.
    if (seconds == "60.00") {
        seconds = "0.00";
        minutes += 1.0;
        if (minutes >= 60.0) {
            minutes = 0.0;
            degrees += 1.0;
        }
    }
    return {FormatFixed(degrees, 0), FormatFixed(minutes, 0), seconds};
}

double FromDmsTexts(const DmsTexts& t)
{
    return NumericValue(t.degrees) + NumericValue(t.minutes) / 60.0 + NumericValue(t.seconds) / 3600.0;
}

std::string PlainDecimal(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::optional<RecordPointHit> FindNearRecordPoint(const NavState& state, PicturePoint p)
{
    const int count = std::min<int>(state.RecordPointCount,
                                    static_cast<int>(std::min(state.RecordPointEasting.size(),
                                                              state.RecordPointNorthing.size())));
    for (int i = 0; i < count; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        const PicturePoint q = mapview::PlaneToPicture(state, state.RecordPointEasting[ui], state.RecordPointNorthing[ui]);
        if (std::hypot(p.x - q.x, p.y - q.y) < kHitDistance) return RecordPointHit{i, q};
    }
    return std::nullopt;
}

PointerTools::PointerTools(NavState& state, overlays::PictureArea& picture, PointerWindow& window)
    : state_(state), picture_(picture), window_(window)
{
}

bool PointerTools::ScaleUsable() const
{
    // A level outside the scale table leaves a scale of 0: no distance and
    // no position can be taken from the picture then.
    return state_.ViewScale > 0.0f && std::isfinite(state_.ViewScale);
}

void PointerTools::MeasuringPressed(bool pressed)
{
    NavState& s = state_;
    if (pressed) {
        window_.UseMeasuringPointer(true);
        s.PointerMode = 2;
        s.MeasureTotal = 0.0f;
        s.MeasureCount = 0;
        return;
    }
    window_.UseMeasuringPointer(false);
    s.PointerMode = -1;
    window_.SetMeasureText("0");
    s.MeasureCount = 0;
    window_.RedrawAll();
}

void PointerTools::CoordDisplayPressed(bool pressed)
{
    NavState& s = state_;
    s.CoordInputOn = pressed;
    if (pressed) {
        s.PointerMode = 3;
    } else {
        picture_.PointImg.visible = false;
        marker_.reset();
        picture_.Changed();
        s.PointerMode = 0;
    }
    window_.SetPositionButtonsEnabled(pressed);
}

void PointerTools::LeftPressed(PicturePoint p)
{
    NavState& s = state_;
    if (s.PointerMode == 2 && ScaleUsable()) {
        const int capacity = static_cast<int>(std::min(s.MeasureEasting.size(), s.MeasureNorthing.size()));
        if (s.MeasureCount >= capacity) {
            // The line on the picture and the total stay what they are.
            window_.Message(kMeasureFullMessage);
            return;
        }
        picture_.Circle(p.x, p.y, overlays::kDotRadius, overlays::colours::kMeasure);
        if (s.MeasureCount > 0) {
            picture_.Line(p.x, p.y, s.MeasureLastX, s.MeasureLastY, overlays::colours::kMeasure);
            const double dx = p.x - s.MeasureLastX;
            const double dy = p.y - static_cast<double>(s.MeasureLastY);
            s.MeasureTotal += static_cast<float>(std::sqrt(dx * dx + dy * dy) / static_cast<double>(s.ViewScale));
            window_.SetMeasureText(FormatFixed(s.MeasureTotal, 1));
        }
        double e = 0.0, n = 0.0;
        mapview::PictureToPlane(s, p.x, p.y, e, n);
        const auto ui = static_cast<std::size_t>(s.MeasureCount);
        s.MeasureEasting[ui] = static_cast<float>(e);
        s.MeasureNorthing[ui] = static_cast<float>(n);
        ++s.MeasureCount;
    }
    s.MeasureLastX = p.x;
    s.MeasureLastY = static_cast<float>(p.y);
    // A left click on the picture puts the info label away.
    if (picture_.TimeHdLbl.visible) {
        picture_.TimeHdLbl.visible = false;
        picture_.Changed();
    }
    label_.reset();
}

void PointerTools::RightPressed(PicturePoint p)
{
    if (!state_.ShowRecordPoints) return;
    if (const auto hit = FindNearRecordPoint(state_, p)) {
        const auto ui = static_cast<std::size_t>(hit->index);
        picture_.TimeHdLbl.left = hit->at.x;
        picture_.TimeHdLbl.top = hit->at.y;
        picture_.TimeHdCaption = ui < state_.RecordPointInfo.size() ? state_.RecordPointInfo[ui] : std::string();
        picture_.TimeHdLbl.visible = true;
        picture_.BringToFront(picture_.TimeHdLbl);
        label_ = Plane{state_.RecordPointEasting[ui], state_.RecordPointNorthing[ui]};
    }
    window_.RedrawRecordOverlays();
}

void PointerTools::Moved(PicturePoint p)
{
    const NavState& s = state_;
    if (s.PointerMode != 3 || !ScaleUsable()) return;
    const double e = s.ViewCentreEasting + p.x / static_cast<double>(s.ViewScale);
    const double n = static_cast<double>(s.ViewCentreNorthing) + p.y / static_cast<double>(s.ViewScale);
    window_.SetCoordinateBoxes(FormatFixed(e, 1), FormatFixed(n, 1));
    const geodesy::LatLon ll = geodesy::PlaneToLatLon(e, n, s.Zone.ZoneOriginLat, s.Zone.ZoneOriginLon);
    window_.SetDegreeBoxes(ToDmsTexts(ll.lat), ToDmsTexts(ll.lon));
}

void PointerTools::ShowTypedCoordinates(std::string_view eastingText, std::string_view northingText)
{
    if (!state_.CoordInputOn) return;
    PlaceMarkerAt(NumericValue(eastingText), NumericValue(northingText));
}

void PointerTools::ShowTypedLatLon(const DmsTexts& latTexts, const DmsTexts& lonTexts)
{
    const NavState& s = state_;
    if (!s.CoordInputOn) return;
    const double lat = FromDmsTexts(latTexts);
    const double lon = FromDmsTexts(lonTexts);
    if (!(std::abs(lat - s.Zone.ZoneOriginLat) < kLatLimit && std::abs(lon - s.Zone.ZoneOriginLon) < kLonLimit))
        return;
    const geodesy::PlanePoint pp = geodesy::LatLonToPlane(lat, lon, s.Zone.ZoneOriginLat, s.Zone.ZoneOriginLon);
    PlaceMarkerAt(pp.easting, pp.northing);
}

void PointerTools::MarkPoint(double easting, double northing)
{
    window_.SetCoordinateBoxes(PlainDecimal(easting), PlainDecimal(northing));
    PlaceMarkerAt(easting, northing);
}

void PointerTools::PlaceMarkerAt(double easting, double northing)
{
    if (!ScaleUsable() || !std::isfinite(easting) || !std::isfinite(northing)) return;
    marker_ = Plane{easting, northing};
    if (!OnPicture(mapview::PlaneToPicture(state_, easting, northing))) {
        // Out of sight: the view moves to the point; its redraw places the
        // marker.
        window_.CentreViewOn(easting, northing);
    }
    PlaceMarkerItem();
    picture_.PointImg.visible = true;
    picture_.BringToFront(picture_.PointImg);
}

void PointerTools::PlaceMarkerItem()
{
    if (!marker_) return;
    const PicturePoint p = mapview::PlaneToPicture(state_, marker_->easting, marker_->northing);
    picture_.PointImg.left = p.x - kMarkerHalf;
    picture_.PointImg.top = p.y + kMarkerHalf;
}

void PointerTools::PlaceMarkers()
{
    if (marker_ && picture_.PointImg.visible) PlaceMarkerItem();
    if (label_ && picture_.TimeHdLbl.visible) {
        const PicturePoint p = mapview::PlaneToPicture(state_, label_->easting, label_->northing);
        picture_.TimeHdLbl.left = p.x;
        picture_.TimeHdLbl.top = p.y;
    }
    picture_.Changed();
}

void PointerTools::ForgetPlanePositions()
{
    NavState& s = state_;
    s.MeasureCount = 0;
    s.MeasureTotal = 0.0f;
    if (s.PointerMode == 2) window_.SetMeasureText("0");
    marker_.reset();
    label_.reset();
    picture_.PointImg.visible = false;
    picture_.TimeHdLbl.visible = false;
    picture_.Changed();
}

}  // namespace tessaro::pointer
