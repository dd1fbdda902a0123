// The windowed-sinc kernel table and the band-limited reader.
#include "project/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <immintrin.h>

namespace tessaly {

namespace {

// Modified Bessel function of the first kind, order 0 (power series).
double BesselI0(double x)
{
    double sum = 1, term = 1;
    const double q = x * x / 4;
    for (int k = 1; k < 200; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
        if (term < sum * 1e-17)
            break;
    }
    return sum;
}

// About 130 dB of stop-band attenuation for the Kaiser window.
constexpr double kKaiserBeta = 13.4;

// The weights for a fraction in [0, 1], normalised to unity gain at 0 Hz. The window is
// closed, so that each weight is continuous from one end of the fraction to the other.
void ExactWeights(int half, double cutoff, double frac, double *row)
{
    const int taps = 2 * half;
    static const double i0Beta = BesselI0(kKaiserBeta);
    double sum = 0;
    for (int j = 0; j < taps; ++j) {
        // Distance from source sample floor(x) - half + 1 + j to x.
        const double d = frac + half - 1 - j;
        const double r = d / half;
        row[j] = 0;
        if (std::fabs(r) > 1)
            continue;
        const double a = std::numbers::pi * cutoff * d;
        const double sinc = a == 0 ? 1.0 : std::sin(a) / a;
        row[j] = cutoff * sinc * BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / i0Beta;
        if (cutoff == 1 && d == std::nearbyint(d) && d != 0)
            row[j] = 0;   // exact zeros at whole distances keep stored samples exact
        sum += row[j];
    }
    for (int j = 0; j < taps; ++j)
        row[j] /= sum;
}

// One evaluation of the kernel: output values of t0 .. t1 - 1 of a read.
struct TRun {
    const TSincKernel *Kernel;
    const float *Src;
    size_t Stride;
    int64_t Frames;     // source values per channel
    int Channels;
    double StartFrac;   // x(0) relative to the source sample StartWhole
    double Step;
    int64_t StartWhole;
    double *Out;
};

// The source sample floor(x(t)) relative to StartWhole, and the fraction of x(t) beyond it.
inline int64_t Locate(const TRun &r, int32_t t, double &frac)
{
    const double x = r.StartFrac + static_cast<double>(t) * r.Step;
    int64_t whole = static_cast<int64_t>(x);   // truncation, cheaper than floor
    if (static_cast<double>(whole) > x)
        --whole;
    frac = x - static_cast<double>(whole);
    return whole;
}

// Output t where the kernel reaches beyond the source: taps outside read as zero.
__attribute__((noinline)) void ReadEdge(const TRun &r, int32_t t)
{
    const TSincKernel &k = *r.Kernel;
    const int taps = k.Taps();
    double frac = 0;
    const int64_t base = r.StartWhole + Locate(r, t, frac) - k.Half() + 1;
    std::vector<float> w(static_cast<size_t>(taps));
    k.Weights(frac, w.data());
    const int j0 = static_cast<int>(std::clamp<int64_t>(-base, 0, taps));
    const int j1 = static_cast<int>(std::clamp<int64_t>(r.Frames - base, 0, taps));
    for (int c = 0; c < r.Channels; ++c) {
        const float *s = r.Src + static_cast<size_t>(c) * r.Stride;
        double acc = 0;
        for (int j = j0; j < j1; ++j)
            acc += static_cast<double>(w[static_cast<size_t>(j)]) * s[base + j];
        r.Out[static_cast<size_t>(t) * r.Channels + c] = acc;
    }
}

// Vector operations of the baseline instruction set: four floats.
struct TSse2 {
    using V = __m128;
    static constexpr int kLanes = 4;
    static V Zero() { return _mm_setzero_ps(); }
    static V Set(float v) { return _mm_set1_ps(v); }
    static V Load(const float *p) { return _mm_loadu_ps(p); }
    static V MulAdd(V a, V b, V c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static V Add(V a, V b) { return _mm_add_ps(a, b); }
    static float Sum(V v)
    {
        v = _mm_add_ps(v, _mm_movehl_ps(v, v));
        return _mm_cvtss_f32(_mm_add_ss(v, _mm_shuffle_ps(v, v, 1)));
    }
};

// Eight floats with fused multiply-adds.
#define TESSALY_AVX2 __attribute__((target("avx2,fma")))
struct TAvx2 {
    using V = __m256;
    static constexpr int kLanes = 8;
    TESSALY_AVX2 static V Zero() { return _mm256_setzero_ps(); }
    TESSALY_AVX2 static V Set(float v) { return _mm256_set1_ps(v); }
    TESSALY_AVX2 static V Load(const float *p) { return _mm256_loadu_ps(p); }
    TESSALY_AVX2 static V MulAdd(V a, V b, V c) { return _mm256_fmadd_ps(a, b, c); }
    TESSALY_AVX2 static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    TESSALY_AVX2 static float Sum(V v)
    {
        return TSse2::Sum(_mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1)));
    }
};

// Weights j .. j + lanes - 1 of a piece at u (Horner's scheme over the four terms).
template <class S>
inline typename S::V WeightsAt(const float *piece, int taps, typename S::V u, int j)
{
    typename S::V w = S::Load(piece + 3 * taps + j);
    w = S::MulAdd(w, u, S::Load(piece + 2 * taps + j));
    w = S::MulAdd(w, u, S::Load(piece + taps + j));
    return S::MulAdd(w, u, S::Load(piece + j));
}

// One channel: the sum over the taps, in two accumulators so the additions overlap.
template <class S>
inline double DotOne(const float *piece, int taps, typename S::V u, const float *s)
{
    constexpr int L = S::kLanes;
    typename S::V a = S::Zero(), b = S::Zero();
    int j = 0;
    for (; j + 2 * L <= taps; j += 2 * L) {
        a = S::MulAdd(WeightsAt<S>(piece, taps, u, j), S::Load(s + j), a);
        b = S::MulAdd(WeightsAt<S>(piece, taps, u, j + L), S::Load(s + j + L), b);
    }
    if (j < taps)
        a = S::MulAdd(WeightsAt<S>(piece, taps, u, j), S::Load(s + j), a);
    return S::Sum(S::Add(a, b));
}

// Two channels sharing the weights, each in two accumulators.
template <class S>
inline void DotTwo(const float *piece, int taps, typename S::V u, const float *s0, const float *s1, double *o)
{
    constexpr int L = S::kLanes;
    typename S::V a0 = S::Zero(), a1 = S::Zero(), b0 = S::Zero(), b1 = S::Zero();
    int j = 0;
    for (; j + 2 * L <= taps; j += 2 * L) {
        const typename S::V w0 = WeightsAt<S>(piece, taps, u, j), w1 = WeightsAt<S>(piece, taps, u, j + L);
        a0 = S::MulAdd(w0, S::Load(s0 + j), a0);
        b0 = S::MulAdd(w0, S::Load(s1 + j), b0);
        a1 = S::MulAdd(w1, S::Load(s0 + j + L), a1);
        b1 = S::MulAdd(w1, S::Load(s1 + j + L), b1);
    }
    if (j < taps) {
        const typename S::V w = WeightsAt<S>(piece, taps, u, j);
        a0 = S::MulAdd(w, S::Load(s0 + j), a0);
        b0 = S::MulAdd(w, S::Load(s1 + j), b0);
    }
    o[0] = S::Sum(S::Add(a0, a1));
    o[1] = S::Sum(S::Add(b0, b1));
}

template <class S>
inline void ReadRun(const TRun &r, int32_t count)
{
    const TSincKernel &k = *r.Kernel;
    const int taps = k.Taps(), ch = r.Channels;
    const int64_t lastBase = r.Frames - taps;
    for (int32_t t = 0; t < count; ++t) {
        double frac = 0;
        const int64_t base = r.StartWhole + Locate(r, t, frac) - k.Half() + 1;
        if (base < 0 || base > lastBase) {
            ReadEdge(r, t);
            continue;
        }
        float uf = 0;
        const float *piece = k.Piece(frac, uf);
        const typename S::V u = S::Set(uf);
        const float *s = r.Src + base;
        double *o = r.Out + static_cast<size_t>(t) * ch;
        int c = 0;
        for (; c + 1 < ch; c += 2) {
            const float *s0 = s + static_cast<size_t>(c) * r.Stride;
            DotTwo<S>(piece, taps, u, s0, s0 + r.Stride, o + c);
        }
        if (c < ch)
            o[c] = DotOne<S>(piece, taps, u, s + static_cast<size_t>(c) * r.Stride);
    }
}

__attribute__((flatten)) void ReadSse2(const TRun &r, int32_t count) { ReadRun<TSse2>(r, count); }
TESSALY_AVX2 __attribute__((flatten)) void ReadAvx2(const TRun &r, int32_t count) { ReadRun<TAvx2>(r, count); }

using TReadFn = void (*)(const TRun &, int32_t);

TReadFn ChooseRead()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? ReadAvx2 : ReadSse2;
}

} // namespace

