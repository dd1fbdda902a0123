// Tests of high-resolution audio in the audio front-end: the plain and extensible format
// records, channel masks, sample arithmetic and conversion in 24/32-bit integer and float,
// and 24-bit, 32-bit and float WAV and AVI files read sample-exactly through every path.
#include "media/input/wave_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/common/byte_order.h"
#include "media/input/wave_format.h"
#include "support/media_error_print.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A 40-byte extensible record of the given sub-format tag.
std::vector<uint8_t> Extensible(uint16_t subTag, uint16_t channels, uint16_t bits, uint32_t mask)
{
    std::string b;
    TByteWriter w(b);
    w.U16(0xFFFE);
    w.U16(channels);
    w.U32(48000);
    w.U32(48000u * channels * bits / 8);
    w.U16(uint16_t(channels * bits / 8));
    w.U16(bits);
    w.U16(22);
    w.U16(bits);
    w.U32(mask);
    w.U32(subTag);
    w.Bytes(kGuidTail, 12);
    return std::vector<uint8_t>(b.begin(), b.end());
}

WAVEFORMATEX FloatFormat(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX f = MakePcmFormat(rate, bits, channels);
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    return f;
}

void Put24(uint8_t *p, int32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}
int32_t Get24(const uint8_t *p) { return int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) >> 8; }

TEST(WaveFormatRecords, ReadResolvesExtensibleRecords)
{
    WAVEFORMATEX f;
    uint32_t mask = 1;
    std::vector<uint8_t> e = Extensible(WAVE_FORMAT_PCM, 6, 24, 0x60F);
    ASSERT_TRUE(ReadWaveFormat(e.data(), e.size(), f, mask));
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 6);
    EXPECT_EQ(f.wBitsPerSample, 24);
    EXPECT_EQ(f.nBlockAlign, 18);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(mask, 0x60Fu);
    EXPECT_TRUE(IsSupportedPcm(f));

    e = Extensible(WAVE_FORMAT_IEEE_FLOAT, 2, 32, 3);
    ASSERT_TRUE(ReadWaveFormat(e.data(), e.size(), f, mask));
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_IEEE_FLOAT);
    EXPECT_TRUE(IsSupportedPcm(f));

    // An unknown sub-format, a record cut short and a plain record stay as stored.
    e[30] ^= 1;
    ASSERT_TRUE(ReadWaveFormat(e.data(), e.size(), f, mask));
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(mask, 0u);
    EXPECT_FALSE(IsSupportedPcm(f));
    e = Extensible(WAVE_FORMAT_PCM, 2, 24, 3);
    ASSERT_TRUE(ReadWaveFormat(e.data(), 39, f, mask));
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    ASSERT_TRUE(ReadWaveFormat(e.data(), 16, f, mask));
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_FALSE(ReadWaveFormat(e.data(), 15, f, mask));

    // Supported widths: PCM 8/16/24/32, float 32/64, each with a matching block align.
    EXPECT_TRUE(IsSupportedPcm(MakePcmFormat(8000, 32, 1)));
    EXPECT_TRUE(IsSupportedPcm(FloatFormat(8000, 64, 2)));
    EXPECT_FALSE(IsSupportedPcm(FloatFormat(8000, 16, 2)));
    EXPECT_FALSE(IsSupportedPcm(MakePcmFormat(8000, 12, 2)));
    EXPECT_TRUE(AreConvertible(MakePcmFormat(8000, 24, 6), FloatFormat(8000, 32, 2)));
    EXPECT_FALSE(AreConvertible(MakePcmFormat(8000, 24, 8), MakePcmFormat(8000, 16, 2)));
    EXPECT_TRUE(AreConvertible(MakePcmFormat(8000, 24, 8), FloatFormat(44100, 32, 8)));
    EXPECT_FALSE(AreConvertible(MakePcmFormat(8000, 16, 33), MakePcmFormat(8000, 24, 33)));
}

