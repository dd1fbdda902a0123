// TProject: the one open document: media facts, markers, chapters, per-project options,
// the shift curve built from the markers, and the frame state at every video frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/common/frame_timing.h"
#include "project/frame_state.h"
#include "project/marker.h"
#include "project/project_media.h"
#include "project/project_observer.h"
#include "project/project_options.h"
#include "project/spline.h"
#include "shell/project_defaults.h"

namespace tessaly {

class TUserInterface;

class TProject {
public:
    // Neither pointer is owned; either may be null (no messages / no sources).
    explicit TProject(TUserInterface *ui = nullptr, TProjectMedia *media = nullptr);

    void SetUserInterface(TUserInterface *ui) { FUi = ui; }
    void SetMedia(TProjectMedia *media) { FMedia = media; }
    // Takes the program settings a new project starts from; ClearProject applies them.
    void SetDefaults(const TProjectDefaults &defaults) { FDefaults = defaults; }
    // SetDefaults, then the project is cleared and takes the preview range as well:
    // what a new project of the program starts as.
    void StartNew(const TProjectDefaults &defaults);
    const TProjectDefaults &Defaults() const { return FDefaults; }

    // --- media facts -------------------------------------------------------
    // Re-reads the video facts after an open; keeps the markers when frame count and
    // rate are unchanged, else asks (when markers exist) and resets. True when reset;
    // `asked` (optional) tells whether the reset question was put.
    bool VideoOpened(bool *asked = nullptr);
    // Takes the inversion tolerance from the primary track's sample rate.
    void AudioOpened();
    bool HasVideo() const { return FFrameCount > 0 && !FVideoFileName.empty(); }
    bool HasAudio() const { return FMedia && FMedia->HasAudio(); }
    bool HasDouble() const { return FMedia && FMedia->HasDouble(); }
    bool HasReference() const { return FMedia && FMedia->HasReference(); }
    int32_t FrameCount() const { return FFrameCount; }
    int32_t RateNumerator() const { return FRateNum; }
    int32_t RateDenominator() const { return FRateDen; }
    // The video's rate (not valid before a video was opened) and the sample frames before `frame`
    // at `sampleRate` by the one timing formula of the writers.
    TFrameRate FrameRate() const;
    int64_t SamplesUpToFrame(int64_t frame, uint32_t sampleRate) const;
    long double Fps() const;   // 0 without video
    long double SampleTime() const { return FSampleTime; }

    // --- document state ----------------------------------------------------
    // The setters tell the observers when the value really changes.
    const std::string &FileName() const { return FFileName; }
    void SetFileName(const std::string &name);
    bool Changed() const { return FChanged; }
    void SetChanged(bool changed);
    // Writing through the non-const reference tells nobody: call NotifyChange(pcOptions)
    // afterwards, or use SetOptions.
    TProjectOptions &Options() { return FOptions; }
    const TProjectOptions &Options() const { return FOptions; }
    void SetOptions(const TProjectOptions &options);
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t frame);
    int32_t ViewOffset() const { return FViewOffset; }
    void SetViewOffset(int32_t offset);
    // GlobalShift when UseGlobalShift is on, else 0.
    int32_t PreviewOffset() const;

    // --- markers (sorted by frame, at most one per frame) ------------------
    // Markers are held as values; a text line is made only for a list or a file.
    int32_t MarkerCount() const { return static_cast<int32_t>(FMarkers.size()); }
    // Zeros for an index out of range.
    TMarker GetMarker(int32_t index) const;
    // All markers in frame order.
    const std::vector<TMarker> &Markers() const { return FMarkers; }
    // The marker list entry (its text line), "" out of range.
    std::string MarkerLine(int32_t index) const;
    // The index of the marker on `frame`, -1 when none; logarithmic in the marker count.
    int32_t FindMarker(int32_t frame) const;
    // The index of the last marker at or before `frame`, -1 when none.
    int32_t MarkerAtOrBefore(int32_t frame) const;
    // Inserts in frame order or replaces the marker on the same frame; returns its index,
    // -1 when the marker cannot be written as a line (nothing stored).
    int32_t AddMarker(const TMarker &marker);
    // Replaces in place; false out of range, unformattable, or when the marker's frame
    // would leave the frame order or land on another marker.
    bool SetMarker(int32_t index, const TMarker &marker);
    // Replaces the whole list: sorted by frame, and of markers on the same frame the
    // first one given stays. False (nothing changed) when one cannot be written as a line.
    bool SetMarkers(std::vector<TMarker> markers);
    void DeleteMarker(int32_t index);
    // Passes a value change of the marker at index on to the following spline markers.
    void CorrectFollowing(int32_t index, int32_t delta);
    // The same with the change in thousandths of a frame.
    void CorrectFollowingMilli(int32_t index, int64_t deltaMilli);

