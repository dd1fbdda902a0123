// Tests of the FFmpeg audio path: per codec and container, the samples delivered equal a
// plain `ffmpeg -f <raw>` decode (lossless codecs sample for sample in their own width,
// lossy ones from lag 0 with FFmpeg's length), channel layouts and widths kept, random
// seeks equal to a linear decode, and the right one of several audio streams.
#include "media/input/lavf/lavf_audio.h"
#include "media/input/lavf/lavf_audio_index.h"

#include <gtest/gtest.h>

#include "shell/messages.h"

#include <cmath>
#include <cstring>
#include <random>

#include "media/input/wave_format.h"
#include "media/input/wave_reader.h"
#include "support/media_error_print.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// The raw output format ffmpeg decodes to for the width the source delivers.
const char *RawFormat(const WAVEFORMATEX &f)
{
    if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        return f.wBitsPerSample == 64 ? "f64le" : "f32le";
    switch (f.wBitsPerSample) {
    case 8: return "u8";
    case 16: return "s16le";
    default: return "s32le"; // 24-bit samples are compared with the top bytes of 32-bit ones
    }
}

// `ffmpeg -i file -map 0:a:N -f raw -` in the source's own encoding.
std::vector<uint8_t> FfmpegDecode(const TTempDir &dir, const std::string &file, int audioIndex,
                                  const WAVEFORMATEX &format)
{
    const std::string raw = dir.File("ref.raw");
    EXPECT_TRUE(Ffmpeg("-i " + ShellQuote(file) + " -map 0:a:" + std::to_string(audioIndex) + " -f " +
                       RawFormat(format) + " " + ShellQuote(raw)));
    std::vector<uint8_t> bytes = ReadFileBytes(raw);
    if (format.wBitsPerSample != 24)
        return bytes;
    std::vector<uint8_t> packed;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        packed.insert(packed.end(), bytes.begin() + long(i) + 1, bytes.begin() + long(i) + 4);
    return packed;
}

WAVEFORMATEX FormatOf(const TAudioStreamRecord &r, uint32_t *mask = nullptr)
{
    WAVEFORMATEX f{};
    uint32_t m = 0;
    ReadWaveFormat(r.Format.data(), r.Format.size(), f, m);
    if (mask)
        *mask = m;
    return f;
}

// The whole stream read linearly in blocks of an odd size.
std::vector<uint8_t> ReadAll(TLavfAudio &a, int stream)
{
    const TAudioStreamRecord &r = a.Streams()[size_t(stream)];
    const uint32_t block = FormatOf(r).nBlockAlign;
    const int64_t total = a.StreamTexts()[size_t(stream)].Length;
    std::vector<uint8_t> out(size_t(total) * block);
    for (int64_t p = 0; p < total; p += 4099) {
        const int32_t n = int32_t(std::min<int64_t>(4099, total - p));
        EXPECT_EQ(a.Read(stream, p, n, out.data() + size_t(p) * block), meOk) << "at " << p;
    }
    return out;
}

// The index cache file of a file (empty when the file has no key), removed so that the
// next open indexes the file.
std::string RemovedCache(const std::string &file, TLavfFileKey &key)
{
    if (!LavfFileKey(file, key))
        return "";
    const std::string cache = LavfAudioIndexCacheFile(key);
    std::remove(cache.c_str());
    return cache;
}

struct TCodecCase {
    const char *Name;
    const char *Extension;
    const char *Encode; // ffmpeg arguments after the input
    int Channels;
    int Bits;           // bits delivered
};

class LavfAudioCodec : public ::testing::TestWithParam<TCodecCase> {};

