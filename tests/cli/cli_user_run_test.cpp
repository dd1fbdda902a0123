// tessaly-cli started as a user starts it: a fresh temporary HOME, no registry or settings
// file, no test hooks. Audio in MP3, AC-3, FLAC, Opus and AAC renders as primary and as
// double track through the plug-ins found beside the program; the language choice, and
// hostile project files refused with their reasons.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

constexpr int kRate = 48000;
constexpr int kSeconds = 3;
// Samples a lossy codec may add or drop (encoder delay and padding).
constexpr long kCodecDelay = 3000;

class CliUserRun : public ::testing::Test {
protected:
    // Runs tessaly-cli in the temporary HOME; returns the exit status, stdout and stderr.
    int Run(const std::string &args, std::string *out = nullptr, std::string *err = nullptr)
    {
        const std::string errFile = Dir.File("stderr.txt");
        std::string text;
        const int status = test::RunCommand("cd " + ShellQuote(Dir.File("")) + " && env -u XDG_CONFIG_HOME HOME=" +
                                                ShellQuote(Dir.File("home")) + " " + test::CliProgram() + " " + args +
                                                " 2>" + ShellQuote(errFile) + " </dev/null",
                                            &text);
        if (out)
            *out = text;
        std::vector<uint8_t> bytes = test::ReadFileBytes(errFile);
        if (err)
            err->assign(bytes.begin(), bytes.end());
        return status;
    }
    // A tone in `ext` made by ffmpeg (a different pitch per file, so tracks are told apart).
    std::string Audio(const std::string &ext, const std::string &codec, int hz)
    {
        const std::string file = Dir.File("tone" + std::to_string(hz) + "." + ext);
        EXPECT_TRUE(test::Ffmpeg("-f lavfi -i \"aevalsrc=0.5*sin(2*PI*" + std::to_string(hz) + "*t)|0.3*sin(2*PI*" +
                                 std::to_string(hz * 3 / 2) + "*t):s=" + std::to_string(kRate) +
                                 ":d=" + std::to_string(kSeconds) + "\" -c:a " + codec + " " + ShellQuote(file)));
        return file;
    }
    static std::vector<int16_t> Decode16(const std::string &file)
    {
        std::string out;
        test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -map 0:a:0 -f s16le -", &out);
        std::vector<int16_t> s(out.size() / 2);
        std::memcpy(s.data(), out.data(), s.size() * 2);
        return s;
    }
    void SetUp() override
    {
        ASSERT_EQ(test::RunCommand("mkdir -p " + ShellQuote(Dir.File("home"))), 0);
        Video = Dir.File("video.avi");
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=" + std::to_string(kSeconds) +
                                 " -c:v mpeg4 " + ShellQuote(Video)));
    }

    test::TTempDir Dir;
    std::string Video;
};

// Correlation of `got` with `ref` at the best lag within the codec delay.
double BestMatch(const std::vector<int16_t> &ref, const std::vector<int16_t> &got)
{
    double best = -1;
    const long from = 30000, n = 3000;
    for (long lag = -kCodecDelay; lag <= kCodecDelay; ++lag) {
        if (from + lag < 0 || size_t((from + lag + n) * 2) > got.size() || size_t((from + n) * 2) > ref.size())
            continue;
        double dot = 0, a2 = 0, b2 = 0;
        for (long i = 0; i < n * 2; ++i) {
            const double a = ref[size_t(from * 2 + i)], b = got[size_t((from + lag) * 2 + i)];
            dot += a * b;
            a2 += a * a;
            b2 += b * b;
        }
        best = std::max(best, dot / std::sqrt(a2 * b2 + 1e-9));
    }
    return best;
}

// The seconds of the "Length:" line of `info`'s audio part; -1 when missing.
double InfoAudioSeconds(const std::string &out)
{
    const size_t audio = out.find("Audio\n");
    const size_t at = audio == std::string::npos ? audio : out.find("Length:", audio);
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 7);
}

