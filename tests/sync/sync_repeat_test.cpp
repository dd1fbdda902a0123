// Tests of the alignment engine on music whose drum pattern repeats sample for sample
// while its chords and melody change: the onsets match every round alike, the harmony
// tells the rounds apart.
#include <cmath>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "support/sync_truth.h"
#include "sync/aligner.h"
#include "sync/chroma.h"
#include "sync/coarse_search.h"

namespace tessaly::sync {
namespace {

// The analysis signal of interleaved stereo frames [first, last) of `music` at 48 kHz,
// played `stretch` primary seconds per source second.
TSyncSignal Analysis(const std::vector<float> &music, size_t first, size_t last, double stretch)
{
    TSyncSignalBuilder b;
    EXPECT_TRUE(b.Begin(test::kTruthRate / stretch, 2));
    EXPECT_TRUE(b.Append(music.data() + 2 * first, last - first));
    TSyncSignal out;
    EXPECT_TRUE(b.Finish(out));
    return out;
}

// Sines of `hz` at kSyncRate, each of amplitude 0.2 (none: silence).
TSyncSignal Tones(std::vector<double> hz, double seconds)
{
    TSyncSignal s;
    s.Samples.resize(static_cast<size_t>(seconds * kSyncRate));
    for (size_t i = 0; i < s.Samples.size(); ++i) {
        double v = 0;
        for (double f : hz)
            v += 0.2 * std::sin(2 * M_PI * f * static_cast<double>(i) / kSyncRate);
        s.Samples[i] = static_cast<int16_t>(std::lround(v * 32767));
    }
    return s;
}

// The cosine of two chroma frames.
double Cosine(const TChromaFrame &a, const TChromaFrame &b)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t k = 0; k < 12; ++k)
        ab += double(a[k]) * b[k], aa += double(a[k]) * a[k], bb += double(b[k]) * b[k];
    return ab / std::sqrt(aa * bb);
}

TEST(SyncChroma, PitchClassesOfTonesChordsAndSilence)
{
    const std::vector<TChromaFrame> a = ChromaFrames(Tones({440}, 2)), a2 = ChromaFrames(Tones({220}, 2));
    const std::vector<TChromaFrame> c = ChromaFrames(Tones({261.6, 329.6, 392.0}, 2));
    const std::vector<TChromaFrame> f = ChromaFrames(Tones({174.6, 220.0, 261.6}, 2)), quiet = ChromaFrames(Tones({}, 2));
    const size_t n = static_cast<size_t>(2 * kChromaRate), mid = n / 2;
    ASSERT_EQ(a.size(), n);
    const TChromaFrame &tone = a[mid];
    EXPECT_EQ(std::max_element(tone.begin(), tone.end()) - tone.begin(), 9);   // A
    // The C major triad: C, E and G carry the energy, each more than any other class.
    const TChromaFrame &chord = c[mid];
    for (size_t k : {1u, 2u, 3u, 5u, 6u, 8u, 9u, 10u, 11u})
        for (size_t in : {0u, 4u, 7u})
            EXPECT_GT(chord[in], chord[k]) << in << " " << k;
    // An octave lower is the same class; another chord sharing one note agrees less.
    EXPECT_NEAR(Cosine(a[mid], a2[mid]), 1.0, 0.05);
    EXPECT_LT(Cosine(c[mid], f[mid]), 0.6);
    // Every frame of a steady sound is the same, of unit length.
    for (size_t i = 1; i + 1 < n; ++i)
        EXPECT_NEAR(Cosine(c[i], c[mid]), 1.0, 1e-4) << i;
    EXPECT_NEAR(std::sqrt(std::inner_product(c[mid].begin(), c[mid].end(), c[mid].begin(), 0.0)), 1.0, 1e-5);
    // Silence holds no harmony: its frames are zero.
    for (float v : quiet[mid])
        EXPECT_EQ(v, 0.0f);
}

// 120 s of the repeated rhythm; the primary lacks 60-62.5 s (part of a 4 s round) and
// runs 300 ppm fast.
struct TRhythmPair {
    TSyncSignal Ref, Prim;
    TRhythmPair()
    {
        const std::vector<float> music = test::RepeatedRhythm(120, 18);
        const size_t r = test::kTruthRate, end = music.size() / 2;
        Ref = Analysis(music, 0, end, 1);
        Prim = Analysis(music, 0, 60 * r, 0.9997);
        const TSyncSignal second = Analysis(music, 62 * r + r / 2, end, 0.9997);
        Prim.Samples.insert(Prim.Samples.end(), second.Samples.begin(), second.Samples.end());
    }
    // The true offset (primary minus reference time) at reference time t; false in the gap.
    static bool Truth(double t, double &offset)
    {
        if (t > 60 && t < 62.5)
            return false;
        offset = -0.0003 * t - (t >= 62.5 ? 2.5 * 0.9997 : 0.0);
        return true;
    }
};

TEST(SyncRepeat, TheHarmonyAddsTheRoundTheOnsetsMissedAheadOfTheirs)
{
    const TRhythmPair pair;
    // On the onsets alone every round scores alike: the first part's offset was not among
    // the candidates at all, a round 24 s off led them.
    const TCoarseResult both = CoarseSearch(OnsetEnvelope(pair.Ref), OnsetEnvelope(pair.Prim), 0.065, &pair.Ref, &pair.Prim);
    ASSERT_TRUE(both.Found);
    EXPECT_NEAR(both.Rate, 0.9997, 1e-4);
    ASSERT_FALSE(both.Offsets.empty());
    EXPECT_NEAR(both.Offsets[0], 0.0, 0.02);
    size_t second = 0;
    while (second < both.Offsets.size() && std::fabs(both.Offsets[second] + 2.5 * 0.9997) > 0.02)
        ++second;
    EXPECT_LT(second, both.Offsets.size());
}

TEST(SyncRepeat, EachPartIsMatchedAtItsOwnRoundAndTheCutWhereItIs)
{
    TRhythmPair pair;
    TSyncMap map;
    ASSERT_TRUE(AlignSignals(std::move(pair.Ref), std::move(pair.Prim), TSyncOptions{}, map));
    ASSERT_TRUE(map.Matched);
    ASSERT_EQ(map.Segments.size(), 2u);
    EXPECT_NEAR(map.Segments[0].End, 60.0, 0.05);
    EXPECT_NEAR(map.Segments[1].Start, 62.5, 0.05);
    // Every matched stretch at its true offset (the onsets alone matched the first part
    // 12 s off, three rounds later); together they cover nearly all that both share.
    double covered = 0;
    for (const TSyncSegment &s : map.Segments) {
        covered += s.End - s.Start;
        for (double t = s.Start + 0.05; t < s.End - 0.05; t += 0.25) {
            double truth = 0;
            ASSERT_TRUE(TRhythmPair::Truth(t, truth)) << t;
            ASSERT_NEAR(SegmentOffsetAt(s, t), truth, 0.001) << t;
        }
    }
    EXPECT_GT(covered, 0.95 * 117.5);
}

} // namespace
} // namespace tessaly::sync
