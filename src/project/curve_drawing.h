// DrawCorrectionCurve: the picture of the shift curve (as it is and with its trend
// removed), the markers as coloured squares and the position marks, drawn onto an
// abstract canvas; the window adapts it to its painter, the tests record it.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly {

class TProject;
struct TMarker;

struct TRgb {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const TRgb &) const = default;
};

struct TCanvasPoint {
    int X = 0, Y = 0;
    bool operator==(const TCanvasPoint &) const = default;
};

// What the curve drawing needs of a painter; coordinates in pixels of the box.
class TCurveCanvas {
public:
    virtual ~TCurveCanvas() = default;
    virtual void FillRect(int x, int y, int width, int height, TRgb colour) = 0;
    // A line through the points in order (at least two).
    virtual void Polyline(const std::vector<TCanvasPoint> &points, TRgb colour) = 0;
    // A filled square of 2 x half + 1 pixels centred on (x, y).
    virtual void FillSquare(int x, int y, int half, TRgb colour) = 0;
};

namespace curve_colours {
inline constexpr TRgb kSilver{192, 192, 192}, kGrey{128, 128, 128}, kCyan{0, 255, 255}, kRed{255, 0, 0},
    kDarkGreen{0, 128, 0}, kBlue{0, 0, 255}, kBlack{0, 0, 0}, kLime{0, 255, 0}, kYellow{255, 255, 0},
    kWhite{255, 255, 255};
}

// The visible part of the video: start p and size s as fractions of the video.
struct TCurveWindow {
    long double Start = 0;
    long double Size = 1;
};
// The colour of a marker's square: by its kind, grey while deactivated.
TRgb CurveMarkerColour(const TMarker &marker);

// s = 100 / zoom; p = P / N - s / 2, at least 0, at most 1 - s (0 without video).
TCurveWindow CurveWindow(int32_t position, int32_t frameCount, int zoomPercent);
// The frame under pixel column x of a curve box `width` pixels wide (2 pixels of margin
// each side), limited to the video; -1 without a video or for a box too narrow.
int32_t CurveFrameAt(int32_t position, int32_t frameCount, int zoomPercent, int x, int width);
// The pixel column of `frame` in such a box (the inverse of CurveFrameAt).
int CurveColumnOf(int32_t position, int32_t frameCount, int zoomPercent, int32_t frame, int width);
// The sample count: samplesPerPixel x width, limited to 10 .. 2048.
int CurveSampleCount(int width, int samplesPerPixel);

// The shift curve at the samples + 1 frames i x N / samples (i = 0 .. samples), where the
// drawing and the axes place their columns, in one walk along the curve; empty without a
// video.
std::vector<long double> CurveSamples(const TProject &project, int samples);

// The axes of the curve box: the time under the box every `Step` seconds, and the shift
// curve's range (its lowest value at the bottom edge, its highest at the top), as the
// drawing scales the grey curve.
struct TCurveTick {
    int X = 0;            // pixel column
    double Seconds = 0;   // time of the video at that column
};
struct TCurveAxes {
    bool Valid = false;               // a video is shown
    double StepSeconds = 0;           // between two time ticks
    std::vector<TCurveTick> Ticks;    // left to right
    long double MinShift = 0, MaxShift = 0;   // frames; equal for a flat curve
};
// Time ticks at least `minSpacing` pixels apart on steps of 1, 2, 5, 10, 15, 30 s, 1, 2,
// 5, 10, 15, 30 min or whole hours.
TCurveAxes CurveAxesOf(const TProject &project, int width, int samplesPerPixel, int zoomPercent, int minSpacing);

// Draws into a box of width x height: the main window's strip passes 1 sample per pixel
// and zoom 100, the curve window 4 and its zoom. Nothing but the background without a video.
void DrawCorrectionCurve(const TProject &project, TCurveCanvas &canvas, int width, int height, int samplesPerPixel,
                         int zoomPercent);

} // namespace tessaly
