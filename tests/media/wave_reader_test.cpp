// Tests of the audio source front-end: every access path on files made by ffmpeg or by
// hand, sample-exact comparisons with ffmpeg's decode, rate/width/channel conversion,
// segment lists, reads at the end, fallbacks and the open dialog's filter table.
#include "media/input/wave_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <unistd.h>

#include "media/common/byte_order.h"
#include "media/input/vfapi_host.h"
#include "media/input/wave_choose.h"
#include "shell/messages.h"
#include "support/media_error_print.h"
#include "support/shipped_language.h"
#include "support/test_support.h"
#include "test_plugin/test_plugin_media.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// A WAV file of the given PCM format around raw sample bytes.
void MakeWav(const std::string &path, uint32_t rate, uint16_t bits, uint16_t channels, const std::vector<uint8_t> &data)
{
    std::string out;
    TByteWriter w(out);
    uint16_t block = uint16_t(bits * channels / 8);
    w.U32(FourCC("RIFF"));
    w.U32(uint32_t(36 + data.size() + (data.size() & 1)));
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(16);
    w.U16(1);
    w.U16(channels);
    w.U32(rate);
    w.U32(rate * block);
    w.U16(block);
    w.U16(bits);
    w.U32(FourCC("data"));
    w.U32(uint32_t(data.size()));
    w.Bytes(data.data(), data.size());
    if (data.size() & 1)
        w.U8(0);
    ASSERT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(out.begin(), out.end())));
}

std::vector<uint8_t> Le16(const std::vector<int16_t> &v)
{
    std::vector<uint8_t> b(v.size() * 2);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

// ffmpeg's own decode of the first audio stream (or stream index) as raw bytes.
std::vector<uint8_t> FfmpegDecode(TTempDir &dir, const std::string &file, const std::string &fmt, int stream = 0)
{
    std::string raw = dir.File("decoded.raw");
    EXPECT_TRUE(Ffmpeg("-i " + ShellQuote(file) + " -map 0:a:" + std::to_string(stream) + " -f " + fmt + " " +
                       ShellQuote(raw)));
    return ReadFileBytes(raw);
}

std::vector<uint8_t> ReadAll(TWaveReader &r)
{
    std::vector<uint8_t> out(size_t(r.OutputLength()) * size_t(r.BlockAlign()));
    r.Seek(0);
    EXPECT_TRUE(r.ReadSamples(out.data(), int32_t(r.OutputLength())));
    return out;
}

class WaveReaderTest : public ::testing::Test {
protected:
    void SetUp() override { UnloadPlugins(); }
    void TearDown() override { UnloadPlugins(); }
    TTempDir dir;
    TWaveReader reader;
};

// Each access path reads the same WAV sample-exactly as ffmpeg decodes it, in one request,
// one sample frame at a time, and after seeking backwards.
TEST_F(WaveReaderTest, EveryPathMatchesFfmpegDecode)
{
    std::string wav = dir.File("tone.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=sin(2*PI*440*t)|0.5*sin(2*PI*300*t):s=44100:d=3\" -c:a pcm_s16le " +
                       ShellQuote(wav)));
    std::vector<uint8_t> expect = FfmpegDecode(dir, wav, "s16le");
    ASSERT_EQ(expect.size(), size_t(44100 * 3 * 4));
    for (const char *kind : {"", "MSVW|-1", "ODML|-1"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(reader.Open(wav, kind, false, 0)) << MediaErrorIdent(reader.Status());
        EXPECT_EQ(reader.AudioStreamCount(), 1);
        EXPECT_EQ(reader.SampleRate(), 44100);
        EXPECT_EQ(reader.BlockAlign(), 4);
        EXPECT_EQ(reader.OutputLength(), 44100 * 3);
        EXPECT_DOUBLE_EQ(reader.Duration(), 3.0);
        EXPECT_EQ(ReadAll(reader), expect);
        uint8_t one[4];
        for (int64_t n : {70000, 69999, 3, 131000, 65535, 65536, 16383, 16384}) {
            reader.Seek(n);
            ASSERT_TRUE(reader.ReadSamples(one, 1));
            ASSERT_EQ(0, std::memcmp(one, &expect[size_t(n) * 4], 4)) << n;
        }
        reader.Seek(1000);
        for (int64_t n = 1000; n < 90000; ++n) {
            ASSERT_TRUE(reader.ReadSamples(one, 1));
            ASSERT_EQ(0, std::memcmp(one, &expect[size_t(n) * 4], 4)) << n;
        }
    }
    ASSERT_TRUE(reader.Open(wav, "", false, 0));
    EXPECT_EQ(reader.KindString(), "MSVW|-1");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "VfW audio");
    EXPECT_EQ(reader.Description(), (TSourceDescription{"WrdSrcAudio", "VfW"}));
    ASSERT_TRUE(reader.Open(wav, "ODML|-1", false, 0));
    EXPECT_EQ(reader.KindString(), "ODML|-1");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "OpenDML audio");
    EXPECT_EQ(reader.Description(), (TSourceDescription{"WrdSrcAudio", "OpenDML"}));
    reader.Close();
    EXPECT_EQ(reader.KindString(), "");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "No file");
    EXPECT_EQ(reader.Description(), (TSourceDescription{"WrdSrcNone", ""}));
}

