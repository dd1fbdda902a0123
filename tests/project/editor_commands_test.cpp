// Tests of the editing commands through the editor: new markers, delete, edits, enable,
// Affect, options, moving, the start offset change and the chapter commands.
#include <gtest/gtest.h>

#include "project/project.h"
#include "project/project_editor.h"
#include "shell/language.h"
#include "support/project_fakes.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::TFakeProjectMedia;
using test::TRecordingUserInterface;

using test::Make;

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        project.VideoOpened();
    }
    // A button's new marker at the position (replacing one there): its index, -1 when refused.
    int32_t New(TMarkerKind kind)
    {
        TEditResult r = editor.NewMarker(kind, true);
        return r ? r.Record.Target : -1;
    }
    std::vector<int32_t> Values()
    {
        std::vector<int32_t> v;
        for (int32_t i = 0; i < project.MarkerCount(); ++i)
            v.push_back(project.GetMarker(i).Value);
        return v;
    }
    TFakeProjectMedia media;
    TRecordingUserInterface ui;
    TProject project{&ui, &media};
    TProjectEditor editor{project};
};

TEST_F(Commands, NewMarkersTakeTheStateAtThePosition)
{
    project.AddMarker(Make(100, 0, mkSpline));
    project.AddMarker(Make(200, 10, mkSpline));
    project.AddMarker(Make(50, 6, mkDShift));
    project.AddMarker(Make(60, PackOption(40, false, true), mkOption));
    project.RebuildSpline();
    EXPECT_FALSE(project.Changed());

    // A new point takes the curve's value to the thousandth: the curve stays as it was.
    project.SetPosition(163);   // curve 6.3
    int32_t i = New(mkSpline);
    EXPECT_EQ(project.GetMarker(i).Kind, mkSpline);
    EXPECT_EQ(MarkerMilli(project.GetMarker(i)), 6300);
    EXPECT_TRUE(project.Changed());
    EXPECT_TRUE(editor.DeleteMarker(project.Position()));
    project.SetPosition(157);   // 5.7
    EXPECT_EQ(MarkerMilli(project.GetMarker(New(mkSpline))), 5700);
    EXPECT_NEAR(double(project.SplineShiftAt(130)), 3.0, 1e-9);

    project.SetPosition(300);
    EXPECT_EQ(project.GetMarker(New(mkRelCut)), Make(300, 0, mkRelCut, true));
    project.SetPosition(310);
    EXPECT_EQ(project.GetMarker(New(mkDShift)), Make(310, 6, mkDShift));
    project.SetPosition(320);
    // Flags in force (double off), volume "no change".
    EXPECT_EQ(project.GetMarker(New(mkOption)), Make(320, PackOption(-1, false, true), mkOption));
    // On an occupied frame the new marker replaces the old one.
    project.SetPosition(300);
    int32_t count = project.MarkerCount();
    EXPECT_EQ(project.GetMarker(New(mkDShift)).Kind, mkDShift);
    EXPECT_EQ(project.MarkerCount(), count);
}

TEST_F(Commands, DeleteOnlyOnAMarkerAndCutsPassTheirValueOn)
{
    project.AddMarker(Make(100, 5, mkRelCut, true));
    project.AddMarker(Make(200, 1, mkSpline));
    project.AddMarker(Make(300, 2, mkSpline, false, true));
    EXPECT_FALSE(editor.DeleteMarker(150));
    EXPECT_FALSE(project.Changed());
    EXPECT_TRUE(editor.DeleteMarker(100));
    EXPECT_EQ(Values(), (std::vector<int32_t>{6, 7}));
    // A deactivated cut passes nothing on.
    project.AddMarker(Make(100, 5, mkRelCut, true, true));
    EXPECT_TRUE(editor.DeleteMarker(100));
    EXPECT_EQ(Values(), (std::vector<int32_t>{6, 7}));
    EXPECT_TRUE(project.Changed());
}

