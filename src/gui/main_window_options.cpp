// TMainForm: the option items of the menus (zoom, marker size, preview options, flip,
// mutes) and the visibility of the file panel and the status line.
#include "gui/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QStatusBar>

#include "gui/action_registry.h"
#include "gui/file_panel.h"
#include "gui/frame_view.h"
#include "gui/main_window_tools.h"
#include "gui/preview_player.h"
#include "gui/qt_text.h"
#include "project/project_session.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

// The checkable menu items that are project options.
struct TOptionItem {
    TCommandId Id;
    bool TProjectOptions::*Field;
};
const TOptionItem kOptionItems[] = {{cmPreviewPrescan, &TProjectOptions::PreScan},
                                    {cmPreviewOriginalSize, &TProjectOptions::DisableZoom},
                                    {cmPreviewForceVfw, &TProjectOptions::ForceVFW},
                                    {cmPreviewFlip, &TProjectOptions::FlipImage}};

} // namespace

void TMainForm::ConnectOptions()
{
    for (const TOptionItem &item : kOptionItems) {
        const auto field = item.Field;
        FActions->HandleToggle(item.Id, [this, field](bool on) {
            if (FUpdating > 0)
                return;
            TProjectOptions options = FSession.Project().Options();
            options.*field = on;
            Apply(FSession.Editor().SetOptions(options));
            FShownFrame = -2;   // the flip state changes the picture
            RefreshAll();
        });
    }
    // The mute items go to the preview (main_window_tools.cpp), which marks it out of date.
}

void TMainForm::RefreshOptions()
{
    const TProjectOptions &options = FSession.Project().Options();
    for (const TOptionItem &item : kOptionItems)
        FActions->Action(item.Id)->setChecked(options.*item.Field);
    const int size = std::clamp(options.MarkerDrawSize, 1, 3);
    FActions->Action(TCommandId(cmViewMarkerSize1 + size - 1))->setChecked(true);
    // The zoom box says what the picture shows: "Fit" while fitting, else the zoom.
    const bool fit = FActions->Action(cmViewFit)->isChecked();
    FZoomBox->setItemText(0, Q(Msg("WrdFit")));
    const int stored = QString::fromStdString(options.Zoom).toInt();
    const int zoomIndex = FZoomBox->findData(fit ? 0 : stored);
    if (zoomIndex >= 0)
        FZoomBox->setCurrentIndex(zoomIndex);
    const int zoom = fit ? 0 : FZoomBox->currentData().toInt();
    if (FFrameView->Zoom() != zoom)
        FFrameView->SetZoom(zoom);
    FTools->Preview().SetFit(fit);
    FActions->Action(cmPreviewMuteAudio)->setChecked(FSession.MutePrimary);
    FActions->Action(cmPreviewMuteDouble)->setChecked(FSession.MuteDouble);
    FActions->Action(cmViewFileArea)->setChecked(FFilePanel->isVisibleTo(this));
    FActions->Action(cmViewStatusBar)->setChecked(statusBar()->isVisibleTo(this));
}

void TMainForm::ZoomChosen()
{
    if (FUpdating > 0)
        return;
    // "Fit" is the View menu's item; a zoom chosen ends fitting.
    const int zoom = FZoomBox->currentData().toInt();
    FActions->Action(cmViewFit)->setChecked(zoom == 0);
    if (zoom == 0)
        return RefreshAll();
    TProjectOptions options = FSession.Project().Options();
    options.Zoom = std::to_string(zoom);
    Apply(FSession.Editor().SetOptions(options));
}

void TMainForm::SetMarkerSize(int size)
{
    TProjectOptions options = FSession.Project().Options();
    options.MarkerDrawSize = size;
    Apply(FSession.Editor().SetOptions(options));
}

void TMainForm::ToggleFileArea()
{
    FFilePanel->setVisible(FActions->Action(cmViewFileArea)->isChecked());
    FTools->StoreArrange();
}

void TMainForm::ToggleStatusBar()
{
    statusBar()->setVisible(FActions->Action(cmViewStatusBar)->isChecked());
    FTools->StoreArrange();
}

void TMainForm::ToggleFit()
{
    RefreshAll();
}

} // namespace tessaly::gui