// An AVI with two PCM audio streams beside video: AUTO takes the own reader; the second
// stream is selected and equals ffmpeg's decode of it, through both file readers.
TEST_F(WaveReaderTest, AviAudioStreamsAndSelection)
{
    std::string avi = dir.File("two.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=2 -f lavfi -i "
                       "\"aevalsrc=sin(2*PI*440*t):s=48000:d=2\" -f lavfi -i \"aevalsrc=0.3*sin(2*PI*97*t)|0.1:s=22050:d=2\" "
                       "-map 0 -map 1 -map 2 -c:v mpeg4 -c:a pcm_s16le " + ShellQuote(avi)));
    std::vector<uint8_t> first = FfmpegDecode(dir, avi, "s16le", 0);
    std::vector<uint8_t> second = FfmpegDecode(dir, avi, "s16le", 1);
    for (const char *kind : {"", "MSVW|-1"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(reader.Open(avi, kind, false, 0)) << MediaErrorIdent(reader.Status());
        EXPECT_EQ(reader.KindString(), *kind ? "MSVW|-1" : "ODML|-1");
        ASSERT_EQ(reader.AudioStreamCount(), 2);
        EXPECT_EQ(reader.AudioStreamNumber(0), 1);
        EXPECT_EQ(reader.AudioStreamNumber(1), 2);
        EXPECT_EQ(reader.AudioStreamNumber(2), -1);
        EXPECT_EQ(reader.SampleRate(), 48000);
        EXPECT_EQ(ReadAll(reader), first);
        ASSERT_TRUE(reader.SelectStream(1));
        EXPECT_EQ(reader.SampleRate(), 22050);
        EXPECT_EQ(reader.BlockAlign(), 4);
        EXPECT_EQ(ReadAll(reader), second);
        EXPECT_FALSE(reader.SelectStream(2));
        EXPECT_EQ(reader.Status(), meParam);
        EXPECT_TRUE(reader.SelectStream(0)); // a bad selection leaves the reader usable
    }
}

TEST_F(WaveReaderTest, RateConversionLengthsAndRepetition)
{
    // 48000 -> 44100: the length is truncated and the last output sample is readable.
    std::vector<int16_t> ramp(48007);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i % 30000);
    std::string wav48 = dir.File("r48.wav");
    MakeWav(wav48, 48000, 16, 1, Le16(ramp));
    ASSERT_TRUE(reader.Open(wav48, "", false, 0));
    WAVEFORMATEX out = MakePcmFormat(44100, 16, 1);
    ASSERT_TRUE(reader.SetOutputFormat(&out, sizeof out));
    EXPECT_EQ(reader.OutputLength(), 48007 * 44100 / 48000);
    int16_t s = 0;
    for (int64_t k : {0LL, 1LL, 12LL, 20000LL, 44105LL}) {
        reader.Seek(k);
        ASSERT_TRUE(reader.ReadSamples(&s, 1)) << k;
        EXPECT_EQ(s, ramp[size_t(k * 48000 / 44100)]) << k;
    }
    EXPECT_FALSE(reader.ReadSamples(&s, 1)); // past the end
    EXPECT_EQ(reader.Status(), meFileRead);

    // 22050 -> 44100 stereo: every input sample twice.
    std::vector<int16_t> st(2 * 1000);
    for (size_t i = 0; i < st.size(); ++i)
        st[i] = int16_t(i * 7 - 5000);
    std::string wav22 = dir.File("r22.wav");
    MakeWav(wav22, 22050, 16, 2, Le16(st));
    ASSERT_TRUE(reader.Open(wav22, "ODML|-1", false, 0));
    out = MakePcmFormat(44100, 16, 2);
    ASSERT_TRUE(reader.SetOutputFormat(&out, 16));
    ASSERT_EQ(reader.OutputLength(), 2000);
    std::vector<int16_t> got(2 * 2000);
    reader.Seek(0);
    ASSERT_TRUE(reader.ReadSamples(got.data(), 2000));
    for (size_t k = 0; k < 2000; ++k) {
        ASSERT_EQ(got[2 * k], st[2 * (k / 2)]) << k;
        ASSERT_EQ(got[2 * k + 1], st[2 * (k / 2) + 1]) << k;
    }
    // Delivery restarts at the current position when the format changes.
    reader.Seek(501);
    ASSERT_TRUE(reader.SetOutputFormat(nullptr, 0));
    EXPECT_EQ(reader.OutputLength(), 1000);
    ASSERT_TRUE(reader.ReadSamples(got.data(), 1));
    EXPECT_EQ(got[0], st[2 * 501]);
}

