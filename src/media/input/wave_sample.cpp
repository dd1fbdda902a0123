// Arithmetic on one sample frame in any supported encoding: conversion with the channel
// mapping table, cross-fade and amplification.
#include "media/input/wave_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/common/byte_order.h"

namespace tessaly {

namespace {

constexpr double kC = 0.707106781373; // centre weight
constexpr double kW = 2.236067977971; // low-frequency weight

// Maps nIn channel values to nOut; outputs without an entry stay 0.
void MapChannels(const double *in, int nIn, double *out, int nOut)
{
    std::fill(out, out + nOut, 0.0);
    if (nIn == nOut) {
        std::copy(in, in + nIn, out);
        return;
    }
    if (nIn == 1) {
        out[0] = out[1] = in[0];
        return;
    }
    if (nOut > nIn) { // 2 -> 3, 4, 6; 3 -> 4, 6; 4 -> 6: the first channels copied
        std::copy(in, in + nIn, out);
        return;
    }
    double s = nIn == 6 ? kC * (in[4] + in[5]) : 0.0;
    if (nOut == 3) {
        if (nIn == 4) {
            out[0] = (in[0] + kW * in[3]) * 0.309016994330;
            out[1] = (kW * in[3] + in[1]) * 0.309016994330;
        } else { // 6
            out[0] = (in[0] + kW * in[3] - s) * 0.215040743500;
            out[1] = (s + kW * in[3] + in[1]) * 0.215040743500;
        }
        out[2] = (kC * in[2] + kW * in[3]) * 0.339769154660;
        return;
    }
    if (nOut == 4) { // 6 -> 4
        out[0] = (in[0] - s) * 0.414213562309;
        out[1] = (s + in[1]) * 0.414213562309;
        out[2] = in[2];
        out[3] = in[3];
        return;
    }
    // To stereo, then averaged for mono.
    double l, r;
    if (nIn == 2) {
        l = in[0];
        r = in[1];
    } else if (nIn == 3) {
        l = (in[0] + kC * in[2]) * 0.585786437563;
        r = (kC * in[2] + in[1]) * 0.585786437563;
    } else if (nIn == 4) {
        l = (in[0] + kC * in[2] + kW * in[3]) * 0.253602759459;
        r = (kW * in[3] + kC * in[2] + in[1]) * 0.253602759459;
    } else { // 6
        l = (in[0] + kC * in[2] + kW * in[3] - s) * 0.186658113969;
        r = (s + kW * in[3] + kC * in[2] + in[1]) * 0.186658113969;
    }
    if (nOut == 1) {
        out[0] = (l + r) * 0.5;
    } else {
        out[0] = l;
        out[1] = r;
    }
}

// Rounds to nearest with ties to even (the default floating-point rounding mode).
double RoundEven(double v) { return std::nearbyint(v); }

// Full-scale value of an encoding: a stored channel value v stands for v / scale.
double FullScale(TSampleType t)
{
    switch (t) {
    case stU8: return 128.0;
    case stS16: return 32768.0;
    case stS24: return 8388608.0;
    case stS32: return 2147483648.0;
    default: return 1.0;
    }
}

int BytesOf(TSampleType t)
{
    static constexpr int kBytes[] = {0, 1, 2, 3, 4, 4, 8};
    return kBytes[t];
}

// The channel value stored at p: integers as they are (8-bit centred on 128), floats as stored.
double LoadChannel(TSampleType t, const uint8_t *p)
{
    switch (t) {
    case stU8: return p[0] - 128.0;
    case stS16: return GetLE16s(p);
    case stS24: return int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) >> 8;
    case stS32: return GetLE32s(p);
    case stF32: {
        uint32_t u = GetLE32(p);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case stF64: {
        uint64_t u = GetLE64(p);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    default: return 0.0;
    }
}

// Stores a channel value (the scale of LoadChannel): integers are limited to their range
// and rounded to nearest, ties to even; floats are stored as they are.
void StoreChannel(TSampleType t, double v, uint8_t *p)
{
    if (t == stF32) {
        float f = float(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        PutLE32(p, u);
        return;
    }
    if (t == stF64) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        PutLE64(p, u);
        return;
    }
    if (std::isnan(v))
        v = 0.0;
    if (t == stU8) {
        p[0] = uint8_t(RoundEven(std::clamp(v + 128.0, 0.0, 255.0)));
        return;
    }
    const double scale = FullScale(t);
    const int32_t i = int32_t(RoundEven(std::clamp(v, -scale, scale - 1.0)));
    if (t == stS16) {
        PutLE16(p, uint16_t(i));
    } else if (t == stS24) {
        p[0] = uint8_t(i);
        p[1] = uint8_t(i >> 8);
        p[2] = uint8_t(i >> 16);
    } else {
        PutLE32(p, uint32_t(i));
    }
}

} // namespace

void ConvertSampleFrame(const WAVEFORMATEX &inF, const uint8_t *src, const WAVEFORMATEX &outF, uint8_t *dst)
{
    double in[kMaxConvertChannels], out[kMaxConvertChannels];   // MapChannels reads nIn, writes nOut
    const TSampleType ti = SampleTypeOf(inF), to = SampleTypeOf(outF);
    const int nIn = std::min<int>(inF.nChannels, kMaxConvertChannels);
    const int nOut = std::min<int>(outF.nChannels, kMaxConvertChannels);
    const int bi = BytesOf(ti), bo = BytesOf(to);
    const double si = FullScale(ti), so = FullScale(to);
    for (int c = 0; c < nIn; ++c)
        in[c] = LoadChannel(ti, src + c * bi) / si;
    MapChannels(in, nIn, out, nOut);
    for (int c = 0; c < nOut; ++c)
        StoreChannel(to, out[c] * so, dst + c * bo);
}

TMediaError CrossFade(const WAVEFORMATEX &format, const void *a, const void *b, void *out, double x)
{
    if (!IsSupportedPcm(format))
        return meAudioFormat;
    const TSampleType t = SampleTypeOf(format);
    const int bytes = BytesOf(t);
    const auto *pa = static_cast<const uint8_t *>(a), *pb = static_cast<const uint8_t *>(b);
    auto *po = static_cast<uint8_t *>(out);
    for (int c = 0; c < format.nChannels; ++c, pa += bytes, pb += bytes, po += bytes)
        StoreChannel(t, x * LoadChannel(t, pa) + (1.0 - x) * LoadChannel(t, pb), po);
    return meOk;
}

TMediaError Amplify(const WAVEFORMATEX &format, void *out, const void *in, double factor)
{
    if (!IsSupportedPcm(format))
        return meAudioFormat;
    const TSampleType t = SampleTypeOf(format);
    const int bytes = BytesOf(t);
    const auto *pi = static_cast<const uint8_t *>(in);
    auto *po = static_cast<uint8_t *>(out);
    for (int c = 0; c < format.nChannels; ++c, pi += bytes, po += bytes)
        StoreChannel(t, LoadChannel(t, pi) * factor, po);
    return meOk;
}

} // namespace tessaly
