// `tessaly-cli render` into containers: a project over an AVI (H.264 with B-frames) rendered
// into Matroska, MP4 and MOV, compared picture for picture with the source and sample for
// sample with the WAV result; refusals; a killed render never harms an earlier result.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/cli_support.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

int RunCli(const std::string &args, std::string *out = nullptr)
{
    return test::RunCommand(test::CliProgram() + " " + args + " 2>&1 </dev/null", out);
}

// FFmpeg's md5 of every decoded picture, in the order shown.
std::vector<std::string> PictureHashes(const std::string &path)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v -f framemd5 - 2>/dev/null | "
                     "grep -v '^#' | sed 's/.*, //'",
                     &out);
    return test::SplitLines(out);
}

class CliContainerRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=6 -c:v libx264 -bf 2 -g 25 " +
                                 ShellQuote(Dir.File("film.avi"))));
        ASSERT_TRUE(test::WriteIndexWave(Dir.File("audio.wav"), 48000, 48000 * 7));
        Project = ShellQuote(Dir.File("film.tsp"));
        ASSERT_EQ(RunCli("project create " + Project + " --video " + Q("film.avi") + " --audio " + Q("audio.wav")), 0);
        ASSERT_EQ(RunCli("project add-marker " + Project + " 0 spline 0"), 0);
        ASSERT_EQ(RunCli("project add-marker " + Project + " 100 spline 4"), 0);
    }
    std::string Q(const std::string &name) const { return ShellQuote(Dir.File(name)); }

    test::TTempDir Dir;
    std::string Project;
};

TEST_F(CliContainerRender, ContainerResultsHoldTheSourcePicturesAndTheMixOfTheWavResult)
{
    std::string out;
    ASSERT_EQ(RunCli("render --no-progress " + Project + " " + Q("mix.wav"), &out), 0) << out;
    const std::vector<int16_t> mix = test::DecodedAudio(Dir.File("mix.wav"));
    ASSERT_EQ(mix.size(), size_t(150 * 1920 * 2));
    const std::vector<std::string> pictures = PictureHashes(Dir.File("film.avi"));
    ASSERT_EQ(pictures.size(), 150u);
    for (const char *name : {"film.synced.mkv", "film.synced.mp4", "film.synced.mov", "film.synced.m4v"}) {
        SCOPED_TRACE(name);
        out.clear();
        ASSERT_EQ(RunCli("render --no-progress " + Project + " " + Q(name), &out), 0) << out;
        EXPECT_EQ(out, Dir.File(name) + "\n");
        EXPECT_EQ(PictureHashes(Dir.File(name)), pictures);
        EXPECT_EQ(test::DecodedAudio(Dir.File(name)), mix);
        EXPECT_TRUE(test::DecodesCleanly(Dir.File(name)));
    }
    EXPECT_EQ(test::RunCommand("mkvmerge -i " + Q("film.synced.mkv") + " >/dev/null"), 0);

    // A lossy track on request, at the bit rate asked for.
    ASSERT_EQ(RunCli("render --no-progress " + Project + " " + Q("aac.mp4") + " --audio-codec aac --audio-bitrate 96k "
                     "--audio-language swe --audio-title Synced", &out), 0) << out;
    std::string probe;
    test::RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,bit_rate:stream_tags=language "
                     "-of csv=p=0 " + Q("aac.mp4"), &probe);
    EXPECT_EQ(probe.substr(0, 4), "aac,");
    EXPECT_NE(probe.find("swe"), std::string::npos) << probe;
    EXPECT_TRUE(test::DecodesCleanly(Dir.File("aac.mp4")));
}

TEST_F(CliContainerRender, RefusalsNameTheReasonAndWriteNothing)
{
    std::string out;
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv") + " --audio-codec mp3", &out), 2);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.wav") + " --keep none", &out), 2);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv") + " --keep some", &out), 2);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv") + " --audio-bitrate fast", &out), 2);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.webm"), &out), 1);
    EXPECT_NE(out.find("WebM cannot hold the video's h264 stream; choose Matroska (.mkv)"), std::string::npos) << out;
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mp4") + " --audio-codec pcm", &out), 1);
    EXPECT_NE(out.find("PCM"), std::string::npos) << out;
    // The video itself as the target, and chapter files, which only AVI and WAV results have.
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("film.avi"), &out), 1);
    ASSERT_EQ(RunCli("project add-chapter " + Project + " 50"), 0);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv"), &out), 1);
    EXPECT_NE(out.find("Chapter files"), std::string::npos) << out;
    std::string listing;
    test::RunCommand("ls -A " + ShellQuote(Dir.Path()), &listing);
    EXPECT_EQ(listing, "audio.wav\nfilm.avi\nfilm.tsp\n");
}

