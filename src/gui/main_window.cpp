// TMainForm: construction of the window, its layout and the wiring of commands.
#include "gui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QComboBox>
#include <QCheckBox>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include "gui/action_registry.h"
#include "gui/audio_strip.h"
#include "gui/curve_strip.h"
#include "gui/edit_lists.h"
#include "gui/file_panel.h"
#include "gui/frame_presenter.h"
#include "gui/frame_view.h"
#include "gui/language_apply.h"
#include "gui/main_window_tools.h"
#include "gui/qt_text.h"
#include "gui/status_panels.h"
#include "gui/timeline.h"
#include "gui/tool_windows.h"
#include "gui/window_dialogs.h"
#include "media/common/io_image.h"
#include "project/project_session.h"
#include "project/window_texts.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaly::gui {

namespace {

constexpr int kSideLeast = 200;   // the side panels' least width, without the scroll bar
constexpr int kSideMost = 320;    // and their greatest
constexpr int kLowWindow = 560;   // a window lower than this keeps its strips small

} // namespace

TMainForm::TMainForm(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), FSession(session), FSettings(settings), FDialogs(dialogs)
{
    setObjectName(QStringLiteral("TMainForm"));
    setAcceptDrops(true);
    FUndo = new QUndoStack(this);
    FActions = new TActionRegistry(this);
    FActions->BuildMenus(menuBar());
    BuildLayout();
    BuildTimeline();
    ConnectCommands();
    ConnectControls();
    ConnectOptions();
    resize(980, 640);
    FSession.Project().AddObserver(this);
    FActions->SetLanguages(Language().Languages(), CurrentLanguage());
    ApplyLanguage(*this);
    RefreshAll();
    new TToolWindows(*this, FSettings, FDialogs);   // a child: settings, properties, reference, curve
}

TMainForm::~TMainForm()
{
    // The undo stack is cleared on its way out; nothing is to be redrawn then.
    FUndo->disconnect(this);
    FSession.Project().RemoveObserver(this);
    // The decoding worker stops before the views it paints into go.
    delete FFrames;
}

