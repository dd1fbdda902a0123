// `tessaly-cli render` into containers: a project over an AVI (H.264 with B-frames) rendered
// into Matroska, MP4 and MOV, compared picture for picture with the source and sample for
// sample with the WAV result; refusals; a killed render never harms an earlier result.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
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
    const std::vector<std::string> pictures = test::PictureHashes(Dir.File("film.avi"));
    ASSERT_EQ(pictures.size(), 150u);
    for (const char *name : {"film.synced.mkv", "film.synced.mp4", "film.synced.mov", "film.synced.m4v"}) {
        SCOPED_TRACE(name);
        out.clear();
        ASSERT_EQ(RunCli("render --no-progress " + Project + " " + Q(name), &out), 0) << out;
        EXPECT_EQ(out, Dir.File(name) + "\n");
        EXPECT_EQ(test::PictureHashes(Dir.File(name)), pictures);
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
    // Bit rates that are no number, beyond a double, outside 6k .. 6.4M or with another unit.
    for (const char *rate : {"fast", "1e999", "5999", "6.5M", "192kb", "nan", "-96k", "''"}) {
        out.clear();
        EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv") + " --audio-bitrate " + rate, &out), 2);
        EXPECT_NE(out.find("is not understood: it needs bits per second from 6k to 6.4M"), std::string::npos) << out;
    }
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.webm"), &out), 1);
    EXPECT_NE(out.find("WebM cannot hold the video's h264 stream; choose Matroska (.mkv)"), std::string::npos) << out;
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mp4") + " --audio-codec pcm", &out), 1);
    EXPECT_NE(out.find("PCM"), std::string::npos) << out;
    // The video itself as the target, and a chapter left out inside one file, which only
    // AVI and WAV results have.
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("film.avi"), &out), 1);
    ASSERT_EQ(RunCli("project add-chapter " + Project + " 50 --disabled"), 0);
    ASSERT_EQ(RunCli("project add-chapter " + Project + " 100"), 0);
    ASSERT_EQ(RunCli("project set " + Project + " --concat-chapters 1"), 0);
    EXPECT_EQ(RunCli("render --no-progress " + Project + " " + Q("r.mkv"), &out), 1);
    EXPECT_NE(out.find("Left-out chapters"), std::string::npos) << out;
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
    // Waits until the render's unnamed result file (a descriptor of the process onto a
    // deleted-looking file in the folder) has grown beyond `bytes`; false when it never did.
    const auto writing = [this](const test::TChildProcess &render, uintmax_t bytes) {
        const std::string fds = "/proc/" + std::to_string(render.Pid()) + "/fd";
        for (int i = 0; i < 20000; ++i) {
            std::error_code error;
            for (const auto &entry : std::filesystem::directory_iterator(fds, error)) {
                std::error_code ignored;
                const std::string file = std::filesystem::read_symlink(entry.path(), ignored).string();
                if (file.rfind(Dir.File("#"), 0) == 0 && std::filesystem::file_size(entry.path(), ignored) > bytes &&
                    !ignored)
                    return true;
            }
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
        // Killed as soon as its result file has grown.
        const bool caught = writing(render, 100000);
        render.Kill(SIGKILL);
        EXPECT_EQ(render.Wait(5000), 128 + SIGKILL);
        ASSERT_TRUE(caught) << "the render ended before it could be killed";
        if (earlier)
            EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
        else
            EXPECT_FALSE(std::filesystem::exists(target));
        // The killed render leaves no temporary file either.
        for (const auto &entry : std::filesystem::directory_iterator(Dir.Path()))
            EXPECT_NE(entry.path().filename().string().rfind(".long.mkv.", 0), 0u) << entry.path();
    }
    // Ctrl+C aborts like the abort button: the earlier file stays, no temporary file is left.
    ASSERT_TRUE(test::WriteFileBytes(target, {'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    {
        test::TChildProcess render;
        ASSERT_TRUE(render.Start(TESSALY_BIN_DIR "/tessaly-cli",
                                 {"render", "--no-progress", Dir.File("long.tsp"), target}));
        // Interrupted once its result file exists, so that the run is caught while it writes.
        const bool caught = writing(render, 0);
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

// Every video packet of a file in decode order: its presentation time (in the stream's
// time base) and "size hash".
std::vector<std::pair<int64_t, std::string>> TimedPackets(const std::string &path)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v -c copy -f framemd5 - 2>/dev/null",
                     &out);
    std::vector<std::pair<int64_t, std::string>> packets;
    for (const std::string &line : test::SplitLines(out)) {
        if (line.empty() || line[0] == '#')
            continue;
        // stream, dts, pts, duration, size, hash
        std::vector<std::string> f;
        std::string rest = line;
        for (size_t at; (at = rest.find(',')) != std::string::npos; rest = rest.substr(at + 1))
            f.push_back(rest.substr(0, at));
        f.push_back(rest);
        if (f.size() == 6)
            packets.emplace_back(std::stoll(f[2]), f[4] + f[5]);
    }
    return packets;
}

// Chapter files of a project over a Matroska film: each file starts at the key frame at or
// after its chapter's start (the frames before it end the previous file, as in the AVI
// result), holds the source's packets of its frames with times from 0, and the mix of
// exactly its frames.
TEST(CliContainerRenderLavf, ChapterFilesStartAtKeyFramesWithTheirFramesAndTheirMix)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=6 -c:v libx264 -bf 2 -g 25 "
                             "-x264-params scenecut=0 " + ShellQuote(dir.File("film.mkv"))));
    ASSERT_NO_FATAL_FAILURE(RenderProjectOverFilm(dir, 7));
    const std::vector<int16_t> mix = test::DecodedAudio(dir.File("x.wav"));
    ASSERT_EQ(mix.size(), size_t(150 * 1920 * 2));
    const auto source = TimedPackets(dir.File("film.mkv"));
    ASSERT_EQ(source.size(), 150u);
    std::vector<int64_t> shown;
    for (const auto &p : source)
        shown.push_back(p.first);
    std::sort(shown.begin(), shown.end());
    const std::vector<std::string> pictures = test::PictureHashes(dir.File("film.mkv"));
    ASSERT_EQ(pictures.size(), 150u);
    // Chapters at 50 (a key frame) and 110 (inside the group of key frame 100).
    const std::string project = ShellQuote(dir.File("p.tsp"));
    ASSERT_EQ(RunCli("project add-chapter " + project + " 50"), 0);
    ASSERT_EQ(RunCli("project add-chapter " + project + " 110"), 0);
    const std::vector<std::pair<int32_t, int32_t>> ranges{{0, 49}, {50, 124}, {125, 149}};
    for (const char *ext : {".mkv", ".mp4"}) {
        SCOPED_TRACE(ext);
        std::string out;
        ASSERT_EQ(RunCli("render --no-progress " + project + " " + ShellQuote(dir.File(std::string("c") + ext)), &out), 0)
            << out;
        EXPECT_FALSE(std::filesystem::exists(dir.File(std::string("c") + ext)));
        for (size_t k = 0; k < ranges.size(); ++k) {
            const std::string file = dir.File("c.0" + std::to_string(k) + ext);
            SCOPED_TRACE(file);
            EXPECT_NE(out.find(file), std::string::npos) << out;
            const auto [first, last] = ranges[k];
            std::vector<std::string> expected, copied;
            for (const auto &p : source)
                if (p.first >= shown[size_t(first)] && p.first <= shown[size_t(last)])
                    expected.push_back(p.second);
            const auto result = TimedPackets(file);
            int64_t earliest = INT64_MAX;
            for (const auto &p : result) {
                copied.push_back(p.second);
                earliest = std::min(earliest, p.first);
            }
            EXPECT_EQ(copied, expected);
            EXPECT_EQ(earliest, 0);
            EXPECT_EQ(test::PictureHashes(file),
                      std::vector<std::string>(pictures.begin() + first, pictures.begin() + last + 1));
            EXPECT_EQ(test::DecodedAudio(file),
                      std::vector<int16_t>(mix.begin() + first * 3840, mix.begin() + (last + 1) * 3840));
            EXPECT_TRUE(test::DecodesCleanly(file));
        }
        EXPECT_FALSE(std::filesystem::exists(dir.File(std::string("c.03") + ext)));
    }
    EXPECT_EQ(test::RunCommand("mkvmerge -i " + ShellQuote(dir.File("c.01.mkv")) + " >/dev/null"), 0);

    // A left-out chapter gets no file; the numbers stay consecutive, as for AVI results.
    ASSERT_EQ(RunCli("project tick-chapter " + project + " 50 0"), 0);
    std::string out;
    ASSERT_EQ(RunCli("render --no-progress " + project + " " + ShellQuote(dir.File("d.mkv")), &out), 0) << out;
    EXPECT_EQ(test::PictureHashes(dir.File("d.00.mkv")), std::vector<std::string>(pictures.begin(), pictures.begin() + 50));
    EXPECT_EQ(test::PictureHashes(dir.File("d.01.mkv")), std::vector<std::string>(pictures.begin() + 125, pictures.end()));
    EXPECT_EQ(test::DecodedAudio(dir.File("d.01.mkv")), std::vector<int16_t>(mix.begin() + 125 * 3840, mix.end()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("d.02.mkv")));
}

