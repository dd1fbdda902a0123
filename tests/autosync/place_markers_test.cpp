// Marker placement beside the user's double shifts: the shifts stay on their frames with
// their values, and the suggested markers take the nearest free frames. Values too wide
// for the marker line are stored rounded, and the stored curve is what gets measured.
#include <gtest/gtest.h>

#include <cmath>

#include "autosync/suggest_markers.h"
#include "autosync/suggest_run.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "support/make_marker.h"
#include "fake_film.h"

namespace tessaly {
namespace {

TEST(PlaceMarkers, DoubleShiftsKeepTheirFramesAndTheSuggestionMovesAside)
{
    test::TFakeFilm film(250);
    TProject &project = film.Project;
    // Where the map's first knot and a jump fall: frame 0 and the cut at 5 s (frame 125).
    ASSERT_GE(project.AddMarker(test::Make(0, 4, mkDShift)), 0);
    ASSERT_GE(project.AddMarker(test::Make(125, -3, mkDShift)), 0);
    ASSERT_GE(project.AddMarker(test::Make(60, 9, mkSpline)), 0);   // replaced

    sync::TSyncMap map;
    map.Matched = true;
    map.ReferenceLength = 10;
    sync::TSyncSegment a, b;
    a.Start = 0, a.End = 5, a.Knots = {{0, 0.2}, {5, 0.2}};
    b.Start = 5, b.End = 10, b.Knots = {{5, -0.8}, {10, -0.8}};
    map.Segments = {a, b};
    TProjectEditor editor(project);
    const autosync::TSuggestion s = autosync::PlaceMarkers(editor, map, 0.02);

    EXPECT_EQ(project.GetMarker(project.FindMarker(0)), test::Make(0, 4, mkDShift));
    EXPECT_EQ(project.GetMarker(project.FindMarker(125)), test::Make(125, -3, mkDShift));
    EXPECT_EQ(project.FindMarker(60), -1);
    int cuts = 0, splines = 0;
    for (const TMarker &m : s.Markers) {
        cuts += m.Kind == mkRelCut;
        splines += m.Kind == mkSpline;
        if (m.Kind == mkRelCut) {
            EXPECT_EQ(MarkerMilli(m), -25000);   // one second back at 25 fps
        }
    }
    EXPECT_EQ(cuts, 1);
    EXPECT_GE(splines, 1);
    // The curve still follows the map: 0.2 s = 5 frames before the cut, -0.8 s after.
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(50).TotalShift()), 5.0, 1e-3);
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(200).TotalShift()), -20.0, 1e-3);
}

TEST(MarkerField, WideValuesKeepTheDecimalsTheLineHasRoomFor)
{
    auto fitted = [](int64_t milli) {
        int64_t v = 0;
        return FitMarkerMilli(milli, v) ? v : int64_t{-1};
    };
    EXPECT_EQ(fitted(2250125), 2250130);      // +2250.125 -> +2250.13
    EXPECT_EQ(fitted(-2250125), -2250130);
    EXPECT_EQ(fitted(-2250124), -2250120);
    EXPECT_EQ(fitted(999999), 999999);        // +999.999 fills the field exactly
    EXPECT_EQ(fitted(12345678), 12345700);    // +12345.7
    EXPECT_EQ(fitted(9999996), 10000000);     // carries into a fifth digit: +10000
    EXPECT_EQ(fitted(1234567890), 1234568000);   // seven digits, no decimals
    EXPECT_EQ(fitted(9999999600), -1);        // would need eight digits
    for (int64_t milli : {int64_t{2250125}, int64_t{-987654321}, int64_t{12345678}}) {
        TMarker m;
        m.Kind = mkRelCut;
        int64_t v = 0;
        ASSERT_TRUE(FitMarkerMilli(milli, v));
        ASSERT_TRUE(SetMarkerMilli(m, v));
        std::string line;
        TMarker back;
        ASSERT_TRUE(FormatMarker(m, line)) << milli;
        ASSERT_TRUE(ParseMarker(line, back)) << line;
        EXPECT_EQ(MarkerMilli(back), v) << line;
    }
}

