// The windowed-sinc kernel table and the band-limited reader.
#include "project/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSALY_X86 1
#endif

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

// One evaluation of the kernel: output values of t = 0 .. count - 1 of a read.
struct TRun {
    const TSincKernel *Kernel;
    const float *Src;
    size_t Stride;
    int64_t Frames;     // source values per channel
    int Channels;
    double StartFrac;   // x(0) relative to the source sample StartWhole, in [0, 1)
    double Step;        // not negative
    int64_t StartWhole;
    double *Out;
};

// Where output t reads: the first source sample of the kernel, the phase and the position
// between it and the next one.
struct TPlace {
    int64_t Base;
    const float *Phase;
    float U;
};

// The places of a block of up to kBlock outputs, found in a loop of their own that the
// compiler vectorises: the kernels' first samples relative to First, the phases and the
// positions between two phases.
constexpr int32_t kBlock = 64;
struct TBlock {
    int64_t First;
    int32_t Offset[kBlock];
    int32_t Phase[kBlock];
    float U[kBlock];

    TPlace At(const TSincKernel &k, int32_t i) const { return {First + Offset[i], k.Phase(Phase[i]), U[i]}; }
};

inline void Locate(const TRun &r, int32_t t0, int32_t n, TBlock &b)
{
    const TSincKernel &k = *r.Kernel;
    // x(t) >= 0, so truncation is the floor; positions relative to the block's first whole
    // sample stay small, and taking it away is exact.
    const double w0 = std::floor(r.StartFrac + static_cast<double>(t0) * r.Step);
    const double phases = k.Phases();
    const int32_t lastPhase = k.Phases() - 1;
    b.First = r.StartWhole + static_cast<int64_t>(w0) - k.Half() + 1;
    for (int32_t i = 0; i < n; ++i) {
        const double x = (r.StartFrac + static_cast<double>(t0 + i) * r.Step) - w0;
        const auto whole = static_cast<int32_t>(x);
        const double p = (x - whole) * phases;
        const int32_t phase = std::min(static_cast<int32_t>(p), lastPhase);
        b.Offset[i] = whole;
        b.Phase[i] = phase;
        b.U[i] = static_cast<float>(p - phase);
    }
}

// Output t where the kernel reaches beyond the source: taps outside read as zero.
__attribute__((noinline)) void ReadEdge(const TRun &r, const TPlace &at, double *out)
{
    const int taps = r.Kernel->Taps();
    const int j0 = static_cast<int>(std::clamp<int64_t>(-at.Base, 0, taps));
    const int j1 = static_cast<int>(std::clamp<int64_t>(r.Frames - at.Base, 0, taps));
    const int row = TSincKernel::RowOf(taps);
    const float *c0 = at.Phase, *c1 = c0 + row, *c2 = c1 + row;
    for (int c = 0; c < r.Channels; ++c) {
        const float *s = r.Src + static_cast<size_t>(c) * r.Stride;
        double acc = 0;
        for (int j = j0; j < j1; ++j)
            acc += static_cast<double>(c0[j] + at.U * (c1[j] + at.U * c2[j])) * s[at.Base + j];
        out[c] = acc;
    }
}

// The inner loops over a vector type S: S::kLanes floats, loaded unaligned (Load takes the
// first n of them where fewer remain, the rest zero), multiplied and added (fused where the
// instruction set has it). Taps() is a multiple of 8. Taps is the tap count where it is
// known when compiling (the loops then unroll), else 0.
template <class S, int Taps>
struct TDot {
    using V = typename S::V;
    static constexpr int L = S::kLanes;

    // The weights of taps j .. j + L - 1 at the position u within the phase whose three
    // coefficient rows start at c.
    static V Weights(const float *c, int taps, int j, V u)
    {
        const int n = taps - j, row = TSincKernel::RowOf(taps);
        return S::MulAdd(S::MulAdd(S::Load(c + 2 * row + j, n), u, S::Load(c + row + j, n)), u, S::Load(c + j, n));
    }

    // Two channels share the weights of the phase; each sums in two accumulators, so that
    // the chains of additions overlap. a and b hold the sums of channel 0 and 1 by lane.
    static void Pair(const TPlace &at, int taps, const float *s0, const float *s1, V &a, V &b)
    {
        const V u = S::Set(at.U);
        V a0 = S::Zero(), a1 = S::Zero(), b0 = S::Zero(), b1 = S::Zero();
#pragma GCC unroll 8
        for (int j = 0; j < taps; j += 2 * L) {
            const V wj = Weights(at.Phase, taps, j, u);
            a0 = S::MulAdd(wj, S::Load(s0 + j, taps - j), a0);
            b0 = S::MulAdd(wj, S::Load(s1 + j, taps - j), b0);
            if (j + L < taps) {
                const V wk = Weights(at.Phase, taps, j + L, u);
                a1 = S::MulAdd(wk, S::Load(s0 + j + L, taps - j - L), a1);
                b1 = S::MulAdd(wk, S::Load(s1 + j + L, taps - j - L), b1);
            }
        }
        a = S::Add(a0, a1);
        b = S::Add(b0, b1);
    }

