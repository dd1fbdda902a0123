// Tests of compressed and multi-stream audio through the program: `info` lists what the
// container holds, numbered as the container numbers its streams, and `project create
// --audio-stream N` followed by `render` writes the chosen stream's samples exactly as
// FFmpeg decodes them, in their own width and channel layout.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

int RunCli(const std::string &args, std::string *out = nullptr)
{
    return test::RunCommand(test::CliProgram() + " " + args + " 2>/dev/null </dev/null", out);
}

// `ffmpeg -i file [-map m] -f fmt -`.
std::vector<uint8_t> Decode(const std::string &file, const std::string &map, const char *fmt)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + (map.empty() ? "" : " -map " + map) +
                         " -f " + fmt + " -",
                     &out);
    return std::vector<uint8_t>(out.begin(), out.end());
}

class CliAudioStreams : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TTempDir;
        ASSERT_TRUE(test::WriteFileBytes(dir->File("s.srt"), Bytes("1\n00:00:00,000 --> 00:00:01,000\nhello\n")));
        ASSERT_TRUE(test::WriteFileBytes(dir->File("ch.txt"),
                                         Bytes(";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                               "title=Intro\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\n")));
        // 0 video, 1 MP3 stereo, 2 AC-3 5.1 (German, titled), 3 subtitles; two chapters.
        ASSERT_TRUE(test::Ffmpeg(
            "-f lavfi -i testsrc=size=32x24:rate=25:duration=2 -f lavfi -i sine=f=440:d=2 "
            "-f lavfi -i \"sine=f=880:d=2,aformat=channel_layouts=5.1\" -i " + ShellQuote(dir->File("s.srt")) +
            " -i " + ShellQuote(dir->File("ch.txt")) + " -map 0 -map 1 -map 2 -map 3 -map_chapters 4 -c:v mpeg4 "
            "-c:a:0 libmp3lame -ac:a:0 2 -c:a:1 ac3 -metadata:s:a:1 language=ger -metadata:s:a:1 title=Surround "
            "-c:s srt " + ShellQuote(dir->File("film.mkv"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=1 -c:a libmp3lame " + ShellQuote(dir->File("tone.mp3"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=3 -c:v mjpeg " +
                                 ShellQuote(dir->File("v.avi"))));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i \"aevalsrc=0.5*sin(2*PI*440*t)|0.25*sin(2*PI*660*t):s=48000:d=2\" "
                                 "-c:a flac -sample_fmt s32 " + ShellQuote(dir->File("hi.flac"))));
    }
    static void TearDownTestSuite() { delete dir; }
    static std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }
    static test::TTempDir *dir;
};
test::TTempDir *CliAudioStreams::dir = nullptr;

TEST_F(CliAudioStreams, InfoListsStreamsSubtitlesAndChapters)
{
    std::string out;
    ASSERT_EQ(RunCli("info " + ShellQuote(dir->File("film.mkv")), &out), 0);
    const std::vector<std::string> lines = test::SplitLines(out);
    auto has = [&](const std::string &text) {
        for (const std::string &l : lines)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("Container: Matroska")) << out;
    EXPECT_TRUE(has("#1: mp3; 44100 Hz; 2 channels (stereo); 32 bit float;")) << out;
    EXPECT_TRUE(has("#2: ac3; 44100 Hz; 6 channels (5.1(side)); 32 bit float;")) << out;
    EXPECT_TRUE(has("[ger] \"Surround\"")) << out;
    EXPECT_TRUE(has("#3: subrip")) << out;
    EXPECT_TRUE(has("1: 0.000 s - 1.000 s \"Intro\"")) << out;
    EXPECT_TRUE(has("2: 1.000 s - 2.000 s")) << out;
    EXPECT_TRUE(has("FFmpeg audio")) << out;
    ASSERT_EQ(RunCli("info " + ShellQuote(dir->File("hi.flac")), &out), 0);
    EXPECT_NE(out.find("#0: flac; 48000 Hz; 2 channels (stereo); 24 bit; 2.00 s (96000 samples)"), std::string::npos)
        << out;
    // The MP3 encoder's delay is dropped and said.
    ASSERT_EQ(RunCli("info " + ShellQuote(dir->File("tone.mp3")), &out), 0);
    EXPECT_NE(out.find("#0: mp3; 44100 Hz; 1 channel (mono); 32 bit float; 1.00 s (44100 samples); encoder delay 1105 "
                       "samples dropped"),
              std::string::npos)
        << out;
}

// The chosen stream, rendered without markers, is FFmpeg's decode sample for sample, in its
// own format (5.1 float with its speaker mask; 24-bit integers), from lag 0.
TEST_F(CliAudioStreams, RenderedStreamEqualsFfmpegsDecode)
{
    const std::string p = dir->File("p.tsp"), out = dir->File("out.wav");
    ASSERT_EQ(RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(dir->File("v.avi")) + " --audio " +
                  ShellQuote(dir->File("film.mkv")) + " --audio-stream 2"),
              0);
    // The mixer leaves the partial frame at the track's end silent; two seconds are whole frames.
    ASSERT_EQ(RunCli("render " + ShellQuote(p) + " " + ShellQuote(out) + " --yes --no-progress"), 0);
    std::string probe;
    test::RunCommand("ffprobe -v error -show_entries stream=channels,channel_layout,codec_name -of compact " +
                         ShellQuote(out),
                     &probe);
    EXPECT_NE(probe.find("codec_name=pcm_f32le|channels=6|channel_layout=5.1(side)"), std::string::npos) << probe;
    std::vector<uint8_t> want = Decode(dir->File("film.mkv"), "0:a:1", "f32le"), got = Decode(out, "", "f32le");
    const size_t whole = 2 * 44100 * 6 * 4;
    ASSERT_GE(want.size(), whole);
    ASSERT_GE(got.size(), whole);
    EXPECT_EQ(std::memcmp(want.data(), got.data(), whole), 0);

    ASSERT_EQ(RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(dir->File("v.avi")) + " --audio " +
                  ShellQuote(dir->File("hi.flac"))),
              0);
    ASSERT_EQ(RunCli("render " + ShellQuote(p) + " " + ShellQuote(out) + " --yes --no-progress"), 0);
    test::RunCommand("ffprobe -v error -show_entries stream=codec_name,bits_per_sample -of compact " + ShellQuote(out),
                     &probe);
    EXPECT_NE(probe.find("codec_name=pcm_s24le|bits_per_sample=24"), std::string::npos) << probe;
    want = Decode(dir->File("hi.flac"), "", "s32le");
    got = Decode(out, "", "s32le");
    ASSERT_GE(got.size(), want.size());
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + long(want.size())), want);

    EXPECT_NE(RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(dir->File("v.avi")) + " --audio " +
                  ShellQuote(dir->File("film.mkv")) + " --audio-stream 3"),
              0);
    EXPECT_EQ(RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(dir->File("v.avi")) +
                  " --audio-stream 1"),
              2);
}

} // namespace
} // namespace tessaly
