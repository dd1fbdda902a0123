// Decoding and encoding of mix sample frames between stored PCM and doubles or floats.
#include "project/resampler_pcm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaly {

namespace {

// Full-scale value of an encoding: the doubles of one format are multiples of its integers.
double FullScale(TSampleType type)
{
    switch (type) {
    case stU8: return 128.0;
    case stS16: return 32768.0;
    case stS24: return 8388608.0;
    case stS32: return 2147483648.0;
    default: return 1.0;
    }
}

int64_t Le(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    const int shift = 64 - 8 * bytes;   // sign extension from the top byte
    return static_cast<int64_t>(v << shift) >> shift;
}

// A value stored in native layout at p (any alignment).
template <class T>
T LoadAs(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Calls use(get) with get(i) = the i-th value of `type` in `in`, so that the caller's loop
// runs with the type fixed (the switch is taken once, outside it).
template <class TUse>
void WithValues(TSampleType type, const uint8_t *in, TUse use)
{
    switch (type) {
    case stU8: use([in](int64_t i) { return static_cast<int32_t>(in[i]) - 128; }); break;
    case stS16: use([in](int64_t i) { return static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8); }); break;
    case stS24:
        use([in](int64_t i) {
            const uint8_t *b = in + 3 * i;
            // The top byte shifted into place and back carries the sign.
            const uint32_t u = static_cast<uint32_t>(b[0]) << 8 | static_cast<uint32_t>(b[1]) << 16 |
                               static_cast<uint32_t>(b[2]) << 24;
            return static_cast<int32_t>(u) >> 8;
        });
        break;
    case stS32: use([in](int64_t i) { return static_cast<double>(Le(in + 4 * i, 4)); }); break;
    case stF32: use([in](int64_t i) { return LoadAs<float>(in + 4 * i); }); break;
    case stF64: use([in](int64_t i) { return LoadAs<double>(in + 8 * i); }); break;
    default: use([](int64_t) { return 0; }); break;
    }
}

// Writes `values` rounded values: v(i) scaled, dithered where asked, rounded to nearest
// (halves to even) and clamped, as integers of `width` bytes (8-bit ones offset by 128).
// The rounding runs over chunks of values in a loop of its own, which the compiler
// vectorises, and the bytes are written after it.
template <int Width>
void EncodeInts(const double *in, int64_t values, double scale, double full, TTpdfDither *dither, uint8_t *out)
{
    // Adding and taking away 1.5 x 2^52 rounds a double below 2^51 to the nearest integer,
    // halves to even, in the default rounding mode; the libm calls cost far more.
    constexpr double kRound = 6755399441055744.0;
    constexpr int64_t kChunk = 512;
    const double top = full - 1, bottom = -full;
    int32_t ints[kChunk];
    double noise[kChunk];
    for (int64_t i0 = 0; i0 < values; i0 += kChunk) {
        const int64_t n = std::min(kChunk, values - i0);
        const double *v = in + i0;
        if (dither) {
            for (int64_t i = 0; i < n; ++i)
                noise[i] = dither->Next();
            for (int64_t i = 0; i < n; ++i)
                ints[i] = static_cast<int32_t>((std::clamp(v[i] * scale + noise[i], bottom, top) + kRound) - kRound);
        } else {
            for (int64_t i = 0; i < n; ++i)
                ints[i] = static_cast<int32_t>((std::clamp(v[i] * scale, bottom, top) + kRound) - kRound);
        }
        uint8_t *p = out + i0 * Width;
        if constexpr (Width == 1) {
            for (int64_t i = 0; i < n; ++i)
                p[i] = static_cast<uint8_t>(ints[i] + 128);
        } else if constexpr (Width == 3) {
            // Four bytes a value, little-endian, each write's top byte overwritten by the
            // next value; the last value of all is written in its three bytes alone.
            const int64_t whole = i0 + n == values ? n - 1 : n;
            for (int64_t i = 0; i < whole; ++i) {
                const uint32_t u = static_cast<uint32_t>(ints[i]);
                const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                                      static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
                std::memcpy(p + 3 * i, b, 4);
            }
            for (int64_t i = whole; i < n; ++i)
                for (int b = 0; b < 3; ++b)
                    p[3 * i + b] = static_cast<uint8_t>(static_cast<uint32_t>(ints[i]) >> (8 * b));
        } else {
            for (int64_t i = 0; i < n; ++i) {
                const uint32_t u = static_cast<uint32_t>(ints[i]);
                for (int b = 0; b < Width; ++b)
                    p[i * Width + b] = static_cast<uint8_t>(u >> (8 * b));
            }
        }
    }
}

} // namespace