// Every sample of a 2 s tone equals FFmpeg's decode: the same count, from the same start.
TEST_P(LavfAudioCodec, DecodesLikeFfmpeg)
{
    const TCodecCase &c = GetParam();
    TTempDir dir;
    const std::string file = dir.File(std::string("a.") + c.Extension);
    const std::string layout = c.Channels == 6 ? "5.1" : c.Channels == 8 ? "7.1" : c.Channels == 1 ? "mono" : "stereo";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=2:r=48000 -f lavfi -i sine=f=660:d=2:r=48000 "
                       "-filter_complex \"[0][1]amerge,pan=" + layout + "|c0=c0|c1=c1" +
                       (c.Channels > 2 ? "|c2=0.5*c0|c3=0.1*c1|c4=0.3*c0|c5=0.3*c1" : "") +
                       (c.Channels > 6 ? "|c6=0.2*c0|c7=0.2*c1" : "") + "\" " + c.Encode + " " + ShellQuote(file)))
        << c.Name;
    TLavfAudio a;
    ASSERT_EQ(a.Open(file), meOk);
    int stream = -1;
    for (const TAudioStreamRecord &r : a.Streams())
        if (r.Info.fccType == streamtypeAUDIO && stream < 0)
            stream = r.Stream;
    ASSERT_GE(stream, 0);
    uint32_t mask = 0;
    const WAVEFORMATEX f = FormatOf(a.Streams()[size_t(stream)], &mask);
    EXPECT_EQ(f.nChannels, c.Channels);
    EXPECT_EQ(f.wBitsPerSample, c.Bits);
    if (c.Channels == 6) {
        EXPECT_TRUE(mask == 0x3F || mask == 0x60F) << std::hex << mask;
    } else if (c.Channels == 8) {
        EXPECT_EQ(mask, 0x63Fu);
    }
    const std::vector<uint8_t> expected = FfmpegDecode(dir, file, 0, f);
    const std::vector<uint8_t> got = ReadAll(a, stream);
    ASSERT_EQ(got.size(), expected.size()) << "lengths in sample frames: " << got.size() / f.nBlockAlign << " vs "
                                           << expected.size() / f.nBlockAlign;
    EXPECT_TRUE(got == expected) << "samples differ from FFmpeg's decode";
    // Opened again, the index comes from the cache and delivers the same samples.
    EXPECT_FALSE(a.IndexFromCache());
    TLavfAudio again;
    ASSERT_EQ(again.Open(file), meOk);
    EXPECT_TRUE(again.IndexFromCache());
    ASSERT_EQ(again.Streams().size(), a.Streams().size());
    EXPECT_EQ(again.Streams()[size_t(stream)].Format, a.Streams()[size_t(stream)].Format);
    EXPECT_EQ(again.StreamTexts()[size_t(stream)].Delay, a.StreamTexts()[size_t(stream)].Delay);
    EXPECT_TRUE(ReadAll(again, stream) == expected) << "samples read through the cached index differ";
}

const TCodecCase kCodecs[] = {
    {"flac16", "flac", "-c:a flac -sample_fmt s16", 2, 16},
    {"flac24", "flac", "-c:a flac -sample_fmt s32", 2, 24},
    {"alac24", "m4a", "-c:a alac -sample_fmt s32p", 2, 24},
    {"wavpack", "wv", "-c:a wavpack", 2, 16},
    {"flac_71", "flac", "-c:a flac", 8, 16},
    {"pcm_mkv", "mkv", "-c:a pcm_s16le", 2, 16},
    {"pcm24_mov", "mov", "-c:a pcm_s24le", 2, 24},
    {"tta", "tta", "-c:a tta", 2, 16},
    {"mp3_lame", "mp3", "-c:a libmp3lame -b:a 128k", 2, 32},
    {"mp3_vbr_noxing", "mp3", "-c:a libmp3lame -q:a 4 -write_xing 0", 2, 32},
    {"mp3_in_wav", "wav", "-c:a libmp3lame -b:a 128k", 2, 32},
    {"aac_mp4", "mp4", "-c:a aac -b:a 128k", 2, 32},
    {"aac_m4a", "m4a", "-c:a aac -b:a 96k", 2, 32},
    {"aac_adts", "aac", "-c:a aac", 2, 32},
    {"ac3_51", "ac3", "-c:a ac3", 6, 32},
    {"eac3_51", "mka", "-c:a eac3", 6, 32},
    {"aac_51_mp4", "mp4", "-c:a aac", 6, 32},
    {"opus_ogg", "opus", "-c:a libopus", 2, 32},
    {"opus_webm", "webm", "-c:a libopus", 2, 32},
    {"vorbis_ogg", "ogg", "-c:a libvorbis", 2, 32},
    {"vorbis_mkv", "mkv", "-c:a libvorbis", 2, 32},
    {"wma", "wma", "-c:a wmav2", 2, 32},
    {"ac3_in_avi", "avi", "-c:a ac3", 6, 32},
};

INSTANTIATE_TEST_SUITE_P(Codecs, LavfAudioCodec, ::testing::ValuesIn(kCodecs),
                         [](const ::testing::TestParamInfo<TCodecCase> &i) { return std::string(i.param.Name); });

