// The texts and small records the main window shows: the status line panels, the
// caption, the marker panel's contents, the file panel's names and the optimisation
// window's values. Words come through the language module.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "project/enables.h"
#include "project/frame_state.h"
#include "project/project_sources.h"
#include "project/project_undo.h"

namespace tessaly {

class TProject;

// The status line: frame (with its time), shift, double shift, options, double volume, chapter, changed,
// project name. All empty without a video.
enum TStatusPanel { spFrame, spShift, spDShift, spOption, spVolume, spChapter, spChanged, spName, spCount };
using TStatusTexts = std::array<std::string, spCount>;
TStatusTexts StatusTexts(const TProject &project);

// A time as "hh:mm:ss.mmm" (negative times with a leading "-").
std::string FormatTimecode(long double seconds);
// The Go-to answer as a frame number: a time ("1:02.5", "00:01:02.500", at least one
// colon) becomes the frame starting at that time at `fps`; other texts stay as they are
// (the editor checks them).
std::string GotoAnswerAsFrame(const std::string &text, long double fps);

// "NAME.tsp - Tessaly", or the program name alone for an unnamed project.
std::string WindowCaption(const TProject &project, const std::string &programName = "Tessaly");

// What the marker panel shows at the current position.
struct TMarkerPanel {
    TMarkerPanelPage Page = mpNewMarker;
    int32_t MarkerIndex = -1;     // the marker on P (selected in the marker list), -1 none
    int32_t ChapterIndex = -1;    // the chapter starting on P (chapter list), -1 none
    bool EnableTicked = false;    // "± Frm:" = not deactivated
    std::string ShiftText;        // the marker's value
    bool AffectDown = false;
    bool AudioTicked = false;     // option page: primary audio on
    bool DoubleTicked = false;    // option page: double audio on
    std::string VolumeText;       // option page: empty for no change
};
TMarkerPanel MarkerPanelOf(const TProject &project, TEditPage page);

// The marker list entry and the chapter list entry as shown (chapter words translated).
std::string MarkerListText(const TProject &project, int32_t index);
std::string ChapterListText(const TProject &project, int32_t index);

// The name of an undo step after its edit, translated ("Add spline point", "Move marker").
// A new marker is named after its kind, read from the project the edit was applied to.
std::string EditStepName(const TProject &project, const TEditRecord &record);
// The Undo and Redo menu entries naming their step ("Undo Add spline point").
std::string UndoItemText(const std::string &stepName);
std::string RedoItemText(const std::string &stepName);

// The first file of a file list: the template with its first part, or the name itself.
std::string FirstSegmentName(const std::string &fileList);
// The first line of an open's error message ("Error opening video file:" and the
// quoted first file of the list), translated.
std::string OpenErrorLead(TSourceRole role, const std::string &fileList);
// The name the file panel shows for a source: its first file, "" when none.
std::string FilePanelName(const TProjectSources &sources, TSourceRole role);

// The optimisation window: "(n)", the frame button, the deviation and its colour class.
enum TDeviationClass { dcNone, dcGreen, dcYellow, dcRed };
struct TOptimizationView {
    std::string CountText;       // "(n)"
    std::string FrameText;       // the frame of the largest error, "-" when none
    std::string DeviationText;   // the error with 3 decimals, "" when none
    TDeviationClass Colour = dcNone;
    int32_t Frame = -1;          // where the frame button goes
    bool ButtonsEnabled = false; // frame button and "Remove deactivated markers"
};
TOptimizationView OptimizationViewOf(const TDeactivatedStats &stats);

} // namespace tessaly
