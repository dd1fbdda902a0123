// soundpull through the plug-in host and through its exports: the audio of WAV, FLAC, MP3,
// AC3 and Ogg Vorbis files compared with ffmpeg's decode, format conversions, silence
// outside the stream and the checks every entry point makes.
#include "media/input/vfapi_host.h"
#include "media/input/wave_format.h"
#include "plugin_library.h"
#include "plugin_media.h"
#include "plugins/soundpull/file_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace tessaly;
using namespace tessaly::test;

namespace {

std::vector<int16_t> Samples(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

int MaxDifference(const std::vector<int16_t> &a, const std::vector<int16_t> &b)
{
    if (a.size() != b.size())
        return 65536;
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

// An ffmpeg source of `channels` tones of amplitude 0.1 (300, 500, 700, 80, 1100, 1300, 1500,
// 1700 Hz, one per channel in ffmpeg's order of the layout), 2 s at 48 kHz.
std::string Tones(int channels, const char *layout)
{
    const int hz[] = {300, 500, 700, 80, 1100, 1300, 1500, 1700};
    std::string exprs;
    for (int c = 0; c < channels; ++c)
        exprs += (c ? "|" : "") + std::string("0.1*sin(") + std::to_string(hz[c]) + "*2*PI*t)";
    return "-f lavfi -i \"aevalsrc=" + exprs + ":s=48000:d=2:c=" + layout + "\"";
}

// Amplitude of a tone in one channel of interleaved stereo (a single-bin Fourier sum over
// one second from the middle of the signal).
double Tone(const std::vector<int16_t> &stereo, int channel, double hz)
{
    const size_t n = 48000, from = stereo.size() / 4;
    double re = 0, im = 0;
    for (size_t i = 0; i < n && (from + i) * 2 + 1 < stereo.size(); ++i) {
        const double v = stereo[(from + i) * 2 + size_t(channel)];
        re += v * std::cos(2 * M_PI * hz * double(i) / 48000);
        im += v * std::sin(2 * M_PI * hz * double(i) / 48000);
    }
    return 2 * std::sqrt(re * re + im * im) / double(n);
}

// All of a file's audio through soundpull's own entry points, in its plain delivery (at most
// two channels of 8 or 16 bits), as a host without the audio extension gets it.
std::vector<int16_t> ReadAllPlain(const std::string &file, VfAudioStreamInfo &info)
{
    TPluginLibrary lib("soundpull.vfp");
    TPluginFile f(lib, file);
    EXPECT_TRUE(f.Open()) << file;
    info = VfAudioStreamInfo{};
    info.size = sizeof info;
    if (!f.Open() || lib.Func.GetStreamInfo(f.Handle(), 2, &info) != VF_OK)
        return {};
    std::vector<int16_t> out(size_t(info.lengthLow) * info.channels);
    VfAudioReadData r{};
    r.size = sizeof r;
    r.sampleCount = info.lengthLow;
    r.bufferSize = uint32_t(out.size() * 2);
    r.buffer = out.data();
    EXPECT_EQ(lib.Func.ReadData(f.Handle(), 2, &r), VF_OK);
    EXPECT_EQ(r.samplesRead, info.lengthLow);
    return out;
}

class SoundpullHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        LoadPluginsFrom({"soundpull=" + std::string(TESSALY_BIN_DIR) + "/soundpull.vfp"});
        ASSERT_EQ(PluginCount(), 1);
    }
    void TearDown() override { UnloadPlugins(); }

    // Opens a file through the host; all of its audio as 16-bit samples.
    std::vector<int16_t> ReadAll(const std::string &file, VfAudioStreamInfo &info)
    {
        TMediaError status = meOk;
        TVfHandlePtr h(VfOpen(0, file, status));
        EXPECT_TRUE(h) << file << " status " << int(status);
        if (!h)
            return {};
        EXPECT_TRUE(HasAudio(h.get()));
        EXPECT_FALSE(HasVideo(h.get()));
        info = AudioInfo(h.get());
        std::vector<int16_t> out(size_t(info.lengthLow) * info.channels);
        EXPECT_EQ(ReadAudioPcm(h.get(), 0, info.lengthLow, out.data(), uint32_t(out.size() * 2)), out.size() * 2);
        return out;
    }
};

// Normalised correlation of the left channels of a and b, b shifted by the best lag within
// maxLag frames, over a window from the middle of a.
double BestCorrelation(const std::vector<int16_t> &a, const std::vector<int16_t> &b, int maxLag, int &lag)
{
    const int window = 8192, from = int(a.size() / 4);
    double best = -1;
    for (int l = -maxLag; l <= maxLag; ++l) {
        double ab = 0, aa = 0, bb = 0;
        for (int i = 0; i < window; ++i) {
            const int ia = (from + i) * 2, ib = (from + i + l) * 2;
            if (ib < 0 || size_t(ib) >= b.size() || size_t(ia) >= a.size())
                continue;
            ab += double(a[size_t(ia)]) * b[size_t(ib)];
            aa += double(a[size_t(ia)]) * a[size_t(ia)];
            bb += double(b[size_t(ib)]) * b[size_t(ib)];
        }
        const double c = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
        if (c > best) {
            best = c;
            lag = l;
        }
    }
    return best;
}

} // namespace

