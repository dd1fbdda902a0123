// The GStreamer video and audio sources and their handle layer on files made by ffmpeg:
// open failures, frame stepping, seeking and restarting, saved pipeline files, and sample
// reads with silence outside the stream.
#include "plugin_media.h"
#include "plugins/gst/dss_handle.h"
#include "plugins/gst/pipeline_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace tessaly::gst;
using namespace tessaly::test;

namespace {

constexpr uint32_t kW = 160, kH = 120;
constexpr size_t kYuvFrame = kW * kH * 3 / 2;

// ffmpeg's decode of every frame as planar 4:2:0 (Y, U, V planes).
const std::vector<uint8_t> &ReferenceYuv()
{
    static const std::vector<uint8_t> yuv = FfmpegDecode(Mpeg4Avi(), "-f rawvideo -pix_fmt yuv420p");
    return yuv;
}

// Largest difference between a raw YV12 frame (Y, V, U) and ffmpeg's frame n (Y, U, V).
int YuvDifference(const uint8_t *raw, size_t n)
{
    const uint8_t *ref = ReferenceYuv().data() + n * kYuvFrame;
    const size_t luma = kW * kH, chroma = luma / 4;
    int worst = 0;
    auto compare = [&](const uint8_t *a, const uint8_t *b, size_t count) {
        for (size_t i = 0; i < count; ++i)
            worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    };
    compare(raw, ref, luma);
    compare(raw + luma, ref + luma + chroma, chroma); // V
    compare(raw + luma + chroma, ref + luma, chroma); // U
    return worst;
}

struct THandle {
    explicit THandle(DssHandle *h) : H(h) {}
    ~THandle() { DssClose(H); }
    DssHandle *H;
};

// Both decoders are libavcodec's MPEG-4 decoder: the planes may differ by rounding only.
constexpr int kDecoderTolerance = 2;

} // namespace

TEST(GstSourceOpen, RefusedRequestsAndUnreadableFilesReportTheirCode)
{
    EXPECT_EQ(DssOpen("x.avi", false, false, 0, 1000, 0), nullptr);
    EXPECT_EQ(GetDssLastError(), 2);
    EXPECT_EQ(DssOpen("x.avi", true, true, 0, 1000, 7), nullptr);
    EXPECT_EQ(GetDssLastError(), 4);

    TTempDir dir;
    EXPECT_EQ(DssOpenDefault(dir.File("missing.avi").c_str(), true, true), nullptr);
    EXPECT_EQ(GetDssLastError(), 24);
    const std::string text = dir.File("notes.avi");
    ASSERT_TRUE(WriteFileBytes(text, std::vector<uint8_t>(5000, 'a')));
    EXPECT_EQ(DssOpenDefault(text.c_str(), true, true), nullptr);
    EXPECT_EQ(GetDssLastError(), 24);
    // A stream that is missing leaves its slot empty; both missing fail the open.
    THandle audioOnly(DssOpenDefault(StereoWav().c_str(), true, true));
    ASSERT_NE(audioOnly.H, nullptr);
    EXPECT_EQ(audioOnly.H->Video, nullptr);
    ASSERT_NE(audioOnly.H->Audio, nullptr);
    EXPECT_EQ(DssOpenDefault(StereoWav().c_str(), false, true), nullptr);
    EXPECT_EQ(GetDssLastError(), 25);
    DssClose(audioOnly.H);
    EXPECT_EQ(audioOnly.H, nullptr);
}

