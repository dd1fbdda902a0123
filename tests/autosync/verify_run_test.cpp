// The verdict on a result: where the double track stands in for the primary (switched
// off, waiting after a backward cut, beyond the primary's end), and how windows of
// silence, wrong material and the double track's sound count against the result.
#include <gtest/gtest.h>

#include <cmath>

#include "autosync/sync_plot.h"
#include "autosync/verify_run.h"
#include "project/project.h"
#include "support/make_marker.h"
#include "support/test_support.h"
#include "fake_film.h"

namespace tessaly {
namespace {

using namespace autosync;

TEST(FilledInSpans, OffWaitingAndBeyondTheEndAreTheDoubleTracks)
{
    test::TFakeFilm film(500);
    TProject &project = film.Project;
    // One second back at 4 s: the primary waits until it passes what it played.
    ASSERT_GE(project.AddMarker(test::Make(100, -25, mkRelCut)), 0);
    TMarker off = test::Make(250, PackOption(-1, true, false), mkOption);
    TMarker on = test::Make(300, PackOption(-1, false, false), mkOption);
    ASSERT_GE(project.AddMarker(off), 0);
    ASSERT_GE(project.AddMarker(on), 0);
    project.RebuildSpline();
    // An 18 s primary ends one second before the 20 s video.
    const std::vector<TTimeSpan> spans = FilledInSpans(project, 18.0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_NEAR(spans[0].From, 4.0, 1e-9);
    EXPECT_NEAR(spans[0].To, 5.0, 1e-9);
    EXPECT_NEAR(spans[1].From, 10.0, 1e-9);
    EXPECT_NEAR(spans[1].To, 12.0, 1e-9);
    EXPECT_NEAR(spans[2].From, 19.0, 1e-9);
    EXPECT_NEAR(spans[2].To, 20.0, 1e-9);
}

// Deterministic noise bursts at the analysis rate: every window has its own material.
sync::TSyncSignal Noise(double seconds, uint32_t seed)
{
    sync::TSyncSignal s;
    s.Samples.resize(static_cast<size_t>(seconds * s.Rate));
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < s.Samples.size(); ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        const double env = 0.3 + 0.7 * std::fabs(std::sin(i / 8000.0 * 2.7));
        s.Samples[i] = static_cast<int16_t>(((x & 0xFFFF) / 65536.0 - 0.5) * 12000 * env);
    }
    return s;
}

TEST(JudgeResult, WrongMaterialSilenceAndFillInCountAgainstCoverage)
{
    const sync::TSyncSignal reference = Noise(30, 1);
    TVerifyOptions options;
    // In sync: every window matched, full coverage.
    TVerifyReport same = JudgeResult(reference, reference, {}, true, options);
    EXPECT_TRUE(same.Passed);
    EXPECT_EQ(same.Matched, same.Sounding);
    EXPECT_DOUBLE_EQ(same.Coverage, 1.0);

    // 10 s of other material in the middle: unmatched, coverage below 90 %.
    sync::TSyncSignal wrong = reference;
    const sync::TSyncSignal other = Noise(10, 9);
    std::copy(other.Samples.begin(), other.Samples.end(), wrong.Samples.begin() + 10 * 8000);
    TVerifyReport bad = JudgeResult(reference, wrong, {}, true, options);
    EXPECT_FALSE(bad.Passed);
    EXPECT_GE(bad.Unmatched, 8u);
    ASSERT_FALSE(bad.Spans.empty());
    EXPECT_EQ(bad.Spans[0].Kind, vkUnmatched);
    EXPECT_NEAR(bad.Spans[0].From, 10, 1.5);
    EXPECT_NEAR(bad.Spans[0].To, 20, 1.5);
    ASSERT_EQ(bad.Wrong.size(), 1u);
    EXPECT_NEAR(bad.Wrong[0].From, 10, 1.5);
    const std::string badSvg = VerifyPlot(bad, options, "check");
    EXPECT_NE(badSvg.find("wrong content"), std::string::npos);
    EXPECT_NE(badSvg.find("matches nothing"), std::string::npos);

    // The same stretch silent in the result: not judged, the rest still covers it all.
    sync::TSyncSignal quiet = reference;
    std::fill(quiet.Samples.begin() + 10 * 8000, quiet.Samples.begin() + 20 * 8000, int16_t{0});
    TVerifyReport silent = JudgeResult(reference, quiet, {}, true, options);
    EXPECT_GE(silent.Silent, 9u);
    EXPECT_TRUE(silent.Passed);
    EXPECT_TRUE(silent.Wrong.empty());

    // The recording's own sound, but the project says the double track filled it in.
    TVerifyReport filled = JudgeResult(reference, reference, {{10, 20}}, true, options);
    EXPECT_FALSE(filled.Passed);
    EXPECT_GE(filled.FilledIn, 9u);
    const std::string text = VerifyText(filled, options);
    EXPECT_NE(text.find("10.0-20.0 s: filled in by the double track"), std::string::npos) << text;
    const std::string svg = VerifyPlot(filled, options, "check");
    EXPECT_NE(svg.find("double fills in"), std::string::npos);
    options.MinCoverage = 0.6;
    EXPECT_TRUE(JudgeResult(reference, reference, {{10, 20}}, true, options).Passed);
}

// `seconds` of a recorded file from `at`, through sox effects, as an analysis signal.
bool SoxSignal(const std::string &file, double at, double seconds, const std::string &effects,
               const std::string &raw, sync::TSyncSignal &out)
{
    if (test::RunCommand("sox -V1 " + test::ShellQuote(file) + " -t raw -e signed -b 16 -c 1 -r 8000 " +
                         test::ShellQuote(raw) + " trim " + std::to_string(at) + " " + std::to_string(seconds) + " " +
                         effects + " 2>/dev/null") != 0)
        return false;
    const std::vector<uint8_t> bytes = test::ReadFileBytes(raw);
    out.Samples.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.Samples.size(); ++i)
        out.Samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return !out.Samples.empty();
}

TEST(JudgeResult, TempoCorrectedPadsPassButASecondAndAHalfOfOtherMusicFails)
{
    // Game loops of held pads and repeated bars, sped up 25/24 keeping the pitch and
    // rendered back to speed: the result is right (about 5 ms late), yet the waveforms
    // hardly agree and a 2 s window's onsets also fit a bar earlier or later.
    const std::string folder = "/usr/share/hyperrogue/music/";
    const std::string loop = folder + "hr3-laboratory.ogg", other = folder + "hr3-graveyard.ogg";
    if (test::RunCommand("command -v sox >/dev/null && test -s " + test::ShellQuote(loop) + " && test -s " +
                         test::ShellQuote(other)) != 0)
        GTEST_SKIP() << "needs sox and hyperrogue-music";
    const std::string tempo = "tempo -s 1.041666667 speed 0.96";
    test::TTempDir dir;
    const TVerifyOptions options;
    sync::TSyncSignal reference, result, wrong;
    struct TPiece {
        std::string File;
        double From, Seconds;
    };
    // In the graveyard a bar earlier fits a window's onsets about as well as the right
    // lag; the laboratory's held pads leave a 2 s window hardly any onsets. The
    // laboratory's pair stays for the damaged results.
    for (const TPiece &piece : {TPiece{other, 90, 36}, TPiece{loop, 45, 35}}) {
        ASSERT_TRUE(SoxSignal(piece.File, piece.From, piece.Seconds, "", dir.File("ref.raw"), reference));
        ASSERT_TRUE(SoxSignal(piece.File, piece.From, piece.Seconds, tempo, dir.File("res.raw"), result));
        const TVerifyReport right = JudgeResult(reference, result, {}, true, options);
        EXPECT_TRUE(right.Passed) << piece.File << "\n" << VerifyText(right, options);
        EXPECT_EQ(right.Outside, 0u);
        EXPECT_TRUE(right.Wrong.empty());
        EXPECT_NEAR(right.MedianMs, 5, 5);
    }
    ASSERT_TRUE(SoxSignal(other, 30, 1.5, "", dir.File("other.raw"), wrong));

    // 1.5 s of the other loop: more than a second of wrong content fails the result
    // although it leaves most of the windows matched, both where one window holds it
    // all and where it fills half of two.
    for (double from : {15.25, 20.75}) {
        sync::TSyncSignal damaged = result;
        const long at = std::lround(from * damaged.Rate);
        std::copy(wrong.Samples.begin(), wrong.Samples.end(), damaged.Samples.begin() + at);
        const TVerifyReport bad = JudgeResult(reference, damaged, {}, true, options);
        const std::string text = VerifyText(bad, options);
        EXPECT_FALSE(bad.Passed) << from << "\n" << text;
        ASSERT_EQ(bad.Wrong.size(), 1u) << from << "\n" << text;
        EXPECT_LE(bad.Wrong[0].From, from + 0.5) << text;
        EXPECT_GE(bad.Wrong[0].To, from + 1.0) << text;
        EXPECT_NE(text.find("wrong content"), std::string::npos) << text;
    }
}

} // namespace
} // namespace tessaly
