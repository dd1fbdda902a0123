// Band-limited reading of a track at fractional positions: a Kaiser-windowed sinc kernel
// kept as a polyphase table in single precision (for each of 128 phases between two
// stored samples, the coefficients of a parabola in the position within the phase); its
// cutoff follows the reading rate so that reading faster than real time does not alias.
// The inner loops run on AVX-512, on AVX2 with FMA or on SSE2 where the processor has
// them, and in plain C++ elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <utility>
#include <vector>

namespace tessaly {

// One kernel: Taps() = 2 x Half() taps, cutoff relative to the source's Nyquist frequency.
class TSincKernel {
public:
    // Phases per sample period. The weights within a phase follow a parabola through the
    // exact weights at its start, middle and end: the error lies about 135 dB under the
    // signal, and the table (under 100 kB) stays in the processor's cache.
    static constexpr int kPhases = 128;

    // halfTaps: taps on each side at cutoff 1 (more at lower cutoffs, so the transition
    // band keeps its width in output terms; rounded up to a multiple of 4).
    TSincKernel(int halfTaps, double cutoff, int phases = kPhases);

    int Half() const { return FHalf; }
    int Taps() const { return 2 * FHalf; }
    int Phases() const { return FPhases; }
    double Cutoff() const { return FCutoff; }
    // The weights of source samples floor(x) - Half() + 1 .. floor(x) + Half() for the
    // fraction frac = x - floor(x) in [0, 1); w holds Taps() values.
    void Weights(double frac, float *w) const;
    // Phase k (0 .. Phases() - 1): three rows of coefficients c0, c1, c2, so that the
    // weight of tap j at u in [0, 1] of the phase (fraction (k + u) / Phases()) is
    // c0[j] + u c1[j] + u^2 c2[j]. The rows are RowOf(Taps()) floats apart, padded with
    // zeros to whole cache lines, and each starts on one.
    const float *Phase(int k) const
    {
        return FTable + static_cast<size_t>(k) * 3 * static_cast<size_t>(RowOf(Taps()));
    }
    static constexpr int RowOf(int taps) { return (taps + 15) / 16 * 16; }

private:
    int FHalf = 0;
    int FPhases = 0;
    double FCutoff = 1;
    std::vector<float> FStore;
    float *FTable = nullptr;   // inside FStore, aligned
};

// The instruction sets the reader's inner loops are written for.
enum class TSimd { Plain, Sse2, Avx2, Avx512 };

// Reads source values at positions x(t) = x0 + t * step, t = 0 .. count - 1.
class TResampler {
public:
    static constexpr int kHalfTaps = 28;
    // The largest step of a read (the mixer reads at most four times as fast as real time).
    static constexpr long double kMaxStep = 1 << 16;

    // The kernel for a reading rate (source samples per output sample): cutoff 1 up to a
    // rate of 1, 1/rate above it (kernels are cached by the rate rounded up; the reference
    // stays valid until the next call).
    const TSincKernel &KernelFor(long double rate);

    // The source positions the kernel reads for x0 .. x0 + (count - 1) * step.
    static void Span(const TSincKernel &k, long double x0, long double step, int32_t count, int64_t &first,
                     int64_t &last);

    // out[t * channels + c] = the band-limited value of channel c at x(t). The source is
    // planar: channel c's value of position srcFirst + i is src[c * stride + i], for i in
    // 0 .. srcFrames - 1; it should cover Span(), positions outside it read as 0. step
    // is taken into [0, kMaxStep]. Runs on the best instruction set of the processor.
    static void Read(const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst, int64_t srcFrames,
                     int channels, long double x0, long double step, int32_t count, double *out);
    // The same on a chosen instruction set, which must be Supported().
    static void Read(TSimd simd, const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst,
                     int64_t srcFrames, int channels, long double x0, long double step, int32_t count, double *out);
    // Whether this build and processor run an instruction set; Best() is the fastest.
    static bool Supported(TSimd simd);
    static TSimd Best();

private:
    static constexpr size_t kCachedKernels = 8;
    static constexpr int kRateSteps = 256;   // kernels per unit of rate
    // The kernels of the rates read last, most recent first.
    std::list<std::pair<int64_t, std::unique_ptr<TSincKernel>>> FKernels;
};

} // namespace tessaly
