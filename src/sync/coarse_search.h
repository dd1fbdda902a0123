// The coarse search: which speed the primary runs at (a tempo scan over the onset
// envelopes) and at which offsets its parts lie.
#pragma once

#include <vector>

namespace tessaly::sync {

struct TCoarseResult {
    bool Found = false;
    double Rate = 1;                  // primary seconds per reference second
    std::vector<double> Offsets;      // candidate b of primary = Rate * t + b, seconds, best first
    double Score = 0;                 // summed peak z-scores of the chunks at Rate
};

// The speeds tried before the regular grid: film and television conversions.
std::vector<double> NamedRates();

// Scans rates 1 +- maxDrift over chunks of the reference envelope (kEnvelopeRate).
TCoarseResult CoarseSearch(const std::vector<float> &refEnv, const std::vector<float> &primEnv, double maxDrift);

} // namespace tessaly::sync