void TMainForm::BuildLayout()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainPanel"));
    auto *columns = new QHBoxLayout(central);
    columns->setContentsMargins(4, 4, 4, 4);

    // Left: picture, curve strip, slider with the zoom choice.
    auto *left = new QVBoxLayout;
    auto *imageArea = new QWidget(central);   // the frame view, or the preview's video
    imageArea->setObjectName(QStringLiteral("ImageArea"));
    auto *imageLayout = new QVBoxLayout(imageArea);
    imageLayout->setContentsMargins(0, 0, 0, 0);
    // A picture larger than the area scrolls instead of being cropped.
    auto *scroll = new QScrollArea(imageArea);
    scroll->setObjectName(QStringLiteral("FrameScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    FFrameView = new TFrameView(scroll);
    scroll->setWidget(FFrameView);
    imageLayout->addWidget(scroll);
    left->addWidget(imageArea, 1);
    FCurve = new TCurveStrip(FSession.Project(), central);
    left->addWidget(FCurve);
    // (the audio strip and the preview row follow the slider: TWindowTools below)
    auto *sliderRow = new QHBoxLayout;
    FSlider = new QSlider(Qt::Horizontal, central);
    FSlider->setObjectName(QStringLiteral("PositionSlider"));
    FSlider->installEventFilter(this);
    FFrames = new TFramePresenter(*FFrameView, *FSlider, [this] { return uint64_t(FSettings.FrameCacheMB()) << 20; },
                                  this);
    FZoomBox = new QComboBox(central);
    FZoomBox->setObjectName(QStringLiteral("ZoomBox"));
    FZoomBox->addItem(Q(Msg("WrdFit")), 0);   // the same as View > Fit to window
    for (int z : {25, 50, 75, 100, 150, 200, 300, 500})
        FZoomBox->addItem(QStringLiteral("%1 %").arg(z), z);
    FZoomBox->setCurrentIndex(4);
    sliderRow->addWidget(FSlider, 1);
    sliderRow->addWidget(FZoomBox);
    left->addLayout(sliderRow);
    columns->addLayout(left, 1);

    // Right: file panel, marker panel, lists.
    auto *right = new QWidget(central);
    right->setObjectName(QStringLiteral("SidePanel"));
    right->setMaximumWidth(kSideMost);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    FFilePanel = new TFilePanel(right);
    FMarkerPanel = new TMarkerPages(right);
    FLists = new TEditLists(right);
    rightLayout->addWidget(FFilePanel);
    rightLayout->addWidget(FMarkerPanel);
    rightLayout->addWidget(FLists, 1);
    // On a low screen (or a large scale factor) the panels scroll instead of making the
    // window taller than the screen.
    auto *side = new QScrollArea(central);
    side->setObjectName(QStringLiteral("SideScroll"));
    side->setFrameShape(QFrame::NoFrame);
    side->setWidgetResizable(true);
    side->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    side->setWidget(right);
    // The panels take at most two fifths of a narrow window (see resizeEvent), so the
    // picture keeps the larger share; they never get narrower than their contents.
    const int bar = side->verticalScrollBar()->sizeHint().width();
    side->setMinimumWidth(std::max(kSideLeast, right->minimumSizeHint().width()) + bar);
    side->setMaximumWidth(right->maximumWidth() + bar);
    FSide = side;
    columns->addWidget(side);
    setCentralWidget(central);
    FTools = new TWindowTools(*this, imageArea, left);   // audio strip and preview row

    // The panels wrap into a second row where the window is too narrow for one.
    FStatus = new TStatusPanels(spCount, statusBar());
    statusBar()->addWidget(FStatus, 1);
}

void TMainForm::BuildTimeline()
{
    FTimeline = new TTimeline(FSession, this);
    FTimelineDock = new QDockWidget(this);
    FTimelineDock->setObjectName(QStringLiteral("TimelineDock"));
    FTimelineDock->setWidget(FTimeline);
    FTimelineDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                               QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::BottomDockWidgetArea, FTimelineDock);
    NameDocks();
    connect(FTimeline, &TTimeline::FrameClicked, this, [this](int32_t frame) {
        if (FSlider->isEnabled())
            GoToFrame(frame);
    });
    // A dragged marker moves as the command line's move-marker moves it: one edit, one
    // undo step; a refusal (onto or past another marker) shows its reason.
    connect(FTimeline, &TTimeline::MarkerDragged, this, [this](int32_t from, int32_t to) {
        ApplyEnables();
        if (!FTimeline->Strip().DragAllowed())
            return;
        EndMergeRun();
        Apply(FSession.Editor().MoveMarker(from, to - from));
    });
    connect(FTimelineDock->toggleViewAction(), &QAction::toggled, this,
            [this](bool shown) { FActions->Action(cmViewTimeline)->setChecked(shown); });
    FActions->Action(cmViewTimeline)->setChecked(FTimelineDock->toggleViewAction()->isChecked());
}

void TMainForm::NameDocks()
{
    FTimelineDock->setWindowTitle(Q(Msg("CapTimeline")));
}

