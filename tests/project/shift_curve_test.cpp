// Tests of the shift curve (RebuildSpline, SplineShiftAt), the deactivated-marker
// statistics and the frame state.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "project/project.h"
#include "support/project_fakes.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::TFakeProjectMedia;

using test::Make;

class ShiftCurve : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        media.Audio = true;
        media.SampleRate = 48000;
        project.VideoOpened();
        project.AudioOpened();
    }
    double At(long double x) { return static_cast<double>(project.SplineShiftAt(x)); }
    void Add(const TMarker &m)
    {
        ASSERT_GE(project.AddMarker(m), 0);
        project.RebuildSpline();
    }
    TFakeProjectMedia media;
    TProject project{nullptr, &media};
};

// The frame state as the marker list says it, walked from the start: what the
// project's running sums and searches must give at every frame.
TFrameState WalkedState(const TProject &project, int32_t frame)
{
    TFrameState s;
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        const TMarker m = project.GetMarker(i);
        if (m.Frame > frame)
            break;
        if (!m.Deactivated) {
            if (m.Kind == mkRelCut)
                s.CutShift += m.Shift();
            if (m.Kind == mkDShift)
                s.DoubleShift = m.Shift();
            if (m.Kind == mkOption) {
                s.OptionFlags = OptionFlags(m.Value);
                if (OptionVolume(m.Value) >= 0)
                    s.DoubleVolume = static_cast<int16_t>(OptionVolume(m.Value));
            }
        }
        if (m.Frame == frame)
            s.MarkerIndex = i;
    }
    for (int32_t i = 0; i < project.ChapterCount() && project.GetChapter(i).Frame <= frame; ++i) {
        s.ChapterNumber = i + 1;
        s.ChapterStart = project.GetChapter(i).Frame;
        s.ChapterEnabled = project.GetChapter(i).Enabled;
    }
    return s;
}

TEST_F(ShiftCurve, ManyMarkersGiveTheWalkedStateAtEveryFrameAndACurveThroughTheirPoints)
{
    media.SetVideo("/clips/long.avi", 20000);
    project.VideoOpened();
    std::mt19937 rng(99);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<TMarker> markers;
    for (int i = 0; i < 3000; ++i) {
        TMarker m = Make(pick(0, 19999), 0, static_cast<uint8_t>(pick(mkSpline, mkOption)), pick(0, 1) == 1,
                         pick(0, 5) == 0);
        if (m.Kind == mkOption)
            m.Value = PackOption(pick(-1, 300), pick(0, 1) == 1, pick(0, 1) == 1);
        else
            SetMarkerMilli(m, pick(-4000, 4000));
        markers.push_back(m);
    }
    ASSERT_TRUE(project.SetMarkers(markers));
    project.Options().UseChapters = true;
    for (int i = 0; i < 40; ++i)
        project.AddChapter({pick(1, 19999), pick(0, 1) == 1});
    for (int32_t f = 0; f < 20000; ++f) {
        const TFrameState want = WalkedState(project, f), got = project.GetStateAt(f);
        ASSERT_EQ(got.CutShift, want.CutShift) << f;   // the same additions in the same order
        ASSERT_EQ(got.DoubleShift, want.DoubleShift) << f;
        ASSERT_EQ(got.OptionFlags, want.OptionFlags) << f;
        ASSERT_EQ(got.DoubleVolume, want.DoubleVolume) << f;
        ASSERT_EQ(got.MarkerIndex, want.MarkerIndex) << f;
        ASSERT_EQ(got.ChapterNumber, want.ChapterNumber) << f;
        ASSERT_EQ(got.ChapterStart, want.ChapterStart) << f;
        ASSERT_EQ(got.ChapterEnabled, want.ChapterEnabled) << f;
    }
    // The curve meets every active spline point inside the video, found among thousands
    // of knots.
    int points = 0;
    for (const TMarker &m : project.Markers()) {
        if (m.Kind != mkSpline || m.Deactivated)
            continue;
        ++points;
        ASSERT_NEAR(At(m.Frame), static_cast<double>(m.Shift()), 1e-3) << m.Frame;
    }
    EXPECT_GT(points, 500);
}

