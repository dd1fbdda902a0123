// Tests of the WAV rendering: exact samples, chapter files, concatenation, pre-scan,
// failures.
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "media/output/avi_creator.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/render_audio.h"
#include "shell/progress.h"
#include "support/mix_fakes.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

constexpr int32_t kFrames = 100, kPerFrame = 320, kLength = kFrames * kPerFrame;

// The 16-bit samples of a WAV file's data chunk (empty when there is none).
std::vector<int16_t> WavSamples(const std::string &path)
{
    std::vector<uint8_t> b = test::ReadFileBytes(path);
    for (size_t p = 12; p + 8 <= b.size();) {
        uint32_t size = b[p + 4] | b[p + 5] << 8 | b[p + 6] << 16 | uint32_t(b[p + 7]) << 24;
        if (std::memcmp(&b[p], "data", 4) == 0) {
            std::vector<int16_t> s(std::min<size_t>(size, b.size() - p - 8) / 2);
            std::memcpy(s.data(), &b[p + 8], s.size() * 2);
            return s;
        }
        p += 8 + size + (size & 1);
    }
    return {};
}

class TAbortAt : public TProgress {
public:
    double Last = -1;
    double AbortAt = 2;
    std::vector<std::string> Comments;
    void Show() override {}
    void Close() override {}
    void SetCaption(const std::string &) override {}
    void SetComment(const std::string &t) override { Comments.push_back(t); }
    void SetCancelText(const std::string &) override {}
    void SetProgress(double f) override { Last = f; }
    bool Aborted() override { return Last >= AbortAt; }
    void SetAborted(bool) override {}
};

class RenderAudio : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", kFrames, 25, 1);
        project.VideoOpened();
        params.Target = dir.File("out.wav");
        params.LastFrame = kFrames - 1;
    }
    bool Render() { return CalcAudio(project, mixer, &progress, params); }

    test::TTempDir dir;
    test::TFakeProjectMedia media;
    test::TRecordingUserInterface ui;
    TProject project{&ui, &media};
    test::TFakeMixSource audio{8000, 1, test::IndexSamples(kLength)};
    TAudioMixer mixer{project, &audio, nullptr};
    TAudioRenderParams params;
    TAbortAt progress;
};

TEST_F(RenderAudio, WithoutMarkersTheTrackIsCopied)
{
    ASSERT_TRUE(Render());
    std::vector<int16_t> s = WavSamples(dir.File("out.wav"));
    ASSERT_EQ(s.size(), size_t(kLength));
    for (int32_t i = 0; i < kLength; ++i)
        ASSERT_EQ(s[size_t(i)], i + 1) << i;
    EXPECT_EQ(progress.Comments.back(), "Writing file out.wav ...");
    EXPECT_FALSE(project.Calculating());
}

TEST_F(RenderAudio, SeparateChapterFilesStartExactlyAtTheirFrames)
{
    project.Options().UseChapters = true;
    project.AddChapter({40, false});
    project.AddChapter({70, true});
    params.Target = dir.File("out.result");   // the extension is replaced
    ASSERT_TRUE(Render());
    std::vector<int16_t> a = WavSamples(dir.File("out.00.wav")), b = WavSamples(dir.File("out.01.wav"));
    ASSERT_EQ(a.size(), size_t(40 * kPerFrame));
    ASSERT_EQ(b.size(), size_t(30 * kPerFrame));
    for (int32_t i = 0; i < 40 * kPerFrame; ++i)
        ASSERT_EQ(a[size_t(i)], i + 1);
    for (int32_t i = 0; i < 30 * kPerFrame; ++i)
        ASSERT_EQ(b[size_t(i)], 70 * kPerFrame + i + 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.02.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
    EXPECT_EQ(progress.Comments, (std::vector<std::string>{"Writing file out.00.wav ...", "Skipping chapter 2 ...",
                                                            "Writing file out.01.wav ..."}));
}

TEST_F(RenderAudio, ConcatenatedChaptersLeaveOutTheDisabledOnes)
{
    project.Options().UseChapters = true;
    project.Options().ConcatChapters = true;
    project.AddChapter({40, false});
    project.AddChapter({70, true});
    ASSERT_TRUE(Render());
    std::vector<int16_t> s = WavSamples(dir.File("out.wav"));
    ASSERT_EQ(s.size(), size_t(70 * kPerFrame));
    EXPECT_EQ(s[size_t(40 * kPerFrame - 1)], 40 * kPerFrame);
    EXPECT_EQ(s[size_t(40 * kPerFrame)], 70 * kPerFrame + 1);
    // Chapters not in use: everything.
    project.Options().UseChapters = false;
    ASSERT_TRUE(Render());
    EXPECT_EQ(WavSamples(dir.File("out.wav")).size(), size_t(kLength));
}

TEST_F(RenderAudio, PreScanGivesTheSameAudioAsARenderFromTheStart)
{
    project.AddMarker({0, 0, mkSpline, false, false});
    project.AddMarker({60, 3, mkSpline, false, false});
    project.AddMarker({30, -10, mkRelCut, true, false});
    project.RebuildSpline();
    ASSERT_TRUE(Render());
    std::vector<int16_t> full = WavSamples(dir.File("out.wav"));
    params.Target = dir.File("part.wav");
    params.FirstFrame = 50;
    params.PreScan = true;
    progress.Comments.clear();
    ASSERT_TRUE(Render());
    std::vector<int16_t> part = WavSamples(dir.File("part.wav"));
    ASSERT_EQ(part.size(), size_t(50 * kPerFrame));
    for (size_t i = 0; i < part.size(); ++i)
        ASSERT_EQ(part[i], full[50 * kPerFrame + i]) << i;
    EXPECT_EQ(progress.Comments.front(), "Performing prescan ...");
}

TEST_F(RenderAudio, FailuresEndTheRunWithTheirMessage)
{
    TAudioMixer none(project, nullptr, nullptr);
    EXPECT_FALSE(CalcAudio(project, none, nullptr, params));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "No audio tracks defined!");

    params.Target = dir.File("missing/folder/out.wav");
    EXPECT_FALSE(Render());
    EXPECT_EQ(ui.Messages.back().Text, "Error opening target file!");
    EXPECT_FALSE(project.Calculating());

    // A source file as target: nothing is written.
    params.Target = dir.File("src.wav");
    EXPECT_FALSE(CalcAudio(project, mixer, nullptr, params, [&](const std::string &name) {
        return name == dir.File("src.wav");
    }));
    EXPECT_FALSE(std::filesystem::exists(dir.File("src.wav")));

    // Abort half-way (seen before the frame after the one that reported 50 %): false,
    // the file so far stays readable.
    params.Target = dir.File("aborted.wav");
    progress.AbortAt = 0.5;
    EXPECT_FALSE(Render());
    EXPECT_EQ(WavSamples(dir.File("aborted.wav")).size(), size_t(51 * kPerFrame));
}

TEST(ChapterFileNames, NumberWithAtLeastTwoDigits)
{
    EXPECT_EQ(ChapterFileName("/r/out.avi", 0, ".avi"), "/r/out.00.avi");
    EXPECT_EQ(ChapterFileName("/r/out", 7, ".wav"), "/r/out.07.wav");
    EXPECT_EQ(ChapterFileName("/r.d/out", 123, ".wav"), "/r.d/out.123.wav");
}

} // namespace
} // namespace tessaly
