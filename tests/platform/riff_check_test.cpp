// The check of an AVI's OpenDML index counts against their chunks, and the path check made
// before any reader opens a medium.
#include "platform/riff_check.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/local_media.h"
#include "support/riff_builder.h"
#include "support/test_support.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tessaly {
namespace {

using test::IndexChunk;
using test::TRiffBuilder;
using test::U32;
using test::U64;

// An OpenDML AVI skeleton: a super index in the stream list pointing at a standard index
// of three frames in 'movi'. `superCount`/`standardCount` replace the counts they claim.
class AviIndexCheck : public ::testing::Test {
protected:
    std::string Build(uint32_t superCount, uint32_t standardCount, const std::string &form = "AVI ")
    {
        TRiffBuilder b;
        b.Begin("RIFF", form).Begin("LIST", "hdrl").Begin("LIST", "strl");
        const size_t superAt = b.Pos() + 8;
        b.Chunk("indx", IndexChunk(4, 0, 0, "00dc", 0, {U64(0) + U32(0) + U32(3)})).End().End();
        b.Begin("LIST", "movi");
        const size_t frames = b.Pos();
        for (int i = 0; i < 3; ++i)
            b.Chunk("00dc", "abcd");
        const size_t standardAt = b.Pos();
        std::vector<std::string> entries;
        for (int i = 0; i < 3; ++i)
            entries.push_back(U32(uint32_t(frames + 8 + size_t(i) * 12)) + U32(4));
        b.Chunk("ix00", IndexChunk(2, 0, 1, "00dc", 0, entries)).End().End();
        // The super index's one entry: offset and size of the standard index chunk.
        b.PatchU32(superAt + 24, uint32_t(standardAt));
        b.PatchU32(superAt + 32, 8 + 24 + 3 * 8);
        b.PatchU32(superAt + 4, superCount);
        b.PatchU32(standardAt + 8 + 4, standardCount);
        const std::string path = Dir.File("i" + std::to_string(++FCount) + ".avi");
        EXPECT_TRUE(b.Save(path));
        return path;
    }
    test::TTempDir Dir;

private:
    int FCount = 0;
};

TEST_F(AviIndexCheck, CountsThatFitTheirChunksPassAndOthersAreNamed)
{
    TMediaProblem problem;
    EXPECT_TRUE(AviIndexesFit(Build(1, 3), problem));
    EXPECT_FALSE(problem.Known());
    // A count beyond what the super index chunk holds (one entry of 16 bytes).
    EXPECT_FALSE(AviIndexesFit(Build(0x7FFFFFFF, 3), problem));
    EXPECT_EQ(problem, (TMediaProblem{wrIndexEntries, -1, {0x7FFFFFFF, 1}}));
    // A standard index, reached through the super index, that claims more than its three entries.
    problem = {};
    EXPECT_FALSE(AviIndexesFit(Build(1, 0x7FFFFFFF), problem));
    EXPECT_EQ(problem, (TMediaProblem{wrIndexEntries, -1, {0x7FFFFFFF, 3}}));
    problem = {};
    EXPECT_FALSE(AviIndexesFit(Build(1, 4), problem));
    EXPECT_EQ(problem, (TMediaProblem{wrIndexEntries, -1, {4, 3}}));
    // Other files are no concern of the check.
    problem = {};
    EXPECT_TRUE(AviIndexesFit(Build(0x7FFFFFFF, 3, "WAVE"), problem));
    EXPECT_TRUE(AviIndexesFit(Dir.File("none.avi"), problem));
    EXPECT_FALSE(problem.Known());
}

TEST_F(AviIndexCheck, FfmpegOpensNoAviWhoseIndexDoesNotFitAndNoFolderOrPipe)
{
    AVFormatContext *ctx = nullptr;
    const std::string made = Dir.File("made.avi");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -c:v mjpeg " + test::ShellQuote(made)));
    ASSERT_EQ(OpenLocalMedia(made, &ctx), 0);
    avformat_close_input(&ctx);
    EXPECT_EQ(OpenLocalMedia(Build(0x7FFFFFFF, 3), &ctx), AVERROR_INVALIDDATA);
    EXPECT_EQ(ctx, nullptr);
    const std::string fifo = Dir.File("pipe.avi");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenLocalMedia(fifo, &ctx), AVERROR(ENODEV)); // returns at once: no writer is waited for
    EXPECT_EQ(OpenLocalMedia(Dir.Path(), &ctx), AVERROR(EISDIR));
    EXPECT_EQ(OpenLocalMedia(Dir.File("none.avi"), &ctx), AVERROR(ENOENT));
    EXPECT_EQ(CheckMediaPath(fifo), meNotRegularFile);
    EXPECT_EQ(CheckMediaPath(Dir.Path()), meIsFolder);
    EXPECT_EQ(CheckMediaPath(Dir.File("none.avi")), meFileNotFound);
}

} // namespace
} // namespace tessaly
