// The timeline's mapping of frames to pixels.
#include "project/timeline.h"

#include <algorithm>
#include <cmath>

#include "project/project.h"

namespace tessaly {

void TTimelineView::SetFilm(int32_t frameCount, int width)
{
    const bool whole = FFrames == 0 || WholeFilm() || frameCount != FFrames;
    FFrames = std::max<int32_t>(0, frameCount);
    FWidth = std::max(1, width);
    if (whole)
        Fit();
    else
        Clamp();
}

bool TTimelineView::WholeFilm() const
{
    return FFirst <= 0 && VisibleFrames() >= FFrames - 1e-9;
}

void TTimelineView::Fit()
{
    FFirst = 0;
    FPerPixel = FFrames > 0 ? double(FFrames) / FWidth : 1;
}

void TTimelineView::Clamp()
{
    const double most = FFrames > 0 ? double(FFrames) / FWidth : 1;
    FPerPixel = std::clamp(FPerPixel, std::min(kMinFramesPerPixel, most), most);
    FFirst = std::clamp(FFirst, 0.0, std::max(0.0, FFrames - VisibleFrames()));
}

int32_t TTimelineView::FrameAt(double x) const
{
    if (FFrames <= 0)
        return -1;
    return std::clamp<int32_t>(int32_t(std::floor(FFirst + x * FPerPixel)), 0, FFrames - 1);
}

double TTimelineView::XOf(double frame) const
{
    return (frame - FFirst) / FPerPixel;
}

void TTimelineView::ZoomAt(double x, int steps)
{
    if (FFrames <= 0 || steps == 0)
        return;
    const double anchor = FFirst + x * FPerPixel;
    FPerPixel *= std::pow(0.75, steps);
    Clamp();
    FFirst = anchor - x * FPerPixel;
    Clamp();
}

void TTimelineView::ScrollTo(double firstFrame)
{
    FFirst = firstFrame;
    Clamp();
}

void TTimelineView::Follow(int32_t frame)
{
    if (frame < FFirst || frame + 1 > FFirst + VisibleFrames())
        ScrollTo(std::floor(frame / VisibleFrames()) * VisibleFrames());
}

int32_t TTimelineView::MarkerNear(const TProject &project, double x, double tolerance) const
{
    int32_t best = -1;
    double bestDistance = tolerance;
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        // The line stands in the middle of the marker's frame.
        const double distance = std::abs(XOf(project.GetMarker(i).Frame + 0.5) - x);
        if (distance <= bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace tessaly
