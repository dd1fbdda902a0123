// TMainForm: the command handlers; each forwards to a core operation and redraws.
#include "gui/main_window.h"

#include <QAction>
#include <QMenu>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>
#include <QUndoStack>

#include "gui/action_registry.h"
#include "gui/spline_form.h"
#include "gui/edit_lists.h"
#include "gui/file_panel.h"
#include "gui/frame_view.h"
#include "gui/language_apply.h"
#include "gui/main_window_tools.h"
#include "gui/preview_player.h"
#include "gui/qt_text.h"
#include "gui/window_dialogs.h"
#include "gui/window_placement.h"
#include "media/input/io_movie_choose.h"
#include "platform/file_system.h"
#include "project/key_frames.h"
#include "project/media_open.h"
#include "project/project_session.h"
#include "project/window_texts.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaly::gui {

namespace {

// The project file dialog's request, starting in the stored project folder.
TFileRequest ProjectRequest(const TSettings &settings, const std::string &title, bool save)
{
    TFileRequest request;
    request.Title = title;
    request.Folder = settings.Folder(fkPrj);
    request.Save = save;
    return request;
}

} // namespace

void TMainForm::Start(const std::vector<std::string> &args)
{
    FWindowSettings = StartSession(FSession, FSettings, args);
    // The last place from the settings, inside the screen as it is now.
    if (FWindowSettings.MainWindow.Width > 0)
        PlaceOnScreen(*this, ToQRect(FWindowSettings.MainWindow));
    else
        FitToScreen(*this, QSize(980, 640));
    FFilePanel->setVisible(FWindowSettings.ShowFileman);
    // The tool windows where they were put.
    if (!FWindowSettings.Docks.empty() &&
        restoreState(QByteArray::fromHex(QByteArray::fromStdString(FWindowSettings.Docks))))
        for (TSplineForm *curve : findChildren<TSplineForm *>())
            curve->KeepPlace();
    else
        FFitDocks = true;   // once the window shows at its size
    statusBar()->setVisible(FWindowSettings.ShowStatus);
    FActions->SetLanguages(Language().Languages(), CurrentLanguage());
    ApplyLanguage(*this);
    FTools->LanguageChanged();
    FUndo->clear();
    FShownFrame = -2;
    RefreshAll();
}

bool TMainForm::LoadProjectFile(const std::string &fileName)
{
    // A missing file is refused and "Save changes?" cancelled: both keep the project and
    // its undo history.
    const bool ok = OpenProjectFile(FSession, fileName);
    if (ok) {
        FUndo->clear();
        RememberProject();
    }
    FShownFrame = -2;
    RefreshAll();
    return ok;
}

void TMainForm::OpenDroppedFile(const std::string &fileName)
{
    const TDropKind kind = DroppedFileKind(fileName);
    if (kind == dkProject) {
        LoadProjectFile(fileName);
        return;
    }
    // As the menu items would: only while media may be opened.
    ApplyEnables();
    if (!FActions->Action(cmFileOpenVideo)->isEnabled())
        return;
    const TSourceRole role = kind == dkAudio ? srAudio : srVideo;
    StoreSettings([&] { tessaly::OpenMedia(FSession, role, fileName, std::string(), OpenMediaOptionsFrom(FSettings)); });
    RefreshAll();
}

void TMainForm::RememberProject()
{
    const TProject &project = FSession.Project();
    if (!project.FileName().empty() && !project.Changed())
        StoreSettings([&] { AddRecentProject(FSettings, ExpandFileName(project.FileName())); });
}

void TMainForm::FillRecentMenu()
{
    auto *menu = qobject_cast<QMenu *>(sender());
    if (!menu)
        return;
    menu->clear();
    const std::vector<std::string> files = RecentProjects(FSettings);
    ApplyEnables();
    const bool allowed = FActions->Action(cmFileOpen)->isEnabled();
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string file = files[i];
        QAction *item = menu->addAction(QStringLiteral("&%1  %2").arg(i + 1).arg(Q(file)));
        item->setObjectName(QStringLiteral("RecentItem%1").arg(i + 1));
        item->setEnabled(allowed);
        connect(item, &QAction::triggered, this, [this, file] { LoadProjectFile(file); });
    }
    menu->menuAction()->setEnabled(true);
    if (files.empty())
        menu->addAction(Q(Msg("WrdNone")))->setEnabled(false);
}

