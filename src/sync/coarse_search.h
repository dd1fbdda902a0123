// The coarse search: which speed the primary runs at (a tempo scan over the onset
// envelopes) and at which offsets its parts lie.
#pragma once

#include <vector>

#include "sync/sync_signal.h"

namespace tessaly::sync {

struct TCoarseResult {
    bool Found = false;
    double Rate = 1;                  // primary seconds per reference second
    std::vector<double> Offsets;      // candidate b of primary = Rate * t + b, seconds, best first
    double Score = 0;                 // summed peak z-scores of the chunks at Rate
};

// The speeds tried before the regular grid: film and television conversions.
std::vector<double> NamedRates();

// Scans rates 1 +- maxDrift over chunks of the reference envelope (kEnvelopeRate). With
// the two signals given, chunks whose onsets match several lags alike (a rhythm that
// repeats) are compared on their harmony too: the lag whose chords agree clearly
// better than any other's leads the offsets when they lacked it.
TCoarseResult CoarseSearch(const std::vector<float> &refEnv, const std::vector<float> &primEnv, double maxDrift,
                           const TSyncSignal *refSignal = nullptr, const TSyncSignal *primSignal = nullptr);

} // namespace tessaly::sync