TSincKernel::TSincKernel(int halfTaps, double cutoff, int pieces)
    : FPieces(std::max(pieces, 1)), FCutoff(cutoff)
{
    // A multiple of 4 a side makes whole vectors of taps.
    FHalf = (static_cast<int>(std::ceil(halfTaps / cutoff)) + 3) / 4 * 4;
    const int taps = 2 * FHalf;
    const size_t nodes = static_cast<size_t>(FPieces) + 1;
    // Weights and their slopes at the ends of every piece; the slopes by differences of
    // second order that stay inside [0, 1] (the weights jump at its ends, where a tap
    // leaves the window and the next one enters).
    std::vector<double> value(nodes * taps), slope(nodes * taps), a(taps), b(taps);
    constexpr double h = 1e-5;
    for (size_t n = 0; n < nodes; ++n) {
        const double frac = static_cast<double>(n) / FPieces;
        double *v = &value[n * taps], *d = &slope[n * taps];
        ExactWeights(FHalf, cutoff, frac, v);
        if (n == 0 || n + 1 == nodes) {
            const double dir = n == 0 ? 1 : -1;
            ExactWeights(FHalf, cutoff, frac + dir * h, a.data());
            ExactWeights(FHalf, cutoff, frac + dir * 2 * h, b.data());
            for (int j = 0; j < taps; ++j)
                d[j] = dir * (4 * a[j] - 3 * v[j] - b[j]) / (2 * h);
        } else {
            ExactWeights(FHalf, cutoff, frac + h, a.data());
            ExactWeights(FHalf, cutoff, frac - h, b.data());
            for (int j = 0; j < taps; ++j)
                d[j] = (a[j] - b[j]) / (2 * h);
        }
    }
    FCoefs.assign(static_cast<size_t>(FPieces) * 4 * taps, 0.0f);
    const double width = 1.0 / FPieces;
    for (int p = 0; p < FPieces; ++p) {
        float *out = &FCoefs[static_cast<size_t>(p) * 4 * taps];
        const double *v0 = &value[static_cast<size_t>(p) * taps], *v1 = v0 + taps;
        const double *d0 = &slope[static_cast<size_t>(p) * taps], *d1 = d0 + taps;
        for (int j = 0; j < taps; ++j) {
            out[j] = static_cast<float>(v0[j]);
            out[taps + j] = static_cast<float>(width * d0[j]);
            out[2 * taps + j] = static_cast<float>(3 * (v1[j] - v0[j]) - width * (2 * d0[j] + d1[j]));
            out[3 * taps + j] = static_cast<float>(2 * (v0[j] - v1[j]) + width * (d0[j] + d1[j]));
        }
    }
}