void TMainForm::NewProject()
{
    if (FSession.NewProject())
        FUndo->clear();
    RefreshAll();
}

void TMainForm::OpenProject()
{
    TFileAnswer answer;
    if (!FDialogs.ChooseFile(ProjectRequest(FSettings, Msg("CapDlgOpenPrj"), false), answer))
        return;
    StoreSettings([&] { FSettings.SetFolder(fkPrj, ExtractFilePath(answer.FileName)); });
    LoadProjectFile(answer.FileName);
}

void TMainForm::SaveProject()
{
    FSession.File().SetChooseFileName([this] {
        TFileAnswer answer;
        return FDialogs.ChooseFile(ProjectRequest(FSettings, Msg("CapDlgSavePrj"), true), answer) ? answer.FileName
                                                                                           : std::string();
    });
    FSession.File().Save();
    RememberProject();
    RefreshAll();
}

void TMainForm::SaveProjectAs()
{
    TFileAnswer answer;
    if (!FDialogs.ChooseFile(ProjectRequest(FSettings, Msg("CapDlgSavePrjAs"), true), answer))
        return;
    StoreSettings([&] { FSettings.SetFolder(fkPrj, ExtractFilePath(answer.FileName)); });
    FSession.SaveProject(answer.FileName);
    RememberProject();
    RefreshAll();
}

void TMainForm::RevertProject()
{
    if (FSession.Revert())
        FUndo->clear();
    FShownFrame = -2;
    RefreshAll();
}

void TMainForm::OpenMediaFile(TSourceRole role)
{
    // The file dialog shows the filter table of the source kind; the core does the rest.
    const bool video = role == srVideo || role == srReference;
    TFileRequest request;
    request.Title = OpenDialogTitle(role);
    request.Folder = OpenDialogFolder(FSettings, role);
    request.Filters = LabelChooseFilters(video ? IOMovieChooseFilters(role == srVideo ? 1 : 0, kVideoDialogFilters)
                                               : WaveChooseFilters(0, 0x9A));
    request.Preselected = video ? IOMoviePreselectedFilter(request.Filters, std::string())
                                : WavePreselectedFilter(request.Filters, std::string());
    TFileAnswer answer;
    if (!FDialogs.ChooseFile(request, answer))
        return;
    std::string kind;
    if (answer.Filter >= 0 && size_t(answer.Filter) < request.Filters.size())
        kind = video ? IOMovieChosenKind(request.Filters[size_t(answer.Filter)], nullptr)
                     : WaveChosenKind(request.Filters[size_t(answer.Filter)], nullptr);
    StoreSettings([&] { tessaly::OpenMedia(FSession, role, answer.FileName, kind, OpenMediaOptionsFrom(FSettings)); });
    RefreshAll();
}

void TMainForm::RemoveDouble()
{
    RemoveMedia(FSession, srDouble);
    RefreshAll();
}

void TMainForm::RemoveReference()
{
    RemoveMedia(FSession, srReference);
    RefreshAll();
}

void TMainForm::AskPhantom()
{
    TPhantomValues values = PhantomDialogValues(FSession);
    if (FDialogs.AskPhantomClip(values))
        tessaly::CreatePhantom(FSession, values);
    RefreshAll();
}

void TMainForm::AskGoToFrame()
{
    std::string text = std::to_string(FSession.Editor().GotoFramePreset());
    // A refused answer shows its reason and asks again.
    while (FDialogs.AskText(Msg("MsgGotoFrm"),
                            Msg("MsgGotoPrm"), text)) {
        // A time (hh:mm:ss.mmm) goes to the frame shown at that time.
        TEditResult result = FSession.Editor().GotoFrameText(GotoAnswerAsFrame(text, FSession.Project().Fps()));
        Apply(result);
        if (result.Applied || result.Error.empty())
            return;
    }
}