TEST(GstVideoSource, DescriptionAndFramesEqualFfmpegWhileSteppingAndSeeking)
{
    ASSERT_EQ(ReferenceYuv().size(), 100 * kYuvFrame);
    THandle h(DssOpen(Mpeg4Avi().c_str(), false, true, 0, 20000, 66));
    ASSERT_NE(h.H, nullptr) << GetDssLastError();
    DssInfo info{};
    ASSERT_EQ(DssGetInfo(h.H, &info), 56);
    EXPECT_EQ(info.Video.Width, kW);
    EXPECT_EQ(info.Video.Height, kH);
    EXPECT_EQ(info.Video.Rate, 25u);
    EXPECT_EQ(info.Video.Scale, 1u);
    EXPECT_EQ(info.Video.FrameCount, 100u);
    EXPECT_EQ(info.Video.PixelFormat, pfYV12);
    EXPECT_EQ(info.Audio.Valid, 0u);
    EXPECT_EQ(h.H->Video->FrameDuration(), 400000);

    TVideoDSS &video = *h.H->Video;
    uint8_t *raw = nullptr;
    struct TStep { int frame; uint32_t seeks; };
    // 0 -> 5 steps, 5 -> 20 seeks, 20 -> 30 steps (10 ahead), back to 3 seeks, 99 seeks.
    for (TStep s : {TStep{0, 0}, {5, 0}, {20, 1}, {30, 1}, {3, 2}, {4, 2}, {99, 3}}) {
        ASSERT_EQ(DssReadFrame(h.H, s.frame, &raw), int32_t(kW * kH * 3 / 2)) << s.frame;
        ASSERT_NE(raw, nullptr);
        EXPECT_LE(YuvDifference(raw, size_t(s.frame)), kDecoderTolerance) << "frame " << s.frame;
        EXPECT_EQ(video.CurrentFrame(), s.frame);
        EXPECT_EQ(video.SeekCount(), s.seeks) << "after frame " << s.frame;
    }
    // A negative index reads nothing and clears the buffer.
    EXPECT_EQ(DssReadFrame(h.H, -1, &raw), int32_t(kW * kH * 3 / 2));
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(h.H->RawFrame[0], 0);
}

TEST(GstVideoSource, RestartAndForwardOnlyModes)
{
    uint8_t *raw = nullptr;
    // Flag 1: never seek forward; going back restarts at 0 and steps.
    THandle restart(DssOpen(Mpeg4Avi().c_str(), false, true, dfNoSeek, 20000, 66));
    ASSERT_NE(restart.H, nullptr);
    ASSERT_GT(DssReadFrame(restart.H, 40, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 40), kDecoderTolerance);
    EXPECT_EQ(restart.H->Video->SeekCount(), 0u);
    ASSERT_GT(DssReadFrame(restart.H, 7, &raw), 0);
    ASSERT_GT(DssReadFrame(restart.H, 3, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 3), kDecoderTolerance);
    EXPECT_EQ(restart.H->Video->SeekCount(), 2u);

    // Flag 2: forward only; a frame before the current one is answered with the current one.
    THandle forward(DssOpen(Mpeg4Avi().c_str(), false, true, dfForwardOnly, 20000, 66));
    ASSERT_NE(forward.H, nullptr);
    ASSERT_GT(DssReadFrame(forward.H, 30, &raw), 0);
    ASSERT_GT(DssReadFrame(forward.H, 12, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 30), kDecoderTolerance);
    EXPECT_EQ(forward.H->Video->SeekCount(), 0u);
}

