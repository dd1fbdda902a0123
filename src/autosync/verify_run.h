// Judging a rendered result against a recording in sync with the video: every window
// is matched, off, filled in by the double track, unmatched or silent, and the result
// passes only when the matched windows are all within tolerance and cover enough of
// the stretches where both recordings sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/sync_signal.h"
#include "sync/sync_types.h"

namespace tessaly {
class TProject;
}

namespace tessaly::autosync {

struct TVerifyOptions {
    double ToleranceMs = 22;    // a matched window farther off fails the result
    double MinCoverage = 0.9;   // share of the sounding windows that must match, 0 .. 1
};

enum TVerifyKind : uint8_t {
    vkSilent,      // the recording or the result has no sound: not judged
    vkMatched,     // the result's primary sound, within tolerance
    vkOutside,     // matched, but farther off than the tolerance
    vkFilledIn,    // the double track (or silence) stands in for the primary here
    vkUnmatched,   // sound that matches nothing near the recording
};

// A stretch of video time, seconds.
struct TTimeSpan {
    double From = 0, To = 0;
};

struct TVerifySpan {
    double From = 0, To = 0;   // seconds
    TVerifyKind Kind = vkUnmatched;
};

struct TVerifyReport {
    std::vector<sync::TSyncWindow> Windows;
    std::vector<TVerifyKind> Kinds;        // per window
    double Hop = 1;                        // seconds each window stands for
    bool FillKnown = false;                // the project told which stretches are filled in
    size_t Sounding = 0;                   // windows where both recordings sound
    size_t Matched = 0, Outside = 0, FilledIn = 0, Unmatched = 0, Silent = 0;
    double Coverage = 0;                   // Matched / Sounding, 0 .. 1
    double MedianMs = 0, P95Ms = 0, MaxMs = 0;   // over the matched and outside windows
    std::vector<TVerifySpan> Spans;        // merged runs of filled-in and unmatched windows
    // Stretches of more than a second where the result sounds, but not as the recording
    // at the lag of the surrounding windows (wrong content); any of them fails the result.
    std::vector<TTimeSpan> Wrong;
    bool Passed = false;
};

// The stretches of video time where the result of `project` does not sound from the
// primary track: the primary is switched off, its position lies outside its
// primarySeconds, or it would run backwards (the mixer then waits, and the double track
// or silence stands in). Merged and ascending.
std::vector<TTimeSpan> FilledInSpans(const TProject &project, double primarySeconds);

// Measures `result` against `reference` in windows of `window` s every `hop` s and
// judges it. `filled` (may be empty) are the stretches filledKnown says are not the
// primary's sound. The result passes when no matched window lies outside the tolerance,
// the matched windows cover enough of the sounding ones, and no stretch of more than a
// second holds other sound than the recording's.
TVerifyReport JudgeResult(sync::TSyncSignal reference, sync::TSyncSignal result, const std::vector<TTimeSpan> &filled,
                          bool filledKnown, const TVerifyOptions &options, double window = 2.0, double hop = 1.0);

// The lines tessaly-cli verify prints: counts, offsets, coverage, the stretches and the verdict.
std::string VerifyText(const TVerifyReport &report, const TVerifyOptions &options);

// The plot of the windows inside the tolerance band, with the filled-in and unmatched
// stretches shaded.
std::string VerifyPlot(const TVerifyReport &report, const TVerifyOptions &options, const std::string &title);

} // namespace tessaly::autosync
