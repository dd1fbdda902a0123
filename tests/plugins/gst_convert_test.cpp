// Conversions of the GStreamer source layer: YUV and RGB frames to 24-bit pictures, PCM
// conversions with the down-mix, and the reduction of 64-bit ratios.
#include "plugins/gst/dss_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace tessaly::gst;

namespace {

DssVideoInfo Picture(uint32_t w, uint32_t h, uint32_t format)
{
    DssVideoInfo info{};
    info.Valid = kDescriptionValid;
    info.Width = w;
    info.Height = h;
    info.PixelFormat = format;
    return info;
}

template <class T> std::vector<uint8_t> Bytes(const std::vector<T> &values)
{
    std::vector<uint8_t> b(values.size() * sizeof(T));
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

DssAudioInfo Sound(uint32_t type, uint32_t channels)
{
    DssAudioInfo info{};
    info.Valid = kDescriptionValid;
    info.SampleType = type;
    info.Channels = channels;
    info.SampleRate = 48000;
    return info;
}

// A layout from WAVE speaker bits, one per channel.
TChannelLayout Layout(std::initializer_list<uint8_t> speakers)
{
    TChannelLayout l;
    for (uint8_t s : speakers)
        l.Speaker[l.Count++] = s;
    return l;
}
const TChannelLayout kStereo = Layout({0, 1});

std::vector<int16_t> ToPcm16(const DssAudioInfo &info, const std::vector<uint8_t> &source, int64_t frames,
                             const TChannelLayout &layout = kStereo)
{
    std::vector<int16_t> out(size_t(frames) * DeliveredChannels(info));
    ConvertToPcm(info, layout, source.data(), frames, reinterpret_cast<uint8_t *>(out.data()));
    return out;
}

// The left and right output of a layout where only channel `lit` carries `value`.
std::vector<int16_t> OneChannel(const TChannelLayout &layout, uint32_t lit, int16_t value)
{
    std::vector<int16_t> in(layout.Count, 0);
    in[lit] = value;
    return ToPcm16(Sound(stInt16, layout.Count), Bytes(in), 1, layout);
}

} // namespace

TEST(GstYuvConversion, ClampTableAndFixedPointFormulas)
{
    EXPECT_EQ(ClampYuv(-384), 0);
    EXPECT_EQ(ClampYuv(-1), 0);
    EXPECT_EQ(ClampYuv(0), 0);
    EXPECT_EQ(ClampYuv(200), 200);
    EXPECT_EQ(ClampYuv(255), 255);
    EXPECT_EQ(ClampYuv(256), 255);
    EXPECT_EQ(ClampYuv(639), 255);

    struct TCase { int y, u, v; uint8_t b, g, r; };
    const TCase cases[] = {
        {16, 128, 128, 0, 0, 0},   {235, 128, 128, 255, 255, 255}, {81, 90, 240, 0, 0, 254},
        {145, 54, 34, 1, 255, 0},  {41, 240, 110, 255, 0, 0},      {128, 128, 128, 130, 130, 130},
        {100, 200, 50, 243, 133, 0},
    };
    for (const TCase &c : cases) {
        uint8_t bgr[3];
        YuvToBgr(c.y, c.u, c.v, bgr);
        EXPECT_EQ(bgr[0], c.b) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(bgr[1], c.g) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(bgr[2], c.r) << c.y << "," << c.u << "," << c.v;
    }
}

TEST(GstRgbConversion, LineOrderPitchAndReversal)
{
    EXPECT_EQ(Rgb24Stride(1), 4);
    EXPECT_EQ(Rgb24Stride(4), 12);
    EXPECT_EQ(Rgb24Stride(5), 16);

    // RGB24 raw frames are bottom line first, lines of exactly width x 3 bytes.
    const DssVideoInfo info = Picture(2, 3, pfRGB24);
    std::vector<uint8_t> raw(2 * 3 * 3);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = uint8_t(i + 1);
    std::vector<uint8_t> out(8 * 3, 0xEE);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data(), 8, false));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(0, std::memcmp(out.data() + k * 8, raw.data() + k * 6, 6)) << k;
        EXPECT_EQ(out[size_t(k * 8 + 6)], 0xEE) << "padding untouched";
    }
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data(), 8, true));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(0, std::memcmp(out.data() + (2 - k) * 8, raw.data() + k * 6, 6)) << k;

    // A negative pitch walks backwards from the given line.
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data() + 16, -8, false));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(0, std::memcmp(out.data() + 16 - k * 8, raw.data() + k * 6, 6)) << k;
}