TEST(WaveFormatRecords, ResultRecordsAndMasks)
{
    EXPECT_EQ(DefaultChannelMask(1), 0x4u);
    EXPECT_EQ(DefaultChannelMask(2), 0x3u);
    EXPECT_EQ(DefaultChannelMask(6), 0x3Fu);
    EXPECT_EQ(DefaultChannelMask(8), 0x63Fu);
    EXPECT_EQ(DefaultChannelMask(10), 0x3FFu);
    EXPECT_EQ(DefaultChannelMask(0), 0u);
    EXPECT_EQ(EffectiveChannelMask(0x60F, 6), 0x60Fu);
    EXPECT_EQ(EffectiveChannelMask(0x3, 6), 0x3Fu);   // names two speakers, not six

    // Up to two channels of 8 or 16 bits: the 16-byte record as always.
    std::vector<uint8_t> plain = ResultWaveFormat(MakePcmFormat(44100, 16, 2), 0x3);
    ASSERT_EQ(plain.size(), 16u);
    EXPECT_EQ(GetLE16(&plain[0]), 1);
    EXPECT_EQ(GetLE32(&plain[8]), 176400u);
    EXPECT_EQ(GetLE16(&plain[14]), 16);

    struct TCase {
        WAVEFORMATEX Format;
        uint32_t Mask, Want, SubTag;
    } cases[] = {{MakePcmFormat(48000, 24, 2), 0, 0x3, 1},
                 {FloatFormat(48000, 32, 1), 0, 0x4, 3},
                 {MakePcmFormat(48000, 16, 6), 0x60F, 0x60F, 1},
                 {MakePcmFormat(48000, 8, 3), 0x3, 0x7, 1}};
    for (const TCase &c : cases) {
        std::vector<uint8_t> r = ResultWaveFormat(c.Format, c.Mask);
        ASSERT_EQ(r.size(), 40u);
        EXPECT_EQ(GetLE16(&r[0]), 0xFFFE);
        EXPECT_EQ(GetLE16(&r[2]), c.Format.nChannels);
        EXPECT_EQ(GetLE16(&r[12]), c.Format.nBlockAlign);
        EXPECT_EQ(GetLE16(&r[16]), 22);
        EXPECT_EQ(GetLE16(&r[18]), c.Format.wBitsPerSample);
        EXPECT_EQ(GetLE32(&r[20]), c.Want);
        EXPECT_EQ(GetLE32(&r[24]), c.SubTag);
        EXPECT_EQ(0, std::memcmp(&r[28], kGuidTail, 12));
        // It reads back as the format it was made from.
        WAVEFORMATEX back;
        uint32_t mask;
        ASSERT_TRUE(ReadWaveFormat(r.data(), r.size(), back, mask));
        EXPECT_TRUE(SameFormat(back, c.Format));
        EXPECT_EQ(mask, c.Want);
    }
}

TEST(WaveSampleArithmetic, TwentyFourAndThirtyTwoBitIntegers)
{
    WAVEFORMATEX s24 = MakePcmFormat(48000, 24, 2);
    uint8_t a[6], b[6], out[6];
    Put24(a, 1000001);
    Put24(a + 3, -8388608);
    Put24(b, -3);
    Put24(b + 3, 8388607);
    ASSERT_EQ(CrossFade(s24, a, b, out, 0.5), meOk);
    EXPECT_EQ(Get24(out), 499999);   // 499999.0
    EXPECT_EQ(Get24(out + 3), 0);    // -0.5 rounds to even
    ASSERT_EQ(CrossFade(s24, a, b, out, 0.25), meOk);
    EXPECT_EQ(Get24(out), 249998);   // 250000.25 - 2.25 = 249998
    EXPECT_EQ(Get24(out + 3), 4194303);   // 0.25 * -8388608 + 0.75 * 8388607 = 4194303.25
    ASSERT_EQ(Amplify(s24, out, a, 0.25), meOk);
    EXPECT_EQ(Get24(out), 250000);   // 250000.25
    EXPECT_EQ(Get24(out + 3), -2097152);
    ASSERT_EQ(Amplify(s24, out, a, 9.0), meOk);
    EXPECT_EQ(Get24(out), 8388607);  // limited to 24 bits, not to 16
    EXPECT_EQ(Get24(out + 3), -8388608);
    Put24(a, 5);
    ASSERT_EQ(Amplify(s24, out, a, 0.5), meOk);
    EXPECT_EQ(Get24(out), 2);        // 2.5 rounds to even

    WAVEFORMATEX s32 = MakePcmFormat(48000, 32, 1);
    int32_t x = 2000000001, y = -2000000000, z;
    ASSERT_EQ(CrossFade(s32, &x, &y, &z, 0.5), meOk);
    EXPECT_EQ(z, 0);   // 0.5 rounds to even
    ASSERT_EQ(Amplify(s32, &z, &x, 1.5), meOk);
    EXPECT_EQ(z, 2147483647);
    ASSERT_EQ(Amplify(s32, &z, &y, 1.5), meOk);
    EXPECT_EQ(z, -2147483647 - 1);
    x = 1234567891;
    ASSERT_EQ(Amplify(s32, &z, &x, 0.25), meOk);
    EXPECT_EQ(z, 308641973);   // 308641972.75
}

