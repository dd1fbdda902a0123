// `tessaly-cli render` on AVIs written by GStreamer's muxer (absolute 'idx1' offsets):
// every result video packet equals the source's; an index that points at the wrong bytes
// ends the run with the frame's error before those bytes are copied; a Matroska file
// named ".avi" is never rendered as an AVI.
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
    // A run that stops early keeps what it wrote, closed properly: the frames before
    // the damaged one, each the source's, and nothing of the wrong bytes.
    std::vector<std::string> source = test::VideoPacketHashes(video);
    ASSERT_GE(source.size(), 7u);
    source.resize(7);
    EXPECT_EQ(test::VideoPacketHashes(result), source);
    EXPECT_TRUE(test::DecodesCleanly(result));
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