    // Two outputs of two channels in the same phase (consecutive outputs along a gentle
    // curve): the coefficients are loaded once for both. p0 and q0 are the first source
    // values of the two outputs in channel 0, channel 1's lie stride further on.
    static void Pairs(const TPlace &p, float uq, int taps, const float *p0, const float *q0, size_t stride, V &a,
                      V &b, V &c, V &d)
    {
        const int row = TSincKernel::RowOf(taps);
        const float *p1 = p0 + stride, *q1 = q0 + stride, *k = p.Phase;
        const V up = S::Set(p.U), uQ = S::Set(uq);
        a = b = c = d = S::Zero();
#pragma GCC unroll 8
        for (int j = 0; j < taps; j += L) {
            const int n = taps - j;
            const V k0 = S::Load(k + j, n), k1 = S::Load(k + row + j, n), k2 = S::Load(k + 2 * row + j, n);
            const V wp = S::MulAdd(S::MulAdd(k2, up, k1), up, k0), wq = S::MulAdd(S::MulAdd(k2, uQ, k1), uQ, k0);
            a = S::MulAdd(wp, S::Load(p0 + j, n), a);
            b = S::MulAdd(wp, S::Load(p1 + j, n), b);
            c = S::MulAdd(wq, S::Load(q0 + j, n), c);
            d = S::MulAdd(wq, S::Load(q1 + j, n), d);
        }
    }

    static float One(const TPlace &at, int taps, const float *s0)
    {
        const V u = S::Set(at.U);
        V a0 = S::Zero(), a1 = S::Zero();
#pragma GCC unroll 8
        for (int j = 0; j < taps; j += 2 * L) {
            a0 = S::MulAdd(Weights(at.Phase, taps, j, u), S::Load(s0 + j, taps - j), a0);
            if (j + L < taps)
                a1 = S::MulAdd(Weights(at.Phase, taps, j + L, u), S::Load(s0 + j + L, taps - j - L), a1);
        }
        return S::Sum(S::Add(a0, a1));
    }
};

// A read on the vector type S: the places of each block first, then the outputs, stereo
// ones two at a time with the lane sums stored side by side (StoreQuad), other channel
// counts one channel pair (StorePair) or channel (Sum) at a time.
template <class S, int Taps>
inline void ReadRunOf(const TRun &r, int32_t count)
{
    using V = typename S::V;
    using D = TDot<S, Taps>;
    const TSincKernel &k = *r.Kernel;
    const int taps = Taps > 0 ? Taps : k.Taps(), ch = r.Channels;
    const size_t stride = r.Stride;
    const int64_t lastBase = r.Frames - taps;
    TBlock block;
    for (int32_t t0 = 0; t0 < count; t0 += kBlock) {
        const int32_t n = std::min(kBlock, count - t0);
        Locate(r, t0, n, block);
        double *out = r.Out + static_cast<size_t>(t0) * ch;
        int32_t i = 0;
        // Positions never fall, so the block lies inside the source when its ends do.
        if (block.First + block.Offset[0] >= 0 && block.First + block.Offset[n - 1] <= lastBase && ch == 2) {
            for (; i + 1 < n; i += 2) {
                const TPlace p = block.At(k, i), q = block.At(k, i + 1);
                V a, b, c, d;
                if (p.Phase == q.Phase) {
                    D::Pairs(p, q.U, taps, r.Src + p.Base, r.Src + q.Base, stride, a, b, c, d);
                } else {
                    D::Pair(p, taps, r.Src + p.Base, r.Src + stride + p.Base, a, b);
                    D::Pair(q, taps, r.Src + q.Base, r.Src + stride + q.Base, c, d);
                }
                S::StoreQuad(a, b, c, d, out + 2 * i);
            }
        }
        for (; i < n; ++i) {
            const TPlace at = block.At(k, i);
            double *o = out + static_cast<size_t>(i) * ch;
            if (at.Base < 0 || at.Base > lastBase) {
                ReadEdge(r, at, o);
                continue;
            }
            const float *s = r.Src + at.Base;
            int c = 0;
            for (; c + 1 < ch; c += 2) {
                V a, b;
                D::Pair(at, taps, s + c * stride, s + (c + 1) * stride, a, b);
                S::StorePair(a, b, o + c);
            }
            if (c < ch)
                o[c] = D::One(at, taps, s + c * stride);
        }
    }
}

