// The second look at a result's ambiguous windows: the lag its neighbours agree on,
// checked on the window's own onsets.
#include "sync/verify_measure.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sync/sync_fit.h"

namespace tessaly::sync {

namespace {

constexpr size_t kReach = 6;             // windows on each side whose lags make the neighbours' lag
constexpr size_t kLeastNeighbours = 3;   // ... of which at least this many must be matched
constexpr double kAway = 0.01;           // s: a matched window this far from it is looked at again
constexpr double kSameLag = 1e-4;        // s: a window settled again this close has not changed
constexpr double kSearch = 0.02;         // s: onsets searched +- this around a lag
constexpr double kAgrees = 0.6;          // onset agreement at the neighbours' lag that settles a
                                         // window (a right window of held pads: 0.64 and more)
constexpr double kAmbiguous = 0.05;      // ... where its own lag agrees no more than this better
                                         // (a bar earlier in repeated music: as well, give or take)

// The median lag of the matched windows within reach of window i, or false.
bool NeighboursLag(const std::vector<TSyncWindow> &windows, size_t i, double &lag)
{
    std::vector<double> near;
    for (size_t j = i > kReach ? i - kReach : 0; j < std::min(windows.size(), i + kReach + 1); ++j)
        if (j != i && windows[j].Matched)
            near.push_back(windows[j].Offset);
    if (near.size() < kLeastNeighbours)
        return false;
    lag = Median(near);
    return true;
}

// The window's onset agreement near `lag`, false unless its best lies inside the search
// (a peak at the edge belongs to another lag).
bool AgreementNear(const TTrackSignal &ref, const TTrackSignal &test, const TSyncWindow &w, double lag,
                   double &score, double &at)
{
    return EnvelopeAgreement(ref, test, w.Start, w.Length, lag, kSearch, score, at) &&
           std::fabs(at - lag) < kSearch - 0.5 / kEnvelopeRate;
}

} // namespace

void SettleByNeighbours(const TTrackSignal &ref, const TTrackSignal &test, double trustedScore,
                        std::vector<TSyncWindow> &windows, std::vector<double> &agreement)
{
    agreement.assign(windows.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<double> lags(windows.size(), 0.0);
    std::vector<bool> known(windows.size(), false);
    // Rounds until nothing changes: a window settled in one lends its lag to its
    // neighbours in the next, so a long ambiguous stretch settles from its ends inwards.
    bool changed = true;
    for (size_t round = 0; changed && round < windows.size(); ++round) {
        changed = false;
        const std::vector<TSyncWindow> before = windows;
        for (size_t i = 0; i < windows.size(); ++i) {
            known[i] = NeighboursLag(before, i, lags[i]);
            TSyncWindow &w = windows[i];
            if (!known[i] || (w.Matched && (w.Score >= trustedScore || std::fabs(w.Offset - lags[i]) <= kAway)))
                continue;
            double score = 0, at = 0;
            if (!AgreementNear(ref, test, w, lags[i], score, at) || score < kAgrees)
                continue;
            // A lag of its own that the onsets clearly prefer keeps the window where it is.
            double own = 0, ownAt = 0;
            if (w.Matched && EnvelopeAgreement(ref, test, w.Start, w.Length, w.Offset, kSearch, own, ownAt) &&
                own > score + kAmbiguous)
                continue;
            changed = changed || !w.Matched || std::fabs(w.Offset - at) > kSameLag;
            w.Matched = true;
            w.Offset = at;
            w.Score = score;
        }
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        const TSyncWindow &w = windows[i];
        if (!known[i] || (w.Matched && std::fabs(w.Offset - lags[i]) <= kAway))
            continue;
        double score = 0, at = 0;
        if (EnvelopeAgreement(ref, test, w.Start, w.Length, lags[i], kSearch, score, at))
            agreement[i] = score;
    }
}

} // namespace tessaly::sync