TEST_F(ShiftCurve, NoMarkersGiveZeroEverywhere)
{
    for (long double x : {-50.0L, 0.0L, 1.5L, 500.0L, 999.0L, 1000.0L, 5000.0L})
        EXPECT_EQ(project.SplineShiftAt(x), 0.0L) << static_cast<double>(x);
    TFrameState s = project.GetStateAt(123);
    EXPECT_EQ(s.TotalShift(), 0.0L);
}

TEST_F(ShiftCurve, OneMarkerIsAConstantShift)
{
    Add(Make(100, 5, mkSpline));
    for (long double x : {-10.0L, 0.0L, 50.0L, 100.0L, 640.5L, 999.0L, 1000.0L, 1500.0L})
        EXPECT_NEAR(At(x), 5.0, 1e-12) << static_cast<double>(x);
}

TEST_F(ShiftCurve, TwoMarkersExtendTheirLineToBothEnds)
{
    Add(Make(100, 0, mkSpline));
    Add(Make(200, 10, mkSpline));
    // The curve starts at (0, -10) and ends at (1000, 90): the straight line x/10 - 10.
    EXPECT_NEAR(At(0), -10.0, 1e-9);
    EXPECT_NEAR(At(1000), 90.0, 1e-9);
    for (int x : {1, 100, 150, 200, 333, 999})
        EXPECT_NEAR(At(x), x / 10.0 - 10.0, 1e-6) << x;
    // Before 0 the value at 0; beyond N the line continues.
    EXPECT_NEAR(At(-100), -10.0, 1e-9);
    EXPECT_NEAR(At(1100), 100.0, 1e-6);
}

TEST_F(ShiftCurve, PassesThroughEveryActiveMarker)
{
    Add(Make(100, 3, mkSpline));
    Add(Make(400, -7, mkSpline));
    Add(Make(450, 2, mkRelCut));   // cuts do not bend the curve
    Add(Make(700, 12, mkSpline));
    Add(Make(1000, 99, mkSpline)); // at or beyond N: ignored
    for (auto [x, y] : {std::pair{100, 3}, {400, -7}, {700, 12}})
        EXPECT_NEAR(At(x), y, 1e-4) << x;
    // The ends continue the lines through the two outer points.
    EXPECT_NEAR(At(0), 3 + 10 / 3.0, 1e-4);      // 3 - (-10 * 100) / 300
    EXPECT_NEAR(At(1000), 12 + 19.0, 1e-4);      // 12 - ((-7 - 12) * 300) / -300
    // Smooth in between: no step between neighbouring frames.
    for (int x = 1; x < 1000; ++x)
        EXPECT_LT(std::fabs(At(x) - At(x - 1)), 0.2) << x;
}

TEST_F(ShiftCurve, LongVideoEndPointsDoNotOverflow)
{
    // (y1 - y0) * x0 exceeds 32 bits here; the end points must still be on the line.
    media.SetVideo("/clips/long.avi", 9000000);
    project.VideoOpened();
    Add(Make(5000000, 0, mkSpline));
    Add(Make(5001000, 1000, mkSpline));
    EXPECT_NEAR(At(0), -5000000.0, 1e-3);
    EXPECT_NEAR(At(9000000), 4000000.0, 1e-3);
}

TEST_F(ShiftCurve, InversionStopsWhereTheCurveFoldsBack)
{
    // Huge steps between close points make X(t) non-monotonic around them.
    Add(Make(100, 0, mkSpline));
    Add(Make(101, 9999999, mkSpline));
    Add(Make(102, -9999999, mkSpline));
    Add(Make(103, 0, mkSpline));
    for (int x : {0, 100, 101, 102, 103, 500})
        EXPECT_TRUE(std::isfinite(At(x))) << x;
    EXPECT_NEAR(At(103), 0.0, 1.0);
}

