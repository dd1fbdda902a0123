// Tests of `tessaly-cli analyze` on a project over media made by ffmpeg.
#include <fstream>
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

TEST(CliAnalyze, PrintsTheGridAndTheDeactivatedMarkers)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=8 -c:v mpeg4 " +
                             test::ShellQuote(dir.File("clip.avi"))));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=8:r=8000 " + test::ShellQuote(dir.File("a.wav"))));
    std::ofstream(dir.File("p.tsp")) << "[Files]\nVideo=clip.avi\nAudio=a.wav\n[Markers]\nCount=4\n"
                                        "0=Spl        20       +2\n1=Spl       100       +6\n"
                                        "2=Spl%      150       +1\n3=Cut >     160       -5\n";
    std::string out;
    ASSERT_EQ(test::RunCommand(Cli() + " analyze " + test::ShellQuote(dir.File("p.tsp")) + " 2>/dev/null", &out), 0);
    std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 9u) << out;
    // The line through (20, 2) and (100, 6) runs from 1 at frame 0 to 11 at frame 200;
    // the cut of -5 at 160 gives the largest total just before it.
    EXPECT_EQ(lines[0], "Minimum shift [frames]                     1.000         0");
    EXPECT_EQ(lines[1], "Maximum shift [frames]                     8.950       159");
    EXPECT_EQ(lines[3], "Maximum curve shift [frames]              11.000       200");
    EXPECT_EQ(lines[4].substr(0, 48), "Minimum speed                          105.000 %");
    EXPECT_EQ(lines[6], "Speed range                              0.000 %         -");
    EXPECT_EQ(lines[8], "Deactivated markers: 1, largest deviation 7.500 at frame 150");
}

TEST(CliAnalyze, FailuresAndUsage)
{
    test::TTempDir dir;
    std::string out;
    EXPECT_EQ(test::RunCommand(Cli() + " analyze " + test::ShellQuote(dir.File("none.tsp")) + " 2>&1", &out), 1);
    EXPECT_EQ(out, "error: The project file \"" + dir.File("none.tsp") + "\" does not exist.\n");
    std::ofstream(dir.File("m.tsp")) << "[Files]\nVideo=missing.avi\n";
    out.clear();
    EXPECT_EQ(test::RunCommand(Cli() + " analyze " + test::ShellQuote(dir.File("m.tsp")) + " 2>&1", &out), 1);
    EXPECT_EQ(out, "error: Error opening video file:\n\"missing.avi\"\n\nFile not found.\n");
    EXPECT_EQ(test::RunCommand(Cli() + " analyze 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(Cli() + " analyze a.tsp b.tsp 2>/dev/null"), 2);
    EXPECT_EQ(test::RunCommand(Cli() + " analyze --bogus a.tsp 2>/dev/null"), 2);
    out.clear();
    EXPECT_EQ(test::RunCommand(Cli() + " analyze --help", &out), 0);
    EXPECT_EQ(out.substr(0, 38), "usage: tessaly-cli analyze PROJECT.tsp");
}

} // namespace
} // namespace tessaly