void TSincKernel::Weights(double frac, float *w) const
{
    float u = 0;
    const float *p = Piece(frac, u);
    const int taps = Taps();
    for (int j = 0; j < taps; ++j)
        w[j] = ((p[3 * taps + j] * u + p[2 * taps + j]) * u + p[taps + j]) * u + p[j];
}

const TSincKernel &TResampler::KernelFor(long double rate)
{
    // Rates up to 1 (and a hair above, where the aliased band is inaudibly narrow) share
    // the full-band kernel; faster reading gets its cutoff lowered in steps of 1/4096.
    if (!(rate > 1.0005L)) {
        // Built once per process and never changed: every run shares the full-band table.
        static const TSincKernel unit(kHalfTaps, 1.0);
        return unit;
    }
    const int64_t key = static_cast<int64_t>(std::ceil((static_cast<double>(rate) - 1) * 4096));
    auto it = FKernels.find(key);
    if (it == FKernels.end()) {
        const double cutoff = 1.0 / (1.0 + static_cast<double>(key) / 4096);
        it = FKernels.emplace(key, std::make_unique<TSincKernel>(kHalfTaps, cutoff)).first;
    }
    return *it->second;
}

void TResampler::Span(const TSincKernel &k, long double x0, long double step, int32_t count, int64_t &first,
                      int64_t &last)
{
    const long double x1 = x0 + static_cast<long double>(std::max(count - 1, 0)) * step;
    const long double lo = std::min(x0, x1), hi = std::max(x0, x1);
    first = static_cast<int64_t>(std::floor(lo)) - k.Half() + 1;
    last = static_cast<int64_t>(std::floor(hi)) + k.Half();
}

void TResampler::Read(const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst, int64_t srcFrames,
                      int channels, long double x0, long double step, int32_t count, double *out)
{
    if (count <= 0 || channels <= 0)
        return;
    // Positions relative to the window are small, so doubles keep them to about 1e-12
    // of a sample; the whole part of the start is taken in extended precision.
    const long double start = x0 - static_cast<long double>(srcFirst);
    const long double startWhole = std::floor(start);
    const TRun run{&k,
                   src,
                   stride,
                   srcFrames,
                   channels,
                   static_cast<double>(start - startWhole),
                   static_cast<double>(step),
                   static_cast<int64_t>(startWhole),
                   out};
    static const TReadFn read = ChooseRead();
    read(run, count);
}

} // namespace tessaly
