// A project whose video is a still image renders to AVI: the result holds the picture as
// an uncompressed frame that ffmpeg decodes to the image's own pixels.
#include <string>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

TEST(CliStillRender, StillImageProjectRendersItsPicture)
{
    test::TTempDir dir;
    const std::string png = dir.File("title.png"), wav = dir.File("voice.wav");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=96x64:rate=1 -frames:v 1 " + ShellQuote(png)));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=f=440:d=2 -ar 8000 -c:a pcm_s16le " + ShellQuote(wav)));
    const std::string cli = test::CliProgram(), project = dir.File("p.tsp"), avi = dir.File("out.avi");
    ASSERT_EQ(test::RunCommand(cli + " project create " + ShellQuote(project) + " --video " + ShellQuote(png) +
                               " --audio " + ShellQuote(wav) + " </dev/null"),
              0);
    ASSERT_EQ(test::RunCommand(cli + " render " + ShellQuote(project) + " " + ShellQuote(avi) +
                               " --yes --no-progress </dev/null"),
              0);
    std::string picture, rendered;
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -i " + ShellQuote(png) + " -f rawvideo -pix_fmt rgb24 -", &picture), 0);
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -i " + ShellQuote(avi) + " -map 0:v -f rawvideo -pix_fmt rgb24 -",
                               &rendered),
              0);
    ASSERT_EQ(picture.size(), 96u * 64u * 3u);
    ASSERT_GE(rendered.size(), picture.size());
    EXPECT_TRUE(rendered.compare(0, picture.size(), picture) == 0);
}

} // namespace
} // namespace tessaly
