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
#include "shell/help_topics.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaly::gui {

TWindowTools::TWindowTools(TMainForm &window, QWidget *imageArea, QBoxLayout *column)
    : QObject(&window), FWindow(window), FProgress(&window), FImageArea(imageArea)
{
    setObjectName(QStringLiteral("WindowTools"));
    TProjectSession &session = window.Session();
    FAudioStrip = new TAudioStripView(session, column->parentWidget());
    FAudioStrip->setObjectName(QStringLiteral("AudioStrip"));
    column->addWidget(FAudioStrip);
    FPreview = new TPreviewPlayer(session, window.Settings(), &FProgress, imageArea);
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
    FWindow.Session().Project().RemoveObserver(this);
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
    FPreviewButton->setToolTip(Q(Msg("TMainForm.PreviewButton.Hint")));
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
    TActionRegistry &actions = FWindow.Actions();
    actions.Handle(cmProjectCalc, [this] { Calculate(); });
    actions.Handle(cmProjectAnalyze, [this] { Analyze(); });
    actions.Handle(cmProjectSuggest, [this] { SuggestMarkers(); });
    actions.Handle(cmProjectInsertChapters, [this] { InsertChapters(); });
    actions.Handle(cmViewOptimization, [this] { ToggleOptimization(); });
    actions.Handle(cmPreviewStart, [this] { FPreview->Toggle(QGuiApplication::keyboardModifiers()); });
    actions.Handle(cmPreviewAround, [this] { FPreview->ChooseMode(0); });
    actions.Handle(cmPreviewFrom, [this] { FPreview->ChooseMode(1); });
    actions.Handle(cmPreviewTo, [this] { FPreview->ChooseMode(2); });
    actions.Handle(cmOptionsProject, [this] { ProjectSettings(); });
    actions.Handle(cmHelpContents, [this] { ShowHelp(htContents); });
    actions.Handle(cmHelpTutorial, [this] { ShowHelp(htTutorials); });
    actions.Handle(cmHelpOnHelp, [this] { ShowHelp(htHelpOnHelp); });
    actions.Handle(cmHelpAbout, [this] { ShowAbout(); });
    actions.HandleToggle(cmHelpHints, [this](bool on) { FWindow.WindowSettings().ShowHints = on; });   // stored at closing
    actions.HandleToggle(cmPreviewMuteAudio, [this](bool on) { FPreview->SetMutePrimary(on); });
    actions.HandleToggle(cmPreviewMuteDouble, [this](bool on) { FPreview->SetMuteDouble(on); });
    connect(FWindow.MarkerPanel().CalculateButton, &QPushButton::clicked, this, [this] {
        FWindow.ApplyEnables();
        if (FWindow.MarkerPanel().CalculateButton->isEnabled())
            Calculate();
    });
    connect(FOptimization, &TOptimizationForm::GoToFrame, &FWindow, &TMainForm::GoToFrame);
    connect(FOptimization, &TOptimizationForm::RemoveConfirmed, this,
            [this] { FWindow.Apply(FWindow.Session().Editor().RemoveDeactivated()); });
}

void TWindowTools::ConnectPreview()
{
    connect(FPreviewButton, &QToolButton::clicked, FWindow.Actions().Action(cmPreviewStart), &QAction::trigger);
    connect(FPreviewButton, &QToolButton::customContextMenuRequested, this, [this] {
        if (FPreviewButton->isEnabled())
            FPreview->CycleMode();
    });
    connect(FRangeEdit, &QLineEdit::textEdited, this, &TWindowTools::RangeEdited);
    connect(FPreview, &TPreviewPlayer::RunningChanged, this, [this](bool running) {
        // The video widget shows itself; the still image gives way to it.
        FWindow.FrameView().setVisible(!running);
        FWindow.RefreshAll();
        FWindow.setFocus();
    });
    connect(FPreview, &TPreviewPlayer::ButtonImageChanged, this,
            [this] { FPreviewButton->setIcon(FPreview->ButtonImage()); });
    // The mode entries as radio items showing the preview's mode.
    static const TCommandId modeItems[3] = {cmPreviewAround, cmPreviewFrom, cmPreviewTo};
    auto *modes = new QActionGroup(this);
    for (TCommandId id : modeItems)
        modes->addAction(FWindow.Actions().Action(id));
    FWindow.Actions().Action(modeItems[FPreview->Mode()])->setChecked(true);
    connect(FPreview, &TPreviewPlayer::ModeChanged, this, [this](int mode) {
        FRangeLabel->setText(FPreview->RangeLabel());
        FWindow.Actions().Action(modeItems[mode])->setChecked(true);
    });
    connect(FPreview, &TPreviewPlayer::MutesChanged, this, [this] {
        FWindow.Actions().Action(cmPreviewMuteAudio)->setChecked(FPreview->MutePrimary());
        FWindow.Actions().Action(cmPreviewMuteDouble)->setChecked(FPreview->MuteDouble());
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
    FWindow.ApplyTyped(FRangeEdit, [&] {
        TProjectOptions options = FWindow.Session().Project().Options();
        options.PreviewEnv = S(text);
        return FWindow.Session().Editor().SetOptions(options);
    });
}

void TWindowTools::FillFacts(TWindowFacts &facts) const
{
    facts.Busy = FPreview->Running();
    facts.RangeText = S(FRangeEdit->text());
    facts.OptimizationWindow = FOptimization != nullptr;
}

void TWindowTools::ApplyEnables(const TEnables &e)
{
    // The actions have their enables from their rows; here the controls.
    FPreviewButton->setEnabled(e.Preview);
    FRangeEdit->setEnabled(e.Navigate);
    FWindow.MarkerPanel().CalculateButton->setEnabled(e.CalculateButton);
    FWindow.Actions().Action(cmHelpHints)->setChecked(FWindow.WindowSettings().ShowHints);
    // The range field shows the project's range unless it is being typed in.
    const QString range = Q(FWindow.Session().Project().Options().PreviewEnv);
    if (!FWindow.IsTyping(FRangeEdit) && FRangeEdit->text() != range)
        FRangeEdit->setText(range);
}

void TWindowTools::ProjectChanged(unsigned changes)
{
    if (changes & (pcMarkers | pcOptions | pcChapters))
        FPreview->MarkOutOfDate(true);   // acts only while a preview runs
}

bool TWindowTools::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !FWindow.WindowSettings().ShowHints)
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
            FWindow.Actions().Run(key->key() == Qt::Key_A ? cmPreviewMuteAudio : cmPreviewMuteDouble);
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
    TProjectArrange &a = FWindow.Session().Arrange();
    if (const QScreen *screen = FWindow.screen()) {
        a.ScreenWidth = screen->size().width();
        a.ScreenHeight = screen->size().height();
    }
    const QRect frame = FWindow.frameGeometry();
    a.Left = frame.x();
    a.Top = frame.y();
    a.Width = frame.width();
    a.Height = frame.height();
    a.ShowFileman = FWindow.FilePanel().isVisibleTo(&FWindow);
    // Looked up, not asked for: statusBar() would make one where there is none.
    const auto *status = FWindow.findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly);
    a.ShowStatus = status && status->isVisibleTo(&FWindow);
}