TEST_F(ShiftCurve, DeactivatedMarkersDoNotBendButAreMeasured)
{
    Add(Make(100, 5, mkSpline));
    EXPECT_EQ(project.DeactivatedStats().Count, 0);
    EXPECT_EQ(project.DeactivatedStats().Frame, -1);
    Add(Make(300, 5, mkSpline, false, true));   // error 0
    Add(Make(500, 7, mkSpline, false, true));   // error -2
    Add(Make(600, 2, mkSpline, false, true));   // error 3: the largest
    Add(Make(800, 8, mkSpline, false, true));   // error -3: not strictly larger
    Add(Make(2000, 50, mkSpline, false, true)); // beyond the video: not counted
    for (int x : {0, 300, 500, 600, 999})
        EXPECT_NEAR(At(x), 5.0, 1e-12);
    const TDeactivatedStats &st = project.DeactivatedStats();
    EXPECT_EQ(st.Count, 4);
    EXPECT_EQ(st.Frame, 600);
    EXPECT_NEAR(static_cast<double>(st.Error), 3.0, 1e-12);

    // Only deactivated points: the curve is 0 and they are measured against it.
    project.ResetMarkers();
    Add(Make(200, -4, mkSpline, false, true));
    EXPECT_EQ(At(200), 0.0);
    EXPECT_EQ(project.DeactivatedStats().Count, 1);
    EXPECT_EQ(project.DeactivatedStats().Frame, 200);
    EXPECT_NEAR(static_cast<double>(project.DeactivatedStats().Error), 4.0, 1e-12);
}

TEST_F(ShiftCurve, NoVideoMeansNoShiftAndAnEmptyState)
{
    Add(Make(100, 5, mkSpline));
    Add(Make(100, 5, mkRelCut));
    project.ClearProject();
    EXPECT_EQ(project.SplineShiftAt(100), 0.0L);
    TFrameState s = project.GetStateAt(100);
    EXPECT_EQ(s.Frame, 100);
    EXPECT_EQ(s.MarkerIndex, -1);
    EXPECT_EQ(s.DoubleVolume, 100);
    EXPECT_EQ(s.CutShift, 0.0L);
    EXPECT_EQ(s.ChapterNumber, 0);
}

TEST_F(ShiftCurve, FrameStateCollectsCutsDoubleShiftOptionsAndChapter)
{
    project.Options().UseChapters = true;
    project.AddChapter({400, false});
    Add(Make(100, 5, mkRelCut, true));
    Add(Make(150, 100, mkRelCut, false, true));   // deactivated: ignored
    Add(Make(200, -2, mkRelCut));
    Add(Make(250, 7, mkDShift));
    Add(Make(300, -3, mkDShift));
    Add(Make(350, PackOption(80, true, false), mkOption));
    Add(Make(380, PackOption(-1, false, true), mkOption));
    Add(Make(500, 4, mkSpline));

    TFrameState s = project.GetStateAt(99);
    EXPECT_EQ(s.CutShift, 0.0L);
    EXPECT_EQ(s.MarkerIndex, -1);
    EXPECT_EQ(s.ChapterNumber, 1);
    EXPECT_TRUE(s.ChapterEnabled);

    s = project.GetStateAt(100);
    EXPECT_EQ(s.CutShift, 5.0L);
    EXPECT_EQ(s.MarkerIndex, 0);
    EXPECT_EQ(s.MarkerFrame, 100);
    EXPECT_EQ(s.MarkerValue, 5);
    EXPECT_EQ(s.MarkerKind, mkRelCut);
    EXPECT_TRUE(s.MarkerAffect);
    EXPECT_NEAR(static_cast<double>(s.TotalShift()), 9.0, 1e-9);

    s = project.GetStateAt(150);
    EXPECT_EQ(s.CutShift, 5.0L);
    EXPECT_EQ(s.MarkerIndex, 1);
    EXPECT_TRUE(s.MarkerDeactivated);

    s = project.GetStateAt(320);
    EXPECT_EQ(s.CutShift, 3.0L);
    EXPECT_EQ(s.DoubleShift, -3.0L);   // replaced, not added
    EXPECT_EQ(s.OptionFlags, 0);
    EXPECT_EQ(s.DoubleVolume, 100);

    s = project.GetStateAt(360);
    EXPECT_EQ(s.OptionFlags, 1);
    EXPECT_TRUE(s.AudioOff());
    EXPECT_EQ(s.DoubleVolume, 80);

    s = project.GetStateAt(450);   // flags replaced, volume kept (no change)
    EXPECT_EQ(s.OptionFlags, 2);
    EXPECT_TRUE(s.DoubleOff());
    EXPECT_EQ(s.DoubleVolume, 80);
    EXPECT_EQ(s.ChapterNumber, 2);
    EXPECT_EQ(s.ChapterStart, 400);
    EXPECT_FALSE(s.ChapterEnabled);
    EXPECT_NEAR(static_cast<double>(s.SplineShift), 4.0, 1e-12);

}

