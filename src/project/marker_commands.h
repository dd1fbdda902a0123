// The editing commands of a project: new markers at the current position, delete, value
// and option edits, enable/disable, Affect, moving by one frame, the start offset change
// and the chapter commands. Each marks the project changed and rebuilds the shift curve
// when spline markers or relative cuts changed.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

class TProject;

// New markers at the current position P; each returns the marker's index (-1 when it
// cannot be stored). A spline point takes the rounded curve value at P, a relative cut
// value 0 with Affect on, a double shift the double shift in force, an option marker the
// options in force with volume "no change".
int32_t SetPoint(TProject &project);
int32_t SetRelCut(TProject &project);
int32_t SetDShift(TProject &project);
int32_t SetOption(TProject &project);

// Deletes the marker on P (an active cut first passes its value on); false when no
// marker sits on P (the caller beeps).
bool DeleteMarkerAtPosition(TProject &project);
// The same for the marker on `frame`.
bool DeleteMarkerAt(TProject &project, int32_t frame);

// Largest shift of a marker edit, in thousandths of a frame (9999999 frames).
constexpr int64_t kMaxShiftMilli = 9999999000;

// Sets the shift of marker `index` (thousandths of a frame, at most kMaxShiftMilli either
// way), passing the change on by the Affect rule; false when refused or nothing changed.
bool EditMarkerValue(TProject &project, int32_t index, int64_t milli);

// Enables or disables marker `index` (not option markers); an Affect cut passes its
// value on. False when refused or unchanged.
bool SetMarkerEnabled(TProject &project, int32_t index, bool enabled);

// Flips the Affect flag of a spline marker or relative cut; false for other kinds.
bool ToggleAffect(TProject &project, int32_t index);

// Edits option marker `index`: audio and double boxes and the volume text (0 .. 999, or
// empty for no change); a volume equal to the one in force before it becomes no change.
// False (marker untouched) for another kind or a bad volume text.
bool EditOptionMarker(TProject &project, int32_t index, bool audioOn, bool doubleOn,
                      const std::string &volumeText);

// Moves the marker on P and P itself by `direction` (-1 or +1); false when there is no
// marker on P, the target is outside the video or a neighbour marker sits there.
bool MoveMarker(TProject &project, int32_t direction);

// Moves every marker and chapter (but the first) by d frames, keeping the audio where it
// was; refused with the ErrOfs message when something would leave the video, with
// ErrInternal when a marker cannot be read or written. True when applied.
bool ChangeStartOffset(TProject &project, int32_t d);
// The range check of the start offset change alone: true when every marker and chapter
// stays inside the video.
bool StartOffsetFits(const TProject &project, int32_t d);

// Adds an enabled chapter at P (replacing one on the same frame); returns its index.
int32_t AddChapterAtPosition(TProject &project);
// Deletes chapter `index` of the list (never the one at frame 0).
bool DeleteChapterAt(TProject &project, int32_t index);
// Ticks or unticks chapter `index`.
bool TickChapter(TProject &project, int32_t index, bool enabled);

} // namespace tessaly