struct TLengthCase {
    const char *Name;
    const char *Extension;
    const char *Encode;
    bool FromLengths; // the codec's packet lengths are known without decoding
};

class LavfAudioLengths : public ::testing::TestWithParam<TLengthCase> {};

// An index counted from packet lengths (decoding only the start and the end) is the index a
// decode of every packet gives, packet for packet, and delivers FFmpeg's samples.
TEST_P(LavfAudioLengths, IndexEqualsAWholeDecode)
{
    const TLengthCase &c = GetParam();
    TTempDir dir;
    const std::string file = dir.File(std::string("l.") + c.Extension);
    // Noise and a tone whose level changes give variable-size frames where the codec has them;
    // 21 s hold two of the spot checks.
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=f=440:d=21:r=48000,volume='0.2+0.6*gt(mod(t,2),1)':eval=frame\" "
                       "-f lavfi -i anoisesrc=d=21:r=48000:a=0.1:s=3 -filter_complex amerge -ac 2 " +
                       std::string(c.Encode) + " " + ShellQuote(file)))
        << c.Name;
    TLavfFileKey key;
    const std::string cache = RemovedCache(file, key);
    ASSERT_FALSE(cache.empty());
    TLavfAudio counted;
    ASSERT_EQ(counted.Open(file), meOk);
    EXPECT_EQ(counted.IndexFromPacketLengths(), c.FromLengths);
    const std::vector<uint8_t> fromLengths = ReadFileBytes(cache);
    ASSERT_FALSE(fromLengths.empty());
    std::remove(cache.c_str());
    TLavfAudio decoded;
    ASSERT_EQ(decoded.Open(file, true), meOk);
    EXPECT_FALSE(decoded.IndexFromPacketLengths());
    const std::vector<uint8_t> fromDecode = ReadFileBytes(cache);
    TLavfAudioIndex a, b;
    ASSERT_TRUE(a.Parse(fromLengths.data(), fromLengths.size(), key));
    ASSERT_TRUE(b.Parse(fromDecode.data(), fromDecode.size(), key));
    ASSERT_TRUE(a.Streams[0] && b.Streams[0]);
    const TLavfAudioStreamIndex &x = *a.Streams[0], &y = *b.Streams[0];
    EXPECT_EQ(x.Total, y.Total);
    ASSERT_EQ(x.Packets.size(), y.Packets.size());
    for (size_t k = 0; k < x.Packets.size(); ++k)
        ASSERT_EQ(x.Packets[k].End, y.Packets[k].End) << "samples out after packet " << k << " of " << x.Packets.size();
    EXPECT_EQ(fromLengths, fromDecode);
    const WAVEFORMATEX f = FormatOf(counted.Streams()[0]);
    EXPECT_TRUE(ReadAll(counted, 0) == FfmpegDecode(dir, file, 0, f)) << "samples differ from FFmpeg's decode";
}

const TLengthCase kLengthCases[] = {
    {"mp3_cbr", "mp3", "-c:a libmp3lame -b:a 128k", true},
    {"mp3_vbr", "mp3", "-c:a libmp3lame -q:a 2", true},
    {"mp3_vbr_noxing", "mp3", "-c:a libmp3lame -q:a 4 -write_xing 0", true},
    {"mp3_mkv", "mkv", "-c:a libmp3lame -q:a 4", true},
    {"mp3_in_wav", "wav", "-c:a libmp3lame -b:a 128k", true},
    {"aac_mp4", "mp4", "-c:a aac -b:a 128k", true},
    {"aac_adts", "aac", "-c:a aac", true},
    {"aac_mkv", "mkv", "-c:a aac", true},
    {"aac_ts", "ts", "-c:a aac", true},
    {"ac3", "ac3", "-c:a ac3", true},
    {"ac3_51_mkv", "mkv", "-ac 6 -c:a ac3", true},
    {"ac3_in_avi", "avi", "-c:a ac3", true},
    {"eac3_mka", "mka", "-c:a eac3", true},
    {"dts", "dts", "-strict -2 -c:a dca", true},
    {"opus_ogg", "opus", "-c:a libopus", true},
    {"opus_webm", "webm", "-c:a libopus", true},
    {"vorbis_ogg", "ogg", "-c:a libvorbis", true},
    {"vorbis_mkv", "mkv", "-c:a libvorbis", true},
    {"opus_mkv_51", "mkv", "-ac 6 -c:a libopus", true},
    {"eac3_51", "eac3", "-ac 6 -c:a eac3", true},
    {"flac", "flac", "-c:a flac", true},
    {"flac_mkv", "mkv", "-c:a flac", true},
    // Millisecond block durations that name no whole number of samples at 44.1 kHz.
    {"flac_mkv_44k", "mkv", "-ar 44100 -c:a flac", false},
    {"alac_m4a", "m4a", "-c:a alac", true},
    {"pcm_mov", "mov", "-c:a pcm_s24le", true},
    {"pcm_mkv", "mkv", "-c:a pcm_s16le", true},
    {"wma", "wma", "-c:a wmav2", false},
};