TEST(WaveSampleArithmetic, FloatsAreScaledNotLimited)
{
    WAVEFORMATEX f32 = FloatFormat(48000, 32, 2);
    float a[2] = {0.75f, -0.5f}, b[2] = {-0.25f, 0.125f}, out[2];
    ASSERT_EQ(CrossFade(f32, a, b, out, 0.25), meOk);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], float(0.25 * -0.5 + 0.75 * 0.125));
    ASSERT_EQ(Amplify(f32, out, a, 2.0), meOk);
    EXPECT_EQ(out[0], 1.5f);   // floats may exceed full scale
    EXPECT_EQ(out[1], -1.0f);
    ASSERT_EQ(Amplify(f32, out, a, 0.49), meOk);
    EXPECT_EQ(out[0], float(0.75 * 0.49));
    // In place, as the mixer amplifies.
    ASSERT_EQ(Amplify(f32, a, a, 0.5), meOk);
    EXPECT_EQ(a[0], 0.375f);

    WAVEFORMATEX f64 = FloatFormat(48000, 64, 1);
    double c = 0.1, d = 0.7, e;
    ASSERT_EQ(CrossFade(f64, &c, &d, &e, 0.3), meOk);
    EXPECT_EQ(e, 0.3 * 0.1 + 0.7 * 0.7);
}

TEST(WaveSampleArithmetic, ConversionBetweenEncodings)
{
    uint8_t in[48], out[48];
    // 24 -> 16: rounded to nearest, ties to even; 16 -> 24 is exact.
    WAVEFORMATEX s24 = MakePcmFormat(8000, 24, 2), s16 = MakePcmFormat(8000, 16, 2);
    Put24(in, 0x123480);    // 0x1234.8 -> 0x1234
    Put24(in + 3, 0x123580); // 0x1235.8 -> 0x1236
    ConvertSampleFrame(s24, in, s16, out);
    EXPECT_EQ(GetLE16s(out), 0x1234);
    EXPECT_EQ(GetLE16s(out + 2), 0x1236);
    PutLE16(in, uint16_t(int16_t(-12345)));
    PutLE16(in + 2, 32767);
    ConvertSampleFrame(s16, in, s24, out);
    EXPECT_EQ(Get24(out), -12345 * 256);
    EXPECT_EQ(Get24(out + 3), 32767 * 256);

    // Float -> integers: limited at full scale; integers -> float: exact.
    WAVEFORMATEX f32 = FloatFormat(8000, 32, 2);
    float fv[2] = {1.5f, -0.25f};
    std::memcpy(in, fv, 8);
    ConvertSampleFrame(f32, in, s24, out);
    EXPECT_EQ(Get24(out), 8388607);
    EXPECT_EQ(Get24(out + 3), -2097152);
    ConvertSampleFrame(f32, in, s16, out);
    EXPECT_EQ(GetLE16s(out), 32767);
    EXPECT_EQ(GetLE16s(out + 2), -8192);
    Put24(in, -8388608);
    Put24(in + 3, 4194304);
    ConvertSampleFrame(s24, in, f32, out);
    std::memcpy(fv, out, 8);
    EXPECT_EQ(fv[0], -1.0f);
    EXPECT_EQ(fv[1], 0.5f);

    // Six float channels to 16-bit stereo through the mapping table.
    WAVEFORMATEX f6 = FloatFormat(8000, 32, 6);
    const float six[6] = {0.1f, -0.2f, 0.3f, 0.05f, -0.4f, 0.25f};
    std::memcpy(in, six, sizeof six);
    ConvertSampleFrame(f6, in, s16, out);
    const double c = 0.707106781373, w = 2.236067977971;
    double s = c * (double(six[4]) + six[5]);
    double l = (six[0] + c * six[2] + w * six[3] - s) * 0.186658113969;
    double r = (s + w * six[3] + c * six[2] + six[1]) * 0.186658113969;
    EXPECT_EQ(GetLE16s(out), int16_t(std::nearbyint(l * 32768)));
    EXPECT_EQ(GetLE16s(out + 2), int16_t(std::nearbyint(r * 32768)));

    // 32-bit integers to 8 bits.
    WAVEFORMATEX s32 = MakePcmFormat(8000, 32, 1), u8 = MakePcmFormat(8000, 8, 1);
    PutLE32(in, uint32_t(-1073741824));   // -0.5
    ConvertSampleFrame(s32, in, u8, out);
    EXPECT_EQ(out[0], 64);
}

std::vector<uint8_t> FfmpegDecode(TTempDir &dir, const std::string &file, const std::string &fmt)
{
    std::string raw = dir.File("decoded.raw");
    EXPECT_TRUE(Ffmpeg("-i " + ShellQuote(file) + " -map 0:a:0 -f " + fmt + " " + ShellQuote(raw)));
    return ReadFileBytes(raw);
}

