// Piecewise-linear least squares on hat functions, robust spread, greedy knot
// insertion; and the Viterbi path over window candidates with a no-match state.
#include "sync/sync_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaly::sync {

namespace {

constexpr double kKnotPull = 1e-6;
constexpr double kClearZ = 7;   // envelope peak height over the other lags that is a match by itself
constexpr size_t kMaxHolds = 8;        // no-match states kept per window in the path search
constexpr double kPauseDrift = 0.005;   // lag change per second of a pause that still resumes the lag
constexpr double kMadToSpread = 1.4826; // median absolute deviation to standard deviation (normal noise)
constexpr double kOutlierSpreads = 5;   // points farther than this many spreads from the fit are outliers
constexpr int kRejectPasses = 3;        // fits and rejections alternate at most this often
constexpr double kNoiseKnotSpreads = 2.5;   // a knot goes in only where the error exceeds this many
                                            // spreads of the noise that averaging cannot remove
constexpr double kWeakScore = 0.2;      // a window agreeing less says nothing by its score
constexpr double kClearReward = 0.2;    // ... but a clear peak still earns this much
constexpr double kWeakZ = 4.5;          // envelope peak height below which a window is no match
constexpr double kNoMatchReward = -0.6; // four such windows in a row outweigh leaving a run and
                                        // coming back
constexpr double kScoreFloor = 0.1;     // a matched window earns its score less this

// Least-squares values at the knot times of the continuous piecewise-linear curve
// through the inlier points (normal equations of the hat basis, tridiagonal).
std::vector<double> SolveKnots(const std::vector<double> &knotT, const std::vector<double> &t,
                               const std::vector<double> &y, const std::vector<bool> &use)
{
    const size_t k = knotT.size();
    std::vector<double> diag(k, 1e-12), off(k, 0.0), rhs(k, 0.0);
    // A faint pull of neighbouring knots towards each other (weighted by their
    // distance): it leaves knots with points where the points put them, and carries the
    // curve on as a straight line across knots whose points were all rejected, instead
    // of dropping them to zero.
    for (size_t j = 0; j + 1 < k; ++j) {
        const double pull = kKnotPull / std::max(1e-6, knotT[j + 1] - knotT[j]);
        diag[j] += pull;
        diag[j + 1] += pull;
        off[j] -= pull;
    }
    size_t seg = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (!use[i])
            continue;
        while (seg + 2 < k && t[i] > knotT[seg + 1])
            ++seg;
        double w1 = std::clamp((t[i] - knotT[seg]) / (knotT[seg + 1] - knotT[seg]), 0.0, 1.0), w0 = 1 - w1;
        diag[seg] += w0 * w0;
        diag[seg + 1] += w1 * w1;
        off[seg] += w0 * w1;
        rhs[seg] += w0 * y[i];
        rhs[seg + 1] += w1 * y[i];
    }
    // Thomas algorithm; off[i] couples knots i and i+1.
    std::vector<double> c(k, 0.0), d(k, 0.0);
    for (size_t i = 0; i < k; ++i) {
        double lower = i > 0 ? off[i - 1] : 0;
        double den = diag[i] - (i > 0 ? lower * c[i - 1] : 0);
        if (std::fabs(den) < 1e-15)
            den = 1e-15;
        c[i] = off[i] / den;
        d[i] = (rhs[i] - (i > 0 ? lower * d[i - 1] : 0)) / den;
    }
    std::vector<double> x(k);
    for (size_t i = k; i-- > 0;)
        x[i] = d[i] - (i + 1 < k ? c[i] * x[i + 1] : 0);
    return x;
}

std::vector<TSyncKnot> MakeKnots(const std::vector<double> &knotT, const std::vector<double> &values)
{
    std::vector<TSyncKnot> knots(knotT.size());
    for (size_t i = 0; i < knotT.size(); ++i)
        knots[i] = {knotT[i], values[i]};
    return knots;
}

// Largest |residual| over the points that take part.
double WorstInlier(const std::vector<double> &res, const std::vector<bool> &inlier)
{
    double worst = 0;
    for (size_t i = 0; i < res.size(); ++i)
        if (inlier[i])
            worst = std::max(worst, std::fabs(res[i]));
    return worst;
}

