// Project analysis (extremes of the shift and of its rate of change over every frame),
// automatic chapters, removal of deactivated markers and the navigation operations.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

class TProject;
class TProgress;
struct TMarker;

struct TAnalysisRecord {
    int32_t Frame = -1;     // -1: not found
    long double Value = 0;
};

// 0/1 min/max total shift, 2/3 min/max curve shift, 4/5 min/max first difference of the
// curve, 6 max curvature |d(f) - d(f-1)|; frames where the primary track is off (and
// the two after them) are left out.
using TAnalysisResult = std::array<TAnalysisRecord, 7>;

// Scans frames 0 .. N, reporting to `progress` (may be null) after every frame; false
// when aborted (result then incomplete). Without a video the records stay unset.
bool AnalyzeProject(const TProject &project, TProgress *progress, TAnalysisResult &result);

// One row of the analysis grid as shown: label, value text, frame text.
struct TAnalysisRow {
    std::string Label, Value, Frame;
};
// The eight rows of the grid (labels through the language file).
std::vector<TAnalysisRow> AnalysisRows(const TAnalysisResult &result);

enum TAutoChapterMode { acFixedLength, acSkipCutOut };

// The shortest interval of automatic chapters, in frames: shorter ones would make more
// chapter files than anybody wants from one video.
constexpr int32_t kMinChapterInterval = 100;

// The whole frames a relative cut moves by: its shift rounded to the nearest frame
// (halves away from zero), so whole values stay as they are.
int64_t CutFrames(const TMarker &marker);

} // namespace tessaly
