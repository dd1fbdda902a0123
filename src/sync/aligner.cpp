// The alignment run: coarse tempo scan, pre-warp of the primary, lag track over
// windows, path search, piecewise fit per segment, and cut boundaries found on short
// windows at the full analysis rate.
#include "sync/aligner.h"

#include <algorithm>
#include <cmath>

#include "sync/coarse_search.h"
#include "sync/lag_track.h"
#include "sync/sync_fit.h"

namespace tessaly::sync {

namespace {

constexpr double kSearch = 0.5;          // envelope search around each centre, seconds
constexpr double kContinuity = 0.03;     // lag change between windows that is still drift
constexpr size_t kCandidates = 3;
constexpr double kEdgeWindow = 0.06;     // short windows that place a cut
constexpr double kEdgeStep = 0.005;

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(m), v.end());
    return v[m];
}

struct TRun {
    size_t First = 0, Last = 0;   // window indices, inclusive
};

// Runs of chosen windows without a jump between them.
std::vector<TRun> Runs(const std::vector<std::vector<TLagCandidate>> &cands, const std::vector<int> &path,
                       size_t minWindows)
{
    std::vector<TRun> runs;
    for (size_t w = 0; w < path.size(); ++w) {
        if (path[w] < 0)
            continue;
        double lag = cands[w][static_cast<size_t>(path[w])].Lag;
        bool joins = !runs.empty() && runs.back().Last + 1 == w &&
                     std::fabs(lag - cands[w - 1][static_cast<size_t>(path[w - 1])].Lag) <= kContinuity;
        if (joins)
            runs.back().Last = w;
        else
            runs.push_back({w, w});
    }
    std::vector<TRun> kept;
    for (const TRun &r : runs)
        if (r.Last - r.First + 1 >= minWindows)
            kept.push_back(r);
    return kept;
}

// The time where the agreement at `lag` ends (forward) or begins (backward) inside
// [from, to]: the edge of the last short window, seen from the matched side, whose
// agreement reaches half the level of the matched side.
double FindEdge(const TTrackSignal &ref, const TTrackSignal &test, double lag, double from, double to, bool forward)
{
    from = std::max(0.0, from);
    to = std::min(ref.Seconds() - kEdgeWindow, to);
    if (to - from < 2 * kEdgeWindow)
        return forward ? to : from;
    std::vector<double> a = LocalAgreement(ref, test, lag, from, to, kEdgeWindow, kEdgeStep);
    if (a.empty())
        return forward ? to : from;
    size_t probe = std::min<size_t>(a.size(), 20);
    std::vector<double> side(forward ? a.begin() : a.end() - static_cast<long>(probe),
                             forward ? a.begin() + static_cast<long>(probe) : a.end());
    double level = std::max(0.2, 0.5 * Median(side));
    // Walk from the matched side until 40 ms in a row fall below the level.
    const size_t run = static_cast<size_t>(0.04 / kEdgeStep);
    size_t below = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        size_t i = forward ? k : a.size() - 1 - k;
        below = a[i] < level ? below + 1 : 0;
        if (below >= run) {
            // The first window below, seen from the matched side: half of it lies on the
            // matched side when its centre is on the edge.
            size_t edge = forward ? i + 1 - run : i + run - 1;
            return from + edge * kEdgeStep + 0.5 * kEdgeWindow;
        }
    }
    return forward ? to + kEdgeWindow : from;
}

} // namespace

double SegmentOffsetAt(const TSyncSegment &segment, double t)
{
    return KnotValueAt(segment.Knots, t);
}

