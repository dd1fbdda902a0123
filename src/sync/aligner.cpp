// The alignment run: coarse tempo scan, pre-warp of the primary, lag track over
// windows, path search, piecewise fit per segment, and cut boundaries found on short
// windows at the full analysis rate.
#include "sync/aligner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>

#include "sync/coarse_search.h"
#include "sync/lag_track.h"
#include "sync/sync_fit.h"
#include "sync/verify_measure.h"

namespace tessaly::sync {

namespace {

constexpr double kSearch = 0.5;          // envelope search around each centre, seconds
constexpr double kContinuity = 0.05;     // lag change between windows that is still drift
constexpr size_t kCandidates = 3;
constexpr size_t kMaxFollow = 3;
constexpr double kMinSegment = 1.0;       // seconds a segment must keep after its edges are found
constexpr double kMinConfidence = 0.1;
constexpr double kPhatBelow = 0.5;        // full-rate score below which the phase transform measures
constexpr double kPhatSearch = 0.02;      // ... +- this around the smooth lag curve
constexpr double kPhatClear = 8;          // phase peak over the spread of all lags that
                                          // measures a window by itself
constexpr double kWaveformTrusted = 0.8;  // a result's window whose waveform agrees less is
                                          // measured by its onsets
constexpr double kPhatAgree = 0.004;      // ... and its distance from its neighbours' lags that confirms
                                          // a window the phase alone matched
constexpr double kPhatNearOnsets = 1 / kEnvelopeRate;   // a clear phase peak refines the onsets'
                                          // lag within one envelope step (a room's reverberation
                                          // draws the onsets late by a few ms)
constexpr double kClearStretchZ = 8;      // mean envelope peak height of a stretch matched by its onsets
constexpr double kLongStretchZ = 6;       // ... or, lower, of a stretch of at least
constexpr size_t kLongStretchWindows = 40;   // this many windows (a minute; tempo-corrected music)
constexpr double kSmoothLags = 0.01;      // ... whose lags lie this close (s, median) to the line
                                          // through their neighbours
constexpr size_t kConfirmReach = 3;       // windows on each side whose lags a weak window may take
constexpr double kConfirmSearch = 0.002;  // seconds around that lag
constexpr double kConfirmScore = 0.8;     // full-rate agreement that confirms it
constexpr double kConfirmEnvelope = 0.7;  // ... or onset agreement that does, searched
constexpr double kConfirmEnvelopeSearch = 0.02;   // ... +- this
constexpr double kEdgeWindow = 0.06;     // short windows that place a cut
constexpr double kEdgeStep = 0.005;
constexpr size_t kEdgeProbe = 20;        // short windows on the matched side that tell its level (0.1 s)
constexpr double kEdgeLevelShare = 0.5;  // an edge lies where the agreement falls below this share
constexpr double kEdgeLevelFloor = 0.2;  // ... of that level, and never below this
constexpr double kEdgeBelowSeconds = 0.04;   // agreement below the level this long in a row ends a match
constexpr size_t kOnsetLevelPart = 3;    // on the onsets the matched side's level comes from this
                                         // part of the stretch (they are noisier)
constexpr double kNeitherOnsets = 0.15;  // "neither agrees" between two lags counts this share of
constexpr double kNeitherWaveform = 0.25;   // the two sides' summed levels (chance onsets agree more)
constexpr double kSlopeTries[] = {0.0, -0.003, -0.002, -0.001, -0.0005, 0.0005, 0.001, 0.002, 0.003};
                                         // slope corrections tried on a weak window (drift missed)
constexpr double kCentredSamples = 2;    // the peak measured again +- this many samples around itself
constexpr double kCentredLoss = 1e-3;    // ... and kept unless its score drops by more than this
constexpr double kLowCurveTolerance = 3e-4;   // the smooth curve through the 1 kHz lags (a third of
                                              // a 1 kHz sample)
constexpr double kFineCurveScore = 0.5;  // windows agreeing this well shape the finer curve
constexpr double kUsualScoreShare = 0.75;   // a window below this share of its run's median score
                                            // (straddling an edge, masked) stays out of the fit
constexpr double kFullConfidenceZ = 12;  // onset peak height that alone gives full confidence
constexpr double kConfidentZ = 8;        // mean onset peak height below which confidence shrinks
constexpr double kMinMatchedShare = 0.1; // the matched stretches must cover this share of the reference
constexpr double kMinMapConfidence = 0.05;   // ... at a mean confidence above this
constexpr double kLeastLagVariance = 1e-12;  // s^2: an exact copy's lags agree to far less
constexpr double kOnsetEdgeWindow = 0.3;   // ... on the onsets, where the waveforms agree poorly
constexpr double kOnsetEdgeStep = 0.01;
constexpr double kWaveformEdges = 0.8;     // median full-rate score of a run below which its
                                           // edges are found on the onsets
constexpr double kWaveformLocal = 0.6;     // ... or whose short windows agree less than this
constexpr double kShareSlopeZ = 3;         // slopes this many standard errors apart stay apart
constexpr double kSmearedBend = 2.5;       // ... and its curve bends only this many spreads
                                           // of its lags away from a straight line
constexpr double kSameLineLeast = 0.0005;   // offsets this close (s) where one segment meets the next
                                           // are one line carried on ...
constexpr double kSameLineSpreads = 4;     // ... or this many spreads of the noisier fit ...
constexpr double kSameLineMost = 0.005;    // ... but never wider than this
constexpr double kSameLineMostSmeared = 0.02;   // ... or this where the waveforms agree poorly (lags
                                                // measured on the onsets scatter by milliseconds)
constexpr double kExcursionBeats = 2;      // a segment off the line of both neighbours stays when
                                           // its own agreement is this many times the line's ...
constexpr double kExcursionMargin = 0.2;   // ... and this much higher
constexpr double kJoinShare = 0.5;         // share of the neighbours' agreement at which the
                                           // stretch between two segments on one line joins them
constexpr double kJoinProbe = 3.0;         // seconds of each neighbour that tell its own agreement
constexpr size_t kPolarityWindows = 48;     // windows that vote on the test's polarity
constexpr double kPolarityLength = 3.0;     // ... each this long (s)
constexpr double kPolarityOnsetZ = 6;       // envelope peak height of a window that votes ...
constexpr double kPolarityClear = 5;        // ... with a phase peak or trough this high
constexpr size_t kPolarityVotes = 5;        // votes for inverted needed at least ...
constexpr double kPolarityMajority = 0.75;  // ... and this share of all votes
constexpr double kRefineSearch = 0.006;  // full-rate search around the smooth lag curve
constexpr double kNarrowSearch = 0.0015; // ... tried first
constexpr double kGoodScore = 0.85;      // no slope scan above this
constexpr double kRetryScore = 0.97;     // windows below this are measured again on the finer curve
constexpr double kGrainLength = 0.032;   // short windows that find the grains of a tempo change
                                         // keeping the pitch (WSOLA grains last 40 ms or more)
constexpr double kGrainStep = 0.025;     // ... their distance
constexpr double kGrainProbeStep = 0.25; // ... and that of a first, sparse look
constexpr double kGrainSearch = 0.02;    // ... searched +- this around the run's smooth curve
                                         // (grains lie within a WSOLA search range of it)
constexpr double kGrainScore = 0.9;      // a short window agreeing this well lies inside one grain
constexpr double kGrainShare = 0.3;      // share of a run's short windows that must, for its lags
                                         // to come from its grains
constexpr size_t kGrainsPerWindow = 8;   // grains a window's lag is the mean of, at least
constexpr double kGrainTrim = 0.009;     // ... those within this of their median (grains lie
                                         // within a WSOLA search range of each other)
constexpr double kGrainBend = 0.004;     // the curve of a run measured on its grains bends only
                                         // where they leave its line by more: WSOLA places the
                                         // grains of a whole passage some ms off at times

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

// Local agreement along a lag curve over [from, to): the full-rate waveform in short
// windows, or, where the waveforms agree poorly (`onsets`), the onset envelopes in
// longer ones. `window` and `step` tell the geometry of the values.
template <typename TLag>
std::vector<double> EdgeAgreement(const TTrackSignal &ref, const TTrackSignal &test, const TLag &lagAt, double from,
                                  double to, bool onsets, double &window, double &step)
{
    window = onsets ? kOnsetEdgeWindow : kEdgeWindow;
    step = onsets ? kOnsetEdgeStep : kEdgeStep;
    return onsets ? EnvelopeLocalAgreement(ref, test, lagAt(from), lagAt(to), from, to, window, step)
                  : LocalAgreement(ref, test, lagAt(from), lagAt(to), from, to, window, step);
}

// The median of the values of v[first, last) that say something (not NaN); `none` when none do.
double ValidMedian(const std::vector<double> &v, size_t first, size_t last, double none)
{
    std::vector<double> valid;
    for (size_t i = first; i < last && i < v.size(); ++i)
        if (!std::isnan(v[i]))
            valid.push_back(v[i]);
    return valid.empty() ? none : Median(valid);
}

// The time where the agreement at `lag` ends (forward) or begins (backward) inside
// [from, to]: the edge of the last short window, seen from the matched side, whose
// agreement reaches half the level of the matched side. On the onsets (noisier, and
// silent in pauses) the edge is the split that maximises the summed excess over that
// level on the matched side, so that neither a pause nor a single poor window ends it.
template <typename TLag>
double FindEdge(const TTrackSignal &ref, const TTrackSignal &test, const TLag &lagAt, double from, double to,
                bool forward, bool onsets)
{
    from = std::max(0.0, from);
    to = std::min(ref.Seconds() - (onsets ? kOnsetEdgeWindow : kEdgeWindow), to);
    double window = 0, step = 0;
    if (to - from < 2 * (onsets ? kOnsetEdgeWindow : kEdgeWindow))
        return forward ? to : from;
    std::vector<double> a = EdgeAgreement(ref, test, lagAt, from, to, onsets, window, step);
    if (a.empty())
        return forward ? to : from;
    const size_t probe = std::min<size_t>(a.size(), kEdgeProbe);
    if (!onsets && (forward ? ValidMedian(a, 0, probe, 0) : ValidMedian(a, a.size() - probe, a.size(), 0)) <
                       kWaveformLocal)
        return FindEdge(ref, test, lagAt, from, to, forward, true);
    if (onsets) {
        const size_t part = std::max<size_t>(1, a.size() / kOnsetLevelPart);
        const double level =
            std::max(kEdgeLevelFloor, kEdgeLevelShare * (forward ? ValidMedian(a, 0, part, 0) :
                                                                   ValidMedian(a, a.size() - part, a.size(), 0)));
        // Windows 0 .. k-1 agree (forward) or k .. n-1 do (backward).
        double sum = 0, best = 0;
        size_t bestK = forward ? 0 : a.size();
        for (size_t j = 0; j < a.size(); ++j) {
            const size_t i = forward ? j : a.size() - 1 - j;
            sum += std::isnan(a[i]) ? 0.0 : a[i] - level;
            if (sum > best)
                best = sum, bestK = forward ? i + 1 : i;
        }
        if (forward && bestK == a.size())
            return to;
        if (!forward && bestK == 0)
            return from;
        return from + static_cast<double>(bestK) * step + 0.5 * window;
    }
    std::vector<double> side(forward ? a.begin() : a.end() - static_cast<long>(probe),
                             forward ? a.begin() + static_cast<long>(probe) : a.end());
    double level = std::max(kEdgeLevelFloor, kEdgeLevelShare * Median(side));
    // Walk from the matched side until kEdgeBelowSeconds in a row fall below the level.
    const size_t run = static_cast<size_t>(kEdgeBelowSeconds / kEdgeStep);
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

// The edges between a run under lagA and the next under lagB inside [from, to]: the
// split into "A agrees", "neither agrees" and "B agrees" that maximises the summed
// agreement, where "neither" counts half the usual agreement (and so does a window
// that says nothing, a pause on the onsets).
template <typename TLagA, typename TLagB>
void JointEdges(const TTrackSignal &ref, const TTrackSignal &test, const TLagA &lagA, const TLagB &lagB, double from,
                double to, bool onsets, double &end, double &start)
{
    const double shortest = onsets ? kOnsetEdgeWindow : kEdgeWindow;
    from = std::max(0.0, from);
    to = std::min(ref.Seconds() - shortest, to);
    if (to - from < 4 * shortest)
        return;
    double window = 0, step = 0;
    std::vector<double> a = EdgeAgreement(ref, test, lagA, from, to, onsets, window, step);
    std::vector<double> b = EdgeAgreement(ref, test, lagB, from, to, onsets, window, step);
    const size_t n = std::min(a.size(), b.size());
    if (n < 8)
        return;
    const size_t probe = onsets ? n / 4 : std::min<size_t>(n / 4, kEdgeProbe);
    double levelA = ValidMedian(a, 0, probe, 0), levelB = ValidMedian(b, n - probe, n, 0);
    if (!onsets && std::min(levelA, levelB) < kWaveformLocal) {
        JointEdges(ref, test, lagA, lagB, from, to, true, end, start);
        return;
    }
    // Chance agreement of the onsets at a wrong lag is often well above zero, and a true
    // one often weak: "neither" stands lower there.
    const double none = (onsets ? kNeitherOnsets : kNeitherWaveform) * (levelA + levelB);
    std::vector<double> pa(n + 1, 0.0), pb(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        pa[i + 1] = pa[i] + (std::isnan(a[i]) ? none : a[i]);
        pb[i + 1] = pb[i] + (std::isnan(b[i]) ? none : b[i]);
    }
    // For every start s of B, the best end e <= s of A.
    double best = -1e300, bestPrefix = -1e300;
    size_t bestE = 0, prefixE = 0, bestS = 0;
    for (size_t s = 0; s <= n; ++s) {
        // A pause says nothing either way: on the onsets the earlier match runs on
        // through it (the later end of equal sums).
        double prefix = pa[s] - none * static_cast<double>(s);
        if (prefix > bestPrefix || (onsets && prefix >= bestPrefix - 1e-9))
            bestPrefix = prefix, prefixE = s;
        double total = bestPrefix + none * static_cast<double>(s) + (pb[n] - pb[s]);
        if (total > best)
            best = total, bestE = prefixE, bestS = s;
    }
    // Window k covers [from + k step, + length]; an edge after k windows lies at the
    // centre of window k.
    end = from + static_cast<double>(bestE) * step + 0.5 * window;
    start = from + static_cast<double>(bestS) * step + 0.5 * window;
}

// The lag of one window at the full rate, the test read along the local slope of
// `curve` (a lag curve over reference time). A weak peak may come from drift the curve
// missed: a few slopes are tried then.
bool MeasureAlong(const TTrackSignal &ref, const TTrackSignal &test, const std::vector<TSyncKnot> &curve, double start,
                  double len, TLagCandidate &best)
{
    const double t = start + 0.5 * len, dt = 0.25 * len;
    const double lag = KnotValueAt(curve, t);
    const double slope = (KnotValueAt(curve, t + dt) - KnotValueAt(curve, t - dt)) / (2 * dt);
    // The curve is usually right to a fraction of a millisecond: a narrow search first,
    // the wide one when its peak lies on the edge of the narrow range or is weak.
    bool found = RefineLag(ref, test, start, len, lag, slope, kNarrowSearch, best);
    if (!found || best.Score < kGoodScore || std::fabs(best.Lag - lag) > kNarrowSearch - 2 / ref.Full.Rate)
        found = RefineLag(ref, test, start, len, lag, slope, kRefineSearch, best);
    if (!found || best.Score < kGoodScore) {
        TLagCandidate c;
        for (double ds : kSlopeTries) {
            if (RefineLag(ref, test, start, len, lag, slope + ds, 2 * kRefineSearch, c) &&
                (!found || c.Score > best.Score))
                best = c, found = true;
        }
    }
    // Measured again centred on the peak: the parabola through the top three values is
    // least biased when the peak sits on a sample.
    TLagCandidate centred;
    if (found && RefineLag(ref, test, start, len, best.Lag, slope, kCentredSamples / ref.Full.Rate, centred) &&
        centred.Score >= best.Score - kCentredLoss)
        best = centred;
    return found;
}

// fn(k) for k = 0 .. count-1, shared out to two threads (each window is measured on its own).
template <typename TFn>
void OnTwoThreads(size_t count, const TFn &fn)
{
    auto part = [&](size_t first) {
        for (size_t k = first; k < count; k += 2)
            fn(k);
    };
    std::thread other([&]() { part(1); });
    part(0);
    other.join();
}

// A run whose waveform agrees poorly may be a copy whose tempo was changed keeping the
// pitch (WSOLA): grains copied sample for sample, each shifted by up to a few ms from the
// smooth line of the copy's speed. Short windows read at the primary's own speed (the
// test is pre-warped by 1 / rate) find each grain's lag; a window's lag is the mean of
// its grains' lags near their median (the jitter averages out, where one peak of a long
// window follows a grain or two). True
// when enough short windows lie inside grains; `windows` then hold the grains' means
// and their short windows' median agreement, a window with too few grains keeps its
// lag at a score of 0.
bool MeasureGrains(const TTrackSignal &ref, const TTrackSignal &test, const TRun &run, const std::vector<double> &starts,
                   double len, double hop, double rate, const std::vector<double> &ts, const std::vector<double> &lags,
                   std::vector<TSyncWindow> &windows)
{
    // The smooth curve of the run's lags, as a stretch whose lags scatter is fitted.
    double tolerance = kSmearedBend * FitPiecewise(ts, lags, kFitToleranceSeconds, {}, 2).Noise;
    const TFitResult curve = FitPiecewise(ts, lags, std::max(kFitToleranceSeconds, tolerance));
    auto lagAt = [&](double t) { return KnotValueAt(curve.Knots, t); };
    const double lo = starts[run.First], hi = starts[run.Last] + len;
    const size_t pieces = static_cast<size_t>(std::ceil((hi - lo) / hop));
    // The short windows every `step` s over the run, on two threads; false when too few
    // lie inside grains.
    std::vector<TShortLag> grains;
    auto measure = [&](double step) {
        std::vector<std::vector<TShortLag>> parts(pieces);
        OnTwoThreads(pieces, [&](size_t p) {
            const double from = lo + static_cast<double>(p) * hop, to = std::min(hi, from + hop + kGrainLength) - 1e-6;
            parts[p] = ShortLags(ref, test, from, to, kGrainLength, step, lagAt, 1 / rate - 1, kGrainSearch);
        });
        grains.clear();
        size_t good = 0;
        for (const std::vector<TShortLag> &part : parts)
            for (const TShortLag &g : part) {
                if (!grains.empty() && g.Time <= grains.back().Time + 1e-9)
                    continue;   // the first window of a piece may repeat the last of the one before
                grains.push_back(g);
                good += g.Score >= kGrainScore ? 1 : 0;
            }
        return !grains.empty() && static_cast<double>(good) >= kGrainShare * static_cast<double>(grains.size());
    };
    // A sparse probe first: most runs that agree poorly are no WSOLA copy (a room).
    if (!measure(kGrainProbeStep) || !measure(kGrainStep))
        return false;
    for (size_t k = 0; k < ts.size(); ++k) {
        const double start = starts[run.First + k], centre = ts[k];
        // Offsets on the primary's time, each carried to the window centre along the curve.
        const double dt = 0.25 * len;
        const double slope = rate * (1 + (lagAt(centre + dt) - lagAt(centre - dt)) / (2 * dt)) - 1;
        std::vector<double> scores, offsets;
        for (const TShortLag &g : grains) {
            if (g.Time < start || g.Time >= start + len)
                continue;
            scores.push_back(g.Score);
            if (g.Score >= kGrainScore)
                offsets.push_back(rate * (g.Time + g.Lag) - g.Time - slope * (g.Time - centre));
        }
        // Tonal material also agrees a whole period (of a chord, a note) away from a
        // grain's lag: such lags lie far off the window's median and are left out.
        const double middle = Median(offsets);
        double sum = 0;
        size_t count = 0;
        for (double o : offsets)
            if (std::fabs(o - middle) <= kGrainTrim)
                sum += o, ++count;
        TSyncWindow &win = windows[run.First + k];
        if (count >= kGrainsPerWindow) {
            win.Offset = sum / static_cast<double>(count);
            win.Score = Median(scores);
        } else {
            win.Score = 0;
        }
    }
    return true;
}

// Second look at the windows of a run: the 1 kHz lags (little hurt by drift inside a
// window) give a smooth lag curve; each window is measured again at the full rate with
// the test read along that curve's local slope. The full-rate lags then give a finer
// curve, along which the windows that still correlate poorly are measured once more. A
// run that still agrees poorly is measured on its grains where it has them (a tempo
// change keeping the pitch): true then.
bool RefineRun(const TTrackSignal &ref, const TTrackSignal &test, const std::vector<std::vector<TLagCandidate>> &cands,
               const std::vector<int> &path, const TRun &run, const std::vector<double> &starts, double len,
               double hop, double rate, std::vector<TSyncWindow> &windows)
{
    std::vector<double> ts, lows;
    for (size_t w = run.First; w <= run.Last; ++w) {
        ts.push_back(starts[w] + 0.5 * len);
        lows.push_back(cands[w][static_cast<size_t>(path[w])].LowLag);
    }
    const TFitResult smooth = FitPiecewise(ts, lows, kLowCurveTolerance);
    std::vector<TLagCandidate> best(ts.size());
    std::vector<char> found(ts.size(), 0);
    OnTwoThreads(ts.size(), [&](size_t k) {
        found[k] = MeasureAlong(ref, test, smooth.Knots, starts[run.First + k], len, best[k]);
    });
    std::vector<double> lags(ts.size());
    std::vector<bool> use(ts.size());
    for (size_t k = 0; k < ts.size(); ++k)
        lags[k] = found[k] ? best[k].Lag : lows[k], use[k] = found[k] && best[k].Score >= kFineCurveScore;
    if (ts.size() >= 3) {
        const TFitResult fine = FitPiecewise(ts, lags, kFitToleranceSeconds, use);
        OnTwoThreads(ts.size(), [&](size_t k) {
            TLagCandidate again;
            if ((!found[k] || best[k].Score < kRetryScore) &&
                MeasureAlong(ref, test, fine.Knots, starts[run.First + k], len, again) &&
                (!found[k] || again.Score > best[k].Score))
                best[k] = again, found[k] = 1;
        });
    }
    // Windows whose waveform no longer agrees sample for sample (a tempo change that keeps
    // the pitch, a room) are measured from the phase of their spectrum, along the curve.
    OnTwoThreads(ts.size(), [&](size_t k) {
        if (found[k] && best[k].Score >= kPhatBelow)
            return;
        const double t = ts[k], dt = 0.25 * len;
        const double slope = (KnotValueAt(smooth.Knots, t + dt) - KnotValueAt(smooth.Knots, t - dt)) / (2 * dt);
        TLagCandidate c;
        if (PhatLag(ref, test, starts[run.First + k], len, KnotValueAt(smooth.Knots, t), slope, kPhatSearch, c))
            best[k] = c, found[k] = 1;
    });
    std::vector<double> scores;
    for (size_t k = 0; k < ts.size(); ++k) {
        TSyncWindow &win = windows[run.First + k];
        if (found[k]) {
            win.Offset = rate * (ts[k] + best[k].Lag) - ts[k];
            win.Score = best[k].Score;
        }
        scores.push_back(win.Score);
        lags[k] = found[k] ? best[k].Lag : lows[k];
    }
    return ts.size() >= 3 && Median(scores) < kWaveformEdges &&
           MeasureGrains(ref, test, run, starts, len, hop, rate, ts, lags, windows);
}

// Whether the test sounds with inverted polarity against the reference: at the lags the
// onsets find (they know no sign) in windows spread over the reference, the phase
// transform's deepest trough stands out more than its highest peak in most windows that
// show either clearly. The waveform measures then read the test flipped.
bool InvertedPolarity(const TTrackSignal &ref, const TTrackSignal &test, const std::vector<double> &centres,
                      double search)
{
    const double length = ref.Seconds();
    const size_t count = std::min<size_t>(kPolarityWindows, static_cast<size_t>(length / kPolarityLength));
    size_t inverted = 0, upright = 0;
    for (size_t i = 0; i < count; ++i) {
        const double start = (length - kPolarityLength) * (static_cast<double>(i) + 0.5) / static_cast<double>(count);
        const std::vector<TLagCandidate> c = WindowLags(ref, test, start, kPolarityLength, centres, search, 1);
        double positive = 0, negative = 0;
        if (c.empty() || c[0].Z < kPolarityOnsetZ ||
            !PhatPolarity(ref, test, start, kPolarityLength, c[0].EnvLag, kPhatSearch, positive, negative) ||
            std::max(positive, negative) < kPolarityClear)
            continue;
        ++(negative > positive ? inverted : upright);
    }
    return inverted >= kPolarityVotes && inverted > kPolarityMajority * static_cast<double>(inverted + upright);
}

// The lag track of one alignment: candidates per window and the chosen path.
struct TTrack {
    std::vector<std::vector<TLagCandidate>> Cands;
    std::vector<double> Starts;
    std::vector<int> Path;
    std::vector<TRun> Runs;
    double Rate = 1, Len = 0, Hop = 0;
    // Lag (test minus reference time) of an offset curve at reference time t.
    double LagOf(const std::vector<TSyncKnot> &knots, double t) const { return (KnotValueAt(knots, t) + t) / Rate - t; }
};

// Candidates of every window, each searched around the global offsets and the previous
// window's candidates; the path through them and its runs. False when aborted.
template <typename TReport>
bool TrackWindows(const TTrackSignal &ref, const TTrackSignal &test, const TCoarseResult &coarse,
                  const TSyncOptions &options, const TReport &report, TTrack &track)
{
    std::vector<double> globals;
    for (double b : coarse.Offsets)
        globals.push_back(b / coarse.Rate);
    track.Rate = coarse.Rate;
    track.Len = options.WindowSeconds;
    track.Hop = options.HopSeconds;
    const double length = ref.Seconds();
    // The lags of the last window that had any: a stretch without a match (a pause
    // between pieces) does not lose the lag the track was on, which repeated material
    // elsewhere would otherwise take over.
    std::vector<double> last;
    for (double s = 0; s + track.Len <= length + 1e-9; s += track.Hop) {
        std::vector<double> centres = globals, follow = last;
        centres.insert(centres.end(), last.begin(), last.end());
        track.Starts.push_back(s);
        // Music that repeats gives peaks of the same height at other lags: each lag of the
        // previous window keeps its continuation, so the path can stay on it.
        track.Cands.push_back(WindowLags(ref, test, s, track.Len, centres, kSearch, kCandidates, follow, kContinuity,
                                         kMaxFollow));
        if (!track.Cands.back().empty()) {
            last.clear();
            for (const TLagCandidate &c : track.Cands.back())
                last.push_back(c.Lag);
        }
        if (track.Cands.size() % 64 == 0 && !report(0.35 + 0.55 * s / length))
            return false;
    }
    // Edits remove or insert material; none plays the primary's material twice. A
    // window straddling a cut measures either side, so a window and a hop of overlap
    // are allowed.
    std::vector<double> times;
    for (double s : track.Starts)
        times.push_back(s + 0.5 * track.Len);
    track.Path = ChoosePath(track.Cands, kContinuity, options.JumpPenalty, times, track.Len + track.Hop);
    track.Runs = Runs(track.Cands, track.Path, static_cast<size_t>(options.MinPathWindows));
    return true;
}

// The windows of the map from the chosen candidates (offsets on the primary's own time).
void FillWindows(const TTrack &track, TSyncMap &map)
{
    map.Windows.resize(track.Starts.size());
    for (size_t w = 0; w < track.Starts.size(); ++w) {
        TSyncWindow &win = map.Windows[w];
        win.Start = track.Starts[w];
        win.Length = track.Len;
        if (track.Path[w] >= 0) {
            const TLagCandidate &c = track.Cands[w][static_cast<size_t>(track.Path[w])];
            double t = win.Start + 0.5 * track.Len;
            win.Offset = track.Rate * (t + c.Lag) - t;
            win.Score = c.Score;
            win.Z = c.Z;
        }
    }
}

// The segment of run i: its windows refined and fitted, its edges found on short windows
// at the run's own lag (the track's outer ends are where the primary begins and ends).
TSyncSegment FitRun(const TTrackSignal &ref, const TTrackSignal &test, const TTrack &track, size_t i,
                    const TSyncOptions &options, TSyncMap &map)
{
    const TRun &run = track.Runs[i];
    const double len = track.Len, hop = track.Hop;
    const std::vector<double> &starts = track.Starts;
    const bool grains = RefineRun(ref, test, track.Cands, track.Path, run, starts, len, hop, track.Rate, map.Windows);
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
        use[k] = runScores[k] >= kUsualScoreShare * usual;
    // The lags of a stretch whose waveforms agree poorly scatter by milliseconds, alike in
    // overlapping windows: a bend of its curve must stand out of the scatter around a
    // straight line, or the curve follows the scatter with a knot in every few windows.
    const bool smeared = usual < kWaveformEdges || grains;
    double tolerance = options.ToleranceSeconds;
    if (smeared)
        tolerance = std::max(tolerance, kSmearedBend * FitPiecewise(ts, ys, tolerance, use, 2).Noise);
    if (grains)
        tolerance = std::max(tolerance, kGrainBend);
    TFitResult fit = FitPiecewise(ts, ys, tolerance, use);
    std::vector<double> scores;
    double z = 0;
    for (size_t k = 0; k < ts.size(); ++k) {
        TSyncWindow &win = map.Windows[run.First + k];
        win.Matched = true;
        win.Inlier = fit.Inlier[k];
        win.Segment = static_cast<int32_t>(i);
        z += win.Z;
        if (win.Inlier)
            scores.push_back(win.Score);
    }
    auto lagAt = [&](double t) { return track.LagOf(fit.Knots, t); };
    const double lo = starts[run.First], hi = starts[run.Last] + len;
    const double prevEnd = i > 0 ? starts[track.Runs[i - 1].Last] + 0.5 * len : 0.0;
    const double nextStart = i + 1 < track.Runs.size() ? starts[track.Runs[i + 1].First] + 0.5 * len : map.ReferenceLength;
    TSyncSegment seg;
    seg.Smeared = smeared;
    seg.Grains = grains;
    if (i == 0 && run.First == 0)
        seg.Start = std::max(0.0, -KnotValueAt(fit.Knots, 0));
    else
        seg.Start = FindEdge(ref, test, lagAt, std::max(prevEnd, lo - hop), lo + len, false, seg.Smeared);
    if (i + 1 == track.Runs.size() && run.Last + 1 == starts.size())
        seg.End = std::min(map.ReferenceLength, (map.PrimaryLength - KnotValueAt(fit.Knots, map.ReferenceLength)));
    else
        seg.End = FindEdge(ref, test, lagAt, hi - len, std::min(nextStart, hi + hop), true, seg.Smeared);
    seg.Knots = fit.Knots;
    seg.Knots.front() = {seg.Start, KnotValueAt(fit.Knots, seg.Start)};
    seg.Knots.back() = {seg.End, KnotValueAt(fit.Knots, seg.End)};
    seg.Residual = fit.Noise;
    seg.Drift = seg.End > seg.Start ? (seg.Knots.back().Offset - seg.Knots.front().Offset) / (seg.End - seg.Start) : 0;
    z /= static_cast<double>(ts.size());
    // A tempo change that keeps the pitch leaves the waveforms little alike while the
    // onsets stand out clearly: such a stretch counts by its peaks when its lags lie on
    // a smooth curve. Chance peaks in unrelated music with a steady beat scatter.
    std::vector<double> bends;   // how far each window lies from the line through its neighbours
    for (size_t k = 1; k + 1 < ys.size(); ++k)
        bends.push_back(std::fabs(ys[k] - 0.5 * (ys[k - 1] + ys[k + 1])));
    double basis = Median(scores);
    const bool clear = z >= kClearStretchZ || (z >= kLongStretchZ && ts.size() >= kLongStretchWindows);
    if (basis < kPhatBelow && clear && bends.size() >= 2 && Median(bends) <= kSmoothLags)
        basis = std::min(1.0, z / kFullConfidenceZ);
    seg.Confidence = std::clamp(basis, 0.0, 1.0) * static_cast<double>(scores.size()) /
                     static_cast<double>(ts.size()) * std::min(1.0, z / kConfidentZ);
    return seg;
}

// The map keeps the primary in order: where a segment would start more than `replay` s
// before the primary position at which the previous one ends (its edges grown over
// music that repeats), the shorter of the two is dropped and its stretch has no match.
void KeepOrder(const TTrack &track, double replay, TSyncMap &map)
{
    std::vector<int32_t> index(map.Segments.size());
    for (size_t i = 0; i < index.size(); ++i)
        index[i] = static_cast<int32_t>(i);
    for (size_t i = 1; i < map.Segments.size();) {
        const TSyncSegment &a = map.Segments[i - 1], &b = map.Segments[i];
        const double endA = track.Rate * (a.End + track.LagOf(a.Knots, a.End));
        const double startB = track.Rate * (b.Start + track.LagOf(b.Knots, b.Start));
        if (startB >= endA - replay) {
            ++i;
            continue;
        }
        const size_t drop = a.End - a.Start < b.End - b.Start ? i - 1 : i;
        map.Segments.erase(map.Segments.begin() + static_cast<long>(drop));
        index.erase(index.begin() + static_cast<long>(drop));
        i = std::max<size_t>(1, i - 1);
    }
    for (TSyncWindow &w : map.Windows) {
        if (w.Segment < 0)
            continue;
        const auto at = std::find(index.begin(), index.end(), w.Segment);
        w.Segment = at == index.end() ? -1 : static_cast<int32_t>(at - index.begin());
        w.Matched = w.Segment >= 0;
    }
}

// Between neighbours both curves are compared at once: music that sounds alike under
// both lags (a held chord) then cannot pull an edge away from the cut.
void JoinNeighbours(const TTrackSignal &ref, const TTrackSignal &test, const TTrack &track, TSyncMap &map)
{
    for (size_t i = 1; i < map.Segments.size(); ++i) {
        TSyncSegment &a = map.Segments[i - 1], &b = map.Segments[i];
        auto lagA = [&](double t) { return track.LagOf(a.Knots, t); };
        auto lagB = [&](double t) { return track.LagOf(b.Knots, t); };
        double from = std::max(a.Start, std::min(a.End, b.Start) - track.Len - track.Hop);
        double to = std::min(b.End, std::max(a.End, b.Start) + track.Len + track.Hop);
        double end = a.End, start = b.Start;
        JointEdges(ref, test, lagA, lagB, from, to, a.Smeared || b.Smeared, end, start);
        a.End = end;
        b.Start = start;
        a.Knots.back() = {end, KnotValueAt(a.Knots, end)};
        b.Knots.front() = {start, KnotValueAt(b.Knots, start)};
    }
}

// The median agreement over [from, to) at a lag curve (NaN when every window says
// nothing: a pause), and whether it was measured on the onsets.
template <typename TLag>
double SpanAgreement(const TTrackSignal &ref, const TTrackSignal &test, const TLag &lagAt, double from, double to,
                     bool onsets)
{
    double window = 0, step = 0;
    from = std::max(0.0, from);
    to = std::min(ref.Seconds(), to);
    if (to - from < (onsets ? kOnsetEdgeWindow : kEdgeWindow))
        return std::nan("");
    return ValidMedian(EdgeAgreement(ref, test, lagAt, from, to, onsets, window, step), 0, SIZE_MAX, std::nan(""));
}

// The offset of segment `s` where `other` begins, carried on straight from its own
// curve, lies within the scatter of both fits: the two follow one line.
bool OnOneLine(const TSyncSegment &s, const TSyncSegment &other)
{
    const double most = s.Smeared || other.Smeared ? kSameLineMostSmeared : kSameLineMost;
    const double tolerance =
        std::min(most, std::max(kSameLineLeast, kSameLineSpreads * std::max(s.Residual, other.Residual)));
    return std::fabs(KnotValueAt(s.Knots, other.Start) - SegmentOffsetAt(other, other.Start)) <= tolerance &&
           std::fabs(KnotValueAt(other.Knots, s.End) - SegmentOffsetAt(s, s.End)) <= tolerance;
}

// Segments a and b (a before b) that follow one line become one segment: its curve is
// fitted again on the inlier windows of both, its edges are a's start and b's end.
void MergeSegments(TSyncMap &map, size_t a, size_t b, const TSyncOptions &options)
{
    TSyncSegment &first = map.Segments[a];
    const TSyncSegment &second = map.Segments[b];
    std::vector<double> ts, ys;
    std::vector<bool> use;
    for (TSyncWindow &w : map.Windows) {
        if (w.Segment == static_cast<int32_t>(b))
            w.Segment = static_cast<int32_t>(a);
        else if (w.Segment > static_cast<int32_t>(a) && w.Segment < static_cast<int32_t>(b))
            w = TSyncWindow{w.Start, w.Length};   // the segments between are dropped
        if (w.Segment == static_cast<int32_t>(a)) {
            ts.push_back(w.Start + 0.5 * w.Length);
            ys.push_back(w.Offset);
            use.push_back(w.Inlier);
        }
    }
    const double lengthA = first.End - first.Start, lengthB = second.End - second.Start;
    first.Confidence = (first.Confidence * lengthA + second.Confidence * lengthB) / std::max(1e-9, lengthA + lengthB);
    first.Smeared = first.Smeared || second.Smeared;
    first.Grains = first.Grains || second.Grains;
    first.End = second.End;
    if (ts.size() >= 2) {
        double tolerance = options.ToleranceSeconds;
        if (first.Smeared)
            tolerance = std::max(tolerance, kSmearedBend * FitPiecewise(ts, ys, tolerance, use, 2).Noise);
        if (first.Grains)
            tolerance = std::max(tolerance, kGrainBend);
        const TFitResult fit = FitPiecewise(ts, ys, tolerance, use);
        first.Knots = fit.Knots;
        first.Residual = fit.Noise;
    } else {
        first.Knots.insert(first.Knots.end(), second.Knots.begin(), second.Knots.end());
    }
    first.Knots.front() = {first.Start, KnotValueAt(first.Knots, first.Start)};
    first.Knots.back() = {first.End, KnotValueAt(first.Knots, first.End)};
    first.Drift = (first.Knots.back().Offset - first.Knots.front().Offset) / std::max(1e-9, first.End - first.Start);
    map.Segments.erase(map.Segments.begin() + static_cast<long>(a) + 1, map.Segments.begin() + static_cast<long>(b) + 1);
    const int32_t removed = static_cast<int32_t>(b - a);
    for (TSyncWindow &w : map.Windows)
        if (w.Segment > static_cast<int32_t>(b))
            w.Segment -= removed;
}

// A jump needs evidence that beats continuity. Where the segments on both sides of
// another follow one line, the one between (a short excursion to a repeated phrase)
// stays only when its own lag agrees clearly better over its stretch than the line
// does. Neighbours on one line with a stretch between them are one segment when the
// stretch agrees at the line or says nothing (a pause); a stretch where both sound and
// disagree (other material in the primary) stays without a match.
void JoinContinuous(const TTrackSignal &ref, const TTrackSignal &test, const TTrack &track,
                    const TSyncOptions &options, TSyncMap &map)
{
    auto lagOf = [&](const TSyncSegment &s) { return [&track, &s](double t) { return track.LagOf(s.Knots, t); }; };
    for (size_t i = 1; i + 1 < map.Segments.size();) {
        const TSyncSegment &a = map.Segments[i - 1], &b = map.Segments[i], &c = map.Segments[i + 1];
        if (OnOneLine(a, c) && !OnOneLine(a, b)) {
            const bool onsets = a.Smeared || b.Smeared || c.Smeared;
            const double own = SpanAgreement(ref, test, lagOf(b), b.Start, b.End, onsets);
            const double line = SpanAgreement(ref, test, lagOf(a), b.Start, b.End, onsets);
            const bool beats = !std::isnan(own) && own >= kExcursionBeats * (std::isnan(line) ? 0.0 : line) &&
                               own - (std::isnan(line) ? 0.0 : line) >= kExcursionMargin;
            if (!beats) {
                for (TSyncWindow &w : map.Windows)
                    if (w.Segment == static_cast<int32_t>(i))
                        w = TSyncWindow{w.Start, w.Length};
                map.Segments.erase(map.Segments.begin() + static_cast<long>(i));
                for (TSyncWindow &w : map.Windows)
                    if (w.Segment > static_cast<int32_t>(i))
                        --w.Segment;
                i = std::max<size_t>(1, i - 1);
                continue;
            }
        }
        ++i;
    }
    for (size_t i = 1; i < map.Segments.size();) {
        const TSyncSegment &a = map.Segments[i - 1], &b = map.Segments[i];
        bool join = OnOneLine(a, b);
        if (join && b.Start - a.End >= kEdgeWindow) {
            // The stretch between: its agreement at the line against the segments' own
            // beside it.
            const bool onsets = a.Smeared || b.Smeared;
            const double probe = std::min(kJoinProbe, std::min(a.End - a.Start, b.End - b.Start));
            const double between = SpanAgreement(ref, test, lagOf(a), a.End, b.Start, onsets);
            const double before = SpanAgreement(ref, test, lagOf(a), a.End - probe, a.End, onsets);
            const double after = SpanAgreement(ref, test, lagOf(b), b.Start, b.Start + probe, onsets);
            double level = std::isnan(before) ? after : std::isnan(after) ? before : std::min(before, after);
            // Silence on the waveform reads as no agreement: the onsets tell a pause.
            const bool pause = std::isnan(between) ||
                               (!onsets && std::isnan(SpanAgreement(ref, test, lagOf(a), a.End, b.Start, true)));
            join = pause || std::isnan(level) || between >= kJoinShare * level;
        }
        if (join)
            MergeSegments(map, i - 1, i, options);
        else
            ++i;
    }
}

// The map's confidence (weighted by the segments' lengths) and whether it matched.
void Summarise(const TSyncOptions &options, TSyncMap &map)
{
    double weight = 0;
    map.Confidence = 0;
    for (const TSyncSegment &s : map.Segments) {
        map.Confidence += s.Confidence * (s.End - s.Start);
        weight += s.End - s.Start;
    }
    map.Confidence = weight > 0 ? map.Confidence / weight : 0;
    map.Matched = weight >= std::max(options.MinOverlapSeconds, kMinMatchedShare * map.ReferenceLength) &&
                  map.Confidence > kMinMapConfidence;
    if (!map.Matched)
        map.Segments.clear();
}

// Segments that the edge search left shorter than kMinSegment, or that hardly match,
// are dropped: their stretch has no match (the double track fills in) rather than a
// guess.
void DropWeak(TSyncMap &map)
{
    std::vector<TSyncSegment> kept;
    std::vector<int32_t> index(map.Segments.size(), -1);
    for (size_t i = 0; i < map.Segments.size(); ++i) {
        TSyncSegment &s = map.Segments[i];
        if (s.End - s.Start >= kMinSegment && s.Confidence >= kMinConfidence) {
            index[i] = static_cast<int32_t>(kept.size());
            kept.push_back(std::move(s));
        }
    }
    map.Segments.swap(kept);
    for (TSyncWindow &w : map.Windows)
        if (w.Segment >= 0 && static_cast<size_t>(w.Segment) < index.size()) {
            w.Segment = index[static_cast<size_t>(w.Segment)];
            w.Matched = w.Segment >= 0;
        }
}

// Neighbouring straight segments whose slopes differ by no more than their lags'
// scatter explains are one speed of the primary with a cut between them: they take the
// common slope (weighted by how well each measured it), so that the curve does not bend
// at the cut for a difference that is only noise.
void ShareSlopes(TSyncMap &map)
{
    struct TLine {
        double N = 0, T = 0, Y = 0, Stt = 0, Sty = 0, Var = 0;   // centroid, sums about it, lag variance
        double Slope() const { return Stt > 0 ? Sty / Stt : 0; }
        double Weight() const { return Var > 0 ? Stt / Var : 0; }   // 1 / variance of the slope
    };
    std::vector<TLine> lines(map.Segments.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<double> ts, ys;
        for (const TSyncWindow &w : map.Windows)
            if (w.Segment == static_cast<int32_t>(i) && w.Inlier)
                ts.push_back(w.Start + 0.5 * w.Length), ys.push_back(w.Offset);
        TLine &l = lines[i];
        l.N = static_cast<double>(ts.size());
        if (ts.size() < 4 || map.Segments[i].Knots.size() != 2)
            continue;
        for (size_t k = 0; k < ts.size(); ++k)
            l.T += ts[k] / l.N, l.Y += ys[k] / l.N;
        for (size_t k = 0; k < ts.size(); ++k)
            l.Stt += (ts[k] - l.T) * (ts[k] - l.T), l.Sty += (ts[k] - l.T) * (ys[k] - l.Y);
        double sq = 0;
        for (size_t k = 0; k < ts.size(); ++k) {
            const double r = ys[k] - l.Y - l.Slope() * (ts[k] - l.T);
            sq += r * r;
        }
        l.Var = std::max(sq / (l.N - 2), kLeastLagVariance);
    }
    auto usable = [&](size_t i) { return lines[i].Weight() > 0; };
    for (size_t first = 0; first < lines.size();) {
        size_t last = first;
        double weight = usable(first) ? lines[first].Weight() : 0, sum = weight * lines[first].Slope();
        // Windows overlap by half, so their errors are alike in pairs: the limit is wide.
        while (usable(first) && last + 1 < lines.size() && usable(last + 1)) {
            const TLine &next = lines[last + 1];
            const double common = sum / weight;
            const double spread = std::sqrt(1 / weight + 1 / next.Weight());
            if (std::fabs(next.Slope() - common) > kShareSlopeZ * spread)
                break;
            weight += next.Weight(), sum += next.Weight() * next.Slope();
            ++last;
        }
        if (last > first) {
            const double slope = sum / weight;
            for (size_t i = first; i <= last; ++i) {
                TSyncSegment &g = map.Segments[i];
                g.Knots.front().Offset = lines[i].Y + slope * (g.Knots.front().Time - lines[i].T);
                g.Knots.back().Offset = lines[i].Y + slope * (g.Knots.back().Time - lines[i].T);
                g.Drift = slope;
            }
        }
        first = last + 1;
    }
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
    TCoarseResult coarse = CoarseSearch(ref.Envelope, OnsetEnvelope(primary), options.MaxDrift, &ref.Full, &primary);
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
    std::vector<double> centres;
    for (double b : coarse.Offsets)
        centres.push_back(b / coarse.Rate);
    map.Inverted = InvertedPolarity(ref, test, centres, kSearch);
    if (map.Inverted)
        InvertPolarity(test);
    TTrack track;
    if (!TrackWindows(ref, test, coarse, options, report, track) || !report(0.9))
        return false;
    FillWindows(track, map);
    for (size_t i = 0; i < track.Runs.size(); ++i)
        map.Segments.push_back(FitRun(ref, test, track, i, options, map));
    KeepOrder(track, track.Len + track.Hop, map);
    JoinNeighbours(ref, test, track, map);
    DropWeak(map);
    JoinContinuous(ref, test, track, options, map);
    Summarise(options, map);
    ShareSlopes(map);
    return report(1.0);
}

std::vector<TSyncWindow> MeasureOffsets(TSyncSignal reference, TSyncSignal test, double window, double hop,
                                        double search, std::vector<double> *agreement)
{
    std::vector<TSyncWindow> out;
    std::vector<size_t> phatOnly;
    TTrackSignal ref, other;
    ref.Full = std::move(reference);
    other.Full = std::move(test);
    if (!PrepareTrackSignal(ref) || !PrepareTrackSignal(other))
        return out;
    if (InvertedPolarity(ref, other, {0.0}, search))
        InvertPolarity(other);
    for (double s = 0; s + window <= ref.Seconds() + 1e-9; s += hop) {
        TSyncWindow w;
        w.Start = s;
        w.Length = window;
        // The highest envelope peak is not always the true lag (other speech over the
        // same music): the best of a few peaks at the full rate is.
        std::vector<TLagCandidate> c = WindowLags(ref, other, s, window, {0.0}, search, kCandidates);
        if (!c.empty() && CandidateReward(c[0]) > 0) {
            w.Matched = true;
            w.Offset = c[0].Lag;
            w.Score = c[0].Score;
            w.Z = c[0].Z;
        }
        // Waveforms that agree poorly (a tempo change that keeps the pitch, rendered back
        // to speed, shifts every pitch; a room adds reflections that the waveform and the
        // phase of the spectrum lock onto): the onsets measure such a window, the phase
        // peak refining them where it stands clear of every other lag and agrees. A window
        // the onsets leave unmatched is matched by such a phase peak alone.
        TLagCandidate p;
        const bool phat = (!w.Matched || w.Score < kWaveformTrusted) &&
                          PhatLag(ref, other, s, window, 0, 0, search, p) && p.Z >= kPhatClear;
        if (w.Matched && w.Score < kWaveformTrusted) {
            const bool agrees = phat && std::fabs(p.Lag - c[0].EnvLag) <= kPhatNearOnsets;
            w.Offset = agrees ? p.Lag : c[0].EnvLag;
            // A phase peak too low among the lags of the whole search may still stand
            // clear among those next to the onsets' lag.
            TLagCandidate near;
            if (!agrees && PhatLag(ref, other, s, window, c[0].EnvLag, 0, kPhatSearch, near) && near.Z >= kPhatClear &&
                std::fabs(near.Lag - c[0].EnvLag) <= kPhatNearOnsets)
                w.Offset = near.Lag;
        } else if (!w.Matched && phat) {
            phatOnly.push_back(out.size());
            w.Matched = true;
            w.Offset = p.Lag;
            w.Score = p.Score;
            w.Z = p.Z;
        }
        out.push_back(w);
    }
    // A window matched by its phase peak alone counts only where it agrees with its
    // neighbours measured otherwise: a room's strong reflection gives such a peak too.
    for (size_t i : phatOnly) {
        std::vector<double> near;
        for (size_t j = i > kConfirmReach ? i - kConfirmReach : 0; j < std::min(out.size(), i + kConfirmReach + 1); ++j)
            if (j != i && out[j].Matched && std::find(phatOnly.begin(), phatOnly.end(), j) == phatOnly.end())
                near.push_back(out[j].Offset);
        if (near.size() < 2 || std::fabs(out[i].Offset - Median(near)) > kPhatAgree)
            out[i] = TSyncWindow{out[i].Start, out[i].Length};
    }
    // Sustained sound (pads, held chords) gives the envelope too few onsets to judge a
    // window by itself: a window without a clear peak is matched when the full-rate
    // waveform agrees closely at the lag of its matched neighbours.
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i].Matched)
            continue;
        std::vector<double> near;
        for (size_t j = i > kConfirmReach ? i - kConfirmReach : 0; j < std::min(out.size(), i + kConfirmReach + 1); ++j)
            if (out[j].Matched && out[j].Z > 0)
                near.push_back(out[j].Offset);
        TLagCandidate c;
        if (near.size() < 2)
            continue;
        if (RefineLag(ref, other, out[i].Start, window, Median(near), 0, kConfirmSearch, c) && c.Score >= kConfirmScore) {
            out[i].Matched = true;
            out[i].Offset = c.Lag;
            out[i].Score = c.Score;
            continue;
        }
        // Waveforms that agree poorly (a pitch shifted by a tempo change, a room): the
        // onsets agreeing closely at the neighbours' lag.
        double score = 0, at = 0;
        if (EnvelopeAgreement(ref, other, out[i].Start, window, Median(near), kConfirmEnvelopeSearch, score, at) &&
            score >= kConfirmEnvelope) {
            out[i].Matched = true;
            out[i].Offset = at;
            out[i].Score = score;
        }
    }
    std::vector<double> apart;
    SettleByNeighbours(ref, other, kWaveformTrusted, out, apart);
    if (agreement)
        *agreement = std::move(apart);
    return out;
}

} // namespace tessaly::sync
