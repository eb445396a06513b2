#include "mapview/map_view.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "mapview/fixed2.h"
#include "mapview/map_loader.h"
#include "state/nav_state.h"

namespace tessaro::mapview {

namespace {

// Farthest a photograph centre may lie from the view centre to be current [m].
constexpr double kNearestLimit = 9999.0;
// Distance column of a photograph that fails the size test.
constexpr double kFarDistance = 9999999.0;
constexpr const char* kFarDistanceText = "9999999";
// Size test on the on-screen width [hundreds of picture units].
constexpr double kMinScreenWidth = 1.0;
constexpr double kMaxScreenWidth = 50.0;

bool Qualifies(const MapIndexRow& row)
{
    return row.screenWidthKey > kMinScreenWidth && row.screenWidthKey < kMaxScreenWidth;
}

// Reorders the first source.size() rows so that row j receives the row that
// was at source[j] (a permutation), moving every row once.
void Permute(std::vector<MapIndexRow>& rows, const std::vector<int>& source)
{
    std::vector<bool> placed(source.size(), false);
    for (std::size_t start = 0; start < source.size(); ++start) {
        if (placed[start]) continue;
        MapIndexRow held = std::move(rows[start]);
        std::size_t at = start;
        for (;;) {
            placed[at] = true;
            const auto from = static_cast<std::size_t>(source[at]);
            if (from == start) {
                rows[at] = std::move(held);
                break;
            }
            rows[at] = std::move(rows[from]);
            at = from;
        }
    }
}

}  // namespace

PicturePoint PlaneToPicture(const NavState& state, double easting, double northing)
{
    return PlaneToPicture(easting, northing, state.ViewCentreEasting, state.ViewCentreNorthing, state.ViewScale);
}

void PictureToPlane(const NavState& state, double px, double py, double& easting, double& northing)
{
    easting = state.ViewCentreEasting;
    northing = state.ViewCentreNorthing;
    if (state.ViewScale == 0.0f) return;
    easting += px / state.ViewScale;
    northing += py / state.ViewScale;
}

bool ApplyScaleLevel(NavState& state)
{
    if (state.ScaleLevel < 0 || state.ScaleLevel >= kScaleTableSize) return false;
    state.ViewScale = state.Scales[static_cast<std::size_t>(state.ScaleLevel)].unitsPerMetre;
    return true;
}

int SelectNearestMap(NavState& state)
{
    const MapIndex& maps = state.Maps;
    const auto count = std::min<std::size_t>(
        {static_cast<std::size_t>(std::max(maps.MapCount, 0)), maps.MapCentreEasting.size(),
         maps.MapCentreNorthing.size()});
    double best = kNearestLimit;
    int candidate = -1;
    for (std::size_t i = 0; i < count; ++i) {
        const double de = maps.MapCentreEasting[i] - state.ViewCentreEasting;
        const double dn = static_cast<double>(maps.MapCentreNorthing[i]) - state.ViewCentreNorthing;
        const double d = std::sqrt(de * de + dn * dn);
        if (d < best) {
            best = d;
            candidate = static_cast<int>(i);
        }
    }
    if (candidate == state.CurrentMapIndex) return 0;
    state.CurrentMapIndex = candidate;
    return 1;
}

int CheckMapQuadrant(NavState& state)
{
    // IndexGrid row i holds photograph i; a current photograph without a row
    // (none, or beyond the table) keeps the previous reference point.
    const auto& grid = state.Maps.IndexGrid;
    const int current = state.CurrentMapIndex;
    if (current >= 0 && static_cast<std::size_t>(current) < grid.size() &&
        grid[static_cast<std::size_t>(current)].Index == std::to_string(current)) {
        state.QuadrantRefEasting = grid[static_cast<std::size_t>(current)].easting;
        state.QuadrantRefNorthing = grid[static_cast<std::size_t>(current)].northing;
    }
    const std::int16_t ew = state.PosEasting - state.QuadrantRefEasting >= 0.0 ? 1 : -1;
    const std::int16_t ns = static_cast<double>(state.PosNorthing) - state.QuadrantRefNorthing >= 0.0 ? 1 : -1;
    const int changed = (ew != state.QuadrantEW || ns != state.QuadrantNS) ? 1 : 0;
    state.QuadrantEW = ew;
    state.QuadrantNS = ns;
    return changed;
}

void LoadMapImages(NavState& state, PictureSlots* slots)
{
    MapIndex& maps = state.Maps;
    auto& grid = maps.MapIndexGrid;
    const int count = std::max(0, std::min(maps.MapCount, static_cast<int>(grid.size())));
    const auto rows = grid.begin() + count;

    // On-screen width of every photograph [hundreds of picture units].
    const double scale = static_cast<double>(state.ViewScale) * 0.01;
    for (auto it = grid.begin(); it != rows; ++it)
        it->screenWidthKey = RoundFixed2(it->widthMetres * scale, it->ScreenWidth);

    int shown = count;
    if (count >= 2) {
        // Distance of every qualifying photograph from the view centre; with
        // ten or more photographs the easting difference is weighted with
        // the aspect of the photographs.
        const double weight = count >= 10 ? static_cast<double>(maps.MapAspect) : 1.0;
        for (auto it = grid.begin(); it != rows; ++it) {
            if (Qualifies(*it)) {
                const double de = (it->centreX - state.ViewCentreEasting) * weight;
                const double dn = it->centreY - state.ViewCentreNorthing;
                it->distanceKey = RoundFixed2(std::sqrt(de * de + dn * dn), it->Distance);
            } else {
                it->Distance = kFarDistanceText;
                it->distanceKey = kFarDistance;
            }
        }
        // Qualifying rows to the top, ordered by on-screen width (up to nine
        // photographs) or by distance (ten or more); equal keys and the rows
        // below keep their order.
        const bool byDistance = count >= 10;
        std::vector<std::pair<double, int>> order;
        std::vector<int> below;
        order.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const MapIndexRow& row = grid[static_cast<std::size_t>(i)];
            if (Qualifies(row)) {
                order.emplace_back(byDistance ? row.distanceKey : row.screenWidthKey, i);
            } else {
                below.push_back(i);
            }
        }
        std::sort(order.begin(), order.end());
        std::vector<int> source;
        source.reserve(static_cast<std::size_t>(count));
        for (const auto& entry : order) source.push_back(entry.second);
        source.insert(source.end(), below.begin(), below.end());
        Permute(grid, source);
        shown = static_cast<int>(order.size());
    }
    shown = std::min(shown, kPhotoSlots);

