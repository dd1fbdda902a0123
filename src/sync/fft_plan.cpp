// FFTW plan ownership and frequency-domain cross-correlation.
#include "sync/fft_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaly::sync {

int NextPow2(size_t n)
{
    size_t p = 1;
    while (p < n)
        p <<= 1;
    return static_cast<int>(p);
}

TRealFft::TRealFft(int size) : FSize(size)
{
    FIn = fftwf_alloc_real(static_cast<size_t>(size));
    FOut = fftwf_alloc_complex(static_cast<size_t>(size / 2 + 1));
    FPlan = fftwf_plan_dft_r2c_1d(size, FIn, FOut, FFTW_ESTIMATE);
}

TRealFft::~TRealFft()
{
    fftwf_destroy_plan(FPlan);
    fftwf_free(FIn);
    fftwf_free(FOut);
}

TCorrelator::TCorrelator(int size) : FSize(size)
{
    FTime = fftwf_alloc_real(static_cast<size_t>(size));
    FSpec = fftwf_alloc_complex(static_cast<size_t>(size / 2 + 1));
    FForward = fftwf_plan_dft_r2c_1d(size, FTime, FSpec, FFTW_ESTIMATE);
    FBackward = fftwf_plan_dft_c2r_1d(size, FSpec, FTime, FFTW_ESTIMATE);
    FFirst.resize(static_cast<size_t>(size / 2 + 1) * 2);
    FResult.resize(static_cast<size_t>(size));
}

TCorrelator::~TCorrelator()
{
    fftwf_destroy_plan(FForward);
    fftwf_destroy_plan(FBackward);
    fftwf_free(FTime);
    fftwf_free(FSpec);
}

void TCorrelator::SetFirst(const float *a, size_t count)
{
    count = std::min(count, static_cast<size_t>(FSize));
    std::memcpy(FTime, a, count * sizeof(float));
    std::fill(FTime + count, FTime + FSize, 0.0f);
    fftwf_execute(FForward);
    std::memcpy(FFirst.data(), FSpec, FFirst.size() * sizeof(float));
}

std::vector<float> TCorrelator::Spectrum(const float *a, size_t count)
{
    count = std::min(count, static_cast<size_t>(FSize));
    std::memcpy(FTime, a, count * sizeof(float));
    std::fill(FTime + count, FTime + FSize, 0.0f);
    fftwf_execute(FForward);
    const float *spec = reinterpret_cast<const float *>(FSpec);
    return std::vector<float>(spec, spec + (FSize / 2 + 1) * 2);
}

void TCorrelator::SetSecond(const float *b, size_t count)
{
    FSecond = Spectrum(b, count);
}

const std::vector<float> &TCorrelator::CorrelateSpectrum(const std::vector<float> &first)
{
    // conj(A) * B gives sum_i a[i] b[i + k].
    const float scale = 1.0f / FSize;
    const size_t bins = std::min(FSecond.size(), first.size()) / 2;
    for (size_t k = 0; k < bins; ++k) {
        float ar = first[2 * k], ai = -first[2 * k + 1], br = FSecond[2 * k], bi = FSecond[2 * k + 1];
        FSpec[k][0] = (ar * br - ai * bi) * scale;
        FSpec[k][1] = (ar * bi + ai * br) * scale;
    }
    fftwf_execute(FBackward);
    std::memcpy(FResult.data(), FTime, FResult.size() * sizeof(float));
    return FResult;
}

const std::vector<float> &TCorrelator::CorrelatePhat(const std::vector<float> &first, size_t lowBin, size_t highBin)
{
    const size_t bins = std::min(FSecond.size(), first.size()) / 2;
    for (size_t k = 0; k < bins; ++k) {
        float ar = first[2 * k], ai = -first[2 * k + 1], br = FSecond[2 * k], bi = FSecond[2 * k + 1];
        const float re = ar * br - ai * bi, im = ar * bi + ai * br;
        const float mag = std::sqrt(re * re + im * im);
        const bool in = k >= lowBin && k <= highBin && mag > 1e-20f;
        FSpec[k][0] = in ? re / mag : 0.0f;
        FSpec[k][1] = in ? im / mag : 0.0f;
    }
    fftwf_execute(FBackward);
    std::memcpy(FResult.data(), FTime, FResult.size() * sizeof(float));
    return FResult;
}

const std::vector<float> &TCorrelator::Correlate(const float *b, size_t count)
{
    SetSecond(b, count);
    return CorrelateSpectrum(FFirst);
}

} // namespace tessaly::sync
