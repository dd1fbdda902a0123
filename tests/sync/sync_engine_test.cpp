// Tests of the alignment engine on signals built in memory: the piecewise fit, the path
// search, whole alignments with offset, drift, a drift that changes, cuts (one after a
// short first part), and unrelated signals.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sync/aligner.h"
#include "sync/coarse_search.h"
#include "sync/lag_track.h"
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

TEST(SyncFit, ACornerBetweenWindowsIsKeptAndRejectedStretchesStayOnTheLine)
{
    // Drift +1 ms/s up to 30.75 s, then -0.8 ms/s; the window straddling the change
    // measures neither slope and is left out, as are a few windows further on.
    std::vector<double> t, y;
    std::vector<bool> use;
    auto truth = [](double x) { return x < 30.75 ? 0.001 * x : 0.03075 - 0.0008 * (x - 30.75); };
    for (int i = 0; i < 40; ++i) {
        double x = i * 1.5;
        t.push_back(x);
        use.push_back(i != 20 && !(i >= 30 && i <= 33));
        y.push_back(use.back() ? truth(x) : 0.0);   // what stays out carries no value
    }
    TFitResult fit = FitPiecewise(t, y, 2e-5, use);
    for (double x = 0; x <= 58.5; x += 0.25)
        EXPECT_NEAR(KnotValueAt(fit.Knots, x), truth(x), 2e-5) << x;
    EXPECT_LE(fit.Knots.size(), 4u);
}

// A window's candidate lag with a clear envelope peak.
TLagCandidate Cand(double lag, double score)
{
    TLagCandidate c;
    c.Lag = lag;
    c.Score = c.EnvScore = score;
    c.Z = 9;
    return c;
}

