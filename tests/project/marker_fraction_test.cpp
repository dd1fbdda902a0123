// Tests of sub-frame marker values: text form, round trip, the Affect rule, the start
// offset change, the curve and the frame state with fractional shifts.
#include <gtest/gtest.h>

#include "project/marker.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

using test::Make;

TMarker Frac(int32_t frame, int64_t milli, uint8_t kind, bool affect = false)
{
    TMarker m = Make(frame, 0, kind, affect);
    EXPECT_TRUE(SetMarkerMilli(m, milli));
    return m;
}

std::string Line(const TMarker &m)
{
    std::string line;
    EXPECT_TRUE(FormatMarker(m, line));
    return line;
}

TEST(MarkerFractionTest, WritesDecimalsWithoutTrailingZerosRightAligned)
{
    EXPECT_EQ(Line(Frac(100, 3250, mkSpline)), "Spl       100    +3.25");
    EXPECT_EQ(Line(Frac(100, -40, mkRelCut, true)), "Cut >     100    -0.04");
    EXPECT_EQ(Line(Frac(7, 1, mkDShift)), "Dbl         7   +0.001");
    EXPECT_EQ(Line(Frac(7, -999999, mkSpline)), "Spl         7 -999.999");
    // Whole values keep their old text exactly.
    EXPECT_EQ(Line(Frac(100, 5000, mkSpline, true)), "Spl >     100       +5");
    EXPECT_EQ(Line(Frac(0, 0, mkSpline)), "Spl         0        0");
    EXPECT_EQ(Line(Frac(1, -25000, mkRelCut)), "Cut         1      -25");
    // A text wider than the 8-character field is refused as before.
    std::string line = "x";
    EXPECT_FALSE(FormatMarker(Frac(1, 1000001, mkSpline), line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(FormatMarker(Frac(1, -100000500, mkSpline), line));
}

TEST(MarkerFractionTest, LinesReadBackToTheSameMarker)
{
    for (int64_t milli : {0LL, 1LL, -1LL, 999LL, -999LL, 1000LL, -1001LL, 3250LL, -40LL, 123456LL, -9999999LL,
                          99999000LL, -9999999000LL}) {
        for (uint8_t kind : {mkSpline, mkRelCut, mkDShift}) {
            TMarker m = Frac(4711, milli, kind, kind != mkDShift);
            std::string line;
            if (!FormatMarker(m, line))
                continue;   // too wide: refused on writing, tested above
            TMarker back;
            ASSERT_TRUE(ParseMarker(line, back)) << line;
            EXPECT_EQ(back, m) << line;
            EXPECT_EQ(MarkerMilli(back), milli) << line;
        }
    }
    TMarker m;
    for (const char *bad : {"Spl         1     +1.", "Spl         1    +.5 ", "Spl         1  +1.2345",
                            "Spl         1    1.2.3", "Spl         1    +1,5", "Spl         1    1 .5"})
        EXPECT_FALSE(ParseMarker(bad, m)) << bad;
}

TEST(MarkerFractionTest, ShiftTextsParseToThousandths)
{
    int64_t v = 0;
    ASSERT_TRUE(ParseMarkerMilli(" -0.04 ", 9999999, v));
    EXPECT_EQ(v, -40);
    ASSERT_TRUE(ParseMarkerMilli("+3.25", 9999999, v));
    EXPECT_EQ(v, 3250);
    ASSERT_TRUE(ParseMarkerMilli("-12", 9999999, v));
    EXPECT_EQ(v, -12000);
    EXPECT_FALSE(ParseMarkerMilli("9999999.001", 9999999, v));
    EXPECT_FALSE(ParseMarkerMilli("-", 9999999, v));
    EXPECT_FALSE(ParseMarkerMilli("1e3", 9999999, v));
    EXPECT_EQ(FormatMarkerMilli(-40), "-0.04");
    EXPECT_EQ(FormatMarkerMilli(10), "+0.01");
    EXPECT_EQ(FormatMarkerMilli(-7000), "-7");
}

class MarkerFractionProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        project.VideoOpened();
    }
    test::TFakeProjectMedia media;
    test::TRecordingUserInterface ui;
    TProject project{&ui, &media};
    TProjectEditor editor{project};
};

TEST_F(MarkerFractionProjectTest, CurveAndStateUseTheFraction)
{
    project.AddMarker(Frac(0, 1500, mkSpline));
    project.AddMarker(Frac(500, 2500, mkSpline));
    project.AddMarker(Frac(600, -250, mkRelCut));
    project.AddMarker(Frac(700, 1125, mkDShift));
    project.RebuildSpline();
    EXPECT_NEAR(double(project.GetStateAt(0).SplineShift), 1.5, 1e-9);
    EXPECT_NEAR(double(project.GetStateAt(250).SplineShift), 2.0, 1e-6);
    TFrameState s = project.GetStateAt(800);
    EXPECT_NEAR(double(s.CutShift), -0.25, 1e-12);
    EXPECT_NEAR(double(s.DoubleShift), 1.125, 1e-12);
    EXPECT_NEAR(double(s.TotalShift()), 3.1 - 0.25, 1e-6);   // the line through 0 and 500
}

TEST_F(MarkerFractionProjectTest, AffectRulePassesFractionalChangesOn)
{
    project.AddMarker(Frac(100, 4000, mkSpline, true));
    project.AddMarker(Frac(200, 0, mkRelCut, true));
    project.AddMarker(Frac(300, 10000, mkSpline));
    project.RebuildSpline();
    ASSERT_TRUE(editor.SetShiftMilli(0, 4500));
    EXPECT_EQ(MarkerMilli(project.GetMarker(2)), 10500);
    // The cut jumps by -0.75: the following point compensates, the total stays.
    ASSERT_TRUE(editor.SetShiftMilli(1, -750));
    EXPECT_EQ(MarkerMilli(project.GetMarker(2)), 11250);
    EXPECT_NEAR(double(project.GetStateAt(300).TotalShift()), 10.5, 1e-6);
    // Switching the cut off and on again restores the following point exactly.
    ASSERT_TRUE(editor.SetMarkerEnabled(1, false));
    EXPECT_EQ(MarkerMilli(project.GetMarker(2)), 10500);
    ASSERT_TRUE(editor.SetMarkerEnabled(1, true));
    EXPECT_EQ(MarkerMilli(project.GetMarker(2)), 11250);
    // Deleting the cut hands its value back to the following point.
    ASSERT_TRUE(editor.DeleteMarker(200));
    EXPECT_EQ(MarkerMilli(project.GetMarker(1)), 10500);
}

TEST_F(MarkerFractionProjectTest, StartOffsetChangeKeepsTheFractionAcrossZero)
{
    project.AddMarker(Frac(100, 500, mkSpline));
    project.AddMarker(Frac(200, -250, mkDShift));
    project.AddMarker(Frac(300, -1500, mkRelCut));
    ASSERT_TRUE(editor.ChangeStartOffset(2));
    EXPECT_EQ(project.GetMarker(0).Frame, 102);
    EXPECT_EQ(MarkerMilli(project.GetMarker(0)), -1500);
    EXPECT_EQ(project.MarkerLine(0), "Spl       102     -1.5");
    EXPECT_EQ(MarkerMilli(project.GetMarker(1)), -2250);
    EXPECT_EQ(MarkerMilli(project.GetMarker(2)), -1500);   // cuts are relative: unchanged
}

} // namespace
} // namespace tessaly
