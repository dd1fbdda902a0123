// `tessaly-cli sync`: a video with its own sound and a late, slightly fast dub give a
// project, a Matroska result and a passed verification; unrelated sound gives no result.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

int RunCli(const std::string &args, std::string *out)
{
    return test::RunCommand(test::CliProgram() + " " + args + " 2>&1 </dev/null", out);
}

class CliSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=20 -f lavfi -i "
                                 "anoisesrc=d=20:c=pink:r=48000:a=0.3,lowpass=3000 -map 0 -map 1 -c:v libx264 -bf 2 "
                                 "-g 50 -c:a pcm_s16le -shortest " + Q("film.avi")));
    }
    std::string Q(const std::string &name) const { return ShellQuote(Dir.File(name)); }
    test::TTempDir Dir;
};

TEST_F(CliSync, DubIsPutInSyncRenderedAndVerified)
{
    ASSERT_TRUE(test::Ffmpeg("-i " + Q("film.avi") + " -map 0:a -af " + ShellQuote("adelay=400|400,atempo=1.001") + " -ac 2 -t 20 " +
                             Q("dub.wav")));
    std::string out;
    ASSERT_EQ(RunCli("sync " + Q("film.avi") + " " + Q("dub.wav") + " -o " + Q("film.synced.mkv") +
                         " --no-progress --plot " + Q("plot.svg"),
                     &out),
              0) << out;
    EXPECT_NE(out.find("decision"), std::string::npos) << out;
    EXPECT_NE(out.find("every matched window lies within"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(Dir.File("film.synced.mkv.tsp")));
    EXPECT_GT(std::filesystem::file_size(Dir.File("plot.svg")), 1000u);
    // The result is what render makes of the project sync wrote.
    ASSERT_EQ(RunCli("render --no-progress " + Q("film.synced.mkv.tsp") + " " + Q("again.wav"), &out), 0) << out;
    EXPECT_EQ(test::DecodedAudio(Dir.File("film.synced.mkv")), test::DecodedAudio(Dir.File("again.wav")));
    EXPECT_EQ(test::VideoPacketHashes(Dir.File("film.synced.mkv")).size(), 500u);
    EXPECT_TRUE(test::DecodesCleanly(Dir.File("film.synced.mkv")));
}

TEST_F(CliSync, UnrelatedSoundGivesNoResult)
{
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i anoisesrc=d=20:c=white:r=48000:a=0.3:seed=7 -ac 2 " + Q("other.wav")));
    std::string out;
    EXPECT_EQ(RunCli("sync " + Q("film.avi") + " " + Q("other.wav") + " -o " + Q("r.mkv") + " --no-progress", &out), 1);
    EXPECT_NE(out.find("no match"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("r.mkv")));
    EXPECT_EQ(RunCli("sync " + Q("film.avi") + " -o " + Q("r.mkv"), &out), 2);
    EXPECT_EQ(RunCli("sync " + Q("film.avi") + " " + Q("other.wav") + " -o " + Q("r.mkv") + " --keep most", &out), 2);
}

} // namespace
} // namespace tessaly