// The tap counts of the kernels of rates up to 1 and of the PAL speed-up get loops of
// their own.
template <class S>
inline void ReadRun(const TRun &r, int32_t count)
{
    switch (r.Kernel->Taps()) {
    case 2 * TResampler::kHalfTaps: ReadRunOf<S, 2 * TResampler::kHalfTaps>(r, count); break;
    case 64: ReadRunOf<S, 64>(r, count); break;
    default: ReadRunOf<S, 0>(r, count); break;
    }
}

// Eight floats in plain C++, for processors without a vector path here; the compiler
// vectorises the lane loops where it can.
struct TPlain {
    static constexpr int kLanes = 8;
    struct V {
        float v[kLanes];
    };
    static V Zero() { return V{}; }
    static V Set(float x)
    {
        V r;
        for (float &e : r.v)
            e = x;
        return r;
    }
    static V Load(const float *p, int)
    {
        V r;
        for (int i = 0; i < kLanes; ++i)
            r.v[i] = p[i];
        return r;
    }
    static V MulAdd(V a, V b, V c)
    {
        for (int i = 0; i < kLanes; ++i)
            c.v[i] += a.v[i] * b.v[i];
        return c;
    }
    static V Add(V a, V b)
    {
        for (int i = 0; i < kLanes; ++i)
            a.v[i] += b.v[i];
        return a;
    }
    static float Sum(V a)
    {
        // Pairwise, in the order of the vector paths.
        for (int w = kLanes / 2; w > 0; w /= 2)
            for (int i = 0; i < w; ++i)
                a.v[i] += a.v[i + w];
        return a.v[0];
    }
    static void StorePair(V a, V b, double *o)
    {
        o[0] = Sum(a);
        o[1] = Sum(b);
    }
    static void StoreQuad(V a, V b, V c, V d, double *o)
    {
        StorePair(a, b, o);
        StorePair(c, d, o + 2);
    }
};

void ReadPlain(const TRun &r, int32_t count) { ReadRun<TPlain>(r, count); }

#ifdef TESSALY_X86
// Four floats of the baseline instruction set.
struct TSse2 {
    using V = __m128;
    static constexpr int kLanes = 4;
    static V Zero() { return _mm_setzero_ps(); }
    static V Set(float v) { return _mm_set1_ps(v); }
    static V Load(const float *p, int) { return _mm_loadu_ps(p); }
    static V MulAdd(V a, V b, V c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static V Add(V a, V b) { return _mm_add_ps(a, b); }
    static float Sum(V v)
    {
        v = _mm_add_ps(v, _mm_movehl_ps(v, v));
        return _mm_cvtss_f32(_mm_add_ss(v, _mm_shuffle_ps(v, v, 1)));
    }
    static void StorePair(V a, V b, double *o)
    {
        // a0 b0 a1 b1 + a2 b2 a3 b3, then its halves added: the two sums side by side.
        V s = _mm_add_ps(_mm_unpacklo_ps(a, b), _mm_unpackhi_ps(a, b));
        s = _mm_add_ps(s, _mm_movehl_ps(s, s));
        _mm_storeu_pd(o, _mm_cvtps_pd(s));
    }
    static void StoreQuad(V a, V b, V c, V d, double *o)
    {
        StorePair(a, b, o);
        StorePair(c, d, o + 2);
    }
};

// Eight floats with fused multiply-adds.
#define TESSALY_AVX2 __attribute__((target("avx2,fma")))
struct TAvx2 {
    using V = __m256;
    static constexpr int kLanes = 8;
    TESSALY_AVX2 static V Zero() { return _mm256_setzero_ps(); }
    TESSALY_AVX2 static V Set(float v) { return _mm256_set1_ps(v); }
    TESSALY_AVX2 static V Load(const float *p, int) { return _mm256_loadu_ps(p); }
    TESSALY_AVX2 static V MulAdd(V a, V b, V c) { return _mm256_fmadd_ps(a, b, c); }
    TESSALY_AVX2 static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    TESSALY_AVX2 static float Sum(V v)
    {
        return TSse2::Sum(_mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1)));
    }
    TESSALY_AVX2 static void StorePair(V a, V b, double *o)
    {
        // Pairs of a and of b summed per half, the halves added, then the pairs: a b a b.
        const V h = _mm256_hadd_ps(a, b);
        __m128 s = _mm_add_ps(_mm256_castps256_ps128(h), _mm256_extractf128_ps(h, 1));
        s = _mm_hadd_ps(s, s);
        _mm_storeu_pd(o, _mm_cvtps_pd(s));
    }
    TESSALY_AVX2 static void StoreQuad(V a, V b, V c, V d, double *o)
    {
        // Per half: pairs of a, b, c, d summed, then pairs of those (a b c d by quarter);
        // the halves added give the four sums in order.
        const V h = _mm256_hadd_ps(_mm256_hadd_ps(a, b), _mm256_hadd_ps(c, d));
        _mm256_storeu_pd(o, _mm256_cvtps_pd(_mm_add_ps(_mm256_castps256_ps128(h), _mm256_extractf128_ps(h, 1))));
    }
};