TEST(GstRgbConversion, Rgb32KeepsThreeBytesAndNeverWritesPastAShortPitch)
{
    const DssVideoInfo info = Picture(3, 1, pfRGB32);
    const std::vector<uint8_t> raw = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
    std::vector<uint8_t> out(12, 0xEE);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data(), 0, false));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 9), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // A pitch of 7 bytes holds two whole pixels: the third is not written beyond the line.
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data(), 7, false));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0xEE}));
    EXPECT_FALSE(ConvertRawToRgb24(Picture(2, 2, 0x12345678), raw.data(), out.data(), 0, false));
}

TEST(GstYuvConversion, Yuy2PairsShareChromaAndTopLineComesLast)
{
    // Two lines of two pixels, top line first in the raw frame: Y0 U Y1 V.
    const DssVideoInfo info = Picture(2, 2, pfYUY2);
    const std::vector<uint8_t> raw = {81, 90, 145, 240, /* top */ 235, 128, 16, 128 /* bottom */};
    std::vector<uint8_t> out(16, 0);
    ASSERT_TRUE(ConvertRawToRgb24(info, raw.data(), out.data(), 8, false));
    uint8_t expect[3];
    // Output line 0 is the bottom line: white then black.
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 6), (std::vector<uint8_t>{255, 255, 255, 0, 0, 0}));
    YuvToBgr(81, 90, 240, expect);
    EXPECT_EQ(0, std::memcmp(out.data() + 8, expect, 3));
    YuvToBgr(145, 90, 240, expect);
    EXPECT_EQ(0, std::memcmp(out.data() + 11, expect, 3));

    // An odd width: the last pixel has its U byte but no V byte; V counts as neutral.
    const DssVideoInfo odd = Picture(3, 1, pfYUY2);
    const std::vector<uint8_t> oddRaw = {100, 60, 110, 200, 120, 60};
    ASSERT_TRUE(ConvertRawToRgb24(odd, oddRaw.data(), out.data(), 12, false));
    YuvToBgr(120, 60, 128, expect);
    EXPECT_EQ(0, std::memcmp(out.data() + 6, expect, 3));
}

TEST(GstYuvConversion, Yv12ChromaLinesFollowTheFieldsAndStayInsideThePlane)
{
    // 2 x 8 picture: luma lines y carry the value 16 + 20 y; chroma line c has U = 100 + c,
    // V = 150 + c. Lines 4k and 4k+2 use chroma line 2k, lines 4k+1 and 4k+3 line 2k+1.
    const uint32_t w = 2, h = 8;
    std::vector<uint8_t> raw(w * h + 2 * (h / 2));
    for (uint32_t y = 0; y < h; ++y)
        raw[y * w] = raw[y * w + 1] = uint8_t(16 + 20 * y);
    for (uint32_t c = 0; c < h / 2; ++c) {
        raw[w * h + c] = uint8_t(150 + c);         // V plane first
        raw[w * h + h / 2 + c] = uint8_t(100 + c); // then U
    }
    std::vector<uint8_t> out(8 * h);
    ASSERT_TRUE(ConvertRawToRgb24(Picture(w, h, pfYV12), raw.data(), out.data(), 8, true));
    const int chromaOf[8] = {0, 1, 0, 1, 2, 3, 2, 3};
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t expect[3];
        YuvToBgr(16 + 20 * int(y), 100 + chromaOf[y], 150 + chromaOf[y], expect);
        EXPECT_EQ(0, std::memcmp(out.data() + y * 8, expect, 3)) << "line " << y;
    }

    // Six lines have three chroma lines; line 5 would ask for chroma line 3 and gets line 2.
    const uint32_t h6 = 6;
    std::vector<uint8_t> raw6(w * h6 + 2 * (h6 / 2), 128);
    raw6[w * h6 + 2] = 200;          // V of chroma line 2
    raw6[w * h6 + 3 + 2] = 60;       // U of chroma line 2
    ASSERT_TRUE(ConvertRawToRgb24(Picture(w, h6, pfYV12), raw6.data(), out.data(), 8, true));
    uint8_t expect[3];
    YuvToBgr(128, 60, 200, expect);
    EXPECT_EQ(0, std::memcmp(out.data() + 5 * 8, expect, 3));
    EXPECT_EQ(0, std::memcmp(out.data() + 4 * 8, expect, 3));
}