// Chapter files of films with open groups of pictures (H.264 with open GOPs, MPEG-2): the
// pictures decoded after the key frame that starts the next file but shown before it are
// predicted from that key frame, so the file before ends without them; every file shows
// the source's pictures exactly and holds the mix of all of its frames.
TEST(CliContainerRenderLavf, OpenGroupsOfPicturesEndAFileBeforeThePicturesThatNeedTheNextOne)
{
    for (const std::string codec : {"libx264 -bf 3 -g 50 -x264-params open-gop=1:scenecut=0:b-adapt=0",
                                    "mpeg2video -bf 2 -g 25 -q:v 4"}) {
        SCOPED_TRACE(codec);
        test::TTempDir dir;
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=8 -c:v " + codec + " " +
                                 ShellQuote(dir.File("film.mkv"))));
        ASSERT_NO_FATAL_FAILURE(RenderProjectOverFilm(dir, 9));
        const std::vector<int16_t> mix = test::DecodedAudio(dir.File("x.wav"));
        const std::vector<std::string> pictures = test::PictureHashes(dir.File("film.mkv"));
        ASSERT_EQ(pictures.size(), 200u);
        // The source's packets in decode order: presentation time and key flag.
        std::string listing;
        test::RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts,flags -of csv=p=0 " +
                             ShellQuote(dir.File("film.mkv")), &listing);
        std::vector<std::pair<int64_t, bool>> packets;
        for (const std::string &line : test::SplitLines(listing))
            if (!line.empty())
                packets.emplace_back(std::stoll(line), line.find(",K") != std::string::npos);
        ASSERT_EQ(packets.size(), 200u);
        std::vector<int64_t> shown;
        for (const auto &p : packets)
            shown.push_back(p.first);
        std::sort(shown.begin(), shown.end());
        // Files start at the first key frame at or after the chapters at 50 and 100.
        std::vector<size_t> starts{0};   // index of the starting key packet in decode order
        for (int chapter : {50, 100}) {
            size_t at = 0;
            while (at < packets.size() && !(packets[at].second && packets[at].first >= shown[size_t(chapter)]))
                ++at;
            ASSERT_LT(at, packets.size());
            starts.push_back(at);
        }
        const std::string project = ShellQuote(dir.File("p.tsp"));
        ASSERT_EQ(RunCli("project add-chapter " + project + " 50"), 0);
        ASSERT_EQ(RunCli("project add-chapter " + project + " 100"), 0);
        std::string out;
        ASSERT_EQ(RunCli("render --no-progress " + project + " " + ShellQuote(dir.File("c.mkv")), &out), 0) << out;
        size_t leftOut = 0;
        for (size_t k = 0; k < starts.size(); ++k) {
            const std::string file = dir.File("c.0" + std::to_string(k) + ".mkv");
            SCOPED_TRACE(file);
            const int64_t from = packets[starts[k]].first;
            const int64_t to = k + 1 < starts.size() ? packets[starts[k + 1]].first : INT64_MAX;
            const size_t decodedBefore = k + 1 < starts.size() ? starts[k + 1] : packets.size();
            std::vector<int64_t> expected;
            for (size_t i = 0; i < packets.size(); ++i) {
                const bool inRange = packets[i].first >= from && packets[i].first < to;
                if (inRange && i < decodedBefore)
                    expected.push_back(packets[i].first);
                leftOut += inRange && i >= decodedBefore;
            }
            std::sort(expected.begin(), expected.end());
            std::vector<std::string> want;
            for (int64_t pts : expected)
                want.push_back(pictures[size_t(std::lower_bound(shown.begin(), shown.end(), pts) - shown.begin())]);
            EXPECT_EQ(test::PictureHashes(file), want);
            // The mix of every frame of the part, also under the pictures left out.
            const auto first = size_t(std::lower_bound(shown.begin(), shown.end(), from) - shown.begin());
            const auto end = size_t(std::lower_bound(shown.begin(), shown.end(), to) - shown.begin());
            EXPECT_EQ(test::DecodedAudio(file),
                      std::vector<int16_t>(mix.begin() + ptrdiff_t(first * 3840), mix.begin() + ptrdiff_t(end * 3840)));
            // Decoded without a message; an H.264 stream started at a key frame that is not
            // an IDR picture tells the decoder to release pictures of the group before,
            // which FFmpeg reports although every picture decodes exactly.
            std::string messages;
            test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -map 0 -f null - 2>&1", &messages);
            for (const std::string &line : test::SplitLines(messages)) {
                const bool released = line.find("mmco: unref short failure") != std::string::npos ||
                                      line.find("Last message repeated") != std::string::npos;
                EXPECT_TRUE(line.empty() || (k > 0 && codec.rfind("libx264", 0) == 0 && released)) << line;
            }
        }
        EXPECT_GT(leftOut, 0u) << "the film has no open group at a file's start";
        EXPECT_NE(out.find("picture(s) early"), std::string::npos) << out;
    }
}