    if (slots != nullptr) {
        for (int i = 0; i < shown; ++i) {
            const std::string path = MapPicturePath(state, grid[static_cast<std::size_t>(i)].photo);
            if (!path.empty()) slots->LoadPicture(i, path);
        }
        slots->SendToBack(0);
    }
    state.ShownMapCount = shown;
}

std::string MapPicturePath(const NavState& state, int k)
{
    const std::string& name = state.Maps.fileName(k);
    if (name.empty()) return {};
    return JoinPath(state.MapPicFolder, name);
}

void ZoomUpDown(NavState& state, int index)
{
    if (index == 0) {
        state.ScaleLevel = std::min(state.ScaleLevel + 1, kMaxZoomLevel);
    } else if (index == 1) {
        state.ScaleLevel = std::max(state.ScaleLevel - 1, 0);
    } else {
        return;
    }
    ApplyScaleLevel(state);
}

void MoveView(NavState& state, int index)
{
    if (state.ViewScale == 0.0f || !std::isfinite(state.ViewScale)) return;
    const double step = kPanStep / state.ViewScale;  // [m]
    switch (index) {
    case 0: state.ViewCentreEasting -= step; break;  // "右へシフト"
    case 3: state.ViewCentreEasting += step; break;  // "左へシフト"
    case 1: state.ViewCentreNorthing = static_cast<float>(state.ViewCentreNorthing + step); break;  // "下へシフト"
    case 2: state.ViewCentreNorthing = static_cast<float>(state.ViewCentreNorthing - step); break;  // "上へシフト"
    default: break;
    }
}

void DragView(NavState& state, double dx, double dy)
{
    if (state.ViewScale == 0.0f || !std::isfinite(state.ViewScale) || !std::isfinite(dx) || !std::isfinite(dy))
        return;
    state.ViewCentreEasting -= dx / state.ViewScale;
    state.ViewCentreNorthing = static_cast<float>(state.ViewCentreNorthing - dy / state.ViewScale);
}

void DragImgCmd(NavState& state, double dx, double dy, PictureSlots* slots)
{
    DragView(state, dx, dy);
    SelectNearestMap(state);
    CheckMapQuadrant(state);
    LoadMapImages(state, slots);
}

std::vector<double> ZoomStepFactors(const NavState& state)
{
    std::vector<double> out;
    if (state.ViewScale == 0.0f || !std::isfinite(state.ViewScale)) return out;
    for (int level : {state.ScaleLevel + 1, state.ScaleLevel - 1}) {
        if (level < 0 || level > kMaxZoomLevel) continue;
        const double units = state.Scales[static_cast<std::size_t>(level)].unitsPerMetre;
        if (units > 0.0) out.push_back(units / state.ViewScale);
    }
    return out;
}

void ZoomUpDownCmd(NavState& state, int index, PictureSlots* slots)
{
    ZoomUpDown(state, index);
    LoadMapImages(state, slots);
}

void MoveImgCmd(NavState& state, int index, PictureSlots* slots)
{
    MoveView(state, index);
    SelectNearestMap(state);
    CheckMapQuadrant(state);
    LoadMapImages(state, slots);
}

int FirstActivation(NavState& state, PictureSlots* slots)
{
    state.CurrentMapIndex = -1;
    SelectNearestMap(state);
    const int result = CheckMapQuadrant(state);
    LoadMapImages(state, slots);
    return result;
}

}  // namespace tessaro::mapview
