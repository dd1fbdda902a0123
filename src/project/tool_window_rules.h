// Rules of the tool windows (settings, reference and curve windows) as pure functions:
// the settings window's close button, the reference frame that follows the main video,
// the curve window's zoom and first place, and the size a fitted window takes.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// The settings window's close button: enabled when the size limit is off or the size
// list text is an integer from 8 to 2147483647.
bool OptionsCloseEnabled(bool limitOn, const std::string &sizeText);

// The main video's frame the reference follows: round(position + total shift) + view
// offset (ties to even), limited to the 32-bit range.
int32_t MainFollowFrame(int32_t position, long double totalShift, int32_t viewOffset);

// The reference frame shown while the main video is at frame `mainFrame` of rate
// `mainRate`: round(refRate x mainFrame / mainRate), ties to even; -1 (nothing to show)
// without a reference (refRate not above 0) or without a main rate.
int32_t ReferenceFrame(long double refRate, int32_t mainFrame, long double mainRate);

// True when `frame` is a frame of a source of `frameCount` frames; any other frame
// shows as dark grey.
inline bool FrameInside(int32_t frame, int32_t frameCount) { return frame >= 0 && frame < frameCount; }

// The curve window's zoom in percent from its list text: a whole number from 100 to
// 10000, anything else gives 100.
int SplineZoom(const std::string &text);

struct TWindowRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TWindowRect &) const = default;
};

// The curve window's first place: across the whole work area, its top moved down so
// that it covers the lower quarter (top = bottom - (bottom - top) div 4).
TWindowRect SplineFirstRect(const TWindowRect &workArea);

// A window moved and, where it is larger, shrunk to lie inside `area` (the screen's
// available part); an empty window takes `fallback`'s size centred in the area first.
TWindowRect FitIntoArea(const TWindowRect &window, const TWindowRect &area, const TWindowRect &fallback = {});
// "left,top,width,height" and back; false for any other text or a size below 1.
std::string FormatWindowRect(const TWindowRect &r);
bool ParseWindowRect(const std::string &text, TWindowRect &r);
// The curve window's first place on a work area beside the main window `main`: the
// lower quarter of the main window's width and height, inside the area.
TWindowRect SplineFirstRectBeside(const TWindowRect &main, const TWindowRect &workArea);

// Fitting a picture window: the window grows or shrinks by the difference between the
// picture (inner) and the visible client area plus 4 pixels each way, limited below by
// `minimum` and above by the size of `limit`; then it moves left and up as far as
// needed to stay inside `limit`.
TWindowRect FitWindowRect(const TWindowRect &window, int innerWidth, int innerHeight, int clientWidth,
                          int clientHeight, int minWidth, int minHeight, const TWindowRect &limit);

} // namespace tessaly
