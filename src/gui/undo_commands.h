// TEditCommand: one applied project edit on the window's QUndoStack. It holds the core's
// undo record; edits of one value made in one go (typing in one field without leaving it,
// clicking one move button) merge into one step, separate edits never do.
#pragma once

#include <QUndoCommand>

#include "project/project_undo.h"

namespace tessaly {
class TProjectEditor;
}

namespace tessaly::gui {

class TEditCommand : public QUndoCommand {
public:
    // `record` is an edit already applied through `editor` (the first redo does nothing);
    // the step is named after it. Commands with the same non-zero `mergeTag` may merge.
    TEditCommand(TProjectEditor &editor, TEditRecord record, int mergeTag = 0);

    void undo() override;
    void redo() override;
    // The edit kind for mergeable kinds with a merge tag, -1 for the others.
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

private:
    TProjectEditor &FEditor;
    TEditRecord FRecord;
    int FMergeTag = 0;
    bool FApplied = true;
};

} // namespace tessaly::gui