TEST_F(CliContainerRender, KilledRenderLeavesTheEarlierResultAndNoFileUnderItsName)
{
    // A longer project, so that the render is caught while it writes.
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=120 -c:v libx264 -preset ultrafast "
                             "-g 50 " + Q("long.avi")));
    ASSERT_TRUE(test::WriteIndexWave(Dir.File("long.wav"), 48000, 48000 * 121));
    ASSERT_EQ(RunCli("project create " + Q("long.tsp") + " --video " + Q("long.avi") + " --audio " + Q("long.wav")), 0);
    const std::string target = Dir.File("long.mkv");
    // Waits until the render's temporary file has grown beyond `bytes`; false when it never did.
    const auto writing = [this](uintmax_t bytes) {
        for (int i = 0; i < 20000; ++i) {
            for (const auto &entry : std::filesystem::directory_iterator(Dir.Path()))
                if (entry.path().filename().string().rfind(".long.mkv.", 0) == 0 && entry.file_size() > bytes)
                    return true;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    };
    for (bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "over an earlier result" : "no earlier result");
        std::filesystem::remove(target);
        if (earlier) {
            ASSERT_TRUE(test::WriteFileBytes(target, {'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
        }
        test::TChildProcess render;
        ASSERT_TRUE(render.Start(TESSALY_BIN_DIR "/tessaly-cli",
                                 {"render", "--no-progress", Dir.File("long.tsp"), target}));
        // Killed as soon as its temporary file has grown.
        const bool caught = writing(100000);
        render.Kill(SIGKILL);
        EXPECT_EQ(render.Wait(5000), 128 + SIGKILL);
        ASSERT_TRUE(caught) << "the render ended before it could be killed";
        if (earlier)
            EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
        else
            EXPECT_FALSE(std::filesystem::exists(target));
    }
    // Ctrl+C aborts like the abort button: the earlier file stays, no temporary file is left.
    ASSERT_TRUE(test::WriteFileBytes(target, {'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    for (const auto &entry : std::filesystem::directory_iterator(Dir.Path()))
        if (entry.path().filename().string().rfind(".long.mkv.", 0) == 0)
            std::filesystem::remove(entry.path());
    {
        test::TChildProcess render;
        ASSERT_TRUE(render.Start(TESSALY_BIN_DIR "/tessaly-cli",
                                 {"render", "--no-progress", Dir.File("long.tsp"), target}));
        // Interrupted once its temporary file exists, so that the run is caught while it writes.
        const bool caught = writing(0);
        render.Kill(SIGINT);
        ASSERT_TRUE(caught) << "the render ended before it could be interrupted";
        EXPECT_EQ(render.Wait(10000), 1);
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    for (const auto &entry : std::filesystem::directory_iterator(Dir.Path()))
        EXPECT_NE(entry.path().filename().string().rfind(".long.mkv.", 0), 0u) << entry.path();

    // A complete run replaces the earlier file.
    std::string out;
    ASSERT_EQ(RunCli("render --no-progress " + Q("long.tsp") + " " + ShellQuote(target), &out), 0) << out;
    EXPECT_TRUE(test::DecodesCleanly(target));
}

// A project over dir's film.mkv with a generated primary track of `seconds`, rendered to
// x.wav and r.mkv.
void RenderProjectOverFilm(const test::TTempDir &dir, int seconds)
{
    ASSERT_TRUE(test::WriteIndexWave(dir.File("audio.wav"), 48000, 48000 * seconds));
    std::string out;
    ASSERT_EQ(RunCli("project create " + ShellQuote(dir.File("p.tsp")) + " --video " + ShellQuote(dir.File("film.mkv")) +
                         " --audio " + ShellQuote(dir.File("audio.wav")),
                     &out),
              0) << out;
    for (const char *result : {"x.wav", "r.mkv"})
        ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(dir.File("p.tsp")) + " " + ShellQuote(dir.File(result)), &out),
                  0) << out;
}

TEST(CliContainerRenderLavf, ProjectOverAMatroskaVideo)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -c:v libx264 -bf 2 -g 25 " +
                             ShellQuote(dir.File("film.mkv"))));
    ASSERT_NO_FATAL_FAILURE(RenderProjectOverFilm(dir, 5));
    EXPECT_EQ(test::VideoPacketHashes(dir.File("r.mkv")), test::VideoPacketHashes(dir.File("film.mkv")));
    EXPECT_EQ(test::DecodedAudio(dir.File("r.mkv")), test::DecodedAudio(dir.File("x.wav")));
}

// An AVI with a dropped frame copied into Matroska leaves a gap in the timestamps: the
// reader numbers the frames on the grid (the dropped one shows the picture before it), and
// the result counts them the same way instead of refusing the project.
TEST(CliContainerRenderLavf, AVideoWithADroppedFrameRendersOnItsFrameGrid)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -c:v mpeg4 " +
                             ShellQuote(dir.File("dropped.avi"))));
    ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(dir.File("dropped.avi")) + " -c copy " + ShellQuote(dir.File("film.mkv"))));
    ASSERT_NO_FATAL_FAILURE(RenderProjectOverFilm(dir, 3));
    const std::vector<std::string> copied = test::VideoPacketHashes(dir.File("r.mkv"));
    EXPECT_EQ(copied, test::VideoPacketHashes(dir.File("film.mkv")));
    EXPECT_LT(copied.size(), size_t(51));   // fewer pictures than frames: the gap is kept
    EXPECT_EQ(test::DecodedAudio(dir.File("r.mkv")), test::DecodedAudio(dir.File("x.wav")));
    EXPECT_TRUE(test::DecodesCleanly(dir.File("r.mkv")));
}

} // namespace
} // namespace tessaly
