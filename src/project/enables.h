// CheckEnables as data: the state of the main window and its project in a small record,
// and one boolean per control, as a pure function of it. The window applies the result
// to every action and widget after each change notification.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

class TProject;

// The page of the list area.
enum TEditPage { epEditing, epOutput };

// The page the marker panel shows.
enum TMarkerPanelPage {
    mpNewMarker,          // Editing page, no marker on the position
    mpShiftProperties,    // Editing page, a spline, cut or double-shift marker on it
    mpOptionProperties,   // Editing page, an option marker on it
    mpChapter,            // Output page
};

// Facts the window owns (beyond the project).
struct TWindowFacts {
    bool Busy = false;                 // a preview runs
    TEditPage Page = epEditing;
    std::string RangeText = "2";       // the preview range field
    bool OptimizationWindow = false;   // the optimisation window exists
    bool CanUndo = false, CanRedo = false;   // the undo history has a step to undo / redo
};

struct TEnableState {
    bool HasVideo = false, HasAudio = false, HasDouble = false, HasReference = false;
    bool Busy = false;
    bool HasName = false, Changed = false;   // project file name, changed flag
    TEditPage Page = epEditing;
    TMarkerPanelPage PanelPage = mpNewMarker;
    int32_t Position = 0, FrameCount = 0;
    bool MarkerBefore = false, MarkerAfter = false;   // a marker on P - 1 / P + 1
    uint8_t SelectedKind = 0;          // kind of the marker on P (0: none)
    bool EnableBoxTicked = false;      // the marker on P is not deactivated
    bool MarkersExist = false;
    int32_t ChapterListCount = 1;
    bool ChaptersUsed = false;
    bool ChapterOnP = false;           // a chapter starts on P
    bool LaterChapterOnP = false;      // a chapter other than the first starts on P
    int32_t LastOutputFrame = -1;
    std::string RangeText = "2";
    bool OptimizationWindow = false;
    bool CanUndo = false, CanRedo = false;
};

// One flag per control of the main window.
struct TEnables {
    bool Always = false;           // help, properties, view switches: on in every state
    bool Undo = false, Redo = false;
    bool OpenMedia = false;        // media open commands and buttons, phantom clip, file-panel names
    bool New = false, OpenProject = false, Quit = false;
    bool Language = false, GlobalSettings = false, ProjectSettings = false;
    bool Revert = false;
    bool RemoveDouble = false, RemoveReference = false;
    bool Preview = false;          // preview start/stop menu and button
    bool Navigate = false;         // slider, Go to frame, Set view offset, zoom, Fit to window, preview range
    bool ViewReference = false;    // View reference, show-reference button
    bool Optimization = false;
    bool Save = false, SaveAs = false;
    bool MutePrimary = false, MuteDouble = false;   // released when disabled
    bool NewMarkerButtons = false;
    bool InsertChapters = false;
    bool Calculate = false, Analyze = false;
    bool SuggestMarkers = false;   // markers from a recording in sync with the video
    bool ChangeStartOffset = false;
    bool MarkerList = false, DeleteMarker = false;
    bool EnableBox = false, ShiftField = false, AffectButton = false;
    bool OptionBoxes = false, VolumeField = false;
    bool MoveBackward = false, MoveForward = false;
    bool SubdivideChapters = false, CalculateButton = false;
    bool ChapterList = false, ConcatChapters = false, ChapterAdd = false, ChapterDelete = false;
    bool CutPopup = false;         // the two marker-list pop-up entries (a relative cut selected)
    bool DragMarker = false;       // markers dragged on the timeline

    bool operator==(const TEnables &) const = default;
};

// The enables of the main window for `state`; no side effects.
TEnables CheckEnables(const TEnableState &state);

// The marker panel page for the project's position on `page`.
TMarkerPanelPage MarkerPanelPageOf(const TProject &project, TEditPage page);

// The state record of a project and the window's facts.
TEnableState EnableStateOf(const TProject &project, const TWindowFacts &window);

// The preview range field: a number of seconds from 0.1 to 1e10 (either decimal
// separator, blanks around it ignored); false for anything else. The preview and the
// enables read the field through this one parser.
bool ParsePreviewRange(const std::string &text, long double &seconds);
bool PreviewRangeValid(const std::string &text);

} // namespace tessaly
