// Tests of the editing path: checks before changes, the Affect rules through it, change
// notification, undo records and their merging, and undo/redo giving the same file.
#include <regex>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_session.h"
#include "project/project_file.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::Make;

// The session hands out its project only to read: a change outside the editor does not
// compile.
static_assert(std::is_const_v<std::remove_reference_t<decltype(std::declval<TProjectSession &>().Project())>>);
// The project file changes a project only through an editor: it cannot be given one to write.
static_assert(!std::is_constructible_v<TProjectFile, TProject &, TProjectSources &>);
static_assert(std::is_constructible_v<TProjectFile, TProjectEditor &, TProjectSources &>);

// The editing commands are members of the editor: no free function of a project's
// namespace takes a writable project by one of their names (argument-dependent lookup
// finds any such function declared beside TProject).
template <class P>
concept HasFreeEditCommand =
    requires(P &p) { SetPoint(p); } || requires(P &p) { SetRelCut(p); } || requires(P &p) { SetDShift(p); } ||
    requires(P &p) { SetOption(p); } || requires(P &p) { AddChapterAtPosition(p); } ||
    requires(P &p) { DeleteMarkerAtPosition(p); } || requires(P &p, int32_t i) { DeleteMarkerAt(p, i); } ||
    requires(P &p, int32_t i) { MoveMarker(p, i); } || requires(P &p, int32_t i) { ChangeStartOffset(p, i); } ||
    requires(P &p, int32_t i) { ToggleAffect(p, i); } || requires(P &p, int32_t i) { DeleteChapterAt(p, i); } ||
    requires(P &p, int32_t i, int64_t v) { EditMarkerValue(p, i, v); } ||
    requires(P &p, int32_t i, bool b) { SetMarkerEnabled(p, i, b); } ||
    requires(P &p, int32_t i, bool b) { TickChapter(p, i, b); } ||
    requires(P &p, int32_t i, bool b, const std::string &t) { EditOptionMarker(p, i, b, b, t); } ||
    requires(P &p, const TEditRecord &r, bool b) { ApplyEdit(p, r, b); };
} // namespace
namespace probe {
// A stand-in that has one such function, to show that the check finds one.
struct TProbeProject {};
[[maybe_unused]] int32_t SetPoint(TProbeProject &);
} // namespace probe
namespace {
static_assert(HasFreeEditCommand<probe::TProbeProject>);
static_assert(!HasFreeEditCommand<TProject>);

class TCountingObserver : public TProjectObserver {
public:
    std::vector<unsigned> Calls;
    void ProjectChanged(unsigned changes) override { Calls.push_back(changes); }
};

class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", 1000);
        media.Audio = true;
        project.VideoOpened();
        project.AddObserver(&observer);
    }
    TEditResult At(int32_t frame, TMarkerKind kind)
    {
        project.SetPosition(frame);
        return editor.NewMarker(kind);
    }
    test::TFakeProjectMedia media;
    test::TRecordingUserInterface ui;
    TProject project{&ui, &media};
    TProjectEditor editor{project};
    TCountingObserver observer;
};

TEST_F(Editor, NewMarkerIsRefusedOnAnOccupiedFrameUnlessReplacing)
{
    ASSERT_TRUE(At(100, mkSpline));
    TProjectSnapshot before = project.Snapshot();
    TEditResult r = editor.NewMarker(mkRelCut);
    EXPECT_FALSE(r.Applied);
    EXPECT_EQ(r.Error, "Frame 100 already holds a marker.");
    EXPECT_EQ(project.Snapshot(), before);
    EXPECT_TRUE(editor.NewMarker(mkRelCut, true));
    EXPECT_EQ(project.GetMarker(0), Make(100, 0, mkRelCut, true));

    TEditResult placed = editor.PlaceMarker(Make(100, 5, mkSpline));
    EXPECT_FALSE(placed.Applied);
    EXPECT_TRUE(editor.PlaceMarker(Make(100, 5, mkSpline), true));
    EXPECT_EQ(project.GetMarker(0), Make(100, 5, mkSpline));
}

