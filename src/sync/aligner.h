// The alignment engine's entry points: the time map of a primary track against a
// reference in sync with the video, and the window-by-window offsets of a result.
#pragma once

#include <functional>
#include <vector>

#include "sync/sync_signal.h"
#include "sync/sync_types.h"

namespace tessaly::sync {

// Called with a fraction 0 .. 1 now and then, always on the thread that runs the
// alignment (a window may pump its events there); returning false aborts the run.
using TSyncProgress = std::function<bool(double)>;

// Aligns `primary` to `reference` (both TSyncSignal at kSyncRate; taken over to save
// memory). False only when aborted or a resampling step fails; an unrelated or too
// short pair gives true with map.Matched false.
bool AlignSignals(TSyncSignal reference, TSyncSignal primary, const TSyncOptions &options, TSyncMap &map,
                  const TSyncProgress &progress = {});

// Offsets of `test` against `reference` in windows of `window` s every `hop` s, each
// searched +- search s around 0 (positive: the test sounds later). Unmatched windows
// have Matched false. Ambiguous windows take their neighbours' lag where their own
// onsets agree there; `agreement` (optional, one entry per window) gets the onset
// agreement at the neighbours' lag of the windows left apart from them (NaN for the
// others): low where the result holds other sound than the recording's.
std::vector<TSyncWindow> MeasureOffsets(TSyncSignal reference, TSyncSignal test, double window, double hop,
                                        double search, std::vector<double> *agreement = nullptr);

} // namespace tessaly::sync