TEST_F(Commands, EditValueAppliesTheAffectRule)
{
    project.AddMarker(Make(100, 4, mkSpline, true));
    project.AddMarker(Make(200, 0, mkRelCut, true));
    project.AddMarker(Make(300, 10, mkSpline));
    project.RebuildSpline();
    // Spline point raised by 3: the following point rises with it.
    EXPECT_TRUE(editor.SetShiftMilli(0, 7000));
    EXPECT_EQ(Values(), (std::vector<int32_t>{7, 0, 13}));
    // Cut set to 5: the following point compensates.
    EXPECT_TRUE(editor.SetShiftMilli(1, 5000));
    EXPECT_EQ(Values(), (std::vector<int32_t>{7, 5, 8}));
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(300).TotalShift()), 13.0, 1e-6);
    // Values beyond the field and unchanged values change nothing.
    for (int64_t milli : {10000000000LL, -10000000000LL, 9999999001LL, 5000LL})
        EXPECT_FALSE(editor.SetShiftMilli(1, milli)) << milli;
    EXPECT_FALSE(editor.SetShiftMilli(9, 1000));
    EXPECT_EQ(Values(), (std::vector<int32_t>{7, 5, 8}));
    // A deactivated marker changes alone.
    project.SetMarker(1, Make(200, 5, mkRelCut, true, true));
    EXPECT_TRUE(editor.SetShiftMilli(1, -9999999000LL));
    EXPECT_EQ(Values(), (std::vector<int32_t>{7, -9999999, 8}));
}

TEST_F(Commands, AValueItsLineCannotHoldIsRefusedBeforeTheFollowingPointsMove)
{
    project.AddMarker(Make(100, 4, mkSpline, true));
    TMarker follower = Make(300, 0, mkSpline);
    ASSERT_TRUE(SetMarkerMilli(follower, 10500));
    project.AddMarker(follower);
    // 1234567.5 frames: within the field's range, but ten characters on the line; the
    // following point would become +1234574, which its line holds.
    const TProjectSnapshot before = project.Snapshot();
    TEditResult r = editor.SetShiftMilli(0, 1234567500);
    EXPECT_FALSE(r.Applied);
    EXPECT_EQ(r.Error, "The marker cannot be stored: its value does not fit the marker line.");
    EXPECT_FALSE(editor.SetShiftValue(0, "1234567.5"));
    EXPECT_EQ(project.Snapshot(), before);
    EXPECT_FALSE(project.Changed());
    // A value that fits goes through; the following point follows where its own line
    // holds the result (+1234573.5 does not: it keeps +10.5).
    EXPECT_TRUE(editor.SetShiftValue(0, "1234567"));
    EXPECT_EQ(Values(), (std::vector<int32_t>{1234567, 10}));
    EXPECT_EQ(MarkerMilli(project.GetMarker(1)), 10500);
}

TEST_F(Commands, EnablingAndDisablingACutMovesTheFollowingPoints)
{
    project.AddMarker(Make(100, 5, mkRelCut, true));
    project.AddMarker(Make(200, 1, mkSpline));
    project.AddMarker(Make(300, 2, mkSpline));
    EXPECT_TRUE(editor.SetMarkerEnabled(0, false));
    EXPECT_TRUE(project.GetMarker(0).Deactivated);
    EXPECT_EQ(Values(), (std::vector<int32_t>{5, 6, 7}));
    EXPECT_FALSE(editor.SetMarkerEnabled(0, false));   // no change
    EXPECT_TRUE(editor.SetMarkerEnabled(0, true));
    EXPECT_EQ(Values(), (std::vector<int32_t>{5, 1, 2}));
    // Without Affect only the flag changes; a spline point never moves the others.
    EXPECT_TRUE(editor.SetMarkerEnabled(1, false));
    EXPECT_EQ(Values(), (std::vector<int32_t>{5, 1, 2}));
    project.SetMarker(1, Make(200, 1, mkSpline, true));
    EXPECT_TRUE(editor.SetMarkerEnabled(1, false));
    EXPECT_EQ(Values(), (std::vector<int32_t>{5, 1, 2}));
    // Option markers cannot be deactivated.
    project.AddMarker(Make(400, PackOption(-1, false, false), mkOption));
    EXPECT_FALSE(editor.SetMarkerEnabled(3, false));
    EXPECT_FALSE(project.GetMarker(3).Deactivated);
}