TEST_F(SoundpullHost, LosslessSourcesEqualFfmpegSampleForSample)
{
    for (const std::string &file :
         {StereoWav(), PluginMedia("stereo.flac", std::string(kStereoSource) + " -c:a flac -sample_fmt s16")}) {
        VfAudioStreamInfo info{};
        const std::vector<int16_t> ours = ReadAll(file, info);
        const std::vector<int16_t> ref = Samples(FfmpegDecode(file, "-f s16le"));
        EXPECT_EQ(info.lengthLow, 132300u) << file;
        EXPECT_EQ(info.lengthHigh, 0u);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.bitsPerSample, 16u);
        EXPECT_EQ(info.blockAlign, 4u);
        EXPECT_EQ(info.rate, 176400u);
        EXPECT_EQ(info.scale, 4u);
        EXPECT_TRUE(ours == ref) << file;
    }
}

TEST_F(SoundpullHost, LossyCodecsMatchFfmpegWithinTheirDelay)
{
    struct TCodec { const char *name, *args; int delay; };
    // Codec delay: MP3 one frame plus the decoder's 529, AC3 one frame plus 256, Vorbis a long block.
    const TCodec codecs[] = {{"stereo.mp3", "-c:a libmp3lame -b:a 192k", 1152 + 529},
                             {"stereo.ac3", "-c:a ac3 -b:a 192k", 1536 + 256},
                             {"stereo.ogg", "-c:a libvorbis -q:a 6", 2048}};
    for (const TCodec &c : codecs) {
        const std::string file = PluginMedia(c.name, std::string(kStereoSource) + " " + c.args);
        VfAudioStreamInfo info{};
        const std::vector<int16_t> ours = ReadAll(file, info);
        const std::vector<int16_t> ref = Samples(FfmpegDecode(file, "-f s16le"));
        ASSERT_FALSE(ref.empty()) << c.name;
        EXPECT_NEAR(double(info.lengthLow), double(ref.size() / 2), c.delay) << c.name;
        // Both decoders produce the same signal, at most the codec delay apart.
        int lag = 0;
        EXPECT_GT(BestCorrelation(ref, ours, c.delay, lag), 0.999) << c.name;
        EXPECT_LE(std::abs(lag), c.delay) << c.name;
    }
}