TEST(GstPcmConversion, MonoAndStereoSamplesBecome16Bit)
{
    // 8- and 16-bit samples of up to two channels are copied as they are.
    const std::vector<uint8_t> u8 = {0, 128, 255, 7};
    std::vector<uint8_t> out8(4);
    ConvertToPcm(Sound(stInt8, 2), kStereo, u8.data(), 2, out8.data());
    EXPECT_EQ(out8, u8);

    // 24- and 32-bit keep their upper 16 bits.
    const std::vector<uint8_t> s24 = {0x11, 0x34, 0x12, 0xFF, 0x00, 0x80, 0x00, 0xFF, 0x7F};
    EXPECT_EQ(ToPcm16(Sound(stInt24, 1), s24, 3), (std::vector<int16_t>{0x1234, -32768, 0x7FFF}));
    const std::vector<uint8_t> s32 = {0xAA, 0xBB, 0x78, 0x56, 0, 0, 0xFE, 0xFF};
    EXPECT_EQ(ToPcm16(Sound(stInt32, 2), s32, 1), (std::vector<int16_t>{0x5678, -2}));

    // Floats are scaled by 32768, rounded half to even and clamped.
    const std::vector<float> f = {0.5f / 32768, 1.5f / 32768, 2.5f / 32768, -1.0f, 1.0f, 2.0f, -0.25f};
    EXPECT_EQ(ToPcm16(Sound(stFloat32, 1), Bytes(f), 7), (std::vector<int16_t>{0, 2, 2, -32768, 32767, 32767, -8192}));
}

TEST(GstPcmConversion, DownMixFollowsSpeakerPositions)
{
    // 5.1 in GStreamer's order (FL FR FC LFE BL BR): fronts at full weight, centre and
    // surrounds at -3 dB into their sides, LFE left out; scaled by 1 / (1 + 2 x 0.7071).
    const TChannelLayout surround51 = Layout({0, 1, 2, 3, 4, 5});
    const std::vector<std::vector<int16_t>> expect51 = {{4142, 0}, {0, 4142}, {2929, 2929},
                                                         {0, 0},    {2929, 0}, {0, 2929}};
    for (uint32_t ch = 0; ch < 6; ++ch)
        EXPECT_EQ(OneChannel(surround51, ch, 10000), expect51[ch]) << "channel " << ch;
    // The same with side instead of back surrounds.
    const TChannelLayout side51 = Layout({0, 1, 2, 3, 9, 10});
    EXPECT_EQ(OneChannel(side51, 4, 10000), (std::vector<int16_t>{2929, 0}));
    EXPECT_EQ(OneChannel(side51, 5, 10000), (std::vector<int16_t>{0, 2929}));
    // 7.1 (FL FR FC LFE BL BR SL SR): no channel is lost; scaled by 1 / (1 + 3 x 0.7071).
    const TChannelLayout surround71 = Layout({0, 1, 2, 3, 4, 5, 9, 10});
    const std::vector<std::vector<int16_t>> expect71 = {{3204, 0}, {0, 3204}, {2265, 2265}, {0, 0},
                                                         {2265, 0}, {0, 2265}, {2265, 0},    {0, 2265}};
    for (uint32_t ch = 0; ch < 8; ++ch)
        EXPECT_EQ(OneChannel(surround71, ch, 10000), expect71[ch]) << "channel " << ch;
    // A channel order other than the usual one is followed as the positions say.
    const TChannelLayout shuffled = Layout({2, 0, 1});
    EXPECT_EQ(OneChannel(shuffled, 0, 10000), (std::vector<int16_t>{4142, 4142}));
    EXPECT_EQ(OneChannel(shuffled, 1, 10000), (std::vector<int16_t>{5858, 0}));

    // Full scale in every channel reaches full scale without clipping or wrapping.
    const std::vector<int16_t> loud(6, 32767);
    EXPECT_EQ(ToPcm16(Sound(stInt16, 6), Bytes(loud), 1, surround51), (std::vector<int16_t>{32767, 32767}));
    // Float channels are mixed first, then scaled; 24-bit ones with their low byte.
    const std::vector<float> sixF = {1000 / 32768.f, 0, 0, 0, 0, 0};
    EXPECT_EQ(ToPcm16(Sound(stFloat32, 6), Bytes(sixF), 1, surround51), (std::vector<int16_t>{414, 0}));
    const std::vector<uint8_t> s24 = {0xE6, 0x02, 0x00, 0, 0, 0, 0, 0, 0}; // FL 2.9 on the 16-bit scale
    EXPECT_EQ(ToPcm16(Sound(stInt24, 3), s24, 1, Layout({0, 1, 2})), (std::vector<int16_t>{2, 0}));

    // 8-bit: values around 128 are mixed and moved back.
    const std::vector<uint8_t> u8 = {228, 28, 128, 128, 128, 128};
    std::vector<uint8_t> out(2);
    ConvertToPcm(Sound(stInt8, 6), surround51, u8.data(), 1, out.data());
    EXPECT_EQ(out, (std::vector<uint8_t>{169, 87}));
}

