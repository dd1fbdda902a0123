// A second look at the windows of a result that their own measure leaves ambiguous:
// repeated bars and held pads give a 2 s window several lags that agree about as well,
// and a tempo change that keeps the pitch leaves the waveform nothing to decide by.
#pragma once

#include <vector>

#include "sync/lag_track.h"
#include "sync/sync_types.h"

namespace tessaly::sync {

// For every window whose waveform does not settle its lag (unmatched, or matched with
// a full-rate score below trustedScore and away from its neighbours), the onsets of the
// window itself are compared at the lag its matched neighbours agree on: where they
// agree there clearly enough and about as well as at the window's own lag or better,
// the window takes that lag. `agreement` (one entry per window) gets the onset agreement at
// the neighbours' lag of every window that still stands apart from them, NaN elsewhere:
// low where the window's sound is not what the recording plays there.
void SettleByNeighbours(const TTrackSignal &ref, const TTrackSignal &test, double trustedScore,
                        std::vector<TSyncWindow> &windows, std::vector<double> &agreement);

} // namespace tessaly::sync
