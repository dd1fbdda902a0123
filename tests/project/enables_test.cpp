// Table-driven tests of CheckEnables: one row per control line of the main window's
// table (a state that enables it and each single fact that disables it), the edge cases
// of the window, and the state record built from a project.
#include <gtest/gtest.h>

#include <functional>

#include "project/enables.h"
#include "project/project.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

using TFact = std::function<void(TEnableState &)>;

struct TRow {
    const char *Control;
    std::vector<bool TEnables::*> Flags;
    TFact Enable;                 // from the idle empty state to one that enables
    std::vector<TFact> Disable;   // each alone turns the control off again
};

TEnableState Editable()
{
    TEnableState s;
    s.HasVideo = s.HasAudio = true;
    s.FrameCount = 1000;
    s.Position = 500;
    s.LastOutputFrame = 999;
    return s;
}

const TFact kBusy = [](TEnableState &s) { s.Busy = true; };
const TFact kNoVideo = [](TEnableState &s) { s.HasVideo = false; };
const TFact kNoAudio = [](TEnableState &s) { s.HasAudio = false; };
const TFact kOutput = [](TEnableState &s) { s.Page = epOutput; };
const TFact kEditing = [](TEnableState &s) { s.Page = epEditing; };
const TFact kNone = [](TEnableState &) {};
TFact Panel(TMarkerPanelPage p)
{
    return [p](TEnableState &s) { s.PanelPage = p; };
}

