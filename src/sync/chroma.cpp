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
constexpr float kSilent = 1e-3f;   // a frame whose summed energy is below this has no harmony
constexpr double kMinSounding = 0.25;   // share of frame pairs that must sound to judge

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
    // The pitch class of every bin in the band, -1 outside it.
    const int bins = frame / 2 + 1;
    std::vector<int> pitchClass(static_cast<size_t>(bins), -1);
    for (int k = 0; k < bins; ++k) {
        const double hz = k * signal.Rate / frame;
        if (hz >= kLowHz && hz <= kHighHz) {
            const long midi = std::lround(12 * std::log2(hz / 440.0) + 69);
            pitchClass[static_cast<size_t>(k)] = static_cast<int>(((midi % 12) + 12) % 12);
        }
    }
    // Energies relative to a full-scale sine's.
    constexpr float kScale = 1.0f / (32768.0f * 32768.0f);
    for (long f = 0; f < count; ++f) {
        const long start = f * hop + hop / 2 - frame / 2;
        float *in = fft.Input();
        for (int i = 0; i < frame; ++i) {
            const long p = start + i;
            in[i] = p >= 0 && p < n ? signal.Samples[static_cast<size_t>(p)] * window[static_cast<size_t>(i)] : 0.0f;
        }
        fft.Forward();
        const fftwf_complex *spec = fft.Output();
        TChromaFrame &c = out[static_cast<size_t>(f)];
        float total = 0;
        for (int k = 0; k < bins; ++k) {
            const int pc = pitchClass[static_cast<size_t>(k)];
            if (pc < 0)
                continue;
            const float e = (spec[k][0] * spec[k][0] + spec[k][1] * spec[k][1]) * kScale;
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

double ChromaAgreement(const std::vector<TChromaFrame> &ref, const std::vector<TChromaFrame> &test, long from,
                       long count, long lag)
{
    double sum = 0;
    long sounding = 0;
    const long nr = static_cast<long>(ref.size()), nt = static_cast<long>(test.size());
    for (long i = from; i < from + count; ++i) {
        const long j = i + lag;
        if (i < 0 || i >= nr || j < 0 || j >= nt)
            continue;
        const TChromaFrame &a = ref[static_cast<size_t>(i)], &b = test[static_cast<size_t>(j)];
        double dot = 0, aa = 0, bb = 0;
        for (size_t k = 0; k < 12; ++k)
            dot += double(a[k]) * b[k], aa += double(a[k]) * a[k], bb += double(b[k]) * b[k];
        if (aa <= 0 || bb <= 0)
            continue;
        sum += dot;
        ++sounding;
    }
    if (count <= 0 || sounding < kMinSounding * static_cast<double>(count))
        return std::nan("");
    return sum / static_cast<double>(sounding);
}

} // namespace tessaly::sync
