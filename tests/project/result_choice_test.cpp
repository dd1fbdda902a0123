// The Calculate command's rules in the core: result types, the proposed name, the name a
// type gives a typed name, the replace question and the stored codec.
#include <gtest/gtest.h>

#include "project/project_session.h"
#include "project/result_choice.h"
#include "shell/settings.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(ResultChoice, TheTypeDecidesTheExtension)
{
    const std::vector<TResultType> types = ResultTypes();
    ASSERT_EQ(types.size(), 6u);
    EXPECT_EQ(types[ResultTypeIndex(rcMatroska)].Patterns, "*.mkv;*.mka");
    // WAV and AVI replace any extension; the containers keep one of their own.
    EXPECT_EQ(ResultFileName("/a/other", ResultTypeIndex(rcWave)), "/a/other.wav");
    EXPECT_EQ(ResultFileName("/a/other.mp3", ResultTypeIndex(rcWave)), "/a/other.wav");
    EXPECT_EQ(ResultFileName("/a/film.synced", ResultTypeIndex(rcAvi)), "/a/film.avi");
    EXPECT_EQ(ResultFileName("/a/film.synced.mkv", ResultTypeIndex(rcMatroska)), "/a/film.synced.mkv");
    EXPECT_EQ(ResultFileName("/a/film.mka", ResultTypeIndex(rcMatroska)), "/a/film.mka");
    EXPECT_EQ(ResultFileName("/a/film.mkv", ResultTypeIndex(rcMp4)), "/a/film.mp4");
    EXPECT_EQ(ResultFileName("/a/film.M4V", ResultTypeIndex(rcMp4)), "/a/film.M4V");
    EXPECT_EQ(ResultFileName("/a.b/film", ResultTypeIndex(rcWebm)), "/a.b/film.webm");
}

TEST(ResultChoice, ReplacingAnExistingFileIsAskedAboutThatFile)
{
    test::TTempDir dir;
    test::TRecordingUi no(mrNo), yes(mrYes);
    EXPECT_TRUE(ConfirmReplaceResult(&no, dir.File("new.mkv")));
    EXPECT_TRUE(no.Messages.empty());
    ASSERT_TRUE(test::WriteFileBytes(dir.File("old.mkv"), {1}));
    EXPECT_FALSE(ConfirmReplaceResult(&no, dir.File("old.mkv")));
    ASSERT_EQ(no.Messages.size(), 1u);
    EXPECT_NE(no.Messages[0].find("\"" + dir.File("old.mkv") + "\" already exists"), std::string::npos);
    EXPECT_TRUE(ConfirmReplaceResult(&yes, dir.File("old.mkv")));
    EXPECT_FALSE(ConfirmReplaceResult(nullptr, dir.File("old.mkv")));
}

TEST(ResultChoice, ProposesTheVideosContainerBesideItElseTheStoredChoice)
{
    test::TTempDir dir;
    TSettings settings(dir.File("tessaly.ini"));
    ASSERT_EQ(test::RunCommand("mkdir " + test::ShellQuote(dir.File("results"))), 0);
    settings.SetFolder(fkRes, dir.File("results"));
    settings.SetResFmt(ResultTypeIndex(rcMov) + 1);
    TProjectSession session(nullptr);
    ASSERT_TRUE(session.SaveProject(dir.File("p.tsp")));
    // No video file: the stored folder, the project's name, the stored type.
    TResultProposal none = ProposeResult(session, settings);
    EXPECT_EQ(none.Path, dir.File("results") + "/p");
    EXPECT_EQ(none.Type, ResultTypeIndex(rcMov));
    ASSERT_TRUE(test::MakeTestVideo(dir.File("Film.AVI"), 10, 5));
    ASSERT_TRUE(session.OpenSource(srVideo, dir.File("Film.AVI")));
    TResultProposal avi = ProposeResult(session, settings);
    EXPECT_EQ(avi.Path, dir.File("Film.synced.avi"));
    EXPECT_EQ(avi.Type, ResultTypeIndex(rcAvi));

    EXPECT_EQ(StoredAudioCodec(settings), acDefault);
    StoreAudioCodec(settings, acOpus);
    EXPECT_EQ(StoredAudioCodec(settings), acOpus);
    settings.WriteString("Current", "ResAudioCodec", "mp3");
    EXPECT_EQ(StoredAudioCodec(settings), acDefault);
}

} // namespace
} // namespace tessaly
