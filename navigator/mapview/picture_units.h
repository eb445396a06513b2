// Picture units: the picture area is 788 x 678 units, origin at its centre,
// x to the right, y upwards. A plane position (easting E, northing N) [m]
// lies at px = (E - ViewCentreEasting) x ViewScale,
//          py = (N - ViewCentreNorthing) x ViewScale.
// This is the one place that says so; the view, the overlays, the decoder and
// the picture widget use it.
#pragma once

namespace tessaro::mapview {

// Picture area size [picture units].
inline constexpr double kPictureWidth = 788.0;
inline constexpr double kPictureHeight = 678.0;

struct PicturePoint {
    double x = 0.0;  // [picture units]
    double y = 0.0;
};

// A plane position [m] seen from a view centre [m] at `unitsPerMetre`.
inline PicturePoint PlaneToPicture(double easting, double northing, double centreEasting, double centreNorthing,
                                   double unitsPerMetre)
{
    return {(easting - centreEasting) * unitsPerMetre, (northing - centreNorthing) * unitsPerMetre};
}

}  // namespace tessaro::mapview
