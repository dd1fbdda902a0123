// Robust continuous piecewise-linear fit of a lag track, with knots added only where
// the error exceeds the tolerance, and the path search that tells cuts from drift.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "sync/lag_track.h"
#include "sync/sync_types.h"

namespace tessaly::sync {

struct TFitResult {
    std::vector<TSyncKnot> Knots;   // ascending in time, first and last at the ends
    std::vector<bool> Inlier;       // per input point
    double Noise = 0;               // robust spread of the inliers around the fit
};

// Fits y(t) (t ascending, at least two points): outliers beyond five robust spreads
// are left out; a knot is added at the worst smoothed error while it exceeds
// max(tolerance, the noise that averaging cannot remove); at most maxKnots knots.
// `use` marks the points that may take part (empty: all).
TFitResult FitPiecewise(const std::vector<double> &t, const std::vector<double> &y, double tolerance,
                        const std::vector<bool> &use = {}, size_t maxKnots = 64);

// The median of v (0 for none); v is taken by value and reordered.
double Median(std::vector<double> v);

// The value of knots at t (linear between knots, straight on outside).
double KnotValueAt(const std::vector<TSyncKnot> &knots, double t);

// Chooses for every window one of its candidates or none, maximising the summed
// scores minus a constant penalty per jump between candidates whose lags differ by
// more than continuity (seconds). With the windows' times (seconds, one per window), a
// path never steps back in the primary (time plus lag) by more than `replay` s from
// where its last match stood. Returns the chosen index per window, -1 for none.
std::vector<int> ChoosePath(const std::vector<std::vector<TLagCandidate>> &candidates, double continuity,
                            double jumpPenalty, const std::vector<double> &times = {},
                            double replay = std::numeric_limits<double>::infinity());

// The reward of a candidate in the path search; negative for a peak that is not
// clearly above the others.
double CandidateReward(const TLagCandidate &c);

} // namespace tessaly::sync