const std::vector<TRow> &Rows()
{
    static const std::vector<TRow> rows = {
        {"media opens, New, Open, Language, settings, file names",
         {&TEnables::OpenMedia, &TEnables::New, &TEnables::OpenProject, &TEnables::Language,
          &TEnables::GlobalSettings, &TEnables::ProjectSettings},
         kNone, {kBusy}},
        {"Quit (stops a running preview)", {&TEnables::Quit}, kBusy, {}},
        {"Revert", {&TEnables::Revert}, [](TEnableState &s) { s.HasName = s.Changed = true; },
         {[](TEnableState &s) { s.HasName = false; }, [](TEnableState &s) { s.Changed = false; }, kBusy}},
        {"remove double", {&TEnables::RemoveDouble}, [](TEnableState &s) { s.HasDouble = true; },
         {[](TEnableState &s) { s.HasDouble = false; }, kBusy}},
        {"preview", {&TEnables::Preview}, [](TEnableState &s) { s.HasVideo = true; },
         {kNoVideo, [](TEnableState &s) { s.RangeText = "0.09"; }, [](TEnableState &s) { s.RangeText = "1e11"; },
          [](TEnableState &s) { s.RangeText = "2s"; }, [](TEnableState &s) { s.RangeText = ""; }}},
        {"slider, Go to frame, view offset, zoom, fit, range", {&TEnables::Navigate},
         [](TEnableState &s) { s.HasVideo = true; }, {kNoVideo, kBusy}},
        {"remove reference", {&TEnables::RemoveReference}, [](TEnableState &s) { s.HasReference = true; },
         {[](TEnableState &s) { s.HasReference = false; }, kBusy}},
        {"View reference", {&TEnables::ViewReference}, [](TEnableState &s) { s.HasVideo = s.HasReference = true; },
         {kNoVideo, [](TEnableState &s) { s.HasReference = false; }}},
        {"Optimization window", {&TEnables::Optimization},
         [](TEnableState &s) { s.HasVideo = s.OptimizationWindow = true; },
         {kNoVideo, [](TEnableState &s) { s.OptimizationWindow = false; }}},
        {"Save, Save as, mute primary", {&TEnables::Save, &TEnables::SaveAs, &TEnables::MutePrimary},
         [](TEnableState &s) { s = Editable(); s.Busy = true; }, {kNoVideo, kNoAudio}},
        {"mute double", {&TEnables::MuteDouble}, [](TEnableState &s) { s = Editable(); s.HasDouble = true; },
         {kNoVideo, kNoAudio, [](TEnableState &s) { s.HasDouble = false; }}},
        {"new-marker buttons", {&TEnables::NewMarkerButtons}, [](TEnableState &s) { s = Editable(); },
         {kNoVideo, kNoAudio, kBusy, kOutput, Panel(mpShiftProperties), Panel(mpOptionProperties)}},
        {"Insert chapters, Suggest markers", {&TEnables::InsertChapters, &TEnables::SuggestMarkers},
         [](TEnableState &s) { s = Editable(); },
         {kNoVideo, kNoAudio, kBusy}},
        {"Start calculation, Analyze", {&TEnables::Calculate, &TEnables::Analyze},
         [](TEnableState &s) { s = Editable(); },
         {kNoVideo, kNoAudio, kBusy, [](TEnableState &s) { s.LastOutputFrame = -1; }}},
        {"Change start offset (markers)", {&TEnables::ChangeStartOffset},
         [](TEnableState &s) { s = Editable(); s.MarkersExist = true; }, {kNoVideo, kNoAudio, kBusy,
         [](TEnableState &s) { s.MarkersExist = false; }}},
        {"Change start offset (chapters)", {&TEnables::ChangeStartOffset},
         [](TEnableState &s) { s = Editable(); s.ChapterListCount = 2; },
         {kBusy, [](TEnableState &s) { s.ChapterListCount = 1; }}},
        {"marker list", {&TEnables::MarkerList}, [](TEnableState &s) { s = Editable(); },
         {kNoVideo, kNoAudio, kBusy, kOutput}},
        {"delete marker", {&TEnables::DeleteMarker}, kNone, {kBusy, kOutput}},
        {"enable box", {&TEnables::EnableBox}, Panel(mpShiftProperties),
         {kOutput, Panel(mpNewMarker), Panel(mpOptionProperties)}},
        {"shift field", {&TEnables::ShiftField},
         [](TEnableState &s) { s.PanelPage = mpShiftProperties; s.EnableBoxTicked = true; },
         {Panel(mpNewMarker), [](TEnableState &s) { s.EnableBoxTicked = false; }}},
        {"Affect button", {&TEnables::AffectButton},
         [](TEnableState &s) { s.PanelPage = mpShiftProperties; s.EnableBoxTicked = true; s.SelectedKind = mkRelCut; },
         {[](TEnableState &s) { s.SelectedKind = mkDShift; }, [](TEnableState &s) { s.EnableBoxTicked = false; },
          kBusy}},
        {"audio and double boxes, volume field", {&TEnables::OptionBoxes, &TEnables::VolumeField},
         Panel(mpOptionProperties), {kOutput, Panel(mpShiftProperties)}},
        {"move backward", {&TEnables::MoveBackward}, [](TEnableState &s) { s = Editable(); s.SelectedKind = mkSpline; },
         {kOutput, kBusy, [](TEnableState &s) { s.SelectedKind = mkNone; }, [](TEnableState &s) { s.Position = 0; },
          [](TEnableState &s) { s.MarkerBefore = true; }}},
        {"move forward", {&TEnables::MoveForward}, [](TEnableState &s) { s = Editable(); s.SelectedKind = mkOption; },
         {kOutput, kBusy, [](TEnableState &s) { s.SelectedKind = mkNone; }, [](TEnableState &s) { s.Position = 999; },
          [](TEnableState &s) { s.MarkerAfter = true; }}},
        {"Subdivide into chapters", {&TEnables::SubdivideChapters}, [](TEnableState &s) { s = Editable(); s.Page = epOutput; },
         {kEditing, kNoAudio, kBusy}},
        {"Calculate button", {&TEnables::CalculateButton}, [](TEnableState &s) { s = Editable(); s.Page = epOutput; },
         {kEditing, kNoVideo, [](TEnableState &s) { s.LastOutputFrame = -1; }}},
        {"chapter list, Concatenate", {&TEnables::ChapterList, &TEnables::ConcatChapters},
         [](TEnableState &s) { s = Editable(); s.Page = epOutput; s.ChaptersUsed = true; },
         {kEditing, kBusy, [](TEnableState &s) { s.ChaptersUsed = false; }}},
        {"marker drag on the timeline", {&TEnables::DragMarker},
         [](TEnableState &s) { s.HasVideo = s.MarkersExist = true; },
         {kNoVideo, kBusy, [](TEnableState &s) { s.MarkersExist = false; }}},
        {"Undo", {&TEnables::Undo}, [](TEnableState &s) { s.CanUndo = true; },
         {[](TEnableState &s) { s.CanUndo = false; }}},
        {"Redo", {&TEnables::Redo}, [](TEnableState &s) { s.CanRedo = true; },
         {[](TEnableState &s) { s.CanRedo = false; }}},
        {"chapter Add", {&TEnables::ChapterAdd},
         [](TEnableState &s) { s = Editable(); s.Page = epOutput; s.ChaptersUsed = true; },
         {kEditing, [](TEnableState &s) { s.ChapterOnP = true; }}},
        {"chapter Del", {&TEnables::ChapterDelete},
         [](TEnableState &s) { s = Editable(); s.Page = epOutput; s.ChaptersUsed = true; s.ChapterOnP = s.LaterChapterOnP = true; },
         {kEditing, [](TEnableState &s) { s.LaterChapterOnP = false; }, [](TEnableState &s) { s.ChaptersUsed = false; }}},
    };
    return rows;
}