TEST_F(Editor, RefusalsChangeNothingAndSayWhy)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(10, 0, mkSpline)));
    ASSERT_TRUE(editor.PlaceMarker(Make(20, 4, mkSpline)));
    project.SetChanged(false);
    observer.Calls.clear();
    TProjectSnapshot before = project.Snapshot();
    struct TCase {
        TEditResult Result;
        std::string Error;
    } cases[] = {
        {editor.PlaceMarker(Make(1000, 0, mkSpline)), "Frame 1000 lies outside the video (1000 frames)."},
        {editor.PlaceMarker(Make(30, 123456789, mkSpline)), "The marker cannot be stored: its value does not fit the marker line."},
        {editor.DeleteMarker(11), "There is no marker at frame 11."},
        {editor.SetShiftValue(0, "12x"), "The shift must be a number of frames from -9999999 to 9999999 with at most three decimals."},
        {editor.SetShiftValue(0, "10000000"), "The shift must be a number of frames from -9999999 to 9999999 with at most three decimals."},
        {editor.SetShiftValue(7, "1"), "No marker is selected."},
        {editor.EditOptionMarker(0, true, true, ""), "This marker has no such setting."},
        {editor.MoveMarker(10, 10), "The marker cannot be moved onto or past another marker, nor out of the video."},
        {editor.MoveMarker(20, -15), "The marker cannot be moved onto or past another marker, nor out of the video."},
        {editor.MoveMarker(20, 980), "The marker cannot be moved onto or past another marker, nor out of the video."},
        {editor.ChangeStartOffset(-11), "This would move some markers and/or chapters outside of the project."},
        {editor.DeleteChapter(0), "The start chapter cannot be deleted."},
        {editor.DeleteChapter(5), "There is no chapter at frame 5."},
        {editor.InsertChapters(acFixedLength, 99, true), "The chapter interval must be at least 100 frames."},
        {editor.GotoFrameText("1000"), "Please enter a frame number from 0 to 999."},
        {editor.SetViewOffsetText("1073741824"), "Please enter a whole number from -1073741823 to 1073741823."},
    };
    for (const TCase &c : cases) {
        EXPECT_FALSE(c.Result.Applied) << c.Error;
        EXPECT_EQ(c.Result.Error, c.Error);
    }
    TProjectOptions bad = project.Options();
    bad.MarkerDrawSize = 4;
    EXPECT_EQ(editor.SetOptions(bad).Error, "A project setting is out of range.");
    EXPECT_EQ(project.Snapshot(), before);
    EXPECT_FALSE(project.Changed());
    EXPECT_TRUE(observer.Calls.empty());
    EXPECT_TRUE(ui.Messages.empty());   // refusals are returned, not shown
}

TEST_F(Editor, DeletingAnAffectCutPassesItsValueOn)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(100, -25, mkRelCut, true)));
    ASSERT_TRUE(editor.PlaceMarker(Make(200, 10, mkSpline)));
    ASSERT_TRUE(editor.PlaceMarker(Make(300, 12, mkSpline)));
    ASSERT_TRUE(editor.DeleteMarker(100));
    ASSERT_EQ(project.MarkerCount(), 2);
    EXPECT_EQ(project.GetMarker(0).Value, -15);   // total shift after the cut is kept
    EXPECT_EQ(project.GetMarker(1).Value, -13);
    // A deactivated cut passed nothing on: nothing to hand back.
    ASSERT_TRUE(editor.PlaceMarker(Make(50, 7, mkRelCut, true, true)));
    ASSERT_TRUE(editor.DeleteMarker(50));
    EXPECT_EQ(project.GetMarker(0).Value, -15);
}

TEST_F(Editor, MovingAnAffectCutKeepsValuesAndStopsAtNeighbours)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(100, -25, mkRelCut, true)));
    ASSERT_TRUE(editor.PlaceMarker(Make(110, 3, mkSpline)));
    TEditResult r = editor.MoveMarker(100, 9);
    ASSERT_TRUE(r);
    EXPECT_EQ(project.GetMarker(0), Make(109, -25, mkRelCut, true));
    EXPECT_EQ(project.Position(), 109);
    EXPECT_FALSE(editor.MoveMarker(109, 1));
    EXPECT_TRUE(editor.MoveMarker(109, -109));
    EXPECT_EQ(project.GetMarker(0).Frame, 0);
    EXPECT_FALSE(editor.MoveMarker(0, -1));
}

