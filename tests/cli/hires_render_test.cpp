// Tests of high-resolution and multichannel audio through `tessaly-cli` as a user runs it:
// 24- and 32-bit integer and float sources in WAV and AVI files (plain and extensible
// format records) render at their own resolution, cross-fades and volume work on them,
// and the results name their channel layout.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
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

constexpr uint32_t kRate = 8000;
constexpr int kFrames = 60;           // frames of the test video (25 fps)
constexpr int kN = 320;               // sample frames per video frame
constexpr int64_t kSourceSamples = 24000;

// Sample encodings of the test sources.
enum TEnc { enS24, enS32, enF32 };

int BytesOf(TEnc e) { return e == enS24 ? 3 : 4; }
std::string RawFormat(TEnc e) { return e == enS24 ? "s24le" : e == enS32 ? "s32le" : "f32le"; }

// The 'fmt ' record: plain (tag 1 or 3, 16 bytes) or extensible (40 bytes, mask given).
std::string FmtRecord(TEnc e, int channels, bool extensible, uint32_t mask)
{
    std::string b;
    TByteWriter w(b);
    const uint16_t tag = e == enF32 ? 3 : 1, bits = uint16_t(8 * BytesOf(e));
    const uint16_t block = uint16_t(BytesOf(e) * channels);
    w.U16(extensible ? 0xFFFE : tag);
    w.U16(uint16_t(channels));
    w.U32(kRate);
    w.U32(kRate * block);
    w.U16(block);
    w.U16(bits);
    if (extensible) {
        w.U16(22);
        w.U16(bits);
        w.U32(mask);
        w.U32(tag);
        const uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        w.Bytes(tail, 12);
    }
    return b;
}

// The stored bytes of one channel value; integers are taken modulo their range.
void PutValue(TByteWriter &w, TEnc e, double v)
{
    if (e == enF32) {
        float f = float(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        w.U32(u);
    } else if (e == enS32) {
        w.U32(uint32_t(int64_t(v)));
    } else {
        uint32_t u = uint32_t(int64_t(v));
        w.U8(uint8_t(u));
        w.U16(uint16_t(u >> 8));
    }
}

// Channel value c of sample i of a test track: full-range patterns that differ in every
// low byte, so a result cut to 16 bits cannot pass; the double track has other values.
double SourceValue(TEnc e, int64_t i, int c, bool dbl)
{
    if (e == enF32)
        return std::sin(double(i) * (dbl ? 0.0123 : 0.0071) + c) * (dbl ? 0.7 : 0.95);
    int64_t range = e == enS24 ? (int64_t(1) << 24) : (int64_t(1) << 32);
    int64_t v = (i * (dbl ? 104723 : 7919) + c * 2654435761LL + (dbl ? 99991 : 12345)) % range;
    return double(v - range / 2);
}

// A WAV of kSourceSamples test samples.
std::string MakeWave(const std::string &path, TEnc e, int channels, bool extensible, uint32_t mask, bool dbl)
{
    std::string data;
    TByteWriter d(data);
    for (int64_t i = 0; i < kSourceSamples; ++i)
        for (int c = 0; c < channels; ++c)
            PutValue(d, e, SourceValue(e, i, c, dbl));
    std::string fmt = FmtRecord(e, channels, extensible, mask);
    std::string b;
    TByteWriter w(b);
    w.U32(FourCC("RIFF"));
    w.U32(uint32_t(4 + 8 + fmt.size() + 8 + data.size()));
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(uint32_t(fmt.size()));
    w.Bytes(fmt.data(), fmt.size());
    w.U32(FourCC("data"));
    w.U32(uint32_t(data.size()));
    w.Bytes(data.data(), data.size());
    EXPECT_TRUE(test::WriteFileBytes(path, std::vector<uint8_t>(b.begin(), b.end())));
    return path;
}

// The raw samples of a file's first audio stream as FFmpeg decodes them.
std::vector<uint8_t> Decoded(test::TTempDir &dir, const std::string &file, TEnc e)
{
    std::string raw = dir.File("decoded.raw");
    EXPECT_TRUE(test::Ffmpeg("-i " + ShellQuote(file) + " -map 0:a:0 -f " + RawFormat(e) + " " + ShellQuote(raw)));
    return test::ReadFileBytes(raw);
}

// codec, sample format, channel count and layout of the first audio stream, as ffprobe says.
std::string Probe(const std::string &file)
{
    std::string out;
    test::RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                     "stream=codec_name,channels,channel_layout -of default=nw=1 " + ShellQuote(file),
                     &out);
    return out;
}

