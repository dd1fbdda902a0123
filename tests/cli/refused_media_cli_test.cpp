// tessaly-cli on media it must refuse, as a user starts it: WAVE files whose header
// contradicts itself are refused with the reason by `info` and by `render`, which writes
// nothing under the target name and hands them to no other reader; an AVI index claiming
// more entries than its chunk holds is refused before any demuxer reads it (memory limited
// to 4 GB for every run); folders and pipes given as media or project files are named as
// such, and a pipe is never opened.
#include <chrono>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/riff_builder.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;
using test::U16;
using test::U32;

class CliRefusedMedia : public ::testing::Test {
protected:
    // Runs tessaly-cli in the temporary HOME; the exit status, with stderr in *err.
    int Run(const std::string &args, std::string *err)
    {
        const std::string errFile = Dir.File("stderr.txt");
        std::string out;
        const int status = test::RunCommand("cd " + ShellQuote(Dir.Path()) + " && env -u XDG_CONFIG_HOME HOME=" +
                                                ShellQuote(Dir.File("home")) + " timeout 60 sh -c 'ulimit -v 4000000 && exec \"$0\" \"$@\"' " + test::CliProgram() +
                                                " " + args + " 2>" + ShellQuote(errFile) + " </dev/null",
                                            &out);
        const std::vector<uint8_t> bytes = test::ReadFileBytes(errFile);
        err->assign(bytes.begin(), bytes.end());
        return status;
    }
    // A WAVE file of one 'fmt ' record (tag, channels, rate, bits, block align) and the
    // given 'data' chunks, 2 s of 16-bit-sized sample bytes each unless given.
    static std::vector<uint8_t> Wave(uint16_t channels, uint16_t bits, uint16_t align,
                                     const std::vector<std::string> &data)
    {
        const uint32_t rate = 8000;
        const std::string fmt = U16(1) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
        test::TRiffBuilder b;
        b.Begin("RIFF", "WAVE").Chunk("fmt ", fmt);
        for (const std::string &d : data)
            b.Chunk("data", d);
        return b.End().Bytes();
    }
    static std::string Noise(size_t bytes)
    {
        std::string s(bytes, '\0');
        for (size_t i = 0; i < bytes; ++i)
            s[i] = char((i * 7919u) >> 3);
        return s;
    }
    void SetUp() override
    {
        ASSERT_EQ(test::RunCommand("mkdir -p " + ShellQuote(Dir.File("home"))), 0);
        Video = Dir.File("video.avi");
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -c:v mjpeg " + ShellQuote(Video)));
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=sample_rate=8000:duration=2 -ac 2 -c:a pcm_s16le " +
                                 ShellQuote(Dir.File("good.wav"))));
    }

    test::TTempDir Dir;
    std::string Video;
};

// An OpenDML stream list whose super index claims `count` entries in a chunk of one.
std::vector<uint8_t> AviWithSuperIndexCount(uint32_t count)
{
    test::TRiffBuilder b;
    b.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", test::AviMainHeader(40000, 3, 1, 16, 16));
    b.Begin("LIST", "strl").Chunk("strh", test::StreamHeader("vids", "MJPG", 1, 25, 0, 3, 0, 16, 16));
    b.Chunk("strf", test::BitmapInfo(16, 16, 24, "MJPG"));
    const size_t indexAt = b.Pos() + 8;
    b.Chunk("indx", test::IndexChunk(4, 0, 0, "00dc", 0, {test::U64(0) + U32(0) + U32(3)})).End().End();
    b.Begin("LIST", "movi").Chunk("00dc", "abcd").End().End();
    b.PatchU32(indexAt + 4, count);
    return b.Bytes();
}