TEST_F(Commands, AffectOnlyForSplinePointsAndCuts)
{
    project.AddMarker(Make(100, 5, mkRelCut, true));
    project.AddMarker(Make(200, 1, mkDShift));
    project.AddMarker(Make(300, 2, mkSpline));
    EXPECT_TRUE(editor.SetAffect(0, false));
    EXPECT_FALSE(project.GetMarker(0).Affect);
    EXPECT_TRUE(editor.SetAffect(2, true));
    EXPECT_TRUE(project.GetMarker(2).Affect);
    EXPECT_FALSE(editor.SetAffect(1, true));
    EXPECT_FALSE(project.GetMarker(1).Affect);
    EXPECT_EQ(Values(), (std::vector<int32_t>{5, 1, 2}));
}

TEST_F(Commands, OptionEditStoresTheVolumeInForceAsNoChange)
{
    project.AddMarker(Make(100, PackOption(60, false, false), mkOption));
    project.AddMarker(Make(200, PackOption(-1, false, false), mkOption));
    project.AddMarker(Make(0, PackOption(-1, false, false), mkOption));
    // 60 is in force before frame 200: stored as no change, shown with four blanks.
    EXPECT_TRUE(editor.EditOptionMarker(2, true, false, "60"));
    EXPECT_EQ(project.MarkerLine(2), "Opt       200      A -");
    EXPECT_TRUE(editor.EditOptionMarker(2, false, true, "75"));
    EXPECT_EQ(project.MarkerLine(2), "Opt       200   75 - D");
    EXPECT_TRUE(editor.EditOptionMarker(2, true, true, ""));
    EXPECT_EQ(OptionVolume(project.GetMarker(2).Value), -1);
    // At frame 0 the volume in force is 100.
    EXPECT_TRUE(editor.EditOptionMarker(0, true, true, "50"));
    EXPECT_EQ(OptionVolume(project.GetMarker(0).Value), 50);
    EXPECT_TRUE(editor.EditOptionMarker(0, true, true, "100"));
    EXPECT_EQ(OptionVolume(project.GetMarker(0).Value), -1);
    // Giving the stored state again is no edit.
    EXPECT_FALSE(editor.EditOptionMarker(0, true, true, ""));
    // Bad texts and other kinds leave the marker untouched.
    std::string before = project.MarkerLine(1);
    for (const char *text : {"1000", "-1", "x", "5 5"})
        EXPECT_FALSE(editor.EditOptionMarker(1, false, false, text)) << text;
    EXPECT_EQ(project.MarkerLine(1), before);
    project.AddMarker(Make(300, 3, mkSpline));
    EXPECT_FALSE(editor.EditOptionMarker(3, true, true, "50"));
}

TEST_F(Commands, MoveByOneFrameNeverPassesANeighbour)
{
    project.AddMarker(Make(100, 5, mkSpline));
    project.AddMarker(Make(102, 6, mkRelCut));
    project.AddMarker(Make(999, 1, mkDShift));
    EXPECT_TRUE(editor.MoveMarker(100, 1));
    EXPECT_EQ(project.Position(), 101);
    EXPECT_EQ(project.GetMarker(0), Make(101, 5, mkSpline));
    EXPECT_FALSE(editor.MoveMarker(101, 1));   // 102 is taken
    EXPECT_TRUE(editor.MoveMarker(101, -1));
    EXPECT_EQ(project.GetMarker(0).Frame, 100);
    EXPECT_FALSE(editor.MoveMarker(999, 1));   // last frame
    EXPECT_FALSE(editor.MoveMarker(500, -1));  // no marker there
    project.AddMarker(Make(0, 1, mkSpline));
    EXPECT_FALSE(editor.MoveMarker(0, -1));    // first frame
    EXPECT_FALSE(editor.MoveMarker(100, 2));   // past the cut at 102
}

TEST_F(Commands, StartOffsetMovesMarkersAndChaptersKeepingTheAudio)
{
    project.AddMarker(Make(100, 5, mkSpline));
    project.AddMarker(Make(200, 3, mkRelCut, true));
    project.AddMarker(Make(300, 7, mkDShift));
    project.AddMarker(Make(400, PackOption(50, true, false), mkOption));
    project.Options().UseChapters = true;
    project.AddChapter({250, false});
    EXPECT_TRUE(editor.ChangeStartOffset(20));
    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_EQ(project.GetMarker(0), Make(120, -15, mkSpline));
    EXPECT_EQ(project.GetMarker(1), Make(220, 3, mkRelCut, true));
    EXPECT_EQ(project.GetMarker(2), Make(320, -13, mkDShift));
    EXPECT_EQ(project.GetMarker(3), Make(420, PackOption(50, true, false), mkOption));
    EXPECT_EQ(project.ChapterLine(0), "Start          0");
    EXPECT_EQ(project.GetChapter(1).Frame, 270);
    EXPECT_FALSE(project.GetChapter(1).Enabled);
    EXPECT_TRUE(project.Changed());
    EXPECT_NEAR(static_cast<double>(project.SplineShiftAt(120)), -15.0, 1e-9);
    EXPECT_FALSE(editor.ChangeStartOffset(0));
}

