// Every audio format a user brings, read through the reader plug-in (the plug-in table from
// the registry stand-in's defaults), as projects that name it open it: lossless ones
// sample-exact to ffmpeg's decode, lossy ones within the codec delay; AVI files with MP3 or
// AC-3 audio through the fallback from the own reader to FFmpeg's decoders.
#include "media/input/wave_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/input/vfapi_host.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "support/media_error_print.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// Samples a lossy codec may add or drop at the ends (encoder delay and padding).
constexpr int64_t kCodecDelay = 3000;

const char *const kTone = "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*440*t)|0.3*sin(2*PI*660*t):s=44100:d=2\"";

class PluginFormats : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        SetProgramDirOverride(TESSALY_BIN_DIR);
        // No registry file: the defaults beside the program, as on a fresh machine.
        LoadPluginsFrom(ReadPluginRegistry(Dir.File("registry.ini")));
        if (PluginCount() < 2)
            GTEST_SKIP() << "the reader plug-ins are not built";
    }
    void TearDown() override
    {
        UnloadPlugins();
        SetProgramDirOverride("");
    }

    std::vector<int16_t> Ffmpeg16(const std::string &file)
    {
        std::string out;
        RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -map 0:a:0 -ac 2 -f s16le -", &out);
        std::vector<int16_t> s(out.size() / 2);
        std::memcpy(s.data(), out.data(), s.size() * 2);
        return s;
    }
    // All samples as 16-bit values: wider ones (a 24-bit source keeps its 24 bits) keep their
    // upper two bytes, as ffmpeg's -f s16le does.
    std::vector<int16_t> ReadAll(TWaveReader &r)
    {
        const size_t width = r.OutputFormat().wBitsPerSample / 8;
        std::vector<uint8_t> raw(size_t(r.OutputLength()) * r.OutputFormat().nBlockAlign);
        r.Seek(0);
        EXPECT_TRUE(r.ReadSamples(raw.data(), int32_t(r.OutputLength())));
        std::vector<int16_t> s(width >= 2 ? raw.size() / width : 0);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = int16_t(uint16_t(raw[i * width + width - 2] | raw[i * width + width - 1] << 8));
        return s;
    }
    std::string Make(const std::string &name, const std::string &args)
    {
        std::string file = Dir.File(name);
        EXPECT_TRUE(Ffmpeg(std::string(kTone) + " " + args + " " + ShellQuote(file))) << name;
        return file;
    }

    TTempDir Dir;
};

// The lag (within the codec delay) at which `got` best matches `ref`, and how well.
double BestMatch(const std::vector<int16_t> &ref, const std::vector<int16_t> &got, int64_t &lag)
{
    double best = -1;
    const int64_t from = 20000, n = 4000; // a stretch well inside both
    for (int64_t l = -kCodecDelay; l <= kCodecDelay; ++l) {
        if (from + l < 0 || size_t((from + l + n) * 2) > got.size() || size_t((from + n) * 2) > ref.size())
            continue;
        double dot = 0, a2 = 0, b2 = 0;
        for (int64_t i = 0; i < n * 2; ++i) {
            double a = ref[size_t(from * 2 + i)], b = got[size_t((from + l) * 2 + i)];
            dot += a * b;
            a2 += a * a;
            b2 += b * b;
        }
        double c = dot / std::sqrt(a2 * b2 + 1e-9);
        if (c > best) {
            best = c;
            lag = l;
        }
    }
    return best;
}

} // namespace

TEST_F(PluginFormats, LosslessFormatsOpenSampleExact)
{
    for (const auto &[name, args] : {std::pair<std::string, std::string>{"a.flac", "-c:a flac"},
                                     {"a.wv", "-c:a wavpack"},
                                     {"a.mka", "-c:a flac"}}) {
        std::string file = Make(name, args);
        TWaveReader r;
        ASSERT_TRUE(r.Open(file, "VFAP|SOUNDPULL", true, 0)) << name << ": " << MediaErrorIdent(r.Status());
        EXPECT_EQ(r.KindString(), "VFAP|SOUNDPULL") << name;
        EXPECT_EQ(ReadAll(r), Ffmpeg16(file)) << name;
    }
}