TEST_F(WaveReaderTest, ChannelMappingAndRounding)
{
    std::string six = dir.File("six.wav");
    MakeWav(six, 8000, 16, 6, Le16({16384, -16384, 8192, 4096, 2048, 1024}));
    ASSERT_TRUE(reader.Open(six, "", false, 0));
    int16_t o[6];
    struct { uint16_t channels; std::vector<int16_t> expect; } rows[] = {
        {2, {5444, 138}}, {1, {2791}}, {3, {5026, -1087, 5080}}, {4, {5887, -5887, 8192, 4096}},
    };
    for (auto &row : rows) {
        WAVEFORMATEX f = MakePcmFormat(8000, 16, row.channels);
        ASSERT_TRUE(reader.SetOutputFormat(&f, sizeof f));
        reader.Seek(0);
        ASSERT_TRUE(reader.ReadSamples(o, 1));
        EXPECT_EQ(std::vector<int16_t>(o, o + row.channels), row.expect) << row.channels;
    }
    WAVEFORMATEX five = MakePcmFormat(8000, 16, 5);
    EXPECT_FALSE(reader.SetOutputFormat(&five, sizeof five));
    EXPECT_EQ(reader.Status(), meAudioFormat);
    EXPECT_FALSE(reader.SetOutputFormat(&five, 15));
    EXPECT_EQ(reader.Status(), meParam);

    // Stereo to mono: halves round to the even neighbour; mono to stereo duplicates.
    std::string two = dir.File("two.wav");
    MakeWav(two, 8000, 16, 2, Le16({1, 2, 1, 4, -1, -2, 32767, 32767}));
    ASSERT_TRUE(reader.Open(two, "", false, 0));
    WAVEFORMATEX mono = MakePcmFormat(8000, 16, 1);
    ASSERT_TRUE(reader.SetOutputFormat(&mono, sizeof mono));
    int16_t m[4];
    ASSERT_TRUE(reader.ReadSamples(m, 4));
    EXPECT_EQ(std::vector<int16_t>(m, m + 4), (std::vector<int16_t>{2, 2, -2, 32767}));
    WAVEFORMATEX six16 = MakePcmFormat(8000, 16, 6);
    ASSERT_TRUE(reader.SetOutputFormat(&six16, sizeof six16));
    reader.Seek(1);
    ASSERT_TRUE(reader.ReadSamples(o, 1));
    EXPECT_EQ(std::vector<int16_t>(o, o + 6), (std::vector<int16_t>{1, 4, 0, 0, 0, 0}));
}

