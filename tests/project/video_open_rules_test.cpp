// The project's open rules with the real video source: a video of the same length and
// rate keeps the markers, another one asks, a failed open leaves no video.
#include <gtest/gtest.h>

#include "project/media_sources.h"
#include "project/project.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class VideoOpenRules : public ::testing::Test {
protected:
    // An MPEG-4 AVI of frames frames at rate/scale made by ffmpeg.
    std::string Clip(const std::string &name, int frames, const std::string &rate)
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=" + rate + " -frames:v " +
                                 std::to_string(frames) + " -c:v mpeg4 " + test::ShellQuote(path)));
        return path;
    }
    bool OpenVideo(const std::string &list, const std::string &kind = "AUTO|-1")
    {
        const bool ok = sources.Open(srVideo, list, kind) == meOk;
        project.VideoOpened();
        return ok;
    }
    test::TTempDir dir;
    test::TRecordingUserInterface ui;
    TMediaSources sources;
    TProject project{&ui, &sources};
};

TEST_F(VideoOpenRules, SameLengthAndRateKeepTheMarkers)
{
    ASSERT_TRUE(OpenVideo(Clip("a.avi", 50, "25")));
    EXPECT_EQ(project.FrameCount(), 50);
    EXPECT_EQ(project.Fps(), 25.0L);
    project.AddMarker(TMarker{10, 2, mkSpline});
    project.AddMarker(TMarker{30, 5, mkSpline});
    project.SetFileName(dir.File("p.tsp"));

    // Another file, same 50 frames at 25/1: kept without a question.
    ASSERT_TRUE(OpenVideo(Clip("b.avi", 50, "25")));
    EXPECT_EQ(project.MarkerCount(), 2);
    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_EQ(project.FileName(), dir.File("p.tsp"));

    // A phantom clip of 50 frames at 50/2 has an equal rate.
    TPhantomClip clip;
    clip.Frames = 50;
    clip.Rate = 50;
    clip.Scale = 2;
    ASSERT_EQ(sources.OpenPhantom(clip), meOk);
    EXPECT_FALSE(project.VideoOpened());
    EXPECT_EQ(project.MarkerCount(), 2);
    EXPECT_TRUE(ui.Messages.empty());

    // A two-segment clip of 2 x 25 frames: 50 frames again.
    Clip("seg.1.avi", 25, "25");
    Clip("seg.2.avi", 25, "25");
    ASSERT_TRUE(OpenVideo(dir.File("seg.*.avi") + "|1|2", "ODML|-1"));
    EXPECT_EQ(project.FrameCount(), 50);
    EXPECT_EQ(project.MarkerCount(), 2);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(VideoOpenRules, OtherLengthOrRateAsksAndFailuresReset)
{
    ASSERT_TRUE(OpenVideo(Clip("a.avi", 50, "25")));
    project.AddMarker(TMarker{10, 2, mkSpline});
    project.SetFileName(dir.File("p.tsp"));

    // 51 frames: asked; No keeps the markers with the new length.
    ui.Answers = {mrNo};
    ASSERT_TRUE(OpenVideo(Clip("c.avi", 51, "25")));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Do you want to reset the project (recommended) ?");
    EXPECT_EQ(project.MarkerCount(), 1);
    EXPECT_EQ(project.FrameCount(), 51);

    // 51 frames at 30000/1001: asked; Yes resets and forgets the project's name.
    ui.Answers = {mrYes};
    ASSERT_TRUE(OpenVideo(Clip("d.avi", 51, "30000/1001")));
    EXPECT_EQ(ui.Messages.size(), 2u);
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.FileName(), "");
    EXPECT_EQ(project.RateNumerator(), 30000);
    EXPECT_EQ(project.RateDenominator(), 1001);

    // A video that does not open leaves the project without video and markers.
    project.AddMarker(TMarker{5, 1, mkSpline});
    test::WriteFileBytes(dir.File("broken.avi"), {'R', 'I', 'F', 'F', 0, 0, 0, 0});
    EXPECT_FALSE(OpenVideo(dir.File("broken.avi")));
    EXPECT_FALSE(project.HasVideo());
    EXPECT_EQ(project.FrameCount(), 0);
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(ui.Messages.size(), 2u);
}

} // namespace
} // namespace tessaly