TEST_F(Editor, ObserversHearEachEditOnceWithWhatChanged)
{
    project.SetChanged(true);
    project.SetChanged(false);
    observer.Calls.clear();
    project.SetPosition(40);
    ASSERT_EQ(observer.Calls, (std::vector<unsigned>{pcPosition}));
    observer.Calls.clear();
    ASSERT_TRUE(editor.NewMarker(mkSpline));
    ASSERT_EQ(observer.Calls.size(), 1u);
    EXPECT_EQ(observer.Calls[0], unsigned(pcMarkers | pcChanged));
    observer.Calls.clear();
    ASSERT_TRUE(editor.AddChapter(500));
    EXPECT_EQ(observer.Calls, (std::vector<unsigned>{pcChapters}));
    // Inserted chapters turn chapters on: the options' observers hear it too.
    observer.Calls.clear();
    ASSERT_TRUE(editor.InsertChapters(acFixedLength, 200, true));
    EXPECT_EQ(observer.Calls, (std::vector<unsigned>{pcChapters | pcOptions}));
    EXPECT_TRUE(project.Options().UseChapters);
    // An opened medium: one notice of the media, the position, the zoom and the flag.
    project.SetChanged(false);
    observer.Calls.clear();
    editor.BeginUpdate();
    editor.MediaOpened(true, "250");
    editor.MediaChanged();
    editor.EndUpdate();
    EXPECT_EQ(observer.Calls, (std::vector<unsigned>{pcMedia | pcPosition | pcOptions | pcChanged}));
    EXPECT_EQ(project.Position(), 0);
    EXPECT_EQ(project.Options().Zoom, "250");
    EXPECT_TRUE(project.Changed());
    observer.Calls.clear();
    project.SetPosition(0);   // unchanged value: nobody is told
    EXPECT_TRUE(observer.Calls.empty());
    project.RemoveObserver(&observer);
    project.SetPosition(41);
    EXPECT_TRUE(observer.Calls.empty());
}

TEST_F(Editor, RepeatedEditsOfOneValueMerge)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(100, 0, mkSpline, true)));
    ASSERT_TRUE(editor.PlaceMarker(Make(200, 5, mkSpline)));
    TEditResult a = editor.SetShiftValue(0, "1");
    TEditResult b = editor.SetShiftValue(0, "12");
    TEditResult other = editor.SetShiftValue(1, "3");
    ASSERT_TRUE(a && b && other);
    TEditRecord step = a.Record;
    EXPECT_TRUE(MergeEdits(step, b.Record));
    EXPECT_FALSE(MergeEdits(step, other.Record));   // another marker
    EXPECT_EQ(step.After, b.Record.After);
    EXPECT_EQ(step.Before, a.Record.Before);
    TEditRecord moved = editor.MoveMarker(100, 1).Record;
    TEditRecord moved2 = editor.MoveMarker(101, 1).Record;
    EXPECT_TRUE(MergeEdits(moved, moved2));
    TEditRecord add = editor.AddChapter(300).Record;
    TEditRecord add2 = editor.AddChapter(400).Record;
    EXPECT_FALSE(MergeEdits(add, add2));   // discrete edits stay single steps
}

TEST_F(Editor, ShiftFieldTakesThousandthsOfAFrameAndPassesThemOn)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(100, 0, mkSpline, true)));
    ASSERT_TRUE(editor.PlaceMarker(Make(200, 5, mkSpline)));
    ASSERT_TRUE(editor.SetShiftValue(0, "2.25"));
    EXPECT_EQ(project.GetMarker(0).Shift(), 2.25L);
    EXPECT_EQ(project.GetMarker(1).Shift(), 7.25L);   // the Affect point hands its change on
    EXPECT_FALSE(editor.SetShiftValue(0, "1.0005"));  // finer than a thousandth
    EXPECT_EQ(project.GetMarker(0).Shift(), 2.25L);
}

