// Suggesting the markers of a project: the primary track and a recording in sync with
// the video are read, aligned, and the time map is turned into markers on a working
// copy of the project. The window and tessaly-cli show the result and apply it through
// the project editor, so the project is only changed by that one edit.
#pragma once

#include <string>
#include <vector>

#include "autosync/suggest_markers.h"
#include "sync/sync_types.h"

namespace tessaly {
class TProgress;
class TProjectSession;
}

namespace tessaly::autosync {

// The distance of the suggested curve from the measured offset that the placement
// aims at, in ms.
constexpr double kSuggestToleranceMs = 0.02;
// The distance of the stored curve from the measurement beyond which a suggestion is
// not usable (it is shown, but not applied), in ms.
constexpr double kSuggestLimitMs = 1.0;

enum TSuggestStatus {
    ssMatched,    // markers were placed
    ssNoMatch,    // unrelated tracks, or too short to judge: no markers
    ssFailed,     // a track could not be read (the error says which and why)
    ssAborted,    // the user aborted in the progress display
};

struct TSuggestRun {
    std::string What;             // "double track", "reference video" or the file compared with
    sync::TSyncMap Map;
    TSuggestion Suggestion;       // decisions and the whole marker list (double shifts included)
    std::vector<std::string> MarkerLines;
    // The markers as the project stores them, read back from their lines: how far the
    // curve they make lies from the measurement, and how many could not be stored.
    TCurveFit Fit;
    int32_t Unstored = 0;
    double LimitMs = kSuggestLimitMs;
    double Fps = 0;
    std::string Svg;              // the measured offset, its confidence, the curve and the markers
};

// Reads the project's primary track and the recording `against` ("" for the double track,
// else the reference video's audio; "double", "reference" or a file name), both through
// fresh readers, aligns them and places the markers. The session's project is left as it
// was. `progress` (may be null) shows the steps and may abort.
TSuggestStatus SuggestMarkers(TProjectSession &session, const std::string &against, TProgress *progress,
                              TSuggestRun &run, std::string &error, double limitMs = kSuggestLimitMs);

// True when the stored markers reproduce the measurement within run.LimitMs: every
// marker stored, and the curve read back from them close enough everywhere.
bool SuggestionUsable(const TSuggestRun &run);
// Why a suggestion is not usable ("" when it is): the markers that could not be stored,
// or how far and where the stored curve leaves the measurement.
std::string SuggestProblem(const TSuggestRun &run);

// "Primary against the double track: speed 1.000000, confidence 0.97, curve within
// 0.012 ms of the measurement".
std::string SuggestSummary(const TSuggestRun &run);
// The decisions as a table: frame range, offset in ms and frames, drift, confidence, decision.
std::string SuggestTable(const TSuggestRun &run);
// The measurement, the decisions and the markers as JSON.
std::string SuggestJson(const TSuggestRun &run);

} // namespace tessaly::autosync
