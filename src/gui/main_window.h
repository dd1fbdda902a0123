// TMainForm: the main window: the current frame, the correction curve strip, the position
// slider, the file panel, the marker panel, the marker and chapter lists, the status line
// and the menus. It draws the session's state and forwards every command to the core.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/marker_pages.h"
#include "project/project_editor.h"
#include "project/project_observer.h"
#include "project/project_sources.h"
#include "project/session_lifecycle.h"

class QLabel;
class QScrollArea;
class QSlider;
class QComboBox;
class QDockWidget;
class QUndoStack;

namespace tessaly {
class TIOImage;
class TProjectSession;
class TSettings;
} // namespace tessaly

namespace tessaly::gui {

class TActionRegistry;
class TCurveStrip;
class TEditLists;
class TFilePanel;
class TStatusPanels;
class TFramePresenter;
class TFrameView;
class TWindowDialogs;
class TTimeline;
class TWindowTools;

class TMainForm : public QMainWindow, private TProjectObserver {
    Q_OBJECT
public:
    // Nothing is owned; all three outlive the window.
    TMainForm(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *parent = nullptr);
    ~TMainForm() override;

    TActionRegistry &Actions() { return *FActions; }
    TProjectSession &Session() { return FSession; }
    TSettings &Settings() { return FSettings; }
    TWindowDialogs &Dialogs() { return FDialogs; }
    // The window's stored state (placement, switches), written back at closing.
    TWindowSettings &WindowSettings() { return FWindowSettings; }
    QUndoStack &UndoStack() { return *FUndo; }
    TFrameView &FrameView() { return *FFrameView; }
    TFramePresenter &Frames() { return *FFrames; }
    TCurveStrip &CurveStrip() { return *FCurve; }
    TFilePanel &FilePanel() { return *FFilePanel; }
    TMarkerPages &MarkerPanel() { return *FMarkerPanel; }
    TEditLists &EditLists() { return *FLists; }
    // The timeline of the whole film (in a dock at the bottom; View > Timeline).
    TTimeline &Timeline() { return *FTimeline; }
    QSlider &PositionSlider() { return *FSlider; }
    // Progress, Calculate, analysis, optimisation, chapters, preview, audio strip, help.
    TWindowTools &Tools() { return *FTools; }
    // The text of status-line panel 0 .. 7.
    QString StatusText(int panel) const;
    TStatusPanels &StatusPanels() { return *FStatus; }

    // The start-up steps: window settings, language, project defaults and the project
    // named by the first argument.
    void Start(const std::vector<std::string> &args);
    // Opens a project file as a dropped file does (asking to save changes first).
    bool LoadProjectFile(const std::string &fileName);
    // A dropped file: a project, a video or the primary audio track.
    void OpenDroppedFile(const std::string &fileName);
    // Redraws everything from the session and applies the enables (after any change).
    void RefreshAll();
    // Moves the position (a slider move: the view offset returns to 0).
    void GoToFrame(int32_t frame);
    // Recomputes the enables from the core's rules and applies them to every action
    // and control (changes nothing else).
    void ApplyEnables();
    // Shows an edit's result: an applied edit becomes an undo step, a refusal shows its
    // reason (unless quiet: a field being typed in), then the window redraws.
    void Apply(const TEditResult &result, bool quiet = false);
    // An edit made by typing in `field`: the field keeps its text while the window
    // redraws; nothing happens while the window fills its controls.
    void ApplyTyped(QWidget *field, const std::function<TEditResult()> &edit);
    bool IsTyping(const QWidget *field) const { return FTyping == field; }
    // Runs a settings write; a refused write is reported, never thrown on.
    void StoreSettings(const std::function<void()> &store);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Files dropped anywhere on the window: the first one is opened as a project, a video
    // or the primary audio track, as its kind says.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // --- construction (main_window.cpp) ----------------------------------------
    void BuildLayout();
    void BuildTimeline();
    // The dock titles in the current language.
    void NameDocks();
    // Gives the timeline dock its starting height: no more than a fifth of the window.
    void FitDocks();
    void ConnectCommands();
    void ConnectControls();
    void ConnectOptions();