TEST_F(WaveReaderTest, EightBitSourcesMapLikeFfmpeg)
{
    std::string wav8 = dir.File("u8.wav");
    MakeWav(wav8, 11025, 8, 1, {0, 128, 255, 64, 1});
    ASSERT_TRUE(reader.Open(wav8, "", false, 0));
    WAVEFORMATEX f = MakePcmFormat(11025, 16, 1);
    ASSERT_TRUE(reader.SetOutputFormat(&f, sizeof f));
    int16_t v[5];
    ASSERT_TRUE(reader.ReadSamples(v, 5));
    EXPECT_EQ(std::vector<int16_t>(v, v + 5), (std::vector<int16_t>{-32768, 0, 32512, -16384, -32512}));

    // A longer 8-bit file converted to 16 bits equals ffmpeg's own conversion.
    std::string tone = dir.File("tone8.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=sin(2*PI*440*t)|cos(2*PI*50*t):s=22050:d=1\" -c:a pcm_u8 " +
                       ShellQuote(tone)));
    ASSERT_TRUE(reader.Open(tone, "", false, 0));
    WAVEFORMATEX st16 = MakePcmFormat(22050, 16, 2);
    ASSERT_TRUE(reader.SetOutputFormat(&st16, sizeof st16));
    EXPECT_EQ(ReadAll(reader), FfmpegDecode(dir, tone, "s16le"));
    // And 16 bits to 8 round and clamp.
    std::string s16 = dir.File("s16.wav");
    MakeWav(s16, 8000, 16, 1, Le16({-32768, 32767, 128, 384, -129}));
    ASSERT_TRUE(reader.Open(s16, "", false, 0));
    WAVEFORMATEX u8 = MakePcmFormat(8000, 8, 1);
    ASSERT_TRUE(reader.SetOutputFormat(&u8, sizeof u8));
    uint8_t b[5];
    ASSERT_TRUE(reader.ReadSamples(b, 5));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 5), (std::vector<uint8_t>{0, 255, 128, 130, 127}));
}

TEST_F(WaveReaderTest, SegmentListsFormOneTrack)
{
    std::vector<int16_t> a(3000), b(2000);
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = int16_t(i);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = int16_t(-1 - int(i));
    MakeWav(dir.File("clip.00.wav"), 16000, 16, 1, Le16(a));
    MakeWav(dir.File("clip.01.wav"), 16000, 16, 1, Le16(b));
    std::string list = dir.File("clip.*.wav") + "| 00 |01";
    for (const char *kind : {"", "ODML|-1"}) {
        ASSERT_TRUE(reader.Open(list, kind, false, 0)) << MediaErrorIdent(reader.Status());
        EXPECT_EQ(reader.SegmentCount(), 2);
        EXPECT_EQ(reader.OutputLength(), 5000);
        int16_t v[4];
        reader.Seek(2998);
        ASSERT_TRUE(reader.ReadSamples(v, 4));
        EXPECT_EQ(std::vector<int16_t>(v, v + 4), (std::vector<int16_t>{2998, 2999, -1, -2}));
        reader.Seek(3000);
        ASSERT_TRUE(reader.ReadSamples(v, 1));
        EXPECT_EQ(v[0], -1);
        // Converted reads cross the boundary the same way.
        WAVEFORMATEX st = MakePcmFormat(16000, 16, 2);
        ASSERT_TRUE(reader.SetOutputFormat(&st, sizeof st));
        reader.Seek(2999);
        ASSERT_TRUE(reader.ReadSamples(v, 2));
        EXPECT_EQ(std::vector<int16_t>(v, v + 4), (std::vector<int16_t>{2999, 2999, -1, -1}));
    }
    MakeWav(dir.File("clip.02.wav"), 22050, 16, 1, Le16(b));
    EXPECT_FALSE(reader.Open(dir.File("clip.*.wav") + "|00|02", "", false, 0));
    EXPECT_EQ(reader.Status(), meSegment);
    EXPECT_FALSE(reader.IsOpen());
    MakeWav(dir.File("clip.03.wav"), 16000, 16, 2, Le16(b));
    EXPECT_FALSE(reader.Open(dir.File("clip.*.wav") + "|00|03", "ODML|-1", false, 0));
    EXPECT_EQ(reader.Status(), meSegment);
    EXPECT_FALSE(reader.Open(dir.File("clip.*.wav") + "|00|09", "", false, 0));
    EXPECT_EQ(reader.Status(), meFileNotFound);
}

