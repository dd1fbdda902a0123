// TEditCommand: one applied project edit on the window's QUndoStack. It holds the core's
// undo record; repeated edits of one value (typing, step-by-step moves) merge into one.
#pragma once

#include <QUndoCommand>

#include "project/project_undo.h"

namespace tessaly {
class TProject;
}

namespace tessaly::gui {

class TEditCommand : public QUndoCommand {
public:
    // `record` is an edit already applied to `project` (the first redo does nothing).
    TEditCommand(TProject &project, TEditRecord record, const QString &text);

    void undo() override;
    void redo() override;
    // The edit kind for mergeable kinds, -1 for the others.
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

private:
    TProject &FProject;
    TEditRecord FRecord;
    bool FApplied = true;
};

// The undo step's name of an edit kind (English).
QString EditName(TEditKind kind);

} // namespace tessaly::gui
