// Marker placement from a time map: each jump becomes a relative cut (backward where
// the primary lacks a part, so the double track fills in; forward where it has extra
// material), unmatched regions switch the primary off, and spline points are added
// one at a time where the curve is farthest from the measured offset, then those the
// curve can do without are taken out again.
#include "autosync/suggest_markers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "project/project.h"
#include "project/project_editor.h"

namespace tessaly::autosync {

namespace {

constexpr int kMaxIterations = 300;
constexpr int kMaxSamples = 20000;    // frames examined per pass on long videos
constexpr double kGapSeconds = 0.08;  // shorter gaps between matches are one jump
constexpr long double kStoredStep = 0.0005L;   // half the thousandth of a frame a marker line holds
constexpr double kJumpFrames = 2;     // a jump within this many frames of the gap ...
constexpr double kJumpGapShare = 0.05;   // ... or this share of it is the gap the primary lacks
constexpr double kEndSlack = 0.5;     // a match ending this close (s) to the reference's end runs to it

int64_t ToMilli(long double frames)
{
    return std::llroundl(frames * 1000);
}

// Sets a marker's value to the shift nearest `frames` that its line can store (a wide
// whole part keeps fewer decimals); false when not even the whole frames fit.
bool SetFittedShift(TMarker &marker, long double frames)
{
    int64_t fitted = 0;
    if (!(std::fabs(frames) < 1e12L) || !FitMarkerMilli(ToMilli(frames), fitted))
        return false;
    return SetMarkerMilli(marker, fitted);
}

struct TPlacer {
    TProjectEditor &Editor;
    const sync::TSyncMap &Map;
    long double Fps;
    int32_t Frames;
    std::map<int32_t, TMarker> Placed;   // by frame
    std::set<int32_t> Kept;              // frames of the double shifts, which stay
    std::vector<std::string> Decisions;  // per segment
    std::vector<TSuggestRow> Gaps;       // rows of the regions between matches
    double MeanError = 0;                // mean distance of the last WorstError scan, ms

