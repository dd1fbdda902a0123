// SVG pictures of a measured offset over time: windows as dots shaded by confidence,
// the fitted curve, and the markers as vertical lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project/marker.h"
#include "sync/sync_types.h"

namespace tessaly::autosync {

struct TPlotCurvePoint {
    double Time = 0;     // seconds
    double OffsetMs = 0;
};

enum TPlotSpanKind : uint8_t {
    psFilledIn,    // the double track stands in for the primary
    psUnmatched,   // sound that matches nothing
    psWrong,       // sound, but other than the recording at the lag around it
};

struct TPlotSpan {
    double From = 0, To = 0;   // seconds
    TPlotSpanKind Kind = psUnmatched;
};

struct TPlotData {
    std::string Title;
    std::vector<sync::TSyncWindow> Windows;          // Offset in seconds
    std::vector<std::vector<TPlotCurvePoint>> Curves;   // one polyline each
    std::vector<std::pair<double, std::string>> Marks;  // time, label
    double Seconds = 0;                               // length of the time axis
    double BandLowMs = 0, BandHighMs = 0;             // shaded band (both 0: none)
    std::vector<TPlotSpan> Spans;                     // shaded stretches of the time axis
};

// The SVG text of the plot.
std::string PlotSvg(const TPlotData &data);

} // namespace tessaly::autosync
