// TMainForm: the marker and chapter edits, each one operation of the core's editor and
// one step of the undo stack.
#include "gui/main_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

#include "gui/edit_lists.h"
#include "gui/qt_text.h"
#include "gui/undo_commands.h"
#include "gui/window_dialogs.h"
#include "project/project_session.h"
#include "shell/messages.h"

namespace tessaly::gui {

void TMainForm::Apply(const TEditResult &result, bool quiet)
{
    if (result.Applied && result.Record.Kind != ekNone)
        FUndo->push(new TEditCommand(FSession.Editor(), result.Record, FMerging ? FMergeTag : 0));
    else if (!result.Applied && !result.Error.empty() && !quiet)
        FDialogs.Error(result.Error);
    // Anything but the continuing run (a move, another edit) ends it.
    if (!FMerging)
        EndMergeRun();
    RefreshAll();
}

void TMainForm::EndMergeRun()
{
    ++FMergeTag;
    FLastMove = 0;
}

bool TMainForm::Allowed(const QWidget *control)
{
    // As with the menu commands: the enables are recomputed before a button acts.
    ApplyEnables();
    return FUpdating == 0 && control->isEnabled();
}

void TMainForm::AddMarker(int kind)
{
    const TMarkerPages &m = *FMarkerPanel;
    const QWidget *buttons[] = {m.SplineButton, m.RelCutButton, m.DShiftButton, m.OptionButton};
    if (kind >= mkSpline && kind <= mkOption && Allowed(buttons[kind - 1]))
        Apply(FSession.Editor().NewMarker(static_cast<TMarkerKind>(kind)));
}

void TMainForm::DeleteMarker()
{
    if (Allowed(FMarkerPanel->DeleteButton))
        Apply(FSession.Editor().DeleteMarker(FSession.Project().Position()));
}

void TMainForm::MoveMarker(int32_t direction)
{
    // Clicks on one move button in a row are one step; the enables keep the button off
    // where the marker cannot go, so a refusal here is quiet.
    if (!Allowed(direction < 0 ? FLists->MoveBackButton : FLists->MoveForwardButton))
        return;
    if (FLastMove != direction)
        EndMergeRun();
    FMerging = true;
    Apply(FSession.Editor().MoveMarker(FSession.Project().Position(), direction), true);
    FMerging = false;
    FLastMove = direction;
}

void TMainForm::ApplyTyped(QWidget *field, const std::function<TEditResult()> &edit)
{
    if (FUpdating > 0)
        return;
    FTyping = field;
    Apply(edit(), true);
    FTyping = nullptr;
}

void TMainForm::ShiftEdited()
{
    if (FUpdating > 0)
        return;
    const int32_t index = FSession.Project().FindMarker(FSession.Project().Position());
    // An incomplete number ("-") is refused quietly and stays in the field.
    FTyping = FMarkerPanel->ShiftEdit;
    FLastMove = 0;
    FMerging = true;
    Apply(FSession.Editor().SetShiftValue(index, S(FMarkerPanel->ShiftEdit->text())), true);
    FMerging = false;
    FTyping = nullptr;
}

void TMainForm::EnableToggled(bool on)
{
    if (FUpdating > 0)
        return;
    const int32_t index = FSession.Project().FindMarker(FSession.Project().Position());
    Apply(FSession.Editor().SetMarkerEnabled(index, on));
}

void TMainForm::AffectToggled()
{
    if (FUpdating > 0)
        return;
    const int32_t index = FSession.Project().FindMarker(FSession.Project().Position());
    Apply(FSession.Editor().SetAffect(index, FMarkerPanel->AffectButton->isChecked()));
}

void TMainForm::EditOption(bool quiet)
{
    if (FUpdating > 0)
        return;
    const int32_t index = FSession.Project().FindMarker(FSession.Project().Position());
    const TMarkerPages &m = *FMarkerPanel;
    Apply(FSession.Editor().EditOptionMarker(index, m.AudioBox->isChecked(), m.DoubleBox->isChecked(),
                                             S(m.VolumeEdit->text())),
          quiet);
}

void TMainForm::VolumeEdited()
{
    FTyping = FMarkerPanel->VolumeEdit;
    FLastMove = 0;
    FMerging = true;
    EditOption(true);
    FMerging = false;
    FTyping = nullptr;
}

void TMainForm::ChapterAdd()
{
    if (Allowed(FMarkerPanel->ChapterAddButton))
        Apply(FSession.Editor().AddChapter(FSession.Project().Position()));
}

void TMainForm::ChapterDelete()
{
    if (Allowed(FMarkerPanel->ChapterDelButton))
        Apply(FSession.Editor().DeleteChapter(FSession.Project().Position()));
}

void TMainForm::ChapterTicked(int row, bool ticked)
{
    if (FUpdating == 0)
        Apply(FSession.Editor().TickChapter(row, ticked));
}

void TMainForm::UseChaptersToggled()
{
    if (FUpdating == 0)
        Apply(FSession.Editor().SetUseChapters(!FSession.Project().Options().UseChapters));
}

void TMainForm::ConcatToggled(bool on)
{
    if (FUpdating == 0)
        Apply(FSession.Editor().SetConcatChapters(on));
}

void TMainForm::AskStartOffset()
{
    std::string text = "0";
    // A refused answer shows its reason and asks again.
    while (FDialogs.AskText(Msg("CapDlgStartOfs"), Msg("CapDlgStartOfsPrm"), text)) {
        TEditResult result = FSession.Editor().ChangeStartOffsetText(text);
        Apply(result);
        if (result.Applied || result.Error.empty())
            return;
    }
}

void TMainForm::ViewOffsetToCut()
{
    Apply(FSession.Editor().ViewOffsetToCutValue(FLists->MarkerList->currentRow()));
}

void TMainForm::JumpToCutEnd()
{
    Apply(FSession.Editor().JumpToCutEnd(FLists->MarkerList->currentRow()));
}

} // namespace tessaly::gui
