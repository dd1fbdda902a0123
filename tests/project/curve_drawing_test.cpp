// Tests of the correction curve drawing on a recording canvas: sample counts, the flat
// curve, the visible part at the end of the video, marker squares and position marks.
#include <gtest/gtest.h>

#include "project/curve_drawing.h"
#include "project/project.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

using namespace curve_colours;
using test::Make;

struct TRecordingCanvas : TCurveCanvas {
    struct TSquare {
        int X, Y, Half;
        TRgb Colour;
    };
    std::vector<TRgb> Fills;
    std::vector<std::pair<std::vector<TCanvasPoint>, TRgb>> Lines;
    std::vector<TSquare> Squares;
    void FillRect(int, int, int, int, TRgb c) override { Fills.push_back(c); }
    void Polyline(const std::vector<TCanvasPoint> &p, TRgb c) override { Lines.push_back({p, c}); }
    void FillSquare(int x, int y, int half, TRgb c) override { Squares.push_back({x, y, half, c}); }
};

class CurveDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/a.avi", 1000);
        project.VideoOpened();
    }
    void Bend()
    {
        project.AddMarker(Make(0, 0, mkSpline));
        project.AddMarker(Make(300, 8, mkSpline));
        project.AddMarker(Make(600, -4, mkSpline));
        project.AddMarker(Make(900, 2, mkSpline));
        project.RebuildSpline();
    }
    test::TFakeProjectMedia media;
    TProject project{nullptr, &media};
    TRecordingCanvas canvas;
};

TEST_F(CurveDrawing, NarrowAndWideBoxesLimitTheSamples)
{
    Bend();
    EXPECT_EQ(CurveSampleCount(5, 1), 10);
    EXPECT_EQ(CurveSampleCount(600, 4), 2048);
    EXPECT_EQ(CurveSampleCount(300, 4), 1200);
    DrawCorrectionCurve(project, canvas, 5, 40, 1, 100);
    ASSERT_EQ(canvas.Lines.size(), 2u);
    EXPECT_EQ(canvas.Lines[0].first.size(), 11u);   // samples 0 .. 10
    EXPECT_EQ(canvas.Lines[0].second, kGrey);
    EXPECT_EQ(canvas.Lines[1].second, kCyan);
    canvas = TRecordingCanvas{};
    DrawCorrectionCurve(project, canvas, 3000, 40, 1, 100);
    EXPECT_EQ(canvas.Lines[0].first.size(), 2049u);
    EXPECT_EQ(canvas.Lines[0].first.front(), (TCanvasPoint{2, canvas.Lines[0].first.front().Y}));
    EXPECT_EQ(canvas.Lines[0].first.back().X, 2998);
    EXPECT_EQ(canvas.Fills, (std::vector<TRgb>{kSilver}));
}

TEST_F(CurveDrawing, AFlatCurveIsOneLineAtMidHeightWithTheSquaresOnIt)
{
    project.AddMarker(Make(200, 3, mkSpline));
    project.AddMarker(Make(400, 3, mkRelCut, true, true));
    project.AddMarker(Make(600, 0, mkDShift));
    project.AddMarker(Make(700, PackOption(-1, true, false), mkOption));
    project.RebuildSpline();
    project.Options().MarkerDrawSize = 2;
    project.SetPosition(500);
    DrawCorrectionCurve(project, canvas, 200, 41, 1, 100);
    ASSERT_EQ(canvas.Lines.size(), 2u);
    for (const auto &line : canvas.Lines)
        EXPECT_EQ(line.first, (std::vector<TCanvasPoint>{{2, 20}, {198, 20}}));
    ASSERT_EQ(canvas.Squares.size(), 5u);
    const TRgb colours[] = {kRed, kGrey, kBlue, kBlack, kYellow};
    const int xs[] = {41, 80, 120, 139, 100};   // round(f x 196 + 2)
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(canvas.Squares[i].Colour, colours[i]) << i;
        EXPECT_EQ(canvas.Squares[i].X, xs[i]) << i;
        EXPECT_EQ(canvas.Squares[i].Y, 20) << i;
        EXPECT_EQ(canvas.Squares[i].Half, 2);
    }
}

TEST_F(CurveDrawing, ZoomAtTheEndShowsTheLastHalf)
{
    Bend();
    TCurveWindow w = CurveWindow(999, 1000, 200);
    EXPECT_EQ(w.Start, 0.5L);
    EXPECT_EQ(w.Size, 0.5L);
    EXPECT_EQ(CurveWindow(0, 1000, 200).Start, 0.0L);
    EXPECT_EQ(CurveWindow(500, 1000, 400).Start, 0.375L);
    project.SetPosition(999);
    DrawCorrectionCurve(project, canvas, 100, 40, 1, 200);
    const auto &points = canvas.Lines[0].first;
    // Samples before the middle fall left of the box; the middle sample is at x = 2.
    EXPECT_LT(points.size(), 100u);
    EXPECT_GT(points.front().X, 0);
    EXPECT_LE(points.front().X, 2);
    EXPECT_EQ(points.back().X, 98);
}

TEST_F(CurveDrawing, PositionMarks)
{
    Bend();
    project.SetPosition(300);   // a marker sits here: white at its place
    project.SetViewOffset(50);
    DrawCorrectionCurve(project, canvas, 200, 40, 1, 100);
    ASSERT_EQ(canvas.Squares.size(), 5u);
    EXPECT_EQ(canvas.Squares[3].Colour, kLime);
    EXPECT_EQ(canvas.Squares[3].X, 71);   // frame 350
    EXPECT_EQ(canvas.Squares[4].Colour, kWhite);
    EXPECT_EQ(canvas.Squares[4].X, 61);   // frame 300
    canvas = TRecordingCanvas{};
    project.SetViewOffset(800);   // outside the video: no lime mark
    DrawCorrectionCurve(project, canvas, 200, 40, 1, 100);
    EXPECT_EQ(canvas.Squares.size(), 4u);
    canvas = TRecordingCanvas{};
    project.ClearProject();
    DrawCorrectionCurve(project, canvas, 200, 40, 1, 100);
    EXPECT_TRUE(canvas.Lines.empty());
    EXPECT_EQ(canvas.Fills.size(), 1u);
}

} // namespace
} // namespace tessaly