TEST(GstVideoSource, RgbFramesAndColourRequests)
{
    // Request 33 takes RGB24 only: the raw frame is a bottom-up 24-bit picture.
    THandle rgb(DssOpen(Mpeg4Avi().c_str(), false, true, 0, 20000, 33));
    ASSERT_NE(rgb.H, nullptr);
    EXPECT_EQ(rgb.H->Video->Info().PixelFormat, pfRGB24);
    const int32_t stride = 160 * 3;
    std::vector<uint8_t> up(stride * kH), down(stride * kH);
    ASSERT_EQ(DssReadRgbFrame(rgb.H, 10, down.data(), stride, false), int32_t(stride * kH));
    ASSERT_EQ(DssReadRgbFrame(rgb.H, 10, up.data(), stride, true), int32_t(stride * kH));
    for (uint32_t k = 0; k < kH; ++k)
        ASSERT_EQ(0, std::memcmp(down.data() + k * stride, up.data() + (kH - 1 - k) * stride, stride)) << k;
    BITMAPINFOHEADER header{};
    ASSERT_EQ(DssGetBitmapHeader(rgb.H, -500, &header), 40);
    EXPECT_EQ(header.biWidth, 160);
    EXPECT_EQ(header.biHeight, 120);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biSizeImage, 500u * 120);
    EXPECT_EQ(header.biXPelsPerMeter, 3780);

    // The same picture through YUY2 and through YV12 converts to the same colours within
    // the rounding of the chroma conversions of the two pipelines.
    THandle yuy2(DssOpen(Mpeg4Avi().c_str(), false, true, 0, 20000, 65));
    ASSERT_NE(yuy2.H, nullptr);
    EXPECT_EQ(yuy2.H->Video->Info().PixelFormat, pfYUY2);
    std::vector<uint8_t> fromYuy2(stride * kH);
    ASSERT_EQ(DssReadRgbFrame(yuy2.H, 10, fromYuy2.data(), 0, true), int32_t(stride * kH));
    long total = 0;
    for (size_t i = 0; i < up.size(); ++i)
        total += std::abs(int(up[i]) - int(fromYuy2[i]));
    EXPECT_LT(double(total) / double(up.size()), 12.0);
}

TEST(GstVideoSource, SavedPipelineFiles)
{
    TTempDir dir;
    const std::string avi = Mpeg4Avi();
    // A description with a second branch left dangling: that branch is pruned and the
    // grabber takes the first free pad.
    const std::string grf = dir.File("clip.grf");
    const std::string text = "filesrc location=\"" + avi + "\" ! decodebin name=d d. ! queue\n";
    ASSERT_TRUE(WriteFileBytes(grf, std::vector<uint8_t>(text.begin(), text.end())));
    THandle saved(DssOpen(grf.c_str(), false, true, 0, 20000, 66));
    ASSERT_NE(saved.H, nullptr) << GetDssLastError();
    uint8_t *raw = nullptr;
    ASSERT_GT(DssReadFrame(saved.H, 2, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 2), kDecoderTolerance);

    // A name that merely contains ".grf" is a media file.
    const std::string media = dir.File("clip.grf.avi");
    std::filesystem::copy_file(avi, media);
    THandle rendered(DssOpen(media.c_str(), false, true, 0, 20000, 66));
    ASSERT_NE(rendered.H, nullptr);
    EXPECT_EQ(rendered.H->Video->Info().FrameCount, 100u);

    // Descriptions that do not parse, or files that are no text, fail with 23.
    const std::string bad = dir.File("bad.GRF");
    const std::string junk = "no-such-element-anywhere ! fakesink";
    ASSERT_TRUE(WriteFileBytes(bad, std::vector<uint8_t>(junk.begin(), junk.end())));
    EXPECT_EQ(DssOpenDefault(bad.c_str(), false, true), nullptr);
    EXPECT_EQ(GetDssLastError(), 23);
    EXPECT_EQ(DssOpenDefault(dir.File("absent.grf").c_str(), false, true), nullptr);
    EXPECT_EQ(GetDssLastError(), 23);
}