// Sixteen floats with fused multiply-adds; a tap count that is not a multiple of 16 ends
// with a masked load of eight. The sums are folded to eight lanes and stored by the AVX2
// code.
#define TESSALY_AVX512 __attribute__((target("avx512f,avx512vl,avx2,fma")))
struct TAvx512 {
    using V = __m512;
    static constexpr int kLanes = 16;
    TESSALY_AVX512 static V Zero() { return _mm512_setzero_ps(); }
    TESSALY_AVX512 static V Set(float v) { return _mm512_set1_ps(v); }
    TESSALY_AVX512 static V Load(const float *p, int n)
    {
        return n >= kLanes ? _mm512_loadu_ps(p) : _mm512_maskz_loadu_ps(static_cast<__mmask16>((1u << n) - 1), p);
    }
    TESSALY_AVX512 static V MulAdd(V a, V b, V c) { return _mm512_fmadd_ps(a, b, c); }
    TESSALY_AVX512 static V Add(V a, V b) { return _mm512_add_ps(a, b); }
    // The two halves added: eight lanes of the same sums. The halves are taken by the
    // compiler's own shuffle, since the intrinsics for it read an undefined operand that
    // some compilers warn about.
    TESSALY_AVX512 static __m256 Fold(V v)
    {
        return _mm256_add_ps(__builtin_shufflevector(v, v, 0, 1, 2, 3, 4, 5, 6, 7),
                             __builtin_shufflevector(v, v, 8, 9, 10, 11, 12, 13, 14, 15));
    }
    TESSALY_AVX512 static float Sum(V v) { return TAvx2::Sum(Fold(v)); }
    TESSALY_AVX512 static void StorePair(V a, V b, double *o) { TAvx2::StorePair(Fold(a), Fold(b), o); }
    TESSALY_AVX512 static void StoreQuad(V a, V b, V c, V d, double *o)
    {
        TAvx2::StoreQuad(Fold(a), Fold(b), Fold(c), Fold(d), o);
    }
};

__attribute__((flatten)) void ReadSse2(const TRun &r, int32_t count) { ReadRun<TSse2>(r, count); }
TESSALY_AVX2 __attribute__((flatten)) void ReadAvx2(const TRun &r, int32_t count) { ReadRun<TAvx2>(r, count); }
TESSALY_AVX512 __attribute__((flatten)) void ReadAvx512(const TRun &r, int32_t count) { ReadRun<TAvx512>(r, count); }
#endif

using TReadFn = void (*)(const TRun &, int32_t);

TReadFn ReadFor(TSimd simd)
{
#ifdef TESSALY_X86
    if (simd == TSimd::Avx512)
        return ReadAvx512;
    if (simd == TSimd::Avx2)
        return ReadAvx2;
    if (simd == TSimd::Sse2)
        return ReadSse2;
#endif
    (void)simd;
    return ReadPlain;
}

} // namespace

