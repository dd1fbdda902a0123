// Tests of the project analysis, automatic chapters, removal of deactivated markers and
// the navigation operations.
#include <regex>

#include <gtest/gtest.h>

#include "project/analysis.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "shell/progress.h"
#include "support/project_fakes.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::Make;

// Counts progress reports and asks to abort after `abortAfter` of them (never when 0).
class TCountingProgress : public TProgress {
public:
    int Reports = 0, AbortAfter = 0;
    bool Shown = false;
    std::string Caption, Comment;
    void Show() override { Shown = true; }
    void Close() override { Shown = false; }
    void SetCaption(const std::string &t) override { Caption = t; }
    void SetComment(const std::string &t) override { Comment = t; }
    void SetCancelText(const std::string &) override {}
    void SetProgress(double) override { ++Reports; }
    bool Aborted() override { return AbortAfter > 0 && Reports >= AbortAfter; }
    void SetAborted(bool) override {}
};

class Analysis : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 200);
        project.VideoOpened();
    }
    void Add(const TMarker &m)
    {
        project.AddMarker(m);
        project.RebuildSpline();
    }
    std::vector<TAnalysisRow> Rows()
    {
        TAnalysisResult r;
        EXPECT_TRUE(AnalyzeProject(project, &progress, r));
        return AnalysisRows(r);
    }
    test::TFakeProjectMedia media;
    TProject project{nullptr, &media};
    TCountingProgress progress;
};

TEST_F(Analysis, WithoutMarkersEverythingIsZero)
{
    std::vector<TAnalysisRow> rows = Rows();
    ASSERT_EQ(rows.size(), 8u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[size_t(i)].Value, "0.000") << i;
        EXPECT_EQ(rows[size_t(i)].Frame, "0") << i;
    }
    EXPECT_EQ(rows[4].Value, "100.000 %");
    EXPECT_EQ(rows[4].Frame, "0");
    EXPECT_EQ(rows[5].Value, "100.000 %");
    EXPECT_EQ(rows[6].Value, "0.000 %");
    EXPECT_EQ(rows[6].Frame, "-");
    EXPECT_EQ(rows[7].Value, "-");
    EXPECT_EQ(rows[7].Frame, "-");
    EXPECT_EQ(progress.Reports, 201);   // frames 0 .. N
    EXPECT_EQ(progress.Caption, "Analyze project ...");
    EXPECT_EQ(progress.Comment, "Press <ESC> to abort ...");
    EXPECT_FALSE(progress.Shown);
}

TEST_F(Analysis, ExtremesOfShiftSpeedAndCurvature)
{
    Add(Make(0, 0, mkSpline));
    Add(Make(100, 10, mkSpline));
    Add(Make(150, 5, mkRelCut));
    std::vector<TAnalysisRow> rows = Rows();
    EXPECT_EQ(rows[0].Value, "0.000");    // min total at 0
    EXPECT_EQ(rows[0].Frame, "0");
    EXPECT_EQ(rows[1].Value, "25.000");   // max total at N: 20 + 5
    EXPECT_EQ(rows[1].Frame, "200");
    EXPECT_EQ(rows[3].Value, "20.000");
    EXPECT_EQ(rows[4].Value, "110.000 %");   // 0.1 frame per frame
    EXPECT_EQ(rows[5].Value, "110.000 %");
    EXPECT_EQ(rows[6].Value, "0.000 %");
    // A bend: the curvature row in exponent notation.
    Add(Make(200 - 1, 0, mkSpline));
    rows = Rows();
    EXPECT_TRUE(std::regex_match(rows[7].Value, std::regex(R"(\d\.\d{3}E[+-]\d{2} %)"))) << rows[7].Value;
    EXPECT_NE(rows[7].Frame, "-");
}

TEST_F(Analysis, FramesWithThePrimaryOffAreLeftOut)
{
    Add(Make(100, 5, mkRelCut));
    Add(Make(100 - 1, 0, mkSpline));
    TAnalysisResult r;
    ASSERT_TRUE(AnalyzeProject(project, nullptr, r));
    EXPECT_EQ(r[1].Frame, 100);
    // Primary off from 100 to 119 (the point on 100 replaces the cut): a cut at 98 is
    // seen at once, a cut at 110 only at 122, two frames after the primary is back.
    Add(Make(100, 0, mkSpline));
    project.AddMarker(Make(98, 5, mkRelCut));
    project.AddMarker(Make(100, PackOption(-1, true, false), mkOption));
    project.AddMarker(Make(120, PackOption(-1, false, false), mkOption));
    project.RebuildSpline();
    ASSERT_TRUE(AnalyzeProject(project, nullptr, r));
    EXPECT_EQ(r[1].Frame, 98);
    project.DeleteMarker(project.FindMarker(98));
    project.AddMarker(Make(110, 5, mkRelCut));
    ASSERT_TRUE(AnalyzeProject(project, nullptr, r));
    EXPECT_EQ(r[1].Frame, 122);
    EXPECT_EQ(r[1].Value, 5.0L);
}