    // --- drawing (main_window_view.cpp) ------------------------------------------
    // The change notification of the project: redraws what changed, then the enables.
    void ProjectChanged(unsigned changes) override;
    void Refresh(unsigned changes);
    void RefreshFrame(), RefreshLists(), RefreshPanel(), RefreshStatus(), RefreshOptions();

    // --- commands (main_window_commands.cpp) ---------------------------------------
    void NewProject(), OpenProject(), SaveProject(), SaveProjectAs(), RevertProject();
    void OpenMediaFile(TSourceRole role);
    void RemoveDouble(), RemoveReference(), AskPhantom(), AskGoToFrame(), AskViewOffset();
    void Seconds(int32_t direction);
    void LastFrame();
    void NextMarker(int32_t direction);
    void NextKeyFrame(int32_t direction);
    // The File menu's recent projects: filled when it opens, a project remembered after
    // each open and save.
    void FillRecentMenu();
    void RememberProject();
    void Step(int32_t frames);
    void SetMarkerSize(int size);
    void ZoomChosen();
    void ToggleFileArea();
    void ToggleStatusBar();
    void ToggleFit();
    void ChooseLanguage(const QString &name);
    void ChangeViewOffset(int32_t delta);
    void AskStartOffset();
    void ViewOffsetToCut();
    void JumpToCutEnd();

    // Marker and chapter edits (undoable).
    bool Allowed(const QWidget *control);
    void AddMarker(int kind);
    void DeleteMarker();
    void MoveMarker(int32_t direction);
    void ShiftEdited();
    void EnableToggled(bool on);
    void AffectToggled();
    void OptionEdited() { EditOption(false); }
    void VolumeEdited();
    void EditOption(bool quiet);
    void ChapterAdd();
    void ChapterDelete();
    void ChapterTicked(int row, bool ticked);
    void UseChaptersToggled();
    void ConcatToggled(bool on);
    // Starts a new undo step for the next edit (nothing merges across it).
    void EndMergeRun();
    // Keys of the marker panel's number fields: Enter and Escape hand the keys back to the
    // picture; Undo and Redo are the project's, not the field text's.
    bool FieldEvent(QEvent *event);
    void UpdateUndoTexts();

    TProjectSession &FSession;
    TSettings &FSettings;
    TWindowDialogs &FDialogs;
    TActionRegistry *FActions = nullptr;
    QUndoStack *FUndo = nullptr;
    TFrameView *FFrameView = nullptr;
    TCurveStrip *FCurve = nullptr;
    QSlider *FSlider = nullptr;
    QComboBox *FZoomBox = nullptr;
    TFilePanel *FFilePanel = nullptr;
    TMarkerPages *FMarkerPanel = nullptr;
    TEditLists *FLists = nullptr;
    TWindowTools *FTools = nullptr;
    TTimeline *FTimeline = nullptr;
    QDockWidget *FTimelineDock = nullptr;
    QScrollArea *FSide = nullptr;       // the scrolling side panels (files, marker, lists)
    bool FFitDocks = false;             // the docks take their starting heights at the next show
    TStatusPanels *FStatus = nullptr;
    TFramePresenter *FFrames = nullptr; // the pictures of FFrameView, decoded on a worker
    int32_t FShownFrame = -2;           // frame asked of FFrames, -2: none (the video is opened again)
    TWindowSettings FWindowSettings;    // read at start-up, written back at closing
    int FUpdating = 0;                  // > 0 while the window fills its controls
    QWidget *FTyping = nullptr;         // the field being typed in (not refilled meanwhile)
    int FMergeTag = 1;                  // edits of one run (typing in one field) share it
    bool FMerging = false;              // the edit being applied continues the run
    int32_t FLastMove = 0;              // direction of the move run going on, 0: none
};

} // namespace tessaly::gui
