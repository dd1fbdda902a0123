// The project with its real media sources: load, mix and save a project over files
// made by ffmpeg and by hand.
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "project/audio_mixer.h"
#include "project/media_sources.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "support/mix_fakes.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class RealSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -c:v mpeg4 -g 5 " +
                                 test::ShellQuote(dir.File("clip.avi"))));
        ASSERT_TRUE(test::WriteFileBytes(dir.File("sound.wav"), test::IndexWavBytes(8000, 16000)));
    }
    std::string WriteProject(const std::string &body)
    {
        std::string path = dir.File("p.tsp");
        std::ofstream(path) << body;
        return path;
    }
    test::TTempDir dir;
    test::TRecordingUserInterface ui;
    TMediaSources sources;
    TProject project{&ui, &sources};
    TProjectEditor editor{project, &sources};
    TProjectFile file{editor, sources};
};

TEST_F(RealSources, LoadMixAndSaveAProject)
{
    // Relative names resolve against the project's folder.
    std::string path = WriteProject("[Files]\nVideo=clip.avi\nVideoFT=ODML|-1\nAudio=sound.wav\n"
                                    "[Markers]\nCount=1\n0=Cut >      25      +10\n[Chapters]\nCount=0\n[Config]\n");
    ASSERT_TRUE(file.LoadProject(path)) << (ui.Messages.empty() ? "" : ui.Messages[0].Text);
    EXPECT_TRUE(project.HasVideo());
    EXPECT_TRUE(project.HasAudio());
    EXPECT_FALSE(project.HasDouble());
    EXPECT_EQ(project.FrameCount(), 50);
    EXPECT_EQ(project.Fps(), 25.0L);
    EXPECT_EQ(project.SampleTime(), 1.0L / 8000);

    TAudioMixer mixer(project, sources.AudioMix(), sources.DoubleMix());
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    ASSERT_TRUE(state.Valid);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    for (int32_t f = 0; f < 40; ++f) {
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, false, buf.data(), 0));
        int16_t v;
        std::memcpy(&v, buf.data() + 2 * 17, 2);
        int32_t source = (f < 25 ? f : f + 10) * 320 + 17;
        ASSERT_EQ(v, source + 1) << f;
    }

    ASSERT_TRUE(file.SaveProject(path));
    std::string text;
    std::getline(std::ifstream(path), text, '\0');
    EXPECT_NE(text.find("Video=" + dir.File("clip.avi") + "\nVideoFT=ODML|-1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Audio=" + dir.File("sound.wav") + "\nAudioFT="), std::string::npos) << text;
    EXPECT_NE(text.find("0=Cut >      25      +10\n"), std::string::npos);

    // The result may not overwrite a source.
    EXPECT_TRUE(file.IsSourceFile(dir.File("./clip.avi")));
    EXPECT_FALSE(file.IsSourceFile(dir.File("result.avi")));
}

TEST_F(RealSources, PhantomClipAndMissingAudio)
{
    std::string path = WriteProject("[Files]\nVideo=*96*72*0*50*25*1*\nAudio=sound.wav\n");
    ASSERT_TRUE(file.LoadProject(path)) << (ui.Messages.empty() ? "" : ui.Messages[0].Text);
    EXPECT_EQ(project.FrameCount(), 50);
    TPhantomClip clip;
    ASSERT_TRUE(sources.Phantom(clip));
    EXPECT_EQ(FormatPhantom(clip), "*96*72*0*50*25*1*");
    EXPECT_TRUE(sources.Files(srVideo).empty());

    path = WriteProject("[Files]\nVideo=clip.avi\nAudio=missing.wav\n");
    EXPECT_FALSE(file.LoadProject(path));
    ASSERT_FALSE(ui.Messages.empty());
    EXPECT_EQ(ui.Messages.back().Text, "Error opening audio file:\r\n\"missing.wav\"\n\nFile not found.");
    EXPECT_FALSE(project.HasVideo());
    EXPECT_FALSE(sources.Video().IsOpen());
}

} // namespace
} // namespace tessaly