TEST_F(CliUserRun, CompressedPrimaryAndDoubleTracksRender)
{
    struct TFormat {
        const char *Ext, *Codec;
        bool Lossless;
    };
    const TFormat formats[] = {{"mp3", "libmp3lame", false}, {"ac3", "ac3", false}, {"flac", "flac", true},
                               {"opus", "libopus", false}, {"m4a", "aac", false}};
    const size_t count = sizeof formats / sizeof formats[0];
    for (size_t i = 0; i < count; ++i) {
        const TFormat &p = formats[i], &d = formats[(i + 2) % count];
        const std::string primary = Audio(p.Ext, p.Codec, 300 + 100 * int(i));
        const std::string dbl = Audio(d.Ext, d.Codec, 1200 + 100 * int(i));
        const std::string what = std::string(p.Ext) + " + " + d.Ext;

        // info names the path that reads the file, and a length within the codec delay.
        std::string out, err;
        ASSERT_EQ(Run("info " + ShellQuote(primary), &out, &err), 0) << what << err;
        EXPECT_NE(out.find("FFmpeg audio"), std::string::npos) << out;
        const std::vector<int16_t> ref = Decode16(primary), refDouble = Decode16(dbl);
        EXPECT_NEAR(InfoAudioSeconds(out) * kRate, double(ref.size() / 2), double(kCodecDelay + kRate / 100)) << out;

        const std::string project = Dir.File("p" + std::to_string(i) + ".tsp");
        ASSERT_EQ(Run("project create " + ShellQuote(project) + " --video " + ShellQuote(Video) + " --audio " +
                          ShellQuote(primary) + " --double " + ShellQuote(dbl),
                      &out, &err),
                  0)
            << what << err;
        // The primary track sounds throughout.
        const std::string wav = Dir.File("r" + std::to_string(i) + ".wav");
        ASSERT_EQ(Run("render " + ShellQuote(project) + " " + ShellQuote(wav) + " --no-progress", &out, &err), 0)
            << what << err;
        std::vector<int16_t> got = Decode16(wav);
        ASSERT_EQ(got.size(), size_t(kRate * kSeconds * 2)) << what;
        if (p.Lossless)
            EXPECT_EQ(got, std::vector<int16_t>(ref.begin(), ref.begin() + long(std::min(ref.size(), got.size()))))
                << what;
        else
            EXPECT_GT(BestMatch(ref, got), 0.99) << what;

        // With the primary track off from the first frame, the double track sounds.
        ASSERT_EQ(Run("project add-marker " + ShellQuote(project) + " 0 option --audio-off", &out, &err), 0) << err;
        ASSERT_EQ(Run("render " + ShellQuote(project) + " " + ShellQuote(wav) + " --no-progress", &out, &err), 0)
            << what << err;
        got = Decode16(wav);
        ASSERT_EQ(got.size(), size_t(kRate * kSeconds * 2)) << what;
        // The 24-bit FLAC double track is rounded to the primary track's width where ffmpeg's
        // 16-bit decode truncates: at most one step apart.
        if (d.Lossless) {
            ASSERT_GE(refDouble.size(), got.size() / 2) << what;
            int worst = 0;
            for (size_t k = 0; k < std::min(refDouble.size(), got.size()); ++k)
                worst = std::max(worst, std::abs(int(got[k]) - int(refDouble[k])));
            EXPECT_LE(worst, 1) << what;
        }
        else
            EXPECT_GT(BestMatch(refDouble, got), 0.99) << what;
    }
}

TEST_F(CliUserRun, LanguageOptionAndUnknownLanguage)
{
    std::string out, err;
    EXPECT_EQ(Run("--language Deutsch info missing.mp3", &out, &err), 1);
    EXPECT_NE(err.find("Datei nicht gefunden"), std::string::npos) << err;
    EXPECT_EQ(Run("info --language=English missing.mp3", &out, &err), 1);
    EXPECT_NE(err.find("File not found"), std::string::npos) << err;
    EXPECT_EQ(Run("--language Vulcan info missing.mp3", &out, &err), 2);
    EXPECT_NE(err.find("Vulcan"), std::string::npos) << err;
    EXPECT_NE(err.find("Deutsch"), std::string::npos) << "the languages there are: " << err;
    EXPECT_EQ(Run("--language", &out, &err), 2);
}

TEST_F(CliUserRun, HostileProjectFilesAreRefusedWithTheirReason)
{
    const std::string wav = Audio("wav", "pcm_s16le", 440);
    auto write = [&](const std::string &video) {
        const std::string text = "[Files]\nVideo=" + video + "\nAudio=" + wav + "\n";
        EXPECT_TRUE(test::WriteFileBytes(Dir.File("h.tsp"), std::vector<uint8_t>(text.begin(), text.end())));
        return ShellQuote(Dir.File("h.tsp"));
    };
    std::string out, err;
    // Clips beyond the limits (a frame lasting 68 years; 2^31 frames at 2^31 frames a
    // second) are refused before anything is allocated for them, and nothing is written.
    const std::string huge = write("*16*16*0*2147483647*1*2147483647*");
    EXPECT_EQ(Run("render " + huge + " " + ShellQuote(Dir.File("h.wav")) + " --no-progress", &out, &err), 1);
    EXPECT_NE(err.find("the frame count 2147483647 is not from 1 to 10000000"), std::string::npos) << err;
    const std::string fast = write("*16*16*0*100*2147483647*1*");
    EXPECT_EQ(Run("render " + fast + " " + ShellQuote(Dir.File("h.avi")) + " --no-progress --yes", &out, &err), 1);
    EXPECT_NE(err.find("the frame rate 2147483647/1 is above 1000 frames per second"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("h.wav")));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("h.avi")));

    const std::pair<std::string, std::string> malformed[] = {
        {"*-1*16*0*10*25*1*", "width \"-1\""},
        {"*16*16*9*10*25*1*", "pixel format \"9\""},
        {"*16*ab*0*10*25*1*", "height \"ab\""},
        {"*16*16*0*10*x*", "frame rate \"x\""},
        {"*16*16*0*10*25*0*", "frame rate scale \"0\""},
    };
    for (const auto &[video, reason] : malformed) {
        const std::string tsp = write(video);
        for (const std::string &cmd : {"project list " + tsp, "render " + tsp + " " + ShellQuote(Dir.File("m.wav"))}) {
            EXPECT_EQ(Run(cmd, &out, &err), 1) << cmd;
            EXPECT_NE(err.find("[Files] Video=" + video), std::string::npos) << err;
            EXPECT_NE(err.find(reason), std::string::npos) << err;
        }
    }
    // A picture no memory holds is refused, not attempted.
    const std::string big = write("*60000*60000*3*10*25*1*");
    EXPECT_EQ(Run("project list " + big, &out, &err), 1);
    EXPECT_NE(err.find("phantom clip"), std::string::npos) << err;
}

} // namespace
} // namespace tessaly