INSTANTIATE_TEST_SUITE_P(Codecs, LavfAudioLengths, ::testing::ValuesIn(kLengthCases),
                         [](const ::testing::TestParamInfo<TLengthCase> &i) { return std::string(i.param.Name); });

// A stream whose format changes in the middle (stereo, 5.1, stereo again, as broadcasts
// switch between programmes), where its start and end agree, is found out by the spot checks
// and decoded whole, with what a whole decode gives.
TEST(LavfAudioLengthsFormat, AFormatChangeIsDecodedWhole)
{
    TTempDir dir;
    const std::string stereo = dir.File("2.ac3"), surround = dir.File("6.ac3"), both = dir.File("26.ac3");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=12:r=48000 -ac 2 -c:a ac3 " + ShellQuote(stereo)));
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=12:r=48000 -ac 6 -c:a ac3 " + ShellQuote(surround)));
    std::vector<uint8_t> joined = ReadFileBytes(stereo), second = ReadFileBytes(surround);
    joined.insert(joined.end(), second.begin(), second.end());
    joined.insert(joined.end(), joined.begin(), joined.begin() + long(joined.size() - second.size()));
    ASSERT_TRUE(WriteFileBytes(both, joined));
    TLavfAudio counted, decoded;
    const TMediaError m = counted.Open(both);
    EXPECT_FALSE(counted.IndexFromPacketLengths());
    EXPECT_EQ(decoded.Open(both, true), m);
    ASSERT_EQ(counted.StreamTexts().size(), decoded.StreamTexts().size());
    for (size_t i = 0; i < counted.StreamTexts().size(); ++i)
        EXPECT_EQ(counted.StreamTexts()[i].Length, decoded.StreamTexts()[i].Length);
    // The stereo part alone is counted from its lengths.
    TLavfAudio plain;
    ASSERT_EQ(plain.Open(stereo), meOk);
    EXPECT_TRUE(plain.IndexFromPacketLengths());
}

struct TSeekCase {
    const char *Name;
    const char *Extension;
    const char *Encode;
    // Decoders that fill bands with pseudo-random noise (AC-3 dither, AAC noise substitution,
    // Opus band folding) draw it from a generator whose state only a decode from the start
    // reproduces: after a seek they give the same samples except for that noise.
    double Tolerance;
};

class LavfAudioSeek : public ::testing::TestWithParam<TSeekCase> {};

