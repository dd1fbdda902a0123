// Tests of the project model: marker list, chapters and their queries, caches, reset.
#include <gtest/gtest.h>

#include "project/project.h"
#include "support/project_fakes.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::TFakeProjectMedia;
using test::TRecordingUserInterface;

using test::Make;

class ProjectModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        project.VideoOpened();
    }
    std::vector<int32_t> Frames()
    {
        std::vector<int32_t> f;
        for (int32_t i = 0; i < project.MarkerCount(); ++i)
            f.push_back(project.GetMarker(i).Frame);
        return f;
    }
    TFakeProjectMedia media;
    TRecordingUserInterface ui;
    TProject project{&ui, &media};
};

TEST_F(ProjectModel, AddMarkerKeepsFrameOrderAndOneMarkerPerFrame)
{
    EXPECT_EQ(project.AddMarker(Make(500, 1, mkSpline)), 0);
    EXPECT_EQ(project.AddMarker(Make(100, 2, mkRelCut)), 0);
    EXPECT_EQ(project.AddMarker(Make(900, 3, mkDShift)), 2);
    EXPECT_EQ(project.AddMarker(Make(300, 4, mkSpline)), 1);
    EXPECT_EQ(Frames(), (std::vector<int32_t>{100, 300, 500, 900}));
    // Same frame, other kind: replaced in place.
    EXPECT_EQ(project.AddMarker(Make(500, PackOption(50, true, false), mkOption)), 2);
    EXPECT_EQ(project.MarkerCount(), 4);
    EXPECT_EQ(project.GetMarker(2), Make(500, PackOption(50, true, false), mkOption));
    EXPECT_EQ(project.MarkerLine(2), "Opt       500   50 - D");
    EXPECT_EQ(project.FindMarker(300), 1);
    EXPECT_EQ(project.FindMarker(301), -1);
    // Out of range reads as zeros; a store out of range is refused.
    EXPECT_EQ(project.GetMarker(4), TMarker{});
    EXPECT_EQ(project.GetMarker(-1), TMarker{});
    EXPECT_FALSE(project.SetMarker(4, Make(1, 1, mkSpline)));
    EXPECT_EQ(project.MarkerLine(7), "");
    // SetMarker replaces without re-sorting.
    EXPECT_TRUE(project.SetMarker(0, Make(101, 2, mkRelCut)));
    EXPECT_EQ(Frames(), (std::vector<int32_t>{101, 300, 500, 900}));
    project.DeleteMarker(1);
    project.DeleteMarker(10);
    EXPECT_EQ(Frames(), (std::vector<int32_t>{101, 500, 900}));
}

TEST_F(ProjectModel, UnwritableMarkersAreNotStored)
{
    project.AddMarker(Make(10, 1, mkSpline));
    EXPECT_EQ(project.AddMarker(Make(20, 10000000, mkSpline)), -1);
    EXPECT_EQ(project.AddMarker(Make(10000000, 1, mkSpline)), -1);
    EXPECT_FALSE(project.SetMarker(0, Make(10, -10000000, mkSpline)));
    EXPECT_EQ(project.MarkerCount(), 1);
    EXPECT_EQ(project.GetMarker(0), Make(10, 1, mkSpline));
}

TEST_F(ProjectModel, AffectRulePassesChangesToFollowingSplinePoints)
{
    project.AddMarker(Make(100, 4, mkSpline, true));
    project.AddMarker(Make(200, 5, mkRelCut, true));
    project.AddMarker(Make(300, 6, mkSpline));
    project.AddMarker(Make(400, 7, mkDShift));
    project.AddMarker(Make(500, 8, mkSpline, false, true));
    // From a spline point: following points move by the same amount (value - delta).
    project.CorrectFollowing(0, -3);
    EXPECT_EQ(project.GetMarker(1).Value, 5);    // cuts are not changed
    EXPECT_EQ(project.GetMarker(2).Value, 9);
    EXPECT_EQ(project.GetMarker(3).Value, 7);    // nor double shifts
    EXPECT_EQ(project.GetMarker(4).Value, 11);   // deactivated points are
    EXPECT_TRUE(project.GetMarker(4).Deactivated);
    // From a cut: following points compensate (value + delta).
    project.CorrectFollowing(1, 5);
    EXPECT_EQ(project.GetMarker(0).Value, 4);
    EXPECT_EQ(project.GetMarker(2).Value, 14);
    EXPECT_EQ(project.GetMarker(4).Value, 16);
    // Without Affect, or from another kind: nothing.
    project.CorrectFollowing(2, 100);
    project.CorrectFollowing(3, 100);
    project.CorrectFollowing(9, 100);
    EXPECT_EQ(project.GetMarker(4).Value, 16);
}

class Chapters : public ProjectModel {
protected:
    void SetUp() override
    {
        ProjectModel::SetUp();
        project.Options().UseChapters = true;
        project.AddChapter({300, true});
        project.AddChapter({700, false});
    }
};

