// TWindowTools: creation of the work pieces under the picture and in their own windows,
// their menu entries and keys, and their enables from the core's enable record.
#include "gui/main_window_tools.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QRegularExpressionValidator>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include "gui/action_registry.h"
#include "gui/analysis_form.h"
#include "gui/audio_strip.h"
#include "gui/calculate_command.h"
#include "gui/edit_lists.h"
#include "gui/file_panel.h"
#include "gui/frame_view.h"
#include "gui/help_window.h"
#include "gui/insert_chapters_dialog.h"
#include "gui/language_apply.h"
#include "gui/main_window.h"
#include "gui/optimization_form.h"
#include "gui/preview_player.h"
#include "gui/project_settings_dlg.h"
#include "gui/qt_text.h"
#include "gui/suggest_dialog.h"
#include "gui/window_dialogs.h"
#include "gui/calculate_notice.h"
#include "gui/window_placement.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/project_text.h"
#include "shell/help_topics.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaly::gui {

TWindowTools::TWindowTools(TMainForm &window, QWidget *imageArea, QBoxLayout *column)
    : QObject(&window), FWindow(window), FProgress(&window), FImageArea(imageArea)
{
    setObjectName(QStringLiteral("WindowTools"));
    TProjectSession &session = window.FSession;
    FAudioStrip = new TAudioStripView(session, column->parentWidget());
    FAudioStrip->setObjectName(QStringLiteral("AudioStrip"));
    column->addWidget(FAudioStrip);
    FPreview = new TPreviewPlayer(session, window.FSettings, &FProgress, imageArea);
    FOptimization = new TOptimizationForm(session, &window);
    FOptimization->hide();
    BuildPreviewRow(column);
    ConnectActions();
    ConnectPreview();
    // One filter for the whole program: the image area's size, the window's keys and
    // the tool tips of every window (the hints switch).
    qApp->installEventFilter(this);
    session.Project().AddObserver(this);
}

TWindowTools::~TWindowTools()
{
    FWindow.FSession.Project().RemoveObserver(this);
}

THelpWindow &TWindowTools::Help()
{
    if (!FHelp)
        FHelp = new THelpWindow(&FWindow);
    return *FHelp;
}

void TWindowTools::BuildPreviewRow(QBoxLayout *column)
{
    QWidget *parent = column->parentWidget();
    auto *row = new QHBoxLayout;
    FPreviewButton = new QToolButton(parent);
    FPreviewButton->setObjectName(QStringLiteral("PreviewButton"));
    FPreviewButton->setIconSize(QSize(24, 24));
    FPreviewButton->setIcon(FPreview->ButtonImage());
    FPreviewButton->setToolTip(QStringLiteral("Preview (Space); right click: mode"));
    FPreviewButton->setContextMenuPolicy(Qt::CustomContextMenu);
    FRangeLabel = new QLabel(FPreview->RangeLabel(), parent);
    FRangeLabel->setObjectName(QStringLiteral("RangeLabel"));
    // The range: typed (a number of seconds, nothing else) or picked from a list.
    auto *ranges = new QComboBox(parent);
    ranges->setObjectName(QStringLiteral("RangeBox"));
    ranges->setEditable(true);
    ranges->setInsertPolicy(QComboBox::NoInsert);
    ranges->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("5"),
                      QStringLiteral("10"), QStringLiteral("20")});
    ranges->setMaximumWidth(80);
    FRangeEdit = ranges->lineEdit();
    FRangeEdit->setObjectName(QStringLiteral("RangeEdit"));
    FRangeEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,9}([.,][0-9]{0,6})?")), FRangeEdit));
    connect(ranges, &QComboBox::textActivated, this, &TWindowTools::RangeEdited);
    row->addWidget(FPreviewButton);
    row->addWidget(FRangeLabel);
    row->addWidget(ranges);
    row->addStretch(1);
    column->addLayout(row);
}

