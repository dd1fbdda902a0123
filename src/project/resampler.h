// Band-limited reading of a track at fractional positions: a Kaiser-windowed sinc kernel
// whose weights, as functions of the fraction between two stored samples, are kept as
// cubic pieces in single precision; its cutoff follows the reading rate so that reading
// faster than real time does not alias. The inner loops run on SSE2, or on AVX2 with FMA
// where the processor has them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace tessaly {

// One kernel: Taps() = 2 x Half() taps, cutoff relative to the source's Nyquist frequency.
class TSincKernel {
public:
    // Cubic pieces per sample period: the weights between two pieces' ends are Hermite
    // cubics through the exact weights and their slopes there (error below 1e-8).
    static constexpr int kPieces = 64;

    // halfTaps: taps on each side at cutoff 1 (more at lower cutoffs, so the transition
    // band keeps its width in output terms; rounded up to a multiple of 4).
    TSincKernel(int halfTaps, double cutoff, int pieces = kPieces);

    int Half() const { return FHalf; }
    int Taps() const { return 2 * FHalf; }
    int Pieces() const { return FPieces; }
    double Cutoff() const { return FCutoff; }
    // The weights of source samples floor(x) - Half() + 1 .. floor(x) + Half() for the
    // fraction frac = x - floor(x) in [0, 1); w holds Taps() values.
    void Weights(double frac, float *w) const;
    // The piece holding fraction frac: 4 x Taps() values (the constant, linear, square and
    // cube terms of each tap) and in u the position within the piece, in [0, 1).
    const float *Piece(double frac, float &u) const
    {
        const double p = frac * FPieces;
        int k = static_cast<int>(p);
        k = k < 0 ? 0 : k >= FPieces ? FPieces - 1 : k;
        u = static_cast<float>(p - k);
        return &FCoefs[static_cast<size_t>(k) * 4 * static_cast<size_t>(Taps())];
    }

private:
    int FHalf = 0;
    int FPieces = 0;
    double FCutoff = 1;
    std::vector<float> FCoefs;   // pieces x 4 x Taps() values
};

// Reads source values at positions x(t) = x0 + t * step, t = 0 .. count - 1.
class TResampler {
public:
    static constexpr int kHalfTaps = 28;

    // The kernel for a reading rate (source samples per output sample): cutoff 1 up to a
    // rate of 1, 1/rate above it (kernels are cached by the rate rounded up).
    const TSincKernel &KernelFor(long double rate);

    // The source positions the kernel reads for x0 .. x0 + (count - 1) * step.
    static void Span(const TSincKernel &k, long double x0, long double step, int32_t count, int64_t &first,
                     int64_t &last);

    // out[t * channels + c] = the band-limited value of channel c at x(t). The source is
    // planar: channel c's value of position srcFirst + i is src[c * stride + i], for i in
    // 0 .. srcFrames - 1; it should cover Span(), positions outside it read as 0.
    static void Read(const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst, int64_t srcFrames,
                     int channels, long double x0, long double step, int32_t count, double *out);

private:
    std::map<int64_t, std::unique_ptr<TSincKernel>> FKernels;
};

} // namespace tessaly
