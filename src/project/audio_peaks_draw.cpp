// The audio strip's picture onto the drawing canvas.
#include "project/audio_peaks_draw.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// `ready` (optional): columns marked 0 are drawn in the colour of a waveform still being
// computed.
void DrawLane(TCurveCanvas &canvas, const std::vector<TPeakColumn> &lane, int width, int top, int height,
              TRgb colour, const std::vector<uint8_t> *ready = nullptr)
{
    if (height < 1)
        return;
    const double mid = top + height / 2.0, half = height / 2.0 - 1;
    canvas.FillRect(0, static_cast<int>(mid), width, 1, strip_colours::kZeroLine);
    const int columns = std::min<int>(width, static_cast<int>(lane.size()));
    for (int c = 0; c < columns; ++c) {
        const TPeakColumn &col = lane[static_cast<size_t>(c)];
        if (col.Max == 0 && col.Min == 0)
            continue;
        // 16-bit values: full scale reaches the lane's edge.
        const int y0 = static_cast<int>(std::lround(mid - col.Max / 32768.0 * half));
        const int y1 = static_cast<int>(std::lround(mid - col.Min / 32768.0 * half));
        const bool stale = ready && (size_t(c) >= ready->size() || (*ready)[size_t(c)] == 0);
        canvas.FillRect(c, y0, 1, y1 - y0 + 1,
                        stale ? strip_colours::kStale : col.Sounding ? colour : strip_colours::kSilent);
    }
}

} // namespace

void DrawAudioStrip(const TAudioStrip &strip, TCurveCanvas &canvas, int width, int height)
{
    canvas.FillRect(0, 0, width, height, strip_colours::kBackground);
    if (strip.Width < 1 || width < 1 || height < 1)
        return;
    const int x0 = static_cast<int>(std::floor(strip.CurrentX0));
    const int x1 = std::max(x0 + 1, static_cast<int>(std::ceil(strip.CurrentX1)));
    canvas.FillRect(x0, 0, x1 - x0, height, strip_colours::kCurrent);
    for (const TStripFrame &f : strip.Frames)
        canvas.FillRect(static_cast<int>(std::floor(f.X)), 0, 1, height, strip_colours::kFrameMark);
    const int laneHeight = strip.HasPrimary && strip.HasDouble ? height / 2 : height;
    int top = 0;
    if (strip.HasPrimary) {
        DrawLane(canvas, strip.Primary, width, top, laneHeight, strip_colours::kPrimary);
        top += laneHeight;
    }
    if (strip.HasDouble)
        DrawLane(canvas, strip.Double, width, top, height - top, strip_colours::kDouble);
}

void DrawTimelineWaves(const TTimelineWaves &waves, TCurveCanvas &canvas, int width, int height)
{
    canvas.FillRect(0, 0, width, height, strip_colours::kBackground);
    if (waves.Width < 1 || width < 1 || height < 1)
        return;
    const int columns = std::min<int>(width, static_cast<int>(waves.Ready.size()));
    for (int x = 0; x < columns;) {
        if (waves.Ready[size_t(x)]) {
            ++x;
            continue;
        }
        int end = x;
        while (end < columns && !waves.Ready[size_t(end)])
            ++end;
        canvas.FillRect(x, 0, end - x, height, strip_colours::kComputing);
        x = end;
    }
    for (double f : waves.FrameStarts)
        canvas.FillRect(static_cast<int>(std::floor(f)), 0, 1, height, strip_colours::kFrameMark);
    const int laneHeight = waves.HasPrimary && waves.HasDouble ? height / 2 : height;
    int top = 0;
    if (waves.HasPrimary) {
        DrawLane(canvas, waves.Primary, width, top, laneHeight, strip_colours::kPrimary, &waves.Ready);
        top += laneHeight;
    }
    if (waves.HasDouble)
        DrawLane(canvas, waves.Double, width, top, height - top, strip_colours::kDouble, &waves.Ready);
}

} // namespace tessaly
