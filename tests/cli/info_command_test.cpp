// Tests of `tessaly-cli info`: every audio stream of an AVI, the audio of a WAV, and
// messages that name the part that could not be read.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

std::string Info(const std::string &file, int &status)
{
    std::string out;
    status = test::RunCommand(test::CliProgram() + " info " + test::ShellQuote(file) + " 2>&1", &out);
    return out;
}

TEST(CliInfo, ListsEveryAudioStreamOfAnAvi)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -f lavfi -i sine=d=2:r=8000 "
                             "-f lavfi -i sine=d=1:r=22050 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a pcm_s16le -ac:a:1 2 " +
                             test::ShellQuote(dir.File("two.avi"))));
    int status = 0;
    std::string out = Info(dir.File("two.avi"), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Video\n  Type:"), std::string::npos) << out;
    EXPECT_NE(out.find("  Frames:      50\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Container: AVI"), std::string::npos) << out;
    EXPECT_NE(out.find("Audio streams\n  #1: pcm_s16le; 8000 Hz; 1 channel; 16 bit; 2.00 s (16000 samples)\n"
                       "  #2: pcm_s16le; 22050 Hz; 2 channels; 16 bit; 1.00 s (22050 samples)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Audio\n  Type:"), std::string::npos) << out;
    EXPECT_NE(out.find("  Format:      8000 Hz; 16 bit; mono\n"), std::string::npos) << out;
}

TEST(CliInfo, AnAudioFileShowsItsAudioAndNamesWhatFailed)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=83.5:r=8000 -ac 6 " + test::ShellQuote(dir.File("six.wav"))));
    int status = 0;
    std::string out = Info(dir.File("six.wav"), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("Video"), std::string::npos) << out;
    EXPECT_NE(out.find("  Format:      8000 Hz; 16 bit; 6 channels\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  Length:      83.50 s  =  1:23.50 m\n"), std::string::npos) << out;

    std::ofstream(dir.File("bad.wav")) << "RIFF....WAVEfmt garbage";
    out = Info(dir.File("bad.wav"), status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.find("Error opening video file"), std::string::npos) << out;
    EXPECT_NE(out.find("Error opening audio file:\n\"" + dir.File("bad.wav") + "\""), std::string::npos) << out;
}

} // namespace
} // namespace tessaly