    // --- chapters (sorted by frame, at most one per frame) ------------------
    // 0 when chapters are off.
    int32_t ChapterCount() const;
    // All entries of the list, used or not.
    int32_t ChapterListCount() const { return static_cast<int32_t>(FChapters.size()); }
    // Frame -1, disabled out of range or with chapters off.
    TChapter GetChapter(int32_t index) const;
    // Entry `index` of the whole list, whether chapters are used or not.
    TChapter GetListChapter(int32_t index) const;
    std::string ChapterLine(int32_t index) const;
    // Inserts in frame order or replaces the entry on the same frame; -1 for a negative frame.
    int32_t AddChapter(const TChapter &chapter);
    // Removes an entry of the list; the chapter at frame 0 cannot be removed.
    bool DeleteChapter(int32_t index);
    bool SetChapterEnabled(int32_t index, bool enabled);
    // Empties the chapter list, including the start chapter (project loading).
    void ClearChapters();
    int32_t ChapterLength(int32_t index) const;
    // The chapter holding `frame`: 1-based number (0 if none), first frame, enabled.
    void ChapterAt(int32_t frame, int32_t &number, int32_t &start, bool &enabled) const;
    int32_t OutputFrameCount() const;
    int32_t LastOutputFrame() const;

    // --- whole project -----------------------------------------------------
    void ResetMarkers();
    void ClearProject();

    // --- change notification and undo -------------------------------------
    // Observers are not owned; each is told once per change (or once per bracket).
    // Watching a project does not change it: a read-only holder may register.
    void AddObserver(TProjectObserver *observer) const;
    void RemoveObserver(TProjectObserver *observer) const;
    // Tells the observers about `changes` now, or at the end of the open bracket.
    void NotifyChange(unsigned changes);
    // Brackets nest; the collected changes are told when the outermost one ends.
    void BeginUpdate() { ++FUpdateDepth; }
    void EndUpdate();
    TProjectSnapshot Snapshot() const;
    // Puts markers, chapters, options, position and view offset back and rebuilds the
    // curve; false (nothing changed) when the snapshot was taken with another frame
    // count (the video changed in between). Does not touch the changed flag.
    bool Restore(const TProjectSnapshot &snapshot);

    // --- shift curve and frame state ---------------------------------------
    // Builds the curve from the spline markers; every marker change does it too.
    void RebuildSpline();
    // Curve value at frame x (in frames); 0 without video. Logarithmic in the marker count.
    long double SplineShiftAt(long double x) const;
    // The curve at each of `frames`: with the frames in rising order one walk along the
    // curve (linear in their count and the marker count) where a frame has one point of
    // the curve, SplineShiftAt where the curve folds back; the two agree to far below a
    // thousandth of a frame.
    std::vector<long double> SplineShiftsAt(const std::vector<long double> &frames) const;
    // Logarithmic in the marker and chapter counts.
    TFrameState GetStateAt(int32_t frame) const;
    const TDeactivatedStats &DeactivatedStats() const { return FDeactStats; }
    // Shows an error message through the user interface (nothing without one).
    void ShowError(const char *key) const;   // the message of `key` in the current language
    void ShowErrorText(const std::string &text) const;
    TUserInterface *UserInterface() const { return FUi; }

private:
    // What the markers up to and including one say about the frames from it on.
    struct TMarkerRun {
        long double CutShift = 0;
        long double DoubleShift = 0;
        uint8_t OptionFlags = 0;
        int16_t DoubleVolume = 100;
    };
    // The marker list changed: the running states and the curve follow, observers hear.
    void MarkersChanged();
    void RebuildRuns();

    TUserInterface *FUi;
    TProjectMedia *FMedia;
    TProjectDefaults FDefaults;
    std::string FVideoFileName;
    int32_t FFrameCount = 0;
    int32_t FRateNum = -1;
    int32_t FRateDen = 1;
    long double FSampleTime = 1.0L / 11025;
    std::string FFileName;
    bool FChanged = false;
    TProjectOptions FOptions;
    int32_t FPosition = 0;
    int32_t FViewOffset = 0;
    std::vector<TMarker> FMarkers;
    std::vector<TMarkerRun> FRuns;   // FRuns[i]: the state after FMarkers[0 .. i]
    std::vector<TChapter> FChapters;
    TSpline FSpline;
    TDeactivatedStats FDeactStats;
    mutable std::vector<TProjectObserver *> FObservers;
    int FUpdateDepth = 0;
    unsigned FPending = 0;
};

} // namespace tessaly
