// TProjectEditor: the one path by which a user's edits reach a project. Every operation
// checks everything first and changes nothing when it refuses (with the reason as a
// translated text); an applied edit marks the project changed, rebuilds the curve where
// needed, tells the observers once and hands back its undo record. The window's
// controls and `tessaly-cli project` call these same operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project/analysis.h"
#include "project/marker.h"
#include "project/project_undo.h"

namespace tessaly {

class TProject;
class TProjectSources;

// Largest shift of a marker edit, in thousandths of a frame (9999999 frames).
constexpr int64_t kMaxShiftMilli = 9999999000;

struct TEditResult {
    bool Applied = false;
    std::string Error;     // translated reason of a refusal; empty when nothing was to do
    TEditRecord Record;    // the undo step of an applied edit (Kind ekNone for navigation)
    explicit operator bool() const { return Applied; }
};

class TProjectEditor {
public:
    // Neither is owned; `sources` (may be null) receives the flip state of the display.
    explicit TProjectEditor(TProject &project, TProjectSources *sources = nullptr);
    // The project edited, to read.
    const TProject &Project() const { return FProject; }

    // --- markers -------------------------------------------------------------------
    // The buttons Spline, RelCut, DShift, Option at the current position P: refused
    // without a video, outside it, or on a frame that already holds a marker unless
    // `replace`. Values as the new-marker rules give them (curve value, 0 with Affect..).
    TEditResult NewMarker(TMarkerKind kind, bool replace = false);
    // A marker with every field given (the command line): same checks, and the value
    // must fit the marker line; option markers carry neither Affect nor Deactivated.
    TEditResult PlaceMarker(const TMarker &marker, bool replace = false);
    // Deletes the marker on `frame`; an active Affect cut first passes its value on.
    TEditResult DeleteMarker(int32_t frame);
    // The shift field of marker `index`: an integer -9999999 .. 9999999 (Affect rule).
    TEditResult SetShiftValue(int32_t index, const std::string &text);
    // The same with the shift as a number, in thousandths of a frame (at most
    // kMaxShiftMilli either way); an unchanged value is no edit.
    TEditResult SetShiftMilli(int32_t index, int64_t milli);
    // The enable box "± Frm:" (not for option markers); an Affect cut passes its value on.
    TEditResult SetMarkerEnabled(int32_t index, bool enabled);
    // The Affect button of a spline marker or relative cut.
    TEditResult SetAffect(int32_t index, bool affect);
    // Audio box, double box and volume text (0 .. 999, empty = no change) of an option marker.
    TEditResult EditOptionMarker(int32_t index, bool audioOn, bool doubleOn, const std::string &volumeText);
    // Moves the marker on `frame` by `steps` frames (the move buttons give -1 and +1);
    // the position follows it. Refused outside the video or across another marker.
    TEditResult MoveMarker(int32_t frame, int32_t steps);
    // Every marker and chapter but the first by `d` frames (refused with ErrOfs).
    TEditResult ChangeStartOffset(int32_t d);
    // "Change start offset" as typed: a whole number of frames (else the reason).
    TEditResult ChangeStartOffsetText(const std::string &text);
    // "Remove deactivated markers" (the caller asked MsgRmDeact first).
    TEditResult RemoveDeactivated();
    // Suggested markers: every spline point, relative cut and option marker is replaced
    // by those of `markers` (double shifts in it are passed over; the project's own stay).
    // Refused without a video, for a marker outside it, on a double shift's frame, on a
    // frame taken twice, or for a value that does not fit the marker line.
    TEditResult ReplaceSyncMarkers(const std::vector<TMarker> &markers);

    // --- chapters ------------------------------------------------------------------
    TEditResult AddChapter(int32_t frame, bool enabled = true);
    // Refused for the start chapter and where no chapter starts.
    TEditResult DeleteChapter(int32_t frame);
    TEditResult TickChapter(int32_t index, bool enabled);
    TEditResult SetUseChapters(bool on);
    TEditResult SetConcatChapters(bool on);
    // Refused without a video and, in fixed-length mode, for an interval below 100.
    TEditResult InsertChapters(TAutoChapterMode mode, int32_t interval, bool clearFirst);

    // --- options -------------------------------------------------------------------
    // The project settings dialog and the option menu items; refused for a marker draw
    // size outside 1 .. 3, a reference zoom below 1 or a preview offset beyond ±1073741823.
    TEditResult SetOptions(const TProjectOptions &options);