void DecodePcm(const WAVEFORMATEX &format, const uint8_t *in, int64_t frames, double *out)
{
    const TSampleType type = IsSupportedPcm(format) ? SampleTypeOf(format) : stNone;
    const int64_t values = frames * format.nChannels;
    WithValues(type, in, [&](auto get) {
        for (int64_t i = 0; i < values; ++i)
            out[i] = static_cast<double>(get(i));
    });
}

void DecodePcmPlanar(const WAVEFORMATEX &format, const uint8_t *in, int64_t frames, float *out, size_t stride)
{
    const TSampleType type = IsSupportedPcm(format) ? SampleTypeOf(format) : stNone;
    const int ch = std::max<int>(format.nChannels, 1);
    WithValues(type, in, [&](auto get) {
        if (ch == 2) {
            // Stereo, the common case: both rows in one pass over the frames.
            float *left = out, *right = out + stride;
            for (int64_t f = 0; f < frames; ++f) {
                left[f] = static_cast<float>(get(2 * f));
                right[f] = static_cast<float>(get(2 * f + 1));
            }
            return;
        }
        for (int c = 0; c < ch; ++c) {
            float *row = out + static_cast<size_t>(c) * stride;
            for (int64_t f = 0; f < frames; ++f)
                row[f] = static_cast<float>(get(f * ch + c));
        }
    });
}

double TTpdfDither::Uniform()
{
    // xorshift64*: fast, and good enough for dither.
    FState ^= FState >> 12;
    FState ^= FState << 25;
    FState ^= FState >> 27;
    return static_cast<double>((FState * 0x2545F4914F6CDD1Dull) >> 11) * (1.0 / 9007199254740992.0);
}

double TTpdfDither::Next()
{
    return Uniform() - Uniform();
}

double PcmFullScale(const WAVEFORMATEX &format) { return FullScale(SampleTypeOf(format)); }

int ResolutionBits(const WAVEFORMATEX &format)
{
    switch (SampleTypeOf(format)) {
    case stF32: return 25;
    case stF64: return 53;
    case stNone: return 0;
    default: return format.wBitsPerSample;
    }
}

void EncodePcm(const WAVEFORMATEX &from, const double *in, int64_t frames, const WAVEFORMATEX &format,
               uint8_t *out, TTpdfDither *dither)
{
    const TSampleType type = SampleTypeOf(format);
    const double full = FullScale(type), scale = full / FullScale(SampleTypeOf(from));
    const int64_t values = frames * format.nChannels;
    if (type == stF32) {
        for (int64_t i = 0; i < values; ++i) {
            const auto f = static_cast<float>(in[i] * scale);
            std::memcpy(out + 4 * i, &f, 4);
        }
        return;
    }
    if (type == stF64) {
        for (int64_t i = 0; i < values; ++i) {
            const double d = in[i] * scale;
            std::memcpy(out + 8 * i, &d, 8);
        }
        return;
    }
    TTpdfDither *d = dither && ResolutionBits(format) < ResolutionBits(from) ? dither : nullptr;
    switch (type) {
    case stU8: EncodeInts<1>(in, values, scale, full, d, out); break;
    case stS16: EncodeInts<2>(in, values, scale, full, d, out); break;
    case stS24: EncodeInts<3>(in, values, scale, full, d, out); break;
    case stS32: EncodeInts<4>(in, values, scale, full, d, out); break;
    default: break;
    }
}

} // namespace tessaly