void TMainForm::AskViewOffset()
{
    std::string text = std::to_string(FSession.Project().ViewOffset());
    while (FDialogs.AskText(Msg("MsgOfsFrm"),
                            Msg("MsgOfsPrmt"), text)) {
        TEditResult result = FSession.Editor().SetViewOffsetText(text);
        Apply(result);
        if (result.Applied || result.Error.empty())
            return;
    }
}

void TMainForm::GoToFrame(int32_t frame)
{
    if (FSession.Project().HasVideo())
        Apply(FSession.Editor().MoveTo(std::clamp<int32_t>(frame, 0, FSession.Project().FrameCount() - 1)));
}

void TMainForm::ChangeViewOffset(int32_t delta)
{
    Apply(FSession.Editor().StepViewOffset(delta));
}

void TMainForm::Step(int32_t frames)
{
    GoToFrame(int32_t(std::clamp<int64_t>(int64_t(FSession.Project().Position()) + frames, 0, INT32_MAX)));
}

void TMainForm::Seconds(int32_t direction)
{
    Step(direction * std::max<int32_t>(1, int32_t(FSession.Project().Fps() + 0.5L)));
}

void TMainForm::LastFrame()
{
    GoToFrame(FSession.Project().FrameCount() - 1);
}

void TMainForm::NextMarker(int32_t direction)
{
    // The nearest marker before (direction -1) or after (+1) the position.
    const TProject &project = FSession.Project();
    const int32_t count = project.MarkerCount();
    for (int32_t k = 0; k < count; ++k) {
        const TMarker m = project.GetMarker(direction < 0 ? count - 1 - k : k);
        if (direction < 0 ? m.Frame < project.Position() : m.Frame > project.Position())
            return GoToFrame(m.Frame);
    }
}

void TMainForm::NextKeyFrame(int32_t direction)
{
    const TProject &project = FSession.Project();
    const int32_t frame =
        NearestKeyFrame(FSession.Sources().Video(), project.Position(), direction, project.FrameCount());
    if (frame >= 0)
        GoToFrame(frame);
}

void TMainForm::ChooseLanguage(const QString &name)
{
    if (!SelectLanguage(S(name)))
        return;
    StoreSettings([this] { FSettings.SetLanguageName(CurrentLanguage()); });
    ApplyLanguage(*this);
    // The tool windows (curve, reference, settings ...) switch as well, shown or not.
    for (QWidget *child : findChildren<QWidget *>())
        if (child->isWindow())
            ApplyLanguage(*child);
    for (QDockWidget *dock : findChildren<QDockWidget *>())
        if (dock->widget() && !dock->widget()->objectName().isEmpty())
            ApplyLanguage(*dock->widget());
    FTools->LanguageChanged();
    NameDocks();
    RefreshAll();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    TWindowSettings w = FWindowSettings;
    w.ShowFileman = FFilePanel->isVisibleTo(this);
    w.ShowStatus = statusBar()->isVisibleTo(this);
    w.MarkerDrawSize = FSession.Project().Options().MarkerDrawSize;
    w.Language = CurrentLanguage();
    // Only a valid range is kept for the next start.
    if (PreviewRangeValid(FSession.Project().Options().PreviewEnv))
        w.PreviewEnv = FSession.Project().Options().PreviewEnv;
    w.MainWindow = ToWindowRect(normalGeometry());
    w.Docks = saveState().toHex().toStdString();
    // A running preview is stopped first (it cannot stop while it renders a file); the
    // preview's temporary file is deleted on closing.
    FTools->Preview().Stop();
    if (!CloseSession(FSession, FSettings, w, !FTools->Preview().CanClose(), true)) {
        event->ignore();
        return;
    }
    event->accept();
}

void TMainForm::StoreSettings(const std::function<void()> &store)
{
    try {
        store();
    } catch (const ESettingsWriteError &error) {
        FDialogs.Error(error.what());
    }
}

} // namespace tessaly::gui