std::vector<uint8_t> ReadAll(TWaveReader &r)
{
    std::vector<uint8_t> out(size_t(r.OutputLength()) * size_t(r.BlockAlign()));
    r.Seek(0);
    EXPECT_TRUE(r.ReadSamples(out.data(), int32_t(r.OutputLength())));
    return out;
}

// Files written by FFmpeg (extensible records) and by sox (plain records) in every
// high-resolution encoding, read through every path: the samples equal FFmpeg's decode
// at the file's own resolution, and the own reader keeps the speaker mask.
TEST(WaveReaderHighResolution, EveryEncodingAndPathMatchesFfmpeg)
{
    TTempDir dir;
    struct TCase {
        const char *Name, *Make, *Raw;
        uint16_t Tag, Bits, Channels;
        uint32_t Mask;   // as the own reader reports it
    } cases[] = {
        {"s24.wav", "ffmpeg:-c:a pcm_s24le", "s24le", 1, 24, 2, 0x3},
        {"s32.wav", "ffmpeg:-c:a pcm_s32le -ac 1", "s32le", 1, 32, 1, 0x4},
        {"f32.wav", "ffmpeg:-c:a pcm_f32le", "f32le", 3, 32, 2, 0x3},
        {"f64.wav", "ffmpeg:-c:a pcm_f64le -rf64 never", "f64le", 3, 64, 2, 0x3},
        {"f32x6.wav", "ffmpeg:-c:a pcm_f32le -ac 6", "f32le", 3, 32, 6, 0x3F},
        {"s24x6.avi", "ffmpeg:-f lavfi -i testsrc=size=32x24:rate=25:duration=1.5 -c:v mpeg4 -c:a pcm_s24le -ac 6",
         "s24le", 1, 24, 6, 0x3F},
        {"plain24.wav", "sox:-t wavpcm -e signed-integer -b 24", "s24le", 1, 24, 2, 0},
        {"plainf32.wav", "sox:-t wavpcm -e floating-point -b 32", "f32le", 3, 32, 2, 0},
    };
    std::string tone = dir.File("tone.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=0.9*sin(2*PI*440*t)|0.3*sin(2*PI*97*t)+0.0001*t:s=44100:d=1.5\" "
                       "-c:a pcm_f32le " + ShellQuote(tone)));
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        std::string file = dir.File(c.Name), make = c.Make;
        if (make.rfind("sox:", 0) == 0) {
            if (RunCommand("command -v sox >/dev/null") != 0)
                GTEST_SKIP() << "sox is not installed";
            ASSERT_EQ(RunCommand("sox " + ShellQuote(tone) + " " + make.substr(4) + " " + ShellQuote(file)), 0);
        } else {
            ASSERT_TRUE(Ffmpeg("-i " + ShellQuote(tone) + " " + make.substr(7) + " " + ShellQuote(file)));
        }
        std::vector<uint8_t> expect = FfmpegDecode(dir, file, c.Raw);
        ASSERT_FALSE(expect.empty());
        bool avi = std::string(c.Name).find(".avi") != std::string::npos;
        for (const char *kind : {"", "MSVW|-1", "ODML|-1"}) {
            SCOPED_TRACE(kind);
            if (avi && std::string(kind) == "MSVW|-1")
                continue;   // AVIs are the own reader's; the system layer is their fallback
            TWaveReader reader;
            ASSERT_TRUE(reader.Open(file, kind, false, 0)) << MediaErrorIdent(reader.Status());
            EXPECT_EQ(reader.InputFormat().wFormatTag, c.Tag);
            EXPECT_EQ(reader.InputFormat().wBitsPerSample, c.Bits);
            EXPECT_EQ(reader.InputFormat().nChannels, c.Channels);
            EXPECT_EQ(reader.BlockAlign(), c.Bits / 8 * c.Channels);
            EXPECT_EQ(ReadAll(reader), expect);
            if (reader.Kind() == ksOdml || c.Channels > 2) {
                EXPECT_EQ(reader.InputChannelMask(), c.Mask);
            }
            EXPECT_EQ(reader.Kind(), avi || std::string(kind) == "ODML|-1" ? ksOdml : ksMsvw);
        }
    }
}