// The inlier point (not on a knot) with the largest error smoothed over its three
// inlier neighbours, so that single noisy windows add no knot; t.size() for none.
size_t WorstSmoothed(const std::vector<double> &t, const std::vector<double> &res, const std::vector<bool> &inlier,
                     const std::vector<double> &knotT, double &worst)
{
    const size_t n = t.size();
    size_t at = n;
    worst = 0;
    for (size_t i = 1; i + 1 < n; ++i) {
        if (!inlier[i] || std::binary_search(knotT.begin(), knotT.end(), t[i]))
            continue;
        double s = 0;
        int m = 0;
        for (size_t j = i - 1; j <= i + 1; ++j)
            if (inlier[j])
                s += res[j], ++m;
        s /= m;
        if (std::fabs(s) > worst)
            worst = std::fabs(s), at = i;
    }
    return at;
}

// The least-squares curve at knotT through the inliers of r, with its residuals.
void Refit(const std::vector<double> &knotT, const std::vector<double> &t, const std::vector<double> &y, TFitResult &r,
           std::vector<double> &res)
{
    r.Knots = MakeKnots(knotT, SolveKnots(knotT, t, y, r.Inlier));
    res.resize(t.size());
    for (size_t i = 0; i < t.size(); ++i)
        res[i] = y[i] - KnotValueAt(r.Knots, t[i]);
}

// A change of drift between two windows leaves two knots with no point between them
// (the window straddling the change measures neither slope and drops out): the curve
// then cuts the corner. Where the lines on either side meet between the two knots,
// the pair becomes one knot at that meeting point, kept when the points stay as close
// to the curve as before (or within `limit`).
void MergeCorners(std::vector<double> &knotT, const std::vector<double> &t, const std::vector<double> &y,
                  double limit, TFitResult &r, std::vector<double> &res)
{
    Refit(knotT, t, y, r, res);
    for (size_t i = 1; i + 2 < knotT.size(); ++i) {
        const double a = knotT[i], b = knotT[i + 1];
        bool empty = true;
        for (size_t j = 0; j < t.size() && empty; ++j)
            empty = !(r.Inlier[j] && t[j] > a && t[j] < b);
        if (!empty)
            continue;
        const std::vector<TSyncKnot> &k = r.Knots;
        const double left = (k[i].Offset - k[i - 1].Offset) / (k[i].Time - k[i - 1].Time);
        const double right = (k[i + 2].Offset - k[i + 1].Offset) / (k[i + 2].Time - k[i + 1].Time);
        if (std::fabs(left - right) < 1e-9)
            continue;
        const double meet = (k[i + 1].Offset - k[i].Offset - right * b + left * a) / (left - right);
        if (!(meet > a && meet < b))
            continue;
        const double worst = WorstInlier(res, r.Inlier);
        std::vector<double> merged = knotT;
        merged.erase(merged.begin() + static_cast<long>(i), merged.begin() + static_cast<long>(i) + 2);
        merged.insert(merged.begin() + static_cast<long>(i), meet);
        TFitResult trial = r;
        std::vector<double> trialRes;
        Refit(merged, t, y, trial, trialRes);
        if (WorstInlier(trialRes, trial.Inlier) <= std::max(worst, limit)) {
            knotT.swap(merged);
            r = trial;
            res.swap(trialRes);
        }
    }
}

// Knots added early by the greedy search can end up on a straight line between their
// neighbours: each interior knot is taken out in turn and stays out when no point
// moves farther from the curve than before (or than `limit`).
void PruneKnots(std::vector<double> &knotT, const std::vector<double> &t, const std::vector<double> &y, double limit,
                TFitResult &r, std::vector<double> &res)
{
    Refit(knotT, t, y, r, res);
    for (size_t i = 1; i + 1 < knotT.size();) {
        std::vector<double> fewer = knotT;
        fewer.erase(fewer.begin() + static_cast<long>(i));
        TFitResult trial = r;
        std::vector<double> trialRes;
        Refit(fewer, t, y, trial, trialRes);
        if (WorstInlier(trialRes, trial.Inlier) <= std::max(WorstInlier(res, r.Inlier), limit)) {
            knotT.swap(fewer);
            r = trial;
            res.swap(trialRes);
        } else {
            ++i;
        }
    }
}

} // namespace