// The decoded samples of audio stream `n` of a file (16-bit, interleaved).
std::vector<int16_t> DecodedStream(const std::string &path, int n)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:a:" + std::to_string(n) +
                         " -f s16le - 2>/dev/null | od -An -v -td2 -w2",
                     &out);
    std::vector<int16_t> samples;
    for (const std::string &line : test::SplitLines(out))
        if (!line.empty())
            samples.push_back(int16_t(std::stoi(line)));
    return samples;
}

// A kept AAC track starts with the packet of its encoder priming, which lies before the
// film's first picture: it is kept with its time before 0, so that the track decodes to
// the source's samples, in sync.
TEST(CliContainerRenderLavf, AKeptTrackKeepsItsPacketsBeforeTheFirstPicture)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f lavfi -i "
                             "sine=frequency=440:duration=4:sample_rate=48000 -c:v libx264 -bf 2 -g 25 -c:a aac "
                             "-b:a 96k " + ShellQuote(dir.File("film.mkv"))));
    ASSERT_NO_FATAL_FAILURE(RenderProjectOverFilm(dir, 5));
    const std::vector<int16_t> source = DecodedStream(dir.File("film.mkv"), 0);
    ASSERT_GT(source.size(), size_t(3 * 48000));
    const std::vector<int16_t> kept = DecodedStream(dir.File("r.mkv"), 1);
    // The result ends with the film's last picture; up to there the samples are the source's.
    ASSERT_GT(kept.size(), size_t(3 * 48000));
    ASSERT_LE(kept.size(), source.size());
    EXPECT_EQ(kept, std::vector<int16_t>(source.begin(), source.begin() + ptrdiff_t(kept.size())));
    std::string start;
    test::RunCommand("ffprobe -v error -select_streams a:1 -show_entries stream=start_time -of csv=p=0 " +
                         ShellQuote(dir.File("r.mkv")), &start);
    EXPECT_LT(std::stod(start), 0.0) << start;
    EXPECT_TRUE(test::DecodesCleanly(dir.File("r.mkv")));

    // MP4 times packets by their samples (Matroska's are rounded to milliseconds) and
    // starts the track at the first picture with its edit list: the track decodes to the
    // source's samples from the one sounding under the first picture on.
    std::string out;
    ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(dir.File("p.tsp")) + " " + ShellQuote(dir.File("r.mp4")), &out),
              0) << out;
    std::string starts;
    test::RunCommand("ffprobe -v error -show_entries stream=start_time -of csv=p=0 " + ShellQuote(dir.File("film.mkv")),
                     &starts);
    const std::vector<std::string> times = test::SplitLines(starts);
    ASSERT_GE(times.size(), 2u) << starts;
    const auto under = size_t(std::llround((std::stod(times[0]) - std::stod(times[1])) * 48000));
    ASSERT_GT(under, 0u);
    const std::vector<int16_t> mp4 = DecodedStream(dir.File("r.mp4"), 1);
    ASSERT_GT(mp4.size(), size_t(3 * 48000));
    ASSERT_LE(mp4.size() + under, source.size());
    EXPECT_EQ(mp4, std::vector<int16_t>(source.begin() + ptrdiff_t(under), source.begin() + ptrdiff_t(under + mp4.size())));
    EXPECT_TRUE(test::DecodesCleanly(dir.File("r.mp4")));
}

} // namespace
} // namespace tessaly
