// Tests of `tessaly-cli example`: the program run as a user runs it.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::SplitLines;

std::string Cli()
{
    return test::CliProgram();
}

TEST(CliExample, PrintsMarkersChaptersAndEveryFrameState)
{
    std::string out;
    ASSERT_EQ(test::RunCommand(Cli() + " example", &out), 0);
    std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 1u + 8 + 4 + 1 + 250);
    EXPECT_EQ(lines[0], "Example project: 250 frames at 25.000 fps, 230 output frames");
    const std::vector<std::string> markers = {
        "  Spl        40       +2", "  Spl        90       +1", "  Cut >     120       +5",
        "  Dbl       150       +4", "  Opt       170   80 - D", "  Opt       190      A D",
        "  Spl       200       -8",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.begin() + 9), markers);
    EXPECT_EQ(lines[10], "  Start          0  on");
    EXPECT_EQ(lines[12], "  Chapter      230  off");
    // Frame lines start after the header; frame f is line 14 + f.
    EXPECT_EQ(lines[14 + 40], "Frame 40  Shift 2.000 = 2.000 + 0  DShift 0  A D  100 %  Chapter 1  <Spl        40       +2>");
    // Golden lines between the knots (the curve through (0, 2.8), 40, 90, 200, (250, ...)).
    EXPECT_EQ(lines[14 + 120], "Frame 120  Shift 4.261 = -0.739 + 5  DShift 0  A D  100 %  Chapter 2  <Cut >     120       +5>");
    EXPECT_EQ(lines[14 + 170], "Frame 170  Shift -0.168 = -5.168 + 5  DShift 4  - D  80 %  Chapter 2  <Opt       170   80 - D>");
    EXPECT_EQ(lines[14 + 200], "Frame 200  Shift -3.000 = -8.000 + 5  DShift 4  A D  80 %  Chapter 2  <Spl       200       -8>");
    EXPECT_EQ(lines[14 + 249], "Frame 249  Shift -7.013 = -12.013 + 5  DShift 4  A D  80 %  Chapter 3 (off)");
}

TEST(CliExample, EveryNthFrameAndUsageErrors)
{
    std::string out;
    ASSERT_EQ(test::RunCommand(Cli() + " example --every 100", &out), 0);
    std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 14u + 3);
    EXPECT_EQ(lines[14].substr(0, 8), "Frame 0 ");
    EXPECT_EQ(lines[16].substr(0, 10), "Frame 200 ");
    EXPECT_EQ(test::RunCommand(Cli() + " example --every 0 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(Cli() + " example --nonsense 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(Cli() + " 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(Cli() + " frobnicate 2>/dev/null"), 2);
    out.clear();
    ASSERT_EQ(test::RunCommand(Cli() + " example --help", &out), 0);
    EXPECT_EQ(out.substr(0, 35), "usage: tessaly-cli example [--every");
}

} // namespace
} // namespace tessaly