class CliHighResolution : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::MakeTestVideo(Dir.File("video.avi"), kFrames, 10)); }

    // Runs tessaly-cli in the test folder as HOME; the exit status, stderr into *err.
    int Cli(const std::string &args, std::string *err = nullptr)
    {
        std::string errFile = Dir.File("stderr");
        int status = test::RunCommand("HOME=" + ShellQuote(Dir.Path()) + " " + test::CliProgram() + " " + args +
                                      " 2>" + ShellQuote(errFile) + " </dev/null >/dev/null");
        if (err) {
            std::vector<uint8_t> bytes = test::ReadFileBytes(errFile);
            err->assign(bytes.begin(), bytes.end());
        }
        return status;
    }
    // A project of the test video with the given tracks ("" for none).
    std::string Project(const std::string &name, const std::string &audio, const std::string &dbl = "")
    {
        std::string p = Dir.File(name);
        std::string args = "project create " + ShellQuote(p) + " --video " + ShellQuote(Dir.File("video.avi")) +
                           " --audio " + ShellQuote(audio);
        if (!dbl.empty())
            args += " --double " + ShellQuote(dbl);
        std::string err;
        EXPECT_EQ(Cli(args, &err), 0) << err;
        return p;
    }
    // Renders the project into name (.avi or .wav); checks that FFmpeg decodes it cleanly.
    std::string Render(const std::string &project, const std::string &name)
    {
        std::string out = Dir.File(name), err;
        EXPECT_EQ(Cli("render --no-progress " + ShellQuote(project) + " " + ShellQuote(out), &err), 0) << err;
        EXPECT_TRUE(test::DecodesCleanly(out)) << name;
        return out;
    }
    // An AVI of the test video with the WAV's audio copied beside it (FFmpeg writes an
    // extensible 'strf'); with plainTag that record's tag is turned into the sub-format's.
    std::string MuxAvi(const std::string &wav, const std::string &name, bool plainTag)
    {
        std::string avi = Dir.File(name);
        EXPECT_TRUE(test::Ffmpeg("-i " + ShellQuote(Dir.File("video.avi")) + " -i " + ShellQuote(wav) +
                                 " -map 0:v -map 1:a -c copy " + ShellQuote(avi)));
        std::vector<uint8_t> b = test::ReadFileBytes(avi);
        if (plainTag) {
            bool patched = false;
            for (size_t i = 0; i + 40 < b.size() && !patched; ++i)
                if (std::memcmp(&b[i], "strf", 4) == 0 && GetLE16(&b[i + 8]) == 0xFFFE) {
                    PutLE16(&b[i + 8], GetLE16(&b[i + 8 + 24]));
                    patched = true;
                }
            EXPECT_TRUE(patched);
            EXPECT_TRUE(test::WriteFileBytes(avi, b));
        }
        return avi;
    }

    test::TTempDir Dir;
};

// Without markers the result holds the source's samples at the source's resolution,
// whatever the source's container and format record, in the AVI and the WAV result; the
// source's speaker mask (or the usual one of its channel count) names the layout.
TEST_F(CliHighResolution, NoMarkerResultsKeepTheSourceSamples)
{
    struct TCase {
        const char *Name;
        TEnc Enc;
        int Channels;
        bool Extensible;
        bool InAvi, PlainAviTag;
        uint32_t Mask;
        const char *Codec, *Layout;
    };
    const TCase cases[] = {
        {"s24 plain wav", enS24, 2, false, false, false, 0, "pcm_s24le", "stereo"},
        {"s24 extensible wav", enS24, 2, true, false, false, 3, "pcm_s24le", "stereo"},
        {"s32 plain wav", enS32, 1, false, false, false, 0, "pcm_s32le", "mono"},
        {"f32 plain wav", enF32, 2, false, false, false, 0, "pcm_f32le", "stereo"},
        {"f32 6ch side wav", enF32, 6, true, false, false, 0x60F, "pcm_f32le", "5.1(side)"},
        {"s24 avi", enS24, 2, true, true, false, 3, "pcm_s24le", "stereo"},
        {"s24 avi plain tag", enS24, 2, true, true, true, 3, "pcm_s24le", "stereo"},
        {"f32 6ch avi", enF32, 6, true, true, false, 0x3F, "pcm_f32le", "5.1"},
    };
    const int64_t total = int64_t(kFrames) * kN;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        std::string source = MakeWave(Dir.File("src.wav"), c.Enc, c.Channels, c.Extensible, c.Mask, false);
        if (c.InAvi)
            source = MuxAvi(source, "src.avi", c.PlainAviTag);
        std::vector<uint8_t> expect = Decoded(Dir, source, c.Enc);
        ASSERT_GE(expect.size(), size_t(total * c.Channels * BytesOf(c.Enc)));
        expect.resize(size_t(total * c.Channels * BytesOf(c.Enc)));
        std::string project = Project("p.tsp", source);
        for (const char *result : {"out.avi", "out.wav"}) {
            std::string out = Render(project, result);
            EXPECT_EQ(Decoded(Dir, out, c.Enc), expect) << result;
            std::string probe = Probe(out);
            EXPECT_NE(probe.find(std::string("codec_name=") + c.Codec), std::string::npos) << result << probe;
            EXPECT_NE(probe.find("channels=" + std::to_string(c.Channels)), std::string::npos) << result << probe;
            EXPECT_NE(probe.find(std::string("channel_layout=") + c.Layout + "\n"), std::string::npos)
                << result << probe;
        }
    }
}