TEST_F(Commands, StartOffsetOutsideTheVideoIsRefused)
{
    project.AddMarker(Make(100, 5, mkSpline));
    project.AddMarker(Make(900, 5, mkSpline));
    std::string first = project.MarkerLine(0);
    for (int32_t d : {-101, 100}) {
        TEditResult r = editor.ChangeStartOffset(d);
        EXPECT_FALSE(r.Applied);
        EXPECT_EQ(r.Error, "This would move some markers and/or chapters outside of the project.");
    }
    EXPECT_EQ(project.MarkerLine(0), first);
    EXPECT_FALSE(project.Changed());
    // Chapters must stay within 1 .. N-1.
    project.AddChapter({50, true});
    EXPECT_FALSE(editor.ChangeStartOffset(-50));
    EXPECT_TRUE(editor.ChangeStartOffset(-49));
    EXPECT_EQ(project.GetListChapter(1).Frame, 1);
    // Without markers 0 + d is tested.
    project.ResetMarkers();
    EXPECT_FALSE(editor.ChangeStartOffset(-1));
    EXPECT_TRUE(editor.ChangeStartOffset(999));
}

TEST_F(Commands, StartOffsetThatWouldOverflowAValueChangesNothing)
{
    project.AddMarker(Make(100, -9999990, mkSpline));
    project.AddMarker(Make(200, 5, mkSpline));
    TEditResult r = editor.ChangeStartOffset(20);   // -10000010 has 9 characters
    EXPECT_FALSE(r.Applied);
    EXPECT_EQ(r.Error, "The marker cannot be stored: its value does not fit the marker line.");
    EXPECT_EQ(project.GetMarker(0), Make(100, -9999990, mkSpline));
    EXPECT_EQ(project.GetMarker(1), Make(200, 5, mkSpline));
    EXPECT_FALSE(project.Changed());
}

TEST_F(Commands, ChapterCommands)
{
    project.Options().UseChapters = true;
    EXPECT_TRUE(editor.AddChapter(400));
    EXPECT_EQ(project.GetChapter(1).Frame, 400);
    EXPECT_TRUE(project.Changed());
    EXPECT_TRUE(editor.TickChapter(1, false));
    EXPECT_FALSE(project.GetChapter(1).Enabled);
    EXPECT_TRUE(editor.AddChapter(400));   // same frame: replaced, enabled
    EXPECT_TRUE(project.GetChapter(1).Enabled);
    EXPECT_EQ(project.ChapterCount(), 2);
    EXPECT_FALSE(editor.DeleteChapter(0));
    EXPECT_TRUE(editor.DeleteChapter(400));
    EXPECT_EQ(project.ChapterCount(), 1);
    EXPECT_FALSE(editor.TickChapter(5, true));
}

// Refusals come from the current language file when it has the key.
TEST(CommandMessages, UseTheCurrentLanguage)
{
    test::TFakeProjectMedia media;
    media.SetVideo("/clips/a.avi", 100);
    TProject project(nullptr, &media);
    project.VideoOpened();
    TProjectEditor editor(project);
    ASSERT_TRUE(LoadLanguageFile(std::string(TESSALY_BIN_DIR) + "/lang/tessaly.lng"));
    ASSERT_TRUE(SelectLanguage("Deutsch"));
    const std::string german = editor.ChangeStartOffset(100).Error;
    SelectLanguage("English");
    const std::string english = editor.ChangeStartOffset(100).Error;
    LoadLanguageFile("");
    EXPECT_EQ(german, "Dadurch würden Marker und/oder Kapitel außerhalb des Projekts liegen.");
    EXPECT_EQ(english, "This would move some markers and/or chapters outside of the project.");
}

} // namespace
} // namespace tessaly
