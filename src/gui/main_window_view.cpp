// TMainForm: drawing the session's state into the picture, the lists, the marker panel,
// the status line and the enables of actions and controls.
#include "gui/main_window.h"

#include <QAction>
#include <QVariant>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QUndoStack>

#include "gui/action_registry.h"
#include "gui/curve_strip.h"
#include "gui/edit_lists.h"
#include "gui/file_panel.h"
#include "gui/frame_presenter.h"
#include "gui/frame_view.h"
#include "gui/status_panels.h"
#include "gui/main_window_tools.h"
#include "gui/timeline.h"
#include "gui/qt_text.h"
#include "media/common/io_image.h"
#include "project/project_session.h"
#include "project/window_texts.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tessaly::gui {

void TMainForm::RefreshAll()
{
    Refresh(pcAll);
}

void TMainForm::ProjectChanged(unsigned changes)
{
    // Edits of another video cannot be undone.
    if (changes & pcMedia) {
        // Another video may share the file name, frame size or format: read afresh.
        FShownFrame = -2;
        FUndo->clear();
    }
    Refresh(changes);
}

void TMainForm::Refresh(unsigned changes)
{
    ++FUpdating;
    if (changes & (pcMedia | pcPosition))
        RefreshFrame();
    if (changes & (pcMedia | pcMarkers | pcChapters | pcOptions | pcPosition)) {
        RefreshLists();
        RefreshPanel();
    }
    if (changes & (pcMedia | pcMarkers | pcOptions | pcPosition))
        FCurve->update();
    if (changes & (pcMedia | pcOptions))
        RefreshOptions();
    RefreshStatus();
    ApplyEnables();
    --FUpdating;
}

void TMainForm::RefreshFrame()
{
    const TProject &project = FSession.Project();
    TIOMovieReader &video = FSession.Sources().Video();
    if (!project.HasVideo() || !video.IsOpen()) {
        FShownFrame = -2;
        FFrames->Clear();
        FSlider->setRange(0, 0);
        return;
    }
    FSlider->setRange(0, project.FrameCount() - 1);
    FSlider->setPageStep(std::max(1, int(project.Fps() + 0.5L)));
    FSlider->setValue(project.Position());
    // The picture comes from the worker; the view keeps the last one until then.
    if (FShownFrame == -2)
        FFrames->Reset();
    const int64_t shown = int64_t(project.Position()) + project.ViewOffset();
    FShownFrame = int32_t(std::clamp<int64_t>(shown, -1, INT32_MAX));
    FFrames->Show(video, shown);
}

void TMainForm::RefreshLists()
{
    const TProject &project = FSession.Project();
    std::vector<std::string> lines;
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        lines.push_back(MarkerListText(project, i));
    FLists->SetMarkerLines(lines);
    std::vector<std::string> chapters;
    std::vector<bool> ticks;
    for (int32_t i = 0; i < project.ChapterListCount(); ++i) {
        chapters.push_back(ChapterListText(project, i));
        ticks.push_back(project.GetListChapter(i).Enabled);
    }
    FLists->SetChapterLines(chapters, ticks);
    const TMarkerPanel panel = MarkerPanelOf(project, FLists->Page());
    FLists->SelectMarker(panel.MarkerIndex);
    FLists->SelectChapter(panel.ChapterIndex);
    for (int role = srVideo; role <= srReference; ++role)
        FFilePanel->SetName(TSourceRole(role), Q(FilePanelName(FSession, TSourceRole(role))));
}


} // namespace tessaly::gui