TEST(GstRatio, ReductionFitsThirtyOneBits)
{
    uint32_t rate = 7, scale = 7;
    ReduceRatio64(30000, 1001, rate, scale);
    EXPECT_EQ(rate, 30000u);
    EXPECT_EQ(scale, 1001u);
    ReduceRatio64(250, 10, rate, scale);
    EXPECT_EQ(rate, 25u);
    EXPECT_EQ(scale, 1u);
    ReduceRatio64(12345670000000ull, 41152233333ull, rate, scale);
    EXPECT_EQ(rate, 1507039795u);
    EXPECT_EQ(scale, 5023466u);
    ReduceRatio64(5000000000ull, 3, rate, scale);
    EXPECT_EQ(rate, 1250000000u);
    EXPECT_EQ(scale, 1u);
    ReduceRatio64(0, 5, rate, scale);
    EXPECT_EQ(rate, 0u);
    EXPECT_EQ(scale, 1u);
    ReduceRatio64(5, 0, rate, scale);
    EXPECT_EQ(rate, 0u);
    EXPECT_EQ(scale, 1u);
}

TEST(GstPcmConversion, AllChannelsInWaveOrderAtSixteenOrTwentyFourBits)
{
    EXPECT_EQ(WaveChannelMask(Layout({0, 1, 2, 3, 4, 5})), 0x3Fu);
    EXPECT_EQ(WaveChannelMask(Layout({0, 1, 2, 3, 4, 5, 9, 10})), 0x63Fu);
    EXPECT_EQ(WaveChannelMask(Layout({0, 1, 3, 3})), 0u) << "two channels in one place";
    EXPECT_EQ(WaveChannelMask(Layout({0, 1, kSpeakerNone})), 0u) << "a channel without a place";

    // Channels delivered as centre, left, right come out left, right, centre.
    const std::vector<int16_t> clr = {3000, 1000, -2000};
    std::vector<int16_t> out16(3);
    ConvertToAllChannels(Sound(stInt16, 3), Layout({2, 0, 1}), Bytes(clr).data(), 1, 16,
                         reinterpret_cast<uint8_t *>(out16.data()));
    EXPECT_EQ(out16, (std::vector<int16_t>{1000, -2000, 3000}));
    // Without a mask the order stays as it came.
    ConvertToAllChannels(Sound(stInt16, 3), Layout({2, 2, 1}), Bytes(clr).data(), 1, 16,
                         reinterpret_cast<uint8_t *>(out16.data()));
    EXPECT_EQ(out16, clr);

    // 24 bits: 24-bit samples whole, 32-bit ones their upper three bytes, 16-bit ones shifted
    // up, floats scaled by 2^23, rounded and clamped.
    auto to24 = [](uint32_t type, const std::vector<uint8_t> &in, size_t n) {
        std::vector<uint8_t> out(n * 3);
        ConvertToAllChannels(Sound(type, uint32_t(n)), TChannelLayout{}, in.data(), 1, 24, out.data());
        return out;
    };
    EXPECT_EQ(to24(stInt24, {0x01, 0x02, 0x83, 0xFF, 0xFF, 0x7F}, 2),
              (std::vector<uint8_t>{0x01, 0x02, 0x83, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(to24(stInt32, {0xAA, 0x01, 0x02, 0x83}, 1), (std::vector<uint8_t>{0x01, 0x02, 0x83}));
    EXPECT_EQ(to24(stInt16, {0x34, 0x12}, 1), (std::vector<uint8_t>{0x00, 0x34, 0x12}));
    const std::vector<float> f = {0.5f, -1.0f, 2.0f};
    EXPECT_EQ(to24(stFloat32, Bytes(f), 3),
              (std::vector<uint8_t>{0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}));
}