void TMainForm::ConnectCommands()
{
    TActionRegistry &a = *FActions;
    a.BeforeRun = [this] { ApplyEnables(); };
    const std::pair<TCommandId, void (TMainForm::*)()> commands[] = {
        {cmFileNew, &TMainForm::NewProject},          {cmFileOpen, &TMainForm::OpenProject},
        {cmFileSave, &TMainForm::SaveProject},        {cmFileSaveAs, &TMainForm::SaveProjectAs},
        {cmFileRevert, &TMainForm::RevertProject},    {cmFilePhantom, &TMainForm::AskPhantom},
        {cmRemoveDouble, &TMainForm::RemoveDouble},   {cmRemoveRef, &TMainForm::RemoveReference},
        {cmProjectGoto, &TMainForm::AskGoToFrame},    {cmProjectViewOffset, &TMainForm::AskViewOffset},
        {cmLastFrame, &TMainForm::LastFrame},         {cmViewFileArea, &TMainForm::ToggleFileArea},
        {cmViewStatusBar, &TMainForm::ToggleStatusBar}, {cmViewFit, &TMainForm::ToggleFit},
        {cmProjectStartOffset, &TMainForm::AskStartOffset},
        {cmListViewOffset, &TMainForm::ViewOffsetToCut}, {cmListJumpCutEnd, &TMainForm::JumpToCutEnd},
    };
    for (const auto &[id, command] : commands)
        a.Handle(id, [this, command = command] { (this->*command)(); });
    a.Handle(cmFileOpenVideo, [this] { OpenMediaFile(srVideo); });
    a.Handle(cmFileOpenAudio, [this] { OpenMediaFile(srAudio); });
    a.Handle(cmFileOpenDouble, [this] { OpenMediaFile(srDouble); });
    a.Handle(cmFileOpenRef, [this] { OpenMediaFile(srReference); });
    a.Handle(cmFileQuit, [this] { close(); });
    a.Handle(cmStepBack, [this] { Step(-1); });
    a.Handle(cmStepForward, [this] { Step(1); });
    a.Handle(cmSecondBack, [this] { Seconds(-1); });
    a.Handle(cmSecondForward, [this] { Seconds(1); });
    a.Handle(cmFirstFrame, [this] { GoToFrame(0); });
    a.Handle(cmPrevMarker, [this] { NextMarker(-1); });
    a.Handle(cmNextMarker, [this] { NextMarker(1); });
    a.Handle(cmPrevKeyFrame, [this] { NextKeyFrame(-1); });
    a.Handle(cmNextKeyFrame, [this] { NextKeyFrame(1); });
    a.HandleToggle(cmViewTimeline, [this](bool on) { FTimelineDock->setVisible(on); });
    a.Handle(cmViewMarkerSize1, [this] { SetMarkerSize(1); });
    a.Handle(cmViewMarkerSize2, [this] { SetMarkerSize(2); });
    a.Handle(cmViewMarkerSize3, [this] { SetMarkerSize(3); });
    a.Handle(cmEditUndo, [this] {
        EndMergeRun();
        FUndo->undo();
    });
    a.Handle(cmEditRedo, [this] {
        EndMergeRun();
        FUndo->redo();
    });
    connect(FUndo, &QUndoStack::indexChanged, this, [this] { RefreshAll(); });
    connect(FActions, &TActionRegistry::LanguageChosen, this, &TMainForm::ChooseLanguage);
    if (auto *recent = menuBar()->findChild<QMenu *>(QStringLiteral("MenuFileRecent")))
        connect(recent, &QMenu::aboutToShow, this, &TMainForm::FillRecentMenu);
}

