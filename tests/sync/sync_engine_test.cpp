// Tests of the alignment engine on signals built in memory: the piecewise fit, the path
// search, whole alignments with offset, drift and a cut, and unrelated signals.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "sync/aligner.h"
#include "sync/sync_fit.h"

namespace tessaly::sync {
namespace {

// Deterministic sound at kSyncRate: decaying noise bursts of random length and level,
// the kind of material (hits, consonants) a lag can be measured on.
std::vector<double> Bursts(double seconds, uint32_t seed)
{
    uint32_t s = seed * 747796405u + 1;
    auto next = [&]() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s & 0xFFFFFF) / double(0x1000000);
    };
    std::vector<double> out(static_cast<size_t>(seconds * kSyncRate), 0.0);
    for (size_t at = 0; at < out.size(); at += static_cast<size_t>((0.05 + 0.3 * next()) * kSyncRate)) {
        double level = 0.1 + 0.5 * next(), decay = (0.01 + 0.08 * next()) * kSyncRate;
        for (size_t i = 0; at + i < out.size() && i < 6 * decay; ++i)
            out[at + i] += level * std::exp(-double(i) / decay) * (2 * next() - 1);
    }
    return out;
}

// x read at positions map(t) seconds (linear interpolation), as a TSyncSignal.
template <typename TMap>
TSyncSignal Resampled(const std::vector<double> &x, double seconds, TMap map)
{
    TSyncSignal sig;
    sig.Samples.resize(static_cast<size_t>(seconds * kSyncRate));
    for (size_t i = 0; i < sig.Samples.size(); ++i) {
        double p = map(i / kSyncRate) * kSyncRate;
        long k = static_cast<long>(std::floor(p));
        double f = p - k, v = 0;
        if (k >= 0 && k + 1 < static_cast<long>(x.size()))
            v = x[static_cast<size_t>(k)] * (1 - f) + x[static_cast<size_t>(k + 1)] * f;
        sig.Samples[i] = static_cast<int16_t>(std::lround(std::max(-1.0, std::min(1.0, v)) * 16000));
    }
    return sig;
}

TEST(SyncFit, KnotsGoWhereTheTrackBendsAndNotForNoise)
{
    std::vector<double> t, y, flat;
    for (int i = 0; i < 60; ++i) {
        double x = i * 1.5, noise = ((i * 7919) % 13 - 6) * 1e-6;
        t.push_back(x);
        y.push_back((x < 45 ? 0.001 * x : 0.045 - 0.0005 * (x - 45)) + noise);
        flat.push_back(0.25 + 0.0001 * x + noise);
    }
    y[20] += 0.01;   // one wild window
    TFitResult bent = FitPiecewise(t, y, 2e-5);
    EXPECT_FALSE(bent.Inlier[20]);
    ASSERT_GE(bent.Knots.size(), 3u);
    bool nearCorner = false;
    for (const TSyncKnot &k : bent.Knots)
        nearCorner = nearCorner || std::fabs(k.Time - 45) <= 3;
    EXPECT_TRUE(nearCorner);
    for (size_t i = 0; i < t.size(); ++i) {
        if (i != 20) {
            EXPECT_NEAR(KnotValueAt(bent.Knots, t[i]), y[i], 5e-5) << t[i];
        }
    }
    TFitResult straight = FitPiecewise(t, flat, 2e-5);
    EXPECT_EQ(straight.Knots.size(), 2u);
    EXPECT_NEAR(KnotValueAt(straight.Knots, 30), 0.253, 1e-5);
}

TEST(SyncPath, JumpsOnlyForLastingChangesAndSkipsWeakWindows)
{
    auto cand = [](double lag, double score) {
        TLagCandidate c;
        c.Lag = lag;
        c.Score = c.EnvScore = score;
        c.Z = 9;
        return c;
    };
    std::vector<std::vector<TLagCandidate>> w;
    for (int i = 0; i < 18; ++i) {
        double lag = i < 6 ? 0.1 : -0.4;
        std::vector<TLagCandidate> c = {cand(lag, 0.9)};
        if (i == 3)
            c = {cand(0.7, 0.95), cand(0.1, 0.85)};   // a lone better peak elsewhere
        if (i == 8 || (i >= 11 && i <= 14))
            c = {cand(-0.4, 0.05)};                    // nothing clear: once, and for a while
        w.push_back(c);
    }
    std::vector<int> path = ChoosePath(w, 0.05, 1.5);
    EXPECT_EQ(path[3], 1);    // no jump there and back for one window
    EXPECT_EQ(path[8], 0);    // one weak window does not break a run
    for (int i = 11; i <= 14; ++i)
        EXPECT_EQ(path[static_cast<size_t>(i)], -1) << i;   // a weak stretch is no match
    EXPECT_EQ(path[6], 0);
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(path[17], 0);
}

TEST(SyncAlign, OffsetDriftAndCutAreRecovered)
{
    const double seconds = 40;
    std::vector<double> master = Bursts(seconds + 5, 7);
    // Reference = master; primary: 0.8 s later, 500 ppm slower, lacking 1.5 s at 20 s.
    TSyncSignal ref = Resampled(master, seconds, [](double t) { return t; });
    auto masterOf = [](double p) {
        double m = (p - 0.8) / 1.0005;
        return m < 20 ? m : m + 1.5;
    };
    TSyncSignal prim = Resampled(master, seconds, masterOf);
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(std::move(ref), std::move(prim), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 2u);
    const TSyncSegment &a = map.Segments[0], &b = map.Segments[1];
    EXPECT_NEAR(a.End, 20.0, 0.04);
    EXPECT_NEAR(b.Start, 21.5, 0.04);
    // Offset = primary time - reference time.
    EXPECT_NEAR(SegmentOffsetAt(a, 10), 0.8 + 10 * 0.0005, 2e-4);
    EXPECT_NEAR(SegmentOffsetAt(b, 30), 0.8 + 28.5 * 1.0005 - 30, 2e-4);
    EXPECT_NEAR(a.Drift, 0.0005, 5e-5);
}

TEST(SyncAlign, UnrelatedOrShortSignalsDoNotMatch)
{
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(Resampled(Bursts(30, 1), 30, [](double t) { return t; }),
                             Resampled(Bursts(30, 2), 30, [](double t) { return t; }), TSyncOptions{}, map));
    EXPECT_FALSE(map.Matched);
    EXPECT_TRUE(map.Segments.empty());
    ASSERT_TRUE(AlignSignals(Resampled(Bursts(5, 1), 5, [](double t) { return t; }),
                             Resampled(Bursts(5, 1), 5, [](double t) { return t; }), TSyncOptions{}, map));
    EXPECT_FALSE(map.Matched);
}

TEST(SyncMeasure, WindowsReportTheDelayOfTheTest)
{
    std::vector<double> master = Bursts(22, 5);
    std::vector<TSyncWindow> w = MeasureOffsets(Resampled(master, 20, [](double t) { return t; }),
                                                Resampled(master, 20, [](double t) { return t - 0.0125; }), 2, 1, 1);
    ASSERT_GE(w.size(), 15u);
    for (const TSyncWindow &x : w) {
        if (x.Start < 0.5 || x.Start + x.Length > 19.9)
            continue;   // the test starts with silence and ends before the reference
        EXPECT_TRUE(x.Matched) << x.Start;
        EXPECT_NEAR(x.Offset, 0.0125, 3e-5) << x.Start;
    }
}

} // namespace
} // namespace tessaly::sync
