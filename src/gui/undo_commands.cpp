// TEditCommand: undo and redo through the core's edit records.
#include "gui/undo_commands.h"

#include "project/project.h"

namespace tessaly::gui {

TEditCommand::TEditCommand(TProject &project, TEditRecord record, const QString &text)
    : QUndoCommand(text), FProject(project), FRecord(std::move(record))
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
    return next && MergeEdits(FRecord, next->FRecord);
}

QString EditName(TEditKind kind)
{
    static const char *const names[] = {"Edit",           "New marker",        "Delete marker",   "Shift value",
                                        "Enable marker",  "Affect",            "Option marker",   "Move marker",
                                        "Start offset",   "Add chapter",       "Delete chapter",  "Tick chapter",
                                        "Use chapters",   "Concatenate chapters", "Insert chapters",
                                        "Remove deactivated markers",          "Project settings",
                                        "Suggest markers"};
    const int i = int(kind);
    return QString::fromLatin1(i >= 0 && i < int(std::size(names)) ? names[i] : names[0]);
}

} // namespace tessaly::gui
