// The navigator's run state: the flags, counters and values that several
// parts of the program read and write for the whole run. One object of this
// type stands for the module-wide and main-window variables; widget-free code
// takes it by reference so that tests can drive it without a window.
//
// It is put together from the sections the subsystems own; a field belongs
// in its subsystem's section header, never here. The section headers hold
// plain data and include nothing of the program but their own types, so any
// layer may include this one without depending on the layers above it.
#pragma once

#include "geodesy/plane_coords.h"
#include "gps/gps_state.h"
#include "mapview/view_state.h"
#include "overlays/overlay_lists.h"
#include "recording/recording_state.h"
#include "shell/shell_state.h"

namespace tessaro {

struct NavState : ShellState,
                  mapview::ViewState,
                  gps::GpsState,
                  recording::RecordingState,
                  overlays::OverlayLists {
    geodesy::CurrentZone Zone;  // the zone every conversion uses
};

}  // namespace tessaro
