// Tests of the main window's texts: status line, caption, marker panel, list entries,
// file panel names and the optimisation window's values.
#include <gtest/gtest.h>

#include "project/project.h"
#include "project/window_texts.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

using test::Make;

class WindowTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        media.Audio = true;
        project.VideoOpened();
    }
    test::TFakeProjectMedia media;
    TProject project{nullptr, &media};
};

TEST_F(WindowTexts, StatusLineWithAViewOffsetAndAnUnnamedProject)
{
    project.AddMarker(Make(0, 0, mkSpline));
    project.AddMarker(Make(100, 10, mkSpline));
    project.AddMarker(Make(20, 3, mkDShift));
    project.AddMarker(Make(30, PackOption(80, true, false), mkOption));
    project.RebuildSpline();
    project.SetPosition(50);
    project.SetViewOffset(-7);
    TStatusTexts t = StatusTexts(project);
    EXPECT_EQ(t[spFrame].substr(0, 13), "Frame 50 - 7 ");
    EXPECT_EQ(t[spShift], "Shift 5.000");
    EXPECT_EQ(t[spDShift], "DShift 3");
    EXPECT_EQ(t[spOption], "Tracks - D");
    EXPECT_EQ(t[spVolume], "Double 80 %");
    EXPECT_EQ(t[spChapter], "Chapter 0");   // chapters off
    EXPECT_EQ(t[spChanged], "");
    EXPECT_EQ(t[spName], "(unnamed)");
    project.SetViewOffset(12);
    project.SetChanged(true);
    project.SetFileName("/work/films/film.tsp");
    project.Options().UseChapters = true;
    t = StatusTexts(project);
    EXPECT_EQ(t[spFrame].substr(0, 14), "Frame 50 + 12 ");
    EXPECT_EQ(t[spChapter], "Chapter 1");
    EXPECT_EQ(t[spChanged], "Changed");
    EXPECT_EQ(t[spName], "film.tsp");
    EXPECT_EQ(WindowCaption(project), "film.tsp - Tessaly");

    project.ClearProject();   // without a video every panel is empty
    for (const std::string &panel : StatusTexts(project))
        EXPECT_EQ(panel, "");
    EXPECT_EQ(WindowCaption(project), "Tessaly");
}

TEST_F(WindowTexts, MarkerPanelShowsTheMarkerOnThePosition)
{
    project.AddMarker(Make(10, -4, mkRelCut, true, true));
    project.AddMarker(Make(20, PackOption(-1, false, true), mkOption));
    project.AddChapter({10, true});
    project.Options().UseChapters = true;
    project.SetPosition(10);
    TMarkerPanel p = MarkerPanelOf(project, epEditing);
    EXPECT_EQ(p.Page, mpShiftProperties);
    EXPECT_EQ(p.MarkerIndex, 0);
    EXPECT_FALSE(p.EnableTicked);
    EXPECT_EQ(p.ShiftText, "-4");
    EXPECT_TRUE(p.AffectDown);
    EXPECT_EQ(MarkerPanelOf(project, epOutput).ChapterIndex, 1);
    project.SetPosition(20);
    p = MarkerPanelOf(project, epEditing);
    EXPECT_EQ(p.Page, mpOptionProperties);
    EXPECT_TRUE(p.AudioTicked);
    EXPECT_FALSE(p.DoubleTicked);
    EXPECT_EQ(p.VolumeText, "");
    project.SetPosition(21);
    p = MarkerPanelOf(project, epEditing);
    EXPECT_EQ(p.Page, mpNewMarker);
    EXPECT_EQ(p.MarkerIndex, -1);
    EXPECT_EQ(ChapterListText(project, 0), "Start          0");
    EXPECT_EQ(ChapterListText(project, 1), "Chapter       10");
    EXPECT_EQ(MarkerListText(project, 1), "Opt        20      A -");
    // A fraction is part of the value the field shows (and edits).
    TMarker fine = Make(30, 0, mkSpline);
    ASSERT_TRUE(SetMarkerMilli(fine, 3250));
    project.AddMarker(fine);
    TMarker small = Make(40, 0, mkSpline);
    ASSERT_TRUE(SetMarkerMilli(small, -40));
    project.AddMarker(small);
    project.SetPosition(30);
    EXPECT_EQ(MarkerPanelOf(project, epEditing).ShiftText, "3.25");
    project.SetPosition(40);
    EXPECT_EQ(MarkerPanelOf(project, epEditing).ShiftText, "-0.04");
}