bool AlignSignals(TSyncSignal reference, TSyncSignal primary, const TSyncOptions &options, TSyncMap &map,
                  const TSyncProgress &progress)
{
    map = TSyncMap{};
    map.ReferenceLength = reference.Seconds();
    map.PrimaryLength = primary.Seconds();
    auto report = [&](double f) { return !progress || progress(f); };
    if (std::min(map.ReferenceLength, map.PrimaryLength) < options.MinOverlapSeconds)
        return true;
    TTrackSignal ref, test;
    ref.Full = std::move(reference);
    if (!PrepareTrackSignal(ref) || !report(0.05))
        return false;
    TCoarseResult coarse = CoarseSearch(ref.Envelope, OnsetEnvelope(primary), options.MaxDrift);
    if (!report(0.25))
        return false;
    if (!coarse.Found)
        return true;
    map.Rate = coarse.Rate;
    // Warped primary: test time tau = primary time / rate.
    if (!ResampleSignal(primary, 1.0 / coarse.Rate, test.Full))
        return false;
    primary = TSyncSignal{};
    if (!PrepareTrackSignal(test) || !report(0.35))
        return false;

    std::vector<double> globals;
    for (double b : coarse.Offsets)
        globals.push_back(b / coarse.Rate);
    const double len = options.WindowSeconds, hop = options.HopSeconds;
    std::vector<std::vector<TLagCandidate>> cands;
    std::vector<double> starts;
    for (double s = 0; s + len <= map.ReferenceLength + 1e-9; s += hop) {
        std::vector<double> centres = globals;
        if (!cands.empty())
            for (const TLagCandidate &c : cands.back())
                centres.push_back(c.Lag);
        starts.push_back(s);
        cands.push_back(WindowLags(ref, test, s, len, centres, kSearch, kCandidates));
        if (cands.size() % 64 == 0 && !report(0.35 + 0.55 * s / map.ReferenceLength))
            return false;
    }
    std::vector<int> path = ChoosePath(cands, kContinuity, options.JumpPenalty);
    std::vector<TRun> runs = Runs(cands, path, static_cast<size_t>(options.MinPathWindows));

    map.Windows.resize(starts.size());
    for (size_t w = 0; w < starts.size(); ++w) {
        TSyncWindow &win = map.Windows[w];
        win.Start = starts[w];
        win.Length = len;
        if (path[w] >= 0) {
            const TLagCandidate &c = cands[w][static_cast<size_t>(path[w])];
            double t = win.Start + 0.5 * len;
            win.Offset = coarse.Rate * (t + c.Lag) - t;
            win.Score = c.Score;
            win.Z = c.Z;
        }
    }
    // Fit each run; its edges come from short windows at the run's own lag.
    double matched = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const TRun &run = runs[i];
        std::vector<double> ts, ys, runScores;
        for (size_t w = run.First; w <= run.Last; ++w) {
            ts.push_back(starts[w] + 0.5 * len);
            ys.push_back(map.Windows[w].Offset);
            runScores.push_back(map.Windows[w].Score);
        }
        // Windows far below the run's usual score (straddling an edge, masked) stay out.
        const double usual = Median(runScores);
        std::vector<bool> use(ts.size());
        for (size_t k = 0; k < ts.size(); ++k)
            use[k] = runScores[k] >= 0.75 * usual;
        TFitResult fit = FitPiecewise(ts, ys, options.ToleranceSeconds, use);
        TSyncSegment seg;
        std::vector<double> scores;
        size_t inliers = 0;
        for (size_t k = 0; k < ts.size(); ++k) {
            TSyncWindow &win = map.Windows[run.First + k];
            win.Matched = true;
            win.Inlier = fit.Inlier[k];
            win.Segment = static_cast<int32_t>(i);
            if (win.Inlier)
                ++inliers, scores.push_back(win.Score);
        }
        auto lagAt = [&](double t) { return (KnotValueAt(fit.Knots, t) + t) / coarse.Rate - t; };
        double lo = starts[run.First], hi = starts[run.Last] + len;
        double prevEnd = i > 0 ? starts[runs[i - 1].Last] + 0.5 * len : 0.0;
        double nextStart = i + 1 < runs.size() ? starts[runs[i + 1].First] + 0.5 * len : map.ReferenceLength;
        // The first and last windows may straddle the edge by most of their length. The
        // track's outer ends are where the primary begins and ends.
        if (i == 0 && run.First == 0)
            seg.Start = std::max(0.0, -KnotValueAt(fit.Knots, 0));
        else
            seg.Start = FindEdge(ref, test, lagAt(lo), std::max(prevEnd, lo - hop), lo + len, false);
        if (i + 1 == runs.size() && run.Last + 1 == starts.size())
            seg.End = std::min(map.ReferenceLength, (map.PrimaryLength - KnotValueAt(fit.Knots, map.ReferenceLength)));
        else
            seg.End = FindEdge(ref, test, lagAt(hi), hi - len, std::min(nextStart, hi + hop), true);
        seg.Knots = fit.Knots;
        seg.Knots.front().Offset = KnotValueAt(fit.Knots, seg.Start);
        seg.Knots.front().Time = seg.Start;
        seg.Knots.back().Offset = KnotValueAt(fit.Knots, seg.End);
        seg.Knots.back().Time = seg.End;
        seg.Residual = fit.Noise;
        seg.Drift = seg.End > seg.Start ? (seg.Knots.back().Offset - seg.Knots.front().Offset) / (seg.End - seg.Start) : 0;
        double z = 0;
        for (size_t w = run.First; w <= run.Last; ++w)
            z += map.Windows[w].Z;
        z /= static_cast<double>(run.Last - run.First + 1);
        seg.Confidence = std::clamp(Median(scores), 0.0, 1.0) * inliers / ts.size() * std::min(1.0, z / 8);
        matched += seg.End - seg.Start;
        map.Segments.push_back(seg);
    }
    // Neighbouring edges found to overlap meet halfway.
    for (size_t i = 1; i < map.Segments.size(); ++i) {
        TSyncSegment &a = map.Segments[i - 1], &b = map.Segments[i];
        if (a.End > b.Start) {
            double mid = 0.5 * (a.End + b.Start);
            a.Knots.back().Offset = KnotValueAt(a.Knots, mid);
            a.End = a.Knots.back().Time = mid;
            b.Knots.front().Offset = KnotValueAt(b.Knots, mid);
            b.Start = b.Knots.front().Time = mid;
        }
    }
    double weight = 0;
    for (const TSyncSegment &s : map.Segments) {
        map.Confidence += s.Confidence * (s.End - s.Start);
        weight += s.End - s.Start;
    }
    map.Confidence = weight > 0 ? map.Confidence / weight : 0;
    map.Matched = matched >= std::max(options.MinOverlapSeconds, 0.1 * map.ReferenceLength) && map.Confidence > 0.05;
    if (!map.Matched)
        map.Segments.clear();
    return report(1.0);
}

std::vector<TSyncWindow> MeasureOffsets(TSyncSignal reference, TSyncSignal test, double window, double hop,
                                        double search)
{
    std::vector<TSyncWindow> out;
    TTrackSignal ref, other;
    ref.Full = std::move(reference);
    other.Full = std::move(test);
    if (!PrepareTrackSignal(ref) || !PrepareTrackSignal(other))
        return out;
    for (double s = 0; s + window <= ref.Seconds() + 1e-9; s += hop) {
        TSyncWindow w;
        w.Start = s;
        w.Length = window;
        std::vector<TLagCandidate> c = WindowLags(ref, other, s, window, {0.0}, search, 1);
        if (!c.empty() && CandidateReward(c[0]) > 0) {
            w.Matched = true;
            w.Offset = c[0].Lag;
            w.Score = c[0].Score;
            w.Z = c[0].Z;
        }
        out.push_back(w);
    }
    return out;
}

} // namespace tessaly::sync
