// Harmony features of an analysis signal: the energy of the twelve pitch classes frame by
// frame. Two passages with the same rhythm but other chords or another melody have the
// same onsets and differ here.
#pragma once

#include <array>
#include <vector>

#include "sync/sync_signal.h"

namespace tessaly::sync {

constexpr double kChromaRate = 5;    // chroma frames per second (a chord lasts longer)

// Twelve pitch-class values per frame (C = 0), each frame scaled to unit length; a frame
// without tonal energy is all zeros.
using TChromaFrame = std::array<float, 12>;

// The chroma of `signal` (any rate of at least 4 kHz) at kChromaRate, from frames of
// 256 ms: the energy of every bin between 100 and 2000 Hz added to its pitch class,
// as amplitudes.
std::vector<TChromaFrame> ChromaFrames(const TSyncSignal &signal);

} // namespace tessaly::sync
