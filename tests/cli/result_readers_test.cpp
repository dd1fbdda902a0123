// Results of `tessaly-cli render` from Matroska, MP4 (HEVC), MOV, MPEG-TS, AVI and WebM
// films into Matroska, WebM, MP4, MOV and AVI, read by independent programs: ffprobe, a
// full FFmpeg decode, mkvmerge, gst-discoverer and mpv (where installed). Each result
// shows the film's pictures, keeps the film's other tracks where the container holds
// them, and holds the mix of the WAV result (lossless tracks sample for sample).
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/render_media.h"
#include "support/result_readers.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

int RunCli(const std::string &args, std::string *out = nullptr)
{
    return test::RunCommand(test::CliProgram() + " " + args + " 2>&1 </dev/null", out);
}

struct TTarget {
    const char *Ext;
    test::TResultLayout Layout;
    bool SamePackets;   // the container stores the film's packets with the same bytes
    bool Lossless;
};

struct TSourceCase {
    const char *Name;
    std::string Make;   // ffmpeg arguments that write the film (its path appended)
    std::vector<TTarget> Targets;
};

// Three seconds of 25 fps pictures: 75 frames.
const std::string kPictures = "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 ";
const std::string kTone = "-f lavfi -i sine=frequency=330:duration=3:sample_rate=48000 ";

test::TResultLayout Layout(int audio, int subtitles, const char *mix)
{
    return {audio, subtitles, mix, 3.0, "25/1"};
}

std::vector<TSourceCase> Cases()
{
    return {
        {"film.mkv",
         kPictures + kTone + "-i SUBS -i META -map 0 -map 1 -map 2 -map_chapters 3 -c:v libx264 -bf 2 -g 25 -c:a aac "
                             "-c:s srt",
         {{".mkv", Layout(2, 1, "flac"), true, true},
          {".mp4", Layout(2, 0, "alac"), true, true},
          {".mov", Layout(2, 0, "pcm_s16le"), true, true},
          {".avi", Layout(2, 0, "pcm_s16le"), false, true}}},
        {"hevc.mp4",
         kPictures + kTone + "-c:v libx265 -preset ultrafast -x265-params log-level=error -tag:v hvc1 -c:a aac",
         {{".mkv", Layout(2, 0, "flac"), true, true}, {".mp4", Layout(2, 0, "alac"), true, true}}},
        {"film.mov",
         kPictures + kTone + "-c:v libx264 -bf 2 -g 25 -c:a pcm_s16le",
         {{".mkv", Layout(2, 0, "flac"), true, true}, {".mov", Layout(2, 0, "pcm_s16le"), true, true}}},
        {"film.ts",
         kPictures + kTone + "-c:v libx264 -bf 2 -g 25 -c:a mp2",
         {{".mkv", Layout(2, 0, "flac"), false, true}, {".mp4", Layout(2, 0, "alac"), false, true}}},
        {"film.avi",
         kPictures + kTone + "-c:v libx264 -bf 2 -g 25 -c:a pcm_s16le",
         {{".mkv", Layout(2, 0, "flac"), false, true}, {".mov", Layout(2, 0, "pcm_s16le"), false, true}}},
        {"vp9.webm",
         kPictures + kTone + "-c:v libvpx-vp9 -deadline realtime -c:a libopus",
         {{".webm", Layout(2, 0, "opus"), true, false}, {".mkv", Layout(2, 0, "flac"), true, true}}},
    };
}

class ResultReaders : public ::testing::TestWithParam<size_t> {};

TEST_P(ResultReaders, EveryReaderTakesTheResultWithTheFilmsPicturesAndTheMix)
{
    const TSourceCase c = Cases()[GetParam()];
    test::TTempDir dir;
    std::string make = c.Make;
    for (auto [name, file, text] :
         {std::tuple<std::string, std::string, std::string>{"SUBS", "subs.srt", "1\n00:00:01,000 --> 00:00:02,000\nHi\n"},
          {"META", "meta.txt", ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"}}) {
        ASSERT_TRUE(test::WriteFileBytes(dir.File(file), std::vector<uint8_t>(text.begin(), text.end())));
        if (const size_t at = make.find(name); at != std::string::npos)
            make.replace(at, name.size(), ShellQuote(dir.File(file)));
    }
    const std::string film = dir.File(c.Name);
    ASSERT_TRUE(test::Ffmpeg(make + " " + ShellQuote(film))) << make;
    ASSERT_TRUE(test::WriteIndexWave(dir.File("audio.wav"), 48000, 48000 * 4));
    const std::string project = ShellQuote(dir.File("p.tsp"));
    std::string out;
    ASSERT_EQ(RunCli("project create " + project + " --video " + ShellQuote(film) + " --audio " +
                         ShellQuote(dir.File("audio.wav")), &out), 0) << out;
    ASSERT_EQ(RunCli("project add-marker " + project + " 0 spline 0"), 0);
    ASSERT_EQ(RunCli("project add-marker " + project + " 60 spline 3"), 0);
    ASSERT_EQ(RunCli("render --no-progress " + project + " " + ShellQuote(dir.File("mix.wav")), &out), 0) << out;
    const std::vector<int16_t> mix = test::DecodedAudio(dir.File("mix.wav"));
    ASSERT_EQ(mix.size(), size_t(75 * 1920 * 2));
    const std::vector<std::string> pictures = test::PictureHashes(film);
    ASSERT_EQ(pictures.size(), 75u);
    for (const TTarget &t : c.Targets) {
        const std::string result = dir.File(std::string("r") + t.Ext);
        SCOPED_TRACE(std::string(c.Name) + " into " + result);
        ASSERT_EQ(RunCli("render --no-progress " + project + " " + ShellQuote(result), &out), 0) << out;
        EXPECT_EQ(test::CheckResultReaders(result, t.Layout), "");
        EXPECT_EQ(test::PictureHashes(result), pictures);
        if (t.SamePackets) {
            EXPECT_EQ(test::VideoPacketHashes(result), test::VideoPacketHashes(film));
        }
        if (t.Lossless) {
            EXPECT_EQ(test::DecodedAudio(result), mix);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Films, ResultReaders, ::testing::Range(size_t(0), Cases().size()),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             std::string name = Cases()[info.param].Name;
                             for (char &ch : name)
                                 if (ch == '.')
                                     ch = '_';
                             return name;
                         });

// mpv is one of the readers where it is installed; the run says so where it is not.
TEST(ResultReadersPlayer, MpvPlaysAWholeFileAndFaultsACutOne)
{
    if (!test::MpvInstalled())
        GTEST_SKIP() << "mpv is not installed: results are not played (scripts/setup.sh installs it)";
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg(kPictures + kTone + "-c:v libx264 -c:a flac " + ShellQuote(dir.File("one.mkv"))));
    EXPECT_EQ(test::CheckResultPlaysInMpv(dir.File("one.mkv")), "");
    // A file cut short is not played cleanly: the check catches a broken result.
    std::vector<uint8_t> bytes = test::ReadFileBytes(dir.File("one.mkv"));
    ASSERT_GT(bytes.size(), 4000u);
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("cut.mkv"), bytes));
    EXPECT_NE(test::CheckResultPlaysInMpv(dir.File("cut.mkv")), "");
}

} // namespace
} // namespace tessaly
