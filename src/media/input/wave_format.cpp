// PCM format tests, one-sample-frame conversion with the channel mapping table, cross-fade
// and amplification.
#include "media/input/wave_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaly {

WAVEFORMATEX MakePcmFormat(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(bits * channels / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

bool IsSupportedPcm(const WAVEFORMATEX &f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels > 0 && f.nSamplesPerSec > 0 &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nBlockAlign == f.wBitsPerSample * f.nChannels / 8;
}

namespace {
bool ConvertibleChannels(int n) { return (n >= 1 && n <= 4) || n == 6; }
} // namespace

bool AreConvertible(const WAVEFORMATEX &a, const WAVEFORMATEX &b)
{
    return IsSupportedPcm(a) && IsSupportedPcm(b) && ConvertibleChannels(a.nChannels) &&
           ConvertibleChannels(b.nChannels);
}

bool SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b)
{
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample && (a.wFormatTag == WAVE_FORMAT_PCM || a.cbSize == b.cbSize);
}

namespace {

constexpr double kC = 0.707106781373; // centre weight
constexpr double kW = 2.236067977971; // low-frequency weight

// Maps nIn channel values to nOut; outputs without an entry stay 0.
void MapChannels(const double *in, int nIn, double *out, int nOut)
{
    std::fill(out, out + kMaxConvertChannels, 0.0);
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

} // namespace

void ConvertSampleFrame(const WAVEFORMATEX &inF, const uint8_t *src, const WAVEFORMATEX &outF, uint8_t *dst)
{
    double in[kMaxConvertChannels] = {}, out[kMaxConvertChannels];
    int nIn = std::min<int>(inF.nChannels, kMaxConvertChannels);
    int nOut = std::min<int>(outF.nChannels, kMaxConvertChannels);
    for (int c = 0; c < nIn; ++c)
        in[c] = inF.wBitsPerSample == 8 ? src[c] / 128.0 - 1.0
                                        : int16_t(uint16_t(src[2 * c] | (src[2 * c + 1] << 8))) / 32768.0;
    MapChannels(in, nIn, out, nOut);
    for (int c = 0; c < nOut; ++c) {
        if (outF.wBitsPerSample == 8) {
            dst[c] = uint8_t(RoundEven(std::clamp((out[c] + 1.0) * 128.0, 0.0, 255.0)));
        } else {
            int16_t v = int16_t(RoundEven(std::clamp(out[c] * 32768.0, -32768.0, 32767.0)));
            dst[2 * c] = uint8_t(uint16_t(v));
            dst[2 * c + 1] = uint8_t(uint16_t(v) >> 8);
        }
    }
}

TMediaError CrossFade(const WAVEFORMATEX &format, const void *a, const void *b, void *out, double x)
{
    if (!IsSupportedPcm(format))
        return meAudioFormat;
    for (int c = 0; c < format.nChannels; ++c) {
        if (format.wBitsPerSample == 8) {
            double va = static_cast<const uint8_t *>(a)[c] - 128.0, vb = static_cast<const uint8_t *>(b)[c] - 128.0;
            double v = RoundEven(x * va + (1.0 - x) * vb + 128.0);
            static_cast<uint8_t *>(out)[c] = uint8_t(std::clamp(v, 0.0, 255.0));
        } else {
            int16_t va, vb;
            std::memcpy(&va, static_cast<const uint8_t *>(a) + 2 * c, 2);
            std::memcpy(&vb, static_cast<const uint8_t *>(b) + 2 * c, 2);
            int16_t v = int16_t(std::clamp(RoundEven(x * va + (1.0 - x) * vb), -32768.0, 32767.0));
            std::memcpy(static_cast<uint8_t *>(out) + 2 * c, &v, 2);
        }
    }
    return meOk;
}

TMediaError Amplify(const WAVEFORMATEX &format, void *out, const void *in, double factor)
{
    if (!IsSupportedPcm(format))
        return meAudioFormat;
    for (int c = 0; c < format.nChannels; ++c) {
        if (format.wBitsPerSample == 8) {
            double v = (static_cast<const uint8_t *>(in)[c] - 128.0) * factor + 128.0;
            static_cast<uint8_t *>(out)[c] = uint8_t(RoundEven(std::clamp(v, 0.0, 255.0)));
        } else {
            int16_t s;
            std::memcpy(&s, static_cast<const uint8_t *>(in) + 2 * c, 2);
            int16_t v = int16_t(RoundEven(std::clamp(s * factor, -32768.0, 32767.0)));
            std::memcpy(static_cast<uint8_t *>(out) + 2 * c, &v, 2);
        }
    }
    return meOk;
}

} // namespace tessaly
