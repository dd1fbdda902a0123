// The windowed-sinc kernel table and the band-limited reader.
#include "project/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

} // namespace

TSincKernel::TSincKernel(int halfTaps, double cutoff, int phases)
    : FPhases(phases), FCutoff(cutoff)
{
    FHalf = static_cast<int>(std::ceil(halfTaps / cutoff));
    const int taps = 2 * FHalf;
    FTable.assign(static_cast<size_t>(phases + 1) * taps, 0.0);
    FDelta.assign(FTable.size(), 0.0);
    const double i0Beta = BesselI0(kKaiserBeta);
    for (int k = 0; k <= phases; ++k) {
        const double frac = static_cast<double>(k) / phases;
        double *row = &FTable[static_cast<size_t>(k) * taps];
        double sum = 0;
        for (int j = 0; j < taps; ++j) {
            // Distance from source sample floor(x) - Half + 1 + j to x.
            const double d = frac + FHalf - 1 - j;
            const double r = d / FHalf;
            if (std::fabs(r) >= 1)
                continue;
            const double a = std::numbers::pi * cutoff * d;
            const double sinc = a == 0 ? 1.0 : std::sin(a) / a;
            row[j] = cutoff * sinc * BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / i0Beta;
            if (cutoff == 1 && d == std::nearbyint(d) && d != 0)
                row[j] = 0;   // exact zeros at whole distances keep stored samples exact
            sum += row[j];
        }
        // Unity gain at 0 Hz in every phase.
        for (int j = 0; j < taps; ++j)
            row[j] /= sum;
    }
    for (int k = 0; k < phases; ++k)
        for (int j = 0; j < taps; ++j) {
            const size_t i = static_cast<size_t>(k) * taps + j;
            FDelta[i] = FTable[i + taps] - FTable[i];
        }
}

void TSincKernel::Weights(double frac, double *w) const
{
    const double p = frac * FPhases;
    int k = static_cast<int>(p);
    k = std::clamp(k, 0, FPhases - 1);
    const double f = p - k;
    const int taps = 2 * FHalf;
    const double *row = &FTable[static_cast<size_t>(k) * taps];
    const double *delta = &FDelta[static_cast<size_t>(k) * taps];
#pragma omp simd
    for (int j = 0; j < taps; ++j)
        w[j] = row[j] + f * delta[j];
}

const TSincKernel &TResampler::KernelFor(long double rate)
{
    // Rates up to 1 (and a hair above, where the aliased band is inaudibly narrow) share
    // the full-band kernel; faster reading gets its cutoff lowered in steps of 1/4096.
    if (!(rate > 1.0005L)) {
        // Built once per process and never changed: every run shares the full-band table.
        static const TSincKernel unit(kHalfTaps, 1.0, kPhases);
        return unit;
    }
    const int64_t key = static_cast<int64_t>(std::ceil((static_cast<double>(rate) - 1) * 4096));
    auto it = FKernels.find(key);
    if (it == FKernels.end()) {
        const double cutoff = 1.0 / (1.0 + static_cast<double>(key) / 4096);
        it = FKernels.emplace(key, std::make_unique<TSincKernel>(kHalfTaps, cutoff, kPhases)).first;
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

void TResampler::Read(const TSincKernel &k, const double *src, int64_t srcFirst, int64_t srcFrames, int channels,
                      long double x0, long double step, int32_t count, double *out)
{
    const int taps = 2 * k.Half();
    FWeights.resize(static_cast<size_t>(taps));
    double *w = FWeights.data();
    // Positions relative to the window are small, so doubles keep them to about 1e-12
    // of a sample; the whole part of the start is taken in extended precision.
    const long double start = x0 - static_cast<long double>(srcFirst);
    const long double startWhole = std::floor(start);
    const double startFrac = static_cast<double>(start - startWhole), dstep = static_cast<double>(step);
    const int64_t startBase = static_cast<int64_t>(startWhole) - k.Half() + 1;
    for (int32_t t = 0; t < count; ++t) {
        const double xr = startFrac + static_cast<double>(t) * dstep;
        const double whole = std::floor(xr);
        k.Weights(xr - whole, w);
        const int64_t base = startBase + static_cast<int64_t>(whole);
        double *o = out + static_cast<size_t>(t) * channels;
        // Taps outside the window read as zero.
        const int j0 = static_cast<int>(std::clamp<int64_t>(-base, 0, taps));
        const int j1 = static_cast<int>(std::clamp<int64_t>(srcFrames - base, 0, taps));
        const double *s = src + (base + j0) * channels;
        const double *wj = w + j0;
        const int m = j1 - j0;
        if (channels == 1) {
            double acc = 0;
#pragma omp simd reduction(+ : acc)
            for (int j = 0; j < m; ++j)
                acc += wj[j] * s[j];
            o[0] = acc;
        } else if (channels == 2) {
            double l = 0, r = 0;
#pragma omp simd reduction(+ : l, r)
            for (int j = 0; j < m; ++j) {
                l += wj[j] * s[2 * j];
                r += wj[j] * s[2 * j + 1];
            }
            o[0] = l;
            o[1] = r;
        } else {
            for (int c = 0; c < channels; ++c) {
                double acc = 0;
                for (int j = 0; j < m; ++j)
                    acc += wj[j] * s[j * channels + c];
                o[c] = acc;
            }
        }
    }
}

} // namespace tessaly
