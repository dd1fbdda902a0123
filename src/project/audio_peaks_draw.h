// DrawAudioStrip: the audio strip's picture onto the core's drawing canvas: the current
// frame highlighted, the frame starts marked, and one lane per track with a column of
// min/max per pixel (grey where the mix takes nothing from the track).
#pragma once

#include "project/audio_peaks.h"
#include "project/curve_drawing.h"
#include "project/timeline_peaks.h"

namespace tessaly {

namespace strip_colours {
inline constexpr TRgb kBackground{24, 24, 24}, kCurrent{110, 100, 30}, kFrameMark{48, 48, 48},
    kZeroLine{60, 60, 60}, kPrimary{90, 200, 255}, kDouble{255, 160, 60}, kSilent{110, 110, 110},
    // Columns still being computed: a lighter band, an earlier run's waveform on it.
    kComputing{58, 58, 74}, kStale{150, 150, 165};
}

// Draws `strip` into a box of width x height pixels (column c of the strip at x = c).
// The primary lane takes the upper half and the double lane the lower one when both
// exist, else one lane takes the whole box; an empty strip leaves only the background.
void DrawAudioStrip(const TAudioStrip &strip, TCurveCanvas &canvas, int width, int height);

// Draws the timeline's columns the same way (column x at pixel x): the columns not ready
// yet on the computing band, their waveform (if an earlier run left one) in a pale grey.
void DrawTimelineWaves(const TTimelineWaves &waves, TCurveCanvas &canvas, int width, int height);

} // namespace tessaly