    int32_t FrameOf(double t) const
    {
        long long f = std::llround(t * static_cast<double>(Fps));
        return static_cast<int32_t>(std::clamp<long long>(f, 0, Frames - 1));
    }
    // The first free frame at or after f (then before), -1 when none in [lo, hi].
    int32_t FreeFrame(int32_t f, int32_t lo, int32_t hi) const
    {
        for (int32_t d = 0; d <= hi - lo; ++d) {
            if (f + d <= hi && f + d >= lo && Free(f + d))
                return f + d;
            if (f - d >= lo && f - d <= hi && Free(f - d))
                return f - d;
        }
        return -1;
    }
    bool Free(int32_t f) const { return !Placed.count(f) && !Kept.count(f); }
    // A cut or option marker that falls on a double shift moves to the nearest free
    // frame: a project holds one marker per frame, and the double shift must stay.
    void Put(TMarker m)
    {
        if (Kept.count(m.Frame))
            m.Frame = FreeFrame(m.Frame, 0, Frames - 1);
        if (m.Frame >= 0)
            Placed[m.Frame] = m;
        StepsValid = StepsValid && m.Kind != mkRelCut;
    }
    // A cut whose stored value is `cut`'s and whose measured jump is `frames`.
    void PutCut(TMarker cut, long double frames)
    {
        if (Kept.count(cut.Frame))
            cut.Frame = FreeFrame(cut.Frame, 0, Frames - 1);
        if (cut.Frame < 0)
            return;
        Placed[cut.Frame] = cut;
        StepsValid = false;
        // Within the thousandths the line holds anyway, the stored value is the jump.
        if (std::fabs(frames - cut.Shift()) > kStoredStep)
            Jumps[cut.Frame] = frames;
    }
    void Option(int32_t frame, bool primaryOff)
    {
        TMarker m;
        m.Frame = frame;
        m.Kind = mkOption;
        m.Value = PackOption(-1, primaryOff, false);
        Put(m);
    }
    void GapRow(double from, double to, const std::string &what)
    {
        TSuggestRow r;
        r.FirstFrame = FrameOf(from);
        r.LastFrame = std::max(r.FirstFrame, FrameOf(to) - 1);
        r.Decision = what;
        Gaps.push_back(r);
    }
    std::map<int32_t, long double> Jumps;   // the measured jump of each placed cut, by frame
    // The placed cuts by frame with the sum of their jumps up to each (built on first
    // use after a cut or option was placed): the curve is asked for thousands of frames
    // per pass.
    std::vector<std::pair<int32_t, long double>> Steps;
    bool StepsValid = false;
    // Sum of the placed cuts at or before frame f, in frames, as measured: where the line
    // stores a cut rounded, the spline does not try to make up for the rounding (a step
    // the smooth curve can only approach with a crowd of points); the rounding stays
    // in the fit measured on the stored markers.
    long double CutSum(int32_t f)
    {
        if (!StepsValid) {
            Steps.clear();
            long double s = 0;
            for (auto &[frame, m] : Placed) {
                if (m.Kind != mkRelCut)
                    continue;
                auto jump = Jumps.find(frame);
                s += jump != Jumps.end() ? jump->second : m.Shift();
                Steps.emplace_back(frame, s);
            }
            StepsValid = true;
        }
        auto after = std::upper_bound(Steps.begin(), Steps.end(), f,
                                      [](int32_t v, const std::pair<int32_t, long double> &e) { return v < e.first; });
        return after == Steps.begin() ? 0 : std::prev(after)->second;
    }
    // The frame range [lo, hi] a segment owns: a frame on a cut belongs to the segment after it.
    void Range(const sync::TSyncSegment &s, int32_t &lo, int32_t &hi) const
    {
        lo = FrameOf(s.Start);
        hi = std::max(lo, FrameOf(s.End) - 1);
    }
    // Desired curve value (total shift minus cuts) at a frame; false outside matches.
    bool Desired(int32_t f, long double &y)
    {
        const auto &segs = Map.Segments;
        for (size_t i = segs.size(); i-- > 0;) {
            if (f >= FrameOf(segs[i].Start) && f < FrameOf(segs[i].End)) {
                const double fps = static_cast<double>(Fps);
                y = sync::SegmentOffsetAt(segs[i], f / fps) * fps - CutSum(f);
                return true;
            }
        }
        return false;
    }
    // A spline point at the free frame nearest f inside [lo, hi], on the desired value.
    bool AddPoint(int32_t f, int32_t lo, int32_t hi)
    {
        long double y = 0;
        int32_t at = FreeFrame(f, lo, hi);
        if (at < 0 || !Desired(at, y))
            return false;
        TMarker m;
        m.Frame = at;
        m.Kind = mkSpline;
        if (!SetFittedShift(m, y))
            return false;
        Put(m);
        return true;
    }
    // The placed markers into the project (double shifts stay), curve rebuilt.
    void Load()
    {
        std::vector<TMarker> markers;
        for (auto &[f, m] : Placed)
            markers.push_back(m);
        Editor.ReplaceSyncMarkers(markers);
    }
    // The largest distance of the loaded curve from the map, in ms, and its frame;
    // frames examined: every frame of short videos, an even grid of long ones.
    double WorstError(int32_t &worstFrame)
    {
        const int32_t step = std::max<int32_t>(1, Frames / kMaxSamples);
        const double fps = static_cast<double>(Fps);
        double worst = 0, sum = 0;
        int32_t count = 0;
        worstFrame = -1;
        for (int32_t f = 0; f < Frames; f += step) {
            long double y = 0;
            if (!Desired(f, y))
                continue;
            double e = std::fabs(static_cast<double>(Editor.Project().SplineShiftAt(f) - y)) / fps * 1000;
            sum += e, ++count;
            if (e > worst)
                worst = e, worstFrame = f;
        }
        MeanError = count > 0 ? sum / count : 0;
        return worst;
    }
};

// Points added one at a time can leave some that the natural spline no longer needs
// (points the segment knots placed beside cuts, early points a later one made
// redundant): each is taken out in turn and stays out when the rebuilt curve is still
// `within` the limits.
template <typename TWithin>
void PrunePoints(TPlacer &p, const TWithin &within, double &maxErrorMs)
{
    constexpr int kPasses = 3;
    for (int pass = 0; pass < kPasses; ++pass) {
        std::vector<int32_t> frames;
        for (auto &[frame, m] : p.Placed)
            if (m.Kind == mkSpline)
                frames.push_back(frame);
        bool removed = false;
        for (int32_t f : frames) {
            const TMarker keep = p.Placed[f];
            p.Placed.erase(f);
            p.Load();
            int32_t worstFrame = -1;
            const double e = p.WorstError(worstFrame);
            if (within(e)) {
                maxErrorMs = e;
                removed = true;
            } else {
                p.Placed[f] = keep;
            }
        }
        p.Load();
        if (!removed)
            break;
    }
}

// The cut between segments a and b (index i of b) and the option markers around a
// region without match.
void PlaceJoin(TPlacer &p, const sync::TSyncSegment &a, const sync::TSyncSegment &b, size_t i)
{
    const double fps = static_cast<double>(p.Fps);
    // The jump is taken where the next match begins, with the earlier curve carried on
    // straight to there: the curve between the cuts then keeps its slope across a gap.
    double jump = sync::SegmentOffsetAt(b, b.Start) - sync::SegmentOffsetAt(a, b.Start);
    double gap = b.Start - a.End;
    int32_t f1 = p.FrameOf(a.End), f2 = p.FrameOf(b.Start);
    TMarker cut;
    cut.Kind = mkRelCut;
    // A jump too wide for the marker line's 8 characters is stored rounded; the spline
    // points after it are placed against the rounded value and make up for it. One
    // that does not fit at all is left out, and the check of the stored curve says so.
    const bool fits = SetFittedShift(cut, jump * fps);
    if (gap < kGapSeconds || std::fabs(jump + gap * (1 + a.Drift)) <= std::max(kJumpFrames / fps, kJumpGapShare * gap)) {
        // Contiguous: the primary skips its extra part; or the primary lacks the gap:
        // the backward cut lets the double track fill it in.
        cut.Frame = f1;
        if (fits && MarkerMilli(cut) != 0)
            p.PutCut(cut, jump * fps);
        std::string v = FormatMarkerMilli(MarkerMilli(cut));
        p.Decisions[i] = jump < 0 ? "backward cut " + v + " (primary lacks a part)"
                                  : "forward cut " + v + " (primary has extra)";
        if (gap >= kGapSeconds)
            p.GapRow(a.End, b.Start, "missing in primary: double fills in");
    } else {
        // Something else stands in the primary here: it is switched off.
        p.Option(f1, true);
        cut.Frame = std::min(f1 + 1, f2);
        if (fits && MarkerMilli(cut) != 0 && cut.Frame < f2)
            p.PutCut(cut, jump * fps);
        p.Option(f2, false);
        p.Decisions[i] = "cut " + FormatMarkerMilli(MarkerMilli(cut)) + " after a region without match";
        p.GapRow(a.End, b.Start, "no match: primary off");
    }
}

// Relative cuts at the jumps, and the primary off before the first match, after the
// last one and over regions without match.
void PlaceCutsAndOptions(TPlacer &p)
{
    const auto &segs = p.Map.Segments;
    if (p.FrameOf(segs.front().Start) > 0) {
        p.Option(0, true);
        p.Option(p.FrameOf(segs.front().Start), false);
        p.GapRow(0, segs.front().Start, "no match: primary off");
    }
    for (size_t i = 1; i < segs.size(); ++i)
        PlaceJoin(p, segs[i - 1], segs[i], i);
    if (p.FrameOf(segs.back().End) < p.Frames - 1 && segs.back().End < p.Map.ReferenceLength - kEndSlack) {
        p.Option(p.FrameOf(segs.back().End), true);
        p.GapRow(segs.back().End, p.Frames / static_cast<double>(p.Fps), "no match: primary off");
    }
}

// Spline points at the segment knots, then one at a time where the curve is farthest
// from the map, then those it can do without are taken out again.
void PlaceSplinePoints(TPlacer &p, double toleranceMs, TSuggestion &out)
{
    const auto &segs = p.Map.Segments;
    for (const sync::TSyncSegment &s : segs) {
        int32_t lo = 0, hi = 0;
        p.Range(s, lo, hi);
        for (const sync::TSyncKnot &k : s.Knots)
            p.AddPoint(std::clamp(p.FrameOf(k.Time), lo, hi), lo, hi);
    }
    p.Load();
    const double quantumMs = 0.5 / static_cast<double>(p.Fps);   // half a thousandth of a frame, in ms
    for (; out.Iterations < kMaxIterations; ++out.Iterations) {
        int32_t worstFrame = -1;
        out.MaxErrorMs = p.WorstError(worstFrame);
        if (worstFrame < 0 || out.MaxErrorMs <= toleranceMs + quantumMs)
            break;
        // The point goes inside the segment holding the frame.
        int32_t lo = 0, hi = p.Frames - 1;
        for (const sync::TSyncSegment &s : segs)
            if (worstFrame >= p.FrameOf(s.Start) && worstFrame < p.FrameOf(s.End))
                p.Range(s, lo, hi);
        if (!p.AddPoint(worstFrame, lo, hi))
            break;
        p.Load();
    }
    // Pruning keeps the curve within the tolerance itself (not the tolerance plus the
    // rounding of the values) or as close as it is now; the mean distance may not grow
    // past half the tolerance either, so points holding the curve where the
    // measurement is exact stay.
    if (out.MaxErrorMs <= toleranceMs + quantumMs) {
        const double worstLimit = std::max(toleranceMs, out.MaxErrorMs);
        const double meanLimit = std::max(p.MeanError, 0.5 * toleranceMs);
        auto within = [&](double worst) { return worst <= worstLimit && p.MeanError <= meanLimit; };
        PrunePoints(p, within, out.MaxErrorMs);
    }
}

// The table: one row per segment with its decision, and the rows of the gaps.
std::vector<TSuggestRow> SuggestRows(const TPlacer &p)
{
    std::vector<TSuggestRow> rows;
    const auto &segs = p.Map.Segments;
    for (size_t i = 0; i < segs.size(); ++i) {
        const sync::TSyncSegment &s = segs[i];
        TSuggestRow r;
        p.Range(s, r.FirstFrame, r.LastFrame);
        r.OffsetStartMs = sync::SegmentOffsetAt(s, s.Start) * 1000;
        r.OffsetEndMs = sync::SegmentOffsetAt(s, s.End) * 1000;
        r.DriftPpm = s.Drift * 1e6;
        r.Confidence = s.Confidence;
        r.Decision = p.Decisions[i];
        rows.push_back(r);
    }
    rows.insert(rows.end(), p.Gaps.begin(), p.Gaps.end());
    std::sort(rows.begin(), rows.end(),
              [](const TSuggestRow &a, const TSuggestRow &b) { return a.FirstFrame < b.FirstFrame; });
    return rows;
}

} // namespace

bool MapOffsetAt(const sync::TSyncMap &map, double t, double &offset)
{
    for (const sync::TSyncSegment &s : map.Segments) {
        if (t >= s.Start && t < s.End) {
            offset = sync::SegmentOffsetAt(s, t);
            return true;
        }
    }
    return false;
}

TCurveFit MeasureCurveFit(const TProject &project, const sync::TSyncMap &map)
{
    TCurveFit fit;
    const double fps = static_cast<double>(project.Fps());
    const int32_t frames = project.FrameCount();
    if (fps <= 0 || frames <= 0)
        return fit;
    auto frameOf = [&](double t) {
        if (!(t > 0))
            return int32_t{0};
        return static_cast<int32_t>(std::min<double>(std::llround(std::min(t * fps, 3e9)), frames - 1));
    };
    for (const sync::TSyncSegment &s : map.Segments) {
        const int32_t lo = frameOf(s.Start), hi = frameOf(s.End);
        for (int32_t f = lo; f < hi; ++f) {
            // A later segment owns the frames it shares with this one.
            bool later = false;
            for (const sync::TSyncSegment &n : map.Segments)
                later = later || (&n > &s && f >= frameOf(n.Start) && f < frameOf(n.End));
            const TFrameState st = project.GetStateAt(f);
            if (later || st.AudioOff())
                continue;
            const double e =
                std::fabs(static_cast<double>(st.TotalShift()) / fps - sync::SegmentOffsetAt(s, f / fps)) * 1000;
            ++fit.Frames;
            if (fit.WorstFrame < 0 || !(e <= fit.MaxErrorMs)) {
                fit.MaxErrorMs = std::isfinite(e) ? e : std::numeric_limits<double>::infinity();
                fit.WorstFrame = f;
            }
        }
    }
    return fit;
}

TSuggestion PlaceMarkers(TProjectEditor &editor, const sync::TSyncMap &map, double toleranceMs)
{
    TSuggestion out;
    const TProject &project = editor.Project();
    editor.ReplaceSyncMarkers({});
    TPlacer p{editor, map, project.Fps(), project.FrameCount(), {}, {}, {}, {}, 0, {}, {}, false};
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        p.Kept.insert(project.GetMarker(i).Frame);
    if (p.Fps <= 0 || p.Frames < 2 || map.Segments.empty())
        return out;
    p.Decisions.assign(map.Segments.size(), "spline points");
    PlaceCutsAndOptions(p);
    PlaceSplinePoints(p, toleranceMs, out);
    out.Rows = SuggestRows(p);
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        out.Markers.push_back(project.GetMarker(i));
    return out;
}

} // namespace tessaly::autosync