// Reads at random positions (forwards, backwards, up to the end) equal a linear decode.
TEST_P(LavfAudioSeek, RandomReadsEqualLinearDecode)
{
    const TSeekCase &c = GetParam();
    TTempDir dir;
    const std::string file = dir.File(std::string("s.") + c.Extension);
    // Noise makes every decoder work hard; the noise-filling ones get two tones instead.
    const std::string input = c.Tolerance == 0 ? "-f lavfi -i anoisesrc=d=6:r=44100:a=0.2:s=7"
                                               : "-f lavfi -i sine=f=3000:d=6:r=44100";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=f=440:d=6:r=44100,volume=0.8\" " + input +
                       " -filter_complex amerge -ac 2 " + c.Encode + " " + ShellQuote(file)));
    TLavfAudio linear, seeking;
    ASSERT_EQ(linear.Open(file), meOk);
    ASSERT_EQ(seeking.Open(file), meOk);
    EXPECT_TRUE(seeking.IndexFromCache()); // seeks go by the cached index
    const std::vector<uint8_t> all = ReadAll(linear, 0);
    const WAVEFORMATEX f = FormatOf(seeking.Streams()[0]);
    const uint32_t block = f.nBlockAlign;
    const int64_t total = int64_t(all.size() / block);
    ASSERT_GT(total, 44100 * 5);
    std::mt19937 rng(42);
    std::vector<int64_t> starts = {total - 1, 0, total - 3000, 1, 44100, 44099, 2 * 44100 + 17};
    for (int i = 0; i < 40; ++i)
        starts.push_back(int64_t(rng() % uint32_t(total)));
    for (int64_t first : starts) {
        const int32_t n = int32_t(std::min<int64_t>(1 + rng() % 3000, total - first));
        std::vector<uint8_t> got(size_t(n) * block);
        ASSERT_EQ(seeking.Read(0, first, n, got.data()), meOk) << "at " << first;
        const uint8_t *want = all.data() + size_t(first) * block;
        if (c.Tolerance == 0) {
            EXPECT_TRUE(std::equal(got.begin(), got.end(), want))
                << "samples " << first << " + " << n << " differ from the linear decode";
            continue;
        }
        ASSERT_EQ(f.wFormatTag, WAVE_FORMAT_IEEE_FLOAT);
        double worst = 0;
        for (size_t k = 0; k + 4 <= got.size(); k += 4) {
            float x, y;
            std::memcpy(&x, &got[k], 4);
            std::memcpy(&y, want + k, 4);
            worst = std::max(worst, double(std::abs(x - y)));
        }
        // One sample off would differ by up to 0.35 at 3 kHz.
        EXPECT_LE(worst, c.Tolerance) << "samples " << first << " + " << n;
    }
    std::vector<uint8_t> past(block);
    EXPECT_EQ(seeking.Read(0, total, 1, past.data()), meFileRead);
}

const TSeekCase kSeekCases[] = {
    {"mp3", "mp3", "-c:a libmp3lame -b:a 64k", 0},
    {"vorbis_ogg", "ogg", "-c:a libvorbis", 0},
    {"vorbis_mkv", "mkv", "-c:a libvorbis", 0},
    {"flac", "flac", "-c:a flac", 0},
    {"wma", "wma", "-c:a wmav2", 0},
    {"aac_m4a", "m4a", "-c:a aac", 0.01},
    {"ac3", "ac3", "-c:a ac3", 0.01},
    {"eac3_mka", "mka", "-c:a eac3", 0.01},
    {"opus_ogg", "opus", "-c:a libopus", 0.01},
    {"opus_mkv", "mkv", "-c:a libopus", 0.01},
};

INSTANTIATE_TEST_SUITE_P(Codecs, LavfAudioSeek, ::testing::ValuesIn(kSeekCases),
                         [](const ::testing::TestParamInfo<TSeekCase> &i) { return std::string(i.param.Name); });