namespace {

// The 16-bit stereo samples of the test WAV as ffmpeg decodes them.
const std::vector<int16_t> &ReferencePcm()
{
    static const std::vector<int16_t> pcm = [] {
        const std::vector<uint8_t> b = FfmpegDecode(StereoWav(), "-f s16le");
        std::vector<int16_t> s(b.size() / 2);
        std::memcpy(s.data(), b.data(), s.size() * 2);
        return s;
    }();
    return pcm;
}

// Reads count frames from start through DssReadAudio; checks the byte count.
std::vector<int16_t> ReadFrames(DssHandle *h, int64_t start, int32_t count)
{
    EXPECT_EQ(h->Audio->FrameSize(), 4u);
    if (h->Audio->FrameSize() != 4)
        return {};
    std::vector<int16_t> out(size_t(count) * 2, 0x5555);
    EXPECT_EQ(DssReadAudio(h, start, count, reinterpret_cast<uint8_t *>(out.data())), int64_t(count) * 4);
    return out;
}

// Whether frames [from, from + count) of the reference equal out starting at frame at.
bool SameFrames(const std::vector<int16_t> &out, size_t at, size_t from, size_t count)
{
    const auto &ref = ReferencePcm();
    return from * 2 + count * 2 <= ref.size() && (at + count) * 2 <= out.size() &&
           std::memcmp(out.data() + at * 2, ref.data() + from * 2, count * 4) == 0;
}

bool Silent(const std::vector<int16_t> &out, size_t at, size_t count)
{
    return (at + count) * 2 <= out.size() && std::all_of(out.begin() + std::ptrdiff_t(at * 2), out.begin() + std::ptrdiff_t((at + count) * 2),
                       [](int16_t v) { return v == 0; });
}

} // namespace

TEST(GstAudioSource, ContiguousReadsSilenceOutsideAndExactSeeks)
{
    ASSERT_EQ(ReferencePcm().size(), 132300u * 2);
    THandle h(DssOpenDefault(StereoWav().c_str(), true, false));
    ASSERT_NE(h.H, nullptr);
    TAudioDSS &audio = *h.H->Audio;
    EXPECT_EQ(audio.Info().Length, 132300);
    EXPECT_EQ(audio.Info().SampleType, stInt16);
    EXPECT_EQ(audio.Info().Channels, 2u);

    // 100 frames from -40: 40 frames of silence, then frames 0 to 59.
    std::vector<int16_t> out = ReadFrames(h.H, -40, 100);
    EXPECT_TRUE(Silent(out, 0, 40));
    EXPECT_TRUE(SameFrames(out, 40, 0, 60));
    // Two reads that continue each other never reposition.
    out = ReadFrames(h.H, 60, 1000);
    EXPECT_TRUE(SameFrames(out, 0, 60, 1000));
    out = ReadFrames(h.H, 1060, 1000);
    EXPECT_TRUE(SameFrames(out, 0, 1060, 1000));
    EXPECT_EQ(audio.SeekCount(), 0u);

    // 40,000 frames ahead are skipped, 60,000 ahead seek (mode 1); both deliver exact data.
    out = ReadFrames(h.H, 42060, 500);
    EXPECT_TRUE(SameFrames(out, 0, 42060, 500));
    EXPECT_EQ(audio.SeekCount(), 0u);
    out = ReadFrames(h.H, 105000, 500);
    EXPECT_TRUE(SameFrames(out, 0, 105000, 500));
    EXPECT_EQ(audio.SeekCount(), 1u);
    // Backwards seeks.
    out = ReadFrames(h.H, 12345, 777);
    EXPECT_TRUE(SameFrames(out, 0, 12345, 777));
    EXPECT_EQ(audio.SeekCount(), 2u);

    // Ten frames past the end are silence.
    out = ReadFrames(h.H, 132300 - 20, 30);
    EXPECT_TRUE(SameFrames(out, 0, 132280, 20));
    EXPECT_TRUE(Silent(out, 20, 10));
    out = ReadFrames(h.H, 500000, 30);
    EXPECT_TRUE(Silent(out, 0, 30));
    EXPECT_EQ(DssReadAudio(h.H, 0, 0, reinterpret_cast<uint8_t *>(out.data())), 0);
    EXPECT_EQ(DssReadAudio(h.H, 0, 10, nullptr), 40);
}