double KnotValueAt(const std::vector<TSyncKnot> &knots, double t)
{
    if (knots.empty())
        return 0;
    if (knots.size() == 1)
        return knots[0].Offset;
    size_t i = 0;
    while (i + 2 < knots.size() && t > knots[i + 1].Time)
        ++i;
    const TSyncKnot &a = knots[i], &b = knots[i + 1];
    double span = b.Time - a.Time;
    return span > 0 ? a.Offset + (b.Offset - a.Offset) * (t - a.Time) / span : a.Offset;
}

TFitResult FitPiecewise(const std::vector<double> &t, const std::vector<double> &y, double tolerance,
                        const std::vector<bool> &use, size_t maxKnots)
{
    TFitResult r;
    const size_t n = t.size();
    r.Inlier.assign(n, true);
    std::vector<bool> allowed = use.size() == n ? use : std::vector<bool>(n, true);
    r.Inlier = allowed;
    // Measurement noise from second differences: a straight or gently bending track
    // leaves only the noise (sd of d2 = sqrt(1.5) sd for unit spacing).
    std::vector<double> d2;
    for (size_t i = 1; i + 1 < n; ++i)
        if (allowed[i - 1] && allowed[i] && allowed[i + 1])
            d2.push_back(std::fabs(y[i] - 0.5 * (y[i - 1] + y[i + 1])));
    const double localNoise = d2.empty() ? 0 : kMadToSpread * Median(d2) / std::sqrt(1.5);
    if (n == 0)
        return r;
    if (n == 1 || t.back() <= t.front()) {
        r.Knots = {{t.front(), y.front()}, {t.back() + 1e-3, y.front()}};
        return r;
    }
    // The outer knots sit on the first and last usable points; the curve goes on straight
    // beyond them.
    size_t first = 0, last = n - 1;
    while (first + 1 < n && !allowed[first])
        ++first;
    while (last > first && !allowed[last])
        --last;
    if (last <= first)
        first = 0, last = n - 1;
    std::vector<double> knotT = {t[first], t[last]};
    std::vector<double> values, res(n);
    auto solve = [&]() {
        values = SolveKnots(knotT, t, y, r.Inlier);
        r.Knots = MakeKnots(knotT, values);
        for (size_t i = 0; i < n; ++i)
            res[i] = y[i] - KnotValueAt(r.Knots, t[i]);
    };
    auto reject = [&]() {
        std::vector<double> a;
        for (size_t i = 0; i < n; ++i)
            if (r.Inlier[i])
                a.push_back(std::fabs(res[i]));
        r.Noise = kMadToSpread * Median(a);
        double limit = std::max(kOutlierSpreads * std::max(r.Noise, localNoise), kFitToleranceSeconds);
        bool changed = false;
        for (size_t i = 0; i < n; ++i) {
            bool in = allowed[i] && std::fabs(res[i]) <= limit;
            changed = changed || in != r.Inlier[i];
            r.Inlier[i] = in;
        }
        return changed;
    };
    solve();
    for (int pass = 0; pass < kRejectPasses && reject(); ++pass)
        solve();
    const double limit = std::max(tolerance, kNoiseKnotSpreads * localNoise / std::sqrt(3.0));
    while (knotT.size() < maxKnots) {
        double worst = 0;
        const size_t at = WorstSmoothed(t, res, r.Inlier, knotT, worst);
        if (at == n || worst <= limit)
            break;
        knotT.insert(std::lower_bound(knotT.begin(), knotT.end(), t[at]), t[at]);
        solve();
        reject();
        solve();
    }
    MergeCorners(knotT, t, y, limit, r, res);
    PruneKnots(knotT, t, y, limit, r, res);
    return r;
}

double CandidateReward(const TLagCandidate &c)
{
    // The envelope score, not the full-rate one: drift left inside a window smears the
    // full-rate peak long before it smears the envelope's.
    const double s = std::max(c.EnvScore, c.Score);
    // A peak standing far above all other lags is a match even where the waveforms
    // agree poorly (a tempo change that keeps the pitch smears every sample).
    if (c.Z >= kClearZ && s < kWeakScore)
        return kClearReward;
    if (c.Z < kWeakZ || s < kWeakScore)
        return kNoMatchReward;
    return std::min(s, 1.0) - kScoreFloor;
}