// A damaged, inconsistent or stale index cache is never used: the file is decoded again,
// delivers what a fresh decode delivers, and the cache is written anew.
TEST(LavfAudioCache, DamagedOrStaleCacheIsRebuilt)
{
    TTempDir dir;
    const std::string file = dir.File("c.mp3");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i anoisesrc=d=2:r=44100:a=0.3 -ac 2 -c:a libmp3lame " + ShellQuote(file)));
    TLavfFileKey key;
    const std::string cache = RemovedCache(file, key);
    ASSERT_FALSE(cache.empty());
    TLavfAudio first;
    ASSERT_EQ(first.Open(file), meOk);
    EXPECT_FALSE(first.IndexFromCache());
    const std::vector<uint8_t> samples = ReadAll(first, 0);
    const std::vector<uint8_t> bytes = ReadFileBytes(cache);
    ASSERT_GT(bytes.size(), 200u);

    TLavfAudioIndex index;
    ASSERT_TRUE(index.Parse(bytes.data(), bytes.size(), key));
    ASSERT_EQ(index.Streams.size(), 1u);
    ASSERT_TRUE(index.Streams[0] && index.Streams[0]->Packets.size() > 10);
    // Contents that checksum right but cannot be an index: packet ends that go back, or run
    // past the stream's length, or a sample shape no decoder gives.
    std::vector<std::vector<uint8_t>> damaged;
    const auto resealed = [&](auto change) {
        TLavfAudioIndex copy;
        EXPECT_TRUE(copy.Parse(bytes.data(), bytes.size(), key));
        change(*copy.Streams[0]);
        const std::string b = copy.Serialize(key);
        damaged.emplace_back(b.begin(), b.end());
    };
    resealed([](TLavfAudioStreamIndex &ix) { ix.Packets[5].End = ix.Packets[4].End - 1; });
    resealed([](TLavfAudioStreamIndex &ix) { ix.Packets.back().End = ix.Total + 1; });
    resealed([](TLavfAudioStreamIndex &ix) { ix.Shape.Bits = 20; });
    resealed([](TLavfAudioStreamIndex &ix) { ix.Shape.Channels = 0; });
    for (const auto &d : damaged)
        EXPECT_FALSE(index.Parse(d.data(), d.size(), key));
    // One flipped bit, a cut file, garbage.
    damaged.push_back(bytes);
    damaged.back()[bytes.size() / 2] ^= 0x10;
    damaged.emplace_back(bytes.begin(), bytes.end() - 41);
    damaged.emplace_back(37, 0xA5);
    for (const auto &d : damaged) {
        ASSERT_TRUE(WriteFileBytes(cache, d));
        TLavfAudio a;
        ASSERT_EQ(a.Open(file), meOk);
        EXPECT_FALSE(a.IndexFromCache());
        EXPECT_TRUE(ReadAll(a, 0) == samples);
        EXPECT_EQ(ReadFileBytes(cache), bytes); // written again, whole
    }
    // Another key (the file changed) does not fit the cache.
    TLavfFileKey changed = key;
    changed.ModifiedNs += 1;
    EXPECT_FALSE(index.Parse(bytes.data(), bytes.size(), changed));
    // The file replaced by a longer one under the same name: its own length, not the cached one.
    ASSERT_TRUE(Ffmpeg("-f lavfi -i anoisesrc=d=3:r=44100:a=0.3 -ac 2 -c:a libmp3lame " + ShellQuote(file)));
    TLavfAudio longer;
    ASSERT_EQ(longer.Open(file), meOk);
    EXPECT_FALSE(longer.IndexFromCache());
    EXPECT_GT(longer.StreamTexts()[0].Length, first.StreamTexts()[0].Length + 40000);
}

} // namespace

namespace {

// A file's whole audio as the front-end delivers it, in its input format.
std::vector<uint8_t> ReadFrontEnd(TWaveReader &r)
{
    std::vector<uint8_t> out(size_t(r.OutputLength()) * r.BlockAlign());
    r.Seek(0);
    EXPECT_TRUE(r.ReadSamples(out.data(), int32_t(r.OutputLength())));
    return out;
}

class LavfFrontEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TTempDir;
        // Stream 0 video, 1 PCM mono, 2 AC-3 5.1, 3 PCM mono at another pitch.
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=1 -f lavfi -i sine=f=440:d=1 "
                           "-f lavfi -i \"sine=f=880:d=1,aformat=channel_layouts=5.1\" -f lavfi -i sine=f=220:d=1 "
                           "-map 0 -map 1 -map 2 -map 3 -c:v mpeg4 -c:a:0 pcm_s16le -c:a:1 ac3 -c:a:2 pcm_s16le " +
                           ShellQuote(dir->File("three.avi"))));
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=660:d=1:r=48000 -map 0 -map 1 "
                           "-c:a:0 libvorbis -c:a:1 flac " + ShellQuote(dir->File("two.mka"))));
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a libmp3lame " + ShellQuote(dir->File("mp3.wav"))));
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a pcm_s16le " + ShellQuote(dir->File("pcm.wav"))));
    }
    static void TearDownTestSuite() { delete dir; }
    static TTempDir *dir;
};
TTempDir *LavfFrontEnd::dir = nullptr;

