// Undo data of the editing operations: an edit's kind and target, the project before
// and after it, and the rule by which repeated edits of one value merge into one step.
#pragma once

#include <cstdint>

#include "project/project_observer.h"

namespace tessaly {

// What an edit did; the window names its undo step after it.
enum TEditKind {
    ekNone,
    ekNewMarker,          // a new marker (any kind) at a frame
    ekDeleteMarker,
    ekShiftValue,         // the shift field of a marker (merges)
    ekMarkerEnabled,      // the enable box
    ekAffect,             // the Affect button
    ekOptionMarker,       // audio box, double box, volume field of an option marker (merges)
    ekMoveMarker,         // one step back or forth (merges)
    ekStartOffset,
    ekAddChapter,
    ekDeleteChapter,
    ekTickChapter,
    ekUseChapters,
    ekConcatChapters,
    ekInsertChapters,
    ekRemoveDeactivated,
    ekProjectOptions,     // the project settings and the option menu items
    ekSuggestMarkers,     // markers suggested from a recording in sync with the video
};

// One undo step: After to redo, Before to undo (TProjectEditor::ApplyRecord).
struct TEditRecord {
    TEditKind Kind = ekNone;
    int32_t Target = -1;          // marker or chapter index the edit acted on, -1 for none
    TProjectSnapshot Before;
    TProjectSnapshot After;
};

// True when `next` continues `first` (same mergeable kind on the same target: typing in
// the shift field, moving a marker step by step, the volume field); `first` then spans
// both (its After becomes next's After). False leaves `first` as it was.
bool MergeEdits(TEditRecord &first, const TEditRecord &next);

} // namespace tessaly
