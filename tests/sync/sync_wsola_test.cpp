// Tests of the alignment engine on copies whose tempo was changed keeping the pitch
// (sox tempo, WSOLA): the grains of such a copy are shifted by up to a few ms each, and
// the map must follow the smooth line of the copy's speed through them.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "autosync/sync_audio.h"
#include "support/sync_truth.h"
#include "support/test_support.h"
#include "sync/aligner.h"

namespace tessaly::sync {
namespace {

struct TWsolaResult {
    TSyncMap Map;
    double MedianMs = 0, P95Ms = 0;   // |map - truth| over the matched reference seconds
    double Speed = 0;                 // primary seconds per reference second, from the map
};

// Makes the case of `spec`, aligns its primary to its reference in this process and
// compares the map every 50 ms with the truth (the grains' mean shift included).
void AlignCase(const test::TTruthSpec &spec, const std::string &dir, TWsolaResult &out)
{
    test::TTruthCase truth;
    ASSERT_TRUE(test::MakeTruthCase(spec, dir, truth)) << "needs sox, ffmpeg";
    TSyncSignal reference, primary;
    std::string error;
    ASSERT_TRUE(autosync::ReadSyncFile(truth.Reference, reference, error)) << error;
    ASSERT_TRUE(autosync::ReadSyncFile(truth.Primary, primary, error)) << error;
    ASSERT_TRUE(AlignSignals(std::move(reference), std::move(primary), TSyncOptions{}, out.Map));
    ASSERT_TRUE(out.Map.Matched);
    std::vector<double> errors;
    double lengths = 0, drifts = 0;
    for (const TSyncSegment &g : out.Map.Segments) {
        lengths += g.End - g.Start;
        drifts += g.Drift * (g.End - g.Start);
        for (double t = g.Start; t < g.End; t += 0.05) {
            double p = 0;
            if (truth.PrimaryTimeAt(t, p))
                errors.push_back(1000 * std::fabs(t + SegmentOffsetAt(g, t) - p));
        }
    }
    ASSERT_FALSE(errors.empty());
    std::sort(errors.begin(), errors.end());
    out.MedianMs = errors[errors.size() / 2];
    out.P95Ms = errors[errors.size() * 95 / 100];
    out.Speed = 1 + drifts / lengths;
}

// One segment (no false cut) on the line: within 2 ms median and 5 ms p95 of the truth,
// at the copy's speed over the whole programme.
void ExpectTheLine(const TWsolaResult &r)
{
    EXPECT_EQ(r.Map.Segments.size(), 1u);
    EXPECT_LE(r.MedianMs, 2.0);
    EXPECT_LE(r.P95Ms, 5.0);
    EXPECT_NEAR(r.Speed, 0.96, 2e-5);
}

test::TTruthSpec Spec(const std::string &name, double seconds)
{
    test::TTruthSpec spec;
    spec.Name = name;
    spec.Seconds = seconds;
    spec.Pieces = {{0, seconds, 24.0 / 25, false, true}};
    return spec;
}

TEST(SyncWsola, SpeedUpOfSynthesisedPadsFollowsTheLineThroughTheGrains)
{
    // Slow pads and a sparse melody (few onsets) sped up from film to PAL keeping the
    // pitch: the long windows agree with no lag, each grain agrees exactly with its own.
    test::TTempDir dir;
    test::TTruthSpec spec = Spec("pads wsola", 80);
    spec.Pads = true;
    TWsolaResult r;
    ASSERT_NO_FATAL_FAILURE(AlignCase(spec, dir.Path(), r));
    ExpectTheLine(r);
}

TEST(SyncWsola, SpeedUpOfRecordedGameMusicFollowsTheLineThroughTheGrains)
{
    const std::string folder = "/usr/share/hyperrogue/music/";
    test::TTruthSpec spec = Spec("recorded loops wsola", 90);
    spec.MusicFiles = {folder + "hr3-graveyard.ogg", folder + "hr3-laboratory.ogg"};
    for (const std::string &f : spec.MusicFiles)
        if (test::RunCommand("test -s '" + f + "'") != 0)
            GTEST_SKIP() << "needs the hyperrogue-music package";
    test::TTempDir dir;
    TWsolaResult r;
    ASSERT_NO_FATAL_FAILURE(AlignCase(spec, dir.Path(), r));
    ExpectTheLine(r);
    // Measured on the grains, the windows agree closely at their lags.
    size_t close = 0;
    for (const TSyncWindow &w : r.Map.Windows)
        close += w.Matched && w.Score >= 0.9 ? 1 : 0;
    EXPECT_GE(close, r.Map.Windows.size() / 2);
}

} // namespace
} // namespace tessaly::sync