TEST(CheckEnables, EveryLineOfTheTable)
{
    for (const TRow &row : Rows()) {
        TEnableState on;
        row.Enable(on);
        TEnables e = CheckEnables(on);
        for (bool TEnables::*flag : row.Flags)
            EXPECT_TRUE(e.*flag) << row.Control;
        for (size_t i = 0; i < row.Disable.size(); ++i) {
            TEnableState off = on;
            row.Disable[i](off);
            TEnables d = CheckEnables(off);
            for (bool TEnables::*flag : row.Flags)
                EXPECT_FALSE(d.*flag) << row.Control << ", disabling fact " << i;
        }
    }
}

TEST(CheckEnables, VideoWithoutAudioKeepsMarkersSaveAndCalculationOff)
{
    TEnableState s = Editable();
    s.HasAudio = false;
    TEnables e = CheckEnables(s);
    EXPECT_FALSE(e.NewMarkerButtons);
    EXPECT_FALSE(e.Save);
    EXPECT_FALSE(e.Calculate);
    EXPECT_TRUE(e.Navigate);
}

class EnableState : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/a.avi", 1000);
        media.Audio = true;
        project.VideoOpened();
        project.AddMarker(test::Make(100, 0, mkSpline));
        project.AddMarker(test::Make(102, 0, mkRelCut, true, true));
        project.AddMarker(test::Make(103, PackOption(-1, true, false), mkOption));
    }
    test::TFakeProjectMedia media;
    TProject project{nullptr, &media};
};

TEST_F(EnableState, MoveButtonsStopNextToANeighbour)
{
    project.SetPosition(101);   // markers on both sides
    TEnables e = CheckEnables(EnableStateOf(project, TWindowFacts{}));
    EXPECT_FALSE(e.MoveBackward);
    EXPECT_FALSE(e.MoveForward);
    project.SetPosition(100);
    e = CheckEnables(EnableStateOf(project, TWindowFacts{}));
    EXPECT_TRUE(e.MoveBackward);
    EXPECT_TRUE(e.MoveForward);
}

TEST_F(EnableState, PanelPageAndSelectionFollowThePosition)
{
    TWindowFacts w;
    project.SetPosition(50);
    EXPECT_EQ(MarkerPanelPageOf(project, epEditing), mpNewMarker);
    project.SetPosition(102);
    TEnableState s = EnableStateOf(project, w);
    EXPECT_EQ(s.PanelPage, mpShiftProperties);
    EXPECT_EQ(s.SelectedKind, mkRelCut);
    EXPECT_FALSE(s.EnableBoxTicked);   // deactivated
    TEnables e = CheckEnables(s);
    EXPECT_TRUE(e.EnableBox);
    EXPECT_FALSE(e.ShiftField);
    EXPECT_TRUE(e.CutPopup);
    project.SetPosition(103);
    EXPECT_EQ(MarkerPanelPageOf(project, epEditing), mpOptionProperties);
    EXPECT_EQ(MarkerPanelPageOf(project, epOutput), mpChapter);
}

TEST_F(EnableState, ChapterFactsCountOnlyWhenChaptersAreUsed)
{
    TWindowFacts w;
    w.Page = epOutput;
    project.AddChapter({500, false});
    project.SetPosition(500);
    TEnableState s = EnableStateOf(project, w);
    EXPECT_FALSE(s.ChapterOnP);
    EXPECT_EQ(s.ChapterListCount, 2);
    project.Options().UseChapters = true;
    s = EnableStateOf(project, w);
    EXPECT_TRUE(s.ChapterOnP);
    EXPECT_TRUE(s.LaterChapterOnP);
    EXPECT_EQ(s.LastOutputFrame, 499);
    project.SetPosition(0);
    s = EnableStateOf(project, w);
    EXPECT_TRUE(s.ChapterOnP);
    EXPECT_FALSE(s.LaterChapterOnP);
}

TEST(PreviewRange, NumbersFromATenthToTenBillion)
{
    for (const char *ok : {"0.1", "2", " 2,5 ", "1e10", "10000000000"})
        EXPECT_TRUE(PreviewRangeValid(ok)) << ok;
    for (const char *bad : {"0.09", "", "abc", "1e11", "-2", "2 s", "nan", "inf"})
        EXPECT_FALSE(PreviewRangeValid(bad)) << bad;
}

TEST(PreviewRange, TheParserGivesTheSecondsTheEnablesAccept)
{
    // The preview reads the same field: what enables the preview is what it plays.
    long double seconds = 0;
    EXPECT_TRUE(ParsePreviewRange("0,5", seconds));
    EXPECT_EQ(seconds, 0.5L);
    EXPECT_TRUE(ParsePreviewRange(" 120 ", seconds));
    EXPECT_EQ(seconds, 120.0L);
    seconds = 7;
    for (const char *bad : {"0.05", "", "-2", "2s", "1e11"}) {
        EXPECT_FALSE(ParsePreviewRange(bad, seconds)) << bad;
        EXPECT_EQ(seconds, 7.0L) << bad;
    }
}

} // namespace
} // namespace tessaly
