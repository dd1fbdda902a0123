// Rules of the tool windows: the settings window's close button, the reference frame
// with ties to even, the curve window's zoom text and first place, fitting a window.
#include <gtest/gtest.h>

#include <limits>

#include "project/tool_window_rules.h"

namespace tessaly {
namespace {

TEST(ToolWindowRules, CloseButtonNeedsAValidSizeOnlyWhileTheLimitIsOn)
{
    EXPECT_TRUE(OptionsCloseEnabled(true, "8"));
    EXPECT_TRUE(OptionsCloseEnabled(true, "2147483647"));
    EXPECT_FALSE(OptionsCloseEnabled(true, "7"));
    EXPECT_FALSE(OptionsCloseEnabled(true, "2147483648"));
    EXPECT_FALSE(OptionsCloseEnabled(true, "pixels"));
    EXPECT_FALSE(OptionsCloseEnabled(true, ""));
    EXPECT_TRUE(OptionsCloseEnabled(false, "pixels"));
    EXPECT_TRUE(OptionsCloseEnabled(false, "7"));
}

TEST(ToolWindowRules, ReferenceFrameRoundsTiesToEven)
{
    EXPECT_EQ(ReferenceFrame(25, 100, 50), 50);
    EXPECT_EQ(ReferenceFrame(25, 101, 50), 50);   // 50.5
    EXPECT_EQ(ReferenceFrame(25, 103, 50), 52);   // 51.5
    EXPECT_EQ(ReferenceFrame(25, 1, 50), 0);      // 0.5
    EXPECT_EQ(ReferenceFrame(25, 3, 50), 2);      // 1.5
    EXPECT_EQ(ReferenceFrame(29.97L, 0, 25), 0);
    EXPECT_EQ(ReferenceFrame(50, -3, 25), -6);    // before the start: shown grey
    EXPECT_EQ(ReferenceFrame(-1, 100, 25), -1);   // no reference
    EXPECT_EQ(ReferenceFrame(25, 100, 0), -1);    // no main video
    EXPECT_EQ(ReferenceFrame(1e9L, std::numeric_limits<int32_t>::max(), 1), std::numeric_limits<int32_t>::max());
}

TEST(ToolWindowRules, MainFollowFrameAddsRoundedShiftAndViewOffset)
{
    EXPECT_EQ(MainFollowFrame(100, 0, 0), 100);
    EXPECT_EQ(MainFollowFrame(100, 2.5L, 0), 102);    // 102.5 to even
    EXPECT_EQ(MainFollowFrame(100, 3.5L, 0), 104);
    EXPECT_EQ(MainFollowFrame(100, -0.4L, 3), 103);
    EXPECT_EQ(MainFollowFrame(std::numeric_limits<int32_t>::max(), 10, 10), std::numeric_limits<int32_t>::max());
}

TEST(ToolWindowRules, SplineZoomAcceptsWholeNumbersFrom100To10000)
{
    EXPECT_EQ(SplineZoom("100"), 100);
    EXPECT_EQ(SplineZoom("2000"), 2000);
    EXPECT_EQ(SplineZoom("10000"), 10000);
    for (const char *bad : {"50", "99", "10001", "", "abc", "150.5", "200x", "-300"})
        EXPECT_EQ(SplineZoom(bad), 100) << bad;
}

TEST(ToolWindowRules, SplineWindowCoversTheLowerQuarterOfTheWorkArea)
{
    EXPECT_EQ(SplineFirstRect({0, 0, 1280, 1024}), (TWindowRect{0, 768, 1280, 256}));
    // bottom 1030, height 1003: top = 1030 - 250
    EXPECT_EQ(SplineFirstRect({10, 27, 1200, 1003}), (TWindowRect{10, 780, 1200, 250}));
}

TEST(ToolWindowRules, FitGrowsToThePictureWithinTheLimitsAndMovesBackInside)
{
    const TWindowRect screen{0, 0, 1000, 800};
    // Picture 320 x 240 in a 200 x 100 client of a 220 x 150 window: grows by 124 x 144.
    EXPECT_EQ(FitWindowRect({50, 60, 220, 150}, 320, 240, 200, 100, 100, 80, screen),
              (TWindowRect{50, 60, 344, 294}));
    // Shrinks, but not below the minimum.
    EXPECT_EQ(FitWindowRect({50, 60, 600, 500}, 32, 24, 580, 450, 120, 90, screen),
              (TWindowRect{50, 60, 120, 90}));
    // Too big: limited to the screen and moved left and up into it.
    EXPECT_EQ(FitWindowRect({700, 500, 300, 300}, 2000, 400, 280, 250, 100, 80, screen),
              (TWindowRect{0, 346, 1000, 454}));
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

TEST(ToolWindowRules, WindowsAreMovedAndShrunkIntoTheScreen)
{
    const TWindowRect screen{0, 30, 1024, 738};   // a panel above
    // Off the right and bottom edges: moved back.
    EXPECT_EQ(FitIntoArea({900, 700, 400, 300}, screen), (TWindowRect{624, 468, 400, 300}));
    // Larger than the screen (a scale factor of 2): shrunk to it.
    EXPECT_EQ(FitIntoArea({-50, 0, 1960, 1100}, screen), (TWindowRect{0, 30, 1024, 738}));
    // No place yet: the fallback size, centred.
    EXPECT_EQ(FitIntoArea({}, screen, {0, 0, 800, 600}), (TWindowRect{112, 99, 800, 600}));
    // Without a screen the window stays as it is.
    EXPECT_EQ(FitIntoArea({5, 5, 10, 10}, {}), (TWindowRect{5, 5, 10, 10}));
}

TEST(ToolWindowRules, WindowRectTextsRoundTripAndRefuseGarbage)
{
    TWindowRect r;
    ASSERT_TRUE(ParseWindowRect(FormatWindowRect({-8, 12, 980, 640}), r));
    EXPECT_EQ(r, (TWindowRect{-8, 12, 980, 640}));
    for (const char *bad : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "a,b,c,d", "1,2,3,4x", "1,2,99999999999,4"})
        EXPECT_FALSE(ParseWindowRect(bad, r)) << bad;
}

TEST(ToolWindowRules, CurveWindowOpensAcrossTheMainWindowInsideTheScreen)
{
    const TWindowRect screen{0, 0, 1920, 1080};
    EXPECT_EQ(SplineFirstRectBeside({100, 100, 980, 640}, screen), (TWindowRect{100, 580, 980, 160}));
    // A main window reaching past the screen's bottom: the curve window stays on it.
    const TWindowRect r = SplineFirstRectBeside({100, 900, 980, 640}, screen);
    EXPECT_LE(r.Top + r.Height, 1080);
    EXPECT_EQ(r.Width, 980);
}

} // namespace
} // namespace tessaly
