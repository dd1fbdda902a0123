// Pitch-class energies from a short-time spectrum (FFTW through TRealFft).
#include "sync/chroma.h"

#include <algorithm>
#include <cmath>

#include "sync/fft_plan.h"

namespace tessaly::sync {

namespace {

constexpr double kFrameSeconds = 0.256;
constexpr double kLowHz = 100;     // below, a bin is wider than a semitone
constexpr double kHighHz = 2000;   // above, harmonics and noise blur the pitch classes
constexpr float kSilent = 1e-3f;   // a frame whose band energy is below this (a sine near -84 dBFS) has no harmony

} // namespace

std::vector<TChromaFrame> ChromaFrames(const TSyncSignal &signal)
{
    const int frame = NextPow2(static_cast<size_t>(kFrameSeconds * signal.Rate));
    const long hop = std::lround(signal.Rate / kChromaRate);
    const long n = static_cast<long>(signal.Samples.size());
    const long count = hop > 0 ? n / hop : 0;
    std::vector<TChromaFrame> out(static_cast<size_t>(std::max(0L, count)), TChromaFrame{});
    if (count <= 0 || signal.Rate < 2 * kHighHz)
        return out;
    TRealFft fft(frame);
    std::vector<float> window(static_cast<size_t>(frame));
    for (int i = 0; i < frame; ++i)
        window[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / frame));
    // The bins of the band and the pitch class of each.
    const int firstBin = static_cast<int>(std::ceil(kLowHz * frame / signal.Rate));
    const int lastBin = std::min(frame / 2, static_cast<int>(std::floor(kHighHz * frame / signal.Rate)));
    std::vector<int> pitchClass(static_cast<size_t>(frame / 2 + 1), 0);
    for (int k = firstBin; k <= lastBin; ++k) {
        const long midi = std::lround(12 * std::log2(k * signal.Rate / frame / 440.0) + 69);
        pitchClass[static_cast<size_t>(k)] = static_cast<int>(((midi % 12) + 12) % 12);
    }
    // Bin energies in units of full scale squared.
    constexpr float kScale = 1.0f / (32768.0f * 32768.0f);
    for (long f = 0; f < count; ++f) {
        const long start = f * hop + hop / 2 - frame / 2;
        float *in = fft.Input();
        for (int i = 0; i < frame; ++i) {
            const long p = start + i;
            in[i] = p >= 0 && p < n ? signal.Samples[static_cast<size_t>(p)] * window[static_cast<size_t>(i)] : 0.0f;
        }
        fft.Forward();
        const fftwf_complex *bin = fft.Output();
        TChromaFrame &c = out[static_cast<size_t>(f)];
        float total = 0;
        for (int k = firstBin; k <= lastBin; ++k) {
            const int pc = pitchClass[static_cast<size_t>(k)];
            const float e = (bin[k][0] * bin[k][0] + bin[k][1] * bin[k][1]) * kScale;
            total += e;
            c[static_cast<size_t>(pc)] += e;
        }
        // Amplitudes: a quiet voice still counts, yet the leakage of a loud tone into the
        // neighbouring classes stays small.
        for (float &v : c)
            v = std::sqrt(v);
        float norm = 0;
        for (float v : c)
            norm += v * v;
        norm = std::sqrt(norm);
        if (total < kSilent || norm <= 0)
            c.fill(0.0f);
        else
            for (float &v : c)
                v /= norm;
    }
    return out;
}

} // namespace tessaly::sync