void TWindowTools::ConnectActions()
{
    FWindow.Bind("ProjectCalcItem", [this] { Calculate(); });
    FWindow.Bind("ProjectAnalyzeItem", [this] { Analyze(); });
    FWindow.Bind("ProjectSuggestItem", [this] { SuggestMarkers(); });
    FWindow.Bind("ProjectInsertChaptersItem", [this] { InsertChapters(); });
    FWindow.Bind("ViewOptimizationItem", [this] { ToggleOptimization(); });
    FWindow.Bind("PreviewStartItem", [this] { FPreview->Toggle(QGuiApplication::keyboardModifiers()); });
    FWindow.Bind("PreviewAroundItem", [this] { FPreview->ChooseMode(0); });
    FWindow.Bind("PreviewFromItem", [this] { FPreview->ChooseMode(1); });
    FWindow.Bind("PreviewToItem", [this] { FPreview->ChooseMode(2); });
    FWindow.Bind("OptionsProjectItem", [this] { ProjectSettings(); });
    FWindow.Bind("HelpContentsItem", [this] { ShowHelp(htContents); });
    FWindow.Bind("HelpTutorialItem", [this] { ShowHelp(htTutorials); });
    FWindow.Bind("HelpOnHelpItem", [this] { ShowHelp(htHelpOnHelp); });
    FWindow.Bind("HelpAboutItem", [this] { ShowAbout(); });
    connect(FWindow.Actions().Action(QStringLiteral("HelpHintsItem")), &QAction::triggered, this,
            [this](bool on) { FWindow.FWindowSettings.ShowHints = on; });   // stored at closing
    connect(FWindow.Actions().Action(QStringLiteral("PreviewMuteAudioItem")), &QAction::triggered, this,
            [this](bool on) { FPreview->SetMutePrimary(on); });
    connect(FWindow.Actions().Action(QStringLiteral("PreviewMuteDoubleItem")), &QAction::triggered, this,
            [this](bool on) { FPreview->SetMuteDouble(on); });
    connect(FWindow.FMarkerPanel->CalculateButton, &QPushButton::clicked, this, [this] {
        FWindow.ApplyEnables();
        if (FWindow.FMarkerPanel->CalculateButton->isEnabled())
            Calculate();
    });
    connect(FOptimization, &TOptimizationForm::GoToFrame, &FWindow, &TMainForm::GoToFrame);
    connect(FOptimization, &TOptimizationForm::RemoveConfirmed, this,
            [this] { FWindow.Apply(FWindow.FSession.Editor().RemoveDeactivated()); });
}