// A 6-channel 16-bit source: the result carries the extensible record with the 5.1
// mask (formerly plain PCM without a layout), samples unchanged.
TEST_F(CliHighResolution, SixChannelSixteenBitResultsNameTheirLayout)
{
    std::string wav = Dir.File("six.wav");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i \"sine=f=300:r=8000:d=3\" -ac 6 -c:a pcm_s16le " + ShellQuote(wav)));
    std::string project = Project("p.tsp", wav);
    std::string raw = Dir.File("src.raw");
    ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(wav) + " -f s16le " + ShellQuote(raw)));
    std::vector<uint8_t> expect = test::ReadFileBytes(raw);
    expect.resize(size_t(kFrames) * kN * 12);
    for (const char *result : {"out6.avi", "out6.wav"}) {
        std::string out = Render(project, result);
        std::string probe = Probe(out);
        EXPECT_NE(probe.find("channel_layout=5.1\n"), std::string::npos) << result << probe;
        ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(out) + " -f s16le " + ShellQuote(raw)));
        EXPECT_EQ(test::ReadFileBytes(raw), expect) << result;
    }
}

// Option markers switch to the double track at half volume (factor 0.25) and back (the
// volume stays): the frames where the primary track stops and resumes cross-fade, sample
// by sample as computed here, at 24 bits and in float. A new project mixes in floating
// point: the double's volume and the fade are rounded once.
TEST_F(CliHighResolution, CrossFadeAndVolumeKeepTheResolution)
{
    for (TEnc e : {enS24, enF32}) {
        SCOPED_TRACE(RawFormat(e));
        std::string primary = MakeWave(Dir.File("a.wav"), e, 2, e == enS24, 0x3, false);
        std::string dbl = MakeWave(Dir.File("d.wav"), e, 2, false, 0, true);
        std::string project = Project("fade.tsp", primary, dbl);
        ASSERT_EQ(Cli("project add-marker " + ShellQuote(project) + " 10 option --audio-off --volume 50"), 0);
        ASSERT_EQ(Cli("project add-marker " + ShellQuote(project) + " 20 option"), 0);
        // What the stored sample of a computed value is: floats as float, integers rounded
        // to nearest (ties to even) within 24 bits.
        auto stored = [e](double v) {
            if (e == enF32)
                return double(float(v));
            return std::clamp(std::nearbyint(v), -8388608.0, 8388607.0);
        };
        auto value = [&](int64_t j, int c, bool dbl) { return double(float(SourceValue(e, j, c, dbl))); };
        std::string expect;
        TByteWriter w(expect);
        for (int64_t j = 0; j < int64_t(kFrames) * kN; ++j) {
            const int64_t frame = j / kN;
            const double x = double(j % kN) / kN;
            for (int c = 0; c < 2; ++c) {
                double p = e == enF32 ? value(j, c, false) : SourceValue(e, j, c, false);
                double d = e == enF32 ? value(j, c, true) : SourceValue(e, j, c, true);
                double quiet = stored(d * 0.25);
                double v = frame < 10 ? p
                           : frame == 10 ? stored(x * d * 0.25 + (1.0 - x) * p)   // fades out of the primary
                           : frame < 20  ? quiet
                           : frame == 20 ? stored(x * p + (1.0 - x) * d * 0.25)   // the primary resumes
                                         : p;
                PutValue(w, e, v);
            }
        }
        for (const char *result : {"fade.avi", "fade.wav"}) {
            std::string out = Render(project, result);
            std::vector<uint8_t> got = Decoded(Dir, out, e);
            ASSERT_EQ(got.size(), expect.size()) << result;
            for (size_t i = 0; i < got.size(); i += size_t(BytesOf(e)))
                ASSERT_EQ(0, std::memcmp(&got[i], &expect[i], size_t(BytesOf(e))))
                    << result << ": sample frame " << i / size_t(2 * BytesOf(e)) << " channel "
                    << (i / size_t(BytesOf(e))) % 2;
        }
    }
}

} // namespace
} // namespace tessaly