namespace tessaly::gui {

void TMainForm::RefreshPanel()
{
    const TProject &project = FSession.Project();
    const TMarkerPanel panel = MarkerPanelOf(project, FLists->Page());
    TMarkerPages &m = *FMarkerPanel;
    m.ShowPage(panel.Page);
    m.SubdivideButton->setChecked(project.Options().UseChapters);
    m.ConcatBox->setChecked(project.Options().ConcatChapters);
    m.EnableBox->setChecked(panel.EnableTicked);
    m.AffectButton->setChecked(panel.AffectDown);
    m.AudioBox->setChecked(panel.AudioTicked);
    m.DoubleBox->setChecked(panel.DoubleTicked);
    // A field being typed in keeps its text (the edit was applied or is incomplete).
    if (FTyping != m.ShiftEdit)
        m.ShiftEdit->setText(Q(panel.ShiftText));
    if (FTyping != m.VolumeEdit)
        m.VolumeEdit->setText(Q(panel.VolumeText));
}

void TMainForm::RefreshStatus()
{
    const TProject &project = FSession.Project();
    const TStatusTexts texts = StatusTexts(project);
    for (int i = 0; i < spCount; ++i)
        FStatus->SetText(i, Q(texts[size_t(i)]));
    setWindowTitle(Q(WindowCaption(project, Msg("ApplicationTitle"))));
}

void TMainForm::ApplyEnables()
{
    TWindowFacts facts;
    facts.Page = FLists->Page();
    facts.CanUndo = FUndo->canUndo();
    facts.CanRedo = FUndo->canRedo();
    if (FTools)
        FTools->FillFacts(facts);
    const TEnables e = CheckEnables(EnableStateOf(FSession.Project(), facts));
    FActions->ApplyEnables(e);
    for (int role = srVideo; role <= srReference; ++role) {
        FFilePanel->OpenButton(TSourceRole(role))->setEnabled(e.OpenMedia);
        FFilePanel->NameLabel(TSourceRole(role))->setEnabled(e.OpenMedia);
    }
    FFilePanel->RemoveDoubleButton()->setEnabled(e.RemoveDouble);
    FFilePanel->RemoveRefButton()->setEnabled(e.RemoveReference);
    FSlider->setEnabled(e.Navigate);
    FZoomBox->setEnabled(e.Navigate);
    TMarkerPages &m = *FMarkerPanel;
    for (QWidget *w : {static_cast<QWidget *>(m.SplineButton), static_cast<QWidget *>(m.RelCutButton),
                       static_cast<QWidget *>(m.DShiftButton), static_cast<QWidget *>(m.OptionButton)})
        w->setEnabled(e.NewMarkerButtons);
    m.DeleteButton->setEnabled(e.DeleteMarker);
    m.EnableBox->setEnabled(e.EnableBox);
    m.ShiftEdit->setEnabled(e.ShiftField);
    m.AffectButton->setEnabled(e.AffectButton);
    m.AudioBox->setEnabled(e.OptionBoxes);
    m.DoubleBox->setEnabled(e.OptionBoxes);
    m.VolumeEdit->setEnabled(e.VolumeField);
    m.SubdivideButton->setEnabled(e.SubdivideChapters);
    m.ConcatBox->setEnabled(e.ConcatChapters);
    m.ChapterAddButton->setEnabled(e.ChapterAdd);
    m.ChapterDelButton->setEnabled(e.ChapterDelete);
    FLists->MarkerList->setEnabled(e.MarkerList);
    FLists->ChapterList->setEnabled(e.ChapterList);
    FLists->MoveBackButton->setEnabled(e.MoveBackward);
    FLists->MoveForwardButton->setEnabled(e.MoveForward);
    FTimeline->Strip().setEnabled(e.DragMarker || e.Navigate);
    FTimeline->Strip().SetDragAllowed(e.DragMarker);
    UpdateUndoTexts();
    if (FTools)
        FTools->ApplyEnables(e);
}
} // namespace tessaly::gui

namespace tessaly::gui {

void TMainForm::UpdateUndoTexts()
{
    // "Undo Add spline point"; the plain caption (translated) when there is no step.
    const std::pair<TCommandId, bool> items[] = {{cmEditUndo, true}, {cmEditRedo, false}};
    for (const auto &[id, undo] : items) {
        QAction *action = FActions->Action(id);
        // The plain caption is kept where the language switch keeps it, before any step name.
        if (!action->property("tsyCaption").isValid())
            action->setProperty("tsyCaption", action->text());
        const QString step = undo ? FUndo->undoText() : FUndo->redoText();
        if (!step.isEmpty()) {
            action->setText(Q(undo ? UndoItemText(S(step)) : RedoItemText(S(step))));
            continue;
        }
        action->setText(Q(Msg(CommandTextKey(CommandRow(id)->Name))));
    }
}

} // namespace tessaly::gui
