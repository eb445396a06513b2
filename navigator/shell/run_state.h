// The navigator's run state: the flags, counters and values that several
// parts of the program read and write for the whole run. One object of this
// type stands for the module-wide and main-window variables; widget-free code
// takes it by reference so that tests can drive it without a window.
//
// Each subsystem owns its own section below; add fields to your section.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geodesy/plane_coords.h"
#include "mapview/map_index.h"
#include "shell/values.h"

namespace tessaro {

// Recent fixes, read by the overlays and the pointer tools.
struct TrackRing {
    static constexpr int kSlots = 601;      // index 0..600
    static constexpr int kMaxCount = 600;   // the count stops at 600, not 601
    std::array<float, kSlots> TrackEasting{};   // [m]
    std::array<float, kSlots> TrackNorthing{};  // [m]
    std::int16_t TrackIndex = 0;  // slot the next fix goes to
    std::int16_t TrackCount = 0;  // fixes stored, at most 600
};

struct NavState {
    // --- application shell ---
    std::string ProgramFolder;
    std::string MapPicFolder;
    bool FirstActivate = true;
    ScaleTable Scales = BuildScaleTable();

    // --- geodesy: the current zone ---
    geodesy::CurrentZone Zone;

    // --- GPS receiver settings ---
    std::int16_t GPSPortNo = 0;
    std::int16_t GPSSpeedIndex = 0;
    std::string GPSPortSettings;

    // --- view (photo-map view) ---
    int ScaleLevel = 16;
    float ViewScale = 0.0f;            // picture units per metre
    double ViewCentreEasting = 0.0;    // [m]
    float ViewCentreNorthing = 0.0f;   // [m]
    // Follow box [picture units]: 80 from the left/right edges, 70 from the
    // top/bottom edges of the 788 x 678 picture area.
    float ViewBoundLeft = -314.0f;
    float ViewBoundRight = 314.0f;
    float ViewBoundTop = 269.0f;
    float ViewBoundBottom = -269.0f;
    int CurrentMapIndex = -1;
    int ShownMapCount = 0;
    // Quadrant test: the side of the current photograph's reference point on
    // which the last fix lay (-1 / +1, 0 before the first test), and that
    // reference point [m], kept for a current photograph without a row.
    std::int16_t QuadrantEW = 0;
    std::int16_t QuadrantNS = 0;
    double QuadrantRefEasting = 0.0;
    double QuadrantRefNorthing = 0.0;
    // The loaded map library (index, footprints, MapAspect).
    mapview::MapIndex Maps;

    // --- GPS input: the last fix and the trail ---
    bool GPSRunning = false;
    std::string GPSTimeText;
    double PosEasting = 0.0;    // [m]
    float PosNorthing = 0.0f;   // [m]
    TrackRing Track;

    // --- track recording ---
    bool RecordingOn = false;
    std::int16_t RecordInterval = 1;  // fixes per record line
    std::int16_t pRecordSTS = 0;
    std::int16_t pRecordCount = 0;    // fixes since the last record line
    std::int16_t RecordBlink = 0;     // blink phase of the recording indicator

    // --- GGA log ---
    bool GGALogLoaded = false;
    bool GGALogShown = false;

    // --- overlays: lists drawn over the photographs and the pointer tools ---
    // Each list keeps its full capacity; the count says how many entries are
    // in use. Eastings are doubles, northings 32-bit floats.
    static constexpr int kRecordPointCapacity = 10001;
    static constexpr int kGGAPointCapacity = 15001;
    static constexpr int kMKPointCapacity = 101;
    static constexpr int kMeasureCapacity = 501;
    bool ShowRecordPoints = false;  // reviewed record file drawn
    std::vector<double> RecordPointEasting = std::vector<double>(kRecordPointCapacity);
    std::vector<float> RecordPointNorthing = std::vector<float>(kRecordPointCapacity);
    std::vector<std::string> RecordPointInfo = std::vector<std::string>(kRecordPointCapacity);
    int RecordPointCount = 0;
    std::vector<double> GGAPointEasting = std::vector<double>(kGGAPointCapacity);
    std::vector<float> GGAPointNorthing = std::vector<float>(kGGAPointCapacity);
    int GGAPointCount = 0;
    std::vector<std::int16_t> MKPointNo = std::vector<std::int16_t>(kMKPointCapacity);
    std::vector<std::string> MKPointTime = std::vector<std::string>(kMKPointCapacity);
    std::vector<float> MKPointEasting = std::vector<float>(kMKPointCapacity);
    std::vector<float> MKPointNorthing = std::vector<float>(kMKPointCapacity);
    int MKPointCount = 0;
    std::vector<float> MeasureEasting = std::vector<float>(kMeasureCapacity);
    std::vector<float> MeasureNorthing = std::vector<float>(kMeasureCapacity);
    int MeasureCount = 0;
    float MeasureTotal = 0.0f;  // [m]
    double MeasureLastX = 0.0;  // picture units of the last measuring point
    float MeasureLastY = 0.0f;
    std::int16_t PointerMode = 0;  // 2 measuring, 3 coordinate display, else none
    bool CoordInputOn = false;
};

}  // namespace tessaro