void TMainForm::ConnectControls()
{
    connect(FSlider, &QSlider::valueChanged, this, [this](int value) {
        if (FUpdating == 0)
            GoToFrame(value);
    });
    connect(FZoomBox, &QComboBox::currentIndexChanged, this, &TMainForm::ZoomChosen);
    connect(FCurve, &TCurveStrip::FrameClicked, this, [this](int32_t frame) {
        if (FSlider->isEnabled())
            GoToFrame(frame);
    });
    connect(FFrameView, &TFrameView::Clicked, this, [this] { FFrameView->setFocus(Qt::MouseFocusReason); });
    // The wheel steps through the frames, Ctrl+wheel zooms, as in video editors.
    connect(FFrameView, &TFrameView::WheelSteps, this, [this](int steps) {
        if (FSlider->isEnabled())
            Step(-steps);
    });
    connect(FFrameView, &TFrameView::WheelZoom, this, [this](int steps) {
        if (!FZoomBox->isEnabled())
            return;
        // From Fit the wheel starts at 100 %.
        int index = FZoomBox->currentData().toInt() == 0 ? FZoomBox->findData(100) : FZoomBox->currentIndex();
        FZoomBox->setCurrentIndex(std::clamp(index + steps, 1, FZoomBox->count() - 1));
    });
    connect(FFrameView, &TFrameView::FileDropped, this, [this](const QString &file) { OpenDroppedFile(S(file)); });
    connect(FFilePanel, &TFilePanel::OpenRequested, this, [this](TSourceRole role) {
        static const TCommandId opens[4] = {cmFileOpenVideo, cmFileOpenAudio, cmFileOpenDouble, cmFileOpenRef};
        FActions->Action(opens[role])->trigger();
    });
    connect(FFilePanel->RemoveDoubleButton(), &QToolButton::clicked, FActions->Action(cmRemoveDouble), &QAction::trigger);
    connect(FFilePanel->RemoveRefButton(), &QToolButton::clicked, FActions->Action(cmRemoveRef), &QAction::trigger);

    TMarkerPages &m = *FMarkerPanel;
    connect(m.SplineButton, &QPushButton::clicked, this, [this] { AddMarker(1); });
    connect(m.RelCutButton, &QPushButton::clicked, this, [this] { AddMarker(2); });
    connect(m.DShiftButton, &QPushButton::clicked, this, [this] { AddMarker(3); });
    connect(m.OptionButton, &QPushButton::clicked, this, [this] { AddMarker(4); });
    connect(m.DeleteButton, &QPushButton::clicked, this, &TMainForm::DeleteMarker);
    connect(m.ShiftEdit, &QLineEdit::textEdited, this, &TMainForm::ShiftEdited);
    m.ShiftEdit->installEventFilter(this);
    m.VolumeEdit->installEventFilter(this);
    connect(m.EnableBox, &QCheckBox::toggled, this, &TMainForm::EnableToggled);
    connect(m.AffectButton, &QToolButton::clicked, this, &TMainForm::AffectToggled);
    connect(m.AudioBox, &QCheckBox::toggled, this, &TMainForm::OptionEdited);
    connect(m.DoubleBox, &QCheckBox::toggled, this, &TMainForm::OptionEdited);
    connect(m.VolumeEdit, &QLineEdit::textEdited, this, &TMainForm::VolumeEdited);
    connect(m.ChapterAddButton, &QPushButton::clicked, this, &TMainForm::ChapterAdd);
    connect(m.ChapterDelButton, &QPushButton::clicked, this, &TMainForm::ChapterDelete);
    connect(m.SubdivideButton, &QPushButton::clicked, this, &TMainForm::UseChaptersToggled);
    connect(m.ConcatBox, &QCheckBox::toggled, this, &TMainForm::ConcatToggled);

    connect(FLists, &TEditLists::MarkerChosen, this, [this](int row) {
        if (FUpdating == 0)
            Apply(FSession.Editor().SelectMarker(row));
    });
    connect(FLists, &TEditLists::ChapterChosen, this, [this](int row) {
        if (FUpdating == 0)
            Apply(FSession.Editor().SelectChapter(row));
    });
    connect(FLists, &TEditLists::ChapterTicked, this, &TMainForm::ChapterTicked);
    connect(FLists, &QTabWidget::currentChanged, this, [this] { RefreshAll(); });
    connect(FLists->MoveBackButton, &QPushButton::clicked, this, [this] { MoveMarker(-1); });
    connect(FLists->MoveForwardButton, &QPushButton::clicked, this, [this] { MoveMarker(1); });
    connect(FLists->MarkerList, &QListWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        FActions->MarkerListMenu()->popup(FLists->MarkerList->viewport()->mapToGlobal(at));
    });
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // Up and Down on the slider change the view offset without moving the position.
    if (watched == FSlider && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            ChangeViewOffset(key->key() == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    if (watched == FMarkerPanel->ShiftEdit || watched == FMarkerPanel->VolumeEdit)
        if (FieldEvent(event))
            return true;
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::FieldEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        EndMergeRun();   // each visit of a field is one undo step
        return false;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        // The field's own text undo would bypass the project's undo and apply its text
        // as a new edit: leave Ctrl+Z to the window's Undo.
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)) {
            if (event->type() == QEvent::KeyPress)
                FActions->Run(key->matches(QKeySequence::Undo) ? cmEditUndo : cmEditRedo);
            event->ignore();
            return true;
        }
        // Enter and Escape end the typing: the picture takes the keys back.
        if (event->type() == QEvent::KeyPress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                                                   key->key() == Qt::Key_Escape)) {
            FFrameView->setFocus(Qt::OtherFocusReason);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
        OpenDroppedFile(S(urls.first().toLocalFile()));
    }
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    const int bar = FSide->verticalScrollBar()->sizeHint().width();
    FSide->setMaximumWidth(std::max(FSide->minimumWidth(), std::min(kSideMost + bar, width() * 2 / 5)));
    // On a low window the strips under the picture keep their least heights, so that
    // the room left goes to the picture instead of being shared with them.
    const bool low = height() < kLowWindow;
    for (QWidget *strip : {static_cast<QWidget *>(FCurve), static_cast<QWidget *>(&FTools->AudioStrip())})
        strip->setMaximumHeight(low ? strip->minimumHeight() : QWIDGETSIZE_MAX);
    QMainWindow::resizeEvent(event);
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (FFitDocks) {
        FFitDocks = false;
        FitDocks();
    }
}

void TMainForm::FitDocks()
{
    // A fifth of the window's height at most, its preferred height where that is less:
    // on a low screen (or at a large scale factor) the picture keeps its share.
    const int wanted = std::min(FTimelineDock->sizeHint().height(), height() / 5);
    resizeDocks({FTimelineDock}, {std::max(wanted, FTimelineDock->minimumSizeHint().height())}, Qt::Vertical);
}

QString TMainForm::StatusText(int panel) const
{
    return FStatus->Text(panel);
}

} // namespace tessaly::gui