// The stream number of a kind string picks the stream; the kind string of the open source
// names it again, so a project reopens the same stream.
TEST_F(LavfFrontEnd, AStreamNumberSelectsTheStreamAndIsKept)
{
    TWaveReader r;
    ASSERT_TRUE(r.Open(dir->File("two.mka"), "AUTO|-1", true, 0)) << MediaErrorIdent(r.Status());
    EXPECT_EQ(r.KindString(), "LAVF|-1");
    EXPECT_EQ(SourceDescriptionText(r.Description()), "FFmpeg audio");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcAudio", "FFmpeg"}));
    EXPECT_EQ(r.AudioStreamCount(), 2);
    EXPECT_EQ(r.SampleRate(), 44100);
    ASSERT_TRUE(r.Open(dir->File("two.mka"), "AUTO|1", true, 0));
    EXPECT_EQ(r.KindString(), "LAVF|1");
    EXPECT_EQ(r.SampleRate(), 48000);
    EXPECT_EQ(ReadFrontEnd(r), FfmpegDecode(*dir, dir->File("two.mka"), 1, r.InputFormat()));
    const std::string kind = r.KindString();
    ASSERT_TRUE(r.Open(dir->File("two.mka"), kind, true, 0));
    EXPECT_EQ(r.SelectedStream(), 1);
    // A number that names no audio stream is refused as such, not replaced by another stream.
    EXPECT_FALSE(r.Open(dir->File("two.mka"), "AUTO|5", true, 0));
    EXPECT_EQ(r.Status(), meNoAudioStream);
    EXPECT_FALSE(r.Open(dir->File("three.avi"), "AUTO|0", true, 0));
    EXPECT_EQ(r.Status(), meNoAudioStream);
}

// WAV and AVI PCM stay with the own readers; a compressed stream of them goes to FFmpeg.
TEST_F(LavfFrontEnd, CompressedStreamsOfWavAndAviComeThroughFfmpeg)
{
    TWaveReader r;
    ASSERT_TRUE(r.Open(dir->File("pcm.wav"), "AUTO|-1", true, 0));
    EXPECT_NE(r.Kind(), ksLavf);
    ASSERT_TRUE(r.Open(dir->File("mp3.wav"), "AUTO|-1", true, 0)) << MediaErrorIdent(r.Status());
    EXPECT_EQ(r.KindString(), "LAVF|-1");
    EXPECT_EQ(ReadFrontEnd(r), FfmpegDecode(*dir, dir->File("mp3.wav"), 0, r.InputFormat()));

    ASSERT_TRUE(r.Open(dir->File("three.avi"), "AUTO|-1", true, 0)) << MediaErrorIdent(r.Status());
    EXPECT_NE(r.Kind(), ksLavf);
    EXPECT_EQ(r.SelectedStream(), 1);
    ASSERT_TRUE(r.Open(dir->File("three.avi"), "AUTO|3", true, 0)) << MediaErrorIdent(r.Status());
    EXPECT_NE(r.Kind(), ksLavf);
    EXPECT_EQ(r.SelectedStream(), 3);
    EXPECT_EQ(ReadFrontEnd(r), FfmpegDecode(*dir, dir->File("three.avi"), 2, r.InputFormat()));
    ASSERT_TRUE(r.Open(dir->File("three.avi"), "AUTO|2", true, 0)) << MediaErrorIdent(r.Status());
    EXPECT_EQ(r.KindString(), "LAVF|2");
    EXPECT_EQ(r.InputFormat().nChannels, 6);
    EXPECT_EQ(r.InputChannelMask(), 0x60Fu);
    EXPECT_EQ(ReadFrontEnd(r), FfmpegDecode(*dir, dir->File("three.avi"), 1, r.InputFormat()));
}

// Damaged and foreign files fail with a code, never a crash or a hang.
TEST_F(LavfFrontEnd, DamagedFilesFailCleanly)
{
    const std::vector<uint8_t> good = ReadFileBytes(dir->File("two.mka"));
    ASSERT_GT(good.size(), 2000u);
    TWaveReader r;
    const std::string cut = dir->File("cut.mka"), text = dir->File("text.mkv"), empty = dir->File("empty.ogg");
    ASSERT_TRUE(WriteFileBytes(cut, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 3))));
    ASSERT_TRUE(WriteFileBytes(text, std::vector<uint8_t>(1000, 'x')));
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    // A cut file delivers what it holds, read to its end.
    if (r.Open(cut, "AUTO|-1", true, 0)) {
        std::vector<uint8_t> all(size_t(r.OutputLength()) * r.BlockAlign());
        EXPECT_TRUE(r.ReadSamples(all.data(), int32_t(r.OutputLength())));
    }
    EXPECT_FALSE(r.Open(text, "LAVF|-1", false, 0));
    EXPECT_EQ(r.Status(), meFileFormat);
    EXPECT_FALSE(r.Open(empty, "LAVF|-1", false, 0));
    TLavfAudio a;
    EXPECT_EQ(a.Open(dir->File("missing.mka")), meFileNotFound);
    std::vector<uint8_t> buf(64);
    EXPECT_EQ(a.Read(0, 0, 1, buf.data()), meParam);
}

} // namespace