TEST(SoundpullPlain, WideAndMultichannelSourcesBecomeSixteenBitStereo)
{
    // 24-bit stereo keeps the upper 16 bits of each sample.
    const std::string s24 = PluginMedia("stereo24.wav", std::string(kStereoSource) + " -c:a pcm_s24le");
    VfAudioStreamInfo info{};
    std::vector<int16_t> ours = ReadAllPlain(s24, info);
    EXPECT_EQ(info.bitsPerSample, 16u);
    EXPECT_EQ(info.blockAlign, 4u);
    const std::vector<uint8_t> raw24 = FfmpegDecode(s24, "-f s24le");
    ASSERT_EQ(raw24.size() / 3, ours.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        mismatches += ours[i] != int16_t(uint16_t(raw24[i * 3 + 1] | (raw24[i * 3 + 2] << 8)));
    EXPECT_EQ(mismatches, 0u);

    // Six float channels (a 5.1 WAVE) are mixed down to two 16-bit channels by their
    // positions, as ffmpeg mixes them.
    const std::string six = PluginMedia(
        "six.wav", "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(550*2*PI*t)|0.2*sin(660*2*PI*t)|"
                   "0.1*sin(770*2*PI*t)|0.15*sin(880*2*PI*t)|0.05*sin(990*2*PI*t):s=48000:d=1:c=5.1\" -c:a pcm_f32le");
    ours = ReadAllPlain(six, info);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.bitsPerSample, 16u);
    EXPECT_EQ(info.lengthLow, 48000u);
    EXPECT_LE(MaxDifference(ours, Samples(FfmpegDecode(six, "-f s16le -ac 2"))), 1);
}

TEST(SoundpullPlain, SurroundIsMixedChannelByChannel)
{
    // Lossless 5.1 and 7.1 (GStreamer's order FL FR FC LFE BL BR [SL SR]) equal ffmpeg's
    // down-mix to within rounding: a channel in the wrong place or lost shows at once.
    const std::string surround51 = PluginMedia("surround51.flac", Tones(6, "5.1") + " -c:a flac -sample_fmt s16");
    const std::string surround71 = PluginMedia("surround71.mka", Tones(8, "7.1") + " -c:a pcm_s16le");
    for (const std::string &file : {surround51, surround71}) {
        VfAudioStreamInfo info{};
        const std::vector<int16_t> ours = ReadAllPlain(file, info);
        EXPECT_EQ(info.channels, 2u) << file;
        EXPECT_EQ(info.lengthLow, 96000u) << file;
        EXPECT_LE(MaxDifference(ours, Samples(FfmpegDecode(file, "-f s16le -ac 2"))), 1) << file;
    }

    // AC-3 5.1, channel by channel: each channel carries its own tone (FL 300 Hz, FR 500,
    // FC 700, LFE 80, BL 1100, BR 1300 Hz). Left holds FL, FC and BL, right FR, FC and BR;
    // centre and surrounds at -3 dB of the fronts, LFE nowhere.
    const std::string ac3 = PluginMedia("surround51.ac3", Tones(6, "5.1") + " -c:a ac3 -b:a 448k");
    VfAudioStreamInfo info{};
    const std::vector<int16_t> ours = ReadAllPlain(ac3, info);
    ASSERT_GT(ours.size(), 2u * 60000);
    const double fl = Tone(ours, 0, 300), fr = Tone(ours, 1, 500);
    EXPECT_NEAR(fl, 0.1 / 2.414 * 32768, 60);
    EXPECT_NEAR(fr, fl, 60);
    EXPECT_NEAR(Tone(ours, 0, 700), fl * 0.7071, 60);
    EXPECT_NEAR(Tone(ours, 1, 700), fl * 0.7071, 60);
    EXPECT_NEAR(Tone(ours, 0, 1100), fl * 0.7071, 60);
    EXPECT_NEAR(Tone(ours, 1, 1300), fl * 0.7071, 60);
    for (double hz : {500.0, 1300.0, 80.0})
        EXPECT_LT(Tone(ours, 0, hz), 20) << hz << " Hz in the left channel";
    for (double hz : {300.0, 1100.0, 80.0})
        EXPECT_LT(Tone(ours, 1, hz), 20) << hz << " Hz in the right channel";
}

