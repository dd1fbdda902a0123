// TToolWindows: creation of the tool windows, their menu entries and their refresh
// after project changes.
#include "gui/tool_windows.h"

#include <QAction>
#include <QDockWidget>
#include <QEvent>
#include <QSlider>
#include <QUndoStack>

#include "gui/action_registry.h"
#include "gui/main_window.h"
#include "gui/options_dlg.h"
#include "gui/properties_dlg.h"
#include "gui/ref_form.h"
#include "gui/spline_form.h"
#include "gui/undo_commands.h"
#include "gui/window_placement.h"
#include "gui/window_dialogs.h"
#include "project/project_session.h"
#include "project/tool_window_rules.h"

namespace tessaly::gui {

TToolWindows::TToolWindows(TMainForm &window, TSettings &settings, TWindowDialogs &dialogs)
    : QObject(&window), FWindow(window), FProject(window.Session().Project())
{
    setObjectName(QStringLiteral("ToolWindows"));
    TProjectSession &session = window.Session();
    FOptions = new TOptionsDlg(settings, dialogs, &window);
    FProperties = new TPropertiesDlg(&window);
    FReference = new TRefForm(session.Sources().Reference(), &window);
    FSpline = new TSplineForm(session.Project(), &window);
    // The curve window is a dock: floating beside the main window at first, docked where
    // the user puts it, and back there at the next start (the window's dock record).
    FSplineDock = new QDockWidget(&window);
    FSplineDock->setObjectName(QStringLiteral("CurveDock"));
    FSpline->setWindowFlags(Qt::Widget);
    FSplineDock->setWidget(FSpline);
    FSplineDock->setWindowTitle(FSpline->windowTitle());
    connect(FSpline, &QWidget::windowTitleChanged, FSplineDock, &QWidget::setWindowTitle);
    window.addDockWidget(Qt::BottomDockWidgetArea, FSplineDock);
    FSplineDock->setFloating(true);
    FSplineDock->hide();
    TActionRegistry &actions = window.Actions();
    actions.Handle(cmOptionsGlobal, [this] { ShowOptions(); });
    actions.Handle(cmFileProperties, [this] { ShowProperties(); });
    actions.Handle(cmViewReference, [this] { ShowReference(); });
    actions.Handle(cmViewCurve, [this] { ShowSpline(); });
    connect(FReference, &TRefForm::ZoomPicked, this, &TToolWindows::StoreRefZoom);
    connect(FSpline, &TSplineForm::FrameClicked, this, [this](int32_t frame) {
        if (FWindow.PositionSlider().isEnabled())
            FWindow.GoToFrame(frame);
    });
    FReference->installEventFilter(this);
    session.Project().AddObserver(this);
    ProjectChanged(pcAll);
}

bool TToolWindows::eventFilter(QObject *watched, QEvent *event)
{
    // Closed by its title bar: the menu item's tick follows.
    if (watched == FReference && (event->type() == QEvent::Hide || event->type() == QEvent::Show))
        SyncReferenceItem();
    return QObject::eventFilter(watched, event);
}

TToolWindows::~TToolWindows()
{
    FProject.RemoveObserver(this);
}

void TToolWindows::ShowOptions()
{
    FitToScreen(*FOptions);
    FOptions->exec();
}

void TToolWindows::FillProperties()
{
    TProjectSession &session = FWindow.Session();
    TMediaSources &sources = session.Sources();
    TIOMovieReader &video = sources.Video();
    const bool forceVfw = session.Project().Options().ForceVFW;
    // The option decides the preview line: a plug-in source read for the preview with
    // the option on is decoded, not copied.
    if (video.IsOpen())
        video.SetDecodeOnly(forceVfw);
    FProperties->Fill(session.Project().HasVideo() ? &video : nullptr, sources.HasAudio() ? &sources.Audio() : nullptr,
                      FReference->IsOpen() ? FReference->FrameRate() : -1,
                      sources.HasDouble() ? &sources.Double() : nullptr, forceVfw);
}

void TToolWindows::ShowProperties()
{
    FillProperties();
    FitToScreen(*FProperties);
    FProperties->exec();
}

void TToolWindows::ShowReference()
{
    // The menu item shows and hides the window; its tick says which.
    if (FReference->isVisible()) {
        FReference->hide();
    } else {
        ShowOnScreen(*FReference);
        FollowMain();
    }
    SyncReferenceItem();
}

void TToolWindows::ShowOnScreen(QWidget &window)
{
    FitToScreen(window);
    window.show();
    window.raise();
}

void TToolWindows::SyncReferenceItem()
{
    FWindow.Actions().Action(cmViewReference)->setChecked(FReference->isVisible());
}

void TToolWindows::ShowSpline()
{
    FSplineDock->show();
    FSplineDock->raise();
}

void TToolWindows::ProjectChanged(unsigned changes)
{
    if (changes & pcMedia)
        TakeUpReference();
    if ((changes & pcOptions) && FReference->IsOpen() && FReference->Zoom() != FWindow.Session().Project().Options().RefZoom)
        FReference->SetZoom(FWindow.Session().Project().Options().RefZoom);
    if (changes & (pcMedia | pcMarkers | pcPosition))
        FollowMain();
    if (changes & (pcMedia | pcMarkers | pcPosition | pcOptions))
        FSpline->Repaint();
}

void TToolWindows::TakeUpReference()
{
    const std::string list = FReference->IsOpen() ? FWindow.Session().Sources().Reference().FileList() : std::string();
    if (list == FRefList)
        return;
    FRefList = list;
    FReference->SourceChanged();
    if (list.empty()) {
        // A removed reference closes its window.
        FReference->hide();
        SyncReferenceItem();
        return;
    }
    FReference->SetZoom(FWindow.Session().Project().Options().RefZoom);
    if (FWindow.Session().Project().HasVideo())
        ShowOnScreen(*FReference);
    SyncReferenceItem();
}

void TToolWindows::FollowMain()
{
    const TProject &project = FWindow.Session().Project();
    if (!FReference->IsOpen() || !project.HasVideo())
        return;
    const int32_t position = project.Position();
    const int32_t frame = MainFollowFrame(position, project.GetStateAt(position).TotalShift(), project.ViewOffset());
    FReference->Follow(frame, project.Fps());
}

void TToolWindows::StoreRefZoom(int percent)
{
    const TProject &project = FWindow.Session().Project();
    if (project.Options().RefZoom == percent)
        return;
    TProjectOptions options = project.Options();
    options.RefZoom = percent;
    const TEditResult result = FWindow.Session().Editor().SetOptions(options);
    if (result.Applied && result.Record.Kind != ekNone)
        FWindow.UndoStack().push(new TEditCommand(FWindow.Session().Editor(), result.Record));
}

} // namespace tessaly::gui