TEST_F(WaveReaderTest, ReadsAtTheEndAndOutsideTheTrack)
{
    std::vector<int16_t> v(500);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = int16_t(100 + i);
    std::string wav = dir.File("short.wav");
    MakeWav(wav, 8000, 16, 1, Le16(v));
    ASSERT_TRUE(reader.Open(wav, "", false, 0));
    std::vector<int16_t> buf(1000, 0x7777);
    reader.Seek(490);
    ASSERT_TRUE(reader.ReadSamples(buf.data(), 1000));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buf[size_t(i)], 590 + i);
    EXPECT_EQ(std::vector<int16_t>(buf.begin() + 10, buf.end()), std::vector<int16_t>(990, 0));
    EXPECT_EQ(reader.Position(), 1490);
    EXPECT_FALSE(reader.ReadSamples(buf.data(), 5));
    EXPECT_EQ(reader.Status(), meFileRead);
    EXPECT_EQ(buf[0], 0);

    // Before the start: silence for the samples before 0, reported as a read past the track.
    std::fill(buf.begin(), buf.end(), 0x7777);
    reader.Seek(-3);
    EXPECT_FALSE(reader.ReadSamples(buf.data(), 5));
    EXPECT_EQ(std::vector<int16_t>(buf.begin(), buf.begin() + 5), (std::vector<int16_t>{0, 0, 0, 100, 101}));
    EXPECT_TRUE(reader.ReadSamples(buf.data(), 1)); // back inside: position 2
    EXPECT_EQ(buf[0], 102);

    // Positions far beyond the track are silence, not arithmetic overflow.
    reader.Seek(INT64_MAX - 2);
    EXPECT_FALSE(reader.ReadSamples(buf.data(), 5));
    EXPECT_EQ(buf[4], 0);
    EXPECT_EQ(reader.Status(), meFileRead);
    reader.Seek(2);
    EXPECT_FALSE(reader.ReadSamples(buf.data(), 0));
    EXPECT_EQ(reader.Status(), meParam);
    ASSERT_TRUE(reader.Silence(buf.data(), 3));
    EXPECT_EQ(buf[2], 0);
    reader.Close();
    EXPECT_FALSE(reader.ReadSamples(buf.data(), 1));
    EXPECT_EQ(reader.Status(), meState);
    EXPECT_FALSE(reader.Silence(buf.data(), 1));
    EXPECT_EQ(reader.SampleRate(), -1);
    EXPECT_EQ(reader.BlockAlign(), 0);
}

TEST_F(WaveReaderTest, OpenFailuresAndFallbacks)
{
    EXPECT_FALSE(reader.Open("  ", "", true, 0));
    EXPECT_EQ(reader.Status(), meParam);
    EXPECT_FALSE(reader.Open(dir.File("none.wav"), "", true, 0));
    EXPECT_EQ(reader.Status(), meFileNotFound);
    std::string mp3 = dir.File("song.mp3");
    ASSERT_TRUE(WriteFileBytes(mp3, std::vector<uint8_t>(100, 0xFF)));
    EXPECT_FALSE(reader.Open(mp3, "", true, 0));
    EXPECT_EQ(reader.Status(), meFileFormat);
    EXPECT_FALSE(reader.Open(mp3, "DUMY|-1", true, 0));
    EXPECT_EQ(reader.Status(), meFileFormat);
    EXPECT_FALSE(reader.Open(mp3, "MSDS|-1", true, 0));
    EXPECT_EQ(reader.Status(), meFileHandler);
    std::string empty = dir.File("empty.wav");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    EXPECT_FALSE(reader.Open(empty, "MSVW|-1", false, 0));
    EXPECT_EQ(reader.Status(), meFileSize);
    // The system media layer takes files below 2 GiB only (a sparse file stands in).
    std::string big = dir.File("big.wav");
    ASSERT_TRUE(WriteFileBytes(big, {}));
    ASSERT_EQ(::truncate(big.c_str(), 2147483647), 0);
    EXPECT_FALSE(reader.Open(big, "MSVW|-1", false, 0));
    EXPECT_EQ(reader.Status(), meFileExceeds2GB);

    // An AVI the own reader refuses (no frames in its main header) opens through the
    // system media layer, and the kind string tells so.
    std::string avi = dir.File("odd.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -f lavfi -i "
                       "\"aevalsrc=sin(2*PI*440*t):s=8000:d=1\" -c:v mpeg4 -c:a pcm_s16le " + ShellQuote(avi)));
    std::vector<uint8_t> bytes = ReadFileBytes(avi);
    size_t avih = 0;
    for (size_t i = 0; i + 4 < bytes.size() && !avih; ++i)
        if (std::memcmp(&bytes[i], "avih", 4) == 0)
            avih = i;
    ASSERT_GT(avih, 0u);
    PutLE32(&bytes[avih + 8 + 16], 0);
    ASSERT_TRUE(WriteFileBytes(avi, bytes));
    ASSERT_TRUE(reader.Open(avi, "", false, 0)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.KindString(), "MSVW|-1");
    EXPECT_EQ(ReadAll(reader), FfmpegDecode(dir, avi, "s16le"));
}