std::vector<int> ChoosePath(const std::vector<std::vector<TLagCandidate>> &candidates, double continuity,
                            double jumpPenalty, const std::vector<double> &times, double replay)
{
    const bool timed = times.size() == candidates.size();
    const size_t windows = candidates.size();
    std::vector<int> path(windows, -1);
    if (windows == 0)
        return path;
    // The states of a window: its candidates, then the no-match states. A no-match state
    // remembers the lag, time and primary position (time plus lag) of the last matched
    // window of its path; there is one per lag left, so that a pause between pieces does
    // not merge every path into the best one so far (whose position would then forbid
    // going on with the others).
    struct TState {
        double Score = -std::numeric_limits<double>::infinity();
        int From = -1;
        double Reached = -std::numeric_limits<double>::infinity();   // primary position, s
        double LastLag = std::nan("");
        double LastTime = std::nan("");
    };
    std::vector<std::vector<TState>> states(windows);
    auto timeOf = [&](size_t w) { return timed ? times[w] : static_cast<double>(w); };
    for (size_t w = 0; w < windows; ++w) {
        const auto &cur = candidates[w];
        std::vector<TState> &now = states[w];
        now.assign(cur.size(), TState{});
        for (size_t s = 0; s < cur.size(); ++s) {
            now[s].Reached = timed ? times[w] + cur[s].Lag : -std::numeric_limits<double>::infinity();
            now[s].LastLag = cur[s].Lag;
            now[s].LastTime = timeOf(w);
            if (w == 0)
                now[s].Score = CandidateReward(cur[s]);
        }
        if (w == 0) {
            now.push_back(TState{});
            now.back().Score = 0;
            continue;
        }
        const auto &prev = candidates[w - 1];
        const std::vector<TState> &before = states[w - 1];
        // Into candidates.
        for (size_t s = 0; s < cur.size(); ++s) {
            const double gain = CandidateReward(cur[s]);
            for (size_t p = 0; p < before.size(); ++p) {
                const TState &q = before[p];
                // The primary is not played backwards by more than `replay` s: music that
                // repeats must not pull the path back to an earlier round.
                if (timed && now[s].Reached < q.Reached - replay)
                    continue;
                double cost = 0;
                if (p < prev.size()) {
                    const double d = std::fabs(cur[s].Lag - prev[p].Lag);
                    cost = d <= continuity ? 0.5 * d / continuity : jumpPenalty;
                } else {
                    // Back from no match: resuming the lag left (give or take the drift of
                    // the pause) costs what leaving did; another lag is a cut as well.
                    cost = 0.5 * jumpPenalty;
                    if (!std::isnan(q.LastLag) &&
                        std::fabs(cur[s].Lag - q.LastLag) > continuity + kPauseDrift * (timeOf(w) - q.LastTime))
                        cost += jumpPenalty;
                }
                const double v = q.Score + gain - cost;
                if (v > now[s].Score)
                    now[s].Score = v, now[s].From = static_cast<int>(p);
            }
        }
        // Into no match: each previous state's path left (or kept) without a match, those
        // that left nearly the same lag merged, the best few kept.
        std::vector<TState> holds;
        for (size_t p = 0; p < before.size(); ++p) {
            const TState &q = before[p];
            TState h = q;
            h.Score = q.Score - (p < prev.size() ? 0.5 * jumpPenalty : 0.0);
            h.From = static_cast<int>(p);
            bool merged = false;
            for (TState &o : holds) {
                const bool same = std::isnan(o.LastLag) ? std::isnan(h.LastLag)
                                                        : !std::isnan(h.LastLag) && std::fabs(o.LastLag - h.LastLag) <= continuity;
                if (same) {
                    if (h.Score > o.Score)
                        o = h;
                    merged = true;
                    break;
                }
            }
            if (!merged)
                holds.push_back(h);
        }
        std::stable_sort(holds.begin(), holds.end(), [](const TState &a, const TState &b) { return a.Score > b.Score; });
        if (holds.size() > kMaxHolds)
            holds.resize(kMaxHolds);
        now.insert(now.end(), holds.begin(), holds.end());
    }
    const std::vector<TState> &end = states.back();
    int s = 0;
    for (size_t k = 1; k < end.size(); ++k)
        if (end[k].Score > end[static_cast<size_t>(s)].Score)
            s = static_cast<int>(k);
    for (size_t w = windows; w-- > 0;) {
        path[w] = s < static_cast<int>(candidates[w].size()) ? s : -1;
        s = states[w][static_cast<size_t>(s)].From;
        if (s < 0 && w > 0)
            break;
    }
    return path;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(m), v.end());
    return v[m];
}

} // namespace tessaly::sync
