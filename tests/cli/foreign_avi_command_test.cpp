// `tessaly-cli render` on AVIs written by GStreamer's muxer (absolute 'idx1' offsets):
// every result video packet equals the source's; an index that points at the wrong bytes
// ends the run with the frame's error before those bytes are copied, a damaged audio
// chunk with its frame's error; FFmpeg's audio-only AVIs render to their last sample; a
// Matroska file named ".avi" is never rendered as an AVI.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/common/byte_order.h"
#include "support/cli_support.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

int RunCli(const std::string &args, std::string *err = nullptr)
{
    test::TTempDir tmp;
    const std::string errFile = tmp.File("stderr");
    std::string out;
    const int status =
        test::RunCommand(test::CliProgram() + " " + args + " 2>" + ShellQuote(errFile) + " </dev/null", &out);
    if (err) {
        const std::vector<uint8_t> bytes = test::ReadFileBytes(errFile);
        err->assign(bytes.begin(), bytes.end());
    }
    return status;
}

class CliForeignAvi : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::WriteIndexWave(Dir.File("audio.wav"), 7500, 12000)); }

    // A 40-frame AVI of GStreamer's muxer with the given encoder.
    std::string Gstreamer(const std::string &encoder)
    {
        const std::string f = Dir.File(encoder + ".avi");
        EXPECT_EQ(test::RunCommand("gst-launch-1.0 -q videotestsrc num-buffers=40 ! "
                                   "video/x-raw,width=160,height=120,framerate=25/1 ! " +
                                   encoder + " ! avimux ! filesink location=" + ShellQuote(f) + " >/dev/null 2>&1"),
                  0);
        return f;
    }
    // Makes a project of the video and the test audio; returns its path.
    std::string Project(const std::string &video, std::string *err = nullptr)
    {
        const std::string p = Dir.File(std::filesystem::path(video).stem().string() + ".tsp");
        EXPECT_EQ(RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(video) + " --audio " +
                             ShellQuote(Dir.File("audio.wav")),
                         err),
                  0);
        return p;
    }

    test::TTempDir Dir;
};

TEST_F(CliForeignAvi, GstreamerAvisRenderWithTheSourcesVideoPackets)
{
    for (const std::string encoder : {"x264enc", "jpegenc"}) {
        SCOPED_TRACE(encoder);
        const std::string video = Gstreamer(encoder), result = Dir.File(encoder + "-out.avi");
        std::string err;
        ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(Project(video)) + " " + ShellQuote(result), &err), 0)
            << err;
        const std::vector<std::string> source = test::VideoPacketHashes(video);
        ASSERT_EQ(source.size(), 40u);
        EXPECT_EQ(test::VideoPacketHashes(result), source);
        EXPECT_TRUE(test::DecodesCleanly(result));
    }
}

TEST_F(CliForeignAvi, IndexPointingAtOtherBytesEndsTheRenderWithTheFramesError)
{
    const std::string video = Gstreamer("jpegenc");
    const std::string project = Project(video);
    // Frame 7's 'idx1' entry is turned to frame 6's chunk.
    std::vector<uint8_t> b = test::ReadFileBytes(video);
    const std::string d(b.begin(), b.end());
    const size_t idx1 = d.rfind("idx1") + 8;
    ASSERT_EQ(d.substr(idx1 + 16 * 7, 2), "00");
    PutLE32(&b[idx1 + 16 * 7 + 8], GetLE32(&b[idx1 + 16 * 6 + 8]));
    ASSERT_TRUE(test::WriteFileBytes(video, b));
    std::string err;
    const std::string result = Dir.File("damaged-out.avi");
    EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(project) + " " + ShellQuote(result), &err), 1);
    EXPECT_EQ(err, "error: Frame 7 invalid!\n");
    // A run that fails leaves no half result under the target name.
    EXPECT_FALSE(std::filesystem::exists(result));
}

// An AVI of MJPEG pictures and the index-encoded track as PCM, written by FFmpeg.
std::string FfmpegAvi(const test::TTempDir &dir, const std::string &name, double seconds, bool video)
{
    const std::string f = dir.File(name);
    const std::string pictures = "-f lavfi -i testsrc=size=160x120:rate=25:d=" + std::to_string(seconds) + " ";
    EXPECT_TRUE(test::Ffmpeg((video ? pictures : std::string()) + "-i " + ShellQuote(dir.File("audio.wav")) + " -t " +
                             std::to_string(seconds) + (video ? " -map 0:v -map 1:a -c:v mjpeg" : "") +
                             " -c:a pcm_s16le " + ShellQuote(f)));
    return f;
}

