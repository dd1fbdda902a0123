// Tests of the open commands as core operations, with scripted answers: the segment
// question, the smart-rendering question, the save question, the silent second opens,
// the stored folder and Remove double/reference.
#include <gtest/gtest.h>

#include "project/media_open.h"
#include "project/project_session.h"
#include "shell/settings.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class TScriptedUi : public test::TRecordingUserInterface {
public:
    std::vector<std::string> Listed;
    TSegmentAnswer Segments;
    TSegmentAnswer AskSegments(const std::string &, const std::vector<std::string> &files, int help) override
    {
        Listed = files;
        EXPECT_EQ(help, 9000);
        return Segments;
    }
};

class MediaOpen : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TTempDir;
        for (const char *n : {"take1.avi", "take2.avi", "take3.avi"})
            ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=0.2 -f lavfi -i "
                                     "sine=d=0.2:r=8000 -c:v mpeg4 -c:a pcm_s16le " + test::ShellQuote(dir->File(n))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=1:duration=1 -frames:v 1 " +
                                 test::ShellQuote(dir->File("still.png"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=1:r=8000 " + test::ShellQuote(dir->File("a.wav"))));
    }
    static void TearDownTestSuite() { delete dir; }
    static test::TTempDir *dir;
    TScriptedUi ui;
    TProjectSession session{&ui};
};
test::TTempDir *MediaOpen::dir = nullptr;

TEST_F(MediaOpen, TheSegmentQuestionDecidesTheFileList)
{
    TOpenMediaOptions o;
    ui.Segments.Choice = scAll;
    ui.Segments.Ticked = {true, false, true};
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("take1.avi"), "AUTO|-1", o), ooOpened);
    EXPECT_EQ(ui.Listed, (std::vector<std::string>{"take1.avi", "take2.avi", "take3.avi"}));
    EXPECT_EQ(session.FileList(srVideo), dir->File("take*.avi") + "|1|3");
    EXPECT_EQ(session.Project().FrameCount(), 10);
    // The video's sound became the double track; the position, offset and zoom start over.
    EXPECT_EQ(session.FileList(srDouble), session.FileList(srVideo));
    EXPECT_EQ(session.Project().Options().Zoom, "100");

    ui.Segments.Choice = scSelected;
    ui.Segments.Selected = 1;
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("take1.avi"), "AUTO|-1", o), ooOpened);
    EXPECT_EQ(session.FileList(srVideo), dir->File("take2.avi"));

    ui.Segments.Choice = scCancel;
    EXPECT_EQ(OpenMedia(session, srVideo, dir->File("take1.avi"), "AUTO|-1", o), ooCancelled);
    EXPECT_EQ(session.FileList(srVideo), dir->File("take2.avi"));   // nothing happened
    o.SegmentSearch = false;
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("take3.avi"), "AUTO|-1", o), ooOpened);
    EXPECT_EQ(session.FileList(srVideo), dir->File("take3.avi"));
}

struct TChangeLog : TProjectObserver {
    std::vector<unsigned> Calls;
    void ProjectChanged(unsigned changes) override { Calls.push_back(changes); }
};

TEST_F(MediaOpen, ObserversHearOneChangeWithTheMedia)
{
    TChangeLog log;
    session.Project().AddObserver(&log);
    TOpenMediaOptions o;
    o.SegmentSearch = false;
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("take3.avi"), "AUTO|-1", o), ooOpened);
    ASSERT_EQ(log.Calls.size(), 1u);
    EXPECT_TRUE(log.Calls[0] & pcMedia);
    EXPECT_TRUE(log.Calls[0] & pcChanged);
    log.Calls.clear();
    EXPECT_EQ(OpenMedia(session, srAudio, dir->File("none.wav"), "AUTO|-1", o), ooFailed);
    ASSERT_EQ(log.Calls.size(), 1u);
    EXPECT_EQ(log.Calls[0], unsigned(pcMedia));
    session.Project().RemoveObserver(&log);
}

TEST_F(MediaOpen, SmartRenderingQuestionAndSaveQuestion)
{
    TOpenMediaOptions o;
    o.SRWarnOnLoad = true;
    ui.Answers = {mrAbort};
    EXPECT_EQ(OpenMedia(session, srVideo, dir->File("still.png"), "STIL|-1", o), ooCancelled);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Buttons, unsigned(mbYes | mbAbort | mbHelp));
    EXPECT_FALSE(session.Project().HasVideo());
    ui.Answers = {mrYes};
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("still.png"), "STIL|-1", o), ooOpened);
    EXPECT_TRUE(session.Project().HasVideo());

    // With changes and audio, a new video asks to save first; Cancel keeps everything.
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("a.wav"), "AUTO|-1", o), ooOpened);
    ASSERT_TRUE(session.Project().Changed());
    ui.Messages.clear();
    ui.Answers = {mrCancel};
    EXPECT_EQ(OpenMedia(session, srVideo, dir->File("take3.avi"), "AUTO|-1", TOpenMediaOptions{}), ooCancelled);
    EXPECT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(session.FileList(srVideo), dir->File("still.png"));
}

TEST_F(MediaOpen, AudioFromAnAviBecomesTheReferenceAndRemovingMarksChanged)
{
    TSettings settings(dir->File("tessaly.ini"));
    TOpenMediaOptions o = OpenMediaOptionsFrom(settings);
    o.SegmentSearch = false;
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("still.png"), "STIL|-1", o), ooOpened);
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("take2.avi"), "AUTO|-1", o), ooOpened);
    EXPECT_TRUE(session.Project().HasReference());
    EXPECT_EQ(settings.Folder(fkWav), dir->Path() + "/");
    EXPECT_EQ(OpenDialogFolder(settings, srAudio), dir->Path() + "/");
    EXPECT_EQ(OpenDialogTitle(srDouble), "Open double audio file");
    ASSERT_TRUE(session.SaveProject(dir->File("saved.tsp")));
    EXPECT_FALSE(RemoveMedia(session, srDouble));   // none: nothing to remove
    EXPECT_TRUE(RemoveMedia(session, srReference));
    EXPECT_FALSE(session.Project().HasReference());
    EXPECT_TRUE(session.Project().Changed());

    EXPECT_EQ(OpenMedia(session, srDouble, dir->File("missing.wav"), "AUTO|-1", o), ooFailed);
    ASSERT_FALSE(ui.Messages.empty());
    EXPECT_EQ(ui.Messages.back().Text.substr(0, 32), "Error opening double audio file:");
    // A segmented list is named by its first file, not by its template.
    EXPECT_FALSE(session.OpenSource(srDouble, dir->File("gone*.wav") + "|07|08"));
    EXPECT_NE(ui.Messages.back().Text.find("\"" + dir->File("gone07.wav") + "\""), std::string::npos)
        << ui.Messages.back().Text;
}

} // namespace
} // namespace tessaly
