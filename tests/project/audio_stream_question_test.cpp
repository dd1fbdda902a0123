// The audio stream question of the open commands: asked for a file with several audio
// streams (listing them by their numbers in the file), its answer selects the stream and
// the project stores it; a cancelled question opens nothing; one audio stream asks nothing.
#include <gtest/gtest.h>

#include "project/media_open.h"
#include "project/project_session.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class TStreamUi : public test::TRecordingUserInterface {
public:
    int Answer = 0, Asked = 0;
    std::vector<std::string> Listed;
    std::string Question;
    int AskAudioStream(const std::string &question, const std::vector<std::string> &streams) override
    {
        ++Asked;
        Question = question;
        Listed = streams;
        return Answer;
    }
};

class AudioStreamQuestion : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TTempDir;
        // Stream 0 video, 1 a 440 Hz mono Vorbis track, 2 a 5.1 AC-3 track titled "Surround".
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=1 -f lavfi -i sine=f=440:d=1 "
                                 "-f lavfi -i \"sine=f=880:d=1,aformat=channel_layouts=5.1\" -map 0 -map 1 -map 2 "
                                 "-c:v mpeg4 -c:a:0 libvorbis -c:a:1 ac3 -metadata:s:a:1 title=Surround "
                                 "-metadata:s:a:1 language=ger " + test::ShellQuote(dir->File("two.mkv"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=1 -c:v mpeg4 " +
                                 test::ShellQuote(dir->File("v.avi"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=1 -c:a libmp3lame " + test::ShellQuote(dir->File("one.mp3"))));
    }
    static void TearDownTestSuite() { delete dir; }
    static test::TTempDir *dir;
    TStreamUi ui;
    TProjectSession session{&ui};
    TOpenMediaOptions options;
};
test::TTempDir *AudioStreamQuestion::dir = nullptr;

TEST_F(AudioStreamQuestion, TheAnswerSelectsTheStream)
{
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("v.avi"), "AUTO|-1", options), ooOpened);
    ui.Answer = 1;
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("two.mkv"), "AUTO|-1", options), ooOpened);
    EXPECT_EQ(ui.Asked, 1);
    ASSERT_EQ(ui.Listed.size(), 2u);
    EXPECT_EQ(ui.Listed[0], "#1: vorbis, 44100 Hz, mono");
    EXPECT_EQ(ui.Listed[1], "#2: ac3, 44100 Hz, 5.1(side) [ger] \"Surround\"");
    EXPECT_NE(ui.Question.find("two.mkv"), std::string::npos);
    EXPECT_EQ(session.Sources().KindString(srAudio), "LAVF|2");
    EXPECT_EQ(session.Sources().Audio().InputFormat().nChannels, 6);

    // The first stream needs no number; the double track asks as well.
    ui.Answer = 0;
    ASSERT_EQ(OpenMedia(session, srDouble, dir->File("two.mkv"), "AUTO|-1", options), ooOpened);
    EXPECT_EQ(ui.Asked, 2);
    EXPECT_EQ(session.Sources().KindString(srDouble), "LAVF|-1");
    EXPECT_EQ(session.Sources().Double().InputFormat().nChannels, 1);
}

TEST_F(AudioStreamQuestion, CancelOrAStreamNamedOrASingleStreamOpenWithoutAsking)
{
    ASSERT_EQ(OpenMedia(session, srVideo, dir->File("v.avi"), "AUTO|-1", options), ooOpened);
    ui.Answer = -1;
    EXPECT_EQ(OpenMedia(session, srAudio, dir->File("two.mkv"), "AUTO|-1", options), ooCancelled);
    EXPECT_FALSE(session.Project().HasAudio());
    // A project naming the stream opens it as named.
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("two.mkv"), "LAVF|2", options), ooOpened);
    EXPECT_EQ(ui.Asked, 1);
    EXPECT_EQ(session.Sources().KindString(srAudio), "LAVF|2");
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("one.mp3"), "AUTO|-1", options), ooOpened);
    EXPECT_EQ(ui.Asked, 1);
    EXPECT_EQ(session.Sources().KindString(srAudio), "LAVF|-1");
    // The window's file dialog passes an empty kind for its automatic entries: detect.
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("one.mp3"), "", options), ooOpened);
    EXPECT_EQ(ui.Asked, 1);
    ui.Answer = 1;
    ASSERT_EQ(OpenMedia(session, srAudio, dir->File("two.mkv"), "", options), ooOpened);
    EXPECT_EQ(ui.Asked, 2);
    EXPECT_EQ(session.Sources().KindString(srAudio), "LAVF|2");
}

} // namespace
} // namespace tessaly
