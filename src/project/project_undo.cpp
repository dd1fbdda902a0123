// Merging of repeated edits and applying undo records.
#include "project/project_undo.h"

#include "project/project.h"

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

bool ApplyEdit(TProject &project, const TEditRecord &record, bool redo)
{
    if (record.Kind == ekNone)
        return false;
    project.BeginUpdate();
    bool ok = project.Restore(redo ? record.After : record.Before);
    if (ok)
        project.SetChanged(true);
    project.EndUpdate();
    return ok;
}

} // namespace tessaly
