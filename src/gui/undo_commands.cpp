// TEditCommand: undo and redo through the core's edit records.
#include "gui/undo_commands.h"

#include "gui/qt_text.h"
#include "project/project.h"
#include "project/window_texts.h"

namespace tessaly::gui {

TEditCommand::TEditCommand(TProject &project, TEditRecord record, int mergeTag)
    : QUndoCommand(Q(EditStepName(project, record))), FProject(project), FRecord(std::move(record)),
      FMergeTag(mergeTag)
{
}

void TEditCommand::undo()
{
    // A record of another video (the video changed since) is left alone.
    if (!ApplyEdit(FProject, FRecord, false))
        setObsolete(true);
}

void TEditCommand::redo()
{
    if (FApplied) {
        FApplied = false;   // pushed after the edit was made
        return;
    }
    if (!ApplyEdit(FProject, FRecord, true))
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
