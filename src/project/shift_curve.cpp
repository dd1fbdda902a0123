// The shift curve (a TSpline over the spline markers), its value at any frame, and the
// frame state that adds cuts, double shift, options and chapter.
#include <cmath>
#include <vector>

#include "project/project.h"

namespace tessaly {

namespace {

// The inversion in SplineShiftAt settles in a few steps where the curve is monotonic in
// X and at most about twice as long as the video; a longer curve (a shift that swings by
// more than the video's length) makes the steps overshoot, and then the one point of the
// curve at that X is solved for on its knot interval instead. Where the curve folds back
// (several points on one X) the last estimate is used.
constexpr int kMaxInversionSteps = 200;

} // namespace

void TProject::RebuildSpline()
{
    if (!HasVideo())
        return;
    FSpline.Clear();
    FSpline.SetClosed(false);
    FDeactStats = TDeactivatedStats{};
    const long double n = FFrameCount;
    auto add = [this](long double x, long double y) { FSpline.AddPoint(MakeSplinePoint(0, x, y, 0)); };

    if (MarkerCount() == 0) {
        add(0, 0);
        add(n, 0);
        FSpline.Prepare();
        return;
    }
    std::vector<TMarker> active, deactivated;
    for (const TMarker &m : FMarkers) {
        if (m.Kind != mkSpline || m.Frame >= FFrameCount)
            continue;
        (m.Deactivated ? deactivated : active).push_back(m);
    }
    if (active.empty()) {
        add(0, 0);
        add(n, 0);
    } else if (active.size() == 1) {
        const TMarker &p = active[0];
        if (p.Frame > 0)
            add(0, p.Shift());
        add(p.Frame, p.Shift());
        add(n, p.Shift());
    } else {
        FSpline.Reserve(static_cast<int32_t>(active.size()) + 2);
        // Straight continuations through the first two and the last two points, in
        // long double (whole-frame values give the same points as integer products).
        const TMarker &p0 = active[0], &p1 = active[1];
        if (p0.Frame > 0) {
            long double e = (p1.Shift() - p0.Shift()) * p0.Frame;
            add(0, p0.Shift() - e / (p1.Frame - p0.Frame));
        }
        for (const TMarker &p : active)
            add(p.Frame, p.Shift());
        const TMarker &pk = active.back(), &pj = active[active.size() - 2];
        long double g = (pj.Shift() - pk.Shift()) * (static_cast<long double>(pk.Frame) - FFrameCount);
        add(n, pk.Shift() - g / (pj.Frame - pk.Frame));
    }
    // The coefficients are calculated once here; every evaluation only reads them.
    FSpline.Prepare();

    FDeactStats.Count = static_cast<int32_t>(deactivated.size());
    long double worst = 0;
    for (const TMarker &m : deactivated) {
        long double error = SplineShiftAt(m.Frame) - m.Shift();
        if (std::fabs(error) > worst) {
            worst = std::fabs(error);
            FDeactStats.Frame = m.Frame;
            FDeactStats.Error = error;
        }
    }
}

long double TProject::SplineShiftAt(long double x) const
{
    if (!HasVideo() || FSpline.PointCount() == 0)
        return 0;
    const long double n = FFrameCount;
    if (x < 0)
        return SplineShiftAt(0);
    if (x > n) {
        long double a = SplineShiftAt(n);
        long double b = SplineShiftAt(n - 1);
        return a + (a - b) * (x - n);
    }
    if (FSpline.PointCount() == 1)
        return std::nearbyintl(FSpline.PointAt(0).Y);
    // Invert X(t) = x: step the parameter by the remaining X distance scaled to the
    // video length until the curve's X is within the tolerance.
    const long double t0 = x / n;
    const long double tolerance = FSampleTime / n;
    long double d = 0;
    TExtPoint p;
    for (int step = 0; step < kMaxInversionSteps; ++step) {
        p = FSpline.PointAt(t0 + d);
        long double c = x - p.X;
        d += c / n;
        if (std::fabs(c) < tolerance)
            return p.Y;
    }
    TSplineWalk walk;
    long double y = 0;
    return FSpline.YAtX(x, tolerance, walk, y) ? y : p.Y;
}

std::vector<long double> TProject::SplineShiftsAt(const std::vector<long double> &frames) const
{
    std::vector<long double> shifts(frames.size());
    const bool walk = HasVideo() && FSpline.PointCount() > 1 && FSpline.XRises();
    const long double n = FFrameCount;
    // The same tolerance as the inversion of SplineShiftAt.
    const long double tolerance = walk ? FSampleTime / n : 0;
    TSplineWalk at;
    for (size_t i = 0; i < frames.size(); ++i) {
        const long double x = frames[i];
        if (!walk || !(x >= 0 && x <= n) || !FSpline.YAtX(x, tolerance, at, shifts[i]))
            shifts[i] = SplineShiftAt(x);
    }
    return shifts;
}

TFrameState TProject::GetStateAt(int32_t frame) const
{
    TFrameState s;
    s.Frame = frame;
    if (!HasVideo())
        return s;
    // The last marker at or before the frame carries the sums of all before it.
    const int32_t last = MarkerAtOrBefore(frame);
    if (last >= 0) {
        const TMarkerRun &run = FRuns[static_cast<size_t>(last)];
        s.CutShift = run.CutShift;
        s.DoubleShift = run.DoubleShift;
        s.OptionFlags = run.OptionFlags;
        s.DoubleVolume = run.DoubleVolume;
        const TMarker &m = FMarkers[static_cast<size_t>(last)];
        if (m.Frame == frame) {
            s.MarkerIndex = last;
            s.MarkerFrame = m.Frame;
            s.MarkerValue = m.Value;
            s.MarkerKind = m.Kind;
            s.MarkerAffect = m.Affect;
            s.MarkerDeactivated = m.Deactivated;
        }
    }
    s.SplineShift = SplineShiftAt(frame);
    ChapterAt(frame, s.ChapterNumber, s.ChapterStart, s.ChapterEnabled);
    return s;
}

} // namespace tessaly