TEST(GstAudioSource, RestartModeSkipsForwardInsteadOfSeeking)
{
    THandle h(DssOpen(StereoWav().c_str(), true, false, dfNoSeek, 20000, 0));
    ASSERT_NE(h.H, nullptr);
    std::vector<int16_t> out = ReadFrames(h.H, 100, 200);
    EXPECT_TRUE(SameFrames(out, 0, 100, 200));
    out = ReadFrames(h.H, 60300, 200);
    EXPECT_TRUE(SameFrames(out, 0, 60300, 200));
    EXPECT_EQ(h.H->Audio->SeekCount(), 0u);
    out = ReadFrames(h.H, 50, 200); // back: restart at 0
    EXPECT_TRUE(SameFrames(out, 0, 50, 200));
    EXPECT_EQ(h.H->Audio->SeekCount(), 1u);
}

TEST(GstAudioSource, DecodedStreamsSeekToTheExactSample)
{
    // FLAC is lossless: after any seek the samples must be the WAV's samples.
    const std::string flac = PluginMedia("stereo.flac", std::string(kStereoSource) + " -c:a flac -sample_fmt s16");
    THandle h(DssOpenDefault(flac.c_str(), true, false));
    ASSERT_NE(h.H, nullptr);
    EXPECT_EQ(h.H->Audio->Info().Length, 132300);
    for (int64_t start : {100000, 7, 54321, 120000, 99999}) {
        std::vector<int16_t> out = ReadFrames(h.H, start, 2000);
        EXPECT_TRUE(SameFrames(out, 0, size_t(start), 2000)) << "start " << start;
    }
    EXPECT_GE(h.H->Audio->SeekCount(), 3u);
}

TEST(GstAudioSource, EightBitSilenceAndBufferedReads)
{
    const std::string wav8 = PluginMedia("mono8.wav", std::string(kStereoSource) + " -ac 1 -c:a pcm_u8");
    THandle h(DssOpenDefault(wav8.c_str(), true, false));
    ASSERT_NE(h.H, nullptr);
    EXPECT_EQ(h.H->Audio->Info().SampleType, stInt8);
    uint8_t *buffer = nullptr;
    ASSERT_EQ(DssReadAudioBuffered(h.H, 132300 - 5, 10, &buffer), 10);
    ASSERT_NE(buffer, nullptr);
    for (int i = 5; i < 10; ++i)
        EXPECT_EQ(buffer[i], 128) << i;
    EXPECT_EQ(DssReadAudioBuffered(h.H, 0, 0, &buffer), 0);
    EXPECT_EQ(GetDssLastError(), 5);

    WAVEFORMATEX w{};
    ASSERT_EQ(DssGetWaveFormat(h.H, &w), 18);
    EXPECT_EQ(w.wFormatTag, 1);
    EXPECT_EQ(w.nChannels, 1);
    EXPECT_EQ(w.wBitsPerSample, 8);
    EXPECT_EQ(w.nBlockAlign, 1);
    EXPECT_EQ(w.nAvgBytesPerSec, 44100u);
    std::vector<uint8_t> pcm(20, 0);
    EXPECT_EQ(DssReadPcm(h.H, -10, 20, pcm.data()), 20);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pcm[size_t(i)], 128) << i;
}

TEST(GstSourceRobustness, StrictSourcesFailWhereOthersDeliverGrey)
{
    // A negative time-out makes the source strict: a frame that does not come is a failure.
    THandle strict(DssOpen(Mpeg4Avi().c_str(), true, true, 0, -5000, 66));
    ASSERT_NE(strict.H, nullptr);
    uint8_t *raw = nullptr;
    ASSERT_GT(DssReadFrame(strict.H, 4, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 4), kDecoderTolerance);
    EXPECT_EQ(DssReadFrame(strict.H, 140, &raw), 0) << "beyond the last frame";
    EXPECT_EQ(GetDssLastError(), 43);
    std::vector<uint8_t> pcm(4000);
    EXPECT_EQ(DssReadPcm(strict.H, 1000, 1000, pcm.data()), 4000);

    THandle lenient(DssOpen(Mpeg4Avi().c_str(), false, true, 0, 5000, 66));
    ASSERT_NE(lenient.H, nullptr);
    ASSERT_GT(DssReadFrame(lenient.H, 140, &raw), 0);
    EXPECT_TRUE(std::all_of(raw, raw + kYuvFrame, [](uint8_t b) { return b == 128; }));
    // And the source still seeks back after running off the end.
    ASSERT_GT(DssReadFrame(lenient.H, 20, &raw), 0);
    EXPECT_LE(YuvDifference(raw, 20), kDecoderTolerance);
}