    // --- navigation (display state: applied without an undo record) ----------------
    // The slider: position `frame` (0 .. N-1), view offset 0 unless a preview runs.
    TEditResult MoveTo(int32_t frame, bool previewRunning = false);
    // "Go to frame": an integer 0 .. N-1 (else the reason; the window asks again).
    TEditResult GotoFrameText(const std::string &text);
    // The preset of the Go to frame question: P + view offset, or P when outside.
    int32_t GotoFramePreset() const;
    // "Set view offset": an integer -1073741823 .. 1073741823.
    TEditResult SetViewOffsetText(const std::string &text);
    // Up and Down on the slider: the view offset by -1 / +1, the position stays.
    TEditResult StepViewOffset(int32_t delta);
    // Selecting a marker or chapter in its list: the position goes to its frame.
    TEditResult SelectMarker(int32_t index);
    TEditResult SelectChapter(int32_t index);
    // The marker-list pop-up, for a relative cut.
    TEditResult JumpToCutEnd(int32_t index);
    TEditResult ViewOffsetToCutValue(int32_t index);

    // --- undo ----------------------------------------------------------------------
    // Puts a record's Before (undo) or After (redo) back and marks the project changed;
    // false when the video changed since the record was taken (nothing is touched).
    bool ApplyRecord(const TEditRecord &record, bool redo);

    // --- working copies (no undo record, the changed flag untouched) ---------------
    // The markers, chapters, options and position of another project of the same video;
    // false (nothing changed) when it was taken with another frame count.
    bool TakeSnapshot(const TProjectSnapshot &snapshot);
    // The whole marker list at once: sorted by frame, of markers on one frame the first
    // given stays; false (nothing changed) when one cannot be written as a line.
    bool TakeMarkers(std::vector<TMarker> markers);

    // --- media and new projects (no undo record) ----------------------------------
    // Observers hear of everything between BeginUpdate and the matching EndUpdate once.
    void BeginUpdate();
    void EndUpdate();
    // A source was opened or closed: the media facts are read again (TProject::VideoOpened
    // and AudioOpened); MediaChanged only tells the observers.
    bool VideoOpened(bool *asked = nullptr);
    void AudioOpened();
    void MediaChanged();
    // An open command succeeded: with `toStart` the position and view offset go to 0, a
    // non-empty `zoom` becomes the zoom, and the project is marked changed.
    void MediaOpened(bool toStart, const std::string &zoom);
    // A source was removed by the user: the project is marked changed.
    void MarkChanged();
    // A new, empty project with these defaults, the window's preview range and marker
    // size taken into its options.
    void StartNew(const TProjectDefaults &defaults, int32_t markerDrawSize);

    // --- the project file (no undo record; observers hear of a load once, when the
    // BeginUpdate bracket around it ends) ---------------------------------------------
    // An empty, unchanged project, for a load to fill.
    void ClearForLoad();
    // No markers, the start chapter alone, chapters off.
    void ResetMarkers();
    // The lists as read: the markers (sorted, the first on a frame kept, as SetMarkers)
    // and the chapter list in frame order, replacing the start chapter.
    void TakeLoadedLists(std::vector<TMarker> markers, const std::vector<TChapter> &chapters);
    void TakeLoadedOptions(const TProjectOptions &options);
    // The stored position, with view offset 0.
    void TakeLoadedPosition(int32_t position);
    // The end of a load: the file's name (ok) or an empty project (failed or cancelled),
    // unchanged, every observer told of everything.
    void LoadFinished(const std::string &fileName, bool ok);
    // The project was written to `fileName`: it takes that name and is unchanged.
    void Saved(const std::string &fileName);

private:
    TEditResult Refuse(const std::string &text) const;
    // Runs `apply` inside an update bracket and fills the undo record.
    template <class F> TEditResult Edit(TEditKind kind, int32_t target, F apply);
    bool InVideo(int64_t frame) const;
    std::string OutsideText(int64_t frame) const;
    // A new marker of `kind` at the current position with the value the buttons give it
    // (the curve's value, 0 with Affect, the double shift or the options in force); false
    // when that value does not fit a marker.
    bool NewMarkerAtPosition(TMarkerKind kind, TMarker &marker) const;
    // True when every marker and chapter stays inside the video after a start offset
    // change by d frames.
    bool StartOffsetFits(int32_t d) const;

    TProject &FProject;
    TProjectSources *FSources;
};

} // namespace tessaly