TEST_F(SoundpullHost, EveryChannelAndTwentyFourBitsReachTheHost)
{
    // Through the host, which selects the full delivery: 24-bit 5.1 FLAC and 16-bit 7.1 PCM
    // in Matroska come with all their channels, their low bytes and their speaker mask,
    // byte for byte as ffmpeg decodes them; a 24-bit stereo FLAC keeps its 24 bits.
    struct TCase { std::string file; uint32_t channels, bits, mask; const char *ffmpegFormat; };
    const TCase cases[] = {
        {PluginMedia("surround51-24.flac", Tones(6, "5.1") + " -c:a flac -sample_fmt s32 -bits_per_raw_sample 24"), 6,
         24, 0x3F, "-f s24le"},
        {PluginMedia("surround71.mka", Tones(8, "7.1") + " -c:a pcm_s16le"), 8, 16, 0x63F, "-f s16le"},
        {PluginMedia("stereo24.flac", std::string(kStereoSource) + " -c:a flac -sample_fmt s32 -bits_per_raw_sample 24"),
         2, 24, 0, "-f s24le"},
    };
    for (const TCase &c : cases) {
        TMediaError status = meOk;
        TVfHandlePtr h(VfOpen(0, c.file, status));
        ASSERT_TRUE(h) << c.file;
        const VfAudioStreamInfo info = AudioInfo(h.get());
        EXPECT_EQ(info.channels, c.channels) << c.file;
        EXPECT_EQ(info.bitsPerSample, c.bits) << c.file;
        const std::vector<uint8_t> format = AudioFormatBytes(h.get());
        WAVEFORMATEX wf{};
        uint32_t mask = 0;
        ASSERT_TRUE(ReadWaveFormat(format.data(), format.size(), wf, mask)) << c.file;
        EXPECT_EQ(format.size(), 40u) << "extensible record";
        EXPECT_EQ(wf.nChannels, c.channels);
        EXPECT_EQ(wf.wBitsPerSample, c.bits);
        EXPECT_EQ(mask, c.mask ? c.mask : 3u) << c.file;
        std::vector<uint8_t> ours(size_t(info.lengthLow) * info.blockAlign);
        ASSERT_EQ(ReadAudioPcm(h.get(), 0, info.lengthLow, ours.data(), uint32_t(ours.size())), ours.size());
        EXPECT_TRUE(ours == FfmpegDecode(c.file, c.ffmpegFormat)) << c.file;
    }
}

