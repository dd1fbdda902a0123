// TFrameState (everything the project says about one video frame) and the statistics
// of the deactivated spline markers.
#pragma once

#include <cstdint>

namespace tessaly {

struct TFrameState {
    int32_t Frame = 0;                // the frame asked for
    long double SplineShift = 0;      // smooth curve at the frame, in frames
    long double CutShift = 0;         // sum of the active relative cuts at or before the frame
    long double DoubleShift = 0;      // last active double shift at or before the frame, else 0
    int32_t MarkerIndex = -1;         // marker exactly on the frame, else -1
    uint8_t OptionFlags = 0;          // bit 0 primary off, bit 1 double off
    int16_t DoubleVolume = 100;       // percent
    int32_t MarkerFrame = 0;          // copy of the marker on the frame (zeros when none)
    int32_t MarkerValue = 0;
    uint8_t MarkerKind = 0;
    bool MarkerAffect = false;
    bool MarkerDeactivated = false;
    int32_t ChapterNumber = 0;        // 1-based chapter holding the frame, 0 if none/off
    int32_t ChapterStart = 0;
    bool ChapterEnabled = false;

    // The total audio shift in frames: curve plus cuts.
    long double TotalShift() const { return SplineShift + CutShift; }
    bool AudioOff() const { return (OptionFlags & 1) != 0; }
    bool DoubleOff() const { return (OptionFlags & 2) != 0; }
};

// How far the deactivated spline markers inside the video lie from the curve.
struct TDeactivatedStats {
    int32_t Count = 0;        // deactivated spline markers with frame < N
    int32_t Frame = -1;       // frame of the one with the largest |error|, -1 if none exceeds 0
    long double Error = 0;    // its signed error: curve value minus marker value
};

} // namespace tessaly
