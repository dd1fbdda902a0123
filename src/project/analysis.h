// Project analysis (extremes of the shift and of its rate of change), its result rows,
// automatic chapters, go-to-frame, and the preview's frame range and render call.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tessaly {

class TProject;
class TProjectSession;
class TProgress;
class TRenderer;

// One analysis record: the frame (-1 = not found) and the value there.
struct TAnalysisRecord {
    int32_t Frame = -1;
    long double Value = 0;
};

// Records 0/1 min/max total shift, 2/3 min/max curve shift, 4/5 min/max first
// difference, 6 max curvature (frames of 4-6 are f - 1).
using TAnalysisResult = std::array<TAnalysisRecord, 7>;

// Scans frames 0 .. N; false when aborted through `progress` (may be null).
bool AnalyzeProject(TProject &project, TProgress *progress, TAnalysisResult &result);

// One row of the result grid: label, value text and frame text ("-" when none).
struct TAnalysisRow {
    std::string Label, Value, Frame;
    int32_t GotoFrame = -1;   // the frame a "Go to" on this row goes to, -1 when none
};
using TAnalysisRows = std::array<TAnalysisRow, 8>;
TAnalysisRows AnalysisRows(const TAnalysisResult &result);

// Automatic chapters: every `interval` frames (at least 100), or around the parts left
// out by the active backward relative cuts. Marks the project changed.
enum TAutoChapterMode { acFixedLength, acSkipCutOut };
bool InsertAutoChapters(TProject &project, TAutoChapterMode mode, int32_t interval, bool clearFirst);

// Clamps to N - 1, ignores negative frames, sets the position and a view offset of 0.
void GotoFrame(TProject &project, int32_t frame);

// The preview's frame range: mode 0 around, 1 from, 2 up to the current frame plus
// the view offset; a = round(fps x seconds).
void PreviewRange(const TProject &project, int32_t mode, long double seconds, int32_t &first, int32_t &last);

// Renders the preview file `fileName` through `renderer` for the range above.
// sizeLimit: setting SRSizeLimit when SRLimitSize is on, else 0.
bool CreatePreviewFile(TProjectSession &session, TRenderer &renderer, const std::string &fileName, int32_t mode,
                       long double seconds, int32_t sizeLimit, bool showProgress, bool preScan);

} // namespace tessaly
