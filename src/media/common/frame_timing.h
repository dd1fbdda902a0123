// The timing of video frames against audio samples: one vocabulary for a frame rate
// (Rate frames in Scale seconds, as video files state it) and the one formula that says
// how many sample frames lie before a video frame. The result writers, the mixer and the
// project all place a frame's audio by it, so they never drift apart.
#pragma once

#include <cstdint>

namespace tessaly {

struct TFrameRate {
    uint32_t Rate = 0;    // frames ...
    uint32_t Scale = 0;   // ... in this many seconds
    bool Valid() const { return Rate > 0 && Scale > 0; }
    // Frames per second; 0 when not valid.
    long double Fps() const { return Valid() ? static_cast<long double>(Rate) / Scale : 0; }
};

// round(frame x sampleRate x Scale / Rate), halves to even, computed exactly; 0 for a
// rate that is not valid.
int64_t SamplesUpToFrame(int64_t frame, TFrameRate rate, uint32_t sampleRate);
// The sample frames of one video frame: SamplesUpToFrame(frame + 1) - SamplesUpToFrame(frame).
int64_t SamplesOfFrame(int64_t frame, TFrameRate rate, uint32_t sampleRate);

} // namespace tessaly
