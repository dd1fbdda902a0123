// The audio source front-end through the system's own reader plug-ins (framepull and
// soundpull, built beside the tests when GStreamer is present): sample-exact against
// ffmpeg's decode of the same files.
#include "media/input/wave_reader.h"

#include <gtest/gtest.h>

#include "shell/messages.h"

#include <sys/stat.h>

#include "media/input/vfapi_host.h"
#include "support/media_error_print.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class RealPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        std::string bin = TESSALY_BIN_DIR;
        if (!Exists(bin + "/framepull.vfp") || !Exists(bin + "/soundpull.vfp"))
            GTEST_SKIP() << "the reader plug-ins are not built";
        LoadPluginsFrom({"framepull=" + bin + "/framepull.vfp", "soundpull=" + bin + "/soundpull.vfp"});
        ASSERT_EQ(PluginCount(), 2);
    }
    void TearDown() override { UnloadPlugins(); }

    std::vector<uint8_t> Decode(const std::string &file)
    {
        std::string raw = dir.File("ff.raw");
        EXPECT_TRUE(Ffmpeg("-i " + ShellQuote(file) + " -map 0:a:0 -f s16le " + ShellQuote(raw)));
        return ReadFileBytes(raw);
    }

    std::vector<uint8_t> ReadAll()
    {
        std::vector<uint8_t> out(size_t(reader.OutputLength()) * size_t(reader.BlockAlign()));
        reader.Seek(0);
        EXPECT_TRUE(reader.ReadSamples(out.data(), int32_t(reader.OutputLength())));
        return out;
    }

    TTempDir dir;
    TWaveReader reader;
};

TEST_F(RealPluginTest, SoundpullReadsWavExactly)
{
    std::string wav = dir.File("tone.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=sin(2*PI*440*t)|0.5*sin(2*PI*300*t):s=44100:d=2\" -c:a pcm_s16le " +
                       ShellQuote(wav)));
    ASSERT_TRUE(reader.Open(wav, "VFAP|soundpull", false, 0)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.KindString(), "VFAP|SOUNDPULL");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "VFAPI \"Tessaly DirectShow Audio Reader 1.0\"");
    EXPECT_EQ(reader.OutputLength(), 88200);
    EXPECT_EQ(ReadAll(), Decode(wav));
}

TEST_F(RealPluginTest, FramepullReadsAviAudioExactlyAndOffersItsRiffData)
{
    std::string avi = dir.File("clip.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=2 -f lavfi -i "
                       "\"aevalsrc=sin(2*PI*440*t):s=22050:d=2\" -c:v mpeg4 -c:a pcm_s16le " + ShellQuote(avi)));
    ASSERT_TRUE(reader.Open(avi, "VFAP|framepull", false, 2)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.SampleRate(), 22050);
    EXPECT_EQ(ReadAll(), Decode(avi));

    TMediaError status = meUnknown;
    TVfHandlePtr h(VfOpen(0, avi, status));
    ASSERT_EQ(status, meOk);
    ASSERT_TRUE(HasRiff(h.get()));
    uint8_t fmt[64] = {};
    ASSERT_EQ(RiffAudioFormat(h.get(), fmt, sizeof fmt), 16u);
    EXPECT_EQ(fmt[0], 1);    // PCM
    EXPECT_EQ(fmt[14], 16);  // bits
    EXPECT_TRUE(RiffIsKeyFrame(h.get(), VF_RIFF_SELECT_VIDEO, 0));
}

} // namespace