TEST(WindowTimes, TimecodesAndGotoAnswers)
{
    EXPECT_EQ(FormatTimecode(0), "00:00:00.000");
    EXPECT_EQ(FormatTimecode(4.92L), "00:00:04.920");
    EXPECT_EQ(FormatTimecode(3725.0005L), "01:02:05.001");
    EXPECT_EQ(FormatTimecode(-1.5L), "-00:00:01.500");
    EXPECT_EQ(GotoAnswerAsFrame("1:02.5", 25), "1562");
    EXPECT_EQ(GotoAnswerAsFrame("00:01:02,500", 25), "1562");
    EXPECT_EQ(GotoAnswerAsFrame("1:00:00", 25), "90000");
    EXPECT_EQ(GotoAnswerAsFrame("0:04.920", 25), "123");   // the frame shown at that time
    // Frame numbers and malformed times are the editor's to check.
    for (const char *same : {"120", "1:x", "1::2", "1:2:3:4", ":5", "1.5:00", "abc"})
        EXPECT_EQ(GotoAnswerAsFrame(same, 25), same) << same;
    EXPECT_EQ(GotoAnswerAsFrame("1:00", 0), "1:00");
}

TEST_F(WindowTexts, UndoStepsAreNamedAfterTheirEdit)
{
    project.AddMarker(Make(10, 0, mkSpline));
    project.AddMarker(Make(20, 0, mkRelCut));
    TEditRecord record;
    record.Kind = ekNewMarker;
    record.Target = 0;
    EXPECT_EQ(EditStepName(project, record), "Add spline point");
    record.Target = 1;
    EXPECT_EQ(EditStepName(project, record), "Add cut");
    record.Target = 7;   // gone since
    EXPECT_EQ(EditStepName(project, record), "Add marker");
    record.Kind = ekMoveMarker;
    EXPECT_EQ(EditStepName(project, record), "Move marker");
    EXPECT_EQ(UndoItemText("Move marker"), "&Undo Move marker");
    EXPECT_EQ(RedoItemText("Move marker"), "&Redo Move marker");
}

TEST(FilePanel, SegmentedSourcesShowTheirFirstFile)
{
    EXPECT_EQ(FirstSegmentName("/v/cap*.avi|007|008|009"), "/v/cap007.avi");
    EXPECT_EQ(FirstSegmentName(" /v/film.avi "), "/v/film.avi");
    EXPECT_EQ(FirstSegmentName(""), "");
    test::TFakeSources sources;
    sources.Lists[srDouble] = "/a/d*.wav|1|2";
    EXPECT_EQ(FilePanelName(sources, srDouble), "/a/d1.wav");
    EXPECT_EQ(FilePanelName(sources, srReference), "");
}

TEST(OptimizationView, CountFrameDeviationAndColour)
{
    TOptimizationView none = OptimizationViewOf(TDeactivatedStats{});
    EXPECT_EQ(none.CountText, "(0)");
    EXPECT_EQ(none.FrameText, "-");
    EXPECT_EQ(none.DeviationText, "");
    EXPECT_EQ(none.Colour, dcNone);
    EXPECT_FALSE(none.ButtonsEnabled);
    // Two deactivated markers with errors 0.3 and -0.8: the second, in yellow.
    TOptimizationView v = OptimizationViewOf(TDeactivatedStats{2, 400, -0.8L});
    EXPECT_EQ(v.CountText, "(2)");
    EXPECT_EQ(v.FrameText, "400");
    EXPECT_EQ(v.DeviationText, "-0.800");
    EXPECT_EQ(v.Colour, dcYellow);
    EXPECT_TRUE(v.ButtonsEnabled);
    EXPECT_EQ(OptimizationViewOf(TDeactivatedStats{1, 5, 0.49L}).Colour, dcGreen);
    EXPECT_EQ(OptimizationViewOf(TDeactivatedStats{1, 5, 1.0L}).Colour, dcRed);
}

} // namespace
} // namespace tessaly