// The walk along the curve gives what the inversion gives at every frame, also where
// steep jumps make the curve fold back over its own X (there it asks the inversion),
// and frames out of order start the walk again. (The curve's length stays below twice
// the video's, where the inversion settles everywhere.)
TEST_F(ShiftCurve, OneWalkAlongTheCurveAgreesWithTheInversion)
{
    std::vector<TMarker> markers;
    for (int32_t f = 3, i = 0; f < 1000; f += 2 + i % 5, ++i)
        markers.push_back(Make(f, i % 50 == 49 ? 25 : (i % 3) - 1, mkSpline));
    ASSERT_TRUE(project.SetMarkers(markers));
    std::vector<long double> frames;
    for (long double x = -5; x <= 1005; x += 0.25L)
        frames.push_back(x);
    frames.push_back(17);   // out of order
    frames.push_back(999.5L);
    const std::vector<long double> walked = project.SplineShiftsAt(frames);
    ASSERT_EQ(walked.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        ASSERT_NEAR(double(walked[i]), At(frames[i]), 1e-6) << double(frames[i]);

    // A gentle curve has no fold: every frame inside the video is found by the walk.
    markers.clear();
    for (int32_t f = 5; f < 1000; f += 10)
        markers.push_back(Make(f, (f / 10) % 4, mkSpline));
    ASSERT_TRUE(project.SetMarkers(markers));
    frames.assign({0, 0.5L, 250, 333.3L, 999, 1000});
    const std::vector<long double> gentle = project.SplineShiftsAt(frames);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_NEAR(double(gentle[i]), At(frames[i]), 1e-9) << double(frames[i]);
}

TEST_F(ShiftCurve, ACurveManyTimesLongerThanTheVideoIsFoundWhereItHasOnePoint)
{
    // A jump of 5000 frames within 20: the curve is some six times as long as the video,
    // and along its flat parts the inversion's steps overshoot.
    ASSERT_TRUE(project.SetMarkers({Make(0, 0, mkSpline), Make(400, 0, mkSpline), Make(420, 5000, mkSpline),
                                    Make(900, 5000, mkSpline)}));
    EXPECT_NEAR(At(0), 0, 1e-9);
    EXPECT_NEAR(At(900), 5000, 1e-6);
    // Every frame has the point of the curve that the strip's walk finds (where the curve
    // folds back, before and around the jump, both take the inversion's estimate).
    std::vector<long double> frames;
    for (int32_t x = 0; x <= 1000; ++x)
        frames.push_back(x);
    const std::vector<long double> walked = project.SplineShiftsAt(frames);
    for (int32_t x = 0; x <= 1000; ++x)
        ASSERT_NEAR(At(x), double(walked[static_cast<size_t>(x)]), 1e-6) << x;
    // A single look-up gives what the walk gives, also without a walk before it.
    for (long double x : {999.5L, 950.25L, 3.25L})
        EXPECT_NEAR(At(x), double(project.SplineShiftsAt({x})[0]), 1e-6) << double(x);
}

} // namespace
} // namespace tessaly
