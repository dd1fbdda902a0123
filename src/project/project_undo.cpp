// Merging of repeated edits into one undo step.
#include "project/project_undo.h"

namespace tessaly {

bool MergeEdits(TEditRecord &first, const TEditRecord &next)
{
    bool mergeable = next.Kind == ekShiftValue || next.Kind == ekMoveMarker || next.Kind == ekOptionMarker;
    if (!mergeable || first.Kind != next.Kind || first.Target != next.Target || first.Target < 0 ||
        !(first.After == next.Before))
        return false;
    first.After = next.After;
    return true;
}

} // namespace tessaly
