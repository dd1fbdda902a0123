// Fixed-point YUV conversion, RGB line copies, PCM conversion with down-mix, ratio reduction.
#include "dss_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessaly::gst {

namespace {

constexpr std::array<uint8_t, 1024> MakeClampTable()
{
    std::array<uint8_t, 1024> t{};
    for (int i = 0; i < 1024; ++i) {
        int v = i - 384;
        t[size_t(i)] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
}
constexpr std::array<uint8_t, 1024> kClamp = MakeClampTable();

uint64_t Gcd(uint64_t a, uint64_t b)
{
    while (b) {
        uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

int16_t Clamp16(double v)
{
    v = std::nearbyint(v);
    return int16_t(v < -32768.0 ? -32768 : v > 32767.0 ? 32767 : v);
}

// The value of one source sample as the 16-bit (or, for 8-bit, the signed 8-bit) value that is mixed.
double SampleValue(uint32_t type, const uint8_t *p)
{
    switch (type) {
    case stInt8: return double(int(p[0]) - 128);
    case stInt16: return double(int16_t(uint16_t(p[0] | (p[1] << 8))));
    case stInt24: return double(int16_t(uint16_t(p[1] | (p[2] << 8))));
    case stInt32: return double(int16_t(uint16_t(p[2] | (p[3] << 8))));
    default: {
        float f;
        std::memcpy(&f, p, 4);
        return double(f);
    }
    }
}

// The value of one source sample on the 16-bit scale with all of its precision, for mixing.
double MixValue(uint32_t type, const uint8_t *p)
{
    switch (type) {
    case stInt24: return double(int32_t(uint32_t(p[0] << 8 | p[1] << 16 | uint32_t(p[2]) << 24))) / 65536.0;
    case stInt32: return double(int32_t(uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24))) / 65536.0;
    default: return SampleValue(type, p);
    }
}

void PutValue(uint32_t type, double v, uint8_t *&out)
{
    if (type == stInt8) {
        v = std::nearbyint(v + 128.0);
        *out++ = uint8_t(v < 0.0 ? 0 : v > 255.0 ? 255 : v);
        return;
    }
    const int16_t s = Clamp16(type == stFloat32 ? v * 32768.0 : v);
    out[0] = uint8_t(uint16_t(s));
    out[1] = uint8_t(uint16_t(s) >> 8);
    out += 2;
}

// YV12 (luma, V, U planes, top line first) to bottom-up BGR lines.
template <class TOutLine>
void ConvertYv12(const DssVideoInfo &info, const uint8_t *raw, uint32_t pixels, TOutLine outLine)
{
    const uint32_t w = info.Width, h = info.Height;
    const uint32_t cw = (w + 1) / 2, ch = h / 2;
    const uint8_t *planeV = raw + size_t(w) * h;
    const uint8_t *planeU = planeV + size_t(cw) * ch;
    for (uint32_t k = 0; k < h; ++k) {
        const uint32_t y = h - 1 - k; // picture line from the top
        // Interlaced chroma siting: lines 4k and 4k+2 share chroma line 2k, 4k+1 and
        // 4k+3 share 2k+1; heights that are not a multiple of 4 reuse the last chroma line.
        uint32_t c = (y / 4) * 2 + (y & 1);
        if (ch == 0)
            c = 0;
        else if (c >= ch)
            c = ch - 1;
        const uint8_t *sy = raw + size_t(y) * w;
        const uint8_t *su = ch ? planeU + size_t(c) * cw : nullptr;
        const uint8_t *sv = ch ? planeV + size_t(c) * cw : nullptr;
        uint8_t *d = outLine(k);
        for (uint32_t x = 0; x < pixels; ++x)
            YuvToBgr(sy[x], su ? su[x / 2] : 128, sv ? sv[x / 2] : 128, d + 3 * x);
    }
}

} // namespace

uint8_t ClampYuv(int value)
{
    int i = value + 384;
    return kClamp[size_t(i < 0 ? 0 : i > 1023 ? 1023 : i)];
}

void YuvToBgr(int y, int u, int v, uint8_t *bgr)
{
    const int c = y - 16, d = u - 128, e = v - 128;
    bgr[0] = ClampYuv((76309 * c + 132201 * d + 32768) >> 16);
    bgr[1] = ClampYuv((76309 * c - 25675 * d - 53279 * e + 32768) >> 16);
    bgr[2] = ClampYuv((76309 * c + 104597 * e + 32768) >> 16);
}

int32_t Rgb24Stride(uint32_t width)
{
    if (width == 0)
        return 0;
    return int32_t((((uint64_t(width) * 24 - 1) / 8) & ~uint64_t(3)) + 4);
}

bool ConvertRawToRgb24(const DssVideoInfo &info, const uint8_t *raw, uint8_t *destination, int32_t pitch,
                       bool reversed)
{
    const uint32_t w = info.Width, h = info.Height;
    if (pitch == 0)
        pitch = Rgb24Stride(w);
    const uint32_t absPitch = uint32_t(std::abs(int64_t(pitch)));
    const uint32_t pixels = std::min<uint32_t>(w, absPitch / 3); // never write past a line
    const uint32_t line = w * BitsPerPixel(info.PixelFormat) / 8;
    auto outLine = [&](uint32_t k) {
        return reversed ? destination + (int64_t(h) - 1 - k) * pitch : destination + int64_t(k) * pitch;
    };
    switch (info.PixelFormat) {
    case pfRGB24:
        for (uint32_t k = 0; k < h; ++k)
            std::memcpy(outLine(k), raw + size_t(k) * line, std::min(line, absPitch));
        return true;
    case pfRGB32:
        for (uint32_t k = 0; k < h; ++k) {
            const uint8_t *s = raw + size_t(k) * line;
            uint8_t *d = outLine(k);
            for (uint32_t x = 0; x < pixels; ++x)
                std::memcpy(d + 3 * x, s + 4 * x, 3);
        }
        return true;
    case pfYUY2:
        for (uint32_t k = 0; k < h; ++k) {
            const uint8_t *s = raw + size_t(h - 1 - k) * line; // top line first in the source
            uint8_t *d = outLine(k);
            for (uint32_t x = 0; x < pixels; ++x) {
                const uint32_t pair = (x & ~1u) * 2;
                // A last unpaired column has its U but no V byte: V is taken as neutral.
                const int v = pair + 3 < line ? s[pair + 3] : 128;
                YuvToBgr(s[2 * x], s[pair + 1], v, d + 3 * x);
            }
        }
        return true;
    case pfYV12:
        ConvertYv12(info, raw, pixels, outLine);
        return true;
    default:
        return false;
    }
}

TStereoWeights StereoDownmix(const TChannelLayout &layout)
{
    // Each speaker's share of the left and right output: fronts as they are, the centre and
    // the surrounds at -3 dB into both or their own side, LFE left out; the weights are then
    // scaled so that the louder side's weights sum to 1 and a full-scale mix cannot clip.
    constexpr double k = 0.70710678118654752;
    struct TShare {
        double Left, Right;
    };
    const TShare kShares[18] = {
        {1, 0}, {0, 1}, {k, k}, {0, 0},         // front left, right, centre, LFE
        {k, 0}, {0, k}, {1, 0}, {0, 1},         // back left, right, front left/right of centre
        {k * k, k * k}, {k, 0}, {0, k},         // back centre, side left, right
        {k * k, k * k}, {k, 0}, {k * k, k * k}, // top centre, top front left, centre
        {0, k}, {k, 0}, {k * k, k * k}, {0, k}, // top front right, top back left, centre, right
    };
    TStereoWeights w;
    const uint32_t n = std::min(layout.Count, kMaxLayoutChannels);
    double sumLeft = 0, sumRight = 0;
    for (uint32_t ch = 0; ch < n; ++ch) {
        const uint8_t s = layout.Speaker[ch];
        // A channel without a known place goes into both sides like a centre.
        const TShare share = s < 18 ? kShares[s] : TShare{k * k, k * k};
        w.Left[ch] = share.Left;
        w.Right[ch] = share.Right;
        sumLeft += share.Left;
        sumRight += share.Right;
    }
    const double norm = std::max(sumLeft, sumRight);
    for (uint32_t ch = 0; norm > 0 && ch < n; ++ch) {
        w.Left[ch] /= norm;
        w.Right[ch] /= norm;
    }
    return w;
}

void ConvertToPcm(const DssAudioInfo &info, const TChannelLayout &layout, const uint8_t *source, int64_t frames,
                  uint8_t *destination)
{
    const uint32_t type = info.SampleType, channels = info.Channels;
    const uint32_t bytes = BytesPerSample(type);
    if (bytes == 0 || channels == 0 || frames <= 0)
        return;
    if (channels <= 2 && (type == stInt8 || type == stInt16)) {
        std::memcpy(destination, source, size_t(frames) * bytes * channels);
        return;
    }
    uint8_t *out = destination;
    const uint8_t *p = source;
    if (channels <= 2) {
        for (int64_t i = 0; i < frames * channels; ++i, p += bytes)
            PutValue(type, SampleValue(type, p), out);
        return;
    }
    const TStereoWeights w = StereoDownmix(layout);
    const uint32_t used = std::min(channels, kMaxLayoutChannels);
    for (int64_t i = 0; i < frames; ++i, p += size_t(bytes) * channels) {
        double left = 0, right = 0;
        for (uint32_t ch = 0; ch < used; ++ch) {
            const double c = MixValue(type, p + ch * bytes);
            left += w.Left[ch] * c;
            right += w.Right[ch] * c;
        }
        PutValue(type, left, out);
        PutValue(type, right, out);
    }
}

uint32_t WaveChannelMask(const TChannelLayout &layout)
{
    uint32_t mask = 0;
    for (uint32_t ch = 0; ch < layout.Count; ++ch) {
        const uint8_t s = layout.Speaker[ch];
        if (s >= 18 || (mask & (1u << s)))
            return 0;
        mask |= 1u << s;
    }
    return mask;
}

void ConvertToAllChannels(const DssAudioInfo &info, const TChannelLayout &layout, const uint8_t *source,
                          int64_t frames, uint32_t bits, uint8_t *destination)
{
    const uint32_t type = info.SampleType, channels = info.Channels;
    const uint32_t bytes = BytesPerSample(type);
    if (bytes == 0 || channels == 0 || frames <= 0 || (bits != 16 && bits != 24))
        return;
    // Source channel of each output channel.
    std::vector<uint32_t> order(channels);
    for (uint32_t ch = 0; ch < channels; ++ch)
        order[ch] = ch;
    if (layout.Count == channels && WaveChannelMask(layout) != 0)
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return layout.Speaker[a] < layout.Speaker[b]; });
    uint8_t *out = destination;
    for (int64_t i = 0; i < frames; ++i, source += size_t(bytes) * channels) {
        for (uint32_t ch : order) {
            const uint8_t *p = source + size_t(ch) * bytes;
            int32_t v; // the sample on the 24-bit scale
            switch (type) {
            case stInt8: v = (int32_t(p[0]) - 128) * 65536; break;
            case stInt16: v = int32_t(int16_t(uint16_t(p[0] | p[1] << 8))) * 256; break;
            case stInt24:
            case stInt32: {
                const uint32_t hi = type == stInt24 ? uint32_t(p[0] << 8 | p[1] << 16 | uint32_t(p[2]) << 24)
                                                    : uint32_t(p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
                v = int32_t(hi) / 256;
                break;
            }
            default: {
                float f;
                std::memcpy(&f, p, 4);
                const double scaled = std::nearbyint(double(f) * (bits == 24 ? 8388608.0 : 32768.0));
                const double top = bits == 24 ? 8388607.0 : 32767.0;
                v = int32_t(scaled < -top - 1 ? -top - 1 : scaled > top ? top : scaled) * (bits == 24 ? 1 : 256);
                break;
            }
            }
            if (bits == 16) {
                const uint16_t s16 = uint16_t(int16_t(v >> 8));
                *out++ = uint8_t(s16);
                *out++ = uint8_t(s16 >> 8);
            } else {
                *out++ = uint8_t(uint32_t(v));
                *out++ = uint8_t(uint32_t(v) >> 8);
                *out++ = uint8_t(uint32_t(v) >> 16);
            }
        }
    }
}

void ReduceRatio64(uint64_t num, uint64_t den, uint32_t &rate, uint32_t &scale)
{
    if (num == 0 || den == 0) {
        rate = 0;
        scale = 1;
        return;
    }
    uint64_t g = Gcd(num, den);
    num /= g;
    den /= g;
    constexpr uint64_t kLimit = 0x7FFFFFFFu;
    if (num > kLimit || den > kLimit) {
        int s = 1;
        while (((num + (uint64_t(1) << (s - 1))) >> s) > kLimit || ((den + (uint64_t(1) << (s - 1))) >> s) > kLimit)
            ++s;
        num = (num + (uint64_t(1) << (s - 1))) >> s;
        den = (den + (uint64_t(1) << (s - 1))) >> s;
        if (num == 0 || den == 0) {
            rate = 0;
            scale = 1;
            return;
        }
        g = Gcd(num, den);
        num /= g;
        den /= g;
    }
    rate = uint32_t(num);
    scale = uint32_t(den);
}

} // namespace tessaly::gst