TEST_F(Chapters, ListAndLines)
{
    EXPECT_EQ(project.ChapterCount(), 3);
    EXPECT_EQ(project.ChapterLine(0), "Start          0");
    EXPECT_EQ(project.ChapterLine(1), "Chapter      300");
    EXPECT_EQ(project.ChapterLine(2), "Chapter      700");
    EXPECT_EQ(project.GetChapter(2).Frame, 700);
    EXPECT_FALSE(project.GetChapter(2).Enabled);
    EXPECT_EQ(project.GetChapter(3).Frame, -1);
    // Insert in order; same frame replaces and takes the new enabled state.
    EXPECT_EQ(project.AddChapter({500, true}), 2);
    EXPECT_EQ(project.AddChapter({300, false}), 1);
    EXPECT_EQ(project.ChapterCount(), 4);
    EXPECT_FALSE(project.GetChapter(1).Enabled);
    // The start chapter cannot be deleted.
    EXPECT_FALSE(project.DeleteChapter(0));
    EXPECT_TRUE(project.DeleteChapter(2));
    EXPECT_EQ(project.GetChapter(2).Frame, 700);
    // Chapters off: the queries see none, but the list stays.
    project.Options().UseChapters = false;
    EXPECT_EQ(project.ChapterCount(), 0);
    EXPECT_EQ(project.ChapterListCount(), 3);
    EXPECT_EQ(project.GetChapter(0).Frame, -1);
    EXPECT_FALSE(project.GetChapter(0).Enabled);
    EXPECT_EQ(project.GetListChapter(1).Frame, 300);
}

TEST_F(Chapters, LengthsAndOutputFrames)
{
    EXPECT_EQ(project.ChapterLength(0), 300);
    EXPECT_EQ(project.ChapterLength(1), 400);
    EXPECT_EQ(project.ChapterLength(2), 300);   // the last runs to N
    EXPECT_EQ(project.ChapterLength(3), 0);
    EXPECT_EQ(project.OutputFrameCount(), 700);  // the disabled 700..999 is left out
    EXPECT_EQ(project.LastOutputFrame(), 699);
    project.SetChapterEnabled(1, false);
    EXPECT_EQ(project.OutputFrameCount(), 300);
    EXPECT_EQ(project.LastOutputFrame(), 299);
    project.SetChapterEnabled(0, false);
    EXPECT_EQ(project.OutputFrameCount(), 0);
    EXPECT_EQ(project.LastOutputFrame(), -1);
    // A disabled chapter in the middle does not lower the last output frame.
    project.SetChapterEnabled(0, true);
    project.SetChapterEnabled(2, true);
    EXPECT_EQ(project.OutputFrameCount(), 600);
    EXPECT_EQ(project.LastOutputFrame(), 999);
    project.Options().UseChapters = false;
    EXPECT_EQ(project.OutputFrameCount(), 1000);
    EXPECT_EQ(project.ChapterLength(0), 0);
}

TEST_F(Chapters, ChapterAt)
{
    int32_t number = -5, start = -5;
    bool enabled = false;
    project.ChapterAt(0, number, start, enabled);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(start, 0);
    EXPECT_TRUE(enabled);
    project.ChapterAt(699, number, start, enabled);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(start, 300);
    project.ChapterAt(5000, number, start, enabled);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(start, 700);
    EXPECT_FALSE(enabled);
    // Without a chapter at 0 a frame before the first chapter is in none.
    project.ClearChapters();
    project.AddChapter({300, true});
    project.ChapterAt(10, number, start, enabled);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(start, 0);
    EXPECT_FALSE(enabled);
    project.Options().UseChapters = false;
    project.ChapterAt(400, number, start, enabled);
    EXPECT_EQ(number, 0);
}

TEST_F(Chapters, MarkersAreHeldAsTheirLinesReadBack)
{
    project.AddMarker(Make(100, 5, mkSpline, true));
    project.AddMarker(Make(200, PackOption(80, true, false), mkOption));
    EXPECT_EQ(project.GetMarker(0), Make(100, 5, mkSpline, true));
    EXPECT_EQ(project.GetMarker(1), Make(200, PackOption(80, true, false), mkOption));
    EXPECT_EQ(project.GetMarker(2), TMarker{});
    EXPECT_EQ(project.GetChapter(2).Frame, 700);
    EXPECT_EQ(project.OutputFrameCount(), 700);
    project.AddMarker(Make(150, 1, mkRelCut));
    EXPECT_EQ(project.GetMarker(1), Make(150, 1, mkRelCut));
    // What the line cannot say is not kept: Affect of an option marker, a fraction
    // against the sign of the whole, an option volume beyond 999.
    TMarker option = Make(300, PackOption(-1, false, true), mkOption, true, true);
    ASSERT_EQ(project.AddMarker(option), 3);
    EXPECT_EQ(project.GetMarker(3), Make(300, PackOption(-1, false, true), mkOption));
    TMarker mixed = Make(400, 3, mkSpline);
    mixed.Milli = -500;
    ASSERT_EQ(project.AddMarker(mixed), 4);
    EXPECT_EQ(project.GetMarker(4).Value, 2);
    EXPECT_EQ(project.GetMarker(4).Milli, 500);
    EXPECT_EQ(project.AddMarker(Make(500, 1500, mkOption)), -1);
    EXPECT_EQ(project.MarkerCount(), 5);
    // A marker may not be set out of the frame order or onto another one.
    EXPECT_FALSE(project.SetMarker(0, Make(150, 5, mkSpline)));
    EXPECT_FALSE(project.SetMarker(0, Make(250, 5, mkSpline)));
    EXPECT_TRUE(project.SetMarker(0, Make(149, 5, mkSpline)));
    EXPECT_EQ(project.FindMarker(149), 0);
    EXPECT_EQ(project.FindMarker(100), -1);
}