void TWindowTools::ConnectPreview()
{
    connect(FPreviewButton, &QToolButton::clicked, FWindow.Actions().Action(QStringLiteral("PreviewStartItem")),
            &QAction::trigger);
    connect(FPreviewButton, &QToolButton::customContextMenuRequested, this, [this] {
        if (FPreviewButton->isEnabled())
            FPreview->CycleMode();
    });
    connect(FRangeEdit, &QLineEdit::textEdited, this, &TWindowTools::RangeEdited);
    connect(FPreview, &TPreviewPlayer::RunningChanged, this, [this](bool running) {
        // The video widget shows itself; the still image gives way to it.
        FWindow.FFrameView->setVisible(!running);
        FWindow.RefreshAll();
        FWindow.setFocus();
    });
    connect(FPreview, &TPreviewPlayer::ButtonImageChanged, this,
            [this] { FPreviewButton->setIcon(FPreview->ButtonImage()); });
    // The mode entries as radio items showing the preview's mode.
    static const char *const modeItems[3] = {"PreviewAroundItem", "PreviewFromItem", "PreviewToItem"};
    auto *modes = new QActionGroup(this);
    for (const char *name : modeItems) {
        QAction *item = FWindow.Actions().Action(QLatin1String(name));
        item->setCheckable(true);
        modes->addAction(item);
    }
    FWindow.Actions().Action(QLatin1String(modeItems[FPreview->Mode()]))->setChecked(true);
    connect(FPreview, &TPreviewPlayer::ModeChanged, this, [this](int mode) {
        FRangeLabel->setText(FPreview->RangeLabel());
        FWindow.Actions().Action(QLatin1String(modeItems[mode]))->setChecked(true);
    });
    connect(FPreview, &TPreviewPlayer::MutesChanged, this, [this] {
        FWindow.Actions().Action(QStringLiteral("PreviewMuteAudioItem"))->setChecked(FPreview->MutePrimary());
        FWindow.Actions().Action(QStringLiteral("PreviewMuteDoubleItem"))->setChecked(FPreview->MuteDouble());
    });
    FPreview->SetFolderChooser([this](std::string &folder) {
        const QString chosen = QFileDialog::getExistingDirectory(&FWindow, Q(Msg("CapDlgTempDir")),
                                                                 Q(folder), QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return false;
        folder = S(chosen);
        return true;
    });
}

void TWindowTools::RangeEdited(const QString &text)
{
    if (FWindow.FUpdating > 0)
        return;
    TProjectOptions options = FWindow.FSession.Project().Options();
    options.PreviewEnv = S(text);
    FWindow.FTyping = FRangeEdit;
    FWindow.Apply(FWindow.FSession.Editor().SetOptions(options), true);
    FWindow.FTyping = nullptr;
}

void TWindowTools::FillFacts(TWindowFacts &facts) const
{
    facts.Busy = FPreview->Running();
    facts.RangeText = S(FRangeEdit->text());
    facts.OptimizationWindow = FOptimization != nullptr;
}

void TWindowTools::ApplyEnables(const TEnables &e)
{
    TActionRegistry &actions = FWindow.Actions();
    for (const char *name : {"PreviewStartItem", "PreviewAroundItem", "PreviewFromItem", "PreviewToItem"})
        actions.Action(QLatin1String(name))->setEnabled(e.Preview);
    FPreviewButton->setEnabled(e.Preview);
    FRangeEdit->setEnabled(e.Navigate);
    actions.Action(QStringLiteral("ProjectCalcItem"))->setEnabled(e.Calculate);
    FWindow.FMarkerPanel->CalculateButton->setEnabled(e.CalculateButton);
    actions.Action(QStringLiteral("ProjectAnalyzeItem"))->setEnabled(e.Analyze);
    actions.Action(QStringLiteral("ProjectSuggestItem"))->setEnabled(e.SuggestMarkers);
    actions.Action(QStringLiteral("ProjectInsertChaptersItem"))->setEnabled(e.InsertChapters);
    actions.Action(QStringLiteral("ViewOptimizationItem"))->setEnabled(e.Optimization);
    actions.Action(QStringLiteral("OptionsProjectItem"))->setEnabled(e.ProjectSettings);
    for (const char *name : {"HelpContentsItem", "HelpTutorialItem", "HelpOnHelpItem", "HelpHintsItem", "HelpAboutItem"})
        actions.Action(QLatin1String(name))->setEnabled(true);
    actions.Action(QStringLiteral("HelpHintsItem"))->setChecked(FWindow.FWindowSettings.ShowHints);
    // The range field shows the project's range unless it is being typed in.
    const QString range = Q(FWindow.FSession.Project().Options().PreviewEnv);
    if (FWindow.FTyping != FRangeEdit && FRangeEdit->text() != range)
        FRangeEdit->setText(range);
}

void TWindowTools::ProjectChanged(unsigned changes)
{
    if (changes & (pcMarkers | pcOptions | pcChapters))
        FPreview->MarkOutOfDate(true);   // acts only while a preview runs
}

bool TWindowTools::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !FWindow.FWindowSettings.ShowHints)
        return true;
    if (watched == FImageArea && event->type() == QEvent::Resize)
        FPreview->LayoutVideo();
    if (watched == &FWindow &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show))
        StoreArrange();
    if (watched == &FWindow && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool plain = !(key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_A || key->key() == Qt::Key_D)) {
            // The mutes as their menu items: only while the core enables them.
            QAction *item = FWindow.Actions().Action(
                key->key() == Qt::Key_A ? QStringLiteral("PreviewMuteAudioItem") : QStringLiteral("PreviewMuteDoubleItem"));
            FWindow.ApplyEnables();
            if (item->isEnabled())
                item->trigger();
            return true;
        }
        if (FPreview->HandleKey(key->key(), key->modifiers()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

void TWindowTools::LanguageChanged()
{
    FRangeLabel->setText(FPreview->RangeLabel());
}

void TWindowTools::StoreArrange()
{
    // What a saved project records of the window: the screen, the outer frame and
    // whether the file area and the status bar are switched on.
    TProjectArrange &a = FWindow.FSession.Arrange();
    if (const QScreen *screen = FWindow.screen()) {
        a.ScreenWidth = screen->size().width();
        a.ScreenHeight = screen->size().height();
    }
    const QRect frame = FWindow.frameGeometry();
    a.Left = frame.x();
    a.Top = frame.y();
    a.Width = frame.width();
    a.Height = frame.height();
    a.ShowFileman = FWindow.FFilePanel && FWindow.FFilePanel->isVisibleTo(&FWindow);
    // Looked up, not asked for: statusBar() would make one where there is none.
    const auto *status = FWindow.findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly);
    a.ShowStatus = status && status->isVisibleTo(&FWindow);
}

void TWindowTools::Calculate()
{
    const TCalculateRun run = RunCalculate(FWindow.FSession, FWindow.FSettings, FWindow.FDialogs, &FWindow);
    FWindow.RefreshAll();
    NoticeCalculateDone(run, FWindow.FDialogs, OpenFolder ? OpenFolder : OpenFolderOnDesktop);
}

void TWindowTools::Analyze()
{
    TAnalysisResult result;
    if (!RunProjectAnalysis(FWindow.FSession, &FWindow, result))
        return;
    TAnalysisForm form(result, &FWindow);
    ApplyLanguage(form);
    connect(&form, &TAnalysisForm::GoToFrame, &FWindow, &TMainForm::GoToFrame);
    form.exec();
}

void TWindowTools::SuggestMarkers()
{
    TProjectSession &session = FWindow.FSession;
    TWindowDialogs &dialogs = FWindow.FDialogs;
    // The recording in sync with the video: the double track, else the reference video,
    // else a file the user picks.
    std::string against;
    if (!session.Project().HasDouble() && !session.Project().HasReference()) {
        TFileRequest request;
        request.Title = ProjectText("CapSuggestAgainst", "Recording in sync with the video");
        request.Filters.push_back({ProjectText("CapAllFiles", "All files") + " (*)", "*"});
        request.Folder = ExtractFilePath(session.FileList(srAudio));
        TFileAnswer answer;
        if (!dialogs.ChooseFile(request, answer) || answer.FileName.empty())
            return;
        against = answer.FileName;
    }
    autosync::TSuggestRun run;
    std::string error;
    const autosync::TSuggestStatus status = autosync::SuggestMarkers(session, against, &FProgress, run, error);
    FProgress.Close();
    if (status == autosync::ssAborted)
        return;
    if (status == autosync::ssFailed) {
        dialogs.Error(ProjectText("ErrSuggest", "No markers could be suggested:") + "\n" + error);
        return;
    }
    if (status == autosync::ssNoMatch) {
        dialogs.Message(mtInformation,
                        FormatText(ProjectText("MsgNoMatch", "No match: the primary track and the %s do not share "
                                                             "enough material (unrelated or too short to judge)."),
                                   {run.What}),
                        mbOK);
        return;
    }
    TSuggestDialog dialog(run, &FWindow);
    FitToScreen(dialog);
    ApplyLanguage(dialog);
    connect(&dialog, &TSuggestDialog::SavePlotRequested, &dialog, [&] { SavePlot(run.Svg); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    FWindow.Apply(session.Editor().ReplaceSyncMarkers(run.Suggestion.Markers));
}

void TWindowTools::SavePlot(const std::string &svg)
{
    TFileRequest request;
    request.Title = ProjectText("CapSavePlot", "Save picture");
    request.Save = true;
    request.Filters.push_back({ProjectText("CapSvgFiles", "SVG pictures") + " (*.svg)", "*.svg"});
    const std::string project = FWindow.FSession.Project().FileName();
    request.Folder = project.empty() ? std::string() : ChangeFileExt(project, ".svg");
    TFileAnswer answer;
    if (!FWindow.FDialogs.ChooseFile(request, answer) || answer.FileName.empty())
        return;
    std::string error;
    if (!WriteFileAtomic(answer.FileName, svg, &error))
        FWindow.FDialogs.Error(error);
}

void TWindowTools::InsertChapters()
{
    FWindow.FLists->setCurrentIndex(epOutput);
    TInsertChaptersDialog dialog(FWindow.FSettings.AutoChaptersInterval(), &FWindow);
    ApplyLanguage(dialog);
    FitToScreen(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.Mode() == acFixedLength)
        FWindow.StoreSettings([&] { FWindow.FSettings.SetAutoChaptersInterval(dialog.Interval()); });
    FWindow.Apply(FWindow.FSession.Editor().InsertChapters(dialog.Mode(), dialog.Interval(), dialog.ClearFirst()));
}

void TWindowTools::ToggleOptimization()
{
    FOptimization->setVisible(!FOptimization->isVisible());
    if (FOptimization->isVisible()) {
        ApplyLanguage(*FOptimization);
        FOptimization->Refresh();
        FOptimization->raise();
    }
}

void TWindowTools::ProjectSettings()
{
    TProjectSettingsDlg dialog(FWindow.FSession.Project().Options(), &FWindow);
    ApplyLanguage(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TProjectOptions options = dialog.Options();
    if (!(options == FWindow.FSession.Project().Options()))
        FWindow.Apply(FWindow.FSession.Editor().SetOptions(options));
}

void TWindowTools::ShowHelp(int topic)
{
    Help().ShowTopic(topic);
}

void TWindowTools::ShowAbout()
{
    auto *about = new TAboutDlg(&FWindow);
    about->setAttribute(Qt::WA_DeleteOnClose);
    ApplyLanguage(*about);
    about->open();
}

} // namespace tessaly::gui