// A 6-channel WAV as ffmpeg writes it (extensible format tag): the own reader resolves the
// record to 16-bit PCM with the 5.1 speaker mask and reads it like ffmpeg.
TEST_F(WaveReaderTest, ExtensibleWavOpensThroughTheOwnReader)
{
    std::string wav = dir.File("surround.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=0.1*sin(2*PI*100*t)|0.2|0.3*sin(2*PI*50*t)|-0.4|0.5|-0.6:s=8000:d=0.5\" "
                       "-c:a pcm_s16le " + ShellQuote(wav)));
    std::vector<uint8_t> bytes = ReadFileBytes(wav);
    ASSERT_GT(bytes.size(), 22u);
    ASSERT_EQ(GetLE16(&bytes[20]), 0xFFFE);
    ASSERT_TRUE(reader.Open(wav, "ODML|-1", false, 0)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.KindString(), "ODML|-1");
    EXPECT_EQ(reader.InputFormat().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(reader.InputChannelMask(), 0x3Fu);
    EXPECT_EQ(reader.BlockAlign(), 12);
    EXPECT_EQ(ReadAll(reader), FfmpegDecode(dir, wav, "s16le"));
}

// Writes a medium description for the test plug-ins.
std::string Medium(TTempDir &dir, const std::string &name, const std::string &text)
{
    std::string path = dir.File(name);
    std::ofstream(path) << text;
    return path;
}

TEST_F(WaveReaderTest, PluginPath)
{
    LoadPluginsFrom({"TestAV=" + std::string(TESSALY_BIN_DIR) + "/testplug_av.vfp",
                     "TestAudio=" + std::string(TESSALY_BIN_DIR) + "/testplug_audio.vfp",
                     "TestRiff=" + std::string(TESSALY_BIN_DIR) + "/testplug_riff.vfp"});
    ASSERT_EQ(PluginCount(), 3);
    std::string tpa = Medium(dir, "a.tpa", "samples=70000\nsrate=32000\nchannels=2\nabits=24\n");
    ASSERT_TRUE(reader.Open(tpa, "", false, 0)) << MediaErrorIdent(reader.Status());
    EXPECT_EQ(reader.KindString(), "VFAP|TESTAUDIO");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "VFAPI \"Tessaly Test Audio Reader 1.0\"");
    EXPECT_EQ(reader.SampleRate(), 32000);
    EXPECT_EQ(reader.BlockAlign(), 4);
    EXPECT_EQ(reader.OutputLength(), 70000);
    AVISTREAMINFO si = reader.SegmentStreamInfo(0, 0);
    EXPECT_EQ(si.fccType, streamtypeAUDIO);
    EXPECT_EQ(si.dwScale, 6u);
    EXPECT_EQ(si.dwRate, 192000u);
    EXPECT_EQ(si.dwSampleSize, 6u);
    EXPECT_STREQ(si.szName, "a.tpa Audio #1");
    AVIFILEINFO fi = reader.SegmentFileInfo(0);
    EXPECT_EQ(fi.dwCaps, 0x11u);
    EXPECT_EQ(fi.dwLength, 70000u);
    EXPECT_STREQ(fi.szFileType, "a.tpa VFAPI (Tessaly Test Audio Reader 1.0)");
    std::vector<int16_t> buf(2 * 70000);
    ASSERT_TRUE(reader.ReadSamples(buf.data(), 70000));
    for (int64_t n = 0; n < 70000; ++n) {
        ASSERT_EQ(buf[size_t(2 * n)], TpSample16(n, 0)) << n;
        ASSERT_EQ(buf[size_t(2 * n + 1)], TpSample16(n, 1)) << n;
    }
    reader.Seek(12345);
    ASSERT_TRUE(reader.ReadSamples(buf.data(), 1));
    EXPECT_EQ(buf[1], TpSample16(12345, 1));

    // A named plug-in is taken as named; one that is not loaded needs the fallback.
    ASSERT_TRUE(reader.Open(tpa, "VFAP|TestAV", false, 0));
    EXPECT_EQ(reader.PluginIndex(), 0);
    EXPECT_FALSE(reader.Open(tpa, "VFAP|Gone", false, 0));
    EXPECT_EQ(reader.Status(), meFileHandler);
    ASSERT_TRUE(reader.Open(tpa, "VFAP|Gone", true, 0));
    EXPECT_EQ(reader.PluginIndex(), 1);
    // At access level 2 only plug-ins with the RIFF extension qualify.
    EXPECT_FALSE(reader.Open(tpa, "", true, 2));
    EXPECT_EQ(reader.Status(), meFileFormat);
    std::string tpv = Medium(dir, "b.tpv", "samples=10\n");
    ASSERT_TRUE(reader.Open(tpv, "", true, 2));
    EXPECT_EQ(reader.KindString(), "VFAP|TESTRIFF");
    EXPECT_FALSE(reader.Open(Medium(dir, "c.tpa", "audio=0\n"), "", false, 0));
    EXPECT_EQ(reader.Status(), meNoAudioStream);
    EXPECT_FALSE(reader.Open(Medium(dir, "d.tpa", "samples=0\n"), "", false, 0));
    EXPECT_EQ(reader.Status(), meFileFormat);
}