TEST(SoundpullExports, AudioExtensionDescribesAndSelects)
{
    TPluginLibrary lib("soundpull.vfp");
    auto getAudio = reinterpret_cast<VfGetPluginAudioFuncProc>(lib.Symbol(VF_EXPORT_PLUGIN_AUDIO_FUNC));
    ASSERT_NE(getAudio, nullptr);
    VfAudioFunc func{};
    func.size = sizeof func + 1;
    EXPECT_EQ(getAudio(&func), VF_ERROR);
    func.size = sizeof func;
    ASSERT_EQ(getAudio(&func), VF_OK);

    const std::string ac3 = PluginMedia("surround51.ac3", Tones(6, "5.1") + " -c:a ac3 -b:a 448k");
    TPluginFile file(lib, ac3);
    ASSERT_TRUE(file.Open());
    VfAudioLayout source{};
    source.size = sizeof source;
    ASSERT_EQ(func.GetSourceLayout(file.Handle(), &source), VF_OK);
    EXPECT_EQ(source.channels, 6u);
    EXPECT_EQ(source.channelMask, 0x3Fu);
    EXPECT_EQ(source.floatingPoint, 1u);
    EXPECT_EQ(func.GetSourceLayout(file.Handle() + 1, &source), VF_ERROR);

    // Neither a channel count of its own nor 24 bits of a down-mix can be asked for.
    VfAudioLayout wanted{sizeof wanted, 4, 0, 16, 0};
    EXPECT_EQ(func.SelectDelivery(file.Handle(), &wanted), VF_ERROR);
    wanted = VfAudioLayout{sizeof wanted, 2, 0, 24, 0};
    EXPECT_EQ(func.SelectDelivery(file.Handle(), &wanted), VF_ERROR);
    VfAudioStreamInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(lib.Func.GetStreamInfo(file.Handle(), 2, &info), VF_OK);
    EXPECT_EQ(info.channels, 2u) << "a refused selection changes nothing";
    wanted = VfAudioLayout{sizeof wanted, 6, 0, 16, 0};
    ASSERT_EQ(func.SelectDelivery(file.Handle(), &wanted), VF_OK);
    ASSERT_EQ(lib.Func.GetStreamInfo(file.Handle(), 2, &info), VF_OK);
    EXPECT_EQ(info.channels, 6u);
    EXPECT_EQ(info.blockAlign, 12u);

    // A 16-bit source has no 24 bits to give.
    TPluginFile wav(lib, StereoWav());
    wanted = VfAudioLayout{sizeof wanted, 2, 0, 24, 0};
    EXPECT_EQ(func.SelectDelivery(wav.Handle(), &wanted), VF_ERROR);
}

TEST_F(SoundpullHost, ContainersOfTheExtensionTableOpen)
{
    // Every container soundpull claims besides the usual audio files: the plug-in claims
    // the name and GStreamer reads the audio it holds.
    struct TContainer { const char *name, *args; };
    const TContainer containers[] = {
        {"tone.ts", "-c:a mp2"},   {"tone.m2ts", "-c:a ac3"},        {"tone.mts", "-c:a ac3 -f mpegts"},
        {"tone.mpg", "-c:a mp2"},  {"tone.mpeg", "-c:a mp2 -f mpeg"}, {"tone.vob", "-c:a ac3 -f vob"},
        {"tone.flv", "-c:a mp3"},  {"tone.wmv", "-c:a wmav2 -f asf"}, {"tone.asf", "-c:a wmav2"},
        {"tone.aif", "-c:a pcm_s16be -f aiff"}, {"tone.aiff", "-c:a pcm_s16be"},
    };
    for (const TContainer &c : containers) {
        const std::string file = PluginMedia(c.name, std::string(kStereoSource) + " " + c.args);
        ASSERT_FALSE(file.empty()) << c.name;
        EXPECT_TRUE(PluginClaimsFile(0, file, VF_STREAM_AUDIO, 0)) << c.name;
        VfAudioStreamInfo info{};
        const std::vector<int16_t> ours = ReadAll(file, info);
        // Transport and program streams carry no duration: GStreamer estimates it from the
        // bit rate, a few per cent off.
        EXPECT_NEAR(double(info.lengthLow), 132300.0, 132300.0 * 0.06) << c.name;
        int lag = 0;
        EXPECT_GT(BestCorrelation(Samples(FfmpegDecode(file, "-f s16le")), ours, 2000, lag), 0.99) << c.name;
    }
}