TEST_F(Editor, SuggestedMarkersReplaceTheCurveInOneStepAndKeepDoubleShifts)
{
    ASSERT_TRUE(editor.PlaceMarker(Make(10, 3, mkSpline)));
    ASSERT_TRUE(editor.PlaceMarker(Make(50, -2, mkRelCut)));
    ASSERT_TRUE(editor.PlaceMarker(Make(70, 8, mkDShift)));
    project.SetChanged(false);
    const TProjectSnapshot before = project.Snapshot();

    // Refusals: outside the video, onto the double shift, a frame taken twice.
    TMarker fraction = Make(200, 0, mkSpline);
    ASSERT_TRUE(SetMarkerMilli(fraction, 3250));
    for (const std::vector<TMarker> &bad :
         {std::vector<TMarker>{fraction, Make(1000, 1, mkSpline)}, std::vector<TMarker>{Make(70, 1, mkSpline)},
          std::vector<TMarker>{Make(90, 1, mkSpline), Make(90, 2, mkRelCut)}}) {
        EXPECT_FALSE(editor.ReplaceSyncMarkers(bad).Applied);
        EXPECT_EQ(project.Snapshot(), before);
    }
    EXPECT_FALSE(project.Changed());

    // The suggestion's own copy of the double shift is passed over; the project's stays.
    TEditResult r = editor.ReplaceSyncMarkers({Make(0, 1, mkSpline), Make(70, 8, mkDShift), fraction,
                                              Make(300, -25, mkRelCut)});
    ASSERT_TRUE(r.Applied);
    EXPECT_EQ(r.Record.Kind, ekSuggestMarkers);
    ASSERT_EQ(project.MarkerCount(), 4);
    EXPECT_EQ(project.MarkerLine(2), "Spl       200    +3.25");
    EXPECT_EQ(project.GetMarker(1), Make(70, 8, mkDShift));
    EXPECT_EQ(project.FindMarker(10), -1);
    EXPECT_EQ(project.FindMarker(50), -1);
    EXPECT_TRUE(project.Changed());
    EXPECT_NEAR(static_cast<double>(project.SplineShiftAt(200)), 3.25, 1e-9);

    // One undo step takes the whole suggestion back.
    ASSERT_TRUE(editor.ApplyRecord(r.Record, false));
    EXPECT_EQ(project.Snapshot().Markers, before.Markers);
    ASSERT_TRUE(editor.ApplyRecord(r.Record, true));
    EXPECT_EQ(project.MarkerCount(), 4);
}

TEST_F(Editor, UndoAndRedoRestoreTheProjectFileByteForByte)
{
    test::TTempDir dir;
    test::TFakeSources sources;
    sources.SetVideo("/clips/a.avi", 1000);
    sources.Lists[srVideo] = "/clips/a.avi";
    TProject p(&ui, &sources);
    p.VideoOpened();
    TProjectEditor ed(p, &sources);
    TProjectFile file(ed, sources);
    std::vector<TEditRecord> stack;
    std::vector<std::string> saved;
    int files = 0;
    auto save = [&] {
        std::string name = dir.File("p" + std::to_string(files++) + ".tsp");
        EXPECT_TRUE(file.SaveProject(name));
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(name, bytes));
        return bytes;
    };
    ASSERT_TRUE(ed.MoveTo(70));   // navigation: no undo step
    saved.push_back(save());
    auto push = [&](TEditResult r) {
        ASSERT_TRUE(r.Applied) << r.Error;
        stack.push_back(r.Record);
        saved.push_back(save());
    };
    push(ed.PlaceMarker(Make(10, 0, mkSpline, true)));
    push(ed.PlaceMarker(Make(50, 4, mkSpline)));
    push(ed.SetShiftValue(0, "3"));
    push(ed.NewMarker(mkRelCut));
    push(ed.SetMarkerEnabled(2, false));
    push(ed.AddChapter(300, false));
    push(ed.SetUseChapters(true));
    push(ed.ChangeStartOffset(5));
    push(ed.DeleteMarker(15));
    for (size_t i = stack.size(); i-- > 0;) {
        ASSERT_TRUE(ed.ApplyRecord(stack[i], false));
        EXPECT_EQ(save(), saved[i]) << "undo of step " << i;
    }
    for (size_t i = 0; i < stack.size(); ++i) {
        ASSERT_TRUE(ed.ApplyRecord(stack[i], true));
        EXPECT_EQ(save(), saved[i + 1]) << "redo of step " << i;
    }
    // A record taken with another video is refused and changes nothing.
    sources.SetVideo("/clips/b.avi", 500);
    p.VideoOpened();
    TProjectSnapshot now = p.Snapshot();
    EXPECT_FALSE(ed.ApplyRecord(stack[0], false));
    EXPECT_EQ(p.Snapshot(), now);
}

// Beside the compile-time checks: no source file but the editor's names a writable
// project, so no other code can be handed one to change.
TEST(EditingPath, OnlyTheEditorTakesAWritableProject)
{
    const std::regex writable(R"re((^|[^A-Za-z_])(const\s+)?TProject\s*&)re");
    size_t files = 0, constUses = 0;
    for (const auto &[file, text] : test::ProgramSources()) {
        ++files;
        if (file == "src/project/project_editor.h" || file == "src/project/project_editor.cpp")
            continue;
        for (std::sregex_iterator it(text.begin(), text.end(), writable), end; it != end; ++it) {
            if ((*it)[2].matched)
                ++constUses;
            else
                ADD_FAILURE() << file << " takes a writable project: " << it->str();
        }
    }
    EXPECT_GT(files, 300u);
    EXPECT_GT(constUses, 50u);   // the scan does see the project's readers
}

} // namespace
} // namespace tessaly