TEST_F(WaveReaderTest, SampleHelpers)
{
    WAVEFORMATEX s16 = MakePcmFormat(44100, 16, 2);
    EXPECT_EQ(s16.nBlockAlign, 4);
    EXPECT_EQ(s16.nAvgBytesPerSec, 176400u);
    EXPECT_TRUE(IsSupportedPcm(s16));
    WAVEFORMATEX bad = s16;
    bad.nBlockAlign = 3;
    EXPECT_FALSE(IsSupportedPcm(bad));
    EXPECT_TRUE(IsSupportedPcm(MakePcmFormat(44100, 24, 2)));
    EXPECT_FALSE(IsSupportedPcm(MakePcmFormat(44100, 20, 2)));
    EXPECT_TRUE(AreConvertible(s16, MakePcmFormat(8000, 8, 6)));
    EXPECT_FALSE(AreConvertible(s16, MakePcmFormat(8000, 8, 5)));
    WAVEFORMATEX other = s16;
    other.cbSize = 22;
    EXPECT_TRUE(SameFormat(s16, other)); // cbSize counts only for formats other than PCM
    other.wFormatTag = bad.wFormatTag = 0x55;
    EXPECT_FALSE(SameFormat(s16, other));

    int16_t a[2] = {1000, -32768}, b[2] = {-1000, 32767}, out[2];
    ASSERT_EQ(CrossFade(s16, a, b, out, 0.25), meOk);
    EXPECT_EQ(out[0], -500);
    EXPECT_EQ(out[1], 16383); // 0.25 * -32768 + 0.75 * 32767 = 16383.25
    ASSERT_EQ(CrossFade(s16, a, b, out, 0.5), meOk);
    EXPECT_EQ(out[1], 0); // -0.5 rounds to even
    ASSERT_EQ(Amplify(s16, out, a, 3.5), meOk);
    EXPECT_EQ(out[0], 3500);
    EXPECT_EQ(out[1], -32768);
    ASSERT_EQ(Amplify(s16, out, b, 2.0), meOk);
    EXPECT_EQ(out[1], 32767);
    WAVEFORMATEX u8 = MakePcmFormat(8000, 8, 1);
    uint8_t x = 200, y = 100, z;
    ASSERT_EQ(CrossFade(u8, &x, &y, &z, 0.5), meOk);
    EXPECT_EQ(z, 150);
    ASSERT_EQ(Amplify(u8, &z, &x, 2.0), meOk);
    EXPECT_EQ(z, 255);
    ASSERT_EQ(Amplify(u8, &z, &y, 0.5), meOk);
    EXPECT_EQ(z, 114);
    EXPECT_EQ(Amplify(bad, &z, &y, 1.0), meAudioFormat);
    EXPECT_EQ(CrossFade(bad, &x, &y, &z, 1.0), meAudioFormat);
}