TEST_F(SoundpullHost, StreamsStartAtTheirFirstSample)
{
    // Vorbis in Matroska (first buffer stamped a few ms late by the container's rounding) and
    // MP3 with an encoder-delay tag (priming left in by the decoder) start where ffmpeg's
    // decode starts, sample for sample, and an MP3 has the length the encoder wrote.
    const std::string source = "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)*gt(t\\,0.5)|"
                               "0.25*sin(660*2*PI*t)*gt(t\\,0.5):s=44100:d=3\"";
    const std::string vorbis = PluginMedia("onset.mkv", source + " -c:a libvorbis -q:a 6");
    const std::string mp3 = PluginMedia("onset.mp3", source + " -c:a libmp3lame -b:a 192k");
    for (const std::string &file : {vorbis, mp3}) {
        VfAudioStreamInfo info{};
        const std::vector<int16_t> ours = ReadAll(file, info);
        const std::vector<int16_t> ref = Samples(FfmpegDecode(file, "-f s16le"));
        const size_t n = std::min(ours.size(), ref.size());
        ASSERT_GT(n, 2u * 100000) << file;
        EXPECT_LE(MaxDifference(std::vector<int16_t>(ours.begin(), ours.begin() + std::ptrdiff_t(n)),
                                std::vector<int16_t>(ref.begin(), ref.begin() + std::ptrdiff_t(n))),
                  1)
            << file;
    }
    VfAudioStreamInfo info{};
    ReadAll(mp3, info);
    EXPECT_EQ(info.lengthLow, 132300u);

    // Audio that really starts 0.25 s after the video of its file keeps that silence: only
    // what the decoder itself held back is not taken for a late start.
    const std::string delayed = PluginMedia(
        "delayed.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=3 -itsoffset 0.25 "
                       "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t):s=44100:d=2\" -c:v mpeg4 -c:a libvorbis -ac 2");
    const std::vector<int16_t> late = ReadAll(delayed, info);
    const auto onset = std::find_if(late.begin(), late.end(), [](int16_t v) { return std::abs(v) > 100; });
    ASSERT_NE(onset, late.end());
    EXPECT_NEAR(double(onset - late.begin()) / 2, 0.25 * 44100, 0.005 * 44100);
}

TEST(SoundpullExports, InfoTablesAndRecordChecks)
{
    TPluginLibrary lib("soundpull.vfp");
    ASSERT_TRUE(lib.Loaded());
    EXPECT_FALSE(lib.HasRiff()) << "soundpull has no RIFF extension";
    EXPECT_EQ(lib.RiffExport(), nullptr);

    VfPluginInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.size = sizeof info - 1;
    EXPECT_EQ(lib.InfoExport()(&info), VF_ERROR);
    EXPECT_EQ(info.apiVersion, 0x5A5A5A5Au) << "a refused record stays unchanged";
    EXPECT_EQ(lib.InfoExport()(nullptr), VF_ERROR);
    info.size = sizeof info;
    ASSERT_EQ(lib.InfoExport()(&info), VF_OK);
    EXPECT_EQ(info.apiVersion, 1u);
    EXPECT_EQ(info.pluginVersion, 1u);
    EXPECT_EQ(info.streamTypes, 2u);
    EXPECT_STREQ(info.infoText, "Tessaly DirectShow Audio Reader 1.0");
    // The file types come whole from the table, every pattern within the record's 255 characters.
    EXPECT_EQ(std::string(info.fileTypes), tessaly::soundpull::FileTypesText());
    EXPECT_LT(tessaly::soundpull::FileTypesText().size(), sizeof info.fileTypes);
    EXPECT_EQ(std::string(info.fileTypes).rfind("GStreamer audio|*.mp3;", 0), 0u);
    EXPECT_EQ(info.infoText[255], 0);
    VfPluginFunc func{};
    func.size = sizeof func + 1;
    EXPECT_EQ(lib.FuncExport()(&func), VF_ERROR);
    EXPECT_EQ(func.OpenFile, nullptr);

    VF_FileHandle h = 0;
    EXPECT_EQ(lib.Func.OpenFile(nullptr, &h), VF_ERROR);
    EXPECT_EQ(lib.Func.OpenFile(StereoWav().c_str(), nullptr), VF_ERROR);
    TTempDir dir;
    const std::string junk = dir.File("junk.mp3");
    ASSERT_TRUE(WriteFileBytes(junk, std::vector<uint8_t>(3000, 7)));
    EXPECT_EQ(lib.Func.OpenFile(junk.c_str(), &h), VF_ERROR);
    EXPECT_EQ(h, 0u) << "no handle written on failure";
    EXPECT_EQ(lib.Func.OpenFile(Mpeg4Avi().c_str(), &h), VF_OK) << "any medium with audio";
    lib.Func.CloseFile(h);

    TPluginFile file(lib, StereoWav());
    ASSERT_TRUE(file.Open());
    VfFileInfo fi{sizeof(VfFileInfo) + 1, 77};
    EXPECT_EQ(lib.Func.GetFileInfo(file.Handle(), &fi), VF_ERROR);
    EXPECT_EQ(fi.hasStreams, 77u);
    fi.size = sizeof fi;
    ASSERT_EQ(lib.Func.GetFileInfo(file.Handle(), &fi), VF_OK);
    EXPECT_EQ(fi.hasStreams, 2u);
    EXPECT_EQ(lib.Func.GetFileInfo(0, &fi), VF_ERROR);
    EXPECT_EQ(lib.Func.GetFileInfo(file.Handle() + 1, &fi), VF_ERROR) << "an invented handle";
    VfVideoStreamInfo vi{};
    vi.size = sizeof vi;
    EXPECT_EQ(lib.Func.GetStreamInfo(file.Handle(), 1, &vi), VF_ERROR) << "no video in soundpull";
    VfAudioStreamInfo ai{};
    ai.size = sizeof ai;
    ASSERT_EQ(lib.Func.GetStreamInfo(file.Handle(), 2, &ai), VF_OK);
    EXPECT_EQ(ai.lengthLow, 132300u);
    EXPECT_EQ(lib.Func.CloseFile(0), VF_OK);
}

