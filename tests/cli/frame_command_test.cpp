// Tests of `tessaly-cli frame` and of what `info` and `project create` make of videos in
// FFmpeg containers and of still images, on media made by ffmpeg.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

// The picture of a PNG file as raw RGB bytes, through ffmpeg.
std::string PngPixels(const std::string &png)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(png) + " -f rawvideo -pix_fmt rgb24 -", &out);
    return out;
}

class CliFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=128x96:rate=25 -t 4 -c:v libx264 -bf 3 -g 30 "
                                 "-pix_fmt yuv420p " + ShellQuote(Dir.File("film.mkv"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=4:r=8000 " + ShellQuote(Dir.File("a.wav"))));
    }
    std::string Run(const std::string &args, int *status = nullptr)
    {
        std::string out;
        const int s = test::RunCommand("XDG_CACHE_HOME=" + ShellQuote(Dir.File("cache")) + " " + test::CliProgram() +
                                           " " + args + " 2>&1",
                                       &out);
        if (status)
            *status = s;
        return out;
    }
    // Creates a project on a video and the test's audio; the project file's text.
    std::string CreateProject(const std::string &project, const std::string &video)
    {
        int status = -1;
        Run("project create " + ShellQuote(project) + " --video " + ShellQuote(video) + " --audio " +
                ShellQuote(Dir.File("a.wav")) + " --yes",
            &status);
        EXPECT_EQ(status, 0);
        std::ifstream in(project);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    test::TTempDir Dir;
};

TEST_F(CliFrame, WritesThePictureFFmpegDecodes)
{
    int status = -1;
    for (int n : {77, 0, 99, 31}) {
        const std::string png = Dir.File("f" + std::to_string(n) + ".png");
        Run("frame " + ShellQuote(Dir.File("film.mkv")) + " " + std::to_string(n) + " " + ShellQuote(png), &status);
        ASSERT_EQ(status, 0) << n;
        std::string reference;
        test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(Dir.File("film.mkv")) + " -vf \"select=eq(n\\," +
                             std::to_string(n) + ")\" -frames:v 1 -f rawvideo -pix_fmt rgb24 -",
                         &reference);
        ASSERT_EQ(reference.size(), 128u * 96 * 3);
        EXPECT_TRUE(PngPixels(png) == reference) << "frame " << n;
    }
    // Out of range, a missing file: clear messages and a failure status.
    EXPECT_NE(Run("frame " + ShellQuote(Dir.File("film.mkv")) + " 100 " + ShellQuote(Dir.File("x.png")), &status)
                  .find("Frame 100 lies outside the video (100 frames)."),
              std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_NE(Run("frame " + ShellQuote(Dir.File("none.mkv")) + " 1 " + ShellQuote(Dir.File("x.png")), &status)
                  .find("File not found."),
              std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(FileExists(Dir.File("x.png")));
    Run("frame " + ShellQuote(Dir.File("film.mkv")), &status);
    EXPECT_EQ(status, 2);
}

TEST_F(CliFrame, ProjectOnAContainerVideoStoresItsPathAndShowsItsFrames)
{
    int status = -1;
    const std::string project = Dir.File("p.tsp");
    const std::string text = CreateProject(project, Dir.File("film.mkv"));
    EXPECT_NE(text.find("VideoFT=LAVF|-1"), std::string::npos) << text;
    Run("frame " + ShellQuote(project) + " 42 " + ShellQuote(Dir.File("p.png")), &status);
    ASSERT_EQ(status, 0);
    Run("frame " + ShellQuote(Dir.File("film.mkv")) + " 42 " + ShellQuote(Dir.File("m.png")), &status);
    EXPECT_EQ(PngPixels(Dir.File("p.png")), PngPixels(Dir.File("m.png")));

    const std::string info = Run("info " + ShellQuote(Dir.File("film.mkv")), &status);
    EXPECT_EQ(status, 0);
    for (const char *line : {"  Type:        Matroska / WebM video", "  Frames:      100",
                             "  Container:   Matroska / WebM", "  Stored:      128 x 96, 8 bit, 100 pictures",
                             "  Frame rate:  constant, 25.000 fps (25/1)", "  Rotation:    none",
                             "  Scan:        progressive"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
}

TEST_F(CliFrame, StillImagesAndImageListsOpenAsClips)
{
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 -start_number 1 " +
                             ShellQuote(Dir.File("img%03d.png"))));
    int status = -1;
    const std::string project = Dir.File("s.tsp");
    const std::string text = CreateProject(project, Dir.File("img001.png"));
    EXPECT_NE(text.find("VideoFT=STIL|-1"), std::string::npos) << text;
    EXPECT_NE(text.find("img*.png|001|002|003|004|005"), std::string::npos) << text;
    Run("frame " + ShellQuote(project) + " 3 " + ShellQuote(Dir.File("f3.png")), &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(PngPixels(Dir.File("f3.png")), PngPixels(Dir.File("img004.png")));
    const std::string info = Run("info " + ShellQuote(Dir.File("img002.png")), &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(info.find("  Type:        Still image"), std::string::npos) << info;
}

} // namespace
} // namespace tessaly
