// Tests of the session's start-up and closing steps over a temporary settings file.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/session_lifecycle.h"
#include "shell/language.h"
#include "shell/settings.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(dir.File("tessaly.ini"))
            << "[Current]\nShowHints=0\nShowStatus=0\nMarkerDrawSize=3\nPreviewEnv=4\n"
               "[Options]\nUseDefGlobShift=1\nDefGlobShift=-6\nTempDir=" << dir.Path() << "\n";
    }
    test::TTempDir dir;
    test::TRecordingUserInterface ui;
    TProjectSession session{&ui};
    TSettings settings{dir.File("tessaly.ini")};
};

TEST_F(Lifecycle, StartReadsTheWindowSettingsAndTheDefaults)
{
    TWindowSettings w = StartSession(session, settings, {});
    EXPECT_FALSE(w.ShowHints);
    EXPECT_TRUE(w.ShowFileman);
    EXPECT_FALSE(w.ShowStatus);
    EXPECT_EQ(w.MarkerDrawSize, 3);
    EXPECT_EQ(w.PreviewEnv, "4");
    const TProjectOptions &o = session.Project().Options();
    EXPECT_TRUE(o.UseGlobalShift);
    EXPECT_EQ(o.GlobalShift, 6);
    EXPECT_EQ(o.PreviewEnv, "4");
    EXPECT_EQ(o.MarkerDrawSize, 3);
    EXPECT_FALSE(session.Project().HasVideo());
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(Lifecycle, StartLoadsTheProjectOfTheFirstArgument)
{
    std::ofstream(dir.File("p.tsp")) << "[Files]\nVideo=*96*72*0*250*25*1*\nAudio=\n[Markers]\nCount=1\n"
                                        "0=Spl       100       +3\n";
    StartSession(session, settings, {dir.File("p.tsp")});
    EXPECT_EQ(session.Project().FrameCount(), 250);
    EXPECT_EQ(session.Project().MarkerCount(), 1);
    EXPECT_EQ(session.Project().FileName(), dir.File("p.tsp"));
    TProjectSession other(&ui);
    StartSession(other, settings, {dir.File("missing.tsp")});
    EXPECT_FALSE(other.Project().HasVideo());
}

TEST_F(Lifecycle, AMissingProjectIsRefusedAndTheLoadedOneStays)
{
    std::ofstream(dir.File("p.tsp")) << "[Files]\nVideo=*96*72*0*250*25*1*\nAudio=\n";
    StartSession(session, settings, {dir.File("p.tsp")});
    ASSERT_EQ(session.Project().FrameCount(), 250);
    session.Editor().MarkChanged();
    ui.Messages.clear();
    // No save question, no open error naming a video: one message naming the file.
    EXPECT_FALSE(OpenProjectFile(session, dir.File("gone.tsp")));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_NE(ui.Messages[0].Text.find("gone.tsp"), std::string::npos) << ui.Messages[0].Text;
    EXPECT_EQ(session.Project().FileName(), dir.File("p.tsp"));
    EXPECT_EQ(session.Project().FrameCount(), 250);
    EXPECT_FALSE(OpenProjectFile(session, dir.Path()));   // a folder is no project either
}

TEST_F(Lifecycle, RecentProjectsKeepEightNewestFirstWithoutRepeats)
{
    EXPECT_TRUE(RecentProjects(settings).empty());
    for (int i = 1; i <= 10; ++i)
        AddRecentProject(settings, "/p/" + std::to_string(i) + ".tsp");
    AddRecentProject(settings, "/p/5.tsp");
    AddRecentProject(settings, "");
    EXPECT_EQ(RecentProjects(settings), (std::vector<std::string>{"/p/5.tsp", "/p/10.tsp", "/p/9.tsp", "/p/8.tsp",
                                                                  "/p/7.tsp", "/p/6.tsp", "/p/4.tsp", "/p/3.tsp"}));
    TSettings again(dir.File("tessaly.ini"));   // stored in the file
    EXPECT_EQ(RecentProjects(again).front(), "/p/5.tsp");
}

TEST(LifecycleArguments, DroppedFilesOpenAsWhatTheyAre)
{
    test::TTempDir dir;
    std::ofstream(dir.File("renamed.txt")) << "\n[Files]\nVideo=\n";
    std::ofstream(dir.File("clip.avi")) << "RIFF";
    EXPECT_EQ(DroppedFileKind(dir.File("a.TSP")), dkProject);
    EXPECT_EQ(DroppedFileKind(dir.File("renamed.txt")), dkProject);
    EXPECT_EQ(DroppedFileKind(dir.File("voice.WAV")), dkAudio);
    EXPECT_EQ(DroppedFileKind(dir.File("take.flac")), dkAudio);
    EXPECT_EQ(DroppedFileKind(dir.File("clip.avi")), dkVideo);
    EXPECT_EQ(DroppedFileKind(dir.File("film.mkv")), dkVideo);   // missing: the open reports it
    EXPECT_EQ(DroppedFileKind("/x.y/noext"), dkVideo);
}

TEST(LifecycleArguments, FileArgumentsBecomeAbsolute)
{
    EXPECT_EQ(AbsoluteArguments({"film.tsp", "/abs/x.tsp", "-v", "", "sub/y.tsp"}, "/home/u"),
              (std::vector<std::string>{"/home/u/film.tsp", "/abs/x.tsp", "-v", "", "/home/u/sub/y.tsp"}));
    EXPECT_EQ(AbsoluteArguments({"a.tsp"}, "/"), std::vector<std::string>{"/a.tsp"});
}

TEST_F(Lifecycle, ClosingStoresTheSettingsAndLeavesAFileAtTheOldPreviewNameAlone)
{
    StartSession(session, settings, {});
    std::ofstream(dir.File(kTempFileName)) << "preview";
    TWindowSettings w;
    w.ShowHints = true;
    w.ShowStatus = false;
    w.MarkerDrawSize = 2;
    w.PreviewEnv = "7";
    EXPECT_FALSE(CloseSession(session, settings, w, true, true));   // a preview runs
    EXPECT_TRUE(FileExists(dir.File(kTempFileName)));
    EXPECT_TRUE(CloseSession(session, settings, w, false, false));
    EXPECT_TRUE(FileExists(dir.File(kTempFileName)));   // not the preview's: may be anybody's
    EXPECT_TRUE(settings.ShowHints());
    EXPECT_FALSE(settings.ShowStatus());
    EXPECT_EQ(settings.MarkerDrawSize(), 2);
    EXPECT_EQ(settings.PreviewEnv(), "4");   // the preview was not available
}

TEST_F(Lifecycle, TheDockRecordIsKeptAndADamagedOneIsDropped)
{
    StartSession(session, settings, {});
    TWindowSettings w;
    w.Docks = "000000ff00a1";
    ASSERT_TRUE(CloseSession(session, settings, w, false, true));
    EXPECT_EQ(StartSession(session, settings, {}).Docks, "000000ff00a1");
    // Hand-edited or cut short: the tool windows take their first places.
    for (const char *bad : {"000000ff00a", "00GG", "00 0f", "ABCD"}) {
        settings.WriteString("Current", "Docks", bad);
        EXPECT_EQ(StartSession(session, settings, {}).Docks, "") << bad;
    }
    EXPECT_TRUE(DockRecordValid(""));
    EXPECT_FALSE(DockRecordValid(std::string(2 * 65536 + 2, '0')));
}

TEST_F(Lifecycle, ACancelledSaveQuestionKeepsTheWindow)
{
    StartSession(session, settings, {});
    ASSERT_TRUE(session.OpenPhantomClip(TPhantomClip{96, 72, 0, 100, 25, 1}));
    session.Editor().MarkChanged();
    test::TRecordingUserInterface asking;
    asking.Answers = {mrCancel};
    session.SetUserInterface(&asking);
    // Save is available only with audio: without it nothing is asked and closing goes on.
    EXPECT_TRUE(CloseSession(session, settings, TWindowSettings{}, false, true));
    EXPECT_TRUE(asking.Messages.empty());
}

} // namespace
} // namespace tessaly
