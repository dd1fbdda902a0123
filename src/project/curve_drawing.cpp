// The correction curve drawing.
#include "project/curve_drawing.h"

#include <algorithm>
#include <cmath>

#include "project/marker.h"
#include "project/project.h"

namespace tessaly {

namespace {

using namespace curve_colours;

// Maps fractions of the video and curve values to pixels of the box. Rounds as
// nearbyintl does (the current mode, halves to even) without its saving and restoring of
// the floating-point state, which costs more than the rest of a marker's square.
struct TMapping {
    TCurveWindow View;
    int Width = 0, Height = 0;
    long double Min = 0, Max = 0;
    bool Flat() const { return Max - Min < 0.1L; }
    int X(long double f) const
    {
        return static_cast<int>(std::rintl((f - View.Start) * (Width - 4) / View.Size + 2));
    }
    int Y(long double v) const
    {
        if (Flat())
            return Height / 2;
        return static_cast<int>(std::rintl(Height - 2 - (Height - 4) * (v - Min) / (Max - Min)));
    }
    bool Visible(int x) const { return x > 0 && x < Width; }
};

void DrawValues(TCurveCanvas &canvas, TMapping m, const std::vector<long double> &v, TRgb colour)
{
    auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    m.Min = *lo;
    m.Max = *hi;
    std::vector<TCanvasPoint> points;
    if (m.Flat()) {
        points = {{2, m.Height / 2}, {m.Width - 2, m.Height / 2}};
    } else {
        const size_t samples = v.size() - 1;
        for (size_t i = 0; i <= samples; ++i) {
            int x = m.X(static_cast<long double>(i) / samples);
            if (m.Visible(x))
                points.push_back({x, m.Y(v[i])});
        }
    }
    if (points.size() >= 2)
        canvas.Polyline(points, colour);
}

} // namespace

TRgb CurveMarkerColour(const TMarker &marker)
{
    if (marker.Deactivated)
        return kGrey;
    switch (marker.Kind) {
    case mkSpline: return kRed;
    case mkRelCut: return kDarkGreen;
    case mkDShift: return kBlue;
    default: return kBlack;
    }
}

int32_t CurveFrameAt(int32_t position, int32_t frameCount, int zoomPercent, int x, int width)
{
    if (frameCount <= 0 || width <= 4)
        return -1;
    const TCurveWindow w = CurveWindow(position, frameCount, zoomPercent);
    const long double fraction = (x - 2) * w.Size / (width - 4) + w.Start;
    return int32_t(std::clamp<long double>(std::nearbyintl(fraction * frameCount), 0, frameCount - 1));
}

int CurveColumnOf(int32_t position, int32_t frameCount, int zoomPercent, int32_t frame, int width)
{
    if (frameCount <= 0 || width <= 4)
        return 0;
    const TCurveWindow w = CurveWindow(position, frameCount, zoomPercent);
    const long double f = static_cast<long double>(frame) / frameCount;
    return static_cast<int>(std::nearbyintl((f - w.Start) * (width - 4) / w.Size + 2));
}

TCurveWindow CurveWindow(int32_t position, int32_t frameCount, int zoomPercent)
{
    TCurveWindow w;
    w.Size = zoomPercent > 0 ? 100.0L / zoomPercent : 1;
    if (frameCount <= 0)
        return w;
    w.Start = std::max(0.0L, static_cast<long double>(position) / frameCount - w.Size / 2);
    if (w.Start + w.Size > 1)
        w.Start = 1 - w.Size;
    return w;
}

TCurveAxes CurveAxesOf(const TProject &project, int width, int samplesPerPixel, int zoomPercent, int minSpacing)
{
    TCurveAxes axes;
    const int32_t n = project.FrameCount();
    const long double fps = project.Fps();
    if (!project.HasVideo() || n <= 0 || fps <= 0 || width <= 4)
        return axes;
    axes.Valid = true;
    const std::vector<long double> v = CurveSamples(project, CurveSampleCount(width, samplesPerPixel));
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    axes.MinShift = *lo;
    axes.MaxShift = *hi;
    const TCurveWindow w = CurveWindow(project.Position(), n, zoomPercent);
    const double shownSeconds = static_cast<double>(w.Size * n / fps);
    const double pixelsPerSecond = (width - 4) / shownSeconds;
    static const double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    axes.StepSeconds = 3600 * std::ceil(minSpacing / pixelsPerSecond / 3600);
    for (double step : kSteps)
        if (step * pixelsPerSecond >= minSpacing) {
            axes.StepSeconds = step;
            break;
        }
    const double first = static_cast<double>(w.Start * n / fps);
    for (double t = std::ceil(first / axes.StepSeconds) * axes.StepSeconds; t <= first + shownSeconds;
         t += axes.StepSeconds)
        axes.Ticks.push_back({static_cast<int>(std::lround((t - first) * pixelsPerSecond + 2)), t});
    return axes;
}

std::vector<long double> CurveSamples(const TProject &project, int samples)
{
    const int32_t n = project.FrameCount();
    if (!project.HasVideo() || n <= 0 || samples <= 0)
        return {};
    std::vector<long double> frames(static_cast<size_t>(samples) + 1);
    for (int i = 0; i <= samples; ++i)
        frames[size_t(i)] = static_cast<long double>(i) * n / samples;
    return project.SplineShiftsAt(frames);
}

int CurveSampleCount(int width, int samplesPerPixel)
{
    long long s = static_cast<long long>(width) * samplesPerPixel;
    return static_cast<int>(std::clamp(s, 10LL, 2048LL));
}

void DrawCorrectionCurve(const TProject &project, TCurveCanvas &canvas, int width, int height, int samplesPerPixel,
                         int zoomPercent)
{
    canvas.FillRect(0, 0, width, height, kSilver);
    const int32_t n = project.FrameCount();
    if (!project.HasVideo() || width <= 0 || height <= 0)
        return;
    const int32_t position = project.Position();
    TMapping m;
    m.View = CurveWindow(position, n, zoomPercent);
    m.Width = width;
    m.Height = height;
    const int samples = CurveSampleCount(width, samplesPerPixel);
    const std::vector<long double> v = CurveSamples(project, samples);
    std::vector<long double> detrended(v.size());
    DrawValues(canvas, m, v, kGrey);
    const long double d = v.back() - v.front();
    for (int i = 0; i <= samples; ++i)
        detrended[size_t(i)] = v[size_t(i)] - static_cast<long double>(i) / samples * d;
    DrawValues(canvas, m, detrended, kCyan);

    // The squares sit on the de-trended curve's scale.
    auto [lo, hi] = std::minmax_element(detrended.begin(), detrended.end());
    m.Min = *lo;
    m.Max = *hi;
    auto point = [&](int32_t frame, long double shift) {
        long double f = static_cast<long double>(frame) / n;
        return TCanvasPoint{m.X(f), m.Y(shift - f * d)};
    };
    auto at = [&](int32_t frame) { return point(frame, project.SplineShiftAt(frame)); };
    const int size = std::clamp(project.Options().MarkerDrawSize, 1, 3);
    // Only the markers of the visible frames (and two pixels' worth either side, where
    // rounding may still place them in the box) are looked at; the curve under them is
    // found in one walk along it, as they come in frame order.
    const long double margin = width > 4 ? 2 * m.View.Size / (width - 4) : m.View.Size;
    const long double firstFrame = std::floor((m.View.Start - margin) * n);
    const long double lastFrame = std::ceil((m.View.Start + m.View.Size + margin) * n);
    const std::vector<TMarker> &markers = project.Markers();
    const int32_t first = firstFrame <= 0 ? 0 : project.MarkerAtOrBefore(static_cast<int32_t>(firstFrame)) + 1;
    const int32_t onPosition = project.FindMarker(position);
    std::vector<const TMarker *> shown;
    std::vector<long double> frames;
    for (size_t i = static_cast<size_t>(first); i < markers.size() && markers[i].Frame <= lastFrame; ++i)
        if (markers[i].Frame != position) {
            shown.push_back(&markers[i]);
            frames.push_back(markers[i].Frame);
        }
    const std::vector<long double> shifts = project.SplineShiftsAt(frames);
    for (size_t i = 0; i < shown.size(); ++i) {
        TCanvasPoint c = point(shown[i]->Frame, shifts[i]);
        if (m.Visible(c.X))
            canvas.FillSquare(c.X, c.Y, size, CurveMarkerColour(*shown[i]));
    }
    const int64_t viewed = int64_t{position} + project.ViewOffset();
    if (viewed != position && viewed >= 0 && viewed < n) {
        TCanvasPoint c = at(static_cast<int32_t>(viewed));
        canvas.FillSquare(c.X, c.Y, size, kLime);
    }
    TCanvasPoint c = at(position);
    canvas.FillSquare(c.X, c.Y, size, onPosition >= 0 ? kWhite : kYellow);
}

} // namespace tessaly
