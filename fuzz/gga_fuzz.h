// The GGA decoder as the fuzz targets drive it: one run state in zone 9 and
// the decoder's four interfaces doing nothing, made once per process.
#pragma once

#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"
#include "state/nav_state.h"

#include <memory>

namespace tessaro::fuzz {

struct GgaRig {
    std::unique_ptr<NavState> state = [] {
        geodesy::InitEllipsoid();
        return std::make_unique<NavState>();
    }();
    gps::GpsWindow window;
    gps::MapSelection maps;
    gps::OverlayDrawing drawing;
    gps::RecordLineSink record;
    gps::GgaDecoder decoder{*state, window, maps, drawing, record};

    // The rig, back in zone 9 (an input may have switched it).
    static GgaRig& Get()
    {
        static GgaRig rig;
        geodesy::SetCurrentZone(9, rig.state->Zone);
        return rig;
    }
};

}  // namespace tessaro::fuzz