TEST(GstSourceRobustness, TruncatedAndDamagedFilesEndInBoundedTime)
{
    TTempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(Mpeg4Avi());
    ASSERT_GT(bytes.size(), 100000u);
    const std::string cut = dir.File("cut.avi");
    ASSERT_TRUE(WriteFileBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 150000)));
    std::vector<uint8_t> damaged = bytes;
    for (size_t i = 20000; i < damaged.size(); i += 7)
        damaged[i] = uint8_t(i * 31);
    const std::string bad = dir.File("damaged.avi");
    ASSERT_TRUE(WriteFileBytes(bad, damaged));

    for (const std::string &file : {cut, bad}) {
        const auto start = std::chrono::steady_clock::now();
        THandle h(DssOpen(file.c_str(), true, true, 0, 3000, 0));
        if (h.H && h.H->Video) {
            uint8_t *raw = nullptr;
            for (int frame : {0, 30, 99, 5, 60})
                DssReadFrame(h.H, frame, &raw);
        }
        if (h.H && h.H->Audio) {
            std::vector<uint8_t> pcm(40000 * 4);
            DssReadPcm(h.H, 100000, 40000, pcm.data());
            DssReadPcm(h.H, 0, 40000, pcm.data());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << file;
    }
}

TEST(GstSourceOpen, AiffOpensEveryTime)
{
    // The AIFF demuxer pushes its first data on its own thread, racing decodebin's exposing
    // of its output: every open must still get the sound, sample for sample.
    const std::string aiff = PluginMedia("stereo.aiff", std::string(kStereoSource) + " -c:a pcm_s16be");
    const std::vector<uint8_t> ref = FfmpegDecode(aiff, "-f s16le");
    ASSERT_EQ(ref.size(), 132300u * 4);
    for (int i = 0; i < 25; ++i) {
        THandle h(DssOpen(aiff.c_str(), true, false, 0, 60000, 0));
        ASSERT_NE(h.H, nullptr) << "open " << i << ", error " << GetDssLastError();
        ASSERT_EQ(h.H->Audio->Info().Length, 132300) << i;
        std::vector<uint8_t> pcm(2000 * 4);
        ASSERT_EQ(DssReadPcm(h.H, 0, 2000, pcm.data()), int64_t(pcm.size())) << i;
        ASSERT_TRUE(std::equal(pcm.begin(), pcm.end(), ref.begin())) << i;
    }
}

TEST(GstSourceOpen, FormatsWithoutAReaderAreRefusedNamingTheMissingElement)
{
    // No installed element demuxes CAF: refused at once (a refusal, not the time-out of a
    // preroll that never ends), and the reason names the stream type.
    const std::string caf = PluginMedia("tone.caf", std::string(kStereoSource) + " -c:a pcm_s16le");
    SetLastPipelineRefusal("");
    EXPECT_EQ(DssOpen(caf.c_str(), true, false, 0, 60000, 0), nullptr);
    EXPECT_EQ(GetDssLastError(), 24) << "not 30: nothing waited for a first buffer";
    EXPECT_NE(LastPipelineRefusal().find("audio/x-caf"), std::string::npos) << LastPipelineRefusal();
    EXPECT_NE(LastPipelineRefusal().find("missing"), std::string::npos) << LastPipelineRefusal();
}