TEST(SyncPath, JumpsOnlyForLastingChangesAndSkipsWeakWindows)
{
    std::vector<std::vector<TLagCandidate>> w;
    for (int i = 0; i < 18; ++i) {
        double lag = i < 6 ? 0.1 : -0.4;
        std::vector<TLagCandidate> c = {Cand(lag, 0.9)};
        if (i == 3)
            c = {Cand(0.7, 0.95), Cand(0.1, 0.85)};   // a lone better peak elsewhere
        if (i == 8 || (i >= 11 && i <= 14)) {
            c = {Cand(-0.4, 0.05)};                    // nothing clear: once, and for a while
            c[0].Z = 3;
        }
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
    // Waveforms that agree poorly under a peak far above every other lag still match.
    for (int i = 11; i <= 14; ++i)
        w[static_cast<size_t>(i)][0].Z = 9;
    path = ChoosePath(w, 0.05, 1.5);
    for (int i = 11; i <= 14; ++i)
        EXPECT_EQ(path[static_cast<size_t>(i)], 0) << i;
}

TEST(SyncPath, RepeatedMaterialDoesNotPullThePathBackIntoAnEarlierRound)
{
    // Windows every 1.5 s; the primary lacks 3 s from window 6 on. From window 3 on, a
    // round of the music 16 s earlier sounds alike and a little clearer.
    std::vector<std::vector<TLagCandidate>> w;
    std::vector<double> times;
    for (int i = 0; i < 14; ++i) {
        std::vector<TLagCandidate> c = {Cand(i < 6 ? 0.0 : -3.0, 0.9)};
        if (i >= 3)
            c.push_back(Cand(-16.0, 0.97));
        w.push_back(c);
        times.push_back(1.5 + 1.5 * i);
    }
    // Without the order of the primary, the earlier round wins.
    const std::vector<int> free = ChoosePath(w, 0.05, 1.5);
    EXPECT_EQ(free[10], 1);
    // Kept in order, the path stays and takes the 3 s step back that a cut explains.
    const std::vector<int> path = ChoosePath(w, 0.05, 1.5, times, 4.5);
    for (size_t i = 0; i < path.size(); ++i)
        EXPECT_EQ(path[i], 0) << i;
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

TEST(SyncAlign, ADriftThatChangesInTheMiddleIsFollowed)
{
    const double seconds = 60;
    std::vector<double> master = Bursts(seconds + 5, 11);
    // Primary time p = 1.001 t up to 30 s, then 0.9992 per second (continuous).
    auto primaryOf = [](double t) { return t < 30 ? 1.001 * t : 30.03 + 0.9992 * (t - 30); };
    auto masterOf = [](double p) { return p < 30.03 ? p / 1.001 : 30 + (p - 30.03) / 0.9992; };
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(Resampled(master, seconds, [](double t) { return t; }),
                             Resampled(master, seconds, masterOf), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 1u);
    const TSyncSegment &s = map.Segments[0];
    // Within a tenth of a millisecond everywhere, the corner included.
    for (double t = 2; t <= 57; t += 0.5)
        EXPECT_NEAR(SegmentOffsetAt(s, t), primaryOf(t) - t, 1e-4) << t;
    EXPECT_NEAR(SegmentOffsetAt(s, 30), 0.03, 5e-5);
}

TEST(SyncAlign, AShortFirstPartBeforeACutIsMatched)
{
    const double seconds = 60;
    std::vector<double> master = Bursts(seconds + 5, 13);
    // The primary holds 0 .. 14 s, then skips 1.2 s of the master, all 1000 ppm slow.
    auto masterOf = [](double p) {
        double m = p / 1.001;
        return m < 14 ? m : m + 1.2;
    };
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(Resampled(master, seconds, [](double t) { return t; }),
                             Resampled(master, seconds, masterOf), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 2u);
    const TSyncSegment &a = map.Segments[0], &b = map.Segments[1];
    EXPECT_LT(a.Start, 0.1);
    EXPECT_NEAR(a.End, 14.0, 0.04);
    EXPECT_NEAR(b.Start, 15.2, 0.04);
    EXPECT_NEAR(SegmentOffsetAt(a, 7), 0.007, 1e-4);
    EXPECT_NEAR(SegmentOffsetAt(b, 40), 1.001 * (40 - 1.2) - 40, 1e-4);
}

// Bursts with a stretch [from, to) s replaced: by silence, or by other bursts (seed).
std::vector<double> WithStretch(std::vector<double> x, double from, double to, uint32_t seed)
{
    const std::vector<double> other = Bursts(to - from + 1, seed);
    const size_t a = static_cast<size_t>(from * kSyncRate), b = static_cast<size_t>(to * kSyncRate);
    for (size_t i = a; i < b && i < x.size(); ++i)
        x[i] = seed == 0 ? 0.0 : other[i - a];
    return x;
}

TEST(SyncAlign, APauseOnOneLineIsNoCutAndOtherMaterialInThePrimaryStaysUnmatched)
{
    const double seconds = 60;
    // The primary 0.3 s later and 200 ppm slow, no edit; 7 s of silence in both from 25 s.
    const std::vector<double> master = WithStretch(Bursts(seconds + 5, 17), 25, 32, 0);
    auto masterOf = [](double p) { return (p - 0.3) / 1.0002; };
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(Resampled(master, seconds, [](double t) { return t; }),
                             Resampled(master, seconds, masterOf), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 1u);
    EXPECT_LT(map.Segments[0].Start, 0.1);
    EXPECT_GT(map.Segments[0].End, 55.0);
    for (double t = 2; t <= 55; t += 0.5)
        EXPECT_NEAR(SegmentOffsetAt(map.Segments[0], t), 0.3 + 0.0002 * t, 1e-4) << t;
    // The same, but the primary holds other sound over those 7 s (material of the same
    // length put over it): the curve runs on, yet the stretch matches nothing.
    const std::vector<double> sounding = Bursts(seconds + 5, 17);
    const std::vector<double> overdub = WithStretch(sounding, 25, 32, 23);
    ASSERT_TRUE(AlignSignals(Resampled(sounding, seconds, [](double t) { return t; }),
                             Resampled(overdub, seconds, masterOf), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 2u);
    EXPECT_NEAR(map.Segments[0].End, 25.0, 0.4);
    EXPECT_NEAR(map.Segments[1].Start, 32.0, 0.4);
}

TEST(SyncAlign, ACopyOfInvertedPolarityWithAnEchoIsMeasuredAtItsDirectSound)
{
    const double seconds = 40;
    const std::vector<double> master = Bursts(seconds + 5, 19);
    // The primary 0.5 s later, its sign flipped (a microphone wired the other way), with
    // an echo at 40 % 5 ms after the direct sound.
    std::vector<double> copy(master.size());
    const size_t echo = static_cast<size_t>(0.005 * kSyncRate);
    for (size_t i = 0; i < copy.size(); ++i)
        copy[i] = -(master[i] + (i >= echo ? 0.4 * master[i - echo] : 0.0));
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(Resampled(master, seconds, [](double t) { return t; }),
                             Resampled(copy, seconds, [](double p) { return p - 0.5; }), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    EXPECT_TRUE(map.Inverted);
    ASSERT_EQ(map.Segments.size(), 1u);
    for (double t = 2; t <= 38; t += 0.5)
        EXPECT_NEAR(SegmentOffsetAt(map.Segments[0], t), 0.5, 5e-5) << t;
    // The windows of a result check see it the same way.
    const std::vector<TSyncWindow> w = MeasureOffsets(Resampled(master, 20, [](double t) { return t; }),
                                                      Resampled(copy, 20, [](double t) { return t - 0.0125; }), 2, 1, 1);
    ASSERT_GE(w.size(), 15u);
    for (const TSyncWindow &x : w) {
        if (x.Matched) {
            EXPECT_NEAR(x.Offset, 0.0125, 5e-5) << x.Start;
        }
    }
    // A copy of the same sign is not taken for inverted.
    ASSERT_TRUE(AlignSignals(Resampled(master, seconds, [](double t) { return t; }),
                             Resampled(master, seconds, [](double p) { return p - 0.5; }), TSyncOptions{}, map));
    EXPECT_FALSE(map.Inverted);
}

TEST(SyncSignal, ResamplingGivesTheSameSamplesEveryTime)
{
    // The tempo scan's speed is applied to the primary by resampling; were its 16-bit
    // output dithered from the clock, one track would align differently run to run.
    const TSyncSignal in = Resampled(Bursts(12, 29), 10, [](double t) { return t; });
    std::vector<TSyncSignal> out(4);
    for (TSyncSignal &o : out) {
        ASSERT_TRUE(ResampleSignal(in, 1 / 0.96, o));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_EQ(out[0].Samples.size(), static_cast<size_t>(std::llround(in.Samples.size() / 0.96)));
    for (size_t k = 1; k < out.size(); ++k)
        EXPECT_TRUE(out[k].Samples == out[0].Samples) << k;
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

TEST(SyncPath, APauseKeepsTheLagAndTheSameMusicFurtherOnDoesNotTakeOver)
{
    // Windows every 1.5 s on lag 0; from window 4 on the same music sounds again 40 s
    // further on in the primary, a little clearer; windows 8-10 are a pause (no peaks).
    std::vector<std::vector<TLagCandidate>> w;
    std::vector<double> times;
    for (int i = 0; i < 36; ++i) {
        std::vector<TLagCandidate> c;
        if (i < 8 || i > 10) {
            c.push_back(Cand(0.0, 0.9));
            if (i >= 4)
                c.push_back(Cand(40.0, 0.92));
        }
        w.push_back(c);
        times.push_back(1.5 + 1.5 * i);
    }
    const std::vector<int> path = ChoosePath(w, 0.05, 1.5, times, 4.5);
    for (size_t i = 0; i < path.size(); ++i)
        EXPECT_EQ(path[i], i >= 8 && i <= 10 ? -1 : 0) << i;
}

// An onset envelope at kEnvelopeRate: sparse onsets of random height.
std::vector<float> Onsets(double seconds, uint32_t seed)
{
    uint32_t s = seed * 2654435761u + 7;
    auto next = [&]() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s & 0xFFFFFF) / float(0x1000000);
    };
    std::vector<float> env(static_cast<size_t>(seconds * kEnvelopeRate), 0.0f);
    for (float &v : env)
        v = next() < 0.08f ? 0.2f + next() : 0.02f * next();
    return env;
}

TEST(SyncCoarse, ALoudPassageDoesNotMatchEveryChunk)
{
    // Ten minutes; the primary starts 2 s later and holds a passage of 40 s whose onsets
    // are twenty times as strong as the rest (and match nothing in the reference).
    const std::vector<float> ref = Onsets(600, 3), loud = Onsets(40, 4);
    std::vector<float> prim(static_cast<size_t>(2 * kEnvelopeRate), 0.0f);
    prim.insert(prim.end(), ref.begin(), ref.end());
    const size_t at = static_cast<size_t>(400 * kEnvelopeRate);
    for (size_t i = 0; i < loud.size(); ++i)
        prim[at + i] = 20 * loud[i];
    const TCoarseResult r = CoarseSearch(ref, prim, 0.065);
    ASSERT_TRUE(r.Found);
    EXPECT_NEAR(r.Rate, 1.0, 2e-4);
    ASSERT_FALSE(r.Offsets.empty());
    EXPECT_NEAR(r.Offsets[0], 2.0, 0.05);
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

TEST(SyncEdges, OnsetAgreementHoldsAtTheLagFailsElsewhereAndSaysNothingInAPause)
{
    // Material with a 2 s pause at 8 s; the test sounds 0.25 s later.
    std::vector<double> master = Bursts(22, 9);
    std::fill(master.begin() + static_cast<long>(8 * kSyncRate), master.begin() + static_cast<long>(10 * kSyncRate), 0.0);
    TTrackSignal ref, test;
    ref.Full = Resampled(master, 20, [](double t) { return t; });
    test.Full = Resampled(master, 20, [](double t) { return t - 0.25; });
    ASSERT_TRUE(PrepareTrackSignal(ref));
    ASSERT_TRUE(PrepareTrackSignal(test));
    const double window = 0.3, step = 0.01;
    const std::vector<double> right = EnvelopeLocalAgreement(ref, test, 0.25, 0.25, 1, 14, window, step);
    const std::vector<double> wrong = EnvelopeLocalAgreement(ref, test, 0.6, 0.6, 1, 14, window, step);
    ASSERT_EQ(right.size(), wrong.size());
    ASSERT_GT(right.size(), 1000u);
    double sumRight = 0, sumWrong = 0;
    int sounding = 0, quiet = 0, against = 0;
    for (size_t k = 0; k < right.size(); ++k) {
        const double from = 1 + static_cast<double>(k) * step, to = from + window;
        if (from > 8.05 && to < 9.95) {
            // Inside the pause the right lag is not judged; the wrong one reads the sound
            // after the pause 0.35 s early: sound against the reference's silence disagrees.
            EXPECT_TRUE(std::isnan(right[k])) << from;
            if (to + 0.35 < 9.95)
                EXPECT_TRUE(std::isnan(wrong[k])) << from;
            else
                EXPECT_TRUE(std::isnan(wrong[k]) || wrong[k] == 0.0) << from;
            against += wrong[k] == 0.0;
        } else if (to < 7.9 || from > 10.3) {
            // A quiet moment between bursts may say nothing too.
            if (std::isnan(right[k])) {
                ++quiet;
                continue;
            }
            EXPECT_GT(right[k], 0.8) << from;
            sumRight += right[k];
            sumWrong += std::isnan(wrong[k]) ? 0 : wrong[k];
            ++sounding;
        }
    }
    ASSERT_GT(sounding, 800);
    EXPECT_LT(quiet, sounding / 20);
    EXPECT_GT(sumRight / sounding, 0.97);
    EXPECT_LT(sumWrong / sounding, 0.3);
    EXPECT_GE(against, 5);
}

} // namespace
} // namespace tessaly::sync