// Output formats of other encodings: an extensible record sets the encoding and the mask,
// a plain one keeps the source's mask while the channels stay.
TEST(WaveReaderHighResolution, OutputFormatsAndMasks)
{
    TTempDir dir;
    std::string wav = dir.File("six.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=0.5|-0.25|0.125|0|0.75|-1:s=8000:d=0.1\" -c:a pcm_s24le " +
                       ShellQuote(wav)));
    TWaveReader reader;
    ASSERT_TRUE(reader.Open(wav, "ODML|-1", false, 0)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.OutputChannelMask(), 0x3Fu);
    std::vector<uint8_t> ext = Extensible(WAVE_FORMAT_IEEE_FLOAT, 6, 32, 0x60F);
    PutLE32(&ext[4], 8000);
    PutLE32(&ext[8], 8000 * 24);
    ASSERT_TRUE(reader.SetOutputFormat(reinterpret_cast<const WAVEFORMATEX *>(ext.data()), uint32_t(ext.size())));
    EXPECT_EQ(reader.OutputFormat().wFormatTag, WAVE_FORMAT_IEEE_FLOAT);
    EXPECT_EQ(reader.OutputChannelMask(), 0x60Fu);
    float one[6];
    reader.Seek(10);
    ASSERT_TRUE(reader.ReadSamples(one, 1));
    const float want[6] = {0.5f, -0.25f, 0.125f, 0.0f, 0.75f, -1.0f};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(one[c], want[c]) << c;
    WAVEFORMATEX s16 = MakePcmFormat(8000, 16, 6);
    ASSERT_TRUE(reader.SetOutputFormat(&s16, sizeof s16));
    EXPECT_EQ(reader.OutputChannelMask(), 0x3Fu);
    s16 = MakePcmFormat(8000, 16, 2);
    ASSERT_TRUE(reader.SetOutputFormat(&s16, sizeof s16));
    EXPECT_EQ(reader.OutputChannelMask(), 0u);
    // Eight channels are delivered as they are, in another encoding or rate with their
    // eight channels, but not mapped onto another count.
    std::string eight = dir.File("eight.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=f=200:r=8000:d=0.1\" -ac 8 -c:a pcm_s24le " + ShellQuote(eight)));
    ASSERT_TRUE(reader.Open(eight, "ODML|-1", false, 0));
    EXPECT_EQ(reader.BlockAlign(), 24);
    EXPECT_EQ(reader.OutputChannelMask(), 0x63Fu);
    EXPECT_FALSE(reader.SetOutputFormat(&s16, sizeof s16));
    EXPECT_EQ(reader.Status(), meAudioFormat);
    EXPECT_EQ(ReadAll(reader), FfmpegDecode(dir, eight, "s24le"));
    WAVEFORMATEX s16x8 = MakePcmFormat(16000, 16, 8);
    ASSERT_TRUE(reader.SetOutputFormat(&s16x8, sizeof s16x8));
    EXPECT_EQ(reader.OutputChannelMask(), 0x63Fu);
    EXPECT_EQ(reader.OutputLength(), 1600);
    std::vector<uint8_t> in = FfmpegDecode(dir, eight, "s24le"), out = ReadAll(reader);
    ASSERT_EQ(out.size(), 1600u * 16);
    for (size_t k = 0; k < 1600; ++k)   // every input sample twice, its upper 16 bits rounded
        for (size_t c = 0; c < 8; ++c) {
            int32_t v = Get24(&in[(k / 2) * 24 + c * 3]);
            ASSERT_EQ(GetLE16s(&out[k * 16 + c * 2]), int16_t(std::min(std::nearbyint(v / 256.0), 32767.0)))
                << k << " " << c;
        }
}

// Segments of one track must agree in their speaker masks as in their formats.
TEST(WaveReaderHighResolution, SegmentsWithOtherMasksDoNotJoin)
{
    TTempDir dir;
    for (const char *part : {"00", "01", "02"}) {
        std::string layout = std::string(part) == "02" ? "6.0" : "5.1";
        ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=f=200:r=8000:d=0.2\" -af aformat=channel_layouts=" + layout +
                           " -c:a pcm_s24le " + ShellQuote(dir.File(std::string("clip.") + part + ".wav"))));
    }
    TWaveReader reader;
    std::string base = dir.File("clip.*.wav");
    // Also through the system media layer, which names no mask of its own.
    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(reader.Open(base + "|00|01", kind, false, 0)) << MediaErrorIdent(reader.Status());
        EXPECT_EQ(reader.OutputLength(), 3200);
        EXPECT_EQ(reader.InputChannelMask(), 0x3Fu);
        EXPECT_FALSE(reader.Open(base + "|00|02", kind, false, 0));
        EXPECT_EQ(reader.Status(), meSegment);
        ASSERT_TRUE(reader.Open(dir.File("clip.02.wav"), kind, false, 0));
        EXPECT_EQ(reader.InputChannelMask(), 0x707u);
    }
}

} // namespace
