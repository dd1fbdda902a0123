// Decoding and encoding of mix sample frames between stored PCM and doubles.
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

void PutLe(uint8_t *p, int bytes, int64_t v)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

} // namespace

void DecodePcm(const WAVEFORMATEX &format, const uint8_t *in, int64_t frames, double *out)
{
    const TSampleType type = SampleTypeOf(format);
    const int64_t values = frames * format.nChannels;
    const int width = format.wBitsPerSample / 8;
    if (!IsSupportedPcm(format)) {
        std::fill(out, out + values, 0.0);
        return;
    }
    for (int64_t i = 0; i < values; ++i) {
        const uint8_t *p = in + i * width;
        switch (type) {
        case stU8: out[i] = static_cast<double>(p[0]) - 128.0; break;
        case stF32: {
            float f;
            std::memcpy(&f, p, 4);
            out[i] = f;
            break;
        }
        case stF64: std::memcpy(&out[i], p, 8); break;
        default: out[i] = static_cast<double>(Le(p, width)); break;
        }
    }
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
    if (type == stNone)
        return;
    const double scale = FullScale(type) / FullScale(SampleTypeOf(from));
    const bool dithered = dither && ResolutionBits(format) < ResolutionBits(from) && type != stF32 && type != stF64;
    const int64_t values = frames * format.nChannels;
    const int width = format.wBitsPerSample / 8;
    const double top = FullScale(type) - 1, bottom = -FullScale(type);
    for (int64_t i = 0; i < values; ++i) {
        uint8_t *p = out + i * width;
        double v = in[i] * scale;
        if (type == stF32) {
            const float f = static_cast<float>(v);
            std::memcpy(p, &f, 4);
            continue;
        }
        if (type == stF64) {
            std::memcpy(p, &v, 8);
            continue;
        }
        if (dithered)
            v += dither->Next();
        v = std::nearbyint(std::clamp(v, bottom, top));   // halves to even
        const int64_t s = static_cast<int64_t>(v);
        if (type == stU8)
            p[0] = static_cast<uint8_t>(s + 128);
        else
            PutLe(p, width, s);
    }
}

} // namespace tessaly