void TWindowTools::Calculate()
{
    const TCalculateRun run = RunCalculate(FWindow.Session(), FWindow.Settings(), FWindow.Dialogs(), &FWindow);
    FWindow.RefreshAll();
    NoticeCalculateDone(run, FWindow.Dialogs(), OpenFolder ? OpenFolder : OpenFolderOnDesktop);
}

void TWindowTools::Analyze()
{
    TAnalysisResult result;
    if (!RunProjectAnalysis(FWindow.Session(), &FWindow, result))
        return;
    TAnalysisForm form(result, &FWindow);
    ApplyLanguage(form);
    connect(&form, &TAnalysisForm::GoToFrame, &FWindow, &TMainForm::GoToFrame);
    form.exec();
}

void TWindowTools::SuggestMarkers()
{
    TProjectSession &session = FWindow.Session();
    TWindowDialogs &dialogs = FWindow.Dialogs();
    // The recording in sync with the video: the double track, else the reference video,
    // else a file the user picks.
    std::string against;
    if (!session.Project().HasDouble() && !session.Project().HasReference()) {
        TFileRequest request;
        request.Title = Msg("CapSuggestAgainst");
        request.Filters.push_back({Msg("CapAllFiles") + " (*)", "*", ksAuto, -1, {}});
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
        dialogs.Error(Msg("ErrSuggest") + "\n" + error);
        return;
    }
    if (status == autosync::ssNoMatch) {
        dialogs.Message(mtInformation,
                        FormatText(Msg("MsgNoMatch"),
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
    request.Title = Msg("CapDlgSavePlot");
    request.Save = true;
    request.Filters.push_back({Msg("CapSvgFiles") + " (*.svg)", "*.svg", ksAuto, -1, {}});
    const std::string project = FWindow.Session().Project().FileName();
    request.Folder = project.empty() ? std::string() : ChangeFileExt(project, ".svg");
    TFileAnswer answer;
    if (!FWindow.Dialogs().ChooseFile(request, answer) || answer.FileName.empty())
        return;
    std::string error;
    if (!WriteFileAtomic(answer.FileName, svg, &error))
        FWindow.Dialogs().Error(error);
}

void TWindowTools::InsertChapters()
{
    FWindow.EditLists().setCurrentIndex(epOutput);
    TInsertChaptersDialog dialog(FWindow.Settings().AutoChaptersInterval(), &FWindow);
    ApplyLanguage(dialog);
    FitToScreen(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.Mode() == acFixedLength)
        FWindow.StoreSettings([&] { FWindow.Settings().SetAutoChaptersInterval(dialog.Interval()); });
    FWindow.Apply(FWindow.Session().Editor().InsertChapters(dialog.Mode(), dialog.Interval(), dialog.ClearFirst()));
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
    TProjectSettingsDlg dialog(FWindow.Session().Project().Options(), &FWindow);
    ApplyLanguage(dialog);
    FitToScreen(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TProjectOptions options = dialog.Options();
    if (!(options == FWindow.Session().Project().Options()))
        FWindow.Apply(FWindow.Session().Editor().SetOptions(options));
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
