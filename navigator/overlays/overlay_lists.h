// The overlays' part of the run state: the lists drawn over the photographs
// (a reviewed record file, a loaded GGA log, mark points, measuring points)
// and the state of the pointer tools that fill them.
//
// Each list keeps its full capacity; the count says how many entries are in
// use. Eastings are doubles, northings 32-bit floats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::overlays {

struct OverlayLists {
    static constexpr int kRecordPointCapacity = 10001;
    static constexpr int kGGAPointCapacity = 15001;
    static constexpr int kMKPointCapacity = 101;
    static constexpr int kMeasureCapacity = 501;

    // GGA log
    bool GGALogLoaded = false;
    bool GGALogShown = false;

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

}  // namespace tessaro::overlays
