// Band-limited reading of a track at fractional positions: a Kaiser-windowed sinc kernel
// kept as a table of phases (weights between two phases interpolated linearly), whose
// cutoff follows the reading rate so that reading faster than real time does not alias.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace tessaly {

// One kernel: 2 x Half() taps, cutoff relative to the source's Nyquist frequency.
class TSincKernel {
public:
    // halfTaps: taps on each side at cutoff 1 (more at lower cutoffs, so the transition
    // band keeps its width in output terms); phases: table rows per sample period.
    TSincKernel(int halfTaps, double cutoff, int phases);

    int Half() const { return FHalf; }
    double Cutoff() const { return FCutoff; }
    // The weights of source samples floor(x) - Half() + 1 .. floor(x) + Half() for the
    // fraction frac = x - floor(x) in [0, 1); w holds 2 x Half() values.
    void Weights(double frac, double *w) const;

private:
    int FHalf = 0;
    int FPhases = 0;
    double FCutoff = 1;
    std::vector<double> FTable;   // (phases + 1) rows of 2 x Half() weights
    std::vector<double> FDelta;   // row k + 1 minus row k
};

// Reads interleaved source values at positions x(t) = x0 + t * step, t = 0 .. count - 1.
class TResampler {
public:
    static constexpr int kHalfTaps = 32;
    static constexpr int kPhases = 4096;

    // The kernel for a reading rate (source samples per output sample): cutoff 1 up to a
    // rate of 1, 1/rate above it (kernels are cached by the rate rounded up).
    const TSincKernel &KernelFor(long double rate);

    // The source positions the kernel reads for x0 .. x0 + (count - 1) * step.
    static void Span(const TSincKernel &k, long double x0, long double step, int32_t count, int64_t &first,
                     int64_t &last);

    // out[t * channels + c] = the band-limited value at x(t); src holds the values of
    // positions srcFirst .. srcFirst + srcFrames - 1 (interleaved, channels per frame) and
    // must cover Span(); positions outside it read as 0.
    void Read(const TSincKernel &k, const double *src, int64_t srcFirst, int64_t srcFrames, int channels,
              long double x0, long double step, int32_t count, double *out);

private:
    std::map<int64_t, std::unique_ptr<TSincKernel>> FKernels;
    std::vector<double> FWeights;
};

} // namespace tessaly
