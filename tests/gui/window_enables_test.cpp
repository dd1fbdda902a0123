// The enables of the real main window in the edge cases: a video without audio, the move
// buttons beside a neighbour marker, and the silent second opens of a file.
#include <QAction>
#include <QPushButton>
#include <QSlider>

#include "gui/action_registry.h"
#include "gui/edit_lists.h"
#include "gui/file_panel.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class WindowEnables : public TWindowTest {
protected:
    void OpenVideo(const std::string &file)
    {
        Dialogs.Files.push_back(file);
        Trigger("FileOpenVideoItem");
    }
    void OpenAudio(const std::string &file)
    {
        Dialogs.Files.push_back(file);
        Trigger("FileOpenAudioItem");
    }
    gui::TMarkerPages &Panel() { return Window->MarkerPanel(); }
};

TEST_F(WindowEnables, EmptyWindowOffersOnlyOpeningAndQuitting)
{
    for (const char *name : {"FileNewItem", "FileOpenItem", "FileOpenVideoItem", "FileOpenAudioItem",
                             "FilePhantomItem", "FileQuitItem"})
        EXPECT_TRUE(Enabled(name)) << name;
    for (const char *name : {"FileSaveItem", "FileSaveAsItem", "FileRevertItem", "ProjectGotoItem",
                             "ProjectCalcItem", "RemoveDoubleItem", "RemoveRefItem", "StepForwardItem",
                             "EditUndoItem", "PreviewStartItem"})
        EXPECT_FALSE(Enabled(name)) << name;
    EXPECT_FALSE(Window->PositionSlider().isEnabled());
    EXPECT_FALSE(Panel().SplineButton->isEnabled());
}

TEST_F(WindowEnables, VideoWithoutAudioKeepsMarkersAndSavingOff)
{
    OpenVideo(MakeVideo("silent.avi", 40));
    ASSERT_TRUE(Session->Project().HasVideo());
    EXPECT_FALSE(Session->Project().HasAudio());
    EXPECT_TRUE(Enabled("ProjectGotoItem"));
    EXPECT_TRUE(Window->PositionSlider().isEnabled());
    EXPECT_FALSE(Panel().SplineButton->isEnabled());
    EXPECT_FALSE(Panel().RelCutButton->isEnabled());
    EXPECT_FALSE(Enabled("FileSaveItem"));
    EXPECT_FALSE(Enabled("ProjectCalcItem"));
    // A shortcut of a disabled command does nothing either.
    Window->Actions().Action(QStringLiteral("FileSaveItem"))->trigger();
    EXPECT_EQ(Dialogs.FileRequests.size(), 1u);   // only the video's dialog

    OpenAudio(MakeAudio("sound.wav", 1.6));
    EXPECT_TRUE(Panel().SplineButton->isEnabled());
    EXPECT_TRUE(Enabled("FileSaveItem"));
}

TEST_F(WindowEnables, MoveButtonsStopBesideANeighbour)
{
    OpenVideo(MakeVideo("moves.avi", 40));
    OpenAudio(MakeAudio("moves.wav", 1.6));
    Window->GoToFrame(10);
    Panel().SplineButton->click();
    Window->GoToFrame(11);
    Panel().RelCutButton->click();
    ASSERT_EQ(Session->Project().MarkerCount(), 2);
    gui::TEditLists &lists = Window->EditLists();
    EXPECT_FALSE(lists.MoveBackButton->isEnabled());   // marker on 10
    EXPECT_TRUE(lists.MoveForwardButton->isEnabled());
    Window->GoToFrame(10);
    EXPECT_TRUE(lists.MoveBackButton->isEnabled());
    EXPECT_FALSE(lists.MoveForwardButton->isEnabled());
    Window->GoToFrame(0);
    EXPECT_FALSE(lists.MoveBackButton->isEnabled());   // no marker to move at all
    EXPECT_TRUE(Panel().SplineButton->isEnabled());
    Window->GoToFrame(39);
    lists.setCurrentIndex(epOutput);
    EXPECT_FALSE(Panel().SplineButton->isEnabled());
    EXPECT_EQ(Panel().Page(), mpChapter);
}

TEST_F(WindowEnables, AviAsAudioBecomesReferenceAndVideoSoundBecomesDouble)
{
    const std::string withSound = MakeVideo("talk.avi", 40, true);
    OpenVideo(withSound);
    EXPECT_TRUE(Session->Project().HasDouble());
    EXPECT_TRUE(Enabled("RemoveDoubleItem"));
    EXPECT_FALSE(Window->FilePanel().Name(srDouble).isEmpty());

    OpenAudio(withSound);
    EXPECT_TRUE(Session->Project().HasAudio());
    EXPECT_TRUE(Session->Project().HasReference());
    EXPECT_TRUE(Enabled("RemoveRefItem"));
    Trigger("RemoveRefItem");
    EXPECT_FALSE(Session->Project().HasReference());
    EXPECT_FALSE(Enabled("RemoveRefItem"));
    EXPECT_TRUE(Session->Project().Changed());
}

} // namespace
} // namespace tessaly::test