TEST(SoundpullExports, ReadsLimitedByTheBufferAndSilentOutsideTheStream)
{
    TPluginLibrary lib("soundpull.vfp");
    ASSERT_TRUE(lib.Loaded());
    const std::string s24 = PluginMedia("stereo24.wav", std::string(kStereoSource) + " -c:a pcm_s24le");
    TPluginFile file(lib, s24);
    ASSERT_TRUE(file.Open());
    std::vector<int16_t> buffer(8192, 0x2222);
    VfAudioReadData r{};
    r.size = sizeof r;
    r.sampleCount = 4096;
    r.bufferSize = 12000;
    r.buffer = buffer.data();
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_OK);
    EXPECT_EQ(r.samplesRead, 3000u);
    EXPECT_EQ(buffer[6000], 0x2222) << "nothing written beyond the buffer size";
    r.bufferSize = 16384;
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_OK);
    EXPECT_EQ(r.samplesRead, 4096u);

    // 100 frames from -40 (a 64-bit index): 40 silent frames, then the first 60 frames.
    const std::vector<uint8_t> raw24 = FfmpegDecode(s24, "-f s24le");
    const int64_t first = -40;
    r.firstLow = uint32_t(uint64_t(first));
    r.firstHigh = uint32_t(uint64_t(first) >> 32);
    r.sampleCount = 100;
    r.bufferSize = 400;
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_OK);
    EXPECT_EQ(r.samplesRead, 100u);
    for (int i = 0; i < 80; ++i)
        ASSERT_EQ(buffer[size_t(i)], 0) << i;
    for (size_t i = 0; i < 120; ++i)
        ASSERT_EQ(buffer[80 + i], int16_t(uint16_t(raw24[i * 3 + 1] | (raw24[i * 3 + 2] << 8)))) << i;
    // Past the end: silence.
    r.firstLow = 132300 - 10;
    r.firstHigh = 0;
    r.sampleCount = 20;
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_OK);
    for (int i = 20; i < 40; ++i)
        EXPECT_EQ(buffer[size_t(i)], 0) << i;

    // Records with a wrong size or no buffer fail; other streams fail.
    r.size = sizeof r - 4;
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_ERROR);
    r.size = sizeof r;
    r.buffer = nullptr;
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 2, &r), VF_ERROR);
    r.buffer = buffer.data();
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 1, &r), VF_ERROR);
}
