// A session as a person would do it in the window: open a video and an audio track,
// place a spline point and a relative cut through the panel, move, undo, redo and save;
// the saved file equals the one `tessaly-cli project` writes for the same edits.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include "gui/edit_lists.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"
#include "support/cli_support.h"

namespace tessaly::test {
namespace {

class WindowSession : public TWindowTest {};

TEST_F(WindowSession, EditedProjectEqualsTheCommandLineProject)
{
    // A numbered sequence of two parts of 130 frames each.
    const std::string video = MakeVideo("film1.avi", 130);
    MakeVideo("film2.avi", 130);
    const std::string audio = MakeAudio("sound.wav", 10.4);
    Dialogs.Files = {video, audio};
    Dialogs.Segments.push_back(TSegmentAnswer{scAll, {true, true}, 0});
    Trigger("FileOpenVideoItem");
    EXPECT_EQ(Dialogs.FileRequests.back().Title, "Open video file");
    ASSERT_EQ(Dialogs.SegmentLists.size(), 1u);
    EXPECT_EQ(Dialogs.SegmentLists[0], (std::vector<std::string>{"film1.avi", "film2.avi"}));
    ASSERT_EQ(Session->Project().FrameCount(), 260);
    Trigger("FileOpenAudioItem");
    EXPECT_EQ(Dialogs.FileRequests.back().Title, "Open audio file");
    // Saved once with its media, as `project create` does.
    const std::string saved = Dir.File("window.tsp");
    Dialogs.Files = {saved};
    Trigger("FileSaveAsItem");
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("window.tsp - Tessaly"));

    gui::TMarkerPages &panel = Window->MarkerPanel();
    Dialogs.Texts = {"100"};
    Trigger("ProjectGotoItem");
    panel.SplineButton->click();
    panel.ShiftEdit->selectAll();
    QTest::keyClicks(panel.ShiftEdit, QStringLiteral("3"));
    Dialogs.Texts = {"200"};
    Trigger("ProjectGotoItem");
    panel.RelCutButton->click();
    Window->EditLists().MoveForwardButton->click();
    ASSERT_EQ(Session->Project().FindMarker(201), 1);
    Trigger("EditUndoItem");
    EXPECT_EQ(Session->Project().FindMarker(200), 1);
    Trigger("EditRedoItem");
    EXPECT_EQ(Session->Project().FindMarker(201), 1);
    Trigger("FirstFrameItem");
    EXPECT_TRUE(Session->Project().Changed());
    EXPECT_NE(Window->windowTitle().indexOf(QLatin1String("Tessaly")), -1);

    const size_t dialogs = Dialogs.FileRequests.size();
    Trigger("FileSaveItem");   // a named project is saved without a question
    EXPECT_EQ(Dialogs.FileRequests.size(), dialogs);
    EXPECT_FALSE(Session->Project().Changed());

    const std::string cli = Dir.File("cli.tsp");
    const std::string program = CliProgram() + " project ";
    ASSERT_EQ(RunCommand(program + "create " + ShellQuote(cli) + " --video " + ShellQuote(video) + " --audio " +
                         ShellQuote(audio) + " --segments all"), 0);
    ASSERT_EQ(RunCommand(program + "add-marker " + ShellQuote(cli) + " 100 spline 3"), 0);
    ASSERT_EQ(RunCommand(program + "add-marker " + ShellQuote(cli) + " 201 cut 0 --affect"), 0);
    const std::vector<uint8_t> mine = ReadFileBytes(saved), theirs = ReadFileBytes(cli);
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(std::string(mine.begin(), mine.end()), std::string(theirs.begin(), theirs.end()));

    // The saved project opens again with the same markers.
    Trigger("FileNewItem");
    EXPECT_EQ(Session->Project().MarkerCount(), 0);
    EXPECT_EQ(Window->UndoStack().count(), 0);
    Dialogs.Files = {saved};
    Trigger("FileOpenItem");
    EXPECT_EQ(Session->Project().MarkerCount(), 2);
    EXPECT_EQ(Session->Project().GetMarker(0).Value, 3);
}

} // namespace
} // namespace tessaly::test