TEST_F(WaveReaderTest, OpenDialogFilterTable)
{
    LoadPluginsFrom({"TestAV=" + std::string(TESSALY_BIN_DIR) + "/testplug_av.vfp",
                     "TestRiff=" + std::string(TESSALY_BIN_DIR) + "/testplug_riff.vfp"});
    std::vector<TChooseFilter> f = LabelChooseFilters(WaveChooseFilters(1, 0x9A));
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[7].KindString(), "AUTO|-1");
    EXPECT_EQ(f[0].Label, "Smart-renderable media files (*.avi;*.wav;*.tpv;*.tpr)");
    EXPECT_EQ(f[0].KindString(), "AUTO|1");
    EXPECT_EQ(f[1].Patterns, "*.avi;*.wav;*.mp3;*.mp2;*.ac3;*.eac3;*.dts;*.aac;*.m4a;*.mp4;*.mov;*.flac;*.ogg;*.oga;"
                             "*.opus;*.mka;*.mkv;*.webm;*.wma;*.asf;*.wv;*.tta;*.aif;*.aiff;*.caf;*.au;*.tpv;*.mpg;"
                             "*.vob;*.tpr");
    EXPECT_EQ(f[1].KindString(), "AUTO|0");
    EXPECT_EQ(f[2].Label, "WAV and AVI files (*.avi;*.wav)");
    EXPECT_EQ(f[2].KindString(), "ODML|-1");
    EXPECT_EQ(f[3].KindString(), "MSVW|-1");
    EXPECT_EQ(f[4].KindString(), "LAVF|-1");
    EXPECT_EQ(f[4].Label.rfind("Audio and video files through FFmpeg (*.mp3;", 0), 0u) << f[4].Label;
    EXPECT_EQ(f[5].Label, "Test media (*.tpv;*.MPG;*.vob) (*.tpv;*.mpg;*.vob)");
    EXPECT_EQ(f[5].KindString(), "VFAP|TESTAV");
    EXPECT_EQ(f[6].Label, "Test RIFF media (*.tpv;*.tpr) (*.tpv;*.tpr)");
    std::string text = ChooseFilterText(f);
    EXPECT_EQ(text.substr(0, f[0].Label.size() + 1), f[0].Label + std::string(1, '\0'));
    EXPECT_EQ(text.substr(text.size() - 2), std::string(2, '\0'));

    // The labels come from the message table, in the language chosen; a plug-in's stays its own.
    std::vector<TChooseFilter> de;
    {
        test::TShippedLanguage german("Deutsch");
        ASSERT_TRUE(german.Ok);
        de = LabelChooseFilters(WaveChooseFilters(0, 0x9A));
    }
    ASSERT_EQ(de.size(), 7u);
    EXPECT_EQ(de[0].Label.rfind("Alle unterst\xC3\xBCtzten Mediendateien (*.avi;*.wav;*.mp3;", 0), 0u) << de[0].Label;
    EXPECT_EQ(de[1].Label, "WAV- und AVI-Dateien (*.avi;*.wav)");
    EXPECT_EQ(de[3].Label.rfind("Audio- und Videodateien \xC3\xBC" "ber FFmpeg (", 0), 0u) << de[3].Label;
    EXPECT_EQ(de[6].Label, "Alle Dateien (*.*)");
    EXPECT_EQ(de[6].KindString(), "AUTO|-1");
    std::vector<TChooseFilter> smart = WaveChooseFilters(2, 0x9A);
    ASSERT_EQ(smart.size(), 4u); // smart entry, own reader, system layer, the RIFF plug-in
    EXPECT_EQ(smart[3].KindString(), "VFAP|TESTRIFF");

    SetWaveLastKind("");
    EXPECT_EQ(WavePreselectedFilter(f, ""), 0);
    EXPECT_EQ(WavePreselectedFilter(f, "MSVW|-1"), 3);
    EXPECT_EQ(WaveLastKind(), "MSVW|-1");
    EXPECT_EQ(WavePreselectedFilter(f, ""), 3);
    std::string callerKind;
    EXPECT_EQ(WaveChosenKind(f[5], &callerKind), "VFAP|TESTAV");
    EXPECT_EQ(callerKind, "VFAP|TESTAV");
    EXPECT_EQ(WaveChosenKind(f[1], nullptr), "");
    EXPECT_EQ(WaveLastKind(), "AUTO|0");
}

} // namespace