TEST_F(Analysis, AbortGivesNoResult)
{
    progress.AbortAfter = 10;
    TAnalysisResult r;
    EXPECT_FALSE(AnalyzeProject(project, &progress, r));
    EXPECT_EQ(progress.Reports, 10);
}

TEST_F(Analysis, AutomaticChapters)
{
    media.SetVideo("/clips/b.avi", 2000);
    project.VideoOpened();
    TProjectEditor editor(project);
    EXPECT_FALSE(editor.InsertChapters(acFixedLength, 99, true));
    ASSERT_TRUE(editor.InsertChapters(acFixedLength, 700, true));
    ASSERT_EQ(project.ChapterCount(), 3);
    EXPECT_EQ(project.GetChapter(2).Frame, 1400);
    EXPECT_TRUE(project.Changed());
    // Skip the cut-out part of a backward cut of -50 at 1000.
    project.AddMarker(Make(1000, -50, mkRelCut, true));
    project.AddMarker(Make(1500, -20, mkRelCut, true, true));   // deactivated: ignored
    project.AddMarker(Make(1600, 30, mkRelCut));                // forward: ignored
    ASSERT_TRUE(editor.InsertChapters(acSkipCutOut, 0, true));
    ASSERT_EQ(project.ChapterCount(), 3);
    EXPECT_EQ(project.GetChapter(0).Frame, 0);
    EXPECT_TRUE(project.GetChapter(0).Enabled);
    EXPECT_EQ(project.GetChapter(1).Frame, 1000);
    EXPECT_FALSE(project.GetChapter(1).Enabled);
    EXPECT_EQ(project.GetChapter(2).Frame, 1050);
    EXPECT_TRUE(project.GetChapter(2).Enabled);
    EXPECT_TRUE(project.Options().ConcatChapters);
    EXPECT_EQ(project.OutputFrameCount(), 1950);
}

TEST_F(Analysis, RemoveDeactivatedAndNavigate)
{
    Add(Make(10, 5, mkSpline, false, true));
    Add(Make(20, 3, mkRelCut, false, true));
    Add(Make(30, 7, mkSpline));
    Add(Make(40, -15, mkRelCut));
    EXPECT_EQ(project.DeactivatedStats().Count, 1);
    TProjectEditor editor(project);
    EXPECT_TRUE(editor.RemoveDeactivated());
    EXPECT_EQ(project.MarkerCount(), 2);
    EXPECT_EQ(project.DeactivatedStats().Count, 0);
    EXPECT_TRUE(project.Changed());
    EXPECT_FALSE(editor.RemoveDeactivated());

    project.SetViewOffset(9);
    EXPECT_TRUE(editor.MoveTo(199));
    EXPECT_EQ(project.ViewOffset(), 0);
    EXPECT_FALSE(editor.MoveTo(-3));
    EXPECT_EQ(project.Position(), 199);
    EXPECT_TRUE(editor.ViewOffsetToCutValue(1));
    EXPECT_EQ(project.ViewOffset(), 15);
    EXPECT_TRUE(editor.JumpToCutEnd(1));
    EXPECT_EQ(project.Position(), 55);
    EXPECT_EQ(project.ViewOffset(), 0);
    EXPECT_FALSE(editor.JumpToCutEnd(0));   // a spline point
    EXPECT_FALSE(editor.ViewOffsetToCutValue(5));
    // A cut jumping past either end lands on the video's first or last frame.
    project.AddMarker(Make(150, -400, mkRelCut));
    project.AddMarker(Make(160, 400, mkRelCut));
    EXPECT_TRUE(editor.JumpToCutEnd(project.FindMarker(150)));
    EXPECT_EQ(project.Position(), 199);
    EXPECT_TRUE(editor.JumpToCutEnd(project.FindMarker(160)));
    EXPECT_EQ(project.Position(), 0);
}

} // namespace
} // namespace tessaly