TSincKernel::TSincKernel(int halfTaps, double cutoff, int phases)
    : FPhases(std::max(phases, 1)), FCutoff(cutoff)
{
    // A multiple of 4 a side makes whole vectors of taps. The count is rounded to the
    // nearest before that: a cutoff a few tenths of a percent under 1 (a curve of about
    // 1,000 ppm) keeps the taps of the full band instead of taking a whole vector more.
    FHalf = (static_cast<int>(std::lround(halfTaps / cutoff)) + 3) / 4 * 4;
    const int taps = 2 * FHalf;
    const size_t row = static_cast<size_t>(RowOf(taps)), phase = 3 * row;
    // 64 bytes of slack for the alignment of the table to a cache line.
    FStore.assign(static_cast<size_t>(FPhases) * phase + 16, 0.0f);
    const auto misalign = reinterpret_cast<uintptr_t>(FStore.data()) % 64;
    FTable = FStore.data() + (misalign ? (64 - misalign) / sizeof(float) : 0);
    // The parabola through the exact weights at the start, the middle and the end of each
    // phase: w(u) = c0 + u c1 + u^2 c2 for u in [0, 1].
    std::vector<double> start(static_cast<size_t>(taps)), mid(start.size()), end(start.size());
    ExactWeights(FHalf, cutoff, 0.0, start.data());
    for (int k = 0; k < FPhases; ++k) {
        ExactWeights(FHalf, cutoff, (k + 0.5) / FPhases, mid.data());
        ExactWeights(FHalf, cutoff, static_cast<double>(k + 1) / FPhases, end.data());
        float *c = FTable + static_cast<size_t>(k) * phase;
        for (size_t j = 0; j < static_cast<size_t>(taps); ++j) {
            c[j] = static_cast<float>(start[j]);
            c[row + j] = static_cast<float>(-3 * start[j] + 4 * mid[j] - end[j]);
            c[2 * row + j] = static_cast<float>(2 * start[j] - 4 * mid[j] + 2 * end[j]);
        }
        start.swap(end);
    }
}

void TSincKernel::Weights(double frac, float *w) const
{
    const double p = frac * FPhases;
    const int k = std::clamp(static_cast<int>(p), 0, FPhases - 1);
    const auto u = static_cast<float>(p - k);
    const float *c = Phase(k);
    const int taps = Taps(), row = RowOf(taps);
    for (int j = 0; j < taps; ++j)
        w[j] = c[j] + u * (c[row + j] + u * c[2 * row + j]);
}

const TSincKernel &TResampler::KernelFor(long double rate)
{
    // Rates up to 1 (and a hair above, where the aliased band is inaudibly narrow) share
    // the full-band kernel; faster reading gets its cutoff lowered in steps of 1/256 of the
    // rate (fine against the transition band's width), so that a curve whose slope keeps
    // changing uses few tables.
    if (!(rate > 1.0005L)) {
        // Built once per process and never changed: every run shares the full-band table.
        static const TSincKernel unit(kHalfTaps, 1.0);
        return unit;
    }
    const int64_t key = static_cast<int64_t>(std::ceil((static_cast<double>(rate) - 1) * kRateSteps));
    auto it = std::find_if(FKernels.begin(), FKernels.end(), [key](const auto &e) { return e.first == key; });
    if (it != FKernels.end()) {
        FKernels.splice(FKernels.begin(), FKernels, it);
    } else {
        // A curve whose slope keeps changing would otherwise collect tables without end.
        if (FKernels.size() >= kCachedKernels)
            FKernels.pop_back();
        const double cutoff = 1.0 / (1.0 + static_cast<double>(key) / kRateSteps);
        FKernels.emplace_front(key, std::make_unique<TSincKernel>(kHalfTaps, cutoff));
    }
    return *FKernels.front().second;
}

void TResampler::Span(const TSincKernel &k, long double x0, long double step, int32_t count, int64_t &first,
                      int64_t &last)
{
    const long double x1 = x0 + static_cast<long double>(std::max(count - 1, 0)) * step;
    const long double lo = std::min(x0, x1), hi = std::max(x0, x1);
    first = static_cast<int64_t>(std::floor(lo)) - k.Half() + 1;
    last = static_cast<int64_t>(std::floor(hi)) + k.Half();
}

bool TResampler::Supported(TSimd simd)
{
#ifdef TESSALY_X86
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (simd == TSimd::Avx512)
        return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    if (simd == TSimd::Avx2)
        return avx2;
    return true;
#else
    return simd == TSimd::Plain;
#endif
}

TSimd TResampler::Best()
{
    static const TSimd best = [] {
        for (TSimd s : {TSimd::Avx512, TSimd::Avx2, TSimd::Sse2})
            if (Supported(s))
                return s;
        return TSimd::Plain;
    }();
    return best;
}

void TResampler::Read(const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst, int64_t srcFrames,
                      int channels, long double x0, long double step, int32_t count, double *out)
{
    Read(Best(), k, src, stride, srcFirst, srcFrames, channels, x0, step, count, out);
}

void TResampler::Read(TSimd simd, const TSincKernel &k, const float *src, size_t stride, int64_t srcFirst,
                      int64_t srcFrames, int channels, long double x0, long double step, int32_t count, double *out)
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
                   static_cast<double>(std::clamp(step, 0.0L, kMaxStep)),
                   static_cast<int64_t>(startWhole),
                   out};
    ReadFor(simd)(run, count);
}

} // namespace tessaly