TEST_F(Chapters, ResetAndClear)
{
    project.AddMarker(Make(100, 5, mkSpline));
    project.Options().ConcatChapters = true;
    project.ResetMarkers();
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.ChapterListCount(), 1);
    EXPECT_EQ(project.ChapterLine(0), "Start          0");
    EXPECT_FALSE(project.Options().UseChapters);
    EXPECT_FALSE(project.Options().ConcatChapters);

    project.AddMarker(Make(100, 5, mkSpline));
    project.SetFileName("/p/x.tsp");
    project.SetChanged(true);
    project.SetViewOffset(7);
    project.Options().CrossFading = false;
    project.Options().FlipImage = true;
    project.Options().ForceVFW = true;
    project.SetDefaults({true, 4});
    project.ClearProject();
    EXPECT_EQ(media.CloseCount, 1);
    EXPECT_FALSE(project.HasVideo());
    EXPECT_EQ(project.FrameCount(), 0);
    EXPECT_EQ(project.RateNumerator(), -1);
    EXPECT_EQ(project.RateDenominator(), 1);
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.FileName(), "");
    EXPECT_FALSE(project.Changed());
    EXPECT_EQ(project.ViewOffset(), 0);
    EXPECT_TRUE(project.Options().CrossFading);
    EXPECT_FALSE(project.Options().FlipImage);
    EXPECT_FALSE(project.Options().ForceVFW);
    EXPECT_TRUE(project.Options().UseGlobalShift);
    EXPECT_EQ(project.Options().GlobalShift, 4);
    EXPECT_EQ(project.PreviewOffset(), 4);
    project.Options().UseGlobalShift = false;
    EXPECT_EQ(project.PreviewOffset(), 0);
    // Without a video the chapter queries report nothing to render.
    EXPECT_EQ(project.OutputFrameCount(), 0);
    EXPECT_EQ(project.LastOutputFrame(), -1);
}

TEST_F(ProjectModel, OpeningAVideoKeepsOrResetsTheMarkers)
{
    project.AddMarker(Make(100, 5, mkSpline));
    project.SetFileName("/p/x.tsp");
    // Same length and an equal rate (25/1 == 25000/1000): markers kept, no question.
    media.SetVideo("/clips/b.avi", 1000, 25000, 1000);
    EXPECT_FALSE(project.VideoOpened());
    EXPECT_EQ(project.MarkerCount(), 1);
    EXPECT_TRUE(ui.Messages.empty());
    // Another length: asked; No keeps the markers.
    media.SetVideo("/clips/c.avi", 2000);
    ui.Answers = {mrNo};
    EXPECT_FALSE(project.VideoOpened());
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Do you want to reset the project (recommended) ?");
    EXPECT_EQ(ui.Messages[0].Buttons, unsigned(mbYes | mbNo));
    EXPECT_EQ(project.MarkerCount(), 1);
    EXPECT_EQ(project.FrameCount(), 2000);
    // Another rate, Yes: reset and the project loses its name.
    media.SetVideo("/clips/d.avi", 2000, 30000, 1001);
    ui.Answers = {mrYes};
    EXPECT_TRUE(project.VideoOpened());
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.FileName(), "");
    EXPECT_NEAR(static_cast<double>(project.Fps()), 29.97002997, 1e-8);
    // A failed open leaves no video.
    project.AddMarker(Make(1, 1, mkSpline));
    media.SetVideo("", 0, -1, 1);
    EXPECT_TRUE(project.VideoOpened());
    EXPECT_FALSE(project.HasVideo());
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.Fps(), 0.0L);
}

TEST_F(ProjectModel, SampleTimeFollowsThePrimaryTrack)
{
    EXPECT_EQ(project.SampleTime(), 1.0L / 11025);
    media.Audio = true;
    media.SampleRate = 48000;
    project.AudioOpened();
    EXPECT_TRUE(project.HasAudio());
    EXPECT_FALSE(project.HasDouble());
    EXPECT_EQ(project.SampleTime(), 1.0L / 48000);
}

} // namespace
} // namespace tessaly