TEST_F(CliRefusedMedia, SelfContradictingWavesAreRefusedWithTheirReasonAndNeverRendered)
{
    struct TCase {
        const char *Name;
        std::vector<uint8_t> Bytes;
        const char *Reason;
    };
    const TCase cases[] = {
        {"align3.wav", Wave(2, 16, 3, {Noise(48000)}),
         "block align 3 does not match 2 channels of 16 bits (4 bytes)"},
        {"bits7.wav", Wave(1, 7, 1, {Noise(16000)}), "7-bit samples are not supported (8, 16, 24 or 32 bits)"},
        {"ch255.wav", Wave(255, 16, 510, {Noise(51000)}), "255 channels are not supported"},
        {"twodata.wav", Wave(2, 16, 4, {Noise(32000), Noise(32000)}),
         "the file holds 2 'data' chunks, so which one is the sound is unclear"},
    };
    // The project is made over a good track, which is then replaced by the damaged one.
    std::string err;
    const std::string tsp = ShellQuote(Dir.File("p.tsp"));
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Dir.File(c.Name);
        ASSERT_TRUE(test::WriteFileBytes(file, c.Bytes));
        EXPECT_EQ(Run("info " + ShellQuote(file), &err), 1);
        EXPECT_NE(err.find(c.Reason), std::string::npos) << err;

        std::filesystem::copy_file(Dir.File("good.wav"), Dir.File("track.wav"),
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(Run("project create " + tsp + " --video " + ShellQuote(Video) + " --audio " +
                          ShellQuote(Dir.File("track.wav")) + " --yes",
                      &err),
                  0)
            << err;
        ASSERT_TRUE(test::WriteFileBytes(Dir.File("track.wav"), c.Bytes));
        for (const char *target : {"out.wav", "out.avi", "out.mkv"}) {
            EXPECT_EQ(Run("render " + tsp + " " + ShellQuote(Dir.File(target)) + " --no-progress --yes", &err), 1)
                << target;
            EXPECT_NE(err.find(c.Reason), std::string::npos) << target << ": " << err;
            EXPECT_FALSE(std::filesystem::exists(Dir.File(target))) << target;
        }
        // Asked for as a track of a new project, the file is refused the same way.
        EXPECT_EQ(Run("project create " + ShellQuote(Dir.File("q.tsp")) + " --video " + ShellQuote(Video) +
                          " --audio " + ShellQuote(file) + " --yes",
                      &err),
                  1);
        EXPECT_NE(err.find(c.Reason), std::string::npos) << err;
    }
}

// Demuxers size their tables by the claimed count (16 GiB here) before reading any entry:
// with memory limited the program must still answer with the reason, not end.
TEST_F(CliRefusedMedia, AnIndexClaimingMoreEntriesThanItsChunkHoldsIsRefusedBeforeAnyDemuxerReadsIt)
{
    ASSERT_TRUE(test::WriteFileBytes(Dir.File("huge.avi"), AviWithSuperIndexCount(0x7FFFFFFF)));
    std::string err;
    EXPECT_EQ(Run("info huge.avi", &err), 1);
    EXPECT_NE(err.find("an index claims 2147483647 entries, but its chunk holds room for 1"), std::string::npos) << err;
    EXPECT_EQ(Run("project create p.tsp --video huge.avi --yes", &err), 1);
    EXPECT_NE(err.find("an index claims 2147483647 entries"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("p.tsp")));
}

TEST_F(CliRefusedMedia, FoldersAndPipesAreNamedAndPipesNeverOpened)
{
    const std::string folder = Dir.File("folder.wav"), fifo = Dir.File("pipe.wav");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(Dir.File("folder.tsp")));
    ASSERT_EQ(mkfifo(Dir.File("pipe.tsp").c_str(), 0600), 0);
    std::string err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("info " + ShellQuote(folder), &err), 1);
    EXPECT_NE(err.find("The path names a folder, not a file."), std::string::npos) << err;
    EXPECT_EQ(Run("info " + ShellQuote(fifo), &err), 1);
    EXPECT_NE(err.find("The path names no regular file"), std::string::npos) << err;
    for (const std::string &medium : {folder, fifo}) {
        for (const char *role : {"--video", "--audio"}) {
            const std::string args = std::string(role) == "--video" ? "--video " + ShellQuote(medium)
                                                                    : "--video " + ShellQuote(Video) + " --audio " +
                                                                          ShellQuote(medium);
            EXPECT_EQ(Run("project create " + ShellQuote(Dir.File("n.tsp")) + " " + args + " --yes", &err), 1) << args;
            EXPECT_NE(err.find(medium == folder ? "a folder, not a file" : "no regular file"), std::string::npos)
                << err;
            EXPECT_EQ(err.find("File not found"), std::string::npos) << err;
        }
    }
    for (const char *project : {"folder.tsp", "pipe.tsp"}) {
        for (const std::string &cmd : {std::string("render ") + project + " out.wav", std::string("project list ") + project}) {
            EXPECT_EQ(Run(cmd, &err), 1) << cmd;
            EXPECT_NE(err.find(std::string("The project file \"") + project + "\" cannot be read:"), std::string::npos)
                << err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Dir.File("out.wav")));
    // No run waited for a writer on a pipe (each would have taken the 60 s time-out).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(50));
}

} // namespace
} // namespace tessaly
