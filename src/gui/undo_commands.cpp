// TEditCommand: undo and redo through the core's edit records.
#include "gui/undo_commands.h"

#include "gui/qt_text.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/window_texts.h"

namespace tessaly::gui {

TEditCommand::TEditCommand(TProjectEditor &editor, TEditRecord record, int mergeTag)
    : QUndoCommand(Q(EditStepName(editor.Project(), record))), FEditor(editor), FRecord(std::move(record)),
      FMergeTag(mergeTag)
{
}

void TEditCommand::undo()
{
    // A record of another video (the video changed since) is left alone.
    if (!FEditor.ApplyRecord(FRecord, false))
        setObsolete(true);
}

void TEditCommand::redo()
{
    if (FApplied) {
        FApplied = false;   // pushed after the edit was made
        return;
    }
    if (!FEditor.ApplyRecord(FRecord, true))
        setObsolete(true);
}

int TEditCommand::id() const
{
    if (FMergeTag == 0)
        return -1;
    switch (FRecord.Kind) {
    case ekShiftValue:
    case ekOptionMarker:
    case ekMoveMarker:
        return int(FRecord.Kind);
    default:
        return -1;
    }
}

bool TEditCommand::mergeWith(const QUndoCommand *other)
{
    auto *next = dynamic_cast<const TEditCommand *>(other);
    return next && next->FMergeTag == FMergeTag && MergeEdits(FRecord, next->FRecord);
}

} // namespace tessaly::gui
