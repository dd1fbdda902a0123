// The timeline's view of the whole film: which frames a strip of pixels shows, zoomed
// and scrolled, the markers on it and where a marker dragged with the mouse lands. The
// window draws and forwards the mouse; the arithmetic lives here.
#pragma once

#include <cstdint>

namespace tessaly {

class TProject;

class TTimelineView {
public:
    // The frames per pixel when the whole film fills the width; the least frames per
    // pixel (the deepest zoom: 16 pixels a frame).
    static constexpr double kMinFramesPerPixel = 1.0 / 16;

    // A film of `frameCount` frames in `width` pixels; keeps the zoom where it can and
    // shows the whole film the first time (or when the film changed).
    void SetFilm(int32_t frameCount, int width);
    int32_t FrameCount() const { return FFrames; }
    int Width() const { return FWidth; }
    double FirstFrame() const { return FFirst; }
    double FramesPerPixel() const { return FPerPixel; }
    bool WholeFilm() const;

    // The frame under pixel x (0 .. FrameCount - 1; -1 without film), and the pixel of
    // a frame's start.
    int32_t FrameAt(double x) const;
    double XOf(double frame) const;

    // Ctrl+wheel: each step zooms in (> 0) or out (< 0) by a quarter, the frame under x
    // staying under x; never beyond the whole film or the deepest zoom.
    void ZoomAt(double x, int steps);
    // Shows the whole film.
    void Fit();
    // The wheel and the scroll bar: the first frame shown, kept inside the film.
    void ScrollTo(double firstFrame);
    void ScrollBy(double pixels) { ScrollTo(FFirst + pixels * FPerPixel); }
    // Brings `frame` into view (scrolling by whole pages, as a player's timeline does).
    void Follow(int32_t frame);
    // Frames shown across the width.
    double VisibleFrames() const { return FWidth * FPerPixel; }

    // The marker whose line is within `tolerance` pixels of x (the nearest), -1 when none.
    int32_t MarkerNear(const TProject &project, double x, double tolerance) const;

private:
    void Clamp();

    int32_t FFrames = 0;
    int FWidth = 0;
    double FFirst = 0;
    double FPerPixel = 1;
};

} // namespace tessaly