TEST_F(PluginFormats, LossyFormatsOpenWithinTheCodecDelay)
{
    for (const auto &[name, args] :
         {std::pair<std::string, std::string>{"a.mp3", "-c:a libmp3lame"}, {"a.mp2", "-c:a mp2"},
          {"a.ac3", "-c:a ac3"}, {"a.eac3", "-c:a eac3"}, {"a.m4a", "-c:a aac"}, {"a.aac", "-c:a aac"},
          {"a.ogg", "-c:a libvorbis"}, {"a.opus", "-c:a libopus -ar 48000"}, {"a.webm", "-c:a libopus -ar 48000"},
          {"a.wma", "-c:a wmav2"}, {"a.mp4", "-c:a aac"}}) {
        std::string file = Make(name, args);
        TWaveReader r;
        ASSERT_TRUE(r.Open(file, "VFAP|SOUNDPULL", true, 0)) << name << ": " << MediaErrorIdent(r.Status());
        EXPECT_EQ(r.KindString(), "VFAP|SOUNDPULL") << name;
        std::vector<int16_t> ref = Ffmpeg16(file), got = ReadAll(r);
        EXPECT_LE(std::llabs(int64_t(got.size() / 2) - int64_t(ref.size() / 2)), kCodecDelay) << name;
        int64_t lag = 0;
        EXPECT_GT(BestMatch(ref, got, lag), 0.99) << name << " at lag " << lag;
    }
}

TEST_F(PluginFormats, CompressedAudioOfAnAviComesThroughTheFallback)
{
    for (const char *codec : {"libmp3lame", "ac3"}) {
        std::string avi = Dir.File(std::string(codec) + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 " + std::string(kTone) +
                           " -c:v mpeg4 -c:a " + codec + " " + ShellQuote(avi)));
        TWaveReader r;
        // The own reader and the system layer deliver no PCM for it: FFmpeg decodes it,
        // delivered as 16-bit stereo exactly as ffmpeg converts it.
        ASSERT_TRUE(r.Open(avi, "AUTO|-1", true, 0)) << codec << ": " << MediaErrorIdent(r.Status());
        EXPECT_EQ(r.Kind(), ksLavf) << codec;
        WAVEFORMATEX s16 = MakePcmFormat(44100, 16, 2);
        ASSERT_TRUE(r.SetOutputFormat(&s16, sizeof s16));
        EXPECT_EQ(ReadAll(r), Ffmpeg16(avi)) << codec;
        // Without fallback the compressed stream is refused, not misread.
        TWaveReader strict;
        EXPECT_FALSE(strict.Open(avi, "ODML|-1", false, 0)) << codec;
    }
}

TEST_F(PluginFormats, EveryTablePatternIsClaimedBySoundpull)
{
    const std::string patterns = PluginPatternList(1);
    ASSERT_EQ(PluginName(1), "soundpull");
    size_t start = 0;
    int count = 0;
    while (start < patterns.size()) {
        size_t end = patterns.find(';', start);
        std::string p = patterns.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? patterns.size() : end + 1;
        std::string file = "song" + p.substr(1);
        // A later plug-in claims only what an earlier one leaves (framepull takes AVI and WAV).
        EXPECT_GE(FindPlugin(file, VF_STREAM_AUDIO, 0), 0) << file;
        EXPECT_TRUE(PluginClaimsFile(1, file, VF_STREAM_AUDIO, 0)) << file;
        ++count;
    }
    EXPECT_GE(count, 17);
    for (const char *ext : {".mp3", ".mp2", ".ac3", ".eac3", ".dts", ".aac", ".m4a", ".mp4", ".flac", ".ogg", ".oga",
                            ".opus", ".mka", ".mkv", ".webm", ".wma", ".wv"})
        EXPECT_EQ(FindPlugin(std::string("x") + ext, VF_STREAM_AUDIO, 0), 1) << ext;
}