// A map of two stretches with a jump of `jump` seconds at 10 s of a 20 s video at 25 fps.
sync::TSyncMap JumpMap(double jump)
{
    sync::TSyncMap map;
    map.Matched = true;
    map.ReferenceLength = 20;
    sync::TSyncSegment a, b;
    a.Start = 0, a.End = 10, a.Knots = {{0, 0.0}, {10, 0.0}};
    b.Start = 10, b.End = 20, b.Knots = {{10, jump}, {20, jump}};
    map.Segments = {a, b};
    return map;
}

TEST(PlaceMarkers, AForwardCutTooWideForTheLineIsStoredRoundedAndTheFitHoldsTheRounding)
{
    test::TFakeFilm film(500);
    TProject &project = film.Project;
    // 90.005 s = +2250.125 frames: nine characters, one more than the value field holds.
    const sync::TSyncMap map = JumpMap(90.005);
    TProjectEditor editor(project);
    autosync::PlaceMarkers(editor, map, 0.02);
    int cuts = 0;
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        const TMarker m = project.GetMarker(i);
        if (m.Kind == mkRelCut) {
            ++cuts;
            EXPECT_EQ(MarkerMilli(m), 2250130) << project.MarkerLine(i);
            EXPECT_EQ(project.MarkerLine(i), "Cut       250 +2250.13");
        }
    }
    EXPECT_EQ(cuts, 1);
    // After the cut the primary plays 90.005 s ahead, give or take the rounding (0.2 ms),
    // with no crowd of points trying to bend the smooth curve into a step.
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(400).TotalShift()), 2250.125, 0.0051);
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(100).TotalShift()), 0.0, 0.001);
    EXPECT_LE(project.MarkerCount(), 4);
    // The fit of the stored markers holds the rounding.
    const autosync::TCurveFit fit = autosync::MeasureCurveFit(project, map);
    EXPECT_EQ(fit.Frames, 499);   // the last frame ends the map
    EXPECT_NEAR(fit.MaxErrorMs, 0.2, 0.03);
    EXPECT_GE(fit.WorstFrame, 250);
}

TEST(PlaceMarkers, ACurveThatLostItsCutIsMeasuredAsFarOffAndNotUsable)
{
    test::TFakeFilm film(500);
    TProject &project = film.Project;
    autosync::TSuggestRun run;
    run.Map = JumpMap(90.005);
    TProjectEditor editor(project);
    autosync::PlaceMarkers(editor, run.Map, 0.02);
    for (int32_t i = project.MarkerCount() - 1; i >= 0; --i)
        if (project.GetMarker(i).Kind == mkRelCut)
            project.DeleteMarker(i);
    project.RebuildSpline();
    run.Fit = autosync::MeasureCurveFit(project, run.Map);
    EXPECT_NEAR(run.Fit.MaxErrorMs, 90005, 1);
    EXPECT_GE(run.Fit.WorstFrame, 250);
    EXPECT_FALSE(autosync::SuggestionUsable(run));
    const std::string problem = autosync::SuggestProblem(run);
    EXPECT_NE(problem.find("more than the limit of 1.000 ms"), std::string::npos) << problem;
    EXPECT_EQ(autosync::SuggestSummary(run).find("curve within"), std::string::npos);
    // A marker that could not be stored is named even when the rest of the curve fits.
    run.Fit = {0.01, 10, 499};
    EXPECT_TRUE(autosync::SuggestionUsable(run));
    run.Unstored = 1;
    EXPECT_FALSE(autosync::SuggestionUsable(run));
    EXPECT_NE(autosync::SuggestProblem(run).find("1 of the suggested markers cannot be stored"), std::string::npos);
}

} // namespace
} // namespace tessaly