TEST_F(CliForeignAvi, DamagedAudioChunkEndsTheRenderWithItsFrameInsteadOfSilence)
{
    const std::string video = FfmpegAvi(Dir, "av.avi", 1.2, true);
    // The fourth audio chunk's header is damaged; its 'idx1' entry still names it.
    std::vector<uint8_t> b = test::ReadFileBytes(video);
    const std::string d(b.begin(), b.end());
    const size_t movi = d.find("movi"), idx1 = d.rfind("idx1") + 8;
    ASSERT_NE(movi, std::string::npos);
    size_t entry = idx1;
    int audioSeen = 0, samplesBefore = 0;
    for (; entry + 16 <= b.size(); entry += 16) {
        if (d.compare(entry, 4, "01wb") != 0)
            continue;
        if (++audioSeen == 4)
            break;
        samplesBefore += int(GetLE32(&b[entry + 12])) / 4;
    }
    ASSERT_EQ(audioSeen, 4);
    const size_t chunk = movi + GetLE32(&b[entry + 8]);
    ASSERT_EQ(d.substr(chunk, 4), "01wb");
    b[chunk] = 'x';
    ASSERT_TRUE(test::WriteFileBytes(video, b));
    const std::string project = Dir.File("av.tsp"), result = Dir.File("av-out.wav");
    ASSERT_EQ(RunCli("project create " + ShellQuote(project) + " --video " + ShellQuote(video) + " --audio " +
                     ShellQuote(video)),
              0);

    std::string err;
    EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(project) + " " + ShellQuote(result), &err), 1);
    // The frame whose samples reach into the damaged chunk (7500 Hz: 300 per frame).
    const int frame = samplesBefore / 300;
    EXPECT_EQ(err, "error: Audio of frame " + std::to_string(frame) + " invalid: the primary track cannot be read at sample " +
                       std::to_string(frame * 300) + ".\n");
    // Nothing is left under the target name: no half result, no silence.
    EXPECT_FALSE(std::filesystem::exists(result));
}

TEST_F(CliForeignAvi, AudioOnlyAviOfFfmpegRendersToItsLastSample)
{
    // FFmpeg states this file's duration longer than the samples it stores; the tail
    // used to be read as a failure and written as silence.
    const std::string audio = FfmpegAvi(Dir, "sound.avi", 1.6, false);
    ASSERT_TRUE(test::MakeTestVideo(Dir.File("clip.avi"), 40, 10));
    const std::string project = Dir.File("sound.tsp"), result = Dir.File("sound-out.wav");
    ASSERT_EQ(RunCli("project create " + ShellQuote(project) + " --video " + ShellQuote(Dir.File("clip.avi")) +
                     " --audio " + ShellQuote(audio)),
              0);
    std::string err;
    ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(project) + " " + ShellQuote(result), &err), 0) << err;
    const std::vector<int16_t> written = test::DecodedAudio(result);
    ASSERT_EQ(written.size(), size_t(12000) * 2);   // 1.6 s of 7500 Hz
    for (size_t i = 0; i < 12000; ++i) {
        ASSERT_EQ(written[2 * i], test::IndexLeft(int64_t(i))) << i;
        ASSERT_EQ(written[2 * i + 1], test::IndexRight(int64_t(i))) << i;
    }
}

TEST_F(CliForeignAvi, MatroskaNamedAviIsNotTakenForAnAvi)
{
    const std::string named = Dir.File("clip.avi");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4 -g 5 -f matroska " +
                             ShellQuote(named)));
    const std::string p = Dir.File("mkv.tsp");
    std::string err;
    const int status = RunCli("project create " + ShellQuote(p) + " --video " + ShellQuote(named) + " --audio " +
                                  ShellQuote(Dir.File("audio.wav")),
                              &err);
    if (status != 0) {
        // Refused with the reason when no reader plug-in takes the file.
        EXPECT_NE(err.find("File format not supported."), std::string::npos) << err;
        return;
    }
    // A plug-in that reads it gives all 25 frames, never a one-frame clip.
    const std::string result = Dir.File("mkv-out.avi");
    ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(p) + " " + ShellQuote(result), &err), 0) << err;
    EXPECT_EQ(test::VideoPacketHashes(result).size(), 25u);
}

} // namespace
} // namespace tessaly
